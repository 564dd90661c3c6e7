#include "sections/SectionChunks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

// The first chunk, and the bytes of values a chunk grows to.
constexpr std::uint32_t kFirstChunkRows = 4096;
constexpr std::uint64_t kChunkBytes = std::uint64_t{32} << 20;
// Below this many rows a chunk is read on one thread: starting more would
// cost more than it saves.
constexpr std::uint32_t kParallelFrom = 65536;

}  // namespace

SectionChunks::SectionChunks(const CQTXGeneral& qtx, const CQTXSection& section, const std::string& path,
                             std::vector<int> channels, std::uint32_t first, std::uint32_t end, bool xOfFirstOnly)
    : m_qtx(qtx),
      m_section(section),
      m_channels(std::move(channels)),
      m_xOfFirstOnly(xOfFirstOnly),
      m_first(first),
      m_end(std::max(first, end)),
      m_next(first),
      m_chunkLimit(kFirstChunkRows),
      m_threads(std::max(1u, std::thread::hardware_concurrency())) {
  OpenForReading(m_file, path);
  const std::uint64_t arrays = std::max<std::uint64_t>(1, 2 * m_channels.size());
  m_largest = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(kChunkBytes / (arrays * sizeof(double)),
                                                                   kFirstChunkRows, std::uint64_t{1} << 22));
  m_x.resize(m_xOfFirstOnly ? 1 : m_channels.size());
  m_y.resize(m_channels.size());
}

bool SectionChunks::Next() {
  if (m_next >= m_end || !m_heldAll || m_channels.empty()) return false;
  const std::uint32_t rows = std::min(m_chunkLimit, m_end - m_next);
  m_chunkLimit = std::min(m_largest, m_chunkLimit * 4);
  std::vector<QTXChannelTarget> targets;
  for (std::size_t i = 0; i < m_channels.size(); ++i) {
    const bool withX = !m_xOfFirstOnly || i == 0;
    if (withX) m_x[i].resize(rows);
    m_y[i].resize(rows);
    targets.push_back({m_channels[i], withX ? m_x[i].data() : nullptr, m_y[i].data()});
  }
  const QTXRowsRead read =
      m_qtx.QTX_ReadRowsParallel(&m_file, &m_section, m_next, rows, targets.data(), targets.size(),
                                 rows >= kParallelFrom ? m_threads : 1);
  m_chunkFirst = m_next;
  m_chunkRows = read.nRows;
  m_next += read.nRows;
  if (read.nRows < rows) m_heldAll = false;
  return read.nRows > 0;
}

Progress::Progress(std::string what) : m_what(std::move(what)), m_terminal(StderrIsTerminal()) {}

Progress::~Progress() {
  if (m_shown) std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_what.size()) + 16, "");
}

void Progress::Update(std::uint64_t done, std::uint64_t total) {
  if (!m_terminal || total == 0) return;
  if (!m_shown && std::chrono::steady_clock::now() - m_start < std::chrono::seconds(1)) return;
  const int percent = static_cast<int>(100 * done / total);
  if (percent == m_percent) return;
  m_shown = true;
  m_percent = percent;
  std::fprintf(stderr, "\rqtx: %s %3d%%", m_what.c_str(), percent);
  std::fflush(stderr);
}

namespace {

// A bound of a span: empty for none, else a decimal number, or the infinity
// of an open end (`open`: -inf for a low end, inf for a high one, none for
// rows); a usage error otherwise.
std::optional<double> SpanNumber(const std::string& option, const std::string& text, const std::string& whole,
                                 const char* open) {
  if (text.empty()) return std::nullopt;
  if (open && (text == open || (open[0] == 'i' && text == "+inf"))) return open[0] == '-' ? -INFINITY : INFINITY;
  if (!IsDecimalNumber(text))
    throw UsageError(option + " wants decimal numbers A:B" +
                     (open ? std::string(", an end left out or -inf:inf for open ends,") : std::string()) +
                     " not \"" + whole + "\"");
  return std::strtod(text.c_str(), nullptr);
}

std::pair<std::string, std::string> SplitSpan(const std::string& option, const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos)
    throw UsageError(option + " wants two bounds separated by a colon, as in 10:20, not \"" + text + "\"");
  return {text.substr(0, colon), text.substr(colon + 1)};
}

}  // namespace

RowSpan ParseRowSpan(const std::string& option, const std::string& text) {
  const auto [a, b] = SplitSpan(option, text);
  const auto row = [&](const std::string& part) -> std::optional<std::uint32_t> {
    const std::optional<double> value = SpanNumber(option, part, text, nullptr);
    if (!value) return std::nullopt;
    if (*value < 0 || *value > 4294967295.0 || std::floor(*value) != *value)
      throw UsageError(option + " wants row numbers from 0 to 4294967295, not \"" + text + "\"");
    return static_cast<std::uint32_t>(*value);
  };
  RowSpan span;
  span.first = row(a).value_or(0);
  span.end = row(b);
  if (span.end && *span.end < span.first) throw UsageError(option + " " + text + " ends before it begins");
  return span;
}

XSpan ParseXSpan(const std::string& option, const std::string& text) {
  const auto [a, b] = SplitSpan(option, text);
  XSpan span{SpanNumber(option, a, text, "-inf").value_or(-INFINITY),
             SpanNumber(option, b, text, "inf").value_or(INFINITY)};
  if (span.high < span.low) throw UsageError(option + " " + text + " ends before it begins");
  return span;
}

RowChoice ChooseRows(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                     const std::string& path, const std::optional<std::string>& rows,
                     const std::optional<std::string>& x) {
  if (rows && x) throw UsageError("--rows and --x choose the same thing: give one of them");
  const std::uint32_t held = section.m_nRowsInFile;
  if (rows) {
    const RowSpan span = ParseRowSpan("--rows", *rows);
    return {std::min(span.first, held), std::min(span.end.value_or(held), held)};
  }
  if (!x) return {0, held};
  const XSpan span = ParseXSpan("--x", *x);
  CStdioFile file;
  OpenForReading(file, path);
  std::uint32_t first = 0, count = 0;
  switch (qtx.QTX_RowsBetween(&file, &section, span.low, span.high, first, count)) {
    case QTX_ROWS_NO_SHARED_X:
      throw Failure("--x needs an X that the channels share, and section " + std::to_string(sectionIndex) +
                    " has none (X_Columns Multi, or channels with different X0 or Delta_X): use --rows");
    case QTX_ROWS_X_DECREASES:
      throw Failure("--x needs an X that does not decrease, and the X of section " + std::to_string(sectionIndex) +
                    " does: use --rows");
    default: break;
  }
  return {first, first + count};
}

std::string NothingChosen(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                          const std::string& path, const std::optional<std::string>& rows,
                          const std::optional<std::string>& x, RowChoice chosen) {
  if (chosen.end > chosen.first || (!rows && !x)) return "";
  const std::uint32_t held = section.m_nRowsInFile;
  const std::string what = (rows ? "--rows " + *rows : "--x " + *x) + " chooses no row of section " +
                           std::to_string(sectionIndex) + ", ";
  if (held == 0) return what + "which holds none";
  if (rows) return what + "which holds rows 0 to " + std::to_string(held - 1);
  double ends[2] = {0.0, 0.0};
  CStdioFile file;
  OpenForReading(file, path);
  for (int k = 0; k < 2; ++k) {
    const QTXChannelTarget target{0, &ends[k], nullptr};
    qtx.QTX_ReadRows(&file, &section, k == 0 ? 0 : held - 1, 1, &target, 1);
  }
  return what + "whose X runs from " + FormatDouble(ends[0]) + " to " + FormatDouble(ends[1]);
}

void WarnIfShort(const CQTXSection& section, long long sectionIndex, const std::string& path) {
  const std::uint32_t declared = section.RowCount();
  if (section.m_nRowsInFile >= declared) return;
  Warn(path + ": section " + std::to_string(sectionIndex) + " declares " + std::to_string(declared) + " row" +
       (declared == 1 ? "" : "s") + " (Samples), but the file holds " + std::to_string(section.m_nRowsInFile) +
       (section.m_bLastLineCutOff ? ", and its last line, cut off without a line end, is left out" : ""));
}

}  // namespace qtx::tool
