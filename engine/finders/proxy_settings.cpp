#include "engine/finders/proxy_settings.h"

const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

namespace {

const char kProxyEnable[] = "ProxyEnable";
const char kProxyServer[] = "ProxyServer";
const char kAutoConfigUrl[] = "AutoConfigURL";

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

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

Text Verdict(const ProxyFinding& finding, bool with_other_evidence, const char* done) {
  return "网络代理：" + finding.shown +
         (with_other_evidence ? Text(done)
                              : Text("（抓包、加速等软件也这样设置），未发现其他劫持迹象，不修改"));
}

}  // namespace

std::vector<ProxyFinding> PlanProxySettings(Platform& machine) {
  std::vector<ProxyFinding> found;
  Registry& registry = machine.registry;
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
    found.push_back({ProxyFinding::Kind::kLocalProxy, "本机代理 " + *server_text, *enable});
  }
  const std::optional<Text> script_text = StringOf(script);
  if (script_text && !script_text->empty() &&
      (IsThisPc(HostOf(*script_text)) || AsciiUpper(script_text->substr(0, 5)) == "FILE:")) {
    found.push_back({ProxyFinding::Kind::kLocalScript, "自动配置脚本 " + *script_text, *script});
  }
  return found;
}

int CheckProxySettings(RepairHost& host, const std::vector<ProxyFinding>& found,
                       bool with_other_evidence) {
  for (const ProxyFinding& finding : found) {
    Line(host, Verdict(finding, with_other_evidence, "，将关闭"));
  }
  return with_other_evidence ? static_cast<int>(found.size()) : 0;
}

int RepairProxySettings(Platform& machine, RepairHost& host, BundleWriter& bundle,
                        const std::vector<ProxyFinding>& found, bool with_other_evidence) {
  int failed = 0;
  for (const ProxyFinding& finding : found) {
    if (!with_other_evidence) {
      Line(host, Verdict(finding, false, ""));
      continue;
    }
    const bool proxy = finding.kind == ProxyFinding::Kind::kLocalProxy;
    const char* name = proxy ? kProxyEnable : kAutoConfigUrl;
    const std::optional<RegRawValue> off =
        proxy ? std::optional<RegRawValue>(RegRawValue{kRegDword, std::string(4, '\0')})
              : std::nullopt;
    std::optional<RegRawValue> now;
    bool done = machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser,
                                           kInternetSettingsKey, name, &now) &&
                now == finding.value &&
                bundle.RecordValueChange(RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                                         name, off);
    if (done) {
      done = off ? machine.registry.WriteValue(RegView::kOwn, RegRoot::kCurrentUser,
                                               kInternetSettingsKey, name, *off)
                 : machine.registry.DeleteValue(RegView::kOwn, RegRoot::kCurrentUser,
                                                kInternetSettingsKey, name);
    }
    Line(host, Verdict(finding, true, done ? "，已关闭" : "，关闭失败"));
    failed += !done;
  }
  return failed;
}

bool RepairMayWriteProxyValue(RegRoot root, const Text& key_path, const Text& value_name) {
  return root == RegRoot::kCurrentUser && SameIgnoringAsciiCase(key_path, kInternetSettingsKey) &&
         (SameIgnoringAsciiCase(value_name, kProxyEnable) ||
          SameIgnoringAsciiCase(value_name, kAutoConfigUrl));
}

namespace {

// An entry of registry.reg the removal of a proxy setting records: a value of Internet Settings
// that the manifest names as changed (so the file cannot carry a program to
// start that the repair never removed); never a key deleted whole.
bool ProxyEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  if (entry.kind == RegFileEntry::Kind::kDeletedKey || !NamedByManifest(entry, changes)) {
    return false;
  }
  const bool key_line = entry.kind == RegFileEntry::Kind::kKey;
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    if (RepairMayWriteProxyValue(key.root, key.key_path,
                                 key_line ? Text("ProxyEnable") : entry.name))
      return true;
  }
  return false;
}

}  // namespace

const FinderPlaces kProxyPlaces = {
    .value = RepairMayWriteProxyValue,
    .registry_entry = ProxyEntry,
};
