// qtx index FILE...: writes or brings up to date the index file beside each
// file, FILE.qtxi, so that later opens read the headers and the index only.
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "sections/Sections.h"

namespace qtx::tool {
namespace {

constexpr const char* kUsage =
    "usage: qtx index [--summary] FILE...\n"
    "\n"
    "  Writes FILE.qtxi beside each FILE: where its sections and their rows\n"
    "  start, the rows the file holds and row marks, with checks that tell\n"
    "  when the file changed. Every command then opens FILE through it\n"
    "  without reading the rows. An index that no longer matches is written\n"
    "  anew; one of a file that only grew is extended over the bytes added.\n"
    "  Prints one line per file saying what was done.\n"
    "\n"
    "  --summary  also writes FILE.qtxs: the summary of every section that\n"
    "             qtx view draws from, so that a later view of FILE draws at\n"
    "             once. Reads every row once, over every core (progress on\n"
    "             a terminal); a stored summary of a file that only grew is\n"
    "             extended over the rows added.\n";

int Run(const std::vector<std::string>& args) { return RunIndexCommand(args, nullptr); }

}  // namespace

int RunIndexCommand(const std::vector<std::string>& arguments, SummaryWriter writeSummary) {
  std::vector<std::string> args;
  bool summary = false;
  bool options = true;
  for (const std::string& arg : arguments) {
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == "--summary") {
      summary = true;
    } else if (options && !arg.empty() && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) throw UsageError("qtx index needs at least one FILE");
  if (summary && !writeSummary) throw Failure("qtx index --summary needs qtx view, which is not in this build");
  int failed = 0;
  for (const std::string& path : args) {
    try {
      {
        CStdioFile probe;
        OpenForReading(probe, path);
      }
      CQTXGeneral qtx;
      QTXIndexUse use;
      if (!qtx.QTX_OpenIndexed(CString(path.c_str()), &use))
        throw Failure(path + ": the file ends before the main header's end line");
      const bool unchanged = use.nNotice == QTX_INDEX_USED;
      CString error;
      if (!unchanged && !qtx.QTX_WriteIndex(CString(path.c_str()), &error)) throw Failure(error.GetString());
      std::string what;
      switch (use.nNotice) {
        case QTX_INDEX_USED: what = "up to date"; break;
        case QTX_INDEX_EXTENDED: what = "extended over the bytes added"; break;
        case QTX_INDEX_MISSING: what = "written"; break;
        default: what = std::string("written anew (") + use.strText.GetString() + ")"; break;
      }
      PrintStdout("%s.qtxi: %s, %d section%s\n", path.c_str(), what.c_str(),
                  static_cast<int>(qtx.m_arrSections.GetSize()), qtx.m_arrSections.GetSize() == 1 ? "" : "s");
      if (summary) PrintStdout("%s.qtxs: %s\n", path.c_str(), writeSummary(qtx, path).c_str());
    } catch (const Failure& failure) {
      Warn(failure.what());
      ++failed;
    }
  }
  if (failed) throw Failure(std::to_string(failed) + " of " + std::to_string(args.size()) + " index files not written");
  return 0;
}

const char* const kIndexUsage = kUsage;

const Command kIndexCommand = {"index", "write the index file beside QTX files, for opening them at once", kUsage,
                               Run};

}  // namespace qtx::tool
