// A whole file as a host reads it: the bytes as a file, the file scan, then
// every section's values, all channels at once and then each channel alone,
// and finally the destruction of the model.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "qtx/QTXLibrary.h"

namespace {

// What the harness lets one section allocate for values. The library reads
// whatever Samples a file declares (within physical memory) and fills the
// rows a short file lacks with 0.0; an input that declares more only
// measures the machine and slows the fuzzer, so the harness skips its reads.
constexpr std::uint64_t kValueBudgetBytes = std::uint64_t{1} << 20;

std::uint64_t ValueBytes(const CQTXSection& section) {
  std::uint32_t rows = 0;
  for (std::ptrdiff_t j = 0; j < section.m_arrChannels.GetSize(); ++j)
    if (section.m_arrChannels.GetAt(j)->m_nSamples > rows) rows = section.m_arrChannels.GetAt(j)->m_nSamples;
  return std::uint64_t{16} * rows * static_cast<std::uint64_t>(section.m_arrChannels.GetSize());
}

// The rows the file holds, read as two ranges that meet at a random row,
// must be the whole read's, bit for bit.
void CompareRanges(const CQTXGeneral& qtx, CStdioFile& file, const CQTXSection& section) {
  const std::uint32_t held = section.m_nRowsInFile;
  if (held > section.RowCount()) __builtin_trap();
  if (section.m_nChannels <= 0 || section.m_nChannels != section.m_arrChannels.GetSize()) return;
  const auto channels = static_cast<std::size_t>(section.m_nChannels);
  std::vector<double> x(channels * held), y(channels * held);
  std::vector<QTXChannelTarget> targets;
  const std::uint32_t middle = held / 3;
  for (std::uint32_t part = 0; part < 2; ++part) {
    const std::uint32_t first = part == 0 ? 0 : middle, count = part == 0 ? middle : held - middle;
    targets.clear();
    for (std::size_t j = 0; j < channels; ++j)
      targets.push_back({static_cast<int>(j), x.data() + j * held + first, y.data() + j * held + first});
    if (qtx.QTX_ReadRows(&file, &section, first, count, targets.data(), targets.size()).nRows != count)
      __builtin_trap();
  }
  // A field a row lacks is the whole read's 0.0 and the range read's missing
  // value; every other value has the same bits.
  const auto same = [](double whole, double range) {
    if (QTX_IsMissingValue(range)) return whole == 0.0 && !std::signbit(whole);
    return std::memcmp(&whole, &range, sizeof whole) == 0;
  };
  for (std::size_t j = 0; j < channels; ++j) {
    const CQTXChannel& channel = *section.m_arrChannels.GetAt(static_cast<std::ptrdiff_t>(j));
    for (std::uint32_t r = 0; r < held; ++r)
      if (!same(channel.m_pXValues[r], x[j * held + r]) || !same(channel.m_pYValues[r], y[j * held + r]))
        __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Channel objects are made by the scan itself; the harness keeps their
  // number small the same way.
  if (qtx::fuzz::DeclaresManyChannels(data, size)) return 0;
  qtx::fuzz::InputFile input(data, size);
  CQTXGeneral qtx;
  try {
    qtx.ReadQTXFile(input.Path());
  } catch (const std::bad_alloc&) {
    // A count of channels the machine cannot hold fails as an allocation
    // does; the sections read so far stay with qtx and are freed with it.
    return 0;
  }

  CStdioFile file;
  if (!file.Open(input.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText)) return 0;
  for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s) {
    CQTXSection* section = qtx.m_arrSections.GetAt(s);
    if (ValueBytes(*section) > kValueBudgetBytes) continue;
    const std::uint32_t start = section->m_nDataLine;
    std::uint32_t nLine = start;
    qtx.QTX_ReadData(nLine, &file, section, 0, -1);
    nLine = start;
    qtx.QTX_ReadData(nLine, &file, section, 1, -1);
    CompareRanges(qtx, file, *section);
    // Each channel alone; every call walks all channels of every row, so
    // only the first few are read alone, to keep the work linear.
    const int alone = section->m_nChannels < 8 ? section->m_nChannels : 8;
    for (int j = 0; j < alone; ++j) qtx.QTX_ReadData(nLine, &file, section, 1, j);
    // The index one past the list is refused, and the arrays stay whole.
    try {
      qtx.QTX_ReadData(nLine, &file, section, 1, static_cast<int>(section->m_arrChannels.GetSize()));
      __builtin_trap();
    } catch (const CInvalidArgException&) {
    }
  }
  return 0;
}
