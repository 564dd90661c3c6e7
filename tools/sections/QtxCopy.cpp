#include "sections/QtxCopy.h"

#include "cli/Tool.h"

namespace qtx::tool {

std::unique_ptr<CQTXSection> CopyHeader(const CQTXGeneral& qtx, const CQTXSection& source,
                                        const std::vector<int>& channels) {
  auto section = std::make_unique<CQTXSection>();
  section->m_nChannels = static_cast<int>(channels.size());
  for (std::size_t k = 0; k < channels.size(); ++k) {
    const CQTXChannel& from = *source.m_arrChannels.GetAt(channels[k]);
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = static_cast<int>(k);
    channel->m_strXUnitLabel = from.m_strXUnitLabel;
    channel->m_strXDimension = from.m_strXDimension;
    channel->m_strYUnitLabel = from.m_strYUnitLabel;
    channel->m_strYDimension = from.m_strYDimension;
    channel->m_strXHeading = from.m_strXHeading;
    channel->m_strYHeading = from.m_strYHeading;
    channel->m_dX0 = from.m_dX0;
    channel->m_dDeltaX = from.m_dDeltaX;
    channel->m_nSamples = from.m_nSamples;
    channel->m_strDate = from.m_strDate;
    channel->m_strTime = from.m_strTime;
    if (from.m_strDate.IsEmpty() && from.m_strTime.IsEmpty()) {
      channel->m_strDate = qtx.m_strDate;
      channel->m_strTime = qtx.m_strTime;
    }
    section->m_arrChannels.Add(channel.get());
    channel.release();  // the section owns it
  }
  return section;
}

std::uint32_t CopyRows(OutputFile& output, const CQTXGeneral& qtx, const std::string& path,
                       const CQTXSection& section, const std::vector<int>& channels, RowRange range, int mode) {
  constexpr std::size_t kFlushAt = std::size_t{1} << 20;
  std::string text;
  text.reserve(kFlushAt + 64 * (channels.size() + 1));
  std::vector<double> row;
  row.reserve(2 * channels.size() + 1);
  const std::uint32_t rows = ReadChunks(
      qtx, path, section, channels, range,
      [&](std::uint32_t, std::uint32_t count, const std::vector<const double*>& x, const std::vector<const double*>& y) {
        for (std::uint32_t r = 0; r < count; ++r) {
          row.clear();
          if (mode == 1) row.push_back(x[0][r]);
          for (std::size_t k = 0; k < channels.size(); ++k) {
            if (mode == 2) row.push_back(x[k][r]);
            row.push_back(y[k][r]);
          }
          AppendRow(text, row.data(), row.size());
          if (text.size() >= kFlushAt) {
            output.Write(text);
            text.clear();
          }
        }
      });
  output.Write(text);
  return rows;
}

}  // namespace qtx::tool
