// The pieces that building a summary (Summary.cpp) and answering from it
// (SummaryAnswer.cpp) share. Internal to the view room.
#ifndef QTX_TOOLS_VIEW_SUMMARYPARTS_H
#define QTX_TOOLS_VIEW_SUMMARYPARTS_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace qtx::tool::view::parts {

constexpr std::uint32_t kLeastBinRows = 512;
constexpr std::uint64_t kMostBins = std::uint64_t{1} << 21;
// Values read at once while the summary is built, and rows at once for a query.
constexpr std::size_t kChunkValues = std::size_t{1} << 22;
constexpr std::uint32_t kQueryChunkRows = 1u << 18;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The rows in one bin of a section of `rows` rows: at least 512, more for
// huge sections, so that the bins stay under kMostBins.
inline std::uint32_t BinRowsFor(std::uint32_t rows) {
  const std::uint64_t wide = (std::uint64_t{rows} + kMostBins - 1) / kMostBins;
  return static_cast<std::uint32_t>(wide > kLeastBinRows ? wide : kLeastBinRows);
}

// A sum with Neumaier's compensation: the error of every addition is kept
// and added at the end.
struct Sum {
  double sum = 0, error = 0;
  void Add(double v) {
    const double t = sum + v;
    error += std::fabs(sum) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
    sum = t;
  }
  double Value() const { return sum + error; }
};

// Statistics of finite values; the first of equal extremes keeps its X.
struct Accumulator {
  std::uint64_t rows = 0, count = 0;
  Sum sum, squares;
  double min = INFINITY, max = -INFINITY, xMin = kNaN, xMax = kNaN;
  void Row(double x, double y) {
    ++rows;
    if (!std::isfinite(y)) return;
    ++count;
    sum.Add(y);
    squares.Add(y * y);
    if (y < min) {
      min = y;
      xMin = x;
    }
    if (y > max) {
      max = y;
      xMax = x;
    }
  }
};

}  // namespace qtx::tool::view::parts

#endif  // QTX_TOOLS_VIEW_SUMMARYPARTS_H
