// qtx merge A.qtx B.qtx ... -o OUT.qtx: the sections of several files in one,
// or with --join their rows one after the other in one section.
#include <memory>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/QtxCopy.h"
#include "sections/RowSelection.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx merge A.qtx B.qtx ... -o OUT.qtx [--join]\n"
    "\n"
    "  Writes the sections of all files, in order, into one QTX file with the\n"
    "  main header metadata of the first. The files must share their X-column\n"
    "  mode. With --join every section becomes one: its rows one after the\n"
    "  other, for sections of the same layout (channels, headings, dimensions,\n"
    "  units, X-column mode, every channel with the section's rows, and in mode\n"
    "  No an X0 that continues the rows before); the first difference is named\n"
    "  otherwise. In mode One a join whose X would go back where two sections\n"
    "  meet is refused, as a lookup by X could not answer from it.\n"
    "\n"
    "  -o, --output OUT    the file to write (- for stdout)\n"
    "  --join              one section of all the rows\n"
    "  --allow-decreasing  join even where X goes back\n";

struct Part {
  std::string path;
  const CQTXGeneral* qtx;  // the file's scan, for its reads
  long long index;
  const CQTXSection* section;
};

std::string Where(const Part& part) { return part.path + " section " + std::to_string(part.index); }

// The X of a row of a section in mode One.
double XAt(const Part& part, std::uint32_t row) {
  CStdioFile file;
  OpenForReading(file, part.path);
  double x = 0.0;
  const QTXChannelTarget target{0, &x, nullptr};
  if (part.qtx->QTX_ReadRows(&file, part.section, row, 1, &target, 1).nRows != 1)
    throw Failure(Where(part) + ": row " + std::to_string(row) + " cannot be read");
  return x;
}

// The first way `part` differs from `first` that a join cannot bridge, or
// empty. `rowsBefore` is the rows joined before it.
std::string Difference(const Part& first, const Part& part, std::uint64_t rowsBefore) {
  const CQTXSection& a = *first.section;
  const CQTXSection& b = *part.section;
  if (a.m_nChannels != b.m_nChannels)
    return "it has " + std::to_string(b.m_nChannels) + (b.m_nChannels == 1 ? " channel" : " channels") +
           " where the first has " + std::to_string(a.m_nChannels);
  const struct {
    const char* what;
    CString CQTXChannel::*member;
  } labels[] = {{"Y heading", &CQTXChannel::m_strYHeading},     {"X heading", &CQTXChannel::m_strXHeading},
                {"Y dimension", &CQTXChannel::m_strYDimension}, {"Y unit", &CQTXChannel::m_strYUnitLabel},
                {"X dimension", &CQTXChannel::m_strXDimension}, {"X unit", &CQTXChannel::m_strXUnitLabel}};
  for (int c = 0; c < b.m_nChannels; ++c) {
    const CQTXChannel& x = *a.m_arrChannels.GetAt(c);
    const CQTXChannel& y = *b.m_arrChannels.GetAt(c);
    for (const auto& label : labels)
      if (!(x.*label.member == y.*label.member))
        return "its channel " + std::to_string(c) + " has the " + label.what + " '" + Printable(y.*label.member) +
               "' where the first has '" + Printable(x.*label.member) + "'";
    if (y.m_nSamples != RowCount(b))
      return "its channel " + std::to_string(c) + " has " + std::to_string(y.m_nSamples) + " Samples of the section's " +
             std::to_string(RowCount(b)) + " rows";
    if (first.qtx->m_nXColumns == 0) {
      const double next = x.m_dX0 + static_cast<double>(rowsBefore) * x.m_dDeltaX;
      if (!(y.m_dDeltaX == x.m_dDeltaX) || !(y.m_dX0 == next))
        return "its channel " + std::to_string(c) + " has X0 " + FormatDouble(y.m_dX0) + " and Delta_X " +
               FormatDouble(y.m_dDeltaX) + " where the rows before end at X " + FormatDouble(next) +
               " with Delta_X " + FormatDouble(x.m_dDeltaX);
    }
  }
  return "";
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--output"}, {"--join", "--allow-decreasing"});
  const std::vector<std::string>& paths = arguments.Positionals();
  if (paths.size() < 2) throw UsageError("merge needs at least two files");
  const std::optional<std::string> outPath = arguments.Get("--output");
  if (!outPath) throw UsageError("missing -o OUT.qtx");
  const bool join = arguments.Has("--join");
  if (arguments.Has("--allow-decreasing") && !join) throw UsageError("--allow-decreasing goes with --join");

  std::vector<std::unique_ptr<CQTXGeneral>> files;
  std::vector<Part> parts;
  for (const std::string& path : paths) {
    if (SameFile(path, *outPath)) throw Failure(*outPath + " is one of the files to merge; merge writes another file");
    auto qtx = std::make_unique<CQTXGeneral>();
    ScanFile(*qtx, path);
    if (!files.empty() && qtx->m_nXColumns != files.front()->m_nXColumns)
      throw Failure(path + " has X_Columns " + ModeName(qtx->m_nXColumns) + ", " + paths.front() + " " +
                    ModeName(files.front()->m_nXColumns) + "; merge needs one X-column mode");
    for (std::ptrdiff_t i = 0; i < qtx->m_arrSections.GetSize(); ++i)
      parts.push_back({path, qtx.get(), i, qtx->m_arrSections.GetAt(i)});
    files.push_back(std::move(qtx));
  }
  if (parts.empty()) throw Failure("the files have no sections to merge");
  const CQTXGeneral& head = *files.front();
  const int mode = head.m_nXColumns;
  const auto allOf = [](const CQTXSection& section) {
    std::vector<int> all;
    for (int c = 0; c < section.m_nChannels; ++c) all.push_back(c);
    return all;
  };

  if (!join) {
    OutputFile output(*outPath);
    head.QTX_WriteMainHeaderStamped(output.Stream(), mode);
    for (const Part& part : parts) {
      const std::vector<int> all = allOf(*part.section);
      const RowRange range{0, RowsHeld(*part.section)};
      const std::unique_ptr<CQTXSection> header = CopyHeader(*part.qtx, *part.section, all);
      for (int c = 0; c < header->m_nChannels; ++c)
        header->m_arrChannels.GetAt(c)->m_nSamples = ChannelRowsIn(*part.section->m_arrChannels.GetAt(c), range);
      header->WriteSectionHeaderStamped(output.Stream(), mode);
      output.Write("");  // a failed header write shows here
      CopyRows(output, *part.qtx, part.path, *part.section, all, range, mode);
    }
    output.Commit();
    return kExitOk;
  }
  // Joined: every section checked before anything is written.
  const Part& first = parts.front();
  std::uint64_t total = 0;
  for (const Part& part : parts) {
    const std::string difference = Difference(first, part, total);
    if (!difference.empty()) throw Failure("cannot join " + Where(part) + " to " + Where(first) + ": " + difference);
    if (RowsHeld(*part.section) < RowCount(*part.section))
      throw Failure("cannot join " + Where(part) + ": the file holds " + std::to_string(RowsHeld(*part.section)) +
                    " of its " + std::to_string(RowCount(*part.section)) + " rows");
    total += RowCount(*part.section);
  }
  if (mode == 1 && !arguments.Has("--allow-decreasing")) {
    // Where two sections meet, the X must not go back.
    const Part* before = nullptr;
    for (const Part& part : parts) {
      if (RowCount(*part.section) == 0) continue;
      if (before) {
        const double last = XAt(*before, RowCount(*before->section) - 1), next = XAt(part, 0);
        if (!(next >= last))
          throw Failure("cannot join " + Where(part) + " after " + Where(*before) + ": its X begins at " +
                        FormatDouble(next) + ", below the " + FormatDouble(last) +
                        " the rows before end at (--allow-decreasing joins them all the same)");
      }
      before = &part;
    }
  }
  if (total > 0xffffffffULL)
    throw Failure("the joined section would have " + std::to_string(total) + " rows; a section holds at most 4294967295");
  const std::vector<int> all = allOf(*first.section);
  const std::unique_ptr<CQTXSection> header = CopyHeader(*first.qtx, *first.section, all);
  for (int c = 0; c < header->m_nChannels; ++c)
    header->m_arrChannels.GetAt(c)->m_nSamples = static_cast<std::uint32_t>(total);
  OutputFile output(*outPath);
  head.QTX_WriteMainHeaderStamped(output.Stream(), mode);
  header->WriteSectionHeaderStamped(output.Stream(), mode);
  output.Write("");
  for (const Part& part : parts)
    CopyRows(output, *part.qtx, part.path, *part.section, all, {0, RowCount(*part.section)}, mode);
  output.Commit();
  return kExitOk;
}

}  // namespace

const Command kMergeCommand = {"merge", "write the sections of several QTX files into one, or join their rows",
                               kUsage, Run};

}  // namespace qtx::tool
