#pragma once

#include "console/key_codes.h"

namespace zepa {

// The keyboard queue: a ring of 512 codes that holds at most 511; a push into a full ring drops
// the oldest code. Only the main thread touches it: the console event handler's thread leaves
// its close key to the next keyboard poll (keyboard.cpp).
inline constexpr int kKeyQueueSize = 512;

void push_key(KeyCode code);
// The oldest code, taken from the queue; kNoKey when it is empty.
KeyCode pop_key();
bool key_queue_empty();
// How many codes the queue takes before a push drops the oldest: a key source whose input can
// wait outside the queue (a terminal's bytes) stops draining at 0, so a long paste loses nothing.
int key_queue_room();

// Empties the queue (start-up and tests).
void reset_key_queue();

}  // namespace zepa
