// Facts about the machine that the readers need.
#ifndef QTX_FRAMEWORK_PLATFORM_H
#define QTX_FRAMEWORK_PLATFORM_H

#include <cstdint>

namespace qtx::platform {

// Bytes of physical memory, or 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes() noexcept;

}  // namespace qtx::platform

#endif  // QTX_FRAMEWORK_PLATFORM_H
