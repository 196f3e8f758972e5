#include "engine/finders/browser_debuggers.h"

#include "engine/rules/browsers.h"
#include "platform/reg_file.h"
#include "platform/text_utf16.h"

const char kDebuggerValue[] = "Debugger";

namespace {

const char kOptionsKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";

// Tools that set a debugger on msedge.exe only to hand Edge's links to the
// browser the user chose (docs/reapply.md).
const char* const kEdgeRedirectors[] = {"MSEDGEREDIRECT", "CHREDGEFKOFF", "OPENWEBSEARCH"};

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

bool IsEdgeRedirector(const Text& executable, const Text& command) {
  if (!SameIgnoringAsciiCase(executable, "msedge.exe")) return false;
  const Text upper = AsciiUpper(command);
  for (const char* tool : kEdgeRedirectors) {
    if (upper.find(tool) != Text::npos) return true;
  }
  return false;
}

Text Shown(const BrowserDebugger& found) {
  return "浏览器调试器：打开 " + found.executable + " 时先运行 \"" + found.command + "\"（" +
         RegFileKeyName(RegRoot::kLocalMachine, found.view, found.key_path) + "）";
}

}  // namespace

std::vector<BrowserDebugger> PlanBrowserDebuggers(Platform& machine) {
  std::vector<BrowserDebugger> found;
  for (RegView view : machine.registry.ItemViews()) {
    for (const Browser& browser : KnownBrowsers()) {
      const Text key = Text(kOptionsKey) + browser.executable;
      std::optional<RegRawValue> value;
      if (!machine.registry.ReadValue(view, RegRoot::kLocalMachine, key, kDebuggerValue, &value) ||
          !value) {
        continue;
      }
      BrowserDebugger debugger;
      debugger.view = view;
      debugger.executable = browser.executable;
      debugger.key_path = key;
      debugger.value = *value;
      debugger.command = ShownRegValue(*value);
      if (debugger.command.size() >= 2 && debugger.command.front() == '"') {
        debugger.command = debugger.command.substr(1, debugger.command.size() - 2);
      }
      if (IsEdgeRedirector(debugger.executable, debugger.command)) continue;
      // Both views of a key they share show it under one name.
      for (const BrowserDebugger& earlier : found) {
        debugger.twin =
            debugger.twin || (RegFileKeyName(RegRoot::kLocalMachine, earlier.view, key) ==
                                  RegFileKeyName(RegRoot::kLocalMachine, view, key) &&
                              earlier.value == *value);
      }
      found.push_back(std::move(debugger));
    }
  }
  return found;
}

int CheckBrowserDebuggers(RepairHost& host, const std::vector<BrowserDebugger>& found) {
  int changes = 0;
  for (const BrowserDebugger& debugger : found) {
    if (debugger.twin) continue;
    Line(host, Shown(debugger) + "，将删除");
    ++changes;
  }
  return changes;
}

int RepairBrowserDebuggers(Platform& machine, RepairHost& host, BundleWriter& bundle,
                           const std::vector<BrowserDebugger>& found) {
  int failed = 0;
  std::vector<const BrowserDebugger*> done;
  for (const BrowserDebugger& debugger : found) {
    std::optional<RegRawValue> now;
    const bool read = machine.registry.ReadValue(debugger.view, RegRoot::kLocalMachine,
                                                 debugger.key_path, kDebuggerValue, &now);
    // Gone with one removed through the other view: the views share the key
    // (on Windows 7 and later, and Wine, under other names in each view).
    bool gone_with_other = false;
    for (const BrowserDebugger* other : done) {
      gone_with_other = gone_with_other || (other->key_path == debugger.key_path &&
                                            other->value == debugger.value && read && !now);
    }
    if (gone_with_other && debugger.twin) continue;
    if (gone_with_other) {
      Line(host, Shown(debugger) + "，已删除");
      continue;
    }
    const bool removed =
        read && now == debugger.value &&
        bundle.RecordValueChange(debugger.view, RegRoot::kLocalMachine, debugger.key_path,
                                 kDebuggerValue, std::nullopt) &&
        machine.registry.DeleteValue(debugger.view, RegRoot::kLocalMachine, debugger.key_path,
                                     kDebuggerValue);
    Line(host, Shown(debugger) + (removed ? "，已删除" : "，删除失败"));
    if (removed) done.push_back(&debugger);
    failed += !removed;
  }
  return failed;
}

bool RepairMayWriteDebuggerValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (root != RegRoot::kLocalMachine || !SameIgnoringAsciiCase(value_name, kDebuggerValue)) {
    return false;
  }
  const Text prefix = kOptionsKey;
  if (key_path.size() <= prefix.size() ||
      !SameIgnoringAsciiCase(key_path.substr(0, prefix.size()), prefix)) {
    return false;
  }
  return BrowserOfExecutable(key_path.substr(prefix.size())) != nullptr;
}

namespace {

// An entry of registry.reg the removal of a browser's debugger records: a value Debugger of a
// browser's options key that the manifest names as changed (so the file cannot carry a program to
// start that the repair never removed); never a key deleted whole.
bool DebuggerEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  if (entry.kind == RegFileEntry::Kind::kDeletedKey || !NamedByManifest(entry, changes)) {
    return false;
  }
  const bool key_line = entry.kind == RegFileEntry::Kind::kKey;
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    if (RepairMayWriteDebuggerValue(key.root, key.key_path, kDebuggerValue) &&
        (key_line || SameIgnoringAsciiCase(entry.name, kDebuggerValue)))
      return true;
  }
  return false;
}

}  // namespace

const FinderPlaces kDebuggerPlaces = {
    .value = RepairMayWriteDebuggerValue,
    .registry_entry = DebuggerEntry,
};
