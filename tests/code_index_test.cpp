// The indexed matcher against the straightforward one, and the cases where
// an index could go wrong on its own: codes sharing bytes, a full table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reference_matcher.h"
#include "test_support.h"

namespace camsetup::testing {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// A table straight from lists of codes (each 0 to 4 bytes).
CameraTable MakeTable(const std::vector<std::vector<std::string>>& models) {
  CameraTable table = {};
  table.model_count = static_cast<int>(models.size());
  for (std::size_t m = 0; m < models.size(); ++m) {
    CameraEntry& entry = table.entries[m];
    entry.code_count = static_cast<int>(models[m].size());
    for (std::size_t c = 0; c < models[m].size(); ++c) {
      std::memcpy(entry.product_codes[c].text, models[m][c].c_str(), models[m][c].size() + 1);
    }
  }
  return table;
}

std::string DescribeTable(const CameraTable& table) {
  std::string out;
  for (int m = 0; m < table.model_count; ++m) {
    out += "  model " + std::to_string(m) + ":";
    for (int c = 0; c < table.entries[m].code_count; ++c) {
      out += " \"" + Escaped(table.entries[m].product_codes[c].view()) + "\"";
    }
    out += "\n";
  }
  return out;
}

// Random tables and hardware IDs over a small alphabet, so that codes,
// the vendor code and double-byte characters meet often: ASCII that
// hardware IDs hold, lead bytes of code page 932, and bytes that are
// trail bytes there.
class RandomCases {
 public:
  explicit RandomCases(std::uint32_t seed) : random_(seed) {}

  std::string Text(std::size_t max_length) {
    static const char kAlphabet[] = "05A3D&_\\\x81\x82\x83\xE0\xFC\x41\x60\x5C";
    std::string text;
    const std::size_t length = Below(max_length + 1);
    while (text.size() < length) {
      if (Below(8) == 0) {
        text += kVendorCode;
      } else {
        text.push_back(kAlphabet[Below(sizeof(kAlphabet) - 1)]);
      }
    }
    return text;
  }

  CameraTable Table(const std::string& sample) {
    CameraTable table = {};
    // Now and then a full table, which fills the index most.
    const bool full = Below(10) == 0;
    table.model_count = full ? kMaxModels : static_cast<int>(Below(kMaxModels + 1));
    for (int m = 0; m < table.model_count; ++m) {
      CameraEntry& entry = table.entries[m];
      entry.code_count = full ? kMaxCodes : static_cast<int>(Below(6));
      for (int c = 0; c < entry.code_count; ++c) {
        // Codes come in 1 to 4 bytes from the table's reader; an empty one
        // (a hand-made table) must never occur either.
        std::string code;
        if (Below(50) == 0) {
          code = "";
        } else if (!sample.empty() && Below(2) == 0) {
          const std::size_t at = Below(sample.size());
          code = sample.substr(at, 1 + Below(kMaxCodeLength));
        } else {
          code = Text(kMaxCodeLength);
          if (code.empty()) code = "0";
          code.resize(std::min(code.size(), kMaxCodeLength));
        }
        std::memcpy(entry.product_codes[c].text, code.c_str(), code.size() + 1);
      }
    }
    return table;
  }

  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

 private:
  std::mt19937 random_;
};

TEST(CodeIndexDifferential, SameResultAsSearchingEveryCode) {
  struct CodePage {
    const char* name;
    CodePageTable table;
  };
  const CodePage code_pages[] = {{"single-byte", CodePageTable::SingleByte()},
                                 {"932", CodePageTable::Japanese932()}};
  for (const CodePage& cp : code_pages) {
    FakePlatform platform;
    platform.code_page = cp.table;
    RandomCases random(12345);
    int with_model = 0;
    for (int t = 0; t < 2000; ++t) {
      const CameraTable table = random.Table(random.Text(40));
      const CodeIndex index(table, platform);
      for (int d = 0; d < 10; ++d) {
        const std::string id = random.Text(d == 0 ? 300 : 40);
        const DeviceMatch expected = ReferenceMatch(table, id, platform);
        const DeviceMatch got = MatchHardwareId(index, id);
        with_model += expected.model >= 0;
        ASSERT_TRUE(SameMatch(got, expected))
            << "code page " << cp.name << ", table " << t << ":\n"
            << DescribeTable(table) << "hardware ID \"" << Escaped(id) << "\"\n"
            << "  indexed:  " << DescribeMatch(got) << "\n  searched: " << DescribeMatch(expected);
      }
    }
    // The cases exercise matching, not only its absence.
    EXPECT_GT(with_model, 2000) << cp.name;
  }
}

TEST(CodeIndex, CodesSharingBytes) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> models;
    std::string id;
    int model;
    int code;
    std::size_t code_index;
  };
  const Case cases[] = {
      {"SameCodeInTwoModelsHigherWins", {{"ABCD"}, {"X", "ABCD"}}, "USB\\VID_5A3D&PID_ABCD", 1,
       1, 17},
      {"VendorAtIndexZeroHidesCodes", {{"ZZZZ", "ABCD", "ABCD"}}, "5A3D\\5A3D..ABCD", -1,
       -1, npos},
      {"SameCodeTwiceInModelFirstReported", {{"ZZZZ", "ABCD", "ABCD"}}, "X5A3D..ABCD", 0, 1, 7},
      {"EarlierCodeOccurringLaterStillFirst", {{"BBBB", "AAAA"}}, "X5A3D-AAAA-BBBB", 0, 0, 11},
      {"PrefixCodesOfEveryLength", {{"ABCD", "ABC", "AB", "A"}}, "x5A3D-ABC", 0, 1, 6},
      {"CodeAtIndexZeroThenLaterNeverOccurs", {{"AB"}, {"AB", "5A"}}, "AB5A3DAB", 1, 1, 2},
      {"LowerModelCodeAtZeroHigherModelLater", {{"Q"}, {"QR"}}, "QR5A3DQ", -1, -1, npos},
      {"EmptyCodeNeverOccurs", {{""}, {"5"}}, "X5A3D", 1, 0, 1},
  };
  FakePlatform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CameraTable table = MakeTable(c.models);
    const DeviceMatch got = MatchHardwareId(CodeIndex(table, platform), c.id);
    EXPECT_EQ(got.model, c.model);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.code_index, c.code_index);
    EXPECT_TRUE(SameMatch(got, ReferenceMatch(table, c.id, platform)));
  }
}

// 1000 distinct codes: each one is found, by the model that holds it.
TEST(CodeIndex, FullTableFindsEveryCode) {
  std::vector<std::vector<std::string>> models(kMaxModels);
  for (int m = 0; m < kMaxModels; ++m) {
    for (int c = 0; c < kMaxCodes; ++c) {
      char code[8];
      std::snprintf(code, sizeof(code), "%04X", 0xC000 + m * 64 + c);
      models[m].push_back(code);
    }
  }
  const CameraTable table = MakeTable(models);
  FakePlatform platform;
  const CodeIndex index(table, platform);
  for (int m = 0; m < kMaxModels; ++m) {
    for (int c = 0; c < kMaxCodes; ++c) {
      const std::string id = "USB\\VID_5A3D&PID_" + models[m][c];
      const DeviceMatch got = MatchHardwareId(index, id);
      ASSERT_EQ(got.model, m) << id;
      ASSERT_EQ(got.code, c) << id;
      ASSERT_EQ(got.code_index, 17u) << id;
    }
  }
  EXPECT_EQ(MatchHardwareId(index, "USB\\VID_5A3D&PID_1234").model, -1);
}

}  // namespace
}  // namespace camsetup::testing
