// The links of the shared test corpus (shared/testdata/lnk), most of them
// made by Windows itself, read through the portable backend with the values
// the Windows shell reports for them. Each row names where its values come
// from: the expected files of the parser the link was taken from
// (EXPECTED.json, LnkParse3's JSON, YARA-X's output), and for the target the
// order in which the shell consults a link's sources (environment block, ID
// list, LinkInfo, relative path). Fields those files do not give were read
// from the link's structures. Skipped where the corpus folder is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/portable/files_portable.h"
#include "platform/portable/lnk_format.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/shell_link_names.h"
#include "tests/support/link_corpus.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& kCorpus = LinkCorpus();

struct Row {
  const char* file;  // below the corpus folder, in UTF-8
  const char* target;
  const char* raw_target;  // nullptr: the same as target
  const char* arguments;
  const char* working_directory;
  const char* description;
  const char* icon_location;
  int show_command;  // as reported: 7 comes back as 2
  int hotkey;
  const char* source;
};

const Row kRows[] = {
    {"log2timeline-plaso/test_data/example.lnk", "C:\\Windows\\system32\\migwiz\\migwiz.exe",
     "%windir%\\system32\\migwiz\\migwiz.exe", "", "%windir%\\system32\\migwiz",
     "@%windir%\\system32\\migwiz\\wet.dll,-590", "%windir%\\system32\\migwiz\\migwiz.exe,0", 1,
     0x0000,
     "plaso: description, working_directory, icon_location, env_var_location (the only target: no "
     "ID list, no LinkInfo)"},
    {"log2timeline-plaso/test_data/NeroInfoTool.lnk",
     "C:\\Program Files (x86)\\Nero\\Nero 9\\Nero InfoTool\\InfoTool.exe", nullptr,
     "-ScParameter=30002  ", "C:\\Program Files (x86)\\Nero\\Nero 9\\Nero InfoTool",
     "Nero InfoTool provides you with information about the most important features of installed "
     "drives, inserted discs, installed software and much more. With Nero InfoTool you can find "
     "out all about your drive and your system configuration.",
     "C:\\Program Files (x86)\\Nero\\Nero 9\\Nero InfoTool\\InfoTool.exe,0", 1, 0x0000,
     "plaso: description, icon_location, local_path, working_directory"},
    {"log2timeline-plaso/test_data/unpaired_surrogate.lnk", "C:\\test\\unicode_U+0000d800_?.exe",
     nullptr, "", "C:\\test", "", ",0", 1, 0x0000,
     "plaso: local_path, working_directory; the lone U+D800 becomes ?"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/consolelink.lnk",
     "C:\\linktest\\folder\\pause.bat", nullptr, "cmdarg", "C:\\Windows", "",
     "%SystemRoot%\\System32\\SHELL32.dll,128", 1, 0x0000,
     "mslinks: resolve_target, arguments, working_dir, icon_location and icon_index, no name, "
     "show_command"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/consolelink_winxp.lnk",
     "C:\\linktest\\folder\\pause.bat", nullptr, "", "C:\\Windows", "",
     "%SystemRoot%\\system32\\SHELL32.dll,128", 1, 0x0000,
     "mslinks: resolve_target, icon_location, working_dir, no arguments or name"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/exelink.lnk",
     "C:\\Program Files\\7-Zip\\7zFM.exe", nullptr, "", "C:\\Program Files\\7-Zip", "", ",0", 1,
     0x0000, "mslinks: resolve_target, working_dir, no icon_location"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/textfilelink.lnk",
     "C:\\linktest\\folder\\textfile.txt", nullptr, "", "C:\\linktest\\folder", "", ",0", 1, 0x0000,
     "mslinks: resolve_target, working_dir, no icon_location"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/unicodetest.lnk",
     "C:\\linktest\\folder\\ααα.txt", nullptr, "", "C:\\linktest\\folder", "", ",0", 1, 0x0000,
     "mslinks: resolve_target (Greek letters are in code page 936)"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/networkdrivefilelink.lnk",
     "Z:\\testfile.txt", nullptr, "", "Z:\\", "", ",0", 1, 0x0000,
     "mslinks: resolve_target, the mapped drive of the ID list"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/directorylink.lnk", "C:\\linktest\\folder",
     nullptr, "", "", "", ",0", 1, 0x0000,
     "mslinks: resolve_target, less the trailing backslash of its ID list walk"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/desktop_winxp_folder.lnk",
     "C:\\Documents and Settings\\admin\\Рабочий стол\\pause.bat", nullptr, "",
     "C:\\Documents and Settings\\admin\\Рабочий стол", "", ",0", 1, 0x0000,
     "mslinks: resolve_target, Cyrillic from the long names of the ID list"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/userfolderlink_file_win11.lnk",
     "C:\\Users\\admin\\NTUSER.DAT", nullptr, "", "C:\\Users\\admin", "", ",0", 1, 0x0000,
     "mslinks: resolve_target; the ID list starts at the user folder, so LinkInfo answers"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/knownfolderlink.lnk",
     "C:\\Users\\admin\\Downloads\\pause.bat", nullptr, "", "C:\\Users\\admin\\Downloads", "", ",0",
     1, 0x0000,
     "mslinks: resolve_target; the ID list starts at a known folder, so LinkInfo answers"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/envvarlink.lnk",
     "C:\\env\\folder\\pause.bat", "C:\\%test%\\pause.bat", "", "C:\\env\\folder", "", ",0", 1,
     0x0000,
     "mslinks: the environment block C:\\%test%\\pause.bat, with %test% set to the folder the ID "
     "list names"},
    {"DmitriiShamrikov-mslinks/test/mslinks/ReadTestData/sharedfilelink.lnk",
     "\\\\laptop\\share\\testfile.txt", nullptr, "", "\\\\laptop\\share", "", ",0", 1, 0x0000,
     "mslinks: resolve_target is the LinkInfo spelling \\\\LAPTOP\\SHARE; the environment block, "
     "read first, has it in lower case"},
    {"strayge-pylnk/tests/examples/local_file.lnk", "C:\\Windows\\explorer.exe", nullptr, "",
     "C:\\Windows", "", ",0", 1, 0x0000, "pylnk: path"},
    {"strayge-pylnk/tests/examples/local_folder.lnk", "C:\\Users\\stray\\Desktop\\New folder",
     nullptr, "", "", "", ",0", 1, 0x0000, "pylnk: path"},
    {"strayge-pylnk/tests/examples/local_disk.lnk", "C:\\", nullptr, "", "", "", ",0", 1, 0x0000,
     "pylnk: path C: which the shell reports as the root folder"},
    {"strayge-pylnk/tests/examples/mounted_folder1_file1.lnk", "Z:\\Downloads\\folder1\\file1.txt",
     nullptr, "", "Z:\\Downloads\\folder1", "", ",0", 1, 0x0000,
     "pylnk: path from the ID list (mapped drive Z:); LinkInfo has the share"},
    {"strayge-pylnk/tests/examples/net_folder1_file1.lnk",
     "\\\\192.168.138.2\\storage\\Downloads\\folder1\\file1.txt", nullptr, "",
     "\\\\192.168.138.2\\storage\\Downloads\\folder1", "", ",0", 1, 0x0000,
     "pylnk: env_block_target_unicode_casefold"},
    {"strayge-pylnk/tests/examples/send_to_fax.lnk", "C:\\Windows\\system32\\WFS.exe",
     "%windir%\\system32\\WFS.exe", "/SendTo", "", "@%windir%\\system32\\FXSRESM.dll,-121",
     "%windir%\\system32\\WFSR.dll,0", 1, 0x0000, "pylnk: path, the environment block only"},
    {"strayge-pylnk/tests/examples/recent1.lnk",
     "C:\\Users\\heznik\\Downloads\\2020M09_01_contract.pdf", nullptr, "",
     "C:\\Users\\heznik\\Downloads", "", ",0", 1, 0x0000,
     "pylnk names the target by known folder; LinkInfo has it as a path"},
    {"strayge-pylnk/tests/examples/uwp_calc.lnk", "", nullptr, "", "", "", ",0", 1, 0x0000,
     "pylnk: an application in the ID list, no file-system path"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/WIN10/1607_14393/windows_generated.lnk",
     "C:\\Users\\u0041\\Desktop\\test\\test.txt", nullptr, "", "C:\\Users\\u0041\\Desktop\\test",
     "", ",0", 1, 0x0000, "lnk_parser: target_full_path"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/WIN7/6.1_7601/manual_unicode.lnk",
     "C:\\Users\\u0041\\Desktop\\test\\?????.txt", nullptr, "", "C:\\Users\\u0041\\Desktop\\test",
     "", ",0", 1, 0x0000,
     "lnk_parser: target_full_path; the Arabic name has no form in code page 936"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/WIN10/1903_18362/\xE6\xB5\x8B\xE8\xAF\x95 1.txt.lnk",
     "C:\\Users\\u0041\\Desktop\\Test\\测试 1.txt", nullptr, "", "C:\\Users\\u0041\\Desktop\\Test",
     "", ",0", 1, 0x0000, "lnk_parser: note and the name of the link"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/WIN10/1903_18362/\xE6\xB5\x8B\xE8\xAF\x95 2.txt.lnk",
     "\\\\127.0.0.1\\test\\测试 2.txt", nullptr, "", "\\\\127.0.0.1\\test", "", ",0", 1, 0x0000,
     "lnk_parser: note; the environment block, read first, has the share TEST in lower case"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/WS19/10.0_1809/S\xC3\xBC\xC3\x9Fspeisen.lnk",
     "C:\\Users\\jasa\\Desktop\\Sü?speisen.docx", nullptr, "", "C:\\Users\\jasa\\Desktop", "", ",0",
     1, 0x0000, "lnk_parser: target_full_path; the sharp s has no form in code page 936"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/other/non_unicode_strings.lnk",
     "E:\\Age Of Empires II\\Age2_X1\\age2_x1.Exe", nullptr, "normalmouse",
     "E:\\Age Of Empires II\\", "The Conquerors - NormalMouse.lnk",
     "E:\\Age Of Empires II\\\\Age2_X1\\\\age2_x1.Exe,0", 1, 0x0000,
     "lnk_parser: target_full_path; ANSI strings"},
    {"AbdulRhmanAlfaifi-lnk_parser/samples/mal/exec_cmd_powershell_with_shortcut.lnk",
     "C:\\Windows\\System32\\cmd.exe", nullptr,
     "/c powershell.exe -c \"Write-Host This is a test\"", "C:\\Windows\\System32", "", ",0", 1,
     0x074B, "lnk_parser: cmd.exe with arguments and a hotkey (note)"},
    {"Matmaus-LnkParse3/tests/samples/microsoft_example.lnk", "C:\\test\\a.txt", nullptr, "",
     "C:\\test", "", ",0", 1, 0x0000, "LnkParse3: local_base_path, working_directory"},
    {"Matmaus-LnkParse3/tests/samples/sample6.lnk",
     "C:\\Youdao\\ShoppingAssistant\\ie\\4.4\\播放器正在加载（拦截请允许）.exe", nullptr,
     "/vendor:youdao%20/P%20%22C:/Youdao/ShoppingAssistant/ie/4.4",
     "C:\\Youdao\\ShoppingAssistant\\ie\\4.4", "", "C:\\b5tcj\\e25d12f380_96.ico,0", 2, 0x0000,
     "LnkParse3: data, SW_SHOWMINNOACTIVE; the GBK name of the ID list"},
    {"Matmaus-LnkParse3/tests/samples/decoding_error2.lnk", "C:\\Windows\\system32\\cmd.exe",
     "%COMSPEC%", "/C .\\WindowsServices\\movemenoreg.vbs", "", "",
     "%windir%\\system32\\SHELL32.dll,7", 2, 0x0000,
     "LnkParse3: data, SW_SHOWMINNOACTIVE, icon_index 7; the environment block %COMSPEC%"},
    {"Matmaus-LnkParse3/tests/samples/darwin_block.lnk", "", nullptr, "", "",
     "This is the shortcut description",
     "C:\\WINDOWS\\Installer\\{DB8757A3-1B62-4136-8D95-D2CB9F00E36C}\\test_icon.ico,0", 1, 0x0000,
     "LnkParse3: data; an advertised link reports no path"},
    {"Matmaus-LnkParse3/tests/samples/sample.lnk",
     "C:\\Users\\Jonathan\\AppData\\Roaming\\.minecraft",
     "C:\\Users\\%USERNAME%\\AppData\\Roaming\\.minecraft", "", "", "", ",0", 1, 0x0000,
     "LnkParse3: the environment block, with %USERNAME% set to the profile in the ID list"},
    {"Matmaus-LnkParse3/tests/samples/sample13.lnk", "C:\\Windows\\system32\\cmd.exe",
     "%windir%\\system32\\cmd.exe", "/c start _ & _\\DeviceManager.exe & exit", "B:\\", "",
     "shell32.dll,9", 2, 0x0000,
     "LnkParse3: data, SW_SHOWMINNOACTIVE, icon_index 9, the environment block"},
    {"Matmaus-LnkParse3/tests/samples/console_properties_block.lnk",
     "C:\\Windows\\syswow64\\WindowsPowerShell\\v1.0\\powershell.exe",
     "%SystemRoot%\\syswow64\\WindowsPowerShell\\v1.0\\powershell.exe", "", "%HOMEDRIVE%%HOMEPATH%",
     "Performs object-based (command-line) functions",
     "%SystemRoot%\\syswow64\\WindowsPowerShell\\v1.0\\powershell.exe,0", 1, 0x0000,
     "LnkParse3: data, the environment block"},
    {"Matmaus-LnkParse3/tests/samples/broken_link_info.lnk", "C:\\Program Files\\xt\\xt.exe",
     nullptr, "", "C:\\Program Files\\xt", "", ",0", 1, 0x0000,
     "LnkParse3: the ID list is the only target"},
    {"Matmaus-LnkParse3/tests/samples/sample7.lnk", "C:\\ProgramData\\VК_DJ\\VК_DJ.exe", nullptr,
     "", "C:\\ProgramData\\VК_DJ", "", ",0", 1, 0x0000,
     "LnkParse3: the ID list with a Cyrillic letter"},
    {"Matmaus-LnkParse3/tests/samples/unknown_block.lnk", "C:\\Windows\\system32\\cmd.exe", nullptr,
     "/c ren cfsdaacdfawd\\*.vbss *.vbs &start \\cfsdaacdfawd\\aiasfacoiaksf.vbs&start explorer "
     ".android_secure&exit",
     "", "", "%SystemRoot%\\System32\\shell32.dll,3", 2, 0x0000,
     "LnkParse3: data, SW_SHOWMINNOACTIVE, icon_index 3; unknown blocks are skipped"},
    {"Matmaus-LnkParse3/tests/samples/unknown_target.lnk", "", nullptr, "", "", "", ",0", 1, 0x0000,
     "LnkParse3: an unknown ID list item, 67 KB after the terminal block"},
    {"Matmaus-LnkParse3/tests/samples/network_info.lnk",
     "Z:\\A - LM METAL LIFT\\01.OBCHOD - BRO?URY - Prodejní a technické informace o "
     "produktech\\ETN\\ETN-Katalog-ENG\\Katalog ETN 10_2017\\Lift-programme\\ETN-lift programme "
     "2017.pdf",
     nullptr, "",
     "Z:\\A - LM METAL LIFT\\01.OBCHOD - BRO?URY - Prodejní a technické informace o "
     "produktech\\ETN\\ETN-Katalog-ENG\\Katalog ETN 10_2017\\Lift-programme",
     "", ",0", 1, 0x0000,
     "LnkParse3: the ID list path on Z: (Z with caron has no form in code page 936)"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-standard.lnk", "C:\\test\\a.txt",
     nullptr, "", "C:\\test", "", ",0", 1, 0x0000, "YARA-X: local_base_path, working_dir"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-overlay.lnk", "C:\\test\\a.txt",
     nullptr, "", "C:\\test", "", ",0", 1, 0x0000,
     "YARA-X: the standard link with data after its end"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-network.lnk", "Z:\\calc.exe",
     nullptr, "", "Z:\\", "", ",0", 1, 0x0000,
     "YARA-X: volume_name and file_entry_name of the ID list"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-extradata-1.lnk",
     "C:\\Windows\\sysWOW64\\WindowsPowerShell\\v1.0\\powershell.exe",
     "%SystemRoot%\\sysWOW64\\WindowsPowerShell\\v1.0\\powershell.exe", "", "%HOMEDRIVE%%HOMEPATH%",
     "", "%SystemRoot%\\system32\\WindowsPowerShell\\v1.0\\powershell.exe,0", 1, 0x0000,
     "YARA-X: icon_location, working_dir; the environment block"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-extradata-2.lnk",
     "C:\\Program Files\\PeaZip\\peazip.exe", nullptr, "-add2crypt", "",
     "PeaZip archiver, add to encrypted .pea archive",
     "C:\\Program Files\\PeaZip\\res\\icons\\peazip_new.icl,0", 1, 0x0000,
     "YARA-X: name, icon_location, local_base_path"},
    {"VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-unknown-item.lnk", "C:\\test\\a.txt",
     nullptr, "", "C:\\test", "", ",0", 1, 0x0000,
     "YARA-X: an unknown item after the path in the ID list"},
};

// The corpus files that are no whole link: the reader fails on them.
const char* const kBroken[] = {
    // The last extra data block runs past the end of the file.
    "Matmaus-LnkParse3/tests/samples/extra_data.lnk",
    // The icon location string runs past the end of the file.
    "Matmaus-LnkParse3/tests/samples/padded_cli_arguments.lnk",
    "VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-malformed-2.lnk",
    // The ID list and LinkInfo sizes were altered.
    "VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-malformed-1.lnk",
    // The ID list says 2138 bytes; the file has 522.
    "VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-cve-2010-2568.lnk",
    // An empty file.
    "VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-empty.lnk",
};

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every link file of the corpus, by its path below the corpus folder.
std::map<std::string, std::string> Corpus() {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
    std::string extension = entry.path().extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (entry.is_regular_file() && extension == ".lnk") {
      files[fs::relative(entry.path(), kCorpus).generic_string()] = Bytes(entry.path());
    }
  }
  return files;
}

class LnkCorpus : public ::testing::Test {
 protected:
  void SetUp() override { SkipWithoutLinkCorpus(); }
};

TEST_F(LnkCorpus, ReadsAsTheShellReports) {
  const TempFolder folder;
  const std::string& drive = folder.path();
  PortableFileSystem files;
  files.MapDrive('C', drive);
  // The variables the links' own machines had, where their targets use them.
  files.SetEnvironmentValue("USERNAME", "Jonathan");
  files.SetEnvironmentValue("test", "env\\folder");
  PortableShellLinks links(files);

  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.file) + " (" + row.source + ")");
    ASSERT_TRUE(fs::exists(kCorpus / row.file));
    fs::copy_file(kCorpus / row.file, drive + "/link.lnk", fs::copy_options::overwrite_existing);
    Text target, raw_target, arguments, working_directory, icon_location, hotkey_text, description;
    int show_command = -1, hotkey = -1;
    ShortcutFields fields{&target,        &raw_target,   &arguments, &working_directory,
                          &icon_location, &show_command, &hotkey,    &hotkey_text,
                          &description};
    const Text result = links.ReadShortcut("C:\\link", fields);
    EXPECT_EQ(target, row.target);
    EXPECT_EQ(raw_target, row.raw_target ? row.raw_target : row.target);
    EXPECT_EQ(arguments, row.arguments);
    EXPECT_EQ(result, arguments.empty() ? target : target + " " + arguments);
    EXPECT_EQ(working_directory, row.working_directory);
    EXPECT_EQ(description, row.description);
    EXPECT_EQ(icon_location, row.icon_location);
    EXPECT_EQ(show_command, row.show_command);
    EXPECT_EQ(hotkey, row.hotkey);
    EXPECT_EQ(hotkey_text, HotkeyText(static_cast<std::uint16_t>(row.hotkey)));
  }
}

TEST_F(LnkCorpus, EveryWholeLinkParsesAndTheBrokenOnesFail) {
  const std::map<std::string, std::string> corpus = Corpus();
  EXPECT_EQ(corpus.size(), 106u);
  std::set<std::string> broken(std::begin(kBroken), std::end(kBroken));
  for (const auto& [file, bytes] : corpus) {
    EXPECT_EQ(lnk::ParseLink(bytes).has_value(), broken.count(file) == 0) << file;
  }
}

// Every link cut short at every length fails; cut after its terminal block,
// it reads the same.
TEST_F(LnkCorpus, EveryTruncationFails) {
  for (const auto& [file, bytes] : Corpus()) {
    const std::optional<lnk::LinkData> whole = lnk::ParseLink(bytes);
    const std::size_t end = whole ? whole->size : bytes.size();
    for (std::size_t length = 0; length < end; ++length) {
      if (lnk::ParseLink(std::string_view(bytes).substr(0, length))) {
        ADD_FAILURE() << file << " cut at " << length << " of " << end << " still parses";
        break;
      }
    }
    if (whole) {
      const std::optional<lnk::LinkData> cut =
          lnk::ParseLink(std::string_view(bytes).substr(0, end));
      ASSERT_TRUE(cut) << file;
      EXPECT_EQ(lnk::ShellTarget(*cut, nullptr), lnk::ShellTarget(*whole, nullptr)) << file;
    }
  }
}

// Sizes, counts and offsets set to values past any end: the reader fails or
// reads, and never reads outside the bytes it was given (the fuzz test runs
// the same under the address sanitizer).
TEST_F(LnkCorpus, CorruptWordsNeverCrash) {
  std::size_t parsed = 0, failed = 0;
  for (const auto& [file, bytes] : Corpus()) {
    const std::optional<lnk::LinkData> whole = lnk::ParseLink(bytes);
    if (!whole) continue;
    for (std::size_t at = 0x4C; at + 4 <= whole->size; ++at) {
      for (std::uint32_t value : {0u, 0xFFFFu, 0xFFFFFFFFu}) {
        std::string bad(bytes, 0, whole->size);
        for (int i = 0; i < 4; ++i) bad[at + i] = static_cast<char>(value >> (8 * i));
        (lnk::ParseLink(bad) ? parsed : failed)++;
      }
    }
  }
  EXPECT_GT(failed, 0u);
  EXPECT_GT(parsed, 0u);
}

}  // namespace
