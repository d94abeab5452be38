// The platform operations, forwarded to Windows.
#include "platform/win32_platform.h"

#include <windows.h>
#include <setupapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/module_path.h"

namespace camsetup {
namespace {

// The interface's records are the Windows records, field for field.
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(sizeof(DevInfoData) == sizeof(SP_DEVINFO_DATA));
static_assert(offsetof(DevInfoData, DevInst) == offsetof(SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(DevInfoData, Reserved) == offsetof(SP_DEVINFO_DATA, Reserved));
static_assert(sizeof(StartupInfo) == sizeof(STARTUPINFOA));
static_assert(offsetof(StartupInfo, wShowWindow) == offsetof(STARTUPINFOA, wShowWindow));
static_assert(offsetof(StartupInfo, hStdError) == offsetof(STARTUPINFOA, hStdError));
static_assert(sizeof(ProcessInformation) == sizeof(PROCESS_INFORMATION));
static_assert(offsetof(ProcessInformation, dwThreadId) ==
              offsetof(PROCESS_INFORMATION, dwThreadId));
static_assert(sizeof(UserObjectFlags) == sizeof(USEROBJECTFLAGS));
static_assert(offsetof(UserObjectFlags, dwFlags) == offsetof(USEROBJECTFLAGS, dwFlags));
static_assert(kUoiFlags == UOI_FLAGS && kWsfVisible == WSF_VISIBLE);
static_assert(kEventlogErrorType == EVENTLOG_ERROR_TYPE &&
              kEventlogWarningType == EVENTLOG_WARNING_TYPE);

template <typename To, typename From>
To Copy(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof(To));
  return to;
}

// Owns a loaded library.
class ScopedLibrary {
 public:
  ScopedLibrary() = default;
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ~ScopedLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  ScopedLibrary(ScopedLibrary&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  ScopedLibrary& operator=(ScopedLibrary&& other) noexcept {
    std::swap(module_, other.module_);
    return *this;
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  bool IsLoaded() const { return module_ != nullptr; }

  // The named function of the library, or null.
  template <typename Function>
  Function Get(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// Loads `name` from the system folder only. Where the loader does not know
// LOAD_LIBRARY_SEARCH_SYSTEM32 (Windows 7 without KB2533623), the full path
// in the system folder is given instead.
ScopedLibrary LoadSystemLibrary(const char* name) {
  HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    char path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t name_length = std::strlen(name);
    if (length > 0 && length + 1 + name_length < MAX_PATH) {
      path[length] = '\\';
      std::memcpy(path + length + 1, name, name_length + 1);
      module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  return ScopedLibrary(module);
}

// Longest path the wide module and path calls can give, with its NUL.
constexpr DWORD kWidePathSize = 32768;
// What the module path is first read into.
constexpr DWORD kSmallWidePathSize = 520;

// `wide` in the code page `code_page` with the given conversion settings;
// null when the conversion fails or, where `used_default` is given, uses the
// default character.
AnsiChars ConvertToAnsi(unsigned code_page, std::wstring_view wide, DWORD flags,
                        const char* default_char, BOOL* used_default) {
  AnsiChars out;
  if (wide.empty()) {
    out.data = std::make_unique<char[]>(1);
    return out;
  }
  if (wide.size() > static_cast<std::size_t>(kWidePathSize)) return out;
  const int wide_length = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(code_page, flags, wide.data(), wide_length, nullptr, 0,
                                           default_char, used_default);
  if (needed <= 0 || (used_default != nullptr && *used_default)) return out;
  auto bytes = std::make_unique<char[]>(static_cast<std::size_t>(needed) + 1);
  const int written = ::WideCharToMultiByte(code_page, flags, wide.data(), wide_length,
                                            bytes.get(), needed, default_char, used_default);
  if (written != needed || (used_default != nullptr && *used_default)) return out;
  out.data = std::move(bytes);
  out.length = static_cast<std::size_t>(written);
  return out;
}

// The conversions that AnsiModulePath decides between, in the ANSI code page.
class ModulePathOps {
 public:
  explicit ModulePathOps(unsigned code_page) : code_page_(code_page) {}

  // Best-fit mapping off and the used-default flag checked; UTF-8, which
  // names every character, rejects invalid UTF-16 instead.
  AnsiChars Lossless(std::wstring_view wide) const {
    if (code_page_ == CP_UTF8) {
      return ConvertToAnsi(code_page_, wide, WC_ERR_INVALID_CHARS, nullptr, nullptr);
    }
    BOOL used_default = FALSE;
    return ConvertToAnsi(code_page_, wide, WC_NO_BEST_FIT_CHARS, "?", &used_default);
  }

  // '?' for what the code page cannot name (U+FFFD in UTF-8), never a
  // best-fit character.
  AnsiChars Lossy(std::wstring_view wide) const {
    if (code_page_ == CP_UTF8) return ConvertToAnsi(code_page_, wide, 0, nullptr, nullptr);
    return ConvertToAnsi(code_page_, wide, WC_NO_BEST_FIT_CHARS, "?", nullptr);
  }

  WideChars<wchar_t> ShortPath(std::wstring_view folder) const {
    WideChars<wchar_t> out;
    if (folder.size() >= kWidePathSize) return out;
    auto path = std::make_unique<wchar_t[]>(folder.size() + 1);
    std::memcpy(path.get(), folder.data(), folder.size() * sizeof(wchar_t));
    const DWORD needed = ::GetShortPathNameW(path.get(), nullptr, 0);
    if (needed == 0 || needed > kWidePathSize) return out;
    auto short_path = std::make_unique<wchar_t[]>(needed);
    const DWORD length = ::GetShortPathNameW(path.get(), short_path.get(), needed);
    if (length == 0 || length >= needed) return out;
    out.data = std::move(short_path);
    out.length = length;
    return out;
  }

 private:
  unsigned code_page_;
};

}  // namespace

void EndProcessAfterFatalError() { ::ExitProcess(ERROR_NOT_ENOUGH_MEMORY); }

void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_default != nullptr) {
    set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return;
  }
  // Where that is missing, at least take the current directory out. Not
  // otherwise: the setting is handed on to the installer's process too.
  ::SetDllDirectoryA("");
}

// SETUPAPI, and for a message box USER32, loaded at run time so that
// neither is resolved by the loader's search before the program runs.
struct Win32Platform::Libraries {
  ScopedLibrary setupapi = LoadSystemLibrary("setupapi.dll");
  decltype(&::SetupDiGetClassDevsA) get_class_devs =
      setupapi.Get<decltype(&::SetupDiGetClassDevsA)>("SetupDiGetClassDevsA");
  decltype(&::SetupDiEnumDeviceInfo) enum_device_info =
      setupapi.Get<decltype(&::SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo");
  decltype(&::SetupDiGetDeviceRegistryPropertyA) get_registry_property =
      setupapi.Get<decltype(&::SetupDiGetDeviceRegistryPropertyA)>("SetupDiGetDeviceRegistryPropertyA");
  decltype(&::SetupDiDestroyDeviceInfoList) destroy_list =
      setupapi.Get<decltype(&::SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList");

  bool HasSetupApi() const {
    return get_class_devs && enum_device_info && get_registry_property && destroy_list;
  }

  // ADVAPI32, for the event log, only when a record is written.
  ScopedLibrary advapi32;
  decltype(&::RegisterEventSourceA) register_event_source = nullptr;
  decltype(&::ReportEventA) report_event = nullptr;
  decltype(&::DeregisterEventSource) deregister_event_source = nullptr;
  bool event_log_loaded = false;
  bool LoadEventLog() {
    if (!event_log_loaded) {
      event_log_loaded = true;
      advapi32 = LoadSystemLibrary("advapi32.dll");
      register_event_source =
          advapi32.Get<decltype(&::RegisterEventSourceA)>("RegisterEventSourceA");
      report_event = advapi32.Get<decltype(&::ReportEventA)>("ReportEventA");
      deregister_event_source =
          advapi32.Get<decltype(&::DeregisterEventSource)>("DeregisterEventSource");
    }
    return register_event_source && report_event && deregister_event_source;
  }

  // WINTRUST and CRYPT32, for Authenticode, only in a signed launcher.
  ScopedLibrary wintrust;
  ScopedLibrary crypt32;
  decltype(&::WinVerifyTrust) win_verify_trust = nullptr;
  decltype(&::WTHelperProvDataFromStateData) prov_data_from_state = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) prov_signer_from_chain = nullptr;
  decltype(&::CertCompareCertificateName) compare_certificate_name = nullptr;
  bool trust_loaded = false;
  bool LoadTrust() {
    if (!trust_loaded) {
      trust_loaded = true;
      wintrust = LoadSystemLibrary("wintrust.dll");
      crypt32 = LoadSystemLibrary("crypt32.dll");
      win_verify_trust = wintrust.Get<decltype(&::WinVerifyTrust)>("WinVerifyTrust");
      prov_data_from_state = wintrust.Get<decltype(&::WTHelperProvDataFromStateData)>(
          "WTHelperProvDataFromStateData");
      prov_signer_from_chain = wintrust.Get<decltype(&::WTHelperGetProvSignerFromChain)>(
          "WTHelperGetProvSignerFromChain");
      compare_certificate_name =
          crypt32.Get<decltype(&::CertCompareCertificateName)>("CertCompareCertificateName");
    }
    return win_verify_trust && prov_data_from_state && prov_signer_from_chain &&
           compare_certificate_name;
  }

  // USER32 and the libraries that a message box loads on demand (themes,
  // input, and the delay-loaded imports of Common Controls 6), loaded from
  // the system folder before the first box, so that the box's own loads by
  // name find them already in the process: some loaders (Wine's) resolve
  // delay-loaded imports without regard to the restricted search. A run
  // that shows no box loads none of them.
  ScopedLibrary user32;
  ScopedLibrary on_demand[4];
  decltype(&::MessageBoxA) message_box = nullptr;
  decltype(&::GetProcessWindowStation) get_window_station = nullptr;
  decltype(&::GetUserObjectInformationA) get_object_information = nullptr;
  bool message_box_libraries_loaded = false;
  // False when USER32 could not be loaded (no desktop heap left, say).
  bool LoadMessageBoxLibraries() {
    if (message_box_libraries_loaded) return user32.IsLoaded();
    message_box_libraries_loaded = true;
    user32 = LoadSystemLibrary("user32.dll");
    message_box = user32.Get<decltype(&::MessageBoxA)>("MessageBoxA");
    get_window_station =
        user32.Get<decltype(&::GetProcessWindowStation)>("GetProcessWindowStation");
    get_object_information =
        user32.Get<decltype(&::GetUserObjectInformationA)>("GetUserObjectInformationA");
    const char* const names[] = {"uxtheme.dll", "imm32.dll", "msimg32.dll", "winmm.dll"};
    static_assert(sizeof(names) / sizeof(names[0]) == sizeof(on_demand) / sizeof(on_demand[0]));
    for (std::size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
      on_demand[i] = LoadSystemLibrary(names[i]);
    }
    return user32.IsLoaded();
  }
};

Win32Platform::Win32Platform()
    : code_page_(::GetACP()), libraries_(std::make_unique<Libraries>()) {}

Win32Platform::~Win32Platform() = default;

const char* Win32Platform::GetCommandLineA() { return ::GetCommandLineA(); }

Dword Win32Platform::GetModuleFileNameA(char* filename, Dword size) {
  // The wide path, whose folder AnsiModulePath names without loss or by its
  // short form, never by a best-fit form, which could name another folder.
  // Most paths fit the buffer on the stack; a longer one is read again into
  // one of the longest size, so that a usual run touches no 64 KB block.
  wchar_t small[kSmallWidePathSize];
  std::unique_ptr<wchar_t[]> large;
  const wchar_t* wide = small;
  DWORD wide_length = ::GetModuleFileNameW(nullptr, small, kSmallWidePathSize);
  if (wide_length >= kSmallWidePathSize) {
    large = std::make_unique<wchar_t[]>(kWidePathSize);
    wide = large.get();
    wide_length = ::GetModuleFileNameW(nullptr, large.get(), kWidePathSize);
  }
  if (wide_length == 0) return 0;
  const bool cut = wide_length >= kWidePathSize;
  ModulePathOps ops(code_page_);
  const ModulePathResult path =
      AnsiModulePath(std::wstring_view(wide, cut ? 0 : wide_length), cut, filename, size, ops);
  if (path.error != 0) ::SetLastError(path.error);
  return path.result;
}

Dword Win32Platform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* default_value, char* returned,
                                              Dword size, const char* file_name) {
  return ::GetPrivateProfileStringA(section, key, default_value, returned, size, file_name);
}

bool Win32Platform::CreateProcessA(const char* application_name, char* command_line,
                                   const void* process_attributes, const void* thread_attributes,
                                   bool inherit_handles, Dword creation_flags,
                                   const void* environment, const char* current_directory,
                                   StartupInfo* startup_info,
                                   ProcessInformation* process_information) {
  STARTUPINFOA si = Copy<STARTUPINFOA>(*startup_info);
  PROCESS_INFORMATION pi = Copy<PROCESS_INFORMATION>(*process_information);
  const BOOL ok = ::CreateProcessA(
      application_name, command_line,
      static_cast<SECURITY_ATTRIBUTES*>(const_cast<void*>(process_attributes)),
      static_cast<SECURITY_ATTRIBUTES*>(const_cast<void*>(thread_attributes)),
      inherit_handles ? TRUE : FALSE, creation_flags, const_cast<void*>(environment),
      current_directory, &si, &pi);
  *process_information = Copy<ProcessInformation>(pi);
  return ok != FALSE;
}

Dword Win32Platform::GetFileAttributesA(const char* file_name) {
  return ::GetFileAttributesA(file_name);
}

Dword Win32Platform::WaitForSingleObject(Handle handle, Dword milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

bool Win32Platform::GetExitCodeProcess(Handle process, Dword* exit_code) {
  DWORD code = 0;
  const BOOL ok = ::GetExitCodeProcess(process, &code);
  if (ok) *exit_code = code;
  return ok != FALSE;
}

bool Win32Platform::CloseHandle(Handle handle) { return ::CloseHandle(handle) != FALSE; }

Dword Win32Platform::GetLastError() { return ::GetLastError(); }

void Win32Platform::OutputDebugStringA(const char* text) { ::OutputDebugStringA(text); }

Dword Win32Platform::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

Dword Win32Platform::GetSystemDirectoryA(char* buffer, Dword size) {
  return ::GetSystemDirectoryA(buffer, size);
}

Dword Win32Platform::GetSystemWindowsDirectoryA(char* buffer, Dword size) {
  return ::GetSystemWindowsDirectoryA(buffer, size);
}

bool Win32Platform::IsWow64Process2(Handle process, std::uint16_t* process_machine,
                                    std::uint16_t* native_machine) {
  // Windows 10 1709 and later.
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto is_wow64_process2 = reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process2")));
  if (is_wow64_process2 == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  USHORT process_value = 0;
  USHORT native_value = 0;
  const BOOL ok = is_wow64_process2(process, &process_value, &native_value);
  *process_machine = process_value;
  if (native_machine != nullptr) *native_machine = native_value;
  return ok != FALSE;
}

Dword Win32Platform::GetImageCertificateTableSize() {
  // The headers of the running image, as mapped: its certificate table is
  // not, but the directory entry that names it is.
  const auto* base = reinterpret_cast<const unsigned char*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_SECURITY) {
    return 0;
  }
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size;
}

Handle Win32Platform::CreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                                  Dword creation_disposition) {
  return ::CreateFileA(file_name, desired_access, share_mode, nullptr, creation_disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::int32_t Win32Platform::WinVerifyTrust(Handle file, const char* file_name, CertName* signer) {
  if (!libraries_->LoadTrust()) return static_cast<std::int32_t>(TRUST_E_PROVIDER_UNKNOWN);
  // The file's wide name: the running image's own, or the ANSI name given.
  std::unique_ptr<wchar_t[]> path = std::make_unique<wchar_t[]>(kWidePathSize);
  DWORD length = 0;
  if (file == nullptr) {
    length = ::GetModuleFileNameW(nullptr, path.get(), kWidePathSize);
    if (length >= kWidePathSize) length = 0;
  } else if (file_name != nullptr) {
    length = static_cast<DWORD>(
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, file_name, -1, path.get(),
                              static_cast<int>(kWidePathSize)));
  }
  if (length == 0) return static_cast<std::int32_t>(HRESULT_FROM_WIN32(::GetLastError()));

  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.get();
  file_info.hFile = file;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  // No revocation check, and nothing fetched from the network: an offline
  // machine is neither kept waiting nor refused.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  const LONG status = libraries_->win_verify_trust(
      static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (status == 0) {
    signer->size = 0;
    CRYPT_PROVIDER_DATA* provider = libraries_->prov_data_from_state(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer_data =
        provider ? libraries_->prov_signer_from_chain(provider, 0, FALSE, 0) : nullptr;
    if (signer_data != nullptr && signer_data->csCertChain > 0 &&
        signer_data->pasCertChain[0].pCert != nullptr) {
      const CERT_NAME_BLOB& subject = signer_data->pasCertChain[0].pCert->pCertInfo->Subject;
      signer->size = subject.cbData;
      if (subject.cbData <= kCertNameSize) {
        std::memcpy(signer->data, subject.pbData, subject.cbData);
      }
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  libraries_->win_verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return status;
}

bool Win32Platform::CertCompareCertificateName(const CertName& name1, const CertName& name2) {
  if (!libraries_->LoadTrust() || name1.size > kCertNameSize || name2.size > kCertNameSize) {
    return false;
  }
  CERT_NAME_BLOB blob1 = {name1.size, const_cast<BYTE*>(name1.data)};
  CERT_NAME_BLOB blob2 = {name2.size, const_cast<BYTE*>(name2.data)};
  return libraries_->compare_certificate_name(X509_ASN_ENCODING, &blob1, &blob2) != FALSE;
}

bool Win32Platform::IsWow64Process(Handle process, bool* wow64) {
  BOOL value = FALSE;
  const BOOL ok = ::IsWow64Process(process, &value);
  *wow64 = value != FALSE;
  return ok != FALSE;
}

std::int32_t Win32Platform::RtlGetVersion(OsVersionInfo* version) {
  // NTDLL is in every process; its RtlGetVersion is not subject to the
  // version lie of GetVersionEx.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  if (rtl_get_version == nullptr) return static_cast<std::int32_t>(0xC0000001);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  const LONG status = rtl_get_version(&info);
  if (status == 0) *version = {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
  return status;
}

bool Win32Platform::ProcessIdToSessionId(Dword process_id, Dword* session_id) {
  DWORD session = 0;
  const BOOL ok = ::ProcessIdToSessionId(process_id, &session);
  if (ok) *session_id = session;
  return ok != FALSE;
}

void* Win32Platform::HeapAlloc(std::size_t bytes) {
  return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Win32Platform::HeapFree(void* block) { ::HeapFree(::GetProcessHeap(), 0, block); }

DevInfoHandle Win32Platform::SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                                  Handle parent, Dword flags) {
  if (!libraries_->HasSetupApi()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const GUID guid = Copy<GUID>(*class_guid);
  return libraries_->get_class_devs(&guid, enumerator, static_cast<HWND>(parent), flags);
}

bool Win32Platform::SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index,
                                          DevInfoData* data) {
  SP_DEVINFO_DATA record = Copy<SP_DEVINFO_DATA>(*data);
  const BOOL ok = libraries_->enum_device_info(set, member_index, &record);
  *data = Copy<DevInfoData>(record);
  return ok != FALSE;
}

bool Win32Platform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data,
                                                      Dword property, Dword* registry_type,
                                                      std::uint8_t* buffer, Dword buffer_size,
                                                      Dword* required_size) {
  SP_DEVINFO_DATA record = Copy<SP_DEVINFO_DATA>(*data);
  DWORD type = 0;
  DWORD required = 0;
  const BOOL ok = libraries_->get_registry_property(set, &record, property, &type, buffer,
                                                    buffer_size, &required);
  // Keep the last error of the call itself for the caller.
  const DWORD error = ::GetLastError();
  if (registry_type != nullptr) *registry_type = type;
  if (required_size != nullptr) *required_size = required;
  ::SetLastError(error);
  return ok != FALSE;
}

bool Win32Platform::SetupDiDestroyDeviceInfoList(DevInfoHandle set) {
  return libraries_->destroy_list(set) != FALSE;
}

int Win32Platform::MessageBoxA(Handle owner, const char* text, const char* caption, Dword type) {
  if (!libraries_->LoadMessageBoxLibraries() || libraries_->message_box == nullptr) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return libraries_->message_box(static_cast<HWND>(owner), text, caption, type);
}

Handle Win32Platform::GetProcessWindowStation() {
  if (!libraries_->LoadMessageBoxLibraries() || libraries_->get_window_station == nullptr) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return libraries_->get_window_station();
}

bool Win32Platform::GetUserObjectInformationA(Handle object, int index, void* info, Dword length,
                                              Dword* length_needed) {
  if (!libraries_->LoadMessageBoxLibraries() || libraries_->get_object_information == nullptr) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  DWORD needed = 0;
  const BOOL ok = libraries_->get_object_information(object, index, info, length, &needed);
  if (length_needed != nullptr) *length_needed = needed;
  return ok != FALSE;
}

Handle Win32Platform::RegisterEventSourceA(const char* server_name, const char* source_name) {
  if (!libraries_->LoadEventLog()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return libraries_->register_event_source(server_name, source_name);
}

bool Win32Platform::ReportEventA(Handle event_log, std::uint16_t type, std::uint16_t category,
                                 Dword event_id, const void* user_sid, std::uint16_t num_strings,
                                 Dword data_size, const char** strings, const void* raw_data) {
  if (!libraries_->LoadEventLog()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  return libraries_->report_event(event_log, type, category, event_id,
                                  static_cast<PSID>(const_cast<void*>(user_sid)), num_strings,
                                  data_size, strings, const_cast<void*>(raw_data)) != FALSE;
}

bool Win32Platform::DeregisterEventSource(Handle event_log) {
  if (!libraries_->LoadEventLog()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  return libraries_->deregister_event_source(event_log) != FALSE;
}

bool Win32Platform::IsDBCSLeadByte(std::uint8_t byte) {
  return ::IsDBCSLeadByteEx(code_page_, byte) != FALSE;
}

void Win32Platform::CharUpperChar(char* ch, std::size_t length) {
  if (length == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
    if (ch[0] >= 'a' && ch[0] <= 'z') ch[0] = static_cast<char>(ch[0] - 'a' + 'A');
    return;
  }
  // Other characters go through UTF-16 and back; a form that does not
  // round-trip to the same length leaves the character as it was.
  WCHAR wide[2];
  const int wide_length = ::MultiByteToWideChar(code_page_, MB_ERR_INVALID_CHARS, ch,
                                                static_cast<int>(length), wide, 2);
  if (wide_length <= 0) return;
  WCHAR upper[2];
  const int upper_length =
      ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide, wide_length, upper, 2);
  if (upper_length != wide_length) return;
  char narrow[4];
  BOOL used_default = FALSE;
  const int narrow_length = ::WideCharToMultiByte(code_page_, 0, upper, upper_length, narrow,
                                                  sizeof(narrow), nullptr, &used_default);
  if (narrow_length != static_cast<int>(length) || used_default) return;
  std::memcpy(ch, narrow, length);
}

}  // namespace camsetup
