// libFuzzer target for the profile editors. Any input is either refused
// untouched, or edited into text whose only change is the removed settings:
//   Chromium:   the cut text parses, and equals the input's DOM without them;
//   Firefox:    the cut text parses, and holds the input's other calls;
//   autoconfig: the script without every call that may go is still read
//               for sure, and holds the other calls;
//   search:     the cut search.json parses, and equals the input's DOM
//               without the hijacked selections, their hashes and some
//               engines of those ids; judged again, it holds no hijack;
//   mozLz4:     a frame read is the frame of its text, re-encoded.
// And the judge of Firefox's add-ons (extensions.json, a zero byte, then
// extension-settings.json): a text it reads is JSON, and each add-on it
// finds is one of that text's, foreign or taking something over; its
// settings cut from extension-settings.json leave JSON holding none of them.
// The first byte picks the editor: even Chromium (with bit 2 set, search
// settings; with bits 2 and 3, the mozLz4 frame), odd Firefox (with bit 1
// set, an autoconfig script; with bits 1 and 2, the add-ons' judge).
#include <rapidjson/document.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/rules/autoconfig_script.h"
#include "engine/rules/chromium_prefs.h"
#include "engine/rules/firefox_addons.h"
#include "engine/rules/firefox_prefs.h"
#include "engine/rules/firefox_search.h"
#include "engine/rules/mozlz4_frame.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void RemovePath(rapidjson::Value* object, const std::string& path) {
  const std::size_t dot = path.find('.');
  const std::string key = path.substr(0, dot);
  if (!object->IsObject()) return;
  auto member = object->FindMember(key.c_str());
  if (member == object->MemberEnd()) return;
  if (dot == std::string::npos) {
    object->EraseMember(member);
  } else {
    RemovePath(&member->value, path.substr(dot + 1));
  }
}

// The same JSON, member by member in order: RapidJSON's == looks a name up,
// so an object that gives one twice, as the scanner allows where no setting
// lives, would differ from itself.
bool SameJson(const rapidjson::Value& a, const rapidjson::Value& b) {
  if (a.GetType() != b.GetType()) return false;
  if (a.IsObject()) {
    if (a.MemberCount() != b.MemberCount()) return false;
    for (auto x = a.MemberBegin(), y = b.MemberBegin(); x != a.MemberEnd(); ++x, ++y) {
      if (x->name != y->name || !SameJson(x->value, y->value)) return false;
    }
    return true;
  }
  if (a.IsArray()) {
    if (a.Size() != b.Size()) return false;
    for (rapidjson::SizeType at = 0; at < a.Size(); ++at) {
      if (!SameJson(a[at], b[at])) return false;
    }
    return true;
  }
  return a == b;
}

void Chromium(const std::string& input) {
  ChromiumPrefsFile file;
  if (ScanChromiumPrefs(input, &file) != ChromiumPrefsFault::kNone) return;
  ChromiumPrefsFault fault;
  const auto hijacked = JudgeChromiumStartSettings({&file}, "https://www.user-home.cn/", &fault);
  std::vector<std::string> paths;
  for (const auto& setting : hijacked) paths.push_back(setting.path);
  // Every setting, hijacked or not, to reach the cut's every path.
  if (paths.empty())
    paths.assign(std::begin(kChromiumStartSettings), std::end(kChromiumStartSettings));
  const std::string out = WithoutChromiumSettings(file, paths);
  rapidjson::Document before, after;
  before.Parse(input.c_str(), input.size());
  after.Parse(out.c_str(), out.size());
  Require(!after.HasParseError());
  for (const std::string& path : paths) {
    RemovePath(&before, path);
    RemovePath(&before, "protection.macs." + path);
    RemovePath(&before, "protection.macs." + path + "_encrypted_hash");
  }
  Require(SameJson(before, after));
  ChromiumPrefsFile again;
  Require(ScanChromiumPrefs(out, &again) == ChromiumPrefsFault::kNone);
}

void Firefox(const std::string& input) {
  const auto calls = ParseFirefoxPrefs(input);
  if (!calls) return;
  std::vector<FirefoxPrefCall> removed, kept;
  for (const FirefoxPrefCall& call : *calls) {
    (call.name.find("browser.startup") == 0 ? removed : kept).push_back(call);
  }
  const auto after = ParseFirefoxPrefs(WithoutCalls(input, removed));
  Require(after.has_value() && after->size() == kept.size());
  for (std::size_t at = 0; at < kept.size(); ++at) {
    Require((*after)[at].name == kept[at].name && (*after)[at].value == kept[at].value);
  }
}

void Autoconfig(const std::string& input) {
  const AutoconfigScript script = ReadAutoconfigScript(input);
  if (!script.understood) return;
  ByteRanges cut;
  std::vector<const FirefoxPrefCall*> kept;
  for (const AutoconfigCall& call : script.calls) {
    if (call.alone) {
      cut.emplace_back(call.cut_begin, call.cut_end);
    } else {
      kept.push_back(&call.call);
    }
  }
  const AutoconfigScript after = ReadAutoconfigScript(WithoutRanges(input, cut));
  Require(after.understood && after.calls.size() == kept.size());
  for (std::size_t at = 0; at < kept.size(); ++at) {
    const FirefoxPrefCall& call = after.calls[at].call;
    Require(call.function == kept[at]->function && call.name == kept[at]->name &&
            call.value == kept[at]->value);
  }
}

void Search(const std::string& input) {
  FirefoxSearchJudgement judged;
  const char* const hosts[] = {"so.hijack.test"};
  if (JudgeFirefoxSearch(input, "https://www.user-home.cn/", {hosts[0]}, &judged) !=
      FirefoxSearchFault::kNone) {
    Require(judged.removed.empty());
    return;
  }
  const std::string out = WithoutRanges(input, judged.removed);
  rapidjson::Document before, after;
  before.Parse(input.c_str(), input.size());
  after.Parse(out.c_str(), out.size());
  Require(!before.HasParseError() && !after.HasParseError());
  std::vector<std::string> ids;
  for (const HijackedSearchDefault& hijacked : judged.hijacked) {
    const std::string name =
        hijacked.private_browsing ? "privateDefaultEngineId" : "defaultEngineId";
    const rapidjson::Value& id = before["metaData"][name.c_str()];
    ids.emplace_back(id.GetString(), id.GetStringLength());
    RemovePath(&before, "metaData." + name);
    RemovePath(&before, "metaData." + name + "Hash");
  }
  // The engines left are the input's in order, less some of those ids.
  if (before.IsObject() && before.HasMember("engines")) {
    rapidjson::Value& was = before["engines"];
    const rapidjson::Value& now = after["engines"];
    rapidjson::SizeType kept = 0;
    for (rapidjson::SizeType at = 0; at < was.Size();) {
      if (kept < now.Size() && SameJson(was[at], now[kept])) {
        ++kept;
        ++at;
        continue;
      }
      const rapidjson::Value& id = was[at]["id"];
      Require(std::find(ids.begin(), ids.end(),
                        std::string(id.GetString(), id.GetStringLength())) != ids.end());
      was.Erase(was.Begin() + at);
    }
    Require(kept == now.Size());
  }
  Require(SameJson(before, after));
  FirefoxSearchJudgement again;
  Require(JudgeFirefoxSearch(out, "https://www.user-home.cn/", {hosts[0]}, &again) ==
          FirefoxSearchFault::kNone);
  Require(again.hijacked.empty());
}

void MozLz4(const std::string& input) {
  std::string text;
  if (DecodeMozLz4(input, &text) != MozLz4Fault::kNone) return;
  std::string again;
  Require(DecodeMozLz4(EncodeMozLz4(text), &again) == MozLz4Fault::kNone && again == text);
}

void Addons(const std::string& input) {
  const std::size_t split = input.find('\0');
  const std::string database = input.substr(0, split);
  const std::string settings = split == std::string::npos ? "" : input.substr(split + 1);
  std::vector<FirefoxAddon> found;
  if (JudgeFirefoxAddons(database, settings, "https://www.user-home.cn/", &found) !=
      FirefoxAddonsFault::kNone) {
    Require(found.empty());
    return;
  }
  rapidjson::Document before;
  before.Parse(database.c_str(), database.size());
  Require(!before.HasParseError());
  for (const FirefoxAddon& addon : found) {
    const std::optional<std::string> left = WithoutAddonSettings(settings, addon.id);
    if (!left) continue;
    rapidjson::Document after;
    after.Parse(left->c_str(), left->size());
    Require(!after.HasParseError() && WithoutAddonSettings(*left, addon.id) == *left);
    std::vector<FirefoxAddon> again;
    Require(JudgeFirefoxAddons(database, *left, "https://www.user-home.cn/", &again) ==
            FirefoxAddonsFault::kNone);
    for (const FirefoxAddon& other : again) {
      Require(other.id != addon.id || other.takes == FirefoxAddon::Takes::kNone);
    }
  }
  for (const FirefoxAddon& addon : found) {
    Require(!addon.id.empty() && (addon.foreign || addon.takes != FirefoxAddon::Takes::kNone));
    Require((addon.takes == FirefoxAddon::Takes::kNone) == addon.value.empty());
    bool listed = false;
    for (const rapidjson::Value& each : before["addons"].GetArray()) {
      listed =
          listed || (each.IsObject() && each.HasMember("id") && each["id"].IsString() &&
                     addon.id == std::string(each["id"].GetString(), each["id"].GetStringLength()));
    }
    Require(listed);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    if ((data[0] & 6) == 6) {
      Addons(input);
    } else if (data[0] & 2) {
      Autoconfig(input);
    } else {
      Firefox(input);
    }
  } else if (data[0] & 4) {
    if (data[0] & 8) {
      MozLz4(input);
    } else {
      Search(input);
    }
  } else {
    Chromium(input);
  }
  return 0;
}
