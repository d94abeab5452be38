// Shared by the fuzz targets: reading the input, choosing the code page,
// and failing loudly when an invariant does not hold.
#ifndef CAMSETUP_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define CAMSETUP_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fake_platform.h"

namespace camsetup::fuzz {

#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition,         \
                   __FILE__, __LINE__);                                         \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

// Reads the input front to back; past its end everything is empty.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // The bytes up to the next 0xFF separator (or the end), without it.
  std::string Piece() {
    std::string piece;
    while (pos_ < size_ && data_[pos_] != 0xFF) piece.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < size_) ++pos_;
    return piece;
  }

  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
    pos_ = size_;
    return rest;
  }

  bool Done() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The lowest bit of `selector` switches between a single-byte code page and
// the lead bytes of code page 932.
inline void ChooseCodePage(FakePlatform& platform, std::uint8_t selector) {
  platform.code_page =
      (selector & 1) ? CodePageTable::Japanese932() : CodePageTable::SingleByte();
}

// A text may hold no NUL of its own: profile values and hardware IDs are
// NUL-terminated where they come from.
inline std::string WithoutNul(std::string text) {
  for (char& c : text) {
    if (c == '\0') c = '\x01';
  }
  return text;
}

}  // namespace camsetup::fuzz

#endif  // CAMSETUP_TESTS_FUZZ_FUZZ_SUPPORT_H_
