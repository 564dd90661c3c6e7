// The index file against the scan: an open through a valid index builds the
// object the scan builds, member for member; an index that does not match
// its file, or is damaged, is not used; a file that grows is followed row by
// row, each row once and with the bits of the finished file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "support/DoubleBits.h"
#include "support/TempFile.h"

namespace {

using qtx::test::Bits;
using qtx::test::TempFile;
using qtx::test::WithCrLf;

// Every member of the object that a reader sets, as text.
std::string Describe(const CQTXGeneral& q) {
  std::ostringstream o;
  o << q.m_bQTXFile << ' ' << q.m_dReaderVersion << ' ' << q.m_dWriterVersion << ' ' << q.m_bEndOfHeader << ' '
    << q.m_bEndOfSectionHeader << ' ' << q.m_bMultiHeadings << " [" << q.m_strSeparator.GetString() << "] "
    << q.m_strSeparatorName.GetString() << ' ' << q.m_nXColumns << ' ' << q.m_bInSpecial << ' '
    << q.m_strDescription.GetString() << '|' << q.m_strDate.GetString() << '|' << q.m_strTime.GetString() << '|'
    << q.m_strTimePref.GetString() << '\n';
  for (std::ptrdiff_t i = 0; i < q.m_arrSections.GetSize(); ++i) {
    const CQTXSection& s = *q.m_arrSections.GetAt(i);
    o << "section " << s.m_nChannels << ' ' << s.m_nDataLine << ' ' << s.m_nDataPosition << ' ' << s.m_bRowsCounted
      << ' ' << s.m_nRowsInFile << ' ' << s.m_bLastLineCutOff << " marks";
    for (std::ptrdiff_t m = 0; m < s.m_arrRowMarks.GetSize(); ++m)
      o << ' ' << s.m_arrRowMarks.GetAt(m).nRow << '@' << s.m_arrRowMarks.GetAt(m).nPosition;
    o << '\n';
    for (std::ptrdiff_t c = 0; c < s.m_arrChannels.GetSize(); ++c) {
      const CQTXChannel& ch = *s.m_arrChannels.GetAt(c);
      o << "  " << ch.m_strXUnitLabel.GetString() << '|' << ch.m_strXDimension.GetString() << '|'
        << ch.m_strYUnitLabel.GetString() << '|' << ch.m_strYDimension.GetString() << '|'
        << ch.m_strXHeading.GetString() << '|' << ch.m_strYHeading.GetString() << '|' << Bits(ch.m_dX0) << '|'
        << Bits(ch.m_dDeltaX) << '|' << ch.m_nIndex << '|' << ch.m_nSamples << '|' << ch.m_strDate.GetString() << '|'
        << ch.m_strTime.GetString() << '\n';
    }
  }
  return o.str();
}

std::string Scan(const std::string& path) {
  CQTXGeneral q;
  q.ReadQTXFile(path.c_str());
  return Describe(q);
}

std::string Section(int channels, std::uint32_t samples, std::uint32_t rows, int mode, std::uint32_t seed) {
  std::string text = "Channels\t" + std::to_string(channels) + "\nSamples";
  for (int c = 0; c < channels; ++c) text += "\t\t" + std::to_string(samples);
  text += "\nY_Unit_Label\t\tV\t\tA\n***End_of_Header***\t\nt\ta\tb\n";
  std::mt19937 random(seed);
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (mode == 1) text += std::to_string(r);
    for (int c = 0; c < channels; ++c) {
      if (mode == 2) text += "\t" + std::to_string(r);
      text += "\t" + std::to_string(random() % 100000) + "." + std::to_string(random() % 1000);
    }
    text += '\n';
  }
  return text;
}

std::string MainHeader(int mode) {
  static const char* const kModes[] = {"No", "One", "Multi"};
  return std::string("Quorset Measurement\t\nSeparator\tTab\nX_Columns\t") + kModes[mode] +
         "\nDescription\trun\n***End_of_Header***\t\n\n";
}

// Opens through the index and checks the object against the scan's.
QTXIndexUse OpenAndCompare(const std::string& path, const std::string& scanned) {
  CQTXGeneral q;
  QTXIndexUse use;
  q.QTX_OpenIndexed(path.c_str(), &use);
  EXPECT_EQ(Describe(q), scanned) << use.strText.GetString();
  return use;
}

void WriteIndex(const std::string& path) {
  CQTXGeneral q;
  ASSERT_TRUE(q.QTX_OpenIndexed(path.c_str(), nullptr, 1));
  CString error;
  ASSERT_TRUE(q.QTX_WriteIndex(path.c_str(), &error)) << error.GetString();
}

struct IndexFile {
  explicit IndexFile(const std::string& data) : path(data + ".qtxi") {}
  ~IndexFile() { std::remove(path.c_str()); }
  std::string path;
};

TEST(IndexTest, OpenWithIndexBuildsTheScansObject) {
  std::string many = MainHeader(1);
  for (int s = 0; s < 40; ++s) many += Section(2, 3, 3, 1, s);
  const std::string big = MainHeader(0) + Section(2, 40000, 40000, 0, 1) + Section(2, 5, 5, 0, 2);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"mode No", MainHeader(0) + Section(2, 100, 100, 0, 1)},
      {"mode One", MainHeader(1) + Section(2, 100, 100, 1, 2)},
      {"mode Multi", MainHeader(2) + Section(2, 100, 100, 2, 3)},
      {"CR LF, marks", WithCrLf(big)},
      {"many row marks", big},
      {"short sections", MainHeader(1) + Section(2, 50, 10, 1, 4) + Section(1, 7, 7, 1, 5)},
      {"many sections", many},
      {"last row cut off", MainHeader(1) + Section(2, 50, 10, 1, 6) + "17\t1.5"},
      {"no section", MainHeader(1)},
      {"special block", MainHeader(1) + "***Start_Special***\nChannels\t9\n***End_Special***\n" +
                            Section(2, 4, 4, 1, 7) + "***Start_Special***\nx\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file(c.text);
    IndexFile index(file.Path());
    const std::string scanned = Scan(file.Path());
    EXPECT_EQ(OpenAndCompare(file.Path(), scanned).nNotice, QTX_INDEX_MISSING);
    WriteIndex(file.Path());
    const QTXIndexUse use = OpenAndCompare(file.Path(), scanned);
    EXPECT_TRUE(use.bUsed);
    EXPECT_EQ(use.nNotice, QTX_INDEX_USED);
  }
}

TEST(IndexTest, ChangedFilesAreScannedOrExtendedNeverMixed) {
  const std::string text = MainHeader(1) + Section(2, 200, 150, 1, 1);
  const struct {
    const char* name;
    std::string changed;
    int notice;
  } cases[] = {
      {"grown", text + "1\t2\t3\n4\t5\t6\n", QTX_INDEX_EXTENDED},
      {"grown by a section", text + "1\t2\t3\n" + Section(1, 2, 2, 1, 3), QTX_INDEX_EXTENDED},
      {"truncated", text.substr(0, text.size() - 40), QTX_INDEX_STALE},
      {"header changed", "Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\nDescription\tRUN\n" +
                             text.substr(text.find("***End_of_Header***")),
       QTX_INDEX_STALE},
      {"rows rewritten, same size", MainHeader(1) + Section(2, 200, 150, 1, 1).replace(200, 12, "1\n2\n3\n4\n5\n6\n"),
       QTX_INDEX_STALE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file(text);
    IndexFile index(file.Path());
    WriteIndex(file.Path());
    const auto stamp = std::filesystem::last_write_time(file.Path());
    {
      std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
      out << c.changed;
    }
    std::filesystem::last_write_time(file.Path(), stamp);  // a rewrite that keeps the time
    const QTXIndexUse use = OpenAndCompare(file.Path(), Scan(file.Path()));
    EXPECT_EQ(use.nNotice, c.notice);
  }
}

TEST(IndexTest, DamagedIndexesAreIgnoredWithANotice) {
  const std::string text = MainHeader(1) + Section(2, 9000, 9000, 1, 1) + Section(1, 3, 3, 1, 2);
  TempFile file(text);
  IndexFile index(file.Path());
  const std::string scanned = Scan(file.Path());
  WriteIndex(file.Path());
  std::string good;
  {
    std::ifstream in(index.path, std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::mt19937 random(5);
  auto tryIndex = [&](const std::string& bytes) {
    {
      std::ofstream out(index.path, std::ios::binary | std::ios::trunc);
      out << bytes;
    }
    const QTXIndexUse use = OpenAndCompare(file.Path(), scanned);
    if (!use.bUsed) {
      EXPECT_FALSE(use.strText.IsEmpty());
    }
    return use.bUsed;
  };
  for (std::size_t n = 0; n < good.size(); n += 7) EXPECT_FALSE(tryIndex(good.substr(0, n))) << n;
  for (std::size_t i = 0; i < good.size(); ++i) {
    std::string bad = good;
    bad[i] = static_cast<char>(bad[i] ^ (1 + random() % 255));
    EXPECT_FALSE(tryIndex(bad)) << i;  // the checksum catches one changed byte
  }
  EXPECT_TRUE(tryIndex(good));
}

TEST(IndexTest, AnIndexThatCannotBeWrittenFailsOnlyTheWrite) {
  TempFile file(MainHeader(1) + Section(1, 2, 2, 1, 1));
  IndexFile index(file.Path());
  std::filesystem::create_directory(index.path + ".new");  // in the way of the new index
  CQTXGeneral q;
  ASSERT_TRUE(q.QTX_OpenIndexed(file.c_str(), nullptr));
  CString error;
  EXPECT_FALSE(q.QTX_WriteIndex(file.c_str(), &error));
  EXPECT_NE(std::string(error.GetString()).find(index.path), std::string::npos) << error.GetString();
  std::filesystem::remove(index.path + ".new");
  EXPECT_FALSE(std::filesystem::exists(index.path));
  CQTXGeneral scanned;
  EXPECT_FALSE(scanned.QTX_WriteIndex(file.c_str(), &error));  // not opened through the index
}

// A writer appends the file in pieces of random size; each refresh's new
// rows are read at once and must be those of the finished file.
TEST(IndexTest, FollowingAGrowingFileReadsEachRowOnceWithItsBits) {
  const std::string finished = MainHeader(1) + Section(2, 3000, 3000, 1, 1) + Section(2, 800, 800, 1, 2);
  const std::size_t headerEnd = finished.find("t\ta\tb\n") + 3;  // inside the first headings line
  for (std::uint32_t seed = 0; seed < 4; ++seed) {
    SCOPED_TRACE(seed);
    TempFile file(finished.substr(0, headerEnd));
    CQTXGeneral q;
    ASSERT_TRUE(q.QTX_OpenIndexed(file.c_str(), nullptr, 2));
    std::vector<std::vector<std::uint64_t>> got(2);
    std::mt19937 random(seed);
    std::size_t written = headerEnd;
    while (written < finished.size()) {
      const std::size_t piece = std::min<std::size_t>(finished.size() - written, 1 + random() % 3000);
      {
        std::ofstream out(file.Path(), std::ios::binary | std::ios::app);
        out << finished.substr(written, piece);
      }
      written += piece;
      QTXRefresh refresh;
      ASSERT_TRUE(q.QTX_Refresh(file.c_str(), &refresh)) << refresh.strText.GetString();
      CStdioFile data;
      ASSERT_TRUE(data.Open(file.c_str(), CFile::modeRead | CFile::shareDenyNone | CFile::typeText));
      for (std::ptrdiff_t s = 0; s < refresh.arrNewRows.GetSize(); ++s) {
        const std::uint32_t n = refresh.arrNewRows.GetAt(s);
        if (n == 0) continue;
        const CQTXSection* section = q.m_arrSections.GetAt(s);
        const std::uint32_t first = section->m_nRowsInFile - n;
        std::vector<double> x(n), y(n);
        const QTXChannelTarget target{1, x.data(), y.data()};
        ASSERT_EQ(q.QTX_ReadRows(&data, section, first, n, &target, 1).nRows, n);
        for (std::uint32_t i = 0; i < n; ++i) got[static_cast<std::size_t>(s)].push_back(Bits(y[i]));
      }
    }
    TempFile whole(finished);
    CQTXGeneral reference;
    ASSERT_TRUE(reference.ReadQTXFile(whole.c_str()));
    ASSERT_EQ(q.m_arrSections.GetSize(), 2);
    CStdioFile data;
    ASSERT_TRUE(data.Open(whole.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
    for (std::ptrdiff_t s = 0; s < 2; ++s) {
      CQTXSection* section = reference.m_arrSections.GetAt(s);
      std::uint32_t nLine = 0;
      reference.QTX_ReadData(nLine, &data, section, 1, 1);
      const CQTXChannel& channel = *section->m_arrChannels.GetAt(1);
      std::vector<std::uint64_t> want;
      for (std::uint32_t r = 0; r < section->RowCount(); ++r) want.push_back(Bits(channel.m_pYValues[r]));
      EXPECT_EQ(got[static_cast<std::size_t>(s)], want) << "section " << s;
    }
  }
}

TEST(IndexTest, AReplacedFileIsAnErrorNamingIt) {
  const std::string text = MainHeader(1) + Section(2, 100, 60, 1, 1);
  TempFile file(text);
  CQTXGeneral q;
  ASSERT_TRUE(q.QTX_OpenIndexed(file.c_str(), nullptr));
  const std::uint32_t rows = q.m_arrSections.GetAt(0)->m_nRowsInFile;
  for (const std::string& replacement : {text.substr(0, text.size() - 30), text.substr(0, text.size() - 2) + "9\n1\t2\t3\n"}) {
    {
      std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
      out << replacement;
    }
    QTXRefresh refresh;
    EXPECT_FALSE(q.QTX_Refresh(file.c_str(), &refresh));
    EXPECT_EQ(refresh.nStatus, QTX_REFRESH_REPLACED);
    EXPECT_NE(std::string(refresh.strText.GetString()).find(file.Path()), std::string::npos);
    EXPECT_EQ(q.m_arrSections.GetAt(0)->m_nRowsInFile, rows);
  }
}

}  // namespace
