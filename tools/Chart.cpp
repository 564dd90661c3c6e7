#include "Chart.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
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
  const double power = std::pow(10.0, StepExponent(raw));
  const double mantissa = raw / power;
  double step = (mantissa <= 1.0 + 1e-9   ? 1.0
                 : mantissa <= 2.0 + 1e-9 ? 2.0
                 : mantissa <= 5.0 + 1e-9 ? 5.0
                                          : 10.0) *
                power;
  if (!std::isfinite(step) || step <= 0.0) step = raw;

  Axis axis;
  axis.step = step;
  axis.low = low;
  axis.high = high;
  if (expand) {
    const double expandedLow = Multiple(low, step, false);
    const double expandedHigh = Multiple(high, step, true);
    if (std::isfinite(expandedLow) && std::isfinite(expandedHigh)) {
      axis.low = std::min(expandedLow, low);
      axis.high = std::max(expandedHigh, high);
    }
  }

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

}  // namespace qtx::tool
