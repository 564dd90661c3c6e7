// The line source's bound on line length: a file without line ends must not
// grow one string until the system kills the process.
#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <string>

#include "support/PlainFile.h"
#include "support/TempFile.h"
#include "textio/LineSource.h"

namespace {

using qtx::textio::LineSource;

TEST(LineSource, LineLongerThanTheBoundThrowsBadAlloc) {
  const qtx::test::TempFile file("12345678\n123456789\nnext\n");
  LineSource source;
  source.Attach(qtx::test::OpenPlain(file.c_str()), file.c_str());
  source.SetMaxLineLength(8);
  CString line;
  ASSERT_TRUE(source.ReadLine(line));
  EXPECT_EQ(line, "12345678");
  EXPECT_THROW(source.ReadLine(line), std::bad_alloc);
}

TEST(LineSource, BoundHoldsAcrossBufferRefills) {
  const std::string longLine(LineSource::kBufferSize + 10, 'x');
  const qtx::test::TempFile file(longLine + "\n");
  LineSource source;
  source.Attach(qtx::test::OpenPlain(file.c_str()), file.c_str());
  source.SetMaxLineLength(LineSource::kBufferSize + 9);
  CString line;
  EXPECT_THROW(source.ReadLine(line), std::bad_alloc);

  source.Seek(0);
  source.SetMaxLineLength(LineSource::kBufferSize + 10);
  ASSERT_TRUE(source.ReadLine(line));
  EXPECT_EQ(static_cast<std::size_t>(line.GetLength()), longLine.size());
}

TEST(LineSource, DefaultBoundFitsACStringAndTheMachine) {
  const LineSource source;
  EXPECT_GE(source.MaxLineLength(), std::size_t{1} << 20);
  EXPECT_LE(source.MaxLineLength(), static_cast<std::size_t>(std::numeric_limits<int>::max()));
}

}  // namespace
