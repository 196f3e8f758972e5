#include "engine/finders/desktop_items.h"

#include "engine/plan/repair_folders.h"
#include "engine/plan/value_changes.h"
#include "engine/plan/view_twins.h"
#include "engine/rules/browsers.h"
#include "engine/rules/reapply_rules.h"
#include "platform/reg_file.h"
#include "platform/text_set.h"

namespace {

const char kNameSpace[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
const char kClasses[] = "Software\\Classes\\CLSID";
const char kHideIcons[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons";
const char* const kHideViews[] = {"NewStartPanel", "ClassicStartMenu"};
const char kInternetExplorer[] = "{871C5380-42A0-1069-A2EA-08002B30309D}";
const char kComputer[] = "{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
// The shell's own folder object a cloud-storage provider's class delegates to.
const char kDelegateFolder[] = "{0E5AAE11-A475-4C5B-AB00-C66DE400274E}";

// The system's own items, which stay whatever their class says
// (docs/desktop-items.md says where each comes from).
const char* const kSystemItems[] = {
    kComputer,
    kInternetExplorer,
    "{645FF040-5081-101B-9F08-00AA002F954E}",  // 回收站
    "{59031A47-3F72-44A7-89C5-5595FE6B30EE}",  // 用户的文件
    "{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}",  // 网络
    "{5399E694-6CE5-4D6C-8FCE-1D8870FDCBA0}",  // 控制面板
    "{26EE0668-A00A-44D7-9371-BEB064C98683}",  // 控制面板（类别）
    "{21EC2020-3AEA-1069-A2DD-08002B30309D}",  // 控制面板（XP）
    "{031E4825-7B94-4DC3-B131-E946B44C8DD5}",  // 库
    "{F874310E-B6B7-47DC-BC84-B9E6B38F5903}",  // 主文件夹
    "{E88865EA-0E1C-4E20-9AA6-EDCD0212C87C}",  // 图库
    "{450D8FBA-AD25-11D0-98A8-0800361B1103}",  // 我的文档
    "{208D2C60-3AEA-1069-A2D7-08002B30309D}",  // 网上邻居
    "{2227A280-3AEA-1069-A2DE-08002B30309D}",  // 打印机
    "{B4FB3F98-C1EA-428D-A78A-D1F5659CBA93}",  // 家庭组
    "{E17D4FC0-5564-11D1-83F2-00A0C90DC849}",  // 搜索结果
    "{1F4DE370-D627-11D1-BA4F-00A0C91EEDBA}",  // 计算机搜索结果
    "{018D5C66-4533-4307-9B53-224DE2ED1FE6}",  // OneDrive
};
// What the computer's own icon is called, so an item posing as it is told.
const char* const kComputerNames[] = {"此电脑",  "我的电脑",    "计算机",
                                      "This PC", "My Computer", "Computer"};

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "{8-4-4-4-12}", as the shell reads a namespace entry's name.
bool IsClsidName(const Text& name) {
  if (name.size() != 38 || name.front() != '{' || name.back() != '}') return false;
  for (std::size_t at = 1; at < 37; ++at) {
    const bool dash = at == 9 || at == 14 || at == 19 || at == 24;
    if (dash ? name[at] != '-' : !IsHexDigit(name[at])) return false;
  }
  return true;
}

bool IsSystemItem(const Text& clsid) {
  for (const char* item : kSystemItems) {
    if (SameIgnoringAsciiCase(clsid, item)) return true;
  }
  return false;
}

const RegKeyTree* SubkeyOf(const RegKeyTree& tree, const char* name) {
  for (const auto& [subkey_name, subkey] : tree.subkeys) {
    if (SameIgnoringAsciiCase(subkey_name, name)) return &subkey;
  }
  return nullptr;
}

Text StringIn(const RegKeyTree* tree, const char* name) {
  if (!tree) return Text();
  for (const auto& [value_name, value] : tree->values) {
    if (!SameIgnoringAsciiCase(value_name, name)) continue;
    if (std::optional<Text> text = TextOfStringValue(value)) return *text;
  }
  return Text();
}

// The program a command runs: its quoted first part, or up to ".exe".
Text ProgramOf(const Text& command) {
  if (!command.empty() && command[0] == '"') {
    return command.substr(1, command.find('"', 1) - 1);
  }
  const std::size_t exe = AsciiUpper(command).find(".EXE");
  return exe == Text::npos ? command.substr(0, command.find(' ')) : command.substr(0, exe + 4);
}

// The browser an icon location ("path,index") shows: a browser's executable,
// or the libraries Internet Explorer's own icon comes from.
const Browser* BrowserOfIcon(const Text& location) {
  Text path = location;
  if (const std::size_t comma = path.rfind(','); comma != Text::npos) path.resize(comma);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = path.substr(1, path.size() - 2);
  }
  const Text file = FileNameOfPath(path);
  if (SameIgnoringAsciiCase(file, "ieframe.dll") || SameIgnoringAsciiCase(file, "shdocvw.dll")) {
    return BrowserOfExecutable("iexplore.exe");
  }
  return BrowserOfExecutable(file);
}

// One item as the desktop shows it: its name, what it is judged, and where
// its entries and class lie.
struct Item {
  Text clsid;
  Text entry_name;  // the namespace entry's own
  Text shown_name;
  Text why;  // empty: not the hijacker's
  bool poses_as_computer = false;
  std::vector<Change> removals;  // the namespace entries, then the class keys
  // The roots whose NameSpace names it: only their classes are its to remove
  // (a standard user's entry never leads to the machine's class).
  bool user_entry = false;
  bool machine_entry = false;
};

// The names a class shows: the entry's own, the class's, its localized
// name and its tip.
TextArray NamesOf(const Text& entry_name, const RegKeyTree& item_class) {
  TextArray names;
  for (const Text& name : {entry_name, StringIn(&item_class, "LocalizedString"),
                           StringIn(&item_class, ""), StringIn(&item_class, "InfoTip")}) {
    if (!name.empty() && name[0] != '@') names.push_back(name);
  }
  return names;
}

// A cloud-storage provider's class, as Windows asks it to be registered:
// the shell's own folder object over a folder of the provider's.
bool IsCloudFolder(const RegKeyTree& item_class) {
  const RegKeyTree* instance = SubkeyOf(item_class, "Instance");
  if (!instance || !SameIgnoringAsciiCase(StringIn(instance, "CLSID"), kDelegateFolder)) {
    return false;
  }
  const RegKeyTree* bag = SubkeyOf(*instance, "InitPropertyBag");
  return !StringIn(bag, "TargetFolderPath").empty() || !StringIn(bag, "TargetKnownFolder").empty();
}

// Judges the item by its class: `item.why` is left empty for one that is
// no hijacker's.
void Judge(PlanContext& context, const RegKeyTree& item_class, Item& item) {
  const TextArray names = NamesOf(item.entry_name, item_class);
  if (!names.empty()) {
    // The hijacker's text: no control character reaches the log.
    item.shown_name = "\"" + names[0] + "\"";
    for (char& c : item.shown_name) c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  const Browser* posed = BrowserOfIcon(StringIn(SubkeyOf(item_class, "DefaultIcon"), ""));
  for (const Text& name : names) {
    if (!posed) posed = BrowserOfShortcutName(name);
    for (const char* computer : kComputerNames) {
      item.poses_as_computer = item.poses_as_computer || SameIgnoringAsciiCase(name, computer);
    }
  }
  // A cloud folder's own verbs (its website, its settings) are its
  // provider's: only what a double-click runs is judged.
  const RegKeyTree* verbs = SubkeyOf(item_class, "shell");
  const bool cloud = IsCloudFolder(item_class);
  Text double_click = StringIn(verbs, "");
  if (double_click.empty()) double_click = "open";
  bool runs_posed = false;
  static const RegKeyTree kNoVerbs;
  for (const auto& [verb, verb_tree] : (verbs ? *verbs : kNoVerbs).subkeys) {
    if (cloud && !SameIgnoringAsciiCase(verb, double_click)) continue;
    const Text command = StringIn(SubkeyOf(verb_tree, "command"), "");
    if (command.empty()) continue;
    runs_posed = runs_posed || (posed && SameIgnoringAsciiCase(FileNameOfPath(ProgramOf(command)),
                                                               posed->executable));
    if (!item.why.empty()) continue;
    if (const auto why =
            WhyCommandReapplies(context.machine.files, command, context.address_utf8)) {
      item.why = ReapplyReason("", *why);
      AddPageOpened(*why, context.pages_opened);
    }
  }
  if (item.why.empty() && posed && !runs_posed) {
    item.why = Text("显示为浏览器 ") + posed->shortcut_names[0] + "，却不运行它";
  }
}

Change KeyRemoval(RegView view, RegRoot root, const Text& key_path) {
  Change removal;
  removal.kind = Change::Kind::kKeyTree;
  removal.view = view;
  removal.root = root;
  removal.key_path = key_path;
  return removal;
}

// Every CLSID text in the keys that name shell extensions of the classes
// every folder and file has, and in the other namespaces: read once, only
// once a hijacker's item is found.
class NamedClasses {
 public:
  explicit NamedClasses(Registry& registry) : registry_(registry) {}

  bool Names(const Text& clsid) {
    if (!read_) Read();
    return named_.contains(AsciiUpper(clsid));
  }

 private:
  void Collect(const RegKeyTree& tree) {
    for (const auto& [name, value] : tree.values) {
      if (const auto text = TextOfStringValue(value); text && IsClsidName(*text)) {
        named_.insert(AsciiUpper(*text));
      }
    }
    for (const auto& [name, subkey] : tree.subkeys) {
      if (IsClsidName(name)) named_.insert(AsciiUpper(name));
      Collect(subkey);
    }
  }
  void Read() {
    read_ = true;
    static const char* const kNaming[] = {
        "Software\\Classes\\*\\shellex",
        "Software\\Classes\\AllFilesystemObjects\\shellex",
        "Software\\Classes\\Folder\\shellex",
        "Software\\Classes\\Directory\\shellex",
        "Software\\Classes\\Directory\\Background\\shellex",
        "Software\\Classes\\Drive\\shellex",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace",
    };
    for (const auto [root, view] : SoftwareRoots(registry_)) {
      for (const char* key : kNaming) {
        std::optional<RegKeyTree> tree;
        if (registry_.ReadKeyTreeIfOpens(view, root, key, &tree) && tree) {
          Collect(*tree);
        }
      }
    }
  }

  Registry& registry_;
  bool read_ = false;
  TextSet named_;
};

// A class a program also uses: another key names it, or it belongs to a
// type library or an application that is registered.
bool ClassUsedElsewhere(Registry& registry, NamedClasses& named, const Text& clsid,
                        const RegKeyTree& item_class, RegView view) {
  if (named.Names(clsid)) return true;
  const Text library = StringIn(SubkeyOf(item_class, "TypeLib"), "");
  const Text application = StringIn(&item_class, "AppID");
  for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
    if ((IsClsidName(library) &&
         registry.KeyExists(view, root, "Software\\Classes\\TypeLib\\" + library)) ||
        (IsClsidName(application) &&
         registry.KeyExists(view, root, "Software\\Classes\\AppID\\" + application))) {
      return true;
    }
  }
  return false;
}

// The file a class's server names (InprocServer32, a library's path, else
// LocalServer32, a command), %SystemRoot% and %windir% put as the Windows
// folder, without quotes or arguments; empty when it names none.
Text ServerOf(const RegKeyTree& item_class, const Text& windows) {
  Text server = StringIn(SubkeyOf(item_class, "InprocServer32"), "");
  if (server.size() >= 2 && server.front() == '"' && server.back() == '"') {
    server = server.substr(1, server.size() - 2);
  }
  if (server.empty()) server = ProgramOf(StringIn(SubkeyOf(item_class, "LocalServer32"), ""));
  for (const char* variable : {"%SystemRoot%\\", "%windir%\\"}) {
    const Text name = variable;
    if (!windows.empty() && server.size() > name.size() &&
        SameIgnoringAsciiCase(server.substr(0, name.size()), name)) {
      server = windows + server.substr(name.size());
    }
  }
  return server;
}

// True when `server` is a file of Windows itself: in the Windows folder's
// System32 or SysWOW64 (or the folder itself, as explorer.exe), or a bare
// name the loader finds there. Such a class may be any program's (the
// shell's own link object is one), so no item's removal takes it.
bool IsWindowsServer(FileSystem& files, const Text& server, const Text& windows) {
  if (server.empty()) return false;
  if (windows.empty()) {
    // Where the system does not say, any system folder on the way counts.
    const Text upper = AsciiUpper(server);
    return upper.find("\\SYSTEM32\\") != Text::npos || upper.find("\\SYSWOW64\\") != Text::npos;
  }
  if (server.find('\\') == Text::npos) {
    return files.PathExists(windows + "System32\\" + server) ||
           files.PathExists(windows + "SysWOW64\\" + server);
  }
  if (server.find('\\', windows.size()) == Text::npos && PlainPathBelow(windows, server)) {
    return true;
  }
  for (const char* system : {"System32\\", "SysWOW64\\", "Sysnative\\"}) {
    if (PlainPathBelow(windows + system, server)) return true;
  }
  return false;
}

// A class key found for an item: where it lies, and what it holds.
struct ClassKey {
  RegView view;
  RegRoot root;
  Text path;
  RegKeyTree tree;
};

// The class keys of `clsid`, the user's before the machine's: the first is
// the one the shell reads, as HKEY_CLASSES_ROOT merges them. A key that
// does not open is passed over: proving it absent would list every CLSID
// key again for each item.
std::vector<ClassKey> ReadClass(Registry& registry, const Text& clsid) {
  std::vector<ClassKey> found;
  for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
    for (RegView view : registry.ItemViews()) {
      const Text path = Text(kClasses) + "\\" + clsid;
      std::optional<RegKeyTree> tree;
      if (!registry.ReadKeyTreeIfOpens(view, root, path, &tree) || !tree) {
        continue;
      }
      found.push_back({view, root, path, std::move(*tree)});
    }
  }
  return found;
}

// The Step of one finding: `what`, then what the repair does ("删除": "将删除",
// "已删除", "删除失败").
Step FindingStep(const Text& what, const char* act, Change change) {
  Step step;
  step.key = what;
  step.check_lines.push_back(what + "，将" + act);
  step.done_line = what + "，已" + act;
  step.failed_line = what + "，" + act + "失败";
  step.changes_something = true;
  step.changes.push_back(std::move(change));
  return step;
}

// A value that hides the real icon beside an item posing as it: set to
// show it (an absent value hides the computer's icon since Vista).
void PlanHidingValues(Registry& registry, bool computer, Plan& plan) {
  const RegRawValue shown = {kRegDword, std::string(4, '\0')};
  for (const char* view : kHideViews) {
    const Text key = Text(kHideIcons) + "\\" + view;
    for (const char* icon : {kInternetExplorer, kComputer}) {
      if (icon == kComputer && !computer) continue;
      std::optional<RegRawValue> value;
      if (!registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, key, icon, &value) || !value ||
          value->type != kRegDword || value->bytes.size() != 4 || *value == shown) {
        continue;
      }
      plan.push_back(FindingStep(
          Text("桌面图标：真正的") +
              (icon == kInternetExplorer ? "Internet Explorer 图标" : "“此电脑”图标") +
              "被隐藏（HKEY_CURRENT_USER\\" + key + "\\" + icon + "）",
          "恢复显示",
          GuardedValueChange(RegView::kOwn, RegRoot::kCurrentUser, key, icon, *value, shown)));
    }
  }
}

}  // namespace

void PlanDesktopItems(PlanContext& context, Plan& plan) {
  Registry& registry = context.machine.registry;
  // Each CLSID once, with the entries of every root and view that name it.
  std::vector<Item> items;
  for (const auto [root, view] : SoftwareRoots(registry)) {
    std::optional<std::vector<Text>> names;
    if (!registry.ReadSubkeyNames(view, root, kNameSpace, &names) || !names) continue;
    for (const Text& clsid : *names) {
      if (!IsClsidName(clsid) || IsSystemItem(clsid)) continue;
      const Text path = Text(kNameSpace) + "\\" + clsid;
      std::optional<RegRawValue> name;
      if (!registry.ReadValue(view, root, path, "", &name)) continue;
      std::size_t at = 0;
      while (at < items.size() && !SameIgnoringAsciiCase(items[at].clsid, clsid)) ++at;
      if (at == items.size()) {
        items.emplace_back();
        items.back().clsid = clsid;
        if (name) items.back().entry_name = TextOfStringValue(*name).value_or(Text());
      }
      (root == RegRoot::kCurrentUser ? items[at].user_entry : items[at].machine_entry) = true;
      items[at].removals.push_back(KeyRemoval(view, root, path));
    }
  }
  NamedClasses named(registry);
  const Text windows = context.machine.files.GetSpecialFolder(kWindowsFolder);
  bool found = false, computer = false;
  for (Item& item : items) {
    const std::vector<ClassKey> classes = ReadClass(registry, item.clsid);
    // No class: the shell shows nothing.
    if (classes.empty()) continue;
    const RegKeyTree& item_class = classes.front().tree;
    Judge(context, item_class, item);
    if (item.why.empty()) continue;
    // Only the classes of the roots whose entries name it, and never one
    // Windows' own file serves: the entries go, and such a class stays,
    // the first one kept named in the line.
    Text kept;
    if (!ClassUsedElsewhere(registry, named, item.clsid, item_class, registry.ItemViews()[0])) {
      for (const ClassKey& key : classes) {
        const bool entry_root =
            key.root == RegRoot::kCurrentUser ? item.user_entry : item.machine_entry;
        const Text server = ServerOf(key.tree, windows);
        const bool windows_own = IsWindowsServer(context.machine.files, server, windows);
        if (entry_root && !windows_own) {
          item.removals.push_back(KeyRemoval(key.view, key.root, key.path));
        } else if (kept.empty()) {
          kept = "（" + RegFileKeyName(key.root, key.view, key.path) +
                 (windows_own ? " 由 Windows 自带的文件 " + server + " 提供，保留）"
                              : " 不属于该桌面项所在的根键，保留）");
        }
      }
    }
    found = true;
    computer = computer || item.poses_as_computer;
    Step step = FindingStep("桌面图标：" + item.shown_name + "（" + item.clsid + "）" + item.why,
                            "删除", {});
    for (Text* line : {&step.check_lines.back(), &step.done_line, &step.failed_line}) {
      *line += kept;
    }
    step.changes = std::move(item.removals);
    plan.push_back(std::move(step));
  }
  if (found) PlanHidingValues(registry, computer, plan);
}

bool RepairMayRemoveDesktopItem(RegRoot root, const Text& key_path) {
  if (root != RegRoot::kLocalMachine && root != RegRoot::kCurrentUser) return false;
  for (const char* key : {kNameSpace, kClasses}) {
    const Text prefix = Text(key) + "\\";
    if (key_path.size() == prefix.size() + 38 &&
        SameIgnoringAsciiCase(key_path.substr(0, prefix.size()), prefix)) {
      const Text clsid = key_path.substr(prefix.size());
      return IsClsidName(clsid) && !IsSystemItem(clsid);
    }
  }
  return false;
}

namespace {

bool HidingValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (root != RegRoot::kCurrentUser) return false;
  if (!SameIgnoringAsciiCase(value_name, kInternetExplorer) &&
      !SameIgnoringAsciiCase(value_name, kComputer)) {
    return false;
  }
  for (const char* view : kHideViews) {
    if (SameIgnoringAsciiCase(key_path, Text(kHideIcons) + "\\" + view)) return true;
  }
  return false;
}

// What its records put into registry.reg: a removed entry or class key and
// everything below it, and the hiding values its manifest names.
bool DesktopItemEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  if (NamedValueEntry(entry, changes, HidingValue, kInternetExplorer)) return true;
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    for (Text path = key.key_path;;) {
      if (RepairMayRemoveDesktopItem(key.root, path)) return true;
      const std::size_t parent = path.rfind('\\');
      if (parent == Text::npos) break;
      path.resize(parent);
    }
  }
  return false;
}

bool ShownByShell(const Change& change) {
  return change.kind == Change::Kind::kKeyTree
             ? RepairMayRemoveDesktopItem(change.root, change.key_path)
             : change.kind == Change::Kind::kValue &&
                   HidingValue(change.root, change.key_path, change.value_name);
}

}  // namespace

const FinderPlaces kDesktopItemPlaces = {
    .value = HidingValue,
    .key_tree = RepairMayRemoveDesktopItem,
    .registry_entry = DesktopItemEntry,
    .shell_shows = ShownByShell,
};
