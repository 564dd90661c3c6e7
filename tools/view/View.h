// view/: qtx view, the web viewer: an HTTP server on Boost.Beast (Server),
// the summaries of a section it sends (Summary), the viewer that answers the
// page's requests (Viewer), the page itself (page/, embedded at build time,
// Assets.h) and the browser it opens (Browser). Only this folder includes
// Boost. It may include cli/, sections/ and the library's public header, and
// no other folder of the tool. A build without Boost leaves it out.
#ifndef QTX_TOOLS_VIEW_VIEW_H
#define QTX_TOOLS_VIEW_VIEW_H

#include <string>

#include "cli/Tool.h"
#include "qtx/QTXLibrary.h"

namespace qtx::tool {

extern const Command kViewCommand;

namespace view {

// qtx index --summary for one file: writes FILE.qtxs beside `path`, which
// `qtx` has just opened, holding the summary of every section. The rows are
// read once, over every core, with a line of progress when stderr is a
// terminal; a stored summary that fits is taken as it is, or extended over
// the rows added since. Returns what was done, for the command's line
// ("written", "up to date", ...). Throws Failure.
std::string WriteSummaries(const CQTXGeneral& qtx, const std::string& path);

}  // namespace view

}  // namespace qtx::tool

#endif  // QTX_TOOLS_VIEW_VIEW_H
