// Files that change or misbehave under the reader: truncated or replaced
// between the scan and the read, unreadable, empty, or one huge line.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "reader/ReaderTestSupport.h"

namespace {

using qtx::test::TempFile;

const char* const kFile =
    "X_Columns\tOne\n***End_of_Header***\n"
    "Channels\t2\nSamples\t\t4\t\t4\n***End_of_Header***\nt\ta\tb\n"
    "0\t1\t2\n1\t3\t4\n2\t5\t6\n3\t7\t8\n";

void Rewrite(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

struct ScannedThenChanged {
  explicit ScannedThenChanged(const std::string& replacement) : temp(kFile) {
    EXPECT_TRUE(qtx.ReadQTXFile(temp.c_str()));
    Rewrite(temp.Path(), replacement);
    EXPECT_TRUE(file.Open(temp.c_str(), CFile::modeRead));
    section = qtx.m_arrSections.GetAt(0);
    EXPECT_TRUE(qtx.QTX_ReadData(nLine, &file, section, 1, -1));
  }
  std::vector<double> Y(int channel) const {
    const double* y = section->m_arrChannels.GetAt(channel)->m_pYValues;
    return std::vector<double>(y, y + 4);
  }

  TempFile temp;
  CQTXGeneral qtx;
  CStdioFile file;
  CQTXSection* section = nullptr;
  std::uint32_t nLine = 0;
};

TEST(FileFaults, FileTruncatedAfterTheScanReadsWhatIsLeft) {
  const std::string text = kFile;
  ScannedThenChanged s(text.substr(0, text.find("2\t5")));  // rows 0 and 1 remain
  EXPECT_EQ(s.Y(0), (std::vector<double>{1, 3, 0, 0}));
  EXPECT_EQ(s.nLine, 3u);
}

TEST(FileFaults, FileReplacedByAShorterOneReadsNothing) {
  ScannedThenChanged s("short\n");  // the recorded position lies beyond the end
  EXPECT_EQ(s.Y(1), (std::vector<double>{0, 0, 0, 0}));
  EXPECT_EQ(s.nLine, 1u);
}

TEST(FileFaults, FileReplacedByOtherTextReadsItAsRows) {
  std::string other(std::string(kFile).find("0\t1\t2"), 'x');
  ScannedThenChanged s(other + "9\t9\t9\n\xff\xfe\t\x01\n");
  EXPECT_EQ(s.Y(0), (std::vector<double>{9, 0, 0, 0}));
}

TEST(FileFaults, FilesThatCannotBeScanned) {
  CQTXGeneral qtx;
  TempFile empty("");
  EXPECT_FALSE(qtx.ReadQTXFile(empty.c_str()));
  EXPECT_FALSE(qtx.ReadQTXFile(""));
  EXPECT_FALSE(qtx.ReadQTXFile("/"));
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 0);

}

TEST(FileFaults, FileWithoutReadPermission) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: a file's mode bits deny reading, and a child process gives up root";
#else
  TempFile unreadable(kFile);
  ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);
  if (::geteuid() != 0) {
    CQTXGeneral qtx;
    EXPECT_FALSE(qtx.ReadQTXFile(unreadable.c_str()));
    return;
  }
  // Root reads anything: the scan runs in a child that has given up root.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    CQTXGeneral qtx;
    CStdioFile file;
    CFileException error;
    const bool opened = file.Open(unreadable.c_str(), CFile::modeRead, &error);
    ::_exit(qtx.ReadQTXFile(unreadable.c_str()) ? 1 : opened || error.m_cause != CFileException::accessDenied ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot give up root here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(FileFaults, OneHugeLineEndsTheScan) {
  // 24 MiB without a line end: one line, no main header end.
  TempFile huge(std::string(24u << 20, 'z'));
  CQTXGeneral qtx;
  EXPECT_FALSE(qtx.ReadQTXFile(huge.c_str()));
}

}  // namespace
