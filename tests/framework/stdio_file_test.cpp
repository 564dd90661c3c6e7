// CStdioFile: opening, line ends, positions and seeking, long lines and files
// past 4 GiB.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "qtx/StdioFile.h"
#include "support/PlainFile.h"
#include "support/TempFile.h"
#include "textio/LineSource.h"

namespace {

using qtx::test::TempFile;
using Lines = std::vector<std::string>;

static_assert(CFile::modeRead == 0x0000 && CFile::shareDenyWrite == 0x0020 && CFile::typeText == 0x4000);
static_assert(CFile::begin == 0);

constexpr unsigned kRead = CFile::modeRead | CFile::shareDenyWrite | CFile::typeText;

// The next line of f, or "<end>" when there is none.
std::string Next(CStdioFile& f) {
  CString line;
  return f.ReadString(line) ? line.Str() : "<end>";
}

Lines ReadLines(const std::string& content) {
  const TempFile file(content);
  CStdioFile f;
  EXPECT_TRUE(f.Open(file.c_str(), kRead));
  Lines lines;
  for (std::string line; (line = Next(f)) != "<end>" && lines.size() < 100;) lines.push_back(line);
  return lines;
}

// Whether nobody holds the file open in a way that denies others: an
// exclusive open succeeds only then.
bool NobodyHolds(const char* path) {
  CStdioFile probe;
  return probe.Open(path, CFile::modeRead | CFile::shareExclusive);
}

TEST(StdioFile, OpenFailsOnMissingFileAndDirectory) {
  const TempFile file("x\n");
  CStdioFile f;
  CFileException err;
  EXPECT_EQ(err.m_cause, CFileException::none);
  EXPECT_EQ(err.m_lOsError, -1);
  EXPECT_TRUE(err.m_strFileName.IsEmpty());
  ASSERT_TRUE(f.Open(file.c_str(), kRead, &err));
  EXPECT_TRUE(f.IsOpen());

  const std::string missing = TempFile("").Path();  // removed again at once
  EXPECT_FALSE(f.Open(missing.c_str(), kRead, &err));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(err.m_cause, CFileException::fileNotFound);
  EXPECT_EQ(err.m_lOsError, qtx::test::kFileNotFoundError);
  EXPECT_EQ(err.m_strFileName, missing.c_str());

  CFileException dirErr;
  EXPECT_FALSE(f.Open("/", kRead, &dirErr));
  EXPECT_EQ(dirErr.m_cause, CFileException::accessDenied);
  EXPECT_EQ(dirErr.m_lOsError, qtx::test::kDirectoryError);
}

TEST(StdioFile, CrLfLinesReadLikeLf) {
  const std::pair<std::string, Lines> cases[] = {
      {"", {}}, {"one", {"one"}}, {"a\nb\n", {"a", "b"}}, {"a\nno end", {"a", "no end"}},
      {"\n\nx\n\n", {"", "", "x", ""}}, {"tab\tfield\n 1\t2 \n", {"tab\tfield", " 1\t2 "}},
      {"a\x1a-\n\x1a\nz", {"a\x1a-", "\x1a", "z"}},  // read as bytes: a Ctrl-Z ends no file
  };
  for (const auto& [text, lines] : cases) {
    EXPECT_EQ(ReadLines(text), lines) << "LF: " << text;
    EXPECT_EQ(ReadLines(qtx::test::WithCrLf(text)), lines) << "CR LF: " << text;
  }
}

TEST(StdioFile, OnlyOneCarriageReturnIsDropped) {
  const std::pair<std::string, Lines> cases[] = {
      {"a\r\r\n", {"a\r"}}, {"a\rb\n", {"a\rb"}}, {"\ra\n", {"\ra"}}, {"end\r", {"end"}},
      {"end\r\r", {"end\r"}}, {"\r", {""}}, {"x\n\r", {"x", ""}}, {"a\n\rb\n", {"a", "\rb"}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(ReadLines(text), lines) << text;
}

TEST(StdioFile, SeekToGetPositionReturnsThatLine) {
  const TempFile file("first\r\nsecond\nthird\r\nfourth");
  const std::vector<std::uint64_t> starts = {0, 7, 14, 21, 27};
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  std::vector<std::uint64_t> got = {f.GetPosition()};
  while (Next(f) != "<end>") got.push_back(f.GetPosition());
  EXPECT_EQ(got, starts);

  // Back on the same file, and on a second one opened on the same path.
  CStdioFile other;
  ASSERT_TRUE(other.Open(file.c_str(), kRead));
  for (CStdioFile* p : {&f, &other}) {
    EXPECT_EQ(p->Seek(7, CFile::begin), 7u);
    EXPECT_EQ(Next(*p), "second");
    EXPECT_EQ(p->GetPosition(), 14u);
  }
  EXPECT_EQ(f.Seek(-6, CFile::end), 21u);
  EXPECT_EQ(Next(f), "fourth");
  EXPECT_EQ(f.Seek(-20, CFile::current), 7u);
  EXPECT_EQ(Next(f), "second");
  EXPECT_EQ(f.Seek(5, CFile::end), 32u);  // past the end: nothing more to read
  EXPECT_EQ(Next(f), "<end>");
}

TEST(StdioFile, SeekBeforeStartThrows) {
  const TempFile file("abc\ndef\n");
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  EXPECT_EQ(Next(f), "abc");  // now at 4 of 8
  const std::pair<std::int64_t, unsigned> seeks[] = {
      {-1, CFile::begin}, {INT64_MIN, CFile::begin}, {-5, CFile::current}, {-9, CFile::end}};
  for (const auto& [offset, from] : seeks) EXPECT_THROW(f.Seek(offset, from), CFileException) << offset;
  EXPECT_EQ(f.GetPosition(), 4u);
}

TEST(StdioFile, LinesLongerThanTheBufferReadWhole) {
  constexpr std::size_t kBuf = qtx::textio::LineSource::kBufferSize;
  // The first line's "\r" is the last byte of the first buffer and its "\n"
  // the first of the next; the second line spans three buffers.
  const std::string first(kBuf - 1, 'a');
  const std::string second(2 * kBuf + 3, 'b');
  const TempFile file(first + "\r\n" + second + "\ntail\r");
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  EXPECT_TRUE(Next(f) == first);
  EXPECT_EQ(f.GetPosition(), kBuf + 1);
  EXPECT_TRUE(Next(f) == second);
  EXPECT_EQ(Next(f), "tail");
  EXPECT_EQ(Next(f), "<end>");
}

TEST(StdioFile, ReadsAndSeeksPastFourGiB) {
  constexpr std::uint64_t kFar = (std::uint64_t{1} << 32) + 12345;
  const TempFile file("head\n");
  // A sparse file: nothing is written between the two ends.
  if (!qtx::test::WriteAt(file.Path(), kFar, "far line\r\nlast"))
    GTEST_SKIP() << "no file of 4 GiB possible here";
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  EXPECT_EQ(Next(f), "head");
  EXPECT_EQ(f.Seek(static_cast<std::int64_t>(kFar), CFile::begin), kFar);
  EXPECT_EQ(Next(f), "far line");
  EXPECT_EQ(f.GetPosition(), kFar + 10);
  EXPECT_EQ(Next(f), "last");
  EXPECT_EQ(f.Seek(-4, CFile::end), kFar + 10);
}

TEST(StdioFile, DestructorAndCloseReleaseTheFile) {
  const TempFile file("x\n");
  for (int i = 0; i < 3; ++i) {
    CStdioFile f;
    ASSERT_TRUE(f.Open(file.c_str(), kRead));
    EXPECT_FALSE(NobodyHolds(file.c_str()));
  }
  EXPECT_TRUE(NobodyHolds(file.c_str()));
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  f.Close();
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(NobodyHolds(file.c_str()));
}

// No allocation per line: the string keeps the storage of the longest line,
// and at the end of the file it is emptied in place.
TEST(StdioFile, ReadStringReusesStorageAndEmptiesAtEnd) {
  const TempFile file(std::string(1000, 'x') + "\n\nshort\r\ns");
  CStdioFile f;
  ASSERT_TRUE(f.Open(file.c_str(), kRead));
  CString line;
  ASSERT_TRUE(f.ReadString(line));
  const char* const storage = line.GetString();
  for (const char* expected : {"", "short", "s"}) {
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, expected);
    EXPECT_EQ(line.GetString(), storage) << expected;
  }
  EXPECT_FALSE(f.ReadString(line));
  EXPECT_TRUE(line.IsEmpty());
  EXPECT_EQ(line.GetString(), storage);
  line = "stale";
  EXPECT_FALSE(f.ReadString(line));
  EXPECT_TRUE(line.IsEmpty());
}

}  // namespace
