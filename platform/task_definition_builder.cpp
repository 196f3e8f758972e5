#include "platform/task_definition_builder.h"

#include "platform/text_utf16.h"

namespace {

// Deeper than any definition the scheduler writes; deeper input is refused.
constexpr std::size_t kDeepest = 64;

// A field's text: exact in the code page where it can be, otherwise with
// '?' for what the code page lacks (shown, never run).
Text FieldText(const std::string& utf16le) {
  if (auto exact = TextFromUtf16Le(utf16le)) return *exact;
  return TextShownFromUtf16Le(utf16le);
}

bool IsFalse(const Text& value) {
  const std::size_t first = value.find_first_not_of(" \t\r\n");
  const std::size_t last = value.find_last_not_of(" \t\r\n");
  if (first == Text::npos) return false;
  const Text word = value.substr(first, last - first + 1);
  return word == "false" || word == "0";
}

}  // namespace

bool TaskDefinitionBuilder::At(std::initializer_list<const char*> path) const {
  if (open_.size() != path.size()) return false;
  std::size_t at = 0;
  for (const char* name : path) {
    if (open_[at++] != name) return false;
  }
  return true;
}

void TaskDefinitionBuilder::Open(const std::string& local_name) {
  if (open_.empty()) root_is_task_ = local_name == "Task";
  if (open_.size() >= kDeepest) too_deep_ = true;
  open_.push_back(local_name);
  characters_.clear();
  if (At({"Task", "Actions", "Exec"})) definition_.programs.emplace_back();
}

void TaskDefinitionBuilder::Characters(const std::string& utf16le) { characters_ += utf16le; }

void TaskDefinitionBuilder::Close() {
  if (open_.empty()) return;
  if (At({"Task", "Settings", "Enabled"})) {
    definition_.enabled = !IsFalse(FieldText(characters_));
  } else if (At({"Task", "Actions", "Exec", "Command"})) {
    definition_.programs.back().path = FieldText(characters_);
  } else if (At({"Task", "Actions", "Exec", "Arguments"})) {
    definition_.programs.back().arguments = FieldText(characters_);
  }
  open_.pop_back();
  characters_.clear();
}

std::optional<TaskDefinition> TaskDefinitionBuilder::Finish() {
  if (!root_is_task_ || too_deep_ || !open_.empty()) return std::nullopt;
  return std::move(definition_);
}
