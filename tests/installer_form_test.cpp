// The forms a driver package comes in: a program, an MSI package given to
// msiexec, an INF driver package given to pnputil.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

const std::string kSi = "si{cb=" + std::to_string(sizeof(StartupInfo)) + "}";
const std::string kNoWindow = "0x8000020";
const std::string kUnsigned = "GetImageCertificateTableSize -> 0|";

// The start, with the launcher's own signature looked at first where the
// form is one it checks (an unsigned launcher checks nothing further).
std::string Started(const std::string& command, const std::string& flags, Dword code) {
  return std::string(flags == kNoWindow ? "" : kUnsigned) + "CreateProcessA(null, " + command + ", null, null, FALSE, " + flags + ", null, null, " +
         kSi + ", pi{0}) -> TRUE|WaitForSingleObject(process, 0xFFFFFFFF) -> 0x0|" +
         "GetExitCodeProcess(process) -> " + std::to_string(code) +
         "|CloseHandle(process) -> TRUE|CloseHandle(thread) -> TRUE";
}

std::string Debug(const std::string& text) { return "OutputDebugStringA(" + text + ")"; }

std::string SeenBoxCalls(const std::string& text) {
  std::string calls;
  for (const std::string& call : SeenBox(text)) calls += (calls.empty() ? "" : "|") + call;
  return calls;
}

std::string StartFailed(const std::string& command) {
  std::string calls = Debug(command);
  for (const std::string& call : SeenBox("Run driver insatll fail")) calls += "|" + call;
  return calls;
}

// The calls that find out where pnputil is and which syntax it takes.
const std::string kNative64 =
    "IsWow64Process2(self) -> 0x0|GetSystemDirectoryA(260) -> 19|RtlGetVersion -> 10.0.19045";
const std::string kSysnative =
    "IsWow64Process2(self) -> 0x14C|GetSystemWindowsDirectoryA(260) -> 10|"
    "RtlGetVersion -> 10.0.19045";
const std::string kMsiexec = "\"C:\\Windows\\system32\\msiexec.exe\" /i ";
const std::string kPnputil = "\"C:\\Windows\\system32\\pnputil.exe\" /add-driver ";

struct FormCase {
  CAMSETUP_PRINTS_NAME(FormCase)
  const char* name;
  std::string path_value;  // Camera1's Path
  std::vector<std::string> files;
  std::function<void(FakePlatform&)> setup;
  std::string tail;
  InstallerForm form;
  std::string calls;  // '|'-separated, from the release of the device set on
  int exit_code;      // with [Launcher] ExitCode=Installer; the installer ends with 3010
};

const auto kNoSetup = [](FakePlatform&) {};

const FormCase kFormCases[] = {
    {"MsiWithTail", "ModelA\\driver.msi", {"C:\\Pkg\\ModelA\\driver.msi"}, kNoSetup, "/qn",
     InstallerForm::kWindowsInstaller,
     "GetFileAttributesA(C:\\Pkg\\ModelA\\driver.msi) -> 0x80|GetSystemDirectoryA(260) -> 19|" +
         Debug(kMsiexec + "\"C:\\Pkg\\ModelA\\driver.msi\" /qn") + "|" +
         Started(kMsiexec + "\"C:\\Pkg\\ModelA\\driver.msi\" /qn", "0x20", 3010),
     3010},
    // Switches in Path come before the tail; the extension in any case.
    {"MsiSwitchesUpperCase", "Model B\\Driver.MSI REBOOT=ReallySuppress",
     {"C:\\Pkg\\Model B\\Driver.MSI"}, kNoSetup, "/qn", InstallerForm::kWindowsInstaller,
     "GetFileAttributesA(C:\\Pkg\\Model B\\Driver.MSI REBOOT=ReallySuppress) -> 0xFFFFFFFF|"
     "GetFileAttributesA(C:\\Pkg\\Model.exe) -> 0xFFFFFFFF|"
     "GetFileAttributesA(C:\\Pkg\\Model B\\Driver.MSI) -> 0x80|GetSystemDirectoryA(260) -> 19|" +
         Debug(kMsiexec + "\"C:\\Pkg\\Model B\\Driver.MSI\" REBOOT=ReallySuppress /qn") + "|" +
         Started(kMsiexec + "\"C:\\Pkg\\Model B\\Driver.MSI\" REBOOT=ReallySuppress /qn", "0x20",
                 3010),
     3010},
    // A missing package starts nothing, not even msiexec.
    {"MsiMissing", "ModelA\\driver.msi", {}, kNoSetup, "/qn", InstallerForm::kWindowsInstaller,
     "GetFileAttributesA(C:\\Pkg\\ModelA\\driver.msi) -> 0xFFFFFFFF|" +
         StartFailed("\"C:\\Pkg\\ModelA\\driver.msi\" /qn"),
     2},
    // A system folder longer than the buffer is never cut: nothing starts.
    {"MsiSystemFolderTooLong", "ModelA\\driver.msi", {"C:\\Pkg\\ModelA\\driver.msi"},
     [](FakePlatform& p) { p.system_folder = "C:\\" + std::string(297, 'w'); }, "",
     InstallerForm::kWindowsInstaller,
     "GetFileAttributesA(C:\\Pkg\\ModelA\\driver.msi) -> 0x80|GetSystemDirectoryA(260) -> 301|" +
         StartFailed("\"C:\\Pkg\\ModelA\\driver.msi\""),
     206},
    // 64-bit process: pnputil from the system folder, the tail not passed,
    // no console window.
    {"InfNative", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"}, kNoSetup, "/S",
     InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|" + kNative64 + "|" +
         Debug(kPnputil + "\"C:\\Pkg\\Driver\\cam.inf\" /install") + "|" +
         Started(kPnputil + "\"C:\\Pkg\\Driver\\cam.inf\" /install", kNoWindow, 3010),
     3010},
    {"InfSwitches", "Driver\\CAM.Inf /reboot", {"C:\\Pkg\\Driver\\CAM.Inf"}, kNoSetup, "/S",
     InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\CAM.Inf /reboot.exe) -> 0xFFFFFFFF|"
     "GetFileAttributesA(C:\\Pkg\\Driver\\CAM.Inf) -> 0x80|" +
         kNative64 + "|" + Debug(kPnputil + "\"C:\\Pkg\\Driver\\CAM.Inf\" /install /reboot") +
         "|" + Started(kPnputil + "\"C:\\Pkg\\Driver\\CAM.Inf\" /install /reboot", kNoWindow, 3010),
     3010},
    // 32-bit process on 64-bit Windows: System32 would be SysWOW64.
    {"InfWow64", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"},
     [](FakePlatform& p) { p.wow64_2 = true; }, "", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|" + kSysnative + "|" +
         Debug("\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"C:\\Pkg\\Driver\\cam.inf\" "
               "/install") +
         "|" +
         Started("\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver "
                 "\"C:\\Pkg\\Driver\\cam.inf\" /install",
                 kNoWindow, 3010),
     3010},
    // Windows 7: no IsWow64Process2, and pnputil's older syntax.
    {"InfWindows7Wow64", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"},
     [](FakePlatform& p) {
       p.wow64_2.reset();
       p.wow64 = true;
       p.os_version = {6, 1, 7601};
     },
     "", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|IsWow64Process2(self) -> FALSE|"
     "IsWow64Process(self) -> TRUE|GetSystemWindowsDirectoryA(260) -> 10|"
     "RtlGetVersion -> 6.1.7601|" +
         Debug("\"C:\\Windows\\Sysnative\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"") +
         "|" +
         Started("\"C:\\Windows\\Sysnative\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"",
                 kNoWindow, 3010),
     3010},
    // 32-bit Windows 7: no WOW64 at all.
    {"InfWindows7x86", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"},
     [](FakePlatform& p) {
       p.wow64_2.reset();
       p.os_version = {6, 1, 7601};
     },
     "", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|IsWow64Process2(self) -> FALSE|"
     "IsWow64Process(self) -> FALSE|GetSystemDirectoryA(260) -> 19|RtlGetVersion -> 6.1.7601|" +
         Debug("\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"") + "|" +
         Started("\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"",
                 kNoWindow, 3010),
     3010},
    // Windows 10 1511 has no /add-driver; 1607 (build 14393) has.
    {"InfBuild10586", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"},
     [](FakePlatform& p) { p.os_version = {10, 0, 10586}; }, "", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|IsWow64Process2(self) -> 0x0|"
     "GetSystemDirectoryA(260) -> 19|RtlGetVersion -> 10.0.10586|" +
         Debug("\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"") + "|" +
         Started("\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\Driver\\cam.inf\"",
                 kNoWindow, 3010),
     3010},
    {"InfBuild14393", "Driver\\cam.inf", {"C:\\Pkg\\Driver\\cam.inf"},
     [](FakePlatform& p) { p.os_version = {10, 0, 14393}; }, "", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0x80|IsWow64Process2(self) -> 0x0|"
     "GetSystemDirectoryA(260) -> 19|RtlGetVersion -> 10.0.14393|" +
         Debug(kPnputil + "\"C:\\Pkg\\Driver\\cam.inf\" /install") + "|" +
         Started(kPnputil + "\"C:\\Pkg\\Driver\\cam.inf\" /install", kNoWindow, 3010),
     3010},
    {"InfMissing", "Driver\\cam.inf", {}, kNoSetup, "/S", InstallerForm::kDriverPackage,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0xFFFFFFFF|" +
         StartFailed("\"C:\\Pkg\\Driver\\cam.inf\" /S"),
     2},
    // With switches and nothing found, no package can be told: the whole
    // path is tried as a program, and the system's start fails.
    {"InfWithSwitchesMissing", "Driver\\cam.inf /reboot", {},
     [](FakePlatform& p) {
       p.fail_create_process = true;
       p.create_process_error = 3;  // ERROR_PATH_NOT_FOUND
     },
     "/S", InstallerForm::kProgram,
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf /reboot.exe) -> 0xFFFFFFFF|"
     "GetFileAttributesA(C:\\Pkg\\Driver\\cam.inf) -> 0xFFFFFFFF|" +
         Debug("\"C:\\Pkg\\Driver\\cam.inf /reboot.exe\" /S") + "|" + kUnsigned +
         "CreateProcessA(null, \"C:\\Pkg\\Driver\\cam.inf /reboot.exe\" /S, null, null, FALSE, "
         "0x20, null, null, " + kSi + ", pi{0}) -> FALSE|GetLastError -> 3|" +
         SeenBoxCalls("Run driver insatll fail"),
     3},
    // Only the program's own extension counts.
    {"ProgramBesideExtensions", "Driver.inf\\setup.msi.exe", {}, kNoSetup, "",
     InstallerForm::kProgram,
     Debug("\"C:\\Pkg\\Driver.inf\\setup.msi.exe\"") + "|" +
         Started("\"C:\\Pkg\\Driver.inf\\setup.msi.exe\"", "0x20", 3010),
     3010},
    {"OtherExtensionIsProgram", "ModelA\\driver.msix", {}, kNoSetup, "",
     InstallerForm::kProgram,
     Debug("\"C:\\Pkg\\ModelA\\driver.msix\"") + "|" +
         Started("\"C:\\Pkg\\ModelA\\driver.msix\"", "0x20", 3010),
     3010},
};

class FormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(FormTest, ComposesStartsAndEnds) {
  const FormCase& c = GetParam();
  Harness h({{"Launcher", "ExitCode", "Installer"},
             {"Camera1", "Path", c.path_value},
             {"Camera1", "PID", "ABCD"}});
  for (const std::string& f : c.files) h.platform.AddFile(f);
  h.platform.devices = {{MultiString({"USB\\VID_5A3D&PID_ABCD"}), 0, {}}};
  h.platform.installer_exit_code = 3010;
  c.setup(h.platform);
  EXPECT_EQ(h.launcher->Run(c.tail.c_str()), c.exit_code);

  const auto& calls = h.platform.calls;
  const auto release = std::find(calls.begin(), calls.end(), "SetupDiDestroyDeviceInfoList(set)");
  ASSERT_NE(release, calls.end());
  std::string got;
  for (auto it = release + 1; it != calls.end(); ++it) got += (got.empty() ? "" : "|") + *it;
  // One call a line, so that a failure shows where the sequences part.
  const auto lines = [](std::string text) {
    std::replace(text.begin(), text.end(), '|', '\n');
    return text;
  };
  EXPECT_EQ(lines(got), lines(c.calls));
  EXPECT_EQ(h.platform.open_kernel_handles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormTest, ::testing::ValuesIn(kFormCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormOf, ByTheProgramsOwnExtension) {
  FakePlatform p;
  p.code_page = CodePageTable::Japanese932();
  const struct {
    const char* path;
    InstallerForm form;
  } cases[] = {
      {"C:\\P\\a.msi", InstallerForm::kWindowsInstaller},
      {"C:\\P\\a.MsI", InstallerForm::kWindowsInstaller},
      {"C:\\P\\a.inf", InstallerForm::kDriverPackage},
      {"C:\\P\\a.INF", InstallerForm::kDriverPackage},
      {"C:\\P\\a.exe", InstallerForm::kProgram},
      {"C:\\P\\a.msi.exe", InstallerForm::kProgram},
      {"C:\\P\\a.inf\\b", InstallerForm::kProgram},
      {"C:\\P\\a.infx", InstallerForm::kProgram},
      {"C:\\P\\ainf", InstallerForm::kProgram},
      // 0x83 0x2E is one character in code page 932: no dot, no extension.
      {"C:\\P\\a\x83.inf", InstallerForm::kProgram},
  };
  for (const auto& c : cases) {
    const InstallProgram program = FindInstallProgram(c.path, 5, p);
    EXPECT_EQ(FormOf(c.path, 5, program, p), c.form) << c.path;
  }
}

// The longest folder and path with every switch fit; one byte more than the
// buffer never makes a cut command.
TEST(ComposeInstallCommand, NeverCut) {
  const std::string folder(259, 'w');
  const SystemTools tools{folder.c_str(), folder.c_str(), true};
  // The install path holds the program and its switches in 255 bytes.
  const std::string program(200, 'p');
  const std::string switches(" " + std::string(54, 's'));
  const std::string tail(" " + std::string(254, 't'));
  char out[kLaunchCommandSize];
  for (InstallerForm form : {InstallerForm::kProgram, InstallerForm::kWindowsInstaller,
                             InstallerForm::kDriverPackage}) {
    EXPECT_TRUE(ComposeInstallCommand(form, program, switches, tail, tools, out, sizeof(out)))
        << FormName(form);
    const std::size_t length = std::strlen(out);
    EXPECT_FALSE(ComposeInstallCommand(form, program, switches, tail, tools, out, length))
        << FormName(form);
    EXPECT_STREQ(out, "") << FormName(form);
    EXPECT_TRUE(ComposeInstallCommand(form, program, switches, tail, tools, out, length + 1))
        << FormName(form);
  }
}

}  // namespace
}  // namespace camsetup::testing
