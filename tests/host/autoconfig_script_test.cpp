// An autoconfig script read as Firefox runs it: calls only in its code,
// never in its first line, comments, strings or regular expressions; a call
// removable only as a statement of its own on its own lines; a script the
// reader cannot be sure of said so.
#include "engine/rules/autoconfig_script.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The script with a first line Firefox skips.
AutoconfigScript Read(const std::string& code) { return ReadAutoconfigScript("//\n" + code); }

TEST(AutoconfigScript, CallsAreFoundOnlyInCode) {
  const AutoconfigScript script = Read(
      "/* lockPref(\"a\", 1); */ // lockPref(\"b\", 1);\n"
      "var s = 'lockPref(\"c\", 1);', t = `lockPref(\"d\", 1);`;\n"
      "var r = /lockPref(\"e\", 1);\\/[/]/g, half = 1 / 2 / 3;\n"
      "Services.prefs.lockPref(\"f\", 1); myPref(\"g\", 1); lockPref(\"h\", x);\n"
      "defaultPref(\"browser.startup.home\\x70age\", \"\\u0068ttp://a.cn/\\u{2F}\");\n"
      "pref('n', -3); clearPref(\"m\"); lockPref(\"o\", \"\\101\");\n");
  EXPECT_TRUE(script.understood);
  ASSERT_EQ(script.calls.size(), 3u);
  EXPECT_EQ(script.calls[0].call.name, "browser.startup.homepage");
  EXPECT_EQ(script.calls[0].call.value, "http://a.cn//");
  EXPECT_EQ(script.calls[0].line, 6);
  EXPECT_EQ(script.calls[1].call.value, "-3");
  EXPECT_FALSE(script.calls[1].call.is_string);
  EXPECT_EQ(script.calls[2].call.function, "clearPref");
  // The first line is never run.
  EXPECT_TRUE(ReadAutoconfigScript("lockPref(\"a\", 1);\r\nvar x;").calls.empty());
}

TEST(AutoconfigScript, WhatTheReaderCannotBeSureOfIsSaid) {
  for (const char* code :
       {"/* open", "var s = \"open;", "var s = 'two\nlines';", "var t = `${x}`;",
        "x = (a) / b; lockPref(\"a\", 1);", "if (a) {} /x/.test(b);", "x++ / 2;",
        "lock\\u0050ref(\"a\", 1);", "<!-- lockPref(\"a\", 1);",
        "x = 1;\xE2\x80\xA8lockPref(\"a\", 1);", "f(;", "f());", "var r = /open;\n"}) {
    EXPECT_FALSE(Read(code).understood) << code;
  }
  EXPECT_TRUE(Read("x = a[1] / 2; y = `no substitution`; z = typeof /re/;").understood);
}

TEST(AutoconfigScript, OnlyAStatementOfItsOwnOnItsOwnLinesCanBeCut) {
  const char kCall[] = "lockPref(\"a\", 1);";
  struct Case {
    std::string code;
    bool alone;
  };
  const Case cases[] = {
      {std::string("  \t") + kCall + "\n", true},
      {std::string(kCall) + "  // why\n", true},
      {std::string(kCall) + " /* why */ // and why\n", true},
      {"function f() {\n  " + std::string(kCall) + "\n}\n", true},
      {"x = 1;\n" + std::string(kCall), true},
      {"if (x) {\n}\n" + std::string(kCall) + "\nlockPref(\"b\", 2);\n", true},
      {"var o = {}\n" + std::string(kCall) + "\n(function () {})();\n", false},
      {"var o = {}\n" + std::string(kCall) + "\n" + kCall + "\n(function () {})();\n", false},
      {"lockPref(\"a\",\n         1);\n", true},
      {"if (x)\n  " + std::string(kCall) + "\n", false},
      {"if (x) " + std::string(kCall) + "\n", false},
      {"if (x) {} else " + std::string(kCall) + "\n", false},
      {"x ? lockPref(\"a\", 1) : lockPref(\"a\", 2);\n", false},
      {"x = 1; " + std::string(kCall) + "\n", false},
      {std::string(kCall) + " x = 1;\n", false},
      {"/* why */ " + std::string(kCall) + "\n", false},
      {std::string(kCall) + " /* why\n */\n", false},
      {"lockPref(\"a\", 1)\n", false},
      {"f(\n" + std::string(kCall) + "\n);\n", false},
      {"switch (x) { case 1:\n" + std::string(kCall) + "\n}\n", false},
  };
  for (const Case& c : cases) {
    const AutoconfigScript script = Read(c.code);
    ASSERT_TRUE(script.understood) << c.code;
    ASSERT_FALSE(script.calls.empty()) << c.code;
    EXPECT_EQ(script.calls.front().alone, c.alone) << c.code;
  }
  // The cut is the call's lines with their line break, CRLF or not.
  const std::string text = "//\r\nvar a;\r\n  lockPref(\"a\",\r\n 1); // x\r\nvar b;";
  const AutoconfigCall call = ReadAutoconfigScript(text).calls.at(0);
  EXPECT_EQ(text.substr(0, call.cut_begin) + text.substr(call.cut_end), "//\r\nvar a;\r\nvar b;");
}

}  // namespace
