// Entry point and run sequence.
#include <cstdlib>
#include <cstring>
#include <optional>

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
  // The process exit code carries the code's bits unchanged.
  return ReportsOutcome() ? static_cast<int>(outcome_code_) : 0;
}

int Launcher::ScanAndLaunch() {
  startup_info_ = {};
  startup_info_.cb = sizeof(StartupInfo);
  process_information_ = {};
  FindCameraInstaller();
  return LaunchInstaller();
}

void Launcher::SetOutcomeFromLastError(Dword fallback) {
  if (!ReportsOutcome()) return;
  const Dword error = platform_.GetLastError();
  outcome_code_ = error != 0 ? error : fallback;
}

MessageEvent EventOf(Message message) {
  // IDs are part of what administrators filter on: never renumber them.
  switch (message) {
    case Message::kLauncherPathTooLong: return {kEventlogErrorType, 1001};
    case Message::kLauncherPathNotValid: return {kEventlogErrorType, 1002};
    case Message::kPathTooLong: return {kEventlogErrorType, 1003};
    case Message::kPidTooLong: return {kEventlogErrorType, 1004};
    case Message::kInstallPathTooLong: return {kEventlogErrorType, 1005};
    case Message::kEnumerationFail: return {kEventlogErrorType, 1006};
    case Message::kEnumerationError: return {kEventlogErrorType, 1007};
    case Message::kNotFound: return {kEventlogWarningType, 1008};
    case Message::kStartFailed: return {kEventlogErrorType, 1009};
    case Message::kProcessCloseFailed: return {kEventlogErrorType, 1010};
    case Message::kThreadCloseFailed: return {kEventlogErrorType, 1011};
    case Message::kSignatureCheckFailed: return {kEventlogErrorType, 1012};
  }
  return {kEventlogErrorType, 1000};
}

bool BoxCanBeSeen(std::optional<Dword> window_station_flags, std::optional<Dword> session_id) {
  if (window_station_flags && (*window_station_flags & kWsfVisible) == 0) return false;
  if (session_id && *session_id == 0) return false;
  return true;
}

void UnseenBoxText(const char* caption, const char* text, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t used = 0;
  for (const char* part : {caption, ": ", text}) {
    if (part == nullptr) continue;
    const std::size_t length = std::strlen(part);
    const std::size_t room = size - 1 - used;
    const std::size_t n = length < room ? length : room;
    std::memcpy(out + used, part, n);
    used += n;
  }
  out[used] = '\0';
}

std::optional<Dword> Launcher::WindowStationFlags() {
  const Handle station = platform_.GetProcessWindowStation();
  if (station == nullptr) return std::nullopt;
  UserObjectFlags flags = {};
  Dword needed = 0;
  if (!platform_.GetUserObjectInformationA(station, kUoiFlags, &flags, sizeof(flags), &needed)) {
    return std::nullopt;
  }
  return flags.dwFlags;
}

std::optional<Dword> Launcher::SessionId() {
  Dword session = 0;
  if (!platform_.ProcessIdToSessionId(platform_.GetCurrentProcessId(), &session)) {
    return std::nullopt;
  }
  return session;
}

// Deployment agents, scheduled tasks and services run programs in session 0
// or on a window station that nobody sees, where a box could never be
// dismissed and would hold the run for good. There, and where no box can be
// shown at all, the message goes where an administrator can read it, and
// the run goes on as if the box had been dismissed.
void Launcher::ShowMessage(Message message, const char* text) {
  // The session first: in session 0 the window station need not be asked,
  // which spares loading the user-interface library there.
  const std::optional<Dword> session = SessionId();
  const bool seen = BoxCanBeSeen(std::nullopt, session) &&
                    BoxCanBeSeen(WindowStationFlags(), session);
  if (seen && platform_.MessageBoxA(nullptr, text, kMessageCaption, kMbIconInformation) != 0) {
    return;
  }
  ReportUnseen(message, text);
}

void Launcher::ReportUnseen(Message message, const char* text) {
  char line[600];
  UnseenBoxText(kMessageCaption, text, line, sizeof(line));
  platform_.OutputDebugStringA(line);
  // A record that cannot be written changes nothing of the run.
  ScopedEventSource source(&platform_, platform_.RegisterEventSourceA(nullptr, kEventSourceName));
  if (!source.IsValid()) return;
  const MessageEvent event = EventOf(message);
  const char* strings[] = {text};
  platform_.ReportEventA(source.get(), event.type, 0, event.id, nullptr, 1, 0, strings, nullptr);
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
//
// Everything the run opened is closed when Run returns; the process then
// ends at once. Returning would unload SETUPAPI and its libraries one by one
// and take the C runtime's exit path (which looks for a managed runtime to
// notify), only for the system to release the same again.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  camsetup::RestrictDllSearchToSystemFolder();
  static camsetup::Win32Platform platform;
  static camsetup::Launcher launcher(platform);
  const int code =
      launcher.Run(camsetup::DeriveCommandLineTail(platform.GetCommandLineA(), platform));
  ::ExitProcess(static_cast<UINT>(code));
}
#endif
