// Reads and writes links through the shell's link object, for the shell tests
// that compare it with other readers. Texts are printed in the ANSI code page.
//
//   lnk_probe read FILE          every field, one "field: value" per line, then
//                                the program's own ReadShortcut result
//   lnk_probe write FILE KEY=VALUE...   a link with the given fields
//       keys: target arguments working_directory description icon_path
//             icon_index show_command hotkey (numbers in decimal or 0x hex)
//   lnk_probe create NAME TARGET DESCRIPTION WORKING_DIRECTORY
//       through the program's own CreateShortcut
//   lnk_probe seed FOLDER COUNT  COUNT hijacked links link0001.lnk ... in
//                                FOLDER, each with a target of its own
//   lnk_probe writew FILE KEY=VALUE...  as write, through the link object's
//       UTF-16 interface, with the command line read as UTF-16, so that any
//       character reaches the link; keys: target arguments working_directory
//   lnk_probe readw FILE         target, raw_target, arguments and
//                                working_directory as the UTF-16 interface
//                                gives them, printed in UTF-8
//   lnk_probe drop-linkinfo FILE the file without its LinkInfo structure, so
//                                that only the ID list names the target
//   lnk_probe set-arguments FILE OUT TEXT  FILE's bytes with only its
//                                arguments field holding TEXT (in the field's
//                                own encoding), written to OUT, through the
//                                program's arguments-only rewrite; exits 3
//                                when FILE has no arguments field
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_scope.h"
#include "platform/lnk_arguments.h"
#include "platform/text_utf16.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/shell_links_win32.h"
#include "tests/support/shell_link_writer_win32.h"

namespace {

void PrintField(const char* name, const std::string& value) {
  std::printf("%s: %s\n", name, value.c_str());
}

template <typename Getter>
std::string ReadText(Getter getter) {
  char buffer[1024] = {};
  getter(buffer, static_cast<int>(sizeof buffer));
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

int Read(const char* path) {
  ScopedComPtr<IShellLinkA> link;
  ScopedComPtr<IPersistFile> file;
  wchar_t wide[MAX_PATH];
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.ReceiveVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
      !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) ||
      FAILED(file->Load(wide, STGM_READ))) {
    std::fprintf(stderr, "cannot load %s\n", path);
    return 1;
  }
  IShellLinkA* l = link.get();
  PrintField("target",
             ReadText([l](char* b, int n) { return l->GetPath(b, n, nullptr, SLGP_UNCPRIORITY); }));
  PrintField("raw_target",
             ReadText([l](char* b, int n) { return l->GetPath(b, n, nullptr, SLGP_RAWPATH); }));
  PrintField("arguments", ReadText([l](char* b, int n) { return l->GetArguments(b, n); }));
  PrintField("working_directory",
             ReadText([l](char* b, int n) { return l->GetWorkingDirectory(b, n); }));
  PrintField("description", ReadText([l](char* b, int n) { return l->GetDescription(b, n); }));
  int icon_index = 0;
  PrintField("icon_path", ReadText([l, &icon_index](char* b, int n) {
               return l->GetIconLocation(b, n, &icon_index);
             }));
  PrintField("icon_index", std::to_string(icon_index));
  int show_command = 0;
  l->GetShowCmd(&show_command);
  PrintField("show_command", std::to_string(show_command));
  WORD hotkey = 0;
  l->GetHotkey(&hotkey);
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04x", hotkey);
  PrintField("hotkey", hex);
  // The program's own reading of the same file, beside the shell's fields.
  Win32ShellLinks links;
  PrintField("read_shortcut", links.ReadShortcut(path));
  return 0;
}

bool TakeKey(const char* argument, const char* key, std::string* value) {
  const size_t length = std::strlen(key);
  if (std::strncmp(argument, key, length) != 0 || argument[length] != '=') return false;
  *value = argument + length + 1;
  return true;
}

int Write(const char* path, int count, char** arguments) {
  LinkSpec wanted;
  for (int i = 0; i < count; ++i) {
    std::string number;
    if (TakeKey(arguments[i], "target", &wanted.target) ||
        TakeKey(arguments[i], "arguments", &wanted.arguments) ||
        TakeKey(arguments[i], "working_directory", &wanted.working_directory) ||
        TakeKey(arguments[i], "description", &wanted.description) ||
        TakeKey(arguments[i], "icon_path", &wanted.icon_path)) {
      continue;
    }
    if (TakeKey(arguments[i], "icon_index", &number)) {
      wanted.icon_index = static_cast<int>(std::strtol(number.c_str(), nullptr, 0));
    } else if (TakeKey(arguments[i], "show_command", &number)) {
      wanted.show_command = static_cast<int>(std::strtol(number.c_str(), nullptr, 0));
    } else if (TakeKey(arguments[i], "hotkey", &number)) {
      wanted.hotkey = static_cast<WORD>(std::strtoul(number.c_str(), nullptr, 0));
    } else {
      std::fprintf(stderr, "unknown field %s\n", arguments[i]);
      return 2;
    }
  }
  const HRESULT result = WriteLinkThroughShell(path, wanted);
  if (FAILED(result)) {
    std::fprintf(stderr, "cannot save %s: 0x%08lx\n", path, static_cast<unsigned long>(result));
    return 1;
  }
  return 0;
}

int Create(char** arguments) {
  Win32ShellLinksWithCreate links;
  const bool saved = links.CreateShortcut(arguments[0], arguments[1], Text(arguments[2]),
                                          std::nullopt, Text(arguments[3]));
  return saved ? 0 : 1;
}

int Seed(const std::string& folder, int count) {
  for (int i = 1; i <= count; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", i);
    LinkSpec wanted;
    wanted.target = "C:\\Program Files\\App" + std::string(number) + "\\app.exe";
    wanted.arguments = "http://hijack.example/?link=" + std::string(number);
    wanted.working_directory = "C:\\Program Files\\App" + std::string(number);
    wanted.icon_path = "C:\\hijack.ico";
    wanted.hotkey = 0x0642;
    const std::string path = folder + "\\link" + number + ".lnk";
    if (FAILED(WriteLinkThroughShell(path, wanted))) {
      std::fprintf(stderr, "cannot save %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

// The command line's words as the system got them, in UTF-16.
std::vector<std::wstring> WideArguments() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 0; words && i < count; ++i) arguments.emplace_back(words[i]);
  LocalFree(words);
  return arguments;
}

int WriteWide() {
  const std::vector<std::wstring> words = WideArguments();
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> file;
  if (words.size() < 3 ||
      FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) {
    return 2;
  }
  for (std::size_t i = 3; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    const std::size_t equals = word.find(L'=');
    const std::wstring key = word.substr(0, equals);
    const std::wstring value = equals == std::wstring::npos ? L"" : word.substr(equals + 1);
    HRESULT result = E_INVALIDARG;
    if (key == L"target") result = link->SetPath(value.c_str());
    if (key == L"arguments") result = link->SetArguments(value.c_str());
    if (key == L"working_directory") result = link->SetWorkingDirectory(value.c_str());
    if (FAILED(result)) {
      std::fprintf(stderr, "field %u not taken: 0x%08lx\n", static_cast<unsigned>(i),
                   static_cast<unsigned long>(result));
      return 1;
    }
  }
  return SUCCEEDED(file->Save(words[2].c_str(), TRUE)) ? 0 : 1;
}

void PrintUtf8(const char* name, const wchar_t* value) {
  char buffer[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, value, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  std::printf("%s: %s\n", name, buffer);
}

int ReadWide() {
  const std::vector<std::wstring> words = WideArguments();
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> file;
  if (words.size() < 3 ||
      FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
      FAILED(file->Load(words[2].c_str(), STGM_READ))) {
    return 1;
  }
  wchar_t buffer[1024];
  buffer[0] = L'\0';
  link->GetPath(buffer, 1024, nullptr, SLGP_UNCPRIORITY);
  PrintUtf8("target", buffer);
  buffer[0] = L'\0';
  link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
  PrintUtf8("raw_target", buffer);
  buffer[0] = L'\0';
  link->GetArguments(buffer, 1024);
  PrintUtf8("arguments", buffer);
  buffer[0] = L'\0';
  link->GetWorkingDirectory(buffer, 1024);
  PrintUtf8("working_directory", buffer);
  return 0;
}

std::uint32_t Word32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Cuts the LinkInfo structure out and clears its flag: the link then names
// its target only by the ID list, as some links written by other programs do.
int DropLinkInfo(const char* path) {
  std::string bytes;
  {
    ScopedFileHandle in(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    DWORD got = 0;
    if (!in.valid() || !ReadFile(in.get(), buffer, sizeof buffer, &got, nullptr)) return 1;
    bytes.assign(buffer, got);
  }
  constexpr std::uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2;
  if (bytes.size() < 0x4E) return 1;
  const std::uint32_t flags = Word32(bytes, 0x14);
  if (!(flags & kHasIdList) || !(flags & kHasLinkInfo)) {
    std::fprintf(stderr, "no ID list and LinkInfo in %s\n", path);
    return 1;
  }
  const std::size_t id_list_size =
      static_cast<unsigned char>(bytes[0x4C]) | static_cast<unsigned char>(bytes[0x4D]) << 8;
  const std::size_t link_info = 0x4C + 2 + id_list_size;
  const std::uint32_t link_info_size = Word32(bytes, link_info);
  bytes.erase(link_info, link_info_size);
  const std::uint32_t cleared = flags & ~kHasLinkInfo;
  for (int i = 0; i < 4; ++i) bytes[0x14 + i] = static_cast<char>(cleared >> (8 * i));
  ScopedFileHandle out(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  return out.valid() &&
                 WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put,
                           nullptr) &&
                 put == bytes.size()
             ? 0
             : 1;
}

std::optional<std::string> ReadBytes(const char* path) {
  ScopedFileHandle in(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  static char buffer[1 << 20];
  DWORD got = 0;
  if (!in.valid() || !ReadFile(in.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
  return std::string(buffer, got);
}

int SetArguments(const char* path, const char* out_path, const char* text) {
  const std::optional<std::string> bytes = ReadBytes(path);
  if (!bytes) return 1;
  const std::optional<lnk::ArgumentsField> field = lnk::FindArgumentsField(*bytes);
  if (!field) return 3;
  const std::optional<std::string> stored =
      field->unicode ? Utf16LeFromText(text) : std::optional<std::string>(text);
  if (!stored) return 1;
  const std::optional<std::string> result = lnk::WithArguments(*bytes, *field, *stored);
  if (!result) return 1;
  ScopedFileHandle out(CreateFileA(out_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  return out.valid() &&
                 WriteFile(out.get(), result->data(), static_cast<DWORD>(result->size()), &put,
                           nullptr) &&
                 put == result->size()
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lnk_probe read|write|create|seed FILE ...\n");
    return 2;
  }
  ScopedComInitializer com;
  int status = 2;
  if (std::strcmp(argv[1], "read") == 0) {
    status = Read(argv[2]);
  } else if (std::strcmp(argv[1], "write") == 0) {
    status = Write(argv[2], argc - 3, argv + 3);
  } else if (std::strcmp(argv[1], "seed") == 0 && argc == 4) {
    status = Seed(argv[2], std::atoi(argv[3]));
  } else if (std::strcmp(argv[1], "create") == 0 && argc == 6) {
    status = Create(argv + 2);
  } else if (std::strcmp(argv[1], "writew") == 0) {
    status = WriteWide();
  } else if (std::strcmp(argv[1], "readw") == 0) {
    status = ReadWide();
  } else if (std::strcmp(argv[1], "drop-linkinfo") == 0) {
    status = DropLinkInfo(argv[2]);
  } else if (std::strcmp(argv[1], "set-arguments") == 0 && argc == 5) {
    status = SetArguments(argv[2], argv[3], argv[4]);
  }
  return status;
}
