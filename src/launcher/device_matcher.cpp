// The device matcher: selects the installer of the attached camera.
#include <cstdint>
#include <cstring>
#include <limits>

#include "launcher/launcher.h"

namespace camsetup {
namespace {

constexpr Dword kClassFlags = kDigcfPresent | kDigcfDeviceInterface;

std::size_t CharLength(std::string_view text, std::size_t i, Platform& platform) {
  return (platform.IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2
                                                                                               : 1;
}

}  // namespace

void UpperCaseText(char* text, std::size_t length, Platform& platform) {
  const std::string_view view(text, length);
  for (std::size_t i = 0; i < length;) {
    const std::size_t char_length = CharLength(view, i, platform);
    platform.CharUpperChar(text + i, char_length);
    i += char_length;
  }
}

std::size_t FindCode(std::string_view text, std::string_view code, Platform& platform) {
  if (code.empty()) return 0;
  for (std::size_t i = 0; i + code.size() <= text.size(); i += CharLength(text, i, platform)) {
    if (std::memcmp(text.data() + i, code.data(), code.size()) == 0) return i;
  }
  return std::string_view::npos;
}

std::size_t OccurrenceIndex(std::string_view text, std::string_view code, Platform& platform) {
  const std::size_t index = FindCode(text, code, platform);
  return index == 0 ? std::string_view::npos : index;
}

bool CodeOccurs(std::string_view text, std::string_view code, Platform& platform) {
  return OccurrenceIndex(text, code, platform) != std::string_view::npos;
}

DeviceMatch MatchHardwareId(const CameraTable& table, std::string_view hardware_id,
                            Platform& platform) {
  DeviceMatch match;
  match.vendor_index = OccurrenceIndex(hardware_id, kVendorCode, platform);
  if (match.vendor_index == std::string_view::npos) return match;
  // Every model is tried; the highest index that matches wins. Within a
  // model, its first code that occurs decides.
  for (int model = 0; model < table.model_count; ++model) {
    const CameraEntry& entry = table.entries[model];
    for (int code = 0; code < entry.code_count; ++code) {
      const std::size_t index =
          OccurrenceIndex(hardware_id, entry.product_codes[code].view(), platform);
      if (index != std::string_view::npos) {
        match.model = model;
        match.code = code;
        match.code_index = index;
        break;
      }
    }
  }
  return match;
}

OwnedText Launcher::ReadFirstHardwareId(DevInfoHandle set, DevInfoData* data,
                                        ScopedHeapBlock& buffer) {
  Dword registry_type = 0;
  Dword required = 0;
  bool allocated_for_device = false;
  bool ok = platform_.SetupDiGetDeviceRegistryPropertyA(
      set, data, kSpdrpHardwareId, &registry_type, static_cast<std::uint8_t*>(buffer.get().data), 0,
      &required);
  while (!ok) {
    if (platform_.GetLastError() != kErrorInsufficientBuffer) break;
    // A platform that asks again for no more than it was just given would
    // keep this loop going forever.
    if (allocated_for_device && required <= buffer.get().size / 2) break;
    buffer.Close();
    // Twice the required size: the spare half holds the terminator that a
    // registry value may lack.
    const std::uint64_t doubled = std::uint64_t{required} * 2;
    if (doubled > std::numeric_limits<std::size_t>::max()) break;  // 32-bit size_t
    const std::size_t size = static_cast<std::size_t>(doubled);
    void* block = platform_.HeapAlloc(size);
    if (block == nullptr) break;
    std::memset(block, 0, size);
    buffer = ScopedHeapBlock(&platform_, {block, size});
    allocated_for_device = true;
    ok = platform_.SetupDiGetDeviceRegistryPropertyA(set, data, kSpdrpHardwareId, &registry_type,
                                                     static_cast<std::uint8_t*>(block), required,
                                                     &required);
  }
  if (!ok || !allocated_for_device) return OwnedText();
  // A copy of the first string of the multi-string, never read past the
  // block. Exhausted memory throws, as the language's allocation does.
  const char* source = static_cast<const char*>(buffer.get().data);
  OwnedText text;
  text.length = strnlen(source, buffer.get().size);
  text.data.reset(new char[text.length + 1]);
  std::memcpy(text.data.get(), source, text.length);
  text.data[text.length] = '\0';
  return text;
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
  for (Dword index = 0; platform_.SetupDiEnumDeviceInfo(set, index, &data); ++index) {
    const OwnedText text = ReadFirstHardwareId(set, &data, buffer);
    UpperCaseText(text.data.get(), text.length, platform_);
    // A later matching device replaces the result of an earlier one.
    const DeviceMatch match = MatchHardwareId(camera_table_, text.view(), platform_);
    if (match.model >= 0) {
      std::memcpy(launch_command_, camera_table_.entries[match.model].install_path,
                  kInstallPathSize);
    }
  }
  // Taken before the buffer is released, which may change it.
  scan_.last_error = platform_.GetLastError();
  buffer.Close();
}

}  // namespace camsetup
