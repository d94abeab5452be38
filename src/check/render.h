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
std::string RenderSarif(const Report& report);

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_RENDER_H_
