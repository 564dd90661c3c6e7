// Helpers shared by the writer tests: a fixed clock reading, sections built
// by hand the way a host builds them, and a file's bytes.
#ifndef QTX_TESTS_WRITER_WRITERTESTSUPPORT_H
#define QTX_TESTS_WRITER_WRITERTESTSUPPORT_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "writer/LocalTime.h"

namespace qtx::test {

// The clock reading of the bundled sample: 5 March 2024, 09:07:02.
inline qtx::writer::LocalTimeTexts SampleClock() { return {"2024/03/05", "09:07:02"}; }

// What a host puts into one channel before writing its section header.
struct ChannelSetup {
  std::uint32_t samples = 0;
  std::string yDimension, yUnit, xDimension, xUnit;
  double x0 = 0.0;
  double deltaX = 0.0;
  std::string xHeading, yHeading;
};

// A section whose list holds `channels` and whose m_nChannels is `count`.
inline std::unique_ptr<CQTXSection> MakeSection(int count, const std::vector<ChannelSetup>& channels) {
  auto section = std::make_unique<CQTXSection>();
  section->m_nChannels = count;
  for (const ChannelSetup& setup : channels) {
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = static_cast<int>(section->m_arrChannels.GetSize());
    channel->m_nSamples = setup.samples;
    channel->m_strYDimension = setup.yDimension;
    channel->m_strYUnitLabel = setup.yUnit;
    channel->m_strXDimension = setup.xDimension;
    channel->m_strXUnitLabel = setup.xUnit;
    channel->m_dX0 = setup.x0;
    channel->m_dDeltaX = setup.deltaX;
    channel->m_strXHeading = setup.xHeading;
    channel->m_strYHeading = setup.yHeading;
    section->m_arrChannels.Add(channel.get());
    channel.release();  // the section owns it now
  }
  return section;
}

// The two channels of the bundled sample, with `samples` rows each.
inline std::vector<ChannelSetup> SampleChannels(std::uint32_t samples = 500) {
  return {{samples, "Voltage", "V", "Time", "s", 0.0, 0.001, "X_Value", "In1"},
          {samples, "Current", "A", "Time", "s", 0.0, 0.001, "X_Value", "In2"}};
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qtx::test

#endif  // QTX_TESTS_WRITER_WRITERTESTSUPPORT_H
