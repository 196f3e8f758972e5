#include "engine/rules/ini_file.h"

#include "platform/text_utf16.h"

namespace {

bool IsIniSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A name or value ends at a NUL, as the C string Windows makes of it does.
std::string UpToNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

bool SameName(const std::string& a, std::string_view b) {
  return a.size() == b.size() && SameIgnoringAsciiCase(a, Text(b));
}

}  // namespace

IniFile ReadIniFile(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  IniFile file;
  file.sections.emplace_back();
  if (bytes.substr(0, 2) == "\xFF\xFE") {
    // The text in the code page, as the ANSI profile calls give it; one
    // with a character the code page lacks reads as nothing.
    const std::optional<Text> text = TextFromUtf16Le(bytes.substr(2));
    return text ? ReadIniFile(*text) : file;
  }
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view line = Trimmed(bytes.substr(0, end));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (line.empty()) continue;
    const std::size_t bracket = line.rfind(']');
    // A '[' line without a closing ']' is read as an entry, as Windows does.
    if (line.front() == '[' && bracket != std::string_view::npos && bracket > 0) {
      file.sections.push_back(UpToNul(line.substr(1, bracket - 1)));
      continue;
    }
    IniEntry entry;
    entry.section = file.sections.size() - 1;
    const std::size_t equals = line.find('=');
    entry.key = UpToNul(Trimmed(line.substr(0, equals)));
    if (equals != std::string_view::npos) {
      entry.value = UpToNul(Trimmed(line.substr(equals + 1)));
      entry.has_value = true;
    }
    file.entries.push_back(std::move(entry));
  }
  return file;
}

std::optional<std::string> IniValue(const IniFile& file, std::string_view section,
                                    std::string_view key) {
  // Only the first section of the name is read, even when it comes again.
  std::size_t first = 0;
  while (first < file.sections.size() && !SameName(file.sections[first], section)) ++first;
  for (const IniEntry& entry : file.entries) {
    if (entry.section != first || !SameName(entry.key, key)) continue;
    return entry.has_value ? std::optional<std::string>(entry.value) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> UrlOfInternetShortcut(std::string_view bytes) {
  std::optional<std::string> url = IniValue(ReadIniFile(bytes), "InternetShortcut", "URL");
  return url && !url->empty() ? url : std::nullopt;
}
