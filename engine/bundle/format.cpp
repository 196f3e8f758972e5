#include "engine/bundle/format.h"

#include <cstring>

const char kManifestName[] = "manifest.txt";
const char kRegistryName[] = "registry.reg";
const char kUndoneName[] = "undone.txt";
const char kMofName[] = "subscriptions.mof";
const char kManifestHeader[] = "qinghe restore bundle 1";

namespace {

// Field escapes: the manifest is tab-separated lines. Appended to the line
// in place, without a field's text of its own.
void AddEscaped(Text& line, const Text& text) {
  for (char c : text) {
    switch (c) {
      case '%':
        line += "%25";
        break;
      case '\t':
        line += "%09";
        break;
      case '\r':
        line += "%0D";
        break;
      case '\n':
        line += "%0A";
        break;
      default:
        line += c;
    }
  }
}

void AddEscapedField(Text& line, const Text& text) {
  line += '\t';
  AddEscaped(line, text);
}

void AddField(Text& line, const char* text) {
  line += '\t';
  line += text;
}

// Into `plain` (empty): false when an escape is not one AddEscaped writes.
bool Unescape(const Text& text, Text* plain) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      *plain += text[at];
      continue;
    }
    const Text code = text.substr(at + 1, 2);
    if (code == "25") {
      *plain += '%';
    } else if (code == "09") {
      *plain += '\t';
    } else if (code == "0D") {
      *plain += '\r';
    } else if (code == "0A") {
      *plain += '\n';
    } else {
      return false;
    }
    at += 2;
  }
  return true;
}

const char* ViewName(RegView view) {
  switch (view) {
    case RegView::k64Bit:
      return "64";
    case RegView::k32Bit:
      return "32";
    case RegView::kOwn:
      break;
  }
  return "own";
}

std::optional<RegView> ViewFromName(const Text& name) {
  if (name == "own") return RegView::kOwn;
  if (name == "64") return RegView::k64Bit;
  if (name == "32") return RegView::k32Bit;
  return std::nullopt;
}

std::optional<RegRoot> RootFromParseDecimal(const Text& text) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '5') return std::nullopt;
  return static_cast<RegRoot>(text[0] - '0');
}

const char kHex[] = "0123456789abcdef";

std::optional<std::string> BytesOfHex(const Text& hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string bytes;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const char* high = std::strchr(kHex, hex[at]);
    const char* low = std::strchr(kHex, hex[at + 1]);
    if (!high || !low || !*high || !*low) return std::nullopt;
    bytes += static_cast<char>(((high - kHex) << 4) | (low - kHex));
  }
  return bytes;
}

bool IsSha256(const Text& text) {
  return text.size() == 64 && text.find_first_not_of(kHex) == Text::npos;
}

}  // namespace

std::optional<std::uint64_t> ParseDecimal(const Text& text) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != Text::npos) {
    return std::nullopt;
  }
  std::uint64_t number = 0;
  for (char digit : text) number = number * 10 + static_cast<std::uint64_t>(digit - '0');
  return number;
}

Text FileNameOf(const Text& path) {
  const TextArray parts = SplitText(path, "\\");
  return parts.empty() ? path : parts.back();
}

std::string FormatManifestLine(const Change& change) {
  Text line;
  switch (change.kind) {
    case Change::Kind::kValue:
    case Change::Kind::kKeyTree: {
      const bool value = change.kind == Change::Kind::kValue;
      line = value ? "value" : "tree";
      AddField(line, ViewName(change.view));
      line += '\t';
      line += Decimal(static_cast<int>(change.root));
      AddEscapedField(line, change.key_path);
      if (!value) {
        AddField(line, change.key_after_exists ? "present" : "absent");
      } else {
        AddEscapedField(line, change.value_name);
        if (!change.value_after) {
          AddField(line, "absent");
        } else {
          line += '\t';
          line += Decimal(change.value_after->type);
          line += ' ';
          line += HexDigits(change.value_after->bytes);
        }
      }
      break;
    }
    case Change::Kind::kFile:
      line = "file";
      AddEscapedField(line, change.copy);
      AddEscapedField(line, change.original);
      line += '\t';
      line += Decimal(change.size_before);
      line += ' ';
      line += change.sha256_before;
      if (!change.size_after) {
        AddField(line, "absent");
      } else {
        line += '\t';
        line += Decimal(*change.size_after);
        line += ' ';
        line += change.sha256_after;
      }
      if (change.refused) {
        line += "\r\n";
        line += FormatRefusedLine(change.copy);
        return line;
      }
      break;
    case Change::Kind::kTask:
      line = "task";
      AddEscapedField(line, change.task_path);
      AddField(line, "disabled");
      break;
    case Change::Kind::kWatch:
      line = "watch";
      AddEscapedField(line, change.original);
      line += '\t';
      line += Decimal(change.size_after.value_or(0));
      line += ' ';
      line += change.sha256_after;
      if (change.task_path.empty()) {
        AddField(line, "-");
      } else {
        AddEscapedField(line, change.task_path);
      }
      break;
    case Change::Kind::kWmiObject:
      line = "wmi";
      AddEscapedField(line, change.wmi_object.path);
      AddEscapedField(line, change.wmi_object.class_name);
      AddField(line, "deleted");
      // Each property one field, "name=type:value": a name is a word, no "=".
      for (const WmiProperty& property : change.wmi_object.properties) {
        AddEscapedField(line, property.name);
        line += '=';
        line += Decimal(property.cim_type);
        line += ':';
        AddEscaped(line, property.value);
      }
      break;
    case Change::Kind::kFolderTree:
      return std::string();  // its files are recorded, each as a file
    case Change::Kind::kFolder:
      return std::string();  // never recorded
  }
  line += "\r\n";
  return line;
}

std::string FormatRefusedLine(const Text& copy) {
  Text line = "refused";
  AddEscapedField(line, copy);
  line += "\r\n";
  return line;
}

std::string FormatManifest(const std::vector<Change>& changes) {
  std::string text = std::string(kManifestHeader) + "\r\n";
  for (const Change& change : changes) text += FormatManifestLine(change);
  return text;
}

std::optional<std::vector<Change>> ParseManifest(std::string_view text) {
  std::vector<Change> changes;
  const TextArray lines = SplitText(Text(text), "\r\n");
  // Every line, the last one too, ends in CR LF: a cut manifest is refused.
  if (lines.empty() || lines[0] != kManifestHeader || text.size() < 2 ||
      text.substr(text.size() - 2) != "\r\n") {
    return std::nullopt;
  }
  for (std::size_t at = 1; at < lines.size(); ++at) {
    const TextArray fields = SplitText(lines[at], "\t");
    // SplitText drops a trailing empty field; no field here may be empty but
    // a value's name, which is never the last.
    Change change;
    if (fields.size() == 2 && fields[0] == "refused") {
      // Names the file line before it, by its copy, once.
      Text copy;
      if (!Unescape(fields[1], &copy)) return std::nullopt;
      auto refused = changes.rbegin();
      while (refused != changes.rend() &&
             (refused->kind != Change::Kind::kFile || refused->copy != copy)) {
        ++refused;
      }
      if (refused == changes.rend() || refused->refused) return std::nullopt;
      refused->refused = true;
      continue;
    }
    if (fields.size() == 6 && fields[0] == "value") {
      change.kind = Change::Kind::kValue;
      const auto view = ViewFromName(fields[1]);
      const auto root = RootFromParseDecimal(fields[2]);
      if (!view || !root || !Unescape(fields[3], &change.key_path) ||
          !Unescape(fields[4], &change.value_name)) {
        return std::nullopt;
      }
      change.view = *view;
      change.root = *root;
      if (fields[5] != "absent") {
        const TextArray parts = SplitText(fields[5], " ");
        if (parts.size() != 2) return std::nullopt;
        const auto type = ParseDecimal(parts[0]);
        const auto bytes = BytesOfHex(parts[1]);
        if (!type || *type > 0xFFFFFFFFu || !bytes) return std::nullopt;
        change.value_after = RegRawValue{static_cast<std::uint32_t>(*type), *bytes};
      }
    } else if (fields.size() == 5 && fields[0] == "tree") {
      change.kind = Change::Kind::kKeyTree;
      const auto view = ViewFromName(fields[1]);
      const auto root = RootFromParseDecimal(fields[2]);
      if (!view || !root || !Unescape(fields[3], &change.key_path)) return std::nullopt;
      if (fields[4] != "present" && fields[4] != "absent") return std::nullopt;
      change.view = *view;
      change.root = *root;
      change.key_after_exists = fields[4] == "present";
    } else if (fields.size() == 3 && fields[0] == "task" && fields[2] == "disabled") {
      change.kind = Change::Kind::kTask;
      if (!Unescape(fields[1], &change.task_path)) return std::nullopt;
    } else if (fields.size() == 5 && fields[0] == "file") {
      change.kind = Change::Kind::kFile;
      const TextArray before = SplitText(fields[3], " ");
      if (!Unescape(fields[1], &change.copy) || !Unescape(fields[2], &change.original) ||
          before.size() != 2) {
        return std::nullopt;
      }
      const auto size_before = ParseDecimal(before[0]);
      if (!size_before || !IsSha256(before[1])) return std::nullopt;
      change.size_before = *size_before;
      change.sha256_before = before[1];
      if (fields[4] != "absent") {
        const TextArray after = SplitText(fields[4], " ");
        if (after.size() != 2) return std::nullopt;
        const auto size_after = ParseDecimal(after[0]);
        if (!size_after || !IsSha256(after[1])) return std::nullopt;
        change.size_after = *size_after;
        change.sha256_after = after[1];
      }
    } else if (fields.size() == 4 && fields[0] == "watch") {
      change.kind = Change::Kind::kWatch;
      const TextArray after = SplitText(fields[2], " ");
      if (!Unescape(fields[1], &change.original) || after.size() != 2) return std::nullopt;
      const auto size_after = ParseDecimal(after[0]);
      if (!size_after || !IsSha256(after[1])) return std::nullopt;
      change.size_after = *size_after;
      change.sha256_after = after[1];
      if (fields[3] != "-" && (!Unescape(fields[3], &change.task_path) ||
                               change.task_path.empty() || change.task_path[0] != '\\')) {
        return std::nullopt;
      }
    } else if (fields.size() >= 4 && fields[0] == "wmi" && fields[3] == "deleted") {
      change.kind = Change::Kind::kWmiObject;
      WmiObject& object = change.wmi_object;
      if (!Unescape(fields[1], &object.path) || !Unescape(fields[2], &object.class_name) ||
          object.path.empty() || object.class_name.empty()) {
        return std::nullopt;
      }
      for (std::size_t field = 4; field < fields.size(); ++field) {
        Text property;
        if (!Unescape(fields[field], &property)) return std::nullopt;
        const std::size_t equals = property.find('=');
        const std::size_t colon = property.find(':', equals);
        if (equals == 0 || equals == Text::npos || colon == Text::npos) return std::nullopt;
        const auto type = ParseDecimal(property.substr(equals + 1, colon - equals - 1));
        if (!type || *type > 0xFFFFu) return std::nullopt;
        object.properties.push_back(WmiProperty{property.substr(0, equals),
                                                static_cast<std::uint32_t>(*type),
                                                property.substr(colon + 1)});
      }
    } else {
      return std::nullopt;
    }
    changes.push_back(std::move(change));
  }
  return changes;
}
