#pragma once

#include <string>

#include "calc/segment.h"
#include "console/number_text.h"

namespace zepa {

inline constexpr const char* kMemoFileName = "mc-zepa4-07.txt";
inline constexpr int kMemoChannel = 1;

// The number texts of a case's results, each made once: the console shows them and the memo
// records the same bytes.
struct ResultTexts {
  SingleText r;
  SingleText a;
  SingleText alfa;
};
ResultTexts result_texts(const Segment& result);

// The 21-line calculation memo of one case (its data and its results' texts), as the memo file
// receives it: Windows-1252 bytes, every line ended by CR LF.
std::string memo_text(float c, float f, const ResultTexts& results);

// What became of a memo.
enum class MemoOutcome {
  kRecorded,     // whole in the file
  kNotRecorded,  // not in the file: it could not be opened, or the bytes were refused
  kUnconfirmed,  // every byte was taken, but the system reported a failure after (a network
                 // file system at the close, a disk at the sync): it may not be in the file
};

// Appends the 21-line calculation memo of one case to the memo file on channel 1. A case typed
// at a console is on the disk when this returns; the memos of a redirected input wait for
// sync_memos.
MemoOutcome write_memo(float c, float f, const ResultTexts& results);

// Waits until the memos recorded without a sync are on the disk: the end of a redirected
// run, whose input still holds every case, makes one sync do for all. False when the system
// could not confirm them.
bool sync_memos();

// Forgets the memos waiting for a sync (start-up and tests).
void reset_memos();

}  // namespace zepa
