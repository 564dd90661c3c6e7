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
// The index file's layout and its checks are in reader/IndexFile.cpp.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "reader/IndexFile.h"
#include "reader/Scan.h"

using qtx::textio::LineSource;
namespace platform = qtx::platform;
using namespace qtx::reader::index;

namespace {

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

// What the index file is to hold of the state and the object.
IndexData Describe(const ScanState& state, const CQTXGeneral& qtx) {
  IndexData index;
  index.stamp = state.stamp;
  index.mainHeaderEnd = state.mainHeaderEnd;
  index.mainHeaderLines = state.mainHeaderLines;
  index.headerHash = state.headerHash;
  index.tailStart = state.tailStart;
  index.tailHash = state.tailHash;
  index.resumePosition = state.resumePosition;
  index.resumeLine = state.resumeLine;
  index.inRows = state.inRows;
  for (std::size_t i = 0; i < state.headers.size(); ++i) {
    const CQTXSection& s = *qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(i));
    SectionEntry entry{state.headers[i], s.m_nDataLine, s.m_nDataPosition, s.m_nRowsInFile, s.m_bLastLineCutOff, {}};
    for (std::ptrdiff_t m = 0; m < s.m_arrRowMarks.GetSize(); ++m) entry.marks.push_back(s.m_arrRowMarks.GetAt(m));
    index.sections.push_back(std::move(entry));
  }
  return index;
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
  const std::vector<char> bytes = Serialize(Describe(*state, *this));
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
