// A time zone of the system's zone database (the TZif files of
// /usr/share/zoneinfo, or of the directory TZDIR names), read once into
// memory: the UTC offset at any instant, and the offsets a local wall-clock
// time has there. Nothing global is touched (no TZ, no localtime), so that
// threads may share one. Where there is no such database, as on Windows, a
// zone cannot be loaded, and Load says so.
#ifndef QTX_TOOLS_SECTIONS_ZONE_H
#define QTX_TOOLS_SECTIONS_ZONE_H

#include <cstdint>
#include <string>
#include <vector>

namespace qtx::tool {

class TimeZone {
 public:
  // The zone of an IANA name such as "Europe/Berlin", or a Failure.
  static TimeZone Load(const std::string& name);

  const std::string& Name() const { return m_name; }
  // Seconds east of UTC at a UTC instant (seconds since 1970).
  std::int32_t OffsetAt(std::int64_t utc) const;

  // What a local time (seconds since 1970 of the wall clock) is there: one
  // instant, two (a time the clock repeats when it goes back: earlier
  // first), or none (a time it skips when it goes forward; then `gap` is the
  // UTC instant of the jump).
  struct Local {
    int count = 0;
    std::int32_t offsets[2] = {0, 0};
    std::int64_t gap = 0;
  };
  Local Resolve(std::int64_t local) const;

 private:
  // A POSIX TZ rule, which the file's footer gives for the times after its
  // last transition: standard time, and summer time between two dates.
  struct Rule {
    enum Kind { kJulianNoLeap, kDayOfYear, kMonthWeekDay };
    Kind kind = kMonthWeekDay;
    int a = 0, b = 0, c = 0;  // J: day; n: day; M: month, week, weekday
    std::int32_t time = 7200;  // seconds after local midnight
  };
  struct Footer {
    bool present = false;
    std::int32_t standard = 0;  // seconds east of UTC
    bool summer = false;
    std::int32_t summerOffset = 0;
    Rule start, end;
  };
  static std::int64_t RuleInstant(const Rule& rule, int year, std::int32_t offset);
  static void ParseFooter(const std::string& text, Footer& footer, const std::string& name);
  std::int32_t FooterOffset(std::int64_t utc) const;

  std::string m_name;
  std::vector<std::int64_t> m_transitions;  // UTC instants, ascending
  std::vector<std::uint8_t> m_types;        // the offset's index from each transition on
  std::vector<std::int32_t> m_offsets;      // seconds east of UTC, per type
  Footer m_footer;
};

// "+01:00", "-03:30", "+00:00"; with seconds where an offset has them.
void AppendOffset(std::string& out, std::int32_t offset);

}  // namespace qtx::tool

#endif  // QTX_TOOLS_SECTIONS_ZONE_H
