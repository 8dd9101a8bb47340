// `make exhaustive`: every one of the 2^32 singles through the program's arctangent and its
// number text, each compared with a reference, and the count of differences and the time taken
// printed. Not part of `make test`: it takes minutes.
//
// The arctangent against the correctly rounded one. The estimate comes from the C library's
// extended-precision arctangent; where every number within 2^23 of its units in the last place
// (LDBL_EPSILON × 2^23 of the estimate, 2^-40 with a 64-bit significand) rounds to the same
// single, that single is the correctly rounded one, for the estimate's error is far below that
// (it is documented within one or two units). Only the rest, the inputs whose arctangent lies
// that near a boundary between two singles, are asked of MPFR, rounded to single with the
// single's exponent range and subnormals.
//
// The number text against the C library's "%.7g" of the single widened to double, with the
// program's own steps around it: a final point removed and one blank in front of a text that
// does not begin with "-".
//
// Both are odd: the arctangent of -x is minus that of x, so is its correct rounding, and "%.7g"
// writes a negative value as "-" and the text of its magnitude. So the references are taken for
// the 2^31 patterns with the sign bit clear, and each negative pattern is checked against its
// positive twin: the same single negated, the same text with "-" for the blank.
#include <mpfr.h>

#include <atomic>
#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "calc/arctangent.h"
#include "console/number_text.h"

namespace {

constexpr std::uint64_t kPositivePatterns = std::uint64_t{1} << 31;
constexpr std::uint64_t kSignBit = 0x80000000;
constexpr std::uint64_t kChunk = std::uint64_t{1} << 20;
constexpr int kReported = 10;  // differences printed per check

struct Tally {
  std::uint64_t arctangent_differences = 0;
  std::uint64_t arctangent_exact_calls = 0;
  std::uint64_t text_differences = 0;
};

std::mutex g_report_lock;
Tally g_total;
int g_reported_arctangent = 0;
int g_reported_text = 0;

void report_arctangent(std::uint32_t pattern, float got, float want) {
  const std::lock_guard<std::mutex> lock(g_report_lock);
  if (g_reported_arctangent++ >= kReported) return;
  std::printf("arctangent of %08X (%a): %a, not %a\n", pattern, std::bit_cast<float>(pattern),
              static_cast<double>(got), static_cast<double>(want));
}

void report_text(std::uint32_t pattern, std::string_view got, std::string_view want) {
  const std::lock_guard<std::mutex> lock(g_report_lock);
  if (g_reported_text++ >= kReported) return;
  std::printf("text of %08X: \"%.*s\", not \"%.*s\"\n", pattern, static_cast<int>(got.size()),
              got.data(), static_cast<int>(want.size()), want.data());
}

// MPFR numbers of one thread, with the single's exponent range: results below it become
// subnormal (or zero) as a single's would.
class ExactArctangent {
 public:
  ExactArctangent() {
    mpfr_set_emin(-148);
    mpfr_set_emax(128);
    mpfr_init2(in_, 24);
    mpfr_init2(out_, 24);
  }
  ExactArctangent(const ExactArctangent&) = delete;
  ExactArctangent& operator=(const ExactArctangent&) = delete;
  ~ExactArctangent() {
    mpfr_clear(in_);
    mpfr_clear(out_);
  }
  float operator()(float x) {
    mpfr_set_flt(in_, x, MPFR_RNDN);
    const int inexact = mpfr_atan(out_, in_, MPFR_RNDN);
    mpfr_subnormalize(out_, inexact, MPFR_RNDN);
    return mpfr_get_flt(out_, MPFR_RNDN);
  }

 private:
  mpfr_t in_;
  mpfr_t out_;
};

// The correctly rounded single of atan(x) for x >= 0, NaN aside.
float reference_arctangent(float x, ExactArctangent& exact, Tally& tally) {
  if (std::isinf(x)) return exact(x);
  const long double estimate = std::atan(static_cast<long double>(x));
  const long double margin = estimate * (LDBL_EPSILON * 0x1p23L);
  const auto below = static_cast<float>(estimate - margin);
  if (below == static_cast<float>(estimate + margin)) return below;
  ++tally.arctangent_exact_calls;
  return exact(x);
}

// "%.7g" of the single with the program's own steps; `out` has room for 32 bytes.
std::string_view library_text(float value, char* out) {
  const int length = std::snprintf(out + 1, 31, "%.7g", static_cast<double>(value));
  std::string_view text(out + 1, static_cast<std::size_t>(length));
  if (text.back() == '.') text.remove_suffix(1);
  if (text.front() == '-') return text;
  out[0] = ' ';
  return {out, text.size() + 1};
}

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void check_arctangent(std::uint32_t pattern, ExactArctangent& exact, Tally& tally) {
  const float x = std::bit_cast<float>(pattern);
  const float got = zepa::arctangent(x);
  const float twin = zepa::arctangent(-x);
  const float want = std::isnan(x) ? x : reference_arctangent(x, exact, tally);
  if (!same_bits(got, want)) {
    ++tally.arctangent_differences;
    report_arctangent(pattern, got, want);
  }
  if (!same_bits(twin, std::isnan(x) ? -x : -want)) {
    ++tally.arctangent_differences;
    report_arctangent(pattern | kSignBit, twin, -want);
  }
}

void check_text(std::uint32_t pattern, Tally& tally) {
  const float x = std::bit_cast<float>(pattern);
  char buffer[32];
  const std::string_view want = library_text(x, buffer);
  const zepa::SingleText got = zepa::single_text(x);
  if (got.view() != want) {
    ++tally.text_differences;
    report_text(pattern, got.view(), want);
  }
  // The negative twin: "-" where the positive text has its blank.
  const zepa::SingleText twin = zepa::single_text(-x);
  char negative[32];
  negative[0] = '-';
  std::memcpy(negative + 1, want.data() + 1, want.size() - 1);
  const std::string_view twin_want(negative, want.size());
  if (twin.view() != twin_want) {
    ++tally.text_differences;
    report_text(pattern | kSignBit, twin.view(), twin_want);
  }
}

void work(std::atomic<std::uint64_t>& next) {
  ExactArctangent exact;
  Tally tally;
  for (;;) {
    const std::uint64_t first = next.fetch_add(kChunk);
    if (first >= kPositivePatterns) break;
    for (std::uint64_t pattern = first; pattern < first + kChunk; ++pattern) {
      check_arctangent(static_cast<std::uint32_t>(pattern), exact, tally);
      check_text(static_cast<std::uint32_t>(pattern), tally);
    }
  }
  const std::lock_guard<std::mutex> lock(g_report_lock);
  g_total.arctangent_differences += tally.arctangent_differences;
  g_total.arctangent_exact_calls += tally.arctangent_exact_calls;
  g_total.text_differences += tally.text_differences;
}

}  // namespace

int main() {
  const auto start = std::chrono::steady_clock::now();
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<std::uint64_t> next{0};
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < threads; ++i) workers.emplace_back(work, std::ref(next));
  for (std::thread& worker : workers) worker.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "arctangent: %llu differences from the correctly rounded single on all 2^32 "
      "singles (%llu asked of MPFR)\n",
      static_cast<unsigned long long>(g_total.arctangent_differences),
      static_cast<unsigned long long>(g_total.arctangent_exact_calls));
  std::printf(
      "number text: %llu differences from the C library's \"%%.7g\" on all 2^32 "
      "singles\n",
      static_cast<unsigned long long>(g_total.text_differences));
  std::printf("time: %.0f s on %u threads\n", seconds, threads);
  return g_total.arctangent_differences == 0 && g_total.text_differences == 0 ? 0 : 1;
}
