#pragma once

#include <string>
#include <string_view>

namespace zepa {

// Running other programs: the help page's opener. Both write out what standard output holds
// first, so that the other program's output follows the dialogue's.

// Hands `command` to the command processor and waits: its status, or -1 for an empty text.
int run_command(std::string_view command);

// Opens the local file `path` with the program the user has chosen for it, and waits for the
// opener: 0 when it reports success.
int open_file(const std::string& path);

// Opens the web address `url` in the user's browser through the command processor, and waits:
// the command's status.
int open_web_page(std::string_view url);

// The installed copy of the program's file `name` (beside the executable, or in the share
// directory of its install prefix), or empty when there is none.
std::string installed_file(std::string_view name);

}  // namespace zepa
