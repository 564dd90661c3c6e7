// qtx dump FILE: the values of one section as CSV or TSV, ready for a
// spreadsheet or a data-frame library. A header row names the columns with
// the file's headings; then one row per data row: the X all channels share
// and the Y of each, or an X and a Y per channel. Numbers are written in the
// shortest form that reads back as the same double; a channel's cells past
// its Samples stay empty. qtx convert reads the result back.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/DumpRows.h"
#include "sections/RowSelection.h"
#include "sections/SectionChunks.h"
#include "sections/Sections.h"
#include "sections/WallClock.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx dump FILE [--section N] [--channel C | --channels LIST] [--format csv|tsv]"
    " [--rows A:B | --x LO:HI] [--all] [--units] [--follow] [--time absolute [--tz ZONE"
    " [--tz-ambiguous earliest|latest] [--tz-nonexistent shift_forward|shift_backward]]]\n"
    "\n"
    "  Prints the values of a section: a header row with the headings, then one\n"
    "  row per data row. When the channels share their X (X_Columns One, or No\n"
    "  with the same X0 and Delta_X) the X comes first and once, then the Y of\n"
    "  each channel; otherwise each channel has an X and a Y column. A channel's\n"
    "  cells past its Samples are empty. qtx convert reads the first layout back\n"
    "  by default and the second with --mode multi. A heading the file lacks is\n"
    "  written as Y1, Y2, ... (the channel's number from 1), or X_Value for an X.\n"
    "  Control characters in headings other than tabs and line ends are written\n"
    "  as \\xHH (a NUL as \\x00), so that the output stays text.\n"
    "\n"
    "  --section N       the section to print, counted from 0 (default 0)\n"
    "  --channel C       only channel C of the section: its index from 0 or Y heading\n"
    "  --channels LIST   those channels, indexes or headings, comma-separated (default: all)\n"
    "                    (a heading with a comma whole, or in double quotes: '\"U, in\",I')\n"
    "  --format F        csv (default) or tsv\n"
    "  --units           headings with their units and dimensions: \"heading [unit]\",\n"
    "                    and \"heading {dimension} [unit]\" where the dimension is not\n"
    "                    the heading; qtx convert reads them back. Other labels\n"
    "                    (stamps, X0 and Delta_X in mode No) are not kept\n"
    "  --all             every section, each after a line \"# section N\", which\n"
    "                    qtx convert reads back into several sections\n"
    "  --rows A:B        only rows A up to, not including, B, counted from 0; either\n"
    "                    may be left out (A: to the end, :B from the start)\n"
    "  --x LO:HI         only the rows whose X lies from LO to HI, for an X that the\n"
    "                    channels share and that does not decrease\n"
    "  --follow          keep printing rows as they are appended to the file, as\n"
    "                    tail -f does, until the section holds its Samples or\n"
    "                    Ctrl-C; a row is printed once its line end is written\n"
    "  --time absolute   X as the wall-clock time start + X * unit, ISO 8601 without\n"
    "                    zone, with the fractional digits the X step needs (at most\n"
    "                    9): the start is the channel's Date and Time, else the main\n"
    "                    header's; the unit is X_Unit_Label (s, sec, ms, us, ns, min, h)\n"
    "  --tz ZONE         the file's clock is local time in ZONE (Europe/Berlin, UTC),\n"
    "                    of the system's zone database: each time gets ZONE's UTC\n"
    "                    offset then, 2024-03-05T09:00:00+01:00. A time that a DST\n"
    "                    change repeats or skips is an error, unless chosen:\n"
    "  --tz-ambiguous A  a repeated time: its earliest or latest instant\n"
    "  --tz-nonexistent N  a skipped time: shift_forward to the first instant after\n"
    "                    the jump, or shift_backward to the last before it\n"
    "\n"
    "  The rows are read a piece at a time: memory stays small whatever the\n"
    "  section's size, and on a terminal a long dump shows its progress on stderr.\n";

// The line before each section of --all: "# section N", which qtx convert
// reads as the start of a section.
int RunAll(const std::vector<std::string>& args, const std::string& path);

// Rows [first, end) of `rows` to stdout, through one large buffer: a dump of
// a big section is millions of rows, and a call to stdio per field would
// dominate.
void PrintRows(DumpRows& rows, std::uint32_t first, std::uint32_t end) {
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  rows.Start(first, end);
  Progress progress("dump");
  std::string text;
  text.reserve(kPiece + 4096);
  for (bool more = true; more;) {
    more = rows.Fill(text, kPiece);
    WriteStdout(text);
    text.clear();
    progress.Update(rows.Done(), rows.Total());
  }
}

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }

// What --follow waits between two looks at the file.
constexpr std::chrono::milliseconds kFollowPoll{200};

// The file opened as a follower: a last line without its line end waits.
// Waits, looking again, until the section exists.
void OpenToFollow(CQTXGeneral& qtx, const std::string& path, long long sectionIndex) {
  {
    CStdioFile probe;
    OpenForReading(probe, path);
  }
  if (!qtx.QTX_OpenIndexed(CString(path.c_str()), nullptr, 2))
    throw Failure(path + ": the file ends before the main header's end line");
  while (qtx.m_arrSections.GetSize() <= sectionIndex && !g_interrupted) {
    std::this_thread::sleep_for(kFollowPoll);
    QTXRefresh refresh;
    if (!qtx.QTX_Refresh(CString(path.c_str()), &refresh)) throw Failure(refresh.strText.GetString());
  }
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args,
                            {"--section", "--channel", "--channels", "--format", "--rows", "--x", "--time", "--tz",
                             "--tz-ambiguous", "--tz-nonexistent"},
                            {"--all", "--units", "--follow"});
  const bool units = arguments.Has("--units");
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  if (arguments.Has("--all")) return RunAll(args, path);
  const long long sectionIndex = arguments.GetInteger("--section", 0).value_or(0);
  const char separator = arguments.GetChoice("--format", {"csv", "tsv"}, 0) == 0 ? ',' : '\t';

  const bool follow = arguments.Has("--follow");
  if (follow && (arguments.Has("--rows") || arguments.Has("--x")))
    throw UsageError("--follow prints every row as it comes: no --rows or --x");

  CQTXGeneral qtx;
  if (follow) {
    std::signal(SIGINT, OnInterrupt);
    OpenToFollow(qtx, path, sectionIndex);
    if (g_interrupted) return kExitOk;
  } else {
    ScanFile(qtx, path);
  }
  CQTXSection& section = SectionAt(qtx, sectionIndex);
  const int nChannels = section.m_nChannels > 0 ? section.m_nChannels : 0;
  const std::optional<std::vector<int>> chosen = ChannelOption(arguments, section, sectionIndex);
  if (nChannels == 0) {
    Warn(path + ": section " + std::to_string(sectionIndex) + " has no channels; there is nothing to dump");
    return kExitOk;
  }
  const RowChoice rows = ChooseRows(qtx, section, sectionIndex, path, arguments.Get("--rows"), arguments.Get("--x"));
  if (!follow) {
    WarnIfShort(section, sectionIndex, path);
    const std::string nothing =
        NothingChosen(qtx, section, sectionIndex, path, arguments.Get("--rows"), arguments.Get("--x"), rows);
    if (!nothing.empty()) Warn(nothing);
  }

  std::vector<const CQTXChannel*> channels;
  std::vector<int> indexes;
  for (int j = 0; j < nChannels; ++j) {
    if (chosen && std::find(chosen->begin(), chosen->end(), j) == chosen->end()) continue;
    channels.push_back(section.m_arrChannels.GetAt(j));
    indexes.push_back(j);
  }
  const bool absolute = arguments.GetChoice("--time", {"relative", "absolute"}, 0) == 1;
  const std::optional<std::string> zoneName = arguments.Get("--tz");
  if (zoneName && !absolute) throw UsageError("--tz goes with --time absolute");
  if (!zoneName && (arguments.Has("--tz-ambiguous") || arguments.Has("--tz-nonexistent")))
    throw UsageError("--tz-ambiguous and --tz-nonexistent go with --tz");
  const std::optional<TimeZone> zone = zoneName ? std::optional<TimeZone>(TimeZone::Load(*zoneName)) : std::nullopt;
  // Without the option, a repeated or skipped time is refused (0).
  const auto choice = [&](const char* name, std::vector<const char*> choices) {
    return arguments.Has(name) ? static_cast<int>(arguments.GetChoice(name, choices, 0)) + 1 : 0;
  };
  const auto ambiguous = static_cast<Ambiguous>(choice("--tz-ambiguous", {"earliest", "latest"}));
  const auto nonexistent = static_cast<Nonexistent>(choice("--tz-nonexistent", {"shift_forward", "shift_backward"}));
  // On the clock, channels that start apart need an X each: mode One has
  // only one, and refuses.
  std::vector<ChannelClock> clocks;
  std::vector<int> digits;
  bool sameStart = true;
  if (absolute) {
    for (const CQTXChannel* channel : channels) {
      clocks.push_back(ClockOf(qtx, *channel, path, sectionIndex));
      if (zone) {
        clocks.back().zone = &*zone;
        clocks.back().ambiguous = ambiguous;
        clocks.back().nonexistent = nonexistent;
      }
      digits.push_back(DigitsFor(clocks.back(), channel->m_dDeltaX));
      sameStart = sameStart && clocks.back().start.nSeconds == clocks.front().start.nSeconds &&
                  clocks.back().start.nNanoseconds == clocks.front().start.nNanoseconds &&
                  clocks.back().nsPerUnit == clocks.front().nsPerUnit;
    }
    if (!sameStart && qtx.m_nXColumns == 1)
      throw Failure(path + ": section " + std::to_string(sectionIndex) +
                    ": its channels start at different times, but X_Columns One gives them one X column");
  }
  DumpRows dump(qtx, section, path, indexes, separator, units, clocks, digits);
  {
    std::string header;
    dump.Header(header);
    WriteStdout(header);
  }
  // The rows a chunk at a time, so that memory stays the same whatever the
  // section's size and the first rows show at once.
  std::uint32_t first = rows.first;
  std::uint32_t end = dump.EndOf(rows);
  if (follow) end = std::min(end, section.m_nRowsInFile);
  for (;;) {
    PrintRows(dump, first, end);
    if (!follow || end >= section.RowCount()) break;
    first = end;
    while (!g_interrupted && section.m_nRowsInFile <= first) {
      std::this_thread::sleep_for(kFollowPoll);
      QTXRefresh refresh;
      if (!qtx.QTX_Refresh(CString(path.c_str()), &refresh)) throw Failure(refresh.strText.GetString());
    }
    if (g_interrupted) break;
    end = section.m_nRowsInFile;
  }
  return kExitOk;
}

int RunAll(const std::vector<std::string>& args, const std::string& path) {
  std::vector<std::string> each;
  for (const std::string& arg : args) {
    if (arg == "--section" || arg.rfind("--section=", 0) == 0) throw UsageError("--all prints every section: no --section");
    if (arg == "--follow") throw UsageError("--follow follows one section: no --all");
    if (arg != "--all") each.push_back(arg);
  }
  CQTXGeneral qtx;
  ScanFile(qtx, path);
  for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i) {
    PrintStdout("# section %td\n", i);
    std::vector<std::string> one = each;
    one.insert(one.begin(), {"--section", std::to_string(i)});
    Run(one);
  }
  return kExitOk;
}

}  // namespace

const Command kDumpCommand = {"dump", "print the values of a section as CSV or TSV", kUsage, Run};

}  // namespace qtx::tool
