// camsetup-check and the MSI and INF forms: the command that the checker
// shows against the one the launcher starts, and package fixtures with INF
// and MSI files on disk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check/checker.h"
#include "check/render.h"
#include "inf_fixtures.h"
#include "package_fixture.h"
#include "platform/posix_platform.h"
#include "test_support.h"

namespace camsetup::check {
namespace {

using camsetup::testing::Utf16Le;

// ---- The command the checker shows is the one the launcher starts ----

struct CommandCase {
  CAMSETUP_PRINTS_NAME(CommandCase)
  const char* name;
  std::string path;                      // Camera1's Path
  std::string file;                      // the file that exists, in the package
  std::function<void(FakePlatform&)> setup;
  std::optional<std::string> command;    // what both compose; none where nothing starts
};

const auto kAsIs = [](FakePlatform&) {};

const CommandCase kCommandCases[] = {
    {"Program", "A\\setup.exe /S", "A\\setup.exe", kAsIs, "\"C:\\Pkg\\A\\setup.exe\" /S"},
    {"ProgramWithoutExtension", "A\\setup /S", "A\\setup.exe", kAsIs,
     "\"C:\\Pkg\\A\\setup.exe\" /S"},
    {"Msi", "M\\driver.msi REBOOT=ReallySuppress", "M\\driver.msi", kAsIs,
     "\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\Pkg\\M\\driver.msi\" REBOOT=ReallySuppress"},
    {"InfNative", "D\\cam.inf", "D\\cam.inf", kAsIs,
     "\"C:\\Windows\\system32\\pnputil.exe\" /add-driver \"C:\\Pkg\\D\\cam.inf\" /install"},
    {"InfWow64", "D\\CAM.INF /reboot", "D\\CAM.INF", [](FakePlatform& p) { p.wow64_2 = true; },
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"C:\\Pkg\\D\\CAM.INF\" /install "
     "/reboot"},
    {"InfWindows7Wow64", "D\\cam.inf", "D\\cam.inf",
     [](FakePlatform& p) {
       p.wow64_2.reset();
       p.wow64 = true;
       p.os_version = {6, 1, 7601};
     },
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" -i -a \"C:\\Pkg\\D\\cam.inf\""},
    {"InfWindows7x86", "D\\cam.inf", "D\\cam.inf",
     [](FakePlatform& p) {
       p.wow64_2.reset();
       p.os_version = {6, 1, 7601};
     },
     "\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\D\\cam.inf\""},
    {"InfBuild10586", "D\\cam.inf", "D\\cam.inf",
     [](FakePlatform& p) { p.os_version = {10, 0, 10586}; },
     "\"C:\\Windows\\system32\\pnputil.exe\" -i -a \"C:\\Pkg\\D\\cam.inf\""},
    {"InfBuild14393", "D\\cam.inf", "D\\cam.inf",
     [](FakePlatform& p) { p.os_version = {10, 0, 14393}; },
     "\"C:\\Windows\\system32\\pnputil.exe\" /add-driver \"C:\\Pkg\\D\\cam.inf\" /install"},
    {"OtherFolders", "D\\cam.inf", "D\\cam.inf",
     [](FakePlatform& p) {
       p.wow64_2 = true;
       p.windows_folder = "D:\\WinNT";
     },
     "\"D:\\WinNT\\Sysnative\\pnputil.exe\" /add-driver \"C:\\Pkg\\D\\cam.inf\" /install"},
    {"SystemFolderTooLong", "M\\driver.msi", "M\\driver.msi",
     [](FakePlatform& p) { p.system_folder = "C:\\" + std::string(297, 'w'); }, std::nullopt},
};

class CommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTest, TheCheckersIsTheLaunchers) {
  const CommandCase& c = GetParam();
  // The launcher, with a device of the model and no arguments: its debug
  // output names the command as it starts it.
  testing::Harness h({{"Camera1", "Path", c.path}, {"Camera1", "PID", "ABCD"}});
  h.platform.AddFile("C:\\Pkg\\" + c.file);
  h.platform.devices = {{testing::MultiString({"USB\\VID_5A3D&PID_ABCD"}), 0, {}}};
  c.setup(h.platform);
  h.launcher->Run("");
  std::string started;
  for (const std::string& call : h.platform.calls) {
    if (call.rfind("CreateProcessA(null, ", 0) == 0) {
      started = call.substr(21, call.find(", null, null, FALSE") - 21);
    }
  }
  EXPECT_EQ(started, c.command.value_or("")) << "the launcher";

  // The checker, on a platform that answers the same.
  FakePlatform platform;
  platform.SetProfile(testing::kSetupIni, "Camera1", "Path", c.path);
  platform.SetProfile(testing::kSetupIni, "Camera1", "PID", "ABCD");
  platform.AddFile(testing::kSetupIni);
  platform.AddFile("C:\\Pkg\\" + c.file);
  c.setup(platform);
  const std::optional<CodePageText> ini_text = CodePageText::Open(1252);
  ASSERT_TRUE(ini_text.has_value());
  const Utf8Text host_text;
  const CheckHost host{platform,
                       [&platform](const std::string& path) {
                         const auto it = platform.files.find(path);
                         return it != platform.files.end() &&
                                (it->second & kFileAttributeDirectory) == 0;
                       },
                       [](const std::string&) { return std::nullopt; },
                       *ini_text,
                       host_text};
  const Report report =
      Check({"C:\\Pkg", testing::kSetupIni, "C:\\Pkg\\", false, std::nullopt, false}, host);
  ASSERT_EQ(report.models.size(), 1u);
  EXPECT_EQ(report.models[0].command, c.command) << "the checker";
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandTest, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Packages on disk ----

constexpr Severity W = Severity::kWarning;

struct ExpectedFinding {
  Rule rule;
  std::string section;
  std::optional<int> line;
  std::string text;  // part of the message
};

const std::string kCompoundFile = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// An INF with the lines `version` in its [Version] section and `ids` as
// the hardware IDs of its one models section, for 64-bit Windows.
std::string CameraInf(const std::string& version, const std::string& ids) {
  return "; Velmora camera\r\n"
         "[Version]\r\n"
         "Signature = \"$Windows NT$\"\r\n"
         "Class = Camera\r\n" +
         version +
         "\r\n[Manufacturer]\r\n"
         "%Mfg% = Velmora, NTamd64\r\n"
         "\r\n[Velmora.NTamd64]\r\n"
         "%Cam% = Cam_Install, " +
         ids +
         "\r\n\r\n[Strings]\r\n"
         "Mfg = \"Velmora\"\r\n"
         "Cam = \"Velmora Camera\"\r\n"
         "Catalog = cam.cat\r\n";
}

const std::string kSignedInf = CameraInf("CatalogFile = %Catalog%\r\n",
                                         "USB\\VID_5A3D&PID_0B01&MI_00, USB\\VID_5A3D&PID_0B01");

const std::string kInfIni = "[Camera1]\r\nPath=Driver\\cam.inf\r\nPID=0B01\r\n";

struct PackageCase {
  CAMSETUP_PRINTS_NAME(PackageCase)
  const char* name;
  std::string ini;
  std::map<std::string, std::string> files;  // relative, with backslashes -> bytes
  std::vector<ExpectedFinding> findings;     // all of them, in order
  InstallerForm form;                        // Camera1's
  std::string command;                       // Camera1's, with {dir} for the package
  std::optional<std::string> encoding = std::nullopt;       // of Camera1's INF
  std::vector<std::string> hardware_ids = {};               // of Camera1's INF
};

const PackageCase kPackageCases[] = {
    {"InfAnsiSigned", kInfIni, {{"Driver\\cam.inf", kSignedInf}, {"Driver\\cam.cat", "cat"}}, {},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI", {"USB\\VID_5A3D&PID_0B01&MI_00", "USB\\VID_5A3D&PID_0B01"}},
    {"InfUtf16LeSigned", kInfIni,
     {{"Driver\\cam.inf", Utf16Le(kSignedInf)}, {"Driver\\cam.cat", "cat"}}, {},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "UTF-16LE", {"USB\\VID_5A3D&PID_0B01&MI_00", "USB\\VID_5A3D&PID_0B01"}},
    // Names found without regard to case: the INF, its catalog, the IDs.
    {"InfNamesInOtherCase", "[Camera1]\r\nPath=DRIVER\\Cam.INF /reboot\r\nPID=0B0A\r\n",
     {{"driver\\cam.inf",
       CameraInf("CatalogFile=CAM.CAT\r\n", "usb\\vid_5a3d&pid_0b0a&mi_00")},
      {"driver\\cam.cat", "cat"}},
     {}, InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\DRIVER\\Cam.INF\" /install "
     "/reboot",
     "ANSI", {"usb\\vid_5a3d&pid_0b0a&mi_00"}},
    {"PidNotInTheInf", "[Camera1]\r\nPath=Driver\\cam.inf\r\nPID=0B01,0B02\r\n",
     {{"Driver\\cam.inf", Utf16Le(kSignedInf)}, {"Driver\\cam.cat", "cat"}},
     {{Rule::kCodeNotInInf, "Camera1", 3,
       "code \"0B02\": no hardware ID of the INF \"Driver\\cam.inf\" is "
       "\"USB\\VID_5A3D&PID_0B02\": a camera with it starts the INF's installation, but the "
       "driver binds to no such device"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "UTF-16LE"},
    // A revision or another vendor does not count; a code in the PID field does.
    {"IdsOfOtherFieldsOrVendors", "[Camera1]\r\nPath=Driver\\cam.inf\r\nPID=0100,0B01\r\n",
     {{"Driver\\cam.inf",
       CameraInf("CatalogFile=%Catalog%\r\n",
                 "USB\\VID_5A3D&PID_0B02&REV_0100, USB\\VID_1234&PID_0B01")},
      {"Driver\\cam.cat", "cat"}},
     {{Rule::kCodeNotInInf, "Camera1", 3, "code \"0100\""},
      {Rule::kCodeNotInInf, "Camera1", 3, "code \"0B01\""}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"CatalogMissing", kInfIni, {{"Driver\\cam.inf", kSignedInf}},
     {{Rule::kCatalogMissing, "Camera1", 2,
       "the INF \"Driver\\cam.inf\" names the catalog \"cam.cat\" (CatalogFile in [Version]), "
       "which is not beside it"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    // The catalog of another folder is not beside the INF.
    {"CatalogInAnotherFolder", kInfIni, {{"Driver\\cam.inf", kSignedInf}, {"cam.cat", "cat"}},
     {{Rule::kCatalogMissing, "Camera1", 2, "\"cam.cat\""}}, InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"NoCatalog", kInfIni,
     {{"Driver\\cam.inf", CameraInf("", "USB\\VID_5A3D&PID_0B01")}},
     {{Rule::kNoCatalog, "Camera1", 2,
       "names no catalog for 64-bit Windows (CatalogFile in [Version])"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"CatalogOnlyFor32Bit", kInfIni,
     {{"Driver\\cam.inf", CameraInf("CatalogFile.NTx86=cam.cat\r\n", "USB\\VID_5A3D&PID_0B01")},
      {"Driver\\cam.cat", "cat"}},
     {{Rule::kNoCatalog, "Camera1", 2, "names no catalog for 64-bit Windows"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"ModelsOnlyFor32Bit", kInfIni,
     {{"Driver\\cam.inf",
       "[Version]\r\nSignature=$Windows NT$\r\nCatalogFile=cam.cat\r\n[Manufacturer]\r\n"
       "Velmora\r\n[Velmora]\r\nCam = Install, USB\\VID_5A3D&PID_0B01\r\n"},
      {"Driver\\cam.cat", "cat"}},
     {{Rule::kNoModelsFor64Bit, "Camera1", 2,
       "has no models section for 64-bit Windows (decorated NTamd64 in [Manufacturer])"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI", {"USB\\VID_5A3D&PID_0B01"}},
    {"NoManufacturer", kInfIni,
     {{"Driver\\cam.inf", "[Version]\r\nSignature=$Windows NT$\r\nCatalogFile=cam.cat\r\n"},
      {"Driver\\cam.cat", "cat"}},
     {{Rule::kCodeNotInInf, "Camera1", 3,
       "(its [Manufacturer] names no models section with a hardware ID)"},
      {Rule::kNoModelsFor64Bit, "Camera1", 2, "no models section for 64-bit Windows"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    // What Windows does not read, nothing else is said about.
    {"InfNotReadable", kInfIni,
     {{"Driver\\cam.inf", "[Manufacturer]\r\nVelmora\r\n[Velmora\r\n"}},
     {{Rule::kInfNotReadable, "Camera1", 2,
       "Windows' setup API does not read the INF \"Driver\\cam.inf\" (line 3: a section name "
       "without its closing ']'): pnputil installs nothing"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"Utf16LeWithoutByteOrderMark", kInfIni,
     {{"Driver\\cam.inf", Utf16Le(kSignedInf).substr(2)}, {"Driver\\cam.cat", "cat"}},
     {{Rule::kInfNotReadable, "Camera1", 2,
       "; it holds NUL bytes, as UTF-16 text without its byte-order mark does, which is read "
       "as ANSI): pnputil installs nothing"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"InfWithoutSignature", kInfIni, {{"Driver\\cam.inf", Utf16Le("[Version]\r\nClass=X\r\n")}},
     {{Rule::kInfNotReadable, "Camera1", 2,
       "(no Signature of \"$Windows NT$\" or \"$Chicago$\" in [Version])"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "UTF-16LE"},
    // A missing INF is only missing; a model without PID has no codes to compare.
    {"InfMissing", kInfIni, {},
     {{Rule::kMissingInstaller, "Camera1", 2, "the installer \"Driver\\cam.inf\" is missing"}},
     InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install"},
    {"InfWithoutPid", "[Camera1]\r\nPath=Driver\\cam.inf\r\n",
     {{"Driver\\cam.inf", kSignedInf}, {"Driver\\cam.cat", "cat"}},
     {{Rule::kNoPid, "Camera1", 1, "no PID"}}, InstallerForm::kDriverPackage,
     "\"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"{dir}\\Driver\\cam.inf\" /install",
     "ANSI"},
    {"MsiWithTheSignature", "[Camera1]\r\nPath=Msi\\driver.msi /qn\r\nPID=0C01\r\n",
     {{"Msi\\driver.msi", kCompoundFile + std::string(600, '\0')}}, {},
     InstallerForm::kWindowsInstaller,
     "\"C:\\Windows\\system32\\msiexec.exe\" /i \"{dir}\\Msi\\driver.msi\" /qn"},
    {"MsiWithoutTheSignature", "[Camera1]\r\nPath=Msi\\driver.msi /qn\r\nPID=0C01\r\n",
     {{"Msi\\driver.msi", "MZ, not an MSI"}},
     {{Rule::kNotAnMsi, "Camera1", 2,
       "the MSI package \"Msi\\driver.msi\" is not one: it does not start with the OLE "
       "compound-file signature D0 CF 11 E0 A1 B1 1A E1"}},
     InstallerForm::kWindowsInstaller,
     "\"C:\\Windows\\system32\\msiexec.exe\" /i \"{dir}\\Msi\\driver.msi\" /qn"},
    {"MsiShorterThanTheSignature", "[Camera1]\r\nPath=x.MSI\r\nPID=0C01\r\n",
     {{"x.MSI", kCompoundFile.substr(0, 7)}}, {{Rule::kNotAnMsi, "Camera1", 2, "\"x.MSI\""}},
     InstallerForm::kWindowsInstaller,
     "\"C:\\Windows\\system32\\msiexec.exe\" /i \"{dir}\\x.MSI\""},
    {"MsiMissing", "[Camera1]\r\nPath=x.msi\r\nPID=0C01\r\n", {},
     {{Rule::kMissingInstaller, "Camera1", 2, "\"x.msi\" is missing"}},
     InstallerForm::kWindowsInstaller,
     "\"C:\\Windows\\system32\\msiexec.exe\" /i \"{dir}\\x.msi\""},
    {"Program", "[Camera1]\r\nPath=A\\setup /S\r\nPID=0A01\r\n", {{"A\\setup.exe", "MZ"}}, {},
     InstallerForm::kProgram, "\"{dir}\\A\\setup.exe\" /S"},
};

class PackageTest : public camsetup::testing::PackageTest<PackageCase> {};

void Write(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

Report CheckAt(const std::string& dir) {
  const std::optional<CodePageText> text = CodePageText::Open(1252);
  EXPECT_TRUE(text.has_value());
  PosixPlatform host;
  const Utf8Text host_text;
  const CheckOptions options{dir, dir + "/setup.ini", dir + "\\", false, std::nullopt, false};
  return Check(options, PosixCheckHost(host, options.folder, *text, host_text));
}

TEST_P(PackageTest, FindingsFormAndCommand) {
  const PackageCase& c = GetParam();
  Write(dir_ + "/setup.ini", c.ini);
  for (const auto& [name, bytes] : c.files) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    Write(dir_ + "/" + path, bytes);
  }
  const Report report = CheckAt(dir_);

  std::string all;
  for (const Finding& f : report.findings) all += f.section + ": " + f.message + "\n";
  ASSERT_EQ(report.findings.size(), c.findings.size()) << all;
  for (std::size_t i = 0; i < c.findings.size(); ++i) {
    const Finding& f = report.findings[i];
    EXPECT_EQ(DescribeRule(f.rule).id, DescribeRule(c.findings[i].rule).id) << f.message;
    EXPECT_EQ(f.severity, W) << f.message;
    EXPECT_EQ(f.section, c.findings[i].section) << f.message;
    EXPECT_EQ(f.line, c.findings[i].line) << f.message;
    EXPECT_NE(f.message.find(c.findings[i].text), std::string::npos)
        << f.message << "\n  lacks: " << c.findings[i].text;
  }
  EXPECT_EQ(report.ExitStatus(), c.findings.empty() ? 0 : 1);

  ASSERT_FALSE(report.models.empty());
  const ModelReport& m = report.models[0];
  EXPECT_EQ(m.form, c.form);
  std::string command = c.command;
  command.replace(command.find("{dir}"), 5, dir_);
  EXPECT_EQ(m.command, command);
  EXPECT_EQ(m.inf.has_value(), c.encoding.has_value());
  if (m.inf && c.encoding) {
    EXPECT_EQ(m.inf->encoding, *c.encoding);
    if (!c.hardware_ids.empty()) {
      EXPECT_EQ(m.inf->hardware_ids, c.hardware_ids);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PackageTest, ::testing::ValuesIn(kPackageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The text report: each model's form and command, and what was read of an
// INF.
TEST(CheckTextForms, FormCommandAndInf) {
  char pattern[] = "/tmp/camsetup-check-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  Write(dir + "/setup.ini",
        "[Camera1]\r\nPath=A\\setup.exe /S\r\nPID=0A01\r\n[Camera2]\r\nPath=M\\d.msi\r\n"
        "PID=0C01\r\n[Camera3]\r\nPath=D\\cam.inf\r\nPID=0B01\r\n");
  Write(dir + "/A/setup.exe", "MZ");
  Write(dir + "/M/d.msi", kCompoundFile);
  Write(dir + "/D/cam.inf", Utf16Le(kSignedInf));
  const std::string text = RenderText(CheckAt(dir));
  std::filesystem::remove_all(dir);
  const std::string expected =
      "  Camera1 (line 1): A\\setup.exe\n"
      "    switches: /S\n"
      "    form: program\n"
      "    command: \"" + dir + "\\A\\setup.exe\" /S  (then the launcher's own arguments)\n"
      "    signature: none: not a program\n"
      "    codes: 0A01\n"
      "  Camera2 (line 4): M\\d.msi\n"
      "    form: MSI package\n"
      "    command: \"C:\\Windows\\system32\\msiexec.exe\" /i \"" + dir +
      "\\M\\d.msi\"  (then the launcher's own arguments)\n"
      "    signature: not verified here: an MSI package's signature is verified only on "
      "Windows\n"
      "    codes: 0C01\n"
      "  Camera3 (line 7): D\\cam.inf\n"
      "    form: INF driver package\n"
      "    command: \"C:\\Windows\\Sysnative\\pnputil.exe\" /add-driver \"" + dir +
      "\\D\\cam.inf\" /install  (the launcher's own arguments are not passed to pnputil)\n"
      "    INF: UTF-16LE, catalog cam.cat (CatalogFile, missing)\n"
      "    hardware IDs:\n"
      "      Velmora.NTamd64 (x64): USB\\VID_5A3D&PID_0B01&MI_00, USB\\VID_5A3D&PID_0B01\n"
      "    codes: 0B01\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

}  // namespace
}  // namespace camsetup::check
