#include "platform/reg_file.h"

#include "platform/registry_tree.h"
#include "platform/text_utf16.h"

namespace {

// UTF-16 code units, one per wchar_t: on Windows the same string type as the
// wide calls', so the library's string code is in the program once.
using Units = std::wstring;

constexpr wchar_t kHeader[] = L"Windows Registry Editor Version 5.00";
// regedit folds a hex line once it reaches this many characters.
constexpr std::size_t kHexLineLength = 77;

struct RootName {
  RegRoot root;
  const char* name;
};
constexpr RootName kRootNames[] = {
    {RegRoot::kClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegRoot::kCurrentConfig, "HKEY_CURRENT_CONFIG"},
    {RegRoot::kCurrentUser, "HKEY_CURRENT_USER"},
    {RegRoot::kLocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegRoot::kUsers, "HKEY_USERS"},
};

std::optional<Units> UnitsFromText(const Text& text) {
  const std::optional<std::string> bytes = Utf16LeFromText(text);
  if (!bytes) return std::nullopt;
  Units units(bytes->size() / 2, L'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<wchar_t>(static_cast<unsigned char>((*bytes)[2 * i]) |
                                    (static_cast<unsigned char>((*bytes)[2 * i + 1]) << 8));
  }
  return units;
}

std::string BytesFromUnits(std::wstring_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (wchar_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Units that are UTF-16 text a line can hold: surrogates in pairs, no zero
// and no line break (`reg import` ends a line at either of CR and LF and a
// string at a zero).
bool FitsOnALine(std::wstring_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const wchar_t unit = units[i];
    if (unit == 0 || unit == L'\r' || unit == L'\n' || IsLowSurrogate(unit)) return false;
    if (IsHighSurrogate(unit)) {
      if (i + 1 >= units.size() || !IsLowSurrogate(units[i + 1])) return false;
      ++i;
    }
  }
  return true;
}

Units Escaped(std::wstring_view units) {
  Units escaped;
  for (wchar_t unit : units) {
    if (unit == L'\\' || unit == L'"') escaped.push_back(L'\\');
    escaped.push_back(unit);
  }
  return escaped;
}

// A key's full name checked and split: the root's long name, a backslash, a
// well-formed path.
std::optional<Units> FileKeyName(const Text& key) {
  for (const RootName& root : kRootNames) {
    const Text prefix = Text(root.name) + "\\";
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    const Text path = key.substr(prefix.size());
    if (path.empty() || !RegKeyPathWellFormed(path)) return std::nullopt;
    std::optional<Units> units = UnitsFromText(key);
    if (!units || !FitsOnALine(*units)) return std::nullopt;
    return units;
  }
  return std::nullopt;
}

std::optional<Units> NamePart(const Text& name) {
  if (name.empty()) return L"@=";
  std::optional<Units> units = UnitsFromText(name);
  if (!units || !FitsOnALine(*units)) return std::nullopt;
  return L"\"" + Escaped(*units) + L"\"=";
}

// The string a REG_SZ value's bytes hold when they can be written as
// "text": one terminating zero unit, and before it text a line can hold.
std::optional<Units> StringForm(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
  if (bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) return std::nullopt;
  Units units(bytes.size() / 2 - 1, L'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  if (!FitsOnALine(units)) return std::nullopt;
  return units;
}

const char kHexDigits[] = "0123456789abcdef";

Units HexNumber(std::uint32_t number, int min_digits) {
  Units digits;
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(kHexDigits[number & 0xF]));
    number >>= 4;
  } while (number != 0 || static_cast<int>(digits.size()) < min_digits);
  return digits;
}

// "hex:" or "hex(N):" and the bytes, folded as regedit folds them: a line
// that has reached kHexLineLength characters after a comma goes on, after a
// backslash, on the next line indented by two spaces.
Units HexData(std::uint32_t type, const std::string& bytes, std::size_t line_length) {
  Units data = type == kRegBinary ? Units(L"hex:") : L"hex(" + HexNumber(type, 1) + L"):";
  line_length += data.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    data += HexNumber(static_cast<unsigned char>(bytes[i]), 2);
    if (i + 1 == bytes.size()) break;
    data.push_back(L',');
    line_length += 3;
    if (line_length >= kHexLineLength) {
      data += L"\\\r\n  ";
      line_length = 2;
    }
  }
  return data;
}

std::optional<Units> ValueLine(const RegFileEntry& entry) {
  std::optional<Units> line = NamePart(entry.name);
  if (!line) return std::nullopt;
  if (entry.kind == RegFileEntry::Kind::kDeletedValue) return *line + L"-";
  const RegRawValue& value = entry.value;
  if (value.type == kRegSz) {
    if (std::optional<Units> text = StringForm(value.bytes)) {
      return *line + L"\"" + Escaped(*text) + L"\"";
    }
  }
  if (value.type == kRegDword && value.bytes.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = (number << 8) | static_cast<unsigned char>(value.bytes[i]);
    return *line + L"dword:" + HexNumber(number, 8);
  }
  return *line + HexData(value.type, value.bytes, line->size());
}

// ---- Reading ----

std::optional<Text> TextFromUnits(std::wstring_view units) {
  return TextFromUtf16Le(BytesFromUnits(units));
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A key's full name from a key line; nullopt unless it is one FileKeyName takes.
std::optional<Text> KeyFromFile(std::wstring_view units) {
  std::optional<Text> key = TextFromUnits(units);
  if (!key || !FileKeyName(*key)) return std::nullopt;
  return key;
}

// A quoted name or string at `at` (just past its opening quote): its
// characters up to the closing quote, which `at` is left past. Only \\ and \"
// are escapes.
std::optional<Units> Unquoted(std::wstring_view line, std::size_t* at) {
  Units units;
  for (std::size_t i = *at; i < line.size(); ++i) {
    if (line[i] == L'"') {
      *at = i + 1;
      return units;
    }
    if (line[i] == L'\\') {
      if (++i >= line.size() || (line[i] != L'\\' && line[i] != L'"')) return std::nullopt;
    }
    units.push_back(line[i]);
  }
  return std::nullopt;
}

int HexValue(wchar_t unit) {
  if (unit >= L'0' && unit <= L'9') return unit - L'0';
  if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
  return -1;
}

// "xx,xx,...,xx" (nothing at all for no bytes).
std::optional<std::string> HexBytes(std::wstring_view text) {
  std::string bytes;
  for (std::size_t at = 0; at < text.size(); at += 3) {
    if (at + 2 > text.size()) return std::nullopt;
    const int high = HexValue(text[at]), low = HexValue(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    if (at + 2 < text.size() && text[at + 2] != L',') return std::nullopt;
    if (at + 3 == text.size()) return std::nullopt;  // a comma with nothing after it
  }
  return bytes;
}

// The value after "=": its type and bytes.
std::optional<RegRawValue> ValueData(std::wstring_view data) {
  if (StartsWith(data, L"\"")) {
    std::size_t at = 1;
    std::optional<Units> text = Unquoted(data, &at);
    if (!text || at != data.size()) return std::nullopt;
    return RegRawValue{kRegSz, BytesFromUnits(*text + L'\0')};
  }
  if (StartsWith(data, L"dword:")) {
    if (data.size() != 6 + 8) return std::nullopt;
    std::uint32_t number = 0;
    for (std::size_t i = 6; i < data.size(); ++i) {
      const int digit = HexValue(data[i]);
      if (digit < 0) return std::nullopt;
      number = (number << 4) | static_cast<std::uint32_t>(digit);
    }
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    return RegRawValue{kRegDword, bytes};
  }
  std::uint32_t type = kRegBinary;
  std::size_t at = 0;
  if (StartsWith(data, L"hex:")) {
    at = 4;
  } else if (StartsWith(data, L"hex(")) {
    type = 0;
    std::size_t digits = 0;
    for (at = 4; at < data.size() && HexValue(data[at]) >= 0; ++at, ++digits) {
      if (digits == 8) return std::nullopt;
      type = (type << 4) | static_cast<std::uint32_t>(HexValue(data[at]));
    }
    if (digits == 0 || data.substr(at, 2) != L"):") return std::nullopt;
    at += 2;
  } else {
    return std::nullopt;
  }
  std::optional<std::string> bytes = HexBytes(data.substr(at));
  if (!bytes) return std::nullopt;
  return RegRawValue{type, *bytes};
}

// The file's lines without their CR LF; nullopt unless every line ends in
// CR LF and no CR or LF stands alone.
std::optional<std::vector<std::wstring_view>> Lines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == L'\n') return std::nullopt;
    if (text[at] != L'\r') continue;
    if (at + 1 >= text.size() || text[at + 1] != L'\n') return std::nullopt;
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
    ++at;
  }
  if (start != text.size()) return std::nullopt;  // cut off in a line
  return lines;
}

std::optional<std::vector<RegFileEntry>> ParseLines(const std::vector<std::wstring_view>& lines) {
  if (lines.empty() || lines[0] != kHeader) return std::nullopt;
  std::vector<RegFileEntry> entries;
  std::optional<Text> block;  // the key of the [KEY] line the values belong to
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::wstring_view line = lines[i];
    if (line.empty()) continue;
    RegFileEntry entry;
    if (line.front() == L'[') {
      if (line.size() < 2 || line.back() != L']') return std::nullopt;
      const bool deleted = line[1] == L'-';
      std::optional<Text> key =
          KeyFromFile(line.substr(deleted ? 2 : 1, line.size() - (deleted ? 3 : 2)));
      if (!key) return std::nullopt;
      entry.kind = deleted ? RegFileEntry::Kind::kDeletedKey : RegFileEntry::Kind::kKey;
      entry.key = *key;
      if (deleted) {
        block.reset();
      } else {
        block = *key;
      }
      entries.push_back(std::move(entry));
      continue;
    }
    if (!block) return std::nullopt;
    entry.key = *block;
    std::size_t at = 0;
    if (line.front() == L'@') {
      at = 1;
    } else if (line.front() == L'"') {
      at = 1;
      std::optional<Units> name = Unquoted(line, &at);
      if (!name) return std::nullopt;
      std::optional<Text> text = TextFromUnits(*name);
      if (!text || text->empty()) return std::nullopt;
      entry.name = *text;
    } else {
      return std::nullopt;
    }
    if (at >= line.size() || line[at] != L'=') return std::nullopt;
    Units data(line.substr(at + 1));
    // A folded hex line goes on, after its backslash, on lines indented by two spaces.
    while (!data.empty() && data.back() == L'\\' && StartsWith(data, L"hex")) {
      if (++i >= lines.size() || !StartsWith(lines[i], L"  ")) return std::nullopt;
      data.pop_back();
      data += lines[i].substr(2);
    }
    if (data == L"-") {
      entry.kind = RegFileEntry::Kind::kDeletedValue;
    } else {
      std::optional<RegRawValue> value = ValueData(data);
      if (!value) return std::nullopt;
      entry.kind = RegFileEntry::Kind::kValue;
      entry.value = std::move(*value);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// True when the key name at `at` in the path is `word`, in any letter case.
bool KeyNameAt(const Text& path, std::size_t at, const char* word) {
  const std::size_t length = std::char_traits<char>::length(word);
  if (path.size() < at + length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char c = path[at + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return path.size() == at + length || path[at + length] == '\\';
}

}  // namespace

std::string WriteRegFile(const std::vector<RegFileEntry>& entries) {
  Units text = Units(kHeader) + L"\r\n";
  std::optional<Text> block;
  for (const RegFileEntry& entry : entries) {
    const bool is_value =
        entry.kind == RegFileEntry::Kind::kValue || entry.kind == RegFileEntry::Kind::kDeletedValue;
    if (!is_value || !block || *block != entry.key) {
      std::optional<Units> key = FileKeyName(entry.key);
      if (!key) return std::string();
      const bool deleted = entry.kind == RegFileEntry::Kind::kDeletedKey;
      text += (deleted ? L"\r\n[-" : L"\r\n[") + *key + L"]\r\n";
      block = entry.key;
      if (deleted) block.reset();
    }
    if (!is_value) continue;
    std::optional<Units> line = ValueLine(entry);
    if (!line) return std::string();
    text += *line + L"\r\n";
  }
  text += L"\r\n";
  return "\xFF\xFE" + BytesFromUnits(text);
}

std::optional<std::vector<RegFileEntry>> ParseRegFile(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.substr(0, 2) != "\xFF\xFE") {
    return std::nullopt;
  }
  Units text(bytes.size() / 2 - 1, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                   (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
  }
  // UTF-16 throughout: no surrogate out of its pair.
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsLowSurrogate(text[i])) return std::nullopt;
    if (IsHighSurrogate(text[i]) && (++i >= text.size() || !IsLowSurrogate(text[i]))) {
      return std::nullopt;
    }
  }
  std::optional<std::vector<std::wstring_view>> lines = Lines(text);
  if (!lines) return std::nullopt;
  std::optional<std::vector<RegFileEntry>> entries = ParseLines(*lines);
  // Whatever the lines held, only the very bytes the writer makes of the
  // entries are taken: no second spelling of anything gets through.
  if (!entries || WriteRegFile(*entries) != bytes) return std::nullopt;
  return entries;
}

Text RegFileKeyName(RegRoot root, RegView view, const Text& key_path) {
  Text name;
  for (const RootName& root_name : kRootNames) {
    if (root_name.root == root) name = root_name.name;
  }
  if (key_path.empty()) return name;
  Text path = key_path;
  if (view == RegView::k32Bit && root == RegRoot::kLocalMachine && KeyNameAt(path, 0, "software") &&
      !KeyNameAt(path, 9, "wow6432node")) {
    path.insert(8, "\\WOW6432Node");
  }
  return name + "\\" + path;
}

Text RegFileKeyName(RegRoot root, RegView view, const char* key_path) {
  return RegFileKeyName(root, view, Text(key_path));
}
