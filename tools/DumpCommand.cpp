// qtx dump FILE: the values of one section as CSV or TSV, ready for a
// spreadsheet or a data-frame library. A header row names the columns with
// the file's headings; then one row per data row with the X and the Y of each
// channel. Numbers are written in the shortest form that reads back as the
// same double.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "Tool.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx dump FILE [--section N] [--channel C] [--format csv|tsv]\n"
    "\n"
    "  Prints the values of a section: a header row with the headings, then one\n"
    "  row per data row with X and Y of each channel.\n"
    "\n"
    "  --section N       the section to print, counted from 0 (default 0)\n"
    "  --channel C       only channel C of the section, counted from 0 (default: all)\n"
    "  --format F        csv (default) or tsv\n";

// Output through one large buffer: a dump of a big section is millions of
// rows, and a call to stdio per field would dominate.
class Output {
 public:
  explicit Output(char separator) : m_separator(separator) { m_buffer.reserve(kFlushAt + 512); }
  ~Output() { Flush(); }

  void Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    m_buffer.append(text, result.ptr);
  }
  // A text cell: quoted as CSV needs it, or with tabs and line ends made
  // spaces for TSV, which has no quoting.
  void Text(std::string_view text) {
    if (m_separator == '\t') {
      for (const char c : text) m_buffer += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
      return;
    }
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
      m_buffer.append(text);
      return;
    }
    m_buffer += '"';
    for (const char c : text) {
      if (c == '"') m_buffer += '"';
      m_buffer += c;
    }
    m_buffer += '"';
  }
  void Separator() { m_buffer += m_separator; }
  void EndRow() {
    m_buffer += '\n';
    if (m_buffer.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (!m_buffer.empty()) std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
    m_buffer.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 16;
  char m_separator;
  std::string m_buffer;
};

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--section", "--channel", "--format"});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  const long long sectionIndex = arguments.GetInteger("--section", 0).value_or(0);
  const std::optional<long long> channelIndex = arguments.GetInteger("--channel", 0);
  const std::string format = arguments.Get("--format").value_or("csv");
  if (format != "csv" && format != "tsv") throw UsageError("--format must be csv or tsv, not '" + format + "'");

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  CQTXSection& section = SectionAt(qtx, sectionIndex);
  const int nChannels = section.m_nChannels > 0 ? section.m_nChannels : 0;
  if (channelIndex) CheckChannel(section, sectionIndex, *channelIndex);

  ReadValues(qtx, section, path, channelIndex ? static_cast<int>(*channelIndex) : -1);

  std::vector<const CQTXChannel*> channels;
  std::uint32_t nRows = 0;
  for (int j = 0; j < nChannels; ++j) {
    const CQTXChannel* channel = section.m_arrChannels.GetAt(j);
    nRows = std::max(nRows, channel->m_nSamples);
    if (!channelIndex || *channelIndex == j) channels.push_back(channel);
  }

  Output out(format == "tsv" ? '\t' : ',');
  for (std::size_t i = 0; i < channels.size(); ++i) {
    if (i > 0) out.Separator();
    out.Text(channels[i]->m_strXHeading.View());
    out.Separator();
    out.Text(channels[i]->m_strYHeading.View());
  }
  out.EndRow();
  for (std::uint32_t r = 0; r < nRows; ++r) {
    for (std::size_t i = 0; i < channels.size(); ++i) {
      if (i > 0) out.Separator();
      out.Number(channels[i]->m_pXValues[r]);
      out.Separator();
      out.Number(channels[i]->m_pYValues[r]);
    }
    out.EndRow();
  }
  return kExitOk;
}

}  // namespace

const Command kDumpCommand = {"dump", "print the values of a section as CSV or TSV", kUsage, Run};

}  // namespace qtx::tool
