#include "engine/finders/proxy_settings.h"

#include "engine/plan/value_changes.h"

const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

namespace {

const char kProxyEnable[] = "ProxyEnable";
const char kProxyServer[] = "ProxyServer";
const char kAutoConfigUrl[] = "AutoConfigURL";

std::optional<Text> StringOf(const std::optional<RegRawValue>& value) {
  return value ? TextOfStringValue(*value) : std::nullopt;
}

// The host of "host:port", "scheme://host:port/path" or "[::1]:port".
Text HostOf(Text address) {
  const std::size_t scheme = address.find("://");
  if (scheme != Text::npos) address = address.substr(scheme + 3);
  if (!address.empty() && address[0] == '[')
    return AsciiUpper(address.substr(1, address.find(']') - 1));
  return AsciiUpper(address.substr(0, address.find_first_of(":/")));
}

bool IsThisPc(const Text& host) {
  return host == "LOCALHOST" || host == "::1" || host.rfind("127.", 0) == 0;
}

// ProxyServer is "host:port", or "http=host:port;https=host:port;...".
bool ServerIsThisPc(const Text& server) {
  for (Text part : SplitText(server, ";")) {
    const std::size_t equals = part.find('=');
    if (equals != Text::npos) part = part.substr(equals + 1);
    if (!part.empty() && IsThisPc(HostOf(part))) return true;
  }
  return false;
}

// A setting found: what it is, as the log shows it, the value that switches
// it off and that value as found.
struct ProxyFinding {
  Text shown;  // "本机代理 127.0.0.1:8888"
  const char* name;
  RegRawValue found;
  std::optional<RegRawValue> off;  // nullopt: the value goes
};

std::vector<ProxyFinding> FindProxySettings(Registry& registry) {
  std::vector<ProxyFinding> found;
  std::optional<RegRawValue> enable, server, script;
  if (!registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey, kProxyEnable,
                          &enable) ||
      !registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey, kProxyServer,
                          &server) ||
      !registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                          kAutoConfigUrl, &script)) {
    return found;
  }
  const bool enabled = enable && enable->type == kRegDword && enable->bytes.size() == 4 &&
                       enable->bytes != std::string(4, '\0');
  const std::optional<Text> server_text = StringOf(server);
  if (enabled && server_text && ServerIsThisPc(*server_text)) {
    found.push_back({"本机代理 " + *server_text, kProxyEnable, *enable,
                     RegRawValue{kRegDword, std::string(4, '\0')}});
  }
  const std::optional<Text> script_text = StringOf(script);
  if (script_text && !script_text->empty() &&
      (IsThisPc(HostOf(*script_text)) || AsciiUpper(script_text->substr(0, 5)) == "FILE:")) {
    found.push_back({"自动配置脚本 " + *script_text, kAutoConfigUrl, *script, std::nullopt});
  }
  return found;
}

}  // namespace

void PlanProxySettings(PlanContext& context, Plan& plan) {
  for (ProxyFinding& finding : FindProxySettings(context.machine.registry)) {
    const Text shown = "网络代理：" + finding.shown;
    Step step;
    step.key = RegFileKeyName(RegRoot::kCurrentUser, RegView::kOwn, kInternetSettingsKey) + "\\" +
               finding.name;
    if (!context.reapplier_found) {
      const Text left = shown + "（抓包、加速等软件也这样设置），未发现其他劫持迹象，不修改";
      step.check_lines.push_back(left);
      step.failed_line = left;
      plan.push_back(std::move(step));
      continue;
    }
    step.check_lines.push_back(shown + "，将关闭");
    step.done_line = shown + "，已关闭";
    step.failed_line = shown + "，关闭失败";
    step.changes_something = true;
    step.changes.push_back(GuardedValueChange(RegView::kOwn, RegRoot::kCurrentUser,
                                              kInternetSettingsKey, finding.name, finding.found,
                                              finding.off));
    plan.push_back(std::move(step));
  }
}

bool RepairMayWriteProxyValue(RegRoot root, const Text& key_path, const Text& value_name) {
  return root == RegRoot::kCurrentUser && SameIgnoringAsciiCase(key_path, kInternetSettingsKey) &&
         (SameIgnoringAsciiCase(value_name, kProxyEnable) ||
          SameIgnoringAsciiCase(value_name, kAutoConfigUrl));
}

namespace {

// What its records put into registry.reg: only values the manifest names.
bool ProxyEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, RepairMayWriteProxyValue, kProxyEnable);
}

}  // namespace

const FinderPlaces kProxyPlaces = {
    .value = RepairMayWriteProxyValue,
    .registry_entry = ProxyEntry,
};
