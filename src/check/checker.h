// What the launcher will do with a package: its camera table, the traps in
// its setup.ini, and which installer a given set of devices selects.
//
// All text in a Report is UTF-8: names from setup.ini are decoded from the
// package's code page, with \xNN for bytes that do not decode.
#ifndef CAMSETUP_CHECK_CHECKER_H_
#define CAMSETUP_CHECK_CHECKER_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/authenticode.h"
#include "check/check_platform.h"
#include "check/text.h"
#include "launcher/launcher.h"

namespace camsetup::check {

// What the launcher shows when no present device selects a model.
inline constexpr char kNotFoundMessage[] = "Velmora Webcam Device(Oskendal) was not found!";

enum class Severity { kWarning, kError };

// The kinds of finding. Their order gives the rules' ids (CAMSETUP001...)
// in SARIF output, which tools keep across runs: add new kinds at the end.
enum class Rule {
  kMissingSetupIni,
  kRefusedEntry,
  kNoModels,
  kOneCharacterPath,
  kSectionNeverRead,
  kTextAfterApostrophe,
  kNonAsciiPath,
  kPathLeavesPackage,
  kBlanksInPath,
  kProgramIsFolder,
  kMissingInstaller,
  kNoPid,
  kCodesDropped,
  kNonAsciiPid,
  kDuplicateCode,
  kLowerCaseCode,
  kShortCode,
  kSeparatorInCode,
  kCodeInEveryId,
  kLoneCarriageReturn,
  kMatchOutsidePid,
  kNoDeviceMatches,
  kByteOrderMark,
  kExitCodeValue,
  kNamesDifferInCase,
  kInfNotReadable,
  kCodeNotInInf,
  kNoModelsFor64Bit,
  kNoCatalog,
  kCatalogMissing,
  kNotAnMsi,
  kInstallerRefused,
  kSignatureNotVerified,
  kLauncherSignatureInvalid,
  kInstallersValue,
  kCount
};

struct RuleDescription {
  const char* id;    // CAMSETUP001...
  const char* name;  // in Pascal case, as SARIF tools show it
  Severity severity;
  const char* short_description;
  const char* full_description;
  const char* help;  // what to do about it
};

const RuleDescription& DescribeRule(Rule rule);

struct Finding {
  Severity severity;
  std::string section;     // "Camera3", or empty for the package as a whole
  std::optional<int> line;  // of the key or section header it concerns
  std::string message;
  Rule rule;
};

// A models section of an INF, as [Manufacturer] names it.
struct InfModelsReport {
  std::string section;   // with its decoration, such as "Cameras.NTamd64"
  std::string platform;  // "x86", "x64", "arm64", "arm", "ia64", "any"
  bool present = false;  // the INF has the section
  std::vector<std::string> hardware_ids;  // and compatible IDs, each once
};

struct InfCatalogReport {
  std::string key;   // "CatalogFile", "CatalogFile.NTamd64", ...
  std::string file;  // its name, beside the INF
  bool exists = false;
};

// What the checker read of an INF driver package.
struct InfReport {
  std::string encoding;  // "ANSI", "UTF-8", "UTF-16LE"
  std::vector<InfModelsReport> models;
  std::vector<InfCatalogReport> catalogs;
  std::vector<std::string> hardware_ids;  // of all models sections, each once
  std::optional<std::string> problem;     // why Windows' setup API does not open it
};

// An Authenticode signature as the checker found it: `info` where the host
// verified the file, none where it cannot verify the file's form (an MSI
// package on Linux).
struct SignatureReport {
  std::optional<AuthenticodeInfo> info;
  std::string host;  // what judged it: "OpenSSL" or "WinVerifyTrust"
};

// The signature's state as the reports name it: "unsigned", "valid",
// "changed-after-signing", "bad-signature", "malformed", "not-a-program",
// "not-verified".
const char* SignatureStateName(const SignatureReport& signature);

struct ModelReport {
  std::string section;
  int line = 0;              // of the section header
  std::string path;          // the Path token, relative to the package, as the launcher appends it
  std::string install_path;  // as the launcher composes it
  std::string program;       // what the launcher starts, relative to the package
  std::string switches;      // what follows the program, without the blanks before it
  bool exists = false;       // the program is a file
  bool folder = false;       // the program, or what stands before its switches, is a folder
  std::vector<std::string> codes;
  InstallerForm form = InstallerForm::kProgram;
  // The command that starts it, as the launcher composes it, without the
  // launcher's own arguments; none where the system's folders cannot be read.
  std::optional<std::string> command;
  std::optional<InfReport> inf;  // for an INF driver package that could be read
  // For a program or MSI package that exists, where the host reads signatures.
  std::optional<SignatureReport> signature;
  // Why a signed launcher refuses to start it; empty where it starts it.
  std::string refusal;
};

// Whether the launcher's own arguments follow the command of `form`: not
// for pnputil.
bool PassesArguments(InstallerForm form);

struct DeviceReport {
  std::string hardware_id;  // the first hardware ID, as the device gives it
  bool vendor = false;      // the vendor code occurs in it
  std::size_t vendor_index = 0;
  std::optional<std::string> section;  // the model it matches
  std::string code;
  std::size_t code_index = 0;
  std::string field;  // the hardware-ID field the code was found in
};

struct Report {
  std::string package;
  std::string setup_ini;   // its path as given, for located findings
  int code_page = 0;       // setup.ini's code page
  std::string folder;      // the launcher's folder, as it would see it
  bool readable = false;   // setup.ini could be read
  bool loaded = false;     // the launcher accepts the package
  ExitCodeMode exit_code_mode = ExitCodeMode::kAlwaysZero;  // from [Launcher] ExitCode
  // The package's camsetup.exe, where it is there and the host reads
  // signatures; it checks installers where its own signature is valid.
  std::optional<SignatureReport> launcher_signature;
  bool any_signed = false;  // [Launcher] Installers=AnySigned
  std::vector<ModelReport> models;
  std::vector<Finding> findings;
  bool devices_checked = false;
  std::vector<DeviceReport> devices;
  std::optional<std::size_t> selected;  // index of the model whose installer the launcher starts
  std::optional<std::string> selected_section;

  int ExitStatus() const;  // 0 nothing to report, 1 warnings, 2 errors or unreadable
};

// Names in one folder of the package that differ only in case, as the host
// shows them (UTF-8), relative to the package.
struct CaseTwinNames {
  std::string folder;  // empty for the package's own folder
  std::vector<std::string> names;
};

// The checker's view of the host. `file_exists` decides, for a path as the
// launcher composes it, whether that file is there; `read_file` reads one.
// `case_twins`, where the host's names have case (not on Windows), lists
// the folders on a launcher path that hold names differing only in case.
// `ini_text` decodes setup.ini's bytes, `host_text` the host's own names
// (the package's folder, hardware IDs).
struct CheckHost {
  Platform& platform;
  std::function<bool(const std::string& launcher_path)> file_exists;
  std::function<std::optional<std::string>(const std::string& launcher_path)> read_file;
  const CodePageText& ini_text;
  const TextDecoder& host_text;
  std::function<std::vector<CaseTwinNames>(const std::string& launcher_path)> case_twins = {};
  // The first `bytes` bytes of a file (fewer where it is shorter); where not
  // given, read_file's.
  std::function<std::optional<std::string>(const std::string& launcher_path, std::size_t bytes)>
      read_head = {};
  // The Authenticode signature of a file as this host judges it; where not
  // given, no signature is read.
  std::function<SignatureReport(const std::string& launcher_path)> read_signature = {};
};

struct CheckOptions {
  std::string package;    // as given on the command line
  std::string setup_ini;  // setup.ini's path, on the package's as given
  std::string folder;     // the launcher's folder for it, with its trailing separator
  bool check_devices = false;
  std::optional<std::vector<std::string>> hardware_ids;  // none: the host's present devices
  bool ids_from_user = false;  // the IDs were named by the user, not found attached
};

Report Check(const CheckOptions& options, const CheckHost& host);

}  // namespace camsetup::check

#ifndef _WIN32
#include "platform/posix_platform.h"

namespace camsetup::check {

// The checker's view of a Linux host: names in the package at `folder` (the
// launcher's folder, see CheckOptions) are matched without regard to case,
// as on Windows, by their bytes in `ini_text`'s code page or else by their
// characters against UTF-8 names, and names that differ only in case are
// listed. `host` is given the code page.
CheckHost PosixCheckHost(PosixPlatform& host, const std::string& folder,
                         const CodePageText& ini_text, const TextDecoder& host_text);

}  // namespace camsetup::check
#endif

#endif  // CAMSETUP_CHECK_CHECKER_H_
