#pragma once

#include <string>

#include "console/key_codes.h"

namespace zepa {

// The keyboard layer over the platform's key source: turns what the source delivers (a
// terminal's bytes, a console's key events) into key codes and keeps them in the keyboard queue.

// Drains the key source's pending input into the queue. The first call installs the console
// event handler (which pushes the close key) and takes the source's key format. A source that
// fails to read, or whose terminal has hung up (the close key is then pushed), is not read
// again, and the queue keeps what it has.
void poll_keyboard();
// Polls, then tells whether a code waits.
bool key_available();
// Polls, takes the oldest code (kNoKey when none waits) and polls again.
KeyCode take_key();
// take_key() as key text: empty for no key, one byte for 0..255, two bytes (0xFF, code / 256)
// for an extended key.
std::string read_key();
// Why no key will ever come again: the key source failed, or its terminal hung up.
enum class KeysEnd { kNone, kFailed, kHungUp };
KeysEnd keys_end();

// Sends the output that waits (so the user sees it), then blocks for input from the key source.
// A terminal's wait has no limit but ends at a signal (a hang-up, a resize, a continue after a
// stop); a console's key events are waited for up to `timeout_ms` (the editor's 25 ms period).
// While a lone Esc may still be the start of a key's sequence (or a CR the first half of a
// pasted CR LF), the wait ends when it has had its time. False once no key can come
// (keys_end() says why).
bool wait_for_key(int timeout_ms);

// Forgets the first poll, the decoding in progress and a failure (start-up and tests).
void reset_keyboard();

}  // namespace zepa
