// The local date and time as the header writer prints them: one reading of
// the clock, formatted as "yyyy/MM/dd" and "HH:mm:ss" (24-hour clock). The
// clock and its formatting are the platform's.
#ifndef QTX_WRITER_LOCALTIME_H
#define QTX_WRITER_LOCALTIME_H

#include "framework/Platform.h"

namespace qtx::writer {

using platform::FormatLocalTime;
using platform::LocalTimeTexts;
using platform::ReadLocalTime;

}  // namespace qtx::writer

#endif  // QTX_WRITER_LOCALTIME_H
