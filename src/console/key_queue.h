#pragma once

#include <string>

#include "console/key_codes.h"

namespace zepa {

// The keyboard queue: a ring of 512 codes that holds at most 511; a push into a full ring drops
// the oldest code. Pushes may come from another thread (the Windows console event handler); a
// lock-free guard keeps them from interfering with the main thread's reads.
inline constexpr int kKeyQueueSize = 512;

void push_key(KeyCode code);
// How many codes the queue takes before a push drops the oldest: a key source whose input can
// wait outside the queue (a terminal's bytes) stops draining at 0, so a long paste loses nothing.
int key_queue_room();
// Drains the key source's pending input into the queue; the first call installs the console
// event handler.
void poll_keyboard();
// Polls, then tells whether a code waits.
bool key_available();
// Polls, takes the oldest code and polls again. The key text: empty for no key, one byte for
// 0..255, two bytes (0xFF, code / 256) for an extended key.
std::string read_key();
// Waits up to `timeout_ms` for input from the key source (the editor's 25 ms period).
void wait_for_key(int timeout_ms);

// Empties the queue and forgets the first poll (start-up and tests).
void reset_keyboard();

}  // namespace zepa
