// The device matcher: which install path a set of present devices selects.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup::testing {
namespace {

struct ModelIni {
  std::string path;  // Path value
  std::optional<std::string> pid;  // PID value, or none for a missing key
};

struct MatchCase {
  CAMSETUP_PRINTS_NAME(MatchCase)
  const char* name;
  std::vector<ModelIni> models;
  std::vector<FakeDevice> devices;  // in enumeration order
  std::string expected;             // LaunchCommand after the scan
  bool japanese = false;
};

FakeDevice RawDevice(const std::string& bytes) {
  FakeDevice device;
  device.hardware_ids = bytes;
  return device;
}
FakeDevice Device(const std::vector<std::string>& ids) { return RawDevice(MultiString(ids)); }
FakeDevice Unreadable(Dword error) {
  FakeDevice device;
  device.property_error = error;
  return device;
}

// Loads `models` into a fresh launcher.
void LoadModels(Harness& h, const std::vector<ModelIni>& models) {
  for (std::size_t i = 0; i < models.size(); ++i) {
    const std::string section = "Camera" + std::to_string(i + 1);
    h.platform.SetProfile(kSetupIni, section, "Path", models[i].path);
    if (models[i].pid) h.platform.SetProfile(kSetupIni, section, "PID", *models[i].pid);
  }
  ASSERT_EQ(h.launcher->LoadCameraTable(), 1);
  ASSERT_EQ(h.launcher->camera_table().model_count, static_cast<int>(models.size()));
  h.platform.calls.clear();
}

const std::vector<ModelIni> kTwoModels = {{"a.exe", "ABCD"}, {"b.exe", "EFGH,IJKL"}};
const std::string kA = "C:\\Pkg\\a.exe";
const std::string kB = "C:\\Pkg\\b.exe";

const MatchCase kMatchCases[] = {
    {"TypicalRun", kTwoModels, {Device({"USB\\VID_5A3D&PID_IJKL&REV_0100"})}, kB},
    {"FirstModel", kTwoModels, {Device({"USB\\VID_5A3D&PID_ABCD&REV_0100"})}, kA},
    {"NoDevices", kTwoModels, {}, ""},
    {"OtherVendor", kTwoModels, {Device({"USB\\VID_1234&PID_ABCD&REV_0100"})}, ""},
    {"BothModelsMatchHigherIndexWins", {{"a.exe", "ABCD"}, {"b.exe", "0100"}},
     {Device({"USB\\VID_5A3D&PID_ABCD&REV_0100"})}, kB},
    {"LaterDeviceWinsOverHigherModel", kTwoModels,
     {Device({"USB\\VID_5A3D&PID_EFGH"}), Device({"USB\\VID_5A3D&PID_ABCD"})}, kA},
    {"LaterNonMatchingDeviceKeepsResult", kTwoModels,
     {Device({"USB\\VID_5A3D&PID_EFGH"}), Device({"USB\\VID_5A3D&PID_9999"}),
      Device({"USB\\VID_1234&PID_ABCD"})},
     kB},
    {"VendorAtIndexZeroFails", kTwoModels, {Device({"5A3D\\VID_5A3D&PID_ABCD"})}, ""},
    {"VendorInProductField", kTwoModels, {Device({"USB\\VID_1234&PID_5A3D&REV_ABCD"})}, kA},
    {"LowerCaseHardwareId", kTwoModels, {Device({"usb\\vid_5a3d&pid_abcd&rev_0100"})}, kA},
    {"LowerCaseCodeNeverMatches", {{"a.exe", "abcd"}}, {Device({"usb\\vid_5a3d&pid_abcd"})},
     ""},
    {"CodeAtIndexZeroOnlyFirstCounts", kTwoModels, {Device({"ABCD\\VID_5A3D&PID_ABCD"})}, ""},
    {"MissingPidCodeZeroMatchesAnyZero", {{"a.exe", std::nullopt}},
     {Device({"USB\\VID_5A3D&PID_1234&REV_0100"})}, kA},
    {"CodeZeroNotAtStart", {{"a.exe", std::nullopt}}, {Device({"05A3D&PID_1230"})}, ""},
    {"ShortCodeSearchedUnchanged", {{"a.exe", "AB"}}, {Device({"USB\\VID_5A3D&PID_ABXY"})}, kA},
    {"CodeOnlyInSecondHardwareId", kTwoModels,
     {Device({"USB\\VID_5A3D&PID_9999", "USB\\VID_5A3D&PID_ABCD"})}, ""},
    {"EmptyTable", {}, {Device({"USB\\VID_5A3D&PID_ABCD"})}, ""},
    {"ModelWithoutCodes", {{"a.exe", ""}}, {Device({"USB\\VID_5A3D&PID_ABCD"})}, ""},
    {"UnreadableThenMatching", kTwoModels,
     {Unreadable(13), Device({"USB\\VID_5A3D&PID_ABCD"})}, kA},
    {"EmptyProperty", kTwoModels, {RawDevice(std::string(2, '\0'))}, ""},
    {"PropertyWithoutTerminator", kTwoModels, {RawDevice("USB\\VID_5A3D&PID_ABCD")}, kA},
    // Code page 932: a lead byte and its trail byte are one character.
    {"TrailByteNotUpperCased", {{"a.exe", "ABCD"}}, {Device({"USB\\VID_5A3D\x83" "aBCD"})}, "",
     true},
    {"NoMatchStartingAtTrailByte", {{"a.exe", "ABCD"}}, {Device({"USB\\VID_5A3D\x83" "ABCD"})},
     "", true},
    {"VendorNotAtTrailByte", {{"a.exe", "ABCD"}}, {Device({"USB\\VID_\x83" "5A3D&PID_ABCD"})},
     "", true},
    {"DoubleByteCharacterUpperCased", {{"a.exe", "\x82\x60"}},
     {Device({"USB\\VID_5A3D&PID_\x82\x81"})}, kA, true},
    {"MatchAfterDoubleByteCharacter", {{"a.exe", "ABCD"}},
     {Device({"USB\\\x83\x41VID_5A3D&PID_abcd"})}, kA, true},
};

class MatcherTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatcherTest, SelectsInstallPath) {
  const MatchCase& c = GetParam();
  Harness h;
  if (c.japanese) h.platform.code_page = CodePageTable::Japanese932();
  LoadModels(h, c.models);
  h.platform.devices = c.devices;

  h.launcher->FindCameraInstaller();

  EXPECT_EQ(std::string(h.launcher->launch_command()), c.expected);
  EXPECT_EQ(h.platform.live_heap_blocks(), 0);
  EXPECT_LE(h.platform.max_live_heap_blocks(), 1);
  EXPECT_EQ(h.platform.open_device_sets(), 1) << "the set is handed on open";
  EXPECT_TRUE(h.platform.messages.empty());
  for (const std::string& call : h.platform.calls) {
    EXPECT_EQ(call.find("overrun"), std::string::npos) << call;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MatcherTest, ::testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string EnumCall(int index, bool ok) {
  return "SetupDiEnumDeviceInfo(set, " + std::to_string(index) +
         ", cbSize=" + std::to_string(sizeof(DevInfoData)) + ") -> " + (ok ? "TRUE" : "FALSE");
}

TEST(MatcherProtocol, EachDeviceStartsWithSizeZeroAndGetsFreshDoubleBlock) {
  Harness h;
  LoadModels(h, kTwoModels);
  const std::string id0 = MultiString({"USB\\VID_5A3D&PID_ABCD"});  // 23 bytes
  const std::string id1 = MultiString({"USB\\VID_5A3D&PID_EFGH&REV_0001", "USB\\X"});
  h.platform.devices = {RawDevice(id0), RawDevice(id1)};

  h.launcher->FindCameraInstaller();

  const std::string n0 = std::to_string(id0.size());
  const std::string n1 = std::to_string(id1.size());
  const std::vector<std::string> expected = {
      "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> set",
      EnumCall(0, true),
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, null, 0) -> FALSE",
      "GetLastError -> 122",
      "HeapAlloc(" + std::to_string(2 * id0.size()) + ") -> block1",
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, block1, " + n0 + ") -> TRUE",
      EnumCall(1, true),
      "SetupDiGetDeviceRegistryPropertyA(set, dev1, 1, block1, 0) -> FALSE",
      "GetLastError -> 122",
      "HeapFree(block1)",
      "HeapAlloc(" + std::to_string(2 * id1.size()) + ") -> block2",
      "SetupDiGetDeviceRegistryPropertyA(set, dev1, 1, block2, " + n1 + ") -> TRUE",
      EnumCall(2, false),
      "GetLastError -> 259",
      "HeapFree(block2)",
  };
  EXPECT_EQ(h.platform.calls, expected);
  EXPECT_EQ(std::string(h.launcher->launch_command()), kB);
  EXPECT_EQ(h.platform.max_live_heap_blocks(), 1);
}

TEST(MatcherProtocol, NoDevicesReadsNothing) {
  Harness h;
  LoadModels(h, kTwoModels);
  h.launcher->FindCameraInstaller();
  const std::vector<std::string> expected = {
      "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> set",
      EnumCall(0, false),
      "GetLastError -> 259",
  };
  EXPECT_EQ(h.platform.calls, expected);
  EXPECT_STREQ(h.launcher->launch_command(), "");
}

TEST(MatcherProtocol, FailedAllocationSkipsOnlyThatDevice) {
  Harness h;
  LoadModels(h, kTwoModels);
  h.platform.devices = {Device({"USB\\VID_5A3D&PID_EFGH"}), Device({"USB\\VID_5A3D&PID_ABCD"}),
                        Device({"USB\\VID_5A3D&PID_9999"})};
  h.platform.fail_heap_allocs = {2};  // the second device's block

  h.launcher->FindCameraInstaller();

  EXPECT_EQ(std::string(h.launcher->launch_command()), kB);
  EXPECT_EQ(h.platform.live_heap_blocks(), 0);
  // The third device is still read, with a block of its own.
  EXPECT_EQ(h.platform.calls.back(), "HeapFree(block3)");
}

TEST(MatcherProtocol, PropertyErrorOtherThanInsufficientBufferStopsReading) {
  Harness h;
  LoadModels(h, kTwoModels);
  h.platform.devices = {Unreadable(13)};
  h.launcher->FindCameraInstaller();
  const std::vector<std::string> expected = {
      "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> set",
      EnumCall(0, true),
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, null, 0) -> FALSE",
      "GetLastError -> 13",
      EnumCall(1, false),
      "GetLastError -> 259",
  };
  EXPECT_EQ(h.platform.calls, expected);
}

TEST(MatcherProtocol, NoDeviceSetExaminesNothing) {
  Harness h;
  LoadModels(h, kTwoModels);
  h.platform.fail_get_class_devs = true;
  h.platform.devices = {Device({"USB\\VID_5A3D&PID_ABCD"})};
  h.launcher->FindCameraInstaller();
  const std::vector<std::string> expected = {
      "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> "
      "INVALID_HANDLE_VALUE",
  };
  EXPECT_EQ(h.platform.calls, expected);
  EXPECT_STREQ(h.launcher->launch_command(), "");
  EXPECT_EQ(h.platform.open_device_sets(), 0);
}

// The code handed on is the enumeration's own, taken before the buffer is
// released (which, here, overwrites the last error).
TEST(MatcherProtocol, LastErrorTakenBeforeBufferRelease) {
  Harness h;
  LoadModels(h, kTwoModels);
  h.platform.devices = {Device({"USB\\VID_5A3D&PID_ABCD"}), Device({"USB\\VID_5A3D&PID_ABCD"})};
  h.platform.fail_enum_at_index = 1;
  h.platform.fail_enum_error = 1167;  // ERROR_DEVICE_NOT_CONNECTED
  h.platform.heap_free_sets_last_error = 0;

  h.launcher->FindCameraInstaller();
  const std::vector<std::string> tail(h.platform.calls.end() - 3, h.platform.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{EnumCall(1, false), "GetLastError -> 1167",
                                            "HeapFree(block1)"}));
  EXPECT_EQ(h.launcher->LaunchInstaller(), 0);
  EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Get Error code"});
}

// A platform that keeps asking for no more than it was given cannot hold
// the scan in a loop; the next device is still read.
TEST(MatcherProtocol, ContradictoryRequiredSizeEndsTheRead) {
  Harness h;
  LoadModels(h, kTwoModels);
  FakeDevice stuck = Device({"USB\\VID_5A3D&PID_EFGH"});
  stuck.stuck_required_size = 8;
  h.platform.devices = {stuck, Device({"USB\\VID_5A3D&PID_ABCD"})};

  h.launcher->FindCameraInstaller();

  const std::vector<std::string> expected_start = {
      "SetupDiGetClassDevsA({A5DCBF10-6530-11D2-901F-00C04FB951ED}, null, null, 0x12) -> set",
      EnumCall(0, true),
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, null, 0) -> FALSE",
      "GetLastError -> 122",
      "HeapAlloc(16) -> block1",
      "SetupDiGetDeviceRegistryPropertyA(set, dev0, 1, block1, 8) -> FALSE",
      "GetLastError -> 122",
      EnumCall(1, true),
  };
  ASSERT_GE(h.platform.calls.size(), expected_start.size());
  EXPECT_EQ(std::vector<std::string>(h.platform.calls.begin(),
                                     h.platform.calls.begin() + expected_start.size()),
            expected_start);
  EXPECT_EQ(std::string(h.launcher->launch_command()), kA);
  EXPECT_EQ(h.platform.live_heap_blocks(), 0);
}

// ---- Text operations ----

TEST(FindCode, OccursOnlyPastIndexZeroAndAtCharacterBoundaries) {
  FakePlatform single;
  FakePlatform japanese;
  japanese.code_page = CodePageTable::Japanese932();
  struct Case {
    const char* name;
    std::string text;
    std::string code;
    std::size_t single_index;
    std::size_t japanese_index;
  };
  const std::size_t npos = std::string::npos;
  const Case cases[] = {
      {"EmptyCodeAtZero", "ABC", "", 0, 0},
      {"CodeLongerThanText", "AB", "ABC", npos, npos},
      {"AtStart", "ABCAB", "AB", 0, 0},
      {"Inside", "XABC", "ABC", 1, 1},
      {"AfterTrailByte", "\x83" "AB", "AB", 1, npos},
      {"AfterWholeCharacter", "\x83" "AAB", "AB", 2, 2},
      {"LeadByteAtEnd", "A\x83", "\x83", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindCode(c.text, c.code, single), c.single_index);
    EXPECT_EQ(FindCode(c.text, c.code, japanese), c.japanese_index);
    EXPECT_EQ(CodeOccurs(c.text, c.code, single), c.single_index != npos && c.single_index > 0);
  }
}

TEST(UpperCaseText, ConvertsWholeCharacters) {
  FakePlatform japanese;
  japanese.code_page = CodePageTable::Japanese932();
  std::string text = "usb\\\x83" "a\x82\x81z\x82";  // ends in a lone lead byte
  UpperCaseText(text.data(), text.size(), japanese);
  EXPECT_EQ(text, "USB\\\x83" "a\x82\x60Z\x82");
  FakePlatform single;
  std::string latin = "abc\xe9-xyz";
  UpperCaseText(latin.data(), latin.size(), single);
  EXPECT_EQ(latin, "ABC\xe9-XYZ");
}

}  // namespace
}  // namespace camsetup::testing
