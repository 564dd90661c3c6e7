#include "framework/Platform.h"

#include <unistd.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qtx::platform {

std::uint64_t PhysicalMemoryBytes() noexcept {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

void PrefaultForWrite(void* p, std::size_t bytes) noexcept {
#if defined(__linux__)
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE (Linux 5.14), which older headers do not name
  static const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pageSize <= 0) return;
  // The kernel takes whole pages only: those that lie inside the range.
  const std::uintptr_t page = static_cast<std::uintptr_t>(pageSize);
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = (begin + bytes) / page * page;
  if (last <= first) return;
  void* const start = reinterpret_cast<void*>(first);
  // Huge pages where the system allows them (the 2 MiB blocks inside the
  // range): one fault and one clearing per block instead of 512, which more
  // than halves the cost of fresh memory. Then every page at once. A kernel
  // that knows neither advice refuses it (EINVAL), and the pages fault in as
  // they are first written, as they would have anyway.
  ::madvise(start, last - first, MADV_HUGEPAGE);
  ::madvise(start, last - first, kPopulateWrite);
#else
  (void)p;
  (void)bytes;
#endif
}

}  // namespace qtx::platform
