// What the launcher will do with a package: its camera table, the traps in
// its setup.ini, and which installer a given set of devices selects.
#ifndef CAMSETUP_CHECK_CHECKER_H_
#define CAMSETUP_CHECK_CHECKER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "check/check_platform.h"

namespace camsetup::check {

enum class Severity { kWarning, kError };

struct Finding {
  Severity severity;
  std::string section;  // "Camera3", or empty for the package as a whole
  std::string message;
};

struct ModelReport {
  std::string section;
  std::string path;          // relative to the package, as the launcher appends it
  std::string install_path;  // as the launcher composes it
  bool exists = false;
  std::vector<std::string> codes;
};

struct DeviceReport {
  std::string hardware_id;  // the first hardware ID, as the device gives it
  bool vendor = false;      // the vendor code occurs in it
  std::size_t vendor_index = 0;
  std::optional<std::string> section;  // the model it matches
  std::string code;
  std::size_t code_index = 0;
  std::string field;  // the hardware-ID field the code was found in
};

struct Report {
  std::string package;
  std::string folder;      // the launcher's folder, as it would see it
  bool readable = false;   // setup.ini could be read
  bool loaded = false;     // the launcher accepts the package
  std::vector<ModelReport> models;
  std::vector<Finding> findings;
  bool devices_checked = false;
  std::vector<DeviceReport> devices;
  std::optional<std::string> selected_section;  // the installer the launcher would start
  std::optional<std::string> selected_installer;

  int ExitStatus() const;  // 0 nothing to report, 1 warnings, 2 errors or unreadable
};

// The checker's view of the host. `file_exists` decides, for a path as the
// launcher composes it, whether that file is there.
struct CheckHost {
  Platform& platform;
  bool (*file_exists)(const std::string& launcher_path);
};

struct CheckOptions {
  std::string package;    // as given on the command line
  std::string folder;     // the launcher's folder for it, with its trailing separator
  bool check_devices = false;
  std::optional<std::vector<std::string>> hardware_ids;  // none: the host's present devices
  bool ids_from_user = false;  // the IDs were named by the user, not found attached
};

Report Check(const CheckOptions& options, const CheckHost& host);

std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_CHECKER_H_
