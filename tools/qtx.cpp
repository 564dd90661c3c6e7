// qtx: command-line access to QTX measurement files. This file is the table
// of commands: each command lives in its own folder (commands/ for the small
// ones) and is listed here, in the order of the overview.
//
// Results go to stdout; a failure prints one line on stderr and exits with a
// non-zero code (see cli/Tool.h).
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "commands/Commands.h"
#include "export/Export.h"
#include "plot/Plot.h"
#include "validate/Validate.h"
#ifndef QTX_NO_VIEW
#include "view/View.h"
#endif

namespace {

using qtx::tool::Command;

#ifndef QTX_NO_VIEW
// qtx index, with --summary writing the viewer's stored summary.
int RunIndex(const std::vector<std::string>& args) {
  return qtx::tool::RunIndexCommand(args, &qtx::tool::view::WriteSummaries);
}
const Command kIndexCommand = {"index", qtx::tool::kIndexCommand.summary, qtx::tool::kIndexUsage, RunIndex};
#else
const Command& kIndexCommand = qtx::tool::kIndexCommand;
#endif

const Command* const kCommands[] = {
    &qtx::tool::kInfoCommand,
    &qtx::tool::kValidateCommand,
    &qtx::tool::kDumpCommand,
    &qtx::tool::kConvertCommand,
    &qtx::tool::kResampleCommand,
    &qtx::tool::kPlotCommand,
    &qtx::tool::kCutCommand,
    &qtx::tool::kMergeCommand,
    qtx::tool::kOptionalExport,  // null in a build without HDF5 and matio
#ifndef QTX_NO_VIEW
    &qtx::tool::kViewCommand,
#endif
    &kIndexCommand,
};

void PrintOverview(std::FILE* out) {
  std::fputs("usage: qtx COMMAND [ARGUMENTS]\n\ncommands:\n", out);
  for (const Command* command : kCommands)
    if (command) std::fprintf(out, "  %-9s %s\n", command->name, command->summary);
  if (!qtx::tool::kOptionalExport)
    std::fprintf(out, "\nexport (to HDF5 and MAT files) is left out of this build: %s.\n", qtx::tool::kExportLeftOut);
  std::fputs(
      "\n"
      "qtx COMMAND --help shows the arguments of a command; qtx --version the version.\n"
      "Results go to stdout, failures to stderr. Exit code 0: done; 1: the file has\n"
      "problems (validate); 2: bad usage, or a file that cannot be read or written.\n",
      out);
#ifdef QTX_NO_VIEW
  std::fputs("\nqtx view is not in this build: it needs the Boost headers (Beast, Asio).\n", out);
#endif
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// Runs the command line; failures are thrown, as UsageError with the usage
// text to show when the arguments are wrong.
int Run(const std::vector<std::string>& args, const char*& usage) {
  if (args.empty()) {
    PrintOverview(stderr);
    return qtx::tool::kExitError;
  }
  if (IsHelp(args[0])) {
    PrintOverview(stdout);
    return qtx::tool::kExitOk;
  }
  if (args[0] == "--version") {
    usage = "usage: qtx --version\n";
    if (args.size() > 1) throw qtx::tool::UsageError("unexpected argument " + args[1]);
    std::printf("qtx %s\n", QTX_VERSION);
    return qtx::tool::kExitOk;
  }
  const Command* command = nullptr;
  for (const Command* c : kCommands)
    if (c && args[0] == c->name) command = c;
  if (!command && args[0] == "export" && !qtx::tool::kOptionalExport)
    throw qtx::tool::Failure(std::string("export is left out of this build: ") + qtx::tool::kExportLeftOut);
  if (!command) throw qtx::tool::Failure("unknown command '" + args[0] + "'; qtx --help lists the commands");
  usage = command->usage;
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const std::string& arg : rest) {
    if (arg == "--") break;
    if (IsHelp(arg)) {
      std::fputs(command->usage, stdout);
      return qtx::tool::kExitOk;
    }
  }
  return command->run(rest);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past a file size limit a write then fails with a reason instead of
  // killing the process, which could not remove its temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : argc), argv + argc);
  const char* usage = nullptr;
  try {
    const int code = Run(args, usage);
    qtx::tool::FlushStdout();
    return code;
  } catch (const qtx::tool::UsageError& e) {
    // The message and the usage line; the whole text is one --help away.
    const std::string text = usage ? usage : "";
    std::fprintf(stderr, "qtx%s%s: %s\n%s", args.empty() ? "" : " ", args.empty() ? "" : args[0].c_str(),
                 e.what(), text.substr(0, text.find('\n') + 1).c_str());
  } catch (const std::bad_alloc&) {
    // A channel count, row count or line too large for this machine's memory.
    std::fprintf(stderr, "qtx: the file declares more than fits in memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qtx: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qtx: unexpected error\n");
  }
  return qtx::tool::kExitError;
}
