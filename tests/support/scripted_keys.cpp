#include "support/scripted_keys.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "startup.h"

namespace zepa::testing {

ScriptedKeys& ScriptedKeys::type(std::string_view bytes) {
  bursts_.back().bytes.append(bytes);
  return *this;
}

ScriptedKeys& ScriptedKeys::pause(std::function<void()> before) {
  bursts_.push_back({"", std::move(before)});
  return *this;
}

long ScriptedKeys::read_bytes(unsigned char* bytes, std::size_t size) {
  if (fail_reads) return -1;
  const std::string& burst = bursts_[burst_].bytes;
  const std::size_t n = std::min(size, burst.size() - sent_);
  if (n == 0 && hang_up && burst_ + 1 == bursts_.size()) return kHungUp;
  std::memcpy(bytes, burst.data() + sent_, n);
  sent_ += n;
  return static_cast<long>(n);
}

void ScriptedKeys::wait(int timeout_ms) {
  ++waits;
  last_timeout = timeout_ms;
  if (timeout_ms >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return;
  }
  if (burst_ + 1 < bursts_.size()) {
    ++burst_;
    sent_ = 0;
    if (bursts_[burst_].before) bursts_[burst_].before();
    return;
  }
  if (sent_ < bursts_[burst_].bytes.size() || hang_up) return;
  if (!expect_end) throw std::runtime_error("the key script ran out");
  ran_out = true;
  bursts_.push_back({"\r\n", {}});
  ++burst_;
  sent_ = 0;
}

ConsoleRig::ConsoleRig(int width, int height, int window_rows, char fill)
    : screen(width, height, window_rows, fill) {
  process.kind = InputKind::kConsole;
  install_platform(Platform{&screen, &keys, &process});
  reset_runtime_state();
}

}  // namespace zepa::testing
