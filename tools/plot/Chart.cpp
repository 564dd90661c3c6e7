#include "plot/Chart.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace qtx::tool {
namespace {

// The power of ten of a step of 1, 2 or 5 times it. The small nudge keeps
// log10(0.001), which may come out a hair below -3, at -3. Doubles span
// powers from -324 to 308; the clamp keeps the conversion defined.
int StepExponent(double step) {
  const double exponent = std::floor(std::log10(step) + 1e-9);
  return std::isfinite(exponent) ? static_cast<int>(std::clamp(exponent, -400.0, 400.0)) : 0;
}

// k * step for the whole number k nearest to value / step, when value lies
// that close to a multiple; floor or ceil of the quotient otherwise. Keeps
// 0.6 / 0.1 = 5.999... from pushing an axis a whole step out.
double Multiple(double value, double step, bool up) {
  const double quotient = value / step;
  const double nearest = std::round(quotient);
  if (std::fabs(quotient - nearest) < 1e-9) return nearest * step;
  return (up ? std::ceil(quotient) : std::floor(quotient)) * step;
}

}  // namespace

Axis MakeAxis(double low, double high, int target, bool expand) {
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) {
    low = 0.0;
    high = 1.0;
  }
  target = std::max(target, 1);
  // Halves throughout: high - low overflows for data near the largest doubles.
  const double mid = low / 2 + high / 2;
  if (high / 2 - low / 2 <= std::fabs(mid) * 1e-12) {
    // One value, or values that differ only in their last bits.
    const double half = mid == 0.0 ? 1.0 : std::fabs(mid) / 10;
    low = std::max(mid - half, -DBL_MAX);
    high = std::min(mid + half, DBL_MAX);
  }

  const double raw = (high / 2 - low / 2) / target * 2;
  int exponent = StepExponent(raw);
  const double mantissa = raw / std::pow(10.0, exponent);
  int digit = mantissa <= 1.0 + 1e-9 ? 1 : mantissa <= 2.0 + 1e-9 ? 2 : mantissa <= 5.0 + 1e-9 ? 5 : 10;
  double step = digit * std::pow(10.0, exponent);
  if (!std::isfinite(step) || step <= 0.0) step = raw;

  Axis axis;
  axis.step = step;
  axis.low = low;
  axis.high = high;
  if (expand) {
    // The ends move out to the ticks at or beyond the data. Of this step and
    // the two finer ones of the 1, 2, 5 series, a finer one wins where its
    // ends hug the data a tenth closer, as long as its ticks stay within
    // three times the target: data from -81 to 700 gets an axis from -100,
    // not from -200.
    double span = INFINITY;
    double candidate = step;
    for (int finer = 0; finer < 3; ++finer) {
      const double expandedLow = Multiple(low, candidate, false);
      const double expandedHigh = Multiple(high, candidate, true);
      const double candidateSpan = expandedHigh / 2 - expandedLow / 2;
      if (finer > 0 && candidateSpan / candidate * 2 > 3.0 * target + 0.5) break;
      if (std::isfinite(expandedLow) && std::isfinite(expandedHigh) && candidateSpan < span * 0.9) {
        span = candidateSpan;
        axis.step = candidate;
        axis.low = std::min(expandedLow, low);
        axis.high = std::max(expandedHigh, high);
      }
      // 1 -> 0.5, 2 -> 1, 5 -> 2, 10 -> 5 times the power of ten.
      if (digit == 1) --exponent;
      digit = digit == 1 ? 5 : digit == 2 ? 1 : digit == 5 ? 2 : 5;
      candidate = digit * std::pow(10.0, exponent);
      if (!std::isfinite(candidate) || candidate <= 0.0) break;
    }
  }
  step = axis.step;

  // A bounded loop: where the step is lost in the rounding of the values,
  // the ticks stop coming out distinct.
  const double first = Multiple(axis.low, step, true) / step;
  for (int i = 0; i < 100; ++i) {
    double tick = (first + i) * step;
    // Not high + tolerance: next to the largest double that sum is infinite.
    if (!std::isfinite(tick) || tick - axis.high > step * 1e-9) break;
    if (std::fabs(tick) < step * 1e-9) tick = 0.0;
    if (!axis.ticks.empty() && tick <= axis.ticks.back()) break;
    axis.ticks.push_back(tick);
  }
  return axis;
}

std::vector<std::vector<std::size_t>> PanelsByUnit(const std::vector<std::string>& units, bool split) {
  std::vector<std::vector<std::size_t>> panels;
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto at = std::find(seen.begin(), seen.end(), split ? units[i] : std::string());
    if (at == seen.end()) {
      seen.push_back(split ? units[i] : std::string());
      panels.push_back({i});
    } else {
      panels[static_cast<std::size_t>(at - seen.begin())].push_back(i);
    }
  }
  return panels;
}

Span PanelSpan(double top, double bottom, std::size_t index, std::size_t count, double gap) {
  const double n = static_cast<double>(std::max<std::size_t>(count, 1));
  const double height = std::max(1.0, (bottom - top - gap * (n - 1)) / n);
  const double panelTop = top + static_cast<double>(index) * (height + gap);
  return {panelTop, panelTop + height};
}

std::string TickLabel(double value, double step) {
  if (!std::isfinite(value)) return "";
  if (std::fabs(value) < step * 1e-9) return "0";
  const int stepExponent = StepExponent(step);
  char text[64];
  if (stepExponent >= 6 || stepExponent < -4) {
    const int valueExponent = StepExponent(std::fabs(value));
    std::snprintf(text, sizeof text, "%.*e", std::max(0, valueExponent - stepExponent), value);
    // 2.5e-06 as 2.5e-6, 1e+09 as 1e9.
    std::string label = text;
    const std::size_t e = label.find('e');
    std::size_t digits = e + 1;
    std::string exponent = label[digits] == '-' ? "-" : "";
    if (label[digits] == '+' || label[digits] == '-') ++digits;
    while (digits + 1 < label.size() && label[digits] == '0') ++digits;
    return label.substr(0, e + 1) + exponent + label.substr(digits);
  }
  std::snprintf(text, sizeof text, "%.*f", std::max(0, -stepExponent), value);
  return text;
}

void ColumnReducer::Add(Point point) {
  // Pixel coordinates are small; the clamp only keeps the conversion defined.
  const long long column = static_cast<long long>(std::floor(std::clamp(point.x, -1e15, 1e15)));
  if (m_count > 0 && column != m_column) Flush();
  if (m_count == 0) {
    m_column = column;
    m_first = m_low = m_high = point;
    m_lowAt = m_highAt = 0;
  } else if (point.y < m_low.y) {
    m_low = point;
    m_lowAt = m_count;
  } else if (point.y > m_high.y) {
    m_high = point;
    m_highAt = m_count;
  }
  m_last = point;
  ++m_count;
}

void ColumnReducer::Break() {
  Finish();
  if (!m_out.empty() && !IsBreak(m_out.back())) m_out.push_back(kBreak);
}

void ColumnReducer::Finish() {
  if (m_count > 0) Flush();
}

void ColumnReducer::Flush() {
  std::pair<std::size_t, Point> kept[4] = {
      {0, m_first}, {m_lowAt, m_low}, {m_highAt, m_high}, {m_count - 1, m_last}};
  std::sort(std::begin(kept), std::end(kept), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < 4; ++i)
    if (i == 0 || kept[i].first != kept[i - 1].first) m_out.push_back(kept[i].second);
  m_count = 0;
}

namespace {

// Which edges between neighbouring cells kept line pieces cross, and which
// cells they touch or hold a lone point.
class CellGrid {
 public:
  CellGrid(const Area& area, double cell)
      : m_area(area),
        m_cell(cell),
        m_columns(static_cast<long long>((area.right - area.left) / cell) + 1),
        m_rows(static_cast<long long>((area.bottom - area.top) / cell) + 1),
        m_cells(static_cast<std::size_t>(m_columns * m_rows), 0) {}

  // Marks the edges that a line from a to b crosses, walking the cells from
  // a's to b's; returns whether one of them was new.
  bool Mark(Point a, Point b) {
    auto [x, y] = CellOf(a);
    const auto [xEnd, yEnd] = CellOf(b);
    const long long dx = std::llabs(xEnd - x), dy = -std::llabs(yEnd - y);
    const long long sx = x < xEnd ? 1 : -1, sy = y < yEnd ? 1 : -1;
    long long error = dx + dy;
    bool fresh = false;
    while (x != xEnd || y != yEnd) {
      long long nx = x, ny = y;
      const long long twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        nx += sx;
      }
      if (twice <= dx) {
        error += dx;
        ny += sy;
      }
      fresh = Edge(x, y, nx, ny) || fresh;
      x = nx;
      y = ny;
    }
    return fresh;
  }

  bool SameCell(Point a, Point b) const { return CellOf(a) == CellOf(b); }

  // Marks a point drawn alone; false when its cell shows something already.
  bool MarkDot(Point a) {
    const auto [x, y] = CellOf(a);
    std::uint8_t& bits = At(x, y);
    if (bits & (kTouched | kDot)) return false;
    bits |= kDot;
    return true;
  }

 private:
  // Bits 0 to 3: the edges to the east, south, south-east and south-west
  // neighbour; then whether a kept line touches the cell, and a lone point.
  static constexpr std::uint8_t kTouched = 1 << 4;
  static constexpr std::uint8_t kDot = 1 << 5;

  std::pair<long long, long long> CellOf(Point p) const {
    const auto index = [this](double offset, long long count) {
      return std::clamp(static_cast<long long>(std::floor(std::clamp(offset / m_cell, -1.0, 1e15))), 0LL,
                        count - 1);
    };
    return {index(p.x - m_area.left, m_columns), index(p.y - m_area.top, m_rows)};
  }
  std::uint8_t& At(long long x, long long y) { return m_cells[static_cast<std::size_t>(y * m_columns + x)]; }

  bool Edge(long long x, long long y, long long nx, long long ny) {
    // Each edge is kept once, at the cell it leaves eastwards or southwards.
    if (ny < y || (ny == y && nx < x)) {
      std::swap(x, nx);
      std::swap(y, ny);
    }
    const int direction = ny == y ? 0 : nx == x ? 1 : nx > x ? 2 : 3;
    std::uint8_t& bits = At(x, y);
    At(nx, ny) |= kTouched;
    const bool fresh = (bits & (1 << direction)) == 0;
    bits |= static_cast<std::uint8_t>((1 << direction) | kTouched);
    return fresh;
  }

  Area m_area;
  double m_cell;
  long long m_columns;
  long long m_rows;
  std::vector<std::uint8_t> m_cells;
};

// The costs of Cost(): a point, a new line element, a circle.
constexpr std::size_t kPointCost = 1;
constexpr std::size_t kBreakCost = 5;
constexpr std::size_t kDotCost = 8;

}  // namespace

std::size_t Cost(const std::vector<Point>& curve) {
  std::size_t cost = 0;
  std::size_t run = 0;
  for (std::size_t i = 0; i <= curve.size(); ++i) {
    if (i < curve.size() && !IsBreak(curve[i])) {
      cost += kPointCost;
      ++run;
      continue;
    }
    cost += run == 1 ? kDotCost : 0;
    cost += i < curve.size() ? kBreakCost : 0;
    run = 0;
  }
  return cost;
}

std::vector<Point> Thinned(const std::vector<Point>& curve, const Area& area, std::size_t budget) {
  const double width = std::max(area.right - area.left, 1.0), height = std::max(area.bottom - area.top, 1.0);
  // A byte per cell, some 4 MB at most.
  double cell = std::max(1.0, std::ceil(std::sqrt(width * height / 4e6)));
  std::vector<Point> out;
  for (;; cell *= 2) {
    out.clear();
    CellGrid grid(area, cell);
    std::size_t cost = 0;
    auto openLine = [&](Point first) {
      if (!out.empty() && !IsBreak(out.back())) {
        out.push_back(kBreak);
        cost += kBreakCost;
      }
      out.push_back(first);
      cost += kPointCost;
    };
    const Point* previous = nullptr;  // the point before, in the current line
    const Point* lineStart = nullptr;
    bool previousKept = false;
    bool lineDrawn = false;
    auto endLine = [&] {
      // A line that drew nothing shows as a point where nothing is drawn yet.
      if (lineStart && !lineDrawn && grid.MarkDot(*lineStart)) {
        openLine(*lineStart);
        cost += kDotCost;
      }
      previous = lineStart = nullptr;
      previousKept = false;
    };
    for (const Point& point : curve) {
      if (cost > budget) break;
      if (IsBreak(point)) {
        endLine();
        continue;
      }
      // Within one cell the line moves by less than the grid shows: it goes
      // on from the first point there to the first in another cell.
      if (previous && grid.SameCell(*previous, point)) continue;
      if (previous && grid.Mark(*previous, point)) {
        if (!previousKept) openLine(*previous);
        out.push_back(point);
        cost += kPointCost;
        lineDrawn = true;
        previousKept = true;
      } else {
        previousKept = false;
      }
      if (!lineStart) {
        lineStart = &point;
        lineDrawn = false;
      }
      previous = &point;
    }
    endLine();
    if (cost <= budget || cell >= std::max(width, height)) return out;
  }
}

}  // namespace qtx::tool
