#include "console/key_queue.h"

#include <atomic>
#include <thread>

#include "platform/platform.h"
#include "sys/lifecycle.h"

namespace zepa {

namespace {

struct KeyQueue {
  KeyCode codes[kKeyQueueSize] = {};
  int read = 0;
  int write = 0;
  bool polled = false;
};

KeyQueue g_queue;

// Held for a few instructions around each change of the indices. A push from the console
// event handler's thread spins until the main thread lets go; the wait is bounded, so that a
// holder that never returns (a push from a signal handler that interrupted the holder) costs
// that one code instead of a hang.
std::atomic_flag g_guard = ATOMIC_FLAG_INIT;
constexpr int kGuardAttempts = 1000000;
constexpr int kSpinsBeforeYield = 64;

bool take_guard() {
  for (int attempt = 0; attempt < kGuardAttempts; ++attempt) {
    if (!g_guard.test_and_set(std::memory_order_acquire)) return true;
    if (attempt >= kSpinsBeforeYield) std::this_thread::yield();
  }
  return false;
}

void release_guard() {
  g_guard.clear(std::memory_order_release);
}

// The oldest code, or kNoKey when the queue is empty.
KeyCode pop_key() {
  if (!take_guard()) return kNoKey;
  KeyCode code = kNoKey;
  if (g_queue.read != g_queue.write) {
    code = g_queue.codes[g_queue.read];
    g_queue.read = (g_queue.read + 1) % kKeyQueueSize;
  }
  release_guard();
  return code;
}

bool queue_empty() {
  if (!take_guard()) return true;
  const bool empty = g_queue.read == g_queue.write;
  release_guard();
  return empty;
}

std::string key_text(KeyCode code) {
  if (code >= 0 && code <= 0xFF) return std::string(1, static_cast<char>(code));
  return {'\xFF', static_cast<char>((code >> 8) & 0xFF)};
}

}  // namespace

void push_key(KeyCode code) {
  if (code == kNoKey || !take_guard()) return;
  g_queue.codes[g_queue.write] = code;
  g_queue.write = (g_queue.write + 1) % kKeyQueueSize;
  if (g_queue.write == g_queue.read) g_queue.read = (g_queue.read + 1) % kKeyQueueSize;
  release_guard();
}

int key_queue_room() {
  if (!take_guard()) return 0;
  const int room = (g_queue.read - g_queue.write - 1 + kKeyQueueSize) % kKeyQueueSize;
  release_guard();
  return room;
}

void poll_keyboard() {
  KeySource* keys = platform().keys;
  if (keys == nullptr) return;
  if (!g_queue.polled) {
    g_queue.polled = true;
    keys->install_event_handler();
  }
  keys->drain();
}

bool key_available() {
  poll_keyboard();
  return !queue_empty();
}

std::string read_key() {
  poll_keyboard();
  const KeyCode code = pop_key();
  if (code == kNoKey) return {};
  poll_keyboard();
  return key_text(code);
}

void wait_for_key(int timeout_ms) {
  // What the console holds is sent before the program blocks, so that the user sees it.
  flush_all_output();
  if (platform().keys != nullptr) platform().keys->wait(timeout_ms);
}

void reset_keyboard() {
  const bool held = take_guard();
  g_queue.read = 0;
  g_queue.write = 0;
  g_queue.polled = false;
  if (held) release_guard();
}

}  // namespace zepa
