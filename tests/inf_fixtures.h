// Fixtures of the INF tests: text in the encodings an INF comes in.
#ifndef CAMSETUP_TESTS_INF_FIXTURES_H_
#define CAMSETUP_TESTS_INF_FIXTURES_H_

#include <string>

namespace camsetup::testing {

// UTF-16LE bytes of UTF-8 text (characters of the BMP), with the
// byte-order mark FF FE in front.
inline std::string Utf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    char32_t c;
    if (lead < 0x80) {
      c = lead;
      i += 1;
    } else if (lead < 0xE0) {
      c = ((lead & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      i += 2;
    } else {
      c = ((lead & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      i += 3;
    }
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace camsetup::testing

#endif  // CAMSETUP_TESTS_INF_FIXTURES_H_
