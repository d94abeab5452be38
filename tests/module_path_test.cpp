// The launcher's own path in the ANSI code page: only the folder must be
// named without loss.
#include "platform/module_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace camsetup {
namespace {

enum class CodePage {
  kLatin1,  // one byte per character below U+0100, nothing else (as 1252, simplified)
  kUtf8,    // every valid UTF-16 text; a lone surrogate cannot be named
};

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
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
  return out;
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] < 0xE000) {
      return true;
    }
  }
  return false;
}

AnsiChars Owned(const std::string& text) {
  AnsiChars owned{std::make_unique<char[]>(text.size() + 1), text.size()};
  std::memcpy(owned.data.get(), text.data(), text.size());
  return owned;
}

// Conversions of a modelled code page and a volume's short names; every
// call is recorded with its result.
struct FakeOps {
  CodePage code_page = CodePage::kLatin1;
  std::map<std::u16string, std::u16string> short_names;  // folder -> short form
  bool faulty_lossy = false;  // the lossy conversion maps U+00A5 to a backslash, best-fit style
  std::vector<std::string> calls;

  AnsiChars Lossless(std::u16string_view wide) {
    AnsiChars out;
    if (code_page == CodePage::kUtf8) {
      if (!HasLoneSurrogate(wide)) out = Owned(Utf8(wide));
    } else {
      std::string bytes;
      bool lost = false;
      for (char16_t c : wide) {
        lost |= c >= 0x100;
        bytes += static_cast<char>(c);
      }
      if (!lost) out = Owned(bytes);
    }
    Record("Lossless", wide, out);
    return out;
  }

  AnsiChars Lossy(std::u16string_view wide) {
    std::string bytes;
    if (code_page == CodePage::kUtf8) {
      bytes = Utf8(wide);
    } else {
      for (char16_t c : wide) {
        if (c >= 0xDC00 && c < 0xE000) continue;  // one '?' per surrogate pair
        bytes += faulty_lossy && c == 0xA5 ? '\\' : c < 0x100 ? static_cast<char>(c) : '?';
      }
    }
    AnsiChars out = Owned(bytes);
    Record("Lossy", wide, out);
    return out;
  }

  WideChars<char16_t> ShortPath(std::u16string_view wide) {
    WideChars<char16_t> out;
    auto it = short_names.find(std::u16string(wide));
    if (it != short_names.end()) {
      out.data = std::make_unique<char16_t[]>(it->second.size() + 1);
      std::memcpy(out.data.get(), it->second.data(), it->second.size() * sizeof(char16_t));
      out.length = it->second.size();
    }
    calls.push_back("ShortPath(" + Utf8(wide) + ") -> " +
                    (out.IsNull() ? "null" : Utf8(out.view())));
    return out;
  }

  void Record(const char* what, std::u16string_view wide, const AnsiChars& out) {
    calls.push_back(std::string(what) + "(" + Utf8(wide) + ") -> " +
                    (out.IsNull() ? "null" : std::string(out.view())));
  }
};

struct ModulePathCase {
  CAMSETUP_PRINTS_NAME(ModulePathCase)
  const char* name;
  std::u16string wide;
  std::map<std::u16string, std::u16string> short_names;
  Dword size;
  std::string expected;  // the buffer's text
  Dword result;
  Dword error;
  std::vector<std::string> calls;
  CodePage code_page = CodePage::kLatin1;
  bool wide_cut = false;
  bool faulty_lossy = false;
};

// "驱动安装" (driver setup) and "Иван" need more than code page 1252.
const std::u16string kChineseExe = u"\u9A71\u52A8\u5B89\u88C5.exe";
const std::string kChineseExeUtf8 = "\u9A71\u52A8\u5B89\u88C5.exe";
const std::u16string kIvan = u"\u0418\u0432\u0430\u043D";
const std::string kIvanUtf8 = "\u0418\u0432\u0430\u043D";
const std::u16string kIvanFolder = u"C:\\Users\\" + kIvan + u"\\pkg\\";
const std::string kIvanFolderUtf8 = "C:\\Users\\" + kIvanUtf8 + "\\pkg\\";
const std::map<std::u16string, std::u16string> kShortNames = {
    {u"C:\\Pkg\\", u"C:\\PKG\\"},
    {u"C:\\Pkg\\" + kChineseExe, u"C:\\Pkg\\9A71~1.EXE"},
    {kIvanFolder, u"C:\\Users\\C6E3~1\\pkg\\"},
};

const ModulePathCase kCases[] = {
    {"Named", u"C:\\Pkg\\camsetup.exe", kShortNames, 300, "C:\\Pkg\\camsetup.exe", 19, 0,
     {"Lossless(C:\\Pkg\\camsetup.exe) -> C:\\Pkg\\camsetup.exe"}},
    // A launcher renamed in Chinese on a Western system: its folder is
    // named, so the package is used whatever the volume keeps.
    {"FileNameNotNamed", u"C:\\Pkg\\" + kChineseExe, kShortNames, 300, "C:\\Pkg\\????.exe", 15,
     0,
     {"Lossless(C:\\Pkg\\" + kChineseExeUtf8 + ") -> null", "Lossless(C:\\Pkg\\) -> C:\\Pkg\\",
      "Lossless(" + kChineseExeUtf8 + ") -> null",
      "Lossy(" + kChineseExeUtf8 + ") -> ????.exe"}},
    {"FileNameNotNamedNoShortNames", u"C:\\Pkg\\" + kChineseExe, {}, 300, "C:\\Pkg\\????.exe", 15,
     0,
     {"Lossless(C:\\Pkg\\" + kChineseExeUtf8 + ") -> null", "Lossless(C:\\Pkg\\) -> C:\\Pkg\\",
      "Lossless(" + kChineseExeUtf8 + ") -> null",
      "Lossy(" + kChineseExeUtf8 + ") -> ????.exe"}},
    {"FolderNotNamedShortForm", kIvanFolder + u"camsetup.exe", kShortNames, 300,
     "C:\\Users\\C6E3~1\\pkg\\camsetup.exe", 32, 0,
     {"Lossless(" + kIvanFolderUtf8 + "camsetup.exe) -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null",
      "ShortPath(" + kIvanFolderUtf8 + ") -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(C:\\Users\\C6E3~1\\pkg\\) -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(camsetup.exe) -> camsetup.exe"}},
    {"FolderAndFileNameNotNamed", kIvanFolder + kChineseExe, kShortNames, 300,
     "C:\\Users\\C6E3~1\\pkg\\????.exe", 28, 0,
     {"Lossless(" + kIvanFolderUtf8 + kChineseExeUtf8 + ") -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null",
      "ShortPath(" + kIvanFolderUtf8 + ") -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(C:\\Users\\C6E3~1\\pkg\\) -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(" + kChineseExeUtf8 + ") -> null", "Lossy(" + kChineseExeUtf8 + ") -> ????.exe"}},
    {"FolderNotNamedNoShortNames", kIvanFolder + u"camsetup.exe", {}, 300, "", 0, 1113,
     {"Lossless(" + kIvanFolderUtf8 + "camsetup.exe) -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null", "ShortPath(" + kIvanFolderUtf8 + ") -> null"}},
    // A volume may give back the long form as the short one.
    {"ShortFormNotNamedEither", kIvanFolder + u"camsetup.exe", {{kIvanFolder, kIvanFolder}}, 300,
     "", 0, 1113,
     {"Lossless(" + kIvanFolderUtf8 + "camsetup.exe) -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null",
      "ShortPath(" + kIvanFolderUtf8 + ") -> " + kIvanFolderUtf8,
      "Lossless(" + kIvanFolderUtf8 + ") -> null"}},
    {"ShortFormWithoutBackslash", kIvanFolder + u"camsetup.exe",
     {{kIvanFolder, u"C:\\Users\\C6E3~1\\pkg"}}, 300, "C:\\Users\\C6E3~1\\pkg\\camsetup.exe", 32, 0,
     {"Lossless(" + kIvanFolderUtf8 + "camsetup.exe) -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null",
      "ShortPath(" + kIvanFolderUtf8 + ") -> C:\\Users\\C6E3~1\\pkg",
      "Lossless(C:\\Users\\C6E3~1\\pkg) -> C:\\Users\\C6E3~1\\pkg",
      "Lossless(camsetup.exe) -> camsetup.exe"}},
    {"NoFolderNotNamed", kChineseExe, kShortNames, 300, "", 0, 1113,
     {"Lossless(" + kChineseExeUtf8 + ") -> null"}},
    // A lossy form that holds a backslash would move the folder's end.
    {"LossyNameWithBackslash", u"C:\\Pkg\\\u00A5\u4E00.exe", {}, 300, "C:\\Pkg\\?", 8, 0,
     {"Lossless(C:\\Pkg\\\u00A5\u4E00.exe) -> null", "Lossless(C:\\Pkg\\) -> C:\\Pkg\\",
      "Lossless(\u00A5\u4E00.exe) -> null", "Lossy(\u00A5\u4E00.exe) -> \\?.exe"},
     CodePage::kLatin1, false, true},

    // Too long: cut as GetModuleFileNameA cuts, the size returned.
    {"ExactFit", u"C:\\Pkg\\camsetup.exe", {}, 20, "C:\\Pkg\\camsetup.exe", 19, 0,
     {"Lossless(C:\\Pkg\\camsetup.exe) -> C:\\Pkg\\camsetup.exe"}},
    {"OneByteShort", u"C:\\Pkg\\camsetup.exe", {}, 19, "C:\\Pkg\\camsetup.ex", 19, 122,
     {"Lossless(C:\\Pkg\\camsetup.exe) -> C:\\Pkg\\camsetup.exe"}},
    {"CutInFileNamePart", u"C:\\Pkg\\" + kChineseExe, {}, 10, "C:\\Pkg\\??", 10, 122,
     {"Lossless(C:\\Pkg\\" + kChineseExeUtf8 + ") -> null", "Lossless(C:\\Pkg\\) -> C:\\Pkg\\",
      "Lossless(" + kChineseExeUtf8 + ") -> null",
      "Lossy(" + kChineseExeUtf8 + ") -> ????.exe"}},
    {"CutInFolderPart", kIvanFolder + kChineseExe, kShortNames, 12, "C:\\Users\\C6", 12, 122,
     {"Lossless(" + kIvanFolderUtf8 + kChineseExeUtf8 + ") -> null",
      "Lossless(" + kIvanFolderUtf8 + ") -> null",
      "ShortPath(" + kIvanFolderUtf8 + ") -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(C:\\Users\\C6E3~1\\pkg\\) -> C:\\Users\\C6E3~1\\pkg\\",
      "Lossless(" + kChineseExeUtf8 + ") -> null", "Lossy(" + kChineseExeUtf8 + ") -> ????.exe"}},
    {"WidePathCut", u"C:\\Pkg\\camsetup.exe", {}, 300, "", 300, 122, {}, CodePage::kLatin1, true},
    {"NoBuffer", u"C:\\Pkg\\camsetup.exe", {}, 0, "", 0, 0,
     {"Lossless(C:\\Pkg\\camsetup.exe) -> C:\\Pkg\\camsetup.exe"}},

    // The UTF-8 code page names every valid path in full, the long form.
    {"Utf8Named", kIvanFolder + kChineseExe, kShortNames, 300, kIvanFolderUtf8 + kChineseExeUtf8,
     static_cast<Dword>((kIvanFolderUtf8 + kChineseExeUtf8).size()), 0,
     {"Lossless(" + kIvanFolderUtf8 + kChineseExeUtf8 + ") -> " + kIvanFolderUtf8 +
      kChineseExeUtf8},
     CodePage::kUtf8},
    {"Utf8LoneSurrogateInFileName", u"C:\\Pkg\\a\xD800.exe", {}, 300,
     "C:\\Pkg\\a\xEF\xBF\xBD.exe", 15, 0,
     {"Lossless(C:\\Pkg\\a\xEF\xBF\xBD.exe) -> null", "Lossless(C:\\Pkg\\) -> C:\\Pkg\\",
      "Lossless(a\xEF\xBF\xBD.exe) -> null", "Lossy(a\xEF\xBF\xBD.exe) -> a\xEF\xBF\xBD.exe"},
     CodePage::kUtf8},
    {"Utf8LoneSurrogateInFolder", u"C:\\a\xD800\\camsetup.exe", {}, 300, "", 0, 1113,
     {"Lossless(C:\\a\xEF\xBF\xBD\\camsetup.exe) -> null", "Lossless(C:\\a\xEF\xBF\xBD\\) -> null",
      "ShortPath(C:\\a\xEF\xBF\xBD\\) -> null"},
     CodePage::kUtf8},
};

class ModulePathTest : public ::testing::TestWithParam<ModulePathCase> {};

TEST_P(ModulePathTest, FolderWithoutLoss) {
  const ModulePathCase& c = GetParam();
  FakeOps ops;
  ops.code_page = c.code_page;
  ops.short_names = c.short_names;
  ops.faulty_lossy = c.faulty_lossy;
  // Guard bytes behind the buffer show any write past its size.
  constexpr std::size_t kGuard = 16;
  std::vector<char> buffer(c.size + kGuard, '#');
  const ModulePathResult got =
      AnsiModulePath(std::u16string_view(c.wide), c.wide_cut, buffer.data(), c.size, ops);
  EXPECT_EQ(got.result, c.result);
  EXPECT_EQ(got.error, c.error);
  EXPECT_EQ(ops.calls, c.calls);
  if (c.size > 0 && got.result != 0) {
    EXPECT_EQ(std::string(buffer.data()), c.expected);
  }
  EXPECT_EQ(std::string(buffer.end() - kGuard, buffer.end()), std::string(kGuard, '#'));
}

INSTANTIATE_TEST_SUITE_P(Cases, ModulePathTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace camsetup
