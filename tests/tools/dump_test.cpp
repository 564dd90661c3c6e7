// qtx dump, read back by a CSV parser and by qtx convert: every cell equals
// what the library reads, headings with commas and quotes included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "support/TempFile.h"
#include "tools/RunQtx.h"

namespace {

using Table = std::vector<std::vector<std::string>>;

// RFC 4180: fields separated by `separator`, quoted fields with "" for a quote.
Table ParseCsv(const std::string& text, char separator) {
  Table table;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      field.clear();
      table.push_back(row);
      row.clear();
    } else {
      field += c;
    }
  }
  return table;
}

std::string RunDump(const std::string& arguments) {
  const qtx::test::ToolRun run = qtx::test::RunQtx("dump " + arguments);
  EXPECT_EQ(run.exitCode, 0) << arguments;
  return run.out;
}

// A file in mode `mode` with awkward headings and values of every kind;
// channel 2 has two samples fewer than the others.
std::string ModeFile(int mode, std::uint32_t nRows) {
  const std::string n = std::to_string(nRows), grid = "X0\t\t-1\t\t-1\t\t-1\nDelta_X\t\t0.5\t\t0.5\t\t0.5\n";
  const char* const modes[] = {"No", "One", "Multi"};
  const char* const headings[] = {"U \"raw\"\tI,A\t y \n", "time, s\tU \"raw\"\tI,A\t y \n",
                                  "time, s\tU \"raw\"\t t\tI,A\tt2\t y \n"};
  std::string text = std::string("X_Columns\t") + modes[mode] +
                     "\n***End_of_Header***\nChannels\t3\nSamples\t\t" + n + "\t\t" + n + "\t\t" +
                     std::to_string(nRows - 2) + "\n" + (mode == 0 ? grid : "") + "***End_of_Header***\n" +
                     headings[mode];
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  char cell[64];
  const int fields = mode == 0 ? 3 : mode == 1 ? 4 : 6;
  for (std::uint32_t r = 0; r < nRows; ++r) {
    for (int f = 0; f < fields; ++f) {
      std::snprintf(cell, sizeof cell, f % 2 ? "%.17g" : "%.6e",
                    mantissa(random) * std::pow(10.0, exponent(random)));
      text += (f ? "\t" : "") + std::string(cell);
    }
    text += '\n';
  }
  return text;
}

// The one section of a file, every channel's values read.
struct Section {
  CQTXGeneral qtx;
  CStdioFile file;
  std::uint32_t nLine = 0;
  explicit Section(const std::string& path) {
    if (qtx.ReadQTXFile(path.c_str()) && file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite))  // the tool reads it too
      qtx.QTX_ReadData(nLine, &file, qtx.m_arrSections.GetAt(0), 1, -1);
  }
  const CQTXChannel& Channel(int c) const { return *qtx.m_arrSections.GetAt(0)->m_arrChannels.GetAt(c); }
};

// In every mode qtx convert reads the dump, CSV or TSV, back into the same
// channels and values: the X once where the channels share it, a channel's
// cells past its Samples empty.
TEST(ToolDump, EveryModeConvertsBack) {
  for (const int mode : {0, 1, 2}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const qtx::test::TempFile file(ModeFile(mode, 50));
    const Section in(file.Path());
    const bool shared = mode != 2;
    const Table::value_type headings =
        shared ? Table::value_type{mode ? "time, s" : "X_Value", "U \"raw\"", "I,A", " y "}
               : Table::value_type{"time, s", "U \"raw\"", " t", "I,A", "t2", " y "};
    for (const std::string format : {"csv", "TSV"}) {
      const std::string dump = RunDump(file.Path() + " --format " + format);
      if (format == "csv") {
        EXPECT_EQ(ParseCsv(dump, ',').at(0), headings);
      }
      const qtx::test::TempFile csv(dump), converted("");
      const std::string options = " --format " + format + (shared ? "" : " --mode multi");
      ASSERT_EQ(qtx::test::RunQtx("convert " + csv.Path() + " " + converted.Path() + options).exitCode, 0);
      const Section back(converted.Path());
      ASSERT_EQ(back.qtx.m_arrSections.GetAt(0)->m_nChannels, 3);
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(back.Channel(c).m_nSamples, in.Channel(c).m_nSamples);
        for (std::uint32_t r = 0; r < in.Channel(c).m_nSamples; ++r) {
          EXPECT_EQ(back.Channel(c).m_pXValues[r], in.Channel(c).m_pXValues[r]) << r << "," << c;
          EXPECT_EQ(back.Channel(c).m_pYValues[r], in.Channel(c).m_pYValues[r]) << r << "," << c;
        }
      }
    }
  }
}

// Rows the file does not hold are no rows of the dump; stderr says so.
TEST(ToolDump, AFileThatEndsEarly) {
  const std::string text = ModeFile(2, 5);
  const qtx::test::TempFile file(text.substr(0, text.rfind('\n', text.size() - 2) + 1));
  const std::string start =
      "qtx: " + file.Path() + ": section 0 declares 5 rows (Samples), but the file holds 4\n\" t\",\"I,A\"\n";
  EXPECT_EQ(RunDump(file.Path() + " --channel=1 2>&1").substr(0, start.size()), start);
  EXPECT_EQ(ParseCsv(RunDump(file.Path() + " --channel=1 2>/dev/null"), ',').size(), 5u);
}

// A file cut off in the middle of a row: that part of a row is no row, and
// the warning says it was left out. A row that lacks a field shows an empty
// cell, and cut and convert keep the field missing rather than make it 0 or
// nan.
TEST(ToolDump, ACutOffRowAndMissingFields) {
  const std::string head =
      "X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t\t4\t\t4\n***End_of_Header***\nt\tA\tB\n";
  const qtx::test::TempFile file(head + "0\t1\t2\n1\t3\n2\t0.49");
  const std::string rows = "t,A,B\n0,1,2\n1,3,\n";
  EXPECT_EQ(RunDump(file.Path() + " 2>&1"), "qtx: " + file.Path() +
                                                ": section 0 declares 4 rows (Samples), but the file holds 2, and its "
                                                "last line, cut off without a line end, is left out\n" + rows);
  const qtx::test::TempFile cut(""), csv("t,A,B\n0,1,\n1,3,4\n"), converted("");
  ASSERT_EQ(qtx::test::RunQtx("cut " + file.Path() + " --rows 0: -o " + cut.Path() + " 2>/dev/null").exitCode, 0);
  EXPECT_EQ(RunDump(cut.Path()), rows);
  ASSERT_EQ(qtx::test::RunQtx("convert " + csv.Path() + " " + converted.Path() + " --empty nan").exitCode, 0);
  EXPECT_EQ(RunDump(converted.Path()), "t,A,B\n0,1,\n1,3,4\n");
}

// A join whose X would go back is refused, naming both files and X values;
// joined all the same, a lookup by X there says that X falls.
TEST(ToolDump, AnXThatGoesBack) {
  const std::string head = "X_Columns\tOne\n***End_of_Header***\nChannels\t1\nSamples\t\t2\n***End_of_Header***\nt\tA\n";
  const qtx::test::TempFile early(head + "0\t1\n1\t1\n"), late(head + "2\t1\n3\t1\n"), joined("");
  const std::string merge = "merge " + late.Path() + " " + early.Path() + " -o " + joined.Path() + " --join";
  const auto failure = [](const std::string& arguments) {
    const qtx::test::ToolRun run = qtx::test::RunQtx(arguments + " 2>&1");
    return std::to_string(run.exitCode) + " " + run.out;
  };
  EXPECT_EQ(failure(merge),
            "2 qtx: cannot join " + early.Path() + " section 0 after " + late.Path() +
                " section 0: its X begins at 0, below the 3 the rows before end at "
                "(--allow-decreasing joins them all the same)\n");
  ASSERT_EQ(qtx::test::RunQtx(merge + " --allow-decreasing").exitCode, 0);
  EXPECT_EQ(failure("dump " + joined.Path() + " --x 0:0.5"),
            "2 qtx: --x needs an X that does not decrease, and the X of section 0 does: use --rows\n");
}

// A selection of no rows: a note from dump, a refusal from cut that keeps
// the old file. A cut's X0 and Delta_X are those of the rows it holds.
TEST(ToolDump, AnEmptySelectionAndTheGridOfACut) {
  const qtx::test::TempFile file("X_Columns\tOne\n***End_of_Header***\nChannels\t1\nSamples\t\t4\n"
                                 "***End_of_Header***\nt\tA\n0\t1\n1\t1\n3\t1\n5\t1\n"),
      old("old");
  const std::string nothing = "qtx: --x 6:7 chooses no row of section 0, whose X runs from 0 to 5";
  EXPECT_EQ(RunDump(file.Path() + " --x 6:7 2>&1"), nothing + "\nt,A\n");
  const qtx::test::ToolRun cut = qtx::test::RunQtx("cut " + file.Path() + " --x 6:7 -o " + old.Path() + " 2>&1");
  EXPECT_EQ(std::to_string(cut.exitCode) + cut.out, "2" + nothing + "; nothing is written\n");
  ASSERT_EQ(qtx::test::RunQtx("cut " + file.Path() + " --x 1:5 -o " + old.Path()).exitCode, 0);
  const Section part(old.Path());
  EXPECT_EQ(part.Channel(0).m_dX0, 1.0);
  EXPECT_EQ(part.Channel(0).m_dDeltaX, 2.0);
}

// --channels with a heading that holds a comma, whole or quoted; number
// arguments in one form: decimal, with infinities only for an open end.
TEST(ToolDump, ChannelListsAndNumberArguments) {
  const qtx::test::TempFile file("X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t\t2\t\t2\n"
                                 "***End_of_Header***\nt\tU, in\tI\n0\t1\t2\n1\t3\t4\n");
  const struct {
    const char* arguments;
    const char* output;  // stdout, or the first line of stderr after "qtx: " when it fails (exit 2)
  } cases[] = {
      {"--channels 'U, in'", "t,\"U, in\"\n0,1\n1,3\n"},
      {"--channels '\"U, in\",I'", "t,\"U, in\",I\n0,1,2\n1,3,4\n"},
      {"--x -inf:0.5", "t,\"U, in\",I\n0,1,2\n"},
      {"--x 0.5:+inf", "t,\"U, in\",I\n1,3,4\n"},
      {"--x nan:1", "--x wants decimal numbers A:B, an end left out or -inf:inf for open ends, not \"nan:1\""},
      {"--x 0x1:2", "--x wants decimal numbers A:B, an end left out or -inf:inf for open ends, not \"0x1:2\""},
      {"--x ' 1:2'", "--x wants decimal numbers A:B, an end left out or -inf:inf for open ends, not \" 1:2\""},
      {"--x inf:2", "--x wants decimal numbers A:B, an end left out or -inf:inf for open ends, not \"inf:2\""},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    // cmd.exe, which runs the tool there, knows no single quotes.
    if (std::string(c.arguments).find('\'') != std::string::npos) continue;
#endif
    const qtx::test::ToolRun run = qtx::test::RunQtx("dump " + file.Path() + " " + c.arguments + " 2>&1");
    const bool fails = run.exitCode == 2;
    EXPECT_EQ(fails ? run.out.substr(run.out.find(": ") + 2, run.out.find('\n') - run.out.find(": ") - 2) : run.out,
              c.output) << c.arguments;
  }
}

// dump --units, then convert: headings, units and dimensions come back.
TEST(ToolDump, UnitsAndDimensionsRoundTrip) {
  const qtx::test::TempFile file("X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t\t1\t\t1\n"
                                 "Y_Unit_Label\t\tV\t\t-\nY_Dimension\t\tU\t\tI\nX_Unit_Label\t\ts\t\ts\n"
                                 "X_Dimension\t\tt\t\tt\n***End_of_Header***\nt\tVoltage\tI\n0\t1\t2\n"),
      converted("");
  const std::string dump = RunDump(file.Path() + " --units");
  EXPECT_EQ(dump, "t [s],Voltage {U} [V],I\n0,1,2\n");
  const qtx::test::TempFile csv(dump);
  ASSERT_EQ(qtx::test::RunQtx("convert " + csv.Path() + " " + converted.Path()).exitCode, 0);
  EXPECT_EQ(RunDump(converted.Path() + " --units"), dump);
}

// Headings the file lacks or that hold control characters: every command
// shows the same generated heading, the CSV stays text, and convert reads
// it back. A section without channels is said so, with no empty line.
TEST(ToolDump, MissingHeadingsControlCharactersAndNoChannels) {
  const std::string header = "X_Columns\tOne\n***End_of_Header***\nChannels\t3\nSamples\t\t2\t\t2\t\t2\n";
  const qtx::test::TempFile file(header + "***End_of_Header***\nt\tA" + std::string(1, '\0') +
                                 "B\tC\x1b\n0\t1\t2\t3\n1\t4\t5\t6\n");
  const std::string dump = RunDump(file.Path());
  EXPECT_EQ(dump, "t,A\\x00B,C\\x1b,Y3\n0,1,2,3\n1,4,5,6\n");
  EXPECT_EQ(RunDump(file.Path() + " --format tsv"), "t\tA\\x00B\tC\\x1b\tY3\n0\t1\t2\t3\n1\t4\t5\t6\n");
  const std::string info = qtx::test::RunQtx("info " + file.Path()).out;
  EXPECT_NE(info.find("      2  Y3         t  "), std::string::npos) << info;
  const qtx::test::TempFile csv(dump), converted("");
  ASSERT_EQ(qtx::test::RunQtx("convert " + csv.Path() + " " + converted.Path()).exitCode, 0);
  EXPECT_EQ(RunDump(converted.Path()), dump);

  const qtx::test::TempFile empty("***End_of_Header***\nChannels\t-3\n***End_of_Header***\nt\tA\n");
  EXPECT_EQ(RunDump(empty.Path() + " 2>&1"),
            "qtx: " + empty.Path() + ": section 0 has no channels; there is nothing to dump\n");
}

}  // namespace
