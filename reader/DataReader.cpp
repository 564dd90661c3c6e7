// The whole-file scan and the read of a whole section.
//
// The scan reads every line of a file once: headers through the header
// readers, data rows only as far as to find where the next section begins,
// noting row marks on the way. Numbers are parsed later and only on request,
// one section per call, straight from the position the scan recorded.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "reader/RowReader.h"
#include "reader/Scan.h"

using namespace qtx::reader;

namespace {

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

}  // namespace

namespace qtx::reader {

std::uint64_t SkipRowsAndMark(LineSource& source, CQTXSection& section, std::uint32_t& nLine,
                              bool holdBackUnended) {
  const std::uint32_t nRows = section.RowCount();
  // A section counted before goes on from its first row not counted, the
  // marks from its last one, so that the marks come out as one pass makes
  // them.
  std::uint32_t r = section.m_bRowsCounted ? section.m_nRowsInFile : 0;
  const std::ptrdiff_t nMarks = section.m_arrRowMarks.GetSize();
  std::uint64_t nextMark =
      (nMarks > 0 ? section.m_arrRowMarks.GetAt(nMarks - 1).nPosition : section.m_nDataPosition) +
      QTX_ROW_MARK_SPACING;
  bool lastCut = false;  // the last line counted had no line end
  std::uint64_t lastStart = source.Position();  // where that line began
  while (r < nRows) {
    // The lines that lie whole in the buffer, passed over in one loop.
    const std::string_view lines = source.BufferedLines();
    if (!lines.empty()) {
      const char* const start = lines.data();
      const char* const end = start + lines.size();
      const std::uint64_t base = source.Position();
      const char* p = start;
      while (p != end && r < nRows) {
        if (base + static_cast<std::uint64_t>(p - start) >= nextMark) {
          const std::uint64_t position = base + static_cast<std::uint64_t>(p - start);
          section.m_arrRowMarks.Add(QTXRowMark{r, position});
          nextMark = position + QTX_ROW_MARK_SPACING;
        }
        // The run ends in a line end, so one is always found.
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))) + 1;
        ++r;
        ++nLine;
      }
      source.Consume(static_cast<std::size_t>(p - start));
      lastCut = false;
      continue;
    }
    // A line longer than what the buffer holds, or the end of the file.
    const std::uint64_t position = source.Position();
    if (position >= nextMark) {
      section.m_arrRowMarks.Add(QTXRowMark{r, position});
      nextMark = position + QTX_ROW_MARK_SPACING;
    }
    if (!source.SkipLine()) break;
    lastCut = !source.LastLineEnded();
    lastStart = position;
    ++r;
    ++nLine;
  }
  // A file that ends short of the row count in a line without a line end
  // was cut off while that row was being written: it is no row. A follower
  // holds back also a last row without its line end, which may still grow.
  section.m_bLastLineCutOff = (r < nRows || holdBackUnended) && lastCut;
  if (section.m_bLastLineCutOff) --r;
  section.m_nRowsInFile = r;
  section.m_bRowsCounted = true;
  return section.m_bLastLineCutOff ? lastStart : source.Position();
}

}  // namespace qtx::reader

std::uint32_t CQTXSection::RowCount() const {
  std::uint32_t rows = 0;
  for (int j = 0; j < m_nChannels; ++j) rows = std::max(rows, m_arrChannels.GetAt(j)->m_nSamples);
  return rows;
}

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
    SkipRowsAndMark(CStdioFileAccess::Source(file), *pSection, nLine, false);
  }
  file.Close();
  return true;
}

bool CQTXGeneral::QTX_ReadData(std::uint32_t& nLine, CStdioFile* pFile, CQTXSection* pSection, int readValues,
                               int channel) {
  LineSource& source = CStdioFileAccess::Source(*pFile);
  source.Seek(pSection->m_nDataPosition);
  const std::uint32_t nRows = pSection->RowCount();

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
