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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/Platform.h"
#include "qtx/QTXLibrary.h"
#include "qtx/qtx.h"
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

using XColumns = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Values read for Python: malloc'ed, so that an array read longer than a
// channel's Samples can give back its tail (realloc), and released by numpy
// with free() once no array refers to them any more.
struct FreeValues {
  void operator()(double* p) const noexcept { std::free(p); }
};
using Values = std::unique_ptr<double, FreeValues>;

Values Allocate(std::size_t n) {
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(double))
    throw TooLarge("the section's values do not fit in memory");
  Values values(static_cast<double*>(std::malloc(std::max<std::size_t>(n, 1) * sizeof(double))));
  if (!values) throw TooLarge("the section's values do not fit in memory");
  // Fresh memory would otherwise fault in a page at a time as the rows fill
  // it, from every reading thread at once.
  constexpr std::size_t kPrefaultFrom = std::size_t{1} << 16;
  if (n * sizeof(double) >= kPrefaultFrom) qtx::platform::PrefaultForWrite(values.get(), n * sizeof(double));
  return values;
}

// Keeps the first n of the values, giving the rest back where the system
// can.
void Shrink(Values& values, std::size_t n) {
  if (void* p = std::realloc(values.get(), std::max<std::size_t>(n, 1) * sizeof(double))) {
    values.release();
    values.reset(static_cast<double*>(p));
  }
}

// A numpy array over `values`, which it owns from here on.
py::array Adopt(Values values, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides) {
  py::capsule owner(values.get(), [](void* data) { std::free(data); });
  double* data = values.release();
  return py::array_t<double>(std::move(shape), std::move(strides), data, owner);
}

py::array Vector(Values values, std::size_t n) {
  return Adopt(std::move(values), {static_cast<py::ssize_t>(n)}, {sizeof(double)});
}

void FillNaN(double* from, double* to) { std::fill(from, to, std::numeric_limits<double>::quiet_NaN()); }

void CheckChannels(const CQTXSection& s, const std::vector<int>& channels) {
  if (channels.empty()) throw py::value_error("no channel selected");
  const std::ptrdiff_t count = std::min<std::ptrdiff_t>(s.m_nChannels, s.m_arrChannels.GetSize());
  for (const int j : channels)
    if (j < 0 || j >= count) throw py::index_error("channel index out of range");
}

std::uint32_t RowsInFile(const CQTXSection& s) {
  return s.m_bRowsCounted ? std::min(s.m_nRowsInFile, s.RowCount()) : s.RowCount();
}

// Rows of [first, first + count) that the file holds.
std::uint32_t RowsHeld(const CQTXSection& s, std::uint32_t first, std::uint32_t count) {
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{first} + count, RowsInFile(s));
  return end > first ? static_cast<std::uint32_t>(end - first) : 0;
}

// Rows from `first` on within channel j's own Samples.
std::size_t OwnRows(const CQTXSection& s, int j, std::uint32_t first) {
  const std::uint32_t samples = s.m_arrChannels.GetAt(j)->m_nSamples;
  return samples > first ? samples - first : 0;
}

// What ReadBlockWith reads: the channels' one X (or none) and the block.
struct Block {
  Values x;
  Values values;
  std::size_t rows = 0;
  std::size_t columns = 0;

  py::tuple Arrays() {
    const auto n = static_cast<py::ssize_t>(rows);
    const py::ssize_t step = sizeof(double);
    py::object x_array = py::none();
    if (x) x_array = Adopt(std::move(x), {n}, {step});
    return py::make_tuple(x_array,
                          Adopt(std::move(values), {n, static_cast<py::ssize_t>(columns)}, {step, step * n}));
  }
};

// The block of ScannedFile::ReadBlock, read by fill(targets, rows), which
// returns the rows it stored. Called without the GIL.
template <class Fill>
Block ReadBlockWith(const CQTXSection& s, const std::vector<int>& channels, std::uint32_t first,
                    std::uint32_t count, bool with_x, Fill fill) {
  CheckChannels(s, channels);
  const std::size_t per_channel = with_x ? 2 : 1;
  Block block;
  block.columns = channels.size() * per_channel;
  const std::uint32_t rows = RowsHeld(s, first, count);
  block.rows = rows;
  if (rows != 0 && block.columns > std::numeric_limits<std::size_t>::max() / rows)
    throw TooLarge("the section's values do not fit in memory");
  block.values = Allocate(std::size_t{rows} * block.columns);
  if (!with_x) block.x = Allocate(rows);
  double* const values = block.values.get();
  // The library reads each channel once: a channel asked for again gets a
  // copy of its columns afterwards.
  std::vector<QTXChannelTarget> targets;
  std::vector<std::size_t> again;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    double* column = values + i * per_channel * rows;
    const auto before = std::find_if(targets.begin(), targets.end(),
                                     [&](const QTXChannelTarget& t) { return t.nChannel == channels[i]; });
    if (before != targets.end()) {
      again.push_back(i);
      continue;
    }
    double* column_x = with_x ? column : (targets.empty() ? block.x.get() : nullptr);
    targets.push_back({channels[i], column_x, with_x ? column + rows : column});
  }
  const std::uint32_t stored = fill(targets, rows);
  for (std::size_t i = 0; i < channels.size(); ++i) {
    double* column = values + i * per_channel * rows;
    if (std::find(again.begin(), again.end(), i) != again.end()) {
      const auto source = std::find(channels.begin(), channels.end(), channels[i]) - channels.begin();
      std::copy_n(values + static_cast<std::size_t>(source) * per_channel * rows, per_channel * rows, column);
      continue;
    }
    // Past the channel's Samples, and past the rows the file gave.
    const std::size_t held = std::min<std::size_t>(OwnRows(s, channels[i], first), stored);
    for (std::size_t k = 0; k < per_channel; ++k) FillNaN(column + k * rows + held, column + (k + 1) * rows);
  }
  if (block.x) FillNaN(block.x.get() + stored, block.x.get() + rows);
  return block;
}

// A scanned file, kept open for reads: the library's model of it and the file
// object the data reader reads through. The library's objects serve one
// thread at a time and the GIL is released while they work, so every call
// that uses them takes this file's lock, after the GIL is released.
class ScannedFile {
 public:
  // index_mode: 0 through a valid index, 1 scan, 2 scan as a follower.
  explicit ScannedFile(const std::string& path, int index_mode = 0) : m_path(path) {
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
      complete = m_qtx.QTX_OpenIndexed(CString(path), &m_use, index_mode);
    } catch (const std::bad_alloc&) {
      throw TooLarge("the file declares more sections or channels than fit in memory");
    }
    // The scan says only whether it worked; the open of the file for the
    // reads says why not.
    CFileException error;
    const unsigned share = index_mode == 2 ? CFile::shareDenyNone : CFile::shareDenyWrite;
    if (!m_file.Open(path.c_str(), CFile::modeRead | share | CFile::typeText, &error))
      throw OsFailure(error.m_lOsError, path);
    if (!complete) throw FormatFailure("the file ends before the main header's end line");
  }

  // (used, notice, text) of the open's use of the index file.
  py::tuple IndexUse() const { return py::make_tuple(m_use.bUsed, m_use.nNotice, Text(m_use.strText)); }

  // Writes FILE.qtxi; the one line why not, or None.
  py::object WriteIndex() const {
    CString error;
    bool written;
    {
      py::gil_scoped_release release;
      written = m_qtx.QTX_WriteIndex(CString(m_path), &error);
    }
    return written ? py::object(py::none()) : py::object(Text(error));
  }

  // (status, new rows per section, new sections, text) of QTX_Refresh.
  py::tuple Refresh() {
    QTXRefresh refresh;
    {
      py::gil_scoped_release release;
      m_qtx.QTX_Refresh(CString(m_path), &refresh);
    }
    py::list rows;
    for (std::ptrdiff_t i = 0; i < refresh.arrNewRows.GetSize(); ++i) rows.append(refresh.arrNewRows.GetAt(i));
    return py::make_tuple(refresh.nStatus, rows, refresh.nNewSections, Text(refresh.strText));
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

  // Per section: rows, data line, the channels' labels and X grid, and the
  // rows the file holds. Reads change none of these.
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
      sections.append(py::make_tuple(section.RowCount(), section.m_nDataLine, channels, RowsInFile(section)));
    }
    return sections;
  }

  // Rows [first, first + count) of the channels asked for, in that order,
  // only as many as the file holds: (x, pairs, rows). With `shared_x`, x is
  // the channels' one X and each pair (None, y); otherwise x is None and
  // each pair (x, y). Each channel's arrays end at its own Samples.
  py::tuple Read(std::size_t section, const std::vector<int>& channels, std::uint32_t first, std::uint32_t count,
                 unsigned threads, bool shared_x) {
    std::vector<int> unique;
    std::vector<Values> xs, ys;
    std::vector<std::size_t> own;
    Values x;
    std::uint32_t rows;
    {
      py::gil_scoped_release release;
      const CQTXSection& s = Section(section);
      CheckChannels(s, channels);
      for (const int j : channels)
        if (std::find(unique.begin(), unique.end(), j) == unique.end()) unique.push_back(j);
      rows = RowsHeld(s, first, count);
      std::vector<QTXChannelTarget> targets;
      if (shared_x) x = Allocate(rows);
      for (const int j : unique) {
        ys.push_back(Allocate(rows));
        xs.push_back(shared_x ? nullptr : Allocate(rows));
        double* column_x = shared_x ? (targets.empty() ? x.get() : nullptr) : xs.back().get();
        targets.push_back({j, column_x, ys.back().get()});
      }
      rows = Fill(s, first, rows, targets, threads);
      for (std::size_t i = 0; i < unique.size(); ++i) {
        own.push_back(std::min<std::size_t>(OwnRows(s, unique[i], first), rows));
        if (own[i] == rows) continue;
        Shrink(ys[i], own[i]);
        if (xs[i]) Shrink(xs[i], own[i]);
      }
    }
    std::map<int, py::tuple> arrays;  // a channel asked for twice gives the same arrays twice
    for (std::size_t i = 0; i < unique.size(); ++i) {
      py::object x_array = py::none();
      if (xs[i]) x_array = Vector(std::move(xs[i]), own[i]);
      arrays[unique[i]] = py::make_tuple(x_array, Vector(std::move(ys[i]), own[i]));
    }
    py::list pairs;
    for (const int j : channels) pairs.append(arrays[j]);
    py::object x_array = py::none();
    if (x) x_array = Vector(std::move(x), rows);
    return py::make_tuple(x_array, pairs, rows);
  }

  // Rows [first, first + count), as many as the file holds, as one (rows,
  // columns) array in column order: per channel asked for, its X column and
  // then its Y column, or its Y column alone, with the channels' one X
  // beside it. Values past a channel's own Samples are NaN.
  py::tuple ReadBlock(std::size_t section, const std::vector<int>& channels, std::uint32_t first,
                      std::uint32_t count, unsigned threads, bool with_x) {
    Block block;
    {
      py::gil_scoped_release release;
      const CQTXSection& s = Section(section);
      block = ReadBlockWith(s, channels, first, count, with_x,
                            [&](const std::vector<QTXChannelTarget>& targets, std::uint32_t rows) {
                              return Fill(s, first, rows, targets, threads);
                            });
    }
    return block.Arrays();
  }

  // The rows whose X lies in [low, high]: (status, first, count), status
  // one of the library's QTXRowsBetweenStatus.
  py::tuple RowsBetween(std::size_t section, double low, double high) {
    int status;
    std::uint32_t first = 0, count = 0;
    {
      py::gil_scoped_release release;
      const CQTXSection& s = Section(section);
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_file.IsOpen()) throw py::value_error("I/O operation on closed file.");
      status = m_qtx.QTX_RowsBetween(&m_file, &s, low, high, first, count);
    }
    return py::make_tuple(status, first, count);
  }

  // What ReadBlockAt needs to read rows from `first` on in a process of its
  // own without a scan: the settings, where the rows begin, the rows the
  // file holds, the last row mark at or before `first`, and per channel X0,
  // Delta_X and Samples.
  py::tuple PartitionState(std::size_t section, std::uint32_t first) const {
    const CQTXSection& s = Section(section);
    QTXRowMark mark{0, s.m_nDataPosition};
    for (std::ptrdiff_t i = 0; i < s.m_arrRowMarks.GetSize() && s.m_arrRowMarks.GetAt(i).nRow <= first; ++i)
      mark = s.m_arrRowMarks.GetAt(i);
    py::list channels;
    for (int j = 0; j < s.m_nChannels; ++j) {
      const CQTXChannel& c = *s.m_arrChannels.GetAt(j);
      channels.append(py::make_tuple(c.m_dX0, c.m_dDeltaX, c.m_nSamples));
    }
    const CString& separator = m_qtx.m_strSeparator;
    return py::make_tuple(py::bytes(separator.GetString(), static_cast<std::size_t>(separator.GetLength())),
                          m_qtx.m_nXColumns, s.m_nDataPosition, RowsInFile(s), mark.nRow, mark.nPosition,
                          channels);
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
  const CQTXSection& Section(std::size_t section) const {
    if (section >= static_cast<std::size_t>(m_qtx.m_arrSections.GetSize()))
      throw py::index_error("section index out of range");
    return *m_qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(section));
  }

  // Reads `rows` rows from `first` on into the targets through the open
  // file, split over `threads` threads (0: one per core; 1: the caller's
  // thread alone). Returns the rows stored, fewer only where the file lost
  // rows since the scan. Called without the GIL.
  std::uint32_t Fill(const CQTXSection& s, std::uint32_t first, std::uint32_t rows,
                     const std::vector<QTXChannelTarget>& targets, unsigned threads) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file.IsOpen()) throw py::value_error("I/O operation on closed file.");
    if (threads == 1) return m_qtx.QTX_ReadRows(&m_file, &s, first, rows, targets.data(), targets.size()).nRows;
    return m_qtx.QTX_ReadRowsParallel(&m_file, &s, first, rows, targets.data(), targets.size(), threads).nRows;
  }

  std::mutex m_mutex;
  CQTXGeneral m_qtx;
  CStdioFile m_file;
  std::string m_path;
  QTXIndexUse m_use;
};

// ScannedFile::ReadBlock on one thread, in a process that has not scanned
// the file: `state` is what ScannedFile::PartitionState gave there.
py::tuple ReadBlockAt(const std::string& path, const py::tuple& state, std::uint32_t first, std::uint32_t count,
                      const std::vector<int>& channels, bool with_x) {
  CQTXGeneral qtx;
  qtx.m_strSeparator = CString(state[0].cast<std::string>());
  qtx.m_nXColumns = state[1].cast<int>();
  CQTXSection s;
  s.m_nDataPosition = state[2].cast<std::uint64_t>();
  s.m_bRowsCounted = true;
  s.m_nRowsInFile = state[3].cast<std::uint32_t>();
  const QTXRowMark mark{state[4].cast<std::uint32_t>(), state[5].cast<std::uint64_t>()};
  if (mark.nRow > 0) s.m_arrRowMarks.Add(mark);
  for (const auto& grid : state[6].cast<std::vector<std::tuple<double, double, std::uint32_t>>>()) {
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = static_cast<int>(s.m_arrChannels.GetSize());
    std::tie(channel->m_dX0, channel->m_dDeltaX, channel->m_nSamples) = grid;
    s.m_arrChannels.Add(channel.get());
    channel.release();  // owned by the section from here
  }
  s.m_nChannels = static_cast<int>(s.m_arrChannels.GetSize());
  Block block;
  {
    py::gil_scoped_release release;
    CStdioFile file;
    CFileException error;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
      throw OsFailure(error.m_lOsError, path);
    block = ReadBlockWith(s, channels, first, count, with_x,
                          [&](const std::vector<QTXChannelTarget>& targets, std::uint32_t rows) {
                            return qtx.QTX_ReadRows(&file, &s, first, rows, targets.data(), targets.size()).nRows;
                          });
  }
  return block.Arrays();
}

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

  // The header of a section of `rows` rows, whose rows WriteRows writes.
  void BeginSection(const Labels& labels, const std::vector<double>& x0, const std::vector<double>& delta_x,
                    std::uint64_t rows) {
    const std::size_t k = labels.y_headings.size();
    for (const auto* list : {&labels.y_headings, &labels.x_headings, &labels.y_dimensions, &labels.y_units,
                             &labels.x_dimensions, &labels.x_units})
      if (list->size() != k) throw py::value_error("one label per channel is needed");
    if (x0.size() != k || delta_x.size() != k)
      throw py::value_error("one X0 and Delta_X per channel are needed");
    if (k == 0 || k > std::size_t{std::numeric_limits<int>::max()} ||
        rows > std::numeric_limits<std::uint32_t>::max())
      throw py::value_error("a section holds 1 to 2147483647 channels and at most 4294967295 rows");

    CQTXSection section;
    section.m_nChannels = static_cast<int>(k);
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
    m_channels = k;
  }

  // Rows of the section begun last. x: none in mode 0, (rows) in mode 1,
  // (rows, channels) in mode 2; y: (rows, channels).
  void WriteRows(const py::object& x_object, const py::array_t<double, py::array::forcecast>& y_array) {
    if (y_array.ndim() != 2) throw py::value_error("Y must have two dimensions");
    const auto y = y_array.unchecked<2>();
    const py::ssize_t rows = y.shape(0);
    const py::ssize_t channels = y.shape(1);
    const auto k = static_cast<std::size_t>(channels);
    if (k != m_channels) throw py::value_error("Y must have a column per channel of the section");
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

    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream.is_open()) throw py::value_error("I/O operation on closed file.");
    errno = 0;
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
  std::size_t m_channels = 0;  // of the section begun last
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

void RegisterTime(py::module_& m);  // Time.cpp

PYBIND11_MODULE(_qtx, m) {
  m.doc() = "The library's reader, writer and resampler for the package qtx.";
  m.attr("__version__") = qtx_version();
  py::register_exception<FormatFailure>(m, "FormatError", PyExc_ValueError);
  py::register_exception_translator(&Translate);
  RegisterTime(m);

  py::class_<ScannedFile>(m, "ScannedFile")
      .def(py::init([](const std::string& path, int index_mode) {
             CheckedPath(path);
             py::gil_scoped_release release;
             return std::make_unique<ScannedFile>(path, index_mode);
           }),
           py::arg("path"), py::arg("index_mode") = 0)
      .def("index_use", &ScannedFile::IndexUse)
      .def("write_index", &ScannedFile::WriteIndex)
      .def("refresh", &ScannedFile::Refresh)
      .def("settings", &ScannedFile::Settings)
      .def("metadata", &ScannedFile::Metadata)
      .def("sections", &ScannedFile::Sections)
      .def("read", &ScannedFile::Read, py::arg("section"), py::arg("channels"), py::arg("first"), py::arg("count"),
           py::arg("threads"), py::arg("shared_x"))
      .def("read_block", &ScannedFile::ReadBlock, py::arg("section"), py::arg("channels"), py::arg("first"),
           py::arg("count"), py::arg("threads"), py::arg("with_x"))
      .def("partition_state", &ScannedFile::PartitionState, py::arg("section"), py::arg("first"))
      .def("rows_between", &ScannedFile::RowsBetween, py::arg("section"), py::arg("low"), py::arg("high"))
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
          "begin_section",
          [](FileWriter& writer, const py::dict& labels, const std::vector<double>& x0,
             const std::vector<double>& delta_x, std::uint64_t rows) {
            auto list = [&](const char* name) { return labels[name].cast<std::vector<std::string>>(); };
            auto optional = [&](const char* name) {
              return labels.contains(name) ? list(name) : std::vector<std::string>();
            };
            writer.BeginSection({list("y_headings"), list("x_headings"), list("y_dimensions"), list("y_units"),
                                 list("x_dimensions"), list("x_units"), optional("dates"), optional("times")},
                                x0, delta_x, rows);
          },
          py::arg("labels"), py::arg("x0"), py::arg("delta_x"), py::arg("rows"))
      .def("write_rows", &FileWriter::WriteRows, py::arg("x"), py::arg("y"))
      .def("close", &FileWriter::Close);

  m.def(
      "estimate_time_step",
      [](std::uint32_t count, double start, double end) {
        return CQTXGeneral::EstimateTimeStep(nullptr, count, start, end);
      },
      py::arg("count"), py::arg("start"), py::arg("end"));
  m.def(
      "read_block_at",
      [](const std::string& path, const py::tuple& state, std::uint32_t first, std::uint32_t count,
         const std::vector<int>& channels, bool with_x) {
        return ReadBlockAt(CheckedPath(path), state, first, count, channels, with_x);
      },
      py::arg("path"), py::arg("state"), py::arg("first"), py::arg("count"), py::arg("channels"),
      py::arg("with_x"));
  m.def("resample", &Resample, py::arg("x"), py::arg("y"), py::arg("start"), py::arg("step"));
}
