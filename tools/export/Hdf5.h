// The HDF5 C library as the writers use it: identifiers closed by RAII, and
// every call checked, a failure thrown as one Failure naming OUT. Both the
// HDF5 writer and the values of a MAT 7.3 file write through it.
#ifndef QTX_TOOLS_EXPORT_HDF5_H
#define QTX_TOOLS_EXPORT_HDF5_H

#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "export/Writers.h"

namespace qtx::tool::exporter {

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

// The values of a MAT 7.3 file that matio wrote with empty value fields,
// into the temporary file of `output` (Mat73Values.cpp).
void WriteMatColumns(const CQTXGeneral& qtx, const std::string& path, OutputFile& output, const std::string& outPath,
                     const std::vector<SectionPlan>& plans);

}  // namespace qtx::tool::exporter

#endif  // QTX_TOOLS_EXPORT_HDF5_H
