// The installer launch and the whole run sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

const std::string kSi = "si{cb=" + std::to_string(sizeof(StartupInfo)) + "}";
const std::string kClassDevs =
    "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> set";

FakeDevice Camera(const std::string& id) {
  FakeDevice device;
  device.hardware_ids = MultiString({id});
  return device;
}

std::string CreateCall(const std::string& command_line, bool ok) {
  return "CreateProcessA(null, " + command_line + ", null, null, FALSE, 0x20, null, null, " +
         kSi + ", pi{0}) -> " + (ok ? "TRUE" : "FALSE");
}

std::string Box(const std::string& text) {
  return "MessageBoxA(null, " + text + ", Error info, 0x40)";
}

const std::string kWaited = "WaitForSingleObject(process, 0xFFFFFFFF) -> 0x0";

// Loads a two-model package, then runs the scan-and-launch step alone.
struct LaunchRun {
  Harness h{{{"Camera1", "Path", "ModelA\\setup.exe"},
             {"Camera1", "PID", "ABCD"},
             {"Camera2", "Path", "Model B\\set up.exe"},
             {"Camera2", "PID", "EFGH"}}};
  int result = -1;

  LaunchRun() { h.platform.AddFile("C:\\Pkg\\Model B\\set up.exe"); }

  std::vector<std::string> Calls(const std::string& name) const {
    std::vector<std::string> found;
    for (const std::string& call : h.platform.calls) {
      if (call.rfind(name, 0) == 0) found.push_back(call);
    }
    return found;
  }
  void Run(const std::string& tail) {
    h.launcher->CaptureArgumentTail(tail.c_str());
    ASSERT_EQ(h.launcher->LoadCameraTable(), 1);
    h.platform.calls.clear();
    result = h.launcher->ScanAndLaunch();
  }
};

struct LaunchCase {
  CAMSETUP_PRINTS_NAME(LaunchCase)
  const char* name;
  std::function<void(FakePlatform&)> setup;
  std::string tail;
  int result;
  std::vector<std::string> messages;
  std::vector<std::string> debug_output;  // OutputDebugStringA calls
  bool started;
};

std::string Debug(const std::string& text) { return "OutputDebugStringA(" + text + ")"; }

const LaunchCase kLaunchCases[] = {
    {"NoDeviceSet", [](FakePlatform& p) { p.fail_get_class_devs = true; }, "/S", 0,
     {"enumeration fail"}, {}, false},
    {"EnumerationFailed",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_enum_at_index = 1;
       p.fail_enum_error = 1167;
     },
     "/S", 0, {"Get Error code"}, {}, false},
    {"EnumerationEndedWithZeroIsClean",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_enum_at_index = 1;
       p.fail_enum_error = 0;
     },
     "", 1, {}, {Debug("\"C:\\Pkg\\ModelA\\setup.exe\"")}, true},
    {"NotFoundNoArguments", [](FakePlatform&) {}, "", 1,
     {"Velmora Webcam Device(Oskendal) was not found!"}, {Debug("")}, false},
    {"NotFoundWithArguments", [](FakePlatform& p) { p.devices = {Camera("USB\\VID_1234")}; },
     "/S /v\"x y\"", 1, {"Velmora Webcam Device(Oskendal) was not found!"},
     {Debug(" /S /v\"x y\"")}, false},
    {"StartFails",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_create_process = true;
     },
     "/S", 0, {"Run driver insatll fail"}, {Debug("\"C:\\Pkg\\ModelA\\setup.exe\" /S")}, true},
    {"ProcessCloseFails",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_close_process = true;
     },
     "", 1, {"1.Error code=6"}, {Debug("\"C:\\Pkg\\ModelA\\setup.exe\"")}, true},
    {"ThreadCloseFails",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_close_thread = true;
       p.close_error = 0xFFFFFFFF;  // shown as a signed number
     },
     "", 1, {"2.Error code=-1"}, {Debug("\"C:\\Pkg\\ModelA\\setup.exe\"")}, true},
    {"BothClosesFail",
     [](FakePlatform& p) {
       p.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
       p.fail_close_process = true;
       p.fail_close_thread = true;
     },
     "", 1, {"1.Error code=6", "2.Error code=6"}, {Debug("\"C:\\Pkg\\ModelA\\setup.exe\"")},
     true},
    {"Started", [](FakePlatform& p) { p.devices = {Camera("USB\\VID_5A3D&PID_EFGH")}; }, "/S",
     1, {}, {Debug("\"C:\\Pkg\\Model B\\set up.exe\" /S")}, true},
};

class LaunchTest : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTest, OutcomeMessagesAndStart) {
  const LaunchCase& c = GetParam();
  LaunchRun run;
  c.setup(run.h.platform);
  run.Run(c.tail);

  EXPECT_EQ(run.result, c.result);
  EXPECT_EQ(run.h.platform.messages, c.messages);
  EXPECT_EQ(run.Calls("OutputDebugStringA"), c.debug_output);
  EXPECT_EQ(run.Calls("CreateProcessA").size(), c.started ? 1u : 0u);
  // Whatever the path, nothing stays open once the step has ended.
  EXPECT_EQ(run.h.platform.open_device_sets(), 0);
  EXPECT_EQ(run.h.platform.open_kernel_handles(), 0);
  EXPECT_EQ(run.h.platform.live_heap_blocks(), 0);
  // The debugger output comes before any message.
  const auto& calls = run.h.platform.calls;
  const auto debug = std::find_if(calls.begin(), calls.end(), [](const std::string& s) {
    return s.rfind("OutputDebugStringA", 0) == 0;
  });
  const auto box = std::find_if(calls.begin(), calls.end(), [](const std::string& s) {
    return s.rfind("MessageBoxA", 0) == 0;
  });
  if (debug != calls.end()) {
    EXPECT_LT(debug - calls.begin(), box - calls.begin());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LaunchTest, ::testing::ValuesIn(kLaunchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// After the scan: release, compose, tell the debugger, start, wait, close
// the process handle and then the thread handle.
TEST(LaunchSequence, StartWaitThenCloseProcessBeforeThread) {
  LaunchRun run;
  run.h.platform.devices = {Camera("USB\\VID_5A3D&PID_EFGH")};
  run.Run("/S");
  const std::string command = "\"C:\\Pkg\\Model B\\set up.exe\" /S";
  const auto& calls = run.h.platform.calls;
  const auto release = std::find(calls.begin(), calls.end(), "SetupDiDestroyDeviceInfoList(set)");
  ASSERT_NE(release, calls.end());
  const std::vector<std::string> expected = {
      "SetupDiDestroyDeviceInfoList(set)",
      "GetFileAttributesA(C:\\Pkg\\Model B\\set up.exe) -> 0x80",
      Debug(command),
      "GetImageCertificateTableSize -> 0",
      CreateCall(command, true),
      kWaited,
      "CloseHandle(process) -> TRUE",
      "CloseHandle(thread) -> TRUE",
  };
  EXPECT_EQ(std::vector<std::string>(release, calls.end()), expected);
}

TEST(LaunchSequence, FailedClosesReadTheirOwnErrors) {
  LaunchRun run;
  run.h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  run.h.platform.fail_close_process = true;
  run.h.platform.fail_close_thread = true;
  run.Run("");
  const std::vector<std::string> expected =
      Join({{kWaited, "CloseHandle(process) -> FALSE", "GetLastError -> 6"},
            SeenBox("1.Error code=6"),
            {"CloseHandle(thread) -> FALSE", "GetLastError -> 6"},
            SeenBox("2.Error code=6")});
  const auto& calls = run.h.platform.calls;
  ASSERT_GE(calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(calls.end() - expected.size(), calls.end()), expected);
}

// An unclean end of the enumeration composes and starts nothing.
TEST(LaunchSequence, UncleanEnumerationStopsBeforeComposing) {
  LaunchRun run;
  run.h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  run.h.platform.fail_enum_at_index = 0;
  run.h.platform.fail_enum_error = 1784;
  run.Run("/S");
  const std::vector<std::string> expected =
      Join({{kClassDevs,
             "SetupDiEnumDeviceInfo(set, 0, cbSize=" + std::to_string(sizeof(DevInfoData)) +
                 ") -> FALSE",
             "GetLastError -> 1784"},
            SeenBox("Get Error code"),
            {"SetupDiDestroyDeviceInfoList(set)"}});
  EXPECT_EQ(run.h.platform.calls, expected);
  EXPECT_EQ(run.result, 0);
}

struct CommandCase {
  CAMSETUP_PRINTS_NAME(CommandCase)
  const char* name;
  std::string hardware_id;
  std::string tail;
  std::string command_line;
};

class CommandLineTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLineTest, ExactCreateProcessCall) {
  const CommandCase& c = GetParam();
  LaunchRun run;
  run.h.platform.devices = {Camera(c.hardware_id)};
  run.Run(c.tail);
  EXPECT_EQ(run.Calls("CreateProcessA"),
            std::vector<std::string>{CreateCall(c.command_line, true)});
}

const CommandCase kCommandCases[] = {
    {"NoArguments", "USB\\VID_5A3D&PID_ABCD", "", "\"C:\\Pkg\\ModelA\\setup.exe\""},
    {"Arguments", "USB\\VID_5A3D&PID_ABCD", "/S  /D=\"C:\\x\" ",
     "\"C:\\Pkg\\ModelA\\setup.exe\" /S  /D=\"C:\\x\" "},
    {"PathWithBlanksQuoted", "USB\\VID_5A3D&PID_EFGH", "-q",
     "\"C:\\Pkg\\Model B\\set up.exe\" -q"},
    {"LongestTail", "USB\\VID_5A3D&PID_ABCD", std::string(254, 'a'),
     "\"C:\\Pkg\\ModelA\\setup.exe\" " + std::string(254, 'a')},
    {"OverlongTailDropped", "USB\\VID_5A3D&PID_ABCD", std::string(255, 'a'),
     "\"C:\\Pkg\\ModelA\\setup.exe\""},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The longest install path and the longest tail fit the command buffer.
TEST(LaunchSequence, LongestPathAndTailFit) {
  Harness h;
  h.platform.module_path = "C:\\ddd\\camsetup.exe";
  const std::string token(248, 'p');
  h.platform.SetProfile("C:\\ddd\\setup.ini", "Camera1", "Path", token);
  h.platform.SetProfile("C:\\ddd\\setup.ini", "Camera1", "PID", "ABCD");
  h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  const std::string tail(254, 't');
  h.launcher->Run(tail.c_str());
  // The Path has no extension, so the program is named with ".exe".
  const std::string command = "\"C:\\ddd\\" + token + ".exe\" " + tail;
  EXPECT_EQ(command.size(), 516u);
  EXPECT_EQ(h.launcher->launch_command(), command);
  EXPECT_TRUE(h.platform.messages.empty());
}

// The typical run: from the process's command line to the closed handles.
TEST(RunSequence, TypicalRun) {
  Harness h({{"Camera1", "Path", "Cam1\\setup.exe"},
             {"Camera1", "PID", "1111"},
             {"Camera2", "Path", "Cam2\\setup.exe"},
             {"Camera2", "PID", "ABCD"}});
  h.platform.command_line = "\"C:\\Pkg\\camsetup.exe\" /S";
  h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD&REV_0100")};

  const char* tail = DeriveCommandLineTail(h.platform.GetCommandLineA(), h.platform);
  EXPECT_EQ(h.launcher->Run(tail), 0);

  const std::string ini = ", 0, 255, C:\\Pkg\\setup.ini)";
  const std::string record = ", cbSize=" + std::to_string(sizeof(DevInfoData)) + ") -> ";
  const std::string command = "\"C:\\Pkg\\Cam2\\setup.exe\" /S";
  const std::vector<std::string> expected = {
      "GetCommandLineA",
      "GetModuleFileNameA(300) -> 19",
      ExitCodeRead(),
      "GetPrivateProfileStringA(Camera1, Path" + ini,
      "GetPrivateProfileStringA(Camera1, PID" + ini,
      "GetPrivateProfileStringA(Camera2, Path" + ini,
      "GetPrivateProfileStringA(Camera2, PID" + ini,
      "GetPrivateProfileStringA(Camera3, Path" + ini,
      kClassDevs,
      "SetupDiEnumDeviceInfo(set, 0" + record + "TRUE",
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, null, 0) -> FALSE",
      "GetLastError -> 122",
      "HeapAlloc(64) -> block1",
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, block1, 32) -> TRUE",
      "SetupDiEnumDeviceInfo(set, 1" + record + "FALSE",
      "GetLastError -> 259",
      "HeapFree(block1)",
      "SetupDiDestroyDeviceInfoList(set)",
      Debug(command),
      "GetImageCertificateTableSize -> 0",
      CreateCall(command, true),
      kWaited,
      "CloseHandle(process) -> TRUE",
      "CloseHandle(thread) -> TRUE",
  };
  EXPECT_EQ(h.platform.calls, expected);
  EXPECT_STREQ(h.launcher->argument_tail(), " /S");
}

// A rejected table ends the run: no device is looked at, and the exit code
// is still 0.
TEST(RunSequence, RejectedTableEndsRun) {
  Harness h({{"Camera1", "Path", std::string(260, 'x')}});
  h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  EXPECT_EQ(h.launcher->Run("/S"), 0);
  EXPECT_EQ(h.platform.calls.back(), Box("Camera1 Path string too long > 250 character"));
  for (const std::string& call : h.platform.calls) {
    EXPECT_EQ(call.find("SetupDi"), std::string::npos) << call;
  }
}

TEST(RunSequence, ExitCodeZeroWhateverTheOutcome) {
  for (bool fail_start : {false, true}) {
    Harness h({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}});
    h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
    h.platform.fail_create_process = fail_start;
    EXPECT_EQ(h.launcher->Run(""), 0) << "fail_start=" << fail_start;
  }
}


// ---- The program within the package ----

struct ProgramCase {
  CAMSETUP_PRINTS_NAME(ProgramCase)
  const char* name;
  std::string module_path;
  std::string path_value;  // Camera1's Path
  std::vector<std::string> files;
  std::vector<std::string> folders;
  std::string command;  // what CreateProcessA gets, with the tail " /S"
  std::vector<std::string> looked_up;  // GetFileAttributesA calls, in order
};

const ProgramCase kProgramCases[] = {
    {"NoBlankNoLookup", kModulePath, "ModelA\\setup.exe", {}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe\" /S", {}},
    {"WholePathWithBlanksNamesFile", kModulePath, "Model B\\set up.exe",
     {"C:\\Pkg\\Model B\\set up.exe", "C:\\Pkg\\Model.exe"}, {},
     "\"C:\\Pkg\\Model B\\set up.exe\" /S", {"C:\\Pkg\\Model B\\set up.exe"}},
    {"Switches", kModulePath, "ModelA\\setup.exe /quiet /norestart",
     {"C:\\Pkg\\ModelA\\setup.exe"}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe\" /quiet /norestart /S",
     {"C:\\Pkg\\ModelA\\setup.exe /quiet /norestart.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    // Without an extension, only the name with ".exe" is tried, for the
    // whole path as for a prefix, and the command names that file: a plain
    // file or a folder of the bare name beside it is never what starts.
    {"ProgramWithoutExtension", kModulePath, "ModelA\\setup /quiet",
     {"C:\\Pkg\\ModelA\\setup.exe", "C:\\Pkg\\ModelA\\setup"}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe\" /quiet /S",
     {"C:\\Pkg\\ModelA\\setup /quiet.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    {"ProgramWithoutExtensionBesideFolder", kModulePath, "ModelA\\setup /quiet",
     {"C:\\Pkg\\ModelA\\setup.exe"}, {"C:\\Pkg\\ModelA\\setup"},
     "\"C:\\Pkg\\ModelA\\setup.exe\" /quiet /S",
     {"C:\\Pkg\\ModelA\\setup /quiet.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    {"WholePathWithoutExtension", kModulePath, "Model B\\set up",
     {"C:\\Pkg\\Model B\\set up.exe", "C:\\Pkg\\Model.exe"}, {},
     "\"C:\\Pkg\\Model B\\set up.exe\" /S", {"C:\\Pkg\\Model B\\set up.exe"}},
    // Without blanks nothing is looked up, and the name still gets ".exe".
    {"NoBlankWithoutExtension", kModulePath, "ModelA\\setup",
     {"C:\\Pkg\\ModelA\\setup.exe", "C:\\Pkg\\ModelA\\setup"}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe\" /S", {}},
    {"NothingExistsWithoutExtension", kModulePath, "ModelA\\setup /quiet",
     {"C:\\Pkg\\ModelA\\setup"}, {}, "\"C:\\Pkg\\ModelA\\setup /quiet.exe\" /S",
     {"C:\\Pkg\\ModelA\\setup /quiet.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    {"ExtensionGivenNoExeAppended", kModulePath, "ModelA\\setup.v2 /quiet",
     {"C:\\Pkg\\ModelA\\setup.v2.exe"}, {}, "\"C:\\Pkg\\ModelA\\setup.v2 /quiet.exe\" /S",
     {"C:\\Pkg\\ModelA\\setup.v2 /quiet.exe", "C:\\Pkg\\ModelA\\setup.v2"}},
    // A dot in a folder's name is no extension of the file's.
    {"DotInFolderOnly", kModulePath, "My.Tools\\setup /q", {"C:\\Pkg\\My.Tools\\setup.exe"},
     {}, "\"C:\\Pkg\\My.Tools\\setup.exe\" /q /S",
     {"C:\\Pkg\\My.Tools\\setup /q.exe", "C:\\Pkg\\My.Tools\\setup.exe"}},
    // Nothing is found: the command names what was looked for last, the
    // whole path, so the start fails rather than take another file. A '/'
    // separates names, so "quiet" has no extension and gets ".exe".
    {"NothingExists", kModulePath, "ModelA\\setup.exe /quiet", {}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe /quiet.exe\" /S",
     {"C:\\Pkg\\ModelA\\setup.exe /quiet.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    {"ShortestPrefixFirst", kModulePath, "Model A\\setup.exe /q",
     {"C:\\Pkg\\Model.exe", "C:\\Pkg\\Model A\\setup.exe"}, {},
     "\"C:\\Pkg\\Model.exe\" A\\setup.exe /q /S",
     {"C:\\Pkg\\Model A\\setup.exe /q.exe", "C:\\Pkg\\Model.exe"}},
    // A file named like the prefix without an extension is never tried: the
    // system would look for Model.exe there and go on.
    {"BareNameAtPrefixNotTried", kModulePath, "Model C\\setup.exe /q",
     {"C:\\Pkg\\Model", "C:\\Pkg\\Model C\\setup.exe"}, {},
     "\"C:\\Pkg\\Model C\\setup.exe\" /q /S",
     {"C:\\Pkg\\Model C\\setup.exe /q.exe", "C:\\Pkg\\Model.exe",
      "C:\\Pkg\\Model C\\setup.exe"}},
    {"PrefixNamingFolderSkipped", kModulePath, "Model A\\setup.exe /q",
     {"C:\\Pkg\\Model A\\setup.exe"}, {"C:\\Pkg\\Model", "C:\\Pkg\\Model.exe"},
     "\"C:\\Pkg\\Model A\\setup.exe\" /q /S",
     {"C:\\Pkg\\Model A\\setup.exe /q.exe", "C:\\Pkg\\Model.exe",
      "C:\\Pkg\\Model A\\setup.exe"}},
    {"Tab", kModulePath, "ModelA\\setup.exe\t/quiet", {"C:\\Pkg\\ModelA\\setup.exe"}, {},
     "\"C:\\Pkg\\ModelA\\setup.exe\"\t/quiet /S",
     {"C:\\Pkg\\ModelA\\setup.exe\t/quiet.exe", "C:\\Pkg\\ModelA\\setup.exe"}},
    // The folder's own blanks are never a place to cut: no program at a
    // prefix of the folder is looked at, let alone started.
    {"BlanksInFolderOnly", "C:\\My Drivers\\camsetup.exe", "ModelA\\setup.exe",
     {"C:\\My.exe"}, {}, "\"C:\\My Drivers\\ModelA\\setup.exe\" /S", {}},
    {"BlanksInFolderAndSwitches", "C:\\My Drivers\\camsetup.exe", "ModelA\\setup.exe /q",
     {"C:\\My.exe", "C:\\My Drivers\\ModelA\\setup.exe"}, {},
     "\"C:\\My Drivers\\ModelA\\setup.exe\" /q /S",
     {"C:\\My Drivers\\ModelA\\setup.exe /q.exe", "C:\\My Drivers\\ModelA\\setup.exe"}},
    {"BlankAtTokenStartIsNoPrefix", kModulePath, "' setup.exe /q'", {"C:\\Pkg\\ setup.exe"},
     {}, "\"C:\\Pkg\\ setup.exe\" /q /S",
     {"C:\\Pkg\\ setup.exe /q.exe", "C:\\Pkg\\ setup.exe"}},
};

class ProgramTest : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramTest, ComposesCommandFromPackage) {
  const ProgramCase& c = GetParam();
  const std::string folder = c.module_path.substr(0, c.module_path.rfind('\\') + 1);
  Harness h({{"Camera1", "Path", c.path_value}, {"Camera1", "PID", "ABCD"}},
            folder + "setup.ini");
  h.platform.module_path = c.module_path;
  for (const std::string& f : c.files) h.platform.AddFile(f);
  for (const std::string& f : c.folders) h.platform.AddFolder(f);
  h.platform.devices = {Camera("USB\\VID_5A3D&PID_ABCD")};
  EXPECT_EQ(h.launcher->Run("/S"), 0);

  std::vector<std::string> looked_up;
  std::vector<std::string> created;
  std::vector<std::string> debug;
  for (const std::string& call : h.platform.calls) {
    if (call.rfind("GetFileAttributesA(", 0) == 0) {
      looked_up.push_back(call.substr(19, call.rfind(") -> ") - 19));
    }
    if (call.rfind("CreateProcessA", 0) == 0) created.push_back(call);
    if (call.rfind("OutputDebugStringA", 0) == 0) debug.push_back(call);
  }
  EXPECT_EQ(looked_up, c.looked_up);
  EXPECT_EQ(created, std::vector<std::string>{CreateCall(c.command, true)});
  EXPECT_EQ(debug, std::vector<std::string>{Debug(c.command)});
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramTest, ::testing::ValuesIn(kProgramCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What the checker reads of the same rule.
TEST(FindInstallProgram, ReportsLookupAndFind) {
  FakePlatform p;
  p.AddFile("C:\\Pkg\\ModelA\\setup.exe");
  const InstallProgram plain = FindInstallProgram("C:\\Pkg\\ModelA\\setup.exe", 7, p);
  EXPECT_EQ(plain.length, 23u);
  EXPECT_FALSE(plain.looked_up);
  const InstallProgram switches = FindInstallProgram("C:\\Pkg\\ModelA\\setup.exe /q", 7, p);
  EXPECT_EQ(switches.length, 23u);
  EXPECT_TRUE(switches.looked_up);
  EXPECT_TRUE(switches.found);
  const InstallProgram missing = FindInstallProgram("C:\\Pkg\\ModelB\\setup.exe /q", 7, p);
  EXPECT_EQ(missing.length, 26u);
  EXPECT_TRUE(missing.looked_up);
  EXPECT_FALSE(missing.found);
  EXPECT_FALSE(plain.appended_extension || switches.appended_extension);
  // Not found: the whole path, whose last name ("q") has no extension.
  EXPECT_TRUE(missing.appended_extension);
  const InstallProgram bare = FindInstallProgram("C:\\Pkg\\ModelA\\setup /q", 7, p);
  EXPECT_EQ(bare.length, 19u);
  EXPECT_TRUE(bare.found);
  EXPECT_TRUE(bare.appended_extension);
}

}  // namespace
}  // namespace camsetup::testing
