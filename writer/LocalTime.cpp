#include "writer/LocalTime.h"

#include <time.h>

#include <cstdio>

namespace qtx::writer {

LocalTimeTexts FormatLocalTime(const std::tm& reading) {
  // Wide enough for any int in every field, so nothing is ever cut.
  char buffer[64];
  LocalTimeTexts texts;
  std::snprintf(buffer, sizeof buffer, "%04lld/%02d/%02d", static_cast<long long>(reading.tm_year) + 1900,
                reading.tm_mon + 1, reading.tm_mday);
  texts.date = buffer;
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", reading.tm_hour, reading.tm_min, reading.tm_sec);
  texts.time = buffer;
  return texts;
}

LocalTimeTexts ReadLocalTime() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return {};
  std::tm local{};
#ifdef _WIN32
  if (::localtime_s(&local, &now) != 0) return {};
#else
  // localtime_r need not look at TZ by itself (POSIX); tzset makes it.
  ::tzset();
  if (::localtime_r(&now, &local) == nullptr) return {};
#endif
  return FormatLocalTime(local);
}

}  // namespace qtx::writer
