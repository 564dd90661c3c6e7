// qtx convert IN.csv OUT.qtx: a QTX file of one section from a CSV file with a
// header row. The headers come from the library's writer; the rows are
// written here, tab-separated in the column layout of the mode, with numbers
// in their shortest form that reads back as the same double.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "Tool.h"

namespace qtx::tool {
namespace {

// Unit labels are not in a CSV file; this marks them as not given.
constexpr const char* kNoUnit = "-";
// The X heading of channels whose X comes from X0 and Delta_X.
constexpr const char* kComputedXHeading = "X_Value";

int ParseMode(const Arguments& arguments) {
  const std::optional<std::string> mode = arguments.Get("--mode");
  if (!mode) return 1;
  const CString name(mode->c_str());
  if (name.CompareNoCase("no") == 0) return 0;
  if (name.CompareNoCase("one") == 0) return 1;
  if (name.CompareNoCase("multi") == 0) return 2;
  throw UsageError("--mode is no, one or multi, not '" + *mode + "'");
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

// The cells of one CSV record: comma-separated, white space around a cell
// dropped, a cell in double quotes may hold commas and "" for a quote.
// Records do not span lines.
class RecordSplitter {
 public:
  // Splits `line`; the cells stay valid until the next call. Throws Failure
  // for a quote that is not closed or text after one.
  void Split(std::string_view line, const Location& at) {
    m_text.clear();
    m_bounds.clear();
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
        if (pos < line.size() && line[pos] != ',')
          throw Failure(at.Where() + ": text after the closing quote of cell " + std::to_string(m_bounds.size() + 1));
      } else {
        const std::size_t comma = std::min(line.find(',', pos), line.size());
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

  std::string m_text;                                      // the cells' characters, one after another
  std::vector<std::pair<std::size_t, std::size_t>> m_bounds;  // offset and length of each cell
};

// A line of only blanks is passed over like an empty one.
bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// What the CSV file holds: its headings and its numbers, row after row.
struct Table {
  std::vector<std::string> headings;
  std::vector<double> values;  // row r, column c at r * headings.size() + c
  std::size_t rows = 0;
  double At(std::size_t row, std::size_t column) const { return values[row * headings.size() + column]; }
};

// A cell as a finite double: decimal text, an optional sign, an optional
// exponent, nothing else.
double ParseNumber(std::string_view cell, const Location& at, std::size_t column, const std::string& heading) {
  auto fail = [&](const std::string& problem) {
    throw Failure(at.Where() + ": column " + std::to_string(column + 1) + " (" + heading + "): " + problem);
  };
  if (cell.empty()) fail("the cell is empty");
  std::string_view digits = cell;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  double value = 0.0;
  const char* end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, value);
  if (result.ptr != end || (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
    fail("'" + std::string(cell) + "' is not a number");
  if (result.ec != std::errc() || !std::isfinite(value)) fail(std::string(cell) + " is not a finite double");
  return value;
}

Table ReadTable(const std::string& path) {
  CStdioFile file;
  OpenForReading(file, path);
  Table table;
  RecordSplitter record;
  CString line;
  std::uint64_t lineNumber = 0;
  bool haveHeadings = false;
  while (file.ReadString(line)) {
    ++lineNumber;
    std::string_view text = line.View();
    if (lineNumber == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    if (IsBlankLine(text)) continue;
    const Location at{path, lineNumber};
    record.Split(text, at);
    if (!haveHeadings) {
      for (std::size_t c = 0; c < record.Size(); ++c) {
        std::string_view heading = record.Cell(c);
        // Blanks around a heading, quoted or not, would not come back from the
        // last channel's labels.
        heading.remove_prefix(std::min(heading.find_first_not_of(" \t"), heading.size()));
        heading.remove_suffix(heading.size() - (heading.find_last_not_of(" \t") + 1));
        if (heading.empty()) throw Failure(at.Where() + ": column " + std::to_string(c + 1) + " has no heading");
        for (const char ch : heading) {
          // A tab would split the heading in two in the QTX file.
          if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
            throw Failure(at.Where() + ": the heading of column " + std::to_string(c + 1) + " holds a control character");
        }
        table.headings.emplace_back(heading);
      }
      haveHeadings = true;
      continue;
    }
    if (record.Size() != table.headings.size())
      throw Failure(at.Where() + ": " + std::to_string(record.Size()) + " cell" + (record.Size() == 1 ? "" : "s") +
                    ", but the header row has " + std::to_string(table.headings.size()));
    for (std::size_t c = 0; c < record.Size(); ++c)
      table.values.push_back(ParseNumber(record.Cell(c), at, c, table.headings[c]));
    ++table.rows;
  }
  if (!haveHeadings) throw Failure(path + ": no header row");
  return table;
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
}

// First value and mean step of column `column`, for X0 and Delta_X.
std::pair<double, double> Grid(const Table& table, std::size_t column) {
  if (table.rows == 0) return {0.0, 0.0};
  const double first = table.At(0, column);
  if (table.rows == 1) return {first, 0.0};
  const double step = (table.At(table.rows - 1, column) - first) / static_cast<double>(table.rows - 1);
  return {first, std::isfinite(step) ? step : 0.0};
}

// The section the writer describes: one channel per Y column.
void BuildSection(CQTXSection& section, const Table& table, int mode, double x0, double step) {
  const std::size_t columns = table.headings.size();
  const std::size_t channels = mode == 0 ? columns : mode == 1 ? columns - 1 : columns / 2;
  section.m_nChannels = static_cast<int>(channels);
  for (std::size_t i = 0; i < channels; ++i) {
    const std::size_t xColumn = mode == 1 ? 0 : 2 * i;
    const std::size_t yColumn = mode == 0 ? i : mode == 1 ? i + 1 : 2 * i + 1;
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = static_cast<int>(i);
    channel->m_nSamples = static_cast<std::uint32_t>(table.rows);
    channel->m_strYHeading = table.headings[yColumn];
    channel->m_strXHeading = mode == 0 ? std::string(kComputedXHeading) : table.headings[xColumn];
    channel->m_strYDimension = channel->m_strYHeading;
    channel->m_strXDimension = channel->m_strXHeading;
    channel->m_strYUnitLabel = kNoUnit;
    channel->m_strXUnitLabel = kNoUnit;
    std::tie(channel->m_dX0, channel->m_dDeltaX) = mode == 0 ? std::make_pair(x0, step) : Grid(table, xColumn);
    section.m_arrChannels.Add(channel.get());
    channel.release();  // owned by the section from here
  }
}

// The output file while it is being written: unless Keep() was called, a
// regular file is removed again, so that a failed conversion leaves no
// partial file behind (a device such as /dev/null is left alone).
class OutputFile {
 public:
  explicit OutputFile(std::string path) : m_path(std::move(path)) {
    m_stream.open(m_path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!m_stream) throw Failure("cannot create " + m_path + ": " + std::strerror(errno));
    struct stat info;
    m_removable = ::stat(m_path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }
  ~OutputFile() {
    if (m_keep) return;
    m_stream.close();
    if (m_removable) std::remove(m_path.c_str());
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ofstream& Stream() { return m_stream; }
  void Keep() {
    m_stream.close();
    if (!m_stream) throw Failure("cannot write " + m_path);
    m_keep = true;
  }

 private:
  std::string m_path;
  std::ofstream m_stream;
  bool m_removable = false;
  bool m_keep = false;
};

// st_ino is 0 for every file on Windows; equivalent() asks the system there.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;  // either missing: not the same file
  return std::filesystem::equivalent(a, b, error);
}

void WriteRows(std::ofstream& out, const Table& table) {
  const std::size_t columns = table.headings.size();
  std::string row;
  char number[32];
  for (std::size_t r = 0; r < table.rows; ++r) {
    row.clear();
    // The CSV columns are already in the layout of the mode: Y columns only,
    // X then the Ys, or X,Y pairs.
    for (std::size_t c = 0; c < columns; ++c) {
      if (c > 0) row += '\t';
      const auto result = std::to_chars(number, number + sizeof number, table.At(r, c));
      row.append(number, result.ptr);
    }
    row += '\n';
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--mode", "--x0", "--step"});
  arguments.ExpectPositionals(2);
  const std::string& input = arguments.Positionals()[0];
  const std::string& output = arguments.Positionals()[1];
  const int mode = ParseMode(arguments);
  if (mode != 0 && (arguments.Has("--x0") || arguments.Has("--step")))
    throw UsageError("--x0 and --step go with --mode no; in the other modes X comes from the file");
  const double x0 = HeaderNumber(arguments, "--x0", 0.0);
  const double step = HeaderNumber(arguments, "--step", 1.0);

  const Table table = ReadTable(input);
  CheckColumns(table, mode, input);
  if (SameFile(input, output)) throw Failure(output + " is the input file; give another output file");

  CQTXSection section;
  BuildSection(section, table, mode, x0, step);
  OutputFile file(output);
  CQTXGeneral::QTX_WriteMainHeader(file.Stream(), mode);
  section.WriteSectionHeader(file.Stream(), mode);
  WriteRows(file.Stream(), table);
  file.Keep();
  return kExitOk;
}

}  // namespace

const Command kConvertCommand = {
    "convert", "write a QTX file from a CSV file with a header row",
    "usage: qtx convert IN.csv OUT.qtx [--mode no|one|multi] [--x0 X] [--step D]\n"
    "\n"
    "  Writes one section from a CSV file: a channel per Y column, a row per CSV\n"
    "  row. The first row holds the headings. Cells are separated by commas; a\n"
    "  cell in double quotes may hold commas. Units are written as '-'.\n"
    "\n"
    "  --mode M          one: the first column is X for all channels, then a Y\n"
    "                    column per channel (the default); multi: an X and a Y\n"
    "                    column per channel; no: every column is a Y channel,\n"
    "                    X is X0 + row * Delta_X\n"
    "  --x0 X            X0 in mode no (default 0)\n"
    "  --step D          Delta_X in mode no (default 1)\n",
    Run};

}  // namespace qtx::tool
