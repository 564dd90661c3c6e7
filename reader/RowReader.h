// The row reader shared by every read of a section's numbers: the whole
// section, a range of rows and the parallel read of a range. It is one
// definition of the loop over rows and fields, instantiated per X-column
// mode, so that every read converts a field to the same bits.
//
// Internal to the library's reader: included by reader/*.cpp only.
#ifndef QTX_READER_ROWREADER_H
#define QTX_READER_ROWREADER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"
#include "textio/FieldSplitter.h"
#include "textio/LineSource.h"

namespace qtx::reader {

using qtx::textio::LineSource;

// The bytes after a row's text that the number parser may read.
constexpr std::size_t kLookAhead = qtx::textio::kPlainDecimalLookAhead;
static_assert(LineSource::kPadding >= kLookAhead, "the line buffer leaves the parser room to look ahead");

// A data row being read, in text where the row ends in '\n' (with or without
// a '\r' before it, which is no part of the row): the lines of the buffer, or
// a row that had to be copied out of it.
struct RowText {
  const char* p;                  // the next unread character
  const char* limit;              // the '\n' lies before this
  const char* newline = nullptr;  // the row's '\n', once looked for

  static bool IsLineEnd(const char* c) noexcept { return *c == '\n' || (*c == '\r' && c[1] == '\n'); }

  // The rest of the row, from the next unread character.
  std::string_view Rest() {
    if (!newline)
      newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(limit - p)));
    const char* end = newline;
    if (end > p && end[-1] == '\r') --end;
    return std::string_view(p, static_cast<std::size_t>(end - p));
  }
  // Moves to the next row.
  void NextRow() {
    if (!newline) {
      if (*p == '\n') return void(p += 1);
      if (*p == '\r' && p[1] == '\n') return void(p += 2);
      Rest();
    }
    p = newline + 1;
    newline = nullptr;
  }
};

// Reads the fields of data rows: the next field of the row and its value as
// atof gives it. Most fields are plain decimal numbers that end at a
// separator or at the line end; ReadPlainDecimal then reads the number and
// finds the end of the field in one pass, with the same result as atof,
// which would stop at the same place. Anything else (a sign '+', white
// space, hex, inf and nan, text after the number, a locale whose decimal
// point is not '.', a separator of several characters) takes the general
// path: the field found first, then converted.
class FieldReader {
 public:
  explicit FieldReader(std::string_view separator) : m_separator(separator) {}

  // Returns false, with `value` untouched, when the row has no further field.
  bool Next(RowText& row, double& value) const {
    if (m_fast) {
      const char* p = row.p;
      while (*p == m_fastSeparator) ++p;  // the run of separators before the field
      row.p = p;
      if (RowText::IsLineEnd(p)) return false;
      double number;
      const char* const end = qtx::textio::ReadPlainDecimal(p, row.limit, number);
      if (end && (*end == m_fastSeparator || RowText::IsLineEnd(end))) {
        row.p = end;
        value = number;
        return true;
      }
    }
    return NextInGeneral(row, &value);
  }

  // Passes over the next field without converting it.
  void Skip(RowText& row) const {
    if (!m_fast) return void(NextInGeneral(row, nullptr));
    const char* p = row.p;
    while (*p == m_fastSeparator) ++p;
    while (*p != m_fastSeparator && *p != '\n') ++p;  // a '\r' before the '\n' goes with the field
    row.p = p;
  }

 private:
  [[gnu::noinline]] bool NextInGeneral(RowText& row, double* value) const {
    const std::string_view rest = row.Rest();
    std::size_t pos = 0;
    std::string_view field;
    const bool found = qtx::textio::NextField(rest, m_separator, pos, field);
    row.p += pos;
    if (found && value) *value = m_atof(field);
    return found;
  }

  std::string_view m_separator;
  qtx::textio::DecimalConverter m_atof;
  // The fast path stands for atof only with a '.' decimal point, and for
  // one separator character that is no part of any number or line end.
  bool m_fast = m_atof(std::string_view("0.5")) == 0.5 && m_separator.size() == 1 &&
                m_separator.find_first_of("0123456789+-.eEpPxX\n") == std::string_view::npos;
  char m_fastSeparator = m_fast ? m_separator[0] : '\0';
};

// What one data row is read into: the section's channels in order, and for
// each whether it was selected. The arrays and the X grid are copied out of
// the channel so that the row loop does not go through it for every value.
struct RowTarget {
  CQTXChannel* channel;
  bool selected;
  double* x = nullptr;
  double* y = nullptr;
  double x0 = 0.0;
  double deltaX = 0.0;
};

// Reads one row's fields into entry r of the selected channels, in X-column
// mode kMode, and moves to the next row; fixing the mode at compile time
// keeps its test out of the loop over the channels.
// A whole section (kRange false) fills every array from entry 0; a range
// stores row r at entry r - base, where base is its first row, and may leave
// out X or Y.
template <int kMode, bool kRange>
void ReadRow(RowText& row, const FieldReader& fields, const std::vector<RowTarget>& targets,
             std::uint32_t r, std::uint32_t base) {
  // A field the row lacks: 0.0 for the whole read, as it always gave, and
  // the missing value for a range read.
  const double absent = kRange ? QTX_MissingValue() : 0.0;
  double sharedX = absent;
  if (kMode == 1) fields.Next(row, sharedX);
  for (const RowTarget& target : targets) {
    if (!target.selected) {
      // Its fields are passed over, so that the fields of later channels are
      // found in their places.
      if (kMode == 2) fields.Skip(row);
      fields.Skip(row);
      continue;
    }
    double x = kMode == 1 || kMode == 2 ? absent : 0.0;
    if (kMode == 0) {
      const double step = static_cast<double>(r) * target.deltaX;
      x = target.x0 + step;
    } else if (kMode == 1) {
      x = sharedX;
    } else if (kMode == 2) {
      fields.Next(row, x);
    }  // any other mode: no X field, X stays 0
    double y = absent;
    fields.Next(row, y);
    if constexpr (kRange) {
      if (target.x) target.x[r - base] = x;
      if (target.y) target.y[r - base] = y;
    } else {
      target.x[r] = x;
      target.y[r] = y;
    }
  }
  row.NextRow();
}

// Reads rows r, r + 1, ... up to nRows from the source, adding 1 to r and to
// the line counter for each, and for the pass that meets the end of the file.
// Returns false when the file ended first.
template <int kMode, bool kRange = false>
bool ReadRows(LineSource& source, const FieldReader& fields, const std::vector<RowTarget>& targets,
              std::uint32_t& r, std::uint32_t nRows, std::uint32_t& nLine, std::uint32_t base = 0) {
  CString spill;     // a line that does not lie whole in the buffer
  std::string copy;  // the same with a line end, as the row reader wants it
  for (;;) {
    const std::string_view lines = source.BufferedLines();
    if (!lines.empty()) {
      RowText row{lines.data(), lines.data() + lines.size()};
      // The rows read are passed over in the source whichever way this ends.
      struct Consumed {
        LineSource& source;
        const char* first;
        const char* const& done;
        ~Consumed() { source.Consume(static_cast<std::size_t>(done - first)); }
      } consumed{source, lines.data(), row.p};
      while (row.p != row.limit) {
        ReadRow<kMode, kRange>(row, fields, targets, r, base);
        ++nLine;
        if (++r >= nRows) return true;
      }
      continue;
    }
    std::string_view line;
    if (!source.ReadLine(line, spill)) {
      ++r;
      ++nLine;
      return false;
    }
    // "\r\n": the row reader drops one '\r' before the '\n', so the row
    // keeps a '\r' of its own. Then the bytes the parser may look at.
    copy.assign(line.data(), line.size()).append("\r\n");
    const std::size_t size = copy.size();
    copy.append(kLookAhead, '\0');
    RowText row{copy.data(), copy.data() + size};
    ReadRow<kMode, kRange>(row, fields, targets, r, base);
    ++nLine;
    if (++r >= nRows) return true;
  }
}

// Reads rows r up to nRows of a range in the file's X-column mode; as
// ReadRows.
inline bool ReadRowsInMode(int nMode, LineSource& source, const FieldReader& fields, const std::vector<RowTarget>& targets,
                    std::uint32_t& r, std::uint32_t nRows, std::uint32_t& nLine, std::uint32_t base) {
  switch (nMode) {
    case 0: return ReadRows<0, true>(source, fields, targets, r, nRows, nLine, base);
    case 1: return ReadRows<1, true>(source, fields, targets, r, nRows, nLine, base);
    case 2: return ReadRows<2, true>(source, fields, targets, r, nRows, nLine, base);
    default: return ReadRows<-1, true>(source, fields, targets, r, nRows, nLine, base);
  }
}

// The row targets of a range read, one per channel of the section in row
// order; the channels asked for are selected. Throws CInvalidArgException
// for a channel out of range or asked for twice.
std::vector<RowTarget> RangeTargets(const CQTXSection& section, const QTXChannelTarget* pTargets,
                                    std::size_t nTargets);

// Rows [first, end) of a section that the file may hold: the row count
// bounds them, and for a scanned section the rows the scan met.
std::uint32_t RangeEnd(const CQTXSection& section, std::uint32_t first, std::uint32_t count);

// Reads rows [first, end) into targets whose arrays begin at row `base`,
// from the last row mark before the first row. Returns the rows stored:
// fewer when the file ends first.
std::uint32_t ReadRange(LineSource& source, const CQTXSection& section, int nMode, std::string_view separator,
                        const std::vector<RowTarget>& targets, std::uint32_t first, std::uint32_t end,
                        std::uint32_t base);

}  // namespace qtx::reader

#endif  // QTX_READER_ROWREADER_H
