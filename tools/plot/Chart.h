// The arithmetic of a line chart: axes with round-number ticks, and the
// reduction that draws a curve of millions of points with a few per pixel
// column without losing its extremes.
#ifndef QTX_TOOLS_PLOT_CHART_H
#define QTX_TOOLS_PLOT_CHART_H

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace qtx::tool {

// The range an axis shows and its ticks: the multiples, within the range, of
// a step that is 1, 2 or 5 times a power of ten. high > low always.
struct Axis {
  double low = 0.0;
  double high = 1.0;
  double step = 0.0;
  std::vector<double> ticks;
};

// An axis for the data range [low, high] with about `target` ticks. A range of
// one value is widened around it; a range that is not a finite, ordered pair
// becomes [0, 1]. With `expand` the range grows out to the ticks at or beyond
// the data, so that the curve starts and ends on a gridline.
Axis MakeAxis(double low, double high, int target, bool expand);

// The label of a tick of an axis with this step: the digits that tell the
// ticks apart, "0" for zero, exponent form (2.5e-6) for very large or very
// small steps.
std::string TickLabel(double value, double step);

// The curves of a chart grouped into panels, one per Y unit label in the
// order the units first appear, when `split`; else one panel of them all.
// Each panel lists the positions of its curves.
std::vector<std::vector<std::size_t>> PanelsByUnit(const std::vector<std::string>& units, bool split);

// The top and bottom of panel `index` of `count` stacked from `top` down to
// `bottom`, `gap` pixels apart, all of one height.
struct Span {
  double top;
  double bottom;
};
Span PanelSpan(double top, double bottom, std::size_t index, std::size_t count, double gap);

struct Point {
  double x;
  double y;
};

// A curve is a list of points in pixel coordinates; a break (x NaN) between
// two points says that they are not joined.
constexpr Point kBreak{std::numeric_limits<double>::quiet_NaN(), 0.0};
inline bool IsBreak(const Point& point) {
  return std::isnan(point.x);
}

// Reduces a curve, given point by point in pixel coordinates, to at most four
// points per pixel column: the first, the lowest, the highest and the last of
// each column, in the order the curve passes them. Drawn as a line it covers
// the same pixels as the whole curve, every spike included.
class ColumnReducer {
 public:
  explicit ColumnReducer(std::vector<Point>& out) : m_out(out) {}

  void Add(Point point);
  // Ends the line: the next point starts a new one.
  void Break();
  // Emits the last column; call once after the last point.
  void Finish();

 private:
  void Flush();

  std::vector<Point>& m_out;
  long long m_column = 0;
  std::size_t m_count = 0;  // points in the current column; 0 before the first
  Point m_first{};
  Point m_last{};
  Point m_low{};
  Point m_high{};
  std::size_t m_lowAt = 0;
  std::size_t m_highAt = 0;
};

// The rectangle a curve is drawn in, in pixels.
struct Area {
  double left;
  double top;
  double right;
  double bottom;
};

// What a curve costs in the document, counted in points: a break opens a new
// line element, a line of one point is also marked with a circle.
std::size_t Cost(const std::vector<Point>& curve);

// A curve of at most `budget` (Cost) for any path its points take, also one
// that goes back and forth across the area a million times. Lines stay as
// they are, but a line piece is left out when it crosses only cell edges of
// a grid of square cells that pieces kept before crossed already: what is
// left out lies within a cell of what is drawn. The cells are a pixel where
// the budget allows, and grow until it holds.
std::vector<Point> Thinned(const std::vector<Point>& curve, const Area& area, std::size_t budget);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_PLOT_CHART_H
