// The parallel read of a range of rows: the range in shares, one per
// thread, each read from the row mark before it through a file handle of its
// own.
#include <algorithm>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"
#include "qtx/QTXLibrary.h"
#include "reader/RowReader.h"

using namespace qtx::reader;

namespace {

// A thread's share of a parallel read: rows [first, end) into arrays that
// begin at row `base`.
struct RangeShare {
  std::uint32_t first;
  std::uint32_t end;
  std::uint32_t stored = 0;
  std::exception_ptr failure;
};

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
