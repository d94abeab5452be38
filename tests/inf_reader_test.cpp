// The INF reader of camsetup-check: encodings, lines, sections, strings,
// and a driver's models sections and catalogs.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "check/inf_reader.h"
#include "check/text.h"
#include "inf_fixtures.h"
#include "test_support.h"

namespace camsetup::check {
namespace {

using camsetup::testing::Utf16Le;

// A line as the reader gives it: <key>=<field>,<field>, or without a key
// <field>,<field>, after its line number.
std::string Shown(const InfLine& line) {
  std::string out = std::to_string(line.line) + " ";
  if (line.key) out += "<" + *line.key + ">=";
  for (std::size_t i = 0; i < line.fields.size(); ++i) {
    out += (i ? ",<" : "<") + line.fields[i] + ">";
  }
  return out;
}

const std::string kHeader = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Test]\r\n";

struct InfCase {
  CAMSETUP_PRINTS_NAME(InfCase)
  const char* name;
  std::string bytes;
  InfEncoding encoding;
  std::vector<std::string> test_lines;  // of [Test], as Shown gives them
  InfProblem problem = InfProblem::kNone;
  int problem_line = 0;
  int code_page = 1252;  // for ANSI
};

const InfCase kInfCases[] = {
    {"KeyAndFields", kHeader + " a b = c , d \r\n", InfEncoding::kAnsi, {"4 <a b>=<c>,<d>"}},
    {"OneFieldIsTheKey", kHeader + "ab\r\n", InfEncoding::kAnsi, {"4 <ab>=<ab>"}},
    {"FieldsWithoutKey", kHeader + "ab,cd=ef\r\n", InfEncoding::kAnsi, {"4 <ab>,<cd=ef>"}},
    {"EmptyFields", kHeader + "a=b,,\"\",\" \",c\r\n=\r\n", InfEncoding::kAnsi,
     {"4 <a>=<b>,<>,<>,< >,<c>", "5 <>=<>"}},
    {"Comments", kHeader + "; a comment\r\nab=cd ; note\r\nef=\"g;h\" ;\r\n", InfEncoding::kAnsi,
     {"5 <ab>=<cd>", "6 <ef>=<g;h>"}},
    {"Quotes", kHeader + "ab\"\"cd=ef\r\nx=\"a\"\"b\", \"c,d\" e\r\nAb\"Cd=Ef\"\r\nk='q'\r\n",
     InfEncoding::kAnsi,
     {"4 <abcd>=<ef>", "5 <x>=<a\"b>,<c,d e>", "6 <AbCd=Ef>=<AbCd=Ef>", "7 <k>=<'q'>"}},
    {"QuoteEndsAtTheLineEnd", kHeader + "a=\"b,c\nd=e\n", InfEncoding::kAnsi,
     {"4 <a>=<b,c>", "5 <d>=<e>"}},
    {"Continuation",
     kHeader + "a = b, \\\r\n   c\r\nab  \\ ; note\r\ncd=ef\r\ng=h \\\r\n\r\n" +
         "i=j\\k\r\nba \\ dc=x\r\n",
     InfEncoding::kAnsi,
     {"4 <a>=<b>,<c>", "6 <abcd>=<ef>", "8 <g>=<h>", "10 <i>=<j\\k>", "11 <ba \\ dc>=<x>"}},
    {"ContinuationAtTheEnd", kHeader + "ab=cd \\ ", InfEncoding::kAnsi, {"4 <ab>=<cd>"}},
    {"CtrlZEndsTheFile", kHeader + "ab=c\x1A" "d\r\nef=g\r\n", InfEncoding::kAnsi,
     {"4 <ab>=<c>"}},
    {"NulIsABlank", kHeader + std::string("ab=ef\0gh \0\r\n", 12), InfEncoding::kAnsi,
     {"4 <ab>=<ef gh>"}},
    {"SectionsWithoutRegardToCaseAndMerged",
     kHeader + "a=1\r\n[Other]\r\nb=2\r\n  [TEST]  ; again\r\nc=3\r\n[Test[S]ection]\r\nd=4\r\n",
     InfEncoding::kAnsi, {"4 <a>=<1>", "8 <c>=<3>"}},
    {"LineFeedsOnly", "[Version]\nSignature=$Chicago$\n[Test]\nab=cd\n", InfEncoding::kAnsi,
     {"4 <ab>=<cd>"}},
    {"Ansi1252", kHeader + "caf\xe9=\xe9t\xe9\r\n", InfEncoding::kAnsi,
     {u8"4 <café>=<été>"}},
    // In code page 932 the trail byte of ソ (83 5C) is 0x5C: it is no
    // backslash, so the line does not continue.
    {"Ansi932TrailByteIsNoBackslash", kHeader + "a=\x83\x5C\r\nb=c\r\n", InfEncoding::kAnsi,
     {u8"4 <a>=<ソ>", "5 <b>=<c>"}, InfProblem::kNone, 0, 932},
    {"Utf16LeWithByteOrderMark", Utf16Le(kHeader + u8"カメラ = ソフト, \"x\"\r\nab=cd\r\n"),
     InfEncoding::kUtf16Le, {u8"4 <カメラ>=<ソフト>,<x>", "5 <ab>=<cd>"}},
    {"Utf8WithByteOrderMark", "\xEF\xBB\xBF" + kHeader + u8"カメラ=ソフト\r\n",
     InfEncoding::kUtf8, {u8"4 <カメラ>=<ソフト>"}},
    // UTF-16LE without its mark is read as ANSI: each character is followed
    // by a NUL, a blank, so that no name is what it was ("[ V e r s i o n ]").
    {"Utf16LeWithoutByteOrderMark", Utf16Le(kHeader + "ab=cd\r\n").substr(2),
     InfEncoding::kAnsi, {}, InfProblem::kNoSignature, 0},
    // What makes Windows refuse the file: the first of them in the file.
    {"UnfinishedSectionName", kHeader + "ab=cd\r\n[ab\r\n[cd\r\n", InfEncoding::kAnsi,
     {"4 <ab>=<cd>"}, InfProblem::kUnfinishedSectionName, 5},
    {"SectionNameOf255Characters", kHeader + "[" + std::string(255, 'a') + "]\r\n",
     InfEncoding::kAnsi, {}},
    {"SectionNameTooLong", kHeader + "[" + std::string(256, 'a') + "]\r\n", InfEncoding::kAnsi,
     {}, InfProblem::kSectionNameTooLong, 4},
    {"LineBeforeTheFirstSection", "; c\r\nabc\r\n" + kHeader, InfEncoding::kAnsi, {},
     InfProblem::kLineOutsideSection, 2},
    {"LineBeforeTheFirstSectionWithStrings", "abc\r\n" + kHeader + "[Strings]\r\n",
     InfEncoding::kAnsi, {}},
    {"NoSignature", "[Version]\r\nClass=Camera\r\n[Test]\r\n", InfEncoding::kAnsi, {},
     InfProblem::kNoSignature, 0},
    {"OtherSignature", "[Version]\r\nSignature=$Windows 10$\r\n", InfEncoding::kAnsi, {},
     InfProblem::kNoSignature, 0},
    {"SignatureWithoutRegardToCase", "[version]\nsignature=$chicago$,x\n[test]\n",
     InfEncoding::kAnsi, {}},
    {"Empty", "", InfEncoding::kAnsi, {}, InfProblem::kNoSignature, 0},
};

class InfReaderTest : public ::testing::TestWithParam<InfCase> {};

TEST_P(InfReaderTest, LinesEncodingAndProblem) {
  const InfCase& c = GetParam();
  const std::optional<CodePageText> code_page = CodePageText::Open(c.code_page);
  ASSERT_TRUE(code_page.has_value());
  const InfText text =
      DecodeInf(c.bytes, [&code_page](std::string_view b) { return code_page->Characters(b); });
  EXPECT_EQ(text.encoding, c.encoding);
  const InfFile inf(text.text);
  std::vector<std::string> lines;
  if (const InfSection* test = inf.Find("test")) {
    for (const InfLine& line : test->lines) lines.push_back(Shown(line));
  }
  EXPECT_EQ(lines, c.test_lines);
  EXPECT_EQ(inf.problem(), c.problem) << InfProblemText(inf.problem());
  EXPECT_EQ(inf.problem_line(), c.problem_line);
}

INSTANTIATE_TEST_SUITE_P(Cases, InfReaderTest, ::testing::ValuesIn(kInfCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InfStrings, Substituted) {
  const InfFile inf(
      "[Strings]\r\nfoo=aaa\r\nper=1\r\ncent=2\r\nloop=%loop2%\r\nloop2=%loop%\r\n"
      "quoted=\" b \"\r\n[strings]\r\nlater=z\r\n");
  const struct {
    const char* text;
    const char* substituted;
  } cases[] = {
      {"%foo%", "aaa"},           {"%FOO%xx", "aaaxx"},         {"%% %foo%", "% aaa"},
      {"%per%%cent%", "12"},      {"%loop%", "%loop2%"},        {"%missing%", "%missing%"},
      {"a%foo", "a%foo"},         {"%quoted%", " b "},          {"%later%", "z"},
      {"no strings", "no strings"},
  };
  for (const auto& c : cases) EXPECT_EQ(inf.Substitute(c.text), c.substituted) << c.text;
}

TEST(InfStrings, KeysAndValuesOfASection) {
  const InfFile inf(
      "[Version]\r\nSignature=\"$Windows NT$\"\r\n%Cat%=first.cat\r\nCatalogFile=second.cat\r\n"
      "[Strings]\r\nCat=CATALOGFILE\r\nName=cam\r\n[Other]\r\nKey=%Name%.cat,x\r\n");
  EXPECT_EQ(inf.Value("version", "catalogfile"), std::optional<std::string>("first.cat"));
  EXPECT_EQ(inf.Value("Other", "key"), std::optional<std::string>("cam.cat"));
  EXPECT_EQ(inf.Value("Other", "none"), std::nullopt);
  EXPECT_EQ(inf.Value("None", "key"), std::nullopt);
}

// Models sections as [Manufacturer] names them, plain and decorated.
std::string Models(const InfDriver& driver) {
  std::string out;
  for (const InfModels& m : driver.models) {
    out += m.section + " (" + m.platform + (m.present ? "" : ", missing") + "):";
    for (const std::string& id : m.ids) out += " " + id;
    out += "\n";
  }
  return out;
}

TEST(InfDriver, DecoratedAndPlainModelsSections) {
  const InfFile inf(
      "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
      "[Manufacturer]\r\n"
      "%Mfg% = Cams, NTamd64, NTx86, NTarm64.10.0...16299\r\n"
      "Other\r\n"
      "%Mfg% = Cams, NTamd64  ; named again\r\n"
      "[Cams.ntamd64]\r\n"
      "%D% = Inst, USB\\VID_5A3D&PID_0B01&MI_00, \\\r\n"
      "      USB\\VID_5A3D&PID_0B01\r\n"
      "%D% = Inst, usb\\vid_5a3d&pid_0b01 ; the same ID\r\n"
      "[Cams.NTx86]\r\n"
      "%D% = Inst, %Id%, USB\\Class_0E\r\n"
      "NoIds = Inst\r\n"
      "[Other]\r\n"
      "D2 = Inst, \"USB\\VID_5A3D&PID_0C01\"\r\n"
      "[Strings]\r\nMfg=Velmora\r\nId=\"USB\\VID_5A3D&PID_0B01\"\r\n");
  ASSERT_EQ(inf.problem(), InfProblem::kNone);
  const InfDriver driver = ReadDriver(inf);
  EXPECT_EQ(Models(driver),
            "Cams.NTamd64 (x64): USB\\VID_5A3D&PID_0B01&MI_00 USB\\VID_5A3D&PID_0B01\n"
            "Cams.NTx86 (x86): USB\\VID_5A3D&PID_0B01 USB\\Class_0E\n"
            "Cams.NTarm64.10.0...16299 (arm64, missing):\n"
            "Other (x86): USB\\VID_5A3D&PID_0C01\n");
  EXPECT_TRUE(driver.models_for_x64);
}

TEST(InfDriver, PlatformsOfTheDecorations) {
  const struct {
    const char* manufacturer;
    const char* models;
    bool for_x64;
  } cases[] = {
      {"M = Cams", "Cams (x86):\n", false},
      {"M = Cams, NT", "Cams.NT (x86, missing):\nCams (x86):\n", false},
      {"M = Cams, NTx86.6.1", "Cams.NTx86.6.1 (x86, missing):\nCams (x86):\n", false},
      {"M = Cams, NT.6.1", "Cams.NT.6.1 (any, missing):\nCams (x86):\n", false},
      {"M = Cams, NTAMD64.10.0...19041", "Cams.NTAMD64.10.0...19041 (x64, missing):\nCams (x86):\n",
       false},
      {"M = Cams, NTia64, NTarm, Other",
       "Cams.NTia64 (ia64, missing):\nCams.NTarm (arm, missing):\nCams.Other (other, missing):\n"
       "Cams (x86):\n",
       false},
      {"M = %Models%", "Cams (x86):\n", false},
      {"M = Nowhere", "Nowhere (x86, missing):\n", false},
  };
  for (const auto& c : cases) {
    const InfFile inf(std::string("[Version]\r\nSignature=$Chicago$\r\n[Manufacturer]\r\n") +
                      c.manufacturer + "\r\n[Cams]\r\nD = I, X\r\n[Strings]\r\nModels=Cams\r\n");
    const InfDriver driver = ReadDriver(inf);
    std::string models = Models(driver);
    // The IDs are not what this is about.
    for (std::size_t at; (at = models.find(" X\n")) != std::string::npos;) models.erase(at, 2);
    EXPECT_EQ(models, c.models) << c.manufacturer;
    EXPECT_EQ(driver.models_for_x64, c.for_x64) << c.manufacturer;
  }
  // A section of the decoration that 64-bit Windows reads, present.
  for (const char* decoration : {"NTamd64", "ntAMD64.10.0", "NT.6.1"}) {
    const InfFile inf(std::string("[Version]\r\nSignature=$Chicago$\r\n[Manufacturer]\r\nM=Cams,") +
                      decoration + "\r\n[Cams." + decoration + "]\r\nD = I, X\r\n");
    EXPECT_TRUE(ReadDriver(inf).models_for_x64) << decoration;
  }
}

TEST(InfDriver, CatalogsAndTheOneFor64BitWindows) {
  const auto catalogs = [](const std::string& version) {
    const InfFile inf("[Version]\r\nSignature=$Windows NT$\r\n" + version +
                      "[Strings]\r\nc=cam.cat\r\n");
    const InfDriver driver = ReadDriver(inf);
    std::string out;
    for (const InfCatalog& c : driver.catalogs) out += c.key + "=" + c.file + ";";
    return out + " x64: " + driver.catalog_x64.value_or("none");
  };
  EXPECT_EQ(catalogs("CatalogFile=%c%\r\nCatalogFile.NTamd64=x64.cat\r\n"
                     "CatalogFile.ntx86 = x86.cat\r\ncatalogfile.NTAMD64=again.cat\r\n"
                     "CatalogFiles=no.cat\r\n"),
            "CatalogFile=cam.cat;CatalogFile.NTamd64=x64.cat;CatalogFile.ntx86=x86.cat; x64: "
            "x64.cat");
  EXPECT_EQ(catalogs("CatalogFile.NT=nt.cat\r\nCatalogFile=all.cat\r\n"),
            "CatalogFile.NT=nt.cat;CatalogFile=all.cat; x64: nt.cat");
  EXPECT_EQ(catalogs("CatalogFile=\"all.cat\"\r\n"), "CatalogFile=all.cat; x64: all.cat");
  EXPECT_EQ(catalogs("CatalogFile.NTx86=x86.cat\r\n"), "CatalogFile.NTx86=x86.cat; x64: none");
  EXPECT_EQ(catalogs("CatalogFile=\r\n"), " x64: none");
  EXPECT_EQ(catalogs(""), " x64: none");
}

}  // namespace
}  // namespace camsetup::check
