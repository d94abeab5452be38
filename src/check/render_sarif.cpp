// The report as SARIF 2.1.0, for the code-scanning views of CI pipelines:
// one rule per kind of finding, one result per finding, located in setup.ini
// by a path relative to the folder the checker runs in.
#include <nlohmann/json.hpp>

#include "check/render.h"

#ifndef CAMSETUP_VERSION
#error "CAMSETUP_VERSION is set by the build, from the project's version"
#endif

namespace camsetup::check {
namespace {

using Json = nlohmann::ordered_json;

// The base that relative artifact URIs name: code scanning takes it for the
// repository's root.
constexpr char kSourceRoot[] = "%SRCROOT%";

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~';
}

// One name as a URI path segment: every byte but the unreserved ones
// percent-encoded (RFC 3986), so blanks, non-ASCII, ':' and '%' too.
std::string Segment(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (IsUnreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A path by its names, with "." dropped and ".." taking away the name
// before it; at the root, ".." stays there, and in a relative path it is
// kept where nothing is left to take away.
struct Names {
  std::string root_uri;  // "file://", "file:///C:", "file://server/share"; empty if relative
  std::string root;      // the root, for comparison
  std::vector<std::string> names;
};

bool IsSeparator(char c, bool windows) { return c == '/' || (windows && c == '\\'); }

std::vector<std::string> Split(const std::string& path, bool windows) {
  std::vector<std::string> parts(1);
  for (char c : path) {
    if (IsSeparator(c, windows)) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

void Append(Names& path, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    if (part.empty() || part == ".") continue;
    if (part == ".." && !path.names.empty() && path.names.back() != "..") {
      path.names.pop_back();
    } else if (part != ".." || path.root_uri.empty()) {
      path.names.push_back(part);
    }
  }
}

Names Resolve(const std::string& path, bool windows) {
  Names out;
  std::vector<std::string> parts = Split(path, windows);
  const bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                        (path[0] >= 'a' && path[0] <= 'z'));
  if (!windows && !path.empty() && path[0] == '/') {
    out.root_uri = "file://";
    out.root = "/";
  } else if (windows && letter && path.size() >= 3 && path[1] == ':' &&
             IsSeparator(path[2], true)) {
    out.root_uri = "file:///" + path.substr(0, 2);
    out.root = Lower(path.substr(0, 2));
    parts.erase(parts.begin());
  } else if (windows && parts.size() >= 4 && parts[0].empty() && parts[1].empty() &&
             !parts[2].empty() && !parts[3].empty()) {  // \\server\share
    out.root_uri = "file://" + Segment(parts[2]) + "/" + Segment(parts[3]);
    out.root = Lower("//" + parts[2] + "/" + parts[3]);
    parts.erase(parts.begin(), parts.begin() + 4);
  }
  Append(out, parts);
  return out;
}

std::string Joined(const std::vector<std::string>& names, std::size_t from) {
  std::string out;
  for (std::size_t i = from; i < names.size(); ++i) {
    out += (i > from ? "/" : "") + Segment(names[i]);
  }
  return out;
}

std::string FileUri(const Names& path) { return path.root_uri + "/" + Joined(path.names, 0); }

// Whether `path` lies within `folder`, below it.
bool Within(const Names& path, const Names& folder, bool windows) {
  if (path.root != folder.root || path.names.size() <= folder.names.size()) return false;
  for (std::size_t i = 0; i < folder.names.size(); ++i) {
    const bool same = windows ? Lower(path.names[i]) == Lower(folder.names[i])
                              : path.names[i] == folder.names[i];
    if (!same) return false;
  }
  return true;
}

const char* Level(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

}  // namespace

SarifLocation LocateForSarif(const SarifPaths& paths) {
  const bool windows = paths.windows;
  const Names folder = Resolve(paths.working_folder, windows);
  const bool folder_known = !folder.root_uri.empty();
  Names file = Resolve(paths.setup_ini, windows);
  if (file.root_uri.empty() && folder_known) {
    file = folder;
    // \pkg on Windows: from the root of the working folder's drive.
    if (windows && !paths.setup_ini.empty() && IsSeparator(paths.setup_ini[0], true)) {
      file.names.clear();
    }
    Append(file, Split(paths.setup_ini, windows));
  }
  SarifLocation location;
  if (folder_known) {
    location.base_uri = FileUri(folder);
    if (location.base_uri.back() != '/') location.base_uri += '/';
  }
  if (folder_known && Within(file, folder, windows)) {
    location.uri = Joined(file.names, folder.names.size());
    location.relative = true;
  } else if (!file.root_uri.empty()) {
    location.uri = FileUri(file);
  } else {
    location.uri = Joined(file.names, 0);  // where the working folder is not known
  }
  return location;
}

std::string RenderSarif(const Report& report, const SarifPaths& paths) {
  const SarifLocation where = LocateForSarif(paths);
  Json artifact = {{"uri", where.uri}};
  if (where.relative) artifact["uriBaseId"] = kSourceRoot;

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
    // A finding about setup.ini as a whole is shown at its first line:
    // code scanning lists only results that have a line.
    const Json location = {{"artifactLocation", artifact},
                           {"region", {{"startLine", f.line.value_or(1)}}}};
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
  Json run = {{"tool", {{"driver", driver}}}};
  if (!where.base_uri.empty()) {
    run["originalUriBaseIds"] = {{kSourceRoot, {{"uri", where.base_uri}}}};
  }
  run["results"] = results;
  Json out = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
              {"version", "2.1.0"},
              {"runs", Json::array({run})}};
  return out.dump(2) + "\n";
}

}  // namespace camsetup::check
