#include "engine/finders/external_extensions.h"

#include "engine/finders/lookalike_links.h"
#include "engine/rules/browsers.h"
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

// An old Chromium's JSON registrations (docs/extensions.md, The JSON
// files): the folder "extensions" in each version folder beside an
// installed Chromium-family browser's executable.
constexpr std::size_t kLargestExtensionFile = 1 << 20;
const char kListFile[] = "external_extensions.json";

bool IsVersionName(const Text& name) {
  if (name.empty() || name[0] < '0' || name[0] > '9') return false;
  return name.find_first_not_of("0123456789.") == Text::npos;
}

bool IsJsonName(const Text& name) {
  return name.size() > 5 && SameIgnoringAsciiCase(name.substr(name.size() - 5), ".json") &&
         name.find_first_of("\\/") == Text::npos;
}

struct ExtensionFolder {
  Text path;  // with its last backslash
  const char* executable;
};
std::vector<ExtensionFolder> ExtensionFolders(Platform& machine) {
  std::vector<ExtensionFolder> folders;
  TextSet seen;
  for (const Browser& browser : KnownBrowsers()) {
    if (browser.family != BrowserFamily::kChromium) continue;
    const Text executable = InstalledBrowserPath(machine, browser);
    if (executable.empty()) continue;
    const Text install = FolderOfPath(executable) + "\\";
    for (const FolderEntry& entry : machine.files.FindEntries(install + "*")) {
      if (!entry.is_folder || entry.is_link || !IsVersionName(entry.name)) continue;
      const Text folder = install + entry.name + "\\extensions\\";
      if (seen.insert(AsciiUpper(folder))) folders.push_back({folder, browser.executable});
    }
  }
  return folders;
}

// A file goes only while it holds the bytes judged.
Step FileStep(const Text& path, const char* executable, const Registration& judged, PlanFor purpose,
              std::string bytes) {
  const Text shown = Text("浏览器外部扩展：") + executable + " 的扩展文件 " + path;
  const Text from = TextShownFromUtf8(judged.from);
  Step step;
  step.key = path;
  if (judged.source == Registration::Source::kStore) {
    step.check_lines.push_back(shown + " 从应用商店安装（" + from + "），不会修改");
    step.listed_as_left = true;
    return step;
  }
  const Text what = shown + " 从商店以外安装（" + from + "）";
  step.check_lines.push_back(what + "，将删除");
  step.done_line = what + "，已删除";
  step.failed_line = what + "，删除失败";
  step.changes_something = true;
  Change change;
  change.kind = Change::Kind::kFile;
  change.original = path;
  change.plain_only = true;
  change.guarded = true;
  if (purpose == PlanFor::kRepair) change.bytes_seen = std::move(bytes);
  step.changes.push_back(std::move(change));
  return step;
}

void PlanExtensionFiles(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  for (const ExtensionFolder& folder : ExtensionFolders(context.machine)) {
    for (const FolderEntry& entry : files.FindEntries(folder.path + "*")) {
      if (entry.is_folder || entry.is_link || !IsJsonName(entry.name)) continue;
      // The list, or one extension's file named by its id.
      const bool list = SameIgnoringAsciiCase(entry.name, kListFile);
      if (!list && !IsExtensionId(entry.name.substr(0, entry.name.size() - 5))) continue;
      const Text path = folder.path + entry.name;
      std::string bytes;
      if (files.ReadPlainFile(path, kLargestExtensionFile, &bytes) !=
          FileSystem::PlainRead::kRead) {
        continue;
      }
      const Registration judged = JudgeExtensionFile(bytes, list);
      if (judged.source == Registration::Source::kNone) continue;
      plan.push_back(FileStep(path, folder.executable, judged, context.purpose, std::move(bytes)));
    }
  }
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
  PlanExtensionFiles(context, plan);
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

// A JSON file directly in an installed browser's extensions folder.
bool ExtensionFile(const PlaceRoots& roots, const Text& path) {
  const Text name = FileNameOfPath(path);
  if (!IsJsonName(name)) return false;
  const Text folder = path.substr(0, path.size() - name.size());
  for (const ExtensionFolder& each : ExtensionFolders(roots.machine)) {
    if (SameIgnoringAsciiCase(each.path, folder)) return true;
  }
  return false;
}

}  // namespace

const FinderPlaces kExternalExtensionPlaces = {
    .key_tree = RepairMayRemoveExtensionRegistration,
    .file = ExtensionFile,
    .registry_entry = RegistrationEntry,
};
