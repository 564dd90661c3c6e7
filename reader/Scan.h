// The scan's row loop, for the scan itself and for the index's open and
// refresh, which go on from where an earlier pass ended.
#ifndef QTX_READER_SCAN_H
#define QTX_READER_SCAN_H

#include <cstdint>

#include "qtx/QTXLibrary.h"
#include "textio/LineSource.h"

namespace qtx::reader {

// Counts the rows the file holds of the section and notes a row mark every
// QTX_ROW_MARK_SPACING bytes; the source stands at the first row not yet
// counted (the section's first row, or row m_nRowsInFile of a section
// counted before). A last line without a line end is no row when the
// section ends short of its Samples, nor with holdBackUnended (a file still
// being written). Returns the position after the last row counted.
std::uint64_t SkipRowsAndMark(textio::LineSource& source, CQTXSection& section, std::uint32_t& nLine,
                              bool holdBackUnended);

}  // namespace qtx::reader

#endif  // QTX_READER_SCAN_H
