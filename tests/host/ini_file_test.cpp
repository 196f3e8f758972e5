// The INI reader against what GetPrivateProfileString gives for the same
// bytes: duplicates, letter case, byte-order mark, line ends, lines Windows
// does not read as comments or continuations, long lines and NUL bytes.
#include "engine/rules/ini_file.h"

#include <gtest/gtest.h>

#include "platform/text_utf16.h"

namespace {

std::optional<std::string> Url(std::string_view bytes) { return UrlOfInternetShortcut(bytes); }

TEST(IniFile, TheFirstSectionAndKeyOfANameWinLetterCaseAside) {
  EXPECT_EQ(Url("[InternetShortcut]\r\nURL=http://a/\r\nURL=http://b/\r\n"), "http://a/");
  EXPECT_EQ(Url("[internetshortcut]\nurl=http://a/\n"), "http://a/");
  // The second section of the name is never read, not even for a key the
  // first lacks.
  EXPECT_EQ(Url("[InternetShortcut]\nIconIndex=0\n[Other]\nURL=http://o/\n"
                "[INTERNETSHORTCUT]\nURL=http://second/\n"),
            std::nullopt);
  EXPECT_EQ(Url("[Other]\nURL=http://o/\n[InternetShortcut]\nURL=http://a/\n"), "http://a/");
  // Before any header, or in another section, URL= is not the shortcut's.
  EXPECT_EQ(Url("URL=http://a/\n[InternetShortcut]\n"), std::nullopt);
  EXPECT_EQ(Url("[InternetShortcut]\nURL=\n"), std::nullopt);
  EXPECT_EQ(Url(""), std::nullopt);
}

TEST(IniFile, ReadsLinesAsWindowsDoes) {
  // A byte-order mark, LF or CRLF, spaces and tabs around names and values.
  EXPECT_EQ(Url("\xEF\xBB\xBF[InternetShortcut]\nURL=http://a/"), "http://a/");
  EXPECT_EQ(Url("  [InternetShortcut]  \r\n\t URL \t= http://a/ x \r\n"), "http://a/ x");
  // A ';' or '#' starts no comment: the line is a key of that name.
  EXPECT_EQ(Url("[InternetShortcut]\n;URL=http://c/\n#URL=http://h/\nURL=http://a/\n"),
            "http://a/");
  // No inline comments, no ':' separator, no continuation lines.
  EXPECT_EQ(Url("[InternetShortcut]\nURL=http://a/ ; b\n"), "http://a/ ; b");
  EXPECT_EQ(Url("[InternetShortcut]\nURL:x=http://evil/\nURL=http://a/\n"), "http://a/");
  EXPECT_EQ(Url("[InternetShortcut]\nURL=http://a/\n  more\n"), "http://a/");
  // The section's name ends at the line's last ']'; a line without one is
  // an entry of the section before.
  const IniFile file = ReadIniFile("[a]b]\nk=1\n[c\nk=2\n[]\nk=3\n");
  ASSERT_EQ(file.sections, (std::vector<std::string>{"", "a]b", ""}));
  EXPECT_EQ(IniValue(file, "a]b", "k"), "1");
  EXPECT_EQ(file.entries[1].key, "[c");
  EXPECT_FALSE(file.entries[1].has_value);
  // The unnamed part before any header is the first "" section.
  EXPECT_EQ(IniValue(file, "", "k"), std::nullopt);
  EXPECT_EQ(IniValue(ReadIniFile("k=0\n[]\nk=3\n"), "", "k"), "0");
}

TEST(IniFile, ReadsLongLinesWholeAndNamesUpToANul) {
  const std::string long_page = "http://a/" + std::string(100000, 'x');
  EXPECT_EQ(Url("[InternetShortcut]\nURL=" + long_page + "\n"), long_page);
  // A NUL ends a name or a value where it stands, not the line: the key
  // "URL\0x" is URL, and the value stops at its NUL.
  using namespace std::string_literals;
  EXPECT_EQ(Url("[InternetShortcut]\nURL\0x=http://k/\n"s), "http://k/");
  EXPECT_EQ(Url("[InternetShortcut]\nURL=http://a/\0http://b/\n"s), "http://a/");
  EXPECT_EQ(Url("[Internet\0Shortcut]\nURL=http://a/\n"s), std::nullopt);
  EXPECT_EQ(Url("\0\0\0\0"s), std::nullopt);
}

TEST(IniFile, ReadsUtf16WithItsMarkInTheCodePage) {
  const std::string text = "[InternetShortcut]\r\nURL=http://a.cn/?q=导航\r\n";
  EXPECT_EQ(Url("\xFF\xFE" + *Utf16LeFromText(text)), "http://a.cn/?q=导航");
  // Without its mark it is bytes with NULs between; a character the code
  // page lacks (U+0E01), or a unit cut in half, makes it nothing.
  EXPECT_EQ(Url(*Utf16LeFromText(text)), std::nullopt);
  EXPECT_EQ(Url("\xFF\xFE" + *Utf16LeFromText(text) + std::string("\x01\x0E", 2)), std::nullopt);
  EXPECT_EQ(Url("\xFF\xFE" + *Utf16LeFromText(text) + "x"), std::nullopt);
}

}  // namespace
