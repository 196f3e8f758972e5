// The portable link codec: what the writer writes, that the reader reads it
// back field by field, the order in which the reader picks the target, and
// that malformed input fails cleanly.
#include "platform/portable/lnk_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/portable/cp936.h"
#include "platform/shell_link_names.h"

namespace {

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t U16At(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void PutU32(std::string* bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

void PutU16(std::string* bytes, std::size_t at, std::uint16_t value) {
  (*bytes)[at] = static_cast<char>(value);
  (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

// UTF-16LE bytes of ASCII text.
std::string Wide(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

lnk::LinkData EveryField() {
  lnk::LinkData link;
  link.file_attributes = 0x20;
  link.show_command = 3;
  link.hotkey = 0x0642;
  link.icon_index = -30651;
  link.link_info =
      lnk::LinkInfo{Text("C:\\Program Files\\腾讯\\QQ浏览器.exe"), std::nullopt, Text()};
  link.name = "青禾 快捷方式修复操作";
  link.relative_path = "..\\腾讯\\QQ浏览器.exe";
  link.working_dir = "C:\\Program Files\\腾讯";
  link.arguments = "--homepage=http://www.example.com/ 中文";
  link.icon_location = "%SystemRoot%\\system32\\SHELL32.dll";
  link.env_target = lnk::EnvironmentTarget{"%ProgramFiles%\\腾讯\\QQ浏览器.exe",
                                           "%ProgramFiles%\\腾讯\\QQ浏览器.exe"};
  return link;
}

TEST(LnkFormat, RoundTripKeepsEveryField) {
  const lnk::LinkData written = EveryField();
  const std::optional<std::string> bytes = lnk::SerializeLink(written);
  ASSERT_TRUE(bytes);
  const std::optional<lnk::LinkData> read = lnk::ParseLink(*bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->flags, lnk::kHasLinkInfo | lnk::kHasName | lnk::kHasRelativePath |
                             lnk::kHasWorkingDir | lnk::kHasArguments | lnk::kHasIconLocation |
                             lnk::kIsUnicode | lnk::kHasExpString);
  EXPECT_EQ(read->file_attributes, 0x20u);
  EXPECT_EQ(read->show_command, 3u);
  EXPECT_EQ(read->hotkey, 0x0642);
  EXPECT_EQ(read->icon_index, -30651);
  EXPECT_FALSE(read->id_list_path);
  ASSERT_TRUE(read->link_info);
  EXPECT_EQ(read->link_info->local_base_path, written.link_info->local_base_path);
  EXPECT_EQ(read->link_info->common_path_suffix, "");
  EXPECT_FALSE(read->link_info->net_name);
  EXPECT_EQ(read->name, written.name);
  EXPECT_EQ(read->relative_path, written.relative_path);
  EXPECT_EQ(read->working_dir, written.working_dir);
  EXPECT_EQ(read->arguments, written.arguments);
  EXPECT_EQ(read->icon_location, written.icon_location);
  ASSERT_TRUE(read->env_target);
  EXPECT_EQ(read->env_target->ansi, written.env_target->ansi);
  EXPECT_EQ(read->env_target->unicode, written.env_target->unicode);
  EXPECT_EQ(read->extra_blocks, std::vector<std::uint32_t>{lnk::kEnvironmentVariableBlock});
  EXPECT_EQ(read->size, bytes->size());
}

TEST(LnkFormat, RoundTripOfTheLeastLink) {
  const std::optional<std::string> bytes = lnk::SerializeLink(lnk::LinkData());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 0x4Cu + 4);
  const std::optional<lnk::LinkData> read = lnk::ParseLink(*bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->flags, lnk::kIsUnicode);
  EXPECT_FALSE(read->link_info || read->name || read->arguments || read->env_target);
  EXPECT_EQ(lnk::ShellTarget(*read, nullptr), "");
}

TEST(LnkFormat, GivenEmptyStringsAreWrittenAndReadAsPresent) {
  lnk::LinkData link;
  link.arguments = "";
  link.working_dir = "";
  const std::optional<lnk::LinkData> read = lnk::ParseLink(*lnk::SerializeLink(link));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, Text(""));
  EXPECT_EQ(read->working_dir, Text(""));
  EXPECT_FALSE(read->name);
}

TEST(LnkFormat, WriterLayoutIsTheOneWindowsAndWineRead) {
  lnk::LinkData link;
  link.show_command = 5;
  link.link_info = lnk::LinkInfo{Text("C:\\中文\\a.exe"), std::nullopt, Text()};
  link.arguments = "-x";
  const std::string bytes = *lnk::SerializeLink(link);

  // Header: size, class id, flags, show command; the reserved fields zero.
  EXPECT_EQ(U32At(bytes, 0x00), 0x4Cu);
  EXPECT_EQ(bytes.substr(0x04, 16),
            std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16));
  EXPECT_EQ(U32At(bytes, 0x14), lnk::kHasLinkInfo | lnk::kHasArguments | lnk::kIsUnicode);
  EXPECT_EQ(U32At(bytes, 0x3C), 5u);
  EXPECT_EQ(bytes.substr(0x42, 10), std::string(10, '\0'));

  // LinkInfo: header 0x1C, VolumeID and local base path only, the path in
  // code page 936, an empty common path suffix.
  const std::size_t info = 0x4C;
  const std::uint32_t info_size = U32At(bytes, info);
  EXPECT_EQ(U32At(bytes, info + 0x04), 0x1Cu);
  EXPECT_EQ(U32At(bytes, info + 0x08), 1u);
  EXPECT_EQ(U32At(bytes, info + 0x14), 0u);
  const std::uint32_t local = U32At(bytes, info + 0x10);
  EXPECT_EQ(Text(bytes.c_str() + info + local), "C:\\中文\\a.exe");
  const std::uint32_t suffix = U32At(bytes, info + 0x18);
  EXPECT_EQ(bytes[info + suffix], '\0');
  EXPECT_EQ(suffix + 1, info_size);

  // The arguments in UTF-16 with no terminator, then the terminal block.
  const std::size_t arguments = info + info_size;
  EXPECT_EQ(U16At(bytes, arguments), 2);
  EXPECT_EQ(bytes.substr(arguments + 2, 4), Wide("-x"));
  EXPECT_EQ(arguments + 6 + 4, bytes.size());
  EXPECT_EQ(U32At(bytes, bytes.size() - 4), 0u);
}

TEST(LnkFormat, EnvironmentBlockLayout) {
  lnk::LinkData link;
  link.env_target = lnk::EnvironmentTarget{"%windir%\\a.exe", "%windir%\\中.exe"};
  const std::string bytes = *lnk::SerializeLink(link);
  const std::size_t block = 0x4C;
  EXPECT_EQ(U32At(bytes, 0x14), lnk::kIsUnicode | lnk::kHasExpString);
  EXPECT_EQ(U32At(bytes, block), 0x314u);
  EXPECT_EQ(U32At(bytes, block + 4), 0xA0000001u);
  EXPECT_EQ(Text(bytes.c_str() + block + 8), "%windir%\\a.exe");
  EXPECT_EQ(Utf16LeToCp936(reinterpret_cast<const unsigned char*>(bytes.data()) + block + 268, 260),
            "%windir%\\中.exe");
  EXPECT_EQ(bytes.size(), 0x4C + 0x314 + 4u);
}

TEST(LnkFormat, WriterRefusesWhatTheFormatCannotHold) {
  lnk::LinkData link;
  link.env_target = lnk::EnvironmentTarget{Text(259, 'a'), Text(259, 'a')};
  EXPECT_TRUE(lnk::SerializeLink(link));
  link.env_target = lnk::EnvironmentTarget{Text(260, 'a'), Text(259, 'a')};
  EXPECT_FALSE(lnk::SerializeLink(link));
  link.env_target = lnk::EnvironmentTarget{Text(259, 'a'), Text(260, 'a')};
  EXPECT_FALSE(lnk::SerializeLink(link));

  lnk::LinkData long_string;
  long_string.arguments = Text(0xFFFF, 'x');
  EXPECT_TRUE(lnk::SerializeLink(long_string));
  long_string.arguments = Text(0x10000, 'x');
  EXPECT_FALSE(lnk::SerializeLink(long_string));
}

TEST(LnkFormat, TextConversionReplacesWhatCodePage936Lacks) {
  // "a", Arabic alef, a lone high surrogate, "中", an emoji as a surrogate
  // pair, "z": one '?' for each unit that has no form in the code page.
  const unsigned char units[] = {'a',  0,    0x27, 0x06, 0x00, 0xD8, 0x2D,
                                 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 'z',  0};
  EXPECT_EQ(Utf16LeToCp936(units, 7), "a??中??z");
  // Units after a zero unit are not part of the string.
  const unsigned char with_zero[] = {'a', 0, 0, 0, 'b', 0};
  EXPECT_EQ(Utf16LeToCp936(with_zero, 3), "a");
  EXPECT_EQ(Cp936ToUtf8("青禾"), "\xE9\x9D\x92\xE7\xA6\xBE");
  EXPECT_EQ(Utf16Length("青禾 a"), 4u);
  // A lead byte with no second byte is not a character.
  EXPECT_EQ(Cp936ToUtf16Le(Text("a\xC7")), std::string("a\0?\0", 4));
}

TEST(LnkFormat, ReaderStripsTrailingZerosThatWineWrites) {
  lnk::LinkData link;
  link.arguments = "abc";
  std::string bytes = *lnk::SerializeLink(link);
  // Count one more character, a zero, as Wine's writer does.
  const std::size_t arguments = 0x4C;
  PutU16(&bytes, arguments, 4);
  bytes.insert(arguments + 2 + 6, std::string(2, '\0'));
  const std::optional<lnk::LinkData> read = lnk::ParseLink(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, Text("abc"));
}

TEST(LnkFormat, AnsiStringDataIsTakenAsCodePage936) {
  lnk::LinkData link;
  link.arguments = "abc";
  std::string bytes = *lnk::SerializeLink(link);
  PutU32(&bytes, 0x14, lnk::kHasArguments);  // IsUnicode clear
  const Text chinese = "中文";
  bytes.replace(0x4C, 2 + 6, std::string("\x04\x00", 2) + chinese);
  const std::optional<lnk::LinkData> read = lnk::ParseLink(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, chinese);
}

// A link by hand with the given flags and structures, for the target order.
lnk::LinkData Sources(std::uint32_t flags) {
  lnk::LinkData link;
  link.flags = flags;
  link.env_target = lnk::EnvironmentTarget{"%windir%\\env.exe", "%windir%\\envw.exe"};
  link.id_list_path = Text("C:\\idlist.exe");
  link.link_info = lnk::LinkInfo{Text("C:\\local\\"), Text("\\\\server\\share"), Text("base.exe")};
  link.relative_path = Text(".\\relative.exe");
  return link;
}

TEST(LnkFormat, TargetComesFromTheFirstSourceThatHasOne) {
  const lnk::Expander expand = [](const Text& text) { return "[" + text + "]"; };
  lnk::LinkData link = Sources(lnk::kHasExpString);
  EXPECT_EQ(lnk::ShellTarget(link, &expand), "[%windir%\\envw.exe]");
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "%windir%\\envw.exe");
  link.env_target->unicode.clear();
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "%windir%\\env.exe");

  // Without HasExpString, or with DisableLinkPathTracking, the block is not used.
  link = Sources(0);
  EXPECT_EQ(lnk::ShellTarget(link, &expand), "C:\\idlist.exe");
  link = Sources(lnk::kHasExpString | lnk::kDisableLinkPathTracking);
  EXPECT_EQ(lnk::ShellTarget(link, &expand), "C:\\idlist.exe");

  link.id_list_path.reset();
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "C:\\local\\base.exe");
  link.link_info->local_base_path.reset();
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "\\\\server\\share\\base.exe");
  link.link_info->net_name = Text("\\\\server\\share\\");
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "\\\\server\\share\\base.exe");
  link.link_info->common_path_suffix.clear();
  link.link_info->net_name = Text("\\\\server\\share");
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "\\\\server\\share");

  link.flags |= lnk::kForceNoLinkInfo;
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), ".\\relative.exe");
  link.relative_path.reset();
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "");

  // An advertised (Darwin) link reports no path at all.
  EXPECT_EQ(lnk::ShellTarget(Sources(lnk::kHasDarwinId | lnk::kHasExpString), &expand), "");
}

TEST(LnkFormat, NetworkNameEndingInADoubleByteCharacterGetsItsBackslash) {
  // 0x5C as the second byte of a double-byte character is no backslash.
  lnk::LinkData link;
  link.link_info = lnk::LinkInfo{std::nullopt, Text("\\\\s\\\x95\x5C"), Text("a")};
  EXPECT_EQ(lnk::ShellTarget(link, nullptr), "\\\\s\\\x95\x5C\\a");
}

TEST(LnkFormat, HotkeyText) {
  EXPECT_EQ(HotkeyText(0), "");
  EXPECT_EQ(HotkeyText(0x0642), "Ctrl + Alt + B");
  EXPECT_EQ(HotkeyText(0x0170), "Shift + p");
  EXPECT_EQ(HotkeyText(0x0F51), "Ctrl + Shift + Alt + Ext + Q");
  EXPECT_EQ(HotkeyText(0x0200), "Ctrl + ");
}

// --- Malformed input ---------------------------------------------------------

TEST(LnkFormatMalformed, HeaderMustHaveItsSizeAndClassId) {
  const std::string good = *lnk::SerializeLink(EveryField());
  ASSERT_TRUE(lnk::ParseLink(good));
  std::string bad = good;
  PutU32(&bad, 0, 0x4D);
  EXPECT_FALSE(lnk::ParseLink(bad));
  bad = good;
  bad[0x13] = 0x47;  // last byte of the class id
  EXPECT_FALSE(lnk::ParseLink(bad));
  EXPECT_FALSE(lnk::ParseLink(""));
  EXPECT_FALSE(lnk::ParseLink(std::string(0x4C, '\0')));
}

TEST(LnkFormatMalformed, EveryTruncationFails) {
  for (const lnk::LinkData& link : {EveryField(), lnk::LinkData()}) {
    const std::string bytes = *lnk::SerializeLink(link);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
      EXPECT_FALSE(lnk::ParseLink(std::string_view(bytes).substr(0, length)))
          << "cut at " << length << " of " << bytes.size();
    }
  }
}

TEST(LnkFormatMalformed, DataAfterTheTerminalBlockIsIgnored) {
  const std::string bytes = *lnk::SerializeLink(EveryField());
  const std::optional<lnk::LinkData> read = lnk::ParseLink(bytes + "Hello World!");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->size, bytes.size());
  EXPECT_EQ(read->arguments, EveryField().arguments);
}

TEST(LnkFormatMalformed, FilesAboveTheCapFail) {
  std::string bytes = *lnk::SerializeLink(EveryField());
  bytes.resize(lnk::kMaxLinkFileSize, '\0');
  EXPECT_TRUE(lnk::ParseLink(bytes));
  bytes += '\0';
  EXPECT_FALSE(lnk::ParseLink(bytes));
}

TEST(LnkFormatMalformed, SizesCountsAndOffsetsOutsideTheFileFail) {
  lnk::LinkData link = EveryField();
  link.env_target.reset();
  const std::string good = *lnk::SerializeLink(link);
  const std::size_t info = 0x4C;
  const std::uint32_t info_size = U32At(good, info);
  const std::size_t name = info + info_size;

  struct Corruption {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    bool wide;
  } corruptions[] = {
      {"LinkInfoSize past the end", info, 0x7FFFFFFF, true},
      {"LinkInfoSize below its header", info, 0x10, true},
      {"LinkInfoHeaderSize between the two forms", info + 0x04, 0x20, true},
      {"LinkInfoHeaderSize past LinkInfo", info + 0x04, 0x1000, true},
      {"VolumeIDOffset past LinkInfo", info + 0x0C, 0xFFFFFFF0, true},
      {"VolumeIDOffset inside the header", info + 0x0C, 0x04, true},
      {"LocalBasePathOffset past LinkInfo", info + 0x10, info_size, true},
      {"CommonPathSuffixOffset past LinkInfo", info + 0x18, 0xFFFFFFFF, true},
      {"VolumeIDSize past LinkInfo", info + 0x1C, 0x1000, true},
      {"network flag without the structure", info + 0x08, 3, true},
      {"string count past the end", name, 0xFFFF, false},
      {"flags asking for an ID list", 0x14, link.flags | lnk::kHasLinkTargetIdList, true},
      {"flags asking for every string", 0x14, 0xFF, true},
  };
  for (const Corruption& corruption : corruptions) {
    std::string bad = good;
    if (corruption.wide) {
      PutU32(&bad, corruption.at, corruption.value);
    } else {
      PutU16(&bad, corruption.at, static_cast<std::uint16_t>(corruption.value));
    }
    EXPECT_FALSE(lnk::ParseLink(bad)) << corruption.what;
  }
}

// A link whose ID list is `items`, each given without its size field.
std::string LinkWithIdList(const std::vector<std::string>& items, bool terminated = true) {
  std::string list;
  for (const std::string& item : items) {
    list += static_cast<char>((item.size() + 2) & 0xFF);
    list += static_cast<char>((item.size() + 2) >> 8);
    list += item;
  }
  if (terminated) list += std::string(2, '\0');
  std::string bytes = *lnk::SerializeLink(lnk::LinkData());
  PutU32(&bytes, 0x14, lnk::kIsUnicode | lnk::kHasLinkTargetIdList);
  std::string size(2, '\0');
  PutU16(&size, 0, static_cast<std::uint16_t>(list.size()));
  bytes.insert(0x4C, size + list);
  return bytes;
}

const std::string kMyComputer =
    std::string("\x1F\x50", 2) +
    std::string("\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D", 16);

// A file entry item (without its size field) with an ANSI primary name and,
// when given, a version 9 extension block holding the long name.
std::string FileEntry(std::uint8_t type, const std::string& short_name,
                      const std::string& long_name_utf16) {
  std::string item(1, static_cast<char>(type));
  item += std::string(1 + 4 + 4 + 2, '\0');
  item += short_name + '\0';
  if (item.size() % 2) item += '\0';
  if (long_name_utf16.empty()) return item;
  const std::size_t block_at = item.size() + 2;  // offsets count the size field
  std::string block(46, '\0');
  block += long_name_utf16 + std::string(2, '\0');
  block += std::string(2, '\0');  // the block's offset, filled in below
  PutU16(&block, 0, static_cast<std::uint16_t>(block.size()));
  PutU16(&block, 2, 9);
  PutU32(&block, 4, 0xBEEF0004);
  PutU16(&block, block.size() - 2, static_cast<std::uint16_t>(block_at));
  return item + block;
}

TEST(LnkFormatIdList, PathOfMyComputerDriveAndFileEntries) {
  const std::string volume =
      "\x2F"
      "C:\\" +
      std::string(19, '\0');
  // 中.txt in UTF-16.
  const std::string chinese = std::string("\x2D\x4E", 2) + Wide(".txt");
  const std::optional<lnk::LinkData> link = lnk::ParseLink(
      LinkWithIdList({kMyComputer, volume, FileEntry(0x31, "PROGRA~1", Wide("Program Files")),
                      FileEntry(0x32, "A~1.TXT", chinese), FileEntry(0x32, "short.txt", "")}));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->id_list_path, Text("C:\\Program Files\\中.txt\\short.txt"));
  EXPECT_EQ(lnk::ShellTarget(*link, nullptr), "C:\\Program Files\\中.txt\\short.txt");

  const std::optional<lnk::LinkData> drive = lnk::ParseLink(LinkWithIdList({kMyComputer, volume}));
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->id_list_path, Text("C:\\"));
}

TEST(LnkFormatIdList, ListsThatNameNoPathGiveNone) {
  const std::string volume =
      "\x2F"
      "C:\\" +
      std::string(19, '\0');
  const std::string entry = FileEntry(0x32, "a.txt", "");
  // Relative to the desktop, an unknown item, a root other than My Computer.
  std::string other_root = kMyComputer;
  other_root[2] = 0x11;
  for (const auto& items :
       std::vector<std::vector<std::string>>{{entry},
                                             {kMyComputer, volume, "\x77" + entry.substr(1)},
                                             {other_root, volume, entry},
                                             {kMyComputer},
                                             {}}) {
    const std::optional<lnk::LinkData> link = lnk::ParseLink(LinkWithIdList(items));
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->id_list_path) << *link->id_list_path;
  }
}

TEST(LnkFormatIdList, BrokenListsFail) {
  const std::string volume =
      "\x2F"
      "C:\\" +
      std::string(19, '\0');
  EXPECT_FALSE(lnk::ParseLink(LinkWithIdList({kMyComputer, volume}, false)));
  // An item of size 1 would never move the walk on.
  std::string stuck = LinkWithIdList({kMyComputer});
  PutU16(&stuck, 0x4E, 1);
  EXPECT_FALSE(lnk::ParseLink(stuck));
  // An item running past the list.
  std::string long_item = LinkWithIdList({kMyComputer});
  PutU16(&long_item, 0x4E, 0x100);
  EXPECT_FALSE(lnk::ParseLink(long_item));
  // A terminator before the list's end.
  std::string early = LinkWithIdList({kMyComputer, volume});
  PutU16(&early, 0x4E + 2 + kMyComputer.size(), 0);
  EXPECT_FALSE(lnk::ParseLink(early));
  // Extension block offsets that point anywhere are ignored, not followed.
  std::string entry = FileEntry(0x32, "a.txt", Wide("long.txt"));
  for (std::uint16_t offset : {0, 1, 0x0E, 0xFFFF}) {
    PutU16(&entry, entry.size() - 2, offset);
    const std::optional<lnk::LinkData> link =
        lnk::ParseLink(LinkWithIdList({kMyComputer, volume, entry}));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->id_list_path, Text("C:\\a.txt"));
  }
}

TEST(LnkFormatExtraData, BlocksAreWalkedToTheTerminalBlock) {
  const std::string base = *lnk::SerializeLink(lnk::LinkData());
  const std::string body = base.substr(0, base.size() - 4);
  std::string tracker(0x60, '\0');
  PutU32(&tracker, 0, 0x60);
  PutU32(&tracker, 4, 0xA0000003);
  std::string terminal(4, '\0');

  const std::optional<lnk::LinkData> link = lnk::ParseLink(body + tracker + terminal);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->extra_blocks, std::vector<std::uint32_t>{0xA0000003});
  // A terminal block may be any value below 4.
  PutU32(&terminal, 0, 3);
  EXPECT_TRUE(lnk::ParseLink(body + tracker + terminal));

  // A block too small to hold its signature, past the end, or no terminator.
  std::string bad = tracker;
  PutU32(&bad, 0, 5);
  EXPECT_FALSE(lnk::ParseLink(body + bad + terminal));
  PutU32(&bad, 0, 0x61);
  EXPECT_FALSE(lnk::ParseLink(body + bad));
  EXPECT_FALSE(lnk::ParseLink(body + tracker));
  // An environment block of the wrong size, or with a string that never ends.
  std::string env(0x314, 'x');
  PutU32(&env, 0, 0x310);
  PutU32(&env, 4, 0xA0000001);
  EXPECT_FALSE(lnk::ParseLink(body + env.substr(0, 0x310) + terminal));
  PutU32(&env, 0, 0x314);
  EXPECT_FALSE(lnk::ParseLink(body + env + terminal));
}

// Every field of every byte offset of a link, set to values that break
// sizes and offsets: the reader fails or reads, never reads outside.
TEST(LnkFormatMalformed, CorruptingAnyWordNeverCrashes) {
  const std::string volume =
      "\x2F"
      "C:\\" +
      std::string(19, '\0');
  std::string with_id_list =
      LinkWithIdList({kMyComputer, volume, FileEntry(0x31, "PROGRA~1", Wide("Program Files"))});
  const std::string good = *lnk::SerializeLink(EveryField());
  int parsed = 0, failed = 0;
  for (const std::string& link : {good, with_id_list}) {
    for (std::size_t at = 0; at + 4 <= link.size(); ++at) {
      for (std::uint32_t value : {0u, 1u, 2u, 0x14u, 0x1Cu, 0x24u, 0xFFu, 0xFFFFu, 0x7FFFFFFFu,
                                  0xFFFFFFFFu, static_cast<std::uint32_t>(link.size())}) {
        std::string bad = link;
        PutU32(&bad, at, value);
        (lnk::ParseLink(bad) ? parsed : failed)++;
      }
    }
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(parsed, 0);
}

}  // namespace
