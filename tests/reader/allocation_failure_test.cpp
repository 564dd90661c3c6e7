// A failed allocation anywhere inside the readers reaches the caller and
// leaves every section, channel and array linked so far with its owner, and
// nothing leaked (the sanitizer build checks the leaks). This test binary
// replaces the global operator new so that the n-th allocation from a chosen
// moment fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "reader/ReaderTestSupport.h"

namespace {

long g_allocationsUntilFailure = -1;  // -1: never fail

void* Allocate(std::size_t size) {
  if (g_allocationsUntilFailure >= 0 && g_allocationsUntilFailure-- == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(SectionHeaderAllocation, FailureAtEveryStepLeavesTheModelWhole) {
  const char* const text =
      "Channels\t2\n"
      "Y_Dimension\tA fairly long dimension text\tAnother long dimension text\n"
      "Channels\t3\n"
      "Y_Unit_Label\tlong unit label number one\tlong unit label number two\n"
      "***End_of_Header***\n"
      "a long heading for channel zero\ta long heading for channel one\n";
  bool completed = false;
  for (long failAt = 0; !completed && failAt < 1000; ++failAt) {
    qtx::test::OpenTextFile file(text);
    CQTXGeneral qtx;
    std::uint32_t nLine = 0;
    g_allocationsUntilFailure = failAt;
    try {
      const CQTXSection* section = qtx.QTX_ReadSectionHeader(nLine, file.get());
      g_allocationsUntilFailure = -1;
      completed = true;
      ASSERT_NE(section, nullptr);
      EXPECT_EQ(qtx.m_arrSections.GetSize(), 2);
    } catch (const std::bad_alloc&) {
      g_allocationsUntilFailure = -1;
    }
    // Whatever was linked in is complete: a section holds all its channels.
    for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s) {
      const CQTXSection* section = qtx.m_arrSections.GetAt(s);
      EXPECT_EQ(section->m_arrChannels.GetSize(), section->m_nChannels) << "failing allocation " << failAt;
    }
  }
  EXPECT_TRUE(completed);
}

TEST(ScanAndReadAllocation, FailureAtEveryStepReachesTheCallerAndLeavesNothingLoose) {
  const qtx::test::TempFile file(
      "Quorset Measurement\t\nX_Columns\tMulti\n***End_of_Header***\t\n\n"
      "Channels\t2\nSamples\t\t3\t\t2\nY_Dimension\t\tVoltage\t\tCurrent\n***End_of_Header***\t\n"
      "t\tU\tt\tI\tComment\n0\t1\t0\t2\n1\t3\t1\t4\n2\t5\n"
      "Channels\t1\nSamples\t\t2\n***End_of_Header***\t\nt\tP\tComment\n0\t9\n1\t8\n");
  bool completed = false;
  long failures = 0;
  for (long failAt = 0; !completed && failAt < 1000; ++failAt) {
    CQTXGeneral qtx;
    CQTXSection* reading = nullptr;  // the section a read was given
    g_allocationsUntilFailure = failAt;
    try {
      ASSERT_TRUE(qtx.ReadQTXFile(file.c_str()));
      CStdioFile input;
      ASSERT_TRUE(input.Open(file.c_str(), CFile::modeRead));
      for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s) {
        std::uint32_t nLine = 0;
        reading = qtx.m_arrSections.GetAt(s);
        qtx.QTX_ReadData(nLine, &input, reading, 1, -1);
      }
      g_allocationsUntilFailure = -1;
      completed = true;
      ASSERT_EQ(qtx.m_arrSections.GetSize(), 2);
      EXPECT_EQ(qtx.m_arrSections[1]->m_arrChannels[0]->m_pYValues[1], 8.0);
    } catch (const std::bad_alloc&) {
      g_allocationsUntilFailure = -1;
      ++failures;
      // A read that failed gave new arrays to every channel or to none, so
      // no channel holds entries that were never written.
      if (reading) {
        std::ptrdiff_t holding = 0;
        for (std::ptrdiff_t c = 0; c < reading->m_arrChannels.GetSize(); ++c)
          holding += reading->m_arrChannels[c]->m_pXValues != nullptr;
        EXPECT_TRUE(holding == 0 || holding == reading->m_arrChannels.GetSize()) << "failing allocation " << failAt;
      }
    }
    // A channel holds both arrays or neither.
    for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s)
      for (std::ptrdiff_t c = 0; c < qtx.m_arrSections[s]->m_arrChannels.GetSize(); ++c) {
        const CQTXChannel* channel = qtx.m_arrSections[s]->m_arrChannels[c];
        EXPECT_EQ(channel->m_pXValues == nullptr, channel->m_pYValues == nullptr) << "failing allocation " << failAt;
      }
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(failures, 10);
}

}  // namespace
