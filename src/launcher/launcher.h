// The launcher's shared types and its run sequence.
//
// The stages take no arguments and pass their data through the buffers of
// one Launcher object; the program has one static instance, tests make
// their own against a fake platform.
#ifndef CAMSETUP_LAUNCHER_LAUNCHER_H_
#define CAMSETUP_LAUNCHER_LAUNCHER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "platform/scoped.h"

namespace camsetup {

inline constexpr std::size_t kArgumentTailSize = 256;   // blank + 254 bytes + NUL
inline constexpr std::size_t kMaxTailLength = 254;
inline constexpr std::size_t kInstallPathSize = 256;    // at most 255 characters
inline constexpr std::size_t kModulePathSize = 300;
inline constexpr std::size_t kProfileValueSize = 255;
inline constexpr std::size_t kLaunchCommandSize = 820;
inline constexpr int kMaxModels = 20;
inline constexpr int kMaxCodes = 50;
inline constexpr std::size_t kMaxCodeLength = 4;

inline constexpr char kVendorCode[] = "5A3D";
inline constexpr char kMessageCaption[] = "Error info";
inline constexpr char kEventSourceName[] = "camsetup";

// The exit codes of a run whose setup.ini asks for them ([Launcher]
// ExitCode=Installer). None of the launcher's own is 0, 1641 or 3010, so
// that no failure reads as success or as a reboot.
inline constexpr Dword kErrorFileNotFound = 2;           // a package for msiexec or pnputil missing
inline constexpr Dword kErrorGenFailure = 31;            // listing failed without a code
inline constexpr Dword kErrorFilenameExcedRange = 206;   // a command that does not fit
inline constexpr Dword kErrorDeviceNotConnected = 1167;  // no configured camera present
inline constexpr Dword kErrorInstallFailure = 1603;      // no code for a start or an end
inline constexpr Dword kErrorBadConfiguration = 1610;    // a rejected setup.ini entry

enum class ExitCodeMode {
  kAlwaysZero,  // the default: 0 in every outcome
  kInstaller,   // the installer's own code, or the code of the failure
};

// Every message the launcher shows. Where nobody can see a box, the message
// goes to the debugger output and to the Application event log, under its
// own event ID.
enum class Message {
  kLauncherPathTooLong,
  kLauncherPathNotValid,
  kPathTooLong,
  kPidTooLong,
  kInstallPathTooLong,
  kEnumerationFail,
  kEnumerationError,
  kNotFound,
  kStartFailed,
  kProcessCloseFailed,
  kThreadCloseFailed,
  kSignatureCheckFailed,
};

struct MessageEvent {
  std::uint16_t type;  // EVENTLOG_ERROR_TYPE or EVENTLOG_WARNING_TYPE
  Dword id;
};
MessageEvent EventOf(Message message);

// Whether someone can see and dismiss a box: the process's window station
// is visible and the process is not in session 0. A query that failed
// (nullopt) does not count against it, so interactive runs keep their boxes.
bool BoxCanBeSeen(std::optional<Dword> window_station_flags, std::optional<Dword> session_id);

// What goes to the debugger output in place of a box nobody sees: the
// caption, ": " and the text, cut to fit `size` bytes.
void UnseenBoxText(const char* caption, const char* text, char* out, std::size_t size);

// Up to four characters of a model's PID text, stored as written.
struct ProductCode {
  char text[kMaxCodeLength + 1];  // NUL-terminated
  std::string_view view() const { return text; }
};

// A text on the heap, owned; empty when `data` is null.
struct OwnedText {
  std::unique_ptr<char[]> data;
  std::size_t length = 0;
  std::string_view view() const { return {data.get(), length}; }
};

struct CameraEntry {
  char install_path[kInstallPathSize];  // folder with trailing backslash + Path token
  std::int32_t code_count;              // 0 to 50
  ProductCode product_codes[kMaxCodes];
};

struct CameraTable {
  std::int32_t model_count;  // 0 to 20
  std::size_t folder_length;  // bytes of the launcher's folder at the start of each install path
  CameraEntry entries[kMaxModels];
};

// The first token of a profile value, split at apostrophes.
struct FirstToken {
  std::size_t begin;   // offset of the token in the value
  std::size_t length;  // bytes
  int end_position;    // just past the closing apostrophe or the end; -1 when empty
};

// Derives the command-line tail (the arguments after the program name)
// from the full command line. Returns a pointer into `command_line`, or to
// an empty text.
const char* DeriveCommandLineTail(const char* command_line, Platform& platform);

// Whether two texts are equal when ASCII letters are compared without
// regard to case, as profile names are.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// The [Launcher] Installers value (in any case) with which a signed launcher
// starts an installer that anyone signed validly, not only its publisher.
inline constexpr char kAnySigned[] = "AnySigned";

// The first token of `value` with its end position.
FirstToken TakeFirstToken(const char* value, Platform& platform);

// Upper-cases `length` bytes at `text` in place, one character of the code
// page at a time.
void UpperCaseText(char* text, std::size_t length, Platform& platform);

// Byte index of the first occurrence of `code` in `text` that begins at a
// character boundary, or std::string_view::npos.
std::size_t FindCode(std::string_view text, std::string_view code, Platform& platform);

// Where a code occurs in a text: the index of its first occurrence when
// that is past index 0, else std::string_view::npos. An occurrence at the
// first character does not count, and neither does any later one then.
std::size_t OccurrenceIndex(std::string_view text, std::string_view code, Platform& platform);

// A code occurs in a text when its first occurrence begins past index 0.
bool CodeOccurs(std::string_view text, std::string_view code, Platform& platform);

// How one upper-cased hardware ID compares with the table.
struct DeviceMatch {
  std::size_t vendor_index = std::string_view::npos;  // where the vendor code occurs, or npos
  int model = -1;                                     // highest matching model index, or -1
  int code = -1;                                      // that model's first code that occurs
  std::size_t code_index = std::string_view::npos;    // where that code occurs
};

// The codes of a camera table, looked up by their bytes, with the code
// page's lead bytes. Built once per scan, so that matching a hardware ID
// costs a few steps per character whatever the size of the table.
class CodeIndex {
 public:
  // Asks `platform` once for each of the 256 byte values whether it is a
  // lead byte. Allocates nothing.
  CodeIndex(const CameraTable& table, Platform& platform);
  CodeIndex(const CodeIndex&) = delete;
  CodeIndex& operator=(const CodeIndex&) = delete;

  // The vendor test and the model tests for one upper-cased hardware ID,
  // with the rules of OccurrenceIndex.
  DeviceMatch Match(std::string_view hardware_id) const;

  bool IsLeadByte(std::uint8_t byte) const { return lead_bytes_[byte]; }

 private:
  // All codes with the same bytes share a slot. When those bytes occur,
  // the slot's model is the one that decides among them: the highest, and
  // within it the first of its codes with these bytes.
  struct Slot {
    std::uint32_t bytes;  // the code's bytes, the first in the lowest 8 bits
    std::uint8_t length;  // 1 to 4; 0 for a free slot
    std::uint8_t model;
    std::uint8_t code;
  };
  // A power of two, over twice the codes a table can hold.
  static constexpr std::size_t kSlots = 2048;
  static_assert(kSlots >= 2 * kMaxModels * kMaxCodes);

  const Slot* Find(const char* bytes, std::size_t length) const;

  Slot slots_[kSlots] = {};
  // Bit L-1 is set when a code of L bytes begins with this byte.
  std::uint8_t lengths_[256] = {};
  bool lead_bytes_[256] = {};
};

// The vendor test and the model tests for one upper-cased hardware ID.
// The first form builds an index for this one call.
DeviceMatch MatchHardwareId(const CameraTable& table, std::string_view hardware_id,
                            Platform& platform);
DeviceMatch MatchHardwareId(const CodeIndex& index, std::string_view hardware_id);

// The program that an install path starts. A Path token without blanks or
// tabs is the program whole. Otherwise the program is found as the system's
// rule for an unquoted command line finds it, but only inside the launcher's
// folder: the whole install path when that names an existing file, else the
// shortest prefix of the token that ends before a blank or tab and names an
// existing file. A name whose last component has an extension is taken as
// written; any other is the name with ".exe" appended, both when it is
// looked for and when it is started. What follows the program is the
// switches written in Path.
struct InstallProgram {
  std::size_t length;       // bytes of the install path that name the program
  bool looked_up;           // the token holds a blank or tab, so files were looked at
  bool found;               // a file was found for the program
  bool appended_extension;  // the program is those bytes with ".exe" appended
};
InstallProgram FindInstallProgram(const char* install_path, std::size_t folder_length,
                                  Platform& platform);

// The forms a driver package comes in, told by the extension of the program
// found, without regard to case: an MSI package (".msi") goes to msiexec, an
// INF driver package (".inf") to pnputil, anything else starts itself.
enum class InstallerForm { kProgram, kWindowsInstaller, kDriverPackage };
InstallerForm FormOf(const char* install_path, std::size_t folder_length,
                     const InstallProgram& program, Platform& platform);
const char* FormName(InstallerForm form);  // "program", "MSI package", "INF driver package"

inline constexpr std::size_t kSystemFolderSize = 260;  // MAX_PATH
inline constexpr char kSysnative[] = "\\Sysnative";
// The Windows folder with "\Sysnative" after it.
inline constexpr std::size_t kNativeFolderSize = kSystemFolderSize + sizeof(kSysnative) - 1;
// pnputil knows /add-driver from Windows 10 1607 on.
inline constexpr Dword kFirstBuildWithAddDriver = 14393;

// Where the system's own tools are, for the forms that start one.
struct SystemTools {
  const char* system_folder = "";  // msiexec's: the process's system folder
  const char* native_folder = "";  // pnputil's: the 64-bit one on 64-bit Windows
  bool add_driver = false;         // pnputil's /add-driver, else its -i -a
};

// The command that starts `program` (its full path, NUL-free) in `form`,
// with the switches written in Path and the launcher's argument tail, each
// with its own leading blank. An INF's command takes no argument tail:
// installer switches mean nothing to pnputil. Written to `out` of `size`
// bytes; false, with `out` empty, when it does not fit, never cut.
bool ComposeInstallCommand(InstallerForm form, std::string_view program,
                           std::string_view switches, std::string_view argument_tail,
                           const SystemTools& tools, char* out, std::size_t size);
// The creation flags of the form's process: pnputil is a console program,
// started without a console window.
Dword CreationFlagsOf(InstallerForm form);
// Fills `tools` for `form` from the platform: the system folder for an MSI
// package (into `system_folder`); the native system folder (into
// `native_folder`) and the version for an INF. Both buffers are
// kSystemFolderSize and kNativeFolderSize bytes. Returns 0, or the code of
// the failure: 206 for a folder that does not fit, else the call's last
// error where `read_last_error` asks for it, or 1603.
Dword ReadSystemTools(InstallerForm form, Platform& platform, bool read_last_error,
                      SystemTools& tools, char* system_folder, char* native_folder);

class Launcher {
 public:
  explicit Launcher(Platform& platform);
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // The run sequence: returns the process exit code, 0 unless setup.ini
  // asks for the outcome's code.
  int Run(const char* command_line_tail);

  // The stages, in the order Run calls them.
  void CaptureArgumentTail(const char* command_line_tail);
  int LoadCameraTable();
  int ScanAndLaunch();  // FindCameraInstaller, then LaunchInstaller
  void FindCameraInstaller();
  int LaunchInstaller();

  const char* argument_tail() const { return argument_tail_; }
  const CameraTable& camera_table() const { return camera_table_; }
  const char* launch_command() const { return launch_command_; }
  ExitCodeMode exit_code_mode() const { return exit_code_mode_; }

 private:
  // What the scan hands to the launch.
  struct ScanOutcome {
    bool set_obtained = false;
    ScopedDevInfoList set;
    Dword last_error = 0;
  };

  bool ReportsOutcome() const { return exit_code_mode_ == ExitCodeMode::kInstaller; }
  void SetOutcome(Dword code) { outcome_code_ = code; }
  // The outcome's code is the last error, or `fallback` when that is 0. The
  // last error is read only when the mode asks for the code, so that a run
  // without it makes the same calls as ever.
  void SetOutcomeFromLastError(Dword fallback);
  void ReadExitCodeMode(const char* setup_path);
  void ShowMessage(Message message, const char* text);
  // Where the box is not seen: the debugger output and the event log.
  void ReportUnseen(Message message, const char* text);
  std::optional<Dword> WindowStationFlags();
  std::optional<Dword> SessionId();
  // A signed launcher starts only what its publisher signed (or, where
  // setup.ini says Installers=AnySigned, what anyone signed with a trusted
  // certificate). Returns 0 when the file at `program_path` may start, with
  // `held` open on it, denying writes, until the start; else the code of the
  // refusal, and `missing` set when there was no file to check.
  std::int32_t CheckInstallerSignature(const char* program_path, ScopedKernelHandle& held,
                                       bool& missing);
  // Reads the first hardware ID of the device at `data` into a text, using
  // and replacing `buffer` as the property read requires.
  OwnedText ReadFirstHardwareId(DevInfoHandle set, DevInfoData* data, ScopedHeapBlock& buffer);

  Platform& platform_;
  char argument_tail_[kArgumentTailSize] = {};
  CameraTable camera_table_ = {};
  ExitCodeMode exit_code_mode_ = ExitCodeMode::kAlwaysZero;
  char setup_path_[kModulePathSize + 16] = {};
  // The program or package of the scan-and-launch step, as it starts.
  char program_path_[kInstallPathSize + 4] = {};
  Dword outcome_code_ = 0;

  // Scan-and-launch step.
  char launch_command_[kLaunchCommandSize] = {};
  StartupInfo startup_info_ = {};
  ProcessInformation process_information_ = {};
  ScanOutcome scan_;
};

}  // namespace camsetup

#endif  // CAMSETUP_LAUNCHER_LAUNCHER_H_
