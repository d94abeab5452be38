#include "platform/fake_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace camsetup {
namespace {

std::string Hex(Dword value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string Bool(bool value) { return value ? "TRUE" : "FALSE"; }

std::string GuidText(const Guid* guid) {
  if (guid == nullptr) return "null";
  char text[48];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid->data1), guid->data2, guid->data3, guid->data4[0],
                guid->data4[1], guid->data4[2], guid->data4[3], guid->data4[4], guid->data4[5],
                guid->data4[6], guid->data4[7]);
  return text;
}

bool AllZero(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

}  // namespace

std::string FakeText(const char* text) { return text == nullptr ? "null" : text; }

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform() {
  for (auto& [block, entry] : heap_) std::free(const_cast<void*>(block));
}

void FakePlatform::SetProfile(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& value) {
  profiles[file][section][key] = value;
}

std::string FakePlatform::BlockName(const void* block) const {
  if (block == nullptr) return "null";
  auto it = heap_.find(block);
  if (it == heap_.end()) return "foreign-block";
  return "block" + std::to_string(it->second.number);
}

bool FakePlatform::Injected(const char* name, Dword error) {
  if (++failable_calls_ != fail_call) return false;
  injected_fault_ = std::string(name) + "(" + std::to_string(error) + ")";
  last_error_ = error;
  return true;
}

const char* FakePlatform::GetCommandLineA() {
  Log([&] { return std::string("GetCommandLineA"); });
  return command_line ? command_line->c_str() : nullptr;
}

Dword FakePlatform::GetModuleFileNameA(char* filename, Dword size) {
  Dword result = 0;
  if (module_path_error) {
    last_error_ = *module_path_error;
  } else if (Injected("GetModuleFileNameA", 8)) {  // ERROR_NOT_ENOUGH_MEMORY
  } else {
    result = CopyModulePath(module_path, filename, size);
    if (size > 0 && result == size) last_error_ = kErrorInsufficientBuffer;
  }
  Log([&] {
    return std::string("GetModuleFileNameA(" + std::to_string(size) + ") -> " +
                       std::to_string(result));
  });
  return result;
}

Dword FakePlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                             const char* default_value, char* returned, Dword size,
                                             const char* file_name) {
  Log([&] {
    return std::string("GetPrivateProfileStringA(" + FakeText(section) + ", " + FakeText(key) +
                       ", " + FakeText(default_value) + ", " + std::to_string(size) + ", " +
                       FakeText(file_name) + ")");
  });
  std::string value = default_value;
  // A file that cannot be read gives the default, as a missing one does.
  auto file = Injected("GetPrivateProfileStringA", 32)  // ERROR_SHARING_VIOLATION
                  ? profiles.end()
                  : profiles.find(file_name);
  if (file != profiles.end()) {
    auto sec = file->second.find(section);
    if (sec != file->second.end()) {
      auto val = sec->second.find(key);
      if (val != sec->second.end()) value = val->second;
    }
  }
  if (size == 0) return 0;
  const std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(returned, value.data(), length);
  returned[length] = '\0';
  return static_cast<Dword>(length);
}

bool FakePlatform::CreateProcessA(const char* application_name, char* command_line_arg,
                                  const void* process_attributes, const void* thread_attributes,
                                  bool inherit_handles, Dword creation_flags,
                                  const void* environment, const char* current_directory,
                                  StartupInfo* startup_info,
                                  ProcessInformation* process_information) {
  std::string si = "null";
  if (startup_info != nullptr) {
    const bool rest_zero = AllZero(reinterpret_cast<const char*>(startup_info) + sizeof(Dword),
                                   sizeof(StartupInfo) - sizeof(Dword));
    si = "si{cb=" + std::to_string(startup_info->cb) + (rest_zero ? "}" : ", fields set}");
  }
  std::string pi = "null";
  if (process_information != nullptr) {
    pi = AllZero(process_information, sizeof(ProcessInformation)) ? "pi{0}" : "pi{set}";
  }
  const bool injected = Injected("CreateProcessA", 5);  // ERROR_ACCESS_DENIED
  const bool ok = !fail_create_process && !injected && command_line_arg != nullptr;
  Log([&] {
    return std::string("CreateProcessA(" + FakeText(application_name) + ", " +
                       FakeText(command_line_arg) + ", " + (process_attributes ? "attrs" : "null") +
                       ", " + (thread_attributes ? "attrs" : "null") + ", " +
                       Bool(inherit_handles) + ", " + Hex(creation_flags) + ", " +
                       (environment ? "env" : "null") + ", " + FakeText(current_directory) + ", " +
                       si + ", " + pi + ") -> " + Bool(ok));
  });
  if (!ok) {
    if (!injected) last_error_ = create_process_error;
    return false;
  }
  process_information->hProcess = &process_tag_;
  process_information->hThread = &thread_tag_;
  process_information->dwProcessId = 100;
  process_information->dwThreadId = 101;
  kernel_handles_.insert(&process_tag_);
  kernel_handles_.insert(&thread_tag_);
  return true;
}

Dword FakePlatform::GetFileAttributesA(const char* file_name) {
  const bool injected = Injected("GetFileAttributesA", 5);  // ERROR_ACCESS_DENIED
  const auto it = injected ? files.end() : files.find(FakeText(file_name));
  const Dword attributes = it == files.end() ? kInvalidFileAttributes : it->second;
  if (it == files.end() && !injected) last_error_ = 2;  // ERROR_FILE_NOT_FOUND
  Log([&] {
    return std::string("GetFileAttributesA(" + FakeText(file_name) + ") -> " + Hex(attributes));
  });
  return attributes;
}

static std::string HandleName(const void* handle, const void* process, const void* thread,
                              const void* file = nullptr) {
  if (handle == process) return "process";
  if (handle == thread) return "thread";
  if (handle == file && file != nullptr) return "file";
  return handle == nullptr ? "null" : "unknown";
}

Dword FakePlatform::WaitForSingleObject(Handle handle, Dword milliseconds) {
  // WAIT_FAILED, with ERROR_INVALID_HANDLE.
  const Dword result = Injected("WaitForSingleObject", 6) ? 0xFFFFFFFF : wait_result;
  Log([&] {
    return std::string("WaitForSingleObject(" + HandleName(handle, &process_tag_, &thread_tag_) +
                       ", " + Hex(milliseconds) + ") -> " + Hex(result));
  });
  if (result != 0) last_error_ = 6;  // ERROR_INVALID_HANDLE
  return result;
}

bool FakePlatform::GetExitCodeProcess(Handle process, Dword* exit_code) {
  const bool injected = Injected("GetExitCodeProcess", 5);  // ERROR_ACCESS_DENIED
  const bool ok = !injected && process == &process_tag_ && kernel_handles_.count(process) == 1 &&
                  installer_exit_code.has_value();
  if (ok) {
    *exit_code = *installer_exit_code;
  } else if (!injected) {
    last_error_ = 6;  // ERROR_INVALID_HANDLE
  }
  Log([&] {
    return std::string("GetExitCodeProcess(" + HandleName(process, &process_tag_, &thread_tag_) +
                       ") -> " + (ok ? std::to_string(*exit_code) : std::string("FALSE")));
  });
  return ok;
}

bool FakePlatform::CloseHandle(Handle handle) {
  const std::string name = HandleName(handle, &process_tag_, &thread_tag_, &file_tag_);
  bool ok = kernel_handles_.erase(handle) == 1;
  Dword error = close_error;
  if ((handle == &process_tag_ && fail_close_process) ||
      (handle == &thread_tag_ && fail_close_thread)) {
    ok = false;
  } else if (Injected("CloseHandle", 6)) {  // ERROR_INVALID_HANDLE
    ok = false;
    error = 6;
  }
  if (!ok) last_error_ = error;
  Log([&] { return std::string("CloseHandle(" + name + ") -> " + Bool(ok)); });
  return ok;
}

Dword FakePlatform::GetLastError() {
  Log([&] { return std::string("GetLastError -> " + std::to_string(last_error_)); });
  return last_error_;
}

void FakePlatform::OutputDebugStringA(const char* text) {
  Log([&] { return std::string("OutputDebugStringA(" + FakeText(text) + ")"); });
}

Dword FakePlatform::GetCurrentProcessId() {
  Log([&] { return std::string("GetCurrentProcessId -> 42"); });
  return 42;
}

Dword FakePlatform::CopyFolder(const char* name, const std::string& folder, char* buffer,
                               Dword size) {
  Dword result = 0;
  if (!Injected(name, 8)) {  // ERROR_NOT_ENOUGH_MEMORY
    if (folder.size() < size) {
      std::memcpy(buffer, folder.c_str(), folder.size() + 1);
      result = static_cast<Dword>(folder.size());
    } else {
      result = static_cast<Dword>(folder.size() + 1);
    }
  }
  Log([&] {
    return std::string(name) + "(" + std::to_string(size) + ") -> " + std::to_string(result);
  });
  return result;
}

Dword FakePlatform::GetSystemDirectoryA(char* buffer, Dword size) {
  return CopyFolder("GetSystemDirectoryA", system_folder, buffer, size);
}

Dword FakePlatform::GetSystemWindowsDirectoryA(char* buffer, Dword size) {
  return CopyFolder("GetSystemWindowsDirectoryA", windows_folder, buffer, size);
}

bool FakePlatform::IsWow64Process2(Handle process, std::uint16_t* process_machine,
                                   std::uint16_t* native_machine) {
  const bool injected = Injected("IsWow64Process2", 5);  // ERROR_ACCESS_DENIED
  const bool ok = !injected && process == CurrentProcess() && wow64_2.has_value();
  if (ok) {
    // x86 under WOW64 on x64, or nothing emulated.
    *process_machine = *wow64_2 ? 0x014C : kImageFileMachineUnknown;
    if (native_machine != nullptr) *native_machine = 0x8664;
  } else if (!injected) {
    last_error_ = wow64_2.has_value() ? 6 : kErrorProcNotFound;
  }
  Log([&] {
    return std::string("IsWow64Process2(") + (process == CurrentProcess() ? "self" : "other") +
           ") -> " + (ok ? Hex(*process_machine) : std::string("FALSE"));
  });
  return ok;
}

bool FakePlatform::IsWow64Process(Handle process, bool* wow64_process) {
  const bool ok = !Injected("IsWow64Process", 5) && process == CurrentProcess();
  if (ok) *wow64_process = wow64;
  Log([&] {
    return std::string("IsWow64Process(") + (process == CurrentProcess() ? "self" : "other") +
           ") -> " + (ok ? Bool(wow64) : std::string("FALSE"));
  });
  return ok;
}

std::int32_t FakePlatform::RtlGetVersion(OsVersionInfo* version) {
  // STATUS_UNSUCCESSFUL where it fails: it sets no last error.
  const std::int32_t status = Injected("RtlGetVersion", last_error_)
                                  ? static_cast<std::int32_t>(0xC0000001)
                                  : 0;
  if (status == 0) *version = os_version;
  Log([&] {
    return "RtlGetVersion -> " + (status == 0 ? std::to_string(os_version.dwMajorVersion) + "." +
                                                     std::to_string(os_version.dwMinorVersion) +
                                                     "." +
                                                     std::to_string(os_version.dwBuildNumber)
                                               : Hex(static_cast<Dword>(status)));
  });
  return status;
}

Dword FakePlatform::GetImageCertificateTableSize() {
  Log([&] { return "GetImageCertificateTableSize -> " + std::to_string(image_certificate_size); });
  return image_certificate_size;
}

Handle FakePlatform::CreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                                 Dword creation_disposition) {
  const auto it = files.find(FakeText(file_name));
  const bool injected = Injected("CreateFileA", 32);  // ERROR_SHARING_VIOLATION
  bool ok = false;
  if (injected) {
  } else if (it == files.end()) {
    last_error_ = 2;  // ERROR_FILE_NOT_FOUND
  } else if ((it->second & kFileAttributeDirectory) != 0 ||
             kernel_handles_.count(&file_tag_) != 0) {
    last_error_ = 5;  // ERROR_ACCESS_DENIED
  } else {
    ok = true;
    open_file_ = it->first;
    kernel_handles_.insert(&file_tag_);
  }
  Log([&] {
    return "CreateFileA(" + FakeText(file_name) + ", " + Hex(desired_access) + ", " +
           Hex(share_mode) + ", " + std::to_string(creation_disposition) + ") -> " +
           (ok ? "file" : "INVALID_HANDLE_VALUE");
  });
  return ok ? &file_tag_ : InvalidHandleValue();
}

std::int32_t FakePlatform::WinVerifyTrust(Handle file, const char* file_name, CertName* signer) {
  Trust trust = {kTrustENoSignature, ""};
  std::string what = "self";
  if (file == nullptr) {
    trust = image_trust;
  } else {
    what = HandleName(file, &process_tag_, &thread_tag_, &file_tag_) + ", " + FakeText(file_name);
    const bool open = file == &file_tag_ && kernel_handles_.count(&file_tag_) == 1 &&
                      file_name != nullptr && open_file_ == file_name;
    const auto it = file_trust.find(open_file_);
    if (!open) {
      trust = {static_cast<std::int32_t>(0x80070006), ""};  // HRESULT of ERROR_INVALID_HANDLE
    } else if (it != file_trust.end()) {
      trust = it->second;
    }
  }
  // A check that cannot run: the trust provider fails.
  if (Injected("WinVerifyTrust", 0)) trust = {static_cast<std::int32_t>(0x800B0001), ""};
  if (trust.status == 0) {
    signer->size = static_cast<Dword>(trust.signer.size());
    if (trust.signer.size() <= kCertNameSize) {
      std::memcpy(signer->data, trust.signer.data(), trust.signer.size());
    }
  }
  Log([&] {
    return "WinVerifyTrust(" + what + ") -> " + Hex(static_cast<Dword>(trust.status)) +
           (trust.status == 0 ? " " + trust.signer : std::string());
  });
  return trust.status;
}

bool FakePlatform::CertCompareCertificateName(const CertName& name1, const CertName& name2) {
  const auto text = [](const CertName& name) {
    return std::string(reinterpret_cast<const char*>(name.data),
                       name.size <= kCertNameSize ? name.size : 0);
  };
  const bool same = name1.size <= kCertNameSize && text(name1) == text(name2);
  Log([&] {
    return "CertCompareCertificateName(" + text(name1) + ", " + text(name2) + ") -> " + Bool(same);
  });
  return same;
}

bool FakePlatform::ProcessIdToSessionId(Dword process_id, Dword* session) {
  const bool injected = Injected("ProcessIdToSessionId", 5);  // ERROR_ACCESS_DENIED
  const bool ok = !injected && process_id == 42 && session_id.has_value();
  if (ok) {
    *session = *session_id;
  } else if (!injected) {
    last_error_ = 87;  // ERROR_INVALID_PARAMETER
  }
  Log([&] {
    return std::string("ProcessIdToSessionId(" + std::to_string(process_id) + ") -> " +
                       (ok ? std::to_string(*session) : std::string("FALSE")));
  });
  return ok;
}

void* FakePlatform::HeapAlloc(std::size_t bytes) {
  const int number = ++heap_allocs_;
  void* block = nullptr;
  // A failed HeapAlloc sets no last error.
  const bool injected = Injected("HeapAlloc", last_error_);
  if (fail_heap_allocs.count(number) == 0 && !injected) {
    block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block != nullptr) heap_[block] = {number, bytes};
  }
  if (static_cast<int>(heap_.size()) > max_live_heap_blocks_) {
    max_live_heap_blocks_ = static_cast<int>(heap_.size());
  }
  Log([&] {
    return std::string("HeapAlloc(" + std::to_string(bytes) + ") -> " +
                       (block ? "block" + std::to_string(number) : std::string("null")));
  });
  return block;
}

void FakePlatform::HeapFree(void* block) {
  Log([&] { return std::string("HeapFree(" + BlockName(block) + ")"); });
  if (heap_.erase(block) == 1) std::free(block);
  if (heap_free_sets_last_error) last_error_ = *heap_free_sets_last_error;
}

DevInfoHandle FakePlatform::SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                                 Handle parent, Dword flags) {
  const bool fail = fail_get_class_devs ||
                    Injected("SetupDiGetClassDevsA", 1784);  // ERROR_INVALID_USER_BUFFER
  DevInfoHandle set = fail ? InvalidHandleValue() : &device_set_tag_;
  Log([&] {
    return std::string("SetupDiGetClassDevsA(" + GuidText(class_guid) + ", " +
                       FakeText(enumerator) + ", " + (parent ? "window" : "null") + ", " +
                       Hex(flags) + ") -> " + (fail ? "INVALID_HANDLE_VALUE" : "set"));
  });
  if (fail_get_class_devs) {
    last_error_ = 5;
  } else if (fail) {
  } else {
    ++open_device_sets_;
  }
  return set;
}

bool FakePlatform::SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index, DevInfoData* data) {
  bool ok = false;
  if (set != &device_set_tag_ || data == nullptr || data->cbSize != sizeof(DevInfoData)) {
    last_error_ = 87;  // ERROR_INVALID_PARAMETER
  } else if (Injected("SetupDiEnumDeviceInfo", 8)) {  // ERROR_NOT_ENOUGH_MEMORY
  } else if (fail_enum_at_index && member_index == *fail_enum_at_index) {
    last_error_ = fail_enum_error;
  } else if (member_index >= devices.size()) {
    last_error_ = kErrorNoMoreItems;
  } else {
    data->ClassGuid = kUsbDeviceInterfaceClass;
    data->DevInst = member_index + 1;
    ok = true;
  }
  Log([&] {
    return std::string("SetupDiEnumDeviceInfo(" +
                       std::string(set == &device_set_tag_ ? "set" : "unknown") + ", " +
                       std::to_string(member_index) +
                       ", cbSize=" + std::to_string(data ? data->cbSize : 0) + ") -> " + Bool(ok));
  });
  return ok;
}

bool FakePlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data,
                                                     Dword property, Dword* registry_type,
                                                     std::uint8_t* buffer, Dword buffer_size,
                                                     Dword* required_size) {
  const std::string block_name = log_calls ? BlockName(buffer) : std::string();
  bool overrun = false;
  bool ok = false;
  const std::size_t index = data ? data->DevInst - 1 : devices.size();
  if (set != &device_set_tag_ || index >= devices.size() || property != kSpdrpHardwareId) {
    last_error_ = 13;  // ERROR_INVALID_DATA
  } else if (Injected("SetupDiGetDeviceRegistryPropertyA", 13)) {  // ERROR_INVALID_DATA
  } else if (devices[index].property_error != 0) {
    last_error_ = devices[index].property_error;
  } else if (devices[index].stuck_required_size) {
    if (required_size != nullptr) *required_size = *devices[index].stuck_required_size;
    last_error_ = kErrorInsufficientBuffer;
  } else {
    const std::string& value = devices[index].hardware_ids;
    if (required_size != nullptr) *required_size = static_cast<Dword>(value.size());
    if (registry_type != nullptr) *registry_type = 7;  // REG_MULTI_SZ
    if (buffer_size < value.size() || (buffer == nullptr && !value.empty())) {
      last_error_ = kErrorInsufficientBuffer;
    } else {
      // The caller's size must be true: a write of that many bytes has to fit.
      auto block = heap_.find(buffer);
      if (buffer != nullptr && (block == heap_.end() || block->second.size < buffer_size)) {
        overrun = true;
      } else {
        if (!value.empty()) std::memcpy(buffer, value.data(), value.size());
        ok = true;
      }
    }
  }
  Log([&] {
    return "SetupDiGetDeviceRegistryPropertyA(" +
           std::string(set == &device_set_tag_ ? "set" : "unknown") + ", dev" +
           std::to_string(data ? static_cast<int>(data->DevInst) - 1 : -1) + ", " +
           std::to_string(property) + ", " + block_name + ", " + std::to_string(buffer_size) + ")" +
           (overrun ? " overrun!" : "") + " -> " + Bool(ok);
  });
  return ok;
}

bool FakePlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle set) {
  // A failed release still frees the set, as far as the caller can tell.
  const bool ok = set == &device_set_tag_ && open_device_sets_ > 0 &&
                  !Injected("SetupDiDestroyDeviceInfoList", 6);  // ERROR_INVALID_HANDLE
  if (set == &device_set_tag_ && open_device_sets_ > 0) --open_device_sets_;
  Log([&] {
    return std::string("SetupDiDestroyDeviceInfoList(" + std::string(ok ? "set" : "unknown") + ")");
  });
  return ok;
}

int FakePlatform::MessageBoxA(Handle owner, const char* text, const char* caption, Dword type) {
  Log([&] {
    return std::string("MessageBoxA(" + std::string(owner ? "window" : "null") + ", " +
                       FakeText(text) + ", " + FakeText(caption) + ", " + Hex(type) + ")");
  });
  if (fail_message_box || Injected("MessageBoxA", 1400)) {
    last_error_ = 1400;  // ERROR_INVALID_WINDOW_HANDLE
    return 0;
  }
  messages.push_back(FakeText(text));
  return 1;  // IDOK
}

Handle FakePlatform::GetProcessWindowStation() {
  const bool ok = !Injected("GetProcessWindowStation", 5) && window_station_flags.has_value();
  Log([&] { return std::string("GetProcessWindowStation -> ") + (ok ? "station" : "null"); });
  return ok ? &station_tag_ : nullptr;
}

bool FakePlatform::GetUserObjectInformationA(Handle object, int index, void* info, Dword length,
                                             Dword* length_needed) {
  const bool ok = !Injected("GetUserObjectInformationA", 5) && object == &station_tag_ &&
                  index == kUoiFlags && info != nullptr && length >= sizeof(UserObjectFlags) &&
                  window_station_flags.has_value();
  if (ok) {
    UserObjectFlags flags = {};
    flags.dwFlags = *window_station_flags;
    std::memcpy(info, &flags, sizeof(flags));
  }
  if (length_needed != nullptr) *length_needed = sizeof(UserObjectFlags);
  Log([&] {
    return std::string("GetUserObjectInformationA(") +
           (object == &station_tag_ ? "station" : "unknown") + ", " + std::to_string(index) +
           ", " + std::to_string(length) + ") -> " +
           (ok ? "flags " + Hex(*window_station_flags) : std::string("FALSE"));
  });
  return ok;
}

Handle FakePlatform::RegisterEventSourceA(const char* server_name, const char* source_name) {
  const bool ok = !fail_register_event_source &&
                  !Injected("RegisterEventSourceA", 1722);  // RPC_S_SERVER_UNAVAILABLE
  if (ok) {
    ++open_event_sources_;
  } else if (fail_register_event_source) {
    last_error_ = 5;  // ERROR_ACCESS_DENIED
  }
  Log([&] {
    return std::string("RegisterEventSourceA(" + FakeText(server_name) + ", " +
                       FakeText(source_name) + ") -> " + (ok ? "source" : "null"));
  });
  return ok ? &event_source_tag_ : nullptr;
}

bool FakePlatform::ReportEventA(Handle event_log, std::uint16_t type, std::uint16_t category,
                                Dword event_id, const void* user_sid, std::uint16_t num_strings,
                                Dword data_size, const char** strings, const void* raw_data) {
  const bool ok = !fail_report_event && !Injected("ReportEventA", 1502) &&
                  event_log == &event_source_tag_ && open_event_sources_ > 0;
  std::vector<std::string> texts;
  for (std::uint16_t i = 0; i < num_strings; ++i) texts.push_back(FakeText(strings[i]));
  if (ok) {
    events.push_back({type, event_id, texts});
  } else {
    last_error_ = 1502;  // ERROR_LOG_FILE_FULL
  }
  Log([&] {
    std::string line = "ReportEventA(" +
                       std::string(event_log == &event_source_tag_ ? "source" : "unknown") +
                       ", " + Hex(type) + ", " + std::to_string(category) + ", " +
                       std::to_string(event_id) + ", " + (user_sid ? "sid" : "null") + ", " +
                       std::to_string(num_strings) + ", " + std::to_string(data_size) + ", [";
    for (std::size_t i = 0; i < texts.size(); ++i) line += (i ? ", " : "") + texts[i];
    return line + "], " + (raw_data ? "data" : "null") + ") -> " + Bool(ok);
  });
  return ok;
}

bool FakePlatform::DeregisterEventSource(Handle event_log) {
  const bool known = event_log == &event_source_tag_ && open_event_sources_ > 0;
  const bool ok = known && !Injected("DeregisterEventSource", 6);  // ERROR_INVALID_HANDLE
  if (known) --open_event_sources_;
  Log([&] {
    return std::string("DeregisterEventSource(") + (ok ? "source" : "unknown") + ") -> " +
           Bool(ok);
  });
  return ok;
}

bool FakePlatform::IsDBCSLeadByte(std::uint8_t byte) { return code_page.IsLeadByte(byte); }

void FakePlatform::CharUpperChar(char* ch, std::size_t length) { code_page.UpperCase(ch, length); }

}  // namespace camsetup
