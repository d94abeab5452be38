// The straightforward matcher: every code of every model searched on its
// own through OccurrenceIndex. The launcher's indexed matcher must give the
// same result; the differential tests compare the two.
#ifndef CAMSETUP_TESTS_REFERENCE_MATCHER_H_
#define CAMSETUP_TESTS_REFERENCE_MATCHER_H_

#include <string>
#include <string_view>

#include "launcher/launcher.h"

namespace camsetup::testing {

inline DeviceMatch ReferenceMatch(const CameraTable& table, std::string_view hardware_id,
                                  Platform& platform) {
  DeviceMatch match;
  match.vendor_index = OccurrenceIndex(hardware_id, kVendorCode, platform);
  if (match.vendor_index == std::string_view::npos) return match;
  for (int model = 0; model < table.model_count; ++model) {
    const CameraEntry& entry = table.entries[model];
    for (int code = 0; code < entry.code_count; ++code) {
      const std::size_t index =
          OccurrenceIndex(hardware_id, entry.product_codes[code].view(), platform);
      if (index != std::string_view::npos) {
        match.model = model;
        match.code = code;
        match.code_index = index;
        break;
      }
    }
  }
  return match;
}

inline bool SameMatch(const DeviceMatch& a, const DeviceMatch& b) {
  return a.vendor_index == b.vendor_index && a.model == b.model && a.code == b.code &&
         a.code_index == b.code_index;
}

inline std::string DescribeMatch(const DeviceMatch& m) {
  const auto index = [](std::size_t i) {
    return i == std::string_view::npos ? std::string("npos") : std::to_string(i);
  };
  return "vendor " + index(m.vendor_index) + ", model " + std::to_string(m.model) + ", code " +
         std::to_string(m.code) + " at " + index(m.code_index);
}

// Bytes as C escapes where they are not printable ASCII.
inline std::string Escaped(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

}  // namespace camsetup::testing

#endif  // CAMSETUP_TESTS_REFERENCE_MATCHER_H_
