// validate/: qtx validate, which reports what the library reads without a
// word but a person wants to know about a file. The command (ValidateCommand)
// runs one pass of the Validator over the lines; its checks are split by the
// part of the file they look at: the main header, the section headers, and
// the headings and rows. Findings are collected by a Report (Report.h), the
// tests of single fields are in Fields.h. It may include cli/, sections/ and
// the library's public header, and no other folder of the tool.
#ifndef QTX_TOOLS_VALIDATE_VALIDATE_H
#define QTX_TOOLS_VALIDATE_VALIDATE_H

#include "cli/Tool.h"

namespace qtx::tool {

extern const Command kValidateCommand;

}  // namespace qtx::tool

#endif  // QTX_TOOLS_VALIDATE_VALIDATE_H
