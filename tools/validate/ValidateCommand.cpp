// qtx validate FILE: what the library reads without a word but a person wants
// to know about a file. A bad field reads as 0, a short file just ends, a
// wrong Samples value shifts every later section: the readers accept all of
// it by design, so this command says it, one finding per line as
// "FILE:LINE: message".
#include <cstdint>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "qtx/QTXLibrary.h"
#include "sections/Sections.h"
#include "validate/Validate.h"
#include "validate/Validator.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx validate FILE\n"
    "\n"
    "  Lists what a reader accepts silently but a person wants to know: no magic\n"
    "  line, no end of the main header, unknown keywords, keyword values missing\n"
    "  for some channels, unclosed special blocks, a section without Samples,\n"
    "  Samples that disagree with the rows present, short rows, fields that are\n"
    "  not numbers (each of a row), control characters in headings and labels.\n"
    "  One finding per line, \"FILE:LINE: message\", on stdout.\n"
    "\n"
    "  Exit code 0 when the file has no problems, 1 when it has some, 2 when it\n"
    "  cannot be read.\n";

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];

  CQTXGeneral qtx;
  const bool complete = TryScanFile(qtx, path);

  CStdioFile file;
  OpenForReading(file, path);
  std::uint32_t nMainHeaderLines = 0;
  {
    CQTXGeneral header;
    header.QTX_ReadMainHeader(nMainHeaderLines, &file);
  }
  file.Seek(0, CFile::begin);

  validate::Report report(path);
  validate::Validator(qtx, report, complete, nMainHeaderLines).Run(file);
  if (report.Total() > 0) return kExitProblems;
  PrintStdout("%s: no problems found\n", path.c_str());
  return kExitOk;
}

}  // namespace

const Command kValidateCommand = {
    "validate", "list what a reader accepts silently but a person wants to know", kUsage, Run};

}  // namespace qtx::tool
