#include "writer/DataRow.h"

#include <charconv>

namespace qtx::writer {

namespace {

void AppendValue(std::string& line, double value) {
  // The shortest round-trip text of a double takes at most 24 characters.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  if (!line.empty() && line.back() != '\n') line += '\t';
  line.append(text, result.ptr);
}

}  // namespace

void AppendDataRow(std::string& line, int mode, std::size_t channels, const double* x, const double* y,
                   std::size_t stride) {
  if (mode == 1 && channels > 0) AppendValue(line, x[0]);
  for (std::size_t c = 0; c < channels; ++c) {
    if (mode == 2) AppendValue(line, x[c * stride]);
    AppendValue(line, y[c * stride]);
  }
  line += '\n';
}

}  // namespace qtx::writer
