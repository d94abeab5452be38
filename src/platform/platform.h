// The Windows operations the launcher uses, behind one interface.
//
// Every member keeps its Windows name and argument order. Text is 8-bit
// ANSI text ("A" functions). The records mirror the Windows layouts field
// for field, so the Win32 implementation can copy them across unchanged.
#ifndef CAMSETUP_PLATFORM_PLATFORM_H_
#define CAMSETUP_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>

namespace camsetup {

using Dword = std::uint32_t;
using Handle = void*;         // process and thread handles
using DevInfoHandle = void*;  // HDEVINFO

// GetCurrentProcess()'s pseudo-handle.
inline Handle CurrentProcess() { return reinterpret_cast<Handle>(~std::uintptr_t{0}); }

// INVALID_HANDLE_VALUE.
inline DevInfoHandle InvalidHandleValue() {
  return reinterpret_cast<DevInfoHandle>(~std::uintptr_t{0});
}

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

// SP_DEVINFO_DATA.
struct DevInfoData {
  Dword cbSize;
  Guid ClassGuid;
  Dword DevInst;
  std::uintptr_t Reserved;
};

// STARTUPINFOA.
struct StartupInfo {
  Dword cb;
  char* lpReserved;
  char* lpDesktop;
  char* lpTitle;
  Dword dwX;
  Dword dwY;
  Dword dwXSize;
  Dword dwYSize;
  Dword dwXCountChars;
  Dword dwYCountChars;
  Dword dwFillAttribute;
  Dword dwFlags;
  std::uint16_t wShowWindow;
  std::uint16_t cbReserved2;
  std::uint8_t* lpReserved2;
  Handle hStdInput;
  Handle hStdOutput;
  Handle hStdError;
};

// PROCESS_INFORMATION.
struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
  Dword dwProcessId;
  Dword dwThreadId;
};

// RTL_OSVERSIONINFOW, without its service-pack text.
struct OsVersionInfo {
  Dword dwMajorVersion;
  Dword dwMinorVersion;
  Dword dwBuildNumber;
};

// The encoded subject name of a certificate (a CERT_NAME_BLOB's bytes).
inline constexpr std::size_t kCertNameSize = 1024;
struct CertName {
  Dword size;  // bytes of the name; more than kCertNameSize when it did not fit
  std::uint8_t data[kCertNameSize];
};

// USEROBJECTFLAGS.
struct UserObjectFlags {
  std::int32_t fInherit;
  std::int32_t fReserved;
  Dword dwFlags;
};

// The fixed values used at the call sites.
inline constexpr Guid kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr Dword kDigcfPresent = 0x02;
inline constexpr Dword kDigcfDeviceInterface = 0x10;
inline constexpr Dword kSpdrpHardwareId = 1;
inline constexpr Dword kErrorInsufficientBuffer = 122;
inline constexpr Dword kErrorNoMoreItems = 259;
inline constexpr Dword kNormalPriorityClass = 0x20;
inline constexpr Dword kCreateNoWindow = 0x08000000;
inline constexpr Dword kErrorPathNotFound = 3;
inline constexpr Dword kErrorProcNotFound = 127;
inline constexpr Dword kGenericRead = 0x80000000;
inline constexpr Dword kFileShareRead = 0x1;
inline constexpr Dword kOpenExisting = 3;
inline constexpr std::int32_t kTrustENoSignature = static_cast<std::int32_t>(0x800B0100);
inline constexpr std::int32_t kTrustESubjectNotTrusted = static_cast<std::int32_t>(0x800B0004);
inline constexpr std::int32_t kTrustEFail = static_cast<std::int32_t>(0x800B010B);
inline constexpr std::int32_t kTrustEBadDigest = static_cast<std::int32_t>(0x80096010);
inline constexpr std::int32_t kTrustESubjectFormUnknown = static_cast<std::int32_t>(0x800B0003);
inline constexpr std::uint16_t kImageFileMachineUnknown = 0;
inline constexpr Dword kInfinite = 0xFFFFFFFF;
inline constexpr Dword kMbIconInformation = 0x40;
inline constexpr Dword kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr Dword kFileAttributeDirectory = 0x10;
inline constexpr Dword kErrorNoUnicodeTranslation = 1113;
inline constexpr Dword kWaitObject0 = 0;
inline constexpr int kUoiFlags = 1;
inline constexpr Dword kWsfVisible = 0x0001;
inline constexpr std::uint16_t kEventlogErrorType = 0x0001;
inline constexpr std::uint16_t kEventlogWarningType = 0x0002;

class Platform {
 public:
  virtual ~Platform() = default;

  // Kernel.
  virtual const char* GetCommandLineA() = 0;
  // The executable's own path in the ANSI code page. Its folder is named
  // without loss (by its short form where needed), never by a best-fit
  // form; a folder that cannot be named gives 0 and
  // ERROR_NO_UNICODE_TRANSLATION. The file name may be lossy ('?' for what
  // cannot be named), but is never empty and holds no backslash.
  virtual Dword GetModuleFileNameA(char* filename, Dword size) = 0;
  virtual Dword GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* default_value, char* returned,
                                         Dword size, const char* file_name) = 0;
  virtual bool CreateProcessA(const char* application_name, char* command_line,
                              const void* process_attributes, const void* thread_attributes,
                              bool inherit_handles, Dword creation_flags,
                              const void* environment, const char* current_directory,
                              StartupInfo* startup_info,
                              ProcessInformation* process_information) = 0;
  // The attributes of a file or folder, or INVALID_FILE_ATTRIBUTES.
  virtual Dword GetFileAttributesA(const char* file_name) = 0;
  virtual Dword WaitForSingleObject(Handle handle, Dword milliseconds) = 0;
  virtual bool GetExitCodeProcess(Handle process, Dword* exit_code) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual Dword GetLastError() = 0;
  virtual void OutputDebugStringA(const char* text) = 0;
  virtual Dword GetCurrentProcessId() = 0;
  // The system folder, and the shared Windows folder: the length, or the
  // size needed (with the NUL) when `size` is too small, or 0 on failure.
  virtual Dword GetSystemDirectoryA(char* buffer, Dword size) = 0;
  virtual Dword GetSystemWindowsDirectoryA(char* buffer, Dword size) = 0;
  // Whether `process` runs under WOW64. The first form knows x86 emulation
  // on Arm64 too, where the second says FALSE; it is missing before
  // Windows 10 1709 (FALSE, ERROR_PROC_NOT_FOUND).
  virtual bool IsWow64Process2(Handle process, std::uint16_t* process_machine,
                               std::uint16_t* native_machine) = 0;
  virtual bool IsWow64Process(Handle process, bool* wow64) = 0;
  // The true version of Windows, whatever the manifest names; an NTSTATUS.
  virtual std::int32_t RtlGetVersion(OsVersionInfo* version) = 0;
  // The size of the certificate table that the running image's own PE
  // header names, as loaded: 0 for an image that carries no signature.
  virtual Dword GetImageCertificateTableSize() = 0;
  // CreateFileA with no security attributes, normal attributes and no
  // template: a handle, or INVALID_HANDLE_VALUE.
  virtual Handle CreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                             Dword creation_disposition) = 0;

  // Authenticode. WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2, no
  // user interface and no revocation check (nothing is fetched from the
  // network), on the file open at `file`, named `file_name`; or, with no
  // file, on the running image by its wide module path. Its result (0 when
  // trusted), and then the subject of the signer's certificate.
  virtual std::int32_t WinVerifyTrust(Handle file, const char* file_name, CertName* signer) = 0;
  // CertCompareCertificateName for X.509 names.
  virtual bool CertCompareCertificateName(const CertName& name1, const CertName& name2) = 0;
  virtual bool ProcessIdToSessionId(Dword process_id, Dword* session_id) = 0;

  // The process heap. Blocks come back zero-filled, or null on failure.
  virtual void* HeapAlloc(std::size_t bytes) = 0;
  virtual void HeapFree(void* block) = 0;

  // Device setup.
  virtual DevInfoHandle SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                             Handle parent, Dword flags) = 0;
  virtual bool SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index,
                                     DevInfoData* data) = 0;
  virtual bool SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data,
                                                 Dword property, Dword* registry_type,
                                                 std::uint8_t* buffer, Dword buffer_size,
                                                 Dword* required_size) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(DevInfoHandle set) = 0;

  // User interface. MessageBoxA returns 0 when no box could be shown.
  virtual int MessageBoxA(Handle owner, const char* text, const char* caption, Dword type) = 0;
  virtual Handle GetProcessWindowStation() = 0;
  virtual bool GetUserObjectInformationA(Handle object, int index, void* info, Dword length,
                                         Dword* length_needed) = 0;

  // The event log. RegisterEventSourceA gives null on failure.
  virtual Handle RegisterEventSourceA(const char* server_name, const char* source_name) = 0;
  virtual bool ReportEventA(Handle event_log, std::uint16_t type, std::uint16_t category,
                            Dword event_id, const void* user_sid, std::uint16_t num_strings,
                            Dword data_size, const char** strings, const void* raw_data) = 0;
  virtual bool DeregisterEventSource(Handle event_log) = 0;

  // The ANSI code page of the run, fixed at start-up.
  // True when `byte` starts a double-byte character.
  virtual bool IsDBCSLeadByte(std::uint8_t byte) = 0;
  // Replaces the one character at `ch` (`length` is 1, or 2 for a
  // double-byte character) by its upper-case form of the same length.
  virtual void CharUpperChar(char* ch, std::size_t length) = 0;
};

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_PLATFORM_H_
