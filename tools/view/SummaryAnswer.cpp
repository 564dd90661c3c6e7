// Answering from a summary: the pixel columns of a view, from the bins where
// they are narrow enough and from the rows otherwise, and the exact
// statistics between two cursors.
#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <vector>

#include "cli/Tool.h"
#include "sections/Sections.h"
#include "view/Summary.h"
#include "view/SummaryParts.h"

namespace qtx::tool::view {
namespace {

using parts::Accumulator;
using parts::kChunkValues;
using parts::kNaN;
using parts::kQueryChunkRows;

// Rows that a query reads at once on one thread; more are read in parallel,
// and a view of more is first answered from the bins (coarse) unless exact.
constexpr std::uint32_t kQuickRows = 1u << 16;
// A section whose X goes back and forth is answered from its rows up to this
// many, from the bins above.
constexpr std::uint32_t kAllRowsLimit = 1u << 18;

// Per pixel column: whether rows fell into it, and their first, lowest,
// highest and last finite value.
struct Columns {
  explicit Columns(std::uint32_t width)
      : has(width, 0), first(width, kNaN), low(width, kNaN), high(width, kNaN), last(width, kNaN) {}
  void Add(std::uint32_t c, double vFirst, double vLow, double vHigh, double vLast) {
    has[c] = 1;
    if (std::isnan(first[c])) first[c] = vFirst;
    low[c] = std::fmin(low[c], vLow);
    high[c] = std::fmax(high[c], vHigh);
    if (!std::isnan(vLast)) last[c] = vLast;
  }
  // Add(c, v, v, v, v) of one row's value, without the library calls of
  // fmin and fmax: this runs once per row and channel of a view read from
  // its rows.
  void AddRow(std::uint32_t c, double v) {
    has[c] = 1;
    if (std::isnan(v)) return;
    if (std::isnan(first[c])) first[c] = v;
    if (!(v >= low[c])) low[c] = v;
    if (!(v <= high[c])) high[c] = v;
    last[c] = v;
  }
  // Adds the columns of rows that come after these.
  void Join(const Columns& later) {
    for (std::size_t c = 0; c < has.size(); ++c) {
      if (!later.has[c]) continue;
      has[c] = 1;
      if (std::isnan(first[c])) first[c] = later.first[c];
      if (!(later.low[c] >= low[c]) && !std::isnan(later.low[c])) low[c] = later.low[c];
      if (!(later.high[c] <= high[c]) && !std::isnan(later.high[c])) high[c] = later.high[c];
      if (!std::isnan(later.last[c])) last[c] = later.last[c];
    }
  }
  void Into(ChannelAnswer& answer) const {
    for (std::uint32_t c = 0; c < has.size(); ++c) {
      if (!has[c]) continue;
      answer.cols.push_back(c);
      answer.first.push_back(first[c]);
      answer.low.push_back(low[c]);
      answer.high.push_back(high[c]);
      answer.last.push_back(last[c]);
    }
  }
  std::vector<char> has;
  std::vector<double> first, low, high, last;
};

// One channel's rows of a view read from the file: its pixel columns, its
// rows in [x0, x1] while they fit the width, and the rows just outside.
struct RowsState {
  Columns columns;
  std::vector<double> x, y;
  bool many = false;
  double beforeX = kNaN, beforeY = kNaN, afterX = kNaN, afterY = kNaN;

  // Adds the state of the rows that come after these.
  void Join(const RowsState& later, std::uint32_t width) {
    columns.Join(later.columns);
    if (!many) {
      x.insert(x.end(), later.x.begin(), later.x.end());
      y.insert(y.end(), later.y.begin(), later.y.end());
      many = later.many || x.size() > width;
    }
    if (!std::isnan(later.beforeX)) {
      beforeX = later.beforeX;
      beforeY = later.beforeY;
    }
    if (std::isnan(afterX)) {
      afterX = later.afterX;
      afterY = later.afterY;
    }
  }
};

// The pixel column of x on `width` columns from x0 to x1; halves keep the
// span finite near the largest doubles.
struct ColumnScale {
  double x0, x1;
  std::uint32_t width;
  std::uint32_t operator()(double x) const {
    const double at = (x / 2 - x0 / 2) / (x1 / 2 - x0 / 2) * width;
    if (!(at > 0)) return 0;
    return at >= width ? width - 1 : static_cast<std::uint32_t>(at);
  }
};

// Rows [r0, r0 + count) of a query into `targets`: on this thread for a few,
// over every core for more. A file that now holds fewer rows has changed.
void ReadQueryRows(const CQTXGeneral& qtx, CStdioFile& file, const std::string& path, const CQTXSection& section,
                   std::uint32_t r0, std::uint32_t count, const std::vector<QTXChannelTarget>& targets) {
  const QTXRowsRead read =
      count > kQuickRows
          ? qtx.QTX_ReadRowsParallel(CString(path.c_str()), &section, r0, count, targets.data(), targets.size(), 0)
          : qtx.QTX_ReadRows(&file, &section, r0, count, targets.data(), targets.size());
  if (read.nRows < count) throw Failure("the file changed since it was opened: rows are missing");
}

}  // namespace

std::vector<ChannelAnswer> SectionSummary::Answer(CStdioFile& file, double x0, double x1, std::uint32_t width,
                                                  const std::vector<int>& channels, bool exact) const {
  std::vector<ChannelAnswer> out(channels.size());
  for (std::size_t i = 0; i < channels.size(); ++i) out[i].channel = channels[i];
  for (std::size_t s = 0; s < m_sources.size(); ++s) {
    const XSource& source = m_sources[s];
    std::vector<int> wanted;  // positions in `out`
    for (std::size_t i = 0; i < channels.size(); ++i)
      if (m_sourceOf[channels[i]] == static_cast<int>(s)) wanted.push_back(static_cast<int>(i));
    if (wanted.empty() || source.rows == 0) continue;
    const std::uint32_t bins = static_cast<std::uint32_t>((std::uint64_t{source.rows} + m_binRows - 1) / m_binRows);
    if (!source.rising) {
      if (source.rows <= kAllRowsLimit) {
        AnswerFromRows(file, source, wanted, 0, source.rows, x0, x1, width, out);
      } else {
        AnswerFromBins(source, wanted, 0, bins, x0, x1, width, false, out);
      }
      continue;
    }
    // X rises: the bins that reach into [x0, x1] are consecutive. None of
    // them when the view lies between two rows of neighbouring bins: the rows
    // around it carry the line across.
    const auto [binFirst, binEnd] = BinsIn(source, x0, x1);
    const std::uint64_t rowFirst = std::min<std::uint64_t>(std::uint64_t{binFirst} * m_binRows, source.rows);
    const std::uint64_t rowEnd = std::min<std::uint64_t>(std::uint64_t{binEnd} * m_binRows, source.rows);
    if (rowEnd - rowFirst >= std::uint64_t{m_binRows} * width) {
      AnswerFromBins(source, wanted, binFirst, binEnd, x0, x1, width, false, out);
    } else if (!exact && rowEnd > rowFirst + kQuickRows) {
      AnswerFromBins(source, wanted, binFirst, binEnd, x0, x1, width, true, out);
    } else {
      // One row more on each side carries the lines on to the edges.
      AnswerFromRows(file, source, wanted, static_cast<std::uint32_t>(rowFirst > 0 ? rowFirst - 1 : 0),
                     static_cast<std::uint32_t>(std::min<std::uint64_t>(rowEnd + 1, source.rows)), x0, x1, width,
                     out);
    }
  }
  return out;
}

void SectionSummary::AnswerFromBins(const XSource& source, const std::vector<int>& wanted, std::uint32_t binFirst,
                                    std::uint32_t binEnd, double x0, double x1, std::uint32_t width,
                                    bool coarse, std::vector<ChannelAnswer>& out) const {
  const ColumnScale column{x0, x1, width};
  for (const int i : wanted) {
    ChannelAnswer& answer = out[i];
    const Bins& bins = m_channelBins[answer.channel];
    const std::uint32_t rows = m_channelRows[answer.channel];
    Columns columns(width);
    for (std::uint32_t b = binFirst; b < binEnd && std::uint64_t{b} * m_binRows < rows; ++b) {
      if (source.high[b] < x0 || source.low[b] > x1) continue;
      columns.Add(column(source.low[b] / 2 + source.high[b] / 2), bins.first[b], bins.low[b], bins.high[b],
                  bins.last[b]);
    }
    answer.fromSummary = true;
    answer.coarse = coarse;
    columns.Into(answer);
  }
}

void SectionSummary::AnswerFromRows(CStdioFile& file, const XSource& source, const std::vector<int>& wanted,
                                    std::uint32_t rowFirst, std::uint32_t rowEnd, double x0, double x1,
                                    std::uint32_t width, std::vector<ChannelAnswer>& out) const {
  const ColumnScale column{x0, x1, width};
  // Rows [r0, r1) into one state per channel wanted, read through `from`.
  const auto readPart = [&](CStdioFile& from, std::uint32_t r0, std::uint32_t r1, std::vector<RowsState>& states) {
    // At most kChunkValues values in memory, whatever the count of channels.
    const std::uint32_t chunk = std::min<std::uint32_t>(
        r1 - r0,
        static_cast<std::uint32_t>(std::clamp<std::size_t>(kChunkValues / (wanted.size() + 1), 4096, kQueryChunkRows)));
    std::vector<double> xs(chunk);
    std::vector<std::uint32_t> columnOf(chunk);  // per row, shared by the channels
    std::vector<std::vector<double>> ys(wanted.size(), std::vector<double>(chunk));
    std::vector<QTXChannelTarget> targets;
    bool readerWanted = false;
    for (std::size_t k = 0; k < wanted.size(); ++k) {
      const int c = out[wanted[k]].channel;
      readerWanted = readerWanted || c == source.reader;
      targets.push_back({c, c == source.reader ? xs.data() : nullptr, ys[k].data()});
    }
    if (!readerWanted) targets.push_back({source.reader, xs.data(), nullptr});
    for (std::size_t k = 0; k < wanted.size(); ++k) states.push_back(RowsState{Columns(width), {}, {}, false});

    for (std::uint32_t first = r0; first < r1; first += std::min(chunk, r1 - first)) {
      const std::uint32_t count = std::min(chunk, r1 - first);
      const QTXRowsRead read = m_qtx.QTX_ReadRows(&from, &m_section, first, count, targets.data(), targets.size());
      if (read.nRows < count) throw Failure("the file changed since it was opened: rows are missing");
      for (std::uint32_t i = 0; i < count; ++i) columnOf[i] = column(xs[i]);
      for (std::size_t k = 0; k < wanted.size(); ++k) {
        RowsState& state = states[k];
        const std::uint32_t rows = m_channelRows[out[wanted[k]].channel];
        const std::uint32_t stop = rows > first ? std::min(count, rows - first) : 0;
        const std::vector<double>& y = ys[k];
        for (std::uint32_t i = 0; i < stop; ++i) {
          const double x = xs[i];
          if (!std::isfinite(x)) continue;
          const double v = std::isfinite(y[i]) ? y[i] : kNaN;
          if (x < x0) {
            state.beforeX = x;
            state.beforeY = v;
          } else if (x > x1) {
            if (std::isnan(state.afterX)) {
              state.afterX = x;
              state.afterY = v;
            }
          } else {
            state.columns.AddRow(columnOf[i], v);
            if (!state.many) {
              state.x.push_back(x);
              state.y.push_back(v);
              state.many = state.x.size() > width;
            }
          }
        }
      }
    }
  };

  // Many rows are cut into consecutive parts over the cores, each read and
  // put into columns by a thread of its own with a file handle of its own;
  // the parts then join in the order of the rows.
  const std::uint32_t total = rowEnd - rowFirst;
  const std::uint32_t parts =
      total > kQuickRows ? std::min<std::uint32_t>(std::max(1u, std::thread::hardware_concurrency()), total / kQuickRows)
                         : 1;
  const auto partStart = [&](std::uint32_t p) {
    return rowFirst + static_cast<std::uint32_t>(std::uint64_t{total} * p / parts);
  };
  std::vector<std::vector<RowsState>> states(parts);
  std::vector<std::exception_ptr> errors(parts);
  const auto run = [&](std::uint32_t p) {
    try {
      if (p == 0) {
        readPart(file, partStart(0), partStart(1), states[0]);
      } else {
        CStdioFile own;
        OpenForReading(own, m_path);
        readPart(own, partStart(p), partStart(p + 1), states[p]);
      }
    } catch (...) {
      errors[p] = std::current_exception();
    }
  };
  {
    std::vector<std::thread> pool;
    try {
      for (std::uint32_t p = 1; p < parts; ++p) pool.emplace_back(run, p);
    } catch (...) {
      for (std::thread& t : pool) t.join();
      throw;
    }
    run(0);
    for (std::thread& t : pool) t.join();
  }
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
  std::vector<RowsState>& joined = states[0];
  for (std::uint32_t p = 1; p < parts; ++p)
    for (std::size_t k = 0; k < wanted.size(); ++k) joined[k].Join(states[p][k], width);

  for (std::size_t k = 0; k < wanted.size(); ++k) {
    RowsState& state = joined[k];
    ChannelAnswer& answer = out[wanted[k]];
    if (state.many) {
      state.columns.Into(answer);
      continue;
    }
    answer.raw = true;
    if (!std::isnan(state.beforeX)) {
      answer.x.push_back(state.beforeX);
      answer.y.push_back(state.beforeY);
    }
    answer.x.insert(answer.x.end(), state.x.begin(), state.x.end());
    answer.y.insert(answer.y.end(), state.y.begin(), state.y.end());
    if (!std::isnan(state.afterX)) {
      answer.x.push_back(state.afterX);
      answer.y.push_back(state.afterY);
    }
  }
}

std::pair<std::uint32_t, std::uint32_t> SectionSummary::BinsIn(const XSource& source, double x0, double x1) const {
  const std::uint32_t bins = static_cast<std::uint32_t>((std::uint64_t{source.rows} + m_binRows - 1) / m_binRows);
  const auto highEnd = source.high.begin() + bins, lowEnd = source.low.begin() + bins;
  const std::uint32_t binFirst =
      static_cast<std::uint32_t>(std::lower_bound(source.high.begin(), highEnd, x0) - source.high.begin());
  const std::uint32_t binEnd =
      static_cast<std::uint32_t>(std::upper_bound(source.low.begin(), lowEnd, x1) - source.low.begin());
  return {binFirst, std::max(binFirst, binEnd)};
}

std::uint32_t SectionSummary::BinEnd(const XSource& source, std::uint32_t bin) const {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(source.rows, (std::uint64_t{bin} + 1) * m_binRows));
}

template <typename F>
void SectionSummary::EachRow(CStdioFile& file, const XSource& source, const std::vector<int>& channels,
                             std::uint32_t rowFirst, std::uint32_t rowEnd, F f) const {
  if (rowFirst >= rowEnd) return;
  const std::uint32_t chunk = std::min<std::uint32_t>(
      rowEnd - rowFirst,
      static_cast<std::uint32_t>(std::clamp<std::size_t>(kChunkValues / (channels.size() + 1), 4096, kQueryChunkRows)));
  std::vector<double> xs(chunk);
  std::vector<std::vector<double>> ys(channels.size(), std::vector<double>(chunk));
  std::vector<double> row(channels.size());
  std::vector<QTXChannelTarget> targets;
  bool readerWanted = false;
  for (std::size_t k = 0; k < channels.size(); ++k) {
    readerWanted = readerWanted || channels[k] == source.reader;
    targets.push_back({channels[k], channels[k] == source.reader ? xs.data() : nullptr, ys[k].data()});
  }
  if (!readerWanted) targets.push_back({source.reader, xs.data(), nullptr});
  for (std::uint32_t r0 = rowFirst; r0 < rowEnd; r0 += std::min(chunk, rowEnd - r0)) {
    const std::uint32_t count = std::min(chunk, rowEnd - r0);
    ReadQueryRows(m_qtx, file, m_path, m_section, r0, count, targets);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!std::isfinite(xs[i])) continue;
      for (std::size_t k = 0; k < channels.size(); ++k)
        row[k] = r0 + i < m_channelRows[channels[k]] ? ys[k][i] : kNaN;
      f(r0 + i, xs[i], row);
    }
  }
}

std::vector<ChannelStats> SectionSummary::Stats(CStdioFile& file, double x0, double x1,
                                                const std::vector<int>& channels) const {
  std::vector<ChannelStats> out(channels.size());
  for (std::size_t s = 0; s < m_sources.size(); ++s) {
    const XSource& source = m_sources[s];
    std::vector<int> wanted, at;  // channels of this source and their places in `out`
    for (std::size_t i = 0; i < channels.size(); ++i) {
      out[i].channel = channels[i];
      if (m_sourceOf[channels[i]] != static_cast<int>(s)) continue;
      wanted.push_back(channels[i]);
      at.push_back(static_cast<int>(i));
    }
    if (wanted.empty()) continue;
    std::vector<Accumulator> sums(wanted.size());
    // A cursor's row: the one of the greatest X at or below it, the last
    // of equal ones. which: 1 for A, 2 for B, 3 for both.
    auto cursors = [&](int which) {
      return [&, which](std::uint32_t r, double x, const std::vector<double>& ys) {
        for (std::size_t k = 0; k < wanted.size(); ++k) {
          if (r >= m_channelRows[wanted[k]]) continue;
          for (int w = 1; w <= 2; ++w) {
            CursorRow& cursor = w == 1 ? out[at[k]].a : out[at[k]].b;
            if ((which & w) && x <= (w == 1 ? x0 : x1) && (!cursor.found || x >= cursor.x))
              cursor = CursorRow{true, r, x, ys[k]};
          }
        }
      };
    };
    auto span = [&](std::uint32_t, double x, const std::vector<double>& ys) {
      if (x < x0 || x > x1) return;
      for (std::size_t k = 0; k < wanted.size(); ++k) sums[k].Row(x, ys[k]);
    };
    auto both = [&](std::uint32_t r, double x, const std::vector<double>& ys) {
      cursors(3)(r, x, ys);
      span(r, x, ys);
    };
    if (!source.rising) {
      EachRow(file, source, wanted, 0, source.rows, both);
    } else {
      const auto [binFirst, binEnd] = BinsIn(source, x0, x1);
      for (std::uint32_t b = binFirst; b < binEnd; ++b) {
        const std::uint32_t r0 = b * m_binRows, r1 = BinEnd(source, b);
        if (!(source.low[b] >= x0 && source.high[b] <= x1)) {
          EachRow(file, source, wanted, r0, r1, span);
          continue;
        }
        for (std::size_t k = 0; k < wanted.size(); ++k) {
          const Bins& bins = m_channelBins[wanted[k]];
          Accumulator& sum = sums[k];
          sum.rows += source.finite[b];
          if (bins.count[b] == 0) continue;
          sum.count += bins.count[b];
          sum.sum.Add(bins.sum[b]);
          sum.squares.Add(bins.sumSquares[b]);
          if (bins.low[b] < sum.min) { sum.min = bins.low[b]; sum.xMin = bins.xOfLow[b]; }
          if (bins.high[b] > sum.max) { sum.max = bins.high[b]; sum.xMax = bins.xOfHigh[b]; }
        }
      }
      // The cursors' rows lie in the last bin that starts at or below them
      // (or, past a channel's end or over rows without X, one before).
      for (const int which : {1, 2}) {
        const double x = which == 1 ? x0 : x1;
        const std::uint32_t bins = static_cast<std::uint32_t>((std::uint64_t{source.rows} + m_binRows - 1) / m_binRows);
        std::uint32_t b = static_cast<std::uint32_t>(
            std::upper_bound(source.low.begin(), source.low.begin() + bins, x) - source.low.begin());
        for (int tries = 0; b > 0 && tries < 4; ++tries) {
          --b;
          const std::uint32_t r0 = b * m_binRows;
          EachRow(file, source, wanted, r0, BinEnd(source, b), cursors(which));
          bool all = true;
          for (std::size_t k = 0; k < wanted.size(); ++k)
            all = all && (which == 1 ? out[at[k]].a.found : out[at[k]].b.found);
          if (all) break;
        }
      }
    }
    for (std::size_t k = 0; k < wanted.size(); ++k) {
      ChannelStats& stats = out[at[k]];
      const Accumulator& sum = sums[k];
      stats.rows = sum.rows;
      stats.count = sum.count;
      if (sum.count == 0) continue;
      stats.min = sum.min;
      stats.max = sum.max;
      stats.xMin = sum.xMin;
      stats.xMax = sum.xMax;
      stats.mean = sum.sum.Value() / static_cast<double>(sum.count);
      stats.rms = std::sqrt(sum.squares.Value() / static_cast<double>(sum.count));
    }
  }
  return out;
}

std::uint64_t SectionSummary::RowsIn(CStdioFile& file, double x0, double x1) const {
  std::uint64_t most = 0;
  for (const XSource& source : m_sources) {
    std::uint64_t rows = 0;
    auto count = [&](std::uint32_t, double x, const std::vector<double>&) { rows += x >= x0 && x <= x1; };
    if (!source.rising) {
      if (source.rows > kAllRowsLimit) continue;
      EachRow(file, source, {}, 0, source.rows, count);
    } else {
      const auto [binFirst, binEnd] = BinsIn(source, x0, x1);
      for (std::uint32_t b = binFirst; b < binEnd; ++b) {
        const std::uint32_t r0 = b * m_binRows;
        if (source.low[b] >= x0 && source.high[b] <= x1) {
          rows += source.finite[b];
        } else {
          EachRow(file, source, {}, r0, BinEnd(source, b), count);
        }
      }
    }
    most = std::max(most, rows);
  }
  return most;
}

}  // namespace qtx::tool::view
