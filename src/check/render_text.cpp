// The report as text. Findings are written as compilers write theirs, so
// that problem matchers and editors jump to them.
#include <string>

#include "check/render.h"

namespace camsetup::check {
namespace {

const char* SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

// PATH:LINE: SEVERITY: SECTION: MESSAGE, without LINE or SECTION where the
// finding has none.
std::string Located(const std::string& setup_ini, const Finding& f) {
  std::string out = setup_ini;
  if (f.line) out += ":" + std::to_string(*f.line);
  out += std::string(": ") + SeverityName(f.severity) + ": ";
  if (!f.section.empty()) out += f.section + ": ";
  return out + f.message + "\n";
}

// The form, the command and, for an INF, what was read of it.
std::string FormLines(const ModelReport& m) {
  std::string out = std::string("    form: ") + FormName(m.form) + "\n";
  if (!m.command) {
    out += "    command: none: the system's folders could not be read\n";
  } else {
    out +=
        "    command: " + *m.command +
        (PassesArguments(m.form) ? "  (then the launcher's own arguments)\n"
                                 : "  (the launcher's own arguments are not passed to pnputil)\n");
  }
  if (!m.inf) return out;
  const InfReport& inf = *m.inf;
  out += "    INF: " + inf.encoding;
  if (inf.problem) out += ", not read by Windows: " + *inf.problem;
  if (inf.catalogs.empty()) out += ", no catalog";
  for (const InfCatalogReport& c : inf.catalogs) {
    out += ", catalog " + c.file + " (" + c.key + (c.exists ? ")" : ", missing)");
  }
  out += "\n";
  out += std::string("    hardware IDs:") + (inf.models.empty() ? " none\n" : "\n");
  for (const InfModelsReport& models : inf.models) {
    out += "      " + models.section + " (" + models.platform +
           (models.present ? "" : ", missing") + "):";
    for (std::size_t i = 0; i < models.hardware_ids.size(); ++i) {
      out += (i ? ", " : " ") + models.hardware_ids[i];
    }
    out += models.present && models.hardware_ids.empty() ? " none\n" : "\n";
  }
  return out;
}

// A signature in a few words: its state and signer, and what judged it.
std::string SignatureText(const SignatureReport& signature) {
  const std::optional<AuthenticodeInfo>& info = signature.info;
  if (!info) return "not verified here: an MSI package's signature is verified only on Windows";
  std::string out;
  switch (info->status) {
    case AuthenticodeInfo::kUnsigned:
      return "unsigned";
    case AuthenticodeInfo::kNotPe:
      return "none: not a program";
    case AuthenticodeInfo::kValid:
      out = "signed by \"" + info->signer_subject + "\"";
      break;
    case AuthenticodeInfo::kBadDigest:
      out = "changed after it was signed";
      break;
    case AuthenticodeInfo::kBadSignature:
    case AuthenticodeInfo::kMalformed:
      out = "does not hold: " + info->detail;
      break;
  }
  if (info->status != AuthenticodeInfo::kValid && !info->signer_subject.empty()) {
    out += " (signer \"" + info->signer_subject + "\")";
  }
  return out + " [" + signature.host + "]";
}

std::string LauncherLine(const Report& report) {
  if (!report.launcher_signature) return "Launcher: no camsetup.exe in the package\n";
  const SignatureReport& signature = *report.launcher_signature;
  std::string out = "Launcher: camsetup.exe " + SignatureText(signature);
  if (signature.info && signature.info->status == AuthenticodeInfo::kValid) {
    return out + (report.any_signed
                      ? "; it starts only installers whose signature verifies "
                        "([Launcher] Installers=AnySigned)\n"
                      : "; it starts only installers that the same publisher signed\n");
  }
  return out + "; it checks no installer's signature\n";
}

}  // namespace

std::string RenderText(const Report& report) {
  std::string out = "Package: " + report.package + " (setup.ini read as code page " +
                    std::to_string(report.code_page) + ")\n";
  if (report.readable && report.loaded) {
    out += LauncherLine(report);
    out += "Models: " + std::to_string(report.models.size()) + "\n";
    for (const ModelReport& m : report.models) {
      out += "  " + m.section + " (line " + std::to_string(m.line) + "): " + m.program +
             (m.exists   ? ""
              : m.folder ? "  (a folder)"
                         : "  (missing)") +
             "\n";
      if (!m.switches.empty()) out += "    switches: " + m.switches + "\n";
      out += FormLines(m);
      if (m.signature) out += "    signature: " + SignatureText(*m.signature) + "\n";
      if (!m.refusal.empty()) out += "    refused by the signed launcher: " + m.refusal + "\n";
      out += "    codes:";
      for (const std::string& code : m.codes) out += " " + code;
      out += m.codes.empty() ? " none\n" : "\n";
    }
  }
  if (report.readable) {
    out += report.exit_code_mode == ExitCodeMode::kInstaller
               ? "Exit codes: the installer's own, or the failure's code ([Launcher] "
                 "ExitCode=Installer)\n"
               : "Exit codes: 0 always\n";
  }
  if (report.devices_checked) {
    out += "Devices: " + std::to_string(report.devices.size()) +
           (report.devices.empty() ? " (no USB device present)\n" : "\n");
    int number = 0;
    for (const DeviceReport& d : report.devices) {
      out += "  " + std::to_string(++number) + ". " + d.hardware_id + "\n";
      if (!d.vendor) {
        out += "     no vendor code 5A3D past its first character: not considered\n";
      } else if (!d.section) {
        out += "     vendor code at " + std::to_string(d.vendor_index) + "; no model's code\n";
      } else {
        out += "     vendor code at " + std::to_string(d.vendor_index) + "; " + *d.section +
               "'s code " + d.code + " at " + std::to_string(d.code_index) + " (" + d.field +
               " field)\n";
      }
    }
    if (report.selected) {
      const ModelReport& m = report.models[*report.selected];
      if (!m.refusal.empty()) {
        out += "The launcher refuses " + m.section + "'s installer \"" + m.program + "\" (" +
               m.refusal + ") and reports: Installer signature check fail\n";
      } else if (m.form == InstallerForm::kProgram) {
        // As the command line starts it, relative to the package.
        out += "The launcher starts " + m.section + "'s installer as \"" + m.program + "\"" +
               (m.switches.empty() ? "" : " " + m.switches) +
               ", with its own arguments behind it\n";
      } else if (!m.command) {
        out += "The launcher selects " + m.section + "'s " + FormName(m.form) + " \"" + m.program +
               "\", and starts nothing: the system's folders could not be read\n";
      } else {
        out += "The launcher starts " + m.section + "'s " + FormName(m.form) + " \"" + m.program +
               "\": " + *m.command +
               (PassesArguments(m.form) ? ", with its own arguments behind it\n"
                                        : ", without its own arguments\n");
      }
    } else {
      out += std::string("The launcher reports: ") + kNotFoundMessage + "\n";
    }
  }
  if (report.findings.empty()) {
    out += "No findings.\n";
  } else {
    out += "Findings:\n";
    for (const Finding& f : report.findings) out += Located(report.setup_ini, f);
  }
  return out;
}

}  // namespace camsetup::check
