// The command-line tail and the argument tail kept from it.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "test_support.h"

namespace camsetup::testing {
namespace {

enum class CodePage { kSingleByte, kJapanese };

struct TailCase {
  CAMSETUP_PRINTS_NAME(TailCase)
  const char* name;
  std::optional<std::string> command_line;
  CodePage code_page;
  std::string expected_tail;
};

class CommandLineTailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandLineTailTest, DerivesTail) {
  const TailCase& c = GetParam();
  FakePlatform platform;
  if (c.code_page == CodePage::kJapanese) platform.code_page = CodePageTable::Japanese932();
  // A heap copy of exactly its size, so that a read past the terminator is caught.
  std::unique_ptr<char[]> copy;
  if (c.command_line) {
    copy = std::make_unique<char[]>(c.command_line->size() + 1);
    std::memcpy(copy.get(), c.command_line->c_str(), c.command_line->size() + 1);
  }
  EXPECT_EQ(DeriveCommandLineTail(copy.get(), platform), c.expected_tail);
}

const TailCase kTailCases[] = {
    {"NameOnly", "camsetup.exe", CodePage::kSingleByte, ""},
    {"NameWithTrailingBlanks", "camsetup.exe   \t ", CodePage::kSingleByte, ""},
    {"Missing", std::nullopt, CodePage::kSingleByte, ""},
    {"Empty", "", CodePage::kSingleByte, ""},
    {"OneArgument", "camsetup.exe /S", CodePage::kSingleByte, "/S"},
    {"QuotedNameWithBlanks", "\"C:\\My Pkg\\camsetup.exe\" /S", CodePage::kSingleByte, "/S"},
    {"SeparatorsSkippedLaterBlanksKept", "camsetup.exe  \t  /S  /Q\t ", CodePage::kSingleByte,
     "/S  /Q\t "},
    {"QuoteInsideName", "C:\\My\" \"Pkg\\camsetup.exe /S", CodePage::kSingleByte, "/S"},
    {"UnclosedQuoteTakesEverything", "\"C:\\My Pkg\\camsetup.exe /S", CodePage::kSingleByte, ""},
    {"LeadingBlankMeansEmptyName", "  camsetup.exe /S", CodePage::kSingleByte, "camsetup.exe /S"},
    {"QuotesInArgumentsKept", "camsetup.exe \"a b\" 'c'", CodePage::kSingleByte,
     "\"a b\" 'c'"},
    {"ControlBytesSeparate", "camsetup.exe\x01\x1f\x0b/S", CodePage::kSingleByte, "/S"},
    {"HighBytesBelongToName", "cam\xe9\xa0.exe /S", CodePage::kSingleByte, "/S"},
    {"Byte127IsNoSeparator", "cam\x7f.exe /S", CodePage::kSingleByte, "/S"},
    // A lead byte takes the byte after it, whatever it is.
    {"LeadByteHidesBlank", "ab\x81 cd /S", CodePage::kJapanese, "/S"},
    {"BlankAfterHighByteSingleByte", "ab\x81 cd /S", CodePage::kSingleByte, "cd /S"},
    {"LeadByteHidesQuote", "x\x81\" y", CodePage::kJapanese, "y"},
    {"QuoteAfterHighByteSingleByte", "x\x81\" y", CodePage::kSingleByte, ""},
    {"LeadByteBeforeTerminator", "abc\x81", CodePage::kJapanese, ""},
    {"JapaneseNameThenArgument", "\x83\x5C\x83t\x83g.exe /S", CodePage::kJapanese, "/S"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTailTest, ::testing::ValuesIn(kTailCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ArgumentTailCase {
  CAMSETUP_PRINTS_NAME(ArgumentTailCase)
  const char* name;
  std::string tail;
  std::string expected;
};

class ArgumentTailTest : public ::testing::TestWithParam<ArgumentTailCase> {};

TEST_P(ArgumentTailTest, KeepsBlankAndTailOrNothing) {
  const ArgumentTailCase& c = GetParam();
  Harness h;
  h.launcher->CaptureArgumentTail(c.tail.c_str());
  EXPECT_EQ(std::string(h.launcher->argument_tail()), c.expected);
  EXPECT_TRUE(h.platform.calls.empty());
}

const ArgumentTailCase kArgumentTailCases[] = {
    {"Empty", "", ""},
    {"Short", "/S", " /S"},
    {"Quoted", "\"a b\" c ", " \"a b\" c "},
    {"Exactly254", std::string(254, 'x'), " " + std::string(254, 'x')},
    {"Exactly255Dropped", std::string(255, 'x'), ""},
    {"Exactly256Dropped", std::string(256, 'x'), ""},
    {"VeryLongDropped", std::string(5000, 'x'), ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, ArgumentTailTest, ::testing::ValuesIn(kArgumentTailCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace camsetup::testing
