#pragma once

namespace zepa {

// Runs once before the dialogue: clears the process-wide records, sets round-to-nearest,
// takes the character-type locale from the environment and registers the runtime shutdown.
void runtime_startup();

// Clears every process-wide record (channels, standard streams, console, keyboard, input line,
// memos waiting for a sync) without touching the platform: start-up and tests. Each subsystem
// resets its own record.
void reset_runtime_state();

}  // namespace zepa
