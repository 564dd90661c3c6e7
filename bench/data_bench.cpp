// Reading a large file of data rows, against two yardsticks: counting its
// newlines with read() and memchr (the least any line reader can do), and a
// hand-written loop that splits the rows and converts every field with
// std::from_chars into vectors (the least any number reader can do). The file:
// 1,000,000 rows of 8 channels in mode One with the tab separator, about
// 100 MB; X as %.6f, Y with 7 significant digits, half in %e form, many of
// them negative.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "qtx/QTXLibrary.h"

namespace {

using qtx::bench::GeneratedFile;

constexpr int kChannels = 8;
constexpr std::uint32_t kRows = 1000000;

const GeneratedFile& LargeFile() {
  static const GeneratedFile file([](std::ofstream& out) {
    out << "Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\n***End_of_Header***\t\n\n";
    out << "Channels\t" << kChannels << "\nSamples";
    for (int c = 0; c < kChannels; ++c) out << "\t\t" << kRows;
    out << "\t\n***End_of_Header***\t\nTime";
    for (int c = 0; c < kChannels; ++c) out << "\tIn" << c;
    out << "\tComment\n";
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::string row;
    char cell[48];
    for (std::uint32_t r = 0; r < kRows; ++r) {
      row.clear();
      std::snprintf(cell, sizeof cell, "%.6f", r * 0.001);
      row += cell;
      for (int c = 0; c < kChannels; ++c) {
        std::snprintf(cell, sizeof cell, c % 2 ? "\t%.6e" : "\t%.7g", value(random));
        row += cell;
      }
      row += '\n';
      out << row;
    }
    return static_cast<std::int64_t>(out.tellp());
  });
  return file;
}

// Where the rows begin, found once by the library's own scan.
std::uint64_t DataPosition() {
  static const std::uint64_t position = [] {
    CQTXGeneral qtx;
    qtx.ReadQTXFile(LargeFile().Path());
    return qtx.m_arrSections[0]->m_nDataPosition;
  }();
  return position;
}

constexpr std::size_t kChunk = std::size_t{1} << 20;

void BM_NewlineCount(benchmark::State& state) {
  const GeneratedFile& data = LargeFile();
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (auto _ : state) {
    const int fd = ::open(data.Path(), O_RDONLY);
    std::int64_t lines = 0;
    for (ssize_t n; (n = ::read(fd, buffer.get(), kChunk)) > 0;) {
      const char* p = buffer.get();
      const char* const end = p + n;
      while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
        ++lines;
        ++p;
      }
    }
    ::close(fd);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * data.Bytes());
}
BENCHMARK(BM_NewlineCount)->Unit(benchmark::kMillisecond);

// The rows split at tabs and converted with from_chars into one X and one Y
// vector per channel, as the library fills its arrays.
struct Columns {
  std::vector<std::vector<double>> x = std::vector<std::vector<double>>(kChannels);
  std::vector<std::vector<double>> y = std::vector<std::vector<double>>(kChannels);
};

void ParseRows(const char* p, const char* end, Columns& columns) {
  while (p < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (!lineEnd) lineEnd = end;
    double x = 0.0;
    p = std::from_chars(p, lineEnd, x).ptr;
    for (int c = 0; c < kChannels; ++c) {
      while (p < lineEnd && *p == '\t') ++p;
      double y = 0.0;
      p = std::from_chars(p, lineEnd, y).ptr;
      columns.x[c].push_back(x);
      columns.y[c].push_back(y);
    }
    p = lineEnd + 1;
  }
}

void HandWrittenLoop(const char* path, Columns& columns) {
  for (int c = 0; c < kChannels; ++c) {
    columns.x[c].clear();
    columns.y[c].clear();
    columns.x[c].reserve(kRows);
    columns.y[c].reserve(kRows);
  }
  const int fd = ::open(path, O_RDONLY);
  ::lseek(fd, static_cast<off_t>(DataPosition()), SEEK_SET);
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  std::size_t kept = 0;  // the start of a row cut off at the end of the last chunk
  for (ssize_t n; (n = ::read(fd, buffer.get() + kept, kChunk - kept)) > 0;) {
    const char* const end = buffer.get() + kept + n;
    const char* last = end;
    while (last > buffer.get() && last[-1] != '\n') --last;
    ParseRows(buffer.get(), last, columns);
    kept = static_cast<std::size_t>(end - last);
    std::memmove(buffer.get(), last, kept);
  }
  ParseRows(buffer.get(), buffer.get() + kept, columns);
  ::close(fd);
}

// Arg 0: new vectors for every pass, as the library gives new arrays on
// every read (the fair comparison). Arg 1: the same vectors kept from pass to
// pass, which spares the page faults of fresh memory.
void BM_HandWrittenFromChars(benchmark::State& state) {
  const GeneratedFile& data = LargeFile();
  const bool reuse = state.range(0) != 0;
  Columns kept;
  for (auto _ : state) {
    Columns fresh;
    Columns& columns = reuse ? kept : fresh;
    HandWrittenLoop(data.Path(), columns);
    benchmark::DoNotOptimize(columns.y[kChannels - 1].back());
  }
  state.SetBytesProcessed(state.iterations() * (data.Bytes() - static_cast<std::int64_t>(DataPosition())));
  state.SetLabel(reuse ? "vectors kept between passes" : "new vectors every pass");
}
BENCHMARK(BM_HandWrittenFromChars)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadQTXFile(benchmark::State& state) {
  const GeneratedFile& data = LargeFile();
  for (auto _ : state) {
    CQTXGeneral qtx;
    benchmark::DoNotOptimize(qtx.ReadQTXFile(data.Path()));
  }
  state.SetBytesProcessed(state.iterations() * data.Bytes());
}
BENCHMARK(BM_ReadQTXFile)->Unit(benchmark::kMillisecond);

// Read mode for all channels; afterwards every value is checked against the
// hand-written loop, bit for bit.
void BM_ReadDataAllChannels(benchmark::State& state) {
  const GeneratedFile& data = LargeFile();
  CQTXGeneral qtx;
  qtx.ReadQTXFile(data.Path());
  CQTXSection* section = qtx.m_arrSections[0];
  CStdioFile file;
  file.Open(data.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
  for (auto _ : state) {
    std::uint32_t nLine = section->m_nDataLine;
    qtx.QTX_ReadData(nLine, &file, section, 1, -1);
  }
  state.SetBytesProcessed(state.iterations() * (data.Bytes() - static_cast<std::int64_t>(DataPosition())));

  Columns columns;
  HandWrittenLoop(data.Path(), columns);
  for (int c = 0; c < kChannels; ++c) {
    const CQTXChannel& channel = *section->m_arrChannels[c];
    if (columns.x[c].size() != kRows ||
        std::memcmp(channel.m_pXValues, columns.x[c].data(), kRows * sizeof(double)) != 0 ||
        std::memcmp(channel.m_pYValues, columns.y[c].data(), kRows * sizeof(double)) != 0) {
      state.SkipWithError("the values differ from the hand-written loop's");
      return;
    }
  }
  state.SetLabel("values bit-identical to the hand-written loop");
}
BENCHMARK(BM_ReadDataAllChannels)->Unit(benchmark::kMillisecond);

}  // namespace
