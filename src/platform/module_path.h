// The executable's own path in the ANSI code page, decided from its wide
// (UTF-16) form. The launcher uses only the folder of its path, so only the
// folder must be named without loss; the file name may be lossy.
//
// The conversions come from the caller, so that the rule is tested on any
// machine. `Ops` provides, for a piece of the wide path:
//   AnsiChars Lossless(std::basic_string_view<Char>)
//       the piece in the code page, or null when any character would be
//       lost (no best-fit forms);
//   AnsiChars Lossy(std::basic_string_view<Char>)
//       the piece with '?' (or the code page's own replacement) for what
//       cannot be named, never a best-fit form; null on failure;
//   WideChars<Char> ShortPath(std::basic_string_view<Char>)
//       the short (8.3) form of a folder, given with its trailing
//       backslash, or null when there is none (volumes such as exFAT keep
//       no short names).
#ifndef CAMSETUP_PLATFORM_MODULE_PATH_H_
#define CAMSETUP_PLATFORM_MODULE_PATH_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace camsetup {

// Characters on the heap, owned; "null" when `data` is null.
template <typename Char>
struct OwnedChars {
  std::unique_ptr<Char[]> data;
  std::size_t length = 0;

  bool IsNull() const { return data == nullptr; }
  std::basic_string_view<Char> view() const { return {data.get(), length}; }
};

using AnsiChars = OwnedChars<char>;
template <typename Char>
using WideChars = OwnedChars<Char>;

// What GetModuleFileNameA gives: `result` as its return value, and the last
// error to set when `error` is not 0.
struct ModulePathResult {
  Dword result;
  Dword error;
};

// Writes the ANSI form of `wide` (the whole module path; `wide_cut` when the
// wide call itself could not hold it) to `filename`, `size` bytes, with the
// results of GetModuleFileNameA: the length without the NUL; a path that
// does not fit is cut, NUL-terminated, and gives `size` with
// ERROR_INSUFFICIENT_BUFFER. A folder that the code page cannot name, not
// even by its short form, gives 0 with ERROR_NO_UNICODE_TRANSLATION.
//
// The folder (up to the last backslash) is named without loss, or by its
// short form. The file name is named without loss where it can be, else
// lossily: it is never read as a folder, and a name that is not empty and
// holds no backslash cannot move the folder part.
template <typename Char, typename Ops>
ModulePathResult AnsiModulePath(std::basic_string_view<Char> wide, bool wide_cut, char* filename,
                                Dword size, Ops& ops) {
  if (wide_cut) {
    if (size > 0) filename[0] = '\0';
    return {size, kErrorInsufficientBuffer};
  }
  // Usually the whole path is named at once, and held as `folder`; else
  // the folder and the file name are named apart.
  AnsiChars folder = ops.Lossless(wide);
  AnsiChars name;
  if (folder.IsNull()) {
    const std::size_t slash = wide.rfind(static_cast<Char>('\\'));
    if (slash == std::basic_string_view<Char>::npos) return {0, kErrorNoUnicodeTranslation};
    // Split without substr, whose range check would bring the library's
    // exception formatting into the executable.
    const std::basic_string_view<Char> wide_folder(wide.data(), slash + 1);
    const std::basic_string_view<Char> wide_name(wide.data() + slash + 1,
                                                 wide.size() - slash - 1);
    folder = ops.Lossless(wide_folder);
    if (folder.IsNull()) {
      const WideChars<Char> short_folder = ops.ShortPath(wide_folder);
      if (!short_folder.IsNull() && short_folder.length > 0) {
        folder = ops.Lossless(short_folder.view());
        // Without its backslash the folder's last component would be taken
        // for the file name.
        if (!folder.IsNull() &&
            short_folder.data[short_folder.length - 1] != static_cast<Char>('\\')) {
          AnsiChars with_slash{std::make_unique<char[]>(folder.length + 1), folder.length + 1};
          std::memcpy(with_slash.data.get(), folder.data.get(), folder.length);
          with_slash.data[folder.length] = '\\';
          folder = std::move(with_slash);
        }
      }
    }
    if (folder.IsNull()) return {0, kErrorNoUnicodeTranslation};
    name = ops.Lossless(wide_name);
    if (name.IsNull()) {
      name = ops.Lossy(wide_name);
      // Whatever the conversion made of it, the name stays one name.
      if (name.IsNull() || name.length == 0 ||
          std::memchr(name.data.get(), '\\', name.length) != nullptr) {
        name.data = std::make_unique<char[]>(2);
        name.data[0] = '?';
        name.length = 1;
      }
    }
  }

  if (size == 0) return {0, 0};
  const std::size_t length = folder.length + name.length;
  const std::size_t room = size - 1;
  const std::size_t folder_bytes = folder.length < room ? folder.length : room;
  const std::size_t name_bytes =
      name.length < room - folder_bytes ? name.length : room - folder_bytes;
  if (folder_bytes > 0) std::memcpy(filename, folder.data.get(), folder_bytes);
  if (name_bytes > 0) std::memcpy(filename + folder_bytes, name.data.get(), name_bytes);
  filename[folder_bytes + name_bytes] = '\0';
  if (length >= size) return {size, kErrorInsufficientBuffer};
  return {static_cast<Dword>(length), 0};
}

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_MODULE_PATH_H_
