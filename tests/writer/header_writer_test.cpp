// Byte-for-byte tests of the header writer, on string streams and with the
// bundled sample's clock reading handed in.
#include <gtest/gtest.h>

#include <climits>
#include <iomanip>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "writer/HeaderWriter.h"
#include "writer/WriterTestSupport.h"

namespace {

using qtx::test::MakeSection;
using qtx::test::ReadWholeFile;
using qtx::test::SampleChannels;
using qtx::test::SampleClock;
namespace writer = qtx::writer;

// The bundled sample's main header (mode 1).
const char kSampleMainHeader[] =
    "Quorset Measurement\t\n"
    "Writer_Version\t0.92\n"
    "Reader_Version\t1\n"
    "Separator\tTab\n"
    "Multi_Headings\tYes\n"
    "X_Columns\tOne\n"
    "Time_Pref\tRelative\n"
    "Description\tGenerated from Tessaron\n"
    "Date\t\t2024/03/05\t\n"
    "Time\t\t09:07:02\t\n"
    "***End_of_Header***\t\n"
    "\n";

// The bundled sample's section header, with 500 samples per channel, through
// its end line; the headings line depends on the mode.
const char kSampleSectionHeader[] =
    "Channels\t2\t\t\n"
    "Samples\t\t500\t\t500\t\n"
    "Date\t\t2024/03/05\t\t2024/03/05\t\n"
    "Time\t\t09:07:02\t\t09:07:02\t\n"
    "Y_Dimension\t\tVoltage\t\tCurrent\t\n"
    "Y_Unit_Label\t\tV\t\tA\t\n"
    "X_Dimension\t\tTime\t\tTime\t\n"
    "X_Unit_Label\t\ts\t\ts\t\n"
    "X0\t\t0.000000e+00\t\t0.000000e+00\t\n"
    "Delta_X\t\t1.000000e-03\t\t1.000000e-03\t\n"
    "***End_of_Header***\t\n";

// A section without values: every per-channel line is its keyword and a tab.
const char kEmptySectionHeader[] =
    "Samples\t\n"
    "Date\t\n"
    "Time\t\n"
    "Y_Dimension\t\n"
    "Y_Unit_Label\t\n"
    "X_Dimension\t\n"
    "X_Unit_Label\t\n"
    "X0\t\n"
    "Delta_X\t\n"
    "***End_of_Header***\t\n";

std::string MainHeader(int mode) {
  std::ostringstream out;
  writer::WriteMainHeader(out, mode, SampleClock);
  return out.str();
}

std::string SectionHeader(const CQTXSection& section, int mode) {
  std::ostringstream out;
  writer::WriteSectionHeader(out, section, mode, SampleClock);
  return out.str();
}

// --- The bundled sample -------------------------------------------------------

TEST(SampleFile, MainHeaderInModeOne) { EXPECT_EQ(MainHeader(1), kSampleMainHeader); }

TEST(SampleFile, SectionHeaderAndHeadingsInModeOne) {
  const auto section = MakeSection(2, SampleChannels());
  EXPECT_EQ(SectionHeader(*section, 1), std::string(kSampleSectionHeader) + "X_Value\tIn1\tIn2\tComment\n");
}

// The writer's headers and the host's rows give the bundled sample byte for
// byte.
TEST(SampleFile, HeadersAndHostRowsGiveTheBundledSample) {
  std::ostringstream out;
  writer::WriteMainHeader(out, 1, SampleClock);
  const auto section = MakeSection(2, SampleChannels(3));
  writer::WriteSectionHeader(out, *section, 1, SampleClock);
  out << "0\t0.5\t0.1\n0.001\t0.6\t0.2\n0.002\t0.7\t0.3\n";
  EXPECT_EQ(out.str(), ReadWholeFile(QTX_EXAMPLES_DIR "/sample.qtx"));
}

// --- Main header ---------------------------------------------------------------

TEST(MainHeader, ModeChangesTheXColumnsLineAndNothingElse) {
  const std::string withoutXColumns = [] {
    std::string text = kSampleMainHeader;
    text.erase(text.find("X_Columns\tOne\n"), sizeof "X_Columns\tOne\n" - 1);
    return text;
  }();
  const std::string beforeXColumns = withoutXColumns.substr(0, withoutXColumns.find("Time_Pref"));
  const std::string afterXColumns = withoutXColumns.substr(beforeXColumns.size());
  EXPECT_EQ(MainHeader(0), beforeXColumns + "X_Columns\tNo\n" + afterXColumns);
  EXPECT_EQ(MainHeader(1), beforeXColumns + "X_Columns\tOne\n" + afterXColumns);
  EXPECT_EQ(MainHeader(2), beforeXColumns + "X_Columns\tMulti\n" + afterXColumns);
  // Any other mode: eleven lines, the X_Columns line left out whole.
  for (const int mode : {3, -1, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(MainHeader(mode), withoutXColumns);
  }
}

// --- Date and Time block -----------------------------------------------------

TEST(TimeDate, CountGivesTheNumberOfCopies) {
  struct Case {
    int n;
    const char* expected;
  } const cases[] = {
      {0, "Date\t\nTime\t\n"},
      {-5, "Date\t\nTime\t\n"},
      {INT_MIN, "Date\t\nTime\t\n"},
      {1, "Date\t\t2024/03/05\t\nTime\t\t09:07:02\t\n"},
      {3, "Date\t\t2024/03/05\t\t2024/03/05\t\t2024/03/05\t\nTime\t\t09:07:02\t\t09:07:02\t\t09:07:02\t\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    std::ostringstream out;
    writer::WriteTimeDate(out, c.n, SampleClock);
    EXPECT_EQ(out.str(), c.expected);
  }
}

// A clock whose every reading differs from the one before.
int g_readings = 0;
qtx::writer::LocalTimeTexts TickingClock() {
  ++g_readings;
  return {"2024/03/0" + std::to_string(g_readings), "09:07:0" + std::to_string(g_readings)};
}

TEST(TimeDate, EachCallReadsTheClockOnceForEveryCopy) {
  g_readings = 0;
  std::ostringstream out;
  writer::WriteTimeDate(out, 3, TickingClock);
  EXPECT_EQ(g_readings, 1);
  EXPECT_EQ(out.str(), "Date\t\t2024/03/01\t\t2024/03/01\t\t2024/03/01\t\nTime\t\t09:07:01\t\t09:07:01\t\t09:07:01\t\n");

  writer::WriteMainHeader(out, 0, TickingClock);
  EXPECT_EQ(g_readings, 2);
  const auto section = MakeSection(2, SampleChannels());
  writer::WriteSectionHeader(out, *section, 0, TickingClock);
  EXPECT_EQ(g_readings, 3);
  EXPECT_NE(out.str().find("Date\t\t2024/03/03\t\t2024/03/03\t\nTime\t\t09:07:03\t\t09:07:03\t\n"), std::string::npos);
}

TEST(TimeDate, GivenStampsReplaceTheClocksAndOnlyMissingOnesReadIt) {
  g_readings = 0;
  std::ostringstream out;
  writer::WriteMainHeader(out, 1, TickingClock, {"Run 7", "Absolute", "2031/12/24", "23:59:58"});
  EXPECT_EQ(g_readings, 0);
  EXPECT_NE(out.str().find("Time_Pref\tAbsolute\nDescription\tRun 7\nDate\t\t2031/12/24\t\nTime\t\t23:59:58\t\n"),
            std::string::npos);
  const auto section = MakeSection(2, SampleChannels());
  section->m_arrChannels.GetAt(0)->m_strDate = "2031/12/24";
  section->m_arrChannels.GetAt(0)->m_strTime = "23:59:58";
  out.str("");
  writer::WriteSectionHeader(out, *section, 1, TickingClock, true);
  EXPECT_EQ(g_readings, 1);  // for channel 1, once for both lines
  EXPECT_NE(out.str().find("Date\t\t2031/12/24\t\t2024/03/01\t\nTime\t\t23:59:58\t\t09:07:01\t\n"), std::string::npos);
}

// --- Section header ------------------------------------------------------------

TEST(SectionHeader, HeadingsLineFollowsTheMode) {
  const auto section = MakeSection(2, SampleChannels());
  struct Case {
    int mode;
    const char* headings;
  } const cases[] = {
      {0, "In1\tIn2\tComment\n"},
      {1, "X_Value\tIn1\tIn2\tComment\n"},
      {2, "X_Value\tIn1\tX_Value\tIn2\tComment\n"},
      {3, "Comment\n"},
      {-1, "Comment\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(SectionHeader(*section, c.mode), std::string(kSampleSectionHeader) + c.headings);
  }
}

TEST(SectionHeader, NoChannelsGivesKeywordsAlone) {
  const auto section = MakeSection(0, {});
  for (const int mode : {0, 2}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(SectionHeader(*section, mode), std::string("Channels\t0\n") + kEmptySectionHeader + "Comment\n");
  }
  // Mode 1 fetches channel 0 for the shared X heading: the error comes after
  // the end line, before any field of the headings line.
  std::ostringstream out;
  EXPECT_THROW(writer::WriteSectionHeader(out, *section, 1, SampleClock), CInvalidArgException);
  EXPECT_EQ(out.str(), std::string("Channels\t0\n") + kEmptySectionHeader);
}

TEST(SectionHeader, OnlyTheFirstNChannelsOfTheListAreWritten) {
  const auto section = MakeSection(1, {{7, "Y0", "U0", "X0d", "XU0", 1.5, 0.25, "T0", "A"},
                                       {8, "Y1", "U1", "X1d", "XU1", 2.5, 0.5, "T1", "B"},
                                       {9, "Y2", "U2", "X2d", "XU2", 3.5, 0.75, "T2", "C"}});
  EXPECT_EQ(SectionHeader(*section, 1),
            "Channels\t1\t\n"
            "Samples\t\t7\t\n"
            "Date\t\t2024/03/05\t\n"
            "Time\t\t09:07:02\t\n"
            "Y_Dimension\t\tY0\t\n"
            "Y_Unit_Label\t\tU0\t\n"
            "X_Dimension\t\tX0d\t\n"
            "X_Unit_Label\t\tXU0\t\n"
            "X0\t\t1.500000e+00\t\n"
            "Delta_X\t\t2.500000e-01\t\n"
            "***End_of_Header***\t\n"
            "T0\tA\tComment\n");
}

TEST(SectionHeader, MoreChannelsDeclaredThanListedRaisesInsideTheSamplesLine) {
  const auto section = MakeSection(3, SampleChannels());
  std::ostringstream out;
  EXPECT_THROW(writer::WriteSectionHeader(out, *section, 1, SampleClock), CInvalidArgException);
  EXPECT_EQ(out.str(), "Channels\t3\t\t\t\nSamples\t\t500\t\t500");
}

TEST(SectionHeader, NullEntryInTheListRaisesWhereItsFirstValueIsDue) {
  auto section = MakeSection(2, SampleChannels());
  delete section->m_arrChannels.ElementAt(1);
  section->m_arrChannels.ElementAt(1) = nullptr;
  std::ostringstream out;
  EXPECT_THROW(writer::WriteSectionHeader(out, *section, 0, SampleClock), CInvalidArgException);
  EXPECT_EQ(out.str(), "Channels\t2\t\t\nSamples\t\t500");
}

TEST(SectionHeader, NegativeCountWritesNoValueAnywhere) {
  const auto section = MakeSection(-1, SampleChannels());
  EXPECT_EQ(SectionHeader(*section, 1), std::string("Channels\t-1\n") + kEmptySectionHeader + "X_Value\tComment\n");
  EXPECT_EQ(SectionHeader(*section, 0), std::string("Channels\t-1\n") + kEmptySectionHeader + "Comment\n");
}

TEST(SectionHeader, StringsAreInsertedCharacterForCharacter) {
  // Empty strings insert nothing; a tab inside a string stays (and would read
  // back as an extra field).
  const auto section =
      MakeSection(2, {{1, "", "m/s\xb2", "a\tb", "", 0.0, 0.0, "", "Y 0"}, {2, "B", "", "", "s", 0.0, 0.0, "", ""}});
  const std::string text = SectionHeader(*section, 2);
  EXPECT_NE(text.find("\nY_Dimension\t\t\t\tB\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nY_Unit_Label\t\tm/s\xb2\t\t\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nX_Dimension\t\ta\tb\t\t\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nX_Unit_Label\t\t\t\ts\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("***\t\n\tY 0\t\t\tComment\n"), std::string::npos) << text;
}

TEST(SectionHeader, X0AndDeltaXHaveSixDigitsAfterThePoint) {
  const auto section = MakeSection(3, {{0, "a", "b", "c", "d", 12.5, 0.001, "x", "y"},
                                       {0, "a", "b", "c", "d", -0.5, 123456789.0, "x", "y"},
                                       {0, "a", "b", "c", "d", 1e-300, 2.0 / 3.0, "x", "y"}});
  const std::string text = SectionHeader(*section, 0);
  EXPECT_NE(text.find("\nX0\t\t1.250000e+01\t\t-5.000000e-01\t\t1.000000e-300\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nDelta_X\t\t1.000000e-03\t\t1.234568e+08\t\t6.666667e-01\t\n"), std::string::npos) << text;
}

// --- Marks left on the stream -------------------------------------------------

TEST(FormatMarks, SectionWithChannelsLeavesScientificWithPrecisionSix) {
  const auto section = MakeSection(2, SampleChannels());
  std::ostringstream out;
  out << std::boolalpha << std::setprecision(12);
  writer::WriteSectionHeader(out, *section, 1, SampleClock);
  EXPECT_TRUE(out.flags() & std::ios_base::scientific);
  EXPECT_TRUE(out.flags() & std::ios_base::boolalpha);  // added to, not replaced
  EXPECT_EQ(out.precision(), 6);
  out.str("");
  out << 0.5;  // the host's next double
  EXPECT_EQ(out.str(), "5.000000e-01");
}

TEST(FormatMarks, OtherWritesLeaveTheFormatAlone) {
  std::ostringstream out;
  out << std::setprecision(3) << std::fixed;
  const std::ios_base::fmtflags flags = out.flags();
  writer::WriteMainHeader(out, 2, SampleClock);
  writer::WriteTimeDate(out, 4, SampleClock);
  writer::WriteSectionHeader(out, *MakeSection(0, {}), 0, SampleClock);
  writer::WriteSectionHeader(out, *MakeSection(-1, SampleChannels()), 1, SampleClock);
  EXPECT_EQ(out.flags(), flags);
  EXPECT_EQ(out.precision(), 3);
}

// A stream buffer that notes where the text stood at every flush.
class FlushRecorder : public std::stringbuf {
 public:
  std::vector<std::size_t> flushedAt;

 protected:
  int sync() override {
    flushedAt.push_back(str().size());
    return 0;
  }
};

TEST(LineEnds, EveryLineEndsWithNewlineAndFlush) {
  FlushRecorder buffer;
  std::ostream out(&buffer);
  writer::WriteMainHeader(out, 1, SampleClock);
  const auto section = MakeSection(2, SampleChannels());
  writer::WriteSectionHeader(out, *section, 2, SampleClock);
  const std::string text = buffer.str();
  std::vector<std::size_t> lineEnds;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') lineEnds.push_back(i + 1);
  EXPECT_EQ(lineEnds.size(), 24u);
  EXPECT_EQ(buffer.flushedAt, lineEnds);
}

}  // namespace
