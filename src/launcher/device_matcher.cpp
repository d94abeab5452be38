// The device matcher: selects the installer of the attached camera.
#include <cstdint>
#include <cstring>

#include "launcher/launcher.h"

namespace camsetup {
namespace {

constexpr Dword kClassFlags = kDigcfPresent | kDigcfDeviceInterface;

std::size_t CharLength(const std::string& text, std::size_t i, Platform& platform) {
  return (platform.IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size())
             ? 2
             : 1;
}

}  // namespace

void UpperCaseText(std::string& text, Platform& platform) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharLength(text, i, platform);
    platform.CharUpperChar(&text[i], length);
    i += length;
  }
}

std::size_t FindCode(const std::string& text, const std::string& code, Platform& platform) {
  if (code.empty()) return 0;
  for (std::size_t i = 0; i + code.size() <= text.size(); i += CharLength(text, i, platform)) {
    if (std::memcmp(text.data() + i, code.data(), code.size()) == 0) return i;
  }
  return std::string::npos;
}

bool CodeOccurs(const std::string& text, const std::string& code, Platform& platform) {
  const std::size_t index = FindCode(text, code, platform);
  return index != std::string::npos && index > 0;
}

std::string Launcher::ReadFirstHardwareId(DevInfoHandle set, DevInfoData* data,
                                          ScopedHeapBlock& buffer) {
  Dword registry_type = 0;
  Dword required = 0;
  bool allocated_for_device = false;
  bool ok = platform_.SetupDiGetDeviceRegistryPropertyA(
      set, data, kSpdrpHardwareId, &registry_type,
      static_cast<std::uint8_t*>(buffer.get().data), 0, &required);
  while (!ok) {
    if (platform_.GetLastError() != kErrorInsufficientBuffer) break;
    // A platform that asks again for no more than it was just given would
    // keep this loop going forever.
    if (allocated_for_device && required <= buffer.get().size / 2) break;
    buffer.Close();
    // Twice the required size: the spare half holds the terminator that a
    // registry value may lack.
    if (required > SIZE_MAX / 2) break;
    const std::size_t size = std::size_t{required} * 2;
    void* block = platform_.HeapAlloc(size);
    if (block == nullptr) break;
    std::memset(block, 0, size);
    buffer = ScopedHeapBlock(&platform_, {block, size});
    allocated_for_device = true;
    ok = platform_.SetupDiGetDeviceRegistryPropertyA(set, data, kSpdrpHardwareId, &registry_type,
                                                    static_cast<std::uint8_t*>(block), required,
                                                    &required);
  }
  if (!ok || !allocated_for_device) return std::string();
  // The first string of the multi-string, never read past the block.
  const char* text = static_cast<const char*>(buffer.get().data);
  return std::string(text, strnlen(text, buffer.get().size));
}

void Launcher::FindCameraInstaller() {
  launch_command_[0] = '\0';
  scan_ = ScanOutcome();

  DevInfoHandle set =
      platform_.SetupDiGetClassDevsA(&kUsbDeviceInterfaceClass, nullptr, nullptr, kClassFlags);
  if (set == InvalidHandleValue()) return;
  scan_.set_obtained = true;
  scan_.set = ScopedDevInfoList(&platform_, set);

  ScopedHeapBlock buffer;
  DevInfoData data = {};
  data.cbSize = sizeof(DevInfoData);
  const std::string vendor_code(kVendorCode);
  for (Dword index = 0; platform_.SetupDiEnumDeviceInfo(set, index, &data); ++index) {
    std::string hardware_id = ReadFirstHardwareId(set, &data, buffer);
    UpperCaseText(hardware_id, platform_);
    if (!CodeOccurs(hardware_id, vendor_code, platform_)) continue;

    // Every match overwrites the result: the last matching device and, for
    // it, the highest matching model win.
    for (int model = 0; model < camera_table_.model_count; ++model) {
      const CameraEntry& entry = camera_table_.entries[model];
      for (int code = 0; code < entry.code_count; ++code) {
        if (CodeOccurs(hardware_id, entry.product_codes[code], platform_)) {
          std::memcpy(launch_command_, entry.install_path, kInstallPathSize);
          break;
        }
      }
    }
  }
  // Taken before the buffer is released, which may change it.
  scan_.last_error = platform_.GetLastError();
  buffer.Close();
}

}  // namespace camsetup
