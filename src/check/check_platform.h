// The platform as the checker gives it to the launcher's code: the host's
// operations, with the module path set to the package's folder, message
// boxes recorded instead of shown, and, when hardware IDs are given, a
// device set made of them. The first hardware ID of every device that the
// scan reads is recorded, so that the checker can explain the selection.
#ifndef CAMSETUP_CHECK_CHECK_PLATFORM_H_
#define CAMSETUP_CHECK_CHECK_PLATFORM_H_

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace camsetup::check {

class CheckPlatform final : public Platform {
 public:
  CheckPlatform(Platform& host, std::string module_path);

  // Devices by their first hardware ID, in enumeration order; without
  // them, the host's present devices are used.
  std::optional<std::vector<std::string>> devices;

  std::vector<std::string> messages;       // message box texts
  std::vector<std::string> seen_hardware_ids;  // first hardware ID of each device read

  const char* GetCommandLineA() override { return host_.GetCommandLineA(); }
  Dword GetModuleFileNameA(char* filename, Dword size) override;
  Dword GetPrivateProfileStringA(const char* section, const char* key, const char* default_value,
                                 char* returned, Dword size, const char* file_name) override {
    return host_.GetPrivateProfileStringA(section, key, default_value, returned, size, file_name);
  }
  bool CreateProcessA(const char*, char*, const void*, const void*, bool, Dword, const void*,
                      const char*, StartupInfo*, ProcessInformation*) override;
  Dword GetFileAttributesA(const char* file_name) override {
    return host_.GetFileAttributesA(file_name);
  }
  Dword WaitForSingleObject(Handle, Dword) override { return 0; }
  bool GetExitCodeProcess(Handle, Dword*) override { return Unsupported(); }
  bool CloseHandle(Handle handle) override { return host_.CloseHandle(handle); }
  Dword GetLastError() override;
  void OutputDebugStringA(const char*) override {}
  // No session, window station or event log of the checker's own: the
  // queries fail, so that messages are recorded as boxes.
  Dword GetCurrentProcessId() override { return 0; }
  Dword GetSystemDirectoryA(char* buffer, Dword size) override {
    return host_.GetSystemDirectoryA(buffer, size);
  }
  Dword GetSystemWindowsDirectoryA(char* buffer, Dword size) override {
    return host_.GetSystemWindowsDirectoryA(buffer, size);
  }
  bool IsWow64Process2(Handle process, std::uint16_t* process_machine,
                       std::uint16_t* native_machine) override {
    return host_.IsWow64Process2(process, process_machine, native_machine);
  }
  bool IsWow64Process(Handle process, bool* wow64) override {
    return host_.IsWow64Process(process, wow64);
  }
  std::int32_t RtlGetVersion(OsVersionInfo* version) override {
    return host_.RtlGetVersion(version);
  }
  // The package's signatures are the host's to read; the checker's own
  // image is not the package's launcher.
  Dword GetImageCertificateTableSize() override { return 0; }
  Handle CreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                     Dword creation_disposition) override {
    return host_.CreateFileA(file_name, desired_access, share_mode, creation_disposition);
  }
  std::int32_t WinVerifyTrust(Handle file, const char* file_name, CertName* signer) override {
    return host_.WinVerifyTrust(file, file_name, signer);
  }
  bool CertCompareCertificateName(const CertName& name1, const CertName& name2) override {
    return host_.CertCompareCertificateName(name1, name2);
  }
  bool ProcessIdToSessionId(Dword, Dword*) override { return Unsupported(); }
  void* HeapAlloc(std::size_t bytes) override { return host_.HeapAlloc(bytes); }
  void HeapFree(void* block) override { host_.HeapFree(block); }
  DevInfoHandle SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator, Handle parent,
                                     Dword flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index, DevInfoData* data) override;
  bool SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data, Dword property,
                                         Dword* registry_type, std::uint8_t* buffer,
                                         Dword buffer_size, Dword* required_size) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoHandle set) override;
  int MessageBoxA(Handle, const char* text, const char*, Dword) override;
  Handle GetProcessWindowStation() override {
    Unsupported();
    return nullptr;
  }
  bool GetUserObjectInformationA(Handle, int, void*, Dword, Dword*) override {
    return Unsupported();
  }
  Handle RegisterEventSourceA(const char*, const char*) override {
    Unsupported();
    return nullptr;
  }
  bool ReportEventA(Handle, std::uint16_t, std::uint16_t, Dword, const void*, std::uint16_t, Dword,
                    const char**, const void*) override {
    return Unsupported();
  }
  bool DeregisterEventSource(Handle) override { return Unsupported(); }
  bool IsDBCSLeadByte(std::uint8_t byte) override { return host_.IsDBCSLeadByte(byte); }
  void CharUpperChar(char* ch, std::size_t length) override { host_.CharUpperChar(ch, length); }

 private:
  bool Unsupported() {
    own_error_ = 50;  // ERROR_NOT_SUPPORTED
    return false;
  }

  Platform& host_;
  std::string module_path_;
  std::vector<std::string> properties_;  // multi-strings of the given devices
  int list_set_ = 0;                     // its address is the set handle of given devices
  std::optional<Dword> own_error_;       // last error of this platform's own operations
};

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_CHECK_PLATFORM_H_
