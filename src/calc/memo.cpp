#include "calc/memo.h"

#include <cstring>
#include <string>
#include <string_view>

#include "calc/texts.h"
#include "console/console_writer.h"
#include "console/number_text.h"
#include "console/print.h"
#include "sys/byte_copy.h"
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

// Lines 1 to 14 are the same in every memo: composed once.
const std::string& memo_header() {
  static const std::string header = [] {
    std::string text;
    for (const char* line : kHeader) text.append(line).append("\r\n");
    for (const char* item : {kPublisherAddress, kAuthorName, kAuthorTitleMemo, kContactAddress}) {
      text.append(" ").append(item).append("\r\n");
    }
    return text.append(" Caso:\r\n Data:\r\n").append(kDataHeading).append("\r\n");
  }();
  return header;
}

// Where memos are composed: the header (about 400 bytes) and five number lines of at most 40.
char g_memo_bytes[1024];

// The memo as it is composed: the header, then the five number lines. The bytes live in one
// buffer for the program's life, where the header is put once: each case writes only its own
// lines after it. So one memo is composed at a time, and used before the next is begun.
class MemoText {
 public:
  MemoText() {
    static const std::size_t header_size = [] {
      const std::string& header = memo_header();
      header.copy(g_memo_bytes, header.size());
      return header.size();
    }();
    length_ = header_size;
  }
  void append(std::string_view text) {
    copy_bytes(g_memo_bytes + length_, text.data(), text.size());
    length_ += text.size();
  }
  // A label followed by a number text, as a print of each writes them. The text's whole room
  // goes in one fixed-size move, of which its length is kept.
  void append_number_line(std::string_view label, const SingleText& number) {
    append(label);
    std::memcpy(g_memo_bytes + length_, number.bytes, sizeof number.bytes);
    length_ += number.view().size();
    append("\r\n");
  }
  std::string_view text() const { return {g_memo_bytes, length_}; }

 private:
  std::size_t length_ = 0;
};

// The 21 lines of one case: the data's texts made here, the results' as the console showed them.
MemoText compose_memo(float c, float f, const ResultTexts& results) {
  MemoText memo;
  memo.append_number_line(kLabelC, single_text(c));
  memo.append_number_line(kLabelF, single_text(f));
  memo.append(kResultsHeading);
  memo.append("\r\n");
  memo.append_number_line(kLabelR, results.r);
  memo.append_number_line(kLabelA, results.a);
  memo.append_number_line(kLabelAlfaMemo, results.alfa);
  memo.append("\r\n");
  return memo;
}

}  // namespace

ResultTexts result_texts(const Segment& result) {
  return {single_text(result.r), single_text(result.a), single_text(result.alfa)};
}

std::string memo_text(float c, float f, const ResultTexts& results) {
  return std::string(compose_memo(c, f, results).text());
}

bool write_memo(float c, float f, const ResultTexts& results) {
  // The 21 lines are composed whole and handed to the channel as one text: the file receives
  // the same bytes as from one print per item, at a fraction of the cost in a long batch.
  const MemoText memo = compose_memo(c, f, results);
  // The results are on the screen before the file is touched, however long that takes.
  console_flush();
  const int opened = open_append(kMemoFileName, kMemoChannel);
  const int written = print_text(kMemoChannel, memo.text(), kEndNone);
  const int closed = close_channel(kMemoChannel);
  return opened == kDone && written == kDone && closed == kDone;
}

}  // namespace zepa
