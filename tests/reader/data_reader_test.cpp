// The file scan and the data reader: where each section's rows begin, the
// rows of each X-column mode, the line counter, short files and the arrays
// the channels receive.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "reader/ReaderTestSupport.h"
#include "support/Strtod.h"
#include "support/DoubleBits.h"

namespace {

using qtx::test::Bits;
using qtx::test::Hex;
using qtx::test::LineEnd;
using qtx::test::TempFile;

// A main header for X-column mode `mode` ("No", "One", "Multi"): 4 lines.
std::string MainHeader(const char* mode) {
  return std::string("Quorset Measurement\t\nSeparator\tTab\nX_Columns\t") + mode + "\n***End_of_Header***\t\n";
}

// A section header of the given Samples values, followed by its headings line:
// Channels, Samples, X0, Delta_X, end line, headings = 6 lines.
std::string Section(const std::vector<std::string>& samples, const std::string& x0 = "0",
                    const std::string& deltaX = "1") {
  std::string text = "Channels\t" + std::to_string(samples.size()) + "\nSamples";
  for (const auto& s : samples) text += "\t\t" + s;
  text += "\nX0";
  for (std::size_t i = 0; i < samples.size(); ++i) text += "\t\t" + x0;
  text += "\nDelta_X";
  for (std::size_t i = 0; i < samples.size(); ++i) text += "\t\t" + deltaX;
  text += "\n***End_of_Header***\t\nheadings\n";
  return text;
}

// A scanned file and a second text file object on it, as a host holds them.
struct Scanned {
  explicit Scanned(std::string_view text) : temp(text) {
    scanned = qtx.ReadQTXFile(temp.c_str());
    EXPECT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  }
  CQTXSection* Section(int i) { return qtx.m_arrSections.GetAt(i); }
  CQTXChannel& Channel(int section, int channel) { return *Section(section)->m_arrChannels.GetAt(channel); }
  void Read(int section, int channel) { qtx.QTX_ReadData(nLine, &file, Section(section), 1, channel); }

  TempFile temp;
  CQTXGeneral qtx;
  bool scanned = false;
  CStdioFile file;
  std::uint32_t nLine = 0;
};

std::vector<double> Values(const double* values, std::size_t count) {
  return values ? std::vector<double>(values, values + count) : std::vector<double>();
}

TEST(FileScan, SampleReadsBackAsTheWorkedExample) {
  CQTXGeneral qtx;
  ASSERT_TRUE(qtx.ReadQTXFile(QTX_EXAMPLES_DIR "/sample.qtx"));
  ASSERT_EQ(qtx.m_arrSections.GetSize(), 1);
  CQTXSection* section = qtx.m_arrSections[0];
  EXPECT_EQ(section->m_nDataLine, 24u);

  CStdioFile file;
  ASSERT_TRUE(file.Open(QTX_EXAMPLES_DIR "/sample.qtx", CFile::modeRead | CFile::typeText));
  CString line;
  for (int i = 0; i < 24; ++i) file.ReadString(line);
  EXPECT_EQ(section->m_nDataPosition, file.GetPosition());

  // Read twice, all channels and then one: the arrays a call replaces are
  // released (the sanitizer build sees a leak otherwise).
  for (int pass = 0; pass < 2; ++pass) {
    std::uint32_t nLine = section->m_nDataLine;
    EXPECT_TRUE(qtx.QTX_ReadData(nLine, &file, section, 1, pass == 0 ? -1 : 1));
    EXPECT_EQ(nLine, 27u);
  }
  const CQTXChannel& in1 = *section->m_arrChannels[0];
  const CQTXChannel& in2 = *section->m_arrChannels[1];
  EXPECT_EQ(Values(in1.m_pXValues, 3), (std::vector<double>{0, 0.001, 0.002}));
  EXPECT_EQ(Values(in1.m_pYValues, 3), (std::vector<double>{0.5, 0.6, 0.7}));
  EXPECT_EQ(Values(in2.m_pXValues, 3), (std::vector<double>{0, 0.001, 0.002}));
  EXPECT_EQ(Values(in2.m_pYValues, 3), (std::vector<double>{0.1, 0.2, 0.3}));
}

class ScanLineEnds : public ::testing::TestWithParam<LineEnd> {};

TEST_P(ScanLineEnds, RecordsWhereEachSectionsRowsBegin) {
  // Main header of 9 lines, a first section header of 12 lines (end line
  // included), a second one with blank lines of its own.
  const std::string first =
      "Channels\t2\nSamples\t\t3\t\t2\nDate\t\td\t\td\nTime\t\tt\t\tt\nY_Dimension\t\ta\t\tb\n"
      "Y_Unit_Label\t\tV\t\tA\nX_Dimension\t\ts\t\ts\nX_Unit_Label\t\ts\t\ts\nX0\t\t0\t\t0\n"
      "Delta_X\t\t1\t\t1\n\n***End_of_Header***\t\nY1\tY2\tComment\n";
  const std::string text = "Quorset Measurement\t\nWriter_Version\t0.92\nReader_Version\t1\nSeparator\tTab\n"
                           "Multi_Headings\tYes\nX_Columns\tNo\nTime_Pref\tRelative\nDescription\tx\n"
                           "***End_of_Header***\t\n" +
                           first + "1\t2\n3\t4\n5\n" + "\n\nChannels\t1\n\nSamples\t\t2\n***End_of_Header***\nY\n7\n8\n";
  Scanned s(qtx::test::Convert(text, GetParam()));
  ASSERT_TRUE(s.scanned);
  ASSERT_EQ(s.qtx.m_arrSections.GetSize(), 2);
  EXPECT_EQ(s.Section(0)->m_nDataLine, 22u);
  // 22 lines, 3 rows, 6 header lines (3 blank) and the headings line.
  EXPECT_EQ(s.Section(1)->m_nDataLine, 22u + 3 + 6 + 1);

  CString line;
  for (int i = 0; i < 22; ++i) s.file.ReadString(line);
  EXPECT_EQ(s.Section(0)->m_nDataPosition, s.file.GetPosition());
  s.file.ReadString(line);
  EXPECT_STREQ(line, "1\t2");

  // Any order, any file object: the second section first.
  s.Read(1, -1);
  EXPECT_EQ(Values(s.Channel(1, 0).m_pYValues, 2), (std::vector<double>{7, 8}));
  s.Read(0, 1);
  EXPECT_EQ(Values(s.Channel(0, 1).m_pYValues, 3), (std::vector<double>{2, 4, 0}));  // row 3 has no second field
  EXPECT_EQ(Values(s.Channel(0, 1).m_pXValues, 3), (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(s.Channel(0, 0).m_pYValues, nullptr);  // not selected
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ScanLineEnds, ::testing::Values(LineEnd::kLf, LineEnd::kCrLf),
                         [](const auto& info) { return qtx::test::Name(info.param); });

TEST(FileScan, ResultFollowsTheMainHeader) {
  CQTXGeneral missing;
  EXPECT_FALSE(missing.ReadQTXFile("/nonexistent/file.qtx"));
  EXPECT_EQ(missing.m_arrSections.GetSize(), 0);

  CQTXGeneral directory;
  EXPECT_FALSE(directory.ReadQTXFile(QTX_EXAMPLES_DIR));

  TempFile headerOnly(MainHeader("One"));
  CQTXGeneral noSections;
  EXPECT_TRUE(noSections.ReadQTXFile(headerOnly.c_str()));
  EXPECT_EQ(noSections.m_arrSections.GetSize(), 0);
  EXPECT_EQ(noSections.m_nXColumns, 1);

  TempFile truncated("Quorset Measurement\t\nX_Columns\tMulti\n");
  CQTXGeneral endsEarly;
  EXPECT_FALSE(endsEarly.ReadQTXFile(truncated.c_str()));
  EXPECT_EQ(endsEarly.m_nXColumns, 2);  // what was read stays

  // The file is closed again: a writer may take it over at once.
  std::ofstream rewrite(truncated.Path(), std::ios::trunc);
  EXPECT_TRUE(rewrite.is_open());
}

TEST(FileScan, SectionWithoutSamplesSkipsNoRows) {
  // The first section's rows carry no keyword, so the next section header
  // passes over them.
  Scanned s(MainHeader("No") + "Channels\t1\n***End_of_Header***\nY\n1\n2\n" + Section({"2"}) + "5\n6\n");
  ASSERT_EQ(s.qtx.m_arrSections.GetSize(), 2);
  EXPECT_EQ(s.Section(0)->m_nDataLine, 7u);
  EXPECT_EQ(s.Section(1)->m_nDataLine, 7u + 2 + 6);
  s.Read(1, 0);
  EXPECT_EQ(Values(s.Channel(1, 0).m_pYValues, 2), (std::vector<double>{5, 6}));
}

TEST(DataReader, RowCountIsTheLargestSamples) {
  Scanned s(MainHeader("No") + Section({"5", "3", "8"}) +
            "0\t10\t20\n1\t11\t21\n2\t12\t22\n3\t13\t23\n4\t14\t24\n5\t15\t25\n6\t16\t26\n7\t17\t27\n");
  s.nLine = s.Section(0)->m_nDataLine;
  s.Read(0, -1);
  EXPECT_EQ(s.nLine, s.Section(0)->m_nDataLine + 8);
  EXPECT_EQ(Values(s.Channel(0, 1).m_pYValues, 8), (std::vector<double>{10, 11, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(Values(s.Channel(0, 2).m_pXValues, 8), (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(DataReader, FieldsOfEachMode) {
  // Mode 2: the selected channel takes its own X and Y; the others keep
  // what they held.
  Scanned multi(MainHeader("Multi") + Section({"2", "2", "2"}) + "1\t2\t3\t4\t5\t6\n7\t8\t9\n");
  multi.Read(0, 0);
  multi.Read(0, 1);
  EXPECT_EQ(Values(multi.Channel(0, 1).m_pXValues, 2), (std::vector<double>{3, 9}));
  EXPECT_EQ(Values(multi.Channel(0, 1).m_pYValues, 2), (std::vector<double>{4, 0}));  // y1 missing in row 1
  EXPECT_EQ(Values(multi.Channel(0, 0).m_pYValues, 2), (std::vector<double>{2, 8}));
  EXPECT_EQ(multi.Channel(0, 2).m_pXValues, nullptr);

  // Mode 1: one shared X; a row without any field is X 0 and Y 0.
  Scanned one(MainHeader("One") + Section({"3", "3"}) + "0.5\t1\t2\n\n0.75\t,3\n");
  one.nLine = 100;
  one.Read(0, -1);
  EXPECT_EQ(one.nLine, 103u);  // the empty line is a row
  EXPECT_EQ(Values(one.Channel(0, 1).m_pXValues, 3), (std::vector<double>{0.5, 0, 0.75}));
  EXPECT_EQ(Values(one.Channel(0, 0).m_pYValues, 3), (std::vector<double>{1, 0, 0}));  // ",3" is no number
  EXPECT_EQ(Values(one.Channel(0, 1).m_pYValues, 3), (std::vector<double>{2, 0, 0}));

  // Mode 0: X from X0 + r * Delta_X whatever the row holds, also for an
  // empty row.
  Scanned none(MainHeader("No") + Section({"5"}, "1.5", "0.25") + "9\n9\n\n9\n9\n");
  none.Read(0, 0);
  EXPECT_EQ(Values(none.Channel(0, 0).m_pXValues, 5), (std::vector<double>{1.5, 1.75, 2.0, 2.25, 2.5}));
  EXPECT_EQ(Values(none.Channel(0, 0).m_pYValues, 5), (std::vector<double>{9, 9, 0, 9, 9}));

  // A mode the format does not know: no X field, X 0.
  Scanned unknown(MainHeader("No") + Section({"1", "1"}, "5", "5") + "3\t4\n");
  unknown.qtx.m_nXColumns = 3;
  unknown.Read(0, -1);
  EXPECT_EQ(Values(unknown.Channel(0, 1).m_pXValues, 1), (std::vector<double>{0}));
  EXPECT_EQ(Values(unknown.Channel(0, 1).m_pYValues, 1), (std::vector<double>{4}));
}

// Spellings on both sides of the fast path.
const std::vector<std::string> kSpellings = {
    "1.5", "-2.25e-3", ".5", "5.", "-.5", "-0", "+1.5", " 2", "0x1p3", "-0x.8", "-0X1.8p-1074", "1e400",
    "-1e-400", "1.5abc", "--1", "-+1", "1e", "1e+", "1E-", "1e-x", "-.5e1", "inf", "-INF", "nan", "-nan", "nan(123)",
    "nan(0x7b)", "-nan(5)", "NaN(0173)", "nan(x)", "1,5", "007", "-", ".", "-.", "0.1e1.5", "1_000",
    "4.9406564584124654e-324", "2.4703282292062328e-324", "2.2250738585072011e-308", "1.7976931348623157e308",
    "1.7976931348623159e308", "123456789012345678901234567890", "9007199254740992", "9007199254740993",
    "18446744073709551616", "28594126890.407102e-3", "1e22", "1e23", "-0.0e-999", "0.000000000000000000001"};

TEST(DataReader, FieldsConvertExactlyAsAtof) {
  // Each must give strtod's bits, NaN payloads included.
  std::string row;
  for (const auto& s : kSpellings) row += (row.empty() ? "" : "\t") + s;
  Scanned s(MainHeader("No") + Section(std::vector<std::string>(kSpellings.size(), "1")) + row + "\n");
  s.Read(0, -1);
  for (std::size_t i = 0; i < kSpellings.size(); ++i) {
    const double want = qtx::test::Strtod(kSpellings[i].c_str());
    const double got = s.Channel(0, static_cast<int>(i)).m_pYValues[0];
    EXPECT_EQ(Bits(got), Bits(want)) << kSpellings[i] << ": " << Hex(got) << " != " << Hex(want);
  }
}

// A field of random spelling: mostly plain decimals of any length (mantissas
// beyond 2^53 and beyond 19 digits, leading zeros, exponents near the exact
// limit of +-22 and at the ends of the range), some of the spellings above.
std::string RandomField(std::mt19937_64& random) {
  static const char* const kExponents[] = {"22",   "23",   "-22",  "-23", "308",  "309",         "-307", "-308",
                                           "-323", "-324", "-325", "400", "-400", "99999999999", "0",    "-0"};
  const auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  if (chance(10)) return kSpellings[random() % kSpellings.size()];
  std::string field = chance(50) ? "-" : "";
  const auto digits = [&](std::size_t n) {
    for (; n > 0; --n) field += static_cast<char>('0' + random() % 10);
  };
  digits(random() % 21);
  if (chance(70)) {
    field += '.';
    digits(random() % 21);
  }
  if (chance(40)) {
    field += chance(50) ? 'e' : 'E';
    if (chance(10)) {
      field += kExponents[random() % (sizeof kExponents / sizeof *kExponents)];
    } else {
      field += chance(50) ? "-" : chance(50) ? "+" : "";
      field += std::to_string(random() % 30);
    }
  }
  return field.empty() ? "0" : field;  // an empty field would be no field
}

// 3,000,000 fields of random spelling in mode Multi, as X and Y of four
// channels, with runs of separators and both line ends: every value must
// carry strtod's bits.
TEST(DataReader, RandomFieldsConvertExactlyAsStrtod) {
  constexpr int kChannels = 4;
  constexpr std::uint32_t kRows = 375000;
  std::mt19937_64 random(20240614);
  std::vector<std::string> fields;
  fields.reserve(std::size_t{2} * kChannels * kRows);
  std::string text =
      MainHeader("Multi") + Section(std::vector<std::string>(kChannels, std::to_string(kRows)));
  for (std::uint32_t r = 0; r < kRows; ++r) {
    if (random() % 16 == 0) text += '\t';
    for (int f = 0; f < 2 * kChannels; ++f) {
      fields.push_back(RandomField(random));
      text += (f > 0 ? (random() % 8 == 0 ? "\t\t" : "\t") : "") + fields.back();
    }
    text += random() % 4 == 0 ? "\r\n" : "\n";
  }
  Scanned s(text);
  s.Read(0, -1);
  int failures = 0;
  for (std::size_t i = 0; i < fields.size() && failures < 10; ++i) {  // x0 y0 x1 y1 ... of each row
    const CQTXChannel& channel = s.Channel(0, static_cast<int>(i / 2 % kChannels));
    // Two steps: g++ 12 at -O0 with the sanitizers indexes `(c ? a : b)[n]`
    // from a wrong base.
    const double* const values = i % 2 ? channel.m_pYValues : channel.m_pXValues;
    const double got = values[i / (2 * kChannels)];
    const double want = qtx::test::Strtod(fields[i].c_str());
    if (Bits(got) != Bits(want) && ++failures)
      ADD_FAILURE() << '"' << fields[i] << "\" reads as " << Hex(got) << ", strtod gives " << Hex(want);
  }
}

TEST(DataReader, ModeZeroXIsComputedPerRowNotAccumulated) {
  std::string rows;
  for (int r = 0; r < 1000; ++r) rows += "1\n";
  Scanned s(MainHeader("No") + Section({"1000"}, "0.1", "0.1") + rows);
  s.Read(0, 0);
  const double* x = s.Channel(0, 0).m_pXValues;
  double accumulated = 0.1;
  bool differs = false;
  for (std::uint32_t r = 0; r < 1000; ++r) {
    EXPECT_EQ(x[r], 0.1 + static_cast<double>(r) * 0.1) << r;
    if (r > 0) accumulated += 0.1;
    differs |= accumulated != x[r];
  }
  EXPECT_TRUE(differs);  // the case tells the two apart
}

TEST(DataReader, FileEndingShortOfTheRowCount) {
  Scanned s(MainHeader("One") + Section({"5", "5"}) + "1\t10\t20\n2\t11\t21\n3\t12\t22\n");
  const std::uint32_t start = s.Section(0)->m_nDataLine;
  s.nLine = start;
  s.qtx.QTX_ReadData(s.nLine, &s.file, s.Section(0), 0, -1);
  EXPECT_EQ(s.nLine, start + 3);  // skip mode counts the lines read
  s.nLine = start;
  s.Read(0, -1);
  EXPECT_EQ(s.nLine, start + 4);  // read mode counts the pass that met the end
  // The rows the file did not supply hold 0.0, never stale memory.
  EXPECT_EQ(Values(s.Channel(0, 1).m_pYValues, 5), (std::vector<double>{20, 21, 22, 0, 0}));
  EXPECT_EQ(Values(s.Channel(0, 0).m_pXValues, 5), (std::vector<double>{1, 2, 3, 0, 0}));
}

TEST(DataReader, RowCountZero) {
  Scanned s(MainHeader("No") + Section({"0", "0"}) + Section({}) + "1\n");
  ASSERT_EQ(s.qtx.m_arrSections.GetSize(), 2);
  s.nLine = 7;
  EXPECT_TRUE(s.qtx.QTX_ReadData(s.nLine, &s.file, s.Section(0), 0, -1));
  s.Read(0, -1);
  EXPECT_EQ(s.nLine, 7u);
  EXPECT_NE(s.Channel(0, 0).m_pXValues, nullptr);  // arrays without entries
  EXPECT_NE(s.Channel(0, 1).m_pYValues, nullptr);
  EXPECT_THROW(s.Read(1, 0), CInvalidArgException);  // no channel at all
  EXPECT_EQ(s.nLine, 7u);
}

TEST(DataReader, ChannelIndexBeyondTheListFailsBeforeReading) {
  Scanned s(MainHeader("No") + Section({"2", "2"}) + "1\t2\n3\t4\n");
  s.file.Seek(0, CFile::end);
  EXPECT_THROW(s.Read(0, 2), CInvalidArgException);
  EXPECT_EQ(s.nLine, 0u);
  EXPECT_EQ(s.file.GetPosition(), s.Section(0)->m_nDataPosition);  // after the seek
  EXPECT_EQ(s.Channel(0, 0).m_pXValues, nullptr);
  EXPECT_EQ(s.Channel(0, 1).m_pXValues, nullptr);

  // More channels counted than listed: the row count fetch fails the same way.
  s.Section(0)->m_nChannels = 3;
  EXPECT_THROW(s.Read(0, -1), CInvalidArgException);
  EXPECT_EQ(s.Channel(0, 0).m_pXValues, nullptr);
}

TEST(DataReader, ArraysBeyondMemoryFailBeforeAllocating) {
  // "-1" Samples reads as 4294967295 rows: 64 GiB per channel, 512 GiB for
  // all eight.
  Scanned s(MainHeader("No") + Section({"-1", "-1", "-1", "-1", "-1", "-1", "-1", "-1"}) + "1\n");
  ASSERT_EQ(s.Channel(0, 0).m_nSamples, 4294967295u);
  s.nLine = 5;
  EXPECT_THROW(s.Read(0, -1), std::bad_alloc);
  EXPECT_EQ(s.nLine, 5u);
  EXPECT_EQ(s.Channel(0, 7).m_pXValues, nullptr);
  EXPECT_NO_THROW(s.qtx.QTX_ReadData(s.nLine, &s.file, s.Section(0), 0, -1));  // skip mode allocates nothing
  EXPECT_EQ(s.nLine, 6u);
}

TEST(DataReader, LineCounterWrapsAsThirtyTwoBits) {
  Scanned s(MainHeader("No") + Section({"3"}) + "1\n2\n3\n");
  s.nLine = 0xFFFFFFFEu;
  s.Read(0, 0);
  EXPECT_EQ(s.nLine, 1u);
}

TEST(DataReader, CommaSeparatorAndCrLfRows) {
  Scanned comma(qtx::test::WithCrLf("Separator\tComma\nX_Columns,One\n***End_of_Header***\n"
                                    "Channels,2\nSamples,,2,,2\n***End_of_Header***\nX,A,B\n"
                                    "1.5,,2.5,3.5\n-1e3,4,5e-1\n"));
  comma.Read(0, -1);
  EXPECT_EQ(Values(comma.Channel(0, 0).m_pXValues, 2), (std::vector<double>{1.5, -1000}));
  EXPECT_EQ(Values(comma.Channel(0, 0).m_pYValues, 2), (std::vector<double>{2.5, 4}));
  EXPECT_EQ(Values(comma.Channel(0, 1).m_pYValues, 2), (std::vector<double>{3.5, 0.5}));
}

TEST(DataReader, ClosedFileRaisesAndKeepsTheModel) {
  Scanned s(MainHeader("No") + Section({"1"}) + "1\n");
  s.file.Close();
  EXPECT_THROW(s.Read(0, -1), CFileException);
  EXPECT_EQ(s.qtx.m_arrSections.GetSize(), 1);
}

TEST(DataReader, ReadsAndSeeksPastFourGiB) {
  // A sparse file: rows written 5 GiB in, nothing before them on disk.
  TempFile temp("");
  constexpr std::uint64_t kOffset = std::uint64_t{5} << 30;
  if (!qtx::test::WriteAt(temp.Path(), kOffset - 1, "\n1.25\t2\n3\t4.5\n"))
    GTEST_SKIP() << "the file system does not take a file of 5 GiB";
  CQTXGeneral qtx;
  qtx.m_nXColumns = 1;
  auto* section = new CQTXSection;
  qtx.m_arrSections.Add(section);
  section->m_nChannels = 1;
  section->m_arrChannels.Add(new CQTXChannel);
  section->m_arrChannels[0]->m_nSamples = 2;
  section->m_nDataPosition = kOffset;

  CStdioFile file;
  ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead));
  std::uint32_t nLine = 0;
  qtx.QTX_ReadData(nLine, &file, section, 1, -1);
  EXPECT_EQ(Values(section->m_arrChannels[0]->m_pXValues, 2), (std::vector<double>{1.25, 3}));
  EXPECT_EQ(Values(section->m_arrChannels[0]->m_pYValues, 2), (std::vector<double>{2, 4.5}));
  EXPECT_EQ(file.GetPosition(), kOffset + 13);
}

TEST(DataReader, RowsLongerThanTheBufferReadWhole) {
  // A row that straddles the 1 MiB buffer: its fields come out whole.
  std::string rows;
  while (rows.size() < (std::size_t{1} << 20) - 3) rows += "1\t1\n";
  Scanned s(MainHeader("One") + Section({std::to_string(rows.size() / 4 + 1)}) + rows + "2.5\t" +
            std::string(300000, '7') + "e-300000\n");
  s.Read(0, 0);
  const std::uint32_t last = s.Channel(0, 0).m_nSamples - 1;
  EXPECT_EQ(s.Channel(0, 0).m_pXValues[last], 2.5);
  EXPECT_EQ(s.Channel(0, 0).m_pYValues[last], 0.7777777777777778);
}

}  // namespace
