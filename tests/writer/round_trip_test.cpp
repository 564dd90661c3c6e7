// Files that read back as written: random models written with the exported
// writer operations and rows in the layout of the file's mode, then read with the
// file scan and the data reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/TempFile.h"
#include "writer/WriterTestSupport.h"

namespace {

using qtx::test::ChannelSetup;
using qtx::test::MakeSection;
using qtx::test::TempFile;

// Draws from std::mt19937 directly: the engine's sequence is fixed by the
// standard, unlike the distributions', so a seed gives the same models with
// every standard library.
class Random {
 public:
  explicit Random(std::uint32_t seed) : m_engine(seed) {}
  // Uniform in [low, high].
  int Between(int low, int high) {
    return low + static_cast<int>(m_engine() % static_cast<std::uint32_t>(high - low + 1));
  }
  bool OneIn(int n) { return Between(1, n) == 1; }
  std::uint64_t Bits() { return (std::uint64_t{m_engine()} << 32) | m_engine(); }

  // A finite double from every corner: small integers, decimal fractions,
  // any bit pattern (subnormals, extremes), zeros of both signs.
  double Value() {
    switch (Between(0, 4)) {
      case 0: return Between(-1000, 1000);
      case 1: return Between(-999999, 999999) / 1000.0;
      case 2: return OneIn(2) ? 0.0 : -0.0;
      default:
        for (;;) {
          const std::uint64_t bits = Bits();
          double value;
          std::memcpy(&value, &bits, sizeof value);
          if (std::isfinite(value)) return value;
        }
    }
  }

  // A label or heading: 1 to 12 characters, no separator, no control
  // character, no white space at either end (the section header reader trims
  // its lines, which would take it from the last channel's label).
  std::string Text() {
    static const char kInner[] = "abcXYZ019_-+./()%[]*#~ \xb0\xb5";
    static const char kEnd[] = "abcXYZ019_-+./()%[]*#~\xb0\xb5";
    const int length = Between(1, 12);
    std::string text;
    for (int i = 0; i < length; ++i) {
      const bool end = i == 0 || i == length - 1;
      text += end ? kEnd[Between(0, sizeof kEnd - 2)] : kInner[Between(0, sizeof kInner - 2)];
    }
    return text;
  }

 private:
  std::mt19937 m_engine;
};

// A number as text that atof gives back exactly.
std::string Exact(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// The value the header keeps of X0 or Delta_X: six digits after the point.
double AsWritten(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.6e", value);
  return std::strtod(buffer, nullptr);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// One section as the host holds it: the channels and, per data row, the X
// and Y of each channel (X is unused in mode 0, shared from channel 0 in mode 1).
struct SectionModel {
  std::vector<ChannelSetup> channels;
  std::vector<std::vector<double>> x, y;  // [row][channel]
  std::uint32_t Rows() const { return static_cast<std::uint32_t>(x.size()); }
};

SectionModel RandomSection(Random& random, int mode) {
  SectionModel model;
  const int channels = random.Between(1, 16);
  std::uint32_t rows = 0;
  for (int c = 0; c < channels; ++c) {
    ChannelSetup setup;
    setup.samples = static_cast<std::uint32_t>(random.OneIn(8) ? 0 : random.Between(1, 40));
    rows = std::max(rows, setup.samples);
    setup.yDimension = random.Text();
    setup.yUnit = random.Text();
    setup.xDimension = random.Text();
    setup.xUnit = random.Text();
    setup.x0 = random.Value();
    setup.deltaX = random.Value();
    setup.xHeading = random.Text();
    setup.yHeading = random.Text();
    model.channels.push_back(setup);
  }
  for (std::uint32_t r = 0; r < rows; ++r) {
    std::vector<double> x, y;
    for (int c = 0; c < channels; ++c) {
      x.push_back(mode == 1 && c > 0 ? x[0] : random.Value());
      y.push_back(random.Value());
    }
    model.x.push_back(x);
    model.y.push_back(y);
  }
  return model;
}

// The host's part: the rows in the layout of the mode, tab-separated. The
// writer left the stream in scientific format, so numbers go in as text.
void WriteRows(std::ofstream& out, const SectionModel& model, int mode) {
  for (std::uint32_t r = 0; r < model.Rows(); ++r) {
    std::string line;
    auto field = [&line](double value) {
      if (!line.empty()) line += '\t';
      line += Exact(value);
    };
    if (mode == 1) field(model.x[r][0]);
    for (std::size_t c = 0; c < model.channels.size(); ++c) {
      if (mode == 2) field(model.x[r][c]);
      field(model.y[r][c]);
    }
    out << line << '\n';
  }
}

void ExpectReadBack(const SectionModel& model, int mode, CQTXSection& section, CQTXGeneral& qtx, CStdioFile& file,
                    std::uint32_t dataLine) {
  const int channels = static_cast<int>(model.channels.size());
  ASSERT_EQ(section.m_nChannels, channels);
  ASSERT_EQ(section.m_arrChannels.GetSize(), channels);
  EXPECT_EQ(section.m_nDataLine, dataLine);
  for (int c = 0; c < channels; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    const ChannelSetup& setup = model.channels[static_cast<std::size_t>(c)];
    const CQTXChannel& channel = *section.m_arrChannels.GetAt(c);
    EXPECT_EQ(channel.m_nIndex, c);
    EXPECT_EQ(channel.m_nSamples, setup.samples);
    EXPECT_EQ(channel.m_strYDimension, setup.yDimension.c_str());
    EXPECT_EQ(channel.m_strYUnitLabel, setup.yUnit.c_str());
    EXPECT_EQ(channel.m_strXDimension, setup.xDimension.c_str());
    EXPECT_EQ(channel.m_strXUnitLabel, setup.xUnit.c_str());
    EXPECT_TRUE(SameBits(channel.m_dX0, AsWritten(setup.x0))) << setup.x0 << " read as " << channel.m_dX0;
    EXPECT_TRUE(SameBits(channel.m_dDeltaX, AsWritten(setup.deltaX))) << setup.deltaX << " read as " << channel.m_dDeltaX;
    const std::string xHeading = mode == 0 ? "X_Value" : mode == 1 ? model.channels[0].xHeading : setup.xHeading;
    EXPECT_EQ(channel.m_strXHeading, xHeading.c_str());
    EXPECT_EQ(channel.m_strYHeading, setup.yHeading.c_str());
  }

  // All channels at once, then each alone.
  std::uint32_t nLine = section.m_nDataLine;
  ASSERT_TRUE(qtx.QTX_ReadData(nLine, &file, &section, 1, -1));
  EXPECT_EQ(nLine, dataLine + model.Rows());
  for (int selected = 0; selected < channels; ++selected) {
    CQTXChannel& channel = *section.m_arrChannels.GetAt(selected);
    if (selected % 2 == 1) {  // read again alone
      ASSERT_TRUE(qtx.QTX_ReadData(nLine, &file, &section, 1, selected));
    }
    for (std::uint32_t r = 0; r < model.Rows(); ++r) {
      const double x0 = AsWritten(model.channels[static_cast<std::size_t>(selected)].x0);
      const double dx = AsWritten(model.channels[static_cast<std::size_t>(selected)].deltaX);
      const double x = mode == 0 ? x0 + static_cast<double>(r) * dx : model.x[r][static_cast<std::size_t>(selected)];
      const double y = model.y[r][static_cast<std::size_t>(selected)];
      ASSERT_TRUE(SameBits(channel.m_pXValues[r], x))
          << "channel " << selected << " row " << r << ": X " << Exact(x) << " read as " << Exact(channel.m_pXValues[r]);
      ASSERT_TRUE(SameBits(channel.m_pYValues[r], y))
          << "channel " << selected << " row " << r << ": Y " << Exact(y) << " read as " << Exact(channel.m_pYValues[r]);
    }
  }
}

TEST(RoundTrip, RandomModelsReadBackAsWritten) {
  constexpr int kFiles = 300;
  Random random(20240305);
  for (int f = 0; f < kFiles; ++f) {
    const int mode = f % 3;
    SCOPED_TRACE("file " + std::to_string(f) + ", mode " + std::to_string(mode));
    std::vector<SectionModel> models;
    const int sections = random.Between(1, 3);
    for (int s = 0; s < sections; ++s) models.push_back(RandomSection(random, mode));

    TempFile file("");
    {
      std::ofstream out(file.Path());
      CQTXGeneral::QTX_WriteMainHeader(out, mode);
      for (const SectionModel& model : models) {
        const auto section = MakeSection(static_cast<int>(model.channels.size()), model.channels);
        section->WriteSectionHeader(out, mode);
        WriteRows(out, model, mode);
      }
      ASSERT_TRUE(out.good());
    }

    CQTXGeneral qtx;
    ASSERT_TRUE(qtx.ReadQTXFile(CString(file.c_str())));
    EXPECT_TRUE(qtx.m_bQTXFile);
    EXPECT_EQ(qtx.m_nXColumns, mode);
    EXPECT_EQ(qtx.m_strSeparator, "\t");
    EXPECT_EQ(qtx.m_strSeparatorName, "Tab");
    EXPECT_EQ(qtx.m_dWriterVersion, 0.92);
    EXPECT_EQ(qtx.m_dReaderVersion, 1.0);
    EXPECT_TRUE(qtx.m_bMultiHeadings);
    ASSERT_EQ(qtx.m_arrSections.GetSize(), sections);

    CStdioFile data;
    ASSERT_TRUE(data.Open(file.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
    // 12 lines of main header (the empty one included); then per section 11
    // header lines, the headings line and the rows.
    std::uint32_t dataLine = 12;
    for (int s = 0; s < sections; ++s) {
      SCOPED_TRACE("section " + std::to_string(s));
      dataLine += 12;
      ExpectReadBack(models[static_cast<std::size_t>(s)], mode, *qtx.m_arrSections.GetAt(s), qtx, data, dataLine);
      dataLine += models[static_cast<std::size_t>(s)].Rows();
    }
    if (HasFatalFailure()) return;
  }
}

}  // namespace
