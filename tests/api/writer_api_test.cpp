// The header writer as a host uses it: through the shared library, on a file
// stream of its own, with the data rows written by the host; the file scan
// and the data reader give back what was written.
#include "qtx/QTXLibrary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "support/TempFile.h"

TEST(PublicApi, HostWritesAFileThatReadsBack) {
  const qtx::test::TempFile temp("");
  const std::string& path = temp.Path();
  {
    std::ofstream out(path);
    CQTXGeneral::QTX_WriteMainHeader(out, 1);
    CQTXSection section;
    section.m_nChannels = 2;
    for (const char* heading : {"In1", "In2"}) {
      auto* channel = new CQTXChannel;
      channel->m_strXHeading = "t";
      channel->m_strYHeading = heading;
      channel->m_strYDimension = "Voltage";
      channel->m_strYUnitLabel = "V";
      channel->m_strXDimension = "Time";
      channel->m_strXUnitLabel = "s";
      channel->m_nSamples = 2;
      channel->m_dDeltaX = 0.5;
      section.m_arrChannels.Add(channel);
    }
    section.WriteSectionHeader(out, 1);
    out << "0\t1.25\t-3\n0.5\t2.5\t-6\n";
  }
  // The writer's error reaches the host as the exported exception type.
  std::ofstream sink;
  CQTXSection tooFew;
  tooFew.m_nChannels = 1;
  EXPECT_THROW(tooFew.WriteSectionHeader(sink, 1), CInvalidArgException);

  CQTXGeneral qtx;
  ASSERT_TRUE(qtx.ReadQTXFile(CString(path.c_str())));
  ASSERT_EQ(qtx.m_arrSections.GetSize(), 1);
  CQTXSection& section = *qtx.m_arrSections.GetAt(0);
  ASSERT_EQ(section.m_nChannels, 2);
  CStdioFile file;
  ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  std::uint32_t nLine = section.m_nDataLine;
  EXPECT_EQ(nLine, 24u);
  ASSERT_TRUE(qtx.QTX_ReadData(nLine, &file, &section, 1, -1));
  const CQTXChannel& second = *section.m_arrChannels.GetAt(1);
  EXPECT_STREQ(second.m_strYHeading, "In2");
  EXPECT_STREQ(second.m_strXHeading, "t");
  EXPECT_EQ(second.m_dDeltaX, 0.5);
  EXPECT_EQ(second.m_pXValues[1], 0.5);
  EXPECT_EQ(second.m_pYValues[1], -6.0);
}
