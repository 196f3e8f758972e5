#include "engine/bundle/format.h"

#include <cstring>

const char kManifestName[] = "manifest.txt";
const char kRegistryName[] = "registry.reg";
const char kUndoneName[] = "undone.txt";
const char kMofName[] = "subscriptions.mof";
const char kManifestHeader[] = "qinghe restore bundle 1";

namespace {

// Field escapes: the manifest is tab-separated lines.
Text Escape(const Text& text) {
  Text escaped;
  for (char c : text) {
    switch (c) {
      case '%':
        escaped += "%25";
        break;
      case '\t':
        escaped += "%09";
        break;
      case '\r':
        escaped += "%0D";
        break;
      case '\n':
        escaped += "%0A";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::optional<Text> Unescape(const Text& text) {
  Text plain;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      plain += text[at];
      continue;
    }
    const Text code = text.substr(at + 1, 2);
    if (code == "25") {
      plain += '%';
    } else if (code == "09") {
      plain += '\t';
    } else if (code == "0D") {
      plain += '\r';
    } else if (code == "0A") {
      plain += '\n';
    } else {
      return std::nullopt;
    }
    at += 2;
  }
  return plain;
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
      line = Text("value\t") + ViewName(change.view) + "\t" +
             Decimal(static_cast<int>(change.root)) + "\t" + Escape(change.key_path) + "\t" +
             Escape(change.value_name) + "\t" +
             (change.value_after
                  ? Decimal(change.value_after->type) + " " + HexDigits(change.value_after->bytes)
                  : Text("absent"));
      break;
    case Change::Kind::kKeyTree:
      line = Text("tree\t") + ViewName(change.view) + "\t" +
             Decimal(static_cast<int>(change.root)) + "\t" + Escape(change.key_path) + "\t" +
             (change.key_after_exists ? "present" : "absent");
      break;
    case Change::Kind::kFile:
      line = "file\t" + Escape(change.copy) + "\t" + Escape(change.original) + "\t" +
             Decimal(change.size_before) + " " + change.sha256_before + "\t" +
             (change.size_after ? Decimal(*change.size_after) + " " + change.sha256_after
                                : Text("absent"));
      break;
    case Change::Kind::kTask:
      line = "task\t" + Escape(change.task_path) + "\tdisabled";
      break;
    case Change::Kind::kWmiObject:
      line = "wmi\t" + Escape(change.wmi_object.path) + "\t" +
             Escape(change.wmi_object.class_name) + "\tdeleted";
      // Each property one field, "name=type:value": a name is a word, no "=".
      for (const WmiProperty& property : change.wmi_object.properties) {
        line +=
            "\t" + Escape(property.name + "=" + Decimal(property.cim_type) + ":" + property.value);
      }
      break;
    case Change::Kind::kFolderTree:
      return std::string();  // its files are recorded, each as a file
    case Change::Kind::kFolder:
      return std::string();  // never recorded
  }
  return line + "\r\n";
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
    if (fields.size() == 6 && fields[0] == "value") {
      change.kind = Change::Kind::kValue;
      const auto view = ViewFromName(fields[1]);
      const auto root = RootFromParseDecimal(fields[2]);
      const auto key = Unescape(fields[3]);
      const auto name = Unescape(fields[4]);
      if (!view || !root || !key || !name) return std::nullopt;
      change.view = *view;
      change.root = *root;
      change.key_path = *key;
      change.value_name = *name;
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
      const auto key = Unescape(fields[3]);
      if (!view || !root || !key) return std::nullopt;
      if (fields[4] != "present" && fields[4] != "absent") return std::nullopt;
      change.view = *view;
      change.root = *root;
      change.key_path = *key;
      change.key_after_exists = fields[4] == "present";
    } else if (fields.size() == 3 && fields[0] == "task" && fields[2] == "disabled") {
      change.kind = Change::Kind::kTask;
      const auto path = Unescape(fields[1]);
      if (!path) return std::nullopt;
      change.task_path = *path;
    } else if (fields.size() == 5 && fields[0] == "file") {
      change.kind = Change::Kind::kFile;
      const auto copy = Unescape(fields[1]);
      const auto original = Unescape(fields[2]);
      const TextArray before = SplitText(fields[3], " ");
      if (!copy || !original || before.size() != 2) return std::nullopt;
      const auto size_before = ParseDecimal(before[0]);
      if (!size_before || !IsSha256(before[1])) return std::nullopt;
      change.copy = *copy;
      change.original = *original;
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
    } else if (fields.size() >= 4 && fields[0] == "wmi" && fields[3] == "deleted") {
      change.kind = Change::Kind::kWmiObject;
      const auto path = Unescape(fields[1]);
      const auto class_name = Unescape(fields[2]);
      if (!path || !class_name || path->empty() || class_name->empty()) return std::nullopt;
      change.wmi_object.path = *path;
      change.wmi_object.class_name = *class_name;
      for (std::size_t field = 4; field < fields.size(); ++field) {
        const auto property = Unescape(fields[field]);
        if (!property) return std::nullopt;
        const std::size_t equals = property->find('=');
        const std::size_t colon = property->find(':', equals);
        if (equals == 0 || equals == Text::npos || colon == Text::npos) return std::nullopt;
        const auto type = ParseDecimal(property->substr(equals + 1, colon - equals - 1));
        if (!type || *type > 0xFFFFu) return std::nullopt;
        change.wmi_object.properties.push_back(WmiProperty{property->substr(0, equals),
                                                           static_cast<std::uint32_t>(*type),
                                                           property->substr(colon + 1)});
      }
    } else {
      return std::nullopt;
    }
    changes.push_back(std::move(change));
  }
  return changes;
}
