// qtx dump, read back by a CSV parser: every cell equals what the library
// reads, headings with commas and quotes included.
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

// A file in mode Multi with awkward headings and values of every kind.
std::string MultiFile(std::uint32_t nRows) {
  std::string text = "X_Columns\tMulti\n***End_of_Header***\nChannels\t3\nSamples\t\t" + std::to_string(nRows) +
                     "\t\t" + std::to_string(nRows) + "\t\t" + std::to_string(nRows - 2) +
                     "\n***End_of_Header***\ntime, s\tU \"raw\"\t t\tI,A\tt2\t y \n";
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  char cell[64];
  for (std::uint32_t r = 0; r < nRows; ++r) {
    for (int f = 0; f < 6; ++f) {
      std::snprintf(cell, sizeof cell, f % 2 ? "%.17g" : "%.6e", mantissa(random) * std::pow(10.0, exponent(random)));
      text += (f ? "\t" : "") + std::string(cell);
    }
    text += '\n';
  }
  return text;
}

TEST(ToolDump, CsvAndTsvReadBackAsTheArrays) {
  const qtx::test::TempFile file(MultiFile(50));
  CQTXGeneral qtx;
  ASSERT_TRUE(qtx.ReadQTXFile(file.c_str()));
  CStdioFile input;
  ASSERT_TRUE(input.Open(file.c_str(), CFile::modeRead | CFile::shareDenyWrite));  // the tool reads it too
  std::uint32_t nLine = 0;
  CQTXSection* section = qtx.m_arrSections[0];
  qtx.QTX_ReadData(nLine, &input, section, 1, -1);

  for (const char separator : {',', '\t'}) {
    const Table table = ParseCsv(RunDump(std::string(file.c_str()) + (separator == ',' ? "" : " --format tsv")),
                                 separator);
    ASSERT_EQ(table.size(), 51u);
    const std::vector<std::string> csvHeadings = {"time, s", "U \"raw\"", " t", "I,A", "t2", " y "};
    if (separator == ',') {
      EXPECT_EQ(table[0], csvHeadings);
    }
    for (std::size_t r = 0; r < 50; ++r) {
      ASSERT_EQ(table[r + 1].size(), 6u);
      for (int c = 0; c < 3; ++c) {
        const CQTXChannel& channel = *section->m_arrChannels[c];
        EXPECT_EQ(std::strtod(table[r + 1][2 * c].c_str(), nullptr), channel.m_pXValues[r]) << r << "," << c;
        EXPECT_EQ(std::strtod(table[r + 1][2 * c + 1].c_str(), nullptr), channel.m_pYValues[r]) << r << "," << c;
      }
    }
  }
}

TEST(ToolDump, OneChannel) {
  const qtx::test::TempFile file(MultiFile(4));
  const Table table = ParseCsv(RunDump(std::string(file.c_str()) + " --channel=2"), ',');
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table[0], (std::vector<std::string>{"t2", " y "}));
}

}  // namespace
