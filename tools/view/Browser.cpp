#include "view/Browser.h"

#include "cli/Tool.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace qtx::tool::view {

namespace {
const char* const kOpenYourself = "; open the address above in a browser";
}

#ifdef _WIN32

Browser::Browser(const std::string& url) {
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) Warn("cannot open a browser (error " + std::to_string(result) + ")" + kOpenYourself);
}

bool Browser::Running() { return false; }

#else

Browser::Browser(const std::string& url) {
  // The opener's own output goes to stderr: stdout holds the address alone.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  char program[] = "xdg-open";
  std::string address = url;
  char* argv[] = {program, address.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    Warn(std::string("cannot start xdg-open to open a browser") + kOpenYourself);
    return;
  }
  m_process = pid;
}

bool Browser::Running() {
  if (m_process < 0) return false;
  int status = 0;
  const pid_t done = waitpid(static_cast<pid_t>(m_process), &status, WNOHANG);
  if (done == 0) return true;
  m_process = -1;
  if (done > 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    Warn(std::string("xdg-open could not open a browser") + kOpenYourself);
  return false;
}

#endif

}  // namespace qtx::tool::view
