// Reads a profile (INI) file the way Windows' GetPrivateProfileStringA
// does, for the places where Windows' own reader is not there.
//
// Lines end at LF (or, in a file without LF, at CR). Blanks and control
// characters around lines, names and values are dropped. A section runs
// from "[name]" (to the last ']' on the line) to the next one; a key
// line is "name=value", or a bare name. Names are matched without regard to
// ASCII case, and only the first section and the first key of a name count.
// A value that starts and ends with the same quote (' or ") loses the pair.
// A byte-order mark (UTF-8, UTF-16) is taken as Wine's reader takes it: the
// text after it is read in that encoding, and narrowed to Latin-1 for the
// ANSI answers, with '?' for what does not fit (or does not decode).
#ifndef CAMSETUP_PLATFORM_PROFILE_READER_H_
#define CAMSETUP_PLATFORM_PROFILE_READER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace camsetup {

// A file's bytes; nothing when it cannot be read. Read with the C library:
// C++ streams would bring their locale machinery into the Windows checker.
std::optional<std::string> ReadFileBytes(const std::string& path);

class ProfileReader {
 public:
  // Parses the text of a profile file.
  explicit ProfileReader(const std::string& bytes);

  // Whether the bytes start with the UTF-8 byte-order mark EF BB BF.
  static bool HasUtf8ByteOrderMark(const std::string& bytes);

  // Reads the file at `path`; nothing when it cannot be read.
  static std::optional<ProfileReader> Load(const std::string& path);

  // The value of `key` in `section`, as GetPrivateProfileStringA returns it
  // into a buffer of `size` bytes: cut to size - 1 bytes, or `default_value`
  // when the section or key is missing.
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& default_value, std::size_t size) const;

  // Whether the section exists.
  bool HasSection(const std::string& section) const;

  // Lines are numbered from 1, one per separator (LF, or CR in a file
  // without LF). The line of the section header that Get reads from, and
  // of the key line it reads `key` from; nothing when there is none.
  std::optional<int> SectionLine(const std::string& section) const;
  std::optional<int> KeyLine(const std::string& section, const std::string& key) const;

  // A line that holds a CR with more text after it: an editor shows two
  // lines there, the reader reads one.
  struct JoinedLine {
    int line;
    std::string section;  // the section the line is in; empty before the first header
  };
  const std::vector<JoinedLine>& joined_lines() const { return joined_lines_; }

 private:
  struct Key {
    std::string name;
    std::optional<std::string> value;  // none for a line without '='
    int line = 0;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
    int line = 0;
  };
  const Section* FindSection(const std::string& name) const;

  std::vector<Section> sections_;
  std::vector<JoinedLine> joined_lines_;
};

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_PROFILE_READER_H_
