// qtx: command-line access to QTX measurement files.
//
//   qtx info FILE    print the main header settings and the sections of FILE
//
// Output is one "key: value" per line in a fixed order, so that a person can
// read it and a script can diff it. Failures print one line on stderr and
// exit non-zero.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: qtx info FILE\n"
    "\n"
    "  info FILE   print the main header settings and the sections of a QTX file\n";

// Shortest text that reads back as the same double.
std::string FormatDouble(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const char* ModeName(int nXColumns) {
  switch (nXColumns) {
    case 0: return CQTXGeneral::lpszNo;
    case 1: return CQTXGeneral::lpszOne;
    case 2: return CQTXGeneral::lpszMulti;
    default: return "?";
  }
}

std::string Printable(const CString& text) {
  std::string out;
  for (const char c : text.View()) {
    if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

// A table printed with aligned columns: text left, numbers right.
class Table {
 public:
  explicit Table(std::vector<std::string> headings, std::vector<bool> rightAligned)
      : m_rightAligned(std::move(rightAligned)) {
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
      std::printf("%s\n", line.c_str());
    }
  }

 private:
  std::vector<bool> m_rightAligned;
  std::vector<std::vector<std::string>> m_rows;
};

// An empty text shows as "-" so that the columns stay readable.
std::string Cell(const CString& text) { return text.IsEmpty() ? std::string("-") : Printable(text); }

void PrintSection(int index, const CQTXSection& section) {
  std::printf("\nsection %d: %d channel%s, ", index, section.m_nChannels, section.m_nChannels == 1 ? "" : "s");
  if (section.m_nDataLine != 0)
    std::printf("data from line %lu\n", static_cast<unsigned long>(section.m_nDataLine));
  else
    std::printf("no data (a later Channels line in the same header took its place)\n");
  if (section.m_nChannels <= 0) return;
  Table table({"index", "y_heading", "x_heading", "y_dimension", "y_unit", "x_dimension", "x_unit", "samples",
               "x0", "delta_x"},
              {true, false, false, false, false, false, false, true, true, true});
  for (int i = 0; i < section.m_nChannels; ++i) {
    const CQTXChannel& c = *section.m_arrChannels.GetAt(i);
    table.AddRow({std::to_string(c.m_nIndex), Cell(c.m_strYHeading), Cell(c.m_strXHeading), Cell(c.m_strYDimension),
                  Cell(c.m_strYUnitLabel), Cell(c.m_strXDimension), Cell(c.m_strXUnitLabel),
                  std::to_string(c.m_nSamples), FormatDouble(c.m_dX0), FormatDouble(c.m_dDeltaX)});
  }
  table.Print("  ");
}

class Failure : public std::exception {
 public:
  explicit Failure(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

int Info(const char* path) {
  CStdioFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
    throw Failure(std::string("cannot open ") + error.what());

  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  if (!qtx.QTX_ReadMainHeader(nLine, &file))
    throw Failure(std::string(path) + ": the file ends before the main header's end line (" +
                  std::to_string(nLine) + " lines read)");

  std::printf("file: %s\n", path);
  std::printf("qtx_file: %s\n", qtx.m_bQTXFile ? "yes" : "no");
  std::printf("writer_version: %s\n", FormatDouble(qtx.m_dWriterVersion).c_str());
  std::printf("reader_version: %s\n", FormatDouble(qtx.m_dReaderVersion).c_str());
  std::printf("separator: %s\n", Printable(qtx.m_strSeparatorName).c_str());
  std::printf("multi_headings: %s\n", qtx.m_bMultiHeadings ? "yes" : "no");
  std::printf("x_columns: %s\n", ModeName(qtx.m_nXColumns));
  std::printf("main_header_lines: %lu\n", static_cast<unsigned long>(nLine));

  // Data rows carry no keyword, so the section header reader passes over
  // them on its way to the next section header. Each returned section records where its rows begin, as a file scan
  // does. A section that a later Channels line in the same header replaced
  // is never returned and keeps 0: a real data line follows at least the
  // Channels line and the headings line.
  while (CQTXSection* pSection = qtx.QTX_ReadSectionHeader(nLine, &file)) pSection->m_nDataLine = nLine;
  std::printf("sections: %td\n", qtx.m_arrSections.GetSize());
  for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i)
    PrintSection(static_cast<int>(i), *qtx.m_arrSections.GetAt(i));
  return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 3 || std::string(argv[1]) != "info") {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  try {
    return Info(argv[2]);
  } catch (const std::bad_alloc&) {
    // A channel count or a line too large for this machine's memory.
    std::fprintf(stderr, "qtx: %s: the file declares more than fits in memory\n", argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qtx: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qtx: unexpected error\n");
  }
  return kExitFailure;
}
