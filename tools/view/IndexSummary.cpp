// qtx index --summary: the viewer's summaries of a file, stored beside it.
#include <memory>
#include <vector>

#include "cli/Tool.h"
#include "sections/SectionChunks.h"
#include "view/SummaryStore.h"
#include "view/View.h"

namespace qtx::tool::view {

std::string WriteSummaries(const CQTXGeneral& qtx, const std::string& path) {
  SummaryStore store(qtx, path);
  const std::size_t sections = static_cast<std::size_t>(qtx.m_arrSections.GetSize());
  std::uint64_t total = 0, done = 0;
  for (std::size_t i = 0; i < sections; ++i)
    total += qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(i))->m_nRowsInFile;
  std::vector<std::unique_ptr<SectionSummary>> summaries;
  std::vector<const SectionSummary*> pointers;
  std::size_t taken = 0, extended = 0;
  {
    Progress progress("summary of " + path);
    for (std::size_t i = 0; i < sections; ++i) {
      const bool held = store.Holds(i);
      const std::uint32_t stored = store.RowsStored(i);
      summaries.push_back(store.Summary(i, 0, [&](std::uint32_t rows) { progress.Update(done + rows, total); }));
      taken += held;
      extended += held && summaries.back()->Rows() != stored;
      done += summaries.back()->Rows();
      pointers.push_back(summaries.back().get());
    }
  }
  if (taken == sections && extended == 0 && store.Notice().empty() && sections > 0) return "up to date";
  store.Save(pointers);
  if (!store.Notice().empty()) return "written anew (" + store.Why() + ")";
  if (taken == 0) return "written";
  return extended ? "extended over the rows added" : "written, with the sections added";
}

}  // namespace qtx::tool::view
