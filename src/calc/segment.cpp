#include "calc/segment.h"

#include <bit>
#include <cstdint>
#include <numbers>

#include "calc/arctangent.h"

namespace zepa {

namespace {
// The program's value of pi for degrees and radians: the double nearest to 3.1416.
constexpr double kPiApprox = 3.1416;

// The NaN that an invalid operation (0/0, an infinity times 0) gives on x86 processors: quiet,
// with the sign bit set, shown "-nan". ARM, POWER, RISC-V and s390x processors give it with the
// sign bit clear.
constexpr std::uint32_t kDefaultNanBits = 0xFFC00000;

// From data that are not NaNs, every NaN result comes from an invalid operation, passed on
// unchanged by the later steps: x86's default NaN there. It is made that NaN on every
// processor, so that the results, and their texts, are the same everywhere.
float as_default_nan(float value) {
  return value != value ? std::bit_cast<float>(kDefaultNanBits) : value;
}
}  // namespace

bool sagitta_accepted(float c, float f) {
  return f <= c + c;
}

Segment compute_segment(float c, float f) {
  // Each step keeps the precision the calculation has always had: the squares, d, q, t and m
  // are singles; r, Alfa and a are computed in double and rounded to single once.
  const float cc = c * c;
  const float ff = f * f;
  const double s = static_cast<double>(ff) + static_cast<double>(cc);
  Segment out;
  out.r = static_cast<float>(s / 2.0 / static_cast<double>(f));
  const float d = out.r - f;
  const float q = c / d;
  float t = arctangent(q);
  // With d < 0 the centre lies beyond the chord: the segment is more than a half circle and the
  // half-angle is the arctangent's angle plus a half turn, not a negative angle.
  if (d < 0 && c > 0 && f > 0) {
    t = static_cast<float>(static_cast<double>(t) + std::numbers::pi);
  }
  const float m = 180.0f * t;
  out.alfa = static_cast<float>(static_cast<double>(m) / kPiApprox);
  out.a = static_cast<float>(static_cast<double>(out.r) * static_cast<double>(out.alfa) *
                             kPiApprox / 180.0);
  if (c == c && f == f) {
    out.r = as_default_nan(out.r);
    out.a = as_default_nan(out.a);
    out.alfa = as_default_nan(out.alfa);
  }
  return out;
}

}  // namespace zepa
