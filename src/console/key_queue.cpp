#include "console/key_queue.h"

namespace zepa {

// Placeholder until the keyboard layer lands.
void push_key(KeyCode) {}
void poll_keyboard() {}
bool key_available() { return true; }
std::string read_key() { return std::string(1, '\r'); }
void wait_for_key(int) {}
void reset_keyboard() {}

}  // namespace zepa
