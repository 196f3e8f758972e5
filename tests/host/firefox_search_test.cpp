// Firefox's search settings: the mozLz4 frame against the real LZ4 library
// (its frames read, ours read by it, every damaged frame refused), and the
// judgement of the default engines with the look-alikes that stay.
#include "engine/rules/firefox_search.h"

#include <gtest/gtest.h>
#include <lz4.h>
#include <lz4hc.h>

#include <string>

#include "engine/rules/byte_ranges.h"
#include "engine/rules/mozlz4_frame.h"

namespace {

// A frame as Firefox's IOUtils writes one, its block made by the library's
// other compressor (HC), so the decoder is not only reading its own output.
std::string FrameOf(const std::string& text) {
  std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(text.size()))),
                    '\0');
  const int size = LZ4_compress_HC(text.data(), block.data(), static_cast<int>(text.size()),
                                   static_cast<int>(block.size()), LZ4HC_CLEVEL_MAX);
  block.resize(static_cast<std::size_t>(size));
  std::string frame("mozLz40\0", 8);
  for (int at = 0; at < 4; ++at) frame += static_cast<char>(text.size() >> (8 * at) & 0xff);
  return frame + block;
}

std::string SetDeclaredSize(std::string frame, std::size_t size) {
  for (int at = 0; at < 4; ++at) frame[8 + at] = static_cast<char>(size >> (8 * at) & 0xff);
  return frame;
}

const std::string kText =
    R"({"version":14,"engines":[{"id":"google","_name":"Google","_isConfigEngine":true}],)"
    R"("metaData":{"locale":"zh-CN","appDefaultEngineId":"google"}} and some repeats repeats)";

TEST(MozLz4Frame, ReadsTheLibrarysFramesAndWritesOnesItReads) {
  std::string text;
  ASSERT_EQ(DecodeMozLz4(FrameOf(kText), &text), MozLz4Fault::kNone);
  EXPECT_EQ(text, kText);
  const std::string ours = EncodeMozLz4(kText);
  EXPECT_EQ(ours.substr(0, 12), FrameOf(kText).substr(0, 12));
  std::string out(kText.size(), '\0');
  EXPECT_EQ(LZ4_decompress_safe(ours.data() + 12, out.data(), static_cast<int>(ours.size() - 12),
                                static_cast<int>(out.size())),
            static_cast<int>(kText.size()));
  EXPECT_EQ(out, kText);
  ASSERT_EQ(DecodeMozLz4(EncodeMozLz4(""), &text), MozLz4Fault::kNone);
  EXPECT_EQ(text, "");
  // Text that does not compress, and a long one.
  std::string noise, long_text;
  for (int at = 0; at < 5000; ++at) noise += static_cast<char>((at * 7919) >> 3);
  for (int at = 0; at < 20000; ++at) long_text += kText;
  for (const std::string& each : {noise, long_text}) {
    ASSERT_EQ(DecodeMozLz4(EncodeMozLz4(each), &text), MozLz4Fault::kNone);
    EXPECT_EQ(text, each);
  }
}

TEST(MozLz4Frame, EveryDamagedFrameIsRefused) {
  const std::string frame = FrameOf(kText);
  std::string text = "left over";
  EXPECT_EQ(DecodeMozLz4("", &text), MozLz4Fault::kNotMozLz4);
  EXPECT_EQ(text, "");
  EXPECT_EQ(DecodeMozLz4(frame.substr(0, 11), &text), MozLz4Fault::kNotMozLz4);
  EXPECT_EQ(DecodeMozLz4("mozLz41" + frame.substr(7), &text), MozLz4Fault::kNotMozLz4);
  // Cut anywhere in the block.
  for (std::size_t size = 12; size < frame.size(); ++size) {
    EXPECT_NE(DecodeMozLz4(frame.substr(0, size), &text), MozLz4Fault::kNone) << size;
    EXPECT_EQ(text, "");
  }
  // A size that lies either way.
  EXPECT_EQ(DecodeMozLz4(SetDeclaredSize(frame, kText.size() + 1), &text), MozLz4Fault::kSizeLies);
  EXPECT_NE(DecodeMozLz4(SetDeclaredSize(frame, kText.size() - 1), &text), MozLz4Fault::kNone);
  EXPECT_NE(DecodeMozLz4(SetDeclaredSize(frame, 0), &text), MozLz4Fault::kNone);
  // More than 16 MiB declared is refused before anything is made room for.
  EXPECT_EQ(DecodeMozLz4(SetDeclaredSize(frame, kLargestMozLz4Text + 1), &text),
            MozLz4Fault::kTooLarge);
  EXPECT_EQ(DecodeMozLz4(SetDeclaredSize(frame, 0xffffffff), &text), MozLz4Fault::kTooLarge);
  // Anything after the block.
  for (const std::string& garbage :
       {std::string(1, '\0'), std::string("x"), std::string(40, 'A'), frame.substr(12)}) {
    EXPECT_EQ(DecodeMozLz4(frame + garbage, &text), MozLz4Fault::kDamaged) << garbage.size();
  }
}

// A search.json as Firefox 153 writes it, with one engine more and the
// selection given.
std::string Settings(const std::string& extra_engine, const std::string& meta) {
  return R"({"version":14,"engines":[{"id":"google","_name":"Google","_isConfigEngine":true,)"
         R"("_metaData":{}},{"id":"bing","_name":"Bing","_isConfigEngine":true,"_metaData":{}})" +
         (extra_engine.empty() ? "" : "," + extra_engine) +
         R"(],"metaData":{"locale":"zh-CN","appDefaultEngineId":"google")" +
         (meta.empty() ? "" : "," + meta) + "}}";
}

const std::string kUserEngine =
    u8R"({"id":"6f8d","_name":"搜索助手","_loadPath":"[user]","_metaData":{"order":6},)"
    R"("_urls":[{"params":[],"rels":[],"template":"http://so.hijack.test/s?q={searchTerms}"}]})";
const char kDefaultIsUserEngine[] = R"("defaultEngineId":"6f8d","defaultEngineIdHash":"OH74=")";
const char kAddress[] = "https://www.user-home.cn/";

std::string Edited(const std::string& json, const std::vector<std::string>& hosts,
                   FirefoxSearchJudgement* judged) {
  EXPECT_EQ(JudgeFirefoxSearch(json, kAddress, hosts, judged), FirefoxSearchFault::kNone);
  return WithoutRanges(json, judged->removed);
}

TEST(FirefoxSearch, AnEngineNotFirefoxsNorAnAddonsAsDefaultGoesWithWhatSelectsIt) {
  FirefoxSearchJudgement judged;
  EXPECT_EQ(Edited(Settings(kUserEngine, kDefaultIsUserEngine), {}, &judged), Settings("", ""));
  ASSERT_EQ(judged.hijacked.size(), 1u);
  EXPECT_FALSE(judged.hijacked[0].private_browsing);
  EXPECT_EQ(judged.hijacked[0].engine, u8"搜索助手");
  // The private-browsing default too, the engine going once; the id first
  // in metaData, the hash apart from it.
  const std::string both =
      Settings(kUserEngine, R"("privateDefaultEngineId":"6f8d","useSavedOrder":true,)"
                            R"("privateDefaultEngineIdHash":"x",)" +
                                std::string(kDefaultIsUserEngine));
  EXPECT_EQ(Edited(both, {}, &judged), Settings("", R"("useSavedOrder":true)"));
  ASSERT_EQ(judged.hijacked.size(), 2u);
  EXPECT_TRUE(judged.hijacked[1].private_browsing);
  // An OpenSearch engine from a page, a policy's left behind, one of no
  // kind at all: none is Firefox's own. Without a hash, or with the engine
  // first in the array.
  for (const char* load_path :
       {R"("_loadPath":"[https]so.hijack.test/s.xml",)", R"("_loadPath":"[policy]",)", ""}) {
    const std::string engine = std::string(R"({"id":"e1",)") + load_path + R"("_name":"E"})";
    EXPECT_EQ(Edited(Settings(engine, R"("defaultEngineId":"e1")"), {}, &judged), Settings("", ""));
    const std::string first = R"({"engines":[)" + engine +
                              R"(,{"id":"g","_isConfigEngine":true}],)"
                              R"("metaData":{"defaultEngineId":"e1","x":1}})";
    EXPECT_EQ(Edited(first, {}, &judged),
              R"({"engines":[{"id":"g","_isConfigEngine":true}],"metaData":{"x":1}})");
  }
}

// An engine in the middle of the array, in text laid out by hand: the
// element goes with one comma, every other byte stays.
TEST(FirefoxSearch, AnElementGoesWithOneCommaWhateverTheLayout) {
  const std::string json =
      "{\n  \"engines\" : [ {\"id\":\"g\",\"_isConfigEngine\":true} ,\n"
      "    { \"id\" : \"e\" , \"_urls\" : [ { \"template\" : \"http://x/\" } ] } ,\n"
      "    {\"id\":\"b\",\"_isConfigEngine\":true}\n  ],\n"
      "  \"metaData\" : { \"defaultEngineIdHash\" : \"h\" , \"defaultEngineId\" : \"e\" }\n}\n";
  FirefoxSearchJudgement judged;
  EXPECT_EQ(Edited(json, {}, &judged),
            "{\n  \"engines\" : [ {\"id\":\"g\",\"_isConfigEngine\":true} ,\n"
            "    {\"id\":\"b\",\"_isConfigEngine\":true}\n  ],\n"
            "  \"metaData\" : {  }\n}\n");
}

TEST(FirefoxSearch, FirefoxsOwnAddonsAndTheUsersOtherEnginesStay) {
  const std::string look_alikes[][2] = {
      // The user chose another of Firefox's engines.
      {"", R"("defaultEngineId":"bing","defaultEngineIdHash":"")"},
      // Before Firefox 128: app-provided by flag and load path.
      {u8R"({"id":"baidu","_name":"百度","_isAppProvided":true,"_loadPath":"[app]baidu@search.mozilla.org"})",
       R"("defaultEngineId":"baidu")"},
      // An add-on's engine, as the add-on manager registers it.
      {R"({"id":"ext","_name":"Ecosia","_loadPath":"[addon]search@ecosia.org","extensionID":"search@ecosia.org"})",
       R"("defaultEngineId":"ext")"},
      {R"({"id":"ext","_name":"Old","_extensionID":"old@addon"})", R"("defaultEngineId":"ext")"},
      // The user's own engine, not the default: used only when picked.
      {kUserEngine, ""},
      {kUserEngine, R"("defaultEngineId":"google")"},
      // An id naming no engine, or empty: Firefox falls back by itself.
      {kUserEngine, R"("defaultEngineId":"gone","privateDefaultEngineId":"")"},
  };
  for (const auto& [engine, meta] : look_alikes) {
    FirefoxSearchJudgement judged;
    const std::string json = Settings(engine, meta);
    EXPECT_EQ(Edited(json, {"so.hijack.test"}, &judged), json) << json;
    EXPECT_TRUE(judged.hijacked.empty()) << json;
  }
  // Without metaData or engines there is nothing to judge.
  FirefoxSearchJudgement judged;
  EXPECT_EQ(Edited(R"({"version":14})", {}, &judged), R"({"version":14})");
}

TEST(FirefoxSearch, AnyEngineSearchingOnTheStartPagesHijackHostGoes) {
  const std::string engine =
      R"({"id":"ext","_name":"Fake","extensionID":"x@y","_urls":[{"template":"https://www.user-home.cn/?q={searchTerms}"},)"
      R"({"type":"application/x-suggestions+json","template":"http://SO.hijack.test:8080/sug"}]})";
  const std::string json = Settings(engine, R"("defaultEngineId":"ext")");
  FirefoxSearchJudgement judged;
  EXPECT_EQ(Edited(json, {"so.hijack.test"}, &judged), Settings("", ""));
  EXPECT_EQ(judged.hijacked.size(), 1u);
  // The host of the user's own address is no hijacker's, nor is another.
  EXPECT_EQ(Edited(json, {"www.user-home.cn"}, &judged), json);
  EXPECT_EQ(Edited(json, {"other.test"}, &judged), json);
}

// The settings file as each Firefox wrote it, from version 1 (Firefox 52
// ESR, the last for XP) to 12, with the members of its time: the engines of
// Firefox's own (read from its folder before version 3, flagged after),
// the user's OpenSearch engine with the nulls its class leaves, and the
// default named by "current" before version 7 and by "defaultEngineId"
// after. Shapes: Firefox 52's toJSON (nsSearchService.js), Firefox's own
// v6-*.json and settings-loading.json (toolkit/components/search/tests/
// xpcshell/settings), SearchEngine.jsm's fieldsToCopy.
std::string OwnEngine(int version, const std::string& id, const std::string& name) {
  if (version < 3) {
    return u8R"({"_name":")" + name + R"(","_shortName":")" + id +
           R"(","_loadPath":"jar:[app]/omni.ja!browser/)" + id +
           R"(.xml","description":null,"__searchForm":null,"_iconURL":"","_iconMapObj":null,)"
           R"("_metaData":{"order":1},"_urls":[{"template":"https://www.)" +
           id + R"(.com/s","rels":[],"resultDomain":")" + id +
           R"(.com","params":[{"name":"wd","value":"{searchTerms}"}]}],"queryCharset":"GB2312"})";
  }
  if (version < 6) {
    return u8R"({"_name":")" + name + R"(","_shortName":")" + id +
           R"(","_loadPath":"[other]addEngineWithDetails:)" + id +
           R"(@search.mozilla.org","description":null,"__searchForm":null,"_iconMapObj":null,)"
           R"("_metaData":{},"_urls":[{"template":"https://www.)" +
           id + R"(.com/s","rels":[],"params":[]}],"_isBuiltin":true,"extensionID":")" + id +
           R"(@search.mozilla.org"})";
  }
  const std::string engine_id =
      version < 7 ? "" : (version < 10 ? id + "@search.mozilla.orgdefault" : id);
  return (engine_id.empty() ? std::string("{") : R"({"id":")" + engine_id + R"(",)") +
         R"("_name":")" + name + R"(","_isAppProvided":true,"_metaData":{}})";
}

// An OpenSearch engine the user added from a page, as that Firefox wrote it.
std::string OpenSearchEngine(int version, const std::string& name, const std::string& host) {
  const std::string urls =
      R"("_urls":[{"params":[],"rels":[],"template":"https://)" + host + R"(/s?q={searchTerms}"}])";
  if (version < 3) {
    return R"({"_name":")" + name + R"(","_shortName":"x","_loadPath":"[https])" + host +
           R"(/x.xml","description":null,"__searchForm":null,"_iconURL":"","_iconMapObj":null,)"
           R"("_metaData":{},)" +
           urls + R"(,"_readOnly":false})";
  }
  std::string engine = "{";
  if (version >= 7) engine += R"("id":"6f8d8376-)" + name + R"(",)";
  engine += R"("_name":")" + name + R"(","_loadPath":"[https])" + host +
            R"(/x.xml","description":null,"__searchForm":null,)";
  if (version < 12) engine += R"("_iconURL":"",)";
  engine += R"("_iconMapObj":null,"_metaData":{},)" + urls +
            R"(,"_isAppProvided":false,"_orderHint":null,"_telemetryId":null,)"
            R"("_updateInterval":null,"_updateURL":null,"_iconUpdateURL":null,)"
            R"("_extensionID":null,"_locale":null,"_definedAliases":[]})";
  return engine;
}

// The file, its default the engine named `chosen`.
std::string VersionFile(int version, const std::string& chosen, bool with_hijacker) {
  std::string json = R"({"version":)" + std::to_string(version) +
                     R"(,"buildID":"20170303022339","locale":"zh-CN","engines":[)" +
                     OwnEngine(version, "baidu", u8"百度") + "," +
                     OwnEngine(version, "bing", "Bing") + "," +
                     OpenSearchEngine(version, "Page", "www.user-home.cn");
  if (with_hijacker) json += "," + OpenSearchEngine(version, "Hijack", "so.hijack.test");
  json += R"(],"metaData":{"useSavedOrder":false,)";
  if (version < 7) {
    json += R"("current":")" + chosen +
            R"(","hash":"dGhlIGhhc2g=",)"
            R"("private":")" +
            chosen + R"(","privateHash":"dGhlIGhhc2g="})";
  } else {
    const std::string id = chosen == u8"百度"
                               ? (version < 10 ? "baidu@search.mozilla.orgdefault" : "baidu")
                               : "6f8d8376-" + chosen;
    json += R"("defaultEngineId":")" + id +
            R"(","defaultEngineIdHash":"dGhlIGhhc2g=",)"
            R"("privateDefaultEngineId":")" +
            id + R"(","privateDefaultEngineIdHash":"x="})";
  }
  return json + "}";
}

TEST(FirefoxSearch, EveryVersionsDefaultIsReadAsThatFirefoxReadsIt) {
  for (int version = 1; version <= 12; ++version) {
    FirefoxSearchJudgement judged;
    // As written: Firefox's own engine, or the user's from a page of the
    // user's own site, the default; every null member accepted.
    for (const std::string& chosen : {std::string(u8"百度"), std::string("Page")}) {
      const std::string json = VersionFile(version, chosen, true);
      EXPECT_EQ(Edited(json, {"so.hijack.test"}, &judged), json) << json;
      EXPECT_TRUE(judged.hijacked.empty()) << json;
    }
    // The hijacker's engine injected as the default, by name or by id.
    const std::string json = VersionFile(version, "Hijack", true);
    const std::string edited = Edited(json, {}, &judged);
    ASSERT_EQ(judged.hijacked.size(), 2u) << json;
    EXPECT_EQ(judged.hijacked[0].engine, "Hijack");
    EXPECT_TRUE(judged.hijacked[1].private_browsing);
    std::string expected = VersionFile(version, "", false);
    const std::string selection =
        version < 7
            ? R"("current":"","hash":"dGhlIGhhc2g=","private":"","privateHash":"dGhlIGhhc2g=")"
            : "";
    if (version < 7) {
      expected.replace(expected.find(selection) - 1, selection.size() + 1, "");
    } else {
      expected = expected.substr(0, expected.find(R"(,"defaultEngineId")")) + "}}";
    }
    EXPECT_EQ(edited, expected) << version;
  }
}

// Each Firefox reads only its own names: before version 7 an id is written
// over from "current" (migrateEngineIds), after it "current" is read by none.
TEST(FirefoxSearch, ASelectionUnderTheOtherVersionsNamesIsNotRead) {
  FirefoxSearchJudgement judged;
  std::string old_file = VersionFile(6, u8"百度", true);
  old_file.insert(old_file.find(R"("useSavedOrder")"),
                  R"("defaultEngineId":"Hijack","defaultEngineIdHash":"x",)");
  EXPECT_EQ(Edited(old_file, {}, &judged), old_file);
  std::string new_file = VersionFile(12, u8"百度", true);
  new_file.insert(new_file.find(R"("useSavedOrder")"), R"("current":"Hijack","hash":"x",)");
  EXPECT_EQ(Edited(new_file, {}, &judged), new_file);
  // No version is read as a new file, as Firefox does.
  const std::string no_version = R"({"engines":[{"_name":"Hijack","id":"h"}],)"
                                 R"("metaData":{"current":"Hijack","defaultEngineId":"h"}})";
  EXPECT_EQ(Edited(no_version, {}, &judged), R"({"engines":[],"metaData":{"current":"Hijack"}})");
}

// A null is no value: "_extensionID": null is no add-on's, so a default of
// that engine on a hijacker's host goes; nulls wherever a string or a flag
// is read are no fault.
TEST(FirefoxSearch, ANullMemberIsNoValue) {
  const std::string engine =
      R"({"id":"o","_name":"O","_loadPath":null,"_isAppProvided":null,"_isBuiltin":null,)"
      R"("extensionID":null,"_extensionID":null,"_urls":[{"template":null},)"
      R"({"template":"http://so.hijack.test/?q={searchTerms}"}]})";
  FirefoxSearchJudgement judged;
  EXPECT_EQ(
      Edited(Settings(engine, R"("defaultEngineId":"o","defaultEngineIdHash":null)"), {}, &judged),
      Settings("", ""));
  EXPECT_EQ(judged.hijacked.size(), 1u);
  const std::string nulls = Settings(engine, R"("defaultEngineId":null,"current":null)");
  EXPECT_EQ(Edited(nulls, {}, &judged), nulls);
  // The first add-on id set counts, as `extensionID ?? _extensionID`.
  const std::string addon =
      R"({"id":"a","extensionID":null,"_extensionID":"x@y","_urls":[{"template":"http://a.test/"}]})";
  const std::string json = Settings(addon, R"("defaultEngineId":"a")");
  EXPECT_EQ(Edited(json, {}, &judged), json);
}

// The host rule of Chromium's engines: an engine the user added as the
// default stays when it searches only on a shipped engine's host (a real
// profile's Brave Search, brave.com shipped) or on the user's own.
TEST(FirefoxSearch, AUsersOwnEngineOnAShippedOrTheirOwnHostStays) {
  const std::string brave =
      R"({"id":"b1","_name":"Brave Search","_loadPath":"[user]","_metaData":{"order":7},)"
      R"("_urls":[{"params":[],"rels":[],"template":"https://search.brave.com/search?q={searchTerms}"},)"
      R"({"params":[],"rels":[],"template":"https://search.brave.com/api/suggest?q={searchTerms}",)"
      R"("type":"application/x-suggestions+json"}]})";
  const std::string own =
      R"({"id":"b1","_name":"Mine","_loadPath":"[user]","_urls":[{"template":"https://www.user-home.cn/s?q={searchTerms}"}]})";
  FirefoxSearchJudgement judged;
  for (const std::string& engine : {brave, own}) {
    const std::string json =
        Settings(engine, R"("defaultEngineId":"b1","defaultEngineIdHash":"h")");
    EXPECT_EQ(Edited(json, {}, &judged), json) << engine;
    // Unless the profile's hijacked start page is on that host.
    EXPECT_EQ(Edited(json, {"search.brave.com"}, &judged).size() < json.size(), engine == brave);
  }
  // One address elsewhere is enough to go.
  std::string mixed = brave;
  mixed.replace(mixed.find("search.brave.com/api"), 16, "so.hijack.test");
  EXPECT_EQ(Edited(Settings(mixed, R"("defaultEngineId":"b1")"), {}, &judged), Settings("", ""));
}

TEST(FirefoxSearch, TextFirefoxNeverWritesIsRefused) {
  const std::pair<std::string, FirefoxSearchFault> faults[] = {
      {"", FirefoxSearchFault::kNotJson},
      {Settings(kUserEngine, kDefaultIsUserEngine) + "x", FirefoxSearchFault::kNotJson},
      {Settings(kUserEngine, kDefaultIsUserEngine).substr(0, 100), FirefoxSearchFault::kNotJson},
      {Settings(kUserEngine, R"("defaultEngineId":"6f8d","defaultEngineId":"google")"),
       FirefoxSearchFault::kDuplicateKey},
      {Settings(R"({"id":"a","id":"6f8d"})", R"("defaultEngineId":"6f8d")"),
       FirefoxSearchFault::kDuplicateKey},
      {Settings(kUserEngine, R"("defaultEngineId":7)"), FirefoxSearchFault::kWrongType},
      {Settings(R"({"id":"e","_isConfigEngine":"true"})", R"("defaultEngineId":"e")"),
       FirefoxSearchFault::kWrongType},
      {Settings("[]", ""), FirefoxSearchFault::kWrongType},
      {Settings(R"({"id":"e","_urls":{"template":"x"}})", ""), FirefoxSearchFault::kWrongType},
      {R"({"engines":{},"metaData":{}})", FirefoxSearchFault::kWrongType},
      {R"({"metaData":[]})", FirefoxSearchFault::kWrongType},
      {R"({"version":"6","metaData":{}})", FirefoxSearchFault::kWrongType},
      {R"({"engines":null,"metaData":null})", FirefoxSearchFault::kWrongType},
      {Settings(R"({"id":"e","_urls":[null]})", ""), FirefoxSearchFault::kWrongType},
      {std::string(300, '[') + std::string(300, ']'), FirefoxSearchFault::kTooDeep},
  };
  for (const auto& [json, fault] : faults) {
    FirefoxSearchJudgement judged;
    EXPECT_EQ(JudgeFirefoxSearch(json, kAddress, {}, &judged), fault) << json;
    EXPECT_TRUE(judged.removed.empty());
  }
}

}  // namespace
