// Shared helpers for the launcher's tests against the fake platform.
#ifndef CAMSETUP_TESTS_TEST_SUPPORT_H_
#define CAMSETUP_TESTS_TEST_SUPPORT_H_

#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/fake_platform.h"

// Inside a struct of named cases: gtest prints a case by its name.
#define CAMSETUP_PRINTS_NAME(Type) \
  friend void PrintTo(const Type& c, std::ostream* os) { *os << c.name; }

namespace camsetup::testing {

inline constexpr char kModulePath[] = "C:\\Pkg\\camsetup.exe";
inline constexpr char kSetupIni[] = "C:\\Pkg\\setup.ini";

struct IniValue {
  std::string section;
  std::string key;
  std::string value;
};

// A fresh platform and launcher for one test.
struct Harness {
  FakePlatform platform;
  std::unique_ptr<Launcher> launcher = std::make_unique<Launcher>(platform);

  explicit Harness(const std::vector<IniValue>& ini = {}, const std::string& file = kSetupIni) {
    platform.module_path = kModulePath;
    for (const IniValue& v : ini) platform.SetProfile(file, v.section, v.key, v.value);
  }
};

// A hardware-ID property: the strings, each NUL-terminated, then an empty one.
inline std::string MultiString(const std::vector<std::string>& ids) {
  std::string bytes;
  for (const std::string& id : ids) {
    bytes += id;
    bytes.push_back('\0');
  }
  bytes.push_back('\0');
  return bytes;
}

// The calls of a message box that someone sees: the session and the window
// station are asked first.
inline std::vector<std::string> SeenBox(const std::string& text) {
  return {"GetCurrentProcessId -> 42", "ProcessIdToSessionId(42) -> 1",
          "GetProcessWindowStation -> station", "GetUserObjectInformationA(station, 1, 12) -> flags 0x1",
          "MessageBoxA(null, " + text + ", Error info, 0x40)"};
}

// The read of the exit-code setting, first thing after the module path.
inline std::string ExitCodeRead(const std::string& setup_ini = kSetupIni) {
  return "GetPrivateProfileStringA(Launcher, ExitCode, , 255, " + setup_ini + ")";
}

// Call sequences put together from parts.
inline std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline std::vector<std::string> CodesOf(const CameraEntry& entry) {
  std::vector<std::string> codes;
  for (int i = 0; i < entry.code_count; ++i) codes.emplace_back(entry.product_codes[i].text);
  return codes;
}

}  // namespace camsetup::testing

#endif  // CAMSETUP_TESTS_TEST_SUPPORT_H_
