// Reading a section in pieces: the qtx commands stream a section of any size
// through arrays of a bounded size with the library's range reads.
#ifndef QTX_TOOLS_SECTIONS_SECTIONCHUNKS_H
#define QTX_TOOLS_SECTIONS_SECTIONCHUNKS_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace qtx::tool {

// Reads rows [first, end) of chosen channels of a section, a chunk at a
// time. The first chunk is small, so that a command shows its first rows at
// once; later ones grow to what about 32 MB hold. With `xOfFirstOnly` only
// the first chosen channel's X is read, and X(i) gives it for every channel
// (the X that the channels share). Rows the file does not hold end the
// reading early; HeldAll() then says so.
class SectionChunks {
 public:
  SectionChunks(const CQTXGeneral& qtx, const CQTXSection& section, const std::string& path, std::vector<int> channels,
                std::uint32_t first, std::uint32_t end, bool xOfFirstOnly = false);

  // Reads the next chunk; false when there is none.
  bool Next();
  std::uint32_t First() const { return m_chunkFirst; }  // the row number of the chunk's first row
  std::uint32_t Rows() const { return m_chunkRows; }    // rows in the chunk
  const double* X(std::size_t i) const { return m_x[m_xOfFirstOnly ? 0 : i].data(); }
  const double* Y(std::size_t i) const { return m_y[i].data(); }
  bool HeldAll() const { return m_heldAll; }
  // Rows read so far, of End() - Begin().
  std::uint32_t Done() const { return m_next - m_first; }
  std::uint32_t Begin() const { return m_first; }
  std::uint32_t End() const { return m_end; }

 private:
  const CQTXGeneral& m_qtx;
  const CQTXSection& m_section;
  CStdioFile m_file;
  std::vector<int> m_channels;
  bool m_xOfFirstOnly;
  std::uint32_t m_first, m_end, m_next;
  std::uint32_t m_chunkFirst = 0, m_chunkRows = 0, m_chunkLimit;
  std::uint32_t m_largest;
  bool m_heldAll = true;
  unsigned m_threads;
  std::vector<std::vector<double>> m_x, m_y;
};

// A line of progress on stderr, for commands that run long: shown only when
// stderr is a terminal and once the command has run for about a second, and
// cleared when done.
class Progress {
 public:
  explicit Progress(std::string what);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Update(std::uint64_t done, std::uint64_t total);

 private:
  std::string m_what;
  bool m_terminal;
  bool m_shown = false;
  int m_percent = -1;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// "A:B" of --rows: rows A up to, not including, B; either may be left out
// ("A:" to the end, ":B" from row 0). A usage error names the option.
struct RowSpan {
  std::uint32_t first = 0;
  std::optional<std::uint32_t> end;
};
RowSpan ParseRowSpan(const std::string& option, const std::string& text);

// "LO:HI" of --x: X from LO to HI, both included; either may be left out.
struct XSpan {
  double low;
  double high;
};
XSpan ParseXSpan(const std::string& option, const std::string& text);

// The rows of a section that --rows or --x choose (neither: all rows the
// file holds); a Failure when --x is given for a section without an X that
// the channels share and that does not decrease. Never beyond the rows the
// file holds.
struct RowChoice {
  std::uint32_t first;
  std::uint32_t end;
};
RowChoice ChooseRows(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                     const std::string& path, const std::optional<std::string>& rows,
                     const std::optional<std::string>& x);

// For --rows or --x that choose no row: what they asked for and what the
// section holds (its X range, or its rows), in one line. Empty when rows
// were chosen or neither option was given.
std::string NothingChosen(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                          const std::string& path, const std::optional<std::string>& rows,
                          const std::optional<std::string>& x, RowChoice chosen);

// Warns on stderr when the file holds fewer rows than the section declares.
void WarnIfShort(const CQTXSection& section, long long sectionIndex, const std::string& path);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_SECTIONCHUNKS_H
