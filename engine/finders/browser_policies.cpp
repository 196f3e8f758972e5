#include "engine/finders/browser_policies.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "engine/rules/start_urls.h"
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

const char kHomepageLocation[] = "HomepageLocation";
const char kHomepageIsNewTabPage[] = "HomepageIsNewTabPage";
const char kNewTabPageLocation[] = "NewTabPageLocation";
const char kRestoreOnStartup[] = "RestoreOnStartup";
const char kRestoreOnStartupUrls[] = "RestoreOnStartupURLs";
const char kExtensionInstallForcelist[] = "ExtensionInstallForcelist";
const char kFirefoxHomepage[] = "Homepage";
// RestoreOnStartup's value that opens RestoreOnStartupURLs.
constexpr std::uint32_t kRestoreOpensUrls = 4;

// The values and key trees below a Chromium level key the repair removes.
const char* const kChromiumValues[] = {kHomepageLocation, kHomepageIsNewTabPage,
                                       kNewTabPageLocation, kRestoreOnStartup};
const char* const kChromiumTrees[] = {kRestoreOnStartupUrls, kExtensionInstallForcelist};

enum Kind { kHomepage, kNewTabPage, kStartupPages, kForcedExtensions, kKinds };
const char* const kKindNames[kKinds] = {"主页策略", "新标签页策略", "启动页策略", "强制安装的扩展"};

// One policy the repair removes, as the check found it.
struct Found {
  int browser = 0;
  Kind kind = kHomepage;
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kLocalMachine;
  Text key;   // the key it is in
  Text name;  // its value's or its subkey's name
  bool tree = false;
  bool unreadable = false;  // could not be read: neither judged nor removed
  Text state;               // what it holds, as the line shows it
  std::string content;      // what it holds exactly
  int leader = -1;          // the found policy it goes with, by index
  // The same as one found in the other view: most likely the same key, as
  // HKEY_LOCAL_MACHINE\Software\Policies is on Windows 7 and later and in
  // Wine. Not shown again; the repair sees to it once that one is gone.
  int twin_of = -1;
};

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

bool IsString(const RegRawValue& value) {
  return value.type == kRegSz || value.type == kRegExpandSz;
}

// A registry string's code units up to its terminating zero: what a browser
// reads.
std::string_view Units(const RegRawValue& value) {
  std::string_view units(value.bytes);
  for (std::size_t at = 0; at + 1 < units.size(); at += 2) {
    if (units[at] == '\0' && units[at + 1] == '\0') return units.substr(0, at);
  }
  return units.substr(0, units.size() & ~std::size_t{1});
}

bool HijackedPage(const RegRawValue& value, std::string_view user_address) {
  return IsString(value) && IsHijackedStartPage(Utf8FromUtf16Le(Units(value)), user_address);
}

bool IsDword(const std::optional<RegRawValue>& value, std::uint32_t number) {
  return value && value->type == kRegDword && value->bytes.size() == 4 &&
         value->bytes == std::string{static_cast<char>(number), 0, 0, 0};
}

std::string Content(const RegRawValue& value) {
  return std::to_string(value.type) + ":" + HexDigits(value.bytes);
}

// A tree's names (in one letter case) and values, in one order.
std::string Content(const RegKeyTree& tree) {
  std::vector<std::string> parts;
  for (const auto& [name, value] : tree.values) {
    parts.push_back("v" + AsciiUpper(name) + "=" + Content(value));
  }
  for (const auto& [name, subkey] : tree.subkeys) {
    parts.push_back("k" + AsciiUpper(name) + "{" + Content(subkey) + "}");
  }
  std::sort(parts.begin(), parts.end());
  std::string all;
  for (const std::string& part : parts) all += part + ";";
  return all;
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

  void Chromium(const Found& place) {
    const std::optional<RegRawValue> homepage = Value(place, kHomepage, kHomepageLocation);
    if (homepage && HijackedPage(*homepage, user_address_)) {
      const int leader = Add(place, kHomepage, kHomepageLocation, *homepage);
      if (const auto flag = Value(place, kHomepage, kHomepageIsNewTabPage)) {
        Add(place, kHomepage, kHomepageIsNewTabPage, *flag, leader);
      }
    }
    const std::optional<RegRawValue> new_tab = Value(place, kNewTabPage, kNewTabPageLocation);
    if (new_tab && HijackedPage(*new_tab, user_address_)) {
      Add(place, kNewTabPage, kNewTabPageLocation, *new_tab);
    }
    const std::optional<RegKeyTree> pages = Tree(place, kStartupPages, kRestoreOnStartupUrls);
    if (pages && AnyHijackedPage(*pages, user_address_)) {
      const int leader = Add(place, kStartupPages, kRestoreOnStartupUrls, *pages);
      const std::optional<RegRawValue> restore = Value(place, kStartupPages, kRestoreOnStartup);
      if (IsDword(restore, kRestoreOpensUrls)) {
        Add(place, kStartupPages, kRestoreOnStartup, *restore, leader);
      }
    }
    // Every entry forces an extension in: none is the user's to keep.
    const std::optional<RegKeyTree> forced =
        Tree(place, kForcedExtensions, kExtensionInstallForcelist);
    if (forced && ValueCount(*forced) > 0) {
      Add(place, kForcedExtensions, kExtensionInstallForcelist, *forced);
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
  int Add(const Found& place, Kind kind, const char* name, int leader = -1) {
    Found found = place;
    found.kind = kind;
    found.name = name;
    found.leader = leader;
    found_->push_back(found);
    return static_cast<int>(found_->size()) - 1;
  }
  int Add(const Found& place, Kind kind, const char* name, const RegRawValue& value,
          int leader = -1) {
    const int at = Add(place, kind, name, leader);
    (*found_)[at].state = "现为 " + ShownRegValue(value);
    (*found_)[at].content = Content(value);
    return at;
  }
  int Add(const Found& place, Kind kind, const char* name, const RegKeyTree& tree) {
    const int at = Add(place, kind, name);
    (*found_)[at].tree = true;
    (*found_)[at].state = "有 " + std::to_string(ValueCount(tree)) + " 项";
    (*found_)[at].content = Content(tree);
    return at;
  }

  void Unreadable(const Found& place, Kind kind, const char* name, bool tree) {
    const int at = Add(place, kind, name);
    (*found_)[at].tree = tree;
    (*found_)[at].unreadable = true;
  }

  std::optional<RegRawValue> Value(const Found& place, Kind kind, const char* name) {
    std::optional<RegRawValue> value;
    if (registry_.ReadValue(place.view, place.root, place.key, name, &value)) return value;
    Unreadable(place, kind, name, false);
    return std::nullopt;
  }

  std::optional<RegKeyTree> Tree(const Found& place, Kind kind, const char* name) {
    std::optional<RegKeyTree> tree;
    if (registry_.ReadKeyTree(place.view, place.root, place.key + "\\" + name, &tree)) return tree;
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
  std::set<Text> seen;
  const std::vector<RegView> views = machine.registry.ItemViews();
  for (int browser = 0; browser < static_cast<int>(std::size(kBrowsers)); ++browser) {
    const Browser& which = kBrowsers[browser];
    for (RegRoot root : kRoots) {
      for (RegView view : views) {
        for (const Text& key : which.chromium ? TextArray{which.key, Text(which.key) + kRecommended}
                                              : TextArray{which.key}) {
          if (!seen.insert(AsciiUpper(RegFileKeyName(root, view, key))).second) continue;
          Found place;
          place.browser = browser;
          place.view = view;
          place.root = root;
          place.key = key;
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
    for (std::size_t earlier = 0; earlier < at && later.twin_of < 0; ++earlier) {
      const Found& first = found[earlier];
      if (!first.unreadable && !later.unreadable && first.view != later.view &&
          first.root == later.root && first.tree == later.tree &&
          SameIgnoringAsciiCase(first.key, later.key) &&
          SameIgnoringAsciiCase(first.name, later.name) && first.content == later.content) {
        later.twin_of = static_cast<int>(earlier);
      }
    }
  }
  return found;
}

Text PathOf(const Found& found) { return found.tree ? found.key + "\\" + found.name : found.key; }

// Removes one found policy, its before-state recorded first. True when it is
// gone; a policy gone already (a key both views show) needs no record.
bool Remove(Platform& machine, BundleWriter& bundle, const Found& found) {
  Registry& registry = machine.registry;
  const Text path = PathOf(found);
  if (found.tree) {
    if (!registry.KeyExists(found.view, found.root, path)) return true;
    if (!bundle.RecordKeyTreeBefore(found.view, found.root, path)) return false;
    registry.DeleteKeyTree(found.view, found.root, path);
    bundle.RecordKeyTreeAfter(found.view, found.root, path);
    return !registry.KeyExists(found.view, found.root, path);
  }
  std::optional<RegRawValue> value;
  if (!registry.ReadValue(found.view, found.root, path, found.name, &value)) return false;
  if (!value) return true;
  if (!bundle.RecordValueBefore(found.view, found.root, path, found.name)) return false;
  registry.DeleteValue(found.view, found.root, path, found.name);
  bundle.RecordValueAfter(found.view, found.root, path, found.name);
  return registry.ReadValue(found.view, found.root, path, found.name, &value) && !value;
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

int CheckBrowserPolicies(Platform& machine, RepairHost& host, std::string_view user_address) {
  const std::vector<Found> found = FindPolicies(machine, user_address);
  const bool domain = !found.empty() && machine.files.IsDomainJoined();
  int changes = 0;
  for (const Found& each : found) {
    if (each.twin_of >= 0) continue;
    const Text prefix = Text("浏览器策略：") + kBrowsers[each.browser].name + " " + each.name +
                        "（" + RegFileKeyName(each.root, each.view, each.key) + "）";
    if (each.unreadable) {
      Line(host, prefix + "无法读取");
    } else if (domain) {
      Line(host, prefix + each.state + "，由域管理员设置，不会修改");
    } else {
      Line(host, prefix + each.state + "，将删除");
      ++changes;
    }
  }
  return changes;
}

int RepairBrowserPolicies(Platform& machine, RepairHost& host, BundleWriter& bundle,
                          std::string_view user_address) {
  const std::vector<Found> found = FindPolicies(machine, user_address);
  if (found.empty()) return 0;
  struct Outcome {
    int found = 0;
    int failed = 0;
  };
  Outcome outcomes[std::size(kBrowsers)][kKinds] = {};
  // A domain's administrator set them, or may have: left as they are.
  const bool domain = machine.files.IsDomainJoined();
  std::vector<bool> removed(found.size(), false);
  for (std::size_t at = 0; at < found.size(); ++at) {
    const Found& each = found[at];
    // A twin whose first is still there is that one's failure, not another.
    if (each.twin_of >= 0 && (domain || !removed[each.twin_of])) continue;
    Outcome& outcome = outcomes[each.browser][each.kind];
    ++outcome.found;
    if (domain) continue;
    // A companion goes only with its policy: HomepageIsNewTabPage alone
    // gone would open the hijacked page.
    removed[at] = !each.unreadable && (each.leader < 0 || removed[each.leader]) &&
                  Remove(machine, bundle, each);
    outcome.failed += !removed[at];
  }
  int failed = 0;
  for (int browser = 0; browser < static_cast<int>(std::size(kBrowsers)); ++browser) {
    for (int kind = 0; kind < kKinds; ++kind) {
      const Outcome& outcome = outcomes[browser][kind];
      if (outcome.found == 0) continue;
      const Text prefix = Text("浏览器策略：") + kBrowsers[browser].name + " " + kKindNames[kind];
      if (domain) {
        Line(host, prefix + "由域管理员设置，未修改");
      } else {
        Line(host, prefix + (outcome.failed == 0 ? "已删除" : "删除失败"));
      }
      failed += outcome.failed;
    }
  }
  return failed;
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

bool RepairMayWritePolicyKeyTree(RegRoot root, const Text& key_path) {
  if (!PolicyRoot(root)) return false;
  for (const Text& tree : PolicyTrees()) {
    if (SameKey(key_path, tree)) return true;
  }
  return false;
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
