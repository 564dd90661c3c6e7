// The viewer's summaries stored beside the data: FILE.qtxs holds the bins of
// every section summarised, so that a later view draws at once, without
// reading the rows.
//
// A stored summary is used only for the file it was made from. It records
// the data file's size and modification time, a hash of its bytes up to the
// first section's rows (the main header and the first section header), a
// hash of the last 64 KiB it covered, and per section where its rows start,
// the rows covered, and each channel's Samples, X0 and Delta_X. It is used
// when the file is the same size with the same time, or larger with the
// same bytes at the end of what was covered: a file that only grew. Then a
// section holding more rows than covered is extended over the new rows
// alone. Anything else, and a stored file that is corrupt, truncated, of
// another format version or fails its checksum, is ignored with one notice;
// nothing is allocated by what it claims before its real length was checked.
//
// Layout, little-endian, every field fixed in size:
//   magic "QTXSUMRY" 8, format version 4, 0 4
//   data file size 8, modified time 8, head end 8, head hash 8,
//   tail start 8, tail hash 8, X columns 4, section count 4
//   per section: section index 4, channels 4, rows 4, bin rows 4, bins 4,
//     X sources 4, data position 8;
//     per channel: Samples 4, 0 4, X0 8, Delta_X 8;
//     per X source: rising 4, 0 4, resume X 8, low and high 8 per bin,
//       finite X 4 per bin;
//     per channel: first, low, high, last 8 per bin, count 4 per bin,
//       sum, sum of squares, X of low, X of high 8 per bin
//   checksum of every byte before it 8
#ifndef QTX_TOOLS_VIEW_SUMMARYSTORE_H
#define QTX_TOOLS_VIEW_SUMMARYSTORE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "view/Summary.h"

namespace qtx::tool::view {

class SummaryStore {
 public:
  // FILE.qtxs for FILE.
  static std::string PathOf(const std::string& dataPath);

  // Takes the checks of `path` as it is now, which `qtx` has just scanned or
  // opened through its index (and keeps while the store lives), and reads
  // PATH.qtxs. Never throws for the stored file: one that is missing is
  // silently absent, one that does not fit is ignored with Notice().
  SummaryStore(const CQTXGeneral& qtx, const std::string& path);

  // Empty, or one line: why PATH.qtxs was ignored.
  const std::string& Notice() const { return m_notice; }
  // The reason alone ("fails its checksum"), empty as Notice() is.
  const std::string& Why() const { return m_why; }
  // Whether PATH.qtxs holds a summary of `section` that fits the file.
  bool Holds(std::size_t section) const;
  // The rows that summary covers (0 without one).
  std::uint32_t RowsStored(std::size_t section) const;

  // The summary of `section`: the stored one, taken (a second call builds),
  // extended over the rows the section holds beyond it; else one built
  // from the rows over `threads` threads (0: every core). Throws Failure as
  // the summary's constructor does.
  std::unique_ptr<SectionSummary> Summary(std::size_t section, unsigned threads,
                                          const SectionSummary::Progress& progress = {});

  // Writes PATH.qtxs holding `summaries` (summaries of sections of this
  // store's `qtx`, built or taken; null entries are left out) and the
  // stored summaries of other sections not taken, through a
  // temporary file renamed into place. Throws Failure, saying so, when the
  // file changed since it was read other than by growing, and "cannot
  // write PATH.qtxs: REASON" when it cannot be written (a read-only folder):
  // nothing else fails for it.
  void Save(const std::vector<const SectionSummary*>& summaries);

  // The checks that tie a stored summary to its data file.
  struct Checks {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t headEnd = 0, headHash = 0, tailStart = 0, tailHash = 0;
  };

 private:
  void Load();

  const CQTXGeneral& m_qtx;
  const std::string m_path;
  Checks m_checks;  // of the file when the store was made
  bool m_checked = false;
  std::string m_notice, m_why;
  std::vector<std::unique_ptr<SectionSummary>> m_stored;  // by section; null where none fits
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_SUMMARYSTORE_H
