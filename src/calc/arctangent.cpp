#include "calc/arctangent.h"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

namespace zepa {

namespace {

// An angle as a double and the double nearest to what that leaves out, so that a sum with a
// small correction keeps the full precision.
struct Angle {
  double high;
  double low;
};

// atan(k/8) for k = 0 .. 8.
constexpr std::array<Angle, 9> kAtanEighths = {{
    {0x0.0p+0, 0x0.0p+0},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
}};

// pi/2 - atan(k/8) for k = 0 .. 8: atan(x) for x > 1 is pi/2 - atan(1/x).
constexpr std::array<Angle, 9> kAtanComplements = {{
    {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54},
    {0x1.7249faa996a21p+0, 0x1.a8cc1e7480c68p-54},
    {0x1.5368c951e9cfdp+0, -0x1.96f47948a99f1p-54},
    {0x1.3647503caf55cp+0, 0x1.17e21d9a42c9ap-55},
    {0x1.1b6e192ebbe44p+0, 0x1.b1b466a88828ep-54},
    {0x1.031f57e54adbep+0, 0x1.338b4259c0270p-54},
    {0x1.dac670561bb4fp-1, 0x1.a2b7f222f65e2p-55},
    {0x1.b434ee31013fdp-1, -0x1.0520d0701d877p-55},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
}};

// atan(t) - t for |t| <= 1/16, by its Taylor series up to t^13: what is left out is below
// 2^-59 of t, and only this correction carries the coefficients' rounding.
double series_tail(double t) {
  // -1/3, 1/5, -1/7, 1/9, -1/11, 1/13: the coefficients of t^3 .. t^13.
  constexpr double kC[] = {-1.0 / 3, 1.0 / 5, -1.0 / 7, 1.0 / 9, -1.0 / 11, 1.0 / 13};
  const double z = t * t;
  return t * z * (kC[0] + z * (kC[1] + z * (kC[2] + z * (kC[3] + z * (kC[4] + z * kC[5])))));
}

// a × b exactly, as the rounded product and its rounding error: Dekker's product, each factor
// split into two halves of 26 bits (Veltkamp), whose four products are exact. Plain operations
// only, so that every target gives the same bits with or without a fused multiply-add.
Angle exact_product(double a, double b) {
  constexpr double kSplitter = 0x1p27 + 1;
  const double ca = kSplitter * a;
  const double a_high = ca - (ca - a);
  const double a_low = a - a_high;
  const double cb = kSplitter * b;
  const double b_high = cb - (cb - b);
  const double b_low = b - b_high;
  const double product = a * b;
  const double error =
      ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low;
  return {product, error};
}

// n / d as the rounded quotient and the remainder's share of it: n - q d is exact for the
// rounded quotient q, so the pair carries the quotient to about twice a double's precision.
Angle quotient(double n, double d) {
  const double q = n / d;
  const Angle qd = exact_product(q, d);
  return {q, ((n - qd.high) - qd.low) / d};
}

// angle + t (t = t.high + t.low, |t| at most 1/16 and below the angle) and atan(t) - t, as a
// double and the rest: the first sum exact (the angle is the larger), the small terms added to
// its rest, then the two parts put together again with the error of that last sum kept.
Angle add_arctangent(const Angle& angle, const Angle& t) {
  const double sum = angle.high + t.high;
  const double rest = (t.high - (sum - angle.high)) + (angle.low + (t.low + series_tail(t.high)));
  const double high = sum + rest;
  return {high, rest - (high - sum)};
}

// atan(x) for a single x > 0, finite. With c = k/8 the nearest eighth to x (or to 1/x),
// atan(x) = atan(c) + atan(t), t = (x - c) / (1 + c x), and |t| <= 1/16. For singles x the
// products c x are exact, and so are the differences x - c and 1 - c x and the sum x + c.
Angle positive_arctangent(double x) {
  if (x <= 1.0) {
    const int k = static_cast<int>(x * 16.0 + 1.0) / 2;  // the nearest eighth
    if (k == 0) {
      const double tail = series_tail(x);
      const double high = x + tail;
      return {high, tail - (high - x)};
    }
    const double c = k * 0.125;
    return add_arctangent(kAtanEighths[k], quotient(x - c, 1.0 + c * x));
  }
  // atan(x) = pi/2 - atan(1/x), and atan(1/x) - atan(c) = atan((1 - c x) / (x + c)).
  Angle t{};
  int k = 0;
  if (x < 16.0) {
    k = static_cast<int>(16.0 / x + 1.0) / 2;
    const double c = k * 0.125;
    t = quotient(1.0 - c * x, x + c);
  } else {
    t = quotient(1.0, x);
  }
  return add_arctangent(kAtanComplements[k], {-t.high, -t.low});
}

// The single nearest to high + low (|low| at most half a unit in high's last place, high > 0),
// rounded once: a nonzero low moves an even high one step towards it, which is high + low
// rounded to odd in 53 bits, and that rounds to 24 bits as high + low itself would.
float nearest_single(const Angle& angle) {
  auto bits = std::bit_cast<std::uint64_t>(angle.high);
  if (angle.low != 0 && (bits & 1) == 0) bits = angle.low > 0 ? bits + 1 : bits - 1;
  return static_cast<float>(std::bit_cast<double>(bits));
}

}  // namespace

float arctangent(float x) {
  // A NaN comes back as it came, and a zero keeps its sign.
  if (x != x || x == 0.0f) return x;
  const float magnitude = x < 0 ? -x : x;
  const float angle = magnitude == std::numeric_limits<float>::infinity()
                          ? nearest_single(kAtanComplements[0])
                          : nearest_single(positive_arctangent(magnitude));
  return x < 0 ? -angle : angle;
}

}  // namespace zepa
