// The camera table and its setup file.
#include <cstdio>
#include <cstring>

#include "launcher/launcher.h"

namespace camsetup {
namespace {

constexpr char kSetupFileName[] = "setup.ini";
constexpr char kProfileDefault[] = "0";
constexpr int kPathEndLimit = 252;
constexpr int kPidEndLimit = 253;
constexpr std::size_t kCodeStep = 5;

// Offset just past the last backslash of `path`, read by characters so that
// the second byte of a double-byte character is never taken for one; 0 when
// there is none.
std::size_t FolderLength(const char* path, Platform& platform) {
  std::size_t folder = 0;
  std::size_t i = 0;
  while (path[i] != '\0') {
    if (platform.IsDBCSLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
      i += 2;
    } else {
      if (path[i] == '\\') folder = i + 1;
      i += 1;
    }
  }
  return folder;
}

}  // namespace

// ASCII letters compare without regard to case, as profile names do.
bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a;
    char y = *b;
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

// [Launcher] ExitCode=Installer turns on exit codes that tell the outcome;
// anything else keeps the exit code 0 that callers may rely on.
void Launcher::ReadExitCodeMode(const char* setup_path) {
  char value[kProfileValueSize] = {};
  platform_.GetPrivateProfileStringA("Launcher", "ExitCode", "", value, kProfileValueSize,
                                     setup_path);
  value[kProfileValueSize - 1] = '\0';
  exit_code_mode_ = EqualsIgnoringAsciiCase(value, "Installer") ? ExitCodeMode::kInstaller
                                                                : ExitCodeMode::kAlwaysZero;
}

FirstToken TakeFirstToken(const char* value, Platform& platform) {
  std::size_t i = 0;
  while (value[i] == '\'') ++i;
  if (value[i] == '\0') return {i, 0, -1};
  const std::size_t begin = i;
  while (value[i] != '\0' && value[i] != '\'') {
    i += (platform.IsDBCSLeadByte(static_cast<unsigned char>(value[i])) && value[i + 1] != '\0')
             ? 2
             : 1;
  }
  return {begin, i - begin, static_cast<int>(i) + 1};
}

int Launcher::LoadCameraTable() {
  // Locate setup.ini beside the executable.
  char module_path[kModulePathSize] = {};
  const Dword written = platform_.GetModuleFileNameA(module_path, kModulePathSize);
  module_path[kModulePathSize - 1] = '\0';
  if (written == 0 && platform_.GetLastError() == kErrorNoUnicodeTranslation) {
    // The code page cannot name the folder; a best-fit form of it could name
    // another one.
    ShowMessage(Message::kLauncherPathNotValid, "Launcher path not valid in the system code page");
    return 0;
  }
  const std::size_t folder_length =
      (written == 0 || written >= kModulePathSize) ? 0 : FolderLength(module_path, platform_);
  if (folder_length == 0) {
    // A cut path or one without a folder would point at someone else's file.
    ShowMessage(Message::kLauncherPathTooLong, "Launcher path too long > 299 character");
    return 0;
  }
  camera_table_.folder_length = folder_length;
  char setup_path[kModulePathSize + sizeof(kSetupFileName)];
  std::memcpy(setup_path, module_path, folder_length);
  std::memcpy(setup_path + folder_length, kSetupFileName, sizeof(kSetupFileName));
  static_assert(sizeof(setup_path) <= sizeof(setup_path_));
  std::memcpy(setup_path_, setup_path, sizeof(setup_path));
  ReadExitCodeMode(setup_path);

  // Reading pass.
  char section[32];
  char value[kProfileValueSize];
  char message[96];
  char pid_texts[kMaxModels][kProfileValueSize];
  int n = 0;
  while (n < kMaxModels) {
    const int k = n + 1;
    std::snprintf(section, sizeof(section), "Camera%d", k);

    value[0] = '\0';
    platform_.GetPrivateProfileStringA(section, "Path", kProfileDefault, value,
                                       kProfileValueSize, setup_path);
    value[kProfileValueSize - 1] = '\0';
    if (std::strlen(value) == 1) break;

    FirstToken token = TakeFirstToken(value, platform_);
    if (token.end_position >= kPathEndLimit) {
      std::snprintf(message, sizeof(message), "Camera%d Path string too long > 250 character", k);
      SetOutcome(kErrorBadConfiguration);
      ShowMessage(Message::kPathTooLong, message);
      return 0;
    }
    if (folder_length + token.length >= kInstallPathSize) {
      std::snprintf(message, sizeof(message), "Camera%d install path too long > 255 character", k);
      SetOutcome(kErrorBadConfiguration);
      ShowMessage(Message::kInstallPathTooLong, message);
      return 0;
    }
    char* install_path = camera_table_.entries[n].install_path;
    std::memcpy(install_path, module_path, folder_length);
    std::memcpy(install_path + folder_length, value + token.begin, token.length);
    install_path[folder_length + token.length] = '\0';

    value[0] = '\0';
    platform_.GetPrivateProfileStringA(section, "PID", kProfileDefault, value,
                                       kProfileValueSize, setup_path);
    value[kProfileValueSize - 1] = '\0';
    token = TakeFirstToken(value, platform_);
    if (token.end_position >= kPidEndLimit) {
      std::snprintf(message, sizeof(message), "Camera%d PIDS string too long > 250 character", k);
      SetOutcome(kErrorBadConfiguration);
      ShowMessage(Message::kPidTooLong, message);
      return 0;
    }
    std::memcpy(pid_texts[n], value + token.begin, token.length);
    pid_texts[n][token.length] = '\0';

    n = k;
  }

  // Splitting pass: steps of five bytes, the first four of each a code.
  // Pieces past the fiftieth have no place in the table and are dropped.
  camera_table_.model_count = n;
  for (int j = 0; j < n; ++j) {
    CameraEntry& entry = camera_table_.entries[j];
    const char* text = pid_texts[j];
    const std::size_t length = std::strlen(text);
    int count = 0;
    for (std::size_t pos = 0; pos < length && count < kMaxCodes; pos += kCodeStep) {
      const std::size_t rest = length - pos;
      const std::size_t code_length = rest < kMaxCodeLength ? rest : kMaxCodeLength;
      std::memcpy(entry.product_codes[count].text, text + pos, code_length);
      entry.product_codes[count].text[code_length] = '\0';
      ++count;
    }
    entry.code_count = count;
  }
  return 1;
}

}  // namespace camsetup
