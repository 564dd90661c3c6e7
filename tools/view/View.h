// view/: qtx view, the web viewer: an HTTP server on Boost.Beast (Server),
// the summaries of a section it sends (Summary), the viewer that answers the
// page's requests (Viewer), the page itself (page/, embedded at build time,
// Assets.h) and the browser it opens (Browser). Only this folder includes
// Boost. It may include cli/, sections/ and the library's public header, and
// no other folder of the tool. A build without Boost leaves it out.
#ifndef QTX_TOOLS_VIEW_VIEW_H
#define QTX_TOOLS_VIEW_VIEW_H

#include "cli/Tool.h"

namespace qtx::tool {

extern const Command kViewCommand;

}  // namespace qtx::tool

#endif  // QTX_TOOLS_VIEW_VIEW_H
