// LoadCameraTable over arbitrary profile values.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "launcher/launcher.h"

using namespace camsetup;
using namespace camsetup::fuzz;

namespace {

const char* const kModulePaths[] = {
    "C:\\Pkg\\camsetup.exe",
    "C:\\camsetup.exe",
    "C:\\Pkg\\\x83\x5C\x83t\x83g.exe",  // a double-byte name ending in 0x5C
    "camsetup.exe",
};

std::string LongModulePath(std::size_t folder_length) {
  return "C:\\" + std::string(folder_length, 'd') + "\\camsetup.exe";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakePlatform platform;
  const std::uint8_t selector = input.Byte();
  ChooseCodePage(platform, selector);
  const std::uint8_t module = input.Byte();
  platform.module_path = (module & 0x80) ? LongModulePath(module & 0x7F ? (module & 0x7F) * 3 : 300)
                                         : kModulePaths[module % 4];
  const std::size_t folder = platform.module_path.rfind('\\') + 1;
  const std::string ini = platform.module_path.substr(0, folder) + "setup.ini";

  // Sections Camera1 to Camera25, Path then PID, from the input's pieces; a
  // piece of exactly "\x01" leaves the key out.
  for (int k = 1; k <= 25 && !input.Done(); ++k) {
    for (const char* key : {"Path", "PID"}) {
      const std::string value = WithoutNul(input.Piece());
      if (value != "\x01") platform.SetProfile(ini, "Camera" + std::to_string(k), key, value);
    }
  }

  Launcher launcher(platform);
  const int result = launcher.LoadCameraTable();
  const CameraTable& table = launcher.camera_table();

  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(platform.messages.size() == (result == 1 ? 0u : 1u));
  FUZZ_CHECK(table.model_count >= 0 && table.model_count <= kMaxModels);
  if (result == 0) FUZZ_CHECK(table.model_count == 0);
  for (const std::string& call : platform.calls) {
    FUZZ_CHECK(call.find("Camera21") == std::string::npos);
  }
  for (int i = 0; i < kMaxModels; ++i) {
    const CameraEntry& entry = table.entries[i];
    FUZZ_CHECK(strnlen(entry.install_path, kInstallPathSize) < kInstallPathSize);
    if (i >= table.model_count) continue;
    FUZZ_CHECK(std::strncmp(entry.install_path, platform.module_path.c_str(), folder) == 0);
    FUZZ_CHECK(entry.code_count >= 0 && entry.code_count <= kMaxCodes);
    for (int c = 0; c < entry.code_count; ++c) {
      const std::size_t length = strnlen(entry.product_codes[c].text, kMaxCodeLength + 1);
      FUZZ_CHECK(length >= 1 && length <= kMaxCodeLength);
    }
  }
  return 0;
}
