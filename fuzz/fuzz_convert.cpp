// The readers' number conversions against the C runtime's, on the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textio/Convert.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  // The C functions stop at a NUL; so do the fields our tokenizer hands over.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));

  char* strtodEnd = nullptr;
  const double theirs = std::strtod(text.c_str(), &strtodEnd);
  // Every bit, a NaN's sign and payload included.
  if (!SameBits(qtx::textio::Atof(text), theirs)) __builtin_trap();

  // The data reader's plain decimal path, with the bytes after the text that
  // it may look at. Where the number it reads ends a field (the reader takes
  // it only then), or where strtod ends too, it must end where strtod ends
  // and give its bits.
  std::string padded = text;
  padded.append(qtx::textio::kPlainDecimalLookAhead, '\0');
  double plain = 0.0;
  if (const char* end = qtx::textio::ReadPlainDecimal(padded.data(), padded.data() + text.size(), plain)) {
    const std::ptrdiff_t length = end - padded.data();
    const bool endsField = std::strchr("\t,;\r\n", *end) != nullptr;  // the NUL too
    if ((endsField || length == strtodEnd - text.c_str()) &&
        (length != strtodEnd - text.c_str() || !SameBits(plain, theirs)))
      __builtin_trap();
  }

  // strtol with a 64-bit long, clamped, is what a 32-bit long gives.
  const long wide = std::strtol(text.c_str(), nullptr, 10);
  const long clamped = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide;
  if (qtx::textio::Atol(text) != clamped) __builtin_trap();
  return 0;
}
