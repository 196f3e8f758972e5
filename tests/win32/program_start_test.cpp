// The window program's arguments, and the pieces the watch's notification
// fits: an address quoted as CommandLineToArgvW reads it back, a notice cut
// to the balloon's field.
#include "app/program_start.h"

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// The arguments the system reads from "program.exe " + `tail`.
std::vector<std::wstring> ArgumentsOf(const std::wstring& tail) {
  int count = 0;
  LPWSTR* list = CommandLineToArgvW((L"program.exe " + tail).c_str(), &count);
  std::vector<std::wstring> arguments;
  for (int at = 1; list && at < count; ++at) arguments.push_back(list[at]);
  LocalFree(list);
  return arguments;
}

TEST(ProgramStart, TheSwitchesTakeOneAddress) {
  EXPECT_EQ(ProgramMode::kWindow, ParseProgramArguments({}).mode);
  const ProgramStart watch = ParseProgramArguments({"--watch", "http://a.example/"});
  EXPECT_EQ(ProgramMode::kWatch, watch.mode);
  EXPECT_EQ("http://a.example/", watch.address);
  const ProgramStart results = ParseProgramArguments({"--results", "http://b.example/"});
  EXPECT_EQ(ProgramMode::kResults, results.mode);
  EXPECT_EQ("http://b.example/", results.address);
  // A watch at logon started wrong shows nothing rather than the window.
  EXPECT_EQ(ProgramMode::kWrongArguments, ParseProgramArguments({"--watch"}).mode);
  EXPECT_EQ(ProgramMode::kWrongArguments, ParseProgramArguments({"--watch", ""}).mode);
  EXPECT_EQ(ProgramMode::kWrongArguments,
            ParseProgramArguments({"--results", "http://a.example/", "more"}).mode);
  // What the program never knew opens the window, as it always has.
  EXPECT_EQ(ProgramMode::kWindow, ParseProgramArguments({"http://a.example/"}).mode);
}

TEST(ProgramStart, AQuotedAddressIsReadBackAsItWas) {
  for (const std::wstring address :
       {L"http://www.example.com/", L"http://a.example/?q=two words", L"C:\\pages\\",
        L"C:\\pages\\\\", L"say \"hi\"", L"a\\\"b", L"", L"\\", L"\\\\\"", L"http://例子.cn/"}) {
    SCOPED_TRACE(std::string(address.begin(), address.end()));
    const std::vector<std::wstring> read = ArgumentsOf(L"--results " + QuotedArgument(address));
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ(L"--results", read[0]);
    EXPECT_EQ(address, read[1]);
  }
}

TEST(ProgramStart, AShortNoticeIsLeftWhole) {
  const std::wstring notice =
      L"青禾：浏览器主页又被改了（IE：http://hijack.example/）。点此查看并修复";
  EXPECT_EQ(notice, FitFieldText(notice, 256));
  EXPECT_EQ(notice, FitFieldText(notice, notice.size() + 1));
}

TEST(ProgramStart, ALongNoticeKeepsItsCallToAct) {
  std::wstring notice = L"青禾：浏览器主页又被改了（";
  for (int i = 0; i < 40; ++i) notice += L"Chrome：http://long.example/，";
  notice += L"）。点此查看并修复";
  const std::wstring fitted = FitFieldText(notice, 256);
  EXPECT_LE(fitted.size(), 255u);
  EXPECT_EQ(0u, fitted.find(L"青禾：浏览器主页又被改了（"));
  EXPECT_EQ(fitted.size() - 9, fitted.rfind(L"\x2026。点此查看并修复"));
}

TEST(ProgramStart, ACutNeverSplitsACharacterOfTwoUnits) {
  // U+20000 in UTF-16: a surrogate pair, each pair across the cut.
  std::wstring text;
  for (int i = 0; i < 20; ++i) text += L"\xD840\xDC00";
  for (std::size_t capacity = 2; capacity < 12; ++capacity) {
    const std::wstring fitted = FitFieldText(text, capacity);
    EXPECT_LE(fitted.size(), capacity - 1);
    ASSERT_GE(fitted.size(), 1u);
    const wchar_t before_mark = fitted.size() >= 2 ? fitted[fitted.size() - 2] : 0;
    EXPECT_FALSE(before_mark >= 0xD800 && before_mark <= 0xDBFF) << "a high surrogate cut off";
  }
  EXPECT_EQ(L"", FitFieldText(text, 0));
}

}  // namespace
