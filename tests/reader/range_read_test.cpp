// Row-range and parallel reads against the whole-section read: the same bits
// at the same rows in every X-column mode, with short channels, truncated
// files and sections the scan never saw.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "support/DoubleBits.h"
#include "support/TempFile.h"

namespace {

using qtx::test::Bits;
using qtx::test::TempFile;

constexpr int kChannels = 3;
constexpr std::uint32_t kRows = 30000;  // about 1 MB of rows: a dozen row marks
const std::uint32_t kSamples[kChannels] = {kRows, kRows - 1234, 77};  // short channels read what the row holds

// A file of one section in X-column mode `mode` (0 No, 1 One, 2 Multi) with
// random values, and a row of its own at `cut` bytes when truncated.
std::string MakeFile(int mode, std::size_t cutRows = 0) {
  static const char* const kModes[] = {"No", "One", "Multi"};
  std::string text = std::string("Quorset Measurement\t\nSeparator\tTab\nX_Columns\t") + kModes[mode] +
                     "\n***End_of_Header***\t\nChannels\t3\nSamples";
  for (std::uint32_t s : kSamples) text += "\t\t" + std::to_string(s);
  text += "\nX0\t\t0.5\t\t-2\t\t1e-3\nDelta_X\t\t0.1\t\t3.3e-7\t\t1\n***End_of_Header***\t\nheadings\n";
  std::mt19937_64 random(mode + 1);
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  char field[40];
  for (std::uint32_t r = 0; r < kRows && (cutRows == 0 || r < cutRows); ++r) {
    if (mode == 1) text += std::to_string(r) + "\t";
    for (int c = 0; c < kChannels; ++c) {
      if (r >= kSamples[c]) continue;
      if (mode == 2) text += std::to_string(r * 0.25) + "\t";
      std::snprintf(field, sizeof field, "%.17g", value(random));
      text += field;
      text += c + 1 < kChannels ? "\t" : "";
    }
    text += r % 3 ? "\n" : "\r\n";
  }
  if (cutRows) text.resize(text.size() - 3);  // the last row cut in the middle of its line
  return text;
}

struct Whole {
  std::vector<std::vector<double>> x, y;
};

// The reference: QTX_ReadData of every channel.
Whole ReadWhole(CQTXGeneral& qtx, const char* path) {
  CStdioFile file;
  EXPECT_TRUE(file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  CQTXSection* section = qtx.m_arrSections[0];
  std::uint32_t nLine = 0;
  qtx.QTX_ReadData(nLine, &file, section, 1, -1);
  Whole whole;
  for (int c = 0; c < kChannels; ++c) {
    const CQTXChannel& channel = *section->m_arrChannels[c];
    whole.x.emplace_back(channel.m_pXValues, channel.m_pXValues + kRows);
    whole.y.emplace_back(channel.m_pYValues, channel.m_pYValues + kRows);
  }
  return whole;
}

// Reads rows [first, first + count) of the channels in `wanted`, by one
// handle or by `threads` threads, and checks them against the whole read,
// where the whole read's 0.0 for a field the row lacks (past a short
// channel's Samples) is the missing value in a range read.
void CheckRange(CQTXGeneral& qtx, CStdioFile& file, const char* path, const Whole& whole, std::uint32_t held,
                std::uint32_t first, std::uint32_t count, const std::vector<int>& wanted, unsigned threads) {
  SCOPED_TRACE("rows " + std::to_string(first) + "+" + std::to_string(count) + ", threads " +
               std::to_string(threads));
  const double kUntouched = -0.0;
  std::vector<std::vector<double>> x(wanted.size(), std::vector<double>(count, kUntouched));
  std::vector<std::vector<double>> y = x;
  std::vector<QTXChannelTarget> targets;
  for (std::size_t i = 0; i < wanted.size(); ++i)
    targets.push_back({wanted[i], i == 1 ? nullptr : x[i].data(), y[i].data()});
  const CQTXSection* section = qtx.m_arrSections[0];
  const QTXRowsRead read =
      threads == 0       ? qtx.QTX_ReadRows(&file, section, first, count, targets.data(), targets.size())
      : threads % 2 == 0 ? qtx.QTX_ReadRowsParallel(&file, section, first, count, targets.data(), targets.size(), threads)
                         : qtx.QTX_ReadRowsParallel(path, section, first, count, targets.data(), targets.size(), threads);
  const std::uint32_t expected = first >= held ? 0 : std::min(count, held - first);
  ASSERT_EQ(read.nRows, expected);
  EXPECT_EQ(read.nMissing, count - expected);
  const int mode = qtx.m_nXColumns;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    for (std::uint32_t k = 0; k < count; ++k) {
      const bool stored = k < expected;
      const auto c = static_cast<std::size_t>(wanted[i]);
      const bool absent = first + k >= kSamples[c];
      const double wantY = !stored ? kUntouched : absent ? QTX_MissingValue() : whole.y[c][first + k];
      ASSERT_EQ(Bits(y[i][k]), Bits(wantY)) << "channel " << c << " row " << k;
      if (i == 1) continue;
      const double wantX = !stored ? kUntouched : absent && mode == 2 ? QTX_MissingValue() : whole.x[c][first + k];
      ASSERT_EQ(Bits(x[i][k]), Bits(wantX)) << "row " << k;
    }
  }
}

struct RangeCase {
  int mode;
  std::size_t cutRows;  // 0: the whole file
};

class RangeRead : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeRead, EqualsTheWholeReadBitForBit) {
  const RangeCase param = GetParam();
  TempFile temp(MakeFile(param.mode, param.cutRows));
  CQTXGeneral qtx;
  ASSERT_TRUE(qtx.ReadQTXFile(temp.c_str()));
  CQTXSection* section = qtx.m_arrSections[0];
  // The row cut off in the middle of its line is no row.
  const std::uint32_t held = param.cutRows ? static_cast<std::uint32_t>(param.cutRows) - 1 : kRows;
  ASSERT_TRUE(section->m_bRowsCounted);
  EXPECT_EQ(section->m_nRowsInFile, held);
  EXPECT_EQ(section->m_bLastLineCutOff, param.cutRows != 0);
  if (held > 10000) {
    EXPECT_GT(section->m_arrRowMarks.GetSize(), 8);
  }
  const Whole whole = ReadWhole(qtx, temp.c_str());
  CStdioFile file;
  ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));

  std::mt19937 random(7);
  const std::vector<std::vector<int>> choices = {{0, 1, 2}, {2, 0}, {1}, {2, 1}};
  for (int trial = 0; trial < 24; ++trial) {
    const std::uint32_t first = random() % (kRows + 10);
    const std::uint32_t count = trial % 4 == 0 ? kRows : random() % 3000;
    CheckRange(qtx, file, temp.c_str(), whole, held, first, count, choices[trial % choices.size()], 0);
  }
  // Every thread count gives the same bits, the whole section and a range.
  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    CheckRange(qtx, file, temp.c_str(), whole, held, 0, kRows, {0, 1, 2}, threads);
    CheckRange(qtx, file, temp.c_str(), whole, held, 9999, 17000, {2, 0}, threads);
  }
  // A section that did not come through the scan counts lines from its
  // start, and cannot tell a cut-off line from a row.
  section->m_arrRowMarks.RemoveAll();
  section->m_bRowsCounted = false;
  const std::uint32_t lines = param.cutRows ? held + 1 : held;
  CheckRange(qtx, file, temp.c_str(), whole, lines, 12345, 20000, {0, 1, 2}, 0);
  CheckRange(qtx, file, temp.c_str(), whole, lines, 100, 29000, {1, 0}, 2);
}

INSTANTIATE_TEST_SUITE_P(ParallelRead, RangeRead,
                         ::testing::Values(RangeCase{0, 0}, RangeCase{1, 0}, RangeCase{2, 0}, RangeCase{1, 20011},
                                           RangeCase{2, 590}),
                         [](const auto& info) {
                           return std::string("mode") + std::to_string(info.param.mode) +
                                  (info.param.cutRows ? "_cut" + std::to_string(info.param.cutRows) : "");
                         });

TEST(RangeRead, ChannelsOutOfRangeOrTwiceFailBeforeReading) {
  TempFile temp(MakeFile(1, 100));
  CQTXGeneral qtx;
  ASSERT_TRUE(qtx.ReadQTXFile(temp.c_str()));
  CStdioFile file;
  ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  double x[4] = {}, y[4] = {};
  const QTXChannelTarget bad[][2] = {{{3, x, y}, {0, x, y}}, {{-1, x, y}, {0, x, y}}, {{1, x, y}, {1, x, y}}};
  for (const auto& targets : bad) {
    EXPECT_THROW(qtx.QTX_ReadRows(&file, qtx.m_arrSections[0], 0, 4, targets, 2), CInvalidArgException);
    EXPECT_THROW(qtx.QTX_ReadRowsParallel(temp.c_str(), qtx.m_arrSections[0], 0, 4, targets, 2, 2),
                 CInvalidArgException);
    EXPECT_THROW(qtx.QTX_ReadRowsParallel(&file, qtx.m_arrSections[0], 0, 4, targets, 2, 2), CInvalidArgException);
  }
  EXPECT_EQ(Bits(y[0]), Bits(0.0));
  EXPECT_THROW(qtx.QTX_ReadRowsParallel("/no/such/file.qtx", qtx.m_arrSections[0], 0, 4, bad[0] + 1, 1, 1),
               CFileException);
}

}  // namespace

namespace {

TEST(RowsBetween, AscendingSharedXAndWhereThereIsNone) {
  struct Case {
    int mode;
    std::size_t cutRows;
    double lo, hi;
    int status;
    std::uint32_t first, count;
  };
  // The generated files: mode One has X = r; mode No has a different X0 per
  // channel; mode Multi an X per channel.
  const Case cases[] = {
      {1, 0, 100.5, 20000, QTX_ROWS_FOUND, 101, 19900},
      {1, 0, -5, 0, QTX_ROWS_FOUND, 0, 1},
      {1, 0, 29999, 1e9, QTX_ROWS_FOUND, 29999, 1},
      {1, 0, 30000, 1e9, QTX_ROWS_FOUND, 0, 0},
      {1, 0, 7, 6, QTX_ROWS_FOUND, 0, 0},
      {1, 20011, 20000, 1e9, QTX_ROWS_FOUND, 20000, 10},  // only the rows the file holds, not the cut one
      {0, 0, 0, 1, QTX_ROWS_NO_SHARED_X, 0, 0},
      {2, 0, 0, 1, QTX_ROWS_NO_SHARED_X, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " [" + std::to_string(c.lo) + ", " + std::to_string(c.hi) + "]");
    TempFile temp(MakeFile(c.mode, c.cutRows));
    CQTXGeneral qtx;
    ASSERT_TRUE(qtx.ReadQTXFile(temp.c_str()));
    CStdioFile file;
    ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
    std::uint32_t first = 1, count = 1;
    EXPECT_EQ(qtx.QTX_RowsBetween(&file, qtx.m_arrSections[0], c.lo, c.hi, first, count), c.status);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(count, c.count);
  }
}

// A last line without a line end is a row where the section is complete, and
// the row being written where the file ends short of Samples; a field a row
// lacks is the missing value, never a made-up 0.
TEST(RangeRead, CutOffLastLineAndMissingFields) {
  const std::string header = "Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\nChannels\t2\n"
                             "Samples\t\t3\t\t3\n***End_of_Header***\nX\tA\tB\n";
  const double m = QTX_MissingValue();
  const struct {
    std::string rows;
    std::uint32_t held;
    bool cut;
    std::vector<double> a, b;
  } cases[] = {
      {"0\t1\t2\n1\t3\t4\n2\t5\t6", 3, false, {1, 3, 5}, {2, 4, 6}},  // complete: the last row stays
      {"0\t1\t2\n1\t3\t0.4", 1, true, {1}, {2}},                      // cut in the middle of "0.49"
      {"0\t1\t2\n1\t3\n", 2, false, {1, 3}, {2, m}},                  // a short row with its line end
      {"\n1\t3", 1, true, {m}, {m}},                                    // an empty line is a row of nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    TempFile temp(header + c.rows);
    CQTXGeneral qtx;
    ASSERT_TRUE(qtx.ReadQTXFile(temp.c_str()));
    const CQTXSection* section = qtx.m_arrSections[0];
    EXPECT_EQ(section->m_nRowsInFile, c.held);
    EXPECT_EQ(section->m_bLastLineCutOff, c.cut);
    CStdioFile file;
    ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
    std::vector<double> a(3, -1.0), b(3, -1.0);
    const QTXChannelTarget targets[] = {{0, nullptr, a.data()}, {1, nullptr, b.data()}};
    ASSERT_EQ(qtx.QTX_ReadRows(&file, section, 0, 3, targets, 2).nRows, c.held);
    for (std::uint32_t r = 0; r < c.held; ++r) {
      EXPECT_EQ(Bits(a[r]), Bits(c.a[r])) << "row " << r;
      EXPECT_EQ(Bits(b[r]), Bits(c.b[r])) << "row " << r;
    }
  }
}

TEST(RowsBetween, ModeNoFromTheGridAndDecreasingX) {
  const std::string header = "Quorset Measurement\t\nX_Columns\tNo\n***End_of_Header***\t\nChannels\t2\n"
                             "Samples\t\t5\t\t5\nX0\t\t1\t\t1\n";
  const std::string rows = "\nY1\tY2\n1\t2\n1\t2\n1\t2\n1\t2\n1\t2\n";
  const struct {
    std::string text;
    int status;
    std::uint32_t first, count;
  } cases[] = {
      {header + "Delta_X\t\t0.1\t\t0.1\n***End_of_Header***" + rows, QTX_ROWS_FOUND, 1, 3},  // 1.1 1.2 1.3
      {header + "Delta_X\t\t-0.1\t\t-0.1\n***End_of_Header***" + rows, QTX_ROWS_X_DECREASES, 0, 0},
      {"Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\nChannels\t1\nSamples\t\t4\n"
       "***End_of_Header***\nX\tY\n1\t0\n2\t0\n1.5\t0\n3\t0\n",
       QTX_ROWS_X_DECREASES, 0, 0},
  };
  for (const auto& c : cases) {
    TempFile temp(c.text);
    CQTXGeneral qtx;
    ASSERT_TRUE(qtx.ReadQTXFile(temp.c_str()));
    CStdioFile file;
    ASSERT_TRUE(file.Open(temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
    std::uint32_t first = 9, count = 9;
    EXPECT_EQ(qtx.QTX_RowsBetween(&file, qtx.m_arrSections[0], 1.05, 1.35, first, count), c.status);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(count, c.count);
  }
}

}  // namespace
