// The camera table read from setup.ini.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

// ---- First token ----

struct TokenCase {
  CAMSETUP_PRINTS_NAME(TokenCase)
  const char* name;
  std::string value;
  bool japanese;
  std::string token;
  int end_position;
};

class FirstTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(FirstTokenTest, TokenAndEndPosition) {
  const TokenCase& c = GetParam();
  FakePlatform platform;
  if (c.japanese) platform.code_page = CodePageTable::Japanese932();
  const FirstToken t = TakeFirstToken(c.value.c_str(), platform);
  EXPECT_EQ(c.value.substr(t.begin, t.length), c.token);
  EXPECT_EQ(t.end_position, c.end_position);
}

const TokenCase kTokenCases[] = {
    {"Empty", "", false, "", -1},
    {"OneApostrophe", "'", false, "", -1},
    {"OnlyApostrophes", "'''", false, "", -1},
    {"Bare", "abc", false, "abc", 4},
    {"BareWithBlanks", "a b c ", false, "a b c ", 7},
    {"Quoted", "'abc'", false, "abc", 5},
    {"QuotedThenMore", "'abc' and more", false, "abc", 5},
    {"ApostropheEndsBareToken", "abc'def'", false, "abc", 4},
    {"TwoLeadingApostrophes", "''abc", false, "abc", 6},
    {"UnclosedQuote", "'abc", false, "abc", 5},
    {"Bare250", std::string(250, 'p'), false, std::string(250, 'p'), 251},
    {"Quoted249", "'" + std::string(249, 'p') + "'", false, std::string(249, 'p'), 251},
    // The apostrophe as the second byte of a double-byte character.
    {"ApostropheInDoubleByteChar", "\x82'x'y", true, "\x82'x", 4},
    {"ApostropheAfterHighByteSingleByte", "\x82'x'y", false, "\x82", 2},
    {"LeadByteAtEnd", "ab\x82", true, "ab\x82", 4},
};

INSTANTIATE_TEST_SUITE_P(Cases, FirstTokenTest, ::testing::ValuesIn(kTokenCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- LoadCameraTable ----

struct Model {
  std::string install_path;
  std::vector<std::string> codes;
};

struct LoadCase {
  CAMSETUP_PRINTS_NAME(LoadCase)
  const char* name;
  std::vector<IniValue> ini;
  int result;
  std::vector<Model> models;
  std::vector<std::string> messages;
  std::string module_path = kModulePath;
  bool japanese = false;
};

std::vector<IniValue> Sections(int count, const std::string& path_value) {
  std::vector<IniValue> ini;
  for (int k = 1; k <= count; ++k) {
    const std::string section = "Camera" + std::to_string(k);
    ini.push_back({section, "Path", path_value + std::to_string(k)});
    ini.push_back({section, "PID", "C" + std::to_string(k % 10) + "00"});
  }
  return ini;
}

std::vector<Model> SectionModels(int count, const std::string& prefix) {
  std::vector<Model> models;
  for (int k = 1; k <= count; ++k) {
    models.push_back({prefix + std::to_string(k), {"C" + std::to_string(k % 10) + "00"}});
  }
  return models;
}

std::vector<IniValue> WithSection(std::vector<IniValue> ini, int k, const std::string& path,
                                  const std::string& pid) {
  ini.push_back({"Camera" + std::to_string(k), "Path", path});
  ini.push_back({"Camera" + std::to_string(k), "PID", pid});
  return ini;
}

const std::string kLong250(250, 'p');
const std::string kShortModule = "C:\\camsetup.exe";
const std::string kPid251 = [] {
  std::string s;
  for (int i = 0; i < 51; ++i) s += (i < 50 ? "A" + std::to_string(100 + i) + "," : "Z");
  return s;  // 50 steps of five, then one byte
}();

std::vector<std::string> Pid251Codes() {
  std::vector<std::string> codes;
  for (int i = 0; i < 50; ++i) codes.push_back("A" + std::to_string(100 + i));
  return codes;
}

const LoadCase kLoadCases[] = {
    {"NoSetupFile", {}, 1, {}, {}},
    {"SpecExample",
     {{"Camera1", "Path", "'ModelA\\setup.exe'"},
      {"Camera1", "PID", "ABCD,EFGH"},
      {"Camera2", "Path", "ModelB\\setup.exe"},
      {"Camera2", "PID", "'IJKL'"}},
     1,
     {{"C:\\Pkg\\ModelA\\setup.exe", {"ABCD", "EFGH"}},
      {"C:\\Pkg\\ModelB\\setup.exe", {"IJKL"}}},
     {}},
    {"GapEndsList",
     {{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "AAAA"},
      {"Camera3", "Path", "c.exe"}, {"Camera3", "PID", "CCCC"}},
     1, {{"C:\\Pkg\\a.exe", {"AAAA"}}}, {}},
    {"TwentySectionsAtMost", Sections(25, "m"), 1, SectionModels(20, "C:\\Pkg\\m"), {}},
    {"Camera21NeverReadEvenWhenTooLong",
     WithSection(Sections(20, "m"), 21, std::string(400, 'x'), std::string(400, 'y')), 1,
     SectionModels(20, "C:\\Pkg\\m"), {}},
    {"OneBytePathEndsList",
     WithSection(WithSection({}, 1, "0", "AAAA"), 2, "b.exe", "BBBB"), 1, {}, {}},
    {"OneByteLetterPathEndsList",
     WithSection(WithSection({}, 1, "a.exe", "AAAA"), 2, "x", "BBBB"), 1,
     {{"C:\\Pkg\\a.exe", {"AAAA"}}}, {}},
    {"EmptyPathIsFolderAlone", WithSection({}, 1, "", "AAAA"), 1, {{"C:\\Pkg\\", {"AAAA"}}}, {}},
    {"OnlyApostrophesPathIsFolderAlone", WithSection({}, 1, "''", "AAAA"), 1,
     {{"C:\\Pkg\\", {"AAAA"}}}, {}},
    {"QuotedPathDropsRest", WithSection({}, 1, "'Model A\\setup.exe' /junk", "AAAA"), 1,
     {{"C:\\Pkg\\Model A\\setup.exe", {"AAAA"}}}, {}},
    {"BarePathKeepsBlanks", WithSection({}, 1, "Model A\\set up.exe", "AAAA"), 1,
     {{"C:\\Pkg\\Model A\\set up.exe", {"AAAA"}}}, {}},
    {"MissingPidGivesCodeZero", {{"Camera1", "Path", "a.exe"}}, 1, {{"C:\\Pkg\\a.exe", {"0"}}},
     {}},
    {"EmptyPidGivesNoCode", WithSection({}, 1, "a.exe", ""), 1, {{"C:\\Pkg\\a.exe", {}}}, {}},
    {"Path250Accepted", WithSection({}, 1, kLong250, "AAAA"), 1,
     {{"C:\\" + kLong250, {"AAAA"}}}, {}, kShortModule},
    {"Path251Rejected", WithSection({}, 1, kLong250 + "p", "AAAA"), 0, {},
     {"Camera1 Path string too long > 250 character"}, kShortModule},
    {"QuotedPath249Accepted", WithSection({}, 1, "'" + std::string(249, 'p') + "'", "AAAA"), 1,
     {{"C:\\" + std::string(249, 'p'), {"AAAA"}}}, {}, kShortModule},
    {"QuotedPath250Rejected", WithSection({}, 1, "'" + kLong250 + "'", "AAAA"), 0, {},
     {"Camera1 Path string too long > 250 character"}, kShortModule},
    {"Pid251AcceptedFiftyCodesKept", WithSection({}, 1, "a.exe", kPid251), 1,
     {{"C:\\Pkg\\a.exe", Pid251Codes()}}, {}},
    {"Pid252Rejected", WithSection({}, 1, "a.exe", kPid251 + "Z"), 0, {},
     {"Camera1 PIDS string too long > 250 character"}},
    {"QuotedPid251Rejected", WithSection({}, 1, "a.exe", "'" + kPid251 + "'"), 0, {},
     {"Camera1 PIDS string too long > 250 character"}},
    {"RejectionNamesItsSection",
     WithSection(WithSection(WithSection({}, 1, "a.exe", "AAAA"), 2, "b.exe", "BBBB"), 3,
                 "c.exe", std::string(260, 'C')),
     0, {}, {"Camera3 PIDS string too long > 250 character"}},
    // Folder and token together must fit 255 characters.
    {"InstallPath255Accepted", WithSection({}, 1, std::string(248, 'q'), "AAAA"), 1,
     {{"C:\\ddd\\" + std::string(248, 'q'), {"AAAA"}}}, {}, "C:\\ddd\\camsetup.exe"},
    {"InstallPath256Rejected", WithSection({}, 1, std::string(249, 'q'), "AAAA"), 0, {},
     {"Camera1 install path too long > 255 character"}, "C:\\ddd\\camsetup.exe"},
    {"LongFolderShortToken",
     WithSection(WithSection({}, 1, "a.exe", "AAAA"), 2, "bb.exe", "BBBB"), 0, {},
     {"Camera2 install path too long > 255 character"},
     "C:\\" + std::string(246, 'd') + "\\camsetup.exe"},
    {"ModulePath299Fits", {}, 1, {}, {}, "C:\\" + std::string(296, 'd')},
    {"ModulePath300IsCut", {}, 0, {}, {"Launcher path too long > 299 character"},
     "C:\\" + std::string(297, 'd')},
    {"ModulePathWithoutBackslash", {}, 0, {}, {"Launcher path too long > 299 character"},
     "camsetup.exe"},
    {"ApostropheInDoubleBytePath", WithSection({}, 1, "'\x82'x.exe'rest", "AAAA"), 1,
     {{"C:\\Pkg\\\x82'x.exe", {"AAAA"}}}, {}, kModulePath, true},
};

class LoadCameraTableTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadCameraTableTest, FillsTableOrRejects) {
  const LoadCase& c = GetParam();
  Harness h;
  h.platform.module_path = c.module_path;
  if (c.japanese) h.platform.code_page = CodePageTable::Japanese932();
  const std::string folder = c.module_path.substr(0, c.module_path.rfind('\\') + 1);
  for (const IniValue& v : c.ini) h.platform.SetProfile(folder + "setup.ini", v.section, v.key, v.value);

  EXPECT_EQ(h.launcher->LoadCameraTable(), c.result);
  EXPECT_EQ(h.platform.messages, c.messages);
  const CameraTable& table = h.launcher->camera_table();
  ASSERT_EQ(table.model_count, static_cast<int>(c.models.size()));
  for (int i = 0; i < table.model_count; ++i) {
    SCOPED_TRACE("model " + std::to_string(i));
    EXPECT_EQ(std::string(table.entries[i].install_path), c.models[i].install_path);
    EXPECT_EQ(CodesOf(table.entries[i]), c.models[i].codes);
  }
  for (const std::string& call : h.platform.calls) {
    EXPECT_EQ(call.find("Camera21"), std::string::npos) << call;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadCameraTableTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder that the code page cannot name is reported as such and nothing
// is read: a best-fit form of it could name another package's folder.
TEST(LoadCameraTable, FolderNotNamedByCodePage) {
  struct Case {
    const char* name;
    Dword error;
    const char* message;
  };
  const Case cases[] = {
      {"NoTranslation", kErrorNoUnicodeTranslation,
       "Launcher path not valid in the system code page"},
      {"OtherFailure", 5, "Launcher path too long > 299 character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}});
    h.platform.module_path_error = c.error;
    EXPECT_EQ(h.launcher->LoadCameraTable(), 0);
    EXPECT_EQ(h.platform.calls, Join({{"GetModuleFileNameA(300) -> 0",
                                       "GetLastError -> " + std::to_string(c.error)},
                                      SeenBox(c.message)}));
    EXPECT_EQ(h.launcher->camera_table().model_count, 0);
  }
}

// ---- Splitting of the PID text ----

struct SplitCase {
  CAMSETUP_PRINTS_NAME(SplitCase)
  const char* name;
  std::string pid;
  std::vector<std::string> codes;
};

class PidSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PidSplitTest, StepsOfFive) {
  const SplitCase& c = GetParam();
  Harness h({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", c.pid}});
  ASSERT_EQ(h.launcher->LoadCameraTable(), 1);
  EXPECT_EQ(CodesOf(h.launcher->camera_table().entries[0]), c.codes);
}

const SplitCase kSplitCases[] = {
    {"TwoCodes", "ABCD,EFGH", {"ABCD", "EFGH"}},
    {"TrailingSeparator", "ABCD,EFGH,", {"ABCD", "EFGH"}},
    {"NoSeparators", "ABCDEFGHIJ", {"ABCD", "FGHI"}},
    {"ShortLastCode", "ABCD,EF", {"ABCD", "EF"}},
    {"DoubleSeparatorShifts", "ABCD,,EFGH", {"ABCD", ",EFG"}},
    {"LowerCaseKept", "abcd", {"abcd"}},
    {"AnySeparator", "ABCD EFGH;IJKL", {"ABCD", "EFGH", "IJKL"}},
    {"QuotedThenRestDropped", "'ABCD,EFGH' XXXX", {"ABCD", "EFGH"}},
    {"SingleShortCode", "0", {"0"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, PidSplitTest, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Whole call sequences ----

TEST(LoadCameraTableCalls, ReadsSectionsInOrderUntilOneBytePath) {
  Harness h({{"Camera1", "Path", "a.exe"},
             {"Camera1", "PID", "AAAA"},
             {"Camera2", "Path", "b.exe"}});
  ASSERT_EQ(h.launcher->LoadCameraTable(), 1);
  const std::vector<std::string> expected = {
      "GetModuleFileNameA(300) -> 19",
      ExitCodeRead(),
      "GetPrivateProfileStringA(Camera1, Path, 0, 255, C:\\Pkg\\setup.ini)",
      "GetPrivateProfileStringA(Camera1, PID, 0, 255, C:\\Pkg\\setup.ini)",
      "GetPrivateProfileStringA(Camera2, Path, 0, 255, C:\\Pkg\\setup.ini)",
      "GetPrivateProfileStringA(Camera2, PID, 0, 255, C:\\Pkg\\setup.ini)",
      "GetPrivateProfileStringA(Camera3, Path, 0, 255, C:\\Pkg\\setup.ini)",
  };
  EXPECT_EQ(h.platform.calls, expected);
}

TEST(LoadCameraTableCalls, OverlongEntryShowsOneMessageAndStops) {
  Harness h({{"Camera1", "Path", std::string(300, 'x')}, {"Camera2", "Path", "b.exe"}});
  ASSERT_EQ(h.launcher->LoadCameraTable(), 0);
  const std::vector<std::string> expected =
      Join({{"GetModuleFileNameA(300) -> 19", ExitCodeRead(),
             "GetPrivateProfileStringA(Camera1, Path, 0, 255, C:\\Pkg\\setup.ini)"},
            SeenBox("Camera1 Path string too long > 250 character")});
  EXPECT_EQ(h.platform.calls, expected);
  EXPECT_EQ(h.launcher->camera_table().model_count, 0);
}

// A rejected PID leaves the install paths read so far, its own included.
TEST(LoadCameraTableCalls, RejectedPidKeepsInstallPathsButNoCounts) {
  Harness h({{"Camera1", "Path", "a.exe"},
             {"Camera1", "PID", "AAAA"},
             {"Camera2", "Path", "b.exe"},
             {"Camera2", "PID", std::string(253, 'B')}});
  ASSERT_EQ(h.launcher->LoadCameraTable(), 0);
  const CameraTable& table = h.launcher->camera_table();
  EXPECT_EQ(table.model_count, 0);
  EXPECT_STREQ(table.entries[0].install_path, "C:\\Pkg\\a.exe");
  EXPECT_STREQ(table.entries[1].install_path, "C:\\Pkg\\b.exe");
  EXPECT_EQ(table.entries[0].code_count, 0);
}

// An executable whose name holds a double-byte character ending in 0x5C
// (ソフト.exe in code page 932) still finds setup.ini in its own folder.
TEST(LoadCameraTableCalls, DoubleByteNameIsNoFolder) {
  Harness h;
  h.platform.code_page = CodePageTable::Japanese932();
  h.platform.module_path = "C:\\Pkg\\\x83\x5C\x83t\x83g.exe";
  h.platform.SetProfile(kSetupIni, "Camera1", "Path", "a.exe");
  ASSERT_EQ(h.launcher->LoadCameraTable(), 1);
  EXPECT_EQ(h.platform.calls.at(1), ExitCodeRead());
  EXPECT_STREQ(h.launcher->camera_table().entries[0].install_path, "C:\\Pkg\\a.exe");
}

}  // namespace
}  // namespace camsetup::testing
