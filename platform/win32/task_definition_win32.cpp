// Task definitions read with the system's own XML reader, XmlLite (on every
// Windows since XP SP3), loaded when a definition is first read.
#include <windows.h>
#include <xmllite.h>

#include "platform/scheduled_tasks.h"
#include "platform/task_definition_builder.h"
#include "platform/win32/memory_stream.h"
#include "platform/win32/system_library.h"

namespace {

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

// The reader's DLL stays loaded for the program's life: one check reads
// hundreds of definitions.
CreateXmlReaderFn XmlReaderFactory() {
  static ScopedLibrary xmllite = LoadSystemLibrary(L"xmllite.dll");
  static const CreateXmlReaderFn create =
      xmllite.valid() ? SystemFunction<CreateXmlReaderFn>(xmllite, "CreateXmlReader") : nullptr;
  return create;
}

std::string Utf16Bytes(const WCHAR* text, UINT length) {
  return std::string(reinterpret_cast<const char*>(text), std::size_t{length} * sizeof(WCHAR));
}

std::string AsciiName(const WCHAR* name, UINT length) {
  std::string ascii;
  for (UINT at = 0; at < length; ++at) {
    ascii += name[at] < 0x80 ? static_cast<char>(name[at]) : '?';
  }
  return ascii;
}

}  // namespace

std::optional<TaskDefinition> ReadTaskDefinition(const std::string& bytes) {
  const CreateXmlReaderFn create = XmlReaderFactory();
  ScopedComPtr<IXmlReader> reader;
  ScopedComPtr<IStream> stream;
  if (!create || FAILED(create(__uuidof(IXmlReader), reader.ReceiveVoid(), nullptr)) ||
      !StreamOverBytes(bytes, &stream) ||
      FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader->SetInput(stream.get()))) {
    return std::nullopt;
  }
  TaskDefinitionBuilder builder;
  XmlNodeType type = XmlNodeType_None;
  HRESULT step = S_OK;
  while ((step = reader->Read(&type)) == S_OK) {
    const WCHAR* text = nullptr;
    UINT length = 0;
    switch (type) {
      case XmlNodeType_Element:
        if (FAILED(reader->GetLocalName(&text, &length))) return std::nullopt;
        builder.Open(AsciiName(text, length));
        // An empty element has no end of its own.
        if (reader->IsEmptyElement()) builder.Close();
        break;
      case XmlNodeType_EndElement:
        builder.Close();
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace:
        if (FAILED(reader->GetValue(&text, &length))) return std::nullopt;
        builder.Characters(Utf16Bytes(text, length));
        break;
      default:
        break;
    }
  }
  if (step != S_FALSE) return std::nullopt;
  return builder.Finish();
}
