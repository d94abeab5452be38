#include "platform/posix_platform.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/profile_reader.h"

namespace camsetup {

namespace {
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorNotSupported = 50;
constexpr Dword kFileAttributeNormal = 0x80;
constexpr Dword kErrorInvalidParameter = 87;

bool IsLead(const CodePageTable& code_page, const std::string& text, std::size_t i) {
  return code_page.IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
}

}  // namespace

std::string PosixPath(const std::string& path, const CodePageTable& code_page) {
  std::string posix = path;
  for (std::size_t i = 0; i < posix.size(); ++i) {
    if (IsLead(code_page, posix, i)) {
      ++i;  // the trail byte belongs to the character, whatever its value
    } else if (posix[i] == '\\') {
      posix[i] = '/';
    }
  }
  return posix;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b,
                          const CodePageTable& code_page) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t length = IsLead(code_page, a, i) ? 2 : 1;
    std::string x = a.substr(i, length);
    std::string y = b.substr(i, length);
    code_page.UpperCase(x.data(), length);
    code_page.UpperCase(y.data(), length);
    if (x != y) return false;
    i += length;
  }
  return true;
}

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) names.push_back(entry->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// `name` (UTF-8) with ASCII letters and the letters of `upper` in upper
// case, character by character.
std::string UpperUtf8(const std::string& name, const std::map<std::string, std::string>& upper) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char lead = static_cast<unsigned char>(name[i]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::string character = name.substr(i, length);
    if (length == 1 && lead >= 'a' && lead <= 'z') {
      character[0] = static_cast<char>(lead - 'a' + 'A');
    } else if (const auto it = upper.find(character); it != upper.end()) {
      character = it->second;
    }
    out += character;
    i += length;
  }
  return out;
}

}  // namespace

void PosixPlatform::UseCodePage(const CodePageTable& table, NameDecoder decode_name) {
  code_page_ = table;
  decode_name_ = std::move(decode_name);
  upper_utf8_.clear();
  if (!decode_name_) return;
  for (const auto& [lower, upper] : code_page_.upper) {
    const std::optional<std::string> from = decode_name_(lower);
    const std::optional<std::string> to = decode_name_(upper);
    if (from && to) upper_utf8_[*from] = *to;
  }
}

PosixPlatform::Matches PosixPlatform::MatchingNames(const std::string& folder,
                                                    const std::string& part) const {
  const std::vector<std::string> entries = Entries(folder);
  Matches matches{{}, false, part};
  for (const std::string& entry : entries) {
    if (SameNameIgnoringCase(entry, part, code_page_)) matches.names.push_back(entry);
  }
  if (!matches.names.empty() || !decode_name_) return matches;
  const std::optional<std::string> decoded = decode_name_(part);
  if (!decoded || *decoded == part) return matches;  // ASCII was compared above
  const std::string wanted = UpperUtf8(*decoded, upper_utf8_);
  for (const std::string& entry : entries) {
    if (UpperUtf8(entry, upper_utf8_) == wanted) matches.names.push_back(entry);
  }
  return {matches.names, true, *decoded};
}

std::string PosixPlatform::FindPath(const std::string& launcher_path,
                                    std::vector<CaseTwins>* twins) const {
  // The Linux part is taken as it is; only the launcher's own part is read in
  // the code page and matched without regard to case.
  std::string found;
  std::string rest = launcher_path;
  if (!linux_prefix.empty() && launcher_path.compare(0, linux_prefix.size(), linux_prefix) == 0) {
    found = PosixPath(linux_prefix);
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    rest = launcher_path.substr(linux_prefix.size());
  } else if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\')) {
    rest.erase(0, 1);  // from the root
  } else {
    found = ".";
  }
  std::vector<FoundName> folder;  // the names taken after the root, for twins
  const std::string posix = PosixPath(rest, code_page_);
  std::size_t begin = 0;
  while (begin <= posix.size()) {
    std::size_t end = posix.find('/', begin);
    if (end == std::string::npos) end = posix.size();
    const std::string part = posix.substr(begin, end - begin);
    begin = end + 1;
    if (part.empty()) continue;
    FoundName taken{part, false};
    const bool exists = Exists(found + "/" + part);
    if (part != "." && part != ".." && (twins != nullptr || !exists)) {
      const Matches matches = MatchingNames(found, part);
      if (twins != nullptr && matches.names.size() > 1) {
        std::vector<FoundName> names;
        for (const std::string& name : matches.names) names.push_back({name, matches.utf8});
        twins->push_back({folder, names});
      }
      if (!exists && !matches.names.empty()) {
        const auto& names = matches.names;
        const bool exact = std::find(names.begin(), names.end(), matches.exact) != names.end();
        taken = {exact ? matches.exact : names.front(), matches.utf8};
      }
    }
    found += "/" + taken.name;
    folder.push_back(taken);
  }
  return found;
}

bool PosixPlatform::FileExists(const std::string& launcher_path) const {
  struct stat info;
  return ::stat(FindPath(launcher_path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::string> PosixPlatform::ReadFile(const std::string& launcher_path) const {
  return ReadFileBytes(FindPath(launcher_path));
}

PosixPlatform::PosixPlatform() = default;

void PosixPlatform::UseCodePage932() { UseCodePage(CodePageTable::Japanese932()); }

const char* PosixPlatform::GetCommandLineA() { return ""; }

Dword PosixPlatform::GetModuleFileNameA(char* filename, Dword size) {
  const Dword result = CopyModulePath(module_path, filename, size);
  if (size > 0 && result == size) last_error_ = kErrorInsufficientBuffer;
  return result;
}

Dword PosixPlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* default_value, char* returned, Dword size,
                                              const char* file_name) {
  if (size == 0) return 0;
  const std::optional<ProfileReader> profile = ProfileReader::Load(FindPath(file_name));
  const std::string value = profile ? profile->Get(section, key, default_value, size)
                                    : ProfileReader("").Get(section, key, default_value, size);
  std::memcpy(returned, value.c_str(), value.size() + 1);
  return static_cast<Dword>(value.size());
}

bool PosixPlatform::CreateProcessA(const char*, char*, const void*, const void*, bool, Dword,
                                   const void*, const char*, StartupInfo*, ProcessInformation*) {
  last_error_ = kErrorNotSupported;
  return false;
}

Dword PosixPlatform::GetFileAttributesA(const char* file_name) {
  struct stat info;
  if (::stat(FindPath(file_name).c_str(), &info) != 0) {
    last_error_ = kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

Dword PosixPlatform::WaitForSingleObject(Handle, Dword) { return 0; }

bool PosixPlatform::GetExitCodeProcess(Handle, Dword*) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::CloseHandle(Handle) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

Dword PosixPlatform::GetLastError() { return last_error_; }

void PosixPlatform::OutputDebugStringA(const char*) {}

Dword PosixPlatform::GetCurrentProcessId() { return 0; }

// A Windows machine's folders and version, for the commands the checker
// shows: a 64-bit Windows 10 of today, on which the x86 launcher runs.
namespace {
Dword CopyText(const char* text, char* buffer, Dword size) {
  const Dword length = static_cast<Dword>(std::strlen(text));
  if (length >= size) return length + 1;
  std::memcpy(buffer, text, length + 1);
  return length;
}
}  // namespace

Dword PosixPlatform::GetSystemDirectoryA(char* buffer, Dword size) {
  // What a 32-bit process is told too: WOW64 redirects it at each access.
  return CopyText("C:\\Windows\\system32", buffer, size);
}

Dword PosixPlatform::GetSystemWindowsDirectoryA(char* buffer, Dword size) {
  return CopyText("C:\\Windows", buffer, size);
}

bool PosixPlatform::IsWow64Process2(Handle, std::uint16_t* process_machine,
                                    std::uint16_t* native_machine) {
  *process_machine = 0x014C;  // IMAGE_FILE_MACHINE_I386
  if (native_machine != nullptr) *native_machine = 0x8664;  // IMAGE_FILE_MACHINE_AMD64
  return true;
}

bool PosixPlatform::IsWow64Process(Handle, bool* wow64) {
  *wow64 = true;
  return true;
}

std::int32_t PosixPlatform::RtlGetVersion(OsVersionInfo* version) {
  *version = {10, 0, 19045};
  return 0;
}

// No image of its own to check, and no Authenticode here: the checker reads
// signatures by other means.
Dword PosixPlatform::GetImageCertificateTableSize() { return 0; }

Handle PosixPlatform::CreateFileA(const char*, Dword, Dword, Dword) {
  last_error_ = kErrorNotSupported;
  return InvalidHandleValue();
}

std::int32_t PosixPlatform::WinVerifyTrust(Handle, const char*, CertName*) {
  return kTrustEFail;
}

bool PosixPlatform::CertCompareCertificateName(const CertName&, const CertName&) {
  return false;
}

// Linux has no sessions and no window stations: the queries fail, which
// leaves message boxes to be recorded.
bool PosixPlatform::ProcessIdToSessionId(Dword, Dword*) {
  last_error_ = kErrorNotSupported;
  return false;
}

void* PosixPlatform::HeapAlloc(std::size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void PosixPlatform::HeapFree(void* block) { std::free(block); }

// Linux has no device information sets; the set is always empty.
DevInfoHandle PosixPlatform::SetupDiGetClassDevsA(const Guid*, const char*, Handle, Dword) {
  return &device_set_;
}

bool PosixPlatform::SetupDiEnumDeviceInfo(DevInfoHandle, Dword, DevInfoData*) {
  last_error_ = kErrorNoMoreItems;
  return false;
}

bool PosixPlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle, DevInfoData*, Dword, Dword*,
                                                      std::uint8_t*, Dword, Dword*) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle) { return true; }

int PosixPlatform::MessageBoxA(Handle, const char* text, const char*, Dword) {
  messages.push_back(text);
  return 1;
}

Handle PosixPlatform::GetProcessWindowStation() {
  last_error_ = kErrorNotSupported;
  return nullptr;
}

bool PosixPlatform::GetUserObjectInformationA(Handle, int, void*, Dword, Dword*) {
  last_error_ = kErrorNotSupported;
  return false;
}

Handle PosixPlatform::RegisterEventSourceA(const char*, const char*) {
  last_error_ = kErrorNotSupported;
  return nullptr;
}

bool PosixPlatform::ReportEventA(Handle, std::uint16_t, std::uint16_t, Dword, const void*,
                                 std::uint16_t, Dword, const char**, const void*) {
  last_error_ = kErrorNotSupported;
  return false;
}

bool PosixPlatform::DeregisterEventSource(Handle) {
  last_error_ = kErrorInvalidParameter;
  return false;
}

bool PosixPlatform::IsDBCSLeadByte(std::uint8_t byte) { return code_page_.IsLeadByte(byte); }

void PosixPlatform::CharUpperChar(char* ch, std::size_t length) {
  code_page_.UpperCase(ch, length);
}

}  // namespace camsetup
