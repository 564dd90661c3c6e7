// The exported writer operations on a file stream the host opened, with the
// real clock: the bytes match the bundled sample's once the date and time are
// matched by pattern.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "support/TempFile.h"
#include "writer/WriterTestSupport.h"

namespace {

using qtx::test::MakeSection;
using qtx::test::ReadWholeFile;
using qtx::test::TempFile;
using qtx::test::SampleChannels;

// What a stream opened in text mode puts in the file for "\n": CR LF on
// Windows. Such files read back as written (see the round trip test).
std::string InTextMode(const std::string& text) {
#ifdef _WIN32
  return qtx::test::WithCrLf(text);
#else
  return text;
#endif
}

// Checks that every date and every time in `text` (the output of one call) is
// well formed and the same, then puts the sample's in their place.
std::string WithSampleTime(const std::string& text, std::size_t expectedCopies) {
  static const std::regex date(R"(\t\t(\d{4})/(0[1-9]|1[0-2])/(0[1-9]|[12]\d|3[01])(?=\t))");
  static const std::regex time(R"(\t\t([01]\d|2[0-3]):([0-5]\d):([0-5]\d|60)(?=\t))");
  for (const std::regex* pattern : {&date, &time}) {
    std::set<std::string> seen;
    std::size_t copies = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), *pattern); it != std::sregex_iterator(); ++it) {
      seen.insert(it->str());
      ++copies;
    }
    EXPECT_EQ(copies, expectedCopies) << text;
    EXPECT_EQ(seen.size(), 1u) << "all copies of one call are equal:\n" << text;
  }
  return std::regex_replace(std::regex_replace(text, date, "\t\t2024/03/05"), time, "\t\t09:07:02");
}

TEST(FileStream, MainHeaderMatchesTheSample) {
  TempFile file("");
  {
    std::ofstream out(file.Path());
    CQTXGeneral::QTX_WriteMainHeader(out, 1);
  }
  EXPECT_EQ(WithSampleTime(ReadWholeFile(file.Path()), 1),
            InTextMode("Quorset Measurement\t\nWriter_Version\t0.92\nReader_Version\t1\nSeparator\tTab\n"
                       "Multi_Headings\tYes\nX_Columns\tOne\nTime_Pref\tRelative\n"
                       "Description\tGenerated from Tessaron\nDate\t\t2024/03/05\t\nTime\t\t09:07:02\t\n"
                       "***End_of_Header***\t\n\n"));
}

TEST(FileStream, SectionHeaderMatchesTheSample) {
  TempFile file("");
  const auto section = MakeSection(2, SampleChannels());
  {
    std::ofstream out(file.Path());
    section->WriteSectionHeader(out, 1);
  }
  EXPECT_EQ(WithSampleTime(ReadWholeFile(file.Path()), 2),
            InTextMode("Channels\t2\t\t\nSamples\t\t500\t\t500\t\nDate\t\t2024/03/05\t\t2024/03/05\t\n"
                       "Time\t\t09:07:02\t\t09:07:02\t\nY_Dimension\t\tVoltage\t\tCurrent\t\n"
                       "Y_Unit_Label\t\tV\t\tA\t\nX_Dimension\t\tTime\t\tTime\t\nX_Unit_Label\t\ts\t\ts\t\n"
                       "X0\t\t0.000000e+00\t\t0.000000e+00\t\nDelta_X\t\t1.000000e-03\t\t1.000000e-03\t\n"
                       "***End_of_Header***\t\nX_Value\tIn1\tIn2\tComment\n"));
}

TEST(FileStream, WhatWasWrittenBeforeTheErrorReachesTheFile) {
  TempFile file("");
  const auto section = MakeSection(3, SampleChannels());
  {
    std::ofstream out(file.Path());
    EXPECT_THROW(section->WriteSectionHeader(out, 0), CInvalidArgException);
  }
  EXPECT_EQ(ReadWholeFile(file.Path()), InTextMode("Channels\t3\t\t\t\nSamples\t\t500\t\t500"));
}

TEST(FileStream, StreamThatIsNotOpenReceivesNothingAndNothingIsReported) {
  std::ofstream closed;
  const auto section = MakeSection(2, SampleChannels());
  EXPECT_NO_THROW(CQTXGeneral::QTX_WriteMainHeader(closed, 0));
  EXPECT_NO_THROW(CQTXGeneral::QTX_WriteTimeDate(closed, 2));
  EXPECT_NO_THROW(section->WriteSectionHeader(closed, 2));
  EXPECT_TRUE(closed.fail());
}

}  // namespace
