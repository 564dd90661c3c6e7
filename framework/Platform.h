// Facts about the machine that the readers need, and the one memory hint
// they give it.
#ifndef QTX_FRAMEWORK_PLATFORM_H
#define QTX_FRAMEWORK_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace qtx::platform {

// Bytes of physical memory, or 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes() noexcept;

// Asks the system to back [p, p + bytes) with writable memory now, in one
// step and in huge pages where it has them, rather than one page fault at a
// time as the range is first written. For large arrays that are about to be
// filled whole. A hint only: the content stays as it is, and where the
// system cannot do it nothing happens.
void PrefaultForWrite(void* p, std::size_t bytes) noexcept;

}  // namespace qtx::platform

#endif  // QTX_FRAMEWORK_PLATFORM_H
