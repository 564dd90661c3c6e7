// qtx cut FILE -o OUT.qtx: a range of rows and a choice of channels of one
// section as a QTX file of its own, every value and label kept.
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
    "usage: qtx cut FILE -o OUT.qtx (--x LO:HI | --rows A:B | --time FROM/TO) [--section N] [--channels LIST]\n"
    "\n"
    "  Writes the rows A to B (A included, B not, counted from 0; A: to the end,\n"
    "  :B from the start) or the rows whose X lies in [LO, HI], for an X that the\n"
    "  channels share and that does not decrease, of a section, with the chosen channels, as\n"
    "  a QTX file of one section. Values, headings, labels and the header's\n"
    "  metadata are kept; Samples are those of the rows cut. Where X comes from\n"
    "  X0 and Delta_X (X_Columns No), a cut that starts at row 0 stays so; any\n"
    "  other gets an X column with the X values it had (X_Columns One, or Multi\n"
    "  for channels of different X0 or Delta_X), so that X keeps its bits.\n"
    "\n"
    "  -o, --output OUT  the file to write (- for stdout)\n"
    "  --x LO:HI         the rows whose X lies in [LO, HI]\n"
    "  --rows A:B        rows A to B - 1\n"
    "  --time FROM/TO    the rows whose wall-clock time (start + X * unit, as qtx\n"
    "                    dump --time absolute shows it) lies from FROM to TO, ISO\n"
    "                    8601 without zone (2024-03-05T09:00:00.5); either may be\n"
    "                    left out; the channels must share their start and unit\n"
    "  --section N       the section, counted from 0 (default 0)\n"
    "  --channels LIST   channels by index or Y heading, comma-separated (default: all)\n"
    "                    (a heading with a comma whole, or in double quotes: '\"U, in\",I')\n";

void CutGrid(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section, int source,
             std::uint32_t first, CQTXChannel& channel) {
  CStdioFile file;
  OpenForReading(file, path);
  double ends[2] = {0.0, 0.0};
  const std::uint32_t rows[2] = {first, first + channel.m_nSamples - 1};
  for (int k = 0; k < 2; ++k) {
    const QTXChannelTarget target{source, &ends[k], nullptr};
    if (qtx.QTX_ReadRows(&file, &section, rows[k], 1, &target, 1).nRows != 1)
      throw Failure(path + ": row " + std::to_string(rows[k]) + " cannot be read");
  }
  channel.m_dX0 = ends[0];
  if (channel.m_nSamples > 1) channel.m_dDeltaX = (ends[1] - ends[0]) / (channel.m_nSamples - 1.0);
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--output", "--x", "--rows", "--time", "--section", "--channels"});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  const std::optional<std::string> outPath = arguments.Get("--output");
  if (!outPath) throw UsageError("missing -o OUT.qtx");
  const int ranges = arguments.Has("--x") + arguments.Has("--rows") + arguments.Has("--time");
  if (ranges != 1) throw UsageError("give one of --x LO:HI, --rows A:B and --time FROM/TO");
  const long long sectionIndex = arguments.GetInteger("--section", 0).value_or(0);
  if (SameFile(path, *outPath)) throw Failure(*outPath + " is FILE itself; cut writes another file");

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  const CQTXSection& section = SectionAt(qtx, sectionIndex);
  const std::vector<int> channels = ChosenChannels(arguments, section, sectionIndex);
  if (channels.empty()) throw Failure("section " + std::to_string(sectionIndex) + " has no channels to cut");
  const std::optional<std::string> times = arguments.Get("--time");
  const RowRange range = times ? ChosenTimes(qtx, section, sectionIndex, path, channels, *times)
                               : ChosenRows(qtx, section, sectionIndex, path, arguments);
  // X computed from X0 and Delta_X keeps its bits only from row 0 on; past
  // it the cut carries the X values themselves.
  int mode = qtx.m_nXColumns;
  if (mode == 0 && range.first > 0) mode = SharesX(qtx, section, channels) ? 1 : 2;

  const std::unique_ptr<CQTXSection> header = CopyHeader(qtx, section, channels);
  for (int k = 0; k < header->m_nChannels; ++k) {
    CQTXChannel& channel = *header->m_arrChannels.GetAt(k);
    channel.m_nSamples = ChannelRowsIn(*section.m_arrChannels.GetAt(channels[static_cast<std::size_t>(k)]), range);
    // With an X column, X0 and Delta_X describe the rows cut: the first X,
    // and the mean step to the last, as the Python writer gives them.
    if (mode != 0 && channel.m_nSamples > 0) CutGrid(qtx, path, section, channels[static_cast<std::size_t>(k)],
                                                     range.first, channel);
  }
  OutputFile output(*outPath);
  qtx.QTX_WriteMainHeaderStamped(output.Stream(), mode);
  header->WriteSectionHeaderStamped(output.Stream(), mode);
  output.Write("");  // a failed header write shows here
  CopyRows(output, qtx, path, section, channels, range, mode);
  output.Commit();
  return kExitOk;
}

}  // namespace

const Command kCutCommand = {"cut", "write a range of rows and chosen channels as a new QTX file", kUsage, Run};

}  // namespace qtx::tool
