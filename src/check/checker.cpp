#include "check/checker.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <unordered_set>

#include "check/authenticode.h"
#include "check/inf_reader.h"
#include "launcher/launcher.h"
#include "platform/profile_reader.h"

namespace camsetup::check {
namespace {

constexpr char kMissing[] = "\x01missing\x01";
// The start of every hardware ID of the vendor's devices, and the field
// before every revision.
constexpr std::string_view kVendorPrefix = "USB\\VID_5A3D&PID_";
constexpr std::string_view kRevisionField = "&REV_";
constexpr int kLastSectionLooked = 99;

std::string SectionName(int number) { return "Camera" + std::to_string(number); }

// A value as the launcher's profile read returns it, or nothing when the
// key (or section, or file) is missing.
std::optional<std::string> RawValue(Platform& platform, const std::string& ini,
                                    const std::string& section, const char* key) {
  char buffer[kProfileValueSize];
  platform.GetPrivateProfileStringA(section.c_str(), key, kMissing, buffer, kProfileValueSize,
                                    ini.c_str());
  buffer[kProfileValueSize - 1] = '\0';
  if (std::strcmp(buffer, kMissing) == 0) return std::nullopt;
  return std::string(buffer);
}

bool SectionPresent(Platform& platform, const std::string& ini, int number) {
  const std::string section = SectionName(number);
  return RawValue(platform, ini, section, "Path") || RawValue(platform, ini, section, "PID");
}

// The field of a hardware ID that holds byte `index`: "VID", "PID", "REV",
// or the whole part between separators when it has no "_".
std::string FieldAt(std::string_view id, std::size_t index) {
  std::size_t begin = id.find_last_of("\\&", index);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  std::size_t end = id.find_first_of("\\&", index);
  if (end == std::string_view::npos) end = id.size();
  const std::string_view part = id.substr(begin, end - begin);
  const std::size_t underscore = part.find('_');
  return std::string(underscore == std::string_view::npos ? part : part.substr(0, underscore));
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasNonAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// The bytes that tell an MSI package: those of an OLE compound file's signature.
constexpr std::size_t kCompoundFileSignatureSize = 8;

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Whether an INF's hardware ID is one of the vendor's USB devices with
// `code` in its PID field, as Windows compares IDs: without regard to case.
bool CoversCode(std::string_view id, std::string_view code) {
  if (code.empty() || id.size() < kVendorPrefix.size() ||
      !SameAscii(id.substr(0, kVendorPrefix.size()), kVendorPrefix)) {
    return false;
  }
  std::string_view pid = id.substr(kVendorPrefix.size());
  pid = pid.substr(0, pid.find('&'));
  for (std::size_t at = 0; at + code.size() <= pid.size(); ++at) {
    if (SameAscii(pid.substr(at, code.size()), code)) return true;
  }
  return false;
}

// Where the system's tools are, read from the platform as the launcher
// reads them before it starts an MSI or INF package; none where they cannot
// be read.
struct ToolFolders {
  std::string system_folder;
  std::string native_folder;
  bool add_driver = false;
};

std::optional<ToolFolders> ReadToolFolders(InstallerForm form, Platform& platform) {
  SystemTools tools;
  char system_folder[kSystemFolderSize] = "";
  char native_folder[kNativeFolderSize] = "";
  if (ReadSystemTools(form, platform, false, tools, system_folder, native_folder) != 0) {
    return std::nullopt;
  }
  return ToolFolders{tools.system_folder, tools.native_folder, tools.add_driver};
}

enum class Outside { kNo, kUnc, kDrive, kParent };

// Whether a path that the launcher appends to its folder reaches outside
// it, and how. Read by characters, so that a trail byte is never taken for
// a separator.
Outside LeavesPackage(std::string_view path, Platform& platform) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return Outside::kUnc;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return Outside::kDrive;
  }
  int depth = 0;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= path.size();) {
    if (i == path.size() || IsSeparator(path[i])) {
      const std::string_view part = path.substr(begin, i - begin);
      if (part == "..") {
        if (--depth < 0) return Outside::kParent;
      } else if (!part.empty() && part != ".") {
        ++depth;
      }
      begin = ++i;
    } else {
      i += platform.IsDBCSLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()
               ? 2
               : 1;
    }
  }
  return Outside::kNo;
}

class Analysis {
 public:
  Analysis(const CheckOptions& options, const CheckHost& host, Report& report)
      : options_(options), host_(host), report_(report),
        ini_(options.folder + "setup.ini"),
        platform_(host.platform, options.folder + "camsetup.exe"), launcher_(platform_) {}

  void Run() {
    report_.package = host_.host_text.ToUtf8(options_.package);
    report_.setup_ini = host_.host_text.ToUtf8(options_.setup_ini);
    report_.code_page = host_.ini_text.code_page();
    report_.folder = host_.host_text.ToUtf8(options_.folder);
    report_.readable = host_.file_exists(ini_);
    if (!report_.readable) {
      Add(Rule::kMissingSetupIni, "", std::nullopt, "setup.ini is missing or cannot be read");
      return;
    }
    if (const std::optional<std::string> bytes = host_.read_file(ini_)) {
      lines_.emplace(*bytes);
      if (ProfileReader::HasUtf8ByteOrderMark(*bytes)) {
        Add(Rule::kByteOrderMark, "", 1,
            "setup.ini starts with a UTF-8 byte-order mark. Some editors add the mark, and "
            "depending on the Windows version the first section may then not be read; save "
            "setup.ini without it (as ANSI)");
      }
    }
    CheckCaseTwins("", std::nullopt, ini_);
    report_.loaded = launcher_.LoadCameraTable() == 1;
    report_.exit_code_mode = launcher_.exit_code_mode();
    CheckExitCode();
    CheckLauncherSignature();
    for (const std::string& message : platform_.messages) {
      const std::string section = message.rfind("Camera", 0) == 0
                                      ? message.substr(0, message.find(' '))
                                      : std::string();
      const bool about_pid = message.find(" PIDS ") != std::string::npos;
      Add(Rule::kRefusedEntry, section,
          section.empty() ? std::nullopt : KeyLine(section, about_pid ? "PID" : "Path"),
          "the launcher refuses the package: " + Quoted(Text(message)));
    }
    if (!report_.loaded) return;

    const CameraTable& table = launcher_.camera_table();
    if (table.model_count == 0) {
      const std::optional<int> path_line = KeyLine(SectionName(1), "Path");
      Add(Rule::kNoModels, path_line ? SectionName(1) : "", path_line,
          "no camera model: [Camera1] is missing or its Path is one character, so the launcher "
          "always reports that no camera was found");
    }
    CheckListEnd(table.model_count);
    std::map<std::string, int> first_model_of_code;
    for (int i = 0; i < table.model_count; ++i) CheckModel(i, table, first_model_of_code);
    CheckJoinedLines();
    if (options_.check_devices) CheckDevices();
  }

 private:
  void Add(Rule rule, const std::string& section, std::optional<int> line,
           const std::string& message) {
    report_.findings.push_back({DescribeRule(rule).severity, section, line, message, rule});
  }

  std::string Text(std::string_view bytes) const { return host_.ini_text.ToUtf8(bytes); }

  bool IsFolder(const std::string& launcher_path) {
    const Dword attributes = platform_.GetFileAttributesA(launcher_path.c_str());
    return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
  }

  std::optional<int> KeyLine(const std::string& section, const char* key) const {
    return lines_ ? lines_->KeyLine(section, key) : std::nullopt;
  }
  std::optional<int> SectionLine(const std::string& section) const {
    return lines_ ? lines_->SectionLine(section) : std::nullopt;
  }

  // An ExitCode value that does not turn exit codes on: the package maker
  // meant them, and gets 0 in every outcome.
  void CheckExitCode() {
    const std::optional<std::string> value = RawValue(platform_, ini_, "Launcher", "ExitCode");
    if (!value || report_.exit_code_mode == ExitCodeMode::kInstaller) return;
    Add(Rule::kExitCodeValue, "Launcher", KeyLine("Launcher", "ExitCode"),
        "ExitCode " + Quoted(Text(*value)) +
            " is not \"Installer\", the one value that turns exit codes on: the launcher exits "
            "with 0 in every outcome");
  }

  // Names that differ only in case on the way to a file the launcher opens:
  // on Windows they are one name, and a copy of the package keeps one file.
  void CheckCaseTwins(const std::string& section, std::optional<int> line,
                      const std::string& launcher_path) {
    if (!host_.case_twins) return;
    for (const CaseTwinNames& twins : host_.case_twins(launcher_path)) {
      if (!reported_twins_.insert(twins.folder + '\\' + twins.names.front()).second) continue;
      std::string names;
      for (const std::string& name : twins.names) {
        names += (names.empty() ? "" : ", ") +
                 Quoted(twins.folder.empty() ? name : twins.folder + "\\" + name);
      }
      Add(Rule::kNamesDifferInCase, section, line,
          "names that differ only in case: " + names +
              "; Windows takes them for one name, so a copy of the package on Windows holds "
              "only one of these files, and the launcher may start another than meant");
    }
  }

  // Sections that exist but are never read.
  void CheckListEnd(int model_count) {
    Platform& p = platform_;
    const int end = model_count + 1;
    if (model_count < kMaxModels) {
      if (const auto path = RawValue(p, ini_, SectionName(end), "Path")) {
        Add(Rule::kOneCharacterPath, SectionName(end), KeyLine(SectionName(end), "Path"),
            "its Path " + Quoted(Text(*path)) +
                " is one character, which ends the list: this and later sections are never read");
      }
    }
    const int first_unread = model_count < kMaxModels ? end + 1 : kMaxModels + 1;
    for (int k = first_unread; k <= kLastSectionLooked; ++k) {
      if (!SectionPresent(p, ini_, k)) continue;
      if (model_count < kMaxModels) {
        Add(Rule::kSectionNeverRead, SectionName(k), SectionLine(SectionName(k)),
            "never read: the list of models ends at " + SectionName(end) +
                " (missing, or its Path is one character)");
      } else {
        Add(Rule::kSectionNeverRead, SectionName(k), SectionLine(SectionName(k)),
            "never read: only Camera1 to Camera20 are read");
      }
    }
  }

  void CheckModel(int index, const CameraTable& table, std::map<std::string, int>& first_model) {
    Platform& p = platform_;
    const CameraEntry& entry = table.entries[index];
    const std::string section = SectionName(index + 1);
    const std::optional<int> path_line = KeyLine(section, "Path");
    const std::optional<int> pid_line = KeyLine(section, "PID");

    // The program and its switches, found as the launcher finds them when
    // it starts the installer.
    const std::string install_path = entry.install_path;
    const std::size_t folder = table.folder_length;
    const InstallProgram found = FindInstallProgram(entry.install_path, folder, p);
    const std::string program_path =
        install_path.substr(0, found.length) + (found.appended_extension ? ".exe" : "");
    const std::string program = program_path.substr(folder);
    std::size_t switches = found.length;
    while (switches < install_path.size() && IsBlank(install_path[switches])) ++switches;
    // A folder is never the program; where the launcher finds none, a
    // folder at the whole path or before a blank is what was meant.
    const bool exists = found.looked_up ? found.found : host_.file_exists(program_path);
    std::string folder_named;
    if (!exists) {
      for (std::size_t end = folder + 1; end <= install_path.size(); ++end) {
        if (end < install_path.size() && !IsBlank(install_path[end])) continue;
        if (!found.looked_up && end < install_path.size()) continue;
        if (IsFolder(install_path.substr(0, end))) {
          folder_named = install_path.substr(folder, end - folder);
          break;
        }
      }
    }

    ModelReport model;
    model.section = section;
    model.line = SectionLine(section).value_or(0);
    model.install_path = host_.host_text.ToUtf8(install_path.substr(0, folder)) +
                         Text(install_path.substr(folder));
    model.path = Text(install_path.substr(folder));
    // Shown as it starts, with its ".exe"; where nothing is found, as written
    // or as the folder that was meant.
    model.program = Text(!folder_named.empty() ? folder_named
                         : found.looked_up && !found.found
                             ? install_path.substr(folder, found.length - folder)
                             : program);
    model.switches = Text(install_path.substr(switches));
    model.exists = exists;
    for (int c = 0; c < entry.code_count; ++c) {
      model.codes.push_back(Text(entry.product_codes[c].text));
    }
    model.folder = !folder_named.empty();
    model.form = FormOf(install_path.c_str(), folder, found, p);
    model.command = Command(model.form, program_path, install_path.substr(found.length));
    std::optional<InfDriver> driver;
    if (model.form == InstallerForm::kDriverPackage && model.exists) {
      driver = ReadInf(program_path, model);
    }
    report_.models.push_back(model);
    // The program as written, and with the ".exe" that the lookup may add.
    CheckCaseTwins(section, path_line, install_path.substr(0, found.length));
    if (found.looked_up || found.appended_extension) {
      CheckCaseTwins(section, path_line, install_path.substr(0, found.length) + ".exe");
    }

    const std::string raw_path = RawValue(p, ini_, section, "Path").value_or("");
    const FirstToken path_token = TakeFirstToken(raw_path.c_str(), p);
    if (path_token.end_position >= 0 &&
        static_cast<std::size_t>(path_token.end_position) < raw_path.size()) {
      Add(Rule::kTextAfterApostrophe, section, path_line,
          "Path: everything after the apostrophe at position " +
              std::to_string(path_token.end_position - 1) + " is ignored; the installer is " +
              Quoted(model.path));
    }
    if (HasNonAscii(raw_path)) {
      Add(Rule::kNonAsciiPath, section, path_line,
          "Path " + Quoted(Text(raw_path)) + " has bytes outside ASCII, read here as code page " +
              std::to_string(report_.code_page) +
              ": under another ANSI code page (such as UTF-8, which Windows 10 and 11 offer "
              "system-wide) they name another file");
    }
    const Outside outside = LeavesPackage(program, p);
    switch (outside) {
      case Outside::kNo:
        break;
      case Outside::kUnc:
      case Outside::kDrive:
        Add(Rule::kPathLeavesPackage, section, path_line,
            "Path " + Quoted(model.program) +
                (outside == Outside::kUnc ? " is a UNC path" : " names a drive") +
                "; the launcher puts its own folder in front of it, so it starts " +
                Quoted(model.install_path) + ": keep the installer inside the package");
        break;
      case Outside::kParent:
        Add(Rule::kPathLeavesPackage, section, path_line,
            "Path " + Quoted(model.program) +
                " leaves the package by \"..\": the installer is looked for outside the "
                "launcher's folder, where the package does not control what lies");
        break;
    }
    if (program.find_first_of(" \t") != std::string::npos && model.exists) {
      Add(Rule::kBlanksInPath, section, path_line,
          "the installer's path " + Quoted(model.program) +
              " has blanks; keep it free of them for tools that do not quote it");
    }
    if (!folder_named.empty()) {
      Add(Rule::kProgramIsFolder, section, path_line,
          "the installer " + Quoted(Text(folder_named)) +
              " is a folder, not a program: the launcher's start fails");
    } else if (found.looked_up && !found.found) {
      Add(Rule::kMissingInstaller, section, path_line,
          "the installer is missing: neither " + Quoted(model.path) +
              " nor a part of it that ends before a blank or tab names a file");
    } else if (!model.exists) {
      Add(Rule::kMissingInstaller, section, path_line,
          "the installer " + Quoted(model.program) + " is missing");
    }
    const std::optional<std::string> raw_pid = RawValue(p, ini_, section, "PID");
    if (model.form == InstallerForm::kWindowsInstaller && model.exists) {
      CheckMsi(section, path_line, program_path, model.program);
    }
    if (model.form != InstallerForm::kDriverPackage && model.exists) {
      CheckInstallerSignature(report_.models.back(), path_line, program_path);
    }
    if (driver) {
      CheckInf(*driver, report_.models.back(), path_line, raw_pid ? pid_line : std::nullopt,
               entry);
    }

    if (!raw_pid) {
      Add(Rule::kNoPid, section, SectionLine(section),
          "no PID: the model gets the code \"0\", which is found in nearly every hardware ID");
    } else {
      const FirstToken pid_token = TakeFirstToken(raw_pid->c_str(), p);
      const std::size_t kept = static_cast<std::size_t>(kMaxCodes) * 5;
      if (pid_token.length > kept) {
        Add(Rule::kCodesDropped, section, pid_line,
            "more than 50 codes: " +
                Quoted(Text(raw_pid->substr(pid_token.begin + kept, pid_token.length - kept))) +
                " is dropped");
      }
      if (HasNonAscii(*raw_pid)) {
        Add(Rule::kNonAsciiPid, section, pid_line,
            "PID " + Quoted(Text(*raw_pid)) +
                " has bytes outside ASCII: hardware IDs are ASCII, and under another ANSI code "
                "page (such as UTF-8) the codes are other bytes");
      }
    }

    for (int c = 0; c < entry.code_count; ++c) {
      const std::string code = entry.product_codes[c].text;
      if (raw_pid) CheckCode(section, pid_line, code);
      auto [it, inserted] = first_model.emplace(code, index);
      if (!inserted && it->second != index) {
        Add(Rule::kDuplicateCode, section, pid_line,
            "code " + Quoted(Text(code)) + " is also in " + SectionName(it->second + 1) +
                ": a device with it starts the installer of the later section, " + section);
      }
    }
  }

  // The command that starts the program at `program_path` (as the launcher
  // names it) in `form`, with the switches written after it, as UTF-8: the
  // launcher's folder in the host's text, the rest in setup.ini's code page.
  std::optional<std::string> Command(InstallerForm form, const std::string& program_path,
                                     const std::string& switches) {
    std::optional<ToolFolders> folders;
    if (form != InstallerForm::kProgram) {
      folders = ReadToolFolders(form, platform_);
      if (!folders) return std::nullopt;
    }
    const std::size_t folder = launcher_.camera_table().folder_length;
    const std::string program = host_.host_text.ToUtf8(program_path.substr(0, folder)) +
                                Text(program_path.substr(folder));
    const std::string system_folder =
        folders ? host_.host_text.ToUtf8(folders->system_folder) : std::string();
    const std::string native_folder =
        folders ? host_.host_text.ToUtf8(folders->native_folder) : std::string();
    const SystemTools tools{system_folder.c_str(), native_folder.c_str(),
                            folders && folders->add_driver};
    const std::string shown_switches = Text(switches);
    // Every byte shows as at most four.
    std::string out(4 * (kLaunchCommandSize + kNativeFolderSize), '\0');
    if (!ComposeInstallCommand(form, program, shown_switches, "", tools, out.data(), out.size())) {
      return std::nullopt;
    }
    out.resize(std::strlen(out.c_str()));
    return out;
  }

  // The driver of the INF at `program_path`, read as Windows' setup API
  // reads it, with what the report shows of it put in `model`.
  std::optional<InfDriver> ReadInf(const std::string& program_path, ModelReport& model) {
    const std::optional<std::string> bytes = host_.read_file(program_path);
    if (!bytes) return std::nullopt;
    const InfText text = DecodeInf(*bytes, [this](std::string_view ansi) {
      return host_.ini_text.Characters(ansi);
    });
    const InfFile inf(text.text);
    const Utf8Text shown;
    InfReport report;
    report.encoding = InfEncodingName(text.encoding);
    InfDriver driver = ReadDriver(inf);
    std::unordered_set<std::string> listed;
    for (const InfModels& models : driver.models) {
      InfModelsReport section{shown.ToUtf8(models.section), models.platform, models.present, {}};
      for (const std::string& id : models.ids) {
        section.hardware_ids.push_back(shown.ToUtf8(id));
        if (listed.insert(section.hardware_ids.back()).second) {
          report.hardware_ids.push_back(section.hardware_ids.back());
        }
      }
      report.models.push_back(std::move(section));
    }
    const std::string inf_folder = program_path.substr(0, FolderLength(program_path));
    for (const InfCatalog& catalog : driver.catalogs) {
      const std::optional<std::string> name = host_.ini_text.Encoded(catalog.file);
      report.catalogs.push_back({shown.ToUtf8(catalog.key), shown.ToUtf8(catalog.file),
                                 name && host_.file_exists(inf_folder + *name)});
    }
    if (inf.problem() != InfProblem::kNone) {
      report.problem = (inf.problem_line() > 0
                            ? "line " + std::to_string(inf.problem_line()) + ": "
                            : std::string()) +
                       InfProblemText(inf.problem());
      if (text.encoding == InfEncoding::kAnsi && bytes->find('\0') != std::string::npos) {
        *report.problem += "; it holds NUL bytes, as UTF-16 text without its byte-order mark "
                           "does, which is read as ANSI";
      }
    }
    model.inf = std::move(report);
    return driver;
  }

  // Bytes of `path` up to and with its last separator, read by characters.
  std::size_t FolderLength(const std::string& path) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < path.size();) {
      const bool lead =
          platform_.IsDBCSLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
      if (!lead && IsSeparator(path[i])) length = i + 1;
      i += lead ? 2 : 1;
    }
    return length;
  }

  // The package's own launcher: whether it is signed, and so checks the
  // installers it starts, and which of them [Launcher] Installers accepts.
  void CheckLauncherSignature() {
    const std::optional<std::string> value =
        RawValue(platform_, ini_, "Launcher", "Installers");
    report_.any_signed = value && EqualsIgnoringAsciiCase(value->c_str(), kAnySigned);
    if (value && !value->empty() && !report_.any_signed) {
      Add(Rule::kInstallersValue, "Launcher", KeyLine("Launcher", "Installers"),
          "Installers " + Quoted(Text(*value)) + " is not " + Quoted(kAnySigned) +
              ", the one value it knows: a signed launcher starts only installers that its own "
              "publisher signed");
    }
    const std::string launcher = options_.folder + "camsetup.exe";
    if (!host_.read_signature || !host_.file_exists(launcher)) return;
    report_.launcher_signature = host_.read_signature(launcher);
    const std::optional<AuthenticodeInfo>& info = report_.launcher_signature->info;
    if (!info || info->status == AuthenticodeInfo::kValid ||
        info->status == AuthenticodeInfo::kUnsigned || info->status == AuthenticodeInfo::kNotPe) {
      return;
    }
    Add(Rule::kLauncherSignatureInvalid, "", std::nullopt,
        "camsetup.exe carries a signature that does not hold (" + info->detail +
            "): Windows names no publisher when it asks for administrator rights, and the "
            "launcher checks no installer's signature");
  }

  bool LauncherChecks() const {
    const std::optional<SignatureReport>& launcher = report_.launcher_signature;
    return launcher && launcher->info && launcher->info->status == AuthenticodeInfo::kValid;
  }

  // What a signed launcher decides about `model`'s installer before it
  // starts it: the installer must verify and, unless Installers=AnySigned,
  // be signed by the launcher's own publisher.
  void CheckInstallerSignature(ModelReport& model, std::optional<int> line,
                               const std::string& program_path) {
    if (!host_.read_signature) return;
    model.signature = host_.read_signature(program_path);
    if (!LauncherChecks()) return;
    const std::optional<AuthenticodeInfo>& info = model.signature->info;
    const std::string name = Quoted(model.program);
    if (!info) {
      Add(Rule::kSignatureNotVerified, model.section, line,
          "the signed launcher verifies the signature of " + name +
              " before it starts it, but an MSI package's signature is not verified here: "
              "check it on Windows, with camsetup-check.exe or signtool verify /pa");
      return;
    }
    switch (info->status) {
      case AuthenticodeInfo::kValid:
        if (report_.any_signed || SameSubject(*report_.launcher_signature->info, *info)) return;
        model.refusal = "it is signed by " + Quoted(info->signer_subject) +
                        ", not by the launcher's publisher " +
                        Quoted(report_.launcher_signature->info->signer_subject);
        break;
      case AuthenticodeInfo::kUnsigned:
        model.refusal = "it is unsigned";
        break;
      case AuthenticodeInfo::kBadDigest:
        model.refusal = "it changed after it was signed";
        break;
      case AuthenticodeInfo::kBadSignature:
      case AuthenticodeInfo::kMalformed:
        model.refusal = "its signature does not hold (" + info->detail + ")";
        break;
      case AuthenticodeInfo::kNotPe:
        model.refusal = "it is not a program whose signature Windows verifies";
        break;
    }
    const bool other_publisher = info->status == AuthenticodeInfo::kValid;
    Add(Rule::kInstallerRefused, model.section, line,
        "the signed launcher refuses to start " + name + ": " + model.refusal +
            "; it shows \"Installer signature check fail\" and starts nothing. Sign it with the "
            "launcher's certificate" +
            (other_publisher ? ", or write [Launcher] Installers=AnySigned" : ""));
  }

  void CheckMsi(const std::string& section, std::optional<int> line,
                const std::string& program_path, const std::string& program) {
    const std::optional<std::string> head =
        host_.read_head ? host_.read_head(program_path, kCompoundFileSignatureSize)
                        : host_.read_file(program_path);
    if (!head) return;
    const std::size_t length = std::min(head->size(), kCompoundFileSignatureSize);
    if (IsOleCompoundFile(std::vector<std::uint8_t>(head->begin(), head->begin() + length))) {
      return;
    }
    Add(Rule::kNotAnMsi, section, line,
        "the MSI package " + Quoted(program) +
            " is not one: it does not start with the OLE compound-file signature D0 CF 11 E0 A1 "
            "B1 1A E1 of Windows Installer packages, so msiexec cannot open it");
  }

  // An INF that the launcher hands to pnputil: whether Windows reads it,
  // whether its hardware IDs hold the model's codes, and whether 64-bit
  // Windows would install it (a models section and a signed catalog).
  void CheckInf(const InfDriver& driver, const ModelReport& model, std::optional<int> path_line,
                std::optional<int> pid_line, const CameraEntry& entry) {
    const InfReport& report = *model.inf;
    const std::string& section = model.section;
    const std::string name = Quoted(model.program);
    if (report.problem) {
      Add(Rule::kInfNotReadable, section, path_line,
          "Windows' setup API does not read the INF " + name + " (" + *report.problem +
              "): pnputil installs nothing");
      return;
    }
    if (pid_line) {
      for (int c = 0; c < entry.code_count; ++c) {
        const std::string code = Text(entry.product_codes[c].text);
        bool covered = false;
        for (const InfModels& models : driver.models) {
          for (const std::string& id : models.ids) covered = covered || CoversCode(id, code);
        }
        if (covered) continue;
        Add(Rule::kCodeNotInInf, section, pid_line,
            "code " + Quoted(code) + ": no hardware ID of the INF " + name + " is " +
                Quoted(std::string(kVendorPrefix) + code) +
                (report.hardware_ids.empty()
                     ? " (its [Manufacturer] names no models section with a hardware ID)"
                     : "") +
                ": a camera with it starts the INF's installation, but the driver binds to no "
                "such device");
      }
    }
    if (!driver.models_for_x64) {
      Add(Rule::kNoModelsFor64Bit, section, path_line,
          "the INF " + name +
              " has no models section for 64-bit Windows (decorated NTamd64 in "
              "[Manufacturer]): there the driver installs to no device");
    }
    for (const InfCatalogReport& catalog : report.catalogs) {
      if (catalog.exists) continue;
      Add(Rule::kCatalogMissing, section, path_line,
          "the INF " + name + " names the catalog " + Quoted(catalog.file) + " (" + catalog.key +
              " in [Version]), which is not beside it: the driver's signature cannot be "
              "verified, and 64-bit Windows installs no unsigned driver");
    }
    if (!driver.catalog_x64) {
      Add(Rule::kNoCatalog, section, path_line,
          "the INF " + name +
              " names no catalog for 64-bit Windows (CatalogFile in [Version]): the driver is "
              "unsigned there, and 64-bit Windows installs no unsigned driver");
    }
  }

  void CheckCode(const std::string& section, std::optional<int> line, const std::string& code) {
    Platform& p = platform_;
    const std::string what = "code " + Quoted(Text(code));
    bool lower = false;
    for (char c : code) lower |= c >= 'a' && c <= 'z';
    if (lower) {
      Add(Rule::kLowerCaseCode, section, line,
          what + " has lower-case letters; hardware IDs are compared in upper case, so it "
                 "never matches");
    }
    if (code.size() < kMaxCodeLength) {
      Add(Rule::kShortCode, section, line, what + " is shorter than four characters");
    }
    if (code.find_first_of(",; \t") != std::string::npos) {
      Add(Rule::kSeparatorInCode, section, line,
          what + " holds a separator: each code in PID takes four characters and one separator");
    }
    const std::size_t in_prefix = FindCode(kVendorPrefix, code, p);
    if (in_prefix != std::string_view::npos && in_prefix > 0) {
      Add(Rule::kCodeInEveryId, section, line,
          what + " is found in every hardware ID of the vendor (" + Quoted(kVendorPrefix) +
              "): the model matches every such device");
    } else if (in_prefix == 0) {
      Add(Rule::kCodeInEveryId, section, line,
          what + " is found at the start of every hardware ID, where it never counts");
    } else if (FindCode(kRevisionField, code, p) != std::string_view::npos) {
      Add(Rule::kCodeInEveryId, section, line,
          what + " is found in the " + Quoted(kRevisionField) +
              " of every hardware ID with a revision");
    }
  }

  // Lines that an editor shows as two but Windows' profile reader reads as
  // one: what follows the CR belongs to the key or header before it.
  void CheckJoinedLines() {
    if (!lines_) return;
    for (const ProfileReader::JoinedLine& joined : lines_->joined_lines()) {
      Add(Rule::kLoneCarriageReturn, Text(joined.section), joined.line,
          "a carriage return without a line feed: an editor shows two lines here, but Windows "
          "reads one, so the text after it belongs to what comes before it");
    }
  }

  void CheckDevices() {
    platform_.devices = options_.hardware_ids;
    launcher_.FindCameraInstaller();
    report_.devices_checked = true;
    const CameraTable& table = launcher_.camera_table();

    const std::string selected = launcher_.launch_command();
    for (int i = 0; i < table.model_count && !selected.empty(); ++i) {
      if (selected == table.entries[i].install_path) {
        report_.selected_section = SectionName(i + 1);
        report_.selected = static_cast<std::size_t>(i);
      }
    }

    int number = 0;
    for (const std::string& id : platform_.seen_hardware_ids) {
      ++number;
      std::string upper = id;
      UpperCaseText(upper.data(), upper.size(), platform_);
      const DeviceMatch match = MatchHardwareId(table, upper, platform_);
      DeviceReport device;
      device.hardware_id = host_.host_text.ToUtf8(id);
      device.vendor = match.vendor_index != std::string_view::npos;
      device.vendor_index = device.vendor ? match.vendor_index : 0;
      if (match.model >= 0) {
        device.section = SectionName(match.model + 1);
        device.code = Text(table.entries[match.model].product_codes[match.code].text);
        device.code_index = match.code_index;
        device.field = host_.host_text.ToUtf8(FieldAt(upper, match.code_index));
        if (device.field != "PID") {
          Add(Rule::kMatchOutsidePid, *device.section, KeyLine(*device.section, "PID"),
              "device " + std::to_string(number) + " (" + Quoted(device.hardware_id) +
                  ") matches by code " + Quoted(device.code) + " in its " + device.field +
                  " field, not in PID");
        }
      }
      report_.devices.push_back(device);
    }
    if (options_.ids_from_user && !report_.selected_section) {
      Add(Rule::kNoDeviceMatches, "", std::nullopt,
          "no given device matches a model: the launcher would report " +
              Quoted(kNotFoundMessage));
    }
  }

  const CheckOptions& options_;
  const CheckHost& host_;
  Report& report_;
  const std::string ini_;
  std::optional<ProfileReader> lines_;  // setup.ini as read for its line numbers
  std::set<std::string> reported_twins_;  // the first name of each set already reported
  CheckPlatform platform_;
  Launcher launcher_;
};

}  // namespace

bool PassesArguments(InstallerForm form) { return form != InstallerForm::kDriverPackage; }

const char* SignatureStateName(const SignatureReport& signature) {
  if (!signature.info) return "not-verified";
  switch (signature.info->status) {
    case AuthenticodeInfo::kUnsigned:
      return "unsigned";
    case AuthenticodeInfo::kValid:
      return "valid";
    case AuthenticodeInfo::kBadDigest:
      return "changed-after-signing";
    case AuthenticodeInfo::kBadSignature:
      return "bad-signature";
    case AuthenticodeInfo::kMalformed:
      return "malformed";
    case AuthenticodeInfo::kNotPe:
      return "not-a-program";
  }
  return "malformed";
}

int Report::ExitStatus() const {
  int status = readable ? 0 : 2;
  for (const Finding& f : findings) {
    const int level = f.severity == Severity::kError ? 2 : 1;
    if (level > status) status = level;
  }
  return status;
}

Report Check(const CheckOptions& options, const CheckHost& host) {
  Report report;
  Analysis(options, host, report).Run();
  return report;
}

}  // namespace camsetup::check
