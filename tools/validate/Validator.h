// The one pass of qtx validate over the lines of a file. The library has
// scanned the file first; its sections say where each header, each headings
// line and each block of rows lies as a reader sees them, and the pass checks
// each line against what its place asks for. It reuses one line and one
// field string throughout, so a file of millions of rows costs no allocation
// per row. Its checks are defined in one file per part of the file they look
// at (MainHeader.cpp, SectionHeader.cpp, Rows.cpp).
#ifndef QTX_TOOLS_VALIDATE_VALIDATOR_H
#define QTX_TOOLS_VALIDATE_VALIDATOR_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "validate/Fields.h"
#include "validate/Report.h"

namespace qtx::tool::validate {

// A section as the scan placed it: its data line (the headings line's number,
// counted from 1), its row count and its channels.
struct SectionPlace {
  std::ptrdiff_t index;    // in the file's section list, as `--section` counts
  std::uint64_t dataLine;  // the headings line; rows follow it
  std::uint64_t rows;      // the largest Samples of its channels
  int channels;
  std::uint64_t RowsEnd() const { return dataLine + rows; }
};

class Validator {
 public:
  Validator(const CQTXGeneral& qtx, Report& report, bool mainHeaderComplete, std::uint64_t mainHeaderLines);
  void Run(CStdioFile& file);

 private:
  // Lines without fields at the end of a section's rows are read as rows of
  // zeros; whether they are meant as rows shows only at the next line with
  // fields.
  enum class Follows { kData, kHeader, kEnd };

  // the main header (MainHeader.cpp)
  void MainHeaderLine(std::uint64_t n);
  // `unterminated` is the last line when the file ends inside the main
  // header, 0 otherwise.
  void EndMainHeader(std::uint64_t unterminated = 0);

  // section headers (SectionHeader.cpp)
  void HeaderLine(std::uint64_t n);
  void ChannelsLine(std::uint64_t n, CTokenizer& tokenizer);
  void ChannelKeywordLine(std::uint64_t n, const ChannelKeyword& keyword, CTokenizer& tokenizer);
  void ReportExtraRows();

  // headings and rows (Rows.cpp)
  // The fields a headings line or a row needs in the file's X-column mode.
  std::uint64_t FieldsNeeded(int channels) const;
  std::string ModeText(int channels) const;
  void HeadingsLine(std::uint64_t n);
  void RowLine(std::uint64_t n, std::uint64_t row);
  void RowsTakeHeader(std::uint64_t n, std::uint64_t row);
  void XOfRow(std::uint64_t n, std::uint64_t row);  // the first field of a row in mode One
  void ResolveBlankRows(Follows next);

  // the pass and the ends of parts (Validator.cpp)
  void EndPart();
  void AtEnd(std::uint64_t n);

  Report& m_report;
  const CString& m_separator;
  const int m_mode;
  const std::uint64_t m_mainHeaderLines;
  std::vector<SectionPlace> m_sections;

  // Reused for every line and field.
  CString m_line;
  CString m_key;
  CString m_value;

  // Main header.
  CString m_mainSeparator = "\t";
  bool m_magic = false;
  bool m_mainHeaderDone = false;

  // The part being read: the header, headings and rows of m_sections[m_part],
  // or the lines after the last section when m_part is their count.
  std::size_t m_part = 0;
  std::uint64_t m_channelsLine = 0;  // the last Channels line of the header, 0 before one
  int m_channels = 0;
  bool m_samplesSeen = false;
  bool m_endSeen = false;
  bool m_sawKeyword = false;        // a header line other than numbers was met
  std::uint64_t m_specialLine = 0;  // the open special block's first line, 0 when none is open
  std::uint64_t m_stopLine = 0;     // the end line at which the scan stopped, 0 before
  std::uint64_t m_extraRows = 0;    // lines of numbers right after the previous section's rows
  std::uint64_t m_extraRowsLine = 0;
  bool m_rowsTaken = false;        // the rows ran into the next section header
  bool m_afterLostHeader = false;  // the previous section's rows took in this part's header
  std::uint64_t m_blankRows = 0;   // lines without fields not yet known to be rows
  std::uint64_t m_blankLine = 0;
  std::uint64_t m_blankRow = 0;
  std::size_t m_blankPart = 0;
  // Mode One: the X of the previous row, and whether X fell in this section.
  double m_lastX = -std::numeric_limits<double>::infinity();
  bool m_xFell = false;
};

}  // namespace qtx::tool::validate

#endif  // QTX_TOOLS_VALIDATE_VALIDATOR_H
