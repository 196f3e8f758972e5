#include "engine/finders/link_handlers.h"

#include "engine/finders/lookalike_links.h"
#include "engine/finders/managed_pc.h"
#include "engine/plan/value_changes.h"
#include "engine/plan/view_twins.h"
#include "engine/rules/link_commands.h"
#include "engine/rules/reapply_rules.h"
#include "engine/rules/registry_views.h"
#include "platform/reg_file.h"
#include "platform/text_utf16.h"

namespace {

const char kClasses[] = "Software\\Classes";
const char kStartMenu[] = "Software\\Clients\\StartMenuInternet";
const char kCommand[] = "\\shell\\open\\command";
const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// Windows' own policy that sets the handlers at logon (a domain's or an
// MDM's "default associations configuration" file).
const char kSystemPolicies[] = "Software\\Policies\\Microsoft\\Windows\\System";
const char kAssociationsPolicy[] = "DefaultAssociationsConfiguration";
const char kUrlAssociations[] =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";

std::optional<RegRawValue> StringAfter(const RegRawValue& seen, const Text& command) {
  std::optional<std::string> units = Utf16LeFromText(command);
  if (!units) return std::nullopt;
  return RegRawValue{seen.type, *units + std::string(2, '\0')};
}

class Finder {
 public:
  Finder(PlanContext& context, Plan& plan)
      : context_(context),
        registry_(context.machine.registry),
        plan_(plan),
        manager_(context.machine.files) {}

  void Run() {
    for (const ViewedRoot at : SoftwareRoots(registry_)) {
      std::optional<std::vector<Text>> names;
      // Only names: a PC has thousands of classes, and reads the few judged.
      if (!registry_.ReadSubkeyNames(at.view, at.root, kClasses, &names) || !names) continue;
      for (const Text& name : *names) {
        const BrowserHandler* own = BrowserClassNamed(name);
        if (!own && !IsSharedLinkClass(name)) continue;
        Judge(at, Text(kClasses) + "\\" + name, name, own,
              SameIgnoringAsciiCase(name, "InternetShortcut"));
      }
    }
    for (const ViewedRoot at : SoftwareRoots(registry_)) {
      std::optional<std::vector<Text>> names;
      if (!registry_.ReadSubkeyNames(at.view, at.root, kStartMenu, &names) || !names) continue;
      for (const Text& name : *names) {
        Judge(at, Text(kStartMenu) + "\\" + name, "开始菜单的 " + name, StartMenuEntryNamed(name),
              false);
      }
    }
    AppPaths();
    DefaultBrowser();
  }

 private:
  void Judge(ViewedRoot at, const Text& key, const Text& label, const BrowserHandler* own,
             bool strict) {
    const Text key_path = key + kCommand;
    std::optional<RegRawValue> value;
    if (!registry_.ReadValue(at.view, at.root, key_path, "", &value) || !value) return;
    if (value->type != kRegSz && value->type != kRegExpandSz) return;
    const std::optional<Text> command = TextOfStringValue(*value);
    if (!command) return;
    const LinkCommandVerdict verdict = JudgeLinkCommand(*command, own, strict);
    if (verdict.what == LinkCommandVerdict::What::kFine) return;

    const Text key_name = RegFileKeyName(at.root, at.view, key_path);
    Text head = "网页链接：" + label + " 的打开命令";
    std::optional<Text> after;
    Text fixed_line;
    if (verdict.what == LinkCommandVerdict::What::kAppended) {
      head += "在浏览器后附加了";
      for (const Text& dropped : verdict.dropped) head += " " + dropped;
      head += "（" + key_name + "）";
      after = verdict.without;
    } else {
      head += "运行的不是" + (own ? Text(own->executable) : Text("浏览器")) + "：\"" + *command +
              "\"（" + key_name + "）";
      const Browser* browser = own ? BrowserOfExecutable(own->executable) : nullptr;
      // The machine's App Paths only: the user's can name any program.
      const Text installed =
          browser && own->registered
              ? InstalledBrowserPath(context_.machine, *browser, AppPathsOf::kMachineOnly)
              : Text();
      if (!installed.empty()) {
        after = "\"" + installed + "\"" + (*own->registered ? " " : "") + own->registered;
      } else {
        foreign_.push_back(label);
      }
    }
    Change change = GuardedValueChange(at.view, at.root, key_path, "", *value,
                                       after ? StringAfter(*value, *after) : std::nullopt);
    ViewedEntry entry = {at.view, at.root, key, "", ViewedContent(*value)};
    if (twins_.Joined(entry, change, plan_)) return;
    twins_.Add(std::move(entry), plan_);

    Step step;
    step.key = key_name;
    if (after && change.value_after && SetByPolicy()) {
      step.check_lines.push_back(head + "，由" + manager_.Name() + "设置，不会修改");
      step.listed_as_left = true;
    } else if (after && change.value_after) {
      const Text how = verdict.what == LinkCommandVerdict::What::kAppended
                           ? Text("去掉")
                           : "改回 \"" + *after + "\"";
      step.check_lines.push_back(head + "，将" + how);
      step.done_line = head + "，已" + how;
      step.failed_line = head + "，" + how + "失败";
      step.changes_something = true;
      step.changes.push_back(std::move(change));
      context_.reapplier_found = true;
    } else {
      step.check_lines.push_back(head + "，不会修改");
      step.listed_as_left = true;
    }
    plan_.push_back(std::move(step));
  }

  // A browser's App Paths entry naming another program: said, not changed
  // (which program the entry should name is the installer's to know).
  void AppPaths() {
    for (const ViewedRoot at : SoftwareRoots(registry_)) {
      for (const Browser& browser : KnownBrowsers()) {
        const Text key_path = Text(kAppPaths) + browser.executable;
        std::optional<RegRawValue> value;
        if (!registry_.ReadValue(at.view, at.root, key_path, "", &value) || !value) continue;
        std::optional<Text> path = TextOfStringValue(*value);
        if (!path || path->empty()) continue;
        if (path->size() >= 2 && path->front() == '"') *path = SplitCommand(*path).first;
        if (SameIgnoringAsciiCase(FileNameOfPath(*path), browser.executable)) continue;
        Change none;
        ViewedEntry entry = {at.view, at.root, key_path, "", ViewedContent(*value)};
        if (twins_.Joined(entry, none, plan_)) continue;
        twins_.Add(std::move(entry), plan_);
        Step step;
        step.key = RegFileKeyName(at.root, at.view, key_path);
        step.check_lines.push_back(Text("网页链接：App Paths 中的 ") + browser.executable +
                                   " 指向另一个程序 \"" + *path + "\"（" + step.key +
                                   "），不会修改");
        step.listed_as_left = true;
        plan_.push_back(std::move(step));
      }
    }
  }

  // UserChoice is Windows' to protect: where it names a class left running
  // another program, the person is sent to the Settings page.
  void DefaultBrowser() {
    if (foreign_.empty()) return;
    for (const char* scheme : {"http", "https"}) {
      std::optional<RegRawValue> value;
      if (!registry_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser,
                               Text(kUrlAssociations) + scheme + "\\UserChoice", "ProgId",
                               &value) ||
          !value) {
        continue;
      }
      const std::optional<Text> prog_id = TextOfStringValue(*value);
      if (!prog_id || prog_id->empty()) continue;
      bool foreign = false;
      for (const Text& label : foreign_)
        foreign = foreign || SameIgnoringAsciiCase(label, *prog_id);
      if (!foreign) continue;
      Step step;
      step.key = Text("HKEY_CURRENT_USER\\") + kUrlAssociations + scheme + "\\UserChoice";
      step.check_lines.push_back(Text("网页链接：默认浏览器（") + scheme + " 链接）是 " + *prog_id +
                                 "，它运行的不是浏览器；Windows 不许程序更改这一选择，请在“设置 > "
                                 "默认应用”（ms-settings:defaultapps）中重新选择浏览器");
      step.listed_as_left = true;
      plan_.push_back(std::move(step));
    }
  }

  // The handlers are the organization's where Windows' policy sets them on
  // a managed PC. Asked only once something is found.
  bool SetByPolicy() {
    if (!policy_set_) {
      bool set = false;
      for (RegView view : registry_.ItemViews()) {
        std::optional<RegRawValue> value;
        set = set || (registry_.ReadValue(view, RegRoot::kLocalMachine, kSystemPolicies,
                                          kAssociationsPolicy, &value) &&
                      value);
      }
      policy_set_ = set && manager_.Name();
    }
    return *policy_set_;
  }

  PlanContext& context_;
  Registry& registry_;
  Plan& plan_;
  PcManager manager_;
  ViewTwins twins_;
  std::optional<bool> policy_set_;
  TextArray foreign_;  // the classes left running another program
};

}  // namespace

void PlanLinkHandlers(PlanContext& context, Plan& plan) { Finder(context, plan).Run(); }

bool RepairMayWriteLinkHandler(RegRoot root, const Text& key_path, const Text& value_name) {
  if ((root != RegRoot::kLocalMachine && root != RegRoot::kCurrentUser) || !value_name.empty()) {
    return false;
  }
  const Text command = kCommand;
  if (key_path.size() <= command.size() ||
      !SameIgnoringAsciiCase(key_path.substr(key_path.size() - command.size()), command)) {
    return false;
  }
  const Text key = key_path.substr(0, key_path.size() - command.size());
  for (const char* parent : {kClasses, kStartMenu}) {
    const Text prefix = Text(parent) + "\\";
    if (key.size() <= prefix.size() ||
        !SameIgnoringAsciiCase(key.substr(0, prefix.size()), prefix)) {
      continue;
    }
    const Text name = key.substr(prefix.size());
    if (name.find('\\') != Text::npos) return false;
    return parent == kStartMenu || BrowserClassNamed(name) || IsSharedLinkClass(name);
  }
  return false;
}

namespace {

// What its records put into registry.reg: only values the manifest names.
bool LinkHandlerEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, RepairMayWriteLinkHandler, "");
}

}  // namespace

const FinderPlaces kLinkHandlerPlaces = {
    .value = RepairMayWriteLinkHandler,
    .registry_entry = LinkHandlerEntry,
};
