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
#include "plot/Drawing.h"
#include "plot/Plot.h"
#include "sections/RowSelection.h"
#include "sections/SectionChunks.h"
#include "sections/Sections.h"

namespace qtx::tool::plot {
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
    "                    (a heading with a comma whole, or in double quotes: '\"U, in\",I')\n"
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
  const std::string nothing = NothingChosen(qtx, section, sectionIndex, path, std::nullopt, arguments.Get("--x"), rows);
  if (!nothing.empty()) Warn(nothing);

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
}  // namespace qtx::tool::plot

namespace qtx::tool {

const Command kPlotCommand = {"plot", "draw the channels of a section as an SVG line chart", plot::kUsage,
                              plot::Run};

}  // namespace qtx::tool
