// The registry file codec: the file regedit writes, every value back exactly,
// and nothing but such a file read.
#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/text_utf16.h"

namespace {

using Kind = RegFileEntry::Kind;

const Text kKey = "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Main";

std::string Utf16(const Text& text) { return Utf16LeFromText(text).value(); }
const std::string kZeroUnit(2, '\0');
RegRawValue Sz(const Text& text) { return {kRegSz, Utf16(text) + kZeroUnit}; }

RegFileEntry Key(const Text& key, Kind kind = Kind::kKey) {
  RegFileEntry entry;
  entry.kind = kind;
  entry.key = key;
  return entry;
}
RegFileEntry Value(const Text& key, const Text& name, const RegRawValue& value) {
  RegFileEntry entry = Key(key, Kind::kValue);
  entry.name = name;
  entry.value = value;
  return entry;
}
RegFileEntry DeletedValue(const Text& key, const Text& name) {
  RegFileEntry entry = Key(key, Kind::kDeletedValue);
  entry.name = name;
  return entry;
}

// A file from its text: BOM and UTF-16LE.
std::string File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::vector<std::pair<Text, RegRawValue>> EveryKindOfValue() {
  return {
      {"", Sz("默认")},
      {"text", Sz("http://例子.cn/\"q\"\\ \t end ")},
      {"empty text", Sz("")},
      {"no bytes", {kRegSz, ""}},
      {"unterminated", {kRegSz, Utf16("abc")}},
      {"odd length", {kRegSz, std::string("a\0b", 3)}},
      {"inner zero", {kRegSz, std::string("a\0\0\0b\0\0\0", 8)}},
      {"two zeros", {kRegSz, Utf16("a") + kZeroUnit + kZeroUnit}},
      {"line break", {kRegSz, Utf16("a\r\nb") + kZeroUnit}},
      {"half a pair", {kRegSz, std::string("\x3D\xD8\0\0", 4)}},
      {"a pair", {kRegSz, std::string("\x3D\xD8\x00\xDE\0\0", 6)}},
      {"not in the code page", {kRegSz, std::string("\x5C\xD5\0\0", 4)}},
      {"expand", {2, Utf16("%SystemRoot%\\x") + kZeroUnit}},
      {"empty expand", {2, ""}},
      {"multi", {7, Utf16("a") + kZeroUnit + Utf16("中") + kZeroUnit + kZeroUnit}},
      {"dword", {kRegDword, std::string("\x04\x03\x02\x01", 4)}},
      {"short dword", {kRegDword, std::string("\x01", 1)}},
      {"empty dword", {kRegDword, ""}},
      {"qword", {11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
      {"binary", {kRegBinary, std::string("\x00\xFF\x80\x0A\x0D", 5)}},
      {"long binary", {kRegBinary, std::string(300, '\xAB')}},
      {"empty binary", {kRegBinary, ""}},
      {"none", {0, std::string("\x00\x01", 2)}},
      {"odd type", {0x12345, "xyz"}},
      {"top type", {0xFFFFFFFF, "z"}},
      {"名字 \"=\\ @", {kRegDword, std::string(4, '\0')}},
      {"@", Sz("at")},
  };
}

std::vector<RegFileEntry> SampleEntries() {
  std::vector<RegFileEntry> entries = {Key(kKey)};
  for (const auto& [name, value] : EveryKindOfValue()) entries.push_back(Value(kKey, name, value));
  entries.push_back(DeletedValue(kKey, "Start Page"));
  entries.push_back(DeletedValue(kKey, ""));
  entries.push_back(
      Key("HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge", Kind::kDeletedKey));
  entries.push_back(Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\清和\\]["));
  entries.push_back(Key("HKEY_USERS\\S-1-5-21\\x"));
  entries.push_back(Value("HKEY_USERS\\S-1-5-21\\x", "v", Sz("")));
  entries.push_back(Key("HKEY_CLASSES_ROOT\\a"));
  entries.push_back(Key("HKEY_CURRENT_CONFIG\\b", Kind::kDeletedKey));
  return entries;
}

TEST(RegFile, TheFileIsAsRegeditWritesIt) {
  const std::vector<RegFileEntry> entries = {
      Key(kKey),
      Value(kKey, "Start Page", Sz("http://a/\"b\"\\c")),
      Value(kKey, "", {kRegDword, std::string("\x78\x56\x34\x12", 4)}),
      Value(kKey, "名\"字\\", {kRegBinary, std::string("\x00\x01\xFE", 3)}),
      Value(kKey, "e", {2, Utf16("%a%") + kZeroUnit}),
      DeletedValue(kKey, "Old"),
      Key("HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge", Kind::kDeletedKey),
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\x"),
  };
  EXPECT_EQ(WriteRegFile(entries),
            File(u"Windows Registry Editor Version 5.00\r\n"
                 u"\r\n"
                 u"[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Main]\r\n"
                 u"\"Start Page\"=\"http://a/\\\"b\\\"\\\\c\"\r\n"
                 u"@=dword:12345678\r\n"
                 u"\"名\\\"字\\\\\"=hex:00,01,fe\r\n"
                 u"\"e\"=hex(2):25,00,61,00,25,00,00,00\r\n"
                 u"\"Old\"=-\r\n"
                 u"\r\n"
                 u"[-HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge]\r\n"
                 u"\r\n"
                 u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\r\n"
                 u"\r\n"));
  EXPECT_EQ(WriteRegFile({}), File(u"Windows Registry Editor Version 5.00\r\n\r\n"));
}

TEST(RegFile, EachTypeHasTheFormRegeditGivesIt) {
  auto line = [](const Text& name, const RegRawValue& value) {
    const std::string file =
        WriteRegFile({Key("HKEY_CURRENT_USER\\k"), Value("HKEY_CURRENT_USER\\k", name, value)});
    const std::string head =
        File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n");
    std::u16string text;
    for (std::size_t i = head.size(); i + 1 < file.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(file[i]) |
                                           static_cast<unsigned char>(file[i + 1]) << 8));
    }
    return text.substr(0, text.size() - 4);  // the line's CR LF and the blank line
  };
  EXPECT_EQ(line("a", Sz("x")), u"\"a\"=\"x\"");
  EXPECT_EQ(line("a", Sz("")), u"\"a\"=\"\"");
  EXPECT_EQ(line("a", {kRegSz, ""}), u"\"a\"=hex(1):");
  EXPECT_EQ(line("a", {kRegSz, Utf16("x")}), u"\"a\"=hex(1):78,00");
  EXPECT_EQ(line("a", {kRegSz, Utf16("x\ny") + kZeroUnit}),
            u"\"a\"=hex(1):78,00,0a,00,79,00,00,00");
  EXPECT_EQ(line("a", {kRegSz, std::string("\x3D\xD8\x00\xDE\0\0", 6)}), u"\"a\"=\"\U0001F600\"");
  EXPECT_EQ(line("a", {kRegDword, std::string("\x01\0\0\0", 4)}), u"\"a\"=dword:00000001");
  EXPECT_EQ(line("a", {kRegDword, std::string("\x01", 1)}), u"\"a\"=hex(4):01");
  EXPECT_EQ(line("a", {kRegBinary, ""}), u"\"a\"=hex:");
  EXPECT_EQ(line("a", {7, std::string(4, '\0')}), u"\"a\"=hex(7):00,00,00,00");
  EXPECT_EQ(line("a", {11, std::string(8, '\x10')}), u"\"a\"=hex(b):10,10,10,10,10,10,10,10");
  EXPECT_EQ(line("a", {0, "\x01"}), u"\"a\"=hex(0):01");
  EXPECT_EQ(line("a", {0xFFFFFFFF, ""}), u"\"a\"=hex(ffffffff):");
  // Folded after the comma that brings a line to 77 characters or more:
  // the first line, from the name on, holds 23 bytes here, every later line
  // is indented by two spaces and holds 25.
  auto bytes = [](int count, bool last_comma) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += u"11,";
    if (!last_comma) text.pop_back();
    return text;
  };
  const std::u16string folded = line("bin", {kRegBinary, std::string(100, '\x11')});
  EXPECT_EQ(folded, u"\"bin\"=hex:" + bytes(23, true) + u"\\\r\n  " + bytes(25, true) +
                        u"\\\r\n  " + bytes(25, true) + u"\\\r\n  " + bytes(25, true) +
                        u"\\\r\n  " + bytes(2, false));
  EXPECT_EQ(line("bin", {kRegBinary, std::string(24, '\x11')}),
            u"\"bin\"=hex:" + bytes(23, true) + u"\\\r\n  " + bytes(1, false));
  EXPECT_EQ(line("bin", {kRegBinary, std::string(23, '\x11')}), u"\"bin\"=hex:" + bytes(23, false));
}

TEST(RegFile, EveryEntryReadsBackExactly) {
  const std::vector<RegFileEntry> entries = SampleEntries();
  const std::string file = WriteRegFile(entries);
  ASSERT_FALSE(file.empty());
  const std::optional<std::vector<RegFileEntry>> parsed = ParseRegFile(file);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_TRUE((*parsed)[i] == entries[i]) << i << " " << entries[i].name;
  }
}

TEST(RegFile, AValueWithoutItsKeyAboveItGetsAKeyLine) {
  const std::string file = WriteRegFile(
      {Value("HKEY_CURRENT_USER\\a", "v", Sz("1")), Value("HKEY_CURRENT_USER\\a", "w", Sz("2")),
       Key("HKEY_CURRENT_USER\\b", Kind::kDeletedKey), DeletedValue("HKEY_CURRENT_USER\\b", "x")});
  const auto parsed = ParseRegFile(file);
  ASSERT_TRUE(parsed);
  const std::vector<RegFileEntry> want = {Key("HKEY_CURRENT_USER\\a"),
                                          Value("HKEY_CURRENT_USER\\a", "v", Sz("1")),
                                          Value("HKEY_CURRENT_USER\\a", "w", Sz("2")),
                                          Key("HKEY_CURRENT_USER\\b", Kind::kDeletedKey),
                                          Key("HKEY_CURRENT_USER\\b"),
                                          DeletedValue("HKEY_CURRENT_USER\\b", "x")};
  EXPECT_TRUE(*parsed == want);
}

TEST(RegFile, WhatAFileCannotCarryIsNotWritten) {
  for (const Text& key :
       {Text("HKEY_CURRENT_USER"), Text("HKEY_CURRENT_USER\\"), Text("HKCU\\a"),
        Text("HKEY_FOO\\a"), Text("hkey_current_user\\a"), Text("HKEY_CURRENT_USER\\a\\\\b"),
        Text("HKEY_CURRENT_USER\\a\\"), Text("HKEY_CURRENT_USER\\a\r\nb"),
        Text("HKEY_CURRENT_USER\\a\x80\xFF"), Text("HKEY_CURRENT_USER\\a\0b", 21)}) {
    EXPECT_EQ(WriteRegFile({Key(key)}), "") << key;
    EXPECT_EQ(WriteRegFile({Value(key, "v", Sz(""))}), "") << key;
  }
  for (const Text& name : {Text("a\nb"), Text("a\rb"), Text("a\0b", 3), Text("\xFF")}) {
    EXPECT_EQ(WriteRegFile({Value("HKEY_CURRENT_USER\\a", name, Sz(""))}), "");
    EXPECT_EQ(WriteRegFile({DeletedValue("HKEY_CURRENT_USER\\a", name)}), "");
  }
}

TEST(RegFile, OnlyWhatTheWriterWritesIsRead) {
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n";
  ASSERT_TRUE(ParseRegFile(File(head + u"\"a\"=\"x\"\r\n\r\n")));
  const std::u16string bad_lines[] = {
      u"\"a\"=\"x\"",        // no blank line at the end
      u"\"a\"=\"x\r\n\r\n",  // no closing quote
      u"\"a\"=\"x\" \r\n\r\n",
      u"\"a\" = \"x\"\r\n\r\n",
      u"a=\"x\"\r\n\r\n",
      u"\"\"=\"x\"\r\n\r\n",
      u"\"a\"=\"x\\ny\"\r\n\r\n",  // an escape the writer never writes
      u"\"a\"=\"\\0\"\r\n\r\n",
      u"\"a\"=\"x\ny\"\r\n\r\n",  // a lone LF
      u"\"a\"=\"x\ry\"\r\n\r\n",
      u"\"a\"=dword:0000001\r\n\r\n",
      u"\"a\"=dword:000000010\r\n\r\n",
      u"\"a\"=dword:0000000A\r\n\r\n",
      u"\"a\"=DWORD:00000001\r\n\r\n",
      u"\"a\"=hex:0a,\r\n\r\n",
      u"\"a\"=hex:0A\r\n\r\n",
      u"\"a\"=hex:a\r\n\r\n",
      u"\"a\"=hex:0a,,0b\r\n\r\n",
      u"\"a\"=hex:0a, 0b\r\n\r\n",
      u"\"a\"=hex(3):0a\r\n\r\n",           // REG_BINARY is hex:
      u"\"a\"=hex(4):01,00,00,00\r\n\r\n",  // four bytes are dword:
      u"\"a\"=hex(1):78,00,00,00\r\n\r\n",  // text is "text"
      u"\"a\"=hex(07):00\r\n\r\n",
      u"\"a\"=hex(B):00\r\n\r\n",
      u"\"a\"=hex(100000000):00\r\n\r\n",
      u"\"a\"=hex():00\r\n\r\n",
      u"\"a\"=hex(7)00\r\n\r\n",
      u"\"a\"=hex:0a,\\\r\n  0b\r\n\r\n",  // folded where regedit does not fold
      u"\"a\"=hex:0a,\\\r\n\r\n",
      u"\"a\"=str:x\r\n\r\n",
      u"\"a\"=\r\n\r\n",
      u"\"a\"=- \r\n\r\n",
      u"\"a\"\r\n\r\n",
      u"; comment\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n\r\n",
      u"\"a\"=\"\xD800\"\r\n\r\n",
      u"\"\xD55C\"=\"x\"\r\n\r\n",  // a name the code page lacks
      u"\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\k\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[-HKEY_CURRENT_USER\\k]\r\n\"b\"=\"y\"\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\k] \r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n [HKEY_CURRENT_USER\\k]\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKEY_FOO\\k]\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKCU\\k]\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\a\\\\b]\r\n\r\n",
      u"\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\\xD55C]\r\n\r\n",
      u"\"a\"=\"x\"\r\n[HKEY_CURRENT_USER\\b]\r\n\r\n",
  };
  for (const std::u16string& lines : bad_lines) {
    EXPECT_FALSE(ParseRegFile(File(head + lines))) << ::testing::PrintToString(File(lines));
  }
  const std::string good = File(head + u"\"a\"=\"x\"\r\n\r\n");
  EXPECT_FALSE(ParseRegFile(good.substr(2)));               // no BOM
  EXPECT_FALSE(ParseRegFile("\xFE\xFF" + good.substr(2)));  // big-endian BOM
  EXPECT_FALSE(ParseRegFile(good + "\n"));                  // odd length
  EXPECT_FALSE(ParseRegFile(""));
  EXPECT_FALSE(ParseRegFile("\xFF\xFE"));
  EXPECT_FALSE(ParseRegFile(File(u"REGEDIT4\r\n\r\n")));
  EXPECT_FALSE(ParseRegFile(File(u"Windows Registry Editor Version 5.00 \r\n\r\n")));
  EXPECT_FALSE(ParseRegFile(File(u"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n")));
  // Text that is not UTF-16: a low surrogate alone, a high one at the end.
  EXPECT_FALSE(ParseRegFile(File(head + u"\"a\"=hex:00\r\n\r\n\xDC00")));
  EXPECT_FALSE(ParseRegFile(File(head + u"\"a\"=hex:00\r\n\r\n\xD800")));
}

TEST(RegFile, AFileCutShortIsNotRead) {
  const std::vector<RegFileEntry> entries = SampleEntries();
  const std::string file = WriteRegFile(entries);
  // Where the file is cut between two keys' blocks it is a shorter file of
  // the first entries; anywhere else it is no file.
  for (std::size_t size = 0; size < file.size(); ++size) {
    const auto parsed = ParseRegFile(file.substr(0, size));
    if (!parsed) continue;
    ASSERT_LT(parsed->size(), entries.size());
    EXPECT_TRUE(std::equal(parsed->begin(), parsed->end(), entries.begin())) << size;
    EXPECT_EQ(file.substr(0, size), WriteRegFile(*parsed));
    EXPECT_EQ(file.compare(size - 8, 8, std::string("\r\0\n\0\r\0\n\0", 8)), 0) << size;
    EXPECT_EQ(file.compare(size, 2, std::string("[\0", 2)), 0) << size;
  }
}

// Mutated files: each is refused or is a file the writer makes of what it
// reads, which reads back the same.
TEST(RegFile, MutatedFilesAreRefusedOrReadBackTheSame) {
  const std::string file = WriteRegFile(SampleEntries());
  std::mt19937 random(20240611);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const char interesting[] = {'\0', '\r', '\n', '"', '\\', '[', ']', '-',    '@',    '=',
                              ',',  ':',  '0',  'a', 'f',  'x', ' ', '\xD8', '\xDC', '\xFF'};
  int read = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string mutated = file;
    for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
      const std::size_t at = pick(mutated.size());
      switch (pick(6)) {
        case 0:
          mutated[at] = interesting[pick(sizeof interesting)];
          break;
        case 1:
          mutated[at] = static_cast<char>(pick(256));
          break;
        case 2:
          mutated.erase(at, 1 + pick(4));
          break;
        case 3:
          mutated.insert(at, std::string(1 + pick(2), interesting[pick(sizeof interesting)]));
          break;
        case 4:
          mutated.insert(at, mutated.substr(pick(mutated.size()), 2 * (1 + pick(40))));
          break;
        default:
          mutated.resize(at);
          break;
      }
      if (mutated.empty()) break;
    }
    const auto parsed = ParseRegFile(mutated);
    if (!parsed) continue;
    ++read;
    const std::string rewritten = WriteRegFile(*parsed);
    ASSERT_EQ(rewritten, mutated);
    const auto again = ParseRegFile(rewritten);
    ASSERT_TRUE(again);
    ASSERT_TRUE(*again == *parsed);
  }
  // Some mutations (a changed letter in a name or a digit) still make files.
  EXPECT_GT(read, 0);
}

TEST(RegFile, KeyNamesForTheViews) {
  const RegRoot hklm = RegRoot::kLocalMachine;
  EXPECT_EQ(RegFileKeyName(RegRoot::kCurrentUser, RegView::k32Bit, "Software\\a"),
            "HKEY_CURRENT_USER\\Software\\a");
  EXPECT_EQ(RegFileKeyName(RegRoot::kClassesRoot, RegView::kOwn, "x"), "HKEY_CLASSES_ROOT\\x");
  EXPECT_EQ(RegFileKeyName(RegRoot::kCurrentConfig, RegView::kOwn, ""), "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(RegFileKeyName(RegRoot::kUsers, RegView::kOwn, "S-1"), "HKEY_USERS\\S-1");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k64Bit, "SOFTWARE\\a"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\a");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::kOwn, "SOFTWARE\\a"), "HKEY_LOCAL_MACHINE\\SOFTWARE\\a");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "SOFTWARE\\a"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\a");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "Software\\清和"),
            "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\清和");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "software"),
            "HKEY_LOCAL_MACHINE\\software\\WOW6432Node");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "SOFTWARE\\wow6432node\\a"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\wow6432node\\a");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "SOFTWARE\\WOW6432Node2"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\WOW6432Node2");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "SOFTWARES\\a"),
            "HKEY_LOCAL_MACHINE\\SOFTWARES\\a");
  EXPECT_EQ(RegFileKeyName(hklm, RegView::k32Bit, "SYSTEM\\a"), "HKEY_LOCAL_MACHINE\\SYSTEM\\a");
}

TEST(TextUtf16, ConversionsAreExactOrRefused) {
  EXPECT_EQ(Utf16LeFromText("a中"), std::string("a\0\x2D\x4E", 4));
  EXPECT_EQ(Utf16LeFromText(Text("a\0b", 3)), std::string("a\0\0\0b\0", 6));
  EXPECT_FALSE(Utf16LeFromText("\x81"));
  EXPECT_FALSE(Utf16LeFromText("a\xFF"));
  EXPECT_EQ(TextFromUtf16Le(std::string("a\0\x2D\x4E", 4)), "a中");
  EXPECT_EQ(TextFromUtf16Le(std::string("a\0\0\0", 4)), Text("a\0", 2));
  EXPECT_FALSE(TextFromUtf16Le(std::string("a\0b", 3)));
  EXPECT_FALSE(TextFromUtf16Le(std::string("\x5C\xD5", 2)));  // Hangul
  EXPECT_FALSE(TextFromUtf16Le(std::string("\x3D\xD8", 2)));  // half a pair
  EXPECT_FALSE(TextFromUtf16Le(std::string("?\0\x3D\xD8", 4)));
}

}  // namespace
