#include "engine/finders/browser_debuggers.h"

#include "engine/plan/value_changes.h"
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

bool IsEdgeRedirector(const Text& executable, const Text& command) {
  if (!SameIgnoringAsciiCase(executable, "msedge.exe")) return false;
  const Text upper = AsciiUpper(command);
  for (const char* tool : kEdgeRedirectors) {
    if (upper.find(tool) != Text::npos) return true;
  }
  return false;
}

// The debugger's command line as the log shows it: its quotes off.
Text ShownCommand(const RegRawValue& value) {
  Text command = ShownRegValue(value);
  if (command.size() >= 2 && command.front() == '"')
    command = command.substr(1, command.size() - 2);
  return command;
}

}  // namespace

void PlanBrowserDebuggers(PlanContext& context, Plan& plan) {
  Registry& registry = context.machine.registry;
  const std::size_t first = plan.size();
  for (RegView view : registry.ItemViews()) {
    for (const Browser& browser : KnownBrowsers()) {
      const Text key = Text(kOptionsKey) + browser.executable;
      std::optional<RegRawValue> value;
      if (!registry.ReadValue(view, RegRoot::kLocalMachine, key, kDebuggerValue, &value) ||
          !value) {
        continue;
      }
      const Text command = ShownCommand(*value);
      if (IsEdgeRedirector(browser.executable, command)) continue;
      Change change = GuardedValueChange(view, RegRoot::kLocalMachine, key, kDebuggerValue, *value,
                                         std::nullopt);
      if (Step* same = StepOfSameValue(plan, first, change)) {
        same->changes.push_back(std::move(change));
        continue;
      }
      const Text key_name = RegFileKeyName(RegRoot::kLocalMachine, view, key);
      const Text shown = Text("浏览器调试器：打开 ") + browser.executable + " 时先运行 \"" +
                         command + "\"（" + key_name + "）";
      Step step;
      step.key = key_name;
      SayRemoval(step, shown);
      step.changes.push_back(std::move(change));
      plan.push_back(std::move(step));
    }
  }
  if (plan.size() > first) context.reapplier_found = true;
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

// What its records put into registry.reg: only values the manifest names.
bool DebuggerEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, RepairMayWriteDebuggerValue, kDebuggerValue);
}

}  // namespace

const FinderPlaces kDebuggerPlaces = {
    .value = RepairMayWriteDebuggerValue,
    .registry_entry = DebuggerEntry,
};
