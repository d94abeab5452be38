// The platform operations, forwarded to Windows.
#ifndef CAMSETUP_PLATFORM_WIN32_PLATFORM_H_
#define CAMSETUP_PLATFORM_WIN32_PLATFORM_H_

#include <memory>

#include "platform/platform.h"

namespace camsetup {

// Restricts the DLL search of this process to the system folder, so that a
// DLL planted beside the executable is never loaded. Called first thing.
void RestrictDllSearchToSystemFolder();

// Ends the process at once with a non-zero exit code, without any message
// of the C runtime's: for exhausted memory, which nothing can report.
[[noreturn]] void EndProcessAfterFatalError();

class Win32Platform final : public Platform {
 public:
  // Reads the system's ANSI code page, which holds for the whole run, and
  // loads SETUPAPI from the system folder; USER32 and what a message box
  // needs follow from there before the first user-interface call, ADVAPI32
  // before the first event-log call. A library that cannot be loaded makes
  // its operations fail: no device set, no message box, no record.
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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

 private:
  struct Libraries;
  unsigned code_page_;
  std::unique_ptr<Libraries> libraries_;
};

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_WIN32_PLATFORM_H_
