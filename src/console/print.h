#pragma once

#include <string_view>

namespace zepa {

// Errors in the console layer: the print operations return the channel result codes
// (sys/channels.h); a console service that has nothing to report returns nothing, one that can
// fail in one way returns bool, and one with several outcomes an enum (Conversion, KeysEnd,
// InputLoss). Nothing here ends the process: a console that gives no more input says so
// (the input line's loss) and the dialogue ends.

// End actions: flag bits performed after a print item.
inline constexpr int kEndNone = 0;   // the next item follows on the same line
inline constexpr int kEndLine = 1;   // a line end (13, 10)
inline constexpr int kEndZone = 2;   // blanks up to the next 14-column print zone
inline constexpr int kEndLine4 = 4;  // a line end, as 1

// Print operations. Channel 0 is the console, 1..255 file channels; any other number names
// nothing and the call does nothing. The result is 0, or the first failing result code of the
// channel's writes (the program flow ignores it; the memo writer uses it to warn).
int print_text(int channel, std::string_view text, int end_action);
int print_number(int channel, float value, int end_action);
int print_end(int channel, int end_action);

}  // namespace zepa
