// The readers' number conversions against the C runtime's, on the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/Strtod.h"
#include "textio/Convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  // The C functions stop at a NUL; so do the fields our tokenizer hands over.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));

  const double ours = qtx::textio::Atof(text);
  const double theirs = qtx::test::Strtod(text.c_str());
  if (std::isnan(ours) != std::isnan(theirs)) __builtin_trap();
  if (!std::isnan(ours) && std::memcmp(&ours, &theirs, sizeof ours) != 0) __builtin_trap();

  // strtol with a 64-bit long, clamped, is what a 32-bit long gives.
  const long wide = std::strtol(text.c_str(), nullptr, 10);
  const long clamped = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide;
  if (qtx::textio::Atol(text) != clamped) __builtin_trap();
  return 0;
}
