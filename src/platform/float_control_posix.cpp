#include "platform/float_control.h"

namespace zepa {

// Nothing to do: a C or C++ program starts with rounding to nearest, SSE and WebAssembly
// arithmetic have no precision control, and nothing in the process changes either. Calling
// fesetround would load the mathematics library only to repeat that state.
void set_float_control() {}

}  // namespace zepa
