// The index file beside a data file, and the refresh of a file that grows.
//
// The index holds what the scan learns and nothing the file itself holds:
// where each section header starts, where its rows start, how many rows the
// file holds and the row marks, and where the scan ended. Opening with it
// reads the main header and each section header at its place through the
// header readers, so that the object is the one a scan builds, and takes the
// rows and marks from the index. Nothing the index claims is believed before
// it was checked against the file: its checksum, the data file's size, a hash
// of the main header's bytes and of the last bytes indexed, a few sampled
// row marks, and each section header ending where the index says.
//
// Layout, little-endian, every field fixed in size:
//   magic "QTXINDEX"                  8
//   format version, 0                 4 + 4
//   data file size, modified time     8 + 8
//   main header end, its lines, 0     8 + 4 + 4
//   main header hash                  8
//   tail start, tail hash             8 + 8    (the bytes [tail start, size))
//   resume position, line, in rows, 0 8 + 4 + 4
//   section count                     8
//   per section: header position 8, header line 4, data line 4, data
//     position 8, rows in file 4, last line cut off 4, mark count 8, and
//     per mark row 4, 0 4, position 8
//   FNV-1a 64 of every byte before it 8
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "reader/Scan.h"

using qtx::textio::LineSource;
namespace platform = qtx::platform;

namespace {

constexpr char kMagic[8] = {'Q', 'T', 'X', 'I', 'N', 'D', 'E', 'X'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kTailBytes = std::uint64_t{1} << 16;
constexpr std::size_t kFixedBytes = 8 + 8 + 16 + 16 + 8 + 16 + 16 + 8;
constexpr std::size_t kSectionBytes = 40;
constexpr std::size_t kMarkBytes = 16;
constexpr int kSampledMarks = 16;

struct HeaderPlace {
  std::uint64_t position;
  std::uint32_t line;
};

struct ScanState final : QTXScanState {
  platform::FileStamp stamp;        // of the file at the last look
  std::uint64_t mainHeaderEnd = 0;  // position and line counter after the main header
  std::uint32_t mainHeaderLines = 0;
  std::uint64_t headerHash = 0;
  std::uint64_t tailStart = 0;
  std::uint64_t tailHash = 0;
  std::uint64_t resumePosition = 0;  // where the next look goes on
  std::uint32_t resumeLine = 0;
  bool inRows = false;               // ... within the last section's rows
  bool inSpecialAtResume = false;    // the header reader's block state there
  bool replaced = false;
  std::vector<HeaderPlace> headers;  // one per section
};

// Everything the index says, as read from the index file.
struct SectionEntry {
  HeaderPlace header;
  std::uint32_t dataLine;
  std::uint64_t dataPosition;
  std::uint32_t rowsInFile;
  bool cutOff;
  std::vector<QTXRowMark> marks;
};

struct IndexData {
  platform::FileStamp stamp;
  std::uint64_t mainHeaderEnd, headerHash, tailStart, tailHash, resumePosition;
  std::uint32_t mainHeaderLines, resumeLine;
  bool inRows;
  std::vector<SectionEntry> sections;
};

class Fnv {
 public:
  void Add(const char* p, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
      m_hash ^= static_cast<unsigned char>(p[i]);
      m_hash *= 1099511628211ULL;
    }
  }
  std::uint64_t Value() const noexcept { return m_hash; }

 private:
  std::uint64_t m_hash = 14695981039346656037ULL;
};

// Hash of the bytes [from, to) of an open file; false when they cannot all
// be read (the file is shorter).
bool HashRange(platform::NativeFile file, std::uint64_t from, std::uint64_t to, std::uint64_t& hash) {
  Fnv fnv;
  std::vector<char> buffer(std::size_t{1} << 16);
  platform::FileError error;
  while (from < to) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
    const std::ptrdiff_t got = platform::ReadAt(file, from, buffer.data(), want, error);
    if (got <= 0) return false;
    fnv.Add(buffer.data(), static_cast<std::size_t>(got));
    from += static_cast<std::uint64_t>(got);
  }
  hash = fnv.Value();
  return true;
}

// The line ends in [from, to).
std::uint64_t CountLineEnds(platform::NativeFile file, std::uint64_t from, std::uint64_t to) {
  std::vector<char> buffer(std::size_t{1} << 16);
  platform::FileError error;
  std::uint64_t count = 0;
  while (from < to) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
    const std::ptrdiff_t got = platform::ReadAt(file, from, buffer.data(), want, error);
    if (got <= 0) break;
    count += static_cast<std::uint64_t>(std::count(buffer.data(), buffer.data() + got, '\n'));
    from += static_cast<std::uint64_t>(got);
  }
  return count;
}

bool ByteBeforeEndsLine(platform::NativeFile file, std::uint64_t position) {
  if (position == 0) return false;
  char byte = 0;
  platform::FileError error;
  return platform::ReadAt(file, position - 1, &byte, 1, error) == 1 && byte == '\n';
}

// The tail hash of a file of `size` bytes.
bool HashTail(platform::NativeFile file, std::uint64_t size, std::uint64_t& start, std::uint64_t& hash) {
  start = size > kTailBytes ? size - kTailBytes : 0;
  return HashRange(file, start, size, hash);
}

// --- the index file ---------------------------------------------------------

class Writer {
 public:
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void Raw(const char* p, std::size_t n) { m_bytes.insert(m_bytes.end(), p, p + n); }
  std::vector<char>& Bytes() { return m_bytes; }

 private:
  std::vector<char> m_bytes;
};

class Reader {
 public:
  Reader(const char* p, std::size_t n) : m_p(p), m_n(n) {}
  bool U32(std::uint32_t& v) {
    if (m_n - m_at < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<unsigned char>(m_p[m_at + i])} << (8 * i);
    m_at += 4;
    return true;
  }
  bool U64(std::uint64_t& v) {
    if (m_n - m_at < 8) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{static_cast<unsigned char>(m_p[m_at + i])} << (8 * i);
    m_at += 8;
    return true;
  }
  std::size_t Left() const { return m_n - m_at; }

 private:
  const char* m_p;
  std::size_t m_n;
  std::size_t m_at = 0;
};

std::vector<char> Serialize(const ScanState& state, const CQTXGeneral& qtx) {
  Writer w;
  w.Raw(kMagic, sizeof kMagic);
  w.U32(kVersion);
  w.U32(0);
  w.U64(state.stamp.size);
  w.U64(static_cast<std::uint64_t>(state.stamp.modified));
  w.U64(state.mainHeaderEnd);
  w.U32(state.mainHeaderLines);
  w.U32(0);
  w.U64(state.headerHash);
  w.U64(state.tailStart);
  w.U64(state.tailHash);
  w.U64(state.resumePosition);
  w.U32(state.resumeLine);
  w.U32(state.inRows ? 1 : 0);
  w.U64(state.headers.size());
  for (std::size_t i = 0; i < state.headers.size(); ++i) {
    const CQTXSection& s = *qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(i));
    w.U64(state.headers[i].position);
    w.U32(state.headers[i].line);
    w.U32(s.m_nDataLine);
    w.U64(s.m_nDataPosition);
    w.U32(s.m_nRowsInFile);
    w.U32(s.m_bLastLineCutOff ? 1 : 0);
    w.U64(static_cast<std::uint64_t>(s.m_arrRowMarks.GetSize()));
    for (std::ptrdiff_t m = 0; m < s.m_arrRowMarks.GetSize(); ++m) {
      w.U32(s.m_arrRowMarks.GetAt(m).nRow);
      w.U32(0);
      w.U64(s.m_arrRowMarks.GetAt(m).nPosition);
    }
  }
  Fnv fnv;
  fnv.Add(w.Bytes().data(), w.Bytes().size());
  w.U64(fnv.Value());
  return std::move(w.Bytes());
}

// Parses index bytes; every count is bounded by the bytes that remain, so
// nothing is allocated by what the index claims. False: corrupt.
bool Parse(const std::vector<char>& bytes, IndexData& out, std::string& why) {
  if (bytes.size() < kFixedBytes + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    why = "is no index file";
    return false;
  }
  Fnv fnv;
  fnv.Add(bytes.data(), bytes.size() - 8);
  Reader check(bytes.data() + bytes.size() - 8, 8);
  std::uint64_t sum = 0;
  check.U64(sum);
  Reader r(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic - 8);
  std::uint32_t version = 0, pad = 0, flag = 0;
  r.U32(version);
  if (version != kVersion) {
    why = "has format version " + std::to_string(version) + ", this library reads " + std::to_string(kVersion);
    return false;
  }
  if (sum != fnv.Value()) {
    why = "fails its checksum";
    return false;
  }
  std::uint64_t modified = 0, count = 0;
  r.U32(pad);
  r.U64(out.stamp.size);
  r.U64(modified);
  out.stamp.modified = static_cast<std::int64_t>(modified);
  r.U64(out.mainHeaderEnd);
  r.U32(out.mainHeaderLines);
  r.U32(pad);
  r.U64(out.headerHash);
  r.U64(out.tailStart);
  r.U64(out.tailHash);
  r.U64(out.resumePosition);
  r.U32(out.resumeLine);
  r.U32(flag);
  out.inRows = flag != 0;
  if (!r.U64(count) || count > r.Left() / kSectionBytes) {
    why = "claims more sections than it holds";
    return false;
  }
  out.sections.resize(static_cast<std::size_t>(count));
  for (SectionEntry& s : out.sections) {
    std::uint64_t marks = 0;
    r.U64(s.header.position);
    r.U32(s.header.line);
    r.U32(s.dataLine);
    r.U64(s.dataPosition);
    r.U32(s.rowsInFile);
    r.U32(flag);
    s.cutOff = flag != 0;
    if (!r.U64(marks) || marks > r.Left() / kMarkBytes) {
      why = "claims more row marks than it holds";
      return false;
    }
    s.marks.resize(static_cast<std::size_t>(marks));
    for (QTXRowMark& m : s.marks) {
      r.U32(m.nRow);
      r.U32(pad);
      r.U64(m.nPosition);
    }
  }
  if (r.Left() != 0) {
    why = "has bytes after its last section";
    return false;
  }
  return true;
}

// The order that a scan gives: positions within the file and ascending, row
// marks ascending and within the rows counted.
bool Consistent(const IndexData& index, std::string& why) {
  why = "does not describe a scan";
  const std::uint64_t size = index.stamp.size;
  if (index.mainHeaderEnd > size || index.resumePosition > size || index.tailStart > size) return false;
  std::uint64_t position = index.mainHeaderEnd;
  for (std::size_t i = 0; i < index.sections.size(); ++i) {
    const SectionEntry& s = index.sections[i];
    if (s.header.position < position || s.dataPosition < s.header.position || s.dataPosition > size) return false;
    if (s.dataLine < s.header.line) return false;
    std::uint64_t markPosition = s.dataPosition;
    std::uint32_t markRow = 0;
    for (std::size_t m = 0; m < s.marks.size(); ++m) {
      const QTXRowMark& mark = s.marks[m];
      if ((m > 0 && mark.nRow <= markRow) || mark.nRow > s.rowsInFile || mark.nPosition < markPosition ||
          mark.nPosition > size)
        return false;
      markRow = mark.nRow;
      markPosition = mark.nPosition;
    }
    position = std::max(markPosition, s.dataPosition);
  }
  if (index.resumePosition < position) return false;
  if (index.inRows && index.sections.empty()) return false;
  return true;
}

// --- the scan, going on from a state ----------------------------------------

// Whether the section header just read ended where the counter says: every
// line the reader counted, the headings line included, has its line end.
bool HeaderComplete(const CQTXGeneral& qtx, platform::NativeFile file, std::uint64_t from, std::uint64_t to,
                    std::uint32_t lines) {
  return qtx.m_bEndOfSectionHeader && CountLineEnds(file, from, to) == lines;
}

// Goes on with the scan from the state's resume point to the end of the
// file, appending sections. holdBack: the file is being written, so a line
// without its line end, and a section header without its headings line, are
// left for a later look.
std::uint32_t Continue(CQTXGeneral& qtx, CStdioFile& file, ScanState& state, bool holdBack) {
  LineSource& source = CStdioFileAccess::Source(file);
  const platform::NativeFile native = source.Native();
  std::uint32_t nLine = state.resumeLine;
  std::uint32_t added = 0;
  source.Seek(state.resumePosition);
  if (state.inRows) {
    CQTXSection& last = *qtx.m_arrSections.GetAt(qtx.m_arrSections.GetSize() - 1);
    state.resumePosition = qtx::reader::SkipRowsAndMark(source, last, nLine, holdBack);
    state.resumeLine = last.m_nDataLine + last.m_nRowsInFile;
    state.inRows = last.m_nRowsInFile < last.RowCount();
    if (state.inRows) {
      qtx.QTX_ReadSectionHeader(nLine, &file);  // at the end of the file, as the scan does
      return added;
    }
    state.inSpecialAtResume = qtx.m_bInSpecial;
  }
  qtx.m_bInSpecial = state.inSpecialAtResume;
  for (;;) {
    const std::uint64_t start = source.Position();
    const std::uint32_t startLine = nLine;
    const bool inSpecial = qtx.m_bInSpecial;
    CQTXSection* pSection = qtx.QTX_ReadSectionHeader(nLine, &file);
    if (!pSection) break;
    if (holdBack && !HeaderComplete(qtx, native, start, source.Position(), nLine - startLine)) {
      const std::ptrdiff_t last = qtx.m_arrSections.GetSize() - 1;
      delete qtx.m_arrSections.GetAt(last);
      // The list has no removal of one element: rebuilt without the last.
      std::vector<CQTXSection*> keep;
      for (std::ptrdiff_t i = 0; i < last; ++i) keep.push_back(qtx.m_arrSections.GetAt(i));
      qtx.m_arrSections.RemoveAll();
      for (CQTXSection* p : keep) qtx.m_arrSections.Add(p);
      qtx.m_bInSpecial = inSpecial;
      break;
    }
    state.headers.push_back({start, startLine});
    pSection->m_nDataLine = nLine;
    pSection->m_nDataPosition = file.GetPosition();
    state.resumePosition = qtx::reader::SkipRowsAndMark(source, *pSection, nLine, holdBack);
    state.resumeLine = pSection->m_nDataLine + pSection->m_nRowsInFile;
    state.inRows = pSection->m_nRowsInFile < pSection->RowCount();
    state.inSpecialAtResume = qtx.m_bInSpecial;
    ++added;
    if (state.inRows) {
      qtx.QTX_ReadSectionHeader(nLine, &file);
      break;
    }
  }
  return added;
}

void Restamp(ScanState& state, platform::NativeFile native, const platform::FileStamp& stamp) {
  state.stamp = stamp;
  HashTail(native, stamp.size, state.tailStart, state.tailHash);
}

// A full scan that keeps its state; what ReadQTXFile does, or with holdBack
// what a follower takes of a file being written.
bool ScanWithState(CQTXGeneral& qtx, CStdioFile& file, ScanState& state, bool holdBack) {
  std::uint32_t nLine = 0;
  if (!qtx.QTX_ReadMainHeader(nLine, &file)) return false;
  const platform::NativeFile native = CStdioFileAccess::Source(file).Native();
  state.mainHeaderEnd = file.GetPosition();
  state.mainHeaderLines = nLine;
  HashRange(native, 0, state.mainHeaderEnd, state.headerHash);
  state.resumePosition = state.mainHeaderEnd;
  state.resumeLine = nLine;
  state.inRows = false;
  state.inSpecialAtResume = qtx.m_bInSpecial;
  Continue(qtx, file, state, holdBack);
  return true;
}

// Puts back the state of a new object, before a scan after a failed open
// through the index. Lists every member the readers set.
void Reset(CQTXGeneral& qtx) {
  for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i) delete qtx.m_arrSections.GetAt(i);
  qtx.m_arrSections.RemoveAll();
  const CQTXGeneral fresh;
  qtx.m_bQTXFile = fresh.m_bQTXFile;
  qtx.m_dReaderVersion = fresh.m_dReaderVersion;
  qtx.m_dWriterVersion = fresh.m_dWriterVersion;
  qtx.m_bEndOfHeader = fresh.m_bEndOfHeader;
  qtx.m_bEndOfSectionHeader = fresh.m_bEndOfSectionHeader;
  qtx.m_bMultiHeadings = fresh.m_bMultiHeadings;
  qtx.m_strSeparator = fresh.m_strSeparator;
  qtx.m_strSeparatorName = fresh.m_strSeparatorName;
  qtx.m_nXColumns = fresh.m_nXColumns;
  qtx.m_bInSpecial = fresh.m_bInSpecial;
  qtx.m_strDescription = fresh.m_strDescription;
  qtx.m_strDate = fresh.m_strDate;
  qtx.m_strTime = fresh.m_strTime;
  qtx.m_strTimePref = fresh.m_strTimePref;
}

bool ReadIndexFile(const std::string& path, std::uint64_t dataSize, std::vector<char>& bytes, QTXIndexUse& use) {
  std::error_code code;
  if (!std::filesystem::exists(path, code)) {
    use.nNotice = QTX_INDEX_MISSING;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  const std::uint64_t size = std::filesystem::file_size(path, code);
  // An index is a small part of its file: one that is not is no index.
  const std::uint64_t limit = 4096 + 4 * dataSize;
  if (!in || code) {
    use.nNotice = QTX_INDEX_UNREADABLE;
    use.strText = CString((path + ": cannot be read; the file was scanned").c_str());
    return false;
  }
  if (size > limit) {
    use.nNotice = QTX_INDEX_CORRUPT;
    use.strText = CString((path + ": is larger than an index of its file can be; the file was scanned").c_str());
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uint64_t>(in.gcount()) != size) {
    use.nNotice = QTX_INDEX_UNREADABLE;
    use.strText = CString((path + ": cannot be read; the file was scanned").c_str());
    return false;
  }
  return true;
}

// Builds the object from a checked index. False: the file disagrees with it
// (the object then holds a part and must be reset).
bool BuildFromIndex(CQTXGeneral& qtx, CStdioFile& file, const IndexData& index, ScanState& state) {
  LineSource& source = CStdioFileAccess::Source(file);
  std::uint32_t nLine = 0;
  if (!qtx.QTX_ReadMainHeader(nLine, &file)) return false;
  if (file.GetPosition() != index.mainHeaderEnd || nLine != index.mainHeaderLines) return false;
  for (std::size_t i = 0; i < index.sections.size(); ++i) {
    const SectionEntry& entry = index.sections[i];
    source.Seek(entry.header.position);
    nLine = entry.header.line;
    CQTXSection* pSection = qtx.QTX_ReadSectionHeader(nLine, &file);
    if (!pSection || nLine != entry.dataLine || file.GetPosition() != entry.dataPosition) return false;
    const std::uint32_t rows = pSection->RowCount();
    const bool last = i + 1 == index.sections.size();
    // Only the last section can end short of its rows: the file ends there.
    if (entry.rowsInFile > rows || (entry.rowsInFile < rows && !(last && index.inRows)) ||
        (entry.cutOff && entry.rowsInFile >= rows))
      return false;
    if (last && !index.inRows && entry.rowsInFile != rows) return false;
    pSection->m_nDataLine = entry.dataLine;
    pSection->m_nDataPosition = entry.dataPosition;
    pSection->m_nRowsInFile = entry.rowsInFile;
    pSection->m_bLastLineCutOff = entry.cutOff;
    pSection->m_bRowsCounted = true;
    for (const QTXRowMark& mark : entry.marks) pSection->m_arrRowMarks.Add(mark);
    state.headers.push_back(entry.header);
    if (last && index.resumeLine != entry.dataLine + entry.rowsInFile) return false;
  }
  if (index.sections.empty() && (index.resumePosition != index.mainHeaderEnd || index.resumeLine != nLine))
    return false;
  state.mainHeaderEnd = index.mainHeaderEnd;
  state.mainHeaderLines = index.mainHeaderLines;
  state.headerHash = index.headerHash;
  state.resumePosition = index.resumePosition;
  state.resumeLine = index.resumeLine;
  state.inRows = index.inRows;
  state.inSpecialAtResume = qtx.m_bInSpecial;
  Continue(qtx, file, state, false);
  return true;
}

// The checks against the data file that come before anything is built.
int CheckAgainstFile(const IndexData& index, platform::NativeFile native, const platform::FileStamp& stamp,
                     std::string& why) {
  std::uint64_t hash = 0;
  if (stamp.size < index.stamp.size) {
    why = "the file is shorter than when it was indexed";
    return QTX_INDEX_STALE;
  }
  if (!HashRange(native, 0, index.mainHeaderEnd, hash) || hash != index.headerHash) {
    why = "the file's main header changed since it was indexed";
    return QTX_INDEX_STALE;
  }
  const std::uint64_t wantStart = index.stamp.size > kTailBytes ? index.stamp.size - kTailBytes : 0;
  if (index.tailStart != wantStart || !HashRange(native, index.tailStart, index.stamp.size, hash) ||
      hash != index.tailHash) {
    why = "the file's last indexed bytes changed since it was indexed";
    return QTX_INDEX_STALE;
  }
  // Each section header, and a few row marks spread over the file, start a line.
  std::vector<std::uint64_t> starts;
  std::size_t marks = 0;
  for (const SectionEntry& s : index.sections) {
    starts.push_back(s.header.position);
    marks += s.marks.size();
  }
  if (marks > 0) {
    const std::size_t step = std::max<std::size_t>(1, marks / kSampledMarks);
    std::size_t k = 0;
    for (const SectionEntry& s : index.sections)
      for (const QTXRowMark& m : s.marks)
        if (k++ % step == 0) starts.push_back(m.nPosition);
  }
  // Where the scan goes on: a line's start, or the end of what was indexed.
  if (index.resumePosition != index.mainHeaderEnd && index.resumePosition != index.stamp.size)
    starts.push_back(index.resumePosition);
  for (const std::uint64_t start : starts) {
    if (!ByteBeforeEndsLine(native, start)) {
      why = "a row mark or section header of the index does not start a line of the file";
      return QTX_INDEX_MISMATCH;
    }
  }
  return QTX_INDEX_USED;
}

}  // namespace

CString CQTXGeneral::QTX_IndexPath(const CString& path) {
  std::string name(path.View());
  name += ".qtxi";
  return CString(name.c_str());
}

bool CQTXGeneral::QTX_OpenIndexed(const CString& path, QTXIndexUse* pUse, int nMode) {
  QTXIndexUse use;
  const std::string dataPath(path.View());
  const std::string indexPath = dataPath + ".qtxi";
  CStdioFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | (nMode == 2 ? CFile::shareDenyNone : CFile::shareDenyWrite) | CFile::typeText,
                 &error)) {
    if (pUse) *pUse = use;
    return false;
  }
  const platform::NativeFile native = CStdioFileAccess::Source(file).Native();
  platform::FileStamp stamp;
  platform::FileError stampError;
  const bool stamped = platform::StampOf(native, stamp, stampError);
  auto state = std::make_unique<ScanState>();
  const bool fresh = !m_bEndOfHeader && m_arrSections.IsEmpty() && !m_pScanState;

  bool built = false;
  if (nMode != 0 || !fresh || !stamped) {
    use.nNotice = QTX_INDEX_IGNORED;
  } else {
    std::vector<char> bytes;
    IndexData index;
    std::string why;
    if (ReadIndexFile(indexPath, stamp.size, bytes, use)) {
      int notice = QTX_INDEX_CORRUPT;
      if (Parse(bytes, index, why) && Consistent(index, why))
        notice = CheckAgainstFile(index, native, stamp, why);
      if (notice == QTX_INDEX_USED) {
        if (BuildFromIndex(*this, file, index, *state)) {
          built = true;
          use.bUsed = true;
          const bool grown = stamp.size != index.stamp.size;
          use.nNotice = grown ? QTX_INDEX_EXTENDED : QTX_INDEX_USED;
          if (grown)
            use.strText = CString((indexPath + ": the file grew since it was indexed; the bytes added were scanned").c_str());
        } else {
          Reset(*this);
          state = std::make_unique<ScanState>();
          notice = QTX_INDEX_MISMATCH;
          why = "a section header is not where the index says";
        }
      }
      if (!built) {
        use.nNotice = notice;
        use.strText = CString((indexPath + ": " + why + "; the file was scanned").c_str());
      }
    }
  }
  bool result = true;
  if (!built) {
    CStdioFileAccess::Source(file).Seek(0);
    result = ScanWithState(*this, file, *state, nMode == 2);
  }
  if (stamped) Restamp(*state, native, stamp);
  file.Close();
  if (result && stamped) {
    delete m_pScanState;
    m_pScanState = state.release();
  }
  if (pUse) *pUse = use;
  return result;
}

bool CQTXGeneral::QTX_WriteIndex(const CString& path, CString* pError) const {
  const std::string indexPath = std::string(path.View()) + ".qtxi";
  const auto* state = dynamic_cast<const ScanState*>(m_pScanState);
  auto fail = [&](const std::string& text) {
    if (pError) *pError = CString((indexPath + ": " + text).c_str());
    return false;
  };
  if (!state) return fail("cannot be written: the file was not opened through its index");
  if (state->headers.size() != static_cast<std::size_t>(m_arrSections.GetSize()))
    return fail("cannot be written: the sections are not those of the scan");
  const std::vector<char> bytes = Serialize(*state, *this);
  // Written beside and renamed over the old one, so that a reader never
  // meets half an index.
  const std::string temporary = indexPath + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return fail("cannot be written (" + platform::ErrorText(errno) + ")");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return fail("cannot be written (" + platform::ErrorText(errno) + ")");
    }
  }
  std::error_code code;
  std::filesystem::rename(temporary, indexPath, code);
  if (code) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return fail("cannot be written (" + code.message() + ")");
  }
  return true;
}

bool CQTXGeneral::QTX_Refresh(const CString& path, QTXRefresh* pResult) {
  QTXRefresh result;
  const std::string dataPath(path.View());
  auto finish = [&](int status, const std::string& text) {
    result.nStatus = status;
    if (!text.empty()) result.strText = CString((dataPath + ": " + text).c_str());
    if (pResult) {
      pResult->nStatus = result.nStatus;
      pResult->nNewSections = result.nNewSections;
      pResult->strText = result.strText;
      pResult->arrNewRows.RemoveAll();
      for (std::ptrdiff_t i = 0; i < result.arrNewRows.GetSize(); ++i)
        pResult->arrNewRows.Add(result.arrNewRows.GetAt(i));
    }
    return status == QTX_REFRESH_OK;
  };
  auto* state = dynamic_cast<ScanState*>(m_pScanState);
  if (!state) return finish(QTX_REFRESH_FAILED, "was not opened for following");
  const std::string replaced = "was replaced or rewritten while it was followed; open it again";
  if (state->replaced) return finish(QTX_REFRESH_REPLACED, replaced);
  CStdioFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeText, &error))
    return finish(QTX_REFRESH_FAILED, std::string("cannot be opened: ") + error.what());
  const platform::NativeFile native = CStdioFileAccess::Source(file).Native();
  platform::FileStamp stamp;
  platform::FileError stampError;
  if (!platform::StampOf(native, stamp, stampError))
    return finish(QTX_REFRESH_FAILED, "cannot be read: " + platform::ErrorText(stampError.osError));
  std::uint64_t hash = 0;
  if (stamp.size < state->stamp.size || !HashRange(native, 0, state->mainHeaderEnd, hash) ||
      hash != state->headerHash || !HashRange(native, state->tailStart, state->stamp.size, hash) ||
      hash != state->tailHash) {
    state->replaced = true;
    return finish(QTX_REFRESH_REPLACED, replaced);
  }
  const std::ptrdiff_t before = m_arrSections.GetSize();
  std::vector<std::uint32_t> rowsBefore;
  for (std::ptrdiff_t i = 0; i < before; ++i) rowsBefore.push_back(m_arrSections.GetAt(i)->m_nRowsInFile);
  if (stamp.size != state->stamp.size || stamp.modified != state->stamp.modified) {
    result.nNewSections = Continue(*this, file, *state, true);
    Restamp(*state, native, stamp);
  }
  for (std::ptrdiff_t i = 0; i < m_arrSections.GetSize(); ++i) {
    const std::uint32_t was = i < before ? rowsBefore[static_cast<std::size_t>(i)] : 0;
    result.arrNewRows.Add(m_arrSections.GetAt(i)->m_nRowsInFile - was);
  }
  return finish(QTX_REFRESH_OK, "");
}
