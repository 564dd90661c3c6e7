// What qtx view serves under its token: the page, its script and style, the
// file's description (/meta), the data of a view (/data), the statistics
// between two X (/stats), the rows between two X as qtx dump writes them
// (/csv), and /reload, which reads the file again. Only the one
// file given on the command line is ever read; a request chooses a section,
// an X range, a width and channels, each checked.
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
  // Scans the file and builds the summary of section `start`; throws
  // Failure when the file cannot be read or has no such section.
  Viewer(const std::string& path, long long start);

  Reply Handle(std::string_view path, std::string_view query);

 private:
  struct Stamp {
    std::uintmax_t size = 0;
    long long time = 0;
    bool operator==(const Stamp& other) const { return size == other.size && time == other.time; }
  };
  Stamp StampNow() const;
  // The summary of a section, built on its first use.
  const SectionSummary& Summary(std::size_t section);
  // Scans the file and summarises section `section` (again).
  void Load(std::size_t section);
  Reply Meta() const;
  // A query's section, X range, width and channels, checked alike for
  // /data and /stats; an empty reason when they are sound.
  struct Query {
    std::size_t section = 0;
    std::uint32_t width = 0;
    std::vector<int> channels;
    bool hasRange = false, exact = false;
    double x0 = 0, x1 = 0;
  };
  // `stats`: no width, and an X range that `what` needs.
  std::string Parse(std::string_view query, bool stats, Query& out, const char* what = "stats") const;
  Reply Data(std::string_view query);
  Reply Stats(std::string_view query);
  Reply Csv(std::string_view query);

  std::string m_path;
  long long m_start;
  // Shared with the answers of /csv under way, which a reload must not pull
  // from under them.
  std::shared_ptr<CQTXGeneral> m_qtx;
  CStdioFile m_file;
  Stamp m_stamp;
  std::map<std::size_t, std::unique_ptr<SectionSummary>> m_summaries;
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_VIEWER_H
