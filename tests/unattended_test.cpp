// Messages where nobody can see a box: who can, and what is written instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "test_support.h"

namespace camsetup::testing {
namespace {

struct VisibilityCase {
  CAMSETUP_PRINTS_NAME(VisibilityCase)
  const char* name;
  std::optional<Dword> station_flags;
  std::optional<Dword> session;
  bool seen;
};

const VisibilityCase kVisibilityCases[] = {
    {"InteractiveDesktop", kWsfVisible, 1, true},
    {"InvisibleWindowStation", 0, 1, false},
    {"OtherFlagsWithoutVisible", 0x0006, 2, false},
    {"SessionZeroService", kWsfVisible, 0, false},
    {"SessionZeroInvisible", 0, 0, false},
    {"StationQueryFailed", std::nullopt, 1, true},
    {"SessionQueryFailed", kWsfVisible, std::nullopt, true},
    {"BothQueriesFailed", std::nullopt, std::nullopt, true},
    {"StationQueryFailedInSessionZero", std::nullopt, 0, false},
};

class BoxVisibilityTest : public ::testing::TestWithParam<VisibilityCase> {};

TEST_P(BoxVisibilityTest, SomeoneCanSeeIt) {
  const VisibilityCase& c = GetParam();
  EXPECT_EQ(BoxCanBeSeen(c.station_flags, c.session), c.seen);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoxVisibilityTest, ::testing::ValuesIn(kVisibilityCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnseenBoxText, CaptionThenText) {
  char line[64];
  UnseenBoxText("Error info", "Velmora Webcam Device(Oskendal) was not found!", line,
                sizeof(line));
  EXPECT_STREQ(line, "Error info: Velmora Webcam Device(Oskendal) was not found!");
}

TEST(UnseenBoxText, CutToBufferAndTerminated) {
  char line[16];
  std::memset(line, 'x', sizeof(line));
  UnseenBoxText("Error info", "Run driver insatll fail", line, 15);
  EXPECT_STREQ(line, "Error info: Ru");
  EXPECT_EQ(line[15], 'x');  // nothing written past the given size
  UnseenBoxText(nullptr, nullptr, line, 4);
  EXPECT_STREQ(line, ": ");
}

// ---- Where nobody sees the box: debugger output and the event log ----

FakeDevice OtherDevice() {
  FakeDevice device;
  device.hardware_ids = MultiString({"USB\\VID_1234&PID_0001"});
  return device;
}

const std::string kNotFound = "Velmora Webcam Device(Oskendal) was not found!";
const std::vector<std::string> kSessionOne = {"GetCurrentProcessId -> 42",
                                              "ProcessIdToSessionId(42) -> 1"};
const std::vector<std::string> kRecord = {
    "OutputDebugStringA(Error info: " + kNotFound + ")",
    "RegisterEventSourceA(null, camsetup) -> source",
    "ReportEventA(source, 0x2, 0, 1008, null, 1, 0, [" + kNotFound + "], null) -> TRUE",
    "DeregisterEventSource(source) -> TRUE"};

struct UnseenCase {
  CAMSETUP_PRINTS_NAME(UnseenCase)
  const char* name;
  std::function<void(FakePlatform&)> setup;
  std::vector<std::string> calls;  // after the command went to the debugger output
  bool recorded;
};

const UnseenCase kUnseenCases[] = {
    {"Seen", [](FakePlatform&) {}, SeenBox(kNotFound), false},
    // In session 0 the window station is not even asked.
    {"SessionZero", [](FakePlatform& p) { p.session_id = 0; },
     Join({{"GetCurrentProcessId -> 42", "ProcessIdToSessionId(42) -> 0"}, kRecord}), true},
    {"InvisibleWindowStation", [](FakePlatform& p) { p.window_station_flags = 0; },
     Join({kSessionOne,
           {"GetProcessWindowStation -> station",
            "GetUserObjectInformationA(station, 1, 12) -> flags 0x0"},
           kRecord}),
     true},
    // No user-interface library (desktop heap exhausted): the queries fail,
    // which counts as seen, and the box fails.
    {"NoBoxCanBeShown",
     [](FakePlatform& p) {
       p.window_station_flags.reset();
       p.fail_message_box = true;
     },
     Join({kSessionOne,
           {"GetProcessWindowStation -> null",
            "MessageBoxA(null, " + kNotFound + ", Error info, 0x40)"},
           kRecord}),
     true},
    // A record that cannot be written changes nothing else.
    {"EventSourceRefused",
     [](FakePlatform& p) {
       p.session_id = 0;
       p.fail_register_event_source = true;
     },
     {"GetCurrentProcessId -> 42", "ProcessIdToSessionId(42) -> 0",
      "OutputDebugStringA(Error info: " + kNotFound + ")",
      "RegisterEventSourceA(null, camsetup) -> null"},
     false},
    {"ReportFailsSourceStillReleased",
     [](FakePlatform& p) {
       p.session_id = 0;
       p.fail_report_event = true;
     },
     {"GetCurrentProcessId -> 42", "ProcessIdToSessionId(42) -> 0",
      "OutputDebugStringA(Error info: " + kNotFound + ")",
      "RegisterEventSourceA(null, camsetup) -> source",
      "ReportEventA(source, 0x2, 0, 1008, null, 1, 0, [" + kNotFound + "], null) -> FALSE",
      "DeregisterEventSource(source) -> TRUE"},
     false},
};

class UnseenMessageTest : public ::testing::TestWithParam<UnseenCase> {};

TEST_P(UnseenMessageTest, DebuggerOutputAndEventLog) {
  const UnseenCase& c = GetParam();
  for (const char* exit_code : {"", "Installer"}) {
    SCOPED_TRACE(exit_code);
    Harness h({{"Launcher", "ExitCode", exit_code},
               {"Camera1", "Path", "a.exe"},
               {"Camera1", "PID", "ABCD"}});
    h.platform.devices = {OtherDevice()};
    c.setup(h.platform);
    EXPECT_EQ(h.launcher->Run(""), *exit_code ? 1167 : 0);

    const auto& calls = h.platform.calls;
    const auto command = std::find(calls.begin(), calls.end(), "OutputDebugStringA()");
    ASSERT_NE(command, calls.end());
    EXPECT_EQ(std::vector<std::string>(command + 1, calls.end()), c.calls);
    EXPECT_EQ(h.platform.events.size(), c.recorded ? 1u : 0u);
    EXPECT_EQ(h.platform.open_event_sources(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnseenMessageTest, ::testing::ValuesIn(kUnseenCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every message has an event ID of its own; the one that reports a missing
// camera, which may be expected on some machines, is a warning.
TEST(UnseenMessage, EachMessageItsOwnEventId) {
  const std::vector<std::function<void(FakePlatform&)>> failures = {
      [](FakePlatform& p) { p.module_path_error = 5; },
      [](FakePlatform& p) { p.module_path_error = kErrorNoUnicodeTranslation; },
      [](FakePlatform& p) { p.SetProfile(kSetupIni, "Camera1", "Path", std::string(251, 'x')); },
      [](FakePlatform& p) { p.SetProfile(kSetupIni, "Camera1", "PID", std::string(252, 'x')); },
      [](FakePlatform& p) {
        p.module_path = "C:\\" + std::string(250, 'd') + "\\camsetup.exe";
        p.SetProfile("C:\\" + std::string(250, 'd') + "\\setup.ini", "Camera1", "Path", "ab.exe");
      },
      [](FakePlatform& p) { p.fail_get_class_devs = true; },
      [](FakePlatform& p) {
        p.fail_enum_at_index = 0;
        p.fail_enum_error = 13;
      },
      [](FakePlatform& p) { p.devices = {OtherDevice()}; },
      [](FakePlatform& p) { p.fail_create_process = true; },
      [](FakePlatform& p) { p.fail_close_process = true; },
      [](FakePlatform& p) { p.fail_close_thread = true; },
  };
  std::map<Dword, std::string> texts_by_id;
  for (const auto& failure : failures) {
    Harness h({{"Camera1", "Path", "a.exe"}, {"Camera1", "PID", "ABCD"}});
    h.platform.devices = {FakeDevice{MultiString({"USB\\VID_5A3D&PID_ABCD"}), 0, std::nullopt}};
    h.platform.session_id = 0;
    failure(h.platform);
    h.launcher->Run("");
    ASSERT_EQ(h.platform.events.size(), 1u);
    const FakePlatform::Event& event = h.platform.events[0];
    ASSERT_EQ(event.strings.size(), 1u);
    const std::string& text = event.strings[0];
    EXPECT_TRUE(texts_by_id.emplace(event.id, text).second)
        << text << " shares ID " << event.id << " with " << texts_by_id[event.id];
    EXPECT_EQ(event.type, text == kNotFound ? kEventlogWarningType : kEventlogErrorType) << text;
  }
  EXPECT_EQ(texts_by_id.size(), failures.size());
}

}  // namespace
}  // namespace camsetup::testing
