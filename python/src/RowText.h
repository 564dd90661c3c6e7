// The text of one data row as the package writes it.
#ifndef QTX_PYTHON_ROWTEXT_H
#define QTX_PYTHON_ROWTEXT_H

#include <charconv>
#include <cstddef>
#include <string>

namespace qtx::python {

// Appends the values tab-separated, then a line end. Each is in the shortest
// form that reads back as the same double (-0 and subnormals included).
inline void AppendRow(std::string& out, const double* values, std::size_t count) {
  char number[32];
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += '\t';
    const auto result = std::to_chars(number, number + sizeof number, values[i]);
    out.append(number, result.ptr);
  }
  out += '\n';
}

}  // namespace qtx::python

#endif  // QTX_PYTHON_ROWTEXT_H
