// qtx resample FILE --step S [--section N] [--channel C]: one channel's values
// resampled by linear interpolation onto an even grid that starts at the
// channel's first X, printed as X,Y CSV. Numbers are printed in the shortest
// form that reads back as the same double, so the output can be compared and
// fed on exactly.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/RowSelection.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

// More grid values than this is taken for a mistyped step rather than a
// wish: their array alone would take 400 MB.
constexpr std::uint32_t kMaxGridValues = 50'000'000;

// The smallest step the resampler walks with is just above this.
constexpr double kLeastStep = std::numeric_limits<double>::min();

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// The number of grid abscissas below xMax, walked by the same repeated
// addition as the resampler: no more values than this can come out, so an
// array of this size is never cut short.
std::uint32_t GridSize(const std::string& path, double xFirst, double xMax, double step) {
  if (!(xFirst < xMax)) return 0;
  const std::string range = " from X " + FormatDouble(xFirst) + " to " + FormatDouble(xMax);
  const std::string tooMany = path + ": --step " + FormatDouble(step) + " gives more than " +
                              std::to_string(kMaxGridValues) + " values" + range;
  // The division is cheap and also catches ranges the walk would take ages
  // over; the walk then counts exactly.
  if (!((xMax - xFirst) / step < kMaxGridValues)) throw Failure(tooMany);
  std::uint32_t count = 0;
  for (double t = xFirst; t < xMax;) {
    if (++count > kMaxGridValues) throw Failure(tooMany);
    const double next = t + step;
    if (next == t)
      throw Failure(path + ": --step " + FormatDouble(step) + " is too small to move on from X " +
                    FormatDouble(t));
    t = next;
  }
  return count;
}

// Appends the shortest text of `value` that reads back as the same double.
void AppendNumber(std::string& line, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  line.append(buffer, result.ptr);
}

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--step", "--section", "--channel"});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];
  const std::optional<double> step = arguments.GetNumber("--step");
  if (!step) throw UsageError("option --step is required");
  if (!(*step > 0.0)) throw UsageError("option --step must be above 0");
  if (!(*step > kLeastStep)) throw UsageError("option --step must be above " + FormatDouble(kLeastStep));
  const long long sectionIndex = arguments.GetInteger("--section", 0).value_or(0);

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  CQTXSection& section = SectionAt(qtx, sectionIndex);
  const std::optional<std::vector<int>> chosen = ChannelOption(arguments, section, sectionIndex);
  const long long channelIndex = chosen ? chosen->front() : 0;
  CheckChannel(section, sectionIndex, channelIndex);
  const int channelNumber = static_cast<int>(channelIndex);

  // The arrays have one entry per row of the section, as many as its
  // largest Samples; a channel with fewer samples has rows beyond its own,
  // and a file that ends early holds fewer.
  const std::uint32_t rows = ReadValues(qtx, section, sectionIndex, path, channelNumber);
  const CQTXChannel& channel = *section.m_arrChannels.GetAt(channelNumber);
  const std::uint32_t points = std::min(channel.m_nSamples, rows);
  const std::string what =
      path + ": channel " + std::to_string(channelIndex) + " of section " + std::to_string(sectionIndex);
  if (points < 2)
    throw Failure(what + " has " + std::to_string(points) + " sample" + (points == 1 ? "" : "s") +
                  ", too few to resample");
  const double* x = channel.m_pXValues;
  double* y = channel.m_pYValues;
  const double xFirst = x[0];
  if (!std::isfinite(xFirst)) throw Failure(what + " starts at X " + FormatDouble(xFirst));
  double xMax = xFirst;
  for (std::uint32_t i = 1; i < points; ++i) xMax = std::max(xMax, x[i]);  // a NaN is passed over

  const std::uint32_t count = GridSize(path, xFirst, xMax, *step);
  std::vector<double> values(std::max<std::uint32_t>(count, 1));  // room for the resampler's preset
  std::uint32_t stored = count;
  if (!CQTXGeneral::QTX_InterpolateData(xFirst, *step, x, y, points, stored, values.data()))
    throw Failure(what + " cannot be resampled with --step " + FormatDouble(*step));

  std::string line =
      CsvField(XHeading(channel).View()) + "," + CsvField(YHeading(channel).View()) + "\n";
  WriteStdout(line);
  // The grid abscissas as the resampler walked them: one addition each.
  double t = xFirst;
  for (std::uint32_t i = 0; i < stored; ++i) {
    line.clear();
    AppendNumber(line, t);
    line += ',';
    AppendNumber(line, values[i]);
    line += '\n';
    WriteStdout(line);
    t += *step;
  }
  return kExitOk;
}

}  // namespace

const Command kResampleCommand = {
    "resample", "resample a channel onto an even grid and print it as X,Y CSV",
    "usage: qtx resample FILE --step S [--section N] [--channel C]\n"
    "\n"
    "  Interpolates a channel linearly at X0, X0 + S, X0 + S + S, ... up to, not\n"
    "  including, its last X, X0 being its first X. Prints a heading row, then\n"
    "  X,Y rows.\n"
    "\n"
    "  --step S          the distance between grid abscissas (above 0); at most\n"
    "                    50,000,000 values come out\n"
    "  --section N       the section to read, counted from 0 (default 0)\n"
    "  --channel C       the channel to resample: its index from 0 or Y heading (default 0)\n",
    Run};

}  // namespace qtx::tool
