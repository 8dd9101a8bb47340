#include "platform/platform.h"

namespace zepa {

namespace {
Platform g_platform;
}

void install_platform(const Platform& platform) {
  g_platform = platform;
}

Platform& platform() {
  return g_platform;
}

}  // namespace zepa
