// The reference the readers' conversions are held to: the C runtime's strtod,
// with the C standard's +0.0 for text that does not convert (MinGW-w64's
// strtod gives -0.0 for "-x"), and glibc's payload for "nan(...)" on every
// system (MinGW-w64's takes the digits as hexadecimal bits and clears the
// quiet bit).
#ifndef QTX_TESTS_SUPPORT_STRTOD_H
#define QTX_TESTS_SUPPORT_STRTOD_H

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qtx::test {

namespace detail {

// glibc's rule: the text between the parentheses, when strtoull with base 0
// reads it whole, gives the low 51 bits of a quiet NaN; `nan` ends after "nan"
// (or its parenthesis) and `end` after what strtod takes.
inline double GlibcNan(const char* nan, bool negative, char** end) {
  std::uint64_t bits = 0x7ff8000000000000u | (negative ? 0x8000000000000000u : 0u);
  const char* stop = nan + 3;
  if (*stop == '(') {
    const char* close = stop + 1;
    while (std::isalnum(static_cast<unsigned char>(*close)) || *close == '_') ++close;
    if (*close == ')') {
      const std::string payload(stop + 1, close);
      char* payloadEnd = nullptr;
      const unsigned long long n = std::strtoull(payload.c_str(), &payloadEnd, 0);
      if (!payload.empty() && *payloadEnd == '\0') bits |= n & ((std::uint64_t{1} << 51) - 1);
      stop = close + 1;
    }
  }
  *end = const_cast<char*>(stop);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace detail

inline double Strtod(const char* text, char** endOut = nullptr) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
#if !defined(__GLIBC__)
  if (value != value) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    value = detail::GlibcNan(p, negative, &end);
  }
#endif
  if (endOut) *endOut = end;
  return end == text ? 0.0 : value;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_SUPPORT_STRTOD_H
