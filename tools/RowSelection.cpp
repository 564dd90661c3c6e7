#include "RowSelection.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qtx::tool {
namespace {

// Rows per chunk: 64 Ki, fewer for many channels, so that a chunk of every
// channel's X and Y stays near 32 MiB.
std::uint32_t ChunkRows(std::size_t channels) {
  constexpr std::size_t kValues = std::size_t{1} << 22;
  return static_cast<std::uint32_t>(std::clamp<std::size_t>(kValues / (2 * std::max<std::size_t>(channels, 1)), 1,
                                                            std::size_t{1} << 16));
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The channel with this Y heading when exactly one has it, else -1.
int ChannelByHeading(const CQTXSection& section, const std::string& heading) {
  int found = -1;
  for (int i = 0; i < section.m_nChannels; ++i) {
    if (section.m_arrChannels.GetAt(i)->m_strYHeading.View() != heading) continue;
    if (found >= 0) return -1;
    found = i;
  }
  return found;
}

}  // namespace

int ChannelByName(const CQTXSection& section, long long sectionIndex, const std::string& name) {
  if (name.empty()) throw UsageError("an empty channel name");
  const int count = std::max(section.m_nChannels, 0);
  char* end = nullptr;
  const long long index = std::strtoll(name.c_str(), &end, 10);
  const bool number = *end == '\0' && name.find_first_not_of("0123456789") == std::string::npos;
  int found = -1;
  int matches = 0;
  for (int i = 0; i < count; ++i) {
    if (section.m_arrChannels.GetAt(i)->m_strYHeading.View() == name) {
      if (matches++ == 0) found = i;
    }
  }
  if (matches > 1)
    throw Failure("section " + std::to_string(sectionIndex) + " has " + std::to_string(matches) +
                  " channels headed '" + name + "'; choose one by its index");
  if (matches == 1) return found;
  if (number) {
    CheckChannel(section, sectionIndex, index);
    return static_cast<int>(index);
  }
  throw Failure("section " + std::to_string(sectionIndex) + " has no channel headed '" + name + "'");
}

std::optional<std::vector<int>> ChannelOption(const Arguments& arguments, const CQTXSection& section,
                                              long long sectionIndex) {
  if (arguments.Has("--channel") && arguments.Has("--channels"))
    throw UsageError("give --channel or --channels, not both");
  std::vector<int> chosen;
  if (const std::optional<std::string> one = arguments.Get("--channel")) {
    if (!one->empty() && (*one)[0] == '-' && one->find_first_not_of("-0123456789") == std::string::npos &&
        ChannelByHeading(section, *one) < 0)
      throw UsageError("option --channel must be at least 0");
    chosen.push_back(ChannelByName(section, sectionIndex, *one));
  } else if (arguments.Has("--channels")) {
    chosen = ChosenChannels(arguments, section, sectionIndex);
    std::sort(chosen.begin(), chosen.end());
  } else {
    return std::nullopt;
  }
  return chosen;
}

std::vector<int> ChosenChannels(const Arguments& arguments, const CQTXSection& section, long long sectionIndex) {
  std::vector<int> chosen;
  const std::optional<std::string> list = arguments.Get("--channels");
  if (!list) {
    for (int i = 0; i < section.m_nChannels; ++i) chosen.push_back(i);
    return chosen;
  }
  for (const std::string& item : SplitList(*list)) {
    const int channel = ChannelByName(section, sectionIndex, item);
    if (std::find(chosen.begin(), chosen.end(), channel) != chosen.end())
      throw UsageError("option --channels names channel " + std::to_string(channel) + " twice");
    chosen.push_back(channel);
  }
  return chosen;
}

std::pair<double, double> NumberPair(const std::string& name, const std::string& text) {
  const std::size_t colon = text.find(':');
  const auto number = [&](const std::string& part, double& value) {
    char* end = nullptr;
    value = std::strtod(part.c_str(), &end);
    return !part.empty() && *end == '\0' && !std::isnan(value);
  };
  double low = 0.0;
  double high = 0.0;
  if (colon == std::string::npos || !number(text.substr(0, colon), low) || !number(text.substr(colon + 1), high))
    throw UsageError("option " + name + " needs LO:HI, two numbers, not '" + text + "'");
  if (low > high) throw UsageError("option " + name + ": " + text + " starts above its end");
  return {low, high};
}

std::uint32_t RowsHeld(const CQTXSection& section) {
  return section.m_bRowsCounted ? section.m_nRowsInFile : RowCount(section);
}

RowRange RowsOption(const std::string& text, const CQTXSection& section) {
  const auto [low, high] = NumberPair("--rows", text);
  if (low < 0 || std::floor(low) != low || std::floor(high) != high)
    throw UsageError("option --rows needs A:B, two whole numbers from 0, not '" + text + "'");
  const double held = RowsHeld(section);
  RowRange range;
  range.first = static_cast<std::uint32_t>(std::min(low, held));
  range.count = static_cast<std::uint32_t>(std::min(high, held)) - range.first;
  return range;
}

bool SharesX(const CQTXGeneral& qtx, const CQTXSection& section, const std::vector<int>& channels) {
  if (qtx.m_nXColumns == 1) return true;
  if (qtx.m_nXColumns != 0 || channels.empty()) return false;
  const CQTXChannel& first = *section.m_arrChannels.GetAt(channels[0]);
  for (const int c : channels) {
    const CQTXChannel& channel = *section.m_arrChannels.GetAt(c);
    if (!SameBits(channel.m_dX0, first.m_dX0) || !SameBits(channel.m_dDeltaX, first.m_dDeltaX)) return false;
  }
  return true;
}

RowRange RowsBetween(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                     long long sectionIndex, double low, double high) {
  const std::string where = "section " + std::to_string(sectionIndex);
  std::vector<int> all;
  for (int i = 0; i < section.m_nChannels; ++i) all.push_back(i);
  if (!SharesX(qtx, section, all))
    throw Failure(where + " has no X shared by its channels (" +
                  (qtx.m_nXColumns == 2 ? std::string("X_Columns Multi") : "X0 or Delta_X differ") +
                  "); use --rows");
  const std::uint32_t held = RowsHeld(section);
  RowRange range;
  if (all.empty() || held == 0) return range;
  if (qtx.m_nXColumns == 0) {
    // X = X0 + r * Delta_X, as the reader computes it; not decreasing for a
    // step from 0 on, so a bisection finds both ends.
    const CQTXChannel& channel = *section.m_arrChannels.GetAt(0);
    if (channel.m_dDeltaX < 0) throw Failure(where + ": X decreases (Delta_X is negative)");
    const auto x = [&](std::uint32_t r) { return channel.m_dX0 + static_cast<double>(r) * channel.m_dDeltaX; };
    const auto bound = [&](auto below) {
      std::uint32_t lo = 0;
      std::uint32_t hi = held;
      while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (below(x(mid)))
          lo = mid + 1;
        else
          hi = mid;
      }
      return lo;
    };
    range.first = bound([&](double v) { return v < low; });
    range.count = bound([&](double v) { return v <= high; }) - range.first;
    return range;
  }
  // Mode One: X comes from the rows; read it in chunks and check that it
  // does not go back.
  bool started = false;
  bool ended = false;
  double previous = -HUGE_VAL;
  ReadChunks(qtx, path, section, {0}, {0, held},
             [&](std::uint32_t firstRow, std::uint32_t rows, const std::vector<double*>& x, const std::vector<double*>&) {
               for (std::uint32_t i = 0; i < rows; ++i) {
                 const double v = x[0][i];
                 if (v < previous || std::isnan(v))
                   throw Failure(where + ": X " + (std::isnan(v) ? "is not a number" : "decreases") + " at row " +
                                 std::to_string(firstRow + i) + "; --x needs X that never decreases, use --rows");
                 previous = v;
                 if (!started && v >= low) {
                   started = true;
                   range.first = firstRow + i;
                 }
                 if (!ended && v > high) {
                   ended = true;
                   range.count = started ? firstRow + i - range.first : 0;
                 }
               }
             });
  if (!started) range.first = held;
  if (!ended) range.count = held - range.first;
  return range;
}

std::uint32_t ReadChunks(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                         const std::vector<int>& channels, RowRange range, const ChunkVisitor& visit) {
  CStdioFile file;
  OpenForReading(file, path);
  const std::uint32_t chunk = ChunkRows(channels.size());
  const std::size_t n = channels.size();
  std::vector<double> values(2 * n * static_cast<std::size_t>(std::min(chunk, std::max(range.count, 1u))));
  const std::size_t stride = values.size() / (2 * std::max<std::size_t>(n, 1));
  std::vector<double*> x(n);
  std::vector<double*> y(n);
  std::vector<QTXChannelTarget> targets(n);
  for (std::size_t k = 0; k < n; ++k) {
    x[k] = values.data() + 2 * k * stride;
    y[k] = x[k] + stride;
    targets[k] = {channels[k], x[k], y[k]};
  }
  std::uint32_t done = 0;
  while (done < range.count) {
    const std::uint32_t want = std::min<std::uint32_t>(static_cast<std::uint32_t>(stride), range.count - done);
    const QTXRowsRead read = qtx.QTX_ReadRows(&file, &section, range.first + done, want, targets.data(), n);
    if (read.nRows > 0) visit(range.first + done, read.nRows, x, y);
    done += read.nRows;
    if (read.nRows < want) break;
  }
  return done;
}

std::uint32_t ChannelRowsIn(const CQTXChannel& channel, RowRange range) {
  if (channel.m_nSamples <= range.first) return 0;
  return std::min(range.count, channel.m_nSamples - range.first);
}

}  // namespace qtx::tool
