// A channel's start on the calendar and the unit of its X, read strictly
// from the texts the headers keep.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "qtx/QTXLibrary.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly nCount digits at p into value.
bool Digits(const char* p, int nCount, int& value) {
  value = 0;
  for (int i = 0; i < nCount; ++i) {
    if (!IsDigit(p[i])) return false;
    value = value * 10 + (p[i] - '0');
  }
  return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (valid fields).
std::int64_t DaysFromCivil(int y, int m, int d) {
  const std::int64_t yy = m <= 2 ? y - 1 : y;
  const std::int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
  const std::int64_t yoe = yy - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

// "yyyy<sep>MM<sep>dd" at p; on success p moves past it.
bool ReadDate(const char*& p, char sep, std::int64_t& nDays) {
  int y, m, d;
  if (!Digits(p, 4, y) || p[4] != sep || !Digits(p + 5, 2, m) || p[7] != sep || !Digits(p + 8, 2, d)) return false;
  if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  nDays = DaysFromCivil(y, m, d);
  p += 10;
  return true;
}

// "HH:mm[:ss[.f...]]" at p, the seconds optional only when allowed.
bool ReadTime(const char*& p, bool bSecondsOptional, std::int64_t& nSeconds, std::uint32_t& nNanoseconds) {
  int h, mi, s = 0;
  if (!Digits(p, 2, h) || p[2] != ':' || !Digits(p + 3, 2, mi)) return false;
  p += 5;
  nNanoseconds = 0;
  if (*p == ':') {
    if (!Digits(p + 1, 2, s)) return false;
    p += 3;
    if (*p == '.') {
      ++p;
      int n = 0;
      std::uint32_t frac = 0;
      while (IsDigit(*p)) {
        if (++n > 9) return false;
        frac = frac * 10 + static_cast<std::uint32_t>(*p - '0');
        ++p;
      }
      if (n == 0) return false;
      for (; n < 9; ++n) frac *= 10;
      nNanoseconds = frac;
    }
  } else if (!bSecondsOptional) {
    return false;
  }
  if (h > 23 || mi > 59 || s > 59) return false;
  nSeconds = h * 3600 + mi * 60 + s;
  return true;
}

bool IsEmpty(const char* psz) { return !psz || !*psz; }

// A text with a NUL byte inside would read as its part before it.
bool HasNul(const CString& text) { return text.View().find('\0') != std::string_view::npos; }

}  // namespace

int QTX_ParseDate(const char* pszDate, std::int64_t& nDays) {
  if (IsEmpty(pszDate)) return QTX_TIME_NO_DATE;
  const char* p = pszDate;
  return ReadDate(p, '/', nDays) && *p == '\0' ? QTX_TIME_OK : QTX_TIME_BAD_DATE;
}

int QTX_ParseTimeOfDay(const char* pszTime, std::int64_t& nSeconds, std::uint32_t& nNanoseconds) {
  if (IsEmpty(pszTime)) return QTX_TIME_NO_TIME;
  const char* p = pszTime;
  return ReadTime(p, false, nSeconds, nNanoseconds) && *p == '\0' ? QTX_TIME_OK : QTX_TIME_BAD_TIME;
}

int QTX_ParseStartTime(const char* pszDate, const char* pszTime, QTXStartTime& start) {
  std::int64_t nDays = 0, nSeconds = 0;
  std::uint32_t nNanoseconds = 0;
  int status = QTX_ParseDate(pszDate, nDays);
  if (status != QTX_TIME_OK) return status;
  status = QTX_ParseTimeOfDay(pszTime, nSeconds, nNanoseconds);
  if (status != QTX_TIME_OK) return status;
  start.nSeconds = nDays * kSecondsPerDay + nSeconds;
  start.nNanoseconds = nNanoseconds;
  return QTX_TIME_OK;
}

int QTX_ChannelStartTime(const CQTXGeneral& qtx, const CQTXChannel& channel, QTXStartTime& start) {
  // A channel's own stamp counts only whole: a Date without its Time (or the
  // reverse) does not mix with the main header's other half.
  const bool bOwn = !channel.m_strDate.IsEmpty() && !channel.m_strTime.IsEmpty();
  const CString& date = bOwn ? channel.m_strDate : qtx.m_strDate;
  const CString& time = bOwn ? channel.m_strTime : qtx.m_strTime;
  if (HasNul(date)) return QTX_TIME_BAD_DATE;
  if (HasNul(time)) return QTX_TIME_BAD_TIME;
  return QTX_ParseStartTime(date, time, start);
}

int QTX_ParseXUnit(const char* pszLabel, std::int64_t& nNanosecondsPerUnit) {
  if (IsEmpty(pszLabel)) return QTX_TIME_NO_UNIT;
  struct Unit {
    const char* label;
    std::int64_t ns;
  };
  static const Unit kUnits[] = {
      {"s", kNanosecondsPerSecond}, {"sec", kNanosecondsPerSecond}, {"ms", 1000000},
      {"us", 1000},                 {"\xC2\xB5s", 1000},            {"ns", 1},
      {"min", 60 * kNanosecondsPerSecond}, {"h", 3600 * kNanosecondsPerSecond}};
  for (const Unit& u : kUnits) {
    const char* a = pszLabel;
    const char* b = u.label;
    // Letters compare without regard to case; the micro sign's bytes as they are.
    while (*a && *b) {
      const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
      if (ca != *b) break;
      ++a;
      ++b;
    }
    if (!*a && !*b) {
      nNanosecondsPerUnit = u.ns;
      return QTX_TIME_OK;
    }
  }
  return QTX_TIME_NOT_A_TIME_UNIT;
}

int QTX_ChannelXUnit(const CQTXChannel& channel, std::int64_t& nNanosecondsPerUnit) {
  if (HasNul(channel.m_strXUnitLabel)) return QTX_TIME_NOT_A_TIME_UNIT;
  return QTX_ParseXUnit(channel.m_strXUnitLabel, nNanosecondsPerUnit);
}

bool QTX_XToNanoseconds(double x, std::int64_t nNanosecondsPerUnit, std::int64_t& nNanoseconds) {
  if (!std::isfinite(x)) return false;
  const long double v = static_cast<long double>(x) * static_cast<long double>(nNanosecondsPerUnit);
  // 2^63 is exact in long double; anything at or beyond it does not fit.
  const long double limit = 9223372036854775808.0L;
  if (!(v < limit && v > -limit)) return false;
  const long double r = std::round(v);
  if (!(r < limit && r >= -limit)) return false;
  nNanoseconds = static_cast<std::int64_t>(r);
  return true;
}

bool QTX_AddNanoseconds(const QTXStartTime& start, std::int64_t nNanoseconds, QTXStartTime& result) {
  std::int64_t sec = nNanoseconds / kNanosecondsPerSecond;
  std::int64_t ns = nNanoseconds % kNanosecondsPerSecond + static_cast<std::int64_t>(start.nNanoseconds);
  if (ns < 0) {
    ns += kNanosecondsPerSecond;
    --sec;
  } else if (ns >= kNanosecondsPerSecond) {
    ns -= kNanosecondsPerSecond;
    ++sec;
  }
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  const std::int64_t min = std::numeric_limits<std::int64_t>::min();
  if ((sec > 0 && start.nSeconds > max - sec) || (sec < 0 && start.nSeconds < min - sec)) return false;
  result.nSeconds = start.nSeconds + sec;
  result.nNanoseconds = static_cast<std::uint32_t>(ns);
  return true;
}

std::size_t QTX_FormatIso8601(const QTXStartTime& time, int nDigits, char* pBuffer, std::size_t nSize) {
  if (!pBuffer || nDigits < 0 || nDigits > 9) return 0;
  // Floor division: a time before 1970 still has its seconds of the day >= 0.
  std::int64_t days = time.nSeconds / kSecondsPerDay;
  std::int64_t secs = time.nSeconds % kSecondsPerDay;
  if (secs < 0) {
    secs += kSecondsPerDay;
    --days;
  }
  if (days < DaysFromCivil(0, 1, 1) || days > DaysFromCivil(9999, 12, 31)) return 0;
  int y, m, d;
  CivilFromDays(days, y, m, d);
  char frac[11] = "";
  if (nDigits > 0) {
    std::uint32_t value = time.nNanoseconds % 1000000000u;
    for (int i = nDigits; i < 9; ++i) value /= 10;
    std::snprintf(frac, sizeof frac, ".%0*u", nDigits, static_cast<unsigned>(value));
  }
  const int n = std::snprintf(pBuffer, nSize, "%04d-%02d-%02dT%02d:%02d:%02d%s", y, m, d,
                              static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                              static_cast<int>(secs % 60), frac);
  if (n < 0 || static_cast<std::size_t>(n) >= nSize) return 0;
  return static_cast<std::size_t>(n);
}

bool QTX_ParseIso8601(const char* pszText, QTXStartTime& time) {
  if (IsEmpty(pszText)) return false;
  const char* p = pszText;
  std::int64_t nDays = 0, nSeconds = 0;
  std::uint32_t nNanoseconds = 0;
  if (!ReadDate(p, '-', nDays)) return false;
  if (*p == 'T' || *p == 't' || *p == ' ') {
    ++p;
    if (!ReadTime(p, true, nSeconds, nNanoseconds)) return false;
  }
  if (*p != '\0') return false;
  time.nSeconds = nDays * kSecondsPerDay + nSeconds;
  time.nNanoseconds = nNanoseconds;
  return true;
}
