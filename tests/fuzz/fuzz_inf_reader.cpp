// The INF reader over arbitrary bytes: the file's text in its encoding,
// its sections and lines, the strings substituted, the driver's models and
// catalogs. The first byte chooses the ANSI code page (1252 or 932), the
// rest is the file.
#include <optional>
#include <string>
#include <unordered_set>

#include "check/inf_reader.h"
#include "check/text.h"
#include "fuzz_support.h"

using namespace camsetup;
using namespace camsetup::check;
using namespace camsetup::fuzz;

namespace {

// Text that is well-formed UTF-8: Utf8Characters escapes every byte that
// is not part of a character.
bool IsUtf8(const std::string& text) { return Utf8Characters(text) == text; }

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::optional<CodePageText> western = CodePageText::Open(1252);
  static const std::optional<CodePageText> japanese = CodePageText::Open(932);
  FUZZ_CHECK(western && japanese);
  Input input(data, size);
  const CodePageText& code_page = (input.Byte() & 1) ? *japanese : *western;
  const std::string bytes = input.Rest();

  const InfText text =
      DecodeInf(bytes, [&code_page](std::string_view ansi) { return code_page.Characters(ansi); });
  FUZZ_CHECK(IsUtf8(text.text));
  int lines = 1;
  for (char c : text.text) lines += c == '\n';

  const InfFile inf(text.text);
  FUZZ_CHECK(inf.problem_line() >= 0 && inf.problem_line() <= lines);
  FUZZ_CHECK((inf.problem() == InfProblem::kNone) == (inf.problem_line() == 0) ||
             inf.problem() == InfProblem::kNoSignature);
  std::unordered_set<std::string> names;
  for (const InfSection& section : inf.sections()) {
    FUZZ_CHECK(IsUtf8(section.name));
    FUZZ_CHECK(names.insert(Lower(section.name)).second);  // one section a name
    FUZZ_CHECK(inf.Find(section.name) == &section);
    FUZZ_CHECK(section.line >= 1 && section.line <= lines);
    int previous = 0;
    for (const InfLine& line : section.lines) {
      FUZZ_CHECK(line.line >= previous && line.line <= lines);  // in the file's order
      previous = line.line;
      FUZZ_CHECK(!line.fields.empty());
      if (line.key) FUZZ_CHECK(IsUtf8(*line.key));
      for (const std::string& field : line.fields) {
        FUZZ_CHECK(IsUtf8(field));
        const std::string substituted = inf.Substitute(field);
        FUZZ_CHECK(IsUtf8(substituted));
        FUZZ_CHECK(substituted.size() <= InfFile::kMaxStringBytes);
      }
    }
  }

  const InfDriver driver = ReadDriver(inf);
  std::unordered_set<std::string> models_named;
  std::size_t ids = 0;
  bool for_x64 = false;
  for (const InfModels& models : driver.models) {
    FUZZ_CHECK(IsUtf8(models.section));
    FUZZ_CHECK(models_named.insert(Lower(models.section)).second);
    FUZZ_CHECK(models.present == (inf.Find(models.section) != nullptr));
    FUZZ_CHECK(models.present || models.ids.empty());
    for_x64 |= models.present && (models.platform == "x64" || models.platform == "any");
    std::unordered_set<std::string> seen;
    for (const std::string& id : models.ids) {
      FUZZ_CHECK(!id.empty() && IsUtf8(id));
      FUZZ_CHECK(seen.insert(Lower(id)).second);
      // What a report shows of it has no control characters.
      for (char c : Utf8Text().ToUtf8(id)) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    }
    ids += models.ids.size();
  }
  FUZZ_CHECK(ids <= kMaxInfIds);
  FUZZ_CHECK(driver.models_for_x64 == for_x64);
  bool named = false;
  for (const InfCatalog& catalog : driver.catalogs) {
    FUZZ_CHECK(IsUtf8(catalog.key) && IsUtf8(catalog.file) && !catalog.file.empty());
    FUZZ_CHECK(Lower(catalog.key).rfind("catalogfile", 0) == 0);
    named |= driver.catalog_x64 == catalog.file;
  }
  FUZZ_CHECK(!driver.catalog_x64 || named);
  return 0;
}
