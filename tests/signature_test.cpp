// A signed launcher starts only what its publisher signed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

constexpr char kPublisher[] = "CN=Oskendal Camera Co";
constexpr char kChipMaker[] = "CN=Chip Maker Ltd";
constexpr std::int32_t kBadDigest = static_cast<std::int32_t>(0x80096010);
constexpr std::int32_t kProviderFailed = static_cast<std::int32_t>(0x800B0001);
const std::string kSi = "si{cb=" + std::to_string(sizeof(StartupInfo)) + "}";

std::string Hex(std::int32_t status) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(status));
  return text;
}

// The calls from the debugger output on, for a camera whose installer is
// "C:\Pkg\ModelA\<file>".
std::string Debug(const std::string& command) { return "OutputDebugStringA(" + command + ")"; }
const std::string kSigned = "GetImageCertificateTableSize -> 9000";
const std::string kSelf = std::string("WinVerifyTrust(self) -> 0x0 ") + kPublisher;
const std::string kInstallersRead =
    "GetPrivateProfileStringA(Launcher, Installers, , 255, C:\\Pkg\\setup.ini)";
std::string Open(const std::string& file) {
  return "CreateFileA(C:\\Pkg\\ModelA\\" + file + ", 0x80000000, 0x1, 3) -> file";
}
std::string Verify(const std::string& file, std::int32_t status, const std::string& signer) {
  return "WinVerifyTrust(file, C:\\Pkg\\ModelA\\" + file + ") -> " + Hex(status) +
         (status == 0 ? " " + signer : "");
}
std::string Compare(const std::string& signer, bool same) {
  return std::string("CertCompareCertificateName(") + kPublisher + ", " + signer + ") -> " +
         (same ? "TRUE" : "FALSE");
}
std::vector<std::string> Started(const std::string& command) {
  return {"CreateProcessA(null, " + command + ", null, null, FALSE, 0x20, null, null, " + kSi +
              ", pi{0}) -> TRUE",
          // The checked file is held until the process is made from it.
          "CloseHandle(file) -> TRUE", "WaitForSingleObject(process, 0xFFFFFFFF) -> 0x0",
          "GetExitCodeProcess(process) -> 0", "CloseHandle(process) -> TRUE",
          "CloseHandle(thread) -> TRUE"};
}
// The same where no file was checked and held.
std::vector<std::string> StartedUnchecked(const std::string& command) {
  std::vector<std::string> calls = Started(command);
  calls.erase(calls.begin() + 1);
  return calls;
}
std::vector<std::string> Refused() {
  return Join({{"CloseHandle(file) -> TRUE"}, SeenBox("Installer signature check fail")});
}

const std::string kExe = "\"C:\\Pkg\\ModelA\\setup.exe\" /S";
const std::string kMsi = "\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\Pkg\\ModelA\\d.msi\" /S";

struct SignatureCase {
  CAMSETUP_PRINTS_NAME(SignatureCase)
  const char* name;
  std::string file;  // in C:\Pkg\ModelA\ .
  std::function<void(FakePlatform&)> setup;
  std::vector<std::string> calls;  // from the debugger output on
  Dword exit_code;                 // with ExitCode=Installer
  bool started;
};

void SignedLauncher(FakePlatform& p) { p.image_certificate_size = 9000; }
void Signs(FakePlatform& p, const std::string& file, std::int32_t status,
           const std::string& signer) {
  p.file_trust["C:\\Pkg\\ModelA\\" + file] = {status, signer};
}

const SignatureCase kCases[] = {
    // An unsigned launcher looks at nothing more and loads nothing more.
    {"UnsignedLauncherUnsignedInstaller", "setup.exe", [](FakePlatform&) {},
     Join({{Debug(kExe), "GetImageCertificateTableSize -> 0"},
           StartedUnchecked(kExe)}),
     0, true},
    {"SamePublisher", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", 0, kPublisher);
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", 0, kPublisher), Compare(kPublisher, true)},
           Started(kExe)}),
     0, true},
    {"UnsignedInstaller", "setup.exe", SignedLauncher,
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", kTrustENoSignature, "")},
           Refused()}),
     0x800B0100, false},
    {"OtherPublisher", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", 0, kChipMaker);
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", 0, kChipMaker), Compare(kChipMaker, false)},
           Refused()}),
     0x800B0004, false},
    {"Tampered", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", kBadDigest, kPublisher);
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", kBadDigest, "")},
           Refused()}),
     0x80096010, false},
    // AnySigned widens the check as far as a trusted certificate, no further.
    {"AnySignedOtherPublisher", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", 0, kChipMaker);
       p.SetProfile(kSetupIni, "Launcher", "Installers", "anysigned");
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", 0, kChipMaker)},
           Started(kExe)}),
     0, true},
    {"AnySignedUnsigned", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       p.SetProfile(kSetupIni, "Launcher", "Installers", "AnySigned");
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", kTrustENoSignature, "")},
           Refused()}),
     0x800B0100, false},
    {"AnySignedTampered", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", kBadDigest, kChipMaker);
       p.SetProfile(kSetupIni, "Launcher", "Installers", "AnySigned");
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", kBadDigest, "")},
           Refused()}),
     0x80096010, false},
    // An unknown value keeps the default.
    {"UnknownValueKeepsSamePublisher", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", 0, kChipMaker);
       p.SetProfile(kSetupIni, "Launcher", "Installers", "Any");
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", 0, kChipMaker), Compare(kChipMaker, false)},
           Refused()}),
     0x800B0004, false},
    // A check that cannot run refuses.
    {"CheckFailsToRun", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "setup.exe", kProviderFailed, "");
     },
     Join({{Debug(kExe), kSigned, kSelf, kInstallersRead, Open("setup.exe"),
            Verify("setup.exe", kProviderFailed, "")},
           Refused()}),
     0x800B0001, false},
    // A launcher whose own signature does not hold here checks nothing.
    {"LauncherSignatureInvalid", "setup.exe",
     [](FakePlatform& p) {
       SignedLauncher(p);
       p.image_trust = {kBadDigest, ""};
     },
     Join({{Debug(kExe), kSigned, "WinVerifyTrust(self) -> 0x80096010"},
           StartedUnchecked(kExe)}),
     0, true},
    // An MSI package is checked as a program is; msiexec starts only after.
    {"MsiSamePublisher", "d.msi",
     [](FakePlatform& p) {
       SignedLauncher(p);
       Signs(p, "d.msi", 0, kPublisher);
     },
     Join({{"GetSystemDirectoryA(260) -> 19", Debug(kMsi), kSigned, kSelf, kInstallersRead,
            Open("d.msi"), Verify("d.msi", 0, kPublisher), Compare(kPublisher, true)},
           Started(kMsi)}),
     0, true},
    {"MsiUnsigned", "d.msi", SignedLauncher,
     Join({{"GetSystemDirectoryA(260) -> 19", Debug(kMsi), kSigned, kSelf, kInstallersRead,
            Open("d.msi"), Verify("d.msi", kTrustENoSignature, "")},
           Refused()}),
     0x800B0100, false},
    // An INF goes to pnputil unchecked: Windows checks its catalog.
    {"InfUnchecked", "cam.inf", SignedLauncher,
     {"IsWow64Process2(self) -> 0x0", "GetSystemDirectoryA(260) -> 19",
      "RtlGetVersion -> 10.0.19045",
      Debug("\"C:\\Windows\\system32\\pnputil.exe\" /add-driver \"C:\\Pkg\\ModelA\\cam.inf\" "
            "/install"),
      "CreateProcessA(null, \"C:\\Windows\\system32\\pnputil.exe\" /add-driver "
      "\"C:\\Pkg\\ModelA\\cam.inf\" /install, null, null, FALSE, 0x8000020, null, null, " +
          kSi + ", pi{0}) -> TRUE",
      "WaitForSingleObject(process, 0xFFFFFFFF) -> 0x0", "GetExitCodeProcess(process) -> 0",
      "CloseHandle(process) -> TRUE", "CloseHandle(thread) -> TRUE"},
     0, true},
};

class SignatureTest : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(SignatureTest, StartsOnlyWhatThePublisherSigned) {
  const SignatureCase& c = GetParam();
  for (bool exit_codes : {true, false}) {
    Harness h({{"Camera1", "Path", "ModelA\\" + c.file}, {"Camera1", "PID", "ABCD"}});
    if (exit_codes) h.platform.SetProfile(kSetupIni, "Launcher", "ExitCode", "Installer");
    h.platform.AddFile("C:\\Pkg\\ModelA\\" + c.file);
    h.platform.devices = {{MultiString({"USB\\VID_5A3D&PID_ABCD"}), 0, {}}};
    c.setup(h.platform);
    const int exit_code = h.launcher->Run("/S");
    const std::string mode = exit_codes ? "exit codes" : "always 0";
    EXPECT_EQ(exit_code, exit_codes ? static_cast<int>(c.exit_code) : 0) << mode;
    if (!exit_codes) continue;

    const auto& calls = h.platform.calls;
    const auto from = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
      return call.rfind("SetupDiDestroyDeviceInfoList", 0) == 0;
    });
    ASSERT_NE(from, calls.end());
    std::vector<std::string> tail(from + 1, calls.end());
    // The existence check of a package comes first; it is not this test's.
    tail.erase(std::remove_if(tail.begin(), tail.end(),
                              [](const std::string& call) {
                                return call.rfind("GetFileAttributesA", 0) == 0;
                              }),
               tail.end());
    EXPECT_EQ(tail, c.calls);
    EXPECT_EQ(h.platform.open_kernel_handles(), 0);
    EXPECT_EQ(h.platform.messages.empty(), c.started);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SignatureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A signed launcher with a missing program reports a failed start, as an
// unsigned one does, with the open's error.
TEST(SignatureCheck, MissingProgramIsAFailedStart) {
  Harness h({{"Launcher", "ExitCode", "Installer"},
             {"Camera1", "Path", "ModelA\\setup.exe"},
             {"Camera1", "PID", "ABCD"}});
  h.platform.devices = {{MultiString({"USB\\VID_5A3D&PID_ABCD"}), 0, {}}};
  h.platform.image_certificate_size = 9000;
  EXPECT_EQ(h.launcher->Run(""), 2);
  EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Run driver insatll fail"});
  for (const std::string& call : h.platform.calls) {
    EXPECT_NE(call.rfind("CreateProcessA", 0), 0u) << call;
  }
}

}  // namespace
}  // namespace camsetup::testing
