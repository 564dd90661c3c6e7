// Throughput of reading: lines from a file, fields and numbers from lines,
// number conversions alone, and whole section headers.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"

#if __has_include(<fast_float/fast_float.h>)
#include <fast_float/fast_float.h>
#define QTX_BENCH_HAS_FAST_FLOAT 1
#else
#define QTX_BENCH_HAS_FAST_FLOAT 0
#endif

namespace {

using qtx::bench::GeneratedFile;

// Data rows in mode 1 with four channels: about 64 MiB.
const GeneratedFile& DataRows() {
  static const GeneratedFile file([](std::ofstream& out) {
    std::int64_t bytes = 0;
    char row[160];
    for (int r = 0; bytes < (std::int64_t{64} << 20); ++r) {
      const int n = std::snprintf(row, sizeof row, "%.6e\t%.6e\t%.6e\t%.6e\t%.6e\n", r * 0.001, r * 0.5,
                                  -r * 0.25, 1.0 / (r + 1), r * 1e-7);
      out.write(row, n);
      bytes += n;
    }
    return bytes;
  });
  return file;
}

// 20,000 sections of 8 channels, each with 4 data rows, written as the
// header writer lays them out.
const GeneratedFile& ManySections() {
  static const GeneratedFile file([](std::ofstream& out) {
    out << "Quorset Measurement\t\nSeparator\tTab\nX_Columns\tNo\n***End_of_Header***\t\n\n";
    for (int s = 0; s < 20000; ++s) {
      out << "Channels\t8\t\t\t\t\t\t\t\t\n";
      const char* keys[] = {"Samples", "Date", "Time", "Y_Dimension", "Y_Unit_Label", "X_Dimension",
                            "X_Unit_Label", "X0", "Delta_X"};
      const char* values[] = {"4", "2024/03/05", "09:07:02", "Voltage", "V", "Time", "s", "0.000000e+00",
                              "1.000000e-03"};
      for (int k = 0; k < 9; ++k) {
        out << keys[k];
        for (int c = 0; c < 8; ++c) out << "\t\t" << values[k];
        out << "\t\n";
      }
      out << "***End_of_Header***\t\n";
      for (int c = 0; c < 8; ++c) out << "In" << c << '\t';
      out << "Comment\n";
      for (int r = 0; r < 4; ++r) out << "1\t2\t3\t4\t5\t6\t7\t8\n";
    }
    return static_cast<std::int64_t>(out.tellp());
  });
  return file;
}

void BM_ReadString(benchmark::State& state) {
  const GeneratedFile& data = DataRows();
  CString line;
  for (auto _ : state) {
    CStdioFile file;
    file.Open(data.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
    std::int64_t lines = 0;
    while (file.ReadString(line)) ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * data.Bytes());
}
BENCHMARK(BM_ReadString)->Unit(benchmark::kMillisecond);

// What reading a row costs: the line, its fields and their numbers.
void BM_ReadTokenizeConvert(benchmark::State& state) {
  const GeneratedFile& data = DataRows();
  const CString separator("\t");
  CString line;
  CString field;
  for (auto _ : state) {
    CStdioFile file;
    file.Open(data.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
    double sum = 0.0;
    while (file.ReadString(line)) {
      CTokenizer tokenizer(line, separator);
      while (tokenizer.Next(field)) sum += qtx::textio::Atof(field.View());
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * data.Bytes());
}
BENCHMARK(BM_ReadTokenizeConvert)->Unit(benchmark::kMillisecond);

void BM_AtofVersusStrtod(benchmark::State& state) {
  const char* const texts[] = {"1.000000e-03", "0.5", "-2.718281828459045", "12345", "6.02214076e23"};
  const bool useStrtod = state.range(0) != 0;
  for (auto _ : state) {
    double sum = 0.0;
    for (const char* text : texts) sum += useStrtod ? std::strtod(text, nullptr) : qtx::textio::Atof(text);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 5);
  state.SetLabel(useStrtod ? "strtod" : "Atof");
}
BENCHMARK(BM_AtofVersusStrtod)->Arg(0)->Arg(1);

// The fields of data rows, converted one after the other as the data reader
// meets them: with std::from_chars, with the reader's ReadPlainDecimal and,
// where it is installed, with fast_float, the other correctly rounded
// conversion at hand. Arg "with" picks the conversion; arg "digits" the
// fields: those of data_bench's file (X as %.6f, Y as %.7g and %.6e), or
// fields of 17 digits (%.17g and %.16e), which ReadPlainDecimal hands on to
// from_chars.
std::string MakeFields(bool precise) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> value(-1000.0, 1000.0);
  std::string text;
  char cell[48];
  for (int r = 0; r < 200000; ++r) {
    std::snprintf(cell, sizeof cell, precise ? "%.17g" : "%.6f", r * 0.001);
    text += cell;
    for (int c = 0; c < 8; ++c) {
      const char* format = precise ? (c % 2 ? "\t%.16e" : "\t%.17g") : (c % 2 ? "\t%.6e" : "\t%.7g");
      std::snprintf(cell, sizeof cell, format, value(random));
      text += cell;
    }
    text += '\n';
  }
  return text;
}

void BM_ConvertFields(benchmark::State& state) {
  static const std::string texts[] = {MakeFields(false), MakeFields(true)};
  const std::string& text = texts[state.range(1) == 17];
  std::string padded = text + std::string(qtx::textio::kPlainDecimalLookAhead, '\0');
  const char* const end = padded.data() + text.size();
  std::vector<double> values(text.size() / 4);
  for (auto _ : state) {
    double* out = values.data();
    for (const char* p = padded.data(); p < end; ++p) {  // ++p passes over the separator
      double value = 0.0;
      if (state.range(0) == 0) {
        p = std::from_chars(p, end, value).ptr;
      } else if (state.range(0) == 1) {
        p = qtx::textio::ReadPlainDecimal(p, end, value);
      } else {
#if QTX_BENCH_HAS_FAST_FLOAT
        p = fast_float::from_chars(p, end, value).ptr;
#endif
      }
      *out++ = value;
    }
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  const char* const names[] = {"std::from_chars", "ReadPlainDecimal", "fast_float"};
  state.SetLabel(names[state.range(0)]);
}
BENCHMARK(BM_ConvertFields)
    ->ArgNames({"with", "digits"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, QTX_BENCH_HAS_FAST_FLOAT ? 2 : 1, 1), {7, 17}})
    ->Unit(benchmark::kMillisecond);

void BM_ReadSectionHeaders(benchmark::State& state) {
  const GeneratedFile& data = ManySections();
  std::int64_t sections = 0;
  for (auto _ : state) {
    CStdioFile file;
    file.Open(data.Path(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
    CQTXGeneral qtx;
    std::uint32_t nLine = 0;
    qtx.QTX_ReadMainHeader(nLine, &file);
    while (qtx.QTX_ReadSectionHeader(nLine, &file)) ++sections;
  }
  state.SetItemsProcessed(sections);
  state.SetBytesProcessed(state.iterations() * data.Bytes());
}
BENCHMARK(BM_ReadSectionHeaders)->Unit(benchmark::kMillisecond);

}  // namespace
