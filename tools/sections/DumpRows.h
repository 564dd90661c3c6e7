// The text of qtx dump: a header row with the headings, then one row per
// data row, as CSV or TSV. qtx dump prints it and qtx view serves it for the
// visible range; both take it a piece at a time, so that memory stays one
// chunk of rows and one piece of text whatever the section's size.
#ifndef QTX_TOOLS_SECTIONS_DUMPROWS_H
#define QTX_TOOLS_SECTIONS_DUMPROWS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "sections/SectionChunks.h"
#include "sections/WallClock.h"

namespace qtx::tool {

class DumpRows {
 public:
  // `channels` (indexes in the section's order), cells separated by
  // `separator`; with `units` the headings carry their dimensions and units
  // as qtx convert reads them back. With `clocks` (one per channel, and
  // `digits` the fractional digits of each) X is written as wall-clock
  // time, and channels that start apart get an X each.
  DumpRows(const CQTXGeneral& qtx, const CQTXSection& section, const std::string& path, std::vector<int> channels,
           char separator, bool units, std::vector<ChannelClock> clocks = {}, std::vector<int> digits = {});

  // Whether the X comes once, for all channels, rather than beside each.
  bool SharedX() const { return m_shared; }
  // The end of `rows` for these channels: the last row any of them has.
  std::uint32_t EndOf(RowChoice rows) const;
  // Appends the header row.
  void Header(std::string& out) const;
  // Rows [first, end) to come, through Fill.
  void Start(std::uint32_t first, std::uint32_t end);
  // Appends whole rows until `out` holds at least `least` bytes or the rows
  // are done; false when they are done (what it appended on that call still
  // belongs to the text).
  bool Fill(std::string& out, std::size_t least);
  // Rows read so far, of Total().
  std::uint32_t Done() const { return m_chunks ? m_chunks->Done() : 0; }
  std::uint32_t Total() const { return m_chunks ? m_chunks->End() - m_chunks->Begin() : 0; }

 private:
  void Number(std::string& out, double value) const;
  void Text(std::string& out, std::string_view text) const;
  void X(std::string& out, std::size_t channel, double x) const;
  std::string Heading(const CString& text, const CString& dimension, const CString& unit) const;

  const CQTXGeneral& m_qtx;
  const CQTXSection& m_section;
  std::string m_path;
  std::vector<int> m_indexes;
  std::vector<const CQTXChannel*> m_channels;
  char m_separator;
  bool m_units;
  std::vector<ChannelClock> m_clocks;
  std::vector<int> m_digits;
  bool m_shared;
  bool m_haveChunk = false;
  std::uint32_t m_next = 0;  // the next row of the chunk to write
  std::optional<SectionChunks> m_chunks;
};

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_DUMPROWS_H
