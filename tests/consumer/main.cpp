// Reads the main header of the file named on the command line; exits 0 when
// it is complete and in mode One, as the bundled sample is.
#include <qtx/QTXLibrary.h>

#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  CStdioFile file;
  if (!file.Open(argv[1], CFile::modeRead | CFile::shareDenyWrite | CFile::typeText)) return 3;
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  if (!qtx.QTX_ReadMainHeader(nLine, &file)) return 4;
  std::printf("%s %d %lu\n", CQTXGeneral::lpszXColumns, qtx.m_nXColumns, static_cast<unsigned long>(nLine));
  return qtx.m_nXColumns == 1 ? 0 : 5;
}
