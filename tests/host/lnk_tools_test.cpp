// The links of the portable backend seen from outside: lnkdump's output, and
// what liblnk's lnkinfo, a reader written apart from ours, reads in the links
// our writer makes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/portable/cp936.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/lnk_format.h"
#include "platform/portable/shell_links_portable.h"
#include "tests/support/link_corpus.h"
#include "tests/support/marked_fields.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct Finished {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs a shell command and keeps its exit code and what it printed.
Finished RunCommand(const std::string& command) {
  const std::string err_file =
      fs::temp_directory_path() / ("qinghe-err-" + std::to_string(getpid()));
  Finished run;
  std::FILE* pipe = popen((command + " 2>" + err_file).c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.out.append(buffer, got);
  }
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_file);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  fs::remove(err_file);
  return run;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

class LinkTools : public ::testing::Test {
 protected:
  void SetUp() override { files_.MapDrive('C', drive_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(drive_ + "/" + name, std::ios::binary) << bytes;
  }
  Finished Dump(const std::string& arguments) {
    return RunCommand(std::string(QINGHE_LNKDUMP) + " " + arguments);
  }

  TempFolder folder_;
  const std::string drive_ = folder_.path();
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
};

TEST_F(LinkTools, LnkdumpPrintsOneLinePerField) {
  ASSERT_TRUE(links_.CreateShortcut("C:\\青禾", "%ProgramFiles%\\青禾\\浏览器.exe",
                                    Text("青禾 快捷方式修复操作"), Text("-k http://a.example/"),
                                    Text("C:\\Program Files\\青禾")));
  const Finished run = Dump(Quoted(drive_ + "/" + "青禾.lnk"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            Cp936ToUtf8("target: C:\\Program Files\\青禾\\浏览器.exe\n"
                        "raw target: %ProgramFiles%\\青禾\\浏览器.exe\n"
                        "arguments: -k http://a.example/\n"
                        "working directory: C:\\Program Files\\青禾\n"
                        "description: 青禾 快捷方式修复操作\n"
                        "icon location: ,0\n"
                        "show command: 5\n"
                        "hotkey: 0x0000\n"
                        "flags: 0x000002B6\n"
                        "blocks: LinkInfo Name WorkingDir Arguments EnvironmentVariable\n"));

  // -e sets a variable of the expansion.
  const Finished moved = Dump("-e ProgramFiles=D:\\\\Apps " + Quoted(drive_ + "/" + "青禾.lnk"));
  EXPECT_EQ(moved.out.substr(0, moved.out.find('\n')),
            Cp936ToUtf8("target: D:\\Apps\\青禾\\浏览器.exe"));
}

TEST_F(LinkTools, LnkdumpShowsHotkeyTextAndStoredShowCommand) {
  lnk::LinkData link;
  link.show_command = 7;
  link.hotkey = 0x0642;
  link.icon_location = "%SystemRoot%\\system32\\SHELL32.dll";
  link.icon_index = -21;
  Write("hot.lnk", *lnk::SerializeLink(link));
  const Finished run = Dump(drive_ + "/hot.lnk");
  EXPECT_NE(run.out.find("\nicon location: %SystemRoot%\\system32\\SHELL32.dll,-21\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\nshow command: 7\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nhotkey: 0x0642 (Ctrl + Alt + B)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nblocks: IconLocation\n"), std::string::npos) << run.out;
}

class LinkToolsOnTheCorpus : public LinkTools {
 protected:
  void SetUp() override {
    LinkTools::SetUp();
    SkipWithoutLinkCorpus();
  }
};

TEST_F(LinkToolsOnTheCorpus, LnkdumpOfACorpusLink) {
  const Finished run =
      Dump(Quoted(LinkCorpus() / "Matmaus-LnkParse3/tests/samples/microsoft_example.lnk"));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "target: C:\\test\\a.txt\n"
            "raw target: C:\\test\\a.txt\n"
            "arguments: \n"
            "working directory: C:\\test\n"
            "description: \n"
            "icon location: ,0\n"
            "show command: 1\n"
            "hotkey: 0x0000\n"
            "flags: 0x0008009B\n"
            "blocks: IDList LinkInfo RelativePath WorkingDir Tracker\n");
}

TEST_F(LinkTools, LnkdumpFailsWithOneLineOnWhatIsNoLink) {
  Write("bad.lnk", "not a link");
  for (const std::string& path : {drive_ + "/bad.lnk", drive_ + "/missing.lnk", drive_}) {
    SCOPED_TRACE(path);
    const Finished run = Dump(path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("lnkdump: " + path + ": ", 0), 0u) << run.err;
  }
  EXPECT_EQ(Dump("").exit_code, 2);
}

// lnkinfo's "name : value" lines, names without their tabs.
std::map<std::string, std::string> LnkinfoFields(const std::string& output) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    name.erase(0, name.find_first_not_of('\t'));
    name.erase(name.find_last_not_of('\t') + 1);
    fields[name] = line.substr(colon + 2);
  }
  return fields;
}

class LnkinfoCrossCheck : public LinkTools {
 protected:
  void SetUp() override {
    LinkTools::SetUp();
    if (RunCommand("command -v lnkinfo").exit_code != 0) GTEST_SKIP() << "lnkinfo is missing";
  }
  // lnkinfo of the link `name` in the sandbox; ANSI strings as code page 936.
  std::map<std::string, std::string> Lnkinfo(const std::string& name) {
    const Finished run = RunCommand("lnkinfo -c windows-936 " + Quoted(drive_ + "/" + name));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return LnkinfoFields(run.out);
  }
};

// liblnk 20181227, the one Debian ships, prints the header's FileSize field
// (offset 0x34) as the show command and, cut to 16 bits, as the hotkey. A
// link whose FileSize is 0x51000 and show command 1 tells which lnkinfo this is.
bool LnkinfoShowsFileSizeAsShowCommand(const std::string& drive) {
  lnk::LinkData link;
  link.hotkey = 0x0642;
  std::string bytes = *lnk::SerializeLink(link);
  bytes[0x35] = 0x10;
  bytes[0x36] = 0x05;
  std::ofstream(drive + "/probe.lnk", std::ios::binary) << bytes;
  const auto fields = LnkinfoFields(RunCommand("lnkinfo " + drive + "/probe.lnk").out);
  return fields.count("Show Window value") && fields.at("Show Window value") == "0x00051000";
}

TEST_F(LnkinfoCrossCheck, ReadsWhatOurWriterWrote) {
  const Text target = "C:\\Program Files\\青禾\\浏览器.exe";
  ASSERT_TRUE(links_.CreateShortcut("C:\\made", target, Text("青禾 快捷方式修复操作"),
                                    Text("--homepage http://www.example.com/"),
                                    Text("C:\\Program Files\\青禾")));
  // The fields CreateShortcut does not set, written through the codec.
  lnk::LinkData full = *lnk::ParseLink(*ReadLinkFile(drive_ + "/made.lnk"));
  full.icon_location = "%SystemRoot%\\system32\\SHELL32.dll";
  full.icon_index = 21;
  full.show_command = 3;
  full.hotkey = 0x0642;
  Write("full.lnk", *lnk::SerializeLink(full));

  for (const char* name : {"made", "full"}) {
    SCOPED_TRACE(name);
    MarkedFields ours;
    ASSERT_NE(links_.ReadShortcut("C:\\" + std::string(name), ours.All()), "");
    EXPECT_EQ(ours.target, target);

    auto theirs = Lnkinfo(std::string(name) + ".lnk");
    EXPECT_EQ(theirs["Local path"], Cp936ToUtf8(ours.target));
    EXPECT_EQ(theirs["Command line arguments"], Cp936ToUtf8(ours.arguments));
    EXPECT_EQ(theirs["Working directory"], Cp936ToUtf8(ours.working_directory));
    EXPECT_EQ(theirs["Description"], Cp936ToUtf8(ours.description));
    EXPECT_EQ(theirs["Icon location"] + "," + theirs["Icon index"],
              Cp936ToUtf8(ours.icon_location));
    EXPECT_EQ(theirs["Drive type"], "Fixed (3)");
    if (LnkinfoShowsFileSizeAsShowCommand(drive_)) {
      // Our writer stores FileSize 0, as Wine's does.
      EXPECT_EQ(theirs["Show Window value"], "0x00000000");
      std::printf(
          "note: this lnkinfo prints the FileSize field as show command and hotkey; "
          "those two are checked by the layout tests instead\n");
    } else {
      char show[16];
      std::snprintf(show, sizeof show, "0x%08x", static_cast<unsigned>(ours.show_command));
      EXPECT_EQ(theirs["Show Window value"], show);
      EXPECT_EQ(theirs["Hot Key value"], std::to_string(ours.hotkey));
    }
  }
}

TEST_F(LnkinfoCrossCheck, ReadsTheEnvironmentBlock) {
  ASSERT_TRUE(links_.CreateShortcut("C:\\env", "%windir%\\system32\\notepad.exe", std::nullopt));
  Text raw;
  ShortcutFields fields;
  fields.raw_target = &raw;
  EXPECT_EQ(links_.ReadShortcut("C:\\env", fields), "C:\\Windows\\system32\\notepad.exe");
  auto theirs = Lnkinfo("env.lnk");
  EXPECT_EQ(theirs["Environment variables location"], raw);
  EXPECT_EQ(theirs["Local path"], "C:\\Windows\\system32\\notepad.exe");
}

}  // namespace
