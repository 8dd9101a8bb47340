#include "calc/arctangent.h"

#include <array>

namespace zepa {

namespace {

// atan(c) for the reduction points c = 1/2, 1, 3/2 and infinity, each as a double and the
// double nearest to what it leaves out, so that the sum keeps the full precision.
struct Angle {
  double high;
  double low;
};
constexpr Angle kAtanHalf = {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56};
constexpr Angle kAtanOne = {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55};
constexpr Angle kAtanThreeHalves = {0x1.f730bd281f69bp-1, 0x1.007887af0cbbdp-56};
constexpr Angle kHalfPi = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// After the reduction |t| <= 7/16, so t^2 <= 0.192: the Taylor terms up to t^47 leave less
// than 2^-60 of t behind. Only the correction beyond t carries the coefficients' rounding.
constexpr int kTerms = 23;

// -1/3, 1/5, -1/7, ...: the coefficients of t^3, t^5, t^7, ...
constexpr std::array<double, kTerms> series_coefficients() {
  std::array<double, kTerms> c{};
  for (int k = 1; k <= kTerms; ++k) {
    const double magnitude = 1.0 / static_cast<double>(2 * k + 1);
    c[k - 1] = k % 2 == 0 ? magnitude : -magnitude;
  }
  return c;
}
constexpr std::array<double, kTerms> kCoefficients = series_coefficients();

// atan(t) - t, for |t| <= 7/16, by Horner's rule in t^2.
double series_tail(double t) {
  const double z = t * t;
  double sum = 0.0;
  for (int k = kTerms - 1; k >= 0; --k) sum = kCoefficients[k] + z * sum;
  return t * z * sum;
}

// atan(x) for x >= 0 and finite or infinite, by atan(x) = atan(c) + atan((x - c) / (1 + c x)).
double positive_arctangent(double x) {
  if (x < 7.0 / 16.0) return x + series_tail(x);
  Angle base{};
  double t = 0.0;
  if (x < 11.0 / 16.0) {
    base = kAtanHalf;
    t = (2.0 * x - 1.0) / (2.0 + x);
  } else if (x < 19.0 / 16.0) {
    base = kAtanOne;
    t = (x - 1.0) / (x + 1.0);
  } else if (x < 39.0 / 16.0) {
    base = kAtanThreeHalves;
    t = (x - 1.5) / (1.0 + 1.5 * x);
  } else {
    base = kHalfPi;
    t = -1.0 / x;
  }
  return base.high + (base.low + (t + series_tail(t)));
}

}  // namespace

double arctangent(double x) {
  // A NaN comes back as it came, and a zero keeps its sign.
  if (x != x || x == 0.0) return x;
  return x < 0 ? -positive_arctangent(-x) : positive_arctangent(x);
}

}  // namespace zepa
