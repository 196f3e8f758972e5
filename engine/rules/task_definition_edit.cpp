#include "engine/rules/task_definition_edit.h"

#include <vector>

#include "platform/scheduled_tasks.h"

namespace {

// The file's own form of an ASCII text: UTF-16LE, or bytes as they are.
struct Encoding {
  bool utf16 = false;
  std::string Of(const char* ascii) const {
    std::string out;
    for (const char* at = ascii; *at; ++at) {
      out += *at;
      if (utf16) out += '\0';
    }
    return out;
  }
  // Every place `what` starts, at a code unit's start.
  std::vector<std::size_t> Find(const std::string& bytes, const char* ascii) const {
    const std::string what = Of(ascii);
    std::vector<std::size_t> found;
    for (std::size_t at = bytes.find(what); at != std::string::npos;
         at = bytes.find(what, at + 1)) {
      if (!utf16 || at % 2 == 0) found.push_back(at);
    }
    return found;
  }
};

bool SamePrograms(const TaskDefinition& a, const TaskDefinition& b) {
  if (a.programs.size() != b.programs.size()) return false;
  for (std::size_t at = 0; at < a.programs.size(); ++at) {
    if (a.programs[at].path != b.programs[at].path ||
        a.programs[at].arguments != b.programs[at].arguments) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> DefinitionSwitchedOff(const std::string& bytes) {
  const auto before = ReadTaskDefinition(bytes);
  if (!before || !before->enabled) return std::nullopt;
  Encoding encoding;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    encoding.utf16 = true;
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return std::nullopt;  // big-endian: the scheduler never writes it
  }
  const auto opens = encoding.Find(bytes, "<Settings>");
  const auto closes = encoding.Find(bytes, "</Settings>");
  if (opens.size() != 1 || closes.size() != 1 || closes[0] < opens[0]) return std::nullopt;
  const std::size_t inside = opens[0] + encoding.Of("<Settings>").size();
  const std::string settings = bytes.substr(inside, closes[0] - inside);
  // A comment or CDATA section there could hide or fake an element.
  if (!encoding.Find(settings, "<!").empty()) return std::nullopt;

  std::string after;
  const auto any_enabled = encoding.Find(settings, "<Enabled");
  if (any_enabled.empty()) {
    after =
        bytes.substr(0, inside) + encoding.Of("<Enabled>false</Enabled>") + bytes.substr(inside);
  } else {
    for (const char* value : {"<Enabled>true</Enabled>", "<Enabled>1</Enabled>"}) {
      const auto found = encoding.Find(settings, value);
      if (found.size() != 1 || any_enabled.size() != 1) continue;
      after = bytes;
      after.replace(inside + found[0], encoding.Of(value).size(),
                    encoding.Of("<Enabled>false</Enabled>"));
    }
    if (after.empty()) return std::nullopt;
  }
  // The reader must see the same task, switched off.
  const auto edited = ReadTaskDefinition(after);
  if (!edited || edited->enabled || !SamePrograms(*before, *edited)) return std::nullopt;
  return after;
}
