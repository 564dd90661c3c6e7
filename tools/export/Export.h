// export/: qtx export, sections of a QTX file as HDF5 or as a MAT file.
// The command (ExportCommand) chooses the sections, channels and rows and
// hands them to the writer of the format (Writers.h): HDF5, MAT 7.3 and
// MAT 5. Only this folder includes the HDF5 and matio headers. A build
// without those libraries compiles NoExport.cpp alone instead, and the tool
// then says why it has no export. It may include cli/, sections/ and the
// library's public header, and no other folder of the tool.
#ifndef QTX_TOOLS_EXPORT_EXPORT_H
#define QTX_TOOLS_EXPORT_EXPORT_H

#include "cli/Tool.h"

namespace qtx::tool {

// qtx export, where the build has HDF5 and matio; null otherwise, and then
// kExportLeftOut says why.
extern const Command* const kOptionalExport;
extern const char* const kExportLeftOut;

}  // namespace qtx::tool

#endif  // QTX_TOOLS_EXPORT_EXPORT_H
