// The reference the readers' conversions are held to: the C runtime's strtod,
// with the C standard's +0.0 for text that does not convert (MinGW-w64's
// strtod gives -0.0 for "-x").
#ifndef QTX_TESTS_SUPPORT_STRTOD_H
#define QTX_TESTS_SUPPORT_STRTOD_H

#include <cstdlib>

namespace qtx::test {

inline double Strtod(const char* text, char** endOut = nullptr) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (endOut) *endOut = end;
  return end == text ? 0.0 : value;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_SUPPORT_STRTOD_H
