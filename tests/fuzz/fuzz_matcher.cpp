// The device matcher and the launch over arbitrary tables and hardware IDs.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "launcher/launcher.h"

using namespace camsetup;
using namespace camsetup::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakePlatform platform;
  ChooseCodePage(platform, input.Byte());
  const std::string ini = "C:\\Pkg\\setup.ini";

  // Up to 20 models: a Path piece and a PID piece each, until an empty Path.
  const int models = input.Byte() % (kMaxModels + 1);
  for (int k = 1; k <= models; ++k) {
    platform.SetProfile(ini, "Camera" + std::to_string(k), "Path",
                        "m" + std::to_string(k) + WithoutNul(input.Piece()).substr(0, 40));
    platform.SetProfile(ini, "Camera" + std::to_string(k), "PID", WithoutNul(input.Piece()));
  }
  // Then devices: a flags byte and the raw property bytes each.
  while (!input.Done() && platform.devices.size() < 64) {
    const std::uint8_t flags = input.Byte();
    FakeDevice device;
    device.hardware_ids = input.Piece();
    if ((flags & 0x0F) == 1) device.property_error = 13;
    if ((flags & 0x0F) == 2) device.stuck_required_size = flags >> 4;
    platform.devices.push_back(device);
  }
  const std::uint8_t failures = input.Byte();
  if (failures & 1) platform.fail_heap_allocs.insert(1 + (failures >> 1) % 8);
  if (failures & 0x40) {
    platform.fail_enum_at_index = (failures >> 1) % 8;
    platform.fail_enum_error = 1167;
  }

  Launcher launcher(platform);
  if (launcher.LoadCameraTable() != 1) return 0;
  launcher.FindCameraInstaller();
  const std::string selected = launcher.launch_command();

  FUZZ_CHECK(platform.live_heap_blocks() == 0);
  FUZZ_CHECK(platform.max_live_heap_blocks() <= 1);
  bool known = selected.empty();
  const CameraTable& table = launcher.camera_table();
  for (int i = 0; i < table.model_count; ++i) known |= selected == table.entries[i].install_path;
  FUZZ_CHECK(known);
  for (const std::string& call : platform.calls) FUZZ_CHECK(call.find("overrun") == std::string::npos);

  launcher.LaunchInstaller();
  FUZZ_CHECK(platform.open_device_sets() == 0);
  FUZZ_CHECK(platform.open_kernel_handles() == 0);
  FUZZ_CHECK(std::strlen(launcher.launch_command()) < kLaunchCommandSize);
  return 0;
}
