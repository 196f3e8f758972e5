#include "engine/finders/external_extensions.h"

#include "engine/finders/lookalike_links.h"
#include "engine/finders/managed_pc.h"
#include "engine/plan/view_twins.h"
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

// The Step of a registration or a file: removed, or said and left (on a
// managed PC, the organization's).
Step JudgedStep(const Text& key, const Text& shown, const Registration& judged, Change removal,
                PcManager& manager) {
  const Text from = "（" + TextShownFromUtf8(judged.from) + "）";
  Step step;
  step.key = key;
  if (judged.source == Registration::Source::kOutside && manager.Name()) {
    step.check_lines.push_back(shown + "从商店以外安装" + from + "，由" + manager.Name() +
                               "设置，不会修改");
    step.listed_as_left = true;
  } else if (judged.source == Registration::Source::kOutside) {
    const Text what = shown + "从商店以外安装" + from;
    SayRemoval(step, what);
    step.changes.push_back(std::move(removal));
  } else {
    step.check_lines.push_back(shown +
                               (judged.source == Registration::Source::kStore
                                    ? "从应用商店安装" + from
                                    : Text("的值类型不对，浏览器不会读取")) +
                               "，不会修改");
    step.listed_as_left = true;
  }
  return step;
}

// A key both views show alike is one registration: one Step, its second
// removal finding it gone where the views share the key.
void PlanRegistrations(Registry& registry, PcManager& manager, Plan& plan) {
  ViewTwins twins;
  for (const RegistrationKey& key : kKeys) {
    for (const auto [root, view] : SoftwareRoots(registry)) {
      std::optional<std::vector<Text>> ids;
      if (!registry.ReadSubkeyNames(view, root, key.key, &ids) || !ids) continue;
      for (const Text& id : *ids) {
        // The browser passes over any other name.
        if (!IsExtensionId(id)) continue;
        Change removal;
        removal.kind = Change::Kind::kKeyTree;
        removal.view = view;
        removal.root = root;
        removal.key_path = Text(key.key) + "\\" + id;
        std::optional<RegKeyTree> tree;
        if (!registry.ReadKeyTree(view, root, removal.key_path, &tree) || !tree) continue;
        const Registration judged = JudgeRegistration(
            ValueIn(*tree, "update_url"), ValueIn(*tree, "path"), ValueIn(*tree, "version"));
        if (judged.source == Registration::Source::kNone) continue;
        ViewedEntry entry = {view, root, key.key, id, ViewedContent(*tree)};
        if (twins.Joined(entry, removal, plan)) continue;
        twins.Add(std::move(entry), plan);
        const Text key_name = RegFileKeyName(root, view, removal.key_path);
        plan.push_back(JudgedStep(
            key_name,
            Text("浏览器外部扩展：") + key.browser + " 扩展 " + id + "（" + key_name + "）", judged,
            std::move(removal), manager));
      }
    }
  }
}

// An old Chromium's JSON registrations (docs/extensions.md, The JSON
// files): the folder "extensions" in each version folder beside an
// installed Chromium-family browser's executable.
constexpr std::size_t kLargestExtensionFile = 1 << 20;
const char kListFile[] = "external_extensions.json";

bool IsVersionName(const Text& name) {
  return !name.empty() && name[0] >= '0' && name[0] <= '9' &&
         name.find_first_not_of("0123456789.") == Text::npos;
}

bool IsJsonName(const Text& name) {
  return name.size() > 5 && SameIgnoringAsciiCase(name.substr(name.size() - 5), ".json") &&
         name.find_first_of("\\/") == Text::npos;
}

// Each with its last backslash. Only a machine-wide install's: these files
// are moved, and the user's App Paths could name any folder.
TextSet ExtensionFolders(Platform& machine) {
  TextSet folders;
  for (const Browser& browser : KnownBrowsers()) {
    if (browser.family != BrowserFamily::kChromium) continue;
    const Text executable = InstalledBrowserPath(machine, browser, AppPathsOf::kMachineOnly);
    if (executable.empty()) continue;
    const Text install = FolderOfPath(executable) + "\\";
    for (const FolderEntry& entry : machine.files.FindEntries(install + "*")) {
      if (entry.is_folder && !entry.is_link && IsVersionName(entry.name)) {
        folders.insert(install + entry.name + "\\extensions\\");
      }
    }
  }
  return folders;
}

// A file goes only while it holds the bytes judged.
void PlanExtensionFiles(PlanContext& context, PcManager& manager, Plan& plan) {
  FileSystem& files = context.machine.files;
  for (const Text& folder : ExtensionFolders(context.machine)) {
    for (const FolderEntry& entry : files.FindEntries(folder + "*")) {
      if (entry.is_folder || entry.is_link || !IsJsonName(entry.name)) continue;
      // The list, or one extension's file named by its id.
      const bool list = SameIgnoringAsciiCase(entry.name, kListFile);
      if (!list && !IsExtensionId(entry.name.substr(0, entry.name.size() - 5))) continue;
      Change removal;
      removal.kind = Change::Kind::kFile;
      removal.original = folder + entry.name;
      removal.plain_only = true;
      removal.guarded = true;
      std::string bytes;
      if (files.ReadPlainFile(removal.original, kLargestExtensionFile, &bytes) !=
          FileSystem::PlainRead::kRead) {
        continue;
      }
      const Registration judged = JudgeExtensionFile(bytes, list);
      if (judged.source == Registration::Source::kNone) continue;
      if (context.purpose == PlanFor::kRepair) removal.bytes_seen = std::move(bytes);
      const Text shown = "浏览器外部扩展：扩展文件 " + removal.original + " ";
      plan.push_back(JudgedStep(removal.original, shown, judged, std::move(removal), manager));
    }
  }
}

}  // namespace

void PlanExternalExtensions(PlanContext& context, Plan& plan) {
  PcManager manager(context.machine.files);
  PlanRegistrations(context.machine.registry, manager, plan);
  PlanExtensionFiles(context, manager, plan);
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
    for (Text path = key.key_path;;) {
      if (RepairMayRemoveExtensionRegistration(key.root, path)) return true;
      const std::size_t parent = path.rfind('\\');
      if (parent == Text::npos) break;
      path.resize(parent);
    }
  }
  return false;
}

// A JSON file directly in an installed browser's extensions folder.
bool ExtensionFile(const PlaceRoots& roots, const Text& path) {
  const Text name = FileNameOfPath(path);
  return IsJsonName(name) &&
         ExtensionFolders(roots.machine).contains(path.substr(0, path.size() - name.size()));
}

}  // namespace

const FinderPlaces kExternalExtensionPlaces = {
    .key_tree = RepairMayRemoveExtensionRegistration,
    .file = ExtensionFile,
    .registry_entry = RegistrationEntry,
};
