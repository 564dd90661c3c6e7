// The data reader and the whole-file scan.
//
// The scan reads every line of a file once: headers through the header
// readers, data rows only as far as to find where the next section begins.
// Numbers are parsed later and only on request, one section per call,
// straight from the position the scan recorded.
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>
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
// A whole section (kRange false) fills every array from entry 0; a range
// stores row r at entry r - base, where base is its first row, and may leave
// out X or Y.
template <int kMode, bool kRange>
void ReadRow(RowText& row, const FieldReader& fields, const std::vector<RowTarget>& targets,
             std::uint32_t r, std::uint32_t base) {
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
bool ReadRowsInMode(int nMode, LineSource& source, const FieldReader& fields, const std::vector<RowTarget>& targets,
                    std::uint32_t& r, std::uint32_t nRows, std::uint32_t& nLine, std::uint32_t base) {
  switch (nMode) {
    case 0: return ReadRows<0, true>(source, fields, targets, r, nRows, nLine, base);
    case 1: return ReadRows<1, true>(source, fields, targets, r, nRows, nLine, base);
    case 2: return ReadRows<2, true>(source, fields, targets, r, nRows, nLine, base);
    default: return ReadRows<-1, true>(source, fields, targets, r, nRows, nLine, base);
  }
}

// The scan's pass over a section's rows: counts the rows the file holds and
// notes a row mark every QTX_ROW_MARK_SPACING bytes. The source stands at
// the first row.
void SkipRowsAndMark(LineSource& source, CQTXSection& section, std::uint32_t& nLine) {
  const std::uint32_t nRows = section.RowCount();
  std::uint64_t nextMark = section.m_nDataPosition + QTX_ROW_MARK_SPACING;
  std::uint32_t r = 0;
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
      continue;
    }
    // A line longer than what the buffer holds, or the end of the file.
    const std::uint64_t position = source.Position();
    if (position >= nextMark) {
      section.m_arrRowMarks.Add(QTXRowMark{r, position});
      nextMark = position + QTX_ROW_MARK_SPACING;
    }
    if (!source.SkipLine()) break;
    ++r;
    ++nLine;
  }
  section.m_nRowsInFile = r;
  section.m_bRowsCounted = true;
}

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

// A thread's share of a parallel read: rows [first, end) into arrays that
// begin at row `base`.
struct RangeShare {
  std::uint32_t first;
  std::uint32_t end;
  std::uint32_t stored = 0;
  std::exception_ptr failure;
};

}  // namespace

std::uint32_t CQTXSection::RowCount() const {
  std::uint32_t rows = 0;
  for (int j = 0; j < m_nChannels; ++j) rows = std::max(rows, m_arrChannels.GetAt(j)->m_nSamples);
  return rows;
}

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

// Reads rows [first, first + count) of a section in shares of rows, one per
// thread, the first on the caller's thread. `open(i, own)` gives share i its
// line source: one of its own, kept in `own`, or the caller's for share 0.
template <class Open>
QTXRowsRead ReadInShares(const CQTXSection& section, int nMode, std::string_view separator,
                         const QTXChannelTarget* pTargets, std::size_t nTargets, std::uint32_t nFirst,
                         std::uint32_t nCount, unsigned nThreads, const Open& open) {
  const std::vector<RowTarget> targets = RangeTargets(section, pTargets, nTargets);
  const std::uint32_t end = RangeEnd(section, nFirst, nCount);
  if (nThreads == 0) nThreads = std::max(1u, std::thread::hardware_concurrency());
  // A thread gets at least a few row marks' worth of rows; fewer would cost
  // more in starting it than it saves.
  constexpr std::uint32_t kMinRowsPerThread = 4096;
  const std::uint32_t rows = end > nFirst ? end - nFirst : 0;
  nThreads = static_cast<unsigned>(std::min<std::uint64_t>(nThreads, std::max<std::uint32_t>(1, rows / kMinRowsPerThread)));

  std::vector<RangeShare> shares;
  for (unsigned i = 0; i < nThreads; ++i) {
    const auto at = [&](unsigned k) {
      return static_cast<std::uint32_t>(nFirst + std::uint64_t{rows} * k / nThreads);
    };
    shares.push_back({at(i), at(i + 1), 0, nullptr});
  }
  const auto work = [&](std::size_t i) {
    RangeShare& share = shares[i];
    try {
      std::unique_ptr<LineSource> own;
      LineSource& source = open(i, own);
      // Each thread writes its own rows of the caller's arrays.
      std::vector<RowTarget> slice = targets;
      for (RowTarget& target : slice) {
        if (!target.selected) continue;
        const std::size_t offset = share.first - nFirst;
        if (target.x) target.x += offset;
        if (target.y) target.y += offset;
      }
      share.stored = ReadRange(source, section, nMode, separator, slice, share.first, share.end, share.first);
    } catch (...) {
      share.failure = std::current_exception();
    }
  };
  {
    std::vector<std::thread> threads;
    threads.reserve(shares.size());
    struct Joiner {
      std::vector<std::thread>& threads;
      ~Joiner() {
        for (std::thread& thread : threads) thread.join();
      }
    } joiner{threads};
    for (std::size_t i = 1; i < shares.size(); ++i) threads.emplace_back(work, i);
    work(0);
  }
  for (const RangeShare& share : shares) {
    if (share.failure) std::rethrow_exception(share.failure);
  }
  // The rows stored run from the first row to the first share that the file
  // cut short.
  std::uint32_t stored = 0;
  for (const RangeShare& share : shares) {
    stored += share.stored;
    if (share.stored < share.end - share.first) break;
  }
  return {stored, nCount - stored};
}

}  // namespace

QTXRowsRead CQTXGeneral::QTX_ReadRowsParallel(CStdioFile* pFile, const CQTXSection* pSection, std::uint32_t nFirst,
                                              std::uint32_t nCount, const QTXChannelTarget* pTargets,
                                              std::size_t nTargets, unsigned nThreads) const {
  if (!pFile || !pSection) AfxThrowInvalidArgException();
  LineSource& caller = CStdioFileAccess::Source(*pFile);
  if (!caller.IsOpen()) throw CFileException(CFileException::invalidFile, qtx::platform::kBadFileError);
  return ReadInShares(*pSection, m_nXColumns, m_strSeparator.View(), pTargets, nTargets, nFirst, nCount, nThreads,
                      [&](std::size_t i, std::unique_ptr<LineSource>& own) -> LineSource& {
                        if (i == 0) return caller;
                        // A handle of its own on the same open file: the
                        // file the caller scanned, even where its path now
                        // names another.
                        qtx::platform::FileError error;
                        const qtx::platform::NativeFile copy = qtx::platform::DuplicateFile(caller.Native(), error);
                        if (copy == qtx::platform::kNoFile)
                          throw CFileException(error.cause, error.osError, caller.Name().c_str());
                        own = std::make_unique<LineSource>();
                        own->Attach(copy, caller.Name().c_str());
                        return *own;
                      });
}

QTXRowsRead CQTXGeneral::QTX_ReadRowsParallel(const CString& path, const CQTXSection* pSection,
                                              std::uint32_t nFirst, std::uint32_t nCount,
                                              const QTXChannelTarget* pTargets, std::size_t nTargets,
                                              unsigned nThreads) const {
  if (!pSection) AfxThrowInvalidArgException();
  return ReadInShares(*pSection, m_nXColumns, m_strSeparator.View(), pTargets, nTargets, nFirst, nCount, nThreads,
                      [&](std::size_t, std::unique_ptr<LineSource>& own) -> LineSource& {
                        qtx::platform::FileError error;
                        const qtx::platform::NativeFile file = qtx::platform::OpenForReading(
                            path.GetString(), CFile::shareDenyWrite, error);
                        if (file == qtx::platform::kNoFile) throw CFileException(error.cause, error.osError, path);
                        own = std::make_unique<LineSource>();
                        own->Attach(file, path.GetString());
                        return *own;
                      });
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
    SkipRowsAndMark(CStdioFileAccess::Source(file), *pSection, nLine);
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
