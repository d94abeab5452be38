// The report as SARIF 2.1.0, for the code-scanning views of CI pipelines:
// one rule per kind of finding, one result per finding, located in setup.ini.
#include <nlohmann/json.hpp>

#include "check/render.h"

#ifndef CAMSETUP_VERSION
#error "CAMSETUP_VERSION is set by the build, from the project's version"
#endif

namespace camsetup::check {
namespace {

using Json = nlohmann::ordered_json;

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

// A path as a URI reference: relative paths stay relative (to where the
// checker ran), absolute ones become file: URIs; every byte that a URI
// does not hold as it is is percent-encoded.
std::string PathUri(std::string path) {
#ifdef _WIN32
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const bool drive = path.size() >= 2 && path[1] == ':';
  std::string uri = drive ? "file:///" + path.substr(0, 2) : "";
  if (drive) path.erase(0, 2);
  if (!drive && path.rfind("//", 0) == 0) {  // \\server\share
    uri = "file:";
  }
#else
  std::string uri = !path.empty() && path[0] == '/' ? "file://" : "";
#endif
  for (unsigned char c : path) {
    if (IsUnreserved(c)) {
      uri += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0x0F];
    }
  }
  return uri;
}

const char* Level(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

}  // namespace

std::string RenderSarif(const Report& report) {
  Json rules = Json::array();
  for (int i = 0; i < static_cast<int>(Rule::kCount); ++i) {
    const RuleDescription& rule = DescribeRule(static_cast<Rule>(i));
    rules.push_back({{"id", rule.id},
                     {"name", rule.name},
                     {"shortDescription", {{"text", rule.short_description}}},
                     {"fullDescription", {{"text", rule.full_description}}},
                     {"help", {{"text", rule.help}}},
                     {"defaultConfiguration", {{"level", Level(rule.severity)}}}});
  }

  Json results = Json::array();
  for (const Finding& f : report.findings) {
    Json location = {{"artifactLocation", {{"uri", PathUri(report.setup_ini)}}}};
    if (f.line) location["region"] = {{"startLine", *f.line}};
    Json result = {{"ruleId", DescribeRule(f.rule).id},
                   {"ruleIndex", static_cast<int>(f.rule)},
                   {"level", Level(f.severity)},
                   {"message", {{"text", (f.section.empty() ? "" : f.section + ": ") + f.message}}},
                   {"locations", Json::array({{{"physicalLocation", location}}})}};
    if (!f.section.empty()) result["properties"] = {{"section", f.section}};
    results.push_back(result);
  }

  Json driver = {{"name", "camsetup-check"},
                 {"version", CAMSETUP_VERSION},
                 {"semanticVersion", CAMSETUP_VERSION},
                 {"rules", rules}};
  Json out = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
              {"version", "2.1.0"},
              {"runs", Json::array({{{"tool", {{"driver", driver}}}, {"results", results}}})}};
  return out.dump(2) + "\n";
}

}  // namespace camsetup::check
