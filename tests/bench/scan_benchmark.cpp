// The device scan with a full table (20 models of 50 codes) against 16, 64
// and 256 present devices. Every device carries the vendor code, so each
// one is compared with all 1000 codes; none matches, the worst case.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "launcher/launcher.h"
#include "platform/fake_platform.h"

namespace {

// Counts the C++ allocations made while a scan runs.
long g_allocations = 0;

}  // namespace

// Replacing the global allocation functions; free() matches the malloc()
// below, whatever the compiler infers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace camsetup {
namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04X", value & 0xFFFF);
  return text;
}

void FillTable(FakePlatform& platform) {
  for (int k = 1; k <= kMaxModels; ++k) {
    std::string pid;
    for (int c = 0; c < kMaxCodes; ++c) pid += Hex4(0xC000 + k * 64 + c) + ",";
    platform.SetProfile("C:\\Pkg\\setup.ini", "Camera" + std::to_string(k), "Path",
                        "Model" + std::to_string(k) + "\\setup.exe");
    platform.SetProfile("C:\\Pkg\\setup.ini", "Camera" + std::to_string(k), "PID", pid);
  }
}

// Hardware IDs as Windows forms them, with a compatible ID behind.
FakeDevice RealisticDevice(unsigned n) {
  FakeDevice device;
  const std::string id = "USB\\VID_5A3D&PID_" + Hex4(0x1000 + n) + "&REV_" + Hex4(n % 7);
  device.hardware_ids = id + '\0' + "USB\\VID_5A3D&PID_" + Hex4(0x1000 + n) + '\0' + '\0';
  return device;
}

void BM_Scan(benchmark::State& state) {
  FakePlatform platform;
  platform.log_calls = false;
  FillTable(platform);
  for (int i = 0; i < state.range(0); ++i) platform.devices.push_back(RealisticDevice(i));
  Launcher launcher(platform);
  if (launcher.LoadCameraTable() != 1) state.SkipWithError("table not loaded");

  long allocations = 0;
  for (auto _ : state) {
    const long before = g_allocations;
    launcher.FindCameraInstaller();
    allocations += g_allocations - before;
    benchmark::DoNotOptimize(launcher.launch_command());
  }
  state.SetComplexityN(state.range(0));
  state.counters["devices/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.counters["allocs/device"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * state.range(0));
}
BENCHMARK(BM_Scan)->Arg(16)->Arg(64)->Arg(256)->Complexity(benchmark::oN);

}  // namespace
}  // namespace camsetup

BENCHMARK_MAIN();
