// Time step estimate and resampling onto an even grid.
//
// Both operations work on the caller's arrays only: no members, no state, no
// allocation.
#include <cmath>
#include <limits>

#include "qtx/QTXLibrary.h"

namespace {

// The one tolerance of the resampler, 2^-1022: the smallest step it walks
// with, and how close two abscissas must be to count as equal. A difference
// of exactly kTolerance is within it.
constexpr double kTolerance = std::numeric_limits<double>::min();

bool WithinTolerance(double a, double b) {
  return std::fabs(a - b) <= kTolerance;
}

}  // namespace

double CQTXGeneral::EstimateTimeStep(double* /*pValues*/, std::uint32_t nCount, double dStart, double dEnd) {
  if (nCount < 2) return -1.0;
  // "Not below" rather than ">=": a NaN at either end gives no estimate
  // instead of a NaN step, and neither does an infinite end.
  if (!(dStart < dEnd) || !std::isfinite(dStart) || !std::isfinite(dEnd)) return -1.0;
  // The count itself is the divisor, converted as the unsigned value it is.
  const double count = static_cast<double>(nCount);
  const double step = (dEnd - dStart) / count;
  // Two finite ends more than the largest double apart overflow the
  // difference, yet their mean step is finite: divide each end first. Only
  // such ranges take this path, so every other result rounds as above.
  if (std::isinf(step)) return dEnd / count - dStart / count;
  return step;
}

bool CQTXGeneral::QTX_InterpolateData(double dStart, double dStep, const double* pX, double* pY,
                                      std::uint32_t nCount, std::uint32_t& nCapacity, double* pOut) {
  // Unusable arguments leave pOut and nCapacity as they are. "!(dStep >
  // kTolerance)" also turns away a NaN step, which "dStep <= kTolerance"
  // would let through.
  if (nCount < 2) return false;
  if (!(dStep > kTolerance) || std::isinf(dStep)) return false;
  if (pX == nullptr || pY == nullptr || pOut == nullptr) return false;
  if (!std::isfinite(dStart)) return false;

  // Room for nothing: there is nothing to store, not even the preset below,
  // and nothing the walk could change.
  const std::uint32_t capacity = nCapacity;
  if (capacity == 0) return true;

  // A grid that misses the points altogether leaves pY[0] in pOut[0]; the
  // first value stored overwrites it.
  pOut[0] = pY[0];

  std::uint32_t n = 0;  // values stored
  double t = dStart;    // grid abscissa: dStart plus dStep added n times, one rounding each
  std::uint32_t p = 0;  // left knot
  for (std::uint32_t j = 1; j < nCount; ++j) {
    // Of a run of points with equal abscissas only the first takes part.
    if (WithinTolerance(pX[j], pX[p])) continue;

    const double slope = (pY[j] - pY[p]) / (pX[j] - pX[p]);
    const double intercept = pY[j] - slope * pX[j];
    // t is compared with the right end only, whichever way the segment runs:
    // a segment ending at or below t produces nothing and t never goes back.
    while (t < pX[j]) {
      // Knot values are copied, so a grid abscissa on a knot gives the
      // knot's value exactly, not the line's rounding of it.
      double value;
      if (WithinTolerance(t, pX[p])) {
        value = pY[p];
      } else if (WithinTolerance(t, pX[j])) {
        value = pY[j];
      } else {
        value = slope * t + intercept;
      }
      pOut[n] = value;
      // Whatever the walk would compute beyond the caller's array is dropped
      // anyway; stopping here bounds the work by the array.
      if (++n == capacity) return true;
      const double next = t + dStep;
      // A step below half an ulp of t leaves t where it is and the walk
      // would never reach pX[j].
      if (next == t) return false;
      t = next;
    }
    p = j;
  }
  nCapacity = n;
  return true;
}
