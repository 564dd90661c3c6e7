// qtx convert, run in process: the QTX file it writes gives back the CSV's
// headings and numbers through the file scan and the data reader.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/TempFile.h"
#include "tools/RunQtx.h"
#include "cli/Tool.h"
#include "commands/Commands.h"

namespace {

using qtx::test::TempFile;

// The CSV's content as a test expects it back: headings and rows of numbers.
struct Csv {
  std::vector<std::string> headings;
  std::vector<std::vector<double>> rows;
};

// Every channel of the one section, as the data reader gives it back.
struct ReadBack {
  CQTXGeneral qtx;
  CQTXSection* section = nullptr;
  const CQTXChannel& Channel(int i) const { return *section->m_arrChannels.GetAt(i); }
};

void Convert(const std::string& in, const std::string& out, std::vector<std::string> options) {
  std::vector<std::string> args{in, out};
  args.insert(args.end(), options.begin(), options.end());
  ASSERT_EQ(qtx::tool::kConvertCommand.run(args), qtx::tool::kExitOk);
}

void Read(const std::string& path, ReadBack& back) {
  ASSERT_TRUE(back.qtx.ReadQTXFile(CString(path.c_str())));
  ASSERT_EQ(back.qtx.m_arrSections.GetSize(), 1);
  back.section = back.qtx.m_arrSections.GetAt(0);
  CStdioFile file;
  ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  std::uint32_t nLine = back.section->m_nDataLine;
  back.qtx.QTX_ReadData(nLine, &file, back.section, 1, -1);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Checks the headings and every X and Y against the CSV, in the column
// layout of `mode` (X values of mode 0 from x0 and step).
void ExpectSameAsCsv(const ReadBack& back, const Csv& csv, int mode, double x0 = 0.0, double step = 1.0) {
  const int columns = static_cast<int>(csv.headings.size());
  const int channels = mode == 0 ? columns : mode == 1 ? columns - 1 : columns / 2;
  EXPECT_EQ(back.qtx.m_nXColumns, mode);
  ASSERT_EQ(back.section->m_nChannels, channels);
  for (int i = 0; i < channels; ++i) {
    SCOPED_TRACE("channel " + std::to_string(i));
    const int xColumn = mode == 1 ? 0 : 2 * i;
    const int yColumn = mode == 0 ? i : mode == 1 ? i + 1 : 2 * i + 1;
    const CQTXChannel& channel = back.Channel(i);
    EXPECT_EQ(channel.m_strYHeading, csv.headings[static_cast<std::size_t>(yColumn)].c_str());
    EXPECT_EQ(channel.m_strXHeading, mode == 0 ? "X_Value" : csv.headings[static_cast<std::size_t>(xColumn)].c_str());
    ASSERT_EQ(channel.m_nSamples, csv.rows.size());
    for (std::size_t r = 0; r < csv.rows.size(); ++r) {
      const double x = mode == 0 ? x0 + static_cast<double>(r) * step : csv.rows[r][static_cast<std::size_t>(xColumn)];
      const double y = csv.rows[r][static_cast<std::size_t>(yColumn)];
      EXPECT_TRUE(SameBits(channel.m_pXValues[r], x)) << "row " << r << ": X " << channel.m_pXValues[r];
      EXPECT_TRUE(SameBits(channel.m_pYValues[r], y)) << "row " << r << ": Y " << channel.m_pYValues[r];
    }
  }
}

const std::string kFixtures = QTX_TOOL_TESTS_DIR "/convert/";

TEST(ConvertCommand, FixturesReadBackAsTheirNumbers) {
  struct Case {
    const char* file;
    int mode;
    std::vector<std::string> options;
    Csv csv;
  } const cases[] = {
      {"one.csv", 1, {}, {{"time", "In1", "In2"}, {{0, 0.5, 0.1}, {0.001, 0.6, 0.2}, {0.002, 0.7, 0.3}}}},
      {"multi.csv",
       2,
       {"--mode", "multi"},
       {{"t1", "U", "t2", "I"},
        {{0, 1e300, 10, -0.0}, {0.5, 1.0 / 3.0, 20, 5e-324}, {1, -2.5, 40, -1.7976931348623157e308}}}},
      // Byte order mark, CR LF, quotes, blank lines, a plus sign, blanks
      // around cells, "4." and "1E-3".
      {"no.csv", 0, {"--mode", "no"}, {{"A", "B, \"quoted\"", "C"}, {{1.5, 2, -300}, {0.25, 4, 0.001}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempFile out("");
    Convert(kFixtures + c.file, out.Path(), c.options);
    ReadBack back;
    Read(out.Path(), back);
    if (HasFatalFailure()) return;
    ExpectSameAsCsv(back, c.csv, c.mode);
  }
}

TEST(ConvertCommand, ModeNoTakesX0AndStepFromTheOptions) {
  TempFile out("");
  Convert(kFixtures + "no.csv", out.Path(), {"--mode", "no", "--x0", "-1.5", "--step", "0.25"});
  ReadBack back;
  Read(out.Path(), back);
  if (HasFatalFailure()) return;
  EXPECT_EQ(back.Channel(2).m_dX0, -1.5);
  EXPECT_EQ(back.Channel(2).m_dDeltaX, 0.25);
  ExpectSameAsCsv(back, {{"A", "B, \"quoted\"", "C"}, {{1.5, 2, -300}, {0.25, 4, 0.001}}}, 0, -1.5, 0.25);
}

// Random tables written the way spreadsheets and scripts write numbers.
TEST(ConvertCommand, RandomTablesReadBackBitForBit) {
  std::mt19937_64 engine(7);
  auto below = [&engine](std::uint64_t n) { return engine() % n; };
  for (int t = 0; t < 60; ++t) {
    const int mode = t % 3;
    SCOPED_TRACE("table " + std::to_string(t) + ", mode " + std::to_string(mode));
    const int channels = 1 + static_cast<int>(below(6));
    const int columns = mode == 0 ? channels : mode == 1 ? channels + 1 : 2 * channels;
    Csv csv;
    std::string text;
    for (int c = 0; c < columns; ++c) {
      csv.headings.push_back("col " + std::to_string(c));
      text += (c ? "," : "") + csv.headings.back();
    }
    text += "\n";
    const std::size_t rows = below(25);
    for (std::size_t r = 0; r < rows; ++r) {
      std::vector<double> row;
      for (int c = 0; c < columns; ++c) {
        double value;
        do {
          const std::uint64_t bits = engine();
          std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        if (below(3) == 0) value = static_cast<double>(static_cast<std::int64_t>(below(2001)) - 1000) / 8.0;
        row.push_back(value);
        char buffer[40];
        if (below(2) == 0) {
          buffer[std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer] = '\0';
        } else {
          std::snprintf(buffer, sizeof buffer, "%+.17e", value);
        }
        text += (c ? ", " : "") + std::string(buffer);
      }
      csv.rows.push_back(row);
      text += "\n";
    }
    TempFile in(text);
    TempFile out("");
    const char* modeName[] = {"no", "one", "multi"};
    Convert(in.Path(), out.Path(), {"--mode", modeName[mode]});
    ReadBack back;
    Read(out.Path(), back);
    if (HasFatalFailure()) return;
    ExpectSameAsCsv(back, csv, mode);
  }
}

// The binary: tabs with --format tsv, units from "Heading [unit]", the file
// on stdout.
TEST(ConvertCommand, TabsAndUnitsToStdout) {
  const TempFile in("time [s]\t In1 [V] \tIn2\n0\t0.5\t1\n0.001\t0.6\t2\n");
  const qtx::test::ToolRun run = qtx::test::RunQtx("convert " + in.Path() + " - --format tsv");
  ASSERT_EQ(run.exitCode, 0);
  const TempFile out(run.out);
  ReadBack back;
  Read(out.Path(), back);
  if (HasFatalFailure()) return;
  ExpectSameAsCsv(back, {{"time", "In1", "In2"}, {{0, 0.5, 1}, {0.001, 0.6, 2}}}, 1);
  EXPECT_EQ(back.Channel(0).m_strXUnitLabel, "s");
  EXPECT_EQ(back.Channel(0).m_strYUnitLabel, "V");
  EXPECT_EQ(back.Channel(1).m_strYUnitLabel, "-");
}

TEST(ConvertCommand, BadInputLeavesAnExistingOutputAlone) {
  TempFile out("precious\n");
  EXPECT_THROW(qtx::tool::kConvertCommand.run({kFixtures + "ragged.csv", out.Path()}), qtx::tool::Failure);
  std::ifstream in(out.Path());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "precious\n");
}

}  // namespace
