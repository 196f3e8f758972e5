// lnkdump: prints what the portable shell link reader sees in a link file.
//
//   lnkdump [-e NAME=VALUE]... FILE
//
// One "field: value" line each, in this order, texts in UTF-8:
//   target             the target as the shell reports it, %VAR% forms
//                      expanded with the portable backend's preset
//                      environment and the -e values
//   raw target         the same, %VAR% forms left as stored
//   arguments, working directory, description
//   icon location      "path,index"
//   show command       the stored show command, in decimal
//   hotkey             the hotkey word as 0xHHHH, then its text in
//                      parentheses when it is not zero
//   flags              the link flags as 0xHHHHHHHH
//   blocks             the structures present, in file order: IDList,
//                      LinkInfo, Name, RelativePath, WorkingDir, Arguments,
//                      IconLocation, then the extra data blocks by name
//                      (EnvironmentVariable, Tracker...; an unknown one as
//                      its signature 0xHHHHHHHH)
// A file that is not a readable link gives one line on standard error and
// exit code 1; wrong usage, exit code 2.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/portable/cp936.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/lnk_format.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/shell_link_names.h"

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string BlockName(std::uint32_t signature) {
  switch (signature) {
    case 0xA0000001:
      return "EnvironmentVariable";
    case 0xA0000002:
      return "Console";
    case 0xA0000003:
      return "Tracker";
    case 0xA0000004:
      return "ConsoleFE";
    case 0xA0000005:
      return "SpecialFolder";
    case 0xA0000006:
      return "Darwin";
    case 0xA0000007:
      return "IconEnvironment";
    case 0xA0000008:
      return "Shim";
    case 0xA0000009:
      return "PropertyStore";
    case 0xA000000B:
      return "KnownFolder";
    case 0xA000000C:
      return "VistaAndAboveIDList";
    default:
      return Hex(signature, 8);
  }
}

std::string Blocks(const lnk::LinkData& link) {
  const struct {
    std::uint32_t flag;
    const char* name;
  } structures[] = {
      {lnk::kHasLinkTargetIdList, "IDList"},
      {lnk::kHasLinkInfo, "LinkInfo"},
      {lnk::kHasName, "Name"},
      {lnk::kHasRelativePath, "RelativePath"},
      {lnk::kHasWorkingDir, "WorkingDir"},
      {lnk::kHasArguments, "Arguments"},
      {lnk::kHasIconLocation, "IconLocation"},
  };
  std::string names;
  for (const auto& structure : structures) {
    if (link.flags & structure.flag)
      names += std::string(names.empty() ? "" : " ") + structure.name;
  }
  for (std::uint32_t signature : link.extra_blocks) {
    names += (names.empty() ? "" : " ") + BlockName(signature);
  }
  return names;
}

std::string HotkeyLine(std::uint16_t hotkey) {
  if (hotkey == 0) return Hex(0, 4);
  return Hex(hotkey, 4) + " (" + Cp936ToUtf8(HotkeyText(hotkey)) + ")";
}

void Line(const char* field, const std::string& value) {
  std::printf("%s: %s\n", field, value.c_str());
}

int Usage() {
  std::fprintf(stderr, "usage: lnkdump [-e NAME=VALUE]... FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  PortableFileSystem machine;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-e" && i + 1 < argc) {
      const std::string assignment = argv[++i];
      const std::size_t equals = assignment.find('=');
      if (equals == std::string::npos || equals == 0) return Usage();
      machine.SetEnvironmentValue(assignment.substr(0, equals), assignment.substr(equals + 1));
    } else if (path == nullptr && !arg.empty() && arg[0] != '-') {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();

  const std::optional<std::string> bytes = ReadLinkFile(path);
  const std::optional<lnk::LinkData> link = bytes ? lnk::ParseLink(*bytes) : std::nullopt;
  if (!link) {
    std::fprintf(stderr, "lnkdump: %s: %s\n", path,
                 bytes ? "not a well-formed shell link" : "cannot be read");
    return 1;
  }

  const lnk::Expander expand = [&machine](const Text& text) {
    return machine.ExpandEnvironment(text);
  };
  Line("target", Cp936ToUtf8(lnk::ShellTarget(*link, &expand)));
  Line("raw target", Cp936ToUtf8(lnk::ShellTarget(*link, nullptr)));
  Line("arguments", Cp936ToUtf8(link->arguments.value_or(Text())));
  Line("working directory", Cp936ToUtf8(link->working_dir.value_or(Text())));
  Line("description", Cp936ToUtf8(link->name.value_or(Text())));
  Line("icon location",
       Cp936ToUtf8(link->icon_location.value_or(Text())) + "," + std::to_string(link->icon_index));
  Line("show command", std::to_string(link->show_command));
  Line("hotkey", HotkeyLine(link->hotkey));
  Line("flags", Hex(link->flags, 8));
  Line("blocks", Blocks(*link));
  return 0;
}
