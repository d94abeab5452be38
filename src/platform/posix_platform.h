// The platform operations on Linux, for tools that run the launcher's own
// table loading and matching against a package on disk.
//
// Profile values come from the real file (paths may use backslashes), the
// module path is given, the device set is empty, and the code page is
// single-byte unless a table is given. Messages are recorded, not shown;
// nothing can be started.
#ifndef CAMSETUP_PLATFORM_POSIX_PLATFORM_H_
#define CAMSETUP_PLATFORM_POSIX_PLATFORM_H_

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulation.h"
#include "platform/platform.h"

namespace camsetup {

// A path with backslashes as a Linux path: every backslash becomes a slash,
// but not the trail byte of a double-byte character of the code page (0x5C
// ends ソ in code page 932), which is read with its lead byte.
std::string PosixPath(const std::string& path,
                      const CodePageTable& code_page = CodePageTable::SingleByte());

// Whether two names are one to Windows, compared by characters of the code
// page: ASCII letters, and the letters the code page's table upper-cases
// (code page 932's full-width ones), match without regard to case.
bool SameNameIgnoringCase(const std::string& a, const std::string& b,
                          const CodePageTable& code_page);

// The UTF-8 form of a name in the code page's bytes, or nothing where a
// byte does not decode.
using NameDecoder = std::function<std::optional<std::string>(const std::string& name)>;

// A name on disk that a part of a launcher path found: the code page's
// bytes, or a UTF-8 name (as Git and unzip write them) that the part's
// decoded form matched.
struct FoundName {
  std::string name;
  bool utf8 = false;
};

// Names in one folder that differ only in case: Windows sees one of them.
struct CaseTwins {
  std::vector<FoundName> folder;  // the folders from linux_prefix on; none for itself
  std::vector<FoundName> names;   // in byte order
};

class PosixPlatform final : public Platform {
 public:
  PosixPlatform();

  std::string module_path;            // e.g. "/pkg\\camsetup.exe"
  // The start of launcher paths that is a Linux path already (the package's
  // folder, with the backslash the launcher puts after it): its bytes are
  // not read in the code page, and its names are taken as they are.
  std::string linux_prefix;
  std::vector<std::string> messages;  // message box texts, in order
  void UseCodePage932();
  // With `decode_name`, names on disk in UTF-8 are found too (see FindPath).
  void UseCodePage(const CodePageTable& table, NameDecoder decode_name = nullptr);

  const char* GetCommandLineA() override;
  Dword GetModuleFileNameA(char* filename, Dword size) override;
  Dword GetPrivateProfileStringA(const char* section, const char* key, const char* default_value,
                                 char* returned, Dword size, const char* file_name) override;
  bool CreateProcessA(const char* application_name, char* command_line,
                      const void* process_attributes, const void* thread_attributes,
                      bool inherit_handles, Dword creation_flags, const void* environment,
                      const char* current_directory, StartupInfo* startup_info,
                      ProcessInformation* process_information) override;
  Dword GetFileAttributesA(const char* file_name) override;
  Dword WaitForSingleObject(Handle handle, Dword milliseconds) override;
  bool GetExitCodeProcess(Handle process, Dword* exit_code) override;
  bool CloseHandle(Handle handle) override;
  Dword GetLastError() override;
  void OutputDebugStringA(const char* text) override;
  Dword GetCurrentProcessId() override;
  Dword GetSystemDirectoryA(char* buffer, Dword size) override;
  Dword GetSystemWindowsDirectoryA(char* buffer, Dword size) override;
  bool IsWow64Process2(Handle process, std::uint16_t* process_machine,
                       std::uint16_t* native_machine) override;
  bool IsWow64Process(Handle process, bool* wow64) override;
  std::int32_t RtlGetVersion(OsVersionInfo* version) override;
  Dword GetImageCertificateTableSize() override;
  Handle CreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                     Dword creation_disposition) override;
  std::int32_t WinVerifyTrust(Handle file, const char* file_name, CertName* signer) override;
  bool CertCompareCertificateName(const CertName& name1, const CertName& name2) override;
  bool ProcessIdToSessionId(Dword process_id, Dword* session_id) override;
  void* HeapAlloc(std::size_t bytes) override;
  void HeapFree(void* block) override;
  DevInfoHandle SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator, Handle parent,
                                     Dword flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index, DevInfoData* data) override;
  bool SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data, Dword property,
                                         Dword* registry_type, std::uint8_t* buffer,
                                         Dword buffer_size, Dword* required_size) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoHandle set) override;
  int MessageBoxA(Handle owner, const char* text, const char* caption, Dword type) override;
  Handle GetProcessWindowStation() override;
  bool GetUserObjectInformationA(Handle object, int index, void* info, Dword length,
                                 Dword* length_needed) override;
  Handle RegisterEventSourceA(const char* server_name, const char* source_name) override;
  bool ReportEventA(Handle event_log, std::uint16_t type, std::uint16_t category, Dword event_id,
                    const void* user_sid, std::uint16_t num_strings, Dword data_size,
                    const char** strings, const void* raw_data) override;
  bool DeregisterEventSource(Handle event_log) override;
  bool IsDBCSLeadByte(std::uint8_t byte) override;
  void CharUpperChar(char* ch, std::size_t length) override;

  // The Linux file that a launcher path names, found as Windows finds it:
  // each part of the path matched without regard to case. Where no name
  // matches a part's bytes, and the code page has a decoder, the part's
  // UTF-8 form is matched against the names as UTF-8, in the same way:
  // Windows compares characters, and a package that Git or unzip wrote
  // holds UTF-8 names. Where a folder holds several names that match a
  // part, the exact one or else the first in byte order is taken, and,
  // given `twins`, the names are listed there. A part that matches nothing
  // is kept as written.
  std::string FindPath(const std::string& launcher_path,
                       std::vector<CaseTwins>* twins = nullptr) const;
  bool FileExists(const std::string& launcher_path) const;  // a file, not a folder
  std::optional<std::string> ReadFile(const std::string& launcher_path) const;

 private:
  // The names in `folder` that are `part` to Windows.
  struct Matches {
    std::vector<std::string> names;  // in byte order
    bool utf8 = false;               // matched by the part's UTF-8 form
    std::string exact;               // the name taken first where it is among them
  };
  Matches MatchingNames(const std::string& folder, const std::string& part) const;

  Dword last_error_ = 0;
  int device_set_ = 0;  // its address is the set handle
  CodePageTable code_page_ = CodePageTable::SingleByte();
  NameDecoder decode_name_;
  std::map<std::string, std::string> upper_utf8_;  // code_page_.upper, decoded
};

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_POSIX_PLATFORM_H_
