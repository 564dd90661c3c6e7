// Reads of a range of a section's rows, from the row marks the scan noted,
// and the lookup of the rows whose X lies between two bounds.
#include <algorithm>
#include <cstring>
#include <limits>
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

// Finds, for X-column mode One, the first row whose X passes a bound, with
// one-row reads at the row marks and one read of the stretch between two.
class SharedXSearch {
 public:
  SharedXSearch(const CQTXGeneral& qtx, CStdioFile* pFile, const CQTXSection& section, std::uint32_t nHeld)
      : m_qtx(qtx), m_pFile(pFile), m_section(section), m_nHeld(nHeld) {
    m_points.push_back(0);
    for (std::ptrdiff_t i = 0; i < section.m_arrRowMarks.GetSize(); ++i) {
      const std::uint32_t row = section.m_arrRowMarks.GetAt(i).nRow;
      if (row < nHeld) m_points.push_back(row);
    }
  }

  bool decreases = false;

  // The first row whose X is at least `bound` (above it when `strict`), or
  // the rows held when there is none.
  std::uint32_t FirstPassing(double bound, bool strict) {
    const auto passes = [&](double x) { return strict ? x > bound : x >= bound; };
    // The first mark that passes; what passes and what fails must keep the
    // order of their rows, or X decreases somewhere.
    std::size_t lo = 0, hi = m_points.size();
    double failing = -std::numeric_limits<double>::infinity(), passing = std::numeric_limits<double>::infinity();
    while (lo < hi && !decreases) {
      const std::size_t mid = lo + (hi - lo) / 2;
      double x;
      if (!XAt(m_points[mid], x)) {
        hi = mid;
        continue;
      }
      if (passes(x)) {
        if (x > passing) decreases = true;
        passing = x;
        hi = mid;
      } else {
        if (x < failing || x != x) decreases = true;
        failing = x;
        lo = mid + 1;
      }
    }
    if (decreases || lo == 0) return 0;
    // The stretch from the last failing mark to the next one holds the row.
    const std::uint32_t from = m_points[lo - 1];
    const std::uint32_t to = lo < m_points.size() ? m_points[lo] : m_nHeld;
    m_block.resize(to - from);
    const QTXChannelTarget target{0, m_block.data(), nullptr};
    const QTXRowsRead read = m_qtx.QTX_ReadRows(m_pFile, &m_section, from, to - from, &target, 1);
    // The whole stretch was read, so all of it is looked at.
    for (std::uint32_t i = 1; i < read.nRows; ++i) {
      if (!(m_block[i] >= m_block[i - 1])) {
        decreases = true;
        return 0;
      }
    }
    for (std::uint32_t i = 0; i < read.nRows; ++i)
      if (passes(m_block[i])) return from + i;
    return read.nRows < to - from ? from + read.nRows : to;
  }

 private:
  bool XAt(std::uint32_t row, double& x) {
    const QTXChannelTarget target{0, &x, nullptr};
    return m_qtx.QTX_ReadRows(m_pFile, &m_section, row, 1, &target, 1).nRows == 1;
  }

  const CQTXGeneral& m_qtx;
  CStdioFile* m_pFile;
  const CQTXSection& m_section;
  std::uint32_t m_nHeld;
  std::vector<std::uint32_t> m_points;  // row 0 and the marked rows
  std::vector<double> m_block;
};

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
  SharedXSearch search(*this, pFile, section, held);
  const std::uint32_t begin = search.FirstPassing(dLow, false);
  const std::uint32_t end = search.decreases ? 0 : search.FirstPassing(dHigh, true);
  if (search.decreases) return QTX_ROWS_X_DECREASES;
  if (end > begin) nFirst = begin, nCount = end - begin;
  return QTX_ROWS_FOUND;
}
