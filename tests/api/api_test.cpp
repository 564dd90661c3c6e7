// The library as a host links it: the public header and the shared library
// only. Everything used here must be exported, exceptions included, or this
// test fails to link or to catch.
#include "qtx/QTXLibrary.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(PublicApi, HostReadsTheHeadersOfTheSample) {
  CStdioFile file;
  CFileException error;
  ASSERT_TRUE(file.Open(QTX_EXAMPLES_DIR "/sample.qtx", CFile::modeRead | CFile::shareDenyWrite | CFile::typeText,
                        &error));
  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  ASSERT_TRUE(qtx.QTX_ReadMainHeader(nLine, &file));
  EXPECT_EQ(nLine, 11u);
  EXPECT_EQ(qtx.m_nXColumns, 1);
  EXPECT_STREQ(qtx.m_strSeparatorName, CQTXGeneral::lpszTab);

  CQTXSection* section = qtx.QTX_ReadSectionHeader(nLine, &file);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(nLine, 24u);
  ASSERT_EQ(section->m_nChannels, 2);
  EXPECT_STREQ(section->m_arrChannels[1]->m_strYHeading, "In2");
  EXPECT_EQ(section->m_arrChannels[1]->m_dDeltaX, 0.001);
  EXPECT_EQ(qtx.QTX_ReadSectionHeader(nLine, &file), nullptr);  // the rows carry no keyword
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 1);
}

TEST(PublicApi, LibraryExceptionsAreCaughtByTheirTypes) {
  EXPECT_THROW(AfxThrowInvalidArgException(), CInvalidArgException);
  CQTXGeneral qtx;
  EXPECT_THROW(qtx.m_arrSections.GetAt(0), CInvalidArgException);

  CStdioFile closed;
  CString line("old");
  EXPECT_THROW(closed.ReadString(line), CFileException);

  CStdioFile missing;
  CFileException error;
  EXPECT_FALSE(missing.Open(QTX_EXAMPLES_DIR "/no-such-file.qtx", CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
}

TEST(PublicApi, HostBuiltSectionsAreFreedByTheirOwner) {
  CQTXGeneral qtx;
  auto* section = new CQTXSection;
  section->m_nChannels = 1;
  auto* channel = new CQTXChannel;
  channel->m_pXValues = new double[3]();
  section->m_arrChannels.Add(channel);
  section->m_ppChannelBlocks = new CObject*[1]{nullptr};
  qtx.m_arrSections.Add(section);
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 1);
}
