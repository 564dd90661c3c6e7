// Data rows as text: the part of a file the header writer leaves to the host,
// for hosts that hand the library their numbers (the C interface).
#ifndef QTX_WRITER_DATAROW_H
#define QTX_WRITER_DATAROW_H

#include <cstddef>
#include <string>

namespace qtx::writer {

// Appends one data row in the column layout of X-column mode `mode` (0, 1
// or 2), then "\n". Channel c's X is x[c * stride] and its Y y[c * stride];
// mode 0 writes the Ys only, mode 1 channel 0's X and then the Ys, mode 2 X
// and Y of each channel. Fields are separated by one tab, and each value is
// the shortest text that reads back as the same double. x is not read in
// mode 0.
void AppendDataRow(std::string& line, int mode, std::size_t channels, const double* x, const double* y,
                   std::size_t stride);

}  // namespace qtx::writer

#endif  // QTX_WRITER_DATAROW_H
