#include "platform/profile_reader.h"

#include <cstdio>
#include <memory>

namespace camsetup {
namespace {

bool IsBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x1A;  // 0x1A: DOS end of file
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// UTF-16 text (after its byte-order mark) narrowed to Latin-1.
std::string Narrow(const std::string& bytes, bool big_endian) {
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned char lo = static_cast<unsigned char>(bytes[big_endian ? i + 1 : i]);
    const unsigned char hi = static_cast<unsigned char>(bytes[big_endian ? i : i + 1]);
    text.push_back(hi == 0 ? static_cast<char>(lo) : '?');
  }
  return text;
}

// UTF-8 text (after its byte-order mark) narrowed to Latin-1. A byte that
// does not start a well-formed character stands for one unknown character.
std::string NarrowUtf8(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 3; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                                     : lead >= 0xE0 && lead < 0xF0 ? 3
                                     : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    unsigned long value = length == 1 ? lead : length == 2 ? lead & 0x1F
                                            : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char c = i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0;
      if ((c & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      value = (value << 6) | (c & 0x3F);
    }
    static constexpr unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length > 1 && (value < kSmallest[length] || value > 0x10FFFF ||
                       (value >= 0xD800 && value <= 0xDFFF))) {
      length = 0;
    }
    if (length == 0) {
      text.push_back('?');
      i += 1;
    } else {
      text.push_back(value < 0x100 ? static_cast<char>(value) : '?');
      i += length;
    }
  }
  return text;
}

std::string Decode(const std::string& bytes) {
  if (ProfileReader::HasUtf8ByteOrderMark(bytes)) return NarrowUtf8(bytes);
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return Narrow(bytes, false);
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) return Narrow(bytes, true);
  return bytes;
}

}  // namespace

ProfileReader::ProfileReader(const std::string& bytes) {
  const std::string text = Decode(bytes);
  // Lines end at LF; only a file without any LF is split at CR.
  const char separator = text.find('\n') != std::string::npos ? '\n' : '\r';
  sections_.push_back({"", {}, 0});  // keys before the first section
  std::size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(separator, pos);
    if (end == std::string::npos) end = text.size();
    const std::string raw = text.substr(pos, end - pos);
    const std::string line = Trim(raw);
    pos = end + 1;
    ++number;
    if (line.empty()) continue;

    bool header = false;
    if (line[0] == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string::npos && close > 0) {
        sections_.push_back({Trim(line.substr(1, close - 1)), {}, number});
        header = true;
      }
    }
    if (separator == '\n') {
      const std::size_t cr = raw.find('\r');
      if (cr != std::string::npos && !Trim(raw.substr(cr)).empty()) {
        joined_lines_.push_back({number, sections_.back().name});
      }
    }
    if (header) continue;
    const std::size_t equals = line.find('=');
    Key key;
    key.line = number;
    if (equals == std::string::npos) {
      key.name = line;
    } else {
      key.name = Trim(line.substr(0, equals));
      key.value = Trim(line.substr(equals + 1));
    }
    sections_.back().keys.push_back(key);
  }
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
  if (!file) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  std::size_t read;
  while ((read = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) bytes.append(chunk, read);
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

bool ProfileReader::HasUtf8ByteOrderMark(const std::string& bytes) {
  return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
}

std::optional<ProfileReader> ProfileReader::Load(const std::string& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return ProfileReader(*bytes);
}

const ProfileReader::Section* ProfileReader::FindSection(const std::string& name) const {
  const std::string wanted = Trim(name);
  // The nameless section of keys before the first header is not found.
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    if (SameName(sections_[i].name, wanted)) return &sections_[i];
  }
  return nullptr;
}

bool ProfileReader::HasSection(const std::string& section) const {
  return FindSection(section) != nullptr;
}

std::optional<int> ProfileReader::SectionLine(const std::string& section) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  return found->line;
}

std::optional<int> ProfileReader::KeyLine(const std::string& section,
                                          const std::string& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  const std::string wanted = Trim(key);
  for (const Key& k : found->keys) {
    if (SameName(k.name, wanted)) return k.line;
  }
  return std::nullopt;
}

std::string ProfileReader::Get(const std::string& section, const std::string& key,
                               const std::string& default_value, std::size_t size) const {
  if (size == 0) return std::string();
  std::string value = Trim(default_value);
  bool strip_quotes = false;
  if (const Section* found = FindSection(section)) {
    const std::string wanted = Trim(key);
    for (const Key& k : found->keys) {
      if (SameName(k.name, wanted)) {
        if (k.value) {
          value = *k.value;
          strip_quotes = true;
        }
        break;
      }
    }
  }
  // A surrounding pair of quotes is dropped, but only when the text between
  // them fits: a cut value keeps its opening quote's absence and loses its
  // last byte instead, as Windows' reader does.
  bool quoted = false;
  if (strip_quotes && value.size() >= 2 && (value[0] == '\'' || value[0] == '"') &&
      value.back() == value[0]) {
    value.erase(0, 1);
    quoted = true;
  }
  const bool fits = value.size() <= size;  // the rest, closing quote included
  if (value.size() > size - 1) value.resize(size - 1);
  if (quoted && fits && !value.empty()) value.pop_back();
  return value;
}

}  // namespace camsetup
