// qtx view's files: read, kept beside the data, followed, and the
// requests routed to their answers (ViewerAnswers.cpp).
#include "view/Viewer.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "cli/Tool.h"
#include "sections/Sections.h"
#include "view/Assets.h"

namespace qtx::tool::view {
namespace {

// A section of this many rows takes seconds to summarise: the user is told.
constexpr std::uint32_t kSayRows = 5000000;

}  // namespace

Viewer::Viewer(const std::vector<std::string>& paths, long long start, ViewOptions options) : m_options(options) {
  for (std::size_t i = 0; i < paths.size(); ++i) {
    auto file = std::make_unique<File>();
    file->path = paths[i];
    file->start = start;
    file->later = i > 0;
    Load(*file);
    if (m_options.writeIndex) Keep(*file);
    m_files.push_back(std::move(file));
  }
  m_started = true;
}

void Viewer::Load(File& f) {
  // Everything that can fail comes before the file's old state goes.
  auto qtx = std::make_shared<CQTXGeneral>();
  const Stamp stamp = StampNow(f.path);
  if (m_options.follow) {
    {
      CStdioFile probe;
      OpenForReading(probe, f.path);
    }
    // As a follower: a last line without its line end waits for /refresh.
    if (!qtx->QTX_OpenIndexed(CString(f.path.c_str()), nullptr, 2))
      throw Failure(f.path + ": the file ends before the main header's end line");
  } else {
    ScanFile(*qtx, f.path);
  }
  long long start = f.start;
  // A later file that has no such section starts at its first.
  if (f.later && start >= qtx->m_arrSections.GetSize()) start = 0;
  SectionAt(*qtx, start);
  auto file = std::make_unique<CStdioFile>();
  OpenForReading(*file, f.path);
  auto store = std::make_unique<SummaryStore>(*qtx, f.path);
  if (!store->Notice().empty()) Warn(store->Notice());

  f.summaries.clear();
  f.store = std::move(store);
  f.file = std::move(file);
  f.qtx = std::move(qtx);
  f.stamp = stamp;
  f.start = start;
  const std::uint32_t rows = SectionAt(*f.qtx, f.start).RowCount();
  if (rows >= kSayRows && !f.store->Holds(static_cast<std::size_t>(f.start)))
    Warn("reading the " + std::to_string(rows) + " rows of section " + std::to_string(f.start) + " of " + f.path +
         " once for the view; the address follows");
  Summary(f, static_cast<std::size_t>(f.start));
}

void Viewer::Keep(File& f) {
  CString error;
  if (!f.qtx->QTX_WriteIndex(CString(f.path.c_str()), &error)) Warn(error.GetString());
  std::vector<const SectionSummary*> summaries;
  for (const auto& [section, summary] : f.summaries)
    if (summary) summaries.push_back(summary.get());
  try {
    f.store->Save(summaries);
  } catch (const Failure& failure) {
    Warn(failure.what());
  }
}

void Viewer::Finish() {
  if (!m_options.writeIndex) return;
  for (const std::unique_ptr<File>& f : m_files) Keep(*f);
}

Reply Viewer::Refresh() {
  for (const std::unique_ptr<File>& f : m_files) {
    QTXRefresh refresh;
    if (!f->qtx->QTX_Refresh(CString(f->path.c_str()), &refresh))
      return {409, "text/plain; charset=utf-8", std::string(refresh.strText.GetString()) + "\n"};
    for (const auto& [section, summary] : f->summaries) {
      if (!summary) continue;
      try {
        summary->Extend(0);
      } catch (const Failure& failure) {
        return {409, "text/plain; charset=utf-8", std::string(failure.what()) + "\n"};
      }
    }
    f->stamp = StampNow(f->path);
  }
  return Meta();
}

Viewer::Stamp Viewer::StampNow(const std::string& path) {
  std::error_code error;
  Stamp stamp;
  stamp.size = std::filesystem::file_size(path, error);
  if (error) return {};
  stamp.time = static_cast<long long>(std::filesystem::last_write_time(path, error).time_since_epoch().count());
  return stamp;
}

const SectionSummary& Viewer::Summary(File& f, std::size_t section) {
  std::unique_ptr<SectionSummary>& summary = f.summaries[section];
  if (!summary) {
    // The stored one where it fits (extended over rows added since), else
    // built from the rows.
    summary = f.store->Summary(section, 0);
    if (m_options.writeIndex && m_started) Keep(f);
  }
  return *summary;
}

Reply Viewer::Handle(std::string_view path, std::string_view query) {
  for (std::size_t i = 0; i < kAssetCount; ++i) {
    if (path == kAssets[i].path)
      return {200, kAssets[i].contentType,
              std::string(reinterpret_cast<const char*>(kAssets[i].data), kAssets[i].size)};
  }
  if (path != "/meta" && path != "/data" && path != "/stats" && path != "/csv" && path != "/step" &&
      path != "/reload" && !(path == "/refresh" && m_options.follow))
    return {404, "text/plain; charset=utf-8", "not found\n"};
  if (path == "/refresh") {
    if (!query.empty()) return BadRequest("/refresh takes no parameters");
    return Refresh();
  }
  if (path == "/reload") {
    if (!query.empty()) return BadRequest("/reload takes no parameters");
    // Whatever the files are now; a file that cannot be read keeps the old
    // scan, and the next request is told that it changed.
    for (const std::unique_ptr<File>& f : m_files) {
      try {
        Load(*f);
      } catch (const Failure& failure) {
        f->stamp = {};
        return {409, "text/plain; charset=utf-8", std::string(failure.what()) + "\n"};
      }
    }
    return Meta();
  }
  // A followed file grows between two looks; /refresh sees one replaced.
  for (const std::unique_ptr<File>& f : m_files) {
    if (!m_options.follow && !(StampNow(f->path) == f->stamp))
      return {409, "text/plain; charset=utf-8",
              std::filesystem::path(f->path).filename().string() +
                  " changed since qtx view read it; Reload reads it as it is now\n"};
  }
  if (path == "/meta") {
    if (!query.empty()) return BadRequest("/meta takes no parameters");
    return Meta();
  }
  if (path == "/csv") return Csv(query);
  if (path == "/step") return Step(query);
  return path == "/data" ? Data(query) : Stats(query);
}

Reply Viewer::BadRequest(const std::string& reason) {
  return {400, "text/plain; charset=utf-8", reason + "\n"};
}

}  // namespace qtx::tool::view
