// Reads of a range of a section's rows, from the row marks the scan noted,
// and the lookup of the rows whose X lies between two bounds.
#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "reader/RowReader.h"

namespace qtx::reader {

// The row targets of a range read, one per channel of the section in row
// order; the channels asked for are selected. Throws CInvalidArgException
// for a channel out of range or asked for twice.
std::vector<RowTarget> RangeTargets(const CQTXSection& section, const QTXChannelTarget* pTargets,
                                    std::size_t nTargets) {
  std::vector<RowTarget> targets;
  const int nChannels = std::max(section.m_nChannels, 0);
  targets.reserve(static_cast<std::size_t>(nChannels));
  for (int j = 0; j < nChannels; ++j) targets.push_back({section.m_arrChannels.GetAt(j), false});
  if (nTargets > 0 && !pTargets) AfxThrowInvalidArgException();
  for (std::size_t i = 0; i < nTargets; ++i) {
    const QTXChannelTarget& wanted = pTargets[i];
    if (wanted.nChannel < 0 || wanted.nChannel >= nChannels) AfxThrowInvalidArgException();
    RowTarget& target = targets[static_cast<std::size_t>(wanted.nChannel)];
    if (target.selected) AfxThrowInvalidArgException();
    target.selected = true;
    target.x = wanted.pX;
    target.y = wanted.pY;
    target.x0 = target.channel->m_dX0;
    target.deltaX = target.channel->m_dDeltaX;
  }
  return targets;
}

// Rows [first, end) of a section that the file may hold: the row count
// bounds them, and for a scanned section the rows the scan met.
std::uint32_t RangeEnd(const CQTXSection& section, std::uint32_t first, std::uint32_t count) {
  std::uint64_t end = std::uint64_t{first} + count;
  end = std::min<std::uint64_t>(end, section.RowCount());
  if (section.m_bRowsCounted) end = std::min<std::uint64_t>(end, section.m_nRowsInFile);
  return static_cast<std::uint32_t>(std::max<std::uint64_t>(end, first));
}

// Reads rows [first, end) into targets whose arrays begin at row `base`.
// Returns the rows stored: fewer when the file ends first.
std::uint32_t ReadRange(LineSource& source, const CQTXSection& section, int nMode, std::string_view separator,
                        const std::vector<RowTarget>& targets, std::uint32_t first, std::uint32_t end,
                        std::uint32_t base) {
  if (first >= end) return 0;
  // The last mark at or before the first row, else the first data row.
  const CArray<QTXRowMark>& marks = section.m_arrRowMarks;
  std::ptrdiff_t lo = 0, hi = marks.GetSize();
  while (lo < hi) {
    const std::ptrdiff_t mid = lo + (hi - lo) / 2;
    if (marks.GetAt(mid).nRow <= first) lo = mid + 1; else hi = mid;
  }
  std::uint32_t r = 0;
  if (lo > 0) {
    source.Seek(marks.GetAt(lo - 1).nPosition);
    r = marks.GetAt(lo - 1).nRow;
  } else {
    source.Seek(section.m_nDataPosition);
  }
  for (; r < first; ++r)
    if (!source.SkipLine()) return 0;
  const FieldReader fields(separator);
  std::uint32_t nLine = 0;
  if (!ReadRowsInMode(nMode, source, fields, targets, r, end, nLine, base)) --r;
  return r - first;
}

}  // namespace qtx::reader

using namespace qtx::reader;

QTXRowsRead CQTXGeneral::QTX_ReadRows(CStdioFile* pFile, const CQTXSection* pSection, std::uint32_t nFirst,
                                      std::uint32_t nCount, const QTXChannelTarget* pTargets,
                                      std::size_t nTargets) const {
  if (!pFile || !pSection) AfxThrowInvalidArgException();
  const std::vector<RowTarget> targets = RangeTargets(*pSection, pTargets, nTargets);
  const std::uint32_t end = RangeEnd(*pSection, nFirst, nCount);
  const std::uint32_t stored = ReadRange(CStdioFileAccess::Source(*pFile), *pSection, m_nXColumns,
                                         m_strSeparator.View(), targets, nFirst, end, nFirst);
  return {stored, nCount - stored};
}

namespace {

// Rows of the X column read at a time by the lookup in mode One: 8 MB.
constexpr std::uint32_t kXChunkRows = std::uint32_t{1} << 20;

}  // namespace

int CQTXGeneral::QTX_RowsBetween(CStdioFile* pFile, const CQTXSection* pSection, double dLow, double dHigh,
                                 std::uint32_t& nFirst, std::uint32_t& nCount) const {
  nFirst = nCount = 0;
  if (!pFile || !pSection) AfxThrowInvalidArgException();
  const CQTXSection& section = *pSection;
  const std::uint32_t held = section.m_bRowsCounted ? section.m_nRowsInFile : section.RowCount();
  if (section.m_nChannels <= 0) return QTX_ROWS_NO_SHARED_X;
  if (m_nXColumns == 0) {
    const CQTXChannel& first = *section.m_arrChannels.GetAt(0);
    for (int j = 1; j < section.m_nChannels; ++j) {
      const CQTXChannel& channel = *section.m_arrChannels.GetAt(j);
      if (std::memcmp(&channel.m_dX0, &first.m_dX0, sizeof(double)) != 0 ||
          std::memcmp(&channel.m_dDeltaX, &first.m_dDeltaX, sizeof(double)) != 0)
        return QTX_ROWS_NO_SHARED_X;
    }
    const double x0 = first.m_dX0, deltaX = first.m_dDeltaX;
    if (held > 1 && !(deltaX >= 0.0)) return QTX_ROWS_X_DECREASES;
    // X as the data reader computes it, which rounding keeps non-decreasing
    // in r: the first row past a bound by bisection.
    const auto firstPassing = [&](double bound, bool strict) {
      std::uint32_t lo = 0, hi = held;
      while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        const double step = static_cast<double>(mid) * deltaX;
        const double x = x0 + step;
        if (strict ? x > bound : x >= bound) hi = mid; else lo = mid + 1;
      }
      return lo;
    };
    if (dLow != dLow || dHigh != dHigh) return QTX_ROWS_FOUND;
    const std::uint32_t begin = firstPassing(dLow, false), end = firstPassing(dHigh, true);
    if (end > begin) nFirst = begin, nCount = end - begin;
    return QTX_ROWS_FOUND;
  }
  if (m_nXColumns != 1) return QTX_ROWS_NO_SHARED_X;
  if (dLow != dLow || dHigh != dHigh || held == 0) return QTX_ROWS_FOUND;
  // The answer is a range only if X rises over every row: a row before it
  // could pass the low bound, or one after it fall below the high one. So
  // every X the file holds is read and checked, a chunk at a time: the row
  // marks tell nothing of the X between them.
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<double> block(std::min(held, kXChunkRows));
  double previous = -std::numeric_limits<double>::infinity();
  std::uint32_t begin = held, end = held;
  for (std::uint32_t from = 0; from < held;) {
    const std::uint32_t rows = std::min(held - from, kXChunkRows);
    const QTXChannelTarget target{0, block.data(), nullptr};
    const QTXRowsRead read = QTX_ReadRowsParallel(pFile, &section, from, rows, &target, 1, threads);
    for (std::uint32_t i = 0; i < read.nRows; ++i) {
      const double x = block[i];
      if (!(x >= previous)) return QTX_ROWS_X_DECREASES;  // a NaN rises no more than a smaller X
      previous = x;
      if (begin == held && x >= dLow) begin = from + i;
      if (end == held && x > dHigh) end = from + i;
    }
    from += read.nRows;
    if (read.nRows < rows) {
      // The file ended first: the rows it holds are all there are.
      begin = std::min(begin, from);
      end = std::min(end, from);
      break;
    }
  }
  if (end > begin) nFirst = begin, nCount = end - begin;
  return QTX_ROWS_FOUND;
}
