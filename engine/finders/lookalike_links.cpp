#include "engine/finders/lookalike_links.h"

#include "platform/text_utf16.h"

namespace {

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A string value's text without its terminator and surrounding quotes.
std::optional<Text> PathOfValue(const RegRawValue& value) {
  if (value.type != kRegSz && value.type != kRegExpandSz) return std::nullopt;
  std::optional<Text> text = TextFromUtf16Le(value.bytes.substr(0, value.bytes.size() & ~1u));
  if (!text) return std::nullopt;
  while (!text->empty() && text->back() == '\0') text->pop_back();
  if (text->size() >= 2 && text->front() == '"' && text->back() == '"') {
    *text = text->substr(1, text->size() - 2);
  }
  // Only a whole path is followed: a %VAR% form would be expanded for this
  // 32-bit process, not the browser's.
  if (text->find('%') != Text::npos || text->find('\0') != Text::npos) return std::nullopt;
  return text;
}

}  // namespace

Text FolderOfPath(const Text& path) {
  const Text name = FileNameOfPath(path);
  Text folder = path.substr(0, path.size() - name.size());
  if (!folder.empty() && folder.back() == '\\' && folder.size() > 3) folder.pop_back();
  return folder;
}

Text InstalledBrowserPath(Platform& machine, const Browser& browser, AppPathsOf entries) {
  for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
    if (root == RegRoot::kCurrentUser && entries == AppPathsOf::kMachineOnly) continue;
    for (RegView view : machine.registry.ItemViews()) {
      std::optional<RegRawValue> value;
      if (!machine.registry.ReadValue(view, root, Text(kAppPathsKey) + browser.executable, "",
                                      &value) ||
          !value) {
        continue;
      }
      const std::optional<Text> path = PathOfValue(*value);
      if (path && SameIgnoringAsciiCase(FileNameOfPath(*path), browser.executable) &&
          machine.files.PathExists(*path)) {
        return *path;
      }
    }
  }
  return Text();
}

std::optional<Lookalike> FindLookalike(Platform& machine, const Text& path, const Text& target) {
  const Browser* browser = BrowserOfShortcutName(FileNameOfPath(path));
  if (!browser || SameIgnoringAsciiCase(FileNameOfPath(target), browser->executable)) {
    return std::nullopt;
  }
  Lookalike lookalike;
  lookalike.leads_to = target;
  ShortcutFields fields;
  fields.icon_location = &lookalike.icon_location;
  fields.description = &lookalike.description;
  machine.links.ReadShortcut(path, fields);
  // A link without an icon of its own shows its target's: ",0" is no icon.
  if (!lookalike.icon_location.empty() && lookalike.icon_location[0] == ',') {
    lookalike.icon_location.clear();
  }
  lookalike.browser_path = InstalledBrowserPath(machine, *browser);
  return lookalike;
}
