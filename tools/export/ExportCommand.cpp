// qtx export FILE OUT.h5|OUT.mat: sections of a QTX file as HDF5 or as a
// MAT file, for tools that read those. Values are copied bit for bit, in
// chunks of rows, with the headings, units, X grid and the header's metadata
// beside them. The output is written to a temporary file beside OUT and
// renamed over it only when complete.
#include <hdf5.h>
#include <matio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "export/Export.h"
#include "sections/RowSelection.h"
#include "sections/SectionChunks.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx export FILE OUT.h5|OUT.mat [--section N] [--channels LIST] [--x LO:HI] [--mat-version 7.3|5]\n"
    "\n"
    "  Writes sections of FILE (all by default) as HDF5 (OUT ending in .h5, .hdf5\n"
    "  or .he5) or as a MAT file (.mat). Values are copied bit for bit.\n"
    "\n"
    "  HDF5: a group section_N per section; in it a dataset per channel's Y, named\n"
    "  after its heading (channel_I where the heading is no usable name), and X\n"
    "  once as the dataset X when the channels share it, else NAME_X beside each.\n"
    "  Headings, dimensions, units, X0, Delta_X, Samples, Date and Time are\n"
    "  attributes of the datasets; the main header's metadata of the root.\n"
    "  MAT: a struct section_N per section with a field per channel named after\n"
    "  its heading (made a valid MATLAB name), X once when shared, and the fields\n"
    "  info (the metadata) and channels (per channel its original heading, field\n"
    "  name, units and X grid).\n"
    "\n"
    "  --section N       only section N, counted from 0\n"
    "  --channels LIST   channels by index or Y heading, comma-separated (default: all)\n"
    "  --x LO:HI         only the rows whose shared X lies in [LO, HI]\n"
    "  --mat-version V   7.3 (default; HDF5-based, any size) or 5 (variables below 2 GB)\n";

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

std::string Text(const CString& text) { return std::string(text.View()); }

// ---- HDF5 -----------------------------------------------------------------

// An HDF5 identifier closed by its own close function.
class Handle {
 public:
  Handle(hid_t id, herr_t (*close)(hid_t)) : m_id(id), m_close(close) {}
  ~Handle() {
    if (m_id >= 0) m_close(m_id);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_t get() const { return m_id; }
  // Closes now, where a failure of the close counts (the file's last writes).
  bool Close() {
    const hid_t id = m_id;
    m_id = -1;
    return m_close(id) >= 0;
  }

 private:
  hid_t m_id;
  herr_t (*m_close)(hid_t);
};

// Throws the output's failure with the system's reason when the library
// left one in errno, and its own words otherwise.
class Hdf5Writer {
 public:
  Hdf5Writer(OutputFile& output, const std::string& path) : m_output(output), m_path(path) {}

  [[noreturn]] void Fail(const char* what) const {
    const int error = errno;
    throw Failure("cannot write " + m_path + ": " + (error != 0 ? std::strerror(error) : what));
  }
  hid_t Check(hid_t id, const char* what) const {
    if (id < 0) Fail(what);
    return id;
  }
  void Check(herr_t status, const char* what, int) const {
    if (status < 0) Fail(what);
  }

  void StringAttribute(hid_t object, const char* name, const std::string& value,
                       H5T_cset_t cset = H5T_CSET_UTF8) const {
    Handle type(Check(H5Tcopy(H5T_C_S1), "HDF5 type"), H5Tclose);
    Check(H5Tset_size(type.get(), std::max<std::size_t>(value.size(), 1)), "HDF5 type", 0);
    Check(H5Tset_cset(type.get(), cset), "HDF5 type", 0);
    Check(H5Tset_strpad(type.get(), value.empty() ? H5T_STR_NULLTERM : H5T_STR_NULLPAD), "HDF5 type", 0);
    Handle space(Check(H5Screate(H5S_SCALAR), "HDF5 space"), H5Sclose);
    Handle attribute(Check(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
                           "cannot create an attribute"),
                     H5Aclose);
    const std::string data = value.empty() ? std::string(1, '\0') : value;
    Check(H5Awrite(attribute.get(), type.get(), data.data()), "cannot write an attribute", 0);
  }
  void NumberAttribute(hid_t object, const char* name, hid_t type, const void* value) const {
    Handle space(Check(H5Screate(H5S_SCALAR), "HDF5 space"), H5Sclose);
    Handle attribute(Check(H5Acreate2(object, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT),
                           "cannot create an attribute"),
                     H5Aclose);
    Check(H5Awrite(attribute.get(), type, value), "cannot write an attribute", 0);
  }
  void Double(hid_t object, const char* name, double value) const {
    NumberAttribute(object, name, H5T_NATIVE_DOUBLE, &value);
  }
  void Unsigned(hid_t object, const char* name, unsigned long long value) const {
    NumberAttribute(object, name, H5T_NATIVE_ULLONG, &value);
  }

  // A 1-D dataset of doubles that grows as chunks are appended.
  std::unique_ptr<Handle> Dataset(hid_t group, const std::string& name, std::uint32_t chunk) const {
    const hsize_t start = 0;
    const hsize_t most = H5S_UNLIMITED;
    Handle space(Check(H5Screate_simple(1, &start, &most), "HDF5 space"), H5Sclose);
    Handle properties(Check(H5Pcreate(H5P_DATASET_CREATE), "HDF5 properties"), H5Pclose);
    const hsize_t chunkRows = std::max<std::uint32_t>(chunk, 1);
    Check(H5Pset_chunk(properties.get(), 1, &chunkRows), "HDF5 chunks", 0);
    return std::make_unique<Handle>(
        Check(H5Dcreate2(group, name.c_str(), H5T_IEEE_F64LE, space.get(), H5P_DEFAULT, properties.get(),
                         H5P_DEFAULT),
              "cannot create a dataset"),
        H5Dclose);
  }
  void Append(hid_t dataset, hsize_t at, const double* values, hsize_t count) const {
    if (count == 0) return;
    const hsize_t size = at + count;
    Check(H5Dset_extent(dataset, &size), "cannot extend a dataset", 0);
    Handle file(Check(H5Dget_space(dataset), "HDF5 space"), H5Sclose);
    Check(H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, &at, nullptr, &count, nullptr), "HDF5 selection", 0);
    Handle memory(Check(H5Screate_simple(1, &count, nullptr), "HDF5 space"), H5Sclose);
    errno = 0;
    Check(H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memory.get(), file.get(), H5P_DEFAULT, values),
          "cannot write a dataset", 0);
  }

  // A MATLAB column vector of doubles in a MAT 7.3 file: HDF5 keeps it as
  // one row (MATLAB's order is the transposed one), growing by chunks.
  std::unique_ptr<Handle> MatlabColumn(hid_t group, const std::string& name, std::uint32_t chunk) const {
    const hsize_t start[2] = {1, 0};
    const hsize_t most[2] = {1, H5S_UNLIMITED};
    Handle space(Check(H5Screate_simple(2, start, most), "HDF5 space"), H5Sclose);
    Handle properties(Check(H5Pcreate(H5P_DATASET_CREATE), "HDF5 properties"), H5Pclose);
    const hsize_t chunkDims[2] = {1, std::max<std::uint32_t>(chunk, 1)};
    Check(H5Pset_chunk(properties.get(), 2, chunkDims), "HDF5 chunks", 0);
    auto dataset = std::make_unique<Handle>(
        Check(H5Dcreate2(group, name.c_str(), H5T_IEEE_F64LE, space.get(), H5P_DEFAULT, properties.get(),
                         H5P_DEFAULT),
              "cannot create a dataset"),
        H5Dclose);
    StringAttribute(dataset->get(), "MATLAB_class", "double", H5T_CSET_ASCII);
    return dataset;
  }
  void AppendColumn(hid_t dataset, hsize_t at, const double* values, hsize_t count) const {
    if (count == 0) return;
    const hsize_t size[2] = {1, at + count};
    Check(H5Dset_extent(dataset, size), "cannot extend a dataset", 0);
    Handle file(Check(H5Dget_space(dataset), "HDF5 space"), H5Sclose);
    const hsize_t offset[2] = {0, at};
    const hsize_t block[2] = {1, count};
    Check(H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, offset, nullptr, block, nullptr), "HDF5 selection", 0);
    Handle memory(Check(H5Screate_simple(2, block, nullptr), "HDF5 space"), H5Sclose);
    errno = 0;
    Check(H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memory.get(), file.get(), H5P_DEFAULT, values),
          "cannot write a dataset", 0);
  }

  OutputFile& m_output;
  std::string m_path;
};

// A name an HDF5 link can have: not empty, no '/', not '.'.
bool UsableLinkName(const std::string& name) {
  return !name.empty() && name != "." && name.find('/') == std::string::npos;
}

// ---- MAT ------------------------------------------------------------------

// A valid MATLAB name: letters, digits and '_', a letter first, at most 63
// characters.
std::string MatlabName(const std::string& text, const std::string& fallback) {
  std::string name;
  for (const char c : text) name += std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80 ? c : '_';
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = fallback + "_" + name;
  if (name.size() > 63) name.resize(63);
  return name;
}

// Names unique within a set: a taken one gets _2, _3, ... (kept within 63).
std::string Unique(std::string name, std::set<std::string>& taken, std::size_t limit) {
  std::string candidate = name;
  for (int n = 2; taken.count(candidate) != 0; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    candidate = name.substr(0, std::min(name.size(), limit - suffix.size())) + suffix;
  }
  taken.insert(candidate);
  return candidate;
}

// matio's messages, kept for the one line the failure prints.
std::string g_matioMessage;
void KeepMatioMessage(int, char* message) {
  g_matioMessage = message ? message : "";
}

// A matio variable freed with its fields.
struct MatVarFree {
  void operator()(matvar_t* variable) const { Mat_VarFree(variable); }
};
using MatVar = std::unique_ptr<matvar_t, MatVarFree>;

MatVar MatString(const std::string& value) {
  std::size_t dims[2] = {1, value.size()};
  return MatVar(Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UTF8, 2, dims, const_cast<char*>(value.data()), 0));
}
MatVar MatDouble(const double* values, std::size_t count, bool copy) {
  std::size_t dims[2] = {count, 1};
  return MatVar(Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, const_cast<double*>(values),
                              copy ? 0 : MAT_F_DONT_COPY_DATA));
}
MatVar MatNumber(double value) { return MatDouble(&value, 1, true); }

MatVar MatStruct(const char* name, std::size_t count, const std::vector<std::string>& fields) {
  std::vector<const char*> names;
  for (const std::string& f : fields) names.push_back(f.c_str());
  std::size_t dims[2] = {1, count};
  return MatVar(Mat_VarCreateStruct(name, 2, dims, names.data(), static_cast<unsigned>(names.size())));
}

void SetField(matvar_t* structure, const std::string& field, std::size_t index, MatVar value) {
  if (!value) throw Failure("cannot build the MAT variable: out of memory");
  Mat_VarSetStructFieldByName(structure, field.c_str(), index, value.release());
}

// matio does not check its writes of MAT 5 files. A complete file is the
// 128-byte header and then the data elements, each an 8-byte tag with its
// size and that many bytes, padded to 8: a write that failed leaves an
// element that runs past the end of the file, or fewer elements.
bool CompleteMat5(const std::string& path, std::size_t variables) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::uint64_t position = 128;
  std::size_t found = 0;
  bool complete = std::fseek(file, 0, SEEK_END) == 0;
  const long end = std::ftell(file);
  complete = complete && end >= 128;
  while (complete && position < static_cast<std::uint64_t>(end)) {
    unsigned char tag[8];
    complete = std::fseek(file, static_cast<long>(position), SEEK_SET) == 0 && std::fread(tag, 1, 8, file) == 8;
    if (!complete) break;
    // Little-endian, as matio writes on this machine; a small element packs
    // its size into the tag's upper half.
    const std::uint32_t first = tag[0] | tag[1] << 8 | static_cast<std::uint32_t>(tag[2]) << 16 |
                                static_cast<std::uint32_t>(tag[3]) << 24;
    const std::uint32_t size = tag[4] | tag[5] << 8 | static_cast<std::uint32_t>(tag[6]) << 16 |
                               static_cast<std::uint32_t>(tag[7]) << 24;
    position += (first >> 16) != 0 ? 8 : 8 + (std::uint64_t{size} + 7) / 8 * 8;
    ++found;
  }
  std::fclose(file);
  return complete && position == static_cast<std::uint64_t>(end) && found == variables;
}

// ---- the command ------------------------------------------------------------

bool EndsWith(const std::string& text, const char* end) {
  const std::size_t n = std::strlen(end);
  if (text.size() < n) return false;
  return CString(text.substr(text.size() - n).c_str()).CompareNoCase(end) == 0;
}

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

void WriteMat(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
              std::vector<SectionPlan>& plans, bool version5) {
  // A MAT 5 variable's size is a 32-bit count, and readers take it as
  // signed: each section's struct must stay below 2 GB.
  constexpr std::uint64_t kMat5Limit = (std::uint64_t{1} << 31) - (std::uint64_t{1} << 20);
  for (const SectionPlan& plan : plans) {
    std::uint64_t bytes = plan.sharedX ? std::uint64_t{8} * plan.range.count : 0;
    for (const int c : plan.channels)
      bytes += std::uint64_t{8} * ChannelRowsIn(*plan.section->m_arrChannels.GetAt(c), plan.range) *
               (plan.sharedX ? 1 : 2);
    if (version5 && bytes > kMat5Limit)
      throw Failure("section " + std::to_string(plan.index) + " holds " + std::to_string(bytes) +
                    " bytes of values; a MAT 5 variable holds less than 2 GB: use --mat-version 7.3, or fewer "
                    "rows or channels");
  }
  OutputFile output(outPath);
  if (output.TemporaryPath().empty())
    throw Failure("cannot write " + outPath + ": export writes regular files only");
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  Mat_LogInitFunc("qtx", KeepMatioMessage);
  const auto fail = [&](const char* what) {
    const int error = errno;
    throw Failure("cannot write " + outPath + ": " +
                  (error != 0 ? std::string(std::strerror(error)) : g_matioMessage.empty() ? what : g_matioMessage));
  };
  errno = 0;
  g_matioMessage.clear();
  mat_t* raw = Mat_CreateVer(output.TemporaryPath().c_str(), "QTX export", version5 ? MAT_FT_MAT5 : MAT_FT_MAT73);
  if (!raw) fail("cannot create the MAT file");
  struct MatClose {
    void operator()(mat_t* mat) const { Mat_Close(mat); }
  };
  std::unique_ptr<mat_t, MatClose> mat(raw);

  for (SectionPlan& plan : plans) {
    const CQTXSection& section = *plan.section;
    // Field names: valid MATLAB names from the headings, distinct, and none
    // of the struct's own fields.
    std::set<std::string> taken = {"info", "channels"};
    if (plan.sharedX) taken.insert("X");
    std::vector<std::string> fields = {"info", "channels"};
    if (plan.sharedX) fields.push_back("X");
    for (const int c : plan.channels) {
      const std::string name =
          Unique(MatlabName(Text(section.m_arrChannels.GetAt(c)->m_strYHeading), "ch"), taken, 63);
      plan.names.push_back(name);
      fields.push_back(name);
      if (!plan.sharedX) {
        plan.xNames.push_back(Unique(name + "_X", taken, 63));
        fields.push_back(plan.xNames.back());
      }
    }
    // MAT 5: the values of the range, since matio writes a variable whole.
    // MAT 7.3: empty fields here, replaced by chunked datasets below.
    const std::size_t n = plan.channels.size();
    std::vector<std::vector<double>> ys(n);
    std::vector<std::vector<double>> xs(plan.sharedX ? 1 : n);
    if (version5)
      ReadChunks(qtx, path, section, plan.channels, plan.range,
               [&](std::uint32_t firstRow, std::uint32_t rows, const std::vector<const double*>& x,
                   const std::vector<const double*>& y) {
                 const std::uint32_t at = firstRow - plan.range.first;
                 if (plan.sharedX) xs[0].insert(xs[0].end(), x[0], x[0] + rows);
                 for (std::size_t k = 0; k < n; ++k) {
                   const std::uint32_t own = ChannelRowsIn(*section.m_arrChannels.GetAt(plan.channels[k]), plan.range);
                   const std::uint32_t take = own > at ? std::min(rows, own - at) : 0;
                   ys[k].insert(ys[k].end(), y[k], y[k] + take);
                   if (!plan.sharedX) xs[k].insert(xs[k].end(), x[k], x[k] + take);
                 }
               });
    const std::string variable = "section_" + std::to_string(plan.index);
    MatVar top = MatStruct(variable.c_str(), 1, fields);
    if (!top) throw Failure("cannot build the MAT variable: out of memory");
    MatVar info = MatStruct(nullptr, 1,
                            {"source", "description", "date", "time", "time_pref", "x_columns", "section", "first_row"});
    if (!info) throw Failure("cannot build the MAT variable: out of memory");
    SetField(info.get(), "source", 0, MatString(path));
    SetField(info.get(), "description", 0, MatString(Text(qtx.m_strDescription)));
    SetField(info.get(), "date", 0, MatString(Text(qtx.m_strDate)));
    SetField(info.get(), "time", 0, MatString(Text(qtx.m_strTime)));
    SetField(info.get(), "time_pref", 0, MatString(Text(qtx.m_strTimePref)));
    SetField(info.get(), "x_columns", 0, MatString(ModeName(qtx.m_nXColumns)));
    SetField(info.get(), "section", 0, MatNumber(static_cast<double>(plan.index)));
    SetField(info.get(), "first_row", 0, MatNumber(plan.range.first));
    SetField(top.get(), "info", 0, std::move(info));
    MatVar channels = MatStruct(nullptr, n,
                                {"field", "heading", "dimension", "unit", "x_heading", "x_dimension", "x_unit",
                                 "x0", "delta_x", "samples", "index", "date", "time"});
    if (!channels) throw Failure("cannot build the MAT variable: out of memory");
    for (std::size_t k = 0; k < n; ++k) {
      const CQTXChannel& c = *section.m_arrChannels.GetAt(plan.channels[k]);
      SetField(channels.get(), "field", k, MatString(plan.names[k]));
      SetField(channels.get(), "heading", k, MatString(Text(c.m_strYHeading)));
      SetField(channels.get(), "dimension", k, MatString(Text(c.m_strYDimension)));
      SetField(channels.get(), "unit", k, MatString(Text(c.m_strYUnitLabel)));
      SetField(channels.get(), "x_heading", k, MatString(Text(c.m_strXHeading)));
      SetField(channels.get(), "x_dimension", k, MatString(Text(c.m_strXDimension)));
      SetField(channels.get(), "x_unit", k, MatString(Text(c.m_strXUnitLabel)));
      SetField(channels.get(), "x0", k, MatNumber(c.m_dX0));
      SetField(channels.get(), "delta_x", k, MatNumber(c.m_dDeltaX));
      SetField(channels.get(), "samples", k, MatNumber(c.m_nSamples));
      SetField(channels.get(), "index", k, MatNumber(plan.channels[k]));
      SetField(channels.get(), "date", k, MatString(Text(c.m_strDate)));
      SetField(channels.get(), "time", k, MatString(Text(c.m_strTime)));
    }
    SetField(top.get(), "channels", 0, std::move(channels));
    std::size_t field = plan.sharedX ? 3 : 2;
    if (plan.sharedX) SetField(top.get(), "X", 0, MatDouble(xs[0].data(), xs[0].size(), false));
    for (std::size_t k = 0; k < n; ++k) {
      SetField(top.get(), fields[field++], 0, MatDouble(ys[k].data(), ys[k].size(), false));
      if (!plan.sharedX) SetField(top.get(), fields[field++], 0, MatDouble(xs[k].data(), xs[k].size(), false));
    }
    errno = 0;
    g_matioMessage.clear();
    if (Mat_VarWrite(mat.get(), top.get(), MAT_COMPRESSION_NONE) != 0) fail("cannot write a variable");
  }
  errno = 0;
  g_matioMessage.clear();
  if (Mat_Close(mat.release()) != 0) fail("cannot complete the MAT file");
  if (version5 && !CompleteMat5(output.TemporaryPath(), plans.size())) {
    errno = 0;
    fail("the MAT file was not written completely (a full disk or a size limit)");
  }
  if (!version5) WriteMatColumns(qtx, path, output, outPath, plans);
  output.Commit();
}

int Run(const std::vector<std::string>& args) {
  // HDF5 closes what is open when the process ends, and crashes doing so on
  // a file whose close failed; everything is closed here before that.
  H5dont_atexit();
  const Arguments arguments(args, {"--section", "--channels", "--x", "--mat-version"});
  arguments.ExpectPositionals(2);
  const std::string& path = arguments.Positionals()[0];
  const std::string& outPath = arguments.Positionals()[1];
  const bool mat = EndsWith(outPath, ".mat");
  if (!mat && !EndsWith(outPath, ".h5") && !EndsWith(outPath, ".hdf5") && !EndsWith(outPath, ".he5"))
    throw UsageError("OUT must end in .h5, .hdf5, .he5 or .mat, not '" + outPath + "'");
  const std::size_t version = arguments.GetChoice("--mat-version", {"7.3", "5"}, 0);
  if (!mat && arguments.Has("--mat-version")) throw UsageError("option --mat-version is for .mat files");
  const std::optional<long long> sectionIndex = arguments.GetInteger("--section", 0);
  if (SameFile(path, outPath)) throw Failure(outPath + " is FILE itself; export writes another file");

  CQTXGeneral qtx;
  ScanFile(qtx, path);
  std::vector<SectionPlan> plans;
  const long long count = qtx.m_arrSections.GetSize();
  if (sectionIndex) SectionAt(qtx, *sectionIndex);
  if (count == 0) throw Failure(path + " has no section to export");
  for (long long i = sectionIndex.value_or(0); i < (sectionIndex ? *sectionIndex + 1 : count); ++i) {
    SectionPlan plan;
    plan.index = i;
    plan.section = &SectionAt(qtx, i);
    plan.channels = ChosenChannels(arguments, *plan.section, i);
    plan.sharedX = SharesX(qtx, *plan.section, plan.channels);
    plan.range = ChosenRows(qtx, *plan.section, i, path, arguments);
    WarnIfShort(*plan.section, i, path);
    plans.push_back(std::move(plan));
  }
  if (mat)
    WriteMat(qtx, path, outPath, plans, version == 1);
  else
    WriteHdf5(qtx, path, outPath, plans);
  return kExitOk;
}

}  // namespace

extern const Command kExportCommand = {"export", "write sections as HDF5 or as a MAT file", kUsage, Run};
const Command* const kOptionalExport = &kExportCommand;
const char* const kExportLeftOut = "";

}  // namespace qtx::tool
