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

namespace {

std::uint32_t PackBytes(const char* bytes, std::size_t length) {
  std::uint32_t packed = 0;
  for (std::size_t i = 0; i < length; ++i) {
    packed |= std::uint32_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  }
  return packed;
}

std::size_t SlotHash(std::uint32_t bytes, std::size_t length, std::size_t slots) {
  const std::uint32_t mixed = (bytes ^ static_cast<std::uint32_t>(length << 29)) * 0x9E3779B1u;
  return (mixed >> 16) & (slots - 1);
}

}  // namespace

CodeIndex::CodeIndex(const CameraTable& table, Platform& platform) {
  for (int byte = 0; byte < 256; ++byte) {
    lead_bytes_[byte] = platform.IsDBCSLeadByte(static_cast<std::uint8_t>(byte));
  }
  const int models = table.model_count < 0           ? 0
                     : table.model_count > kMaxModels ? kMaxModels
                                                      : table.model_count;
  for (int model = 0; model < models; ++model) {
    const CameraEntry& entry = table.entries[model];
    const int codes = entry.code_count < 0          ? 0
                      : entry.code_count > kMaxCodes ? kMaxCodes
                                                     : entry.code_count;
    for (int code = 0; code < codes; ++code) {
      const std::string_view text = entry.product_codes[code].view();
      // An empty code is found at index 0 and so never occurs.
      if (text.empty() || text.size() > kMaxCodeLength) continue;
      const std::uint32_t bytes = PackBytes(text.data(), text.size());
      std::size_t i = SlotHash(bytes, text.size(), kSlots);
      while (slots_[i].length != 0 &&
             (slots_[i].bytes != bytes || slots_[i].length != text.size())) {
        i = (i + 1) & (kSlots - 1);
      }
      Slot& slot = slots_[i];
      // Models come in rising order: a later model takes the slot over, a
      // later code of the same model does not.
      if (slot.length == 0 || slot.model != model) {
        slot = {bytes, static_cast<std::uint8_t>(text.size()), static_cast<std::uint8_t>(model),
                static_cast<std::uint8_t>(code)};
      }
      lengths_[static_cast<unsigned char>(text[0])] |=
          static_cast<std::uint8_t>(1u << (text.size() - 1));
    }
  }
}

const CodeIndex::Slot* CodeIndex::Find(const char* bytes, std::size_t length) const {
  const std::uint32_t packed = PackBytes(bytes, length);
  for (std::size_t i = SlotHash(packed, length, kSlots);; i = (i + 1) & (kSlots - 1)) {
    const Slot& slot = slots_[i];
    if (slot.length == 0) return nullptr;
    if (slot.bytes == packed && slot.length == length) return &slot;
  }
}

DeviceMatch CodeIndex::Match(std::string_view hardware_id) const {
  constexpr std::size_t npos = std::string_view::npos;
  constexpr std::size_t kVendorLength = sizeof(kVendorCode) - 1;
  const char* text = hardware_id.data();
  const std::size_t size = hardware_id.size();

  DeviceMatch match;
  bool vendor_seen = false;
  // The slots of the codes found at index 0: those codes never occur.
  const Slot* at_start[kMaxCodeLength] = {};
  std::size_t at_start_count = 0;
  // One pass over the character boundaries. A slot's first hit past index
  // 0 is its codes' first occurrence; a later hit has the same model and
  // code, which never beats itself, so the first index stays.
  for (std::size_t i = 0; i < size;) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (!vendor_seen && byte == static_cast<unsigned char>(kVendorCode[0]) &&
        i + kVendorLength <= size && std::memcmp(text + i, kVendorCode, kVendorLength) == 0) {
      vendor_seen = true;
      if (i > 0) match.vendor_index = i;
    }
    const unsigned lengths = lengths_[byte];
    for (std::size_t length = 1; lengths != 0 && length <= kMaxCodeLength && i + length <= size;
         ++length) {
      if ((lengths & (1u << (length - 1))) == 0) continue;
      const Slot* slot = Find(text + i, length);
      if (slot == nullptr) continue;
      if (i == 0) {
        at_start[at_start_count++] = slot;
        continue;
      }
      bool started_at_zero = false;
      for (std::size_t k = 0; k < at_start_count; ++k) started_at_zero |= at_start[k] == slot;
      if (started_at_zero) continue;
      if (slot->model > match.model || (slot->model == match.model && slot->code < match.code)) {
        match.model = slot->model;
        match.code = slot->code;
        match.code_index = i;
      }
    }
    i += (lead_bytes_[byte] && i + 1 < size) ? 2 : 1;
  }
  if (match.vendor_index == npos) {
    match.model = -1;
    match.code = -1;
    match.code_index = npos;
  }
  return match;
}

DeviceMatch MatchHardwareId(const CodeIndex& index, std::string_view hardware_id) {
  return index.Match(hardware_id);
}

DeviceMatch MatchHardwareId(const CameraTable& table, std::string_view hardware_id,
                            Platform& platform) {
  const CodeIndex index(table, platform);
  return index.Match(hardware_id);
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
  if (set == InvalidHandleValue()) {
    // Taken at once, before a message box can change it.
    SetOutcomeFromLastError(kErrorGenFailure);
    return;
  }
  scan_.set_obtained = true;
  scan_.set = ScopedDevInfoList(&platform_, set);

  const CodeIndex codes(camera_table_, platform_);
  ScopedHeapBlock buffer;
  DevInfoData data = {};
  data.cbSize = sizeof(DevInfoData);
  for (Dword index = 0; platform_.SetupDiEnumDeviceInfo(set, index, &data); ++index) {
    const OwnedText text = ReadFirstHardwareId(set, &data, buffer);
    UpperCaseText(text.data.get(), text.length, platform_);
    // A later matching device replaces the result of an earlier one.
    const DeviceMatch match = MatchHardwareId(codes, text.view());
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
