#pragma once

namespace zepa {

struct Segment {
  float r = 0;     // radius
  float a = 0;     // semi-arc
  float alfa = 0;  // half-angle in degrees
};

// Whether the pair passes the sagitta test: `f` at most `c` + `c`, doubled in single precision.
// An unordered comparison (a NaN) fails.
bool sagitta_accepted(float c, float f);

// The circular segment of semi-chord `c` and sagitta `f`, in single precision with the double
// steps of the calculation (3.1416 as pi). Pure; never refuses a pair.
Segment compute_segment(float c, float f);

}  // namespace zepa
