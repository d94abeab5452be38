// camsetup-check and Authenticode signatures: which installers a signed
// launcher in the package would refuse, judged from signed files on disk
// (tests/signing).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/checker.h"
#include "check/render.h"
#include "package_fixture.h"
#include "platform/posix_platform.h"
#include "test_support.h"

namespace camsetup::check {
namespace {

const std::filesystem::path kFixtures = std::filesystem::path(__FILE__).parent_path() / "signing";

constexpr char kOskendal[] = "pe32-oskendal-sha256.exe";
constexpr char kRenewed[] = "pe32-oskendal-renewed-sha256.exe";
constexpr char kMueller[] = "pe32-mueller-sha256.exe";
constexpr char kUnsigned[] = "pe32.exe";
constexpr char kTampered[] = "tampered";  // kOskendal with one byte of .data changed
constexpr char kNotAProgram[] = "text";
constexpr char kMsi[] = "msi";            // an OLE compound file
constexpr char kInf[] = "inf";
constexpr std::size_t kDataSection = 0x400;

std::string Bytes(const std::string& kind) {
  if (kind == kNotAProgram) return "installer";
  if (kind == kMsi) return std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "msi";
  if (kind == kInf) return "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  std::ifstream in(kFixtures / (kind == kTampered ? kOskendal : kind), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_GT(bytes.size(), kDataSection) << "no fixture " << kind;
  if (kind == kTampered && bytes.size() > kDataSection) bytes[kDataSection] ^= 0x01;
  return bytes;
}

struct SignatureCase {
  CAMSETUP_PRINTS_NAME(SignatureCase)
  const char* name;
  std::optional<std::string> launcher;  // camsetup.exe's fixture; none: not in the package
  std::string installer;                // Camera1's installer's fixture
  std::string launcher_section;         // [Launcher] lines
  const char* launcher_state;           // as the JSON names it; nullptr: none reported
  const char* installer_state;
  std::vector<Rule> findings;  // those about signatures, in order
  std::string refusal;         // part of it; empty: the launcher starts the installer
  int exit_status;
};

const std::string kOskendalSubject = "CN=Oskendal Camera Co, O=Oskendal Camera Co, C=DE";

const SignatureCase kSignatureCases[] = {
    {"UnsignedLauncherStartsUnsigned", kUnsigned, kUnsigned, "", "unsigned", "unsigned", {}, "", 0},
    {"NoLauncherSignersStillShown", std::nullopt, kMueller, "", nullptr, "valid", {}, "", 0},
    {"SamePublisher", kOskendal, kOskendal, "", "valid", "valid", {}, "", 0},
    {"RenewedCertificateSameSubject", kOskendal, kRenewed, "", "valid", "valid", {}, "", 0},
    {"UnsignedInstallerRefused", kOskendal, kUnsigned, "", "valid", "unsigned",
     {Rule::kInstallerRefused}, "it is unsigned", 2},
    {"OtherPublisherRefused", kOskendal, kMueller, "", "valid", "valid",
     {Rule::kInstallerRefused},
     "M\xC3\xBCller GmbH, C=DE\", not by the launcher's publisher \"" + kOskendalSubject, 2},
    {"TamperedInstallerRefused", kOskendal, kTampered, "", "valid", "changed-after-signing",
     {Rule::kInstallerRefused}, "it changed after it was signed", 2},
    {"NotAProgramRefused", kOskendal, kNotAProgram, "", "valid", "not-a-program",
     {Rule::kInstallerRefused}, "not a program", 2},
    {"AnySignedOtherPublisher", kOskendal, kMueller, "Installers=AnySigned\r\n", "valid", "valid",
     {}, "", 0},
    {"AnySignedInAnyCase", kOskendal, kMueller, "Installers=anysigned\r\n", "valid", "valid", {},
     "", 0},
    {"AnySignedStillRefusesUnsigned", kOskendal, kUnsigned, "Installers=AnySigned\r\n", "valid",
     "unsigned", {Rule::kInstallerRefused}, "it is unsigned", 2},
    {"AnySignedStillRefusesTampered", kOskendal, kTampered, "Installers=AnySigned\r\n", "valid",
     "changed-after-signing", {Rule::kInstallerRefused}, "it changed after it was signed", 2},
    {"UnknownValueKeepsSamePublisher", kOskendal, kMueller, "Installers=Mueller\r\n", "valid",
     "valid", {Rule::kInstallersValue, Rule::kInstallerRefused}, "not by the launcher's publisher",
     2},
    {"UnknownValueWithUnsignedLauncher", kUnsigned, kMueller, "Installers=Any\r\n", "unsigned",
     "valid", {Rule::kInstallersValue}, "", 1},
    {"TamperedLauncherChecksNothing", kTampered, kUnsigned, "", "changed-after-signing",
     "unsigned", {Rule::kLauncherSignatureInvalid}, "", 1},
    {"UnsignedLauncherStartsOtherPublisher", kUnsigned, kMueller, "", "unsigned", "valid", {}, "",
     0},
    {"MsiNotVerifiedHere", kOskendal, kMsi, "", "valid", "not-verified",
     {Rule::kSignatureNotVerified}, "", 1},
    {"MsiWithUnsignedLauncher", kUnsigned, kMsi, "", "unsigned", "not-verified", {}, "", 0},
    {"InfNotChecked", kOskendal, kInf, "", "valid", nullptr, {}, "", -1},
};

bool AboutSignatures(Rule rule) {
  return rule == Rule::kInstallerRefused || rule == Rule::kSignatureNotVerified ||
         rule == Rule::kLauncherSignatureInvalid || rule == Rule::kInstallersValue;
}

class CheckSignatureTest : public camsetup::testing::PackageTest<SignatureCase> {
 protected:
  void Write(const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = dir_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // The package: setup.ini with one model whose Path names `installer`.
  Report Check(const SignatureCase& c, std::string* text = nullptr) {
    const std::string file = c.installer == kMsi   ? "ModelA\\driver.msi"
                             : c.installer == kInf ? "ModelA\\driver.inf"
                                                   : "ModelA\\setup.exe";
    Write("setup.ini", (c.launcher_section.empty() ? "" : "[Launcher]\r\n" + c.launcher_section) +
                           "[Camera1]\r\nPath=" + file + "\r\nPID=0A01\r\n");
    Write("ModelA/" + file.substr(file.find('\\') + 1), Bytes(c.installer));
    if (c.launcher) Write("camsetup.exe", Bytes(*c.launcher));
    const std::optional<CodePageText> ini_text = CodePageText::Open(1252);
    EXPECT_TRUE(ini_text.has_value());
    const Utf8Text host_text;
    PosixPlatform host;
    CheckOptions options{dir_, dir_ + "/setup.ini", dir_ + "\\", true, {{"USB\\VID_5A3D&PID_0A01"}},
                         true};
    const Report report = check::Check(options, PosixCheckHost(host, options.folder, *ini_text,
                                                               host_text));
    if (text) *text = RenderText(report);
    return report;
  }
};

TEST_P(CheckSignatureTest, WhatASignedLauncherRefuses) {
  const SignatureCase& c = GetParam();
  std::string text;
  const Report report = Check(c, &text);
  ASSERT_EQ(report.models.size(), 1u) << text;
  const ModelReport& model = report.models[0];

  if (c.launcher_state) {
    ASSERT_TRUE(report.launcher_signature.has_value()) << text;
    EXPECT_STREQ(SignatureStateName(*report.launcher_signature), c.launcher_state) << text;
  } else {
    EXPECT_FALSE(report.launcher_signature.has_value()) << text;
  }
  if (c.installer_state) {
    ASSERT_TRUE(model.signature.has_value()) << text;
    EXPECT_STREQ(SignatureStateName(*model.signature), c.installer_state) << text;
  } else {
    EXPECT_FALSE(model.signature.has_value()) << "an INF is not checked\n" << text;
  }

  std::vector<Rule> found;
  for (const Finding& f : report.findings) {
    if (AboutSignatures(f.rule)) found.push_back(f.rule);
  }
  EXPECT_EQ(found, c.findings) << text;
  if (c.refusal.empty()) {
    EXPECT_EQ(model.refusal, "") << text;
    EXPECT_EQ(text.find("The launcher refuses"), std::string::npos) << text;
  } else {
    EXPECT_NE(model.refusal.find(c.refusal), std::string::npos) << text;
    // The selection says what the run would show instead of starting it.
    EXPECT_NE(text.find("The launcher refuses Camera1's installer \"ModelA\\setup.exe\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("reports: Installer signature check fail"), std::string::npos) << text;
  }
  if (c.exit_status >= 0) {
    EXPECT_EQ(report.ExitStatus(), c.exit_status) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckSignatureTest, ::testing::ValuesIn(kSignatureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The signers as the text and the JSON show them, and the refusal located
// on Path's line.
class CheckSignatureOutputTest : public CheckSignatureTest {};

TEST_F(CheckSignatureOutputTest, SignersAndRefusalInTextAndJson) {
  const SignatureCase c = {"OtherPublisher", kOskendal, kMueller, "", "", "", {}, "", 0};
  std::string text;
  const Report report = Check(c, &text);
  EXPECT_NE(text.find("Launcher: camsetup.exe signed by \"" + kOskendalSubject +
                      "\" [OpenSSL]; it starts only installers that the same publisher signed\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    signature: signed by \"CN=Kamerawerk M\xC3\xBCller GmbH"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    refused by the signed launcher: it is signed by"), std::string::npos)
      << text;
  EXPECT_NE(text.find("/setup.ini:2: error: Camera1: the signed launcher refuses to start "
                      "\"ModelA\\setup.exe\""),
            std::string::npos)
      << text;

  const nlohmann::json json = nlohmann::json::parse(RenderJson(report));
  EXPECT_EQ(json["launcher"]["signature"]["state"], "valid");
  EXPECT_EQ(json["launcher"]["signature"]["signer"], kOskendalSubject);
  EXPECT_EQ(json["launcher"]["signature"]["verified_by"], "OpenSSL");
  EXPECT_EQ(json["launcher"]["checks_installers"], true);
  EXPECT_EQ(json["launcher"]["installers"], "same-publisher");
  const nlohmann::json& model = json["models"][0];
  EXPECT_EQ(model["signature"]["state"], "valid");
  EXPECT_NE(model["signature"]["signer"].get<std::string>().find("Kamerawerk"), std::string::npos);
  EXPECT_NE(model["refused"].get<std::string>().find("not by the launcher's publisher"),
            std::string::npos);
  EXPECT_EQ(json["exit_status"], 2);
}

}  // namespace
}  // namespace camsetup::check
