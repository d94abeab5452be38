// Entry point and run sequence.
#include <cstdlib>
#include <cstring>

#include "launcher/launcher.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_platform.h"
#endif

namespace camsetup {

const char* DeriveCommandLineTail(const char* command_line, Platform& platform) {
  if (command_line == nullptr) return "";
  const auto* p = reinterpret_cast<const unsigned char*>(command_line);

  // The program name runs to the first control byte or blank outside
  // quotes. A double-byte character is skipped whole, so its second byte
  // never counts as a quote or a separator.
  bool in_quotes = false;
  for (;;) {
    const unsigned char c = *p;
    if (c == 0) return reinterpret_cast<const char*>(p);
    if (c <= 32 && !in_quotes) break;
    if (c == '"') in_quotes = !in_quotes;
    p += (platform.IsDBCSLeadByte(c) && p[1] != 0) ? 2 : 1;
  }
  while (*p >= 1 && *p <= 32) ++p;
  return reinterpret_cast<const char*>(p);
}

Launcher::Launcher(Platform& platform) : platform_(platform) {}

void Launcher::CaptureArgumentTail(const char* command_line_tail) {
  // A tail of 255 bytes or more is dropped whole, never cut.
  const std::size_t length = strnlen(command_line_tail, kMaxTailLength + 1);
  if (length == 0 || length > kMaxTailLength) {
    argument_tail_[0] = '\0';
    return;
  }
  argument_tail_[0] = ' ';
  std::memcpy(argument_tail_ + 1, command_line_tail, length);
  argument_tail_[length + 1] = '\0';
}

int Launcher::Run(const char* command_line_tail) {
  CaptureArgumentTail(command_line_tail);
  if (LoadCameraTable() == 1) ScanAndLaunch();
  return 0;
}

int Launcher::ScanAndLaunch() {
  startup_info_ = {};
  startup_info_.cb = sizeof(StartupInfo);
  process_information_ = {};
  FindCameraInstaller();
  return LaunchInstaller();
}

void Launcher::ShowMessage(const char* text) {
  platform_.MessageBoxA(nullptr, text, kMessageCaption, kMbIconInformation);
}

}  // namespace camsetup

#ifdef _WIN32
// An exception that escapes (exhausted memory: nothing else throws) ends the
// process at once, without the C++ runtime's message (which would drag its
// name demangler into the executable) or the C runtime's abort box.
namespace __gnu_cxx {
void __verbose_terminate_handler() { camsetup::EndProcessAfterFatalError(); }
}  // namespace __gnu_cxx

// The tail is derived from GetCommandLineA by the launcher's own rule, not
// taken from the C runtime's, so that it follows the ANSI code page.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  camsetup::RestrictDllSearchToSystemFolder();
  static camsetup::Win32Platform platform;
  static camsetup::Launcher launcher(platform);
  return launcher.Run(camsetup::DeriveCommandLineTail(platform.GetCommandLineA(), platform));
}
#endif
