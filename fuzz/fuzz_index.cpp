// Hostile index files beside a valid data file: an open through the index
// either uses it and builds the object the scan builds, or ignores it and
// scans. Either way the values read are the scan's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz/FuzzInput.h"
#include "qtx/QTXLibrary.h"

namespace {

// Three sections, one short of its Samples and cut off in its last row.
std::string DataFile() {
  std::string text = "Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\n\n";
  for (int s = 0; s < 3; ++s) {
    text += "Channels\t2\nSamples\t\t40\t\t" + std::to_string(s == 2 ? 60 : 30) +
            "\n***End_of_Header***\t\nt\ta\tb\n";
    for (int r = 0; r < 40; ++r) text += std::to_string(r) + "\t" + std::to_string(r * 7 % 13) + "\t0.5\n";
  }
  return text + "41\t2";
}

std::string Describe(const CQTXGeneral& q) {
  std::string d = std::to_string(q.m_nXColumns) + (q.m_bEndOfHeader ? "E" : "-") +
                  (q.m_bEndOfSectionHeader ? "S" : "-") + (q.m_bInSpecial ? "I" : "-");
  for (std::ptrdiff_t i = 0; i < q.m_arrSections.GetSize(); ++i) {
    const CQTXSection& s = *q.m_arrSections.GetAt(i);
    d += "|" + std::to_string(s.m_nChannels) + " " + std::to_string(s.m_nDataLine) + " " +
         std::to_string(s.m_nDataPosition) + " " + std::to_string(s.m_nRowsInFile) + " " +
         std::to_string(s.m_bLastLineCutOff) + " " + std::to_string(s.m_bRowsCounted);
    for (std::ptrdiff_t m = 0; m < s.m_arrRowMarks.GetSize(); ++m)
      d += " " + std::to_string(s.m_arrRowMarks.GetAt(m).nRow) + "@" + std::to_string(s.m_arrRowMarks.GetAt(m).nPosition);
    for (std::ptrdiff_t c = 0; c < s.m_arrChannels.GetSize(); ++c)
      d += std::string(" ") + s.m_arrChannels.GetAt(c)->m_strYHeading.GetString() + std::to_string(s.m_arrChannels.GetAt(c)->m_nSamples);
  }
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string text = DataFile();
  const qtx::fuzz::InputFile input(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  const std::string index = std::string(input.Path()) + ".qtxi";
  {
    std::ofstream out(index, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CQTXGeneral scanned;
  scanned.ReadQTXFile(input.Path());
  CQTXGeneral opened;
  QTXIndexUse use;
  opened.QTX_OpenIndexed(input.Path(), &use);
  std::remove(index.c_str());
  if (Describe(opened) != Describe(scanned)) __builtin_trap();
  if (!use.bUsed && use.strText.IsEmpty() && use.nNotice != QTX_INDEX_MISSING) __builtin_trap();
  return 0;
}
