// qtx export to HDF5.
#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "export/Hdf5.h"
#include "export/Writers.h"
#include "sections/SectionChunks.h"

namespace qtx::tool::exporter {

namespace {

// A name an HDF5 link can have: not empty, no '/', not '.'.
bool UsableLinkName(const std::string& name) {
  return !name.empty() && name != "." && name.find('/') == std::string::npos;
}

}  // namespace

void WriteHdf5(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
               std::vector<SectionPlan>& plans) {
  OutputFile output(outPath);
  if (output.TemporaryPath().empty())
    throw Failure("cannot write " + outPath + ": export writes regular files only");
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures are reported here, in one line
  Hdf5Writer h5(output, outPath);
  errno = 0;
  Handle file(h5.Check(H5Fcreate(output.TemporaryPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT),
                       "cannot create the HDF5 file"),
              H5Fclose);
  h5.StringAttribute(file.get(), "source", path);
  h5.StringAttribute(file.get(), "description", Text(qtx.m_strDescription));
  h5.StringAttribute(file.get(), "date", Text(qtx.m_strDate));
  h5.StringAttribute(file.get(), "time", Text(qtx.m_strTime));
  h5.StringAttribute(file.get(), "time_pref", Text(qtx.m_strTimePref));
  h5.StringAttribute(file.get(), "x_columns", ModeName(qtx.m_nXColumns));

  for (SectionPlan& plan : plans) {
    const CQTXSection& section = *plan.section;
    const std::string groupName = "section_" + std::to_string(plan.index);
    Handle group(h5.Check(H5Gcreate2(file.get(), groupName.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                          "cannot create a group"),
                 H5Gclose);
    h5.Unsigned(group.get(), "first_row", plan.range.first);
    h5.Unsigned(group.get(), "rows", plan.range.count);
    h5.StringAttribute(group.get(), "x_columns", ModeName(qtx.m_nXColumns));
    // On the calendar: start_time and x_seconds where there are such.
    const auto clock = [&](hid_t object, const ClockFields& fields) {
      if (fields.start) h5.StringAttribute(object, "start_time", IsoText(*fields.start));
      if (fields.xSeconds) h5.Double(object, "x_seconds", *fields.xSeconds);
    };
    clock(group.get(), CalendarOf(qtx, plan));
    // Dataset names: headings where they are usable and distinct.
    std::set<std::string> taken;
    if (plan.sharedX) taken.insert("X");
    std::vector<std::string> headings;
    for (const int c : plan.channels) headings.push_back(Text(section.m_arrChannels.GetAt(c)->m_strYHeading));
    for (std::size_t k = 0; k < plan.channels.size(); ++k) {
      const std::string& h = headings[k];
      const bool usable = UsableLinkName(h) && std::count(headings.begin(), headings.end(), h) == 1 &&
                          taken.count(h) == 0 && (plan.sharedX || taken.count(h + "_X") == 0);
      std::string name = usable ? h : "channel_" + std::to_string(plan.channels[k]);
      name = Unique(name, taken, 1u << 20);
      if (!plan.sharedX) taken.insert(name + "_X");
      plan.names.push_back(name);
    }
    const std::uint32_t chunk = std::min<std::uint32_t>(std::max<std::uint32_t>(plan.range.count, 1), 1u << 16);
    std::unique_ptr<Handle> sharedX;
    std::vector<std::unique_ptr<Handle>> ys;
    std::vector<std::unique_ptr<Handle>> xs;
    const auto labels = [&](hid_t dataset, const CQTXChannel& channel, bool isX) {
      h5.StringAttribute(dataset, "heading", Text(isX ? channel.m_strXHeading : channel.m_strYHeading));
      h5.StringAttribute(dataset, "dimension", Text(isX ? channel.m_strXDimension : channel.m_strYDimension));
      h5.StringAttribute(dataset, "unit", Text(isX ? channel.m_strXUnitLabel : channel.m_strYUnitLabel));
    };
    if (plan.sharedX && !plan.channels.empty()) {
      sharedX = h5.Dataset(group.get(), "X", chunk);
      labels(sharedX->get(), *section.m_arrChannels.GetAt(plan.channels[0]), true);
    }
    for (std::size_t k = 0; k < plan.channels.size(); ++k) {
      const CQTXChannel& channel = *section.m_arrChannels.GetAt(plan.channels[k]);
      ys.push_back(h5.Dataset(group.get(), plan.names[k], chunk));
      const hid_t y = ys.back()->get();
      labels(y, channel, false);
      h5.StringAttribute(y, "x_heading", Text(channel.m_strXHeading));
      h5.StringAttribute(y, "x_dimension", Text(channel.m_strXDimension));
      h5.StringAttribute(y, "x_unit", Text(channel.m_strXUnitLabel));
      h5.Double(y, "x0", channel.m_dX0);
      h5.Double(y, "delta_x", channel.m_dDeltaX);
      h5.Unsigned(y, "samples", channel.m_nSamples);
      h5.Unsigned(y, "index", static_cast<unsigned long long>(plan.channels[k]));
      h5.StringAttribute(y, "date", Text(channel.m_strDate));
      h5.StringAttribute(y, "time", Text(channel.m_strTime));
      clock(y, CalendarOf(qtx, channel));
      h5.StringAttribute(y, "x", plan.sharedX ? "X" : plan.names[k] + "_X");
      if (!plan.sharedX) {
        xs.push_back(h5.Dataset(group.get(), plan.names[k] + "_X", chunk));
        labels(xs.back()->get(), channel, true);
      }
    }
    ReadChunks(qtx, path, section, plan.channels, plan.range,
               [&](std::uint32_t firstRow, std::uint32_t rows, const std::vector<const double*>& x,
                   const std::vector<const double*>& y) {
                 const hsize_t at = firstRow - plan.range.first;
                 if (sharedX) h5.Append(sharedX->get(), at, x[0], rows);
                 for (std::size_t k = 0; k < plan.channels.size(); ++k) {
                   // A channel ends at its own Samples.
                   const std::uint32_t own = ChannelRowsIn(*section.m_arrChannels.GetAt(plan.channels[k]), plan.range);
                   const hsize_t n = own > at ? std::min<hsize_t>(rows, own - at) : 0;
                   h5.Append(ys[k]->get(), at, y[k], n);
                   if (!plan.sharedX) h5.Append(xs[k]->get(), at, x[k], n);
                 }
               });
  }
  errno = 0;
  if (!file.Close()) h5.Fail("cannot complete the HDF5 file");
  output.Commit();
}

}  // namespace qtx::tool::exporter
