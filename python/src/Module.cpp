// The extension module behind the package qtx: the library's file scan, data
// reader, header writer and resampler, with Python's exceptions, numpy arrays
// that take over the library's own, and the GIL released while files are
// scanned, read and written. The package's Python files build the public API
// on these few calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "writer/DataRow.h"

namespace py = pybind11;

namespace {

// A failed system call, raised in Python as the OSError subclass of its errno.
class OsFailure : public std::exception {
 public:
  OsFailure(int error, std::string path, const char* message = nullptr)
      : m_error(error > 0 ? error : EIO), m_path(std::move(path)), m_message(message) {}
  const char* what() const noexcept override { return "system call failed"; }
  int Error() const noexcept { return m_error; }
  const std::string& Path() const noexcept { return m_path; }
  // The words of the error: the system's for its errno unless given.
  const char* Message() const noexcept { return m_message ? m_message : std::strerror(m_error); }

 private:
  int m_error;
  std::string m_path;
  const char* m_message;
};

// A file without a complete main header: qtx.FormatError.
class FormatFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sizes declared in a file that cannot fit in memory: MemoryError with a
// message that says so.
class TooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sets OSError(errno, strerror, path); Python's OSError picks the subclass
// of the errno itself (FileNotFoundError, IsADirectoryError, ...).
void SetOsError(int error, const std::string& path, const char* message = nullptr) {
  if (message == nullptr) message = std::strerror(error);
  PyObject* error_object = nullptr;
  if (path.empty()) {
    error_object = PyObject_CallFunction(PyExc_OSError, "is", error, message);
  } else {
    PyObject* filename = PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
    if (filename == nullptr) return;  // the decoding error stands instead
    error_object = PyObject_CallFunction(PyExc_OSError, "isO", error, message, filename);
    Py_DECREF(filename);
  }
  if (error_object == nullptr) return;
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error_object)), error_object);
  Py_DECREF(error_object);
}

void Translate(std::exception_ptr pending) {
  try {
    if (pending) std::rethrow_exception(pending);
  } catch (const OsFailure& e) {
    SetOsError(e.Error(), e.Path(), e.Message());
  } catch (const CFileException& e) {  // a read that failed after the open
    SetOsError(e.m_lOsError > 0 ? e.m_lOsError : EIO, e.m_strFileName.Str());
  } catch (const TooLarge& e) {
    PyErr_SetString(PyExc_MemoryError, e.what());
  }
}

// A path handed to the system: a NUL byte would cut it short.
const std::string& CheckedPath(const std::string& path) {
  if (path.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return path;
}

// Text of the file as a Python str: UTF-8 where it is valid, other bytes as
// surrogates, which the package encodes back to the same bytes.
py::str Text(const CString& text) {
  PyObject* str = PyUnicode_DecodeUTF8(text.GetString(), text.GetLength(), "surrogateescape");
  if (str == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(str);
}

std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

using Values = std::unique_ptr<double[]>;
using XColumns = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A numpy array over `values`, which it owns from here on: numpy releases
// them with delete[] once no array refers to them any more.
py::array Adopt(Values values, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides) {
  py::capsule owner(values.get(), [](void* data) { delete[] static_cast<double*>(data); });
  double* data = values.release();
  return py::array_t<double>(std::move(shape), std::move(strides), data, owner);
}

py::array Vector(Values values, std::size_t n, bool copy) {
  if (!copy) return Adopt(std::move(values), {static_cast<py::ssize_t>(n)}, {sizeof(double)});
  py::array_t<double> array(static_cast<py::ssize_t>(n));
  std::copy_n(values.get(), n, array.mutable_data());
  return array;
}

// The X and Y arrays of one channel.
struct Channel {
  Values x;
  Values y;
};

// The largest Samples among the section's channels: its number of rows.
std::uint32_t RowCount(const CQTXSection& section) {
  std::uint32_t rows = 0;
  const std::ptrdiff_t n = std::min<std::ptrdiff_t>(section.m_nChannels, section.m_arrChannels.GetSize());
  for (std::ptrdiff_t j = 0; j < n; ++j) rows = std::max(rows, section.m_arrChannels.GetAt(j)->m_nSamples);
  return rows;
}

// A scanned file, kept open for reads: the library's model of it and the file
// object the data reader reads through. The library's objects serve one
// thread at a time and the GIL is released while they work, so every call
// that uses them takes this file's lock, after the GIL is released.
class ScannedFile {
 public:
  explicit ScannedFile(const std::string& path) {
    // The reads seek back, and a FIFO would not even open until someone
    // writes to it: refused before the scan, as the tool does. What is
    // missing or a folder, the open below says best.
    std::error_code statusError;
    const auto type = std::filesystem::status(path, statusError).type();
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::directory &&
        type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
      throw OsFailure(ESPIPE, path, "not a regular file; qtx reads files it can seek in");
    bool complete;
    try {
      complete = m_qtx.ReadQTXFile(CString(path));
    } catch (const std::bad_alloc&) {
      throw TooLarge("the file declares more sections or channels than fit in memory");
    }
    // The scan says only whether it worked; the open of the file for the
    // reads says why not.
    CFileException error;
    if (!m_file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
      throw OsFailure(error.m_lOsError, path);
    if (!complete) throw FormatFailure("the file ends before the main header's end line");
    for (std::ptrdiff_t i = 0; i < m_qtx.m_arrSections.GetSize(); ++i)
      m_rows.push_back(RowCount(*m_qtx.m_arrSections.GetAt(i)));
  }

  py::tuple Settings() const {
    return py::make_tuple(Text(m_qtx.m_strSeparator), Text(m_qtx.m_strSeparatorName), m_qtx.m_dWriterVersion,
                          m_qtx.m_dReaderVersion, m_qtx.m_bMultiHeadings, m_qtx.m_nXColumns);
  }

  // The main header's Description, Date, Time and Time_Pref as written.
  py::tuple Metadata() const {
    return py::make_tuple(Text(m_qtx.m_strDescription), Text(m_qtx.m_strDate), Text(m_qtx.m_strTime),
                          Text(m_qtx.m_strTimePref));
  }

  // Per section: rows, data line, and the channels' labels and X grid. Reads
  // change none of these.
  py::list Sections() const {
    py::list sections;
    for (std::ptrdiff_t i = 0; i < m_qtx.m_arrSections.GetSize(); ++i) {
      const CQTXSection& section = *m_qtx.m_arrSections.GetAt(i);
      py::list channels;
      for (std::ptrdiff_t j = 0; j < section.m_arrChannels.GetSize(); ++j) {
        const CQTXChannel& c = *section.m_arrChannels.GetAt(j);
        channels.append(py::make_tuple(c.m_nIndex, Text(c.m_strYHeading), Text(c.m_strXHeading),
                                       Text(c.m_strYDimension), Text(c.m_strYUnitLabel),
                                       Text(c.m_strXDimension), Text(c.m_strXUnitLabel), c.m_nSamples,
                                       c.m_dX0, c.m_dDeltaX, Text(c.m_strDate), Text(c.m_strTime)));
      }
      sections.append(py::make_tuple(m_rows[static_cast<std::size_t>(i)], section.m_nDataLine, channels));
    }
    return sections;
  }

  // X and Y of each channel asked for, in that order.
  py::list Read(std::size_t section, const std::vector<int>& channels, bool copy) {
    const std::size_t rows = Rows(section);
    std::map<int, Channel> taken;
    {
      py::gil_scoped_release release;
      taken = Take(section, channels);
    }
    std::map<int, py::tuple> arrays;  // a channel asked for twice gives the same arrays twice
    py::list pairs;
    for (const int j : channels) {
      if (arrays.count(j) == 0) {
        Channel& c = taken[j];
        arrays[j] = py::make_tuple(Vector(std::move(c.x), rows, copy), Vector(std::move(c.y), rows, copy));
      }
      pairs.append(arrays[j]);
    }
    return pairs;
  }

  // One (rows, columns) array in column order: per channel asked for, its X
  // column and then its Y column, or its Y column alone, with the first
  // channel's X beside it as one array (the library gives every channel a
  // copy of a shared X; the others are released at once).
  py::tuple ReadBlock(std::size_t section, const std::vector<int>& channels, bool with_x) {
    const std::size_t rows = Rows(section);
    const std::size_t columns = channels.size() * (with_x ? 2 : 1);
    Values x;
    Values block;
    {
      py::gil_scoped_release release;
      std::map<int, Channel> taken = Take(section, channels);
      if (!with_x) {
        x = std::move(taken[channels[0]].x);
        for (auto& entry : taken) entry.second.x.reset();
      }
      if (rows != 0 && columns > std::numeric_limits<std::size_t>::max() / sizeof(double) / rows)
        throw TooLarge("the section's values do not fit in memory");
      block.reset(new double[rows * columns]);
      double* column = block.get();
      for (const int j : channels) {
        const Channel& c = taken[j];
        if (with_x) column = std::copy_n(c.x.get(), rows, column);
        column = std::copy_n(c.y.get(), rows, column);
      }
    }
    const auto n = static_cast<py::ssize_t>(rows);
    const py::ssize_t step = sizeof(double);
    py::object x_array = py::none();
    if (x) x_array = Adopt(std::move(x), {n}, {step});
    return py::make_tuple(x_array,
                          Adopt(std::move(block), {n, static_cast<py::ssize_t>(columns)}, {step, step * n}));
  }

  void Close() {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.Close();
  }

  bool Closed() {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_file.IsOpen();
  }

 private:
  std::size_t Rows(std::size_t section) const {
    if (section >= m_rows.size()) throw py::index_error("section index out of range");
    return m_rows[section];
  }

  // Reads the section's values and takes the arrays of the channels asked for
  // out of the library's channels, which keep none: a later read gives them
  // new arrays and cannot touch these. Called without the GIL.
  std::map<int, Channel> Take(std::size_t section, const std::vector<int>& channels) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file.IsOpen()) throw py::value_error("I/O operation on closed file.");
    if (channels.empty()) throw py::value_error("no channel selected");
    CQTXSection& s = *m_qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(section));
    const std::ptrdiff_t count = std::min<std::ptrdiff_t>(s.m_nChannels, s.m_arrChannels.GetSize());
    for (const int j : channels)
      if (j < 0 || j >= count) throw py::index_error("channel index out of range");
    const bool one = std::all_of(channels.begin(), channels.end(), [&](int j) { return j == channels[0]; });
    std::uint32_t line = s.m_nDataLine;
    try {
      m_qtx.QTX_ReadData(line, &m_file, &s, 1, one ? channels[0] : -1);
    } catch (const std::bad_alloc&) {
      throw TooLarge("the section declares more rows than fit in memory");
    }
    std::map<int, Channel> taken;
    for (const int j : channels) {
      CQTXChannel& c = *s.m_arrChannels.GetAt(j);
      if (taken.count(j) != 0) continue;
      Channel& slot = taken[j];  // first, so that nothing can throw between the handing over and its record
      slot.x.reset(c.m_pXValues);
      slot.y.reset(c.m_pYValues);
      c.m_pXValues = c.m_pYValues = nullptr;
    }
    // What was read for the channels not asked for goes now.
    for (std::ptrdiff_t j = 0; j < s.m_arrChannels.GetSize(); ++j) {
      CQTXChannel& c = *s.m_arrChannels.GetAt(j);
      delete[] c.m_pXValues;
      delete[] c.m_pYValues;
      c.m_pXValues = c.m_pYValues = nullptr;
    }
    return taken;
  }

  std::mutex m_mutex;
  CQTXGeneral m_qtx;
  CStdioFile m_file;
  std::vector<std::uint32_t> m_rows;  // per section
};

// Labels of one section's channels, in channel order, as bytes.
struct Labels {
  std::vector<std::string> y_headings;
  std::vector<std::string> x_headings;
  std::vector<std::string> y_dimensions;
  std::vector<std::string> y_units;
  std::vector<std::string> x_dimensions;
  std::vector<std::string> x_units;
  std::vector<std::string> dates;  // none: the writer's date for every channel
  std::vector<std::string> times;
};

// A QTX file being written: the library's main header, then sections, each
// the library's section header followed by its data rows. Every
// write is checked; a failure raises OSError. Like ScannedFile, every call
// takes the writer's lock after releasing the GIL.
class FileWriter {
 public:
  // The metadata texts: empty ones get the header writer's defaults (now
  // for the date and time); the date and time stamp every section too.
  FileWriter(const std::string& path, int mode, const std::string& description, const std::string& time_pref,
             const std::string& date, const std::string& time)
      : m_path(path), m_mode(mode), m_date(date), m_time(time) {
    errno = 0;
    m_stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!m_stream.is_open()) throw OsFailure(errno, path);
    CQTXGeneral stamps;
    stamps.m_strDescription = description;
    stamps.m_strTimePref = time_pref;
    stamps.m_strDate = date;
    stamps.m_strTime = time;
    stamps.QTX_WriteMainHeaderStamped(m_stream, mode);
    Check();
  }

  // x: none in mode 0, (rows) in mode 1, (rows, channels) in mode 2; y:
  // (rows, channels).
  void WriteSection(const Labels& labels, const std::vector<double>& x0, const std::vector<double>& delta_x,
                    const py::object& x_object, const py::array_t<double, py::array::forcecast>& y_array) {
    if (y_array.ndim() != 2) throw py::value_error("Y must have two dimensions");
    const auto y = y_array.unchecked<2>();
    const py::ssize_t rows = y.shape(0);
    const py::ssize_t channels = y.shape(1);
    const auto k = static_cast<std::size_t>(channels);
    for (const auto* list : {&labels.y_headings, &labels.x_headings, &labels.y_dimensions, &labels.y_units,
                             &labels.x_dimensions, &labels.x_units})
      if (list->size() != k) throw py::value_error("one label per channel is needed");
    if (x0.size() != k || delta_x.size() != k)
      throw py::value_error("one X0 and Delta_X per channel are needed");
    if (channels == 0 || channels > std::numeric_limits<int>::max() ||
        rows > py::ssize_t{std::numeric_limits<std::uint32_t>::max()})
      throw py::value_error("a section holds 1 to 2147483647 channels and at most 4294967295 rows");
    // X as one column for every channel (rows), or one per channel (rows,
    // channels) in mode 2; contiguous, so that its steps are whole values.
    XColumns x_array;
    const double* x_data = nullptr;
    py::ssize_t x_column_step = 0;
    if (m_mode != 0) {
      x_array = XColumns::ensure(x_object);
      if (!x_array || x_array.ndim() < 1 || x_array.ndim() > (m_mode == 1 ? 1 : 2) ||
          x_array.shape(0) != rows || (x_array.ndim() == 2 && x_array.shape(1) != channels))
        throw py::value_error("X must be (rows) in mode one and (rows) or (rows, channels) in mode multi");
      x_data = x_array.data();
      if (x_array.ndim() == 2) x_column_step = 1;
    }
    const py::ssize_t x_row_step = x_column_step != 0 ? channels : 1;

    CQTXSection section;
    section.m_nChannels = static_cast<int>(channels);
    for (std::size_t i = 0; i < k; ++i) {
      auto channel = std::make_unique<CQTXChannel>();
      channel->m_nIndex = static_cast<int>(i);
      channel->m_nSamples = static_cast<std::uint32_t>(rows);
      channel->m_strYHeading = labels.y_headings[i];
      channel->m_strXHeading = labels.x_headings[i];
      channel->m_strYDimension = labels.y_dimensions[i];
      channel->m_strYUnitLabel = labels.y_units[i];
      channel->m_strXDimension = labels.x_dimensions[i];
      channel->m_strXUnitLabel = labels.x_units[i];
      channel->m_dX0 = x0[i];
      channel->m_dDeltaX = delta_x[i];
      channel->m_strDate = i < labels.dates.size() ? labels.dates[i] : m_date;
      channel->m_strTime = i < labels.times.size() ? labels.times[i] : m_time;
      section.m_arrChannels.Add(channel.get());
      channel.release();  // owned by the section from here
    }

    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream.is_open()) throw py::value_error("I/O operation on closed file.");
    errno = 0;
    section.WriteSectionHeaderStamped(m_stream, m_mode);
    Check();
    // Each row's X and Y per channel, laid out by the mode as the library
    // writes data rows.
    std::vector<double> xs(k), ys(k);
    std::string text;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    text.reserve(kChunk + k * 64);
    for (py::ssize_t r = 0; r < rows; ++r) {
      for (py::ssize_t j = 0; j < channels; ++j) {
        if (m_mode != 0) xs[j] = x_data[r * x_row_step + j * x_column_step];
        ys[j] = y(r, j);
      }
      qtx::writer::AppendDataRow(text, m_mode, k, xs.data(), ys.data(), 1);
      if (text.size() >= kChunk) Write(text);
    }
    Write(text);
  }

  void Close() {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream.is_open()) return;
    const bool failed_before = !m_stream;
    errno = 0;
    m_stream.close();
    if (failed_before || !m_stream) throw OsFailure(errno, m_path);
  }

 private:
  void Write(std::string& text) {
    m_stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    text.clear();
    Check();
  }

  void Check() const {
    if (!m_stream) throw OsFailure(errno, m_path);
  }

  std::mutex m_mutex;
  std::string m_path;
  int m_mode;
  std::string m_date;
  std::string m_time;
  std::ofstream m_stream;
};

// How many grid abscissas the resampler can produce: those from `start`, one
// step added at a time, below the largest X after the first point, where the
// last segment that produces anything ends.
std::uint32_t GridSize(double start, double step, const double* x, std::size_t n) {
  double end = -std::numeric_limits<double>::infinity();
  for (std::size_t i = 1; i < n; ++i)
    if (x[i] > end) end = x[i];
  if (!(start < end)) return 0;
  constexpr std::uint32_t kMost = std::numeric_limits<std::uint32_t>::max();
  const std::string too_many = "the step " + Shortest(step) + " gives more than 4294967295 values";
  if (!((end - start) / step < kMost)) throw py::value_error(too_many);
  std::uint64_t count = 0;
  for (double t = start; t < end;) {
    if (++count > kMost) throw py::value_error(too_many);
    const double next = t + step;
    if (next == t)
      throw py::value_error("the step " + Shortest(step) + " is too small to move on from X " + Shortest(t));
    t = next;
  }
  return static_cast<std::uint32_t>(count);
}

using Points = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The grid abscissas and the values the library's resampler gives there.
py::tuple Resample(const Points& x, const Points& y, double start, double step) {
  if (x.ndim() != 1 || y.ndim() != 1 || x.size() != y.size())
    throw py::value_error("x and y must be 1-D and of the same length");
  if (x.size() < 2) throw py::value_error("resampling needs at least 2 points");
  if (x.size() > py::ssize_t{std::numeric_limits<std::uint32_t>::max()})
    throw py::value_error("resampling takes at most 4294967295 points");
  if (!(step > std::numeric_limits<double>::min()) || !std::isfinite(step))
    throw py::value_error("the step must be finite and above 2.2250738585072014e-308, not " + Shortest(step));
  if (!std::isfinite(start)) throw py::value_error("the start must be finite, not " + Shortest(start));
  const auto n = static_cast<std::uint32_t>(x.size());
  std::uint32_t count;
  {
    py::gil_scoped_release release;
    count = GridSize(start, step, x.data(), n);
  }
  // The resampler needs room for one value even when it is to store none.
  py::array_t<double> grid(std::max<py::ssize_t>(count, 1));
  py::array_t<double> values(std::max<py::ssize_t>(count, 1));
  double* t = grid.mutable_data();
  double* out = values.mutable_data();
  std::uint32_t stored = count;
  bool ok;
  {
    py::gil_scoped_release release;
    // The library only reads pY.
    ok = CQTXGeneral::QTX_InterpolateData(start, step, x.data(), const_cast<double*>(y.data()), n, stored,
                                          out);
    double abscissa = start;
    for (std::uint32_t k = 0; k < stored; ++k, abscissa += step) t[k] = abscissa;
  }
  if (!ok) throw py::value_error("the resampler refused the arguments");
  const py::slice kept(0, static_cast<py::ssize_t>(stored), 1);
  return py::make_tuple(grid[kept], values[kept]);
}

}  // namespace

PYBIND11_MODULE(_qtx, m) {
  m.doc() = "The library's reader, writer and resampler for the package qtx.";
  py::register_exception<FormatFailure>(m, "FormatError", PyExc_ValueError);
  py::register_exception_translator(&Translate);

  py::class_<ScannedFile>(m, "ScannedFile")
      .def(py::init([](const std::string& path) {
             CheckedPath(path);
             py::gil_scoped_release release;
             return std::make_unique<ScannedFile>(path);
           }),
           py::arg("path"))
      .def("settings", &ScannedFile::Settings)
      .def("metadata", &ScannedFile::Metadata)
      .def("sections", &ScannedFile::Sections)
      .def("read", &ScannedFile::Read, py::arg("section"), py::arg("channels"), py::arg("copy"))
      .def("read_block", &ScannedFile::ReadBlock, py::arg("section"), py::arg("channels"), py::arg("with_x"))
      .def("close", &ScannedFile::Close)
      .def_property_readonly("closed", &ScannedFile::Closed);

  py::class_<FileWriter>(m, "FileWriter")
      .def(py::init([](const std::string& path, int mode, const std::string& description,
                       const std::string& time_pref, const std::string& date, const std::string& time) {
             CheckedPath(path);
             py::gil_scoped_release release;
             return std::make_unique<FileWriter>(path, mode, description, time_pref, date, time);
           }),
           py::arg("path"), py::arg("mode"), py::arg("description") = "", py::arg("time_pref") = "",
           py::arg("date") = "", py::arg("time") = "")
      .def(
          "write_section",
          [](FileWriter& writer, const py::dict& labels, const std::vector<double>& x0,
             const std::vector<double>& delta_x, const py::object& x,
             const py::array_t<double, py::array::forcecast>& y) {
            auto list = [&](const char* name) { return labels[name].cast<std::vector<std::string>>(); };
            auto optional = [&](const char* name) {
              return labels.contains(name) ? list(name) : std::vector<std::string>();
            };
            writer.WriteSection({list("y_headings"), list("x_headings"), list("y_dimensions"),
                                 list("y_units"), list("x_dimensions"), list("x_units"), optional("dates"),
                                 optional("times")},
                                x0, delta_x, x, y);
          },
          py::arg("labels"), py::arg("x0"), py::arg("delta_x"), py::arg("x"), py::arg("y"))
      .def("close", &FileWriter::Close);

  m.def(
      "estimate_time_step",
      [](std::uint32_t count, double start, double end) {
        return CQTXGeneral::EstimateTimeStep(nullptr, count, start, end);
      },
      py::arg("count"), py::arg("start"), py::arg("end"));
  m.def("resample", &Resample, py::arg("x"), py::arg("y"), py::arg("start"), py::arg("step"));
}
