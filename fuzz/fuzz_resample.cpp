// The resampler on doubles taken from the input: it must never store past
// the capacity it is given, never report more values than it stored, and,
// for the identity curve through strictly ascending points, give the grid
// abscissas themselves, in grid order.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace {

// Reads the input as a stream of doubles and small integers.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::size_t Left() const { return m_size - m_pos; }
  double Double() {
    double d = 0.0;
    if (Left() >= sizeof d) {
      std::memcpy(&d, m_data + m_pos, sizeof d);
      m_pos += sizeof d;
    }
    return d;
  }
  std::uint32_t Small(std::uint32_t limit) {
    std::uint32_t v = 0;
    if (Left() >= 2) {
      v = static_cast<std::uint32_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
      m_pos += 2;
    }
    return v % (limit + 1);
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

constexpr double kSentinel = -12345.678;

// A value in [-1e6, 1e6] from arbitrary bits, for the identity check.
double Moderate(double d) {
  if (!std::isfinite(d)) return 0.0;
  return std::fmod(d, 1e6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  const std::uint32_t flags = in.Small(3);
  const bool identity = (flags & 1) != 0;
  const std::uint32_t capacity = in.Small(4096);
  double start = in.Double();
  double step = in.Double();
  std::vector<double> x;
  while (in.Left() >= sizeof(double) && x.size() < 4096) x.push_back(in.Double());

  if (identity) {
    // Strictly ascending moderate abscissas, the curve y = x.
    start = Moderate(start);
    step = std::fabs(Moderate(step)) + 1e-3;
    double at = -1e6;
    for (double& v : x) {
      at += 1e-2 + std::fabs(Moderate(v)) / 1e3;
      v = at;
    }
  }
  const std::vector<double> y = x;
  std::vector<double> out(capacity + 1, kSentinel);  // one guard entry past the capacity
  std::uint32_t stored = capacity;
  const bool ok = CQTXGeneral::QTX_InterpolateData(start, step, x.data(), const_cast<double*>(y.data()),
                                                   static_cast<std::uint32_t>(x.size()), stored, out.data());
  if (out[capacity] != kSentinel && !std::isnan(out[capacity])) __builtin_trap();  // written past the capacity
  if (stored > capacity) __builtin_trap();
  if (capacity == 0 && out[0] != kSentinel) __builtin_trap();

  if (identity && ok && x.size() >= 2) {
    double t = start;
    for (std::uint32_t k = 0; k < stored; ++k) {
      if (std::fabs(out[k] - t) > 1e-9 * (1.0 + std::fabs(t))) __builtin_trap();  // not the grid, or not in order
      t += step;
    }
  }
  return 0;
}
