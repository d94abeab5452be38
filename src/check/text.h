// Text of a package as UTF-8, for the reports.
//
// setup.ini holds bytes of an ANSI code page; the reports are UTF-8. A byte
// that does not decode to a character that can be shown (invalid there, a
// control character, or one of private use) is written as \xNN, so that
// the output is always valid UTF-8.
#ifndef CAMSETUP_CHECK_TEXT_H_
#define CAMSETUP_CHECK_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <iconv.h>

#include "platform/emulation.h"
#endif

namespace camsetup::check {

class TextDecoder {
 public:
  virtual ~TextDecoder() = default;
  virtual std::string ToUtf8(std::string_view bytes) const = 0;
};

// Text of an ANSI code page, one character at a time: a lead byte and the
// byte after it are decoded together; where they do not decode, the lead
// byte is escaped and the next byte is read on its own.
class CodePageText final : public TextDecoder {
 public:
#ifdef _WIN32
  // The system's ANSI code page.
  CodePageText();
#else
  // One of the code pages in kAnsiCodePages; nothing for another number or
  // when iconv lacks the code page.
  static std::optional<CodePageText> Open(int code_page);
#endif
  CodePageText(CodePageText&& other) noexcept;
  CodePageText& operator=(CodePageText&&) = delete;
  CodePageText(const CodePageText&) = delete;
  ~CodePageText() override;

  int code_page() const { return code_page_; }
  std::string ToUtf8(std::string_view bytes) const override;
  // Every character as UTF-8, control characters and those of private use
  // included, for text that is parsed before it is shown; a byte that does
  // not decode is written \xNN.
  std::string Characters(std::string_view bytes) const;
  // The bytes of the code page for UTF-8 text, or nothing where a
  // character has none: for names that are looked for on disk.
  std::optional<std::string> Encoded(std::string_view utf8) const;
  // The UTF-8 form of every character, or nothing where one does not
  // decode: for comparing names, where an escape would name another file.
  std::optional<std::string> Decoded(std::string_view bytes) const;

 private:
  bool IsLeadByte(std::uint8_t byte) const;
  std::string Decode(std::string_view bytes, bool shown) const;
  // The UTF-8 form of one character of the code page, or nothing.
  std::optional<std::string> Decode(std::string_view character) const;

  int code_page_;
#ifndef _WIN32
  CodePageText(int code_page, iconv_t converter, CodePageTable table);
  iconv_t converter_;  // owned; (iconv_t)-1 once moved from
  CodePageTable table_;
#endif
};

// Text that is UTF-8 already (file names on Linux), checked.
class Utf8Text final : public TextDecoder {
 public:
  std::string ToUtf8(std::string_view bytes) const override;
};

// Whether every byte of `text` belongs to a well-formed UTF-8 character.
bool IsWellFormedUtf8(std::string_view text);

// Appends the code points of `text` to `characters` (where given); false,
// with some appended, where `text` is not well-formed UTF-8.
bool DecodeUtf8(std::string_view text, std::vector<std::uint32_t>* characters);

// Appends code point `c` (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::uint32_t c, std::string& out);

// UTF-8 text kept as it is, control characters included; a byte that is not
// part of a well-formed character is written \xNN.
std::string Utf8Characters(std::string_view bytes);

// UTF-16LE text (without its byte-order mark) as UTF-8, control characters
// included; a surrogate without its pair is written \uXXXX, an odd last
// byte \xNN.
std::string Utf16LeCharacters(std::string_view bytes);

#ifndef _WIN32
// The ANSI code pages the checker reads, by number.
struct AnsiCodePage {
  int number;
  const char* iconv_name;  // glibc's name for it
};
extern const AnsiCodePage kAnsiCodePages[14];
constexpr int kDefaultCodePage = 1252;

// The launcher's lead-byte table for a code page of kAnsiCodePages.
CodePageTable LauncherCodePage(int code_page);
#endif

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_TEXT_H_
