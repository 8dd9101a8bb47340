// The terminal's key decoder over arbitrary bytes. The first byte chooses the erase character,
// UTF-8 or single bytes, and where the rest is split into feeds. Checks: every code is a byte
// or an extended key (number * 256 + 255), the split changes nothing, and after timeout()
// nothing is pending.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "console/key_decoder.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "key decoder rule broken: %s\n", what);
  std::abort();
}

std::vector<zepa::KeyCode> decode(bool utf8, unsigned char erase, const std::uint8_t* bytes,
                                  std::size_t size, std::size_t chunk) {
  zepa::KeyDecoder decoder(erase, utf8);
  std::vector<zepa::KeyCode> codes;
  for (std::size_t at = 0; at < size; at += chunk) {
    decoder.feed(bytes + at, std::min(chunk, size - at), codes);
  }
  if (decoder.pending()) {
    const zepa::KeyCode code = decoder.timeout();
    if (code != zepa::kNoKey) codes.push_back(code);
  }
  check(!decoder.pending(), "pending after the timeout");
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool utf8 = data[0] & 1;
  const unsigned char erase = (data[0] & 2) ? 127 : 8;
  const std::size_t chunk = 1 + (data[0] >> 2);
  const std::vector<zepa::KeyCode> whole = decode(utf8, erase, data + 1, size - 1, size);
  for (const zepa::KeyCode code : whole) {
    check((code >= 0 && code <= 255) || (code > 255 && (code & 0xFF) == 0xFF && code <= 0xFFFF),
          "not a key code");
  }
  check(decode(utf8, erase, data + 1, size - 1, chunk) == whole, "the split changed the codes");
  return 0;
}
