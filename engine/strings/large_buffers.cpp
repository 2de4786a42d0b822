#include "strings/large_buffers.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace cef_engine {

void PreferLargePages([[maybe_unused]] void* data, [[maybe_unused]] size_t bytes) noexcept {
#ifdef __linux__
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  // Only whole large pages inside the buffer: the advice applies to pages, and the
  // buffer's first and last bytes may share theirs with other memory.
  const auto start = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t last = (start + bytes) & ~(kLargePage - 1);
  // Advice that cannot be taken (no such pages on this system) changes nothing.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace cef_engine
