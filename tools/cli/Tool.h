// What the qtx commands share: failures, argument parsing and the text forms
// of values.
#ifndef QTX_TOOLS_CLI_TOOL_H
#define QTX_TOOLS_CLI_TOOL_H

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace qtx::tool {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // the file was read and has problems (validate)
constexpr int kExitError = 2;     // bad usage, or a file that cannot be read or written

// A failure reported as one line on stderr, "qtx: " and the message.
class Failure : public std::exception {
 public:
  explicit Failure(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

// Bad arguments: the message, then the command's usage, on stderr.
class UsageError : public Failure {
 public:
  using Failure::Failure;
};

// The arguments of one command: positionals in order and "--name value"
// options. `valued` lists the options that take a value; `flags` those that
// do not. Anything else starting with '-' is a usage error, up to a "--",
// after which every argument is a positional. "-o" is the short form of
// "--output" wherever a command takes "--output".
class Arguments {
 public:
  Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags = {});

  const std::vector<std::string>& Positionals() const { return m_positionals; }
  // Exactly `count` positionals, or a usage error.
  void ExpectPositionals(std::size_t count) const;
  bool Has(const std::string& name) const { return m_options.count(name) != 0; }
  std::optional<std::string> Get(const std::string& name) const;
  // An integer option; a usage error when it is not one or below `minimum`.
  std::optional<long long> GetInteger(const std::string& name, long long minimum) const;
  // A finite number option.
  std::optional<double> GetNumber(const std::string& name) const;
  // The index in `choices` of a word option, compared without regard to
  // case; `fallback` when the option is not given.
  std::size_t GetChoice(const std::string& name, const std::vector<const char*>& choices,
                        std::size_t fallback) const;

 private:
  std::vector<std::string> m_positionals;
  std::map<std::string, std::string> m_options;
};

// Prints "qtx: " and the message on stderr, for news that is no failure.
void Warn(const std::string& message);

// Shortest text that reads back as the same double.
std::string FormatDouble(double value);

// The text with tabs and control characters made visible.
std::string Printable(const CString& text);

// The headings a channel shows everywhere: where the headings line gives
// none, "Y" and the channel's number counted from 1 (Y1, Y2, ...) for its Y
// column and "X_Value", as for a file without X columns, for its X column.
CString YHeading(const CQTXChannel& channel);
CString XHeading(const CQTXChannel& channel);

// The name of an X-column mode: "No", "One", "Multi", or "?".
const char* ModeName(int nXColumns);

// Scans `path` into `qtx` with the library's file scan; throws Failure when
// the file cannot be opened or has no complete main header.
void ScanFile(CQTXGeneral& qtx, const std::string& path);

// The same scan for a command that reports an incomplete main header itself:
// returns whether the main header's end line was read.
bool TryScanFile(CQTXGeneral& qtx, const std::string& path);

// Opens `path` for the data reader; throws Failure when it cannot, and
// before opening anything when it is not a regular file: the readers seek
// back, and a FIFO would not even open until someone writes to it.
void OpenForReading(CStdioFile& file, const std::string& path);

// The section `index` of a scanned file, or a Failure naming what exists.
CQTXSection& SectionAt(CQTXGeneral& qtx, long long index);

// The section's row count: the largest Samples of its channels.
std::uint32_t RowCount(const CQTXSection& section);

// Reads the values of one channel of the section, or of all when `channel`
// is negative, from the file at `path` into arrays of the rows the file
// holds (not of the rows the header declares), and returns that count. A
// file that ends before the section's rows do is reported on stderr; rows
// that cannot fit in memory are a Failure.
std::uint32_t ReadValues(CQTXGeneral& qtx, CQTXSection& section, long long sectionIndex,
                         const std::string& path, int channel);

// Throws a Failure naming the channels there are unless `channel` is one of
// the section's, counted by m_nChannels.
void CheckChannel(const CQTXSection& section, long long sectionIndex, long long channel);

// One command: its name, a line for the overview, its usage and its entry.
struct Command {
  const char* name;
  const char* summary;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

// The commands, each defined in its own file.
extern const Command kInfoCommand;
extern const Command kValidateCommand;
extern const Command kDumpCommand;
extern const Command kConvertCommand;
extern const Command kResampleCommand;
extern const Command kPlotCommand;
extern const Command kCutCommand;
extern const Command kMergeCommand;

// qtx export, where the build has HDF5 and matio; null otherwise, and then
// kExportLeftOut says why.
extern const Command* const kOptionalExport;
extern const char* const kExportLeftOut;
#ifndef QTX_NO_VIEW
extern const Command kViewCommand;
#endif

}  // namespace qtx::tool

#endif  // QTX_TOOLS_CLI_TOOL_H
