// Building a summary: its structure (the channels' rows and the X sources),
// the bins from the rows, and the extension over rows appended since.
#include "view/Summary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "cli/Tool.h"
#include "view/SummaryParts.h"

namespace qtx::tool::view {
namespace {

using parts::Accumulator;
using parts::kChunkValues;
using parts::kNaN;

// The rows of `section` a summary covers: those the file holds, never more
// than declared.
std::uint32_t RowsHeld(const CQTXSection& section) {
  const std::uint32_t declared = section.RowCount();
  return section.m_bRowsCounted ? std::min(declared, section.m_nRowsInFile) : declared;
}

template <typename T>
void FillFrom(std::vector<T>& values, std::uint32_t size, std::uint32_t first, T value) {
  values.resize(size);
  std::fill(values.begin() + std::min(first, size), values.end(), value);
}

template <typename T>
bool SameValues(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace

SectionSummary::SectionSummary(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                               Covering covering)
    : m_qtx(qtx), m_path(path), m_section(section), m_xLow(kNaN), m_xHigh(kNaN) {
  Layout(covering.rows);
}

SectionSummary::SectionSummary(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                               unsigned threads, const Progress& progress)
    : SectionSummary(qtx, path, section, Covering{RowsHeld(section)}) {
  ClearFrom(0);
  SummariseFrom(0, threads, progress);
}

void SectionSummary::Layout(std::uint32_t rows) {
  m_rows = rows;
  m_binRows = parts::BinRowsFor(rows);
  m_bins = static_cast<std::uint32_t>((std::uint64_t{m_rows} + m_binRows - 1) / m_binRows);
  m_channelRows.clear();
  m_sourceOf.clear();
  for (XSource& source : m_sources) source.rows = 0;
  const int n = std::max(0, m_section.m_nChannels);
  for (int c = 0; c < n; ++c) {
    const CQTXChannel* channel = m_section.m_arrChannels.GetAt(c);
    m_channelRows.push_back(std::min(channel->m_nSamples, m_rows));
    int source = -1;
    for (std::size_t s = 0; s < m_sources.size() && source < 0; ++s) {
      const CQTXChannel* reader = m_section.m_arrChannels.GetAt(m_sources[s].reader);
      const bool shared = m_qtx.m_nXColumns == 1 ||
                          (m_qtx.m_nXColumns != 2 && parts::SameBits(reader->m_dX0, channel->m_dX0) &&
                           parts::SameBits(reader->m_dDeltaX, channel->m_dDeltaX));
      if (shared) source = static_cast<int>(s);
    }
    if (source < 0) {
      // A channel reads its own X only when no channel before it shares it;
      // a layout again over the same channels finds the same sources.
      source = static_cast<int>(m_sources.size());
      m_sources.push_back(XSource{c, 0, true, -INFINITY, {}, {}, {}});
    }
    m_sourceOf.push_back(source);
    m_sources[source].rows = std::max(m_sources[source].rows, m_channelRows.back());
  }
  m_channelBins.resize(m_channelRows.size());
}

std::size_t SectionSummary::Size() const {
  // Per bin: eight doubles and a count per channel, two doubles and a count
  // per X source; a count is half a double.
  return std::size_t{m_bins} * (17 * m_channelBins.size() + 5 * m_sources.size()) / 2;
}

void SectionSummary::ClearFrom(std::uint32_t firstBin) {
  for (XSource& source : m_sources) {
    FillFrom(source.low, m_bins, firstBin, kNaN);
    FillFrom(source.high, m_bins, firstBin, kNaN);
    FillFrom(source.finite, m_bins, firstBin, std::uint32_t{0});
  }
  for (Bins& bins : m_channelBins) {
    for (std::vector<double>* values : {&bins.first, &bins.low, &bins.high, &bins.last, &bins.xOfLow, &bins.xOfHigh})
      FillFrom(*values, m_bins, firstBin, kNaN);
    FillFrom(bins.sum, m_bins, firstBin, 0.0);
    FillFrom(bins.sumSquares, m_bins, firstBin, 0.0);
    FillFrom(bins.count, m_bins, firstBin, std::uint32_t{0});
  }
}

void SectionSummary::SummariseFrom(std::uint32_t firstBin, unsigned threads, const Progress& progress) {
  const std::size_t n = m_channelRows.size();
  const std::uint32_t openBin = m_rows / m_binRows;  // the first bin that is not full
  const std::uint32_t start =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{firstBin} * m_binRows, m_rows));
  std::vector<double> lastX;
  for (const XSource& source : m_sources) lastX.push_back(source.resumeX);
  if (n > 0 && start < m_rows) {
    const std::size_t perChunk =
        std::max<std::size_t>(1, kChunkValues / (std::size_t{m_binRows} * (n + m_sources.size())));
    const std::uint32_t chunkRows =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{m_binRows} * perChunk, m_rows - start));
    std::vector<std::vector<double>> xs(m_sources.size(), std::vector<double>(chunkRows));
    std::vector<std::vector<double>> ys(n, std::vector<double>(chunkRows));
    std::vector<QTXChannelTarget> targets;
    for (std::size_t c = 0; c < n; ++c) {
      const int source = m_sourceOf[c];
      const bool reads = m_sources[source].reader == static_cast<int>(c);
      targets.push_back({static_cast<int>(c), reads ? xs[source].data() : nullptr, ys[c].data()});
    }
    const CString file(m_path.c_str());
    const unsigned cores = threads ? threads : std::max(1u, std::thread::hardware_concurrency());

    // Chunks start at bin starts and hold whole bins but the last.
    for (std::uint32_t r0 = start; r0 < m_rows; r0 += std::min(chunkRows, m_rows - r0)) {
      const std::uint32_t count = std::min(chunkRows, m_rows - r0);
      const QTXRowsRead read = m_qtx.QTX_ReadRowsParallel(file, &m_section, r0, count, targets.data(), n, threads);
      if (read.nRows < count) throw Failure(m_path + " changed while it was read: rows are missing");
      for (std::uint32_t b0 = 0; b0 < count; b0 += m_binRows) {
        const std::uint32_t bin = (r0 + b0) / m_binRows;
        const std::uint32_t end = std::min(count, b0 + m_binRows);
        for (std::size_t s = 0; s < m_sources.size(); ++s) {
          XSource& source = m_sources[s];
          if (bin == openBin) source.resumeX = lastX[s];
          double low = INFINITY, high = -INFINITY;
          const std::uint32_t stop = std::min(end, source.rows > r0 ? source.rows - r0 : 0);
          for (std::uint32_t i = b0; i < stop; ++i) {
            const double x = xs[s][i];
            if (!std::isfinite(x)) continue;
            ++source.finite[bin];
            if (x < lastX[s]) source.rising = false;
            lastX[s] = x;
            low = std::min(low, x);
            high = std::max(high, x);
          }
          if (low > high) low = high = lastX[s];  // no finite X: keeps the bins' X in order
          source.low[bin] = low;
          source.high[bin] = high;
        }
      }
      // The channels' bins depend on their own rows alone: split by bins
      // over the cores, each worker writing only its bins.
      const auto channelBins = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t b0 = from; b0 < to; b0 += m_binRows) {
          const std::uint32_t bin = (r0 + b0) / m_binRows;
          const std::uint32_t end = std::min(count, b0 + m_binRows);
          for (std::size_t c = 0; c < n; ++c) {
            const std::vector<double>& x = xs[m_sourceOf[c]];
            const std::vector<double>& y = ys[c];
            Bins& bins = m_channelBins[c];
            const std::uint32_t stop = std::min(end, m_channelRows[c] > r0 ? m_channelRows[c] - r0 : 0);
            double first = kNaN, last = kNaN;
            Accumulator stats;
            for (std::uint32_t i = b0; i < stop; ++i) {
              if (!std::isfinite(y[i]) || !std::isfinite(x[i])) continue;
              if (std::isnan(first)) first = y[i];
              last = y[i];
              stats.Row(x[i], y[i]);
            }
            if (!std::isnan(first)) {
              bins.first[bin] = first;
              bins.low[bin] = stats.min;
              bins.high[bin] = stats.max;
              bins.last[bin] = last;
              bins.count[bin] = static_cast<std::uint32_t>(stats.count);
              bins.sum[bin] = stats.sum.Value();
              bins.sumSquares[bin] = stats.squares.Value();
              bins.xOfLow[bin] = stats.xMin;
              bins.xOfHigh[bin] = stats.xMax;
            }
          }
        }
      };
      const std::uint32_t chunkBins = (count + m_binRows - 1) / m_binRows;
      const std::uint32_t workers = std::min<std::uint32_t>(cores, chunkBins);
      std::vector<std::thread> pool;
      const auto binStart = [&](std::uint32_t w) {
        return static_cast<std::uint32_t>(std::uint64_t{chunkBins} * w / workers) * m_binRows;
      };
      try {
        for (std::uint32_t w = 1; w < workers; ++w)
          pool.emplace_back(channelBins, binStart(w), std::min(count, binStart(w + 1)));
      } catch (...) {
        for (std::thread& t : pool) t.join();
        throw;
      }
      channelBins(0, std::min(count, binStart(1)));
      for (std::thread& t : pool) t.join();
      if (progress) progress(r0 + count);
    }
  }
  // Every bin full: an extension starts a new bin after the last X seen.
  if (openBin >= m_bins)
    for (std::size_t s = 0; s < m_sources.size(); ++s) m_sources[s].resumeX = lastX[s];
  Bounds();
}

void SectionSummary::Bounds() {
  // In the order of the bins, as the rows come: the same bins give the same
  // bounds, zeros of either sign included.
  m_xLow = m_xHigh = kNaN;
  for (std::uint32_t b = 0; b < m_bins; ++b) {
    for (const XSource& source : m_sources) {
      if (!std::isfinite(source.low[b])) continue;
      m_xLow = std::fmin(m_xLow, source.low[b]);
      m_xHigh = std::fmax(m_xHigh, source.high[b]);
    }
  }
}

std::uint32_t SectionSummary::Extend(unsigned threads, const Progress& progress) {
  const std::uint32_t rows = RowsHeld(m_section);
  if (rows <= m_rows) return 0;
  if (parts::BinRowsFor(rows) != m_binRows) {
    for (XSource& source : m_sources) {
      source.rising = true;
      source.resumeX = -INFINITY;
    }
    Layout(rows);
    ClearFrom(0);
    SummariseFrom(0, threads, progress);
    return rows;
  }
  const std::uint32_t firstBin = m_rows / m_binRows;
  Layout(rows);
  ClearFrom(firstBin);
  SummariseFrom(firstBin, threads, progress);
  return rows - firstBin * m_binRows;
}

bool SectionSummary::SameBins(const SectionSummary& other) const {
  if (m_rows != other.m_rows || m_binRows != other.m_binRows || m_bins != other.m_bins ||
      m_channelRows != other.m_channelRows || m_sourceOf != other.m_sourceOf ||
      m_sources.size() != other.m_sources.size() || m_channelBins.size() != other.m_channelBins.size() ||
      !parts::SameBits(m_xLow, other.m_xLow) || !parts::SameBits(m_xHigh, other.m_xHigh))
    return false;
  for (std::size_t s = 0; s < m_sources.size(); ++s) {
    const XSource &a = m_sources[s], &b = other.m_sources[s];
    if (a.reader != b.reader || a.rows != b.rows || a.rising != b.rising || !parts::SameBits(a.resumeX, b.resumeX) ||
        !SameValues(a.low, b.low) || !SameValues(a.high, b.high) || !SameValues(a.finite, b.finite))
      return false;
  }
  for (std::size_t c = 0; c < m_channelBins.size(); ++c) {
    const Bins &a = m_channelBins[c], &b = other.m_channelBins[c];
    if (!SameValues(a.first, b.first) || !SameValues(a.low, b.low) || !SameValues(a.high, b.high) ||
        !SameValues(a.last, b.last) || !SameValues(a.count, b.count) || !SameValues(a.sum, b.sum) ||
        !SameValues(a.sumSquares, b.sumSquares) || !SameValues(a.xOfLow, b.xOfLow) ||
        !SameValues(a.xOfHigh, b.xOfHigh))
      return false;
  }
  return true;
}

}  // namespace qtx::tool::view
