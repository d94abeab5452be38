// ReadAuthenticode over arbitrary files: PE headers, certificate tables and
// PKCS #7 signatures from the input; and NameText over the same bytes.
#include <string>
#include <vector>

#include "check/authenticode.h"
#include "fuzz_support.h"

using camsetup::check::AuthenticodeInfo;

namespace {

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || text.size() - i < length) return false;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  const AuthenticodeInfo info = camsetup::check::ReadAuthenticode(bytes);

  FUZZ_CHECK(info.status >= AuthenticodeInfo::kUnsigned && info.status <= AuthenticodeInfo::kNotPe);
  FUZZ_CHECK(!info.detail.empty() && IsAscii(info.detail));
  if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
    FUZZ_CHECK(info.status == AuthenticodeInfo::kNotPe);
  }
  // A signer is named exactly when its certificate was found, and its name
  // can be shown.
  const bool named = info.status == AuthenticodeInfo::kValid ||
                     info.status == AuthenticodeInfo::kBadDigest ||
                     info.status == AuthenticodeInfo::kBadSignature;
  FUZZ_CHECK(named == !info.signer_subject_der.empty());
  if (!named) FUZZ_CHECK(info.signer_subject.empty());
  FUZZ_CHECK(IsUtf8(info.signer_subject));
  FUZZ_CHECK(camsetup::check::SameSubject(info, info) == (info.status == AuthenticodeInfo::kValid));
  // The same bytes as an X.509 name, as the Windows checker reads a
  // signer's: in UTF-8, empty only for a name without attributes, and in
  // hex where it is no name.
  const std::string name = camsetup::check::NameText(bytes);
  FUZZ_CHECK(IsUtf8(name));
  if (name.empty()) FUZZ_CHECK(size >= 2 && data[0] == 0x30);
  if (size == 0 || data[0] != 0x30) FUZZ_CHECK(name.size() == 1 + 2 * size && name[0] == '#');
  // An OLE compound file is no PE file.
  if (camsetup::check::IsOleCompoundFile(bytes)) {
    FUZZ_CHECK(info.status == AuthenticodeInfo::kNotPe);
  }
  return 0;
}
