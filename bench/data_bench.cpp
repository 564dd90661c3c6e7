// Reading large files of data rows, against two yardsticks: counting their
// newlines with read() and memchr (the least any line reader can do), and a
// hand-written loop that splits the rows and converts every field with
// std::from_chars into new vectors (the least any number reader can do).
//
// The files: 1,000,000 rows of 8 channels in mode One with the tab separator,
// about 115 MB, as one section or as 16 sections of 62,500 rows; X as %.6f,
// Y with 7 significant digits, half in %e form, many of them negative. A
// third file holds one section of the same rows with 17 significant digits,
// which the library reads through its general conversion.
//
// Arrays and vectors come new on every pass on both sides, and the memory
// behind them either fresh from the system (malloc maps every block of 128
// KiB and more anew and returns it when freed, as a program that reads a
// file once sees it) or recycled from the pass before. Run the two apart,
// with --benchmark_filter='recycled:0' and --benchmark_filter='recycled:1'.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
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

struct Section {
  std::uint64_t position;  // of the first data row, as the library's scan finds it
  std::uint32_t rows;
};

// Writes the main header and the sections' headers and rows; returns the
// bytes written.
std::int64_t WriteFile(std::ofstream& out, int nSections, int digits) {
  out << "Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\n***End_of_Header***\t\n";
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> value(-1000.0, 1000.0);
  const std::uint32_t rowsPerSection = kRows / static_cast<std::uint32_t>(nSections);
  std::string row;
  char cell[48];
  for (std::uint32_t r = 0; r < kRows; ++r) {
    if (r % rowsPerSection == 0) {
      out << "\nChannels\t" << kChannels << "\nSamples";
      for (int c = 0; c < kChannels; ++c) out << "\t\t" << rowsPerSection;
      out << "\t\n***End_of_Header***\t\nTime";
      for (int c = 0; c < kChannels; ++c) out << "\tIn" << c;
      out << "\tComment\n";
    }
    row.clear();
    std::snprintf(cell, sizeof cell, digits == 7 ? "%.6f" : "%.17g", r * 0.001);
    row += cell;
    for (int c = 0; c < kChannels; ++c) {
      const char* format = digits == 7 ? (c % 2 ? "\t%.6e" : "\t%.7g") : (c % 2 ? "\t%.16e" : "\t%.17g");
      std::snprintf(cell, sizeof cell, format, value(random));
      row += cell;
    }
    row += '\n';
    out << row;
  }
  return static_cast<std::int64_t>(out.tellp());
}

struct DataFile {
  DataFile(int nSections, int digits, const char* label)
      : file([=](std::ofstream& out) { return WriteFile(out, nSections, digits); }), name(label) {
    CQTXGeneral qtx;
    qtx.ReadQTXFile(file.Path());
    for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s)
      sections.push_back(
          {qtx.m_arrSections[s]->m_nDataPosition, qtx.m_arrSections[s]->m_arrChannels[0]->m_nSamples});
  }
  GeneratedFile file;
  std::vector<Section> sections;
  const char* name;
};

// Arg "file": 0 one section, 1 sixteen sections, 2 one section of 17 digits.
const DataFile& File(std::int64_t which) {
  static const DataFile one(1, 7, "1 section");
  if (which == 0) return one;
  static const DataFile sixteen(16, 7, "16 sections");
  if (which == 1) return sixteen;
  static const DataFile precise(1, 17, "1 section, 17 digits");
  return precise;
}

std::int64_t DataBytes(const DataFile& data) {
  std::int64_t bytes = 0;
  for (std::size_t s = 0; s < data.sections.size(); ++s) {
    const std::uint64_t next = s + 1 < data.sections.size() ? data.sections[s + 1].position
                                                            : static_cast<std::uint64_t>(data.file.Bytes());
    bytes += static_cast<std::int64_t>(next - data.sections[s].position);
  }
  return bytes;
}

// Arg "recycled": 0 for memory fresh from the system, 1 for recycled. The
// two want processes of their own: malloc serves large blocks from the free
// heap memory it holds before it maps new memory, and a run with recycled
// memory leaves much of it behind, already faulted in.
bool SetMemory(benchmark::State& state) {
  const bool recycled = state.range(1) != 0;
  if (!recycled && mallinfo2().fordblks > (std::size_t{64} << 20)) {
    state.SkipWithError("fresh memory wants a process of its own: --benchmark_filter='recycled:0'");
    return false;
  }
  // A fixed threshold also stops malloc from raising it after the first free.
  mallopt(M_MMAP_THRESHOLD, recycled ? 32 << 20 : 128 << 10);
  mallopt(M_TRIM_THRESHOLD, recycled ? 1 << 30 : 128 << 10);
  return true;
}

void SetLabel(benchmark::State& state, const DataFile& data, const char* more = "") {
  state.SetLabel(std::string(data.name) + (state.range(1) ? ", recycled memory" : ", fresh memory") + more);
}

constexpr std::size_t kChunk = std::size_t{1} << 20;

void BM_NewlineCount(benchmark::State& state) {
  const DataFile& data = File(0);
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (auto _ : state) {
    const int fd = ::open(data.file.Path(), O_RDONLY);
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
  state.SetBytesProcessed(state.iterations() * data.file.Bytes());
}
BENCHMARK(BM_NewlineCount)->Unit(benchmark::kMillisecond);

void BM_ReadQTXFile(benchmark::State& state) {
  const DataFile& data = File(0);
  for (auto _ : state) {
    CQTXGeneral qtx;
    benchmark::DoNotOptimize(qtx.ReadQTXFile(data.file.Path()));
  }
  state.SetBytesProcessed(state.iterations() * data.file.Bytes());
}
BENCHMARK(BM_ReadQTXFile)->Unit(benchmark::kMillisecond);

// The scan that writes the index file beside the data (what `qtx index` and
// open(index="write") do), against BM_ReadQTXFile's plain scan.
void BM_ScanAndWriteIndex(benchmark::State& state) {
  const DataFile& data = File(0);
  const std::string index = std::string(data.file.Path()) + ".qtxi";
  for (auto _ : state) {
    std::remove(index.c_str());
    CQTXGeneral qtx;
    benchmark::DoNotOptimize(qtx.QTX_OpenIndexed(data.file.Path(), nullptr, 0));
    benchmark::DoNotOptimize(qtx.QTX_WriteIndex(data.file.Path(), nullptr));
  }
  std::remove(index.c_str());
  state.SetBytesProcessed(state.iterations() * data.file.Bytes());
}
BENCHMARK(BM_ScanAndWriteIndex)->Unit(benchmark::kMillisecond);

// One X and one Y vector per channel, as the library fills its arrays.
struct Columns {
  std::vector<std::vector<double>> x = std::vector<std::vector<double>>(kChannels);
  std::vector<std::vector<double>> y = std::vector<std::vector<double>>(kChannels);
};

// Splits up to `rows` rows at tabs, converting every field; returns where it
// stopped and counts down the rows left.
const char* ParseRows(const char* p, const char* end, std::uint32_t& rows, Columns& columns) {
  for (; p < end && rows > 0; --rows) {
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
  return p;
}

// One section's rows from its position, into new vectors.
Columns HandWrittenLoop(const char* path, const Section& section) {
  Columns columns;
  for (int c = 0; c < kChannels; ++c) {
    columns.x[c].reserve(section.rows);
    columns.y[c].reserve(section.rows);
  }
  const int fd = ::open(path, O_RDONLY);
  ::lseek(fd, static_cast<off_t>(section.position), SEEK_SET);
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  std::uint32_t rows = section.rows;
  std::size_t kept = 0;  // the start of a row cut off at the end of the last chunk
  for (ssize_t n; rows > 0 && (n = ::read(fd, buffer.get() + kept, kChunk - kept)) > 0;) {
    const char* const end = buffer.get() + kept + n;
    const char* last = end;
    while (last > buffer.get() && last[-1] != '\n') --last;
    const char* const stop = ParseRows(buffer.get(), last, rows, columns);
    kept = static_cast<std::size_t>(end - stop);
    std::memmove(buffer.get(), stop, kept);
  }
  ParseRows(buffer.get(), buffer.get() + kept, rows, columns);
  ::close(fd);
  return columns;
}

void BM_HandWrittenFromChars(benchmark::State& state) {
  const DataFile& data = File(state.range(0));
  if (!SetMemory(state)) return;
  for (auto _ : state) {
    for (const Section& section : data.sections) {
      const Columns columns = HandWrittenLoop(data.file.Path(), section);
      benchmark::DoNotOptimize(columns.y[kChannels - 1].back());
    }
  }
  state.SetBytesProcessed(state.iterations() * DataBytes(data));
  SetLabel(state, data);
}

// Read mode for all channels of every section; afterwards every value is
// checked against the hand-written loop, bit for bit.
void BM_ReadData(benchmark::State& state) {
  const DataFile& data = File(state.range(0));
  if (!SetMemory(state)) return;
  CQTXGeneral qtx;
  qtx.ReadQTXFile(data.file.Path());
  CStdioFile file;
  file.Open(data.file.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
  for (auto _ : state) {
    for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s) {
      std::uint32_t nLine = qtx.m_arrSections[s]->m_nDataLine;
      qtx.QTX_ReadData(nLine, &file, qtx.m_arrSections[s], 1, -1);
    }
  }
  state.SetBytesProcessed(state.iterations() * DataBytes(data));

  for (std::size_t s = 0; s < data.sections.size(); ++s) {
    const Columns columns = HandWrittenLoop(data.file.Path(), data.sections[s]);
    const std::size_t rows = data.sections[s].rows;
    for (int c = 0; c < kChannels; ++c) {
      const CQTXChannel& channel = *qtx.m_arrSections[static_cast<std::ptrdiff_t>(s)]->m_arrChannels[c];
      if (columns.x[c].size() != rows ||
          std::memcmp(channel.m_pXValues, columns.x[c].data(), rows * sizeof(double)) != 0 ||
          std::memcmp(channel.m_pYValues, columns.y[c].data(), rows * sizeof(double)) != 0) {
        state.SkipWithError("the values differ from the hand-written loop's");
        return;
      }
    }
  }
  SetLabel(state, data, ", values bit-identical to the hand-written loop's");
}

void DataArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"file", "recycled"})->Unit(benchmark::kMillisecond);
  for (int file : {0, 1, 2})
    for (int recycled : {0, 1}) b->Args({file, recycled});
}
BENCHMARK(BM_HandWrittenFromChars)->Apply(DataArgs);
BENCHMARK(BM_ReadData)->Apply(DataArgs);

}  // namespace

namespace {

// The one-section file read whole with the range reads into arrays of the
// caller's, allocated once, on 1, 2, ... threads (arg "threads"); the X
// column once, as a host of mode One keeps it. Every thread count is
// checked against the first for the same bits.
void BM_ReadRowsParallel(benchmark::State& state) {
  const DataFile& data = File(0);
  CQTXGeneral qtx;
  qtx.ReadQTXFile(data.file.Path());
  const CQTXSection* section = qtx.m_arrSections[0];
  const std::uint32_t rows = section->RowCount();
  std::vector<std::vector<double>> y(kChannels, std::vector<double>(rows));
  std::vector<double> x(rows);
  std::vector<QTXChannelTarget> targets;
  for (int c = 0; c < kChannels; ++c) targets.push_back({c, c == 0 ? x.data() : nullptr, y[c].data()});
  const auto threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state)
    qtx.QTX_ReadRowsParallel(data.file.Path(), section, 0, rows, targets.data(), targets.size(), threads);
  state.SetBytesProcessed(state.iterations() * DataBytes(data));

  static std::vector<std::vector<double>> first;  // the values of the first thread count run
  if (first.empty()) {
    first = y;
    first.push_back(x);
  } else {
    for (int c = 0; c < kChannels; ++c)
      if (first[c] != y[c] || first[kChannels] != x) state.SkipWithError("the values differ between thread counts");
  }
  state.SetLabel(std::to_string(threads) + " thread(s), 1 section, caller's arrays");
}
BENCHMARK(BM_ReadRowsParallel)->Arg(1)->Arg(2)->Arg(4)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

// 10,000 rows of every channel from the middle of the one-section file: the
// row marks make it cost the same wherever in the file the rows are.
void BM_ReadRowsMiddle(benchmark::State& state) {
  const DataFile& data = File(0);
  CQTXGeneral qtx;
  qtx.ReadQTXFile(data.file.Path());
  CStdioFile file;
  file.Open(data.file.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
  constexpr std::uint32_t kRange = 10000;
  std::vector<double> x(kChannels * kRange), y(kChannels * kRange);
  std::vector<QTXChannelTarget> targets;
  for (int c = 0; c < kChannels; ++c) targets.push_back({c, x.data() + c * kRange, y.data() + c * kRange});
  const std::uint32_t first = static_cast<std::uint32_t>(state.range(0)) * (kRows / 4);
  for (auto _ : state)
    benchmark::DoNotOptimize(qtx.QTX_ReadRows(&file, qtx.m_arrSections[0], first, kRange, targets.data(), targets.size()));
  state.SetLabel("rows from " + std::to_string(first));
}
BENCHMARK(BM_ReadRowsMiddle)->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
