// Runs the qtx binary under test and returns its exit code and stdout.
#ifndef QTX_TESTS_TOOLS_RUNQTX_H
#define QTX_TESTS_TOOLS_RUNQTX_H

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <string>

namespace qtx::test {

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

// `arguments` goes through the shell as written; stderr stays with the test's.
// On Windows the shell is cmd.exe, and the pipe's text mode turns the
// program's CR LF line ends back into LF.
inline ToolRun RunQtx(const std::string& arguments) {
  ToolRun run;
  std::string command = std::string(QTX_TOOL) + " " + arguments;
#ifdef _WIN32
  // cmd.exe /c drops the first and the last quote of a command that starts
  // with one; quoting the whole command keeps those of the arguments.
  command = "\"" + command + "\"";
  std::FILE* pipe = ::_popen(command.c_str(), "r");
#else
  std::FILE* pipe = ::popen(command.c_str(), "r");
#endif
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
#ifdef _WIN32
  run.exitCode = ::_pclose(pipe);
#else
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return run;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_TOOLS_RUNQTX_H
