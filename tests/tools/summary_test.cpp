// The viewer's summary stored beside its file (FILE.qtxs): read back it holds
// the bins it was saved with and answers alike; one of a file that grew is
// extended to the bins of a fresh build, as after a refresh; a changed file
// or a damaged stored file is never used; qtx index --summary writes it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Tool.h"
#include "support/TempFile.h"
#include "tools/RunQtx.h"
#include "view/SummaryStore.h"

namespace {

namespace fs = std::filesystem;
using qtx::tool::view::SectionSummary;
using qtx::tool::view::SummaryStore;

// Mode One, channels A, B and C (C 700 rows short of the others), declaring
// `declared` rows. X rises with a gap of NaN over the rows 2500 to 3099, or
// goes back and forth (a sawtooth).
std::string Head(int declared) {
  return "Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\n\nChannels\t3\t\t\t\nSamples\t\t" +
         std::to_string(declared) + "\t\t" + std::to_string(declared) + "\t\t" + std::to_string(declared - 700) +
         "\t\nY_Dimension\t\tVoltage\t\tVoltage\t\tVoltage\t\nY_Unit_Label\t\tV\t\tV\t\tV\t\n"
         "X_Dimension\t\tTime\t\tTime\t\tTime\t\nX_Unit_Label\t\ts\t\ts\t\ts\t\n***End_of_Header***\t\n"
         "Time\tA\tB\tC\tComment\n";
}

std::string Rows(int first, int end, int declared, bool sawtooth) {
  std::string text;
  char line[160];
  for (int r = first; r < end; ++r) {
    const double x = sawtooth ? (r % 1000) * 0.01 : (r >= 2500 && r < 3100 ? NAN : r * 0.001);
    const double b = r == 1234 ? 100.0 : std::cos(r * 0.003);
    std::snprintf(line, sizeof line, "%.17g\t%.17g\t%.17g", x, std::sin(r * 0.01), b);
    text += line;
    if (r < declared - 700) text += "\t" + std::to_string(r / 2);
    text += '\n';
  }
  return text;
}

void Write(const std::string& path, const std::string& text, std::ios::openmode mode = std::ios::trunc) {
  std::ofstream(path, std::ios::binary | mode) << text;
}

std::unique_ptr<CQTXGeneral> Open(const std::string& path, int mode = 2) {
  auto qtx = std::make_unique<CQTXGeneral>();
  QTXIndexUse use;
  EXPECT_TRUE(qtx->QTX_OpenIndexed(CString(path.c_str()), &use, mode));
  return qtx;
}

const CQTXSection& First(const CQTXGeneral& qtx) { return *qtx.m_arrSections.GetAt(0); }

// Every number of the answers and statistics, bit for bit.
std::string Answers(const SectionSummary& summary, const std::string& path) {
  CStdioFile file;
  CFileException error;
  EXPECT_TRUE(file.Open(CString(path.c_str()), CFile::modeRead | CFile::typeText, &error));
  std::string out;
  auto add = [&](double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    out += std::to_string(bits) + ' ';
  };
  const double low = summary.XLow(), high = summary.XHigh(), span = high - low;
  for (const auto& [x0, x1, width] : std::vector<std::tuple<double, double, std::uint32_t>>{
           {low, high, 5},
           {low, high, 300},
           {low + span / 3, low + span / 2, 40},
           {low + span / 2, low + span / 2 + span / 9000, 300}}) {
    for (const qtx::tool::view::ChannelAnswer& a : summary.Answer(file, x0, x1, width, {0, 1, 2}, false)) {
      out += a.fromSummary ? "S" : a.raw ? "R" : "C";
      for (const auto* values : {&a.x, &a.y, &a.first, &a.low, &a.high, &a.last})
        for (double v : *values) add(v);
      for (std::uint32_t c : a.cols) out += std::to_string(c) + ' ';
    }
    for (const qtx::tool::view::ChannelStats& s : summary.Stats(file, x0, x1, {0, 1, 2})) {
      out += std::to_string(s.rows) + ' ' + std::to_string(s.count) + ' ' + std::to_string(s.a.row) + ' ';
      for (double v : {s.min, s.max, s.xMin, s.xMax, s.mean, s.rms}) add(v);
    }
    out += std::to_string(summary.RowsIn(file, x0, x1)) + '\n';
  }
  return out;
}

// Builds the summary of `path`, stores it and reads it back through a new
// store of the file as it is then, after `change` (nothing by default).
std::unique_ptr<SummaryStore> StoreAndReopen(const std::string& path, std::unique_ptr<CQTXGeneral>& reopened,
                                             void (*change)(const std::string&) = nullptr) {
  auto qtx = Open(path);
  SummaryStore store(*qtx, path);
  EXPECT_EQ(store.Notice(), "");
  const auto built = store.Summary(0, 2);
  store.Save({built.get()});
  if (change) change(path);
  reopened = Open(path);
  return std::make_unique<SummaryStore>(*reopened, path);
}

TEST(StoredSummary, AnswersAsTheBuiltOneAndGrowsToTheBinsOfAFreshBuild) {
  for (const bool sawtooth : {false, true}) {
    SCOPED_TRACE(sawtooth ? "sawtooth" : "rising");
    qtx::test::TempFile file(Head(5000) + Rows(0, 5000, 5000, sawtooth));
    std::unique_ptr<CQTXGeneral> qtx;
    auto store = StoreAndReopen(file.Path(), qtx);
    ASSERT_TRUE(store->Holds(0)) << store->Notice();
    const auto stored = store->Summary(0, 2);
    const SectionSummary built(*qtx, file.Path(), First(*qtx), 2);
    EXPECT_TRUE(stored->SameBins(built));
    EXPECT_EQ(Answers(*stored, file.Path()), Answers(built, file.Path()));
    // A save keeps the stored summaries that were not taken.
    SummaryStore(*qtx, file.Path()).Save({});
    EXPECT_TRUE(SummaryStore(*qtx, file.Path()).Holds(0));

    // A file being written: 3001 rows and half a row, stored; then the rest
    // of the row and more rows arrive.
    const std::string rest = Rows(3001, 7000, 9000, sawtooth);
    const std::size_t half = rest.find('\t') + 3;
    qtx::test::TempFile growing(Head(9000) + Rows(0, 3001, 9000, sawtooth) + rest.substr(0, half));
    auto follower = Open(growing.Path());
    SummaryStore first(*follower, growing.Path());
    const auto following = first.Summary(0, 2);
    EXPECT_EQ(following->Rows(), 3001u);
    first.Save({following.get()});
    Write(growing.Path(), rest.substr(half), std::ios::app);
    QTXRefresh refresh;
    ASSERT_TRUE(follower->QTX_Refresh(CString(growing.Path().c_str()), &refresh));
    EXPECT_GT(following->Extend(2), 0u);
    EXPECT_TRUE(following->SameBins(SectionSummary(*follower, growing.Path(), First(*follower), 2)));

    auto grown = Open(growing.Path());
    SummaryStore second(*grown, growing.Path());
    ASSERT_TRUE(second.Holds(0)) << second.Notice();
    EXPECT_EQ(second.RowsStored(0), 3001u);
    const auto extended = second.Summary(0, 2);
    const SectionSummary fresh(*grown, growing.Path(), First(*grown), 2);
    EXPECT_EQ(fresh.Rows(), 7000u);
    EXPECT_TRUE(extended->SameBins(fresh));
    EXPECT_EQ(Answers(*extended, growing.Path()), Answers(fresh, growing.Path()));
  }
}

// Rewrites `path` with the same size and modification time.
void SameSizeAndTime(const std::string& path, std::size_t at, char byte) {
  const fs::file_time_type time = fs::last_write_time(path);
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(at));
  f.put(byte);
  f.close();
  fs::last_write_time(path, time);
}

TEST(StoredSummary, IsNeverUsedForAChangedFile) {
  void (*changes[])(const std::string&) = {
      [](const std::string& p) { SameSizeAndTime(p, Head(5000).find("Voltage") + 6, 'f'); },
      [](const std::string& p) { SameSizeAndTime(p, fs::file_size(p) - 3, '7'); },
      [](const std::string& p) { fs::resize_file(p, fs::file_size(p) - 500); },
      [](const std::string& p) { fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(5)); },
  };
  for (auto change : changes) {
    qtx::test::TempFile file(Head(5000) + Rows(0, 5000, 5000, false));
    std::unique_ptr<CQTXGeneral> qtx;
    auto store = StoreAndReopen(file.Path(), qtx, change);
    EXPECT_FALSE(store->Holds(0));
    EXPECT_NE(store->Notice().find(".qtxs: "), std::string::npos);
    fs::remove(SummaryStore::PathOf(file.Path()));
  }
}

TEST(StoredSummary, DamagedStoredFileIsIgnoredWithItsNotice) {
  qtx::test::TempFile file(Head(5000) + Rows(0, 5000, 5000, false));
  const std::string storePath = SummaryStore::PathOf(file.Path());
  std::unique_ptr<CQTXGeneral> qtx;
  ASSERT_TRUE(StoreAndReopen(file.Path(), qtx)->Holds(0));
  std::string good;
  good.resize(fs::file_size(storePath));
  std::ifstream(storePath, std::ios::binary).read(good.data(), static_cast<std::streamsize>(good.size()));
  std::vector<std::string> damaged = {"", "QTXSUMRY", good.substr(0, 60), good.substr(0, good.size() / 2),
                                      good.substr(0, good.size() - 1), good + '\0', std::string(good.size(), '\xff')};
  for (std::size_t at = 0; at < good.size(); at += good.size() / 37 + 1) {
    damaged.push_back(good);
    damaged.back()[at] ^= 0x40;
  }
  for (const std::string& bytes : damaged) {
    Write(storePath, bytes);
    SummaryStore store(*qtx, file.Path());
    EXPECT_FALSE(store.Holds(0));
    EXPECT_NE(store.Notice().find(storePath + ": "), std::string::npos);
  }
  fs::remove(storePath);
}

TEST(StoredSummary, AFileThatCannotBeWrittenFailsOnlyTheWrite) {
  const fs::path folder = fs::temp_directory_path() / ("qtx-summary-" + std::to_string(::getpid()));
  fs::create_directory(folder);
  const std::string path = (folder / "f.qtx").string();
  Write(path, Head(600) + Rows(0, 600, 600, false));
  // A read-only folder; root writes into one anyway, so for root a folder
  // stands where FILE.qtxs would go.
  const bool root = ::geteuid() == 0;
  if (root)
    fs::create_directories(path + ".qtxs/in-the-way");
  else
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  auto qtx = Open(path);
  SummaryStore store(*qtx, path);
  const auto summary = store.Summary(0, 1);
  EXPECT_EQ(summary->Rows(), 600u);
  try {
    store.Save({summary.get()});
    ADD_FAILURE() << "written where it cannot be";
  } catch (const qtx::tool::Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("cannot write " + path + ".qtxs"), std::string::npos) << failure.what();
  }
  // No temporary file left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), root ? 2 : 1);
  fs::permissions(folder, fs::perms::owner_all);
  fs::remove_all(folder);
}

TEST(StoredSummary, IndexSummaryCommand) {
  qtx::test::TempFile file(Head(5000) + Rows(0, 5000, 5000, false));
  const std::string p = file.Path();
  const std::string command = "index --summary '" + p + "'";
  EXPECT_EQ(qtx::test::RunQtx(command).out, p + ".qtxi: written, 1 section\n" + p + ".qtxs: written\n");
  EXPECT_EQ(qtx::test::RunQtx(command).out, p + ".qtxi: up to date, 1 section\n" + p + ".qtxs: up to date\n");
  Write(p + ".qtxs", "QTXSUMRY and no more");
  EXPECT_EQ(qtx::test::RunQtx(command).out,
            p + ".qtxi: up to date, 1 section\n" + p + ".qtxs: written anew (is no stored summary)\n");
  fs::remove(p + ".qtxi");
  fs::remove(p + ".qtxs");
}

}  // namespace
