// qtx view FILE...: the sections' channels in the browser, zoomable down to a
// single sample at any file size. A web server of the tool's own on the
// loopback address serves the page and, per view, the first, lowest, highest
// and last value of each pixel column (see view/Summary.h); it runs until
// SIGINT or SIGTERM.
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "view/Browser.h"
#include "view/Server.h"
#include "view/View.h"
#include "view/Viewer.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx view FILE... [--section N] [--port P] [--no-browser] [--follow] [--write-index]\n"
    "\n"
    "  Shows the channels of a section in the browser: line charts over a shared\n"
    "  X axis, zoom with the wheel or a dragged box, pan with shift-drag, and a\n"
    "  cursor that reads the values. Every pixel column keeps its lowest and\n"
    "  highest value, so no spike is lost at any zoom. Cursors A and B give the\n"
    "  rows at them and the statistics between them. Several files, or several\n"
    "  sections of one, show as panels over one linked X or laid over each other\n"
    "  with an X offset per file; X can show wall-clock time where the file gives\n"
    "  a start and the X unit is a time. A small web server on 127.0.0.1 serves\n"
    "  the page under a random token; its address is printed on stdout. Ctrl-C\n"
    "  stops it.\n"
    "\n"
    "  --section N    the section shown first, counted from 0 (default 0); a\n"
    "                 later file without it starts at its section 0\n"
    "  --port P       the port to listen on (default 0: the system picks one)\n"
    "  --no-browser   print the address only, open no browser\n"
    "  --follow       follow files still being written: the page takes in new\n"
    "                 rows every second, and a view of the end moves with it\n"
    "  --write-index  write FILE.qtxi and FILE.qtxs, the summary of the rows,\n"
    "                 beside each file, so that the next view draws at once\n"
    "                 (as qtx index --summary does); again at the end, grown\n";

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {"--section", "--port"}, {"--no-browser", "--follow", "--write-index"});
  const std::vector<std::string>& paths = arguments.Positionals();
  if (paths.empty()) throw UsageError("missing arguments");
  const long long section = arguments.GetInteger("--section", 0).value_or(0);
  const long long port = arguments.GetInteger("--port", 0).value_or(0);
  if (port > 65535) throw UsageError("option --port must be at most 65535");

  view::ViewOptions options;
  options.follow = arguments.Has("--follow");
  options.writeIndex = arguments.Has("--write-index");
  view::Viewer viewer(paths, section, options);
  const std::string token = view::NewToken();
  view::Server server(token, static_cast<unsigned short>(port),
                      [&viewer](std::string_view p, std::string_view q) { return viewer.Handle(p, q); });
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + token + "/";
  WriteStdout(url + "\n");
  FlushStdout();
  if (arguments.Has("--no-browser")) {
    server.Run();
  } else {
    view::Browser browser(url);
    server.Run([&browser] { return browser.Running(); });
  }
  viewer.Finish();
  return kExitOk;
}

}  // namespace

const Command kViewCommand = {"view", "look at sections of files in the browser, zoomable to single samples", kUsage, Run};

}  // namespace qtx::tool
