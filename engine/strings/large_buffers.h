// Buffers of many megabytes that are filled right away: a page's body, its UTF-16 text.
#pragma once

#include <cstddef>
#include <string>

namespace cef_engine {

// Asks the system to back [data, data + bytes) with large pages where it can (Linux:
// 2 MiB transparent huge pages, which many systems give only on request). Filling a fresh
// buffer then takes one page fault per 2 MiB instead of one per 4 KiB; on a virtual
// machine each fault is a trip to the host, and a 200 MiB page spent seconds in them.
// Other systems are left as they are.
void PreferLargePages(void* data, size_t bytes) noexcept;

// What counts as many megabytes: smaller buffers are not worth the advice.
inline constexpr size_t kLargeBuffer = size_t{8} << 20;

// Reserves room for `count` characters, in large pages when that is many megabytes.
template <class Char>
void ReserveLarge(std::basic_string<Char>& text, size_t count) {
  text.reserve(count);
  if (text.capacity() * sizeof(Char) >= kLargeBuffer)
    PreferLargePages(text.data(), text.capacity() * sizeof(Char));
}

}  // namespace cef_engine
