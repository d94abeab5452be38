#include "check/text.h"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace camsetup::check {
namespace {

void AppendEscape(std::string& out, unsigned char byte) {
  char escape[5];
  std::snprintf(escape, sizeof(escape), "\\x%02X", byte);
  out += escape;
}

// The code point of one UTF-8 character, or nothing when `utf8` is not one
// well-formed character.
std::optional<char32_t> CodePoint(std::string_view utf8) {
  if (utf8.empty()) return std::nullopt;
  const unsigned char lead = static_cast<unsigned char>(utf8[0]);
  std::size_t length;
  char32_t value;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    value = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (utf8.size() < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (c & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  return value;
}

std::size_t Utf8Length(unsigned char lead) {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Characters that are not shown as themselves: controls and private use.
bool Showable(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  if ((c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000) return false;
  return true;
}

}  // namespace

void AppendUtf8(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool DecodeUtf8(std::string_view text, std::vector<std::uint32_t>* characters) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Length(static_cast<unsigned char>(text[i]));
    const std::optional<char32_t> c = CodePoint(text.substr(i, length));
    if (!c) return false;
    if (characters != nullptr) characters->push_back(*c);
    i += length;
  }
  return true;
}

bool IsWellFormedUtf8(std::string_view text) { return DecodeUtf8(text, nullptr); }

namespace {

// UTF-8 text with each well-formed character that `keep` accepts kept as it
// is, and every other byte written \xNN.
template <typename Keep>
std::string KeptUtf8(std::string_view bytes, Keep keep) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = Utf8Length(lead);
    const std::string_view character = bytes.substr(i, length);
    const std::optional<char32_t> c = CodePoint(character);
    if (c && character.size() == length && keep(*c)) {
      out += character;
      i += length;
    } else {
      AppendEscape(out, lead);
      i += 1;
    }
  }
  return out;
}

}  // namespace

std::string Utf8Text::ToUtf8(std::string_view bytes) const { return KeptUtf8(bytes, Showable); }

std::string Utf8Characters(std::string_view bytes) {
  return KeptUtf8(bytes, [](char32_t) { return true; });
}

std::string Utf16LeCharacters(std::string_view bytes) {
  const auto unit = [&bytes](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  std::string out;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      char escape[7];
      std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(c));
      out += escape;
      continue;
    }
    AppendUtf8(c, out);
  }
  if (i < bytes.size()) AppendEscape(out, static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string CodePageText::ToUtf8(std::string_view bytes) const { return Decode(bytes, true); }

std::string CodePageText::Characters(std::string_view bytes) const {
  return Decode(bytes, false);
}

std::string CodePageText::Decode(std::string_view bytes, bool shown) const {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = IsLeadByte(lead) && i + 1 < bytes.size() ? 2 : 1;
    if (length == 1 && lead < 0x80 && (!shown || Showable(lead))) {  // ASCII in all of them
      out += static_cast<char>(lead);
      i += 1;
      continue;
    }
    const std::optional<std::string> decoded = Decode(bytes.substr(i, length));
    const std::optional<char32_t> c = decoded ? CodePoint(*decoded) : std::nullopt;
    if (c && Utf8Length(static_cast<unsigned char>((*decoded)[0])) == decoded->size() &&
        (!shown || Showable(*c))) {
      out += *decoded;
      i += length;
    } else {
      AppendEscape(out, lead);
      i += 1;
    }
  }
  return out;
}

std::optional<std::string> CodePageText::Decoded(std::string_view bytes) const {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      i += 1;
      continue;
    }
    const std::size_t length = IsLeadByte(lead) ? 2 : 1;
    if (i + length > bytes.size()) return std::nullopt;  // a lead byte without its trail byte
    const std::optional<std::string> decoded = Decode(bytes.substr(i, length));
    if (!decoded) return std::nullopt;
    out += *decoded;
    i += length;
  }
  return out;
}

#ifdef _WIN32

CodePageText::CodePageText() : code_page_(static_cast<int>(::GetACP())) {}
CodePageText::CodePageText(CodePageText&& other) noexcept : code_page_(other.code_page_) {}
CodePageText::~CodePageText() = default;

bool CodePageText::IsLeadByte(std::uint8_t byte) const {
  return ::IsDBCSLeadByteEx(static_cast<UINT>(code_page_), byte) != FALSE;
}

std::optional<std::string> CodePageText::Decode(std::string_view character) const {
  WCHAR wide[2];
  const int wide_length =
      ::MultiByteToWideChar(static_cast<UINT>(code_page_), MB_ERR_INVALID_CHARS, character.data(),
                            static_cast<int>(character.size()), wide, 2);
  if (wide_length <= 0) return std::nullopt;
  char utf8[8];
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide, wide_length, utf8, sizeof(utf8), nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(length));
}

std::optional<std::string> CodePageText::Encoded(std::string_view utf8) const {
  if (utf8.empty()) return std::string();
  const int wide_length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                        static_cast<int>(utf8.size()), wide.data(), wide_length);
  BOOL used_default = FALSE;
  const int length =
      ::WideCharToMultiByte(static_cast<UINT>(code_page_), WC_NO_BEST_FIT_CHARS, wide.data(),
                            wide_length, nullptr, 0, nullptr, &used_default);
  if (length <= 0 || used_default) return std::nullopt;
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(static_cast<UINT>(code_page_), WC_NO_BEST_FIT_CHARS, wide.data(),
                        wide_length, out.data(), length, nullptr, &used_default);
  if (used_default) return std::nullopt;
  return out;
}

#else

const AnsiCodePage kAnsiCodePages[14] = {
    {874, "CP874"},   {932, "CP932"},   {936, "CP936"},   {949, "CP949"},   {950, "CP950"},
    {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"},
    {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"},
};

CodePageTable LauncherCodePage(int code_page) {
  if (code_page == 932) return CodePageTable::Japanese932();
  if (code_page == 936 || code_page == 949 || code_page == 950) {
    return CodePageTable::LeadBytes81ToFE();
  }
  return CodePageTable::SingleByte();
}

std::optional<CodePageText> CodePageText::Open(int code_page) {
  for (const AnsiCodePage& known : kAnsiCodePages) {
    if (known.number != code_page) continue;
    const iconv_t converter = ::iconv_open("UTF-8", known.iconv_name);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    return CodePageText(code_page, converter, LauncherCodePage(code_page));
  }
  return std::nullopt;
}

CodePageText::CodePageText(int code_page, iconv_t converter, CodePageTable table)
    : code_page_(code_page), converter_(converter), table_(std::move(table)) {}

CodePageText::CodePageText(CodePageText&& other) noexcept
    : code_page_(other.code_page_),
      converter_(std::exchange(other.converter_, reinterpret_cast<iconv_t>(-1))),
      table_(std::move(other.table_)) {}

CodePageText::~CodePageText() {
  if (converter_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(converter_);
}

std::optional<std::string> CodePageText::Encoded(std::string_view utf8) const {
  const char* name = nullptr;
  for (const AnsiCodePage& known : kAnsiCodePages) {
    if (known.number == code_page_) name = known.iconv_name;
  }
  if (name == nullptr) return std::nullopt;
  const iconv_t encoder = ::iconv_open(name, "UTF-8");
  if (encoder == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(utf8);
  std::string out(in.size() * 2 + 8, '\0');
  char* in_next = in.data();
  std::size_t in_left = in.size();
  char* out_next = out.data();
  std::size_t out_left = out.size();
  const bool converted =
      ::iconv(encoder, &in_next, &in_left, &out_next, &out_left) != static_cast<std::size_t>(-1) &&
      in_left == 0 &&
      ::iconv(encoder, nullptr, nullptr, &out_next, &out_left) != static_cast<std::size_t>(-1);
  ::iconv_close(encoder);
  if (!converted) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

bool CodePageText::IsLeadByte(std::uint8_t byte) const { return table_.IsLeadByte(byte); }

std::optional<std::string> CodePageText::Decode(std::string_view character) const {
  ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
  char in[2];
  character.copy(in, sizeof(in));
  char out[16];
  char* in_next = in;
  std::size_t in_left = character.size();
  char* out_next = out;
  std::size_t out_left = sizeof(out);
  const std::size_t result = ::iconv(converter_, &in_next, &in_left, &out_next, &out_left);
  if (result == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
  // Converters that compose (1255, 1258) hold a base letter back until now.
  if (::iconv(converter_, nullptr, nullptr, &out_next, &out_left) == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  return std::string(out, sizeof(out) - out_left);
}

#endif

}  // namespace camsetup::check
