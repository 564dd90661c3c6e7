// A model derived from the input, written as a file by the header writer
// plus rows as a host writes them, then read back by the file scan and the
// data reader: everything must come back as written.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "qtx/QTXLibrary.h"

namespace {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  double Double() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | Byte();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return std::isfinite(d) ? d : static_cast<double>(bits % 1000) / 8.0;
  }
  // A label or heading: 1 to 8 printable characters, no tab, no white space
  // at either end (the section header reader trims its lines).
  std::string Text() {
    std::string text(1 + Byte() % 8, 'a');
    for (char& c : text) c = static_cast<char>('!' + Byte() % 94);
    if (text.size() > 2 && (Byte() & 1)) text[text.size() / 2] = ' ';
    return text;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

// What X0 and Delta_X become once written with six digits after the point.
double AsWritten(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6e", value);
  return std::strtod(text, nullptr);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  const int mode = in.Byte() % 3;
  const int nChannels = 1 + in.Byte() % 16;
  CQTXSection section;
  section.m_nChannels = nChannels;
  std::uint32_t nRows = 0;
  for (int c = 0; c < nChannels; ++c) {
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nSamples = in.Byte() % 32;
    channel->m_strYDimension = in.Text().c_str();
    channel->m_strYUnitLabel = in.Text().c_str();
    channel->m_strXDimension = in.Text().c_str();
    channel->m_strXUnitLabel = in.Text().c_str();
    channel->m_strXHeading = in.Text().c_str();
    channel->m_strYHeading = in.Text().c_str();
    channel->m_dX0 = in.Double();
    channel->m_dDeltaX = in.Double();
    if (channel->m_nSamples > nRows) nRows = channel->m_nSamples;
    section.m_arrChannels.Add(channel.release());
  }
  // Row r of channel c: X in modes One and Multi, and Y.
  std::vector<double> x(static_cast<std::size_t>(nRows) * nChannels);
  std::vector<double> y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = mode == 1 && i % nChannels ? x[i - i % nChannels] : in.Double();  // One: a shared X per row
    y[i] = in.Double();
  }

  const qtx::fuzz::InputFile file(nullptr, 0);
  {
    std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
    CQTXGeneral::QTX_WriteMainHeader(out, mode);
    section.WriteSectionHeader(out, mode);
    char cell[40];
    for (std::uint32_t r = 0; r < nRows; ++r) {
      std::string row;
      for (int c = 0; c < nChannels; ++c) {
        const std::size_t i = static_cast<std::size_t>(r) * nChannels + c;
        if (mode == 2 || (mode == 1 && c == 0)) {
          std::snprintf(cell, sizeof cell, "%.17g\t", x[i]);
          row += cell;
        }
        std::snprintf(cell, sizeof cell, "%.17g\t", y[i]);
        row += cell;
      }
      out << row << '\n';
    }
  }

  CQTXGeneral qtx;
  Check(qtx.ReadQTXFile(file.Path()));
  Check(qtx.m_nXColumns == mode && qtx.m_arrSections.GetSize() == 1);
  CQTXSection* read = qtx.m_arrSections[0];
  Check(read->m_nChannels == nChannels);
  CStdioFile input;
  Check(input.Open(file.Path(), CFile::modeRead));
  std::uint32_t nLine = read->m_nDataLine;
  qtx.QTX_ReadData(nLine, &input, read, 1, -1);
  for (int c = 0; c < nChannels; ++c) {
    const CQTXChannel& w = *section.m_arrChannels[c];
    const CQTXChannel& r = *read->m_arrChannels[c];
    Check(r.m_nSamples == w.m_nSamples);
    Check(r.m_strYDimension == w.m_strYDimension && r.m_strYUnitLabel == w.m_strYUnitLabel);
    Check(r.m_strXDimension == w.m_strXDimension && r.m_strXUnitLabel == w.m_strXUnitLabel);
    Check(r.m_strYHeading == w.m_strYHeading);
    const CString& xHeading = mode == 0 ? CString("X_Value") : mode == 1 ? section.m_arrChannels[0]->m_strXHeading
                                                                          : w.m_strXHeading;
    Check(r.m_strXHeading == xHeading);
    Check(SameBits(r.m_dX0, AsWritten(w.m_dX0)) && SameBits(r.m_dDeltaX, AsWritten(w.m_dDeltaX)));
    for (std::uint32_t row = 0; row < nRows; ++row) {
      const std::size_t i = static_cast<std::size_t>(row) * nChannels + c;
      Check(SameBits(r.m_pYValues[row], y[i]));
      const double expectX = mode == 0 ? r.m_dX0 + static_cast<double>(row) * r.m_dDeltaX : x[i];
      Check(SameBits(r.m_pXValues[row], expectX));
    }
  }
  return 0;
}
