// The installer launch: composes the command line, starts the installer
// and waits for it.
#include <cstdio>
#include <cstring>

#include "launcher/launcher.h"

namespace camsetup {
namespace {

constexpr char kDefaultExtension[] = ".exe";

// Appends `length` bytes of `text` to the NUL-terminated `buffer` of
// `capacity` bytes; false, with nothing appended, when they would not fit.
bool Append(char* buffer, std::size_t capacity, const char* text, std::size_t length) {
  const std::size_t used = strnlen(buffer, capacity);
  if (used + length >= capacity) return false;
  std::memcpy(buffer + used, text, length);
  buffer[used + length] = '\0';
  return true;
}

bool Append(char* buffer, std::size_t capacity, const char* text) {
  return Append(buffer, capacity, text, std::strlen(text));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether `path` names an existing file; a folder does not count.
bool NamesFile(const char* path, Platform& platform) {
  const Dword attributes = platform.GetFileAttributesA(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

// Where a form's tool lies.
enum class ToolFolder { kNone, kSystem, kNative };

// How each form of installer starts: the tool that takes the package (none
// for a program, which starts itself), the text around the quoted package,
// and whether the launcher's own arguments follow.
struct FormRule {
  InstallerForm form;
  const char* extension;  // with its dot; null for the program form
  const char* name;
  ToolFolder folder;
  const char* tool;            // after the folder
  const char* before;          // between the quoted tool and the quoted package
  const char* after;           // after the quoted package, before the switches
  const char* legacy_before;   // the same for pnputil before /add-driver
  const char* legacy_after;
  bool takes_tail;
  Dword creation_flags;
};

constexpr FormRule kFormRules[] = {
    {InstallerForm::kProgram, nullptr, "program", ToolFolder::kNone, "", "", "", "", "", true,
     kNormalPriorityClass},
    {InstallerForm::kWindowsInstaller, ".msi", "MSI package", ToolFolder::kSystem,
     "\\msiexec.exe", " /i ", "", " /i ", "", true, kNormalPriorityClass},
    {InstallerForm::kDriverPackage, ".inf", "INF driver package", ToolFolder::kNative,
     "\\pnputil.exe", " /add-driver ", " /install", " -i -a ", "", false,
     kNormalPriorityClass | kCreateNoWindow},
};

const FormRule& RuleOf(InstallerForm form) {
  for (const FormRule& rule : kFormRules) {
    if (rule.form == form) return rule;
  }
  return kFormRules[0];
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

InstallerForm FormOf(const char* install_path, std::size_t folder_length,
                     const InstallProgram& program, Platform& platform) {
  if (program.appended_extension) return InstallerForm::kProgram;
  // The last dot of the last component, at a character's start.
  std::size_t dot = program.length;
  for (std::size_t i = folder_length; i < program.length;) {
    const bool lead = platform.IsDBCSLeadByte(static_cast<unsigned char>(install_path[i])) &&
                      i + 1 < program.length;
    if (!lead) {
      if (install_path[i] == '\\' || install_path[i] == '/') {
        dot = program.length;
      } else if (install_path[i] == '.') {
        dot = i;
      }
    }
    i += lead ? 2 : 1;
  }
  for (const FormRule& rule : kFormRules) {
    if (rule.extension == nullptr || dot == program.length) continue;
    const std::size_t length = std::strlen(rule.extension);
    if (program.length - dot != length) continue;
    bool same = true;
    for (std::size_t i = 0; i < length && same; ++i) {
      same = AsciiLower(install_path[dot + i]) == rule.extension[i];
    }
    if (same) return rule.form;
  }
  return InstallerForm::kProgram;
}

const char* FormName(InstallerForm form) { return RuleOf(form).name; }

Dword CreationFlagsOf(InstallerForm form) { return RuleOf(form).creation_flags; }

bool ComposeInstallCommand(InstallerForm form, std::string_view program,
                           std::string_view switches, std::string_view argument_tail,
                           const SystemTools& tools, char* out, std::size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  const FormRule& rule = RuleOf(form);
  const bool legacy = form == InstallerForm::kDriverPackage && !tools.add_driver;
  bool fits = true;
  const auto add = [&](std::string_view text) {
    fits = fits && Append(out, size, text.data(), text.size());
  };
  if (rule.folder != ToolFolder::kNone) {
    add("\"");
    add(rule.folder == ToolFolder::kSystem ? tools.system_folder : tools.native_folder);
    add(rule.tool);
    add("\"");
    add(legacy ? rule.legacy_before : rule.before);
  }
  add("\"");
  add(program);
  add("\"");
  add(legacy ? rule.legacy_after : rule.after);
  add(switches);
  if (rule.takes_tail) add(argument_tail);
  if (!fits) out[0] = '\0';
  return fits;
}

InstallProgram FindInstallProgram(const char* install_path, std::size_t folder_length,
                                  Platform& platform) {
  const std::size_t length = strnlen(install_path, kInstallPathSize - 1);
  const auto char_length = [&](std::size_t i) -> std::size_t {
    return (platform.IsDBCSLeadByte(static_cast<unsigned char>(install_path[i])) &&
            i + 1 < length)
               ? 2
               : 1;
  };
  // Whether the last component of the first `end` bytes has an extension.
  // A dot in a folder's name is none.
  const auto has_extension = [&](std::size_t end) {
    bool dot = false;
    for (std::size_t i = folder_length; i < end; i += char_length(i)) {
      if (char_length(i) == 2) continue;
      if (install_path[i] == '\\' || install_path[i] == '/') {
        dot = false;
      } else if (install_path[i] == '.') {
        dot = true;
      }
    }
    return dot;
  };
  // A name without an extension is always the name with ".exe": only that
  // file is looked for, and only that file is named in the command, so that
  // a file or folder of the bare name is never what starts.
  const auto program = [&](std::size_t end, bool looked_up, bool found) {
    return InstallProgram{end, looked_up, found, !has_extension(end)};
  };

  bool has_blank = false;
  for (std::size_t i = folder_length; i < length && !has_blank; i += char_length(i)) {
    has_blank = IsBlank(install_path[i]);
  }
  if (!has_blank) return program(length, false, false);

  // Whether the first `end` bytes name a program: as written when the last
  // component has an extension, else with ".exe" appended.
  const auto names_program = [&](std::size_t end) {
    char candidate[kInstallPathSize + sizeof(kDefaultExtension) - 1];
    std::memcpy(candidate, install_path, end);
    if (has_extension(end)) {
      candidate[end] = '\0';
    } else {
      std::memcpy(candidate + end, kDefaultExtension, sizeof(kDefaultExtension));
    }
    return NamesFile(candidate, platform);
  };

  // The whole path first, so that a package's own program is not passed
  // over for a file at a prefix of it; then the prefixes of the token that
  // end before a blank or tab, shortest first. The folder alone is never one.
  if (names_program(length)) return program(length, true, true);
  for (std::size_t i = folder_length; i < length; i += char_length(i)) {
    if (IsBlank(install_path[i]) && i > folder_length && names_program(i)) {
      return program(i, true, true);
    }
  }
  return program(length, true, false);
}

Dword ReadSystemTools(InstallerForm form, Platform& platform, bool read_last_error,
                      SystemTools& tools, char* system_folder, char* native_folder) {
  // The code of a failed call, read at once; 1603 where it left none.
  const auto failed = [&] {
    const Dword error = read_last_error ? platform.GetLastError() : 0;
    return error != 0 ? error : kErrorInstallFailure;
  };
  const auto read_folder = [&](Dword (Platform::*read)(char*, Dword), char* buffer) -> Dword {
    const Dword length = (platform.*read)(buffer, kSystemFolderSize);
    if (length == 0) return failed();
    if (length >= kSystemFolderSize) {
      buffer[0] = '\0';
      return kErrorFilenameExcedRange;
    }
    return 0;
  };

  if (form == InstallerForm::kWindowsInstaller) {
    tools.system_folder = system_folder;
    return read_folder(&Platform::GetSystemDirectoryA, system_folder);
  }
  // A 32-bit process on 64-bit Windows sees SysWOW64 in place of System32,
  // and there is no pnputil there: the native one is reached by Sysnative.
  std::uint16_t process_machine = kImageFileMachineUnknown;
  bool wow64 = false;
  if (platform.IsWow64Process2(CurrentProcess(), &process_machine, nullptr)) {
    wow64 = process_machine != kImageFileMachineUnknown;
  } else if (!platform.IsWow64Process(CurrentProcess(), &wow64)) {
    wow64 = false;
  }
  tools.native_folder = native_folder;
  if (wow64) {
    const Dword error = read_folder(&Platform::GetSystemWindowsDirectoryA, native_folder);
    if (error != 0) return error;
    Append(native_folder, kNativeFolderSize, kSysnative);
  } else {
    const Dword error = read_folder(&Platform::GetSystemDirectoryA, native_folder);
    if (error != 0) return error;
  }
  // GetVersionEx reports Windows 8 to a program whose manifest does not name
  // Windows 10; RtlGetVersion tells the truth. Unknown, the older syntax,
  // which every pnputil takes.
  OsVersionInfo version = {};
  tools.add_driver = platform.RtlGetVersion(&version) == 0 && version.dwMajorVersion >= 10 &&
                     version.dwBuildNumber >= kFirstBuildWithAddDriver;
  return 0;
}

std::int32_t Launcher::CheckInstallerSignature(const char* program_path,
                                               ScopedKernelHandle& held, bool& missing) {
  // A launcher whose own signature does not hold here checks nothing, as an
  // unsigned one: Windows named no publisher when it started it either.
  CertName publisher = {};
  if (platform_.WinVerifyTrust(nullptr, nullptr, &publisher) != 0 || publisher.size == 0 ||
      publisher.size > kCertNameSize) {
    return 0;
  }
  char value[kProfileValueSize] = {};
  platform_.GetPrivateProfileStringA("Launcher", "Installers", "", value, kProfileValueSize,
                                     setup_path_);
  value[kProfileValueSize - 1] = '\0';
  const bool any_signed = EqualsIgnoringAsciiCase(value, kAnySigned);

  // Opened denying writes and deletes, and verified through that handle, so
  // that nothing can swap the file between the check and the start.
  held = ScopedKernelHandle(&platform_, platform_.CreateFileA(program_path, kGenericRead,
                                                              kFileShareRead, kOpenExisting));
  if (!held.IsValid()) {
    const Dword error = platform_.GetLastError();
    missing = error == kErrorFileNotFound || error == kErrorPathNotFound;
    return static_cast<std::int32_t>(error != 0 ? error : kErrorInstallFailure);
  }
  CertName signer = {};
  const std::int32_t status = platform_.WinVerifyTrust(held.get(), program_path, &signer);
  if (status != 0) return status;
  if (signer.size == 0 || signer.size > kCertNameSize) return kTrustEFail;
  if (!any_signed && !platform_.CertCompareCertificateName(publisher, signer)) {
    return kTrustESubjectNotTrusted;
  }
  return 0;
}

int Launcher::LaunchInstaller() {
  if (!scan_.set_obtained) {
    ShowMessage(Message::kEnumerationFail, "enumeration fail");
    return 0;
  }
  ScopedDevInfoList set = std::move(scan_.set);
  const Dword last_error = scan_.last_error;
  if (last_error != 0 && last_error != kErrorNoMoreItems) {
    SetOutcome(last_error);
    ShowMessage(Message::kEnumerationError, "Get Error code");
    return 0;
  }
  set.Close();

  // The program goes in quotes, named as it was looked for (with the ".exe"
  // that a name without an extension gets), so that the system starts the
  // file that was found and no program at a prefix of the path; switches
  // written in Path follow it. An MSI or INF package goes in quotes to the
  // system's own tool. The argument tail brings its own leading blank.
  const bool selected = launch_command_[0] != '\0';
  InstallerForm form = InstallerForm::kProgram;
  Dword start_failure = 0;  // the exit code of a failure found before the start
  if (selected) {
    char install_path[kInstallPathSize];
    std::memcpy(install_path, launch_command_, kInstallPathSize);
    install_path[kInstallPathSize - 1] = '\0';
    launch_command_[0] = '\0';
    const std::size_t folder_length = camera_table_.folder_length;
    const InstallProgram program = FindInstallProgram(install_path, folder_length, platform_);
    form = FormOf(install_path, folder_length, program, platform_);

    char* const program_path = program_path_;
    std::memcpy(program_path, install_path, program.length);
    program_path[program.length] = '\0';
    if (program.appended_extension) {
      std::memcpy(program_path + program.length, kDefaultExtension, sizeof(kDefaultExtension));
    }
    // A package that a tool takes must be there before the tool starts.
    if (form != InstallerForm::kProgram &&
        !(program.looked_up ? program.found : NamesFile(program_path, platform_))) {
      start_failure = kErrorFileNotFound;
    }
    SystemTools tools;
    char system_folder[kSystemFolderSize] = "";
    char native_folder[kNativeFolderSize] = "";
    if (start_failure == 0 && form != InstallerForm::kProgram) {
      start_failure = ReadSystemTools(form, platform_, ReportsOutcome(), tools, system_folder,
                                      native_folder);
    }
    const std::string_view switches(install_path + program.length);
    const std::string_view tail(argument_tail_);
    if (start_failure == 0 &&
        !ComposeInstallCommand(form, program_path, switches, tail, tools, launch_command_,
                               kLaunchCommandSize)) {
      start_failure = kErrorFilenameExcedRange;
    }
    if (start_failure != 0 && launch_command_[0] == '\0') {
      // Nothing to start: the debugger output names the program as selected.
      ComposeInstallCommand(InstallerForm::kProgram, program_path, switches, tail, tools,
                            launch_command_, kLaunchCommandSize);
    }
  } else {
    Append(launch_command_, kLaunchCommandSize, argument_tail_);
  }
  platform_.OutputDebugStringA(launch_command_);

  if (!selected) {
    SetOutcome(kErrorDeviceNotConnected);
    ShowMessage(Message::kNotFound, "Velmora Webcam Device(Oskendal) was not found!");
    return 1;
  }
  if (start_failure != 0) {
    SetOutcome(start_failure);
    ShowMessage(Message::kStartFailed, "Run driver insatll fail");
    return 0;
  }

  // An INF is not checked here: Windows checks its catalog when pnputil
  // installs it.
  ScopedKernelHandle checked;
  if (form != InstallerForm::kDriverPackage && platform_.GetImageCertificateTableSize() != 0) {
    bool missing = false;
    const std::int32_t refusal = CheckInstallerSignature(program_path_, checked, missing);
    if (refusal != 0) {
      checked.Close();  // not held while a box waits for the user
      SetOutcome(static_cast<Dword>(refusal));
      if (missing) {
        ShowMessage(Message::kStartFailed, "Run driver insatll fail");
      } else {
        ShowMessage(Message::kSignatureCheckFailed, "Installer signature check fail");
      }
      return 0;
    }
  }
  const bool started =
      platform_.CreateProcessA(nullptr, launch_command_, nullptr, nullptr, false,
                               CreationFlagsOf(form), nullptr, nullptr, &startup_info_,
                               &process_information_);
  // The file that was checked is held until the process is made from it.
  checked.Close();
  if (!started) {
    // The start's own code (2 not found, 5 denied, 740 elevation
    // required...), taken before the box can change it.
    SetOutcomeFromLastError(kErrorInstallFailure);
    ShowMessage(Message::kStartFailed, "Run driver insatll fail");
    return 0;
  }
  ScopedKernelHandle process(&platform_, process_information_.hProcess);
  ScopedKernelHandle thread(&platform_, process_information_.hThread);
  const Dword waited = platform_.WaitForSingleObject(process.get(), kInfinite);
  if (ReportsOutcome()) {
    // The installer's own code, unchanged. A wait that failed leaves the
    // installer's end unknown, so no code of its is read then.
    Dword installer_code = 0;
    const bool read = waited == kWaitObject0 &&
                      platform_.GetExitCodeProcess(process.get(), &installer_code);
    SetOutcome(read ? installer_code : kErrorInstallFailure);
  }

  char message[32] = "";
  if (!process.Close()) {
    std::snprintf(message, sizeof(message), "1.Error code=%d",
                  static_cast<int>(platform_.GetLastError()));
    ShowMessage(Message::kProcessCloseFailed, message);
  }
  if (!thread.Close()) {
    std::snprintf(message, sizeof(message), "2.Error code=%d",
                  static_cast<int>(platform_.GetLastError()));
    ShowMessage(Message::kThreadCloseFailed, message);
  }
  return 1;
}

}  // namespace camsetup
