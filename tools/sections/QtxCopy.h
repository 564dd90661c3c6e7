// Copying rows of sections into a new QTX file, for cut and merge: the
// header writer's headers, then the rows in chunks, each value in the
// shortest text that reads back as the same double.
#ifndef QTX_TOOLS_SECTIONS_QTXCOPY_H
#define QTX_TOOLS_SECTIONS_QTXCOPY_H

#include <memory>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "sections/RowSelection.h"

namespace qtx::tool {

// A section header to write: copies of the chosen channels' labels, X grid,
// stamps and Samples, owned by `section`. A channel without a Date and Time
// of its own gets those of its file's main header, where it started: the
// writer would give it the clock's now, and the copy another start.
std::unique_ptr<CQTXSection> CopyHeader(const CQTXGeneral& qtx, const CQTXSection& source,
                                        const std::vector<int>& channels);

// Writes rows `range` of the chosen channels of a section of the file at
// `path` in the column layout of X-column mode `mode`; X comes from the
// reader (in mode No, X0 + row * Delta_X of the source's row numbers).
// Returns the rows written.
std::uint32_t CopyRows(OutputFile& output, const CQTXGeneral& qtx, const std::string& path,
                       const CQTXSection& section, const std::vector<int>& channels, RowRange range, int mode);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_QTXCOPY_H
