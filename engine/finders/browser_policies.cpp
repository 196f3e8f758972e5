#include "engine/finders/browser_policies.h"

#include <iterator>

#include "engine/finders/managed_pc.h"
#include "engine/rules/extension_sources.h"
#include "engine/rules/hijack_hosts.h"
#include "engine/rules/registry_views.h"
#include "engine/rules/start_urls.h"
#include "platform/text_set.h"
#include "platform/text_utf8.h"

namespace {

struct Browser {
  const char* name;  // as the log names it
  const char* key;
  bool chromium;  // Chromium's policies, at two levels; else Firefox's
};
const Browser kBrowsers[] = {
    {"Chrome", "Software\\Policies\\Google\\Chrome", true},
    {"Chromium", "Software\\Policies\\Chromium", true},
    {"Edge", "Software\\Policies\\Microsoft\\Edge", true},
    {"Firefox", "Software\\Policies\\Mozilla\\Firefox", false},
};
// Chromium's second level: what the user may change in the browser.
const char kRecommended[] = "\\Recommended";
const RegRoot kRoots[] = {RegRoot::kLocalMachine, RegRoot::kCurrentUser};

// Pointers to literals, not arrays of their own: the same names in the
// re-apply rules are then one copy in the program (bench/size.sh).
const char* const kHomepageLocation = "HomepageLocation";
const char kHomepageIsNewTabPage[] = "HomepageIsNewTabPage";
const char kNewTabPageLocation[] = "NewTabPageLocation";
const char kRestoreOnStartup[] = "RestoreOnStartup";
const char* const kRestoreOnStartupUrls = "RestoreOnStartupURLs";
const char kExtensionInstallForcelist[] = "ExtensionInstallForcelist";
// A JSON object as a string, or the same as a key of subkeys
// (components/policy/core/common/registry_dict.cc): its entries that
// install an extension go.
const char kExtensionSettings[] = "ExtensionSettings";
const char kFirefoxHomepage[] = "Homepage";
// RestoreOnStartup's value that opens RestoreOnStartupURLs.
constexpr std::uint32_t kRestoreOpensUrls = 4;

// The values and key trees below a Chromium level key the repair removes.
const char* const kChromiumValues[] = {kHomepageLocation, kHomepageIsNewTabPage,
                                       kNewTabPageLocation, kRestoreOnStartup, kExtensionSettings};
const char* const kChromiumTrees[] = {kRestoreOnStartupUrls, kExtensionInstallForcelist};

enum Kind { kHomepage, kNewTabPage, kStartupPages, kForcedExtensions, kKinds };
const char* const kKindNames[kKinds] = {"主页策略", "新标签页策略", "启动页策略", "强制安装的扩展"};

// One policy the repair removes, as the plan found it.
struct Found {
  int browser = 0;
  Kind kind = kHomepage;
  ViewedEntry entry;  // its key, its value's or its subkey's name, what it holds
  bool tree = false;
  bool unreadable = false;           // could not be read: neither judged nor removed
  Text state;                        // what it holds, as the line shows it
  std::optional<RegRawValue> value;  // a value's, as the plan saw it
  std::optional<RegRawValue> after;  // a value edited, not removed: what it becomes
  // The same as one found through the other view: not shown again, and
  // removed after it (already gone with it where the views share the key).
  bool twin = false;
  std::string pages;  // the strings it holds, in UTF-8, for the run's hijack hosts
};

bool IsString(const RegRawValue& value) {
  return value.type == kRegSz || value.type == kRegExpandSz;
}

bool HijackedPage(const RegRawValue& value, std::string_view user_address) {
  return IsString(value) &&
         IsHijackedStartPage(Utf8FromUtf16Le(StringValueUnits(value)), user_address);
}

bool IsDword(const std::optional<RegRawValue>& value, std::uint32_t number) {
  return value && value->type == kRegDword && value->bytes.size() == 4 &&
         value->bytes == std::string{static_cast<char>(number), 0, 0, 0};
}

int ValueCount(const RegKeyTree& tree) {
  int count = static_cast<int>(tree.values.size());
  for (const auto& [name, subkey] : tree.subkeys) count += ValueCount(subkey);
  return count;
}

bool AnyHijackedPage(const RegKeyTree& tree, std::string_view user_address) {
  for (const auto& [name, value] : tree.values) {
    if (HijackedPage(value, user_address)) return true;
  }
  return false;
}

const RegKeyTree* Subkey(const RegKeyTree& tree, const char* name) {
  for (const auto& [subkey_name, subkey] : tree.subkeys) {
    if (SameIgnoringAsciiCase(subkey_name, name)) return &subkey;
  }
  return nullptr;
}

const RegRawValue* ValueIn(const RegKeyTree& tree, const char* name) {
  for (const auto& [value_name, value] : tree.values) {
    if (SameIgnoringAsciiCase(value_name, name)) return &value;
  }
  return nullptr;
}

// The policies of one browser's key at one level, in one view.
class Finder {
 public:
  Finder(Registry& registry, std::string_view user_address, std::vector<Found>* found)
      : registry_(registry), user_address_(user_address), found_(found) {}

  // A companion is found after its policy and goes in the same Step: a
  // Step stops at its first failure, so HomepageIsNewTabPage never goes
  // alone to open the hijacked page.
  void Chromium(const Found& place) {
    const std::optional<RegRawValue> homepage = Value(place, kHomepage, kHomepageLocation);
    if (homepage && HijackedPage(*homepage, user_address_)) {
      Add(place, kHomepage, kHomepageLocation, *homepage);
      if (const auto flag = Value(place, kHomepage, kHomepageIsNewTabPage)) {
        Add(place, kHomepage, kHomepageIsNewTabPage, *flag);
      }
    }
    const std::optional<RegRawValue> new_tab = Value(place, kNewTabPage, kNewTabPageLocation);
    if (new_tab && HijackedPage(*new_tab, user_address_)) {
      Add(place, kNewTabPage, kNewTabPageLocation, *new_tab);
    }
    const std::optional<RegKeyTree> pages = Tree(place, kStartupPages, kRestoreOnStartupUrls);
    if (pages && AnyHijackedPage(*pages, user_address_)) {
      Add(place, kStartupPages, kRestoreOnStartupUrls, *pages);
      const std::optional<RegRawValue> restore = Value(place, kStartupPages, kRestoreOnStartup);
      if (IsDword(restore, kRestoreOpensUrls)) {
        Add(place, kStartupPages, kRestoreOnStartup, *restore);
      }
    }
    // Every entry forces an extension in: none is the user's to keep.
    const std::optional<RegKeyTree> forced =
        Tree(place, kForcedExtensions, kExtensionInstallForcelist);
    if (forced && ValueCount(*forced) > 0) {
      Add(place, kForcedExtensions, kExtensionInstallForcelist, *forced);
    }
    ExtensionSettings(place);
  }

  // Only the entries that install an extension: others (a "*" entry that
  // blocks, an administrator's tool's) stay, every other byte kept.
  void ExtensionSettings(const Found& place) {
    const std::optional<RegRawValue> settings = Value(place, kForcedExtensions, kExtensionSettings);
    if (settings && IsString(*settings)) {
      const std::string_view units = StringValueUnits(*settings);
      const std::string json = Utf8FromUtf16Le(units);
      const std::optional<SettingsCut> cut = CutInstallingEntries(json);
      const std::optional<std::string> back = Utf16LeFromUtf8(json);
      // A string the conversion would not give back exactly is left.
      if (cut && back && *back == units) {
        Found& found = Add(place, kForcedExtensions, kExtensionSettings);
        found.state = "有 " + Decimal(cut->removed) + " 项安装扩展";
        found.entry.content = ViewedContent(*settings);
        found.value = settings;
        if (!cut->nothing_left) {
          found.after =
              RegRawValue{settings->type, Utf16LeFromUtf8(cut->json).value_or(std::string(units)) +
                                              settings->bytes.substr(units.size())};
        }
      }
    }
    const std::optional<RegKeyTree> tree = Tree(place, kForcedExtensions, kExtensionSettings);
    if (!tree) return;
    for (const auto& [name, entry] : tree->subkeys) {
      const RegRawValue* mode = ValueIn(entry, "installation_mode");
      if (mode && IsString(*mode) && InstallsExtension(Utf8FromUtf16Le(StringValueUnits(*mode)))) {
        Add(place, kForcedExtensions, Text(kExtensionSettings) + "\\" + name, entry);
      }
    }
  }

  // Firefox's start pages are one key: the page, its extra pages, and the
  // switches that lock them in.
  void Firefox(const Found& place) {
    const std::optional<RegKeyTree> homepage = Tree(place, kHomepage, kFirefoxHomepage);
    if (!homepage) return;
    const RegRawValue* url = ValueIn(*homepage, "URL");
    const RegKeyTree* additional = Subkey(*homepage, "Additional");
    if ((url && HijackedPage(*url, user_address_)) ||
        (additional && AnyHijackedPage(*additional, user_address_))) {
      Add(place, kHomepage, kFirefoxHomepage, *homepage);
    }
  }

 private:
  Found& Add(const Found& place, Kind kind, const Text& name) {
    Found found = place;
    found.kind = kind;
    found.entry.name = name;
    found_->push_back(found);
    return found_->back();
  }
  // `name` a policy's constant: no Text made of it at each call.
  void Add(const Found& place, Kind kind, const char* name, const RegRawValue& value) {
    Found& found = Add(place, kind, name);
    found.state = "现为 " + ShownRegValue(value);
    if (IsString(value)) found.pages = Utf8FromUtf16Le(StringValueUnits(value));
    found.entry.content = ViewedContent(value);
    found.value = value;
  }
  void Add(const Found& place, Kind kind, const Text& name, const RegKeyTree& tree) {
    Found& found = Add(place, kind, name);
    found.tree = true;
    found.state = "有 " + Decimal(ValueCount(tree)) + " 项";
    for (const auto& [value_name, value] : tree.values) {
      if (IsString(value)) found.pages += Utf8FromUtf16Le(StringValueUnits(value)) + "\n";
    }
    found.entry.content = ViewedContent(tree);
  }

  void Unreadable(const Found& place, Kind kind, const char* name, bool tree) {
    Found& found = Add(place, kind, name);
    found.tree = tree;
    found.unreadable = true;
  }

  std::optional<RegRawValue> Value(const Found& place, Kind kind, const char* name) {
    const ViewedEntry& at = place.entry;
    std::optional<RegRawValue> value;
    if (registry_.ReadValue(at.view, at.root, at.key_path, name, &value)) return value;
    Unreadable(place, kind, name, false);
    return std::nullopt;
  }

  std::optional<RegKeyTree> Tree(const Found& place, Kind kind, const char* name) {
    const ViewedEntry& at = place.entry;
    std::optional<RegKeyTree> tree;
    if (registry_.ReadKeyTree(at.view, at.root, at.key_path + "\\" + name, &tree)) return tree;
    Unreadable(place, kind, name, true);
    return std::nullopt;
  }

  Registry& registry_;
  std::string_view user_address_;
  std::vector<Found>* found_;
};

// Every hijacked policy, browser by browser. A key both views show is one
// key: looked at once.
std::vector<Found> FindPolicies(Platform& machine, std::string_view user_address) {
  std::vector<Found> found;
  Finder finder(machine.registry, user_address, &found);
  TextSet seen;
  const std::vector<RegView> views = machine.registry.ItemViews();
  for (int browser = 0; browser < static_cast<int>(std::size(kBrowsers)); ++browser) {
    const Browser& which = kBrowsers[browser];
    for (RegRoot root : kRoots) {
      for (RegView view : views) {
        for (const Text& key : which.chromium ? TextArray{which.key, Text(which.key) + kRecommended}
                                              : TextArray{which.key}) {
          if (!seen.insert(AsciiUpper(RegFileKeyName(root, view, key)))) continue;
          Found place;
          place.browser = browser;
          place.entry.view = view;
          place.entry.root = root;
          place.entry.key_path = key;
          if (which.chromium) {
            finder.Chromium(place);
          } else {
            finder.Firefox(place);
          }
        }
      }
    }
  }
  for (std::size_t at = 0; at < found.size(); ++at) {
    Found& later = found[at];
    for (std::size_t earlier = 0; earlier < at && !later.twin; ++earlier) {
      const Found& first = found[earlier];
      later.twin = !first.unreadable && !later.unreadable && first.tree == later.tree &&
                   SameThroughOtherView(first.entry, later.entry);
    }
  }
  return found;
}

// Its removal: a value guarded by what the plan saw; a key tree with all
// below it, gone already being as good as removed.
Change Removal(const Found& found) {
  const ViewedEntry& entry = found.entry;
  if (found.tree) {
    Change change;
    change.kind = Change::Kind::kKeyTree;
    change.view = entry.view;
    change.root = entry.root;
    change.key_path = entry.key_path + "\\" + entry.name;
    return change;
  }
  Change change = ValueChange(entry.view, entry.root, entry.key_path, entry.name, found.after);
  change.guarded = true;
  change.value_seen = found.value;
  return change;
}

// One browser's policies of one kind: one line of the repair, each found
// policy one line of the check. On a managed PC (`manager` names who
// manages it) shown and left.
Step PlanKind(int browser, Kind kind, const std::vector<Found>& found, const char* manager) {
  const Text prefix = Text("浏览器策略：") + kBrowsers[browser].name + " " + kKindNames[kind];
  const Text left = manager ? Text("由") + manager + "设置" : Text();
  Step step;
  step.key = prefix;
  step.done_line = prefix + "已删除";
  step.failed_line = prefix + (manager ? left + "，未修改" : Text("删除失败"));
  bool unread = false;
  for (const Found& each : found) {
    if (each.browser != browser || each.kind != kind) continue;
    const ViewedEntry& entry = each.entry;
    if (!each.twin) {
      const Text shown = Text("浏览器策略：") + kBrowsers[browser].name + " " + entry.name + "（" +
                         RegFileKeyName(entry.root, entry.view, entry.key_path) + "）";
      step.check_lines.push_back(shown + (each.unreadable ? Text("无法读取")
                                          : manager ? each.state + "，" + left + "，不会修改"
                                                    : each.state + "，将删除"));
    }
    if (each.unreadable) {
      unread = true;
    } else if (!manager) {
      step.changes.push_back(Removal(each));
      step.changes_something = step.changes_something || !each.twin;
    }
  }
  // What could not be read is a failure to remove it; the rest still goes.
  step.partly_unread = unread && !step.changes.empty();
  step.reports_failure = unread && step.changes.empty() && !manager;
  step.listed_as_left = manager && !step.check_lines.empty();
  return step;
}

bool SameKey(const Text& a, const Text& b) { return SameIgnoringAsciiCase(a, b); }

// `name` is `key` or lies below it.
bool AtOrBelow(const Text& name, const Text& key) {
  return SameKey(name, key) || (name.size() > key.size() && name[key.size()] == '\\' &&
                                SameKey(name.substr(0, key.size()), key));
}

bool PolicyRoot(RegRoot root) {
  return root == RegRoot::kLocalMachine || root == RegRoot::kCurrentUser;
}

// The Chromium level keys: each browser's key and its Recommended key.
TextArray ChromiumLevelKeys() {
  TextArray keys;
  for (const Browser& browser : kBrowsers) {
    if (!browser.chromium) continue;
    keys.push_back(browser.key);
    keys.push_back(Text(browser.key) + kRecommended);
  }
  return keys;
}

// Every key tree the repair removes.
TextArray PolicyTrees() {
  TextArray trees;
  for (const Text& key : ChromiumLevelKeys()) {
    for (const char* tree : kChromiumTrees) trees.push_back(key + "\\" + tree);
  }
  for (const Browser& browser : kBrowsers) {
    if (!browser.chromium) trees.push_back(Text(browser.key) + "\\" + kFirefoxHomepage);
  }
  return trees;
}

}  // namespace

void PlanBrowserPolicies(PlanContext& context, Plan& plan) {
  const std::vector<Found> found = FindPolicies(context.machine, context.address_utf8);
  if (found.empty()) return;
  // A domain's administrator or an organization's device management set
  // them, or may have: left as they are.
  const char* manager = PcManager(context.machine.files).Name();
  // A managed PC's policies stay: their pages are no hijacker's to this run.
  for (const Found& each : found) {
    if (!manager && each.kind != kForcedExtensions) {
      AddHijackHostsIn(each.pages, context.address_utf8, context.hijack_hosts);
    }
  }
  for (int browser = 0; browser < static_cast<int>(std::size(kBrowsers)); ++browser) {
    for (int kind = 0; kind < kKinds; ++kind) {
      Step step = PlanKind(browser, static_cast<Kind>(kind), found, manager);
      if (!step.check_lines.empty()) plan.push_back(std::move(step));
    }
  }
}

bool RepairMayWritePolicyValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (!PolicyRoot(root)) return false;
  for (const Text& key : ChromiumLevelKeys()) {
    if (!SameKey(key_path, key)) continue;
    for (const char* name : kChromiumValues) {
      if (SameKey(value_name, name)) return true;
    }
  }
  return false;
}

// An entry of ExtensionSettings as a key (a subkey of it, one name), or with
// `below` anything within one.
bool IsSettingsEntryKey(const Text& key_path, bool below = false) {
  for (const Text& level : ChromiumLevelKeys()) {
    const Text settings = level + "\\" + kExtensionSettings + "\\";
    if (key_path.size() > settings.size() &&
        SameKey(key_path.substr(0, settings.size()), settings) &&
        key_path[settings.size()] != '\\' &&
        (below || key_path.find('\\', settings.size()) == Text::npos)) {
      return true;
    }
  }
  return false;
}

bool RepairMayWritePolicyKeyTree(RegRoot root, const Text& key_path) {
  if (!PolicyRoot(root)) return false;
  for (const Text& tree : PolicyTrees()) {
    if (SameKey(key_path, tree)) return true;
  }
  return IsSettingsEntryKey(key_path);
}

bool PolicyRegistryEntryAllowed(const RegFileEntry& entry) {
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : kRoots) {
      for (const Text& key : ChromiumLevelKeys()) {
        if (!SameKey(entry.key, RegFileKeyName(root, view, key))) continue;
        // The level key itself is never deleted or written whole: only its values.
        if (entry.kind == RegFileEntry::Kind::kDeletedKey) return false;
        if (entry.kind == RegFileEntry::Kind::kKey) return true;
        return RepairMayWritePolicyValue(root, key, entry.name);
      }
      for (const Text& tree : PolicyTrees()) {
        if (AtOrBelow(entry.key, RegFileKeyName(root, view, tree))) return true;
      }
    }
  }
  // Within an ExtensionSettings entry's key.
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : kRoots) {
      const Text root_name = RegFileKeyName(root, view, "Software") + "\\";
      if (entry.key.size() > root_name.size() &&
          SameKey(entry.key.substr(0, root_name.size()), root_name) &&
          IsSettingsEntryKey("Software\\" + entry.key.substr(root_name.size()), true)) {
        return true;
      }
    }
  }
  return false;
}

namespace {

bool PolicyEntry(const RegFileEntry& entry, const std::vector<Change>&) {
  return PolicyRegistryEntryAllowed(entry);
}

}  // namespace

const FinderPlaces kPolicyPlaces = {
    .value = RepairMayWritePolicyValue,
    .key_tree = RepairMayWritePolicyKeyTree,
    .registry_entry = PolicyEntry,
};
