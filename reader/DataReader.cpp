// The data reader and the whole-file scan.
//
// The scan reads every line of a file once: headers through the header
// readers, data rows only as far as to find where the next section begins.
// Numbers are parsed later and only on request, one section per call,
// straight from the position the scan recorded.
#include <algorithm>
#include <charconv>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"
#include "textio/FieldSplitter.h"

namespace {

using qtx::textio::LineSource;

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
  for (std::size_t i = 0; i < channels.size(); ++i) {
    delete[] channels[i]->m_pXValues;
    delete[] channels[i]->m_pYValues;
    channels[i]->m_pXValues = arrays[2 * i].release();
    channels[i]->m_pYValues = arrays[2 * i + 1].release();
  }
}

// Reads the fields of data rows: the next field of the row and its value as
// atof gives it. Most fields are plain decimal numbers that end at a
// separator; std::from_chars then reads the number and finds the end of the
// field in one pass, with the same result as atof, which would stop at the
// same place. Anything else (a sign '+', white space, hex, inf and nan, a
// value out of range, text after the number, a locale whose decimal point is
// not '.') takes the general path: the field found first, then converted.
class FieldReader {
 public:
  explicit FieldReader(std::string_view separator) : m_separator(separator) {}

  // Returns false, with `value` untouched, when the row has no further field.
  bool Next(std::string_view line, std::size_t& pos, double& value) const {
    if (m_fast) {
      const char separator = m_separator[0];
      const char* p = line.data() + pos;
      const char* const end = line.data() + line.size();
      while (p != end && *p == separator) ++p;  // the run of separators before the field
      if (p == end) {
        pos = line.size();
        return false;
      }
      if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '.') {
        double number;
        const auto result = std::from_chars(p, end, number);
        if (result.ec == std::errc() && (result.ptr == end || *result.ptr == separator)) {
          pos = static_cast<std::size_t>(result.ptr - line.data());
          value = number;
          return true;
        }
      }
    }
    return NextInGeneral(line, pos, value);
  }

 private:
  bool NextInGeneral(std::string_view line, std::size_t& pos, double& value) const {
    std::string_view field;
    if (!qtx::textio::NextField(line, m_separator, pos, field)) return false;
    value = m_atof(field);
    return true;
  }

  std::string_view m_separator;
  qtx::textio::DecimalConverter m_atof;
  // The fast path stands for atof only with a '.' decimal point, and for
  // one separator character that is no part of any number.
  bool m_fast = m_atof(std::string_view("0.5")) == 0.5 && m_separator.size() == 1 &&
                m_separator.find_first_of("0123456789+-.eEpPxX") == std::string_view::npos;
};

// Reads one row's fields into entry r of the selected channels, in X-column
// mode kMode; fixing the mode at compile time keeps its test out of the loop
// over the channels.
template <int kMode, class Targets>
void ReadRow(std::string_view line, const FieldReader& fields, const Targets& targets, std::uint32_t r) {
  std::size_t pos = 0;
  double sharedX = 0.0;
  if (kMode == 1) fields.Next(line, pos, sharedX);
  for (const auto& target : targets) {
    double x = 0.0;
    if (kMode == 0) {
      const double step = static_cast<double>(r) * target.deltaX;
      x = target.x0 + step;
    } else if (kMode == 1) {
      x = sharedX;
    } else if (kMode == 2) {
      fields.Next(line, pos, x);
    }  // any other mode: no X field, X stays 0
    // The Y field is taken for every channel, so that the fields of later
    // channels are found in their places.
    double y = 0.0;
    fields.Next(line, pos, y);
    if (target.selected) {
      target.x[r] = x;
      target.y[r] = y;
    }
  }
}

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
  const int mode = m_nXColumns;
  CString spill;  // a line that does not lie whole in the buffer
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

  bool endOfFile = false;
  while (!endOfFile) {
    std::string_view line;
    if (!source.ReadLine(line, spill)) {
      endOfFile = true;
    } else {
      switch (mode) {
        case 0: ReadRow<0>(line, fields, targets, r); break;
        case 1: ReadRow<1>(line, fields, targets, r); break;
        case 2: ReadRow<2>(line, fields, targets, r); break;
        default: ReadRow<-1>(line, fields, targets, r); break;
      }
    }
    // The pass that meets the end of the file counts as a line too.
    ++r;
    ++nLine;
    if (r >= nRows) break;
  }
  if (endOfFile) --r;  // that pass stored nothing
  return true;
}
