#include "calc/memo.h"

#include <array>
#include <string>
#include <string_view>

#include "calc/line_block.h"
#include "calc/texts.h"
#include "console/console_writer.h"
#include "console/line_input.h"
#include "console/number_text.h"
#include "console/print.h"
#include "sys/channels.h"

namespace zepa {

namespace {

// Windows-1252 bytes; a hex escape is closed where a hex digit follows it.
constexpr const char* kHeader[] = {
    " Programa ZEPA4-07",
    " Programa de Zepa N\xB0"
    "1",
    " C\xE1lculo de Setor Circular",
    " Vers\xE3o 1 de c\xE1lculo do raio, do semi arco e do \xE2ngulo Alfa, dada a semi corda e a "
    "flecha",
    " Revis\xE3o 0 de 11/5/2015",
    " Unidades: Quaisquer coerentes ou indicadas",
    " Restri\xE7\xF5"
    "es: A flecha n\xE3o pode ser maior que a corda",
};

constexpr const char* kHeaderItems[] = {kPublisherAddress, kAuthorName, kAuthorTitleMemo,
                                        kContactAddress};
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCaseLabels = " Caso:\r\n Data:\r\n";

// Writes lines 1 to 14, the same in every memo, at `out`, or only counts them when `out` is
// null: their length.
constexpr std::size_t put_header(char* out) {
  std::size_t at = 0;
  auto put = [&](std::string_view text) {
    for (const char ch : text) {
      if (out != nullptr) out[at] = ch;
      ++at;
    }
  };
  for (const char* line : kHeader) {
    put(line);
    put(kLineEnd);
  }
  for (const char* item : kHeaderItems) {
    put(" ");
    put(item);
    put(kLineEnd);
  }
  put(kCaseLabels);
  put(kDataHeading);
  put(kLineEnd);
  return at;
}

constexpr std::size_t kHeaderSize = put_header(nullptr);
// Made when the program is compiled: the one copy of the header.
constexpr std::array<char, kHeaderSize> kMemoHeader = [] {
  std::array<char, kHeaderSize> bytes{};
  put_header(bytes.data());
  return bytes;
}();

// The header, five number lines, the results' heading and the closing empty line.
constexpr std::size_t kMemoRoom =
    kHeaderSize + number_lines_room(5, {kLabelC, kLabelF, kLabelR, kLabelA, kLabelAlfaMemo}) +
    std::string_view(kResultsHeading).size() + 2 + 2;
using MemoText = LineBlock<kMemoRoom>;

// Memos recorded since the last sync (a redirected run's).
bool g_unsynced = false;

// The 21 lines of one case: the data's texts made here, the results' as the console showed them.
MemoText compose_memo(float c, float f, const ResultTexts& results) {
  MemoText memo;
  memo.put({kMemoHeader.data(), kMemoHeader.size()});
  memo.number_line(kLabelC, single_text(c));
  memo.number_line(kLabelF, single_text(f));
  memo.line(kResultsHeading);
  memo.number_line(kLabelR, results.r);
  memo.number_line(kLabelA, results.a);
  memo.number_line(kLabelAlfaMemo, results.alfa);
  memo.line("");
  return memo;
}

}  // namespace

ResultTexts result_texts(const Segment& result) {
  return {single_text(result.r), single_text(result.a), single_text(result.alfa)};
}

std::string memo_text(float c, float f, const ResultTexts& results) {
  return std::string(compose_memo(c, f, results).text());
}

MemoOutcome write_memo(float c, float f, const ResultTexts& results) {
  // The 21 lines are composed whole and handed to the channel as one text: the file receives
  // the same bytes as from one print per item, at a fraction of the cost in a long batch.
  const MemoText memo = compose_memo(c, f, results);
  // The results are on the screen before the file is touched, however long that takes.
  console_flush();
  const int opened = open_append(kMemoFileName, kMemoChannel);
  const int written = print_text(kMemoChannel, memo.text(), kEndNone);
  // A typed case exists nowhere else: it is on the disk before the next question. A redirected
  // input still holds its cases, so one sync at the end does for all of them.
  const bool typed = stdin_is_console();
  const int synced = typed ? sync_channel(kMemoChannel) : kDone;
  const int closed = close_channel(kMemoChannel);
  if (opened != kDone || written != kDone || synced == kShortWrite || closed == kShortWrite) {
    return MemoOutcome::kNotRecorded;
  }
  if (synced != kDone || closed != kDone) return MemoOutcome::kUnconfirmed;
  if (!typed) g_unsynced = true;
  return MemoOutcome::kRecorded;
}

bool sync_memos() {
  if (!g_unsynced) return true;
  g_unsynced = false;
  return sync_file(kMemoFileName) == kDone;
}

void reset_memos() {
  g_unsynced = false;
}

}  // namespace zepa
