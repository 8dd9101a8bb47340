#pragma once

#include <string>

#include "calc/segment.h"

namespace zepa {

inline constexpr const char* kMemoFileName = "mc-zepa4-07.txt";
inline constexpr int kMemoChannel = 1;

// The 21-line calculation memo of one case, as the memo file receives it: Windows-1252 bytes,
// every line ended by CR LF.
std::string memo_text(float c, float f, const Segment& result);

// Appends the 21-line calculation memo of one case to the memo file on channel 1. True when
// the memo was recorded whole (opened, every write taken, written out at the close).
bool write_memo(float c, float f, const Segment& result);

}  // namespace zepa
