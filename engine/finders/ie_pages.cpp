#include "engine/finders/ie_pages.h"

#include "engine/finders/managed_pc.h"
#include "engine/plan/value_changes.h"
#include "engine/plan/view_twins.h"
#include "engine/rules/chromium_search.h"
#include "engine/rules/hijack_hosts.h"
#include "engine/rules/ie_defaults.h"
#include "platform/reg_file.h"
#include "platform/text_utf8.h"

namespace {

const char kMainKey[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kScopesKey[] = "Software\\Microsoft\\Internet Explorer\\SearchScopes";
const char kDefaultScope[] = "DefaultScope";
const char kScopeUrl[] = "URL";

// A string value as UTF-8; nullopt when absent, unreadable or no string.
std::optional<std::string> ReadString(Registry& registry, ViewedRoot at, const Text& key,
                                      const Text& name, std::optional<RegRawValue>* value) {
  if (!registry.ReadValue(at.view, at.root, key, name, value) || !*value ||
      ((*value)->type != kRegSz && (*value)->type != kRegExpandSz)) {
    return std::nullopt;
  }
  return Utf8FromUtf16Le(StringValueUnits(**value));
}

// The same type, holding `text` (UTF-8, zero-ended).
RegRawValue StringLike(const RegRawValue& seen, std::string_view text) {
  return RegRawValue{seen.type,
                     Utf16LeFromUtf8(text).value_or(std::string()) + std::string(2, '\0')};
}

// The Step of the same value read through the other view (the same root,
// key path and name, holding the same): where the views share the key it is
// one value. `change` then leaves what the first leaves, so that the second
// finds it done where they share it.
Step* Twin(Plan& plan, std::size_t first, Change& change) {
  for (std::size_t at = first; at < plan.size(); ++at) {
    for (const Change& earlier : plan[at].changes) {
      if (earlier.root == change.root && earlier.view != change.view &&
          SameIgnoringAsciiCase(earlier.key_path, change.key_path) &&
          SameIgnoringAsciiCase(earlier.value_name, change.value_name) &&
          earlier.value_seen == change.value_seen) {
        change.value_after = earlier.value_after;
        return &plan[at];
      }
    }
  }
  return nullptr;
}

class Finder {
 public:
  Finder(PlanContext& context, Plan& plan)
      : context_(context), plan_(plan), first_(plan.size()), manager_(context.machine.files) {}

  // One hijacked value: its Step, or joined to the Step of the same value
  // seen through the other view. `organizations`: on a managed PC the
  // organization's, shown and left. `why`: what the line adds after it.
  void Add(ViewedRoot at, const Text& key, const Text& name, const RegRawValue& seen,
           const RegRawValue& after, bool organizations, const Text& why = Text()) {
    Change change = GuardedValueChange(at.view, at.root, key, name, seen, after);
    const char* manager = organizations ? manager_.Name() : nullptr;
    if (manager) {
      // Looked for among the Steps left, by their Changes kept aside.
      if (Twin(left_, 0, change)) return;
      left_.emplace_back().changes.push_back(std::move(change));
    } else if (Step* twin = Twin(plan_, first_, change)) {
      twin->changes.push_back(std::move(change));
      return;
    }
    const Text place = "IE 浏览器：" + RegFileKeyName(at.root, at.view, key) + "\\" + name;
    const Text now = " 现为 " + ShownRegValue(seen) + why;
    Step step;
    step.key = RegFileKeyName(at.root, at.view, key) + "\\" + name;
    step.shown_what = step.key;
    step.shown_now = ShownRegValue(seen);
    step.shown_after = ShownRegValue(after);
    if (manager) {
      step.check_lines.push_back(place + now + "，由" + manager + "设置，不会修改");
      step.failed_line = place + " 由" + manager + "设置，未修改";
      step.listed_as_left = true;
    } else {
      step.check_lines.push_back(place + now + "，将改为 " + step.shown_after);
      step.done_line = place + " 原为 " + ShownRegValue(seen) + why + "，已改为 Windows 默认值";
      step.failed_line = place + now + "，修改失败";
      step.changes_something = true;
      step.changes.push_back(std::move(change));
    }
    plan_.push_back(std::move(step));
  }

  void Main(ViewedRoot at, bool wow_view, std::string_view windows_folder) {
    for (int which = 0; which < kIeValueCount; ++which) {
      const IeValue value = static_cast<IeValue>(which);
      std::optional<RegRawValue> seen;
      const std::optional<std::string> text =
          ReadString(context_.machine.registry, at, kMainKey, IeValueName(value), &seen);
      if (!text || !IsHijackedIeValue(value, *text, context_.address_utf8, windows_folder)) {
        continue;
      }
      const bool expandable = seen->type == kRegExpandSz;
      // Without the Windows folder a plain path cannot be written.
      if (value == IeValue::kLocalPage && !expandable && windows_folder.empty()) continue;
      if (at.root == RegRoot::kCurrentUser || !manager_.Name()) {
        // A search page on a host no browser ships names a hijacker; a
        // start page merely other than the box's may be the user's own.
        const bool search = value == IeValue::kSearchPage || value == IeValue::kDefaultSearchUrl;
        AddHijackHost(*text, context_.address_utf8,
                      search ? context_.hijack_hosts : context_.replaced_page_hosts);
      }
      Add(at, kMainKey, IeValueName(value), *seen,
          StringLike(*seen, WindowsIeValue(value, expandable, wow_view, windows_folder)),
          at.root == RegRoot::kLocalMachine);
    }
  }

  // The default scope searching a hijacker's page: IE pointed back at
  // Windows' Bing scope where that is there and searches Bing still; else
  // the default scope's address set to Bing's. No scope is removed.
  void Scopes(ViewedRoot at) {
    Registry& registry = context_.machine.registry;
    std::optional<RegRawValue> scope;
    const std::optional<std::string> id =
        ReadString(registry, at, kScopesKey, kDefaultScope, &scope);
    const std::optional<Text> id_text = scope ? TextOfStringValue(*scope) : std::nullopt;
    if (!id || !id_text || id->empty() || id_text->find('\\') != Text::npos) return;
    const Text scope_key = Text(kScopesKey) + "\\" + *id_text;
    std::optional<RegRawValue> url;
    const std::optional<std::string> address = ReadString(registry, at, scope_key, kScopeUrl, &url);
    if (!address || !IsHijackedSearchUrl(*address, context_.address_utf8)) return;
    if (!manager_.Name()) AddHijackHost(*address, context_.address_utf8, context_.hijack_hosts);
    const Text why = "（搜索网址为 " + ShownRegValue(*url) + "）";
    // Both roots' scopes may be an organization's (Group Policy deploys the
    // user's search providers as these very keys).
    if (!SameIgnoringAsciiCase(*id_text, kBingScope)) {
      std::optional<RegRawValue> bing_url;
      const std::optional<std::string> bing =
          ReadString(registry, at, Text(kScopesKey) + "\\" + kBingScope, kScopeUrl, &bing_url);
      if (bing && !bing->empty() && !IsHijackedSearchUrl(*bing, context_.address_utf8)) {
        Add(at, kScopesKey, kDefaultScope, *scope, StringLike(*scope, kBingScope), true, why);
        return;
      }
    }
    Add(at, scope_key, kScopeUrl, *url, StringLike(*url, kBingScopeUrl), true);
  }

 private:
  PlanContext& context_;
  Plan& plan_;
  std::size_t first_;
  PcManager manager_;
  Plan left_;
};

bool IeRoot(RegRoot root) {
  return root == RegRoot::kCurrentUser || root == RegRoot::kLocalMachine;
}

bool MayWriteIeValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (!IeRoot(root)) return false;
  if (SameIgnoringAsciiCase(key_path, kMainKey)) {
    for (int which = 0; which < kIeValueCount; ++which) {
      if (SameIgnoringAsciiCase(value_name, IeValueName(static_cast<IeValue>(which)))) return true;
    }
    return false;
  }
  if (SameIgnoringAsciiCase(key_path, kScopesKey)) {
    return SameIgnoringAsciiCase(value_name, kDefaultScope);
  }
  // A scope's address: one key directly below SearchScopes.
  const Text below = Text(kScopesKey) + "\\";
  return SameIgnoringAsciiCase(value_name, kScopeUrl) && key_path.size() > below.size() &&
         StartsWithKey(key_path, kScopesKey) && key_path.find('\\', below.size()) == Text::npos;
}

// What its records put into registry.reg: only values the manifest names
// (a key line: its key is one of those the values lie in).
bool IeRegistryEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  for (const char* name : {"Search Page", kDefaultScope, kScopeUrl}) {
    if (NamedValueEntry(entry, changes, MayWriteIeValue, name)) return true;
  }
  return false;
}

}  // namespace

void PlanInternetExplorerPages(PlanContext& context, Plan& plan) {
  Registry& registry = context.machine.registry;
  std::string windows_folder =
      Utf8FromText(context.machine.files.GetSpecialFolder(kWindowsFolder)).value_or(std::string());
  while (!windows_folder.empty() && windows_folder.back() == '\\') windows_folder.pop_back();
  const bool two_views = registry.ItemViews().size() > 1;
  Finder finder(context, plan);
  for (const ViewedRoot at : SoftwareRoots(registry)) {
    finder.Main(at, two_views && at.view == RegView::k32Bit, windows_folder);
    finder.Scopes(at);
  }
}

const FinderPlaces kInternetExplorerPlaces = {
    .value = MayWriteIeValue,
    .registry_entry = IeRegistryEntry,
};
