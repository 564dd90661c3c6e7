// Tests of the time step estimate and of resampling.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace {

constexpr double kEpsilon = 2.2250738585072014e-308;  // 2^-1022
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
// Fills the output array beforehand, so that untouched entries show.
constexpr double kUntouched = -999.0;

static_assert(kEpsilon == std::numeric_limits<double>::min());

TEST(EstimateTimeStep, DividesTheRangeByTheCountItself) {
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 10, 0.0, 10.0), 1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 11, 0.0, 10.0), 0.9090909090909091);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 2, -1.0, 1.0), 1.0);
  double values[3] = {1.0, 2.0, 3.0};  // never read
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(values, 4, 1.0, 3.0), 0.5);
}

TEST(EstimateTimeStep, CountsFrom2To31UpStayPositive) {
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 3000000000u, 0.0, 3e9), 1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 0x80000000u, 0.0, 2147483648.0), 1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 0xFFFFFFFFu, 0.0, 4294967295.0), 1.0);
}

TEST(EstimateTimeStep, NoEstimateWithoutTwoSamplesOrAnAscendingFiniteRange) {
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 0, 0.0, 1.0), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 1, 0.0, 1.0), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, 2.0, 2.0), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, 3.0, 2.0), -1.0);
  // A NaN end is not an ascending range; an infinite one has no mean step.
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, kNaN, 2.0), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, 0.0, kNaN), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, 0.0, kInf), -1.0);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 5, -kInf, 0.0), -1.0);
}

TEST(EstimateTimeStep, RangeWiderThanTheLargestDoubleStillHasAFiniteStep) {
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 2, -kMax, kMax), kMax);
  EXPECT_EQ(CQTXGeneral::EstimateTimeStep(nullptr, 4, -kMax, kMax), kMax / 2);
}

// One call of the resampler with its output array and capacity.
struct Resampled {
  bool result;
  std::uint32_t capacity;   // nCapacity on return
  std::vector<double> out;  // the whole array, kUntouched where nothing was written
  std::vector<double> Stored() const { return {out.begin(), out.begin() + capacity}; }
};

Resampled Resample(double dStart, double dStep, const std::vector<double>& x, std::vector<double> y,
                   std::uint32_t nCapacity, std::size_t room = 16) {
  Resampled r{false, nCapacity, std::vector<double>(room, kUntouched)};
  r.result = CQTXGeneral::QTX_InterpolateData(dStart, dStep, x.data(), y.data(),
                                              static_cast<std::uint32_t>(x.size()), r.capacity, r.out.data());
  return r;
}

using Values = std::vector<double>;
const Values kExampleX = {0, 1, 2, 4};
const Values kExampleY = {0, 10, 20, 0};

TEST(Interpolate, WorkedExample) {
  const Resampled r = Resample(0.0, 0.5, kExampleX, kExampleY, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 8u);
  EXPECT_EQ(r.Stored(), (Values{0, 5, 10, 15, 20, 15, 10, 5}));
  EXPECT_EQ(r.out[8], kUntouched);
}

TEST(Interpolate, WorkedExampleWithCapacityFiveStoresTheFirstFive) {
  const Resampled r = Resample(0.0, 0.5, kExampleX, kExampleY, 5);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 5u);
  EXPECT_EQ(r.Stored(), (Values{0, 5, 10, 15, 20}));
  EXPECT_EQ(r.out[5], kUntouched);
}

TEST(Interpolate, WorkedExampleStartingBetweenKnots) {
  const Resampled r = Resample(0.25, 0.5, kExampleX, kExampleY, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 8u);
  EXPECT_EQ(r.Stored(), (Values{2.5, 7.5, 12.5, 17.5, 17.5, 12.5, 7.5, 2.5}));
}

TEST(Interpolate, ExtrapolatesBeforeTheFirstPoint) {
  const Resampled r = Resample(-1.0, 0.5, {0, 1}, {0, 10}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.Stored(), (Values{-10, -5, 0, 5}));
}

TEST(Interpolate, NothingAtOrBeyondTheLastAbscissa) {
  // Past the end: pOut[0] keeps the preset first Y.
  Resampled r = Resample(5.0, 0.5, {0, 1}, {7, 10}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 0u);
  EXPECT_EQ(r.out[0], 7.0);
  EXPECT_EQ(r.out[1], kUntouched);

  // Exactly on the last abscissa: the comparison is strict.
  r = Resample(1.0, 0.5, {0, 1}, {7, 10}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 0u);
  EXPECT_EQ(r.out[0], 7.0);

  // A grid abscissa reaching the last point ends the walk there.
  r = Resample(0.0, 0.25, {0, 1}, {0, 4}, 10);
  EXPECT_EQ(r.Stored(), (Values{0, 1, 2, 3}));
}

TEST(Interpolate, PointsWithEqualAbscissasArePassedOver) {
  // (1, 30) takes no part: the last segment runs from (1, 10) to (2, 20).
  Resampled r = Resample(0.0, 0.5, {0, 1, 1, 2}, {0, 10, 30, 20}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.Stored(), (Values{0, 5, 10, 15}));

  // Within the tolerance counts as equal too.
  r = Resample(0.0, 0.5, {0, 1, 1 + kEpsilon / 2, 2}, {0, 10, 30, 20}, 10);
  EXPECT_EQ(r.Stored(), (Values{0, 5, 10, 15}));

  // All equal: nothing but the preset.
  r = Resample(0.0, 0.5, {3, 3, 3 + kEpsilon}, {4, 5, 6}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 0u);
  EXPECT_EQ(r.out[0], 4.0);
  EXPECT_EQ(r.out[1], kUntouched);
}

TEST(Interpolate, SegmentEndingBelowTheGridProducesNothingButMovesTheKnot) {
  // X goes 0, 2, back to 1, then 3. The segment (2, 20) -> (1, 0) ends below
  // t = 2 and produces nothing; the next runs from (1, 0) to (3, 60), not
  // from (2, 20), which would give 20 and 40.
  const Resampled r = Resample(0.0, 0.5, {0, 2, 1, 3}, {0, 20, 0, 60}, 10);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.Stored(), (Values{0, 5, 10, 15, 30, 45}));

  // Starting past the first segment: the second one still starts at (1, 10).
  const Resampled late = Resample(1.5, 0.5, {0, 1, 2}, {0, 10, 0}, 10);
  EXPECT_EQ(late.Stored(), (Values{5}));
}

TEST(Interpolate, KnotValuesAreCopiedNotRecomputed) {
  // On the line through (0.1, 0.7) and (0.4, 0.2), x = 0.1 rounds to
  // 0.6999999999999998; the knot's own value comes out.
  const double slope = (0.2 - 0.7) / (0.4 - 0.1);
  const double intercept = 0.2 - slope * 0.4;
  ASSERT_NE(slope * 0.1 + intercept, 0.7);
  Resampled r = Resample(0.1, 0.25, {0.1, 0.4}, {0.7, 0.2}, 10);
  ASSERT_GE(r.capacity, 1u);
  EXPECT_EQ(r.out[0], 0.7);

  // Right knot: 3e lies within e of 4e. The line through (0, 1) and (4e, 2)
  // gives 1.75 there.
  r = Resample(3 * kEpsilon, 2 * kEpsilon, {0, 4 * kEpsilon}, {1, 2}, 10);
  EXPECT_EQ(r.Stored(), (Values{2}));
}

TEST(Interpolate, ToleranceIncludesADifferenceOfExactlyTheSmallestNormal) {
  // A step of exactly 2^-1022 is too small; the next double up walks.
  EXPECT_FALSE(Resample(0.0, kEpsilon, {0, 1}, {0, 10}, 10).result);
  EXPECT_TRUE(Resample(0.0, std::nextafter(kEpsilon, 1.0), {0, 1e-307}, {0, 10}, 10).result);

  // An abscissa exactly 2^-1022 before the first knot takes its value; one
  // a little further off is extrapolated.
  Resampled r = Resample(-kEpsilon, 0.5, {0, 1}, {0, 10}, 1);
  EXPECT_EQ(r.Stored(), (Values{0}));
  const double beyond = -std::nextafter(kEpsilon, 1.0);
  r = Resample(beyond, 0.5, {0, 1}, {0, 10}, 1);
  EXPECT_EQ(r.Stored(), (Values{10 * beyond}));
}

TEST(Interpolate, GridAbscissasComeFromRepeatedAddition) {
  // Find k where dStart with dStep added k times differs from dStart +
  // k * dStep in the last bit.
  const double dStart = 0.0;
  const double dStep = 0.1;
  double sum = dStart;
  std::uint32_t k = 0;
  while (k < 100 && sum == dStart + k * dStep) {
    sum += dStep;
    ++k;
  }
  ASSERT_LT(k, 100u);
  ASSERT_EQ(std::fabs(sum - (dStart + k * dStep)), std::nextafter(sum, 1.0) - sum);

  // On y = x (slope 1, intercept 0) each value is its grid abscissa.
  const Resampled r = Resample(dStart, dStep, {0, 100}, {0, 100}, k + 1);
  ASSERT_EQ(r.capacity, k + 1);
  EXPECT_EQ(r.out[k], sum);
  EXPECT_NE(r.out[k], dStart + k * dStep);
}

TEST(Interpolate, UnusableArgumentsTouchNothing) {
  const Values x = {0, 1};
  Values y = {0, 10};
  double out[2] = {kUntouched, kUntouched};
  struct Case {
    const char* what;
    double dStart;
    double dStep;
    const double* pX;
    double* pY;
    std::uint32_t nCount;
    double* pOut;
  };
  const Case cases[] = {
      {"one point", 0, 0.5, x.data(), y.data(), 1, out},
      {"no points", 0, 0.5, x.data(), y.data(), 0, out},
      {"step 0", 0, 0.0, x.data(), y.data(), 2, out},
      {"negative step", 0, -0.5, x.data(), y.data(), 2, out},
      {"step below the tolerance", 0, kEpsilon / 2, x.data(), y.data(), 2, out},
      {"NaN step", 0, kNaN, x.data(), y.data(), 2, out},
      {"infinite step", 0, kInf, x.data(), y.data(), 2, out},
      {"null pX", 0, 0.5, nullptr, y.data(), 2, out},
      {"null pY", 0, 0.5, x.data(), nullptr, 2, out},
      {"null pOut", 0, 0.5, x.data(), y.data(), 2, nullptr},
      {"NaN start", kNaN, 0.5, x.data(), y.data(), 2, out},
      {"infinite start", kInf, 0.5, x.data(), y.data(), 2, out},
      {"negative infinite start", -kInf, 0.5, x.data(), y.data(), 2, out},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint32_t nCapacity = 2;
    EXPECT_FALSE(
        CQTXGeneral::QTX_InterpolateData(c.dStart, c.dStep, c.pX, c.pY, c.nCount, nCapacity, c.pOut));
    EXPECT_EQ(nCapacity, 2u);
    EXPECT_EQ(out[0], kUntouched);
    EXPECT_EQ(out[1], kUntouched);
  }
}

TEST(Interpolate, CapacityZeroWritesNothing) {
  for (const double dStart : {0.0, 5.0}) {
    const Resampled r = Resample(dStart, 0.5, kExampleX, kExampleY, 0);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.capacity, 0u);
    EXPECT_EQ(r.out[0], kUntouched);
  }
}

TEST(Interpolate, WalkStopsOnceTheCapacityIsFilled) {
  // 10^12 grid abscissas lie below the last point; only the four that fit
  // are worked out.
  const Resampled r = Resample(0.0, 1e-12, {0, 1}, {0, 1}, 4);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.capacity, 4u);
  EXPECT_EQ(r.Stored(), (Values{0, 1e-12, 1e-12 + 1e-12, 1e-12 + 1e-12 + 1e-12}));
  EXPECT_EQ(r.out[4], kUntouched);
}

TEST(Interpolate, StepThatNoLongerMovesTheGridFails) {
  // 1e20 + 1 == 1e20: the walk would never reach 4e20.
  Resampled r = Resample(1e20, 1.0, {0, 4e20}, {0, 4e20}, 5);
  EXPECT_FALSE(r.result);
  EXPECT_EQ(r.capacity, 5u);
  EXPECT_EQ(r.out[0], 1e20);
  EXPECT_EQ(r.out[1], kUntouched);

  // Room for one value: stored before the step is tried.
  r = Resample(1e20, 1.0, {0, 4e20}, {0, 4e20}, 1);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.Stored(), (Values{1e20}));
}

}  // namespace
