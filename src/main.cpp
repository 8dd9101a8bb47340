#include "calc/dialogue.h"
#include "platform/platform.h"
#include "startup.h"
#include "sys/lifecycle.h"

int main() {
  zepa::install_platform(zepa::native_platform());
  zepa::runtime_startup();
  zepa::end_program(zepa::run_dialogue());
}
