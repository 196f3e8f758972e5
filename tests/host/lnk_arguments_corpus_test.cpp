// The arguments-only rewrite over links made by real Windows (the shared
// corpus): a page appended to each link's arguments and taken out again
// changes nothing but the arguments field, and the result reads as a link
// with the arguments the browser keeps. Skipped where the corpus is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/rules/browser_arguments.h"
#include "platform/lnk_arguments.h"
#include "platform/portable/lnk_format.h"
#include "platform/text_utf16.h"
#include "tests/support/link_corpus.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The field's characters for `text`, in the field's own encoding.
std::string Stored(const lnk::ArgumentsField& field, const Text& text) {
  return field.unicode ? *Utf16LeFromText(text) : text;
}

class LnkArgumentsCorpus : public ::testing::Test {
 protected:
  void SetUp() override { SkipWithoutLinkCorpus(); }
};

TEST_F(LnkArgumentsCorpus, AHijackTakenOutLeavesEveryOtherByte) {
  int rewritten = 0, without_field = 0;
  for (const auto& entry : fs::recursive_directory_iterator(LinkCorpus())) {
    if (entry.path().extension() != ".lnk") continue;
    const std::string original = ReadFile(entry.path());
    const auto parsed = lnk::ParseLink(original);
    if (!parsed) continue;  // the malformed ones are the reader's tests
    SCOPED_TRACE(entry.path().string());
    const auto field = lnk::FindArgumentsField(original);
    ASSERT_EQ(field.has_value(), parsed->arguments.has_value());
    if (!field) {
      ++without_field;
      continue;
    }
    const Text arguments = *parsed->arguments;
    // What a hijacker does: a page after whatever the link had.
    const Text hijacked_arguments =
        arguments.empty() ? Text("http://hao.example/") : arguments + " http://hao.example/";
    const auto hijacked = lnk::WithArguments(original, *field, Stored(*field, hijacked_arguments));
    ASSERT_TRUE(hijacked);
    const auto hijacked_parsed = lnk::ParseLink(*hijacked);
    ASSERT_TRUE(hijacked_parsed);
    EXPECT_EQ(*hijacked_parsed->arguments, hijacked_arguments);

    const auto hijacked_field = lnk::FindArgumentsField(*hijacked);
    ASSERT_TRUE(hijacked_field);
    EXPECT_EQ(hijacked_field->offset, field->offset);
    const ArgumentsVerdict verdict = JudgeArguments(BrowserFamily::kChromium, hijacked_arguments);
    ASSERT_TRUE(verdict.changed);
    const auto repaired =
        lnk::WithArguments(*hijacked, *hijacked_field, Stored(*hijacked_field, verdict.kept));
    ASSERT_TRUE(repaired);
    const auto repaired_parsed = lnk::ParseLink(*repaired);
    ASSERT_TRUE(repaired_parsed);
    EXPECT_EQ(*repaired_parsed->arguments, verdict.kept);
    // Byte for byte outside the field: the header, ID list, link info, the
    // other strings and every extra data block.
    const std::size_t field_end = field->offset + field->size;
    const std::size_t repaired_end = field->offset + 2 + Stored(*field, verdict.kept).size();
    EXPECT_EQ(repaired->substr(0, field->offset), original.substr(0, field->offset));
    EXPECT_EQ(repaired->substr(repaired_end), original.substr(field_end));
    EXPECT_EQ(repaired_parsed->extra_blocks, parsed->extra_blocks);
    // A link whose own arguments the browser keeps comes back as it was.
    if (!JudgeArguments(BrowserFamily::kChromium, arguments).changed && !arguments.empty()) {
      EXPECT_EQ(*repaired, original);
    }
    ++rewritten;
  }
  EXPECT_GT(rewritten, 10);
  EXPECT_GT(without_field, 10);
}

TEST_F(LnkArgumentsCorpus, FuzzedArgumentsAlwaysGiveALinkThatDiffersOnlyThere) {
  std::mt19937 random(1209);
  int tried = 0;
  for (const auto& entry : fs::recursive_directory_iterator(LinkCorpus())) {
    if (entry.path().extension() != ".lnk") continue;
    const std::string original = ReadFile(entry.path());
    const auto parsed = lnk::ParseLink(original);
    const auto field = lnk::FindArgumentsField(original);
    if (!parsed || !field) continue;
    SCOPED_TRACE(entry.path().string());
    for (int round = 0; round < 200; ++round) {
      // Any units at all, of any length up to 4,000: the field takes them as
      // they are.
      std::string characters(random() % 4000 * (field->unicode ? 2 : 1), '\0');
      for (char& c : characters) c = static_cast<char>(random());
      const auto result = lnk::WithArguments(original, *field, characters);
      ASSERT_TRUE(result);
      const auto again = lnk::FindArgumentsField(*result);
      ASSERT_TRUE(again);
      EXPECT_EQ(again->characters, characters);
      EXPECT_EQ(result->substr(0, field->offset), original.substr(0, field->offset));
      EXPECT_EQ(result->substr(again->offset + again->size),
                original.substr(field->offset + field->size));
      const auto reparsed = lnk::ParseLink(*result);
      ASSERT_TRUE(reparsed);
      EXPECT_EQ(reparsed->extra_blocks, parsed->extra_blocks);
      EXPECT_EQ(reparsed->icon_location, parsed->icon_location);
      EXPECT_EQ(reparsed->working_dir, parsed->working_dir);
      EXPECT_EQ(reparsed->hotkey, parsed->hotkey);
      ++tried;
    }
  }
  EXPECT_GT(tried, 1000);
}

TEST_F(LnkArgumentsCorpus, DamagedLinksAreRefusedNotOverread) {
  std::mt19937 random(912);
  for (const auto& entry : fs::recursive_directory_iterator(LinkCorpus())) {
    if (entry.path().extension() != ".lnk") continue;
    const std::string original = ReadFile(entry.path());
    for (int round = 0; round < 200; ++round) {
      std::string damaged = original.substr(0, random() % (original.size() + 1));
      for (int flips = random() % 4; flips > 0 && !damaged.empty(); --flips) {
        damaged[random() % damaged.size()] = static_cast<char>(random());
      }
      const auto field = lnk::FindArgumentsField(damaged);
      if (!field) continue;
      ASSERT_LE(field->offset + field->size, damaged.size());
      const auto result = lnk::WithArguments(damaged, *field, "");
      ASSERT_TRUE(result);
      EXPECT_EQ(result->size(), damaged.size() - field->size + 2);
    }
  }
}

}  // namespace
