// Message boxes where nobody can see them: deployment agents, scheduled
// tasks and services run programs in session 0 or on a window station that
// is not visible, where a box can never be dismissed and would block the
// run for good.
#ifndef CAMSETUP_PLATFORM_UNATTENDED_H_
#define CAMSETUP_PLATFORM_UNATTENDED_H_

#include <cstddef>
#include <cstring>
#include <optional>

#include "platform/platform.h"

namespace camsetup {

inline constexpr Dword kWsfVisible = 0x0001;

// Whether someone can see and dismiss a box: the process's window station
// is visible and the process is not in session 0. A query that failed
// (nullopt) does not count against it, so interactive runs keep their boxes.
inline bool BoxCanBeSeen(std::optional<Dword> window_station_flags,
                         std::optional<Dword> session_id) {
  if (window_station_flags && (*window_station_flags & kWsfVisible) == 0) return false;
  if (session_id && *session_id == 0) return false;
  return true;
}

// What goes to the debugger output in place of a box nobody can see:
// the caption, ": " and the text, cut to fit `size` bytes.
inline void UnseenBoxText(const char* caption, const char* text, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  std::size_t used = 0;
  for (const char* part : {caption, ": ", text}) {
    if (part == nullptr) continue;
    const std::size_t length = std::strlen(part);
    const std::size_t room = size - 1 - used;
    const std::size_t n = length < room ? length : room;
    std::memcpy(out + used, part, n);
    used += n;
  }
  out[used] = '\0';
}

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_UNATTENDED_H_
