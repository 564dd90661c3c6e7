// The data reader and the whole-file scan.
//
// The scan reads every line of a file once: headers through the header
// readers, data rows only as far as to find where the next section begins.
// Numbers are parsed later and only on request, one section per call,
// straight from the position the scan recorded.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"
#include "textio/FieldSplitter.h"

namespace {

using qtx::textio::LineSource;

// The bytes after a row's text that the number parser may read.
constexpr std::size_t kLookAhead = qtx::textio::kPlainDecimalLookAhead;
static_assert(LineSource::kPadding >= kLookAhead, "the line buffer leaves the parser room to look ahead");

// The largest Samples among the section's channels: the number of data rows.
std::uint32_t RowCount(const CQTXSection& section) {
  std::uint32_t rows = 0;
  for (int j = 0; j < section.m_nChannels; ++j) rows = std::max(rows, section.m_arrChannels.GetAt(j)->m_nSamples);
  return rows;
}

// Samples is taken from the file as it stands, and "-1" reads as 4294967295
// rows. Arrays that cannot fit in memory would only be committed page by page
// until the system kills the process, so such a request fails the way a
// failed allocation does, before anything is allocated.
void CheckArraysFitInMemory(std::uint64_t nChannels, std::uint32_t nRows) {
  const std::uint64_t physical = qtx::platform::PhysicalMemoryBytes();
  if (physical == 0 || nChannels == 0 || nRows == 0) return;
  const std::uint64_t bytesPerChannel = std::uint64_t{2} * sizeof(double) * nRows;
  if (nChannels > physical / bytesPerChannel) throw std::bad_alloc();
}

// Gives each channel two new arrays of nRows entries, releasing those it
// held. Every array is allocated before any is handed over, so a failed
// allocation leaves every channel as it was.
void GiveArrays(const std::vector<CQTXChannel*>& channels, std::uint32_t nRows) {
  std::vector<std::unique_ptr<double[]>> arrays;
  arrays.reserve(2 * channels.size());
  for (std::size_t i = 0; i < 2 * channels.size(); ++i) arrays.emplace_back(new double[nRows]);
  // Large arrays are mostly memory fresh from the system, which would
  // otherwise fault in a page at a time as the rows fill it.
  constexpr std::size_t kPrefaultFrom = std::size_t{1} << 16;
  const std::size_t bytes = std::size_t{nRows} * sizeof(double);
  if (bytes >= kPrefaultFrom)
    for (const auto& array : arrays) qtx::platform::PrefaultForWrite(array.get(), bytes);
  for (std::size_t i = 0; i < channels.size(); ++i) {
    delete[] channels[i]->m_pXValues;
    delete[] channels[i]->m_pYValues;
    channels[i]->m_pXValues = arrays[2 * i].release();
    channels[i]->m_pYValues = arrays[2 * i + 1].release();
  }
}

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
template <int kMode>
void ReadRow(RowText& row, const FieldReader& fields, const std::vector<RowTarget>& targets,
             std::uint32_t r) {
  double sharedX = 0.0;
  if (kMode == 1) fields.Next(row, sharedX);
  for (const RowTarget& target : targets) {
    if (!target.selected) {
      // Its fields are passed over, so that the fields of later channels are
      // found in their places.
      if (kMode == 2) fields.Skip(row);
      fields.Skip(row);
      continue;
    }
    double x = 0.0;
    if (kMode == 0) {
      const double step = static_cast<double>(r) * target.deltaX;
      x = target.x0 + step;
    } else if (kMode == 1) {
      x = sharedX;
    } else if (kMode == 2) {
      fields.Next(row, x);
    }  // any other mode: no X field, X stays 0
    double y = 0.0;
    fields.Next(row, y);
    target.x[r] = x;
    target.y[r] = y;
  }
  row.NextRow();
}

// Reads rows r, r + 1, ... up to nRows from the source, adding 1 to r and to
// the line counter for each, and for the pass that meets the end of the file.
// Returns false when the file ended first.
template <int kMode>
bool ReadRows(LineSource& source, const FieldReader& fields, const std::vector<RowTarget>& targets,
              std::uint32_t& r, std::uint32_t nRows, std::uint32_t& nLine) {
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
        ReadRow<kMode>(row, fields, targets, r);
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
    ReadRow<kMode>(row, fields, targets, r);
    ++nLine;
    if (++r >= nRows) return true;
  }
}

}  // namespace

bool CQTXGeneral::ReadQTXFile(CString path) {
  CStdioFile file;
  CFileException error;  // receives the details of a failed open; nobody looks at them
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error)) return false;

  std::uint32_t nLine = 0;
  if (!QTX_ReadMainHeader(nLine, &file)) {
    file.Close();
    return false;
  }
  while (CQTXSection* pSection = QTX_ReadSectionHeader(nLine, &file)) {
    pSection->m_nDataLine = nLine;
    pSection->m_nDataPosition = file.GetPosition();
    QTX_ReadData(nLine, &file, pSection, 0, -1);
  }
  file.Close();
  return true;
}

bool CQTXGeneral::QTX_ReadData(std::uint32_t& nLine, CStdioFile* pFile, CQTXSection* pSection, int readValues,
                               int channel) {
  LineSource& source = CStdioFileAccess::Source(*pFile);
  source.Seek(pSection->m_nDataPosition);
  const std::uint32_t nRows = RowCount(*pSection);

  if (readValues == 0) {
    for (std::uint32_t r = 0; r < nRows && source.SkipLine(); ++r) ++nLine;
    return true;
  }

  if (channel >= 0) {
    if (channel >= pSection->m_arrChannels.GetSize()) AfxThrowInvalidArgException();
    CheckArraysFitInMemory(1, nRows);
  } else {
    CheckArraysFitInMemory(static_cast<std::uint64_t>(std::max(pSection->m_nChannels, 0)), nRows);
  }
  // The channels in row order, fetched once; the row count above has already
  // fetched each of them, so the bounds hold.
  std::vector<RowTarget> targets;
  targets.reserve(static_cast<std::size_t>(std::max(pSection->m_nChannels, 0)));
  for (int j = 0; j < pSection->m_nChannels; ++j)
    targets.push_back({pSection->m_arrChannels.GetAt(j), channel < 0 || channel == j});
  std::vector<CQTXChannel*> selected;
  if (channel >= 0) {
    selected.push_back(pSection->m_arrChannels.GetAt(channel));
  } else {
    for (const RowTarget& target : targets) selected.push_back(target.channel);
  }
  GiveArrays(selected, nRows);
  if (nRows == 0) return true;
  for (RowTarget& target : targets) {
    if (!target.selected) continue;
    target.x = target.channel->m_pXValues;
    target.y = target.channel->m_pYValues;
    target.x0 = target.channel->m_dX0;
    target.deltaX = target.channel->m_dDeltaX;
  }

  const FieldReader fields(m_strSeparator.View());
  std::uint32_t r = 0;

  // Entries for rows the file does not supply hold 0.0, whichever way the
  // loop ends.
  struct ZeroRest {
    const std::vector<RowTarget>& targets;
    const std::uint32_t& r;
    std::uint32_t nRows;
    ~ZeroRest() {
      for (const RowTarget& target : targets) {
        if (!target.selected) continue;
        std::fill(target.x + r, target.x + nRows, 0.0);
        std::fill(target.y + r, target.y + nRows, 0.0);
      }
    }
  } zeroRest{targets, r, nRows};

  bool complete;
  switch (m_nXColumns) {
    case 0: complete = ReadRows<0>(source, fields, targets, r, nRows, nLine); break;
    case 1: complete = ReadRows<1>(source, fields, targets, r, nRows, nLine); break;
    case 2: complete = ReadRows<2>(source, fields, targets, r, nRows, nLine); break;
    default: complete = ReadRows<-1>(source, fields, targets, r, nRows, nLine); break;
  }
  if (!complete) --r;  // the pass that met the end of the file stored nothing
  return true;
}
