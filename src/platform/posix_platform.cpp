#include "platform/posix_platform.h"

#include <cstdlib>
#include <cstring>

#include "platform/profile_reader.h"

namespace camsetup {

namespace {
constexpr Dword kErrorNotSupported = 50;
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

void PosixPlatform::UseCodePage932() {
  for (int b = 0x81; b <= 0x9F; ++b) lead_bytes_.set(b);
  for (int b = 0xE0; b <= 0xFC; ++b) lead_bytes_.set(b);
}

const char* PosixPlatform::GetCommandLineA() { return ""; }

Dword PosixPlatform::GetModuleFileNameA(char* filename, Dword size) {
  if (size == 0) return 0;
  if (module_path.size() >= size) {
    std::memcpy(filename, module_path.data(), size - 1);
    filename[size - 1] = '\0';
    last_error_ = kErrorInsufficientBuffer;
    return size;
  }
  std::memcpy(filename, module_path.c_str(), module_path.size() + 1);
  return static_cast<Dword>(module_path.size());
}

Dword PosixPlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* default_value, char* returned,
                                              Dword size, const char* file_name) {
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

Dword PosixPlatform::WaitForSingleObject(Handle, Dword) { return 0; }

bool PosixPlatform::CloseHandle(Handle) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

Dword PosixPlatform::GetLastError() { return last_error_; }

void PosixPlatform::OutputDebugStringA(const char*) {}

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

bool PosixPlatform::IsDBCSLeadByte(std::uint8_t byte) { return lead_bytes_.test(byte); }

void PosixPlatform::CharUpperChar(char* ch, std::size_t length) {
  if (length == 1) {
    if (ch[0] >= 'a' && ch[0] <= 'z') ch[0] = static_cast<char>(ch[0] - 'a' + 'A');
  } else if (length == 2 && static_cast<unsigned char>(ch[0]) == 0x82) {
    const unsigned char trail = static_cast<unsigned char>(ch[1]);
    // Full-width a-z of code page 932.
    if (trail >= 0x81 && trail <= 0x9A) ch[1] = static_cast<char>(trail - 0x21);
  }
}

}  // namespace camsetup
