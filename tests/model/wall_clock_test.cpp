// A channel's start on the calendar and the unit of its X.
#include <gtest/gtest.h>

#include <string>

#include "qtx/QTXLibrary.h"

namespace {

TEST(WallClock, ParsesStartsStrictly) {
  struct Case {
    const char* date;
    const char* time;
    int status;
    std::int64_t seconds;
    std::uint32_t ns;
  };
  const Case cases[] = {
      {"1970/01/01", "00:00:00", QTX_TIME_OK, 0, 0},
      {"2024/03/05", "09:07:02", QTX_TIME_OK, 1709629622, 0},
      {"2024/02/29", "23:59:59.5", QTX_TIME_OK, 1709251199, 500000000},
      {"2000/02/29", "00:00:00.000000001", QTX_TIME_OK, 951782400, 1},
      {"1969/12/31", "23:59:59.999", QTX_TIME_OK, -1, 999000000},
      {"", "09:07:02", QTX_TIME_NO_DATE, 0, 0},
      {"2024/03/05", "", QTX_TIME_NO_TIME, 0, 0},
      {"2023/02/29", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"1900/02/29", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"2024-03-05", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"2024/3/5", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"2024/13/01", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"2024/03/05 ", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"0.0", "00:00:00", QTX_TIME_BAD_DATE, 0, 0},
      {"2024/03/05", "24:00:00", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "23:59:60", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "9:07:02", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "09:07", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "09:07:02.", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "09:07:02.1234567891", QTX_TIME_BAD_TIME, 0, 0},
      {"2024/03/05", "09:07:02 PM", QTX_TIME_BAD_TIME, 0, 0},
  };
  for (const Case& c : cases) {
    QTXStartTime start{0, 0};
    EXPECT_EQ(QTX_ParseStartTime(c.date, c.time, start), c.status) << c.date << " " << c.time;
    if (c.status == QTX_TIME_OK) {
      EXPECT_TRUE(start.nSeconds == c.seconds && start.nNanoseconds == c.ns) << c.time;
    }
  }
}

TEST(WallClock, TakesTheTimeUnitsOnly) {
  struct Case {
    const char* label;
    int status;
    std::int64_t ns;
  };
  const Case cases[] = {
      {"s", QTX_TIME_OK, 1000000000}, {"SEC", QTX_TIME_OK, 1000000000}, {"ms", QTX_TIME_OK, 1000000},
      {"Us", QTX_TIME_OK, 1000},      {"\xC2\xB5s", QTX_TIME_OK, 1000}, {"NS", QTX_TIME_OK, 1},
      {"min", QTX_TIME_OK, 60000000000}, {"h", QTX_TIME_OK, 3600000000000}, {"", QTX_TIME_NO_UNIT, 0},
      {"0.0", QTX_TIME_NOT_A_TIME_UNIT, 0}, {"s ", QTX_TIME_NOT_A_TIME_UNIT, 0}, {"secs", QTX_TIME_NOT_A_TIME_UNIT, 0},
      {"hz", QTX_TIME_NOT_A_TIME_UNIT, 0}, {"\xB5s", QTX_TIME_NOT_A_TIME_UNIT, 0}, {"m", QTX_TIME_NOT_A_TIME_UNIT, 0},
  };
  for (const Case& c : cases) {
    std::int64_t ns = 0;
    EXPECT_EQ(QTX_ParseXUnit(c.label, ns), c.status) << c.label;
    if (c.status == QTX_TIME_OK) {
      EXPECT_EQ(ns, c.ns) << c.label;
    }
  }
  CQTXChannel channel;
  channel.m_strXUnitLabel = CString(std::string("s\0x", 3));
  std::int64_t ns = 0;
  EXPECT_EQ(QTX_ChannelXUnit(channel, ns), QTX_TIME_NOT_A_TIME_UNIT);
}

TEST(WallClock, ChannelsOwnStampWinsOnlyWhole) {
  CQTXGeneral qtx;
  qtx.m_strDate = "2024/03/05";
  qtx.m_strTime = "09:07:02";
  CQTXChannel channel;
  QTXStartTime start{0, 0};
  ASSERT_EQ(QTX_ChannelStartTime(qtx, channel, start), QTX_TIME_OK);
  EXPECT_EQ(start.nSeconds, 1709629622);
  channel.m_strDate = "2024/03/06";  // a Date without its Time: the main header's pair
  ASSERT_EQ(QTX_ChannelStartTime(qtx, channel, start), QTX_TIME_OK);
  EXPECT_EQ(start.nSeconds, 1709629622);
  channel.m_strTime = "00:00:01.25";
  ASSERT_EQ(QTX_ChannelStartTime(qtx, channel, start), QTX_TIME_OK);
  EXPECT_TRUE(start.nSeconds == 1709683201 && start.nNanoseconds == 250000000);
  channel.m_strTime = "00:00:01,25";  // its own, unreadable: no fallback
  EXPECT_EQ(QTX_ChannelStartTime(qtx, channel, start), QTX_TIME_BAD_TIME);
}

// 1 ms steps over five days: every X of the grid lands on its nanosecond,
// and the text shows it.
TEST(WallClock, MillisecondGridOverDaysIsExact) {
  const QTXStartTime start{1709629622, 0};
  const double dx = 0.001;
  for (std::int64_t r = 0; r <= 5 * 86400 * 1000; r += 997) {
    std::int64_t ns = 0;
    ASSERT_TRUE(QTX_XToNanoseconds(0.0 + static_cast<double>(r) * dx, 1000000000, ns));
    ASSERT_EQ(ns, r * 1000000) << r;
  }
  std::int64_t ns = 0;
  ASSERT_TRUE(QTX_XToNanoseconds(4 * 86400000.0 + 1.0, 1000000, ns));  // ms unit
  QTXStartTime t{0, 0};
  ASSERT_TRUE(QTX_AddNanoseconds(start, ns, t));
  char text[32];
  ASSERT_EQ(QTX_FormatIso8601(t, 3, text, sizeof text), 23u);
  EXPECT_STREQ(text, "2024-03-09T09:07:02.001");
  ASSERT_TRUE(QTX_ParseIso8601("2024-03-09T09:07:02.001", t));
  EXPECT_TRUE(t.nSeconds == 1709975222 && t.nNanoseconds == 1000000);
  ASSERT_TRUE(QTX_AddNanoseconds({0, 0}, -1, t));
  ASSERT_GT(QTX_FormatIso8601(t, 9, text, sizeof text), 0u);
  EXPECT_STREQ(text, "1969-12-31T23:59:59.999999999");
  EXPECT_FALSE(QTX_XToNanoseconds(1e300, 1, ns));
  EXPECT_FALSE(QTX_ParseIso8601("2024-03-09T09:07:02Z", t));
}

}  // namespace
