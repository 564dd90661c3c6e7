// qtx convert IN.csv OUT.qtx: a QTX file of one section from a CSV or TSV
// file with a header row. The headers come from the library's writer; the
// rows are written here, tab-separated in the column layout of the mode, with
// numbers in their shortest form that reads back as the same double.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/Sections.h"
#include "sections/WallClock.h"

namespace qtx::tool {
namespace {

// The unit label of a column whose heading names none.
constexpr const char* kNoUnit = "-";
// The X heading of channels whose X comes from X0 and Delta_X.
constexpr const char* kComputedXHeading = "X_Value";

int ParseMode(const Arguments& arguments) {
  // The order of the writer's modes: 0 No, 1 One, 2 Multi.
  return static_cast<int>(arguments.GetChoice("--mode", {"no", "one", "multi"}, 1));
}

// The text of X0 or Delta_X as the section header keeps it.
std::string AsInHeader(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6e", value);
  return buffer;
}

// An --x0 or --step value; it must survive the header's six decimals, since
// in mode no every X is computed from the two.
double HeaderNumber(const Arguments& arguments, const std::string& name, double fallback) {
  const std::optional<double> value = arguments.GetNumber(name);
  if (!value) return fallback;
  const std::string kept = AsInHeader(*value);
  if (std::strtod(kept.c_str(), nullptr) != *value)
    throw UsageError("option " + name + " " + FormatDouble(*value) + " would be stored as " + kept +
                     "; give at most 7 significant digits");
  return *value;
}

// A line of the CSV file, for messages: "data.csv:7".
struct Location {
  const std::string& path;
  std::uint64_t line;
  std::string Where() const { return path + ":" + std::to_string(line); }
};

// The cells of one record. CSV: comma-separated, white space around a cell
// dropped, a cell in double quotes may hold commas and "" for a quote. TSV:
// tab-separated, spaces around a cell dropped, no quoting. Records do not
// span lines.
class RecordSplitter {
 public:
  RecordSplitter(bool tabs, char delimiter) : m_tabs(tabs), m_delimiter(delimiter) {}

  // Splits `line`; the cells stay valid until the next call. Throws Failure
  // for a quote that is not closed or text after one.
  void Split(std::string_view line, const Location& at) {
    m_text.clear();
    m_bounds.clear();
    if (m_tabs) {
      for (std::size_t pos = 0;;) {
        const std::size_t tab = std::min(line.find('\t', pos), line.size());
        std::string_view cell = line.substr(pos, tab - pos);
        cell.remove_prefix(std::min(cell.find_first_not_of(' '), cell.size()));
        cell.remove_suffix(cell.size() - (cell.find_last_not_of(' ') + 1));
        m_bounds.emplace_back(m_text.size(), cell.size());
        m_text.append(cell);
        if (tab == line.size()) return;
        pos = tab + 1;
      }
    }
    std::size_t pos = 0;
    for (;;) {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      const std::size_t start = m_text.size();
      if (pos < line.size() && line[pos] == '"') {
        for (++pos;; ++pos) {
          if (pos >= line.size()) throw Failure(at.Where() + ": a quoted cell is not closed");
          if (line[pos] == '"') {
            if (pos + 1 < line.size() && line[pos + 1] == '"') {
              m_text += '"';
              ++pos;
            } else {
              break;
            }
          } else {
            m_text += line[pos];
          }
        }
        for (++pos; pos < line.size() && IsBlank(line[pos]);) ++pos;
        if (pos < line.size() && line[pos] != m_delimiter)
          throw Failure(at.Where() + ": text after the closing quote of cell " + std::to_string(m_bounds.size() + 1));
      } else {
        const std::size_t comma = std::min(line.find(m_delimiter, pos), line.size());
        std::size_t end = comma;
        while (end > pos && IsBlank(line[end - 1])) --end;
        m_text.append(line.data() + pos, end - pos);
        pos = comma;
      }
      m_bounds.emplace_back(start, m_text.size() - start);
      if (pos >= line.size()) break;
      ++pos;  // the comma
    }
  }

  std::size_t Size() const { return m_bounds.size(); }
  std::string_view Cell(std::size_t i) const {
    return std::string_view(m_text).substr(m_bounds[i].first, m_bounds[i].second);
  }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

  bool m_tabs;
  char m_delimiter;  // between CSV cells: ',' or what --delimiter gives
  std::string m_text;                                         // the cells' characters, one after another
  std::vector<std::pair<std::size_t, std::size_t>> m_bounds;  // offset and length of each cell
};

// A line of only blanks is passed over like an empty one.
bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// What the CSV file holds: its headings and its numbers, row after row. A
// column may end before the others: its cells from one row on are empty.
struct Table {
  std::vector<std::string> headings;
  std::vector<std::string> units;       // from "Heading [unit]", or kNoUnit
  std::vector<std::string> dimensions;  // from "Heading {dimension}", or the heading
  std::vector<double> values;           // row r, column c at r * headings.size() + c; 0 past its end
  std::vector<std::size_t> lengths;     // the cells of each column before its first empty one
  std::vector<std::uint64_t> endLines;  // the line of that empty cell, 0 while there is none
  // An X column of ISO 8601 times: its first time, the start of its
  // channels; X is the seconds since it. Empty for a column of numbers.
  std::vector<std::optional<QTXStartTime>> starts;
  std::vector<std::int64_t> lastNs;     // a time column's last time, in nanoseconds after its start
  std::size_t rows = 0;
  double At(std::size_t row, std::size_t column) const { return values[row * headings.size() + column]; }
};

// Splits "Voltage [V]" into the heading "Voltage" and the unit "V"; a
// heading without a bracketed unit at its end keeps the unit kNoUnit.
void AddHeading(Table& table, std::string_view text) {
  std::string unit = kNoUnit;
  const std::size_t open = text.rfind('[');
  if (open != std::string_view::npos && text.back() == ']') {
    const std::string_view name = text.substr(0, text.find_last_not_of(" \t", open - 1) + 1);
    if (open > 0 && !name.empty() && text.size() - open > 2) {
      unit = std::string(text.substr(open + 1, text.size() - open - 2));
      text = name;
    }
  }
  // "Heading {dimension}" before the unit: a dimension other than the
  // heading, as qtx dump --units writes it.
  std::string dimension;
  const std::size_t brace = text.rfind('{');
  if (brace != std::string_view::npos && brace > 0 && text.back() == '}' && text.size() - brace > 2) {
    const std::string_view name = text.substr(0, text.find_last_not_of(" \t", brace - 1) + 1);
    if (!name.empty()) {
      dimension = std::string(text.substr(brace + 1, text.size() - brace - 2));
      text = name;
    }
  }
  table.headings.emplace_back(text);
  table.units.push_back(std::move(unit));
  table.dimensions.push_back(dimension.empty() ? std::string(text) : dimension);
}

// How cells are read: the delimiter between them, the decimal mark, and
// whether an empty cell before a column's last value is a NaN.
struct CellFormat {
  bool tabs = false;
  char delimiter = ',';
  char decimal = '.';
  bool emptyIsNan = false;
};

// A cell as a double: decimal text, an optional sign, an optional exponent,
// nothing else; or nan, inf and -inf as qtx dump writes them.
double ParseNumber(std::string_view cell, const Location& at, std::size_t column, const std::string& heading,
                   char decimal = '.') {
  auto fail = [&](const std::string& problem) {
    throw Failure(at.Where() + ": column " + std::to_string(column + 1) + " (" + heading + "): " + problem);
  };
  std::string withPoint;
  if (decimal != '.') {
    // "1,5" with a decimal comma; a cell that also holds a point is no number of that kind.
    if (cell.find('.') != std::string_view::npos) fail("'" + std::string(cell) + "' is not a number");
    withPoint.assign(cell);
    std::replace(withPoint.begin(), withPoint.end(), decimal, '.');
    cell = withPoint;
  }
  std::string_view digits = cell;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  double value = 0.0;
  const char* end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, value);
  if (result.ptr != end || (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
    fail("'" + std::string(cell) + "' is not a number");
  if (result.ec != std::errc()) fail(std::string(cell) + " is beyond the largest double");
  return value;
}

// A cell as ISO 8601 time without zone, or false.
bool ParseTime(std::string_view cell, QTXStartTime& time) {
  char text[48];  // the longest such time has 29 characters
  if (cell.size() >= sizeof text) return false;
  cell.copy(text, cell.size());
  text[cell.size()] = '\0';
  return QTX_ParseIso8601(text, time);
}

// Whether X column `column` of the mode, one whose cells may be times.
bool IsXColumn(int mode, std::size_t column) { return mode == 1 ? column == 0 : mode == 2 && column % 2 == 0; }

// A cell of a time column as seconds after the column's first time. Times
// must not go back, and must keep their nanoseconds in a double of seconds
// (about 100 days after the first at full nanoseconds): a dump of the file
// on the clock gives them back as they were.
double TimeCell(Table& table, std::string_view cell, const Location& at, std::size_t c) {
  auto fail = [&](const std::string& problem) {
    throw Failure(at.Where() + ": column " + std::to_string(c + 1) + " (" + table.headings[c] + "): " + problem);
  };
  QTXStartTime time{0, 0};
  if (!ParseTime(cell, time))
    fail("'" + std::string(cell) + "' is no ISO 8601 time yyyy-MM-ddTHH:mm:ss[.f] without zone, as the column's "
         "first cell is");
  const QTXStartTime& start = *table.starts[c];
  // Years 0 to 9999 are some 3.2e11 seconds apart: far inside 64 bits.
  const std::int64_t seconds = time.nSeconds - start.nSeconds;
  const std::int64_t ns = static_cast<std::int64_t>(time.nNanoseconds) - static_cast<std::int64_t>(start.nNanoseconds);
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1000000000 - 1;
  if (seconds > kLimit || seconds < -kLimit) fail(std::string(cell) + " lies too far from the column's first time");
  const std::int64_t offset = seconds * 1000000000 + ns;
  if (table.lengths[c] > 0 && offset < table.lastNs[c])
    fail(std::string(cell) + " is before the time above it; the times of an X column must not go back");
  table.lastNs[c] = offset;
  const double x = static_cast<double>(offset) / 1e9;
  std::int64_t back = 0;
  if (!QTX_XToNanoseconds(x, 1000000000, back) || back != offset)
    fail(std::string(cell) + " lies " + FormatDouble(x) +
         " s after the column's first time: too far for X in seconds to keep its nanoseconds");
  return x;
}

// The line qtx dump --all writes before each section.
bool IsSectionLine(std::string_view line) { return line.rfind("# section ", 0) == 0; }

// The tables of the file: one, or one per "# section N" line of a dump --all.
// An X column (mode One's first, mode Multi's every other) whose first cell
// is an ISO 8601 time is a column of times: X in seconds since that time.
std::vector<Table> ReadTables(const std::string& path, const CellFormat& format, int mode) {
  CStdioFile file;
  OpenForReading(file, path);
  std::vector<Table> tables;
  Table table;
  RecordSplitter record(format.tabs, format.delimiter);
  CString line;
  std::uint64_t lineNumber = 0;
  bool haveHeadings = false;
  while (file.ReadString(line)) {
    ++lineNumber;
    std::string_view text = line.View();
    if (lineNumber == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    if (IsBlankLine(text)) continue;
    const Location at{path, lineNumber};
    if (IsSectionLine(text)) {
      if (!haveHeadings && !tables.empty()) throw Failure(at.Where() + ": the section before has no header row");
      if (haveHeadings) tables.push_back(std::move(table));
      table = Table();
      haveHeadings = false;
      continue;
    }
    record.Split(text, at);
    if (!haveHeadings) {
      for (std::size_t c = 0; c < record.Size(); ++c) {
        std::string_view heading = record.Cell(c);
        // Blanks around a heading, quoted or not, would not come back from the
        // last channel's labels.
        heading.remove_prefix(std::min(heading.find_first_not_of(" \t"), heading.size()));
        heading.remove_suffix(heading.size() - (heading.find_last_not_of(" \t") + 1));
        const std::string column = at.Where() + ": column " + std::to_string(c + 1);
        if (heading.empty()) throw Failure(column + " has no heading");
        for (const char ch : heading) {
          if (ch == '\t')
            throw Failure(column + ": the heading holds a tab; tab-separated input needs --format tsv");
          // A control character would split the heading or the line in the QTX file.
          if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
            throw Failure(column + ": the heading holds a control character");
        }
        AddHeading(table, heading);
      }
      table.lengths.assign(table.headings.size(), 0);
      table.endLines.assign(table.headings.size(), 0);
      table.starts.assign(table.headings.size(), std::nullopt);
      table.lastNs.assign(table.headings.size(), 0);
      haveHeadings = true;
      continue;
    }
    if (record.Size() != table.headings.size())
      throw Failure(at.Where() + ": " + std::to_string(record.Size()) + " cell" +
                    (record.Size() == 1 ? "" : "s") + ", but the header row has " +
                    std::to_string(table.headings.size()));
    for (std::size_t c = 0; c < record.Size(); ++c) {
      if (record.Cell(c).empty()) {
        if (table.endLines[c] == 0) table.endLines[c] = lineNumber;
        table.values.push_back(0.0);
        continue;
      }
      if (table.endLines[c] != 0 && format.emptyIsNan) {
        // The empty cells since the column's last value are missing fields:
        // NaN to a reader, and left out at the end of a row.
        for (std::size_t r = table.lengths[c]; r < table.rows; ++r)
          table.values[r * table.headings.size() + c] = QTX_MissingValue();
        table.lengths[c] = table.rows;
        table.endLines[c] = 0;
      }
      if (table.endLines[c] != 0)
        throw Failure(at.Where() + ": column " + std::to_string(c + 1) + " (" + table.headings[c] +
                      ") goes on after its empty cell on line " + std::to_string(table.endLines[c]) +
                      "; only the end of a column may be empty");
      const std::string_view cell = record.Cell(c);
      QTXStartTime time{0, 0};
      if (IsXColumn(mode, c) && !table.starts[c] && ParseTime(cell, time)) {
        if (table.lengths[c] > 0)
          throw Failure(at.Where() + ": column " + std::to_string(c + 1) + " (" + table.headings[c] + "): '" +
                        std::string(cell) + "' is a time, but the column's first cell is a number");
        table.starts[c] = time;
      }
      table.values.push_back(table.starts[c] ? TimeCell(table, cell, at, c)
                                             : ParseNumber(cell, at, c, table.headings[c], format.decimal));
      ++table.lengths[c];
    }
    ++table.rows;
  }
  if (!haveHeadings) throw Failure(path + ": no header row");
  tables.push_back(std::move(table));
  return tables;
}

// Where channel i of the mode takes its X and its Y from.
std::size_t XColumn(int mode, std::size_t i) {
  return mode == 1 ? 0 : 2 * i;
}
std::size_t YColumn(int mode, std::size_t i) {
  return mode == 0 ? i : mode == 1 ? i + 1 : 2 * i + 1;
}
std::size_t ChannelCount(int mode, std::size_t columns) {
  return mode == 0 ? columns : mode == 1 ? columns - 1 : columns / 2;
}

void CheckColumns(const Table& table, int mode, const std::string& path) {
  const std::size_t columns = table.headings.size();
  const std::string has = "; " + path + " has " + std::to_string(columns) + " column" + (columns == 1 ? "" : "s");
  if (mode == 1 && columns < 2) throw Failure("mode one needs an X column and at least one Y column" + has);
  if (mode == 2 && columns % 2 != 0) throw Failure("mode multi needs the columns in X,Y pairs" + has);
  if (columns > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw Failure(path + ": more columns than a section can count");
  if (table.rows > std::numeric_limits<std::uint32_t>::max())
    throw Failure(path + ": more rows than a section can count (4294967295)");
  // A Y value needs its X.
  for (std::size_t i = 0; mode != 0 && i < ChannelCount(mode, columns); ++i) {
    const std::size_t x = XColumn(mode, i), y = YColumn(mode, i);
    if (table.lengths[y] > table.lengths[x] || (mode == 2 && table.lengths[y] != table.lengths[x]))
      throw Failure(path + ": column " + std::to_string(y + 1) + " (" + table.headings[y] + ") has " +
                    std::to_string(table.lengths[y]) + " values, but its X column " + std::to_string(x + 1) +
                    " (" + table.headings[x] + ") " + std::to_string(table.lengths[x]));
  }
}

// First value and mean step of the first `rows` of column `column`, for X0
// and Delta_X.
std::pair<double, double> Grid(const Table& table, std::size_t column, std::size_t rows) {
  if (rows == 0) return {0.0, 0.0};
  const double first = table.At(0, column);
  if (rows == 1) return {first, 0.0};
  const double step = (table.At(rows - 1, column) - first) / static_cast<double>(rows - 1);
  return {first, std::isfinite(step) ? step : 0.0};
}

// The section the writer describes: one channel per Y column, as many
// samples as the column has values. Returns the rows to write.
std::size_t BuildSection(CQTXSection& section, const Table& table, int mode, double x0, double step) {
  const std::size_t channels = ChannelCount(mode, table.headings.size());
  section.m_nChannels = static_cast<int>(channels);
  std::size_t rows = 0;
  for (std::size_t i = 0; i < channels; ++i) {
    const std::size_t xColumn = XColumn(mode, i);
    const std::size_t yColumn = YColumn(mode, i);
    const std::size_t samples = table.lengths[yColumn];
    rows = std::max(rows, samples);
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = static_cast<int>(i);
    channel->m_nSamples = static_cast<std::uint32_t>(samples);
    channel->m_strYHeading = table.headings[yColumn];
    channel->m_strXHeading = mode == 0 ? std::string(kComputedXHeading) : table.headings[xColumn];
    channel->m_strYDimension = table.dimensions[yColumn];
    channel->m_strXDimension = mode == 0 ? channel->m_strXHeading : CString(table.dimensions[xColumn]);
    channel->m_strYUnitLabel = table.units[yColumn];
    channel->m_strXUnitLabel = mode == 0 ? kNoUnit : table.units[xColumn];
    std::tie(channel->m_dX0, channel->m_dDeltaX) =
        mode == 0 ? std::make_pair(x0, step) : Grid(table, xColumn, samples);
    if (mode != 0 && table.starts[xColumn]) {
      // X of times: seconds since the column's first, which is the channel's start.
      channel->m_strXUnitLabel = "s";
      std::string date, time;
      StampOf(*table.starts[xColumn], date, time);
      channel->m_strDate = date;
      channel->m_strTime = time;
    }
    section.m_arrChannels.Add(channel.get());
    channel.release();  // owned by the section from here
  }
  return rows;
}

void WriteRows(OutputFile& out, const Table& table, std::size_t rows) {
  const std::size_t columns = table.headings.size();
  std::string text;
  for (std::size_t r = 0; r < rows; ++r) {
    // The CSV columns are already in the layout of the mode: Y columns only,
    // X then the Ys, or X,Y pairs. Past a column's end its cell is 0, which
    // no reader takes for a value: the channel's Samples end before it.
    AppendRow(text, &table.values[r * columns], columns);
    if (text.size() >= (std::size_t{1} << 16)) {
      out.Write(text);
      text.clear();
    }
  }
  out.Write(text);
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--mode", "--x0", "--step", "--format", "--delimiter", "--decimal", "--empty"});
  arguments.ExpectPositionals(2);
  const std::string& input = arguments.Positionals()[0];
  const std::string& output = arguments.Positionals()[1];
  const int mode = ParseMode(arguments);
  CellFormat format;
  format.tabs = arguments.GetChoice("--format", {"csv", "tsv"}, 0) == 1;
  if (const std::optional<std::string> delimiter = arguments.Get("--delimiter")) {
    if (delimiter->size() != 1 || *delimiter == "\"" || *delimiter == " " || *delimiter == "\t")
      throw UsageError("option --delimiter needs one character other than a quote or a blank, not '" + *delimiter + "'");
    if (format.tabs) throw UsageError("--delimiter goes with CSV; --format tsv separates cells by tabs");
    format.delimiter = (*delimiter)[0];
  }
  format.decimal = arguments.GetChoice("--decimal", {".", ","}, 0) == 1 ? ',' : '.';
  if (format.decimal == format.delimiter)
    throw UsageError("--decimal , needs another delimiter between cells, such as --delimiter ';'");
  format.emptyIsNan = arguments.GetChoice("--empty", {"end", "nan"}, 0) == 1;
  if (mode != 0 && (arguments.Has("--x0") || arguments.Has("--step")))
    throw UsageError("--x0 and --step go with --mode no; in the other modes X comes from the file");
  const double x0 = HeaderNumber(arguments, "--x0", 0.0);
  const double step = HeaderNumber(arguments, "--step", 1.0);

  const std::vector<Table> tables = ReadTables(input, format, mode);
  for (const Table& table : tables) CheckColumns(table, mode, input);
  if (output != "-" && SameFile(input, output))
    throw Failure(output + " is the input file; give another output file");

  // Times in the first table that has them put its first start in the main
  // header, with Time_Pref Absolute; the other stamps are the clock's now.
  CQTXGeneral header;
  for (const Table& table : tables) {
    const auto first = std::find_if(table.starts.begin(), table.starts.end(),
                                    [](const std::optional<QTXStartTime>& start) { return start.has_value(); });
    if (first == table.starts.end()) continue;
    std::string date, time;
    StampOf(**first, date, time);
    header.m_strDate = date;
    header.m_strTime = time;
    header.m_strTimePref = CQTXGeneral::lpszAbs;
    break;
  }
  OutputFile file(output);
  header.QTX_WriteMainHeaderStamped(file.Stream(), mode);
  for (const Table& table : tables) {
    CQTXSection section;
    const std::size_t rows = BuildSection(section, table, mode, x0, step);
    section.WriteSectionHeaderStamped(file.Stream(), mode);
    WriteRows(file, table, rows);
  }
  file.Commit();
  return kExitOk;
}

}  // namespace

const Command kConvertCommand = {
    "convert", "write a QTX file from a CSV file with a header row",
    "usage: qtx convert IN.csv OUT.qtx [--mode no|one|multi] [--x0 X] [--step D] [--format csv|tsv]"
    " [--delimiter C] [--decimal .|,] [--empty end|nan]\n"
    "\n"
    "  Writes one section from a CSV file: a channel per Y column, a row per CSV\n"
    "  row. The first row holds the headings; a heading \"Voltage [V]\" gives the\n"
    "  heading and dimension Voltage and the unit label V, other units are '-';\n"
    "  \"Voltage {U} [V]\" (qtx dump --units) gives the dimension U.\n"
    "  Cells are separated by commas; a cell in double quotes may hold commas. A\n"
    "  column may end early: its cells from there on are empty, and its channel\n"
    "  has fewer Samples. Numbers are decimal, or nan, inf and -inf as qtx dump\n"
    "  writes them. A line \"# section N\" (qtx dump --all) starts another section\n"
    "  with its own header row. OUT - writes to stdout.\n"
    "  An X column (mode one or multi) of ISO 8601 times without zone, as qtx\n"
    "  dump --time absolute writes them, becomes X in seconds (X_Unit_Label s)\n"
    "  since its first time, which is the channels' Date and Time and the main\n"
    "  header's; the times must not go back, nor mix with numbers.\n"
    "\n"
    "  --mode M          one: the first column is X for all channels, then a Y\n"
    "                    column per channel (the default); multi: an X and a Y\n"
    "                    column per channel; no: every column is a Y channel,\n"
    "                    X is X0 + row * Delta_X\n"
    "  --x0 X            X0 in mode no (default 0)\n"
    "  --step D          Delta_X in mode no (default 1)\n"
    "  --format F        csv (default), or tsv: cells separated by tabs, no quoting\n"
    "  --delimiter C     the character between CSV cells (default ,), such as ;\n"
    "  --decimal M       the decimal mark: . (default) or , (then with --delimiter)\n"
    "  --empty E         end (default): empty cells end a column; nan: an empty cell\n"
    "                    before a column's last value is NaN\n",
    Run};

}  // namespace qtx::tool
