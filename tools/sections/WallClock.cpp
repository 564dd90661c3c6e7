#include "sections/WallClock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "cli/Tool.h"

namespace qtx::tool {
namespace {

const char* Lacks(int status) {
  switch (status) {
    case QTX_TIME_NO_DATE: return "no Date (neither its own nor the main header's)";
    case QTX_TIME_NO_TIME: return "a Date without a Time";
    case QTX_TIME_BAD_DATE: return "a Date that is not yyyy/MM/dd";
    case QTX_TIME_BAD_TIME: return "a Time that is not HH:mm:ss[.fff]";
    case QTX_TIME_NO_UNIT: return "no X_Unit_Label";
    default: return "an X_Unit_Label that is no unit of time";
  }
}

// Digits of the fraction of a second that a count of nanoseconds needs.
int FractionDigits(std::int64_t ns) {
  std::int64_t v = std::llabs(ns % 1000000000);
  if (v == 0) return 0;
  int digits = 9;
  for (; v % 10 == 0; v /= 10) --digits;
  return digits;
}

}  // namespace

ChannelClock ClockOf(const CQTXGeneral& qtx, const CQTXChannel& channel, const std::string& path,
                     long long sectionIndex) {
  ChannelClock clock;
  const std::string name = path + ": section " + std::to_string(sectionIndex) + ", channel " + std::to_string(channel.m_nIndex);
  const int start = QTX_ChannelStartTime(qtx, channel, clock.start);
  if (start != QTX_TIME_OK) throw Failure(name + " has " + Lacks(start) + ": no start time");
  const int unit = QTX_ChannelXUnit(channel, clock.nsPerUnit);
  if (unit != QTX_TIME_OK)
    throw Failure(name + " has " + Lacks(unit) + " (X_Unit_Label \"" + Printable(channel.m_strXUnitLabel) + "\")");
  return clock;
}

std::optional<QTXStartTime> StartOf(const CQTXGeneral& qtx, const CQTXChannel& channel) {
  QTXStartTime start{0, 0};
  if (QTX_ChannelStartTime(qtx, channel, start) != QTX_TIME_OK) return std::nullopt;
  return start;
}

std::optional<double> XSecondsOf(const CQTXChannel& channel) {
  std::int64_t ns = 0;
  if (QTX_ChannelXUnit(channel, ns) != QTX_TIME_OK) return std::nullopt;
  return static_cast<double>(ns) / 1e9;
}

std::string IsoText(const QTXStartTime& time) {
  char text[32];
  const std::size_t length = QTX_FormatIso8601(time, FractionDigits(time.nNanoseconds), text, sizeof text);
  return std::string(text, length);
}

double Datenum(const QTXStartTime& time) {
  constexpr std::int64_t kDatenumOf1970 = 719529;
  std::int64_t days = time.nSeconds / 86400;
  std::int64_t seconds = time.nSeconds % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  return static_cast<double>(kDatenumOf1970 + days) +
         (static_cast<double>(seconds) + time.nNanoseconds * 1e-9) / 86400.0;
}

std::string StartText(const CQTXGeneral& qtx, const CQTXChannel& channel) {
  const std::optional<QTXStartTime> start = StartOf(qtx, channel);
  const std::string text = start ? IsoText(*start) : std::string();
  return text.empty() ? "-" : text;
}

std::string XSecondsText(const CQTXChannel& channel) {
  const std::optional<double> seconds = XSecondsOf(channel);
  return seconds ? FormatDouble(*seconds) : "-";
}

int DigitsFor(const ChannelClock& clock, double deltaX) {
  // The grid's step and the start's nanoseconds both must show; a step that
  // has no nanoseconds of its own gets them all.
  std::int64_t step = 0;
  const int stepDigits = QTX_XToNanoseconds(deltaX, clock.nsPerUnit, step) ? FractionDigits(step) : 9;
  return std::max(stepDigits, FractionDigits(clock.start.nNanoseconds));
}

namespace {

// The local time `time` in the clock's zone, and its UTC offset; a time the
// zone repeats or skips as the clock's choices say, else a Failure.
QTXStartTime InZone(const ChannelClock& clock, QTXStartTime time, const char* text, std::int32_t& offset) {
  const TimeZone& zone = *clock.zone;
  const TimeZone::Local local = zone.Resolve(time.nSeconds);
  if (local.count == 1) {
    offset = local.offsets[0];
  } else if (local.count == 2) {
    if (clock.ambiguous == Ambiguous::kRefuse) {
      std::string both;
      AppendOffset(both, local.offsets[0]);
      both += " and ";
      AppendOffset(both, local.offsets[1]);
      throw Failure(std::string(text) + " is twice in " + zone.Name() + ", at UTC" + both +
                    ", as the clock goes back: choose with --tz-ambiguous earliest|latest");
    }
    offset = local.offsets[clock.ambiguous == Ambiguous::kEarliest ? 0 : 1];
  } else {
    if (clock.nonexistent == Nonexistent::kRefuse)
      throw Failure(std::string(text) + " does not exist in " + zone.Name() +
                    ", as the clock skips it: choose with --tz-nonexistent shift_forward|shift_backward");
    // To the first instant after the jump, or the last nanosecond before it.
    const bool forward = clock.nonexistent == Nonexistent::kShiftForward;
    const std::int64_t utc = forward ? local.gap : local.gap - 1;
    offset = zone.OffsetAt(utc);
    time = {utc + offset, forward ? 0u : 999999999u};
  }
  return time;
}

}  // namespace

void AppendTime(std::string& out, const ChannelClock& clock, double x, int digits) {
  std::int64_t ns = 0;
  QTXStartTime time{0, 0};
  char text[32];
  std::size_t length = 0;
  std::int32_t offset = 0;
  if (QTX_XToNanoseconds(x, clock.nsPerUnit, ns) && QTX_AddNanoseconds(clock.start, ns, time)) {
    length = QTX_FormatIso8601(time, std::max(digits, FractionDigits(time.nNanoseconds)), text, sizeof text);
    if (length != 0 && clock.zone) {
      time = InZone(clock, time, text, offset);
      length = QTX_FormatIso8601(time, std::max(digits, FractionDigits(time.nNanoseconds)), text, sizeof text);
    }
  }
  if (length == 0) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", x);
    throw Failure(std::string("X ") + number + " has no time of day in years 0 to 9999");
  }
  out.append(text, length);
  if (clock.zone) AppendOffset(out, offset);
}

void StampOf(const QTXStartTime& start, std::string& date, std::string& time) {
  const std::string text = IsoText(start);
  if (text.size() < 19) throw Failure("a start time outside the years 0 to 9999");
  date = text.substr(0, 10);
  std::replace(date.begin(), date.end(), '-', '/');
  time = text.substr(11);
}

}  // namespace qtx::tool
