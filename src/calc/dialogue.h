#pragma once

namespace zepa {

// The whole dialogue: clears the screen, shows the banner and the notes, asks the help
// question, then computes one case per turn until the user stops; a number typed with a
// decimal comma is refused with a warning line and asked again. Returns the exit code for
// end_program (0). It looks at no result code but its own: a memo that was not recorded and a
// help page that did not open are said in a warning line, and input that gives no more
// replies ends the program at once, with nothing of the case recorded: a terminal that hung
// up, or a read that failed (said on standard error, status 1); the end of a redirected input
// is no failure.
int run_dialogue();

}  // namespace zepa
