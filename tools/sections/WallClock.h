// X as wall-clock time for the commands: each channel's start and unit, and
// the ISO 8601 text of start + X.
#ifndef QTX_TOOLS_SECTIONS_WALLCLOCK_H
#define QTX_TOOLS_SECTIONS_WALLCLOCK_H

#include <cstdint>
#include <optional>
#include <string>

#include "qtx/QTXLibrary.h"
#include "sections/Zone.h"

namespace qtx::tool {

// How a local time that a DST change repeats or skips is shown in a zone:
// as pandas' ambiguous= and nonexistent= choose, or a Failure.
enum class Ambiguous { kRefuse, kEarliest, kLatest };
enum class Nonexistent { kRefuse, kShiftForward, kShiftBackward };

// One channel's clock: its start and nanoseconds per X unit; with a zone,
// its wall-clock times are local times there and show its UTC offset.
struct ChannelClock {
  QTXStartTime start{0, 0};
  std::int64_t nsPerUnit = 0;
  const TimeZone* zone = nullptr;
  Ambiguous ambiguous = Ambiguous::kRefuse;
  Nonexistent nonexistent = Nonexistent::kRefuse;
};

// The clock of a channel, or a Failure naming the channel and what it lacks.
ChannelClock ClockOf(const CQTXGeneral& qtx, const CQTXChannel& channel, const std::string& path,
                     long long sectionIndex);

// The start as ISO 8601 text, or "-" with what is missing; the unit's
// seconds, or "-". For qtx info.
std::string StartText(const CQTXGeneral& qtx, const CQTXChannel& channel);
std::string XSecondsText(const CQTXChannel& channel);

// A channel's start, or nothing where it has none that reads; its X unit in
// seconds, or nothing where X_Unit_Label is no unit of time.
std::optional<QTXStartTime> StartOf(const CQTXGeneral& qtx, const CQTXChannel& channel);
std::optional<double> XSecondsOf(const CQTXChannel& channel);
// ISO 8601 without zone with the fractional digits its nanoseconds need;
// empty outside the years 0 to 9999.
std::string IsoText(const QTXStartTime& time);
// MATLAB's day number of a time: days since the year 0 as datenum counts
// them (1970-01-01 is 719529), the time of day as its fraction.
double Datenum(const QTXStartTime& time);

// The fractional digits (0..9) that show every X of a grid of this step,
// and of the start's own nanoseconds.
int DigitsFor(const ChannelClock& clock, double deltaX);

// Appends start + x as ISO 8601 with `digits` fractional digits, or more
// where this X needs them (an X column off the Delta_X grid loses nothing);
// a Failure for an X that has no time.
void AppendTime(std::string& out, const ChannelClock& clock, double x, int digits);

// The Date ("yyyy/MM/dd") and Time ("HH:mm:ss" with the fractional digits
// its nanoseconds need) a header keeps for `start`; a Failure outside the
// years 0 to 9999.
void StampOf(const QTXStartTime& start, std::string& date, std::string& time);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_WALLCLOCK_H
