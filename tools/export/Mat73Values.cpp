#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "export/Hdf5.h"
#include "sections/SectionChunks.h"

namespace qtx::tool::exporter {

// The values of a MAT 7.3 file that matio wrote with empty value fields: each
// field of values becomes a dataset filled chunk by chunk, so that memory
// stays one chunk whatever the section's size.
void WriteMatColumns(const CQTXGeneral& qtx, const std::string& path, OutputFile& output, const std::string& outPath,
                     const std::vector<SectionPlan>& plans) {
  Hdf5Writer h5(output, outPath);
  errno = 0;
  Handle file(h5.Check(H5Fopen(output.TemporaryPath().c_str(), H5F_ACC_RDWR, H5P_DEFAULT), "cannot reopen the MAT file"),
              H5Fclose);
  for (const SectionPlan& plan : plans) {
    const CQTXSection& section = *plan.section;
    const std::string group = "/section_" + std::to_string(plan.index) + "/";
    const std::uint32_t chunk = std::min<std::uint32_t>(std::max<std::uint32_t>(plan.range.count, 1), 1u << 16);
    // A field with rows replaces the empty one; one without stays empty.
    const auto column = [&](const std::string& field, std::uint32_t rows) -> std::unique_ptr<Handle> {
      if (rows == 0) return nullptr;
      h5.Check(H5Ldelete(file.get(), (group + field).c_str(), H5P_DEFAULT), "cannot replace a field", 0);
      return h5.MatlabColumn(file.get(), group + field, chunk);
    };
    std::unique_ptr<Handle> sharedX = plan.sharedX ? column("X", plan.range.count) : nullptr;
    std::vector<std::unique_ptr<Handle>> ys;
    std::vector<std::unique_ptr<Handle>> xs;
    std::vector<std::uint32_t> own;
    for (std::size_t k = 0; k < plan.channels.size(); ++k) {
      own.push_back(ChannelRowsIn(*section.m_arrChannels.GetAt(plan.channels[k]), plan.range));
      ys.push_back(column(plan.names[k], own[k]));
      if (!plan.sharedX) xs.push_back(column(plan.xNames[k], own[k]));
    }
    ReadChunks(qtx, path, section, plan.channels, plan.range,
               [&](std::uint32_t firstRow, std::uint32_t rows, const std::vector<const double*>& x,
                   const std::vector<const double*>& y) {
                 const hsize_t at = firstRow - plan.range.first;
                 if (sharedX) h5.AppendColumn(sharedX->get(), at, x[0], rows);
                 for (std::size_t k = 0; k < plan.channels.size(); ++k) {
                   const hsize_t n = own[k] > at ? std::min<hsize_t>(rows, own[k] - at) : 0;
                   if (ys[k]) h5.AppendColumn(ys[k]->get(), at, y[k], n);
                   if (!plan.sharedX && xs[k]) h5.AppendColumn(xs[k]->get(), at, x[k], n);
                 }
               });
  }
  errno = 0;
  if (!file.Close()) h5.Fail("cannot complete the MAT file");
}

}  // namespace qtx::tool::exporter
