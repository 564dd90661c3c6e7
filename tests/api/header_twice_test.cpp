// The public header stands alone: first in the translation unit, before any
// standard header, and harmless when included twice.
#include "qtx/QTXLibrary.h"
#include "qtx/QTXLibrary.h"

#include <gtest/gtest.h>

TEST(PublicHeader, StandsAloneAndIncludesTwice) {
  CQTXGeneral qtx;
  EXPECT_EQ(qtx.m_nXColumns, 0);
}
