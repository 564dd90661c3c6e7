// What qtx view serves under its token: the page, its script and style, the
// files' description (/meta), the data of a view (/data), the statistics
// between two X (/stats), the rows between two X as qtx dump writes them
// (/csv), the row after or before an X (/step), and /reload, which reads the
// files again. Only the files given on the command line are ever read; a
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
#include "qtx/QTXLibrary.h"

namespace qtx::tool::view {

class Viewer {
 public:
  // Scans the files and builds the summary of section `start` of each (of
  // section 0 in a later file that has no such section); throws Failure when
  // a file cannot be read or the first has no such section.
  Viewer(const std::vector<std::string>& paths, long long start);

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
    CStdioFile file;
    Stamp stamp;
    std::map<std::size_t, std::unique_ptr<SectionSummary>> summaries;
  };
  static Stamp StampNow(const std::string& path);
  // The summary of a section, built on its first use.
  static const SectionSummary& Summary(File& file, std::size_t section);
  // Scans the file and summarises its start section (again).
  static void Load(File& file);
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

  std::vector<std::unique_ptr<File>> m_files;
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_VIEWER_H
