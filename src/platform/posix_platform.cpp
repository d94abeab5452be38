#include "platform/posix_platform.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "platform/profile_reader.h"

namespace camsetup {

namespace {
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorNotSupported = 50;
constexpr Dword kFileAttributeNormal = 0x80;
constexpr Dword kErrorInvalidParameter = 87;
}  // namespace

std::string PosixPath(const std::string& path) {
  std::string posix = path;
  for (char& c : posix) {
    if (c == '\\') c = '/';
  }
  return posix;
}

PosixPlatform::PosixPlatform() = default;

void PosixPlatform::UseCodePage932() { code_page_ = CodePageTable::Japanese932(); }

const char* PosixPlatform::GetCommandLineA() { return ""; }

Dword PosixPlatform::GetModuleFileNameA(char* filename, Dword size) {
  const Dword result = CopyModulePath(module_path, filename, size);
  if (size > 0 && result == size) last_error_ = kErrorInsufficientBuffer;
  return result;
}

Dword PosixPlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* default_value, char* returned, Dword size,
                                              const char* file_name) {
  if (size == 0) return 0;
  const std::optional<ProfileReader> profile = ProfileReader::Load(PosixPath(file_name));
  const std::string value = profile ? profile->Get(section, key, default_value, size)
                                    : ProfileReader("").Get(section, key, default_value, size);
  std::memcpy(returned, value.c_str(), value.size() + 1);
  return static_cast<Dword>(value.size());
}

bool PosixPlatform::CreateProcessA(const char*, char*, const void*, const void*, bool, Dword,
                                   const void*, const char*, StartupInfo*, ProcessInformation*) {
  last_error_ = kErrorNotSupported;
  return false;
}

Dword PosixPlatform::GetFileAttributesA(const char* file_name) {
  struct stat info;
  if (::stat(PosixPath(file_name).c_str(), &info) != 0) {
    last_error_ = kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

Dword PosixPlatform::WaitForSingleObject(Handle, Dword) { return 0; }

bool PosixPlatform::GetExitCodeProcess(Handle, Dword*) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::CloseHandle(Handle) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

Dword PosixPlatform::GetLastError() { return last_error_; }

void PosixPlatform::OutputDebugStringA(const char*) {}

Dword PosixPlatform::GetCurrentProcessId() { return 0; }

// Linux has no sessions and no window stations: the queries fail, which
// leaves message boxes to be recorded.
bool PosixPlatform::ProcessIdToSessionId(Dword, Dword*) {
  last_error_ = kErrorNotSupported;
  return false;
}

void* PosixPlatform::HeapAlloc(std::size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void PosixPlatform::HeapFree(void* block) { std::free(block); }

// Linux has no device information sets; the set is always empty.
DevInfoHandle PosixPlatform::SetupDiGetClassDevsA(const Guid*, const char*, Handle, Dword) {
  return &device_set_;
}

bool PosixPlatform::SetupDiEnumDeviceInfo(DevInfoHandle, Dword, DevInfoData*) {
  last_error_ = kErrorNoMoreItems;
  return false;
}

bool PosixPlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle, DevInfoData*, Dword, Dword*,
                                                      std::uint8_t*, Dword, Dword*) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle) { return true; }

int PosixPlatform::MessageBoxA(Handle, const char* text, const char*, Dword) {
  messages.push_back(text);
  return 1;
}

Handle PosixPlatform::GetProcessWindowStation() {
  last_error_ = kErrorNotSupported;
  return nullptr;
}

bool PosixPlatform::GetUserObjectInformationA(Handle, int, void*, Dword, Dword*) {
  last_error_ = kErrorNotSupported;
  return false;
}

Handle PosixPlatform::RegisterEventSourceA(const char*, const char*) {
  last_error_ = kErrorNotSupported;
  return nullptr;
}

bool PosixPlatform::ReportEventA(Handle, std::uint16_t, std::uint16_t, Dword, const void*,
                                 std::uint16_t, Dword, const char**, const void*) {
  last_error_ = kErrorNotSupported;
  return false;
}

bool PosixPlatform::DeregisterEventSource(Handle) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::IsDBCSLeadByte(std::uint8_t byte) { return code_page_.IsLeadByte(byte); }

void PosixPlatform::CharUpperChar(char* ch, std::size_t length) {
  code_page_.UpperCase(ch, length);
}

}  // namespace camsetup
