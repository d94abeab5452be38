// The indexed matcher against the straightforward one, on arbitrary tables
// and hardware IDs in both kinds of code page.
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "launcher/launcher.h"
#include "reference_matcher.h"

using namespace camsetup;
using namespace camsetup::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakePlatform platform;
  ChooseCodePage(platform, input.Byte());

  // The table: a model count, then per model a code count and its codes,
  // each a length byte (0 to 4) and that many bytes without NUL.
  CameraTable table = {};
  table.model_count = input.Byte() % (kMaxModels + 1);
  for (int m = 0; m < table.model_count; ++m) {
    CameraEntry& entry = table.entries[m];
    entry.code_count = input.Byte() % (kMaxCodes + 1);
    for (int c = 0; c < entry.code_count; ++c) {
      const std::size_t length = input.Byte() % (kMaxCodeLength + 1);
      char* text = entry.product_codes[c].text;
      // A NUL byte among them ends the code early, for both matchers.
      for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(input.Byte());
      text[length] = '\0';
    }
  }
  const CodeIndex index(table, platform);
  // Then hardware IDs, separated by 0xFF.
  while (!input.Done()) {
    const std::string id = WithoutNul(input.Piece());
    const DeviceMatch got = MatchHardwareId(index, id);
    const DeviceMatch expected = camsetup::testing::ReferenceMatch(table, id, platform);
    if (!camsetup::testing::SameMatch(got, expected)) {
      std::fprintf(stderr, "hardware ID \"%s\"\n  indexed:  %s\n  searched: %s\n",
                   camsetup::testing::Escaped(id).c_str(),
                   camsetup::testing::DescribeMatch(got).c_str(),
                   camsetup::testing::DescribeMatch(expected).c_str());
    }
    FUZZ_CHECK(camsetup::testing::SameMatch(got, expected));
  }
  return 0;
}
