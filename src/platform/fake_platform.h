// An in-memory platform for the launcher's tests on Linux.
//
// Its state is plain data that a test sets up: the command line, the module
// path, profile values, devices with their hardware IDs, the code page and
// scripted failures. Every call is appended to `calls` as one line of text,
// so a test can compare whole call sequences. The code-page queries are
// pure functions of the code page and are not logged.
#ifndef CAMSETUP_PLATFORM_FAKE_PLATFORM_H_
#define CAMSETUP_PLATFORM_FAKE_PLATFORM_H_

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/emulation.h"
#include "platform/platform.h"

namespace camsetup {

struct FakeDevice {
  // The hardware-ID property as raw bytes: a multi-string with its NULs,
  // e.g. std::string("USB\\VID_5A3D&PID_ABCD\0USB\\VID_5A3D\0\0", 34).
  std::string hardware_ids;
  // When non-zero, reading the property fails with this error.
  Dword property_error = 0;
  // When set, every read reports the buffer too small and asks for this
  // many bytes, whatever it was given.
  std::optional<Dword> stuck_required_size;
};


class FakePlatform final : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // ---- State ----
  std::optional<std::string> command_line = std::string("camsetup.exe");
  std::string module_path = "C:\\Pkg\\camsetup.exe";
  // file -> section -> key -> value; names compare exactly.
  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> profiles;
  std::vector<FakeDevice> devices;
  // Files and folders by their full path, with their attributes
  // (FILE_ATTRIBUTE_DIRECTORY for a folder); anything else does not exist.
  std::map<std::string, Dword> files;
  CodePageTable code_page = CodePageTable::SingleByte();
  // The system: its folders, whether the process runs under WOW64 (none
  // makes IsWow64Process2 missing, as before Windows 10 1709), and its
  // version.
  std::string system_folder = "C:\\Windows\\system32";
  std::string windows_folder = "C:\\Windows";
  std::optional<bool> wow64_2 = false;
  bool wow64 = false;
  OsVersionInfo os_version = {10, 0, 19045};
  // Signatures: the running image's certificate table (0: unsigned), and
  // what WinVerifyTrust finds for it and for files by their path (a file
  // not listed carries no signature).
  struct Trust {
    std::int32_t status;
    std::string signer;  // the subject's bytes
  };
  Dword image_certificate_size = 0;
  Trust image_trust = {0, "CN=Oskendal Camera Co"};
  std::map<std::string, Trust> file_trust;

  // ---- Scripted failures ----
  // GetModuleFileNameA returns 0 with this error.
  std::optional<Dword> module_path_error;
  bool fail_get_class_devs = false;
  // Enumeration fails at this member index with this error, instead of
  // reporting the end of the list.
  std::optional<Dword> fail_enum_at_index;
  Dword fail_enum_error = 0;
  // HeapAlloc calls (counted from 1) that return null.
  std::set<int> fail_heap_allocs;
  // HeapFree overwrites the last error, as an unrelated call may.
  std::optional<Dword> heap_free_sets_last_error;
  bool fail_create_process = false;
  Dword create_process_error = 2;
  bool fail_close_process = false;
  bool fail_close_thread = false;
  Dword close_error = 6;
  Dword wait_result = 0;  // WAIT_OBJECT_0
  // The started installer's exit code; none makes GetExitCodeProcess fail.
  std::optional<Dword> installer_exit_code = Dword{0};
  // Who can see a box: the window station's flags and the session; none
  // makes the query fail.
  std::optional<Dword> window_station_flags = kWsfVisible;
  std::optional<Dword> session_id = Dword{1};
  // MessageBoxA shows nothing and returns 0, as when USER32 cannot be loaded.
  bool fail_message_box = false;
  bool fail_register_event_source = false;
  bool fail_report_event = false;
  // Fault injection: the call of this number (counted from 1 over every
  // call that can fail) fails with a plausible error of its own. Each such
  // call is counted whether or not it fails, so a clean run tells how many
  // faults a sweep can inject.
  std::optional<int> fail_call;

  // ---- Observations ----
  bool log_calls = true;  // off for benchmarks
  std::vector<std::string> calls;
  std::vector<std::string> messages;  // message texts, in order
  struct Event {
    std::uint16_t type;
    Dword id;
    std::vector<std::string> strings;
    bool operator==(const Event& o) const {
      return type == o.type && id == o.id && strings == o.strings;
    }
  };
  std::vector<Event> events;  // event-log records written
  int open_event_sources() const { return open_event_sources_; }
  int live_heap_blocks() const { return static_cast<int>(heap_.size()); }
  int max_live_heap_blocks() const { return max_live_heap_blocks_; }
  int open_device_sets() const { return open_device_sets_; }
  int open_kernel_handles() const { return static_cast<int>(kernel_handles_.size()); }
  int failable_calls() const { return failable_calls_; }
  // The call that `fail_call` made fail, as "Name(error)"; empty when none.
  const std::string& injected_fault() const { return injected_fault_; }

  // Convenience: a file with normal attributes, a folder.
  void AddFile(const std::string& path) { files[path] = 0x80; }
  void AddFolder(const std::string& path) { files[path] = kFileAttributeDirectory; }

  // Convenience: sets a profile value of `file`.
  void SetProfile(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

  // ---- Platform ----
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
  bool IsWow64Process(Handle process, bool* wow64_process) override;
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
  struct HeapEntry {
    int number;
    std::size_t size;
  };
  std::string BlockName(const void* block) const;
  Dword CopyFolder(const char* name, const std::string& folder, char* buffer, Dword size);
  // Builds the line only when calls are logged.
  template <typename MakeLine>
  void Log(MakeLine make_line) {
    if (log_calls) calls.push_back(make_line());
  }

  // Counts a call that can fail; true when it is the one to fail, with
  // `error` as its last error.
  bool Injected(const char* name, Dword error);

  Dword last_error_ = 0;
  int failable_calls_ = 0;
  std::string injected_fault_;
  std::map<const void*, HeapEntry> heap_;
  int heap_allocs_ = 0;
  int max_live_heap_blocks_ = 0;
  int open_device_sets_ = 0;
  int device_set_tag_ = 0;  // its address is the fake set handle
  std::set<Handle> kernel_handles_;
  int process_tag_ = 0;
  int thread_tag_ = 0;
  int file_tag_ = 0;
  std::string open_file_;  // the file open at &file_tag_
  int station_tag_ = 0;
  int event_source_tag_ = 0;
  int open_event_sources_ = 0;
};

// Text of a call argument: the string, or "null".
std::string FakeText(const char* text);

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_FAKE_PLATFORM_H_
