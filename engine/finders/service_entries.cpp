#include "engine/finders/service_entries.h"

#include "engine/plan/value_changes.h"
#include "engine/rules/reapply_rules.h"

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

namespace {

const char kWhen[] = "随服务启动";
// Programs that run, as a service, whatever program their Parameters name.
const char* const kServiceWrappers[] = {"SRVANY.EXE", "SRVANY-NG.EXE", "NSSM.EXE"};
const char kStart[] = "Start";
constexpr std::uint32_t kStartNever = 4;

std::optional<Text> StringOf(const std::optional<RegRawValue>& value) {
  return value ? TextOfStringValue(*value) : std::nullopt;
}

RegRawValue Dword(std::uint32_t number) {
  std::string bytes(4, '\0');
  for (int at = 0; at < 4; ++at) bytes[at] = static_cast<char>((number >> (8 * at)) & 0xFF);
  return {kRegDword, bytes};
}

std::optional<Text> ReadString(Registry& registry, const Text& key, const char* name) {
  std::optional<RegRawValue> value;
  if (!registry.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, key, name, &value)) {
    return std::nullopt;
  }
  return StringOf(value);
}

bool IsServiceWrapper(const Text& command) {
  const Text upper = AsciiUpper(command);
  for (const char* wrapper : kServiceWrappers) {
    const std::size_t at = upper.find(wrapper);
    if (at != Text::npos && (at == 0 || upper[at - 1] == '\\' || upper[at - 1] == '"')) return true;
  }
  return false;
}

}  // namespace

void PlanServices(PlanContext& context, Plan& plan) {
  Registry& registry = context.machine.registry;
  std::optional<std::vector<Text>> names;
  if (!registry.ReadSubkeyNames(RegView::kOwn, RegRoot::kLocalMachine, kServicesKey, &names) ||
      !names) {
    return;
  }
  for (const Text& name : *names) {
    const Text key = Text(kServicesKey) + "\\" + name;
    Text command = ReadString(registry, key, "ImagePath").value_or(Text());
    if (command.empty()) continue;
    // A wrapper (srvany, NSSM) runs the program its Parameters name.
    if (IsServiceWrapper(command)) {
      if (const auto application = ReadString(registry, key + "\\Parameters", "Application")) {
        command = "\"" + *application + "\" " +
                  ReadString(registry, key + "\\Parameters", "AppParameters").value_or(Text());
      }
    }
    const auto why = WhyCommandReapplies(context.machine.files, command, context.address_utf8);
    if (!why) continue;
    std::optional<RegRawValue> start;
    if (!registry.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, key, kStart, &start) || !start ||
        *start == Dword(kStartNever)) {
      continue;
    }
    AddPageOpened(*why, context.pages_opened);
    context.reapplier_found = true;
    const Text shown = "系统服务：" + name + "（" + ReapplyReason(kWhen, *why) + "）";
    Step step;
    step.key = RegFileKeyName(RegRoot::kLocalMachine, RegView::kOwn, key) + "\\" + kStart;
    step.check_lines.push_back(shown + "，将禁用");
    step.done_line = shown + "，已禁用";
    step.failed_line = shown + "，禁用失败";
    step.changes_something = true;
    step.changes.push_back(GuardedValueChange(RegView::kOwn, RegRoot::kLocalMachine, key, kStart,
                                              *start, Dword(kStartNever)));
    plan.push_back(std::move(step));
  }
}

bool RepairMayWriteServiceValue(RegRoot root, const Text& key_path, const Text& value_name) {
  const Text prefix = Text(kServicesKey) + "\\";
  if (root != RegRoot::kLocalMachine || !SameIgnoringAsciiCase(value_name, kStart) ||
      key_path.size() <= prefix.size() ||
      !SameIgnoringAsciiCase(key_path.substr(0, prefix.size()), prefix)) {
    return false;
  }
  const Text name = key_path.substr(prefix.size());
  return name.find('\\') == Text::npos && name.find('/') == Text::npos;
}

namespace {

// What its records put into registry.reg: only values the manifest names.
bool ServiceEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, RepairMayWriteServiceValue, kStart);
}

}  // namespace

const FinderPlaces kServicePlaces = {
    .value = RepairMayWriteServiceValue,
    .registry_entry = ServiceEntry,
};
