#pragma once

#include <string>
#include <string_view>

namespace zepa {

// The line editor: edits a line at the cursor until Enter (13) or Ctrl+Enter (10) and returns
// it (bytes 32..255 only). `shown` is what stands before the line on the screen (the prompt
// and its "? "): after the window changes its size the editor shows it again at the start of
// a fresh row, followed by the line, with the cursor on its character. False when no key can
// ever end the line (the key source failed or its terminal hung up: keys_end() says which);
// `line` then holds what was typed.
bool edit_line(std::string& line, std::string_view shown = {});

}  // namespace zepa
