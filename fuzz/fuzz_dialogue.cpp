// The whole dialogue over arbitrary input: redirected standard input bytes, or (when the first
// byte is 0xC5) a terminal's bytes typed at an in-memory 80 x 25 console, through the key
// decoder. It always ends with code 0, reads standard input no further than
// its end, and writes a whole number of 21-line memos. Runs in a scratch directory; the memo is
// removed before each input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "calc/dialogue.h"
#include "support/memory_process.h"
#include "support/scripted_keys.h"

namespace {

constexpr const char* kMemoFile = "mc-zepa4-07.txt";

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "dialogue rule broken: %s\n", what);
  std::abort();
}

std::size_t memo_lines() {
  std::ifstream in(kMemoFile, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t lines = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    lines += bytes[i] == '\r' && bytes[i + 1] == '\n';
  return lines;
}

void run_at_console(const std::uint8_t* data, std::size_t size) {
  zepa::testing::ConsoleRig rig(80, 25);
  rig.keys.type(std::string_view(reinterpret_cast<const char*>(data), size));
  rig.keys.expect_end = true;
  check(zepa::run_dialogue() == 0, "exit code not 0");
  check(memo_lines() % 21 == 0, "memo not made of whole 21-line cases");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char scratch[] = "/tmp/zepa-fuzz-dialogue-XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) std::abort();
  std::atexit([] { std::filesystem::remove_all(scratch); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::filesystem::remove(kMemoFile);
  if (size > 0 && data[0] == 0xC5) {
    run_at_console(data + 1, size - 1);
    return 0;
  }
  zepa::testing::RedirectedPlatform platform;
  platform.process.input.assign(reinterpret_cast<const char*>(data), size);
  platform.process.read_chunk = 1 + size % 5;
  check(zepa::run_dialogue() == 0, "exit code not 0");
  check(platform.process.input_position <= size, "read past the input");
  check(memo_lines() % 21 == 0, "memo not made of whole 21-line cases");
  check(platform.process.errors.empty(), "something on standard error");
  return 0;
}
