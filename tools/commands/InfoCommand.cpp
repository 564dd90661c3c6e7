// qtx info FILE: the main header's settings and a table of the sections and
// their channels, one "key: value" per line in a fixed order so that a person
// can read it and a script can diff it.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/Sections.h"
#include "sections/WallClock.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx info FILE [--section N]\n"
    "\n"
    "  Prints the main header settings, one \"key: value\" per line, then for each\n"
    "  section a table of its channels: headings, dimensions and unit labels,\n"
    "  Samples, X0, Delta_X, the Date and Time stamps, the channel's start as\n"
    "  ISO 8601 (its own Date and Time, else the main header's) and the seconds\n"
    "  per unit of X (\"-\" for either where the file gives none). The main header's\n"
    "  Time_Pref, Description, Date and Time are shown as written, \"-\" where\n"
    "  the header has none. A file of more than 20 sections gets one line per\n"
    "  section instead: its index, channels, rows, data line and Y headings. A\n"
    "  heading the file lacks shows as Y1, Y2, ... (the channel's number from 1),\n"
    "  or X_Value for an X.\n"
    "\n"
    "  --section N       only the channel table of section N, counted from 0\n";

// More sections than this make a list of one line per section: the tables
// of 2,000 sections are more than anyone reads.
constexpr std::ptrdiff_t kMostTables = 20;

// A table printed with aligned columns: text left, numbers right.
class Table {
 public:
  Table(std::vector<std::string> headings, std::vector<bool> rightAligned) : m_rightAligned(std::move(rightAligned)) {
    m_rows.push_back(std::move(headings));
  }
  void AddRow(std::vector<std::string> cells) { m_rows.push_back(std::move(cells)); }

  void Print(const char* indent) const {
    std::vector<std::size_t> widths(m_rows.front().size(), 0);
    for (const auto& row : m_rows)
      for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : m_rows) {
      std::string line = indent;
      for (std::size_t c = 0; c < row.size(); ++c) {
        const std::string padding(widths[c] - row[c].size(), ' ');
        if (c > 0) line += "  ";
        line += m_rightAligned[c] ? padding + row[c] : row[c] + (c + 1 < row.size() ? padding : "");
      }
      PrintStdout("%s\n", line.c_str());
    }
  }

 private:
  std::vector<bool> m_rightAligned;
  std::vector<std::vector<std::string>> m_rows;
};

// An empty text shows as "-" so that the columns stay readable.
std::string Cell(const CString& text) { return text.IsEmpty() ? std::string("-") : Printable(text); }

// The table of one section, after an empty line when it follows others.
void PrintSection(const CQTXGeneral& qtx, int index, const CQTXSection& section, bool alone = false) {
  PrintStdout("%ssection %d: %d channel%s, data from line %lu\n", alone ? "" : "\n", index, section.m_nChannels,
              section.m_nChannels == 1 ? "" : "s", static_cast<unsigned long>(section.m_nDataLine));
  if (section.m_nChannels <= 0) return;
  Table table({"index", "y_heading", "x_heading", "y_dimension", "y_unit", "x_dimension", "x_unit", "samples",
               "x0", "delta_x", "date", "time", "start", "x_seconds"},
              {true, false, false, false, false, false, false, true, true, true, false, false, false, true});
  for (int i = 0; i < section.m_nChannels; ++i) {
    const CQTXChannel& c = *section.m_arrChannels.GetAt(i);
    table.AddRow({std::to_string(c.m_nIndex), Printable(YHeading(c)), Printable(XHeading(c)),
                  Cell(c.m_strYDimension),
                  Cell(c.m_strYUnitLabel), Cell(c.m_strXDimension), Cell(c.m_strXUnitLabel),
                  std::to_string(c.m_nSamples), FormatDouble(c.m_dX0), FormatDouble(c.m_dDeltaX),
                  Cell(c.m_strDate), Cell(c.m_strTime), StartText(qtx, c), XSecondsText(c)});
  }
  table.Print("  ");
}

// One line per section: index, channels, rows, data line and Y headings,
// the headings cut where the line would grow long.
void PrintSectionList(const CQTXGeneral& qtx) {
  constexpr std::size_t kLongest = 60;
  Table table({"section", "channels", "rows", "data_line", "y_headings"}, {true, true, true, true, false});
  for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i) {
    const CQTXSection& section = *qtx.m_arrSections.GetAt(i);
    std::string headings;
    for (int j = 0; j < section.m_nChannels && headings.size() <= kLongest; ++j)
      headings += (j > 0 ? ", " : "") + Printable(YHeading(*section.m_arrChannels.GetAt(j)));
    if (headings.size() > kLongest) headings = headings.substr(0, kLongest - 3) + "...";
    table.AddRow({std::to_string(i), std::to_string(section.m_nChannels), std::to_string(RowCount(section)),
                  std::to_string(section.m_nDataLine), headings.empty() ? "-" : headings});
  }
  PrintStdout("\n");
  table.Print("  ");
}

// The number of lines the main header takes, end line included.
std::uint32_t MainHeaderLines(const std::string& path) {
  CStdioFile file;
  OpenForReading(file, path);
  CQTXGeneral header;
  std::uint32_t nLine = 0;
  header.QTX_ReadMainHeader(nLine, &file);
  return nLine;
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--section"});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  const std::optional<long long> only = arguments.GetInteger("--section", 0);

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  if (only) {
    PrintSection(qtx, static_cast<int>(*only), SectionAt(qtx, *only), true);
    return kExitOk;
  }
  PrintStdout("file: %s\n", path.c_str());
  PrintStdout("qtx_file: %s\n", qtx.m_bQTXFile ? "yes" : "no");
  PrintStdout("writer_version: %s\n", FormatDouble(qtx.m_dWriterVersion).c_str());
  PrintStdout("reader_version: %s\n", FormatDouble(qtx.m_dReaderVersion).c_str());
  PrintStdout("separator: %s\n", Printable(qtx.m_strSeparatorName).c_str());
  PrintStdout("multi_headings: %s\n", qtx.m_bMultiHeadings ? "yes" : "no");
  PrintStdout("x_columns: %s\n", ModeName(qtx.m_nXColumns));
  PrintStdout("time_pref: %s\n", Cell(qtx.m_strTimePref).c_str());
  PrintStdout("description: %s\n", Cell(qtx.m_strDescription).c_str());
  PrintStdout("date: %s\n", Cell(qtx.m_strDate).c_str());
  PrintStdout("time: %s\n", Cell(qtx.m_strTime).c_str());
  PrintStdout("main_header_lines: %lu\n", static_cast<unsigned long>(MainHeaderLines(path)));
  PrintStdout("sections: %td\n", qtx.m_arrSections.GetSize());
  if (qtx.m_arrSections.GetSize() > kMostTables) {
    PrintSectionList(qtx);
    return kExitOk;
  }
  for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i)
    PrintSection(qtx, static_cast<int>(i), *qtx.m_arrSections.GetAt(i));
  return kExitOk;
}

}  // namespace

const Command kInfoCommand = {"info", "print the main header settings and the sections of a QTX file", kUsage,
                              Run};

}  // namespace qtx::tool
