// The writer's local date and time: format, and that it is the local time of
// the moment of the call.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "writer/LocalTime.h"

namespace {

using qtx::writer::FormatLocalTime;
using qtx::writer::LocalTimeTexts;
using qtx::writer::ReadLocalTime;

std::tm Reading(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

#ifdef _WIN32
// The system formats only what its clock can read: years from 1601, seconds
// up to 59; anything else gives an empty text.
constexpr bool kClockRangeOnly = true;
#else
constexpr bool kClockRangeOnly = false;
#endif

TEST(LocalTime, FourDigitYearAndTwoDigitFieldsWithLeadingZeros) {
  struct Case {
    std::tm reading;
    const char* date;
    const char* time;
  } const cases[] = {
      {Reading(2024, 3, 5, 9, 7, 2), "2024/03/05", "09:07:02"},
      {Reading(1999, 12, 31, 23, 59, 59), "1999/12/31", "23:59:59"},
      {Reading(2000, 1, 1, 0, 0, 0), "2000/01/01", "00:00:00"},
      {Reading(2016, 12, 31, 23, 59, 60), "2016/12/31", kClockRangeOnly ? "" : "23:59:60"},  // leap second
      {Reading(987, 6, 7, 12, 30, 45), kClockRangeOnly ? "" : "0987/06/07", "12:30:45"},
      {Reading(10000, 2, 29, 13, 1, 1), "10000/02/29", "13:01:01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    const LocalTimeTexts texts = FormatLocalTime(c.reading);
    EXPECT_EQ(texts.date, c.date);
    EXPECT_EQ(texts.time, c.time);
  }
}

// Sets TZ for the scope of the object (an empty value removes it) and puts
// the old value back.
void SetTimeZone(const char* tz) {
#ifdef _WIN32
  ::_putenv_s("TZ", tz);
  ::_tzset();
#else
  *tz ? ::setenv("TZ", tz, 1) : ::unsetenv("TZ");
  ::tzset();
#endif
}

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) m_old = old;
    SetTimeZone(tz);
  }
  ~ScopedTimeZone() { SetTimeZone(m_old ? m_old->c_str() : ""); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> m_old;
};

// The texts are those of the local time at some second between the clock
// readings before and after the call.
bool IsLocalTimeBetween(const LocalTimeTexts& texts, std::time_t before, std::time_t after) {
  for (std::time_t t = before; t <= after; ++t) {
    const std::tm* local = std::localtime(&t);
    if (local == nullptr) return false;
    const LocalTimeTexts expected = FormatLocalTime(*local);
    if (texts.date == expected.date && texts.time == expected.time) return true;
  }
  return false;
}

TEST(LocalTime, ReadsTheLocalTimeOfNowInTheProcessTimeZone) {
#ifdef _WIN32
  // The system's time zone: Windows' clock does not look at TZ, the C
  // runtime's does only when it is set.
  const char* const zones[] = {""};
#else
  // Fourteen hours east of UTC: the hour differs from UTC's at every moment.
  const char* const zones[] = {"UTC0", "QTX-14", "QTX+11"};
#endif
  for (const char* tz : zones) {
    SCOPED_TRACE(tz);
    ScopedTimeZone zone(tz);
    const std::time_t before = std::time(nullptr);
    const LocalTimeTexts texts = ReadLocalTime();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(IsLocalTimeBetween(texts, before, after)) << texts.date << " " << texts.time;
  }
}

}  // namespace
