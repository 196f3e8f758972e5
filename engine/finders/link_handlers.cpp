#include "engine/finders/link_handlers.h"

#include "engine/finders/lookalike_links.h"
#include "engine/finders/managed_pc.h"
#include "engine/plan/value_changes.h"
#include "engine/plan/view_twins.h"
#include "engine/rules/hijack_hosts.h"
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

class Finder {
 public:
  Finder(PlanContext& context, Plan& plan)
      : context_(context),
        registry_(context.machine.registry),
        plan_(plan),
        manager_(context.machine.files) {}

  void Run() {
    Walk(kClasses);
    Walk(kStartMenu);
    AppPaths();
    DefaultBrowser();
  }

 private:
  // The classes (only names: a PC has thousands, and the few judged are
  // read) or the StartMenuInternet entries, in each root and view.
  void Walk(const char* parent) {
    const bool classes = parent == kClasses;
    for (const ViewedRoot at : SoftwareRoots(registry_)) {
      std::optional<std::vector<Text>> names;
      if (!registry_.ReadSubkeyNames(at.view, at.root, parent, &names) || !names) continue;
      for (const Text& name : *names) {
        const BrowserHandler* own = classes ? BrowserClassNamed(name) : StartMenuEntryNamed(name);
        if (classes && !own && !IsSharedLinkClass(name)) continue;
        Judge(at, Text(parent) + "\\" + name, classes ? name : "开始菜单的 " + name, own,
              classes && SameIgnoringAsciiCase(name, "InternetShortcut"));
      }
    }
  }

  void Judge(ViewedRoot at, const Text& key, const Text& label, const BrowserHandler* own,
             bool strict) {
    const Text key_path = key + kCommand;
    std::optional<RegRawValue> value;
    if (!registry_.ReadValue(at.view, at.root, key_path, "", &value) || !value) return;
    const std::optional<Text> command = TextOfStringValue(*value);
    if (!command) return;
    const LinkCommandVerdict verdict = JudgeLinkCommand(*command, own, strict);
    if (verdict.what == LinkCommandVerdict::What::kFine) return;

    Text head = "网页链接：" + label + " 的打开命令";
    Text after, how = "去掉";
    if (verdict.what == LinkCommandVerdict::What::kAppended) {
      head += "在浏览器后附加了";
      for (const Text& dropped : verdict.dropped) {
        head += " " + dropped;
        // A page appended to every link is a hijacker's (the ad shortcuts'),
        // unless an organization's policy sets the handler.
        if (!SetByPolicy()) AddHijackHostsIn(dropped, context_.address_utf8, context_.hijack_hosts);
      }
      after = verdict.without;
    } else {
      head += "运行的不是";
      head += own ? own->executable : "浏览器";
      head += "：\"" + *command + "\"";
      const Browser* browser = own ? BrowserOfExecutable(own->executable) : nullptr;
      // The machine's App Paths only: the user's can name any program.
      if (browser && own->registered) {
        after = InstalledBrowserPath(context_.machine, *browser, AppPathsOf::kMachineOnly);
      }
      if (!after.empty()) {
        after = "\"" + after + "\"" + (*own->registered ? " " : "") + own->registered;
        how = "改回 \"" + after + "\"";
      } else {
        foreign_.push_back(label);
      }
    }
    std::optional<std::string> units = Utf16LeFromText(after);
    std::optional<RegRawValue> written;
    if (!after.empty() && units) written = RegRawValue{value->type, *units + std::string(2, '\0')};
    Found(at, key_path, *value, head, written, how);
  }

  // One Step for a value found: changed, or (no `after`, or a managed PC's
  // policy handler) said and left. A value both views show alike is one.
  void Found(ViewedRoot at, const Text& key_path, const RegRawValue& value, Text head,
             const std::optional<RegRawValue>& after, const Text& how) {
    Change change = GuardedValueChange(at.view, at.root, key_path, "", value, after);
    ViewedEntry entry = {at.view, at.root, key_path, "", ViewedContent(value)};
    if (twins_.Joined(entry, change, plan_)) return;
    twins_.Add(std::move(entry), plan_);
    Step step;
    step.key = RegFileKeyName(at.root, at.view, key_path);
    head += "（" + step.key + "）";
    if (!after) {
      Left(std::move(step), head + "，不会修改");
    } else if (SetByPolicy()) {
      Left(std::move(step), head + "，由" + manager_.Name() + "设置，不会修改");
    } else {
      head += "，";
      step.check_lines.push_back(head + "将" + how);
      step.done_line = head + "已" + how;
      step.failed_line = head + how + "失败";
      step.changes_something = true;
      step.changes.push_back(std::move(change));
      context_.reapplier_found = true;
      plan_.push_back(std::move(step));
    }
  }

  void Left(Step step, const Text& line) {
    step.check_lines.push_back(line);
    step.listed_as_left = true;
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
        if (path->front() == '"') *path = SplitCommand(*path).first;
        if (SameIgnoringAsciiCase(FileNameOfPath(*path), browser.executable)) continue;
        Found(at, key_path, *value,
              Text("网页链接：App Paths 中的 ") + browser.executable + " 指向另一个程序 \"" +
                  *path + "\"",
              std::nullopt, Text());
      }
    }
  }

  // UserChoice is Windows' to protect: where it names a class left running
  // another program, the person is sent to the Settings page.
  void DefaultBrowser() {
    for (const char* scheme : {"http", "https"}) {
      if (foreign_.empty()) return;
      const Text key = Text(kUrlAssociations) + scheme + "\\UserChoice";
      std::optional<RegRawValue> value;
      if (!registry_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, key, "ProgId", &value) ||
          !value) {
        continue;
      }
      const Text prog_id = TextOfStringValue(*value).value_or(Text());
      bool foreign = false;
      for (const Text& label : foreign_) foreign = foreign || SameIgnoringAsciiCase(label, prog_id);
      if (!foreign) continue;
      Step step;
      step.key = "HKEY_CURRENT_USER\\" + key;
      Left(std::move(step), Text("网页链接：默认浏览器（") + scheme + " 链接）是 " + prog_id +
                                "，它运行的不是浏览器；Windows 不许程序更改这一选择，请在“设置 > "
                                "默认应用”（ms-settings:defaultapps）中重新选择浏览器");
    }
  }

  // The handlers are the organization's where Windows' policy sets them on
  // a managed PC. Asked only once something is found.
  bool SetByPolicy() {
    if (!policy_asked_) {
      policy_asked_ = true;
      for (RegView view : registry_.ItemViews()) {
        std::optional<RegRawValue> value;
        if (registry_.ReadValue(view, RegRoot::kLocalMachine, kSystemPolicies, kAssociationsPolicy,
                                &value) &&
            value) {
          policy_set_ = manager_.Name() != nullptr;
        }
      }
    }
    return policy_set_;
  }

  PlanContext& context_;
  Registry& registry_;
  Plan& plan_;
  PcManager manager_;
  ViewTwins twins_;
  bool policy_asked_ = false;
  bool policy_set_ = false;
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
