// The readers' number conversions against the C runtime's, on the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/Strtod.h"
#include "textio/Convert.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  // The C functions stop at a NUL; so do the fields our tokenizer hands over.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));

  char* strtodEnd = nullptr;
  const double theirs = qtx::test::Strtod(text.c_str(), &strtodEnd);
  // Every bit, a NaN's sign and payload included.
  if (!SameBits(qtx::textio::Atof(text), theirs)) __builtin_trap();

  // The data reader's plain decimal path, given the bytes it may look at
  // after the text. Where its number ends a field (the reader takes it only
  // then) or where strtod's ends, both must end there with the same bits.
  const std::string padded = text + std::string(qtx::textio::kPlainDecimalLookAhead, '\0');
  double plain = 0.0;
  if (const char* end = qtx::textio::ReadPlainDecimal(padded.data(), padded.data() + text.size(), plain)) {
    const bool sameEnd = end - padded.data() == strtodEnd - text.c_str();
    if ((sameEnd || std::strchr("\t,;\r\n", *end)) && !(sameEnd && SameBits(plain, theirs))) __builtin_trap();
  }

  // strtol with a 64-bit long, clamped, is what a 32-bit long gives.
  const long wide = std::strtol(text.c_str(), nullptr, 10);
  const long clamped = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide;
  if (qtx::textio::Atol(text) != clamped) __builtin_trap();
  return 0;
}
