#include "console/key_queue.h"

namespace zepa {

namespace {

struct KeyQueue {
  KeyCode codes[kKeyQueueSize] = {};
  int read = 0;
  int write = 0;
};

KeyQueue g_queue;

}  // namespace

KeyCode pop_key() {
  if (g_queue.read == g_queue.write) return kNoKey;
  const KeyCode code = g_queue.codes[g_queue.read];
  g_queue.read = (g_queue.read + 1) % kKeyQueueSize;
  return code;
}

bool key_queue_empty() {
  return g_queue.read == g_queue.write;
}

void push_key(KeyCode code) {
  if (code == kNoKey) return;
  g_queue.codes[g_queue.write] = code;
  g_queue.write = (g_queue.write + 1) % kKeyQueueSize;
  if (g_queue.write == g_queue.read) g_queue.read = (g_queue.read + 1) % kKeyQueueSize;
}

int key_queue_room() {
  return (g_queue.read - g_queue.write - 1 + kKeyQueueSize) % kKeyQueueSize;
}

void reset_key_queue() {
  g_queue = KeyQueue{};
}

}  // namespace zepa
