#pragma once

#include <string>
#include <string_view>

namespace zepa {

// The line editor: edits a line at the cursor until Enter (13) or Ctrl+Enter (10) and returns
// it (bytes 32..255 only). `shown` is what stands before the line on the screen (the prompt
// and its "? "): after the window changes its size the editor shows it again at the start of
// a fresh row, followed by the line, with the cursor on its character. A key source that can
// no longer be read ends the program with status 1: no key can ever end the line.
std::string edit_line(std::string_view shown = {});

}  // namespace zepa
