// The installer launch: composes the command line, starts the installer
// and waits for it.
#include <cstdio>
#include <cstring>

#include "launcher/launcher.h"

namespace camsetup {
namespace {

// Appends `text` to the NUL-terminated `buffer` of `capacity` bytes; false,
// with nothing appended, when it would not fit.
bool Append(char* buffer, std::size_t capacity, const char* text) {
  const std::size_t used = strnlen(buffer, capacity);
  const std::size_t length = std::strlen(text);
  if (used + length >= capacity) return false;
  std::memcpy(buffer + used, text, length + 1);
  return true;
}

}  // namespace

int Launcher::LaunchInstaller() {
  if (!scan_.set_obtained) {
    ShowMessage("enumeration fail");
    return 0;
  }
  ScopedDevInfoList set = std::move(scan_.set);
  const Dword last_error = scan_.last_error;
  if (last_error != 0 && last_error != kErrorNoMoreItems) {
    ShowMessage("Get Error code");
    return 0;
  }
  set.Close();

  // The install path goes in quotes, so that a blank in it cannot make the
  // system start a program at a prefix of the path. The argument tail brings
  // its own leading blank.
  const bool selected = launch_command_[0] != '\0';
  if (selected) {
    char install_path[kInstallPathSize];
    std::memcpy(install_path, launch_command_, kInstallPathSize);
    install_path[kInstallPathSize - 1] = '\0';
    launch_command_[0] = '\0';
    Append(launch_command_, kLaunchCommandSize, "\"");
    Append(launch_command_, kLaunchCommandSize, install_path);
    Append(launch_command_, kLaunchCommandSize, "\"");
  }
  Append(launch_command_, kLaunchCommandSize, argument_tail_);
  platform_.OutputDebugStringA(launch_command_);

  if (!selected) {
    ShowMessage("Velmora Webcam Device(Oskendal) was not found!");
    return 1;
  }

  if (!platform_.CreateProcessA(nullptr, launch_command_, nullptr, nullptr, false,
                                kNormalPriorityClass, nullptr, nullptr, &startup_info_,
                                &process_information_)) {
    ShowMessage("Run driver insatll fail");
    return 0;
  }
  ScopedKernelHandle process(&platform_, process_information_.hProcess);
  ScopedKernelHandle thread(&platform_, process_information_.hThread);
  platform_.WaitForSingleObject(process.get(), kInfinite);

  char message[32] = "";
  if (!process.Close()) {
    std::snprintf(message, sizeof(message), "1.Error code=%d",
                  static_cast<int>(platform_.GetLastError()));
    ShowMessage(message);
  }
  if (!thread.Close()) {
    std::snprintf(message, sizeof(message), "2.Error code=%d",
                  static_cast<int>(platform_.GetLastError()));
    ShowMessage(message);
  }
  return 1;
}

}  // namespace camsetup
