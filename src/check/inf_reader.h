// INF files of driver packages, read as Windows' setup API reads them, for
// what the checker needs of them: the hardware IDs that the driver installs
// to and the catalog that signs it.
//
// The reader takes untrusted bytes: any input gives a result, and every
// text in it is UTF-8 (control characters kept, as the file has them).
#ifndef CAMSETUP_CHECK_INF_READER_H_
#define CAMSETUP_CHECK_INF_READER_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace camsetup::check {

enum class InfEncoding { kAnsi, kUtf8, kUtf16Le };
const char* InfEncodingName(InfEncoding encoding);  // "ANSI", "UTF-8", "UTF-16LE"

// ANSI bytes as UTF-8, every character kept (CodePageText::Characters).
using AnsiDecoder = std::function<std::string(std::string_view bytes)>;

struct InfText {
  InfEncoding encoding = InfEncoding::kAnsi;
  std::string text;  // UTF-8, without the byte-order mark
};

// The text of an INF file: after the byte-order mark FF FE it is UTF-16LE,
// after EF BB BF UTF-8, else ANSI, decoded by `ansi`.
InfText DecodeInf(std::string_view bytes, const AnsiDecoder& ansi);

// One line of a section, continuation lines joined: the key before '='
// (or the one field of a line without '=' and ','), and the fields after it,
// separated by ',', blanks around them dropped, quotes removed ("" in quotes
// is one "). Strings (%strkey%) are not substituted here.
struct InfLine {
  int line = 0;  // where it starts, counted from 1 by line feeds
  std::optional<std::string> key;
  std::vector<std::string> fields;
};

struct InfSection {
  std::string name;            // as its first header writes it
  int line = 0;                // of its first header
  std::vector<InfLine> lines;  // of every header of the name, in order
};

// Why Windows' setup API would not open the file as an INF of today's
// style (INF_STYLE_WIN4, as pnputil opens it).
enum class InfProblem {
  kNone,
  kUnfinishedSectionName,  // a '[' without its ']' on the line
  kSectionNameTooLong,     // over 255 characters
  kLineOutsideSection,     // a line before the first section, in a file without [Strings]
  kNoSignature,            // [Version] Signature is not $Windows NT$, $Chicago$ or $Windows 95$
};
const char* InfProblemText(InfProblem problem);

class InfFile {
 public:
  // Parses UTF-8 text: lines end at a line feed, a Ctrl-Z (0x1A) ends the
  // file, a NUL counts as a blank, ';' starts a comment outside quotes, and
  // a '\' followed by nothing but blanks (or a comment) to the end of the
  // line continues the line on the next one.
  explicit InfFile(std::string_view text);

  const std::vector<InfSection>& sections() const { return sections_; }
  // The section of that name, compared without regard to ASCII case.
  const InfSection* Find(std::string_view name) const;
  // `text` with every %strkey% replaced by its value in [Strings] (the key
  // compared without regard to ASCII case, the first line of it counting,
  // the value not substituted again), %% by %; a %strkey% that [Strings]
  // does not hold stays as it is. Cut to kMaxStringBytes, at a character.
  std::string Substitute(std::string_view text) const;
  static constexpr std::size_t kMaxStringBytes = 16384;  // 4096 characters, as Windows' limit
  // The first field of the first line of `section` whose key is `key`,
  // substituted, keys compared after substitution without regard to ASCII
  // case; nothing without such a line.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  InfProblem problem() const { return problem_; }
  int problem_line() const { return problem_line_; }  // 0 where the problem has no line

 private:
  void Parse(std::string_view text);
  void SetProblem(InfProblem problem, int line);

  std::vector<InfSection> sections_;
  std::unordered_map<std::string, std::size_t> index_;    // lower-case name -> section
  std::unordered_map<std::string, std::string> strings_;  // lower-case key -> its value
  InfProblem problem_ = InfProblem::kNone;
  int problem_line_ = 0;
};

// A models section that [Manufacturer] names.
struct InfModels {
  std::string section;           // as named: the models name, with its decoration (".NTamd64")
  std::string platform;          // "x86", "x64", "arm64", "arm", "ia64", "any" (NT.<version>)
  bool present = false;          // the INF has the section
  std::vector<std::string> ids;  // its hardware and compatible IDs, substituted, each once
};

struct InfCatalog {
  std::string key;   // "CatalogFile", "CatalogFile.NTamd64", ..., as written
  std::string file;  // substituted
};

struct InfDriver {
  std::vector<InfModels> models;
  std::vector<InfCatalog> catalogs;  // each CatalogFile key of [Version] once, in order
  // The catalog that 64-bit Windows takes: CatalogFile.NTamd64, else
  // CatalogFile.NT, else CatalogFile.
  std::optional<std::string> catalog_x64;
  // A models section that 64-bit Windows reads: decorated NTamd64, or
  // NT.<version> without an architecture. An undecorated or NT/NTx86 one
  // is for x86 only.
  bool models_for_x64 = false;
};

// The driver's models and catalogs. [Manufacturer] lines are
// "name = models[, decoration]..." (or a bare models name); a models line is
// "description = install-section, hardware-id[, compatible-id]...". At most
// kMaxInfIds IDs, of kMaxInfIdBytes in all, are taken, so that no file
// makes the reading or the report large.
inline constexpr std::size_t kMaxInfIds = 65536;
inline constexpr std::size_t kMaxInfIdBytes = std::size_t{1} << 22;
InfDriver ReadDriver(const InfFile& inf);

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_INF_READER_H_
