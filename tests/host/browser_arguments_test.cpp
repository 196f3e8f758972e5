// The splitting of a browser link's arguments and the choice of what stays:
// the cases a hijacker or a user's own link produce, and a fuzzed property
// over random command lines.
#include "engine/rules/browser_arguments.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/lnk_arguments.h"

namespace {

TextArray Values(const Text& arguments) {
  TextArray values;
  for (const ArgumentToken& token : SplitArguments(arguments)) values.push_back(token.value);
  return values;
}

TEST(SplitArguments, FollowsTheWindowsQuotingRules) {
  EXPECT_EQ(Values("  a\tb  "), (TextArray{"a", "b"}));
  EXPECT_EQ(Values("\"a b\" c"), (TextArray{"a b", "c"}));
  EXPECT_EQ(Values("--x=\"Profile 1\" y"), (TextArray{"--x=Profile 1", "y"}));
  EXPECT_EQ(Values("a\\\\\"b c\" d"), (TextArray{"a\\b c", "d"}));  // 2n: n and a quote
  EXPECT_EQ(Values("a\\\"b"), (TextArray{"a\"b"}));                 // 2n+1: a literal quote
  EXPECT_EQ(Values("C:\\dir\\ x"), (TextArray{"C:\\dir\\", "x"}));  // no quote after them
  EXPECT_EQ(Values("\"say \"\"hi\"\"\""), (TextArray{"say \"hi\""}));
  EXPECT_EQ(Values("^http://a^ ^&b"), (TextArray{"^http://a^", "^&b"}));  // no shell here
  EXPECT_EQ(Values("\"unclosed a b"), (TextArray{"unclosed a b"}));
  EXPECT_TRUE(Values("").empty());
}

TEST(SplitArguments, TakesDoubleByteCharactersWhole) {
  // 0x955C is one character (U+8868) whose second byte is a backslash: it
  // must not double a following quote's escape.
  const Text arguments = "\"\x95\x5C\" next";
  EXPECT_EQ(Values(arguments), (TextArray{"\x95\x5C", "next"}));
  // A lead byte at the end has no second byte: the token ends with it.
  EXPECT_EQ(Values("a \x95"), (TextArray{"a", "\x95"}));
}

TEST(SplitArguments, LongArgumentsKeepEveryByte) {
  const Text page = "http://" + Text(4000, 'a') + ".example/";
  const auto tokens = SplitArguments("--profile-directory=Default " + page);
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[1].value, page);
}

TEST(JudgeArguments, ChromiumKeepsOnlyWhatItsOwnResetKeeps) {
  const auto verdict =
      JudgeArguments(BrowserFamily::kChromium,
                     "--profile-directory=\"Profile 1\" http://hao.example/ --start-maximized");
  EXPECT_TRUE(verdict.changed);
  EXPECT_EQ(verdict.kept, "--profile-directory=\"Profile 1\"");
  EXPECT_EQ(verdict.dropped, (TextArray{"http://hao.example/", "--start-maximized"}));

  // A web app's link is the browser's own: nothing goes.
  const auto app = JudgeArguments(BrowserFamily::kChromium,
                                  "--profile-directory=Default --app-id=abcdefghijklmnop");
  EXPECT_FALSE(app.changed);
  EXPECT_FALSE(JudgeArguments(BrowserFamily::kChromium, "--app=https://mail.example/").changed);
  EXPECT_FALSE(JudgeArguments(BrowserFamily::kChromium, "/PROFILE-DIRECTORY=Default").changed);
  // After "--" nothing is a switch any more.
  EXPECT_EQ(JudgeArguments(BrowserFamily::kChromium, "-- --app=x").kept, "");
  EXPECT_TRUE(JudgeArguments(BrowserFamily::kChromium, "hao123.com").changed);
  EXPECT_TRUE(JudgeArguments(BrowserFamily::kChromium, "--app-idx=1").changed);
}

TEST(JudgeArguments, FirefoxKeepsItsProfileButNoPageBehindIt) {
  const auto verdict =
      JudgeArguments(BrowserFamily::kFirefox, "-P \"工作\" -no-remote http://hijack.example/");
  EXPECT_EQ(verdict.kept, "-P \"工作\" -no-remote");
  EXPECT_EQ(verdict.dropped, (TextArray{"http://hijack.example/"}));
  EXPECT_EQ(JudgeArguments(BrowserFamily::kFirefox, "--profile \"C:\\p q\"").kept,
            "--profile \"C:\\p q\"");
  EXPECT_EQ(JudgeArguments(BrowserFamily::kFirefox, "-P http://hijack.example/").kept, "-P");
  EXPECT_EQ(JudgeArguments(BrowserFamily::kFirefox, "-P www.hijack.example").kept, "-P");
}

TEST(JudgeArguments, InternetExplorerKeepsOnlyPrivate) {
  EXPECT_EQ(JudgeArguments(BrowserFamily::kInternetExplorer, "-private http://a.example/").kept,
            "-private");
  EXPECT_FALSE(JudgeArguments(BrowserFamily::kInternetExplorer, "").changed);
}

TEST(JudgeArguments, FuzzedCommandLinesSplitIntoOrderedSpansAndJudgeOnce) {
  const char kPieces[][24] = {" ",        "\t",
                              "\"",       "\\",
                              "^",        "=",
                              "--app=",   "--profile-directory=",
                              "-P",       "--",
                              "a",        "\x95\x5C",
                              "\xD6\xD0", "http://x.example/",
                              "\xB0",     "-no-remote",
                              "www.",     "/app-id=",
                              "\\\\\"",   "\"\""};
  std::mt19937 random(20261209);
  for (int round = 0; round < 20000; ++round) {
    Text arguments;
    const int pieces = random() % 24;
    for (int i = 0; i < pieces; ++i) arguments += kPieces[random() % std::size(kPieces)];
    const auto tokens = SplitArguments(arguments);
    std::size_t after = 0;
    for (const ArgumentToken& token : tokens) {
      ASSERT_LE(after, token.begin) << arguments;
      ASSERT_LT(token.begin, token.end) << arguments;
      ASSERT_LE(token.end, arguments.size()) << arguments;
      after = token.end;
    }
    for (BrowserFamily family :
         {BrowserFamily::kChromium, BrowserFamily::kFirefox, BrowserFamily::kInternetExplorer}) {
      const auto verdict = JudgeArguments(family, arguments);
      // What stays is what the browser would have received of it, and judged
      // again nothing more goes.
      const auto again = JudgeArguments(family, verdict.kept);
      ASSERT_FALSE(again.changed) << arguments << " -> " << verdict.kept;
      ASSERT_EQ(Values(verdict.kept).size() + verdict.dropped.size(), tokens.size()) << arguments;
    }
  }
}

TEST(LnkArguments, RefusesWhatIsNoLinkOrDoesNotFit) {
  EXPECT_FALSE(lnk::FindArgumentsField(""));
  EXPECT_FALSE(lnk::FindArgumentsField(std::string(0x4C, '\0')));
  lnk::ArgumentsField field;
  field.unicode = true;
  field.offset = 0x4C;
  field.size = 2;
  const std::string bytes(0x4E, '\0');
  EXPECT_FALSE(lnk::WithArguments(bytes, field, "odd"));
  EXPECT_FALSE(lnk::WithArguments(bytes, field, std::string(2 * 0x10000, 'a')));
  field.offset = 0x4D;
  EXPECT_FALSE(lnk::WithArguments(bytes, field, ""));
}

}  // namespace
