// Pieces of Windows' behaviour shared by the platforms that stand in for it
// (the test fake, the Linux platform, the checker's platform).
#ifndef CAMSETUP_PLATFORM_EMULATION_H_
#define CAMSETUP_PLATFORM_EMULATION_H_

#include <bitset>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>

#include "platform/platform.h"

namespace camsetup {

// An ANSI code page as data: its lead bytes, and upper-case forms beyond
// ASCII a-z keyed by the character's bytes.
struct CodePageTable {
  std::bitset<256> lead_bytes;
  std::map<std::string, std::string> upper;

  static CodePageTable SingleByte() { return CodePageTable(); }

  // The lead bytes of code page 932, with its full-width a-z mapped to
  // full-width A-Z.
  static CodePageTable Japanese932() {
    CodePageTable cp;
    for (int b = 0x81; b <= 0x9F; ++b) cp.lead_bytes.set(b);
    for (int b = 0xE0; b <= 0xFC; ++b) cp.lead_bytes.set(b);
    for (int i = 0; i < 26; ++i) {
      const char lower[] = {'\x82', static_cast<char>(0x81 + i), '\0'};
      const char upper_form[] = {'\x82', static_cast<char>(0x60 + i), '\0'};
      cp.upper[lower] = upper_form;
    }
    return cp;
  }

  // The lead bytes of code pages 936, 949 and 950 (simplified Chinese,
  // Korean, traditional Chinese): 0x81 to 0xFE.
  static CodePageTable LeadBytes81ToFE() {
    CodePageTable cp;
    for (int b = 0x81; b <= 0xFE; ++b) cp.lead_bytes.set(b);
    return cp;
  }

  bool IsLeadByte(std::uint8_t byte) const { return lead_bytes.test(byte); }

  // Upper-cases the one character at `ch` in place, keeping its length.
  void UpperCase(char* ch, std::size_t length) const {
    if (length == 1) {
      if (ch[0] >= 'a' && ch[0] <= 'z') ch[0] = static_cast<char>(ch[0] - 'a' + 'A');
      return;
    }
    const auto it = upper.find(std::string(ch, length));
    if (it != upper.end() && it->second.size() == length) {
      std::memcpy(ch, it->second.data(), length);
    }
  }
};

// GetModuleFileNameA's copy of `path` into `size` bytes: a path that does
// not fit is cut to size - 1 bytes and the result is `size`, for which the
// caller sets ERROR_INSUFFICIENT_BUFFER.
inline Dword CopyModulePath(const std::string& path, char* filename, Dword size) {
  if (size == 0) return 0;
  if (path.size() >= size) {
    std::memcpy(filename, path.data(), size - 1);
    filename[size - 1] = '\0';
    return size;
  }
  std::memcpy(filename, path.c_str(), path.size() + 1);
  return static_cast<Dword>(path.size());
}

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_EMULATION_H_
