// camsetup-check against package fixtures on disk.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "check/checker.h"
#include "platform/posix_platform.h"
#include "test_support.h"

namespace camsetup::check {
namespace {

using camsetup::testing::IniValue;

struct Expected {
  Severity severity;
  std::string section;
  std::string text;  // part of the message
};

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
    {"NoSetupIni", std::nullopt, {}, {{E, "", "setup.ini is missing"}}, 2},
    {"NoModels", Ini({{"Other", "Path", "A\\setup.exe"}}), {}, {{E, "", "no camera model"}}, 2},
    {"OverlongPath", Ini({{"Camera1", "Path", std::string(251, 'p')}}), {},
     {{E, "Camera1", "\"Camera1 Path string too long > 250 character\""}}, 2},
    {"OverlongPid",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "AAAA"},
          {"Camera2", "Path", "a.exe"}, {"Camera2", "PID", std::string(252, 'B')}}),
     {"a.exe"}, {{E, "Camera2", "PIDS string too long"}}, 2},
    {"InstallPathTooLongWhereItLies",
     Ini({{"Camera1", "Path", std::string(250, 'p')}, {"Camera1", "PID", "ABCD"}}), {},
     {{E, "Camera1", "install path too long > 255 character"}}, 2},
    {"LowerCaseCode", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "abcd"}}), {"a.exe"},
     {{W, "Camera1", "\"abcd\" has lower-case letters"}}, 1},
    {"MissingPid", Ini({{"Camera1", "Path", "a.exe"}}), {"a.exe"},
     {{W, "Camera1", "no PID: the model gets the code \"0\""}}, 1},
    {"ShortCode", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD,EF"}}), {"a.exe"},
     {{W, "Camera1", "\"EF\" is shorter than four characters"}}, 1},
    {"CodesInEveryHardwareId",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "5A3D,USB\\,REV_"}}), {"a.exe"},
     {{W, "Camera1", "\"5A3D\" is found in every hardware ID of the vendor"},
      {W, "Camera1", "\"USB\\\" is found at the start of every hardware ID"},
      {W, "Camera1", "\"REV_\" is found in the \"&REV_\""}},
     1},
    {"DoubledSeparator", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD,,EFGH"}}),
     {"a.exe"}, {{W, "Camera1", "\",EFG\" holds a separator"}}, 1},
    {"DuplicateCode",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "b.exe"}, {"Camera2", "PID", "EFGH,ABCD"}}),
     {"a.exe", "b.exe"},
     {{W, "Camera2", "\"ABCD\" is also in Camera1: a device with it starts the installer of "
                     "the later section, Camera2"}},
     1},
    {"GapEndsList",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera3", "Path", "c.exe"}, {"Camera3", "PID", "EFGH"}}),
     {"a.exe", "c.exe"}, {{W, "Camera3", "never read: the list of models ends at Camera2"}}, 1},
    {"OneCharacterPathEndsList",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "0"}, {"Camera3", "Path", "c.exe"}}),
     {"a.exe"},
     {{W, "Camera2", "its Path \"0\" is one character, which ends the list"},
      {W, "Camera3", "never read"}},
     1},
    {"PastCamera20", Sections(21), {"m.exe"},
     {{W, "Camera21", "never read: only Camera1 to Camera20 are read"}}, 1},
    {"FiftyOneCodes",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", Pid(50) + ",Z"}}), {"a.exe"},
     {{W, "Camera1", "more than 50 codes: \"Z\" is dropped"}}, 1},
    {"TextAfterApostrophe",
     Ini({{"Camera1", "Path", "'A\\setup.exe' /S"}, {"Camera1", "PID", "ABCD"}}),
     {"A\\setup.exe"}, {{W, "Camera1", "everything after the apostrophe at position 12"}}, 1},
    {"ApostropheInPath", Ini({{"Camera1", "Path", "O'Brien\\setup.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"O'Brien\\setup.exe"},
     {{W, "Camera1", "after the apostrophe at position 1 is ignored; the installer is \"O\""},
      {W, "Camera1", "the installer \"O\" is missing"}},
     1},
    {"BlanksInPath", Ini({{"Camera1", "Path", "Model A\\setup.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"Model A\\setup.exe"}, {{W, "Camera1", "\"Model A\\setup.exe\" has blanks"}}, 1},
    {"MissingInstaller", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}), {},
     {{W, "Camera1", "the installer \"a.exe\" is missing"}}, 1},
    // Devices.
    {"LaterModelWinsByRevision",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"},
          {"Camera2", "Path", "b.exe"}, {"Camera2", "PID", "0100"}}),
     {"a.exe", "b.exe"},
     {{W, "Camera2", "device 1 (\"USB\\VID_5A3D&PID_ABCD&REV_0100\") matches by code \"0100\" "
                     "in its REV field, not in PID"}},
     1, std::vector<std::string>{"USB\\VID_5A3D&PID_ABCD&REV_0100"}, "Camera2"},
    {"LowerCaseHardwareIdMatches",
     Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}), {"a.exe"}, {}, 0,
     std::vector<std::string>{"usb\\vid_1234", "usb\\vid_5a3d&pid_abcd"}, "Camera1"},
    {"NoGivenDeviceMatches", Ini({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}}),
     {"a.exe"}, {{W, "", "no given device matches a model"}}, 1,
     std::vector<std::string>{"5A3D\\VID_5A3D&PID_ABCD"}},
};

class CheckerTest : public ::testing::TestWithParam<CheckCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/camsetup-check-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

bool FileExists(const std::string& launcher_path) {
  return std::filesystem::is_regular_file(PosixPath(launcher_path));
}

TEST_P(CheckerTest, FindingsAndSelection) {
  const CheckCase& c = GetParam();
  if (c.ini) std::ofstream(dir_ + "/setup.ini", std::ios::binary) << *c.ini;
  for (const std::string& installer : c.installers) {
    const std::filesystem::path path = dir_ + "/" + PosixPath(installer);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "installer";
  }
  PosixPlatform host;
  CheckOptions options{dir_, dir_ + "\\", c.hardware_ids.has_value(), c.hardware_ids,
                       c.hardware_ids.has_value()};
  const Report report = Check(options, CheckHost{host, FileExists});

  std::string all;
  for (const Finding& f : report.findings) all += f.section + ": " + f.message + "\n";
  ASSERT_EQ(report.findings.size(), c.findings.size()) << all;
  for (std::size_t i = 0; i < c.findings.size(); ++i) {
    const Finding& f = report.findings[i];
    EXPECT_EQ(f.severity, c.findings[i].severity) << f.message;
    EXPECT_EQ(f.section, c.findings[i].section) << f.message;
    EXPECT_NE(f.message.find(c.findings[i].text), std::string::npos)
        << f.message << "\n  lacks: " << c.findings[i].text;
  }
  EXPECT_EQ(report.ExitStatus(), c.exit_status);
  EXPECT_EQ(report.selected_section, c.selected);
  EXPECT_TRUE(host.messages.empty()) << "no message box reaches the host";
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckerTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace camsetup::check
