// Wall-clock time for the package: the library's strict reading of a
// start's Date and Time and of an X unit, for the Python side to build on.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "qtx/QTXLibrary.h"

namespace py = pybind11;

void RegisterTime(py::module_& m) {
  // (status, seconds since 1970, nanoseconds); status a QTXTimeStatus.
  m.def("start_time", [](const std::string& date, const std::string& time) {
    QTXStartTime start{0, 0};
    const int status = QTX_ParseStartTime(date.c_str(), time.c_str(), start);
    const bool whole = date.find('\0') == std::string::npos && time.find('\0') == std::string::npos;
    return py::make_tuple(whole ? status : int{QTX_TIME_BAD_DATE}, start.nSeconds, start.nNanoseconds);
  });
  // (status, nanoseconds per unit).
  m.def("x_unit_ns", [](const std::string& label) {
    std::int64_t ns = 0;
    const int status = label.find('\0') == std::string::npos ? QTX_ParseXUnit(label.c_str(), ns)
                                                              : int{QTX_TIME_NOT_A_TIME_UNIT};
    return py::make_tuple(status, ns);
  });
}
