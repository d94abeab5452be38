#include "check/check_platform.h"

#include <cstring>

#include "platform/emulation.h"

namespace camsetup::check {
namespace {
constexpr Dword kErrorNotSupported = 50;
}  // namespace

CheckPlatform::CheckPlatform(Platform& host, std::string module_path)
    : host_(host), module_path_(std::move(module_path)) {}

Dword CheckPlatform::GetModuleFileNameA(char* filename, Dword size) {
  const Dword result = CopyModulePath(module_path_, filename, size);
  own_error_ = (size > 0 && result == size) ? kErrorInsufficientBuffer : 0;
  return result;
}

bool CheckPlatform::CreateProcessA(const char*, char*, const void*, const void*, bool, Dword,
                                   const void*, const char*, StartupInfo*, ProcessInformation*) {
  own_error_ = kErrorNotSupported;  // the checker starts nothing
  return false;
}

Dword CheckPlatform::GetLastError() {
  if (own_error_) return *own_error_;
  return host_.GetLastError();
}

DevInfoHandle CheckPlatform::SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                                  Handle parent, Dword flags) {
  seen_hardware_ids.clear();
  if (!devices) {
    own_error_.reset();
    return host_.SetupDiGetClassDevsA(class_guid, enumerator, parent, flags);
  }
  properties_.clear();
  for (const std::string& id : *devices) properties_.push_back(id + '\0' + '\0');
  own_error_ = 0;
  return &list_set_;
}

bool CheckPlatform::SetupDiEnumDeviceInfo(DevInfoHandle set, Dword member_index,
                                          DevInfoData* data) {
  if (set != &list_set_) return host_.SetupDiEnumDeviceInfo(set, member_index, data);
  if (member_index >= properties_.size()) {
    own_error_ = kErrorNoMoreItems;
    return false;
  }
  data->DevInst = member_index + 1;
  return true;
}

bool CheckPlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, DevInfoData* data,
                                                      Dword property, Dword* registry_type,
                                                      std::uint8_t* buffer, Dword buffer_size,
                                                      Dword* required_size) {
  bool ok;
  if (set != &list_set_) {
    ok = host_.SetupDiGetDeviceRegistryPropertyA(set, data, property, registry_type, buffer,
                                                 buffer_size, required_size);
  } else {
    const std::string& value = properties_.at(data->DevInst - 1);
    if (required_size != nullptr) *required_size = static_cast<Dword>(value.size());
    if (registry_type != nullptr) *registry_type = 7;  // REG_MULTI_SZ
    ok = buffer != nullptr && buffer_size >= value.size();
    if (ok) std::memcpy(buffer, value.data(), value.size());
    own_error_ = ok ? 0 : kErrorInsufficientBuffer;
  }
  if (ok && buffer != nullptr && buffer_size > 0) {
    seen_hardware_ids.emplace_back(reinterpret_cast<const char*>(buffer),
                                   strnlen(reinterpret_cast<const char*>(buffer), buffer_size));
  }
  return ok;
}

bool CheckPlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle set) {
  if (set == &list_set_) return true;
  return host_.SetupDiDestroyDeviceInfoList(set);
}

int CheckPlatform::MessageBoxA(Handle, const char* text, const char*, Dword) {
  messages.push_back(text);
  return 1;
}

}  // namespace camsetup::check
