// The report as JSON.
#include <nlohmann/json.hpp>

#include "check/render.h"

namespace camsetup::check {
namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

const char* FormKey(InstallerForm form) {
  switch (form) {
    case InstallerForm::kWindowsInstaller:
      return "msi";
    case InstallerForm::kDriverPackage:
      return "inf";
    case InstallerForm::kProgram:
      break;
  }
  return "program";
}

Json Inf(const std::optional<InfReport>& inf) {
  if (!inf) return nullptr;
  Json models = Json::array();
  for (const InfModelsReport& m : inf->models) {
    models.push_back({{"section", m.section},
                      {"platform", m.platform},
                      {"present", m.present},
                      {"hardware_ids", m.hardware_ids}});
  }
  Json catalogs = Json::array();
  for (const InfCatalogReport& c : inf->catalogs) {
    catalogs.push_back({{"key", c.key}, {"file", c.file}, {"exists", c.exists}});
  }
  return {{"encoding", inf->encoding},
          {"problem", OrNull(inf->problem)},
          {"hardware_ids", inf->hardware_ids},
          {"models", models},
          {"catalogs", catalogs}};
}

Json Signature(const std::optional<SignatureReport>& signature) {
  if (!signature) return nullptr;
  const std::optional<AuthenticodeInfo>& info = signature->info;
  return {{"state", SignatureStateName(*signature)},
          {"signer", info && !info->signer_subject.empty() ? Json(info->signer_subject)
                                                           : Json(nullptr)},
          {"detail", info ? Json(info->detail) : Json(nullptr)},
          {"verified_by", signature->host}};
}

Json Model(const ModelReport& m) {
  return {{"section", m.section},
          {"line", m.line},
          {"path", m.path},
          {"install_path", m.install_path},
          {"program", m.program},
          {"switches", m.switches},
          {"exists", m.exists},
          {"codes", m.codes},
          {"form", FormKey(m.form)},
          {"command", OrNull(m.command)},
          {"passes_arguments", PassesArguments(m.form)},
          {"inf", Inf(m.inf)},
          {"signature", Signature(m.signature)},
          {"refused", m.refusal.empty() ? Json(nullptr) : Json(m.refusal)}};
}

}  // namespace

std::string RenderJson(const Report& report) {
  Json out;
  out["package"] = report.package;
  out["setup_ini"] = report.setup_ini;
  out["code_page"] = report.code_page;
  out["folder"] = report.folder;
  out["readable"] = report.readable;
  out["accepted"] = report.loaded;
  out["exit_code_mode"] = report.exit_code_mode == ExitCodeMode::kInstaller ? "installer" : "zero";
  const std::optional<SignatureReport>& launcher = report.launcher_signature;
  out["launcher"] = {
      {"signature", Signature(launcher)},
      {"checks_installers", launcher && launcher->info &&
                                launcher->info->status == AuthenticodeInfo::kValid},
      {"installers", report.any_signed ? "any-signed" : "same-publisher"}};
  out["models"] = Json::array();
  for (const ModelReport& m : report.models) out["models"].push_back(Model(m));
  out["findings"] = Json::array();
  for (const Finding& f : report.findings) {
    out["findings"].push_back({{"severity", f.severity == Severity::kError ? "error" : "warning"},
                               {"section", f.section.empty() ? Json(nullptr) : Json(f.section)},
                               {"line", OrNull(f.line)},
                               {"message", f.message}});
  }
  if (report.devices_checked) {
    out["devices"] = Json::array();
    for (const DeviceReport& d : report.devices) {
      Json device = {
          {"hardware_id", d.hardware_id}, {"vendor", d.vendor}, {"section", OrNull(d.section)}};
      if (d.section) {
        device["code"] = d.code;
        device["index"] = d.code_index;
        device["field"] = d.field;
      }
      out["devices"].push_back(device);
    }
    if (report.selected) {
      const ModelReport& m = report.models[*report.selected];
      out["selected"] = {{"section", m.section},
                         {"path", m.path},
                         {"program", m.program},
                         {"switches", m.switches}};
    } else {
      out["selected"] = nullptr;
    }
  }
  out["exit_status"] = report.ExitStatus();
  return out.dump(2) + "\n";
}

}  // namespace camsetup::check
