// commands/: the small commands of qtx, one file each: info, dump, convert,
// resample, cut and merge. A command parses its arguments and runs; what
// more than one command needs lives in sections/ (reading sections) or cli/
// (arguments, failures, output), which these files may include with the
// library's public header. No command includes another, nor a larger
// command's folder (validate/, plot/, export/, view/).
#ifndef QTX_TOOLS_COMMANDS_COMMANDS_H
#define QTX_TOOLS_COMMANDS_COMMANDS_H

#include <string>
#include <vector>

#include "cli/Tool.h"
#include "qtx/QTXLibrary.h"

namespace qtx::tool {

extern const Command kInfoCommand;
extern const Command kDumpCommand;
extern const Command kConvertCommand;
extern const Command kResampleCommand;
extern const Command kCutCommand;
extern const Command kMergeCommand;
extern const Command kIndexCommand;

// What qtx index --summary does for a file after its index: writes the
// viewer's stored summary and returns what was done. The command table hands
// it over (the viewer's room writes it); kIndexCommand has none, and
// --summary then fails.
using SummaryWriter = std::string (*)(const CQTXGeneral& qtx, const std::string& path);
int RunIndexCommand(const std::vector<std::string>& args, SummaryWriter writeSummary);
extern const char* const kIndexUsage;

}  // namespace qtx::tool

#endif  // QTX_TOOLS_COMMANDS_COMMANDS_H
