// A build without HDF5 or matio: the tool has no export command, and its
// overview says why.
#include "cli/Tool.h"
#include "export/Export.h"

namespace qtx::tool {

const Command* const kOptionalExport = nullptr;
const char* const kExportLeftOut = QTX_EXPORT_LEFT_OUT;

}  // namespace qtx::tool
