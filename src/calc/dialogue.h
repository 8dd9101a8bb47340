#pragma once

namespace zepa {

// The whole dialogue: clears the screen, shows the banner and the notes, asks the help
// question, then computes one case per turn until the user stops. Returns the exit code for
// end_program (0).
int run_dialogue();

}  // namespace zepa
