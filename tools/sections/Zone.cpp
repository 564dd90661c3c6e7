#include "sections/Zone.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "cli/Tool.h"

namespace qtx::tool {
namespace {

constexpr std::int64_t kDay = 86400;

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and the year of a day.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

std::int64_t YearOfDay(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  return yoe + era * 400 + (mp >= 10 ? 1 : 0);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// A name of the database: letters, digits and "_+-./", in parts that are
// neither empty, "." nor "..", so that it names a file inside it.
bool UsableName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.front() == '/' || name.back() == '/') return false;
  std::size_t part = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/') {
      const std::string piece = name.substr(part, i - part);
      if (piece.empty() || piece == "." || piece == "..") return false;
      part = i + 1;
      continue;
    }
    const char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '+' ||
          c == '-' || c == '.'))
      return false;
  }
  return true;
}

// Big-endian fields of the file, every read checked against its end.
class Bytes {
 public:
  Bytes(const std::string& data, const std::string& what) : m_data(data), m_what(what) {}
  std::size_t Position() const { return m_at; }
  void Skip(std::uint64_t n) {
    if (n > m_data.size() - m_at) Bad();
    m_at += static_cast<std::size_t>(n);
  }
  std::int64_t Signed(int size) {
    if (static_cast<std::size_t>(size) > m_data.size() - m_at) Bad();
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) v = v << 8 | static_cast<unsigned char>(m_data[m_at++]);
    if (size < 8 && (v >> (8 * size - 1)) != 0) v |= ~std::uint64_t{0} << (8 * size);  // sign-extend
    std::int64_t out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }
  std::uint32_t Count() { return static_cast<std::uint32_t>(Signed(4)); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Signed(1)); }
  std::string Rest() const { return m_data.substr(m_at); }
  [[noreturn]] void Bad() const { throw Failure(m_what + " is no zone file that can be read"); }

 private:
  const std::string& m_data;
  std::string m_what;
  std::size_t m_at = 0;
};

// The six counts of a TZif header, after its 20 bytes of magic and version.
struct Counts {
  std::uint32_t isut, isstd, leap, time, type, chars;
};
Counts ReadCounts(Bytes& bytes) {
  bytes.Skip(20);
  Counts c{};
  c.isut = bytes.Count();
  c.isstd = bytes.Count();
  c.leap = bytes.Count();
  c.time = bytes.Count();
  c.type = bytes.Count();
  c.chars = bytes.Count();
  return c;
}

// POSIX TZ text: a zone abbreviation ("CET", "<+03>") and [+-]hh[:mm[:ss]].
class RuleText {
 public:
  RuleText(const std::string& text, const std::string& what) : m_text(text), m_what(what) {}
  bool AtEnd() const { return m_at >= m_text.size(); }
  char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++m_at;
    return true;
  }
  void Name() {
    if (Take('<')) {
      while (!AtEnd() && Peek() != '>') ++m_at;
      if (!Take('>')) Bad();
      return;
    }
    const std::size_t from = m_at;
    while ((Peek() >= 'A' && Peek() <= 'Z') || (Peek() >= 'a' && Peek() <= 'z')) ++m_at;
    if (m_at - from < 3) Bad();
  }
  std::int32_t Number(int most) {
    if (Peek() < '0' || Peek() > '9') Bad();
    int n = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      n = n * 10 + (m_text[m_at++] - '0');
      if (n > most) Bad();
    }
    return n;
  }
  // Seconds of [+-]hh[:mm[:ss]], hours up to 167.
  std::int32_t Duration() {
    const bool negative = Take('-');
    if (!negative) Take('+');
    std::int32_t seconds = Number(167) * 3600;
    if (Take(':')) seconds += Number(59) * 60;
    if (Take(':')) seconds += Number(59);
    return negative ? -seconds : seconds;
  }
  bool StartsDuration() const { return Peek() == '+' || Peek() == '-' || (Peek() >= '0' && Peek() <= '9'); }
  [[noreturn]] void Bad() const { throw Failure(m_what + " has a rule for later times that cannot be read"); }

 private:
  const std::string& m_text;
  std::string m_what;
  std::size_t m_at = 0;
};

}  // namespace

TimeZone TimeZone::Load(const std::string& name) {
  if (!UsableName(name)) throw UsageError("option --tz: '" + name + "' is no zone name such as Europe/Berlin or UTC");
  const char* dirEnv = std::getenv("TZDIR");
  const std::string dir = dirEnv && *dirEnv ? dirEnv : "/usr/share/zoneinfo";
  const std::string path = dir + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw Failure("no time zone " + name + " in the zone database at " + dir +
                  " (TZDIR names another; a system without one, such as Windows, cannot show times in a zone)");
  std::string data;
  constexpr std::size_t kMost = std::size_t{1} << 20;  // zone files are a few kB
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    data.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (data.size() > kMost) break;
  }
  const std::string what = path;
  Bytes bytes(data, what);
  if (data.size() < 44 || data.compare(0, 4, "TZif") != 0 || data.size() > kMost) bytes.Bad();
  const char version = data[4];
  Counts c = ReadCounts(bytes);
  int timeSize = 4;
  if (version >= '2') {
    // The second header and its 64-bit data follow the 32-bit data.
    bytes.Skip(std::uint64_t{c.time} * 5 + std::uint64_t{c.type} * 6 + c.chars + std::uint64_t{c.leap} * 8 + c.isstd +
               c.isut);
    c = ReadCounts(bytes);
    timeSize = 8;
  }
  if (c.type == 0 || c.type > 256 || c.time > (1u << 20)) bytes.Bad();
  TimeZone zone;
  zone.m_name = name;
  for (std::uint32_t i = 0; i < c.time; ++i) {
    zone.m_transitions.push_back(bytes.Signed(timeSize));
    if (i > 0 && zone.m_transitions[i] <= zone.m_transitions[i - 1]) bytes.Bad();
  }
  for (std::uint32_t i = 0; i < c.time; ++i) {
    zone.m_types.push_back(bytes.Byte());
    if (zone.m_types.back() >= c.type) bytes.Bad();
  }
  for (std::uint32_t i = 0; i < c.type; ++i) {
    const std::int64_t offset = bytes.Signed(4);
    if (offset < -25 * 3600 || offset > 26 * 3600) bytes.Bad();
    zone.m_offsets.push_back(static_cast<std::int32_t>(offset));
    bytes.Skip(2);  // is DST, abbreviation
  }
  bytes.Skip(c.chars + std::uint64_t{c.leap} * (timeSize + 4) + c.isstd + c.isut);
  if (timeSize == 8) {
    const std::string rest = bytes.Rest();
    if (rest.size() < 2 || rest[0] != '\n') bytes.Bad();
    const std::size_t end = rest.find('\n', 1);
    if (end == std::string::npos) bytes.Bad();
    ParseFooter(rest.substr(1, end - 1), zone.m_footer, what);
  }
  return zone;
}

void TimeZone::ParseFooter(const std::string& text, Footer& footer, const std::string& what) {
  if (text.empty()) return;
  RuleText rule(text, what);
  rule.Name();
  footer.standard = -rule.Duration();  // POSIX counts west of UTC
  footer.present = true;
  if (rule.AtEnd()) return;
  rule.Name();
  footer.summer = true;
  footer.summerOffset = rule.StartsDuration() ? -rule.Duration() : footer.standard + 3600;
  const auto date = [&](Rule& r) {
    if (rule.Take('J')) {
      r.kind = Rule::kJulianNoLeap;
      r.a = rule.Number(365);
      if (r.a < 1) rule.Bad();
    } else if (rule.Take('M')) {
      r.kind = Rule::kMonthWeekDay;
      r.a = rule.Number(12);
      if (r.a < 1 || !rule.Take('.')) rule.Bad();
      r.b = rule.Number(5);
      if (r.b < 1 || !rule.Take('.')) rule.Bad();
      r.c = rule.Number(6);
    } else {
      r.kind = Rule::kDayOfYear;
      r.a = rule.Number(365);
    }
    r.time = rule.Take('/') ? rule.Duration() : 7200;
  };
  if (rule.AtEnd()) {
    // No dates: POSIX's default, the second Sunday of March to the first of November.
    footer.start = {Rule::kMonthWeekDay, 3, 2, 0, 7200};
    footer.end = {Rule::kMonthWeekDay, 11, 1, 0, 7200};
    return;
  }
  if (!rule.Take(',')) rule.Bad();
  date(footer.start);
  if (!rule.Take(',')) rule.Bad();
  date(footer.end);
  if (!rule.AtEnd()) rule.Bad();
}

std::int64_t TimeZone::RuleInstant(const Rule& rule, int year, std::int32_t offset) {
  const std::int64_t january = DaysFromCivil(year, 1, 1);
  std::int64_t day = january;
  switch (rule.kind) {
    case Rule::kJulianNoLeap: day += rule.a - 1 + (IsLeap(year) && rule.a >= 60 ? 1 : 0); break;
    case Rule::kDayOfYear: day += rule.a; break;
    case Rule::kMonthWeekDay: {
      const std::int64_t first = DaysFromCivil(year, rule.a, 1);
      const std::int64_t weekday = ((first + 4) % 7 + 7) % 7;  // 1970-01-01 was a Thursday
      std::int64_t d = first + (rule.c - weekday + 7) % 7 + (rule.b - 1) * 7;
      while (d >= first + DaysInMonth(year, rule.a)) d -= 7;  // week 5: the last such day
      day = d;
      break;
    }
  }
  return day * kDay + rule.time - offset;
}

std::int32_t TimeZone::FooterOffset(std::int64_t utc) const {
  if (!m_footer.summer) return m_footer.standard;
  const std::int64_t year = YearOfDay(FloorDiv(utc + m_footer.standard, kDay));
  if (year < -100000 || year > 100000) return m_footer.standard;
  const std::int64_t start = RuleInstant(m_footer.start, static_cast<int>(year), m_footer.standard);
  const std::int64_t end = RuleInstant(m_footer.end, static_cast<int>(year), m_footer.summerOffset);
  const bool summer = start < end ? utc >= start && utc < end : !(utc >= end && utc < start);
  return summer ? m_footer.summerOffset : m_footer.standard;
}

std::int32_t TimeZone::OffsetAt(std::int64_t utc) const {
  if (m_transitions.empty() || utc >= m_transitions.back()) {
    if (m_footer.present) return FooterOffset(utc);
    return m_transitions.empty() ? m_offsets[0] : m_offsets[m_types.back()];
  }
  if (utc < m_transitions.front()) return m_offsets[0];
  const auto next = std::upper_bound(m_transitions.begin(), m_transitions.end(), utc);
  return m_offsets[m_types[static_cast<std::size_t>(std::distance(m_transitions.begin(), next) - 1)]];
}

TimeZone::Local TimeZone::Resolve(std::int64_t local) const {
  // A day either side holds the offsets the clock had around this time:
  // zones change their offset far less often than that.
  const std::int32_t candidates[2] = {OffsetAt(local - kDay), OffsetAt(local + kDay)};
  Local out;
  for (int k = 0; k < 2; ++k) {
    const std::int32_t offset = candidates[k];
    if (k == 1 && offset == candidates[0]) break;
    if (OffsetAt(local - offset) == offset) out.offsets[out.count++] = offset;
  }
  if (out.count == 2 && out.offsets[1] > out.offsets[0]) std::swap(out.offsets[0], out.offsets[1]);
  if (out.count == 0) {
    // Skipped: the jump lies between the instants of the two offsets.
    std::int64_t lo = local - std::max(candidates[0], candidates[1]);
    std::int64_t hi = local - std::min(candidates[0], candidates[1]);
    const std::int32_t before = OffsetAt(lo);
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      (OffsetAt(mid) == before ? lo : hi) = mid;
    }
    out.gap = hi;
  }
  return out;
}

void AppendOffset(std::string& out, std::int32_t offset) {
  out += offset < 0 ? '-' : '+';
  const std::int32_t a = offset < 0 ? -offset : offset;
  const auto two = [&](std::int32_t v) {
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
  };
  two(a / 3600);
  out += ':';
  two(a / 60 % 60);
  if (a % 60 != 0) {
    out += ':';
    two(a % 60);
  }
}

}  // namespace qtx::tool
