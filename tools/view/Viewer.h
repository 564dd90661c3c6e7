// What qtx view serves under its token: the page, its script and style, the
// files' description (/meta), the data of a view (/data), the statistics
// between two X (/stats), the rows between two X as qtx dump writes them
// (/csv), the row after or before an X (/step), /reload, which reads the
// files again, and, when following, /refresh, which takes in what was
// appended to them. Only the files given on the command line are ever read; a
// request chooses a file by its number, a section, an X range, a width and
// channels, each checked.
#ifndef QTX_TOOLS_VIEW_VIEWER_H
#define QTX_TOOLS_VIEW_VIEWER_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "view/Server.h"
#include "view/Summary.h"
#include "view/SummaryStore.h"
#include "qtx/QTXLibrary.h"

namespace qtx::tool::view {

// How qtx view was asked to treat its files.
struct ViewOptions {
  // Follow files being written: /refresh takes in what was appended and
  // grows the summaries; a last line without its line end waits.
  bool follow = false;
  // Write each file's index and stored summary once its summaries are
  // built, and again at Finish.
  bool writeIndex = false;
};

class Viewer {
 public:
  // Scans the files and builds the summary of section `start` of each (of
  // section 0 in a later file that has no such section); throws Failure when
  // a file cannot be read or the first has no such section.
  Viewer(const std::vector<std::string>& paths, long long start, ViewOptions options = {});

  // At the end of the view: with writeIndex, stores the index and summaries
  // as they are now (grown, when following). Failures are said, not thrown.
  void Finish();

  Reply Handle(std::string_view path, std::string_view query);

 private:
  struct Stamp {
    std::uintmax_t size = 0;
    long long time = 0;
    bool operator==(const Stamp& other) const { return size == other.size && time == other.time; }
  };
  // One file given on the command line, as scanned, and the summaries of
  // the sections of it that were viewed.
  struct File {
    std::string path;
    long long start = 0;
    bool later = false;  // not the first file
    // Shared with the answers of /csv under way, which a reload must not
    // pull from under them.
    std::shared_ptr<CQTXGeneral> qtx;
    std::unique_ptr<CStdioFile> file;
    Stamp stamp;
    // The summaries stored beside the file (FILE.qtxs); it refers to *qtx.
    std::unique_ptr<SummaryStore> store;
    std::map<std::size_t, std::unique_ptr<SectionSummary>> summaries;
  };
  static Stamp StampNow(const std::string& path);
  // The summary of a section, built on its first use.
  const SectionSummary& Summary(File& file, std::size_t section);
  // Scans the file and summarises its start section (again); a file that
  // cannot be read keeps what it had and throws Failure.
  void Load(File& file);
  // Writes the file's index and stored summaries; a failure is said.
  static void Keep(File& file);
  // Takes in what was appended to every file and grows their summaries.
  Reply Refresh();
  static Reply BadRequest(const std::string& reason);
  // The answers, in ViewerAnswers.cpp.
  Reply Meta() const;
  void AppendFile(std::string& out, const File& file) const;
  // A query's file, section, X range, width and channels, checked alike for
  // /data, /stats, /csv and /step; an empty reason when they are sound.
  enum class Kind { Data, Stats, Csv, Step };
  struct Query {
    std::size_t file = 0;
    std::size_t section = 0;
    int dir = 0;  // /step: 1 for the next row, -1 for the one before
    std::uint32_t width = 0;
    std::vector<int> channels;
    bool hasRange = false, exact = false;
    double x0 = 0, x1 = 0;
  };
  // Stats and Csv: no width, and an X range they need; Step: one channel,
  // x (kept in x0) and dir.
  std::string Parse(std::string_view query, Kind kind, Query& out) const;
  Reply Data(std::string_view query);
  Reply Stats(std::string_view query);
  Reply Csv(std::string_view query);
  Reply Step(std::string_view query);

  ViewOptions m_options;
  bool m_started = false;  // every file loaded: later summaries are kept as they are built
  std::vector<std::unique_ptr<File>> m_files;
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_VIEWER_H
