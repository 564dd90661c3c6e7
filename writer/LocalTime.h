// The local date and time as the header writer prints them: one reading of
// the clock, formatted as "yyyy/MM/dd" and "HH:mm:ss" (24-hour clock).
#ifndef QTX_WRITER_LOCALTIME_H
#define QTX_WRITER_LOCALTIME_H

#include <ctime>
#include <string>

namespace qtx::writer {

// The two texts of one clock reading.
struct LocalTimeTexts {
  std::string date;  // four-digit year, two-digit month and day: 2024/03/05
  std::string time;  // hour 00 to 23, minute and second, two digits each: 09:07:02
};

// Formats a broken-down time (as localtime_r fills it) with leading zeros.
LocalTimeTexts FormatLocalTime(const std::tm& reading);

// Reads the clock once and formats the local date and time of that reading.
// Both texts are empty when the system cannot give the local time; the lines
// are written all the same.
LocalTimeTexts ReadLocalTime();

}  // namespace qtx::writer

#endif  // QTX_WRITER_LOCALTIME_H
