#include "check/checker.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>

#include "launcher/launcher.h"

namespace camsetup::check {
namespace {

constexpr char kMissing[] = "\x01missing\x01";
constexpr char kNotFound[] = "Velmora Webcam Device(Oskendal) was not found!";
// The start of every hardware ID of the vendor's devices, and the field
// before every revision.
constexpr std::string_view kVendorPrefix = "USB\\VID_5A3D&PID_";
constexpr std::string_view kRevisionField = "&REV_";
constexpr int kLastSectionLooked = 99;

std::string SectionName(int number) { return "Camera" + std::to_string(number); }

// A value as the launcher's profile read returns it, or nothing when the
// key (or section, or file) is missing.
std::optional<std::string> RawValue(Platform& platform, const std::string& ini,
                                    const std::string& section, const char* key) {
  char buffer[kProfileValueSize];
  platform.GetPrivateProfileStringA(section.c_str(), key, kMissing, buffer, kProfileValueSize,
                                    ini.c_str());
  buffer[kProfileValueSize - 1] = '\0';
  if (std::strcmp(buffer, kMissing) == 0) return std::nullopt;
  return std::string(buffer);
}

bool SectionPresent(Platform& platform, const std::string& ini, int number) {
  const std::string section = SectionName(number);
  return RawValue(platform, ini, section, "Path") || RawValue(platform, ini, section, "PID");
}

// The field of a hardware ID that holds byte `index`: "VID", "PID", "REV",
// or the whole part between separators when it has no "_".
std::string FieldAt(std::string_view id, std::size_t index) {
  std::size_t begin = id.find_last_of("\\&", index);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  std::size_t end = id.find_first_of("\\&", index);
  if (end == std::string_view::npos) end = id.size();
  const std::string_view part = id.substr(begin, end - begin);
  const std::size_t underscore = part.find('_');
  return std::string(underscore == std::string_view::npos ? part : part.substr(0, underscore));
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

class Analysis {
 public:
  Analysis(const CheckOptions& options, const CheckHost& host, Report& report)
      : options_(options), host_(host), report_(report),
        ini_(options.folder + "setup.ini"),
        platform_(host.platform, options.folder + "camsetup.exe"), launcher_(platform_) {}

  void Run() {
    report_.package = options_.package;
    report_.folder = options_.folder;
    report_.readable = host_.file_exists(ini_);
    if (!report_.readable) {
      Add(Severity::kError, "", "setup.ini is missing or cannot be read");
      return;
    }
    report_.loaded = launcher_.LoadCameraTable() == 1;
    for (const std::string& message : platform_.messages) {
      const std::string section = message.rfind("Camera", 0) == 0
                                      ? message.substr(0, message.find(' '))
                                      : std::string();
      Add(Severity::kError, section, "the launcher refuses the package: " + Quoted(message));
    }
    if (!report_.loaded) return;

    const CameraTable& table = launcher_.camera_table();
    if (table.model_count == 0) {
      Add(Severity::kError, "",
          "no camera model: [Camera1] is missing or its Path is one character, so the launcher "
          "always reports that no camera was found");
    }
    CheckListEnd(table.model_count);
    std::map<std::string, int> first_model_of_code;
    for (int i = 0; i < table.model_count; ++i) CheckModel(i, table.entries[i], first_model_of_code);
    if (options_.check_devices) CheckDevices();
  }

 private:
  void Add(Severity severity, const std::string& section, const std::string& message) {
    report_.findings.push_back({severity, section, message});
  }

  // Sections that exist but are never read.
  void CheckListEnd(int model_count) {
    Platform& p = platform_;
    const int end = model_count + 1;
    if (model_count < kMaxModels) {
      if (const auto path = RawValue(p, ini_, SectionName(end), "Path")) {
        Add(Severity::kWarning, SectionName(end),
            "its Path " + Quoted(*path) +
                " is one character, which ends the list: this and later sections are never read");
      }
    }
    const int first_unread = model_count < kMaxModels ? end + 1 : kMaxModels + 1;
    for (int k = first_unread; k <= kLastSectionLooked; ++k) {
      if (!SectionPresent(p, ini_, k)) continue;
      if (model_count < kMaxModels) {
        Add(Severity::kWarning, SectionName(k),
            "never read: the list of models ends at " + SectionName(end) +
                " (missing, or its Path is one character)");
      } else {
        Add(Severity::kWarning, SectionName(k),
            "never read: only Camera1 to Camera20 are read");
      }
    }
  }

  void CheckModel(int index, const CameraEntry& entry, std::map<std::string, int>& first_model) {
    Platform& p = platform_;
    const std::string section = SectionName(index + 1);
    ModelReport model;
    model.section = section;
    model.install_path = entry.install_path;
    model.path = model.install_path.substr(options_.folder.size());
    model.exists = host_.file_exists(model.install_path);
    for (int c = 0; c < entry.code_count; ++c) model.codes.push_back(entry.product_codes[c].text);
    report_.models.push_back(model);

    const std::string raw_path = RawValue(p, ini_, section, "Path").value_or("");
    const FirstToken path_token = TakeFirstToken(raw_path.c_str(), p);
    if (path_token.end_position >= 0 &&
        static_cast<std::size_t>(path_token.end_position) < raw_path.size()) {
      Add(Severity::kWarning, section,
          "Path: everything after the apostrophe at position " +
              std::to_string(path_token.end_position - 1) + " is ignored; the installer is " +
              Quoted(model.path));
    }
    if (model.path.find(' ') != std::string::npos) {
      Add(Severity::kWarning, section,
          "the installer's path " + Quoted(model.path) +
              " has blanks; keep it free of them for tools that do not quote it");
    }
    if (!model.exists) {
      Add(Severity::kWarning, section, "the installer " + Quoted(model.path) + " is missing");
    }

    const std::optional<std::string> raw_pid = RawValue(p, ini_, section, "PID");
    if (!raw_pid) {
      Add(Severity::kWarning, section,
          "no PID: the model gets the code \"0\", which is found in nearly every hardware ID");
    } else {
      const FirstToken pid_token = TakeFirstToken(raw_pid->c_str(), p);
      const std::size_t kept = static_cast<std::size_t>(kMaxCodes) * 5;
      if (pid_token.length > kept) {
        Add(Severity::kWarning, section,
            "more than 50 codes: " + Quoted(raw_pid->substr(pid_token.begin + kept,
                                                            pid_token.length - kept)) +
                " is dropped");
      }
    }

    for (const std::string& code : model.codes) {
      if (raw_pid) CheckCode(section, code);
      auto [it, inserted] = first_model.emplace(code, index);
      if (!inserted && it->second != index) {
        Add(Severity::kWarning, section,
            "code " + Quoted(code) + " is also in " + SectionName(it->second + 1) +
                ": a device with it starts the installer of the later section, " + section);
      }
    }
  }

  void CheckCode(const std::string& section, const std::string& code) {
    Platform& p = platform_;
    const std::string what = "code " + Quoted(code);
    bool lower = false;
    for (char c : code) lower |= c >= 'a' && c <= 'z';
    if (lower) {
      Add(Severity::kWarning, section,
          what + " has lower-case letters; hardware IDs are compared in upper case, so it "
                 "never matches");
    }
    if (code.size() < kMaxCodeLength) {
      Add(Severity::kWarning, section, what + " is shorter than four characters");
    }
    if (code.find_first_of(",; \t") != std::string::npos) {
      Add(Severity::kWarning, section,
          what + " holds a separator: each code in PID takes four characters and one separator");
    }
    const std::size_t in_prefix = FindCode(kVendorPrefix, code, p);
    if (in_prefix != std::string_view::npos && in_prefix > 0) {
      Add(Severity::kWarning, section,
          what + " is found in every hardware ID of the vendor (" + Quoted(kVendorPrefix) +
              "): the model matches every such device");
    } else if (in_prefix == 0) {
      Add(Severity::kWarning, section,
          what + " is found at the start of every hardware ID, where it never counts");
    } else if (FindCode(kRevisionField, code, p) != std::string_view::npos) {
      Add(Severity::kWarning, section,
          what + " is found in the " + Quoted(kRevisionField) +
              " of every hardware ID with a revision");
    }
  }

  void CheckDevices() {
    platform_.devices = options_.hardware_ids;
    launcher_.FindCameraInstaller();
    report_.devices_checked = true;
    const CameraTable& table = launcher_.camera_table();

    const std::string selected = launcher_.launch_command();
    for (int i = 0; i < table.model_count && !selected.empty(); ++i) {
      if (selected == table.entries[i].install_path) {
        report_.selected_section = SectionName(i + 1);
        report_.selected_installer = report_.models[i].path;
      }
    }

    int number = 0;
    for (const std::string& id : platform_.seen_hardware_ids) {
      ++number;
      std::string upper = id;
      UpperCaseText(upper.data(), upper.size(), platform_);
      const DeviceMatch match = MatchHardwareId(table, upper, platform_);
      DeviceReport device;
      device.hardware_id = id;
      device.vendor = match.vendor_index != std::string_view::npos;
      device.vendor_index = device.vendor ? match.vendor_index : 0;
      if (match.model >= 0) {
        device.section = SectionName(match.model + 1);
        device.code = table.entries[match.model].product_codes[match.code].text;
        device.code_index = match.code_index;
        device.field = FieldAt(upper, match.code_index);
        if (device.field != "PID") {
          Add(Severity::kWarning, *device.section,
              "device " + std::to_string(number) + " (" + Quoted(id) + ") matches by code " +
                  Quoted(device.code) + " in its " + device.field + " field, not in PID");
        }
      }
      report_.devices.push_back(device);
    }
    if (options_.ids_from_user && !report_.selected_section) {
      Add(Severity::kWarning, "",
          "no given device matches a model: the launcher would report " + Quoted(kNotFound));
    }
  }

  const CheckOptions& options_;
  const CheckHost& host_;
  Report& report_;
  const std::string ini_;
  CheckPlatform platform_;
  Launcher launcher_;
};

// ---- JSON ----

bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3
                                                              : (c >> 3) == 30  ? 4
                                                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

// A JSON string. Text that is not UTF-8 (an ANSI code page's bytes) has its
// bytes above 127 written as the Latin-1 characters of the same numbers.
std::string Json(std::string_view text) {
  const bool utf8 = ValidUtf8(text);
  std::string out = "\"";
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || (c >= 0x80 && !utf8)) {
      std::snprintf(escape, sizeof(escape), "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string JsonOrNull(const std::optional<std::string>& text) {
  return text ? Json(*text) : "null";
}

const char* SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

}  // namespace

int Report::ExitStatus() const {
  int status = readable ? 0 : 2;
  for (const Finding& f : findings) {
    const int level = f.severity == Severity::kError ? 2 : 1;
    if (level > status) status = level;
  }
  return status;
}

Report Check(const CheckOptions& options, const CheckHost& host) {
  Report report;
  Analysis(options, host, report).Run();
  return report;
}

std::string RenderText(const Report& report) {
  std::string out = "Package: " + report.package + "\n";
  if (report.readable && report.loaded) {
    out += "Models: " + std::to_string(report.models.size()) + "\n";
    for (const ModelReport& m : report.models) {
      out += "  " + m.section + "  " + m.path + (m.exists ? "" : "  (missing)") + "\n";
      out += "    codes:";
      for (const std::string& code : m.codes) out += " " + code;
      out += m.codes.empty() ? " none\n" : "\n";
    }
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
    if (report.selected_section) {
      out += "The launcher starts " + *report.selected_section + "'s installer, \"" +
             *report.selected_installer + "\", with its own arguments behind it\n";
    } else {
      out += std::string("The launcher reports: ") + kNotFound + "\n";
    }
  }
  if (report.findings.empty()) {
    out += "No findings.\n";
  } else {
    out += "Findings:\n";
    for (const Finding& f : report.findings) {
      out += std::string("  ") + SeverityName(f.severity) + "  " +
             (f.section.empty() ? "setup.ini" : f.section) + ": " + f.message + "\n";
    }
  }
  return out;
}

std::string RenderJson(const Report& report) {
  std::string out = "{\n";
  out += "  \"package\": " + Json(report.package) + ",\n";
  out += "  \"readable\": " + std::string(report.readable ? "true" : "false") + ",\n";
  out += "  \"accepted\": " + std::string(report.loaded ? "true" : "false") + ",\n";
  out += "  \"models\": [";
  for (std::size_t i = 0; i < report.models.size(); ++i) {
    const ModelReport& m = report.models[i];
    out += std::string(i ? "," : "") + "\n    {\"section\": " + Json(m.section) +
           ", \"path\": " + Json(m.path) + ", \"install_path\": " + Json(m.install_path) +
           ", \"exists\": " + (m.exists ? "true" : "false") + ", \"codes\": [";
    for (std::size_t c = 0; c < m.codes.size(); ++c) out += (c ? ", " : "") + Json(m.codes[c]);
    out += "]}";
  }
  out += report.models.empty() ? "],\n" : "\n  ],\n";
  out += "  \"findings\": [";
  for (std::size_t i = 0; i < report.findings.size(); ++i) {
    const Finding& f = report.findings[i];
    out += std::string(i ? "," : "") + "\n    {\"severity\": \"" + SeverityName(f.severity) +
           "\", \"section\": " + (f.section.empty() ? "null" : Json(f.section)) +
           ", \"message\": " + Json(f.message) + "}";
  }
  out += report.findings.empty() ? "],\n" : "\n  ],\n";
  if (report.devices_checked) {
    out += "  \"devices\": [";
    for (std::size_t i = 0; i < report.devices.size(); ++i) {
      const DeviceReport& d = report.devices[i];
      out += std::string(i ? "," : "") + "\n    {\"hardware_id\": " + Json(d.hardware_id) +
             ", \"vendor\": " + (d.vendor ? "true" : "false") +
             ", \"section\": " + JsonOrNull(d.section);
      if (d.section) {
        out += ", \"code\": " + Json(d.code) + ", \"index\": " + std::to_string(d.code_index) +
               ", \"field\": " + Json(d.field);
      }
      out += "}";
    }
    out += report.devices.empty() ? "],\n" : "\n  ],\n";
    out += "  \"selected\": ";
    out += report.selected_section
               ? "{\"section\": " + Json(*report.selected_section) +
                     ", \"path\": " + Json(*report.selected_installer) + "}"
               : std::string("null");
    out += ",\n";
  }
  out += "  \"exit_status\": " + std::to_string(report.ExitStatus()) + "\n}\n";
  return out;
}

}  // namespace camsetup::check
