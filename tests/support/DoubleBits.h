// A double's bits, for tests that compare conversions bit for bit.
#ifndef QTX_TESTS_SUPPORT_DOUBLEBITS_H
#define QTX_TESTS_SUPPORT_DOUBLEBITS_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace qtx::test {

inline std::uint64_t Bits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// The value with its bits: a NaN prints as nan whatever its payload.
inline std::string Hex(double d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a (0x%016llx)", d, static_cast<unsigned long long>(Bits(d)));
  return buffer;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_SUPPORT_DOUBLEBITS_H
