// Opens an address in the system's browser: xdg-open on Linux and the other
// free systems, the shell's "open" on Windows. A failure is a warning only:
// the address is on stdout for the user to open.
#ifndef QTX_TOOLS_VIEW_BROWSER_H
#define QTX_TOOLS_VIEW_BROWSER_H

#include <string>

namespace qtx::tool::view {

class Browser {
 public:
  // Starts opening `url`; warns on stderr when that fails at once.
  explicit Browser(const std::string& url);
  // Whether the opener is still running; warns once when it ended with a
  // failure. Called until it returns false.
  bool Running();

 private:
  long long m_process = -1;  // the opener's process id while it runs
};

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_BROWSER_H
