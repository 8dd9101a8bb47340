#pragma once

#include <string>

namespace zepa {

// The line editor: edits a line at the cursor until Enter (13) or Ctrl+Enter (10) and returns
// it (bytes 32..255 only). A key source that can no longer be read ends the program with
// status 1: no key can ever end the line.
std::string edit_line();

}  // namespace zepa
