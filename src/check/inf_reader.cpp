#include "check/inf_reader.h"

#include <algorithm>
#include <unordered_set>

#include "check/text.h"

namespace camsetup::check {
namespace {

constexpr std::size_t kMaxSectionName = 255;  // characters (UTF-16 units)

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The UTF-16 units of UTF-8 text, as Windows counts a name's characters.
std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80 || byte >= 0xC0) ++units;
    if (byte >= 0xF0) ++units;  // a surrogate pair
  }
  return units;
}

std::size_t EndOfLine(std::string_view text, std::size_t pos) {
  const std::size_t end = text.find('\n', pos);
  return end == std::string_view::npos ? text.size() : end;
}

// One field as it is read: blanks before it are dropped, blanks inside it
// kept, and blanks after it dropped unless text follows them. Quoted text
// is taken whole.
class Field {
 public:
  void Add(std::string_view text) {
    text_ += pending_;
    pending_.clear();
    text_ += text;
    started_ = true;
  }
  void Add(char c) { Add(std::string_view(&c, 1)); }
  void Blank(char c) {
    if (started_) pending_ += c;
  }
  void DropBlanks() { pending_.clear(); }
  std::string Take() {
    std::string text = std::move(text_);
    *this = Field();
    return text;
  }

 private:
  std::string text_;
  std::string pending_;  // blanks after the text so far
  bool started_ = false;
};

}  // namespace

const char* InfEncodingName(InfEncoding encoding) {
  switch (encoding) {
    case InfEncoding::kUtf8:
      return "UTF-8";
    case InfEncoding::kUtf16Le:
      return "UTF-16LE";
    case InfEncoding::kAnsi:
      break;
  }
  return "ANSI";
}

const char* InfProblemText(InfProblem problem) {
  switch (problem) {
    case InfProblem::kUnfinishedSectionName:
      return "a section name without its closing ']'";
    case InfProblem::kSectionNameTooLong:
      return "a section name longer than 255 characters";
    case InfProblem::kLineOutsideSection:
      return "a line before the first section";
    case InfProblem::kNoSignature:
      return "no Signature of \"$Windows NT$\" or \"$Chicago$\" in [Version]";
    case InfProblem::kNone:
      break;
  }
  return "";
}

InfText DecodeInf(std::string_view bytes, const AnsiDecoder& ansi) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return {InfEncoding::kUtf16Le, Utf16LeCharacters(bytes.substr(2))};
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return {InfEncoding::kUtf8, Utf8Characters(bytes.substr(3))};
  }
  return {InfEncoding::kAnsi, ansi(bytes)};
}

InfFile::InfFile(std::string_view text) {
  Parse(text);
  if (problem_ != InfProblem::kNone) return;
  const std::optional<std::string> signature = Value("Version", "Signature");
  if (!signature || !(SameName(*signature, "$Windows NT$") || SameName(*signature, "$Chicago$") ||
                      SameName(*signature, "$Windows 95$"))) {
    SetProblem(InfProblem::kNoSignature, 0);
  }
}

void InfFile::SetProblem(InfProblem problem, int line) {
  // The first in the file is the one Windows stops at.
  if (problem_ != InfProblem::kNone && line >= problem_line_) return;
  problem_ = problem;
  problem_line_ = line;
}

void InfFile::Parse(std::string_view input) {
  std::string text(input.substr(0, input.find('\x1A')));
  std::replace(text.begin(), text.end(), '\0', ' ');

  std::size_t pos = 0;
  int line = 1;
  std::optional<std::size_t> current;  // the section that lines go to
  std::optional<int> outside;          // the first line before any section
  while (pos < text.size()) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size()) break;
    if (text[pos] == '\n') {
      ++pos;
      ++line;
      continue;
    }
    if (text[pos] == ';') {
      pos = EndOfLine(text, pos);
      continue;
    }
    if (text[pos] == '[') {
      // The name runs to the first ']' on the line, taken as it is; the
      // rest of the line is ignored.
      const std::size_t end = EndOfLine(text, pos);
      const std::size_t close = std::string_view(text).substr(0, end).find(']', pos + 1);
      if (close == std::string_view::npos) {
        SetProblem(InfProblem::kUnfinishedSectionName, line);
        pos = end;
        continue;
      }
      const std::string name = text.substr(pos + 1, close - pos - 1);
      if (Utf16Units(name) > kMaxSectionName) SetProblem(InfProblem::kSectionNameTooLong, line);
      const auto [at, added] = index_.emplace(Lower(name), sections_.size());
      if (added) sections_.push_back({name, line, {}});
      current = at->second;
      pos = end;
      continue;
    }

    // A key and fields, over the lines that a trailing '\' joins.
    InfLine entry;
    entry.line = line;
    Field field;
    bool quoted = false;
    while (pos < text.size() && text[pos] != '\n') {
      const char c = text[pos];
      if (quoted) {
        if (c != '"') {
          field.Add(c);
          ++pos;
        } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
          field.Add('"');
          pos += 2;
        } else {
          quoted = false;
          ++pos;
        }
        continue;
      }
      if (c == ';') {
        pos = EndOfLine(text, pos);
      } else if (c == '"') {
        field.Add("");
        quoted = true;
        ++pos;
      } else if (c == ',') {
        entry.fields.push_back(field.Take());
        ++pos;
      } else if (c == '=' && !entry.key && entry.fields.empty()) {
        entry.key = field.Take();
        ++pos;
      } else if (c == '\\') {
        // Blanks, more backslashes and a comment may follow before the
        // line ends; anything else makes the backslashes and blanks text.
        std::size_t next = pos + 1;
        while (next < text.size() && (IsBlank(text[next]) || text[next] == '\\')) ++next;
        if (next < text.size() && text[next] == ';') next = EndOfLine(text, next);
        if (next < text.size() && text[next] != '\n') {
          field.Add(std::string_view(text).substr(pos, next - pos));
          pos = next;
          continue;
        }
        field.DropBlanks();
        pos = next;
        if (pos < text.size()) {
          ++pos;
          ++line;
        }
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
      } else if (IsBlank(c)) {
        field.Blank(c);
        ++pos;
      } else {
        field.Add(c);
        ++pos;
      }
    }
    entry.fields.push_back(field.Take());
    // A line of one field without '=' has it as its key too.
    if (!entry.key && entry.fields.size() == 1) entry.key = entry.fields.front();
    if (current) {
      sections_[*current].lines.push_back(std::move(entry));
    } else if (!outside) {
      outside = entry.line;
    }
  }
  // Windows takes lines before the first section where the file has a
  // [Strings] section, and refuses the file otherwise.
  const InfSection* strings = Find("Strings");
  if (outside && !strings) SetProblem(InfProblem::kLineOutsideSection, *outside);
  if (strings) {
    for (const InfLine& entry : strings->lines) {
      if (entry.key) strings_.emplace(Lower(*entry.key), entry.fields.front());
    }
  }
}

const InfSection* InfFile::Find(std::string_view name) const {
  const auto found = index_.find(Lower(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

std::string InfFile::Substitute(std::string_view text) const {
  std::string out;
  const auto append = [&out](std::string_view piece) {
    out.append(piece.substr(0, kMaxStringBytes + 1 - std::min(out.size(), kMaxStringBytes + 1)));
  };
  std::size_t pos = 0;
  while (pos < text.size() && out.size() <= kMaxStringBytes) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      append(text.substr(pos));
      break;
    }
    append(text.substr(pos, open - pos));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      append(text.substr(open));
      break;
    }
    const std::string_view token = text.substr(open + 1, close - open - 1);
    if (token.empty()) {
      append("%");
    } else if (const auto value = strings_.find(Lower(token)); value != strings_.end()) {
      append(value->second);
    } else {
      append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  if (out.size() > kMaxStringBytes) {
    std::size_t end = kMaxStringBytes;
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
  }
  return out;
}

std::optional<std::string> InfFile::Value(std::string_view section, std::string_view key) const {
  const InfSection* found = Find(section);
  if (!found) return std::nullopt;
  for (const InfLine& line : found->lines) {
    if (line.key && SameName(Substitute(*line.key), key)) {
      return line.fields.empty() ? std::string() : Substitute(line.fields.front());
    }
  }
  return std::nullopt;
}

namespace {

// The platform a models decoration is for: NT<architecture>[.<version>...].
std::string PlatformOf(std::string_view decoration) {
  const std::string lower = Lower(decoration);
  if (lower.empty()) return "x86";
  if (lower.compare(0, 2, "nt") != 0) return lower;  // no decoration Windows knows
  const std::string rest = lower.substr(2);
  const std::size_t dot = rest.find('.');
  const std::string architecture = rest.substr(0, dot);
  if (architecture.empty()) return dot == std::string::npos ? "x86" : "any";
  if (architecture == "amd64") return "x64";
  return architecture;
}

struct DriverReading {
  InfDriver driver;
  std::unordered_set<std::string> models_named;  // lower case
  std::size_t ids = 0;
  std::size_t id_bytes = 0;
};

void AddModels(const InfFile& inf, const std::string& section, const std::string& decoration,
               DriverReading& reading) {
  if (!reading.models_named.insert(Lower(section)).second) return;
  InfDriver& driver = reading.driver;
  InfModels models;
  models.section = section;
  models.platform = PlatformOf(decoration);
  const InfSection* found = inf.Find(section);
  models.present = found != nullptr;
  if (found) {
    std::unordered_set<std::string> known;  // lower case
    for (const InfLine& line : found->lines) {
      if (!line.key || line.fields.size() < 2)
        continue;  // no '=', or no ID after the install section
      for (std::size_t i = 1;
           i < line.fields.size() && reading.ids < kMaxInfIds && reading.id_bytes < kMaxInfIdBytes;
           ++i) {
        std::string id = inf.Substitute(line.fields[i]);
        if (id.empty() || !known.insert(Lower(id)).second) continue;
        reading.id_bytes += id.size();
        models.ids.push_back(std::move(id));
        ++reading.ids;
      }
    }
  }
  if (models.present && (models.platform == "x64" || models.platform == "any")) {
    driver.models_for_x64 = true;
  }
  driver.models.push_back(std::move(models));
}

}  // namespace

InfDriver ReadDriver(const InfFile& inf) {
  DriverReading reading;
  InfDriver& driver = reading.driver;
  if (const InfSection* manufacturers = inf.Find("Manufacturer")) {
    for (const InfLine& line : manufacturers->lines) {
      if (line.fields.empty()) continue;
      const std::string models = inf.Substitute(line.fields.front());
      if (models.empty()) continue;
      std::vector<std::string> decorations;
      for (std::size_t i = 1; i < line.fields.size(); ++i) {
        std::string decoration = inf.Substitute(line.fields[i]);
        if (!decoration.empty()) decorations.push_back(std::move(decoration));
      }
      for (const std::string& decoration : decorations) {
        AddModels(inf, models + "." + decoration, decoration, reading);
      }
      // The undecorated section is read where no decoration is given, and
      // where none of them fits the system.
      if (decorations.empty() || inf.Find(models)) AddModels(inf, models, "", reading);
    }
  }
  if (const InfSection* version = inf.Find("Version")) {
    std::unordered_set<std::string> keys;  // lower case
    for (const InfLine& line : version->lines) {
      if (!line.key) continue;
      const std::string key = inf.Substitute(*line.key);
      if (!SameName(key.substr(0, 11), "CatalogFile") || (key.size() > 11 && key[11] != '.')) {
        continue;
      }
      if (!keys.insert(Lower(key)).second) continue;  // the first line of a key counts
      std::string file = inf.Substitute(line.fields.front());
      if (!file.empty()) driver.catalogs.push_back({key, std::move(file)});
    }
  }
  for (const char* key : {"CatalogFile.NTamd64", "CatalogFile.NT", "CatalogFile"}) {
    for (const InfCatalog& catalog : driver.catalogs) {
      if (!driver.catalog_x64 && SameName(catalog.key, key)) driver.catalog_x64 = catalog.file;
    }
  }
  return std::move(reading.driver);
}

}  // namespace camsetup::check
