// camsetup-check: shows what the launcher will do with a package.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/checker.h"
#include "check/render.h"
#include "check/text.h"
#include "platform/profile_reader.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/scoped.h"
#include "platform/win32_platform.h"
#else
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/posix_platform.h"
#endif

namespace camsetup::check {
namespace {

constexpr int kUsageStatus = 64;

const char kUsage[] =
    "usage: camsetup-check PACKAGE_DIR [--hwid ID]... [--present] [--json | --sarif]"
#ifndef _WIN32
    " [--code-page N]"
#endif
    "\n"
    "\n"
    "Reads PACKAGE_DIR/setup.ini as camsetup.exe does, prints its camera models and\n"
    "what in it may not work as meant, and, with --hwid (the first hardware IDs of\n"
    "devices, in enumeration order) or --present (the USB devices attached now),\n"
    "which installer the launcher would start. --json writes the report as JSON,\n"
    "--sarif the findings as SARIF 2.1.0.\n"
#ifndef _WIN32
    "--code-page N reads setup.ini as the launcher does under ANSI code page N:\n"
    "874, 932, 936, 949, 950 or 1250 to 1258 (default 1252).\n"
#else
    "setup.ini is read in the system's ANSI code page, as the launcher reads it.\n"
#endif
    "Exit status: 0 nothing to report, 1 warnings, 2 errors or an unreadable package.\n";

struct Arguments {
  std::string package;
  std::vector<std::string> hardware_ids;
  bool present = false;
  bool json = false;
  bool sarif = false;
  int code_page = 0;  // 0: the default
};

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--hwid" && i + 1 < argc) {
      args.hardware_ids.push_back(argv[++i]);
    } else if (arg == "--present") {
      args.present = true;
    } else if (arg == "--json") {
      args.json = true;
    } else if (arg == "--sarif") {
      args.sarif = true;
#ifndef _WIN32
    } else if (arg == "--code-page" && i + 1 < argc && args.code_page == 0) {
      const std::string number = argv[++i];
      for (const AnsiCodePage& known : kAnsiCodePages) {
        if (number == std::to_string(known.number)) args.code_page = known.number;
      }
      if (args.code_page == 0) return std::nullopt;
#endif
    } else if (arg.rfind("--", 0) == 0 || !args.package.empty()) {
      return std::nullopt;
    } else {
      args.package = arg;
    }
  }
  if (args.package.empty() || (args.present && !args.hardware_ids.empty()) ||
      (args.json && args.sarif)) {
    return std::nullopt;
  }
  return args;
}


#ifdef _WIN32

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string LauncherFolder(const std::string& package) {
  char full[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(package.c_str(), MAX_PATH, full, nullptr);
  std::string folder = (length > 0 && length < MAX_PATH) ? full : package;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// setup.ini's full path and the working folder, as UTF-8, for SARIF: the
// system resolves the drive-relative forms of a path (C:pkg, \pkg).
SarifPaths SarifPlaces(const std::string& setup_ini, const TextDecoder& host_text) {
  SarifPaths paths;
  const DWORD folder_length = ::GetCurrentDirectoryA(0, nullptr);
  std::string folder(folder_length, '\0');
  if (folder_length > 0 &&
      ::GetCurrentDirectoryA(folder_length, folder.data()) + 1 == folder_length) {
    folder.pop_back();
    paths.working_folder = host_text.ToUtf8(folder);
  }
  const DWORD full_length = ::GetFullPathNameA(setup_ini.c_str(), 0, nullptr, nullptr);
  std::string full(full_length, '\0');
  if (full_length > 0 &&
      ::GetFullPathNameA(setup_ini.c_str(), full_length, full.data(), nullptr) + 1 == full_length) {
    full.pop_back();
    paths.setup_ini = host_text.ToUtf8(full);
  } else {
    paths.setup_ini = host_text.ToUtf8(setup_ini);
  }
  return paths;
}

// Present devices come through the platform's own device enumeration.
std::optional<std::vector<std::string>> PresentUsbDevices() { return std::nullopt; }

std::optional<std::string> ReadPackageFile(const std::string& path) { return ReadFileBytes(path); }

// The start of a file, without reading the whole of it (an MSI package may
// be large).
std::optional<std::string> ReadPackageFileHead(const std::string& path, std::size_t bytes) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
  if (!file) return std::nullopt;
  std::string head(bytes, '\0');
  head.resize(std::fread(head.data(), 1, bytes, file.get()));
  if (std::ferror(file.get())) return std::nullopt;
  return head;
}

// The signature of a file as the launcher judges it: WinVerifyTrust
// through a handle that denies writes, with the signer's subject.
SignatureReport ReadSignature(Platform& platform, const std::string& path) {
  SignatureReport signature{AuthenticodeInfo(), "WinVerifyTrust"};
  AuthenticodeInfo& info = *signature.info;
  const ScopedKernelHandle file(
      &platform, platform.CreateFileA(path.c_str(), kGenericRead, kFileShareRead, kOpenExisting));
  if (!file.IsValid()) {
    info.status = AuthenticodeInfo::kMalformed;
    info.detail = "The file cannot be opened (error " + std::to_string(platform.GetLastError()) +
                  ").";
    return signature;
  }
  CertName signer = {};
  const std::int32_t status = platform.WinVerifyTrust(file.get(), path.c_str(), &signer);
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08lX",
                static_cast<unsigned long>(static_cast<std::uint32_t>(status)));
  if (status == 0 && signer.size > 0 && signer.size <= kCertNameSize) {
    info.status = AuthenticodeInfo::kValid;
    info.signer_subject_der.assign(signer.data, signer.data + signer.size);
    info.signer_subject = NameText(info.signer_subject_der);
    info.detail = "WinVerifyTrust accepts it on this machine, with its chain and time stamp; "
                  "revocation is not checked.";
  } else if (status == 0) {
    info.status = AuthenticodeInfo::kMalformed;
    info.detail = "WinVerifyTrust accepts it, but its signer's name cannot be read.";
  } else if (status == kTrustENoSignature) {
    info.status = AuthenticodeInfo::kUnsigned;
    info.detail = std::string("Not signed: WinVerifyTrust gives ") + code + ".";
  } else if (status == kTrustEBadDigest) {
    info.status = AuthenticodeInfo::kBadDigest;
    info.detail = std::string("The file changed after it was signed: WinVerifyTrust gives ") +
                  code + ".";
  } else if (status == kTrustESubjectFormUnknown) {
    info.status = AuthenticodeInfo::kNotPe;
    info.detail = std::string("Not a form that WinVerifyTrust verifies: it gives ") + code + ".";
  } else {
    info.status = AuthenticodeInfo::kBadSignature;
    info.detail = std::string("WinVerifyTrust gives ") + code + ".";
  }
  return signature;
}

std::string SetupIniPath(const std::string& package) {
  const char last = package.back();
  return package + (last == '\\' || last == '/' || last == ':' ? "" : "\\") + "setup.ini";
}

// UTF-8 text to standard output: to a console as UTF-16, so that it shows
// whatever the console's code page; elsewhere (a file, a pipe) as it is.
void Write(const std::string& text) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  if (out == INVALID_HANDLE_VALUE || out == nullptr || !::GetConsoleMode(out, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return;
  }
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return;
  const std::unique_ptr<wchar_t[]> wide = std::make_unique<wchar_t[]>(length);
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.get(),
                        length);
  DWORD written;
  ::WriteConsoleW(out, wide.get(), static_cast<DWORD>(length), &written, nullptr);
}

#else

// The launcher's folder for a package on Linux: its absolute path, with a
// backslash as the launcher would see it.
std::string LauncherFolder(const std::string& package) {
  char* resolved = ::realpath(package.c_str(), nullptr);
  std::string folder = resolved ? resolved : package;
  std::free(resolved);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + "\\";
}

std::string SetupIniPath(const std::string& package) {
  return package + (package.back() == '/' ? "" : "/") + "setup.ini";
}

void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The working folder and setup.ini's path as given, for SARIF. Linux names
// are bytes, taken as they are, so that their URIs name the files.
SarifPaths SarifPlaces(const std::string& setup_ini, const TextDecoder&) {
  SarifPaths paths;
  if (char* folder = ::getcwd(nullptr, 0)) {
    paths.working_folder = folder;
    std::free(folder);
  }
  paths.setup_ini = setup_ini;
  return paths;
}

std::string ReadHex(const std::string& path) {
  std::ifstream file(path);
  std::string value;
  file >> value;
  return value;
}

// The USB devices attached now, by the first hardware ID Windows forms for
// them: USB\VID_xxxx&PID_xxxx&REV_xxxx. Root hubs are not USB devices in
// Windows' sense and are left out.
std::vector<std::string> PresentUsbDevices() {
  const char* root_env = std::getenv("CAMSETUP_SYSFS_USB");
  const std::string root = root_env ? root_env : "/sys/bus/usb/devices";
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(root.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name[0] == '.' || name.rfind("usb", 0) == 0) continue;
      names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> ids;
  for (const std::string& name : names) {
    const std::string base = root + "/" + name + "/";
    const std::string vid = ReadHex(base + "idVendor");
    const std::string pid = ReadHex(base + "idProduct");
    const std::string rev = ReadHex(base + "bcdDevice");
    if (vid.empty() || pid.empty()) continue;  // an interface, not a device
    std::string id = "USB\\VID_" + vid + "&PID_" + pid + (rev.empty() ? "" : "&REV_" + rev);
    std::transform(id.begin(), id.end(), id.begin(),
                   [](char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 32) : c; });
    ids.push_back(id);
  }
  return ids;
}

#endif

int Main(const Arguments& args) {
#ifdef _WIN32
  RestrictDllSearchToSystemFolder();
  Win32Platform host;
  const CodePageText system_text;
  const CodePageText& ini_text = system_text;
  const CodePageText& host_text = system_text;  // the system's names are in its ANSI code page
#else
  const int code_page = args.code_page ? args.code_page : kDefaultCodePage;
  const std::optional<CodePageText> opened = CodePageText::Open(code_page);
  if (!opened) {
    std::fprintf(stderr, "camsetup-check: iconv cannot read code page %d\n", code_page);
    return 2;
  }
  const CodePageText& ini_text = *opened;
  PosixPlatform host;  // PosixCheckHost gives it the code page
  const Utf8Text host_text;  // file names and arguments on Linux
#endif
  const bool named = !args.hardware_ids.empty();
  CheckOptions options{args.package, SetupIniPath(args.package), LauncherFolder(args.package),
                       args.present || named, std::nullopt, named};
  if (named) options.hardware_ids = args.hardware_ids;
  if (args.present) options.hardware_ids = PresentUsbDevices();
#ifdef _WIN32
  const CheckHost check_host{host,
                             FileExists,
                             ReadPackageFile,
                             ini_text,
                             host_text,
                             {},
                             ReadPackageFileHead,
                             [&host](const std::string& path) { return ReadSignature(host, path); }};
#else
  const CheckHost check_host = PosixCheckHost(host, options.folder, ini_text, host_text);
#endif
  const Report report = Check(options, check_host);
  Write(args.sarif  ? RenderSarif(report, SarifPlaces(options.setup_ini, host_text))
        : args.json ? RenderJson(report)
                    : RenderText(report));
  return report.ExitStatus();
}

}  // namespace
}  // namespace camsetup::check

int main(int argc, char** argv) {
  const auto args = camsetup::check::Parse(argc, argv);
  if (!args) {
    std::fputs(camsetup::check::kUsage, stderr);
    return camsetup::check::kUsageStatus;
  }
  return camsetup::check::Main(*args);
}
