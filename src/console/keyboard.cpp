#include "console/keyboard.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "console/key_decoder.h"
#include "console/key_queue.h"
#include "console/key_translate.h"
#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

// A terminal sends a key's sequence in one write, and a paste in few; this covers a slow link
// while Esc still answers at once. It also bounds a burst: an LF this long after a CR is a key
// of its own.
constexpr auto kEscapeWait = std::chrono::milliseconds(40);
constexpr int kReadSize = 256;

unsigned layout_key_char(unsigned virtual_key) {
  KeySource* keys = platform().keys;
  return keys != nullptr ? keys->key_char(virtual_key) : 0;
}

// The console event handler runs on a thread of the platform's own: it only raises this flag,
// and the next poll, on the main thread, turns it into the close key. So the queue has one
// thread, and needs no guard.
std::atomic<bool> g_close_requested{false};

void request_close() {
  g_close_requested.store(true);
}

struct Keyboard {
  bool polled = false;
  KeysEnd end = KeysEnd::kNone;
  KeyFormat format;
  KeyDecoder decoder{127, true};
  KeyEventTranslator translator{layout_key_char};
  std::vector<KeyCode> codes;
  std::chrono::steady_clock::time_point last_byte;
};

Keyboard g_keyboard;

void drain_bytes(KeySource& keys) {
  Keyboard& k = g_keyboard;
  for (;;) {
    // A byte gives at most one code: reading no more than the queue takes leaves the rest of
    // a long paste waiting in the terminal instead of dropping codes from the queue.
    const int room = std::min(key_queue_room(), kReadSize);
    if (room == 0) return;
    unsigned char bytes[kReadSize];
    const long n = keys.read_bytes(bytes, static_cast<std::size_t>(room));
    if (n == kHungUp) {
      // The terminal is gone: the close key goes to the queue, as the console's close event
      // puts it there.
      k.end = KeysEnd::kHungUp;
      push_key(kCloseKey);
    } else if (n < 0) {
      k.end = KeysEnd::kFailed;
    }
    if (n <= 0) break;
    k.codes.clear();
    k.decoder.feed(bytes, static_cast<std::size_t>(n), k.codes);
    for (const KeyCode code : k.codes) push_key(code);
    k.last_byte = std::chrono::steady_clock::now();
  }
  if (k.decoder.pending() && std::chrono::steady_clock::now() - k.last_byte >= kEscapeWait &&
      key_queue_room() > 0) {
    push_key(k.decoder.timeout());
  }
}

void drain_events(KeySource& keys) {
  for (;;) {
    KeyEvent event;
    const long n = keys.read_events(&event, 1);
    if (n < 0) g_keyboard.end = KeysEnd::kFailed;
    if (n <= 0) return;
    push_key(g_keyboard.translator.handle(event));
  }
}

std::string key_text(KeyCode code) {
  if (code >= 0 && code <= 0xFF) return std::string(1, static_cast<char>(code));
  return {'\xFF', static_cast<char>((code >> 8) & 0xFF)};
}

}  // namespace

void poll_keyboard() {
  KeySource* keys = platform().keys;
  Keyboard& k = g_keyboard;
  if (keys == nullptr || k.end != KeysEnd::kNone) return;
  if (!k.polled) {
    k.polled = true;
    k.format = keys->format();
    k.decoder = KeyDecoder(k.format.erase, k.format.utf8);
    keys->install_event_handler(request_close);
  }
  if (g_close_requested.exchange(false)) push_key(kCloseKey);
  if (k.format.events) {
    drain_events(*keys);
  } else {
    drain_bytes(*keys);
  }
}

bool key_available() {
  poll_keyboard();
  return !key_queue_empty();
}

KeyCode take_key() {
  poll_keyboard();
  const KeyCode code = pop_key();
  if (code != kNoKey) poll_keyboard();
  return code;
}

std::string read_key() {
  const KeyCode code = take_key();
  return code == kNoKey ? std::string() : key_text(code);
}

KeysEnd keys_end() {
  return g_keyboard.end;
}

bool wait_for_key(int timeout_ms) {
  if (g_keyboard.end != KeysEnd::kNone) return false;
  flush_all_output();
  KeySource* keys = platform().keys;
  if (keys == nullptr) return true;
  // A terminal's bytes wake the wait themselves, and so do the signals the program answers: the
  // wait has no period of its own, so an idle program costs nothing. Only an Esc (or a CR) not
  // yet known to stand alone needs the clock. Key events keep the period: the console's close
  // key is pushed from another thread, which ends no wait.
  int limit = g_keyboard.format.events ? timeout_ms : -1;
  if (g_keyboard.decoder.pending()) {
    const auto left = kEscapeWait - (std::chrono::steady_clock::now() - g_keyboard.last_byte);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    limit = static_cast<int>(std::clamp<long long>(ms, 0, kEscapeWait.count()));
  }
  keys->wait(limit);
  return true;
}

void reset_keyboard() {
  g_keyboard = Keyboard{};
  g_close_requested.store(false);
}

}  // namespace zepa
