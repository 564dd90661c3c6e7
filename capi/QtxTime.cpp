// The C interface of wall-clock time: a channel's start and the unit of its
// X, from the texts the file keeps, through the C reading interface.
#include <string>

#include "qtx/QTXLibrary.h"
#include "qtx/qtx.h"

namespace {

qtx_status StatusOfTime(int status) {
  switch (status) {
    case QTX_TIME_OK: return QTX_OK;
    case QTX_TIME_NO_DATE: return QTX_ERR_NO_DATE;
    case QTX_TIME_NO_TIME: return QTX_ERR_NO_TIME;
    case QTX_TIME_BAD_DATE: return QTX_ERR_BAD_DATE;
    case QTX_TIME_BAD_TIME: return QTX_ERR_BAD_TIME;
    case QTX_TIME_NO_UNIT: return QTX_ERR_NO_UNIT;
    case QTX_TIME_NOT_A_TIME_UNIT: return QTX_ERR_NOT_TIME_UNIT;
    default: return QTX_ERR_INTERNAL;
  }
}

// The text and whether it is whole: a NUL inside would cut it short.
bool Text(qtx_status status, const char* text, size_t length) {
  return status == QTX_OK && std::char_traits<char>::length(text) == length;
}

}  // namespace

const char* QtxTimeStatusText(qtx_status status) {
  switch (status) {
    case QTX_ERR_NO_DATE: return "no Date, neither the channel's nor the main header's";
    case QTX_ERR_NO_TIME: return "a Date without a Time";
    case QTX_ERR_BAD_DATE: return "a Date that is not yyyy/MM/dd of a calendar day";
    case QTX_ERR_BAD_TIME: return "a Time that is not HH:mm:ss[.f...] of a day";
    case QTX_ERR_NO_UNIT: return "no X_Unit_Label";
    case QTX_ERR_NOT_TIME_UNIT: return "an X_Unit_Label that is no unit of time";
    default: return "unknown status";
  }
}

qtx_status qtx_get_start_time(const qtx_file* file, int section, int channel, int64_t* seconds,
                              uint32_t* nanoseconds) {
  if (seconds) *seconds = 0;
  if (nanoseconds) *nanoseconds = 0;
  const char *date = nullptr, *time = nullptr;
  size_t dateLength = 0, timeLength = 0;
  if (!seconds || !nanoseconds ||
      qtx_get_channel_text(file, section, channel, QTX_TEXT_DATE, &date, &dateLength) != QTX_OK ||
      qtx_get_channel_text(file, section, channel, QTX_TEXT_TIME, &time, &timeLength) != QTX_OK)
    return QTX_ERR_ARGUMENT;
  // The channel's own stamp only whole, as QTX_ChannelStartTime takes it.
  if (dateLength == 0 || timeLength == 0) {
    if (qtx_get_file_text(file, QTX_FILE_DATE, &date, &dateLength) != QTX_OK ||
        qtx_get_file_text(file, QTX_FILE_TIME, &time, &timeLength) != QTX_OK)
      return QTX_ERR_ARGUMENT;
  }
  if (!Text(QTX_OK, date, dateLength)) return QTX_ERR_BAD_DATE;
  if (!Text(QTX_OK, time, timeLength)) return QTX_ERR_BAD_TIME;
  QTXStartTime start{0, 0};
  const qtx_status status = StatusOfTime(QTX_ParseStartTime(date, time, start));
  if (status == QTX_OK) {
    *seconds = start.nSeconds;
    *nanoseconds = start.nNanoseconds;
  }
  return status;
}

qtx_status qtx_get_x_seconds(const qtx_file* file, int section, int channel, double* scale) {
  if (scale) *scale = 0.0;
  const char* label = nullptr;
  size_t length = 0;
  if (!scale || qtx_get_channel_text(file, section, channel, QTX_TEXT_X_UNIT_LABEL, &label, &length) != QTX_OK)
    return QTX_ERR_ARGUMENT;
  if (!Text(QTX_OK, label, length)) return QTX_ERR_NOT_TIME_UNIT;
  std::int64_t ns = 0;
  const qtx_status status = StatusOfTime(QTX_ParseXUnit(label, ns));
  if (status == QTX_OK) *scale = static_cast<double>(ns) / 1e9;
  return status;
}
