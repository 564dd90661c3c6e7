#include "sections/RowSelection.h"

#include "sections/SectionChunks.h"
#include "sections/Sections.h"
#include "sections/WallClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qtx::tool {
namespace {

// The items of a comma-separated list; an item in double quotes may hold
// commas, and "" in it stands for a quote.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ',') {
      items.emplace_back();
    } else if (text[i] == '"' && items.back().empty()) {
      for (++i;; ++i) {
        if (i >= text.size()) throw UsageError("option --channels has a quote that is not closed: " + text);
        if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
        if (text[i] == '"') ++i;
        items.back() += text[i];
      }
      if (i + 1 < text.size() && text[i + 1] != ',')
        throw UsageError("option --channels wants a comma after a quoted heading: " + text);
    } else {
      items.back() += text[i];
    }
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
  // A heading that the whole list matches wins over the list's commas.
  const int whole = ChannelByHeading(section, *list);
  for (const std::string& item : whole >= 0 ? std::vector<std::string>{*list} : SplitList(*list)) {
    const int channel = ChannelByName(section, sectionIndex, item);
    if (std::find(chosen.begin(), chosen.end(), channel) != chosen.end())
      throw UsageError("option --channels names channel " + std::to_string(channel) + " twice");
    chosen.push_back(channel);
  }
  return chosen;
}

std::uint32_t RowsHeld(const CQTXSection& section) {
  return section.m_bRowsCounted ? section.m_nRowsInFile : RowCount(section);
}

RowRange ChosenRows(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                    const std::string& path, const Arguments& arguments) {
  const RowChoice rows = ChooseRows(qtx, section, sectionIndex, path, arguments.Get("--rows"), arguments.Get("--x"));
  const std::string nothing = NothingChosen(qtx, section, sectionIndex, path, arguments.Get("--rows"),
                                            arguments.Get("--x"), rows);
  if (!nothing.empty()) throw Failure(nothing + "; nothing is written");
  return {rows.first, rows.end - rows.first};
}

RowRange ChosenTimes(const CQTXGeneral& qtx, const CQTXSection& section, long long sectionIndex,
                     const std::string& path, const std::vector<int>& channels, const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos || text.find('/', slash + 1) != std::string::npos)
    throw UsageError("option --time needs FROM/TO, ISO 8601 times (either may be left out), not '" + text + "'");
  const std::string where = path + ": section " + std::to_string(sectionIndex);
  if (channels.empty()) throw Failure(where + " has no channels");
  ChannelClock clock;
  for (std::size_t k = 0; k < channels.size(); ++k) {
    const ChannelClock own = ClockOf(qtx, *section.m_arrChannels.GetAt(channels[k]), path, sectionIndex);
    if (k == 0) clock = own;
    if (own.start.nSeconds != clock.start.nSeconds || own.start.nNanoseconds != clock.start.nNanoseconds ||
        own.nsPerUnit != clock.nsPerUnit)
      throw Failure(where + ": its channels start at different times or count X in different units; --time "
                    "needs one clock: choose channels with --channels");
  }
  // A row is in when its X lands, rounded to the nanosecond, inside: from
  // half a nanosecond before FROM to half a nanosecond after TO.
  const auto bound = [&](const std::string& part, double none, long double half) {
    if (part.empty()) return none;
    QTXStartTime time{0, 0};
    if (!QTX_ParseIso8601(part.c_str(), time))
      throw UsageError("option --time: '" + part + "' is no ISO 8601 time yyyy-MM-dd[THH:mm[:ss[.f]]] without zone");
    const long double ns = static_cast<long double>(time.nSeconds - clock.start.nSeconds) * 1e9L +
                           (static_cast<long double>(time.nNanoseconds) - clock.start.nNanoseconds);
    return static_cast<double>((ns + half) / static_cast<long double>(clock.nsPerUnit));
  };
  const double low = bound(text.substr(0, slash), -INFINITY, -0.5L);
  const double high = bound(text.substr(slash + 1), INFINITY, 0.5L);
  if (high < low) throw UsageError("option --time " + text + " ends before it begins");
  char span[64];
  std::snprintf(span, sizeof span, "%.17g:%.17g", low, high);
  const RowChoice rows = ChooseRows(qtx, section, sectionIndex, path, std::nullopt, std::string(span));
  if (rows.end > rows.first) return {rows.first, rows.end - rows.first};
  const std::uint32_t held = section.m_nRowsInFile;
  std::string what = "--time " + text + " chooses no row of section " + std::to_string(sectionIndex);
  if (held == 0) throw Failure(what + ", which holds none; nothing is written");
  double ends[2] = {0.0, 0.0};
  CStdioFile file;
  OpenForReading(file, path);
  for (int k = 0; k < 2; ++k) {
    const QTXChannelTarget target{channels[0], &ends[k], nullptr};
    qtx.QTX_ReadRows(&file, &section, k == 0 ? 0 : held - 1, 1, &target, 1);
  }
  what += ", whose times run from ";
  AppendTime(what, clock, ends[0], 0);
  what += " to ";
  AppendTime(what, clock, ends[1], 0);
  throw Failure(what + "; nothing is written");
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

std::uint32_t ReadChunks(const CQTXGeneral& qtx, const std::string& path, const CQTXSection& section,
                         const std::vector<int>& channels, RowRange range, const ChunkVisitor& visit) {
  if (channels.empty()) return 0;
  SectionChunks chunks(qtx, section, path, channels, range.first, range.first + range.count);
  std::vector<const double*> x(channels.size());
  std::vector<const double*> y(channels.size());
  std::uint32_t done = 0;
  while (chunks.Next()) {
    for (std::size_t k = 0; k < channels.size(); ++k) {
      x[k] = chunks.X(k);
      y[k] = chunks.Y(k);
    }
    visit(chunks.First(), chunks.Rows(), x, y);
    done += chunks.Rows();
  }
  return done;
}

std::uint32_t ChannelRowsIn(const CQTXChannel& channel, RowRange range) {
  if (channel.m_nSamples <= range.first) return 0;
  return std::min(range.count, channel.m_nSamples - range.first);
}

}  // namespace qtx::tool
