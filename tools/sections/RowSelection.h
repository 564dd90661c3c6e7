// What the commands that copy data out (export, cut, merge) choose: channels
// by index or heading, a range of rows by row number or by X, and a read of
// that range in chunks whose memory does not grow with the section.
#ifndef QTX_TOOLS_SECTIONS_ROWSELECTION_H
#define QTX_TOOLS_SECTIONS_ROWSELECTION_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace qtx::tool {

// A channel named by its index or its Y heading; a heading that two
// channels share, or none has, is a Failure that says so.
int ChannelByName(const CQTXSection& section, long long sectionIndex, const std::string& name);

// "--channel C" (one index or heading) or "--channels LIST": the chosen
// channels in the section's order; nothing when neither is given.
std::optional<std::vector<int>> ChannelOption(const Arguments& arguments, const CQTXSection& section,
                                              long long sectionIndex);

// "--channels LIST" (indexes or headings, comma-separated, each at most
// once) in the section's order as given; every channel without the option.
std::vector<int> ChosenChannels(const Arguments& arguments, const CQTXSection& section, long long sectionIndex);

// Rows [first, first + count) of a section.
struct RowRange {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

// The rows the file holds of the section: the scan's count.
std::uint32_t RowsHeld(const CQTXSection& section);

// The rows "--rows A:B" or "--x LO:HI" choose (see ChooseRows in
// SectionChunks.h), all the rows the file holds without either; a Failure
// when they choose none, so that no empty file is written.
RowRange ChosenRows(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                    const std::string& path, const Arguments& arguments);

// The rows "--time FROM/TO" chooses: those whose time start + X * unit, to
// the nanosecond, lies from FROM to TO (ISO 8601 without zone, both
// included; either may be left out), through the channels' one clock. A
// Failure when a channel has no start or no unit of time, or the channels
// start apart, or the times choose no row.
RowRange ChosenTimes(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                     const std::string& path, const std::vector<int>& channels, const std::string& text);

// Whether the channels share one X: mode One, or mode No with the same X0
// and Delta_X (compared bit for bit).
bool SharesX(const CQTXGeneral& qtx, const CQTXSection& section, const std::vector<int>& channels);

// Reads `range` of the chosen channels in chunks of rows: for each chunk,
// visit(firstRow, rows, x, y) with x[k] and y[k] the arrays of channels[k]
// (rows entries each), through SectionChunks. Stops early where the file
// ends; returns the rows read. Memory: one chunk of every chosen channel.
using ChunkVisitor = std::function<void(std::uint32_t firstRow, std::uint32_t rows,
                                        const std::vector<const double*>& x, const std::vector<const double*>& y)>;
std::uint32_t ReadChunks(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                         const std::vector<int>& channels, RowRange range, const ChunkVisitor& visit);

// The rows of the range a channel has: those below its own Samples.
std::uint32_t ChannelRowsIn(const CQTXChannel& channel, RowRange range);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_ROWSELECTION_H
