#include "console/key_queue.h"

#include <atomic>
#include <thread>

namespace zepa {

namespace {

struct KeyQueue {
  KeyCode codes[kKeyQueueSize] = {};
  int read = 0;
  int write = 0;
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

}  // namespace

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

bool key_queue_empty() {
  if (!take_guard()) return true;
  const bool empty = g_queue.read == g_queue.write;
  release_guard();
  return empty;
}

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

void reset_key_queue() {
  // Only a push that never returned (from a signal handler that interrupted the holder) keeps
  // the guard; the ring is then left as it is rather than changed under that push.
  if (!take_guard()) return;
  g_queue.read = 0;
  g_queue.write = 0;
  release_guard();
}

}  // namespace zepa
