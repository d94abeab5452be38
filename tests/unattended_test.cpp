// Message boxes where nobody can see them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

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

}  // namespace
}  // namespace camsetup::testing
