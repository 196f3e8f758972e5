#include "engine/finders/start_page_items.h"

#include "platform/reg_file.h"
#include "platform/text_set.h"
#include "platform/text_utf16.h"

const char kStartPageKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";
const char kStartPageValue[] = "Start Page";
const char kPoliciesKey[] = "Software\\Policies";
const char kPolicyName[] = "Microsoft";
const char kPolicyKey[] = "Software\\Policies\\Microsoft";

namespace {

// The address as the registry holds a string value: UTF-16, zero-ended.
std::optional<RegRawValue> StringValue(const Text& text) {
  const std::optional<std::string> bytes = Utf16LeFromText(text);
  if (!bytes) return std::nullopt;
  return RegRawValue{kRegSz, *bytes + std::string(2, '\0')};
}

// One start-page item: what each view shows now and what it would become.
// The value is written once, through the program's own view, the key made
// when missing, as the item always has; every view is recorded.
Step PlanStartPage(PlanContext& context, int item, RegRoot root) {
  Registry& registry = context.machine.registry;
  const Text number = Decimal(item);
  Step step;
  step.key = "注册表项" + number;
  step.done_line = "正在修复注册表项" + number + "：成功";
  step.failed_line = "正在修复注册表项" + number + "：失败";
  const Text wanted = "\"" + context.address + "\"";
  const std::vector<RegView> views = registry.ItemViews();
  TextSet shown;
  bool shown_differs = false;
  for (RegView view : views) {
    const Text key_name = RegFileKeyName(root, view, kStartPageKey);
    if (!shown.insert(key_name)) continue;
    const Text prefix = "注册表项" + number + "：" + key_name + "\\" + kStartPageValue;
    std::optional<RegRawValue> value;
    if (!registry.ReadValue(view, root, kStartPageKey, kStartPageValue, &value)) {
      step.check_lines.push_back(prefix + " 无法读取");
      continue;
    }
    // The results list shows the first view the repair changes (a
    // hijacked 64-bit view behind a 32-bit one as it should be), else the
    // first view.
    const bool differs = !value || ShownRegValue(*value) != wanted;
    if (step.shown_what.empty() || (differs && !shown_differs)) {
      step.shown_what = key_name + "\\" + kStartPageValue;
      step.shown_now = value ? ShownRegValue(*value) : Text("（不存在）");
      step.shown_after = wanted;
      shown_differs = differs;
    }
    // Directly below HKEY_USERS the key may not be made (Windows lets no one
    // but a hive's loader put a key there): the repair tries, and a failure
    // there is no fault of the repair's.
    if (root == RegRoot::kUsers && !registry.KeyExists(view, root, kStartPageKey)) {
      step.check_lines.push_back(prefix + " 不存在，将尝试设为 " + wanted +
                                 "（HKEY_USERS 下可能无法建立此项）");
      // Not counted: on most PCs it is so, and nothing is wrong with them.
      step.failure_expected = true;
      continue;
    } else if (!value) {
      step.check_lines.push_back(prefix + " 不存在，将设为 " + wanted);
    } else if (ShownRegValue(*value) == wanted) {
      step.check_lines.push_back(prefix + " 现为 " + wanted + "，不变");
      continue;
    } else {
      step.check_lines.push_back(prefix + " 现为 " + ShownRegValue(*value) + "，将改为 " + wanted);
    }
    step.changes_something = true;
  }
  Change change = ValueChange(views.front(), root, kStartPageKey, kStartPageValue,
                              StringValue(context.address));
  change.also_recorded_in.assign(views.begin() + 1, views.end());
  change.makes_key = true;
  // Read afresh when applied: the box stays editable during a repair.
  RepairHost* host = &context.host;
  change.value_when_applied = [host] { return StringValue(host->ReadHomePageAddress()); };
  step.changes.push_back(std::move(change));
  return step;
}

// Item 4: the policy as a value "Microsoft" beside the key and as the key
// with everything below it, both removed.
Step PlanPolicy(PlanContext& context) {
  Registry& registry = context.machine.registry;
  const RegView view = RegView::kOwn;
  const RegRoot root = RegRoot::kCurrentUser;
  Step step;
  step.key = "注册表项4";
  step.done_line = "正在修复注册表项4：成功";
  step.failed_line = "正在修复注册表项4：失败";
  std::optional<RegRawValue> value;
  const bool read = registry.ReadValue(view, root, kPoliciesKey, kPolicyName, &value);
  // The results list names the places as the check's lines do.
  const Text value_name = "值 " + RegFileKeyName(root, view, kPoliciesKey) + "\\" + kPolicyName;
  if (read && value) {
    step.check_lines.push_back("注册表项4：" + value_name + " 现为 " + ShownRegValue(*value) +
                               "，将删除");
    step.changes.push_back(ValueChange(view, root, kPoliciesKey, kPolicyName));
    step.shown_what = value_name;
  }
  const Text key_name = RegFileKeyName(root, view, kPolicyKey);
  if (registry.KeyExists(view, root, kPolicyKey)) {
    step.check_lines.push_back("注册表项4：" + key_name + " 存在，将连同其下各项删除");
    if (!step.shown_what.empty()) {
      step.shown_now = ShownRegValue(*value) + "；存在";
      step.shown_after = "删除；连同其下各项删除";
      step.shown_what += "；";
    }
    step.shown_what += key_name;
    Change change;
    change.kind = Change::Kind::kKeyTree;
    change.view = view;
    change.root = root;
    change.key_path = kPolicyKey;
    step.changes.push_back(std::move(change));
  } else if (!value) {
    step.check_lines.push_back("注册表项4：" + key_name + " 不存在");
  }
  // With the value unreadable nothing is removed, and a key that is there
  // is a failure to remove it.
  if (!read) {
    step.reports_failure = !step.changes.empty();
    step.changes.clear();
  }
  step.changes_something = !step.changes.empty() || step.reports_failure;
  return step;
}

bool MayWriteValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (SameIgnoringAsciiCase(key_path, kStartPageKey) &&
      SameIgnoringAsciiCase(value_name, kStartPageValue)) {
    return root == RegRoot::kCurrentUser || root == RegRoot::kLocalMachine ||
           root == RegRoot::kUsers;
  }
  return root == RegRoot::kCurrentUser && SameIgnoringAsciiCase(key_path, kPoliciesKey) &&
         SameIgnoringAsciiCase(value_name, kPolicyName);
}

bool MayWriteKeyTree(RegRoot root, const Text& key_path) {
  return root == RegRoot::kCurrentUser && SameIgnoringAsciiCase(key_path, kPolicyKey);
}

// What the items record in registry.reg: the start page's key and value
// (its key line, or the key as absent before the value was written), the
// policy's value beside its key line, and anything within the policy's key.
bool RegistryEntry(const RegFileEntry& entry, const std::vector<Change>&) {
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine, RegRoot::kUsers}) {
      if (SameIgnoringAsciiCase(entry.key, RegFileKeyName(root, view, kStartPageKey))) {
        return (entry.kind != RegFileEntry::Kind::kValue &&
                entry.kind != RegFileEntry::Kind::kDeletedValue) ||
               SameIgnoringAsciiCase(entry.name, kStartPageValue);
      }
    }
    if (SameIgnoringAsciiCase(entry.key,
                              RegFileKeyName(RegRoot::kCurrentUser, view, kPoliciesKey))) {
      // The key itself is never deleted or written whole: only its value.
      if (entry.kind == RegFileEntry::Kind::kDeletedKey) return false;
      return entry.kind == RegFileEntry::Kind::kKey ||
             SameIgnoringAsciiCase(entry.name, kPolicyName);
    }
    if (StartsWithKey(entry.key, RegFileKeyName(RegRoot::kCurrentUser, view, kPolicyKey))) {
      return true;
    }
  }
  return false;
}

}  // namespace

void PlanStartPageItems(PlanContext& context, Plan& plan) {
  plan.push_back(PlanStartPage(context, 1, RegRoot::kCurrentUser));
  plan.push_back(PlanStartPage(context, 2, RegRoot::kLocalMachine));
  // HKEY_USERS itself, not one user's branch below it: the value lands
  // directly below the root, as the item has always written it.
  plan.push_back(PlanStartPage(context, 3, RegRoot::kUsers));
  plan.push_back(PlanPolicy(context));
}

const FinderPlaces kStartPagePlaces = {
    .value = MayWriteValue,
    .key_tree = MayWriteKeyTree,
    .registry_entry = RegistryEntry,
};
