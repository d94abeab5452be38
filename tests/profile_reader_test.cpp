// The profile reader used where Windows' own is not there. Its agreement
// with Windows' reader is tested under Wine; these cases pin the rules.
#include <gtest/gtest.h>

#include <string>

#include "platform/profile_reader.h"
#include "test_support.h"

namespace camsetup {
namespace {

struct ReadCase {
  CAMSETUP_PRINTS_NAME(ReadCase)
  const char* name;
  std::string file;
  std::string section;
  std::string key;
  std::string expected;
};

// ASCII text as UTF-16LE with its byte-order mark.
std::string Utf16(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

const ReadCase kReadCases[] = {
    {"Plain", "[Camera1]\r\nPath=a.exe\r\n", "Camera1", "Path", "a.exe"},
    {"Missing", "[Camera1]\r\nPath=a.exe\r\n", "Camera1", "PID", "0"},
    {"NamesIgnoreCase", "[CAMERA1]\npath=a.exe\n", "camera1", "PATH", "a.exe"},
    {"BlanksTrimmed", "  [ Camera1 ]  \n\t Path \t=  a b.exe \t\n", "Camera1", "Path", "a b.exe"},
    {"SingleQuotesRemoved", "[Camera1]\nPath='a.exe'\n", "Camera1", "Path", "a.exe"},
    {"DoubleQuotesRemoved", "[Camera1]\nPath=\" a.exe \"\n", "Camera1", "Path", " a.exe "},
    {"UnmatchedQuotesKept", "[Camera1]\nPath='a.exe\"\n", "Camera1", "Path", "'a.exe\""},
    {"LoneQuoteKept", "[Camera1]\nPath='\n", "Camera1", "Path", "'"},
    {"FirstDuplicateKey", "[Camera1]\nPath=a\nPath=b\n", "Camera1", "Path", "a"},
    {"FirstDuplicateSectionOnly", "[Camera1]\nPID=1\n[Camera1]\nPath=b\n", "Camera1", "Path", "0"},
    {"EmptyValue", "[Camera1]\nPath=\n", "Camera1", "Path", ""},
    {"CommentIsNoKey", "[Camera1]\n;Path=x\nPath=y\n", "Camera1", "Path", "y"},
    // After a UTF-8 byte-order mark the text is UTF-8, narrowed as Wine's
    // reader narrows it for the ANSI functions.
    {"Utf8ByteOrderMark", "\xEF\xBB\xBF[Camera1]\nPath=a\n", "Camera1", "Path", "a"},
    {"Utf8AfterMarkNarrowed", "\xEF\xBB\xBF[Camera1]\nPath=caf\xC3\xA9.exe\n", "Camera1", "Path",
     "caf\xE9.exe"},
    {"Utf8BeyondLatin1IsAQuestionMark", "\xEF\xBB\xBF[Camera1]\nPath=\xE3\x82\xAB\\a\n", "Camera1",
     "Path", "?\\a"},
    {"BytesThatAreNoUtf8", "\xEF\xBB\xBF[Camera1]\nPath=a\xE9\xC3(\n", "Camera1", "Path", "a?" "?("},
    {"SectionNameAfterMarkInOtherCase", "\xEF\xBB\xBF[camera1]\nPath=b\n", "CAMERA1", "Path", "b"},
    // Without the mark the same bytes are the code page's, as they are.
    {"NoMarkBytesKept", "[Camera1]\nPath=caf\xC3\xA9.exe\n", "Camera1", "Path", "caf\xC3\xA9.exe"},
    // The mark anywhere but at the start is text: here it starts a key line.
    {"MarkInsideIsText", "\n\xEF\xBB\xBF[Camera1]\nPath=a\n", "Camera1", "Path", "0"},
    {"Utf16ByteOrderMark", Utf16("[Camera1]\r\nPath=q\r\n"), "Camera1", "Path", "q"},
    {"CarriageReturnsOnly", "[Camera1]\rPath=a\rPID=b\r", "Camera1", "PID", "b"},
    {"CutTo254", "[Camera1]\nPath=" + std::string(300, 'x') + "\n", "Camera1", "Path",
     std::string(254, 'x')},
    // A quoted value whose text just fits loses its last byte, not its quote.
    {"QuotedAtTheLimit", "[Camera1]\nPath='" + std::string(254, 'x') + "'\n", "Camera1", "Path",
     std::string(253, 'x')},
};

class ProfileReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReaderTest, ReadsAsWindowsDoes) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(ProfileReader(c.file).Get(c.section, c.key, "0", 255), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileReaderTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Lines are counted from the first after the mark: it takes no line.
TEST(ProfileReaderLines, MarkTakesNoLine) {
  const ProfileReader reader("\xEF\xBB\xBF[Camera1]\r\nPath=a\r\n");
  EXPECT_EQ(reader.SectionLine("Camera1"), 1);
  EXPECT_EQ(reader.KeyLine("Camera1", "Path"), 2);
  EXPECT_TRUE(ProfileReader::HasUtf8ByteOrderMark("\xEF\xBB\xBF"));
  EXPECT_FALSE(ProfileReader::HasUtf8ByteOrderMark("\xEF\xBB"));
  EXPECT_FALSE(ProfileReader::HasUtf8ByteOrderMark(" \xEF\xBB\xBF"));
}

}  // namespace
}  // namespace camsetup
