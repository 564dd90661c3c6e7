// The writers of qtx export, one per format, behind one signature: the
// sections that the command chose (their plans) from FILE into OUT, written
// to a temporary file beside OUT and renamed over it only when complete. A
// writer fills in the names its format gives the channels. A failure is a
// Failure, and OUT is then left as it was.
#ifndef QTX_TOOLS_EXPORT_WRITERS_H
#define QTX_TOOLS_EXPORT_WRITERS_H

#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "sections/RowSelection.h"
#include "sections/WallClock.h"

namespace qtx::tool::exporter {

// What one section's export covers.
struct SectionPlan {
  long long index = 0;
  CQTXSection* section = nullptr;
  std::vector<int> channels;
  RowRange range;
  bool sharedX = false;
  std::vector<std::string> names;   // per chosen channel: its dataset or field name
  std::vector<std::string> xNames;  // MAT: per chosen channel its X field, where X is not shared
};

using Writer = void (*)(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
                        std::vector<SectionPlan>& plans);

// HDF5 (Hdf5Writer.cpp): a group per section, a dataset per channel.
void WriteHdf5(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
               std::vector<SectionPlan>& plans);
// MAT (MatWriter.cpp): a struct per section, through matio. MAT 7.3 is HDF5
// underneath, and its values are filled in chunk by chunk (Mat73Values.cpp);
// MAT 5 holds each variable whole and below 2 GB.
void WriteMat73(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
                std::vector<SectionPlan>& plans);
void WriteMat5(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
               std::vector<SectionPlan>& plans);

// What the writers share: a label as a std::string, and a name made unique
// within `taken`.
inline std::string Text(const CString& text) { return std::string(text.View()); }

// A channel's place on the calendar, as the writers store it: its start and
// the seconds of its X unit, each absent where the file lacks it.
struct ClockFields {
  std::optional<QTXStartTime> start;
  std::optional<double> xSeconds;
};

inline ClockFields CalendarOf(const CQTXGeneral& qtx, const CQTXChannel& channel) {
  return {StartOf(qtx, channel), XSecondsOf(channel)};
}

// A section's: what all its chosen channels have alike.
inline ClockFields CalendarOf(const CQTXGeneral& qtx, const SectionPlan& plan) {
  ClockFields section;
  for (std::size_t k = 0; k < plan.channels.size(); ++k) {
    const ClockFields channel = CalendarOf(qtx, *plan.section->m_arrChannels.GetAt(plan.channels[k]));
    if (k == 0) {
      section = channel;
      continue;
    }
    if (section.start && !(channel.start && channel.start->nSeconds == section.start->nSeconds &&
                           channel.start->nNanoseconds == section.start->nNanoseconds))
      section.start.reset();
    if (section.xSeconds && channel.xSeconds != section.xSeconds) section.xSeconds.reset();
  }
  return section;
}

// Names unique within a set: a taken one gets _2, _3, ... (kept within 63).
inline std::string Unique(std::string name, std::set<std::string>& taken, std::size_t limit) {
  std::string candidate = name;
  for (int n = 2; taken.count(candidate) != 0; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    candidate = name.substr(0, std::min(name.size(), limit - suffix.size())) + suffix;
  }
  taken.insert(candidate);
  return candidate;
}

}  // namespace qtx::tool::exporter

#endif  // QTX_TOOLS_EXPORT_WRITERS_H
