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
      {std::string(300, '[') + std::string(300, ']'), FirefoxSearchFault::kTooDeep},
  };
  for (const auto& [json, fault] : faults) {
    FirefoxSearchJudgement judged;
    EXPECT_EQ(JudgeFirefoxSearch(json, kAddress, {}, &judged), fault) << json;
    EXPECT_TRUE(judged.removed.empty());
  }
}

}  // namespace
