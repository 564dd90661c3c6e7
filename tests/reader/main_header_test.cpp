// The main header reader: keyword table, separator rule and line counter.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "reader/ReaderTestSupport.h"

namespace {

using qtx::test::LineEnd;
using qtx::test::OpenTextFile;

// Reads the main header of `text` into `qtx`; returns the result, and the
// number of lines counted in `nLine`.
bool ReadMain(CQTXGeneral& qtx, const std::string& text, std::uint32_t& nLine) {
  OpenTextFile file(text);
  nLine = 0;
  return qtx.QTX_ReadMainHeader(nLine, file.get());
}

class MainHeaderLineEnds : public ::testing::TestWithParam<LineEnd> {};

TEST_P(MainHeaderLineEnds, WrittenHeaderSetsEverySetting) {
  const std::string text = qtx::test::Convert(
      "Quorset Measurement\t\n"          // magic line, trailing tab
      "Writer_Version\t0.92\n"
      "Reader_Version\t1\n"
      "Separator\tTab\n"
      "Multi_Headings\tYes\n"
      "X_Columns\tOne\n"
      "Time_Pref\tRelative\n"
      "Description\tGenerated from Tessaron\n"
      "Date\t\t2024/03/05\t\n"
      "Time\t\t09:07:02\t\n"
      "***End_of_Header***\t\n"          // line 11 ends the header
      "\n"
      "Channels\t2\t\t\n",
      GetParam());
  OpenTextFile file(text);
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, file.get()));
  EXPECT_EQ(nLine, 11u);
  EXPECT_TRUE(qtx.m_bQTXFile);
  EXPECT_TRUE(qtx.m_bEndOfHeader);
  EXPECT_EQ(qtx.m_dWriterVersion, 0.92);
  EXPECT_EQ(qtx.m_dReaderVersion, 1.0);
  EXPECT_EQ(qtx.m_strSeparator, "\t");
  EXPECT_EQ(qtx.m_strSeparatorName, "Tab");
  EXPECT_TRUE(qtx.m_bMultiHeadings);
  EXPECT_EQ(qtx.m_nXColumns, 1);
  // The metadata, recorded as written beside the settings.
  EXPECT_EQ(qtx.m_strTimePref, "Relative");
  EXPECT_EQ(qtx.m_strDescription, "Generated from Tessaron");
  EXPECT_EQ(qtx.m_strDate, "2024/03/05");
  EXPECT_EQ(qtx.m_strTime, "09:07:02");
  EXPECT_FALSE(qtx.m_bEndOfSectionHeader);
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 0);
  // The file stands at the line after the end line.
  const std::size_t afterEnd = text.find('\n', text.find("***End_of_Header***")) + 1;
  EXPECT_EQ(file->GetPosition(), afterEnd);
  EXPECT_EQ(file.NextLine(), "");
  EXPECT_EQ(file.NextLine(), "Channels\t2\t\t");
}

TEST_P(MainHeaderLineEnds, SeparatorSwitchGovernsFromTheNextLine) {
  // The Separator line itself is split at the tab in force before it; the
  // X_Columns line after it is split at the comma.
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(qtx,
                       qtx::test::Convert("Quorset Measurement\n"
                                          "Separator\tComma\n"
                                          "X_Columns,Multi\n"
                                          "***End_of_Header***\n",
                                          GetParam()),
                       nLine));
  EXPECT_EQ(nLine, 4u);
  EXPECT_TRUE(qtx.m_bQTXFile);
  EXPECT_EQ(qtx.m_strSeparator, ",");
  EXPECT_EQ(qtx.m_strSeparatorName, "Comma");
  EXPECT_EQ(qtx.m_nXColumns, 2);
}

INSTANTIATE_TEST_SUITE_P(MainHeader, MainHeaderLineEnds, ::testing::Values(LineEnd::kLf, LineEnd::kCrLf),
                         [](const auto& info) { return qtx::test::Name(info.param); });

TEST(MainHeader, SeparatorLineIsSplitWithTheOldSeparator) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  // At the default tab, "Separator,Comma" is one unknown field.
  ASSERT_TRUE(ReadMain(qtx, "Separator,Comma\nX_Columns\tOne\n***End_of_Header***\n", nLine));
  EXPECT_EQ(qtx.m_strSeparator, "\t");
  EXPECT_EQ(qtx.m_nXColumns, 1);

  // Once the comma governs, "Separator<tab>Tab" is one field and changes
  // nothing; only "Separator,Tab" switches back.
  CQTXGeneral back;
  ASSERT_TRUE(ReadMain(back,
                       "Separator\tComma\n"
                       "Separator\tTab\n"
                       "X_Columns,One\n"
                       "Separator,Tab\n"
                       "X_Columns\tMulti\n"
                       "***End_of_Header***\n",
                       nLine));
  EXPECT_EQ(back.m_strSeparator, "\t");
  EXPECT_EQ(back.m_strSeparatorName, "Tab");
  EXPECT_EQ(back.m_nXColumns, 2);
  EXPECT_EQ(nLine, 6u);
}

TEST(MainHeader, SeparatorValuesKeepTheirSpelling) {
  struct Case {
    const char* value;
    const char* separator;
  } const cases[] = {
      {"comma", ","}, {"COMMA", ","}, {"tab", "\t"}, {";", ";"}, {"||", "||"},
  };
  for (const auto& c : cases) {
    CQTXGeneral qtx;
    std::uint32_t nLine = 0;
    ASSERT_TRUE(ReadMain(qtx, std::string("Separator\t") + c.value + "\n***End_of_Header***\n", nLine)) << c.value;
    EXPECT_EQ(qtx.m_strSeparator, c.separator) << c.value;
    EXPECT_EQ(qtx.m_strSeparatorName, c.value) << c.value;
  }
  // A semicolon separator splits the lines after it.
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(qtx, "Separator\t;\nX_Columns;;One\n***End_of_Header***\n", nLine));
  EXPECT_EQ(qtx.m_nXColumns, 1);
}

TEST(MainHeader, KeywordsWithoutValueChangeNothing) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(qtx,
                       "Separator\n"
                       "Writer_Version\t\t\n"   // only separators after the key
                       "Reader_Version\n"
                       "Multi_Headings\n"
                       "X_Columns\n"
                       "***End_of_Header***\n",
                       nLine));
  EXPECT_EQ(nLine, 6u);
  EXPECT_EQ(qtx.m_strSeparator, "\t");
  EXPECT_EQ(qtx.m_strSeparatorName, "Tab");
  EXPECT_EQ(qtx.m_dWriterVersion, 0.92);
  EXPECT_EQ(qtx.m_dReaderVersion, 0.92);
  EXPECT_FALSE(qtx.m_bMultiHeadings);
  EXPECT_EQ(qtx.m_nXColumns, 0);
}

TEST(MainHeader, WordValuesIgnoreCaseAndOthersFallBack) {
  struct Case {
    const char* lines;
    bool multiHeadings;
    int xColumns;
  } const cases[] = {
      {"Multi_Headings\tyes\n", true, 0},
      {"MULTI_HEADINGS\tYES\n", true, 0},
      {"Multi_Headings\tTrue\n", false, 0},
      {"Multi_Headings\t1\n", false, 0},
      {"Multi_Headings\tYes\nMulti_Headings\tNo\n", false, 0},  // a later line overrides
      {"x_columns\tmulti\n", false, 2},
      {"X_Columns\tONE\n", false, 1},
      {"X_Columns\tTwo\n", false, 0},
      {"X_Columns\tOne\nX_Columns\tTwo\n", false, 1},  // unknown word leaves the earlier value
      {"X_Columns\tMulti\nX_Columns\tno\n", false, 0},
  };
  for (const auto& c : cases) {
    CQTXGeneral qtx;
    std::uint32_t nLine = 0;
    ASSERT_TRUE(ReadMain(qtx, std::string(c.lines) + "***End_of_Header***\n", nLine)) << c.lines;
    EXPECT_EQ(qtx.m_bMultiHeadings, c.multiHeadings) << c.lines;
    EXPECT_EQ(qtx.m_nXColumns, c.xColumns) << c.lines;
  }
}

TEST(MainHeader, VersionsConvertAsAtofDoes) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(qtx, "Writer_Version\tabc\nReader_Version\t 2.5e1xyz\n***End_of_Header***\n", nLine));
  EXPECT_EQ(qtx.m_dWriterVersion, 0.0);
  EXPECT_EQ(qtx.m_dReaderVersion, 25.0);
}

TEST(MainHeader, BlankAndUnknownLinesAreCountedAndChangeNothing) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(qtx,
                       "\n"
                       "\t\t\t\n"                     // separators only
                       "Description\tanything\n"
                       "Time_Pref\tAbsolute\n"
                       "Channels\t2\n"                // section keywords mean nothing here
                       "***Start_Special***\n"        // no special blocks in the main header
                       "X_Columns\tOne\n"
                       "***End_Special***\n"
                       "***End_of_Header***\n",
                       nLine));
  EXPECT_EQ(nLine, 9u);
  EXPECT_EQ(qtx.m_nXColumns, 1);
  EXPECT_FALSE(qtx.m_bInSpecial);
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 0);
}

TEST(MainHeader, LinesAreNotTrimmed) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  EXPECT_FALSE(ReadMain(qtx, " X_Columns\tOne\n ***End_of_Header***\n", nLine));
  EXPECT_EQ(nLine, 2u);
  EXPECT_EQ(qtx.m_nXColumns, 0);
  EXPECT_FALSE(qtx.m_bEndOfHeader);
}

TEST(MainHeader, EndLineEndsTheHeaderInAnyCaseAndWithMoreFields) {
  for (const char* end : {"***End_of_Header***\tmore\tfields", "***end_of_header***", "***END_OF_HEADER***\t"}) {
    OpenTextFile file(std::string("Quorset Measurement\n") + end + "\nX_Columns\tOne\n");
    CQTXGeneral qtx;
    std::uint32_t nLine = 0;
    EXPECT_TRUE(qtx.QTX_ReadMainHeader(nLine, file.get())) << end;
    EXPECT_EQ(nLine, 2u) << end;
    EXPECT_EQ(qtx.m_nXColumns, 0) << end;  // the line after the end line is not read
    EXPECT_EQ(file.NextLine(), "X_Columns\tOne");
  }
}

TEST(MainHeader, FileEndingBeforeTheEndLineKeepsWhatWasRead) {
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  EXPECT_FALSE(ReadMain(qtx, "Quorset Measurement\nSeparator\tComma\nX_Columns,One\n\nDescription,x", nLine));
  EXPECT_EQ(nLine, 5u);  // every line of the file, the last one without a line end
  EXPECT_TRUE(qtx.m_bQTXFile);
  EXPECT_EQ(qtx.m_strSeparator, ",");
  EXPECT_EQ(qtx.m_nXColumns, 1);
  EXPECT_FALSE(qtx.m_bEndOfHeader);

  CQTXGeneral empty;
  EXPECT_FALSE(ReadMain(empty, "", nLine));
  EXPECT_EQ(nLine, 0u);
}

TEST(MainHeader, MagicLineIsOptionalAndMayRepeat) {
  CQTXGeneral without;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(ReadMain(without, "X_Columns\tOne\n***End_of_Header***\n", nLine));
  EXPECT_FALSE(without.m_bQTXFile);

  CQTXGeneral twice;
  ASSERT_TRUE(ReadMain(twice, "X_Columns\tOne\nquorset measurement\nQuorset Measurement\textra\n***End_of_Header***\n",
                       nLine));
  EXPECT_TRUE(twice.m_bQTXFile);
  EXPECT_EQ(nLine, 4u);
}

TEST(MainHeader, SecondCallReadsNothing) {
  OpenTextFile file("X_Columns\tOne\n***End_of_Header***\nX_Columns\tMulti\n***End_of_Header***\n");
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, file.get()));
  const std::uint64_t position = file->GetPosition();
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, file.get()));
  EXPECT_EQ(nLine, 2u);
  EXPECT_EQ(file->GetPosition(), position);
  EXPECT_EQ(qtx.m_nXColumns, 1);
}

TEST(MainHeader, CounterGrowsFromTheCallersValue) {
  OpenTextFile file("a\nb\n***End_of_Header***\n");
  CQTXGeneral qtx;
  std::uint32_t nLine = 100;
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, file.get()));
  EXPECT_EQ(nLine, 103u);

  // The counter is 32 bits wide and wraps like the unsigned long it stands for.
  OpenTextFile again("***End_of_Header***\n");
  CQTXGeneral other;
  std::uint32_t nWrap = 0xFFFFFFFFu;
  ASSERT_TRUE(other.QTX_ReadMainHeader(nWrap, again.get()));
  EXPECT_EQ(nWrap, 0u);
}

TEST(MainHeader, BundledSampleReads) {
  CStdioFile file;
  ASSERT_TRUE(file.Open(QTX_EXAMPLES_DIR "/sample.qtx", CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, &file));
  EXPECT_EQ(nLine, 11u);
  EXPECT_EQ(qtx.m_nXColumns, 1);
  EXPECT_TRUE(qtx.m_bQTXFile);
}

}  // namespace
