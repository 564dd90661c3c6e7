// cli/: what every command of qtx shares with the command line: failures and
// exit codes, argument parsing, the text forms of values, the shape of a
// command, and the output (stdout or a file that a failed command never
// destroys, OutputFile.h). It knows the library's public header and nothing
// else of the tool: every other folder may include it, it includes none.
#ifndef QTX_TOOLS_CLI_TOOL_H
#define QTX_TOOLS_CLI_TOOL_H

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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
  // A finite number option: a decimal number (IsDecimalNumber).
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

// The one form of a number argument: an optional sign, digits with an
// optional decimal point, an optional exponent; no blanks, no hexadecimal,
// no nan or inf (an open end of a span is said otherwise).
bool IsDecimalNumber(std::string_view text);

// Appends one data row of `n` fields and its line end. A missing field
// (QTX_IsMissingValue: the source row lacked it) is left out when only
// missing fields follow, so that the row ends short and reads back missing;
// before a field that is there it is written as nan, since an empty field
// would move the fields after it.
void AppendRow(std::string& text, const double* values, std::size_t n);

// The text with tabs and control characters made visible.
std::string Printable(const CString& text);

// The headings a channel shows everywhere: where the headings line gives
// none, "Y" and the channel's number counted from 1 (Y1, Y2, ...) for its Y
// column and "X_Value", as for a file without X columns, for its X column.
CString YHeading(const CQTXChannel& channel);
CString XHeading(const CQTXChannel& channel);

// The name of an X-column mode: "No", "One", "Multi", or "?".
const char* ModeName(int nXColumns);

// One command: its name, a line for the overview, its usage and its entry.
struct Command {
  const char* name;
  const char* summary;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

}  // namespace qtx::tool

#endif  // QTX_TOOLS_CLI_TOOL_H
