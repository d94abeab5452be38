// The checker's view of a Linux host.
#include <cstdio>
#include <memory>

#include "check/checker.h"

namespace camsetup::check {

CheckHost PosixCheckHost(PosixPlatform& host, const std::string& folder,
                         const CodePageText& ini_text, const TextDecoder& host_text) {
  host.linux_prefix = folder;
  // The platform keeps a decoder of its own, so that it can outlive this host.
  std::shared_ptr<const CodePageText> names;
  if (std::optional<CodePageText> opened = CodePageText::Open(ini_text.code_page())) {
    names = std::make_shared<const CodePageText>(std::move(*opened));
  }
  NameDecoder decode_name;
  if (names) decode_name = [names](const std::string& name) { return names->Decoded(name); };
  host.UseCodePage(LauncherCodePage(ini_text.code_page()), decode_name);

  const auto case_twins = [&host, &ini_text, &host_text](const std::string& launcher_path) {
    // Each name as it is written: in the code page's bytes, or in UTF-8.
    const auto shown = [&ini_text, &host_text](const FoundName& found) {
      return found.utf8 ? host_text.ToUtf8(found.name) : ini_text.ToUtf8(found.name);
    };
    std::vector<CaseTwins> found;
    host.FindPath(launcher_path, &found);
    std::vector<CaseTwinNames> named;
    for (const CaseTwins& twins : found) {
      std::string folder;
      for (const FoundName& part : twins.folder) {
        folder += (folder.empty() ? "" : "\\") + shown(part);
      }
      std::vector<std::string> names;
      for (const FoundName& name : twins.names) names.push_back(shown(name));
      named.push_back({folder, names});
    }
    return named;
  };
  const auto read_head = [&host](const std::string& path,
                                 std::size_t bytes) -> std::optional<std::string> {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(host.FindPath(path).c_str(), "rb"), std::fclose);
    if (!file) return std::nullopt;
    std::string head(bytes, '\0');
    head.resize(std::fread(head.data(), 1, bytes, file.get()));
    if (std::ferror(file.get())) return std::nullopt;
    return head;
  };
  // Programs are verified with OpenSSL; an MSI package's signature, in a
  // compound file's stream, is not read here.
  const auto read_signature = [&host](const std::string& path) {
    SignatureReport signature{std::nullopt, "OpenSSL"};
    const std::optional<std::string> bytes = host.ReadFile(path);
    if (!bytes) {
      AuthenticodeInfo unreadable;
      unreadable.status = AuthenticodeInfo::kMalformed;
      unreadable.detail = "The file cannot be read.";
      signature.info = unreadable;
      return signature;
    }
    const std::vector<std::uint8_t> file(bytes->begin(), bytes->end());
    if (!IsOleCompoundFile(file)) signature.info = ReadAuthenticode(file);
    return signature;
  };
  return CheckHost{host,
                   [&host](const std::string& path) { return host.FileExists(path); },
                   [&host](const std::string& path) { return host.ReadFile(path); },
                   ini_text,
                   host_text,
                   case_twins,
                   read_head,
                   read_signature};
}

}  // namespace camsetup::check
