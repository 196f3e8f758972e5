#include "engine/finders/external_extensions.h"

#include "engine/rules/extension_sources.h"
#include "engine/rules/registry_views.h"
#include "platform/reg_file.h"
#include "platform/text_set.h"
#include "platform/text_utf8.h"

namespace {

struct RegistrationKey {
  const char* browser;  // as the log names it
  const char* key;
};
// Chrome reads the first (so does Chromium: the key is fixed in its
// source); Edge its own.
const RegistrationKey kKeys[] = {
    {"Chrome", "Software\\Google\\Chrome\\Extensions"},
    {"Chromium", "Software\\Chromium\\Extensions"},
    {"Edge", "Software\\Microsoft\\Edge\\Extensions"},
};

const RegRawValue* ValueIn(const RegKeyTree& tree, const char* name) {
  for (const auto& [value_name, value] : tree.values) {
    if (SameIgnoringAsciiCase(value_name, name)) return &value;
  }
  return nullptr;
}

std::optional<RegRawValue> Optional(const RegRawValue* value) {
  return value ? std::optional<RegRawValue>(*value) : std::nullopt;
}

// One registration as read through one view.
struct Found {
  const RegistrationKey* key = nullptr;
  ViewedEntry entry;  // the Extensions key, the id, what the id's key holds
  Registration judged;
};

void FindIn(Registry& registry, RegView view, RegRoot root, const RegistrationKey& key,
            std::vector<Found>* found) {
  std::optional<std::vector<Text>> ids;
  if (!registry.ReadSubkeyNames(view, root, key.key, &ids) || !ids) return;
  for (const Text& id : *ids) {
    // The browser passes over any other name.
    if (!IsExtensionId(id)) continue;
    std::optional<RegKeyTree> tree;
    if (!registry.ReadKeyTree(view, root, Text(key.key) + "\\" + id, &tree) || !tree) continue;
    Found each;
    each.key = &key;
    each.entry = {view, root, key.key, id, ViewedContent(*tree)};
    each.judged =
        JudgeRegistration(Optional(ValueIn(*tree, "update_url")), Optional(ValueIn(*tree, "path")),
                          Optional(ValueIn(*tree, "version")));
    if (each.judged.source != Registration::Source::kNone) found->push_back(std::move(each));
  }
}

Change Removal(const Found& found) {
  Change change;
  change.kind = Change::Kind::kKeyTree;
  change.view = found.entry.view;
  change.root = found.entry.root;
  change.key_path = found.entry.key_path + "\\" + found.entry.name;
  return change;
}

Step StepOf(const Found& found) {
  const ViewedEntry& entry = found.entry;
  const Text key_name = RegFileKeyName(entry.root, entry.view, entry.key_path + "\\" + entry.name);
  const Text shown = Text("浏览器外部扩展：") + found.key->browser + " 扩展 " + entry.name + "（" +
                     key_name + "）";
  const Text from = TextShownFromUtf8(found.judged.from);
  Step step;
  step.key = key_name;
  switch (found.judged.source) {
    case Registration::Source::kOutside: {
      const Text what = shown + "从商店以外安装（" + from + "）";
      step.check_lines.push_back(what + "，将删除");
      step.done_line = what + "，已删除";
      step.failed_line = what + "，删除失败";
      step.changes_something = true;
      step.changes.push_back(Removal(found));
      break;
    }
    case Registration::Source::kStore:
      step.check_lines.push_back(shown + "从应用商店安装（" + from + "），不会修改");
      step.listed_as_left = true;
      break;
    default:
      step.check_lines.push_back(shown + "的值类型不对，浏览器不会读取，不会修改");
      step.listed_as_left = true;
      break;
  }
  return step;
}

}  // namespace

void PlanExternalExtensions(PlanContext& context, Plan& plan) {
  Registry& registry = context.machine.registry;
  std::vector<Found> found;
  for (const RegistrationKey& key : kKeys) {
    for (RegView view : registry.ItemViews())
      FindIn(registry, view, RegRoot::kLocalMachine, key, &found);
    // The user's Software is one key in both views.
    FindIn(registry, RegView::kOwn, RegRoot::kCurrentUser, key, &found);
  }
  const std::size_t first = plan.size();
  for (std::size_t at = 0; at < found.size(); ++at) {
    // The same key read again through the other view: one Step, its
    // removal after the first (gone with it where the views share the key).
    bool twin = false;
    for (std::size_t earlier = 0; earlier < at && !twin; ++earlier) {
      if (!SameThroughOtherView(found[earlier].entry, found[at].entry)) continue;
      twin = true;
      if (found[at].judged.source != Registration::Source::kOutside) continue;
      const Text earlier_key =
          RegFileKeyName(found[earlier].entry.root, found[earlier].entry.view,
                         found[earlier].entry.key_path + "\\" + found[earlier].entry.name);
      for (std::size_t step = first; step < plan.size(); ++step) {
        if (plan[step].key == earlier_key) plan[step].changes.push_back(Removal(found[at]));
      }
    }
    if (!twin) plan.push_back(StepOf(found[at]));
  }
}

bool RepairMayRemoveExtensionRegistration(RegRoot root, const Text& key_path) {
  if (root != RegRoot::kLocalMachine && root != RegRoot::kCurrentUser) return false;
  for (const RegistrationKey& key : kKeys) {
    const Text prefix = Text(key.key) + "\\";
    if (key_path.size() > prefix.size() &&
        SameIgnoringAsciiCase(key_path.substr(0, prefix.size()), prefix) &&
        IsExtensionId(key_path.substr(prefix.size()))) {
      return true;
    }
  }
  return false;
}

namespace {

// What its records put into registry.reg: a removed registration key and
// everything below it.
bool RegistrationEntry(const RegFileEntry& entry, const std::vector<Change>&) {
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    for (const RegistrationKey& registration : kKeys) {
      const Text prefix = Text(registration.key) + "\\";
      if (key.key_path.size() <= prefix.size() ||
          !SameIgnoringAsciiCase(key.key_path.substr(0, prefix.size()), prefix)) {
        continue;
      }
      const Text below = key.key_path.substr(prefix.size());
      if (RepairMayRemoveExtensionRegistration(key.root,
                                               prefix + below.substr(0, below.find('\\')))) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

const FinderPlaces kExternalExtensionPlaces = {
    .key_tree = RepairMayRemoveExtensionRegistration,
    .registry_entry = RegistrationEntry,
};
