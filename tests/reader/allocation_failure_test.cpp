// A failed allocation anywhere inside the section header reader leaves every
// section and channel linked so far with its owner, and nothing leaked (the
// sanitizer build checks the leaks). This test binary replaces the global
// operator new so that the n-th allocation from a chosen moment fails.
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

}  // namespace
