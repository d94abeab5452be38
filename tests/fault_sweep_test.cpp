// Every single fault of the platform, survived: each call that can fail is
// made to fail once, in a run of its own, and the run must still end sound.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

struct Variant {
  InstallerForm form;  // of the camera's installer
  bool camera_present;
  bool exit_codes;  // [Launcher] ExitCode=Installer
  bool unseen;      // a window station nobody sees
  Dword installer_code;
  bool signed_launcher;  // and every installer signed by its publisher

  std::string Name() const {
    return std::string(FormName(form)) + (signed_launcher ? "/signed" : "") +
           (camera_present ? "/found" : "/not-found") + (exit_codes ? "/exit-codes" : "/always-0") +
           (unseen ? "/unseen" : "/seen") + "/installer-" + std::to_string(installer_code);
  }
};

// A package of two models, the camera's with switches in its Path so that
// files are looked up; devices of another vendor and, where present, the
// camera. An INF goes to pnputil from a 32-bit process on 64-bit Windows.
void SetUp(const Variant& v, FakePlatform& p) {
  p.module_path = kModulePath;
  if (v.exit_codes) p.SetProfile(kSetupIni, "Launcher", "ExitCode", "Installer");
  p.SetProfile(kSetupIni, "Camera1", "Path", "ModelA\\setup.exe");
  p.SetProfile(kSetupIni, "Camera1", "PID", "0A01,0A02");
  const char* const file = v.form == InstallerForm::kWindowsInstaller ? "driver.msi"
                           : v.form == InstallerForm::kDriverPackage  ? "cam.inf"
                                                                      : "setup";
  p.SetProfile(kSetupIni, "Camera2", "Path", std::string("Model B\\") + file + " /q");
  p.SetProfile(kSetupIni, "Camera2", "PID", "ABCD");
  p.AddFile("C:\\Pkg\\ModelA\\setup.exe");
  p.AddFile(std::string("C:\\Pkg\\Model B\\") + file +
            (v.form == InstallerForm::kProgram ? ".exe" : ""));
  p.wow64_2 = true;
  if (v.signed_launcher) {
    p.image_certificate_size = 9000;
    for (const auto& [path, attributes] : p.files) p.file_trust[path] = p.image_trust;
  }
  p.devices.push_back({MultiString({"USB\\VID_1234&PID_ABCD"}), 0, {}});
  if (v.camera_present) {
    p.devices.push_back({MultiString({"USB\\VID_5A3D&PID_ABCD&REV_0100"}), 0, {}});
  }
  p.installer_exit_code = v.installer_code;
  if (v.unseen) p.window_station_flags = 0;
}

bool Terminated(const char* buffer, std::size_t size) {
  return std::memchr(buffer, '\0', size) != nullptr;
}

bool AnyStartsWith(const std::vector<std::string>& calls, const std::string& prefix) {
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// A call of that name whose log line ends in TRUE.
bool AnySucceeded(const std::vector<std::string>& calls, const std::string& name) {
  for (const std::string& call : calls) {
    if (call.rfind(name, 0) == 0 && call.size() >= 4 &&
        call.compare(call.size() - 4, 4, "TRUE") == 0) {
      return true;
    }
  }
  return false;
}

struct RunResult {
  int exit_code;
  int failable_calls;
};

// One run with the fault `fail_call` (none when 0); checks every rule that
// must hold whatever failed, and names the fault in each failure.
RunResult RunWithFault(const Variant& v, int fail_call) {
  Harness h;
  SetUp(v, h.platform);
  if (fail_call > 0) h.platform.fail_call = fail_call;
  const int exit_code = h.launcher->Run("/S");
  const FakePlatform& p = h.platform;
  const std::string where =
      v.Name() + ", fault " + std::to_string(fail_call) + " " + p.injected_fault();
  if (fail_call > 0) {
    EXPECT_FALSE(p.injected_fault().empty()) << where;
  }

  // Every buffer still holds its terminator.
  const Launcher& l = *h.launcher;
  EXPECT_TRUE(Terminated(l.argument_tail(), kArgumentTailSize)) << where;
  EXPECT_TRUE(Terminated(l.launch_command(), kLaunchCommandSize)) << where;
  for (const CameraEntry& entry : l.camera_table().entries) {
    EXPECT_TRUE(Terminated(entry.install_path, kInstallPathSize)) << where;
  }

  // Nothing stays open.
  EXPECT_EQ(p.open_device_sets(), 0) << where;
  EXPECT_EQ(p.open_kernel_handles(), 0) << where;
  EXPECT_EQ(p.live_heap_blocks(), 0) << where;
  EXPECT_EQ(p.open_event_sources(), 0) << where;

  // The run either started the installer or told of what happened: in a
  // box, or, where none is seen, in the debugger output and the event log.
  const bool started = AnySucceeded(p.calls, "CreateProcessA(");
  const bool told = !p.messages.empty() || !p.events.empty() ||
                    AnyStartsWith(p.calls, "OutputDebugStringA(Error info: ");
  EXPECT_TRUE(started || told) << where;

  // Without a fault, the camera's installer starts in its form.
  if (fail_call == 0 && v.camera_present) {
    const char* const tool = v.form == InstallerForm::kWindowsInstaller ? "msiexec.exe"
                             : v.form == InstallerForm::kDriverPackage  ? "Sysnative\\pnputil.exe"
                                                                        : "setup.exe";
    EXPECT_TRUE(started) << where;
    EXPECT_TRUE(AnyStartsWith(p.calls, "OutputDebugStringA(\"C:\\Windows\\") ||
                v.form == InstallerForm::kProgram)
        << where;
    EXPECT_NE(std::string(l.launch_command()).find(tool), std::string::npos) << where;
    EXPECT_EQ(AnySucceeded(p.calls, "CertCompareCertificateName("),
              v.signed_launcher && v.form != InstallerForm::kDriverPackage)
        << where;
  }

  // A code that reads as success or as a reboot comes only from an installer
  // that ran and ended with it.
  if (l.exit_code_mode() == ExitCodeMode::kInstaller &&
      (exit_code == 0 || exit_code == 1641 || exit_code == 3010)) {
    EXPECT_TRUE(started) << where << ": exit " << exit_code;
    EXPECT_TRUE(
        AnyStartsWith(p.calls, "GetExitCodeProcess(process) -> " + std::to_string(exit_code)))
        << where << ": exit " << exit_code;
  }
  if (l.exit_code_mode() == ExitCodeMode::kAlwaysZero) {
    EXPECT_EQ(exit_code, 0) << where;
  }
  return {exit_code, p.failable_calls()};
}

TEST(FaultSweep, EverySingleFaultSurvived) {
  int runs = 0;
  for (InstallerForm form :
       {InstallerForm::kProgram, InstallerForm::kWindowsInstaller, InstallerForm::kDriverPackage}) {
    for (bool camera_present : {true, false}) {
      for (bool exit_codes : {true, false}) {
        for (bool unseen : {false, true}) {
          for (Dword installer_code : {Dword{0}, Dword{3010}}) {
            for (bool signed_launcher : {false, true}) {
              const Variant v{form,   camera_present, exit_codes,
                              unseen, installer_code, signed_launcher};
              // The clean run tells how many calls can fail.
              const RunResult clean = RunWithFault(v, 0);
              ASSERT_GT(clean.failable_calls, 5) << v.Name();
              for (int fault = 1; fault <= clean.failable_calls; ++fault) {
                RunWithFault(v, fault);
                ++runs;
              }
            }
          }
        }
      }
    }
  }
  std::printf("fault sweep: %d runs, one injected fault each\n", runs);
}

}  // namespace
}  // namespace camsetup::testing
