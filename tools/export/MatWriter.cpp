// qtx export to MAT files, 7.3 and 5, through matio.
#include <hdf5.h>
#include <matio.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// A valid MATLAB name: letters, digits and '_', a letter first, at most 63
// characters.
std::string MatlabName(const std::string& text, const std::string& fallback) {
  std::string name;
  for (const char c : text) name += std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80 ? c : '_';
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = fallback + "_" + name;
  if (name.size() > 63) name.resize(63);
  return name;
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
    // On the calendar: start_time, start_datenum and x_seconds where the
    // section's channels have them alike, and per channel where any has
    // them (empty for the others: a struct array has one set of fields).
    const ClockFields sectionClock = CalendarOf(qtx, plan);
    std::vector<ClockFields> clocks;
    bool anyStart = false, anySeconds = false;
    for (const int c : plan.channels) {
      clocks.push_back(CalendarOf(qtx, *section.m_arrChannels.GetAt(c)));
      anyStart = anyStart || clocks.back().start;
      anySeconds = anySeconds || clocks.back().xSeconds;
    }
    const auto clockFields = [](std::vector<std::string> names, bool start, bool seconds) {
      if (start) names.insert(names.end(), {"start_time", "start_datenum"});
      if (seconds) names.emplace_back("x_seconds");
      return names;
    };
    const auto setClock = [](matvar_t* structure, std::size_t index, const ClockFields& fields, bool start,
                             bool seconds) {
      if (start) {
        SetField(structure, "start_time", index, MatString(fields.start ? IsoText(*fields.start) : std::string()));
        SetField(structure, "start_datenum", index,
                 fields.start ? MatNumber(Datenum(*fields.start)) : MatDouble(nullptr, 0, true));
      }
      if (seconds)
        SetField(structure, "x_seconds", index,
                 fields.xSeconds ? MatNumber(*fields.xSeconds) : MatDouble(nullptr, 0, true));
    };
    MatVar info = MatStruct(nullptr, 1,
                            clockFields({"source", "description", "date", "time", "time_pref", "x_columns", "section",
                                         "first_row"},
                                        sectionClock.start.has_value(), sectionClock.xSeconds.has_value()));
    if (!info) throw Failure("cannot build the MAT variable: out of memory");
    setClock(info.get(), 0, sectionClock, sectionClock.start.has_value(), sectionClock.xSeconds.has_value());
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
                                clockFields({"field", "heading", "dimension", "unit", "x_heading", "x_dimension",
                                             "x_unit", "x0", "delta_x", "samples", "index", "date", "time"},
                                            anyStart, anySeconds));
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
      setClock(channels.get(), k, clocks[k], anyStart, anySeconds);
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

}  // namespace

void WriteMat73(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
                std::vector<SectionPlan>& plans) {
  WriteMat(qtx, path, outPath, plans, false);
}

void WriteMat5(const CQTXGeneral& qtx, const std::string& path, const std::string& outPath,
               std::vector<SectionPlan>& plans) {
  WriteMat(qtx, path, outPath, plans, true);
}

}  // namespace qtx::tool::exporter
