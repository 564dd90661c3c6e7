// qtx plot FILE -o OUT.svg: the channels of a section as an SVG line chart.
// One line per channel in its own colour, axes with round-number ticks and
// titles from the dimensions and unit labels, a legend with the Y headings,
// and the file name and section as the title.
//
// A section of a million rows is drawn with at most four points per pixel
// column (first, lowest, highest, last), so the SVG stays small and every
// spike still shows; an X that goes back and forth is thinned on a grid of
// pixel cells instead. Values that are not finite leave a gap in the line.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "plot/Chart.h"
#include "plot/Plot.h"
#include "plot/Svg.h"
#include "sections/RowSelection.h"
#include "sections/SectionChunks.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx plot FILE -o OUT.svg [--section N] [--channel C | --channels LIST] [--width W] [--height H] "
    "[--x LO:HI] [--split|--no-split]\n"
    "\n"
    "  Draws the channels of a section as an SVG line chart: one line per channel,\n"
    "  axes with round-number ticks, titles from the dimensions and unit labels,\n"
    "  and a legend with the headings. Large sections keep the lowest and highest\n"
    "  value of every pixel column, so no spike is lost; values that are not\n"
    "  finite leave a gap. The Y axis ends at the round tick next beyond the data.\n"
    "\n"
    "  -o, --output OUT  the SVG file to write, or - for stdout\n"
    "  --section N       the section to draw, counted from 0 (default 0)\n"
    "  --channel C       only channel C of the section: its index from 0 or Y heading\n"
    "  --channels LIST   those channels, indexes or headings, comma-separated (default: all)\n"
    "  --width W         width of the image in pixels, 300 to 20000 (default 800)\n"
    "  --height H        height of the image in pixels, 300 to 20000 (default 500)\n"
    "  --x LO:HI         only the rows whose X lies from LO to HI, for an X that the\n"
    "                    channels share and that does not decrease\n"
    "  --split           one panel per Y unit, one above the other on a shared X\n"
    "                    axis (the default when the channels' units differ)\n"
    "  --no-split        all channels in one panel\n"
    "\n"
    "  The rows are read a piece at a time, so memory stays small whatever the\n"
    "  section's size.\n";

constexpr long long kDefaultWidth = 800;
constexpr long long kDefaultHeight = 500;
constexpr long long kSmallest = 300;
constexpr long long kLargest = 20000;

// Colours that stay apart for most forms of colour blindness; after them
// hues a golden angle apart in three lightnesses, every other three dashed.
const char* const kColours[] = {"#0072b2", "#d55e00", "#009e73", "#cc79a7", "#e69f00", "#56b4e9", "#000000"};
constexpr std::size_t kColourCount = sizeof kColours / sizeof kColours[0];

std::string ColourOf(std::size_t i) {
  if (i < kColourCount) return kColours[i];
  const std::size_t k = i - kColourCount;
  const double hue = std::fmod(20.0 + 137.50776405 * static_cast<double>(k), 360.0) / 60.0;
  const double lightness = 0.3 + 0.15 * static_cast<double>(k % 3),
               chroma = (1 - std::fabs(2 * lightness - 1)) * 0.85;
  const double second = chroma * (1 - std::fabs(std::fmod(hue, 2.0) - 1));
  const int sextant = static_cast<int>(hue);
  const double rgb[3] = {sextant == 0 || sextant == 5   ? chroma
                         : sextant == 1 || sextant == 4 ? second
                                                        : 0,
                         sextant == 1 || sextant == 2   ? chroma
                         : sextant == 0 || sextant == 3 ? second
                                                        : 0,
                         sextant == 3 || sextant == 4   ? chroma
                         : sextant == 2 || sextant == 5 ? second
                                                        : 0};
  char text[8];
  const auto byte = [&](double c) {
    return static_cast<int>(std::lround(255 * (c + lightness - chroma / 2)));
  };
  std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(rgb[0]), byte(rgb[1]), byte(rgb[2]));
  return text;
}
const char* DashOf(std::size_t i) {
  return i >= kColourCount && (i - kColourCount) / 3 % 2 == 1 ? "7 3" : "";
}

// Approximate width of a text in a sans-serif font of this size.
double TextWidth(std::size_t characters, double fontSize) {
  return static_cast<double>(characters) * fontSize * 0.6;
}

// "Voltage [V]", "Voltage", "[V]" or "".
std::string AxisLabel(const CString& dimension, const CString& unit) {
  std::string label(dimension.View());
  if (!unit.IsEmpty()) label += (label.empty() ? "[" : " [") + std::string(unit.View()) + "]";
  return label;
}

// The labels that differ, in channel order, without the empty ones.
std::vector<std::string> Distinct(const std::vector<std::string>& labels) {
  std::vector<std::string> distinct;
  for (const std::string& label : labels)
    if (!label.empty() && std::find(distinct.begin(), distinct.end(), label) == distinct.end())
      distinct.push_back(label);
  return distinct;
}

std::string Joined(const std::vector<std::string>& labels) {
  std::string joined;
  for (const std::string& label : labels) joined += (joined.empty() ? "" : ", ") + label;
  return joined;
}

std::string Shortened(const std::string& text, std::size_t characters) {
  if (text.size() <= characters) return text;
  return text.substr(0, characters > 3 ? characters - 3 : 0) + "...";
}

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

void DrawAxes(SvgWriter& svg, const Scale& x, const Scale& y, double top, double bottom, double left,
              double right, bool xLabels) {
  svg.Open("g").Attribute("class", "grid").Attribute("stroke", "#e4e4e4").Attribute("stroke-width", 1.0);
  for (const double tick : x.axis.ticks)
    svg.Open("line")
        .Attribute("x1", x(tick))
        .Attribute("y1", top)
        .Attribute("x2", x(tick))
        .Attribute("y2", bottom)
        .Close();
  for (const double tick : y.axis.ticks)
    svg.Open("line")
        .Attribute("x1", left)
        .Attribute("y1", y(tick))
        .Attribute("x2", right)
        .Attribute("y2", y(tick))
        .Close();
  svg.Close();
  svg.Open("rect")
      .Attribute("class", "frame")
      .Attribute("x", left)
      .Attribute("y", top)
      .Attribute("width", right - left)
      .Attribute("height", bottom - top)
      .Attribute("fill", "none")
      .Attribute("stroke", "#777")
      .Close();

  svg.Open("g").Attribute("class", "x-ticks").Attribute("text-anchor", "middle").Attribute("fill", "#333");
  for (const double tick : x.axis.ticks) {
    if (!xLabels) break;
    svg.Open("line")
        .Attribute("x1", x(tick))
        .Attribute("y1", bottom)
        .Attribute("x2", x(tick))
        .Attribute("y2", bottom + 5)
        .Attribute("stroke", "#777")
        .Close();
    svg.Open("text")
        .Attribute("x", x(tick))
        .Attribute("y", bottom + 18)
        .Text(TickLabel(tick, x.axis.step))
        .Close();
  }
  svg.Close();
  svg.Open("g").Attribute("class", "y-ticks").Attribute("text-anchor", "end").Attribute("fill", "#333");
  for (const double tick : y.axis.ticks) {
    svg.Open("line")
        .Attribute("x1", left - 5)
        .Attribute("y1", y(tick))
        .Attribute("x2", left)
        .Attribute("y2", y(tick))
        .Attribute("stroke", "#777")
        .Close();
    svg.Open("text")
        .Attribute("x", left - 8)
        .Attribute("y", y(tick) + 4)
        .Text(TickLabel(tick, y.axis.step))
        .Close();
  }
  svg.Close();
}

std::string Draw(const Chart& chart, double xLow, double xHigh) {
  const double width = chart.width;
  const double height = chart.height;
  const double top = 44;
  const double bottom = height - 50;
  constexpr double kGap = 14;  // between panels

  // The Y axes first: their labels decide the left margin. Each ends at the
  // round tick next beyond its data.
  std::vector<Scale> ys;
  std::vector<Span> spans;
  std::size_t yLabel = 0;
  for (std::size_t p = 0; p < chart.panels.size(); ++p) {
    const Panel& panel = chart.panels[p];
    spans.push_back(PanelSpan(top, bottom, p, chart.panels.size(), kGap));
    const Span& span = spans.back();
    ys.push_back({MakeAxis(panel.yLow, panel.yHigh, std::max(2, static_cast<int>((span.bottom - span.top) / 55)),
                           true),
                  span.bottom, span.top});
    for (const double tick : ys.back().axis.ticks)
      yLabel = std::max(yLabel, TickLabel(tick, ys.back().axis.step).size());
  }
  const double left = 46 + TextWidth(yLabel, 11);

  std::size_t legendText = 0;
  for (const std::string& entry : chart.legend) legendText = std::max(legendText, entry.size());
  const double legendWidth = std::min(40 + TextWidth(legendText, 12), width * 0.3);
  const std::size_t legendChars = static_cast<std::size_t>(std::max(4.0, (legendWidth - 40) / (12 * 0.6)));
  const double right = width - legendWidth - 16;
  Scale x{MakeAxis(xLow, xHigh, std::max(2, static_cast<int>((right - left) / 90)), false), left, right};

  SvgWriter svg(chart.width, chart.height);
  svg.Attribute("font-family", "sans-serif").Attribute("font-size", 11.0);
  svg.Open("title").Text(chart.title).Close();
  svg.Open("rect").Attribute("width", width).Attribute("height", height).Attribute("fill", "white").Close();
  svg.Open("defs");
  for (std::size_t p = 0; p < spans.size(); ++p) {
    svg.Open("clipPath").Attribute("id", p == 0 ? std::string("plot-area") : "plot-area-" + std::to_string(p));
    svg.Open("rect")
        .Attribute("x", left)
        .Attribute("y", spans[p].top)
        .Attribute("width", right - left)
        .Attribute("height", spans[p].bottom - spans[p].top)
        .Close();
    svg.Close();
  }
  svg.Close();

  svg.Open("text")
      .Attribute("class", "title")
      .Attribute("x", (left + right) / 2)
      .Attribute("y", 26.0)
      .Attribute("text-anchor", "middle")
      .Attribute("font-size", 15.0)
      .Attribute("font-weight", "bold")
      .Text(chart.title)
      .Close();
  for (std::size_t p = 0; p < spans.size(); ++p)
    DrawAxes(svg, x, ys[p], spans[p].top, spans[p].bottom, left, right, p + 1 == spans.size());
  // Titles of many channels are cut to the side they stand along.
  const auto fitting = [](double length, double fontSize) {
    return static_cast<std::size_t>(std::max(4.0, length / (fontSize * 0.6)));
  };
  svg.Open("text")
      .Attribute("class", "x-title")
      .Attribute("x", (left + right) / 2)
      .Attribute("y", height - 12)
      .Attribute("text-anchor", "middle")
      .Attribute("font-size", 12.0)
      .Text(Shortened(chart.xTitle, fitting(right - left, 12)))
      .Close();
  for (std::size_t p = 0; p < spans.size(); ++p) {
    const double yTitleX = 16;
    const double yTitleY = (spans[p].top + spans[p].bottom) / 2;
    svg.Open("text")
        .Attribute("class", "y-title")
        .Attribute("x", yTitleX)
        .Attribute("y", yTitleY)
        .Attribute("transform", "rotate(-90 " + FormatDouble(yTitleX) + " " + FormatDouble(yTitleY) + ")")
        .Attribute("text-anchor", "middle")
        .Attribute("font-size", 12.0)
        .Text(Shortened(chart.panels[p].yTitle, fitting(spans[p].bottom - spans[p].top, 12)))
        .Close();
  }

  std::vector<Point> points;
  bool anyPoint = false;
  // Each curve is reduced on the Y scale of its panel.
  std::vector<Scale> curveYs(chart.curves.size(), ys.front());
  for (std::size_t p = 0; p < spans.size(); ++p)
    for (const std::size_t i : chart.panels[p].curves) curveYs[i] = ys[p];
  std::vector<std::vector<Point>> reduced = chart.reduce(x, curveYs);
  for (std::size_t p = 0; p < spans.size(); ++p) {
    svg.Open("g")
        .Attribute("class", "curves")
        .Attribute("clip-path", p == 0 ? std::string("url(#plot-area)") : "url(#plot-area-" + std::to_string(p) + ")")
        .Attribute("fill", "none")
        .Attribute("stroke-width", 1.5)
        .Attribute("stroke-linejoin", "round")
        .Attribute("stroke-linecap", "round");
    // Whatever X does, a channel costs the document no more than this.
    const std::size_t budget = static_cast<std::size_t>(16 * ((right - left) + (spans[p].bottom - spans[p].top)));
    for (const std::size_t i : chart.panels[p].curves) {
      const Curve& curve = chart.curves[i];
      points = std::move(reduced[i]);
      if (Cost(points) > budget) points = Thinned(points, {left, spans[p].top, right, spans[p].bottom}, budget);
      anyPoint = anyPoint || !points.empty();
      // One polyline per stretch without a gap, one at least.
      for (std::size_t begin = 0; begin < points.size() || begin == 0;) {
        std::size_t end = begin;
        while (end < points.size() && !IsBreak(points[end])) ++end;
        svg.Open("polyline")
            .Attribute("class", "channel-" + std::to_string(curve.index))
            .Attribute("stroke", ColourOf(i));
        if (*DashOf(i) != '\0') svg.Attribute("stroke-dasharray", DashOf(i));
        svg.BeginPoints();
        for (std::size_t k = begin; k < end; ++k) svg.Point(points[k].x, points[k].y);
        svg.EndPoints().Close();
        // A single point draws no line; mark it.
        if (end == begin + 1)
          svg.Open("circle")
              .Attribute("cx", points[begin].x)
              .Attribute("cy", points[begin].y)
              .Attribute("r", 3.0)
              .Attribute("fill", ColourOf(i))
              .Attribute("stroke", "none")
              .Close();
        begin = end + 1;
      }
    }
    svg.Close();
  }
  if (!anyPoint)
    svg.Open("text")
        .Attribute("x", (left + right) / 2)
        .Attribute("y", (top + bottom) / 2)
        .Attribute("text-anchor", "middle")
        .Attribute("fill", "#888")
        .Attribute("font-size", 13.0)
        .Text(chart.rows == 0 ? "no rows" : "no finite values")
        .Close();

  // The legend, right of the plot, as many entries as fit the height.
  svg.Open("g").Attribute("class", "legend").Attribute("font-size", 12.0);
  const double legendX = right + 16;
  const std::size_t fit = static_cast<std::size_t>(std::max(1.0, (bottom - top) / 18));
  for (std::size_t i = 0; i < chart.legend.size(); ++i) {
    const double entryY = top + 10 + 18 * static_cast<double>(i);
    if (i + 1 == fit && chart.legend.size() > fit) {
      svg.Open("text")
          .Attribute("x", legendX)
          .Attribute("y", entryY + 4)
          .Attribute("fill", "#555")
          .Text("... and " + std::to_string(chart.legend.size() - i) + " more")
          .Close();
      break;
    }
    svg.Open("line")
        .Attribute("x1", legendX)
        .Attribute("y1", entryY)
        .Attribute("x2", legendX + 24)
        .Attribute("y2", entryY)
        .Attribute("stroke", ColourOf(i))
        .Attribute("stroke-width", 2.0);
    if (*DashOf(i) != '\0') svg.Attribute("stroke-dasharray", DashOf(i));
    svg.Close();
    svg.Open("text")
        .Attribute("x", legendX + 30)
        .Attribute("y", entryY + 4)
        .Text(Shortened(chart.legend[i], legendChars))
        .Close();
  }
  svg.Close();
  return svg.Finish();
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--output", "--section", "--channel", "--channels", "--width", "--height", "--x"},
                            {"--split", "--no-split"});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  const std::optional<std::string> output = arguments.Get("--output");
  if (!output || output->empty()) throw UsageError("the output file is missing: -o OUT.svg");
  const long long sectionIndex = arguments.GetInteger("--section", 0).value_or(0);
  const long long width = arguments.GetInteger("--width", kSmallest).value_or(kDefaultWidth);
  const long long height = arguments.GetInteger("--height", kSmallest).value_or(kDefaultHeight);
  if (width > kLargest || height > kLargest)
    throw UsageError("--width and --height must be at most " + std::to_string(kLargest));
  if (arguments.Has("--split") && arguments.Has("--no-split"))
    throw UsageError("--split and --no-split exclude each other");

  // Drawing over the measurement itself would lose it.
  if (*output != "-" && SameFile(path, *output))
    throw Failure("refusing to write the plot over its own input " + path);

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  CQTXSection& section = SectionAt(qtx, sectionIndex);
  const int nChannels = section.m_nChannels > 0 ? section.m_nChannels : 0;
  if (nChannels == 0) throw Failure("section " + std::to_string(sectionIndex) + " has no channels to draw");
  const std::optional<std::vector<int>> chosen = ChannelOption(arguments, section, sectionIndex);
  const int channelIndex = chosen && chosen->size() == 1 ? chosen->front() : -1;  // -1: several

  const RowChoice rows = ChooseRows(qtx, section, sectionIndex, path, std::nullopt, arguments.Get("--x"));
  WarnIfShort(section, sectionIndex, path);

  Chart chart;
  chart.width = static_cast<int>(width);
  chart.height = static_cast<int>(height);
  chart.title = std::filesystem::path(path).filename().string() + ": section " + std::to_string(sectionIndex);
  if (channelIndex >= 0) chart.title += ", channel " + std::to_string(channelIndex);
  for (int j = 0; j < nChannels; ++j) {
    const CQTXChannel* channel = section.m_arrChannels.GetAt(j);
    if (chosen && std::find(chosen->begin(), chosen->end(), j) == chosen->end()) continue;
    // A curve ends at its own Samples, and at the rows the file holds.
    chart.curves.push_back({channel, j, std::min(std::max(channel->m_nSamples, rows.first), rows.end)});
    chart.rows = std::max(chart.rows, chart.curves.back().rows);
  }
  // The rows are read twice, a chunk at a time: once for the ranges of the
  // axes, once for the points, so that memory does not grow with the section.
  std::vector<int> indexes;
  for (const Curve& curve : chart.curves) indexes.push_back(curve.index);
  const auto eachChunk = [&](const char* what, const auto& use) {
    SectionChunks chunks(qtx, section, path, indexes, rows.first, chart.rows, qtx.m_nXColumns == 1);
    Progress progress(what);
    while (chunks.Next()) {
      for (std::size_t i = 0; i < chart.curves.size(); ++i) {
        const std::uint32_t first = chunks.First();
        const std::uint32_t end = std::min(chart.curves[i].rows, first + chunks.Rows());
        if (end > first) use(i, chunks.X(i), chunks.Y(i), end - first);
      }
      progress.Update(chunks.Done(), chunks.End() - chunks.Begin());
    }
  };

  double xLow = INFINITY, xHigh = -INFINITY;
  eachChunk("plot: ranges", [&](std::size_t i, const double* xs, const double* ys, std::uint32_t n) {
    Curve& curve = chart.curves[i];
    for (std::uint32_t k = 0; k < n; ++k) {
      const double x = xs[k];
      const double y = ys[k];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      xLow = std::min(xLow, x);
      xHigh = std::max(xHigh, x);
      curve.yLow = std::min(curve.yLow, y);
      curve.yHigh = std::max(curve.yHigh, y);
      ++curve.finite;
    }
  });
  chart.reduce = [&](const Scale& x, const std::vector<Scale>& yOf) {
    std::vector<std::vector<Point>> points(chart.curves.size());
    std::vector<ColumnReducer> reducers;
    reducers.reserve(points.size());
    for (std::vector<Point>& curve : points) reducers.emplace_back(curve);
    eachChunk("plot: lines", [&](std::size_t i, const double* xs, const double* ys, std::uint32_t n) {
      for (std::uint32_t k = 0; k < n; ++k) {
        if (std::isfinite(xs[k]) && std::isfinite(ys[k])) {
          reducers[i].Add({x(xs[k]), yOf[i](ys[k])});
        } else {
          reducers[i].Break();
        }
      }
    });
    for (ColumnReducer& reducer : reducers) reducer.Finish();
    return points;
  };

  std::vector<std::string> xLabels, yLabels, yUnits;
  for (const Curve& curve : chart.curves) {
    xLabels.push_back(AxisLabel(curve.channel->m_strXDimension, curve.channel->m_strXUnitLabel));
    yLabels.push_back(AxisLabel(curve.channel->m_strYDimension, curve.channel->m_strYUnitLabel));
    yUnits.emplace_back(curve.channel->m_strYUnitLabel.View());
  }
  chart.xTitle = Joined(Distinct(xLabels));
  if (chart.xTitle.empty()) chart.xTitle = std::string(XHeading(*chart.curves.front().channel).View());
  const std::vector<std::string> yDistinct = Distinct(yLabels);
  // With several units the legend says which line has which, and each unit
  // gets a panel of its own unless --no-split keeps them on one axis.
  const bool unitsDiffer = yDistinct.size() > 1;
  const bool split = arguments.Has("--split") || (unitsDiffer && !arguments.Has("--no-split"));
  for (const std::vector<std::size_t>& curves : PanelsByUnit(yUnits, split)) {
    Panel panel;
    std::vector<std::string> labels;
    for (const std::size_t i : curves) {
      panel.yLow = std::min(panel.yLow, chart.curves[i].yLow);
      panel.yHigh = std::max(panel.yHigh, chart.curves[i].yHigh);
      labels.push_back(yLabels[i]);
    }
    panel.curves = curves;
    panel.yTitle = Joined(Distinct(labels));
    chart.panels.push_back(std::move(panel));
  }
  for (const Curve& curve : chart.curves) {
    std::string entry(YHeading(*curve.channel).View());
    if (unitsDiffer && !curve.channel->m_strYUnitLabel.IsEmpty())
      entry += " [" + std::string(curve.channel->m_strYUnitLabel.View()) + "]";
    chart.legend.push_back(entry);
  }

  OutputFile file(*output);
  file.Write(Draw(chart, xLow, xHigh));
  file.Commit();
  return kExitOk;
}

}  // namespace

const Command kPlotCommand = {"plot", "draw the channels of a section as an SVG line chart", kUsage, Run};

}  // namespace qtx::tool
