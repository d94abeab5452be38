// Exit codes that tell the outcome, when setup.ini asks for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

FakeDevice Camera(const std::string& id) {
  FakeDevice device;
  device.hardware_ids = MultiString({id});
  return device;
}

// A package with one model whose camera is attached, unless a case changes
// that; `exit_code` is the [Launcher] ExitCode value, if any.
struct Package {
  Harness h{{{"Camera1", "Path", "ModelA\\setup.exe"}, {"Camera1", "PID", "ABCD"}}};
  explicit Package(const char* exit_code) {
    if (exit_code != nullptr) h.platform.SetProfile(kSetupIni, "Launcher", "ExitCode", exit_code);
    h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  }
};

struct ModeCase {
  CAMSETUP_PRINTS_NAME(ModeCase)
  const char* name;
  const char* value;  // null: no key
  ExitCodeMode mode;
};

const ModeCase kModeCases[] = {
    {"NoKey", nullptr, ExitCodeMode::kAlwaysZero},
    {"Installer", "Installer", ExitCodeMode::kInstaller},
    {"LowerCase", "installer", ExitCodeMode::kInstaller},
    {"UpperCase", "INSTALLER", ExitCodeMode::kInstaller},
    {"Empty", "", ExitCodeMode::kAlwaysZero},
    {"Zero", "0", ExitCodeMode::kAlwaysZero},
    {"Prefix", "Install", ExitCodeMode::kAlwaysZero},
    {"Longer", "Installer2", ExitCodeMode::kAlwaysZero},
    {"Trailing", "Installer;", ExitCodeMode::kAlwaysZero},
};

class ExitCodeModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ExitCodeModeTest, ReadFromLauncherSection) {
  const ModeCase& c = GetParam();
  Package p(c.value);
  ASSERT_EQ(p.h.launcher->LoadCameraTable(), 1);
  EXPECT_EQ(p.h.launcher->exit_code_mode(), c.mode);
  // Read once, from setup.ini beside the launcher, before the models.
  EXPECT_EQ(p.h.platform.calls.at(1), ExitCodeRead());
  EXPECT_EQ(p.h.platform.calls.at(2),
            "GetPrivateProfileStringA(Camera1, Path, 0, 255, C:\\Pkg\\setup.ini)");
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitCodeModeTest, ::testing::ValuesIn(kModeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One row per outcome. The run is made twice, without and with the
// setting: without it the exit code is 0; with it, the outcome's code, and
// the calls are those of the run without it plus `extra`, each inserted
// right after the first call that begins with its `after`.
struct Insertion {
  std::string after;
  std::string call;
};

struct OutcomeCase {
  CAMSETUP_PRINTS_NAME(OutcomeCase)
  const char* name;
  std::function<void(FakePlatform&)> setup;
  int exit_code;  // with the setting
  std::vector<Insertion> extra;
};

const std::string kWait = "WaitForSingleObject(process, 0xFFFFFFFF)";
const std::string kCreate = "CreateProcessA(";

const OutcomeCase kOutcomeCases[] = {
    {"InstallerSucceeded", [](FakePlatform& p) { p.installer_exit_code = 0; }, 0,
     {{kWait, "GetExitCodeProcess(process) -> 0"}}},
    {"InstallerAsksForReboot", [](FakePlatform& p) { p.installer_exit_code = 3010; }, 3010,
     {{kWait, "GetExitCodeProcess(process) -> 3010"}}},
    {"InstallerStartedReboot", [](FakePlatform& p) { p.installer_exit_code = 1641; }, 1641,
     {{kWait, "GetExitCodeProcess(process) -> 1641"}}},
    {"InstallerFailed", [](FakePlatform& p) { p.installer_exit_code = 1603; }, 1603,
     {{kWait, "GetExitCodeProcess(process) -> 1603"}}},
    // The bits of a status code pass unchanged.
    {"InstallerCrashed", [](FakePlatform& p) { p.installer_exit_code = 0xC0000005; },
     static_cast<int>(0xC0000005u), {{kWait, "GetExitCodeProcess(process) -> 3221225477"}}},
    {"ExitCodeUnreadable", [](FakePlatform& p) { p.installer_exit_code.reset(); }, 1603,
     {{kWait, "GetExitCodeProcess(process) -> FALSE"}}},
    // A failed wait leaves the installer's end unknown: nothing is read.
    {"WaitFailed", [](FakePlatform& p) { p.wait_result = 0xFFFFFFFF; }, 1603, {}},
    // A handle that will not close leaves the installer's code in place.
    {"CloseFailsAfterEnd",
     [](FakePlatform& p) {
       p.installer_exit_code = 3010;
       p.fail_close_process = true;
       p.fail_close_thread = true;
     },
     3010, {{kWait, "GetExitCodeProcess(process) -> 3010"}}},
    {"NotFound", [](FakePlatform& p) { p.devices = {Camera("USB\\VID_5A3D&PID_9999")}; }, 1167,
     {}},
    {"NoDeviceAtAll", [](FakePlatform& p) { p.devices.clear(); }, 1167, {}},
    {"PathTooLong",
     [](FakePlatform& p) { p.SetProfile(kSetupIni, "Camera1", "Path", std::string(251, 'x')); },
     1610, {}},
    {"PidTooLong",
     [](FakePlatform& p) { p.SetProfile(kSetupIni, "Camera1", "PID", std::string(252, 'A')); },
     1610, {}},
    {"InstallPathTooLong",
     [](FakePlatform& p) {
       p.module_path = "C:\\" + std::string(100, 'd') + "\\camsetup.exe";
       const std::string ini = "C:\\" + std::string(100, 'd') + "\\setup.ini";
       p.profiles[ini] = p.profiles[kSetupIni];
       p.SetProfile(ini, "Camera1", "Path", std::string(200, 'p'));
     },
     1610, {}},
    {"ElevationRequired",
     [](FakePlatform& p) {
       p.fail_create_process = true;
       p.create_process_error = 740;
     },
     740, {{kCreate, "GetLastError -> 740"}}},
    {"InstallerMissing", [](FakePlatform& p) { p.fail_create_process = true; }, 2,
     {{kCreate, "GetLastError -> 2"}}},
    {"StartFailedWithoutCode",
     [](FakePlatform& p) {
       p.fail_create_process = true;
       p.create_process_error = 0;
     },
     1603, {{kCreate, "GetLastError -> 0"}}},
    {"NoDeviceSet", [](FakePlatform& p) { p.fail_get_class_devs = true; }, 5,
     {{"SetupDiGetClassDevsA(", "GetLastError -> 5"}}},
    {"EnumerationFailed",
     [](FakePlatform& p) {
       p.fail_enum_at_index = 1;
       p.fail_enum_error = 1784;
     },
     1784, {}},
};

std::vector<std::string> WithInsertions(std::vector<std::string> calls,
                                        const std::vector<Insertion>& extra) {
  for (const Insertion& insertion : extra) {
    auto it = std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
      return call.rfind(insertion.after, 0) == 0;
    });
    EXPECT_NE(it, calls.end()) << "no call begins with " << insertion.after;
    if (it != calls.end()) calls.insert(it + 1, insertion.call);
  }
  return calls;
}

class OutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(OutcomeTest, ExitCodeOnlyWhenAskedFor) {
  const OutcomeCase& c = GetParam();
  Package zero(nullptr);
  c.setup(zero.h.platform);
  Package asked("Installer");
  c.setup(asked.h.platform);

  EXPECT_EQ(zero.h.launcher->Run("/S"), 0);
  EXPECT_EQ(asked.h.launcher->Run("/S"), c.exit_code);
  EXPECT_EQ(asked.h.platform.calls, WithInsertions(zero.h.platform.calls, c.extra));
  // The same messages either way, and nothing left open.
  EXPECT_EQ(asked.h.platform.messages, zero.h.platform.messages);
  EXPECT_EQ(asked.h.platform.open_kernel_handles(), 0);
  EXPECT_EQ(asked.h.platform.live_heap_blocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutcomeTest, ::testing::ValuesIn(kOutcomeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The code of a failure is the same whether or not anyone saw its message:
// where nobody does, the box's own calls cannot change it.
TEST(OutcomeUnseen, SameCodesWhereNobodySeesTheBox) {
  for (const OutcomeCase& c : kOutcomeCases) {
    SCOPED_TRACE(c.name);
    Package seen("Installer");
    c.setup(seen.h.platform);
    Package unseen("Installer");
    c.setup(unseen.h.platform);
    unseen.h.platform.session_id = 0;
    EXPECT_EQ(unseen.h.launcher->Run("/S"), seen.h.launcher->Run("/S"));
    EXPECT_EQ(unseen.h.platform.events.size(), seen.h.platform.messages.size());
  }
}

// Failures before setup.ini can be read keep exit code 0: the setting is
// not known yet.
TEST(OutcomeBeforeSetupIni, LauncherPathFailuresExitWithZero) {
  for (const Dword error : {kErrorNoUnicodeTranslation, Dword{5}}) {
    Package p("Installer");
    p.h.platform.module_path_error = error;
    EXPECT_EQ(p.h.launcher->Run("/S"), 0) << error;
    EXPECT_EQ(p.h.platform.messages.size(), 1u);
  }
}

}  // namespace
}  // namespace camsetup::testing
