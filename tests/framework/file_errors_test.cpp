// How the text file reports what goes wrong: the cause and message of each
// failed open, sharing conflicts, bad seeks and failed reads.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <cstdint>
#include <fstream>
#include <limits>
#include <string>

#include "qtx/StdioFile.h"
#include "support/PlainFile.h"
#include "support/TempFile.h"
#include "textio/LineSource.h"

namespace {

constexpr unsigned kRead = CFile::modeRead | CFile::typeText;

CFileException FailedOpen(const char* path, unsigned flags = kRead) {
  CStdioFile file;
  CFileException error;
  EXPECT_FALSE(file.Open(path, flags, &error)) << (path ? path : "(null)");
  EXPECT_FALSE(file.IsOpen());
  return error;
}

TEST(FileErrors, EachFailedOpenNamesItsCause) {
  const qtx::test::TempFile file("x\n");
  const std::string throughAFile = file.Path() + "/inside";
  const std::string tooLong(5000, 'n');

  EXPECT_EQ(FailedOpen(nullptr).m_cause, CFileException::badPath);
  const CFileException write = FailedOpen(file.c_str(), CFile::modeWrite);
  EXPECT_EQ(write.m_cause, CFileException::accessDenied);
  EXPECT_STREQ(write.what(), (file.Path() + ": access denied").c_str());
  EXPECT_EQ(FailedOpen(file.c_str(), CFile::modeReadWrite).m_cause, CFileException::accessDenied);
  EXPECT_EQ(FailedOpen(throughAFile.c_str()).m_cause, CFileException::badPath);
  EXPECT_EQ(FailedOpen(tooLong.c_str()).m_cause, CFileException::badPath);
  EXPECT_EQ(FailedOpen("/").m_cause, CFileException::accessDenied);
}

TEST(FileErrors, MessagesWithoutAnOsErrorNameTheCause) {
  const struct {
    int cause;
    const char* text;
  } cases[] = {
      {CFileException::none, "no error"},
      {CFileException::fileNotFound, "file not found"},
      {CFileException::badPath, "bad path"},
      {CFileException::tooManyOpenFiles, "too many open files"},
      {CFileException::accessDenied, "access denied"},
      {CFileException::invalidFile, "invalid file"},
      {CFileException::badSeek, "bad seek"},
      {CFileException::hardIO, "read error"},
      {CFileException::sharingViolation, "locked by another program"},
      {CFileException::endOfFile, "unexpected end of file"},
      {CFileException::genericException, "file error"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(CFileException(c.cause, -1).what(), c.text);
    EXPECT_STREQ(CFileException(c.cause, 0, "f.qtx").what(), (std::string("f.qtx: ") + c.text).c_str());
  }
}

TEST(FileErrors, ExclusiveAndDenyWriteOpenersExcludeEachOther) {
  const qtx::test::TempFile file("x\n");
  CStdioFile reader;
  ASSERT_TRUE(reader.Open(file.c_str(), kRead | CFile::shareDenyWrite));
  CStdioFile secondReader;
  EXPECT_TRUE(secondReader.Open(file.c_str(), kRead | CFile::shareDenyWrite));  // readers share
  secondReader.Close();
  for (const unsigned share : {CFile::shareExclusive, CFile::shareDenyRead}) {
    EXPECT_EQ(FailedOpen(file.c_str(), kRead | share).m_cause, CFileException::sharingViolation);
  }
  {  // Where sharing is mandatory, a program that does not ask is held off too.
    std::ofstream writer(file.Path(), std::ios::app);
    EXPECT_EQ(writer.is_open(), !qtx::test::kMandatorySharing);
  }
  reader.Close();
  CStdioFile exclusive;
  EXPECT_TRUE(exclusive.Open(file.c_str(), kRead | CFile::shareExclusive));
}

TEST(FileErrors, SeeksThatCannotBeMade) {
  const qtx::test::TempFile file("x\n");
  {
    CStdioFile stdioFile;
    ASSERT_TRUE(stdioFile.Open(file.c_str(), kRead));
    EXPECT_THROW(stdioFile.Seek(0, 7), CFileException);
    EXPECT_THROW(stdioFile.Seek(std::numeric_limits<std::int64_t>::max(), CFile::end), CFileException);
  }  // closed: compatibility mode denies every other opener on Windows

  qtx::textio::LineSource source;
  source.Attach(qtx::test::OpenPlain(file.c_str()), file.c_str());
  try {
    source.Seek(std::numeric_limits<std::uint64_t>::max());
    ADD_FAILURE() << "a position beyond any file was accepted";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::badSeek);
  }
}

TEST(FileErrors, AFailedReadIsThrownWithItsCause) {
#ifdef _WIN32
  GTEST_SKIP()
      << "POSIX only: the failing read is that of a directory descriptor, which Windows does not open";
#else
  // A directory opened by hand reads with EISDIR: a read error the text file
  // hands on, never an end of file.
  qtx::textio::LineSource source;
  source.Attach(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC), "/");
  CString line;
  try {
    source.ReadLine(line);
    ADD_FAILURE() << "reading a directory succeeded";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::hardIO);
    EXPECT_STREQ(e.what(), "/: Is a directory");
  }
  EXPECT_THROW(source.SkipLine(), CFileException);
#endif
}

TEST(FileErrors, LinesPassedOverOrViewedAcrossTheBuffer) {
  using qtx::textio::LineSource;
  const std::string longLine(LineSource::kBufferSize * 2 + 5, 'y');
  const qtx::test::TempFile file(longLine + "\nshort\r\n" + longLine + "\r\nlast");
  LineSource source;
  source.Attach(qtx::test::OpenPlain(file.c_str()), file.c_str());
  EXPECT_TRUE(source.SkipLine());
  std::string_view view;
  CString spill;
  ASSERT_TRUE(source.ReadLine(view, spill));
  EXPECT_EQ(view, "short");
  ASSERT_TRUE(source.ReadLine(view, spill));
  EXPECT_EQ(view.size(), longLine.size());  // from the spill, its CR dropped
  ASSERT_TRUE(source.ReadLine(view, spill));
  EXPECT_EQ(view, "last");
  EXPECT_FALSE(source.ReadLine(view, spill));
  EXPECT_FALSE(source.SkipLine());
}

}  // namespace
