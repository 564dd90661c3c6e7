// The section header reader: keyword table, distribution over channels,
// special blocks, headings by X-column mode and the line counter.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "reader/ReaderTestSupport.h"

namespace {

using qtx::test::LineEnd;
using qtx::test::OpenTextFile;

const CQTXChannel& Channel(const CQTXSection* section, int i) { return *section->m_arrChannels.GetAt(i); }

// A CQTXGeneral with the given mode and separator, as a main header would leave it.
struct Reader {
  explicit Reader(std::string_view text, int nXColumns = 0, const char* separator = "\t") : file(text) {
    qtx.m_nXColumns = nXColumns;
    qtx.m_strSeparator = separator;
  }
  CQTXSection* Read() { return qtx.QTX_ReadSectionHeader(nLine, file.get()); }

  OpenTextFile file;
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
};

class SectionHeaderLineEnds : public ::testing::TestWithParam<LineEnd> {};

TEST_P(SectionHeaderLineEnds, DistributesValuesAndCountsEveryLine) {
  Reader r(qtx::test::Convert(
      "Channels\t2\n"                   // opens the section
      "Samples\t100\n"                  // one value for two channels: the second gets the fill
      "\n"                              // blank lines are skipped and counted
      "X0\t0\t1\n"
      "Delta_X\t\t0.001\t\t0.002\t\n"   // the writer's double tabs
      "Time\t\t09:07:02\t\n"           // one stamp: the second channel has none
      "***End_of_Header***\n"
      "A\tB\tComment\n"                 // headings line
      "1\t2\n",                         // first data row
      GetParam()));
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  ASSERT_EQ(r.qtx.m_arrSections.GetSize(), 1);
  EXPECT_EQ(r.qtx.m_arrSections.GetAt(0), section);
  EXPECT_EQ(section->m_nChannels, 2);
  ASSERT_EQ(section->m_arrChannels.GetSize(), 2);
  EXPECT_EQ(r.nLine, 8u);
  EXPECT_TRUE(r.qtx.m_bEndOfSectionHeader);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Channel(section, i).m_nIndex, i);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 100u);
  EXPECT_EQ(Channel(section, 1).m_nSamples, 0u);
  EXPECT_EQ(Channel(section, 0).m_dX0, 0.0);
  EXPECT_EQ(Channel(section, 1).m_dX0, 1.0);
  EXPECT_EQ(Channel(section, 0).m_dDeltaX, 0.001);
  EXPECT_EQ(Channel(section, 1).m_dDeltaX, 0.002);
  EXPECT_EQ(Channel(section, 0).m_strYHeading, "A");
  EXPECT_EQ(Channel(section, 1).m_strYHeading, "B");
  EXPECT_EQ(Channel(section, 0).m_strTime, "09:07:02");
  EXPECT_EQ(Channel(section, 1).m_strTime, "");
  EXPECT_EQ(Channel(section, 0).m_strDate, "");
  // What the scan would record: the file now stands at the first data row.
  EXPECT_EQ(section->m_nDataLine, 0u);
  EXPECT_EQ(section->m_nDataPosition, 0u);
  EXPECT_EQ(r.file.NextLine(), "1\t2");
}

TEST_P(SectionHeaderLineEnds, HeadingsFollowTheXColumnMode) {
  struct Case {
    int mode;
    const char* headings;
    std::vector<std::string> x;
    std::vector<std::string> y;
  } const cases[] = {
      {0, "A\tB\tComment", {"X_Value", "X_Value"}, {"A", "B"}},
      {1, "T\tA\tB\tComment", {"T", "T"}, {"A", "B"}},
      {2, "T1\tA\tT2\tB\tComment", {"T1", "T2"}, {"A", "B"}},
      {3, "A\tB\tComment", {"", ""}, {"A", "B"}},  // unknown mode: X headings untouched
      {2, "T1\tA", {"T1", ""}, {"A", ""}},          // headings past the last field are empty
      {1, "", {"", ""}, {"", ""}},
  };
  for (const auto& c : cases) {
    Reader r(qtx::test::Convert(std::string("Channels\t2\n***End_of_Header***\n") + c.headings + "\n", GetParam()),
             c.mode);
    CQTXSection* section = r.Read();
    ASSERT_NE(section, nullptr) << c.headings;
    EXPECT_EQ(r.nLine, 3u) << c.headings;
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Channel(section, i).m_strXHeading, c.x[static_cast<std::size_t>(i)]) << c.mode << " " << c.headings;
      EXPECT_EQ(Channel(section, i).m_strYHeading, c.y[static_cast<std::size_t>(i)]) << c.mode << " " << c.headings;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SectionHeader, SectionHeaderLineEnds, ::testing::Values(LineEnd::kLf, LineEnd::kCrLf),
                         [](const auto& info) { return qtx::test::Name(info.param); });

TEST(SectionHeader, CommaSeparatedFileReads) {
  Reader r("Channels,2\nSamples,,3,,4,\nY_Unit_Label,V,A\n***End_of_Header***\nt,a,b,Comment\n", 1, ",");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(Channel(section, 1).m_nSamples, 4u);
  EXPECT_EQ(Channel(section, 1).m_strYUnitLabel, "A");
  EXPECT_EQ(Channel(section, 1).m_strXHeading, "t");
  EXPECT_EQ(Channel(section, 1).m_strYHeading, "b");
}

TEST(SectionHeader, FillTextsDifferPerKeyword) {
  // Each keyword line carries one value for three channels.
  Reader r(
      "Channels\t3\n"
      "Samples\t7\n"
      "X0\t1.5\n"
      "Delta_X\t2.5\n"
      "X_Dimension\tTime\n"
      "X_Unit_Label\ts\n"
      "Y_Dimension\tVoltage\n"
      "Y_Unit_Label\tV\n"
      "***End_of_Header***\n"
      "\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  for (int i = 1; i < 3; ++i) {
    const CQTXChannel& c = Channel(section, i);
    EXPECT_EQ(c.m_nSamples, 0u);
    EXPECT_EQ(c.m_dX0, 0.0);
    EXPECT_EQ(c.m_dDeltaX, 0.0);
    // The labels fill with the text "0.0", not with an empty text.
    EXPECT_EQ(c.m_strXDimension, "0.0");
    EXPECT_EQ(c.m_strXUnitLabel, "0.0");
    EXPECT_EQ(c.m_strYDimension, "0.0");
    EXPECT_EQ(c.m_strYUnitLabel, "0.0");
  }
  EXPECT_EQ(Channel(section, 0).m_strYDimension, "Voltage");
  EXPECT_EQ(Channel(section, 0).m_dDeltaX, 2.5);
}

TEST(SectionHeader, KeywordAloneGivesTheFirstChannelAnEmptyValue) {
  Reader r("Channels\t2\nSamples\t9\t9\nSamples\nY_Unit_Label\nX0\n***End_of_Header***\n\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 0u);       // empty text converts to 0
  EXPECT_EQ(Channel(section, 0).m_strYUnitLabel, "");  // empty, not the fill text
  EXPECT_EQ(Channel(section, 1).m_strYUnitLabel, "0.0");
  EXPECT_EQ(Channel(section, 1).m_nSamples, 0u);

  // A Channels line without a count opens a section without channels.
  Reader alone("Channels\n***End_of_Header***\n\n");
  CQTXSection* empty = alone.Read();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->m_nChannels, 0);
}

TEST(SectionHeader, ValuesConvertAsTheCRuntimeDoes) {
  Reader r(
      "Channels\t 3xyz\n"                        // atoi stops at the letters
      "Samples\t-1\t4294967297\tabc\n"           // wraps; saturates at the 32-bit long; no number
      "X0\t1e3\t-0x10\tjunk\n"
      "***End_of_Header***\n"
      "\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  ASSERT_EQ(section->m_nChannels, 3);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 4294967295u);
  EXPECT_EQ(Channel(section, 1).m_nSamples, 2147483647u);
  EXPECT_EQ(Channel(section, 2).m_nSamples, 0u);
  EXPECT_EQ(Channel(section, 0).m_dX0, 1000.0);
  EXPECT_EQ(Channel(section, 1).m_dX0, -16.0);
  EXPECT_EQ(Channel(section, 2).m_dX0, 0.0);
}

TEST(SectionHeader, ExtraValuesAndEarlyKeywordsAreIgnored) {
  Reader r(
      "Samples\t5\t5\n"          // before any Channels line: ignored
      "Y_Dimension\tLost\n"
      "Channels\t2\n"
      "Date\t\t2024/03/05\t\t2024/03/05\n"
      "Time\t\t09:07:02\t\t09:07:02\n"
      "Unknown\t1\t2\n"
      "***End_Special***\n"      // outside a block: ignored
      "Y_Dimension\tU\tI\tExtra\n"
      "***End_of_Header***\n"
      "\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 10u);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 0u);
  EXPECT_EQ(Channel(section, 0).m_strYDimension, "U");
  EXPECT_EQ(Channel(section, 1).m_strYDimension, "I");
  EXPECT_FALSE(r.qtx.m_bInSpecial);
}

TEST(SectionHeader, SectionLinesAreTrimmedButTheHeadingsLineIsNot) {
  Reader r(
      "   Channels\t1  \n"        // indented keyword lines are recognised
      "\t Samples\t3\t\n"
      " \t \n"                    // white space only: skipped and counted
      "  ***End_of_Header***\n"
      "\tA\tComment\n");           // not trimmed, yet the leading tab yields nothing
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 5u);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 3u);
  EXPECT_EQ(Channel(section, 0).m_strYHeading, "A");

  // With a comma separator the headings line keeps its spaces.
  Reader comma("Channels,1\n***End_of_Header***\n  A ,Comment\n", 0, ",");
  CQTXSection* commaSection = comma.Read();
  ASSERT_NE(commaSection, nullptr);
  EXPECT_EQ(Channel(commaSection, 0).m_strYHeading, "  A ");
}

TEST(SectionHeader, BlankLineAfterTheEndLineIsTheHeadingsLine) {
  Reader r("Channels\t1\n***End_of_Header***\n\nY\tComment\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 3u);
  EXPECT_EQ(Channel(section, 0).m_strYHeading, "");
  EXPECT_EQ(r.file.NextLine(), "Y\tComment");  // the first data row
}

TEST(SectionHeader, HeaderWithoutChannelsReturnsNullAndStopsAtTheEndLine) {
  Reader r("\nSamples\t3\n***End_of_Header***\nChannels\t1\n");
  EXPECT_EQ(r.Read(), nullptr);
  EXPECT_EQ(r.nLine, 3u);
  EXPECT_TRUE(r.qtx.m_bEndOfSectionHeader);
  EXPECT_EQ(r.qtx.m_arrSections.GetSize(), 0);
  EXPECT_EQ(r.file.NextLine(), "Channels\t1");  // not read

  Reader atEnd("");
  EXPECT_EQ(atEnd.Read(), nullptr);
  EXPECT_EQ(atEnd.nLine, 0u);
  EXPECT_FALSE(atEnd.qtx.m_bEndOfSectionHeader);
}

TEST(SectionHeader, ZeroOrNegativeChannelsMakeAnEmptySection) {
  for (const char* count : {"0", "-2"}) {
    Reader r(std::string("Channels\t") + count + "\nSamples\t4\n***End_of_Header***\nheadings\nrow\n");
    CQTXSection* section = r.Read();
    ASSERT_NE(section, nullptr) << count;
    EXPECT_EQ(section->m_nChannels, std::stoi(count));
    EXPECT_EQ(section->m_arrChannels.GetSize(), 0);
    EXPECT_EQ(r.nLine, 4u);  // the headings line is still consumed
    EXPECT_EQ(r.file.NextLine(), "row");
  }
}

TEST(SectionHeader, SecondChannelsLineMakesASecondSection) {
  Reader r("Channels\t1\nSamples\t5\nChannels\t2\nSamples\t6\t7\n***End_of_Header***\nA\tB\n");
  CQTXSection* section = r.Read();
  ASSERT_EQ(r.qtx.m_arrSections.GetSize(), 2);
  EXPECT_EQ(section, r.qtx.m_arrSections.GetAt(1));
  const CQTXSection* first = r.qtx.m_arrSections.GetAt(0);
  EXPECT_EQ(first->m_nChannels, 1);
  EXPECT_EQ(Channel(first, 0).m_nSamples, 5u);
  EXPECT_EQ(Channel(first, 0).m_strYHeading, "");  // headings go to the returned section only
  EXPECT_EQ(Channel(section, 1).m_nSamples, 7u);
  EXPECT_EQ(Channel(section, 1).m_strYHeading, "B");
}

TEST(SectionHeader, SpecialBlockSwallowsEverythingUpToItsEnd) {
  Reader r(
      "Channels\t1\n"
      "***Start_Special***\n"
      "***Start_Special***\n"       // blocks do not nest
      "Channels\t5\n"
      "***End_of_Header***\n"
      "Samples\t9\n"
      "***end_special***\n"          // the first end closes the block, in any case
      "Samples\t3\n"
      "***End_Special***\n"          // outside a block: nothing
      "***End_of_Header***\n"
      "Y\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.qtx.m_arrSections.GetSize(), 1);
  EXPECT_EQ(section->m_nChannels, 1);
  EXPECT_EQ(Channel(section, 0).m_nSamples, 3u);
  EXPECT_EQ(r.nLine, 11u);
  EXPECT_FALSE(r.qtx.m_bInSpecial);
}

TEST(SectionHeader, OpenSpecialBlockCarriesOverToTheNextCall) {
  Reader r("Channels\t1\n***Start_Special***\n***End_of_Header***\nA\n");
  // The block swallows the end line, so the file ends inside the header.
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 5u);  // four lines plus the missing headings line
  EXPECT_TRUE(r.qtx.m_bInSpecial);
  EXPECT_EQ(Channel(section, 0).m_strYHeading, "");

  // A call on another file starts inside the block.
  OpenTextFile next("Channels\t2\n***End_Special***\nChannels\t1\n***End_of_Header***\nY\n");
  std::uint32_t nLine = 0;
  CQTXSection* after = r.qtx.QTX_ReadSectionHeader(nLine, next.get());
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->m_nChannels, 1);
  EXPECT_EQ(r.qtx.m_arrSections.GetSize(), 2);
  EXPECT_FALSE(r.qtx.m_bInSpecial);
}

TEST(SectionHeader, FileEndingAfterTheChannelsLineStillGivesTheSection) {
  Reader r("\nChannels\t2");  // no line end either
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 3u);  // one more than the file holds
  EXPECT_FALSE(r.qtx.m_bEndOfSectionHeader);
  EXPECT_EQ(Channel(section, 0).m_strXHeading, "X_Value");
  EXPECT_EQ(Channel(section, 1).m_strYHeading, "");
}

TEST(SectionHeader, OnAFreshObjectTheMainHeaderReadsAsASectionHeader) {
  Reader r(
      "Quorset Measurement\n"
      "X_Columns\tOne\n"             // not acted on by the section reader
      "Channels\t1\n"
      "***End_of_Header***\n"        // the main header's end line ends the section header
      "T\tY\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(r.nLine, 5u);
  EXPECT_EQ(r.qtx.m_nXColumns, 0);
  EXPECT_EQ(Channel(section, 0).m_strYHeading, "T");
}

TEST(SectionHeader, ConsecutiveSectionsEachStartWhereTheLastEnded) {
  Reader r(
      "Channels\t1\nSamples\t2\n***End_of_Header***\nY1\n"
      "1\n2\n"                        // data rows carry no keyword
      "\nChannels\t1\n***End_of_Header***\nY2\n3\n");
  CQTXSection* first = r.Read();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(r.nLine, 4u);
  CQTXSection* second = r.Read();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(r.nLine, 10u);
  EXPECT_EQ(Channel(second, 0).m_strYHeading, "Y2");
  EXPECT_EQ(r.Read(), nullptr);
  EXPECT_EQ(r.nLine, 11u);
  EXPECT_EQ(r.qtx.m_arrSections.GetSize(), 2);
}

TEST(SectionHeader, HostileChannelCountFailsBeforeCreatingAnything) {
  Reader r("Channels\t1\n***End_of_Header***\nY\nChannels\t2147483647\n***End_of_Header***\n\n");
  ASSERT_NE(r.Read(), nullptr);
  EXPECT_THROW(r.Read(), std::bad_alloc);
  // The earlier section stays with its owner; no new section was linked in.
  EXPECT_EQ(r.qtx.m_arrSections.GetSize(), 1);
  EXPECT_EQ(r.nLine, 3u);
}

TEST(SectionHeader, LargeCountThatFitsIsCreatedInFull) {
  Reader r("Channels\t100000\nSamples\t1\n***End_of_Header***\n\n");
  CQTXSection* section = r.Read();
  ASSERT_NE(section, nullptr);
  ASSERT_EQ(section->m_arrChannels.GetSize(), 100000);
  EXPECT_EQ(Channel(section, 99999).m_nIndex, 99999);
  EXPECT_EQ(Channel(section, 99999).m_strXUnitLabel, "");
  EXPECT_EQ(Channel(section, 99999).m_nSamples, 0u);
}

}  // namespace
