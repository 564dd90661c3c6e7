// The data side of qtx view: a min/max summary of a section, built once, and
// the answer to "these channels between X0 and X1 on W pixel columns".
//
// The summary cuts the section's rows into bins of B consecutive rows (B at
// least 512, more for huge sections, so that it holds under 1% of the
// values) and keeps per channel and bin the first, lowest, highest and last
// finite value, and per X column and bin the lowest and highest X. A query
// whose visible rows give every pixel column at least one whole bin is
// answered from the bins alone; a narrower one reads its rows from the file.
// Either way every pixel column gets its first, lowest, highest and last
// value, so a single-sample spike shows at every zoom; a view holding fewer
// rows than pixels gets the rows themselves.
//
// The bins of a section depend on its rows alone, bin by bin: a summary
// extended over rows appended to its section (Extend) holds exactly the bins
// of one built afresh on the grown file, and one stored beside the file
// (SummaryStore.h) answers exactly as the one it was saved from.
#ifndef QTX_TOOLS_VIEW_SUMMARY_H
#define QTX_TOOLS_VIEW_SUMMARY_H

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace qtx::tool::view {

// One channel's part of an answer: rows (x, y pairs, y NaN for a value that is
// not finite) or pixel columns (index and first, lowest, highest, last; NaN
// in a column whose rows have no finite value).
struct ChannelAnswer {
  int channel = 0;
  bool fromSummary = false;
  bool coarse = false;  // from bins wider than a pixel column: a quick first look
  bool raw = false;
  std::vector<double> x, y;         // raw
  std::vector<std::uint32_t> cols;  // columns
  std::vector<double> first, low, high, last;
};

// The row at or just before a cursor's X, as the file holds it.
struct CursorRow {
  bool found = false;
  std::uint32_t row = 0;
  double x = 0, y = 0;
};

// One channel between two X (both included): the cursors' rows, the rows in
// the span, the count of their finite values and statistics over those.
struct ChannelStats {
  int channel = 0;
  CursorRow a, b;
  std::uint64_t rows = 0, count = 0;
  double min = 0, max = 0, xMin = 0, xMax = 0, mean = 0, rms = 0;
};

class SectionSummary {
 public:
  // Called after each chunk of rows read with the rows of the section
  // summarised so far.
  using Progress = std::function<void(std::uint32_t rowsDone)>;

  // Reads every row the file holds of `section` (scanned from `path`) in
  // chunks of bounded size, over `threads` threads (0: every core).
  SectionSummary(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section, unsigned threads,
                 const Progress& progress = {});

  // Brings the summary up to the rows its section holds now, after
  // QTX_Refresh (or an open through the index) counted rows appended to it:
  // the last bin, if it was partial, is summarised again and bins are added
  // for the new rows, reading those rows only. The bins are then exactly
  // those of a summary built afresh on the grown file. A section grown so
  // much that its bins must widen (past 2^30 rows) is summarised afresh.
  // Returns the rows read (0: the section holds no new rows). Throws Failure
  // when the file no longer holds the rows its section claims.
  std::uint32_t Extend(unsigned threads, const Progress& progress = {});

  // Whether the two summaries hold the same rows and bins, bit for bit.
  bool SameBins(const SectionSummary& other) const;
  const CQTXSection& Section() const { return m_section; }

  std::uint32_t Rows() const { return m_rows; }
  std::uint32_t BinRows() const { return m_binRows; }
  // The lowest and highest finite X of the section; NaN when there is none.
  double XLow() const { return m_xLow; }
  double XHigh() const { return m_xHigh; }
  // The summary's size in doubles.
  std::size_t Size() const;

  // The given channels between x0 and x1 (x0 < x1) on `width` pixel columns;
  // rows are read through `file`, open on the scanned file. Unless `exact`,
  // a view of more rows than a quick read takes is answered from the bins
  // even where they are wider than a column (coarse), for a first look.
  std::vector<ChannelAnswer> Answer(CStdioFile& file, double x0, double x1, std::uint32_t width,
                                    const std::vector<int>& channels, bool exact) const;

  // The given channels between x0 and x1 (x0 <= x1), exactly.
  std::vector<ChannelStats> Stats(CStdioFile& file, double x0, double x1, const std::vector<int>& channels) const;
  // The rows whose X lies in [x0, x1], of the X source with the most.
  std::uint64_t RowsIn(CStdioFile& file, double x0, double x1) const;

 private:
  friend class SummaryStore;
  // The structure for `rows` rows, without bins: for a summary read back.
  struct Covering {
    std::uint32_t rows;
  };
  SectionSummary(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section, Covering covering);

  // The channels that share one X: all of them in mode One, those with the
  // same X0 and Delta_X in mode No, each its own in mode Multi.
  struct XSource {
    int reader = 0;          // the channel whose X is read
    std::uint32_t rows = 0;  // rows of its longest channel
    bool rising = true;      // finite X never decreases
    // The last finite X before the first bin that is not full (-inf for
    // none): where an extension goes on.
    double resumeX = -INFINITY;
    std::vector<double> low, high;  // per bin; a bin without a finite X repeats the last one
    std::vector<std::uint32_t> finite;  // per bin: rows with a finite X
  };
  struct Bins {
    std::vector<double> first, low, high, last;  // per bin
    std::vector<std::uint32_t> count;            // finite values
    std::vector<double> sum, sumSquares, xOfLow, xOfHigh;
  };
  // Calls f(row, x, ys) for each row in [rowFirst, rowEnd) of `source`, ys
  // holding the values of `channels` (NaN past a channel's end).
  template <typename F>
  void EachRow(CStdioFile& file, const XSource& source, const std::vector<int>& channels, std::uint32_t rowFirst,
               std::uint32_t rowEnd, F f) const;
  // The end of a bin's rows in `source`.
  std::uint32_t BinEnd(const XSource& source, std::uint32_t bin) const;
  // The bins of a rising source that reach into [x0, x1].
  std::pair<std::uint32_t, std::uint32_t> BinsIn(const XSource& source, double x0, double x1) const;

  // The channels' rows, the X sources and the bin count for `rows` rows;
  // the bins already there stay.
  void Layout(std::uint32_t rows);
  // Empties the bins from `firstBin` on, to m_bins of them.
  void ClearFrom(std::uint32_t firstBin);
  // Summarises the rows of the bins from `firstBin` on, going on from the
  // X sources' resumeX and rising.
  void SummariseFrom(std::uint32_t firstBin, unsigned threads, const Progress& progress);
  // XLow and XHigh from the bins.
  void Bounds();
  void AnswerFromBins(const XSource& source, const std::vector<int>& channels, std::uint32_t binFirst,
                      std::uint32_t binEnd, double x0, double x1, std::uint32_t width, bool coarse,
                      std::vector<ChannelAnswer>& out) const;
  void AnswerFromRows(CStdioFile& file, const XSource& source, const std::vector<int>& channels,
                      std::uint32_t rowFirst, std::uint32_t rowEnd, double x0, double x1, std::uint32_t width,
                      std::vector<ChannelAnswer>& out) const;

  const CQTXGeneral& m_qtx;
  const std::string m_path;
  const CQTXSection& m_section;
  std::uint32_t m_rows = 0;
  std::uint32_t m_binRows = 0;
  std::uint32_t m_bins = 0;
  double m_xLow, m_xHigh;
  std::vector<std::uint32_t> m_channelRows;  // per channel: its Samples, cut at the rows held
  std::vector<int> m_sourceOf;               // per channel: its X source
  std::vector<XSource> m_sources;
  std::vector<Bins> m_channelBins;           // per channel
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_SUMMARY_H
