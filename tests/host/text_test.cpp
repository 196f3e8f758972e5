#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/sorting.h"
#include "platform/text_utf8.h"

namespace {

// A double-byte character whose second byte is a backslash (0x5C).
const Text kTrailBackslash = "\x95\x5C";

TEST(TextLeftRight, CountsBytes) {
  EXPECT_EQ(TextLeft("C:\\Users\\u\\Desktop\\", 1), "C");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", -5), "");
  EXPECT_EQ(TextLeft("abc", 10), "abc");
  EXPECT_EQ(TextRight("a.lnk", 3), "lnk");
  EXPECT_EQ(TextRight("表", 3), "表");
  EXPECT_EQ(TextRight("表", 1).size(), 1u);  // cuts the character
  EXPECT_EQ(TextRight("ab", -1), "");
}

TEST(ReplaceText, TurnsStartMenuIntoQuickLaunch) {
  EXPECT_EQ(ReplaceText("C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\",
                        "Windows\\Start Menu\\", "Internet Explorer\\Quick Launch", 1, 1, true),
            "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch");
  EXPECT_EQ(ReplaceText("aXbXc", "X", "-", 1, 1, true), "a-bXc");
  EXPECT_EQ(ReplaceText("aXbXc", "X", "-"), "a-b-c");
  EXPECT_EQ(ReplaceText("aXbXc", "X", "-", 1, -3, true), "a-b-c");
}

TEST(ReplaceText, CaseSensitivity) {
  EXPECT_EQ(ReplaceText("windows\\start menu\\", "Windows\\Start Menu\\", "Q", 1, 1, true),
            "windows\\start menu\\");
  EXPECT_EQ(ReplaceText("windows\\start menu\\", "Windows\\Start Menu\\", "Q", 1, 1, false), "Q");
  // Only ASCII letters fold: double-byte text compares exactly.
  EXPECT_EQ(ReplaceText("表A", "表a", "x", 1, -1, false), "x");
}

TEST(ReplaceText, NothingToDoGivesTheTextBack) {
  EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceText("", "a", "x"), "");
  EXPECT_EQ(ReplaceText("abc", "a", "x", 1, 0), "abc");
  EXPECT_EQ(ReplaceText("abc", "a", "x", 4), "abc");
  EXPECT_EQ(ReplaceText("abca", "a", "x", 2), "abcx");
  EXPECT_EQ(ReplaceText("abc", "b"), "ac");
}

TEST(ReplaceText, NeverMatchesInsideADoubleByteCharacter) {
  EXPECT_EQ(ReplaceText(kTrailBackslash + "\\x", "\\", "/"), kTrailBackslash + "/x");
  // A lead byte at the very end ends the scan; the byte is kept.
  EXPECT_EQ(ReplaceText("ab\x95", "b", "c"), "ac\x95");
}

TEST(SplitText, AtBackslashes) {
  EXPECT_EQ(SplitText("C:\\a\\b.lnk", "\\"), (TextArray{"C:", "a", "b.lnk"}));
  EXPECT_EQ(SplitText("C:\\a\\", "\\"), (TextArray{"C:", "a"}));
  EXPECT_EQ(SplitText("\\a", "\\"), (TextArray{"", "a"}));
  EXPECT_EQ(SplitText("a\\\\b", "\\"), (TextArray{"a", "", "b"}));
  EXPECT_EQ(SplitText("", "\\"), TextArray{});
  EXPECT_EQ(SplitText("name", "\\"), TextArray{"name"});
  EXPECT_EQ(SplitText("d\\" + kTrailBackslash + "x", "\\"),
            (TextArray{"d", kTrailBackslash + "x"}));
}

TEST(SplitText, DefaultsAndLimits) {
  EXPECT_EQ(SplitText("a,b,c", ",", 2), (TextArray{"a", "b"}));
  EXPECT_EQ(SplitText("a,b,c"), (TextArray{"a", "b", "c"}));
  EXPECT_EQ(SplitText("a,b", ",", -1), TextArray{});
  EXPECT_EQ(SplitText("a,b", ""), TextArray{"a,b"});
}

// Both forms, against a Text and against a zero-ended name, as Windows
// compares names: ASCII letters regardless of case, every other byte exactly.
TEST(SameIgnoringAsciiCase, LettersOnlyAndBothForms) {
  const Text name = "MSEdge.EXE";
  EXPECT_TRUE(SameIgnoringAsciiCase(name, "msedge.exe"));
  EXPECT_TRUE(SameIgnoringAsciiCase(name, Text("msedge.exe")));
  EXPECT_FALSE(SameIgnoringAsciiCase(name, "msedge.ex"));
  EXPECT_FALSE(SameIgnoringAsciiCase(name, Text("msedge.exe ")));
  EXPECT_TRUE(SameIgnoringAsciiCase(Text(), ""));
  EXPECT_FALSE(SameIgnoringAsciiCase(Text("["), "{"));  // 0x5B and 0x7B are not letters
  const Text wide_letters = "浏览器";
  EXPECT_TRUE(SameIgnoringAsciiCase(wide_letters, "浏览器"));
  EXPECT_FALSE(SameIgnoringAsciiCase(Text("\xC4"), "\xE4"));  // no case beyond ASCII
}

TEST(ToText, ByType) {
  EXPECT_EQ(ToText(Text("成功\r\n")), "成功\r\n");
  EXPECT_EQ(ToText(Text()), "");
  EXPECT_EQ(ToText(true), "真");
  EXPECT_EQ(ToText(false), "假");
  EXPECT_EQ(ToText(std::int32_t{-7}), "-7");
  EXPECT_EQ(ToText(std::uint8_t{200}), "200");
  EXPECT_EQ(ToText(std::int64_t{-9000000000LL}), "-9000000000");
  EXPECT_EQ(ToText(std::vector<std::uint8_t>{'h', 'i', 0, 'x'}), "hi");
  EXPECT_EQ(ToText(std::vector<std::uint16_t>{0x6968, 0}), "hi");
}

// Each 16-bit piece's carry: the edges where one piece rolls into the next.
TEST(Decimal, EveryWidthAndEveryPieceEdge) {
  EXPECT_EQ(Decimal(0), "0");
  EXPECT_EQ(Decimal(9), "9");
  EXPECT_EQ(Decimal(10), "10");
  EXPECT_EQ(Decimal(65535), "65535");
  EXPECT_EQ(Decimal(65536), "65536");
  EXPECT_EQ(Decimal(4294967295u), "4294967295");
  EXPECT_EQ(Decimal(4294967296ull), "4294967296");
  EXPECT_EQ(Decimal(281474976710656ull), "281474976710656");
  EXPECT_EQ(Decimal(10000000000000000000ull), "10000000000000000000");
  EXPECT_EQ(Decimal(18446744073709551615ull), "18446744073709551615");
  // Against the library for a spread of values.
  for (std::uint64_t value = 1; value < (1ull << 63); value = value * 3 + 7) {
    EXPECT_EQ(Decimal(value), std::to_string(value));
  }
}

TEST(ConcatTexts, JoinsInOrder) {
  EXPECT_EQ(ConcatTexts("正在修复注册表项1：", "成功"), "正在修复注册表项1：成功");
  EXPECT_EQ(ConcatTexts("", "b"), "b");
  EXPECT_EQ(ConcatTexts("修复：", "a.lnk", "\r\n"), "修复：a.lnk\r\n");
}

// The program's own operator+ (platform/text.h), chosen over the library's
// for every chain: each form, the pieces in order, a piece that is the text
// itself, and the moved-from left one giving its buffer to the result.
TEST(TextPlus, JoinsEachFormAsTheLibraryDoes) {
  const Text who = "Chrome Default：";
  const Text why = "文件被占用";
  EXPECT_EQ(who + why, std::string("Chrome Default：") + std::string("文件被占用"));
  EXPECT_EQ(who + "未修改：" + why + "，不会修改", "Chrome Default：未修改：文件被占用，不会修改");
  EXPECT_EQ(Text() + "" + Text(), "");
  Text twice = "ab";
  twice = twice + twice;
  EXPECT_EQ(twice, "abab");
  Text grown = "x";
  grown = std::move(grown) + grown;
  EXPECT_EQ(grown, "xx");
  // A long left piece, so its buffer is on the heap and moved on.
  const Text long_left(300, 'a');
  const Text joined = Text(long_left) + "b" + long_left;
  EXPECT_EQ(joined.size(), 601u);
  EXPECT_EQ(joined[300], 'b');
  EXPECT_EQ(joined.substr(301), long_left);
  // Bytes after a zero byte stay: the pieces are Texts, not C strings.
  EXPECT_EQ((Text("a\0b", 3) + Text("\0", 1)).size(), 4u);
}

TEST(ExecutionCharset, LiteralsAreCodePage936) {
  const Text prefix = "正在修复注册表项1：";
  ASSERT_GE(prefix.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(prefix[prefix.size() - 2]), 0xA3);
  EXPECT_EQ(static_cast<unsigned char>(prefix.back()), 0xBA);
  EXPECT_EQ(prefix.size(), 19u);
}

}  // namespace

// The word-at-a-time pass must agree with a character-by-character reading
// wherever the odd byte falls in or across its sixteen-byte blocks.
TEST(IsUtf8WithoutZero, AgreesWhereverTheOddByteFalls) {
  const std::string ascii(40, 'a');
  EXPECT_TRUE(IsUtf8WithoutZero(""));
  EXPECT_TRUE(IsUtf8WithoutZero(ascii));
  for (std::size_t at = 0; at <= ascii.size(); ++at) {
    const auto with = [&](std::string_view inserted) {
      return ascii.substr(0, at) + std::string(inserted) + ascii.substr(at);
    };
    EXPECT_FALSE(IsUtf8WithoutZero(with(std::string_view("\0", 1)))) << at;
    EXPECT_TRUE(IsUtf8WithoutZero(with("\xE6\x89\xA9"))) << at;       // 扩
    EXPECT_TRUE(IsUtf8WithoutZero(with("\xF0\x9F\x98\x80"))) << at;   // U+1F600
    EXPECT_FALSE(IsUtf8WithoutZero(with("\xE6\x89"))) << at;          // cut short
    EXPECT_FALSE(IsUtf8WithoutZero(with("\xC0\xAF"))) << at;          // overlong '/'
    EXPECT_FALSE(IsUtf8WithoutZero(with("\xED\xA0\x80"))) << at;      // a surrogate
    EXPECT_FALSE(IsUtf8WithoutZero(with("\xF4\x90\x80\x80"))) << at;  // past U+10FFFF
    EXPECT_FALSE(IsUtf8WithoutZero(with("\x80"))) << at;
  }
  // A byte of 0x80 or more beside a zero in one word: both are seen.
  EXPECT_FALSE(IsUtf8WithoutZero(std::string("abc\xE6\x89\xA9") + std::string(1, '\0') + ascii));
}

TEST(LastBackslash, StepsOverADoubleByteCharacterEndingInTheSameByte) {
  // 0x95 0x5C is one character whose second byte is a backslash's.
  EXPECT_EQ(LastBackslash("C:\\a\\\x95\x5C"), 4u);
  EXPECT_EQ(LastBackslash("C:\\a\\b"), 4u);
  EXPECT_EQ(LastBackslash("\x95\x5C"), Text::npos);
  EXPECT_EQ(LastBackslash(""), Text::npos);
}

// One sort for every element type: ordered, stable, whatever the count.
TEST(SortItems, OrdersStablyAtEveryLength) {
  for (std::size_t count = 0; count < 40; ++count) {
    std::vector<std::pair<int, std::size_t>> items;
    for (std::size_t at = 0; at < count; ++at) items.push_back({int((at * 7919) % 5), at});
    SortItems(items, [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(items.size(), count);
    for (std::size_t at = 1; at < count; ++at) {
      ASSERT_LE(items[at - 1].first, items[at].first) << count;
      // Equal keys keep the order they came in.
      if (items[at - 1].first == items[at].first) {
        ASSERT_LT(items[at - 1].second, items[at].second);
      }
    }
  }
  std::vector<std::string> words = {"pear", "apple", "fig", "apple"};
  SortItems(words);
  EXPECT_EQ(words, (std::vector<std::string>{"apple", "apple", "fig", "pear"}));
}
