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

}  // namespace

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
  // written in Path follow it. The argument tail brings its own leading blank.
  const bool selected = launch_command_[0] != '\0';
  if (selected) {
    char install_path[kInstallPathSize];
    std::memcpy(install_path, launch_command_, kInstallPathSize);
    install_path[kInstallPathSize - 1] = '\0';
    const InstallProgram program =
        FindInstallProgram(install_path, camera_table_.folder_length, platform_);
    launch_command_[0] = '\0';
    Append(launch_command_, kLaunchCommandSize, "\"");
    Append(launch_command_, kLaunchCommandSize, install_path, program.length);
    if (program.appended_extension) {
      Append(launch_command_, kLaunchCommandSize, kDefaultExtension);
    }
    Append(launch_command_, kLaunchCommandSize, "\"");
    Append(launch_command_, kLaunchCommandSize, install_path + program.length);
  }
  Append(launch_command_, kLaunchCommandSize, argument_tail_);
  platform_.OutputDebugStringA(launch_command_);

  if (!selected) {
    SetOutcome(kErrorDeviceNotConnected);
    ShowMessage(Message::kNotFound, "Velmora Webcam Device(Oskendal) was not found!");
    return 1;
  }

  if (!platform_.CreateProcessA(nullptr, launch_command_, nullptr, nullptr, false,
                                kNormalPriorityClass, nullptr, nullptr, &startup_info_,
                                &process_information_)) {
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
