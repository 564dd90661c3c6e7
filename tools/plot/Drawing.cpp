#include "plot/Drawing.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Tool.h"
#include "plot/Svg.h"

namespace qtx::tool::plot {

namespace {

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

std::string Shortened(const std::string& text, std::size_t characters) {
  if (text.size() <= characters) return text;
  return text.substr(0, characters > 3 ? characters - 3 : 0) + "...";
}

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

}  // namespace

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

}  // namespace qtx::tool::plot
