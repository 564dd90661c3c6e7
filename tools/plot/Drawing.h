// The drawing of qtx plot: the chart the command lays out (its curves,
// panels, titles and size) drawn as one SVG document, and the texts of its
// titles.
#ifndef QTX_TOOLS_PLOT_DRAWING_H
#define QTX_TOOLS_PLOT_DRAWING_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plot/Chart.h"
#include "qtx/QTXLibrary.h"

namespace qtx::tool::plot {

// "Voltage [V]", "Voltage", "[V]" or "".
std::string AxisLabel(const CString& dimension, const CString& unit);
// The labels that differ, in channel order, without the empty ones.
std::vector<std::string> Distinct(const std::vector<std::string>& labels);
std::string Joined(const std::vector<std::string>& labels);

// Maps a value of an axis onto pixels from `from` to `to`; halves keep the
// span finite for values near the largest doubles.
struct Scale {
  Axis axis;
  double from;
  double to;
  double operator()(double value) const {
    return from + (value / 2 - axis.low / 2) / (axis.high / 2 - axis.low / 2) * (to - from);
  }
};

struct Curve {
  const CQTXChannel* channel;
  int index;               // within the section
  std::uint32_t rows = 0;  // its own: its Samples, or fewer when the file ends first
  std::size_t finite = 0;  // rows with a finite X and Y
  double yLow = INFINITY;  // the range of its finite points' Y
  double yHigh = -INFINITY;
};

// Curves drawn on one Y axis: those of one unit, or all of them.
struct Panel {
  std::vector<std::size_t> curves;  // positions in Chart::curves
  std::string yTitle;
  double yLow = INFINITY;
  double yHigh = -INFINITY;
};

// The curves' points in pixels, for the scales of the drawing (the X one and
// the Y one of each curve's panel): one list per curve, breaks where a value
// is not finite.
using Reduction = std::function<std::vector<std::vector<Point>>(const Scale& x, const std::vector<Scale>& ys)>;

struct Chart {
  Reduction reduce;
  std::string title;
  std::string xTitle;
  std::vector<std::string> legend;
  std::vector<Curve> curves;
  std::vector<Panel> panels;  // top to bottom
  std::uint32_t rows = 0;
  int width = 0;
  int height = 0;
};

// The SVG document of the chart, its X axis over [xLow, xHigh].
std::string Draw(const Chart& chart, double xLow, double xHigh);

}  // namespace qtx::tool::plot

#endif  // QTX_TOOLS_PLOT_DRAWING_H
