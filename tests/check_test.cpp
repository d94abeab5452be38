// camsetup-check against package fixtures on disk.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "check/checker.h"
#include "check/render.h"
#include "package_fixture.h"
#include "platform/posix_platform.h"
#include "test_support.h"

namespace camsetup::check {
namespace {

using camsetup::testing::IniValue;

struct Expected {
  Severity severity;
  std::string section;
  std::optional<int> line;
  std::string text;  // part of the message
};

constexpr std::nullopt_t kNoLine = std::nullopt;

struct CheckCase {
  CAMSETUP_PRINTS_NAME(CheckCase)
  const char* name;
  std::optional<std::string> ini;        // none: no setup.ini
  std::vector<std::string> installers;   // files that exist, relative, with backslashes
  std::vector<Expected> findings;        // all of them, in order
  int exit_status;
  std::optional<std::vector<std::string>> hardware_ids = std::nullopt;
  std::optional<std::string> selected = std::nullopt;
};

std::string Ini(const std::vector<IniValue>& values) {
  std::string text;
  std::string section;
  for (const IniValue& v : values) {
    if (v.section != section) text += "[" + (section = v.section) + "]\r\n";
    text += v.key + "=" + v.value + "\r\n";
  }
  return text;
}

constexpr Severity W = Severity::kWarning;
constexpr Severity E = Severity::kError;

std::string Sections(int count) {
  std::string text;
  for (int k = 1; k <= count; ++k) {
    text += "[Camera" + std::to_string(k) + "]\nPath=m.exe\nPID=" + std::to_string(1000 + k) +
            "\n";
  }
  return text;
}

std::string Pid(int codes) {
  std::string pid;
  for (int i = 0; i < codes; ++i) pid += std::to_string(1000 + i) + ",";
  pid.pop_back();
  return pid;
}

const CheckCase kCases[] = {
    {"Clean", Ini({{"Camera1", "Path", "A\\setup.exe"}, {"Camera1", "PID", "ABCD,EFGH"}}),
     {"A\\setup.exe"}, {}, 0},
    {"NoSetupIni", std::nullopt, {}, {{E, "", kNoLine, "setup.ini is missing"}}, 2},
    {"NoModels", Ini({{"Other", "Path", "A\\setup.exe"}}), {},
     {{E, "", kNoLine, "no camera model"}}, 2},
    {"OverlongPath", Ini({{"Camera1", "Path", std::string(251, 'p')}}), {},
     {{E, "Camera1", 2, "\"Camera1 Path string too long > 250 character\""}}, 2},
    {"OverlongPid",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "AAAA"},
          {"Camera2", "Path", "a.exe"}, {"Camera2", "PID", std::string(252, 'B')}}),
     {"a.exe"}, {{E, "Camera2", 6, "PIDS string too long"}}, 2},
    {"InstallPathTooLongWhereItLies",
     Ini({{"Camera1", "Path", std::string(250, 'p')}, {"Camera1", "PID", "ABCD"}}), {},
     {{E, "Camera1", 2, "install path too long > 255 character"}}, 2},
    {"LowerCaseCode", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "abcd"}}), {"a.exe"},
     {{W, "Camera1", 3, "\"abcd\" has lower-case letters"}}, 1},
    {"MissingPid", Ini({{"Camera1", "Path", "a.exe"}}), {"a.exe"},
     {{W, "Camera1", 1, "no PID: the model gets the code \"0\""}}, 1},
    {"ShortCode", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD,EF"}}), {"a.exe"},
     {{W, "Camera1", 3, "\"EF\" is shorter than four characters"}}, 1},
    {"CodesInEveryHardwareId",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "5A3D,USB\\,REV_"}}), {"a.exe"},
     {{W, "Camera1", 3, "\"5A3D\" is found in every hardware ID of the vendor"},
      {W, "Camera1", 3, "\"USB\\\" is found at the start of every hardware ID"},
      {W, "Camera1", 3, "\"REV_\" is found in the \"&REV_\""}},
     1},
    {"DoubledSeparator", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD,,EFGH"}}),
     {"a.exe"}, {{W, "Camera1", 3, "\",EFG\" holds a separator"}}, 1},
    {"DuplicateCode",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "b.exe"}, {"Camera2", "PID", "EFGH,ABCD"}}),
     {"a.exe", "b.exe"},
     {{W, "Camera2", 6, "\"ABCD\" is also in Camera1: a device with it starts the installer of "
                     "the later section, Camera2"}},
     1},
    {"GapEndsList",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera3", "Path", "c.exe"}, {"Camera3", "PID", "EFGH"}}),
     {"a.exe", "c.exe"}, {{W, "Camera3", 4, "never read: the list of models ends at Camera2"}}, 1},
    {"OneCharacterPathEndsList",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "0"}, {"Camera3", "Path", "c.exe"}}),
     {"a.exe"},
     {{W, "Camera2", 5, "its Path \"0\" is one character, which ends the list"},
      {W, "Camera3", 6, "never read"}},
     1},
    {"PastCamera20", Sections(21), {"m.exe"},
     {{W, "Camera21", 61, "never read: only Camera1 to Camera20 are read"}}, 1},
    {"FiftyOneCodes",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", Pid(50) + ",Z"}}), {"a.exe"},
     {{W, "Camera1", 3, "more than 50 codes: \"Z\" is dropped"}}, 1},
    {"TextAfterApostrophe",
     Ini({{"Camera1", "Path", "'A\\setup.exe' /S"}, {"Camera1", "PID", "ABCD"}}),
     {"A\\setup.exe"}, {{W, "Camera1", 2, "everything after the apostrophe at position 12"}}, 1},
    {"ApostropheInPath", Ini({{"Camera1", "Path", "O'Brien\\setup.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"O'Brien\\setup.exe"},
     {{W, "Camera1", 2, "after the apostrophe at position 1 is ignored; the installer is \"O\""},
      {W, "Camera1", 2, "the installer \"O.exe\" is missing"}},
     1},
    {"BlanksInPath", Ini({{"Camera1", "Path", "Model A\\setup.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"Model A\\setup.exe"}, {{W, "Camera1", 2, "\"Model A\\setup.exe\" has blanks"}}, 1},
    {"MissingInstaller", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}), {},
     {{W, "Camera1", 2, "the installer \"a.exe\" is missing"}}, 1},
    // Lines, counted by line feeds as Windows' reader splits the file.
    {"LinesPastCommentsAndBlankLines",
     std::string("; a comment\r\n\r\n[Camera1]\r\n; another\r\n\r\nPath=a.exe\r\nPID=abcd\r\n"),
     {"a.exe"}, {{W, "Camera1", 7, "\"abcd\" has lower-case letters"}}, 1},
    {"FirstSectionAndFirstKeyCount",
     std::string("[Camera1]\nPath=a.exe\nPID=abcd\nPID=EFGH\n[camera1]\nPID=ijkl\n"), {"a.exe"},
     {{W, "Camera1", 3, "\"abcd\" has lower-case letters"}}, 1},
    {"LoneCrJoinsLines",
     std::string("[Camera1]\nPath=a.exe\rPID=ABCD\n[Camera2]\nPath=b.exe\nPID=ab01\n"),
     {"a.exe", "b.exe"},
     {{W, "Camera1", 2, "the installer \"a.exe\\x0DPID=ABCD\" is missing"},
      {W, "Camera1", 1, "no PID"},
      {W, "Camera2", 5, "\"ab01\" has lower-case letters"},
      {W, "Camera1", 2, "a carriage return without a line feed"}},
     1},
    {"CrBeforeLineEndIsNoTrap", std::string("[Camera1]\r\nPath=a.exe\r\r\nPID=ABCD \r \n"),
     {"a.exe"}, {}, 0},
    {"FileWithoutLineFeedsSplitsAtCr", std::string("[Camera1]\rPath=a.exe\rPID=abcd\r"),
     {"a.exe"}, {{W, "Camera1", 3, "\"abcd\" has lower-case letters"}}, 1},
    // The program and its switches.
    {"SwitchesAfterExistingProgram",
     Ini({{"Camera1", "Path", "A\\setup.exe /S /v\"/qn\""}, {"Camera1", "PID", "ABCD"}}),
     {"A\\setup.exe"}, {}, 0},
    {"SwitchesWithoutProgram",
     Ini({{"Camera1", "Path", "A\\setup.exe /S"}, {"Camera1", "PID", "ABCD"}}), {},
     {{W, "Camera1", 2, "the installer is missing: neither \"A\\setup.exe /S\" nor a part"}}, 1},
    {"ProgramIsAFolder", Ini({{"Camera1", "Path", "Tools"}, {"Camera1", "PID", "ABCD"}}),
     {"Tools\\"}, {{W, "Camera1", 2, "the installer \"Tools\" is a folder, not a program"}}, 1},
    // A bare name starts its ".exe"; a folder of the bare name beside it is
    // not the program.
    {"BareNameBesideFolderOfItsName",
     Ini({{"Camera1", "Path", "Tools\\setup"}, {"Camera1", "PID", "ABCD"}}),
     {"Tools\\setup\\", "Tools\\setup.exe"}, {}, 0},
    {"ProgramBeforeSwitchesIsAFolder",
     Ini({{"Camera1", "Path", "Tools /S"}, {"Camera1", "PID", "ABCD"}}), {"Tools\\"},
     {{W, "Camera1", 2, "the installer \"Tools\" is a folder, not a program"}}, 1},
    // Paths that leave the package.
    {"PathLeavesPackage",
     Ini({{"Camera1", "Path", "..\\x.exe"}, {"Camera1", "PID", "AAAA"},
          {"Camera2", "Path", "c:\\x.exe"}, {"Camera2", "PID", "BBBB"},
          {"Camera3", "Path", "\\\\server\\share\\x.exe"}, {"Camera3", "PID", "CCCC"},
          {"Camera4", "Path", "A\\..\\.\\b.exe"}, {"Camera4", "PID", "DDDD"},
          {"Camera5", "Path", "A\\..\\..\\b.exe /S"}, {"Camera5", "PID", "EEEE"}}),
     {"b.exe", "A\\"},
     {{W, "Camera1", 2, "Path \"..\\x.exe\" leaves the package by \"..\""},
      {W, "Camera1", 2, "is missing"},
      {W, "Camera2", 5, "Path \"c:\\x.exe\" names a drive"},
      {W, "Camera2", 5, "is missing"},
      {W, "Camera3", 8, "Path \"\\\\server\\share\\x.exe\" is a UNC path"},
      {W, "Camera3", 8, "is missing"},
      {W, "Camera5", 14, "leaves the package by \"..\""},
      {W, "Camera5", 14, "is missing"}},
     1},
    // Bytes outside ASCII, shown decoded from code page 1252.
    {"BytesOutsideAsciiInPathAndPid",
     Ini({{"Camera1", "Path", "caf\xe9.exe"}, {"Camera1", "PID", "AB\xc4" "D"}}), {"caf\xe9.exe"},
     {{W, "Camera1", 2,
       u8"Path \"café.exe\" has bytes outside ASCII, read here as code page 1252: under another"},
      {W, "Camera1", 3, u8"PID \"ABÄD\" has bytes outside ASCII"}},
     1},
    // setup.ini as Windows' reader takes it: after the mark, the text is read.
    {"ByteOrderMark", std::string("\xEF\xBB\xBF[Camera1]\r\nPath=a.exe\r\nPID=ABCD\r\n"),
     {"a.exe"}, {{W, "", 1, "starts with a UTF-8 byte-order mark. Some editors add the mark"}},
     1},
    // Names on disk, matched as Windows matches them.
    {"ProgramInOtherCase",
     Ini({{"Camera1", "Path", "ModelA\\Setup.EXE"}, {"Camera1", "PID", "ABCD"}}),
     {"modela\\setup.exe"}, {}, 0},
    {"ProgramLookupInOtherCase",
     Ini({{"Camera1", "Path", "Model A\\SETUP /S"}, {"Camera1", "PID", "ABCD"}}),
     {"model a\\setup.exe"}, {{W, "Camera1", 2, "\"Model A\\SETUP.exe\" has blanks"}}, 1},
    {"FilesDifferingOnlyInCase",
     Ini({{"Camera1", "Path", "A\\setup.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"A\\Setup.exe", "A\\setup.exe"},
     {{W, "Camera1", 2, "names that differ only in case: \"A\\Setup.exe\", \"A\\setup.exe\";"}},
     1},
    {"TwoSetsInOneFolder",
     Ini({{"Camera1", "Path", "A\\setup.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "A\\x.exe"}, {"Camera2", "PID", "EFGH"}}),
     {"A\\Setup.exe", "A\\setup.exe", "A\\X.exe", "A\\x.exe"},
     {{W, "Camera1", 2, "names that differ only in case: \"A\\Setup.exe\", \"A\\setup.exe\";"},
      {W, "Camera2", 5, "names that differ only in case: \"A\\X.exe\", \"A\\x.exe\";"}},
     1},
    // Named once, at the first model that reaches the folder.
    {"FoldersDifferingOnlyInCase",
     Ini({{"Camera1", "Path", "Drivers\\x.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "drivers\\y.exe"}, {"Camera2", "PID", "EFGH"}}),
     {"DRIVERS\\x.exe", "drivers\\x.exe", "drivers\\y.exe"},
     {{W, "Camera1", 2, "names that differ only in case: \"DRIVERS\", \"drivers\";"}}, 1},
    {"SetupIniDifferingOnlyInCase",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}), {"a.exe", "SETUP.INI"},
     {{W, "", kNoLine, "names that differ only in case: \"SETUP.INI\", \"setup.ini\";"}}, 1},
    // Devices.
    {"LaterModelWinsByRevision",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "b.exe"}, {"Camera2", "PID", "0100"}}),
     {"a.exe", "b.exe"},
     {{W, "Camera2", 6, "device 1 (\"USB\\VID_5A3D&PID_ABCD&REV_0100\") matches by code \"0100\" "
                     "in its REV field, not in PID"}},
     1, std::vector<std::string>{"USB\\VID_5A3D&PID_ABCD&REV_0100"}, "Camera2"},
    {"LowerCaseHardwareIdMatches",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}), {"a.exe"}, {}, 0,
     std::vector<std::string>{"usb\\vid_1234", "usb\\vid_5a3d&pid_abcd"}, "Camera1"},
    {"NoGivenDeviceMatches", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"a.exe"}, {{W, "", kNoLine, "no given device matches a model"}}, 1,
     std::vector<std::string>{"5A3D\\VID_5A3D&PID_ABCD"}},
};

template <typename Case>
using PackageTest = camsetup::testing::PackageTest<Case>;

class CheckerTest : public PackageTest<CheckCase> {};

// A package in `dir`: its setup.ini and its files (relative, with
// backslashes, in the code page's bytes; one that ends in a backslash is a
// folder).
void Lay(const std::string& dir, const std::string& ini, const std::vector<std::string>& files,
         const CodePageTable& code_page = CodePageTable::SingleByte()) {
  std::ofstream(dir + "/setup.ini", std::ios::binary) << ini;
  for (const std::string& file : files) {
    const std::filesystem::path path = dir + "/" + PosixPath(file, code_page);
    if (file.back() == '\\') {
      std::filesystem::create_directories(path);
    } else {
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path) << "installer";
    }
  }
}

Report CheckPackage(const std::string& dir, PosixPlatform& host, int code_page,
                    const std::optional<std::vector<std::string>>& hardware_ids = std::nullopt) {
  const std::optional<CodePageText> text = CodePageText::Open(code_page);
  EXPECT_TRUE(text.has_value()) << "code page " << code_page;
  if (!text) return Report();
  host.UseCodePage(LauncherCodePage(code_page));
  const Utf8Text host_text;
  CheckOptions options{dir, dir + "/setup.ini", dir + "\\", hardware_ids.has_value(),
                       hardware_ids, hardware_ids.has_value()};
  return Check(options, PosixCheckHost(host, options.folder, *text, host_text));
}

TEST_P(CheckerTest, FindingsAndSelection) {
  const CheckCase& c = GetParam();
  if (c.ini) Lay(dir_, *c.ini, c.installers);
  PosixPlatform host;
  const Report report = CheckPackage(dir_, host, 1252, c.hardware_ids);

  std::string all;
  for (const Finding& f : report.findings) all += f.section + ": " + f.message + "\n";
  ASSERT_EQ(report.findings.size(), c.findings.size()) << all;
  for (std::size_t i = 0; i < c.findings.size(); ++i) {
    const Finding& f = report.findings[i];
    EXPECT_EQ(f.severity, c.findings[i].severity) << f.message;
    EXPECT_EQ(f.section, c.findings[i].section) << f.message;
    EXPECT_EQ(f.line, c.findings[i].line) << f.message;
    EXPECT_NE(f.message.find(c.findings[i].text), std::string::npos)
        << f.message << "\n  lacks: " << c.findings[i].text;
  }
  EXPECT_EQ(report.ExitStatus(), c.exit_status);
  EXPECT_EQ(report.selected_section, c.selected);
  EXPECT_TRUE(host.messages.empty()) << "no message box reaches the host";
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckerTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });


// Names in setup.ini, decoded from the package's code page.
struct NamesCase {
  CAMSETUP_PRINTS_NAME(NamesCase)
  const char* name;
  int code_page;
  std::string path;                     // Path, in the code page
  std::vector<std::string> installers;  // in the code page
  std::string shown_path;               // UTF-8
  std::string shown_program;
  std::string shown_switches;
};

const NamesCase kNamesCases[] = {
    {"Japanese932", 932, "\x83J\x83\x81\x83\x89\\setup.exe /S", {"\x83J\x83\x81\x83\x89\\setup.exe"},
     u8"カメラ\\setup.exe /S", u8"カメラ\\setup.exe", "/S"},
    {"TrailByteIsABackslash932", 932, "\x83\\\x83t\x83g\\setup.exe", {"\x83\\\x83t\x83g\\setup.exe"},
     u8"ソフト\\setup.exe", u8"ソフト\\setup.exe", ""},
    {"Chinese936", 936, "\xc9\xe3\xcf\xf1\xcd\xb7\\setup.exe", {"\xc9\xe3\xcf\xf1\xcd\xb7\\setup.exe"},
     u8"摄像头\\setup.exe", u8"摄像头\\setup.exe", ""},
    {"Korean949", 949, "\xc4\xab\xb8\xde\xb6\xf3\\setup.exe", {"\xc4\xab\xb8\xde\xb6\xf3\\setup.exe"},
     u8"카메라\\setup.exe", u8"카메라\\setup.exe", ""},
    {"Chinese950", 950, "\xc4\xe1\xbcv\xbe\xf7\\setup.exe", {"\xc4\xe1\xbcv\xbe\xf7\\setup.exe"},
     u8"攝影機\\setup.exe", u8"攝影機\\setup.exe", ""},
    {"Cyrillic1251", 1251, "\xea\xe0\xec\xe5\xf0\xe0\\setup.exe", {"\xea\xe0\xec\xe5\xf0\xe0\\setup.exe"},
     u8"камера\\setup.exe", u8"камера\\setup.exe", ""},
    {"Western1252", 1252, "Caf\xe9\\setup.exe -q", {"Caf\xe9\\setup.exe"},
     u8"Café\\setup.exe -q", u8"Café\\setup.exe", "-q"},
    // Bytes that do not decode: an unassigned byte, a lead byte at the end.
    {"UndecodableByte1252", 1252, "A\x81\\setup.exe", {"A\x81\\setup.exe"},
     "A\\x81\\setup.exe", "A\\x81\\setup.exe", ""},
    {"LeadByteAtTheEnd932", 932, "setup.exe \x82", {"setup.exe"},
     "setup.exe \\x82", "setup.exe", "\\x82"},
};

class NamesTest : public PackageTest<NamesCase> {};

TEST_P(NamesTest, ShownAsUtf8) {
  const NamesCase& c = GetParam();
  Lay(dir_, "[Camera1]\r\nPath=" + c.path + "\r\nPID=ABCD\r\n", c.installers,
      LauncherCodePage(c.code_page));
  PosixPlatform host;
  const Report report = CheckPackage(dir_, host, c.code_page);
  ASSERT_EQ(report.models.size(), 1u);
  const ModelReport& m = report.models[0];
  EXPECT_EQ(m.path, c.shown_path);
  EXPECT_EQ(m.program, c.shown_program);
  EXPECT_EQ(m.switches, c.shown_switches);
  EXPECT_TRUE(m.exists) << "the launcher finds the program";
  ASSERT_FALSE(report.findings.empty());
  EXPECT_NE(report.findings[0].message.find("Path \"" + c.shown_path + "\" has bytes outside"),
            std::string::npos)
      << report.findings[0].message;
}

INSTANTIATE_TEST_SUITE_P(Cases, NamesTest, ::testing::ValuesIn(kNamesCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Names on disk in UTF-8, as Git and unzip write them, for a Path in the
// code page's bytes: Windows compares the characters, so they are found.
struct Utf8NamesCase {
  CAMSETUP_PRINTS_NAME(Utf8NamesCase)
  const char* name;
  int code_page;
  std::string path;                // Path, in the code page
  std::vector<std::string> files;  // on disk, in UTF-8
  bool exists;
  std::string twins;  // the names of a finding about case, or empty for none
};

const Utf8NamesCase kUtf8NamesCases[] = {
    {"Folder932", 932, "\x83J\x83\x81\x83\x89\\setup.exe", {u8"カメラ\\setup.exe"}, true, ""},
    {"FolderAndFileInOtherCase932", 932, "\x83J\x83\x81\x83\x89\\SETUP.exe",
     {u8"カメラ\\Setup.EXE"}, true, ""},
    {"FullWidthLettersInOtherCase932", 932, "\x82\x60\x82\x62\\setup.exe",
     {u8"ａｃ\\setup.exe"}, true, ""},
    {"TrailByteIsABackslash932", 932, "\x83\\\x83t\x83g\\setup.exe", {u8"ソフト\\setup.exe"},
     true, ""},
    {"Cyrillic1251", 1251, "\xea\xe0\xec\xe5\xf0\xe0\\setup.exe", {u8"камера\\setup.exe"}, true,
     ""},
    {"Western1252", 1252, "Caf\xe9\\setup.exe", {u8"Café\\setup.exe"}, true, ""},
    // カメリ is not カメラ, and カメラ's bytes are other characters in code page 1252.
    {"OtherCharacter932", 932, "\x83J\x83\x81\x83\x8a\\setup.exe", {u8"カメラ\\setup.exe"}, false,
     ""},
    {"OtherCodePage1252", 1252, "\x83J\x83\x81\x83\x89\\setup.exe", {u8"カメラ\\setup.exe"},
     false, ""},
    {"CaseTwinsInAUtf8Folder932", 932, "\x83J\x83\x81\x83\x89\\setup.exe",
     {u8"カメラ\\Setup.exe", u8"カメラ\\setup.exe"}, true,
     u8"\"カメラ\\Setup.exe\", \"カメラ\\setup.exe\""},
    {"CaseTwinFoldersInUtf8_932", 932, "\x82\x60\\setup.exe",
     {u8"Ａ\\setup.exe", u8"ａ\\setup.exe"}, true, u8"\"Ａ\", \"ａ\""},
};

class Utf8NamesTest : public PackageTest<Utf8NamesCase> {};

TEST_P(Utf8NamesTest, FoundByCharacters) {
  const Utf8NamesCase& c = GetParam();
  Lay(dir_, "[Camera1]\r\nPath=" + c.path + "\r\nPID=ABCD\r\n", c.files);
  PosixPlatform host;
  const Report report = CheckPackage(dir_, host, c.code_page);
  ASSERT_EQ(report.models.size(), 1u);
  EXPECT_EQ(report.models[0].exists, c.exists) << report.models[0].program;
  std::vector<std::string> missing;
  std::vector<std::string> twins;
  for (const Finding& f : report.findings) {
    if (f.rule == Rule::kMissingInstaller) missing.push_back(f.message);
    if (f.rule == Rule::kNamesDifferInCase) twins.push_back(f.message);
  }
  EXPECT_EQ(missing.size(), c.exists ? 0u : 1u) << (missing.empty() ? "" : missing[0]);
  if (c.twins.empty()) {
    EXPECT_TRUE(twins.empty()) << twins[0];
  } else {
    ASSERT_EQ(twins.size(), 1u);
    EXPECT_NE(twins[0].find("differ only in case: " + c.twins + ";"), std::string::npos)
        << twins[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8NamesTest, ::testing::ValuesIn(kUtf8NamesCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The exit-code mode, as the launcher reads it from [Launcher] ExitCode, and
// a value that leaves it off.
struct ExitCodeCase {
  CAMSETUP_PRINTS_NAME(ExitCodeCase)
  const char* name;
  std::string launcher;  // the start of setup.ini, before [Camera1]
  ExitCodeMode mode;
  std::optional<int> warning_line;  // of the finding about the value, if any
};

constexpr ExitCodeMode kZero = ExitCodeMode::kAlwaysZero;
constexpr ExitCodeMode kInstaller = ExitCodeMode::kInstaller;

const ExitCodeCase kExitCodeCases[] = {
    {"NoLauncherSection", "", kZero, kNoLine},
    {"NoExitCodeKey", "[Launcher]\r\nOther=1\r\n", kZero, kNoLine},
    {"Installer", "[Launcher]\r\nExitCode=Installer\r\n", kInstaller, kNoLine},
    {"NamesAndValueInAnyCase", "[LAUNCHER]\r\nexitcode=iNSTALLER\r\n", kInstaller, kNoLine},
    {"QuotedWithBlanks", "[Launcher]\r\n  ExitCode = \"Installer\"  \r\n", kInstaller, kNoLine},
    {"OtherValue", "; exit codes\r\n[Launcher]\r\nExitCode=Yes\r\n", kZero, 3},
    {"EmptyValue", "[Launcher]\r\nExitCode=\r\n", kZero, 2},
    {"CommentAfterValue", "[Launcher]\r\nExitCode=Installer ; on\r\n", kZero, 2},
    {"FirstKeyCounts", "[Launcher]\r\nExitCode=No\r\nExitCode=Installer\r\n", kZero, 2},
};

class ExitCodeTest : public PackageTest<ExitCodeCase> {};

TEST_P(ExitCodeTest, ModeAndWarning) {
  const ExitCodeCase& c = GetParam();
  Lay(dir_, c.launcher + "[Camera1]\r\nPath=a.exe\r\nPID=ABCD\r\n", {"a.exe"});
  PosixPlatform host;
  const Report report = CheckPackage(dir_, host, 1252);
  EXPECT_EQ(report.exit_code_mode, c.mode);
  if (!c.warning_line) {
    EXPECT_TRUE(report.findings.empty()) << report.findings[0].message;
    return;
  }
  ASSERT_EQ(report.findings.size(), 1u);
  const Finding& f = report.findings[0];
  EXPECT_EQ(std::make_tuple(f.rule, f.severity, f.section, f.line),
            std::make_tuple(Rule::kExitCodeValue, Severity::kWarning, std::string("Launcher"),
                            c.warning_line));
  EXPECT_NE(f.message.find("is not \"Installer\""), std::string::npos) << f.message;
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitCodeTest, ::testing::ValuesIn(kExitCodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The model view: header lines, program and switches.
TEST(CheckerModels, ShowHeaderLineProgramAndSwitches) {
  char pattern[] = "/tmp/camsetup-check-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  Lay(dir,
      "; models\n\n[Camera1]\nPath=A\\setup /S\nPID=ABCD\n\n[Camera2]\n"
      "Path=Model B\\setup.exe\t/quiet  /norestart\nPID=ABCE\n",
      {"A\\setup.exe", "Model B\\setup.exe"});
  PosixPlatform host;
  const Report report = CheckPackage(dir, host, 1252);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(report.models.size(), 2u);
  const auto view = [](const ModelReport& m) {
    return std::make_tuple(m.line, m.path, m.program, m.switches, m.exists);
  };
  EXPECT_EQ(view(report.models[0]),
            std::make_tuple(3, std::string("A\\setup /S"), std::string("A\\setup.exe"),
                            std::string("/S"), true));
  EXPECT_EQ(view(report.models[1]),
            std::make_tuple(7, std::string("Model B\\setup.exe\\x09/quiet  /norestart"),
                            std::string("Model B\\setup.exe"), std::string("/quiet  /norestart"),
                            true));
}

// Text that is not what it claims to be still comes out as valid UTF-8.
TEST(CheckText, UndecodableAndControlBytesAreEscaped) {
  const Utf8Text utf8;
  EXPECT_EQ(utf8.ToUtf8("caf\xc3\xa9"), "caf\xc3\xa9");
  EXPECT_EQ(utf8.ToUtf8("\xff" "a"), "\\xFFa");
  EXPECT_EQ(utf8.ToUtf8("\xc0\xaf"), "\\xC0\\xAF") << "an overlong form is no character";
  EXPECT_EQ(utf8.ToUtf8("\xe2\x82"), "\\xE2\\x82") << "a cut character";
  EXPECT_EQ(utf8.ToUtf8("a\x1b[0m"), "a\\x1B[0m") << "no terminal controls";
  const std::optional<CodePageText> cp932 = CodePageText::Open(932);
  ASSERT_TRUE(cp932);
  EXPECT_EQ(cp932->ToUtf8("\x83\x4a\x81\x20\x85\x40\tA"), "\xe3\x82\xab\\x81 \\x85@\\x09A")
      << "a lead byte without its trail byte, an unassigned pair, a tab";
  EXPECT_FALSE(CodePageText::Open(65001)) << "only the ANSI code pages";
}

// Launcher paths as Linux paths: backslashes become slashes, but a trail
// byte 0x5C stays part of its character.
struct PosixPathCase {
  CAMSETUP_PRINTS_NAME(PosixPathCase)
  const char* name;
  int code_page;
  std::string path;
  std::string expected;
};

const PosixPathCase kPosixPathCases[] = {
    {"EveryBackslashInASingleByteCodePage", 1252, "a\\\x83\\b\\", "a/\x83/b/"},
    {"TrailByteOfSo932", 932, "pkg\\\x83\\\x83t\x83g\\setup.exe", "pkg/\x83\\\x83t\x83g/setup.exe"},
    {"LeadByteBeforeTheSeparator932", 932, "\x83\\\\a", "\x83\\/a"},
    {"LeadByteAtTheEnd932", 932, "a\\\x83", "a/\x83"},
    {"TrailByte936", 936, "\x81\\\\x.exe", "\x81\\/x.exe"},
};

class PosixPathTest : public ::testing::TestWithParam<PosixPathCase> {};

TEST_P(PosixPathTest, ByCharacters) {
  const PosixPathCase& c = GetParam();
  EXPECT_EQ(PosixPath(c.path, LauncherCodePage(c.code_page)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PosixPathTest, ::testing::ValuesIn(kPosixPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Files found as Windows finds them: every part of the path without regard
// to case, by characters of the code page.
struct FindCase {
  CAMSETUP_PRINTS_NAME(FindCase)
  const char* name;
  int code_page;
  std::vector<std::string> on_disk;  // relative, with backslashes, in the code page
  std::string looked_up;
  bool found;
};

const FindCase kFindCases[] = {
    {"ExactName", 1252, {"A\\setup.exe"}, "A\\setup.exe", true},
    {"EveryPartInOtherCase", 1252, {"modela\\sub\\setup.exe"}, "MODELA\\Sub\\SETUP.EXE", true},
    {"OtherName", 1252, {"A\\x.exe"}, "B\\x.exe", false},
    {"FolderIsNoFile", 1252, {"Tools\\"}, "tools", false},
    // 0x83 0x41 and 0x83 0x61 are two characters in code page 932, but a
    // letter after 0x83 in code page 1252.
    {"TrailByteIsNoLetter932", 932, {"\x83\x41.exe"}, "\x83\x61.exe", false},
    {"SameBytesHoldALetter1252", 1252, {"\x83\x41.exe"}, "\x83\x61.exe", true},
    {"FullWidthLetters932", 932, {"\x82\x60.exe"}, "\x82\x81.exe", true},
    {"SoFolder932", 932, {"\x83\\\x83t\x83g\\setup.exe"}, "\x83\\\x83T\x83g\\SETUP.exe", false},
    {"SoFolderInOtherCase932", 932, {"\x83\\\x83t\x83g\\setup.exe"}, "\x83\\\x83t\x83g\\SETUP.exe", true},
};

class FindTest : public PackageTest<FindCase> {};

TEST_P(FindTest, FileExists) {
  const FindCase& c = GetParam();
  Lay(dir_, "", c.on_disk, LauncherCodePage(c.code_page));
  PosixPlatform host;
  host.UseCodePage(LauncherCodePage(c.code_page));
  host.linux_prefix = dir_ + "\\";
  EXPECT_EQ(host.FileExists(host.linux_prefix + c.looked_up), c.found);
  const Dword attributes = host.GetFileAttributesA((host.linux_prefix + c.looked_up).c_str());
  EXPECT_EQ(attributes != kInvalidFileAttributes && !(attributes & kFileAttributeDirectory),
            c.found)
      << "the launcher's own lookup";
}

INSTANTIATE_TEST_SUITE_P(Cases, FindTest, ::testing::ValuesIn(kFindCases),
                         [](const auto& info) { return std::string(info.param.name); });

// setup.ini's place in SARIF: relative to the working folder, which code
// scanning takes for the repository's root, where setup.ini lies within it,
// and an absolute file: URI where it does not.
struct SarifPlaceCase {
  CAMSETUP_PRINTS_NAME(SarifPlaceCase)
  const char* name;
  bool windows;
  std::string working_folder;
  std::string setup_ini;
  std::string uri;
  bool relative;
  std::string base_uri;
};

const SarifPlaceCase kSarifPlaceCases[] = {
    {"Relative", false, "/repo", "drivers/pkg/setup.ini", "drivers/pkg/setup.ini", true,
     "file:///repo/"},
    {"DotSlash", false, "/repo", "./pkg/./setup.ini", "pkg/setup.ini", true, "file:///repo/"},
    {"DotDotBackIn", false, "/repo", "pkg/../other//setup.ini", "other/setup.ini", true,
     "file:///repo/"},
    {"DotDotOutside", false, "/repo/ci", "../pkg/setup.ini", "file:///repo/pkg/setup.ini", false,
     "file:///repo/ci/"},
    {"AbsoluteWithin", false, "/repo/", "/repo/pkg/setup.ini", "pkg/setup.ini", true,
     "file:///repo/"},
    {"AbsoluteOutside", false, "/repo", "/tmp/pkg/setup.ini", "file:///tmp/pkg/setup.ini", false,
     "file:///repo/"},
    {"FolderWithTheSameStart", false, "/repo", "/repo2/setup.ini", "file:///repo2/setup.ini",
     false, "file:///repo/"},
    {"CaseCountsOnLinux", false, "/Repo", "/repo/setup.ini", "file:///repo/setup.ini", false,
     "file:///Repo/"},
    {"RootFolder", false, "/", "../pkg/setup.ini", "pkg/setup.ini", true, "file:///"},
    {"Encoded", false, u8"/work dir/é", u8"my pkg/カメラ/setup.ini",
     "my%20pkg/%E3%82%AB%E3%83%A1%E3%83%A9/setup.ini", true, "file:///work%20dir/%C3%A9/"},
    // ':' in a first segment would read as a scheme; '#', '?' and '%' as
    // parts of the URI; a backslash is part of a Linux name.
    {"Reserved", false, "/repo", "a:b/#1?%/c\\d/setup.ini", "a%3Ab/%231%3F%25/c%5Cd/setup.ini",
     true, "file:///repo/"},
    {"RawBytes", false, "/repo", "\x83J/setup.ini", "%83J/setup.ini", true, "file:///repo/"},
    {"FolderNotKnown", false, "", "./a/../../pkg/setup.ini", "../pkg/setup.ini", false, ""},
    {"FolderNotKnownAbsolute", false, "", "/pkg/setup.ini", "file:///pkg/setup.ini", false, ""},
    {"WindowsDrive", true, "C:\\work\\repo", "C:\\work\\repo\\pkg\\setup.ini", "pkg/setup.ini",
     true, "file:///C:/work/repo/"},
    {"WindowsCaseOfDriveAndNames", true, "C:\\Work\\Repo", "c:\\WORK\\repo\\pkg/setup.ini",
     "pkg/setup.ini", true, "file:///C:/Work/Repo/"},
    {"WindowsRelative", true, "C:\\repo", "pkg/sub\\..\\setup.ini", "pkg/setup.ini", true,
     "file:///C:/repo/"},
    {"WindowsOtherDrive", true, "C:\\repo", "D:\\pkg\\setup.ini", "file:///D:/pkg/setup.ini",
     false, "file:///C:/repo/"},
    {"WindowsRootOfTheDrive", true, "C:\\repo", "\\pkg\\setup.ini", "file:///C:/pkg/setup.ini",
     false, "file:///C:/repo/"},
    {"WindowsDriveAsFolder", true, "C:\\", "..\\pkg\\setup.ini", "pkg/setup.ini", true,
     "file:///C:/"},
    {"WindowsShare", true, "\\\\server\\share\\repo", "\\\\Server\\Share\\repo\\pkg\\setup.ini",
     "pkg/setup.ini", true, "file://server/share/repo/"},
    {"WindowsShareOutside", true, "C:\\repo", "\\\\server\\my share\\pkg\\setup.ini",
     "file://server/my%20share/pkg/setup.ini", false, "file:///C:/repo/"},
};

class SarifPlaceTest : public ::testing::TestWithParam<SarifPlaceCase> {};

TEST_P(SarifPlaceTest, UriAndBase) {
  const SarifPlaceCase& c = GetParam();
  SarifPaths paths{c.working_folder, c.setup_ini};
  paths.windows = c.windows;
  const SarifLocation location = LocateForSarif(paths);
  EXPECT_EQ(std::make_tuple(location.uri, location.relative, location.base_uri),
            std::make_tuple(c.uri, c.relative, c.base_uri));
}

INSTANTIATE_TEST_SUITE_P(Cases, SarifPlaceTest, ::testing::ValuesIn(kSarifPlaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The rules that SARIF output names: ids in order, so that they stay the
// same from one version to the next, and every text given.
TEST(CheckRules, IdsInOrderAndDescribed) {
  std::set<std::string> names;
  for (int i = 0; i < static_cast<int>(Rule::kCount); ++i) {
    const RuleDescription& rule = DescribeRule(static_cast<Rule>(i));
    char id[16];
    std::snprintf(id, sizeof(id), "CAMSETUP%03d", i + 1);
    EXPECT_STREQ(rule.id, id);
    EXPECT_TRUE(names.insert(rule.name).second) << rule.name;
    for (const char* text : {rule.short_description, rule.full_description, rule.help}) {
      EXPECT_GT(std::strlen(text), 10u) << rule.id;
    }
  }
  EXPECT_EQ(DescribeRule(Rule::kMissingSetupIni).severity, Severity::kError);
  EXPECT_EQ(DescribeRule(Rule::kExitCodeValue).severity, Severity::kWarning);
}

}  // namespace
}  // namespace camsetup::check
