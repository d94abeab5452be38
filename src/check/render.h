// The renderings of a checker's report: text for people and for the
// problem matchers of editors and CI (PATH:LINE: SEVERITY: SECTION: MESSAGE),
// JSON for tools, and SARIF for the code-scanning views of pipelines. All
// are UTF-8.
#ifndef CAMSETUP_CHECK_RENDER_H_
#define CAMSETUP_CHECK_RENDER_H_

#include <string>

#include "check/checker.h"

namespace camsetup::check {

std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);

// setup.ini's place, for SARIF: code scanning resolves paths against the
// repository's root, which is the folder the checker runs in.
struct SarifPaths {
  std::string working_folder;  // absolute; empty where it is not known
  std::string setup_ini;       // as given
  // Paths of Windows: drive letters, \\server\share, either separator, and
  // names compared without regard to ASCII case.
#ifdef _WIN32
  bool windows = true;
#else
  bool windows = false;
#endif
};

struct SarifLocation {
  // Relative to the working folder where setup.ini lies within it (after
  // "." and ".." are resolved as names), else an absolute file: URI;
  // percent-encoded as UTF-8.
  std::string uri;
  bool relative = false;
  std::string base_uri;  // the working folder, as a file: URI ending in "/"; empty if not known
};

SarifLocation LocateForSarif(const SarifPaths& paths);
std::string RenderSarif(const Report& report, const SarifPaths& paths);

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_RENDER_H_
