// Runs the qtx binary under test and returns its exit code and stdout.
#ifndef QTX_TESTS_TOOLS_RUNQTX_H
#define QTX_TESTS_TOOLS_RUNQTX_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace qtx::test {

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

// `arguments` goes through the shell as written; stderr stays with the test's.
inline ToolRun RunQtx(const std::string& arguments) {
  ToolRun run;
  const std::string command = std::string(QTX_TOOL) + " " + arguments;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_TOOLS_RUNQTX_H
