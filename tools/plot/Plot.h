// plot/: qtx plot, the channels of a section as an SVG line chart. The
// command (PlotCommand) reads the section and lays out the drawing
// (Drawing.h); the arithmetic of axes, ticks, panels and the reduction of a
// curve to a few points per pixel column is in Chart.h, the SVG document in
// Svg.h. Chart and Svg know only the standard library (their tests reach
// them alone); the rest may include cli/, sections/ and the library's public
// header, and no other folder of the tool.
#ifndef QTX_TOOLS_PLOT_PLOT_H
#define QTX_TOOLS_PLOT_PLOT_H

#include "cli/Tool.h"

namespace qtx::tool {

extern const Command kPlotCommand;

}  // namespace qtx::tool

#endif  // QTX_TOOLS_PLOT_PLOT_H
