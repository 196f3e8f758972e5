// Task definitions read with Expat (Debian's libexpat1-dev), which takes
// UTF-16 and UTF-8 alike from the byte-order mark or the declaration.
#include <expat.h>

#include <memory>

#include "platform/scheduled_tasks.h"
#include "platform/task_definition_builder.h"
#include "platform/text_utf8.h"

namespace {

// Names come as "namespace\x01local" or, without a namespace, as "local".
const char kNamespaceEnd = '\x01';

std::string LocalName(const XML_Char* name) {
  const std::string full(name);
  const std::size_t end = full.rfind(kNamespaceEnd);
  return end == std::string::npos ? full : full.substr(end + 1);
}

void XMLCALL OnOpen(void* data, const XML_Char* name, const XML_Char**) {
  static_cast<TaskDefinitionBuilder*>(data)->Open(LocalName(name));
}

void XMLCALL OnClose(void* data, const XML_Char*) {
  static_cast<TaskDefinitionBuilder*>(data)->Close();
}

void XMLCALL OnCharacters(void* data, const XML_Char* utf8, int length) {
  if (auto units = Utf16LeFromUtf8(std::string_view(utf8, static_cast<std::size_t>(length)))) {
    static_cast<TaskDefinitionBuilder*>(data)->Characters(*units);
  }
}

struct ParserFree {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

std::optional<TaskDefinition> ReadTaskDefinition(const std::string& bytes) {
  const std::unique_ptr<XML_ParserStruct, ParserFree> parser(
      XML_ParserCreateNS(nullptr, kNamespaceEnd));
  if (!parser) return std::nullopt;
  TaskDefinitionBuilder builder;
  XML_SetUserData(parser.get(), &builder);
  XML_SetElementHandler(parser.get(), OnOpen, OnClose);
  XML_SetCharacterDataHandler(parser.get(), OnCharacters);
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX) ||
      XML_Parse(parser.get(), bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) !=
          XML_STATUS_OK) {
    return std::nullopt;
  }
  return builder.Finish();
}
