#include <cfenv>

#include "platform/float_control.h"

namespace zepa {

// A DLL loaded into the process (a printer driver, a shell extension) may have changed the
// rounding mode before the program runs; set it again.
void set_float_control() {
  std::fesetround(FE_TONEAREST);
}

}  // namespace zepa
