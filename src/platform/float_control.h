#pragma once

namespace zepa {

// Puts the floating-point unit in the state the calculation is defined for: rounding to
// nearest, ties to even, with the full precision of each format. Called once at start-up.
void set_float_control();

}  // namespace zepa
