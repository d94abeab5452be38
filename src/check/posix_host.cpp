// The checker's view of a Linux host.
#include "check/checker.h"

namespace camsetup::check {

CheckHost PosixCheckHost(PosixPlatform& host, const std::string& folder,
                         const CodePageText& ini_text, const TextDecoder& host_text) {
  host.linux_prefix = folder;
  const auto case_twins = [&host, &ini_text](const std::string& launcher_path) {
    std::vector<CaseTwins> found;
    host.FindPath(launcher_path, &found);
    std::vector<CaseTwinNames> named;
    for (const CaseTwins& twins : found) {
      std::vector<std::string> names;
      for (const std::string& name : twins.names) names.push_back(ini_text.ToUtf8(name));
      named.push_back({ini_text.ToUtf8(twins.folder), names});
    }
    return named;
  };
  return CheckHost{host,
                   [&host](const std::string& path) { return host.FileExists(path); },
                   [&host](const std::string& path) { return host.ReadFile(path); },
                   ini_text,
                   host_text,
                   case_twins};
}

}  // namespace camsetup::check
