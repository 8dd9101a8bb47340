#include "console/line_input.h"

namespace zepa {

// Placeholder until the line editor lands.
std::string edit_line() { return {}; }

}  // namespace zepa
