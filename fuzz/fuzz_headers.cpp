// Reads the main header and every section header of arbitrary bytes. The last
// byte chooses the X-column mode and whether the object starts on the comma.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "qtx/QTXLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || qtx::fuzz::DeclaresHugeNumbers(data, size) || qtx::fuzz::DeclaresManyChannels(data, size))
    return 0;
  const std::uint8_t options = data[size - 1];
  qtx::fuzz::InputFile input(data, size - 1);

  CStdioFile file;
  if (!file.Open(input.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText)) return 0;
  CQTXGeneral qtx;
  qtx.m_nXColumns = options % 4;  // 3: a mode the format does not know
  if (options & 0x10) qtx.m_strSeparator = ",";
  std::uint32_t nLine = 0;
  qtx.QTX_ReadMainHeader(nLine, &file);
  while (CQTXSection* section = qtx.QTX_ReadSectionHeader(nLine, &file)) {
    // Every listed channel is where its index says.
    for (std::ptrdiff_t i = 0; i < section->m_arrChannels.GetSize(); ++i)
      if (section->m_arrChannels.GetAt(i)->m_nIndex != i) __builtin_trap();
  }
  return 0;
}
