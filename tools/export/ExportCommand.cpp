// qtx export FILE OUT.h5|OUT.mat: sections of a QTX file as HDF5 or as a
// MAT file, for tools that read those. Values are copied bit for bit, in
// chunks of rows, with the headings, units, X grid and the header's metadata
// beside them. The output is written to a temporary file beside OUT and
// renamed over it only when complete.
#include <hdf5.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "export/Export.h"
#include "export/Writers.h"
#include "qtx/QTXLibrary.h"
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
    "                    (a heading with a comma whole, or in double quotes: '\"U, in\",I')\n"
    "  --x LO:HI         only the rows whose shared X lies in [LO, HI]\n"
    "  --mat-version V   7.3 (default; HDF5-based, any size) or 5 (variables below 2 GB)\n";

bool EndsWith(const std::string& text, const char* end) {
  const std::size_t n = std::strlen(end);
  if (text.size() < n) return false;
  return CString(text.substr(text.size() - n).c_str()).CompareNoCase(end) == 0;
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
  std::vector<exporter::SectionPlan> plans;
  const long long count = qtx.m_arrSections.GetSize();
  if (sectionIndex) SectionAt(qtx, *sectionIndex);
  if (count == 0) throw Failure(path + " has no section to export");
  for (long long i = sectionIndex.value_or(0); i < (sectionIndex ? *sectionIndex + 1 : count); ++i) {
    exporter::SectionPlan plan;
    plan.index = i;
    plan.section = &SectionAt(qtx, i);
    plan.channels = ChosenChannels(arguments, *plan.section, i);
    plan.sharedX = SharesX(qtx, *plan.section, plan.channels);
    plan.range = ChosenRows(qtx, *plan.section, i, path, arguments);
    WarnIfShort(*plan.section, i, path);
    plans.push_back(std::move(plan));
  }
  const exporter::Writer write = !mat ? exporter::WriteHdf5 : version == 1 ? exporter::WriteMat5 : exporter::WriteMat73;
  write(qtx, path, outPath, plans);
  return kExitOk;
}

}  // namespace

extern const Command kExportCommand = {"export", "write sections as HDF5 or as a MAT file", kUsage, Run};
const Command* const kOptionalExport = &kExportCommand;
const char* const kExportLeftOut = "";

}  // namespace qtx::tool
