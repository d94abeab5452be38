// Shared helpers for the launcher's tests against the fake platform.
#ifndef CAMSETUP_TESTS_TEST_SUPPORT_H_
#define CAMSETUP_TESTS_TEST_SUPPORT_H_

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

inline std::vector<std::string> CodesOf(const CameraEntry& entry) {
  std::vector<std::string> codes;
  for (int i = 0; i < entry.code_count; ++i) codes.emplace_back(entry.product_codes[i].text);
  return codes;
}

}  // namespace camsetup::testing

#endif  // CAMSETUP_TESTS_TEST_SUPPORT_H_
