// sections/: a section of a QTX file as the commands read it, through the
// library: the scan and the lookup of a section, its values piece by piece
// (SectionChunks.h), the rows that --rows and --x choose (RowSelection.h),
// and the copying of labels into a new file (QtxCopy.h). It knows the
// library's public header and cli/ (for Failure and the text forms), and
// nothing about commands: no file here includes another folder of the tool.
#ifndef QTX_TOOLS_SECTIONS_SECTIONS_H
#define QTX_TOOLS_SECTIONS_SECTIONS_H

#include <cstdint>
#include <string>

#include "qtx/QTXLibrary.h"

namespace qtx::tool {

// Scans `path` into `qtx` with the library's file scan, through the index
// file beside it where that matches the file (one that does not is reported
// on stderr); throws Failure when the file cannot be opened or has no
// complete main header.
void ScanFile(CQTXGeneral& qtx, const std::string& path);

// The same scan for a command that reports an incomplete main header itself:
// returns whether the main header's end line was read.
bool TryScanFile(CQTXGeneral& qtx, const std::string& path);

// Opens `path` for the data reader; throws Failure when it cannot, and
// before opening anything when it is not a regular file: the readers seek
// back, and a FIFO would not even open until someone writes to it.
void OpenForReading(CStdioFile& file, const std::string& path);

// The section `index` of a scanned file, or a Failure naming what exists.
CQTXSection& SectionAt(CQTXGeneral& qtx, long long index);

// The section's row count: the largest Samples of its channels.
std::uint32_t RowCount(const CQTXSection& section);

// Reads the values of one channel of the section, or of all when `channel`
// is negative, from the file at `path` into arrays of the rows the file
// holds (not of the rows the header declares), and returns that count. A
// file that ends before the section's rows do is reported on stderr; rows
// that cannot fit in memory are a Failure.
std::uint32_t ReadValues(CQTXGeneral& qtx, CQTXSection& section, long long sectionIndex,
                         const std::string& path, int channel);

// Throws a Failure naming the channels there are unless `channel` is one of
// the section's, counted by m_nChannels.
void CheckChannel(const CQTXSection& section, long long sectionIndex, long long channel);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_SECTIONS_H
