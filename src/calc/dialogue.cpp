#include "calc/dialogue.h"

#include <cstring>
#include <string>
#include <string_view>

#include "calc/line_block.h"
#include "calc/memo.h"
#include "calc/segment.h"
#include "calc/texts.h"
#include "console/console_writer.h"
#include "console/item_parser.h"
#include "console/line_input.h"
#include "console/number_text.h"
#include "console/print.h"
#include "sys/command.h"
#include "sys/lifecycle.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

constexpr int kBannerWidth = 74;
constexpr int kBannerTextWidth = 71;

constexpr const char* kBannerTexts[] = {
    "Programa ZEPA4-07",
    "Programa de Zepa No1",
    "Calculo de Setor Circular",
    "Versao: 1 de calculo de raio, arco e angulo, dada a corda e a flecha",
    "Revisao: 0 de 11/5/2015",
    "",
    "Unidades: Quaisquer coerentes ou indicadas",
    "Restricoes: A flecha n\xE3o pode ser maior que a corda",
    kPublisherAddress,
    kAuthorName,
    kAuthorTitleBanner,
    kContactAddress,
};

constexpr const char* kNotes[] = {
    " Obs:",
    " 1)Tecle Ctrl+C para fechar o programa a qualquer tempo.",
    " 2)Clique no icone do lado esquerdo da barra superior do console",
    "   para configurar a fonte, o tamanho e as cores da tela.",
    " 3)Abra o arquivo Esquema.png para visualizar o setor circular e as",
    "   notacoes, ou tecle A ou a na proxima pergunta do programa para abrir",
    "   a pagina de ajuna na web.",
};

constexpr const char* kHelpQuestion =
    " Tecle A ou a para ir a pagina de ajuda ou qualquer para continuar";
constexpr const char* kContinueQuestion =
    " Informe se para (qualquer caractere) ou continua calculando (C ou c):";

void print_line(std::string_view text) {
  print_text(0, text, kEndLine);
}

void show_banner_and_notes() {
  const std::string stars(kBannerWidth, '*');
  print_line(stars);
  for (const char* text : kBannerTexts) {
    std::string line = "* ";
    line += text;
    line.resize(2 + kBannerTextWidth, ' ');
    line += '*';
    print_line(line);
  }
  print_line(stars);
  print_end(0, kEndLine);
  for (const char* note : kNotes) print_line(note);
  print_end(0, kEndLine);
}

bool is_letter_answer(const std::string& answer, char upper, char lower) {
  return answer.size() == 1 && (answer[0] == upper || answer[0] == lower);
}

// A warning is one line; a redirected output keeps only the dialogue's own bytes, so the
// warning goes to standard error there.
void warn(std::string_view text) {
  if (console_is_degenerate()) {
    stderr_write_line(text);
  } else {
    print_line(text);
  }
}

// The memos of a redirected run reach the disk before the program ends.
void end_recording() {
  if (!sync_memos()) warn(kMemosUnconfirmed);
}

// Input that can give no more replies ends the program at the item it cut short, before
// anything of the case is computed or recorded: a terminal that hung up by the hang-up, as the
// terminal's own end would; a read that failed (at a console, or of a redirected input, whose
// bytes so far may be part of an item) with status 1 and a line on standard error.
void end_if_input_lost() {
  const InputLoss loss = input_line().loss;
  if (loss == InputLoss::kHungUp) end_program_hung_up();
  if (loss == InputLoss::kNone && !stdin_failed()) return;
  if (loss == InputLoss::kFailed) print_end(0, kEndLine);  // the prompt's row is left as typed
  end_recording();
  flush_all_output();
  stderr_write_line(kInputFailed);
  end_program(1);
}

// A typed number with a decimal comma would read as its whole part, a value the user did not
// mean: it is refused with one line, and the same prompt asks again. A line that input lost
// is not looked at: the item's own check ends the program there.
float ask_number(const char* prompt) {
  for (;;) {
    read_line(prompt, QuestionMark::kYes, LineEndAfter::kYes);
    if (input_line().loss != InputLoss::kNone || !typed_decimal_comma()) break;
    warn(kDecimalComma);
  }
  float value = 0;
  input_single(value);
  end_if_input_lost();
  return value;
}

std::string ask_text(const char* prompt) {
  std::string answer;
  read_line(prompt, QuestionMark::kYes, LineEndAfter::kYes);
  input_text(answer);
  end_if_input_lost();
  return answer;
}

// The results block: its heading and three result lines, printed as one text.
void show_results(const ResultTexts& results) {
  LineBlock<std::string_view(kResultsHeading).size() + 2 +
            number_lines_room(3, {kLabelR, kLabelA, kLabelAlfaConsole})>
      block;
  block.line(kResultsHeading);
  block.number_line(kLabelR, results.r);
  block.number_line(kLabelA, results.a);
  block.number_line(kLabelAlfaConsole, results.alfa);
  print_text(0, block.text(), kEndNone);
}

// The copy of the help page installed with the program, or the web page when there is none.
// An opener that is missing or fails is said, with the place of the page, so that the user
// can open it by hand.
void open_help_page() {
  const std::string page = installed_file(kHelpPageName);
  const std::string url = std::string("http://") + kHelpHost + kHelpPath;
  const int status = page.empty() ? open_web_page(url) : open_file(page);
  if (status != 0) {
    warn(std::string(kHelpNotOpened) + (page.empty() ? url : page));
  }
}

void record_memo(float c, float f, const ResultTexts& results) {
  switch (write_memo(c, f, results)) {
    case MemoOutcome::kRecorded:
      return;
    case MemoOutcome::kNotRecorded:
      warn(kMemoWarning);
      return;
    case MemoOutcome::kUnconfirmed:
      warn(kMemoUnconfirmed);
      return;
  }
}

}  // namespace

int run_dialogue() {
  clear_screen(kClearDefault);
  show_banner_and_notes();
  const std::string help = ask_text(kHelpQuestion);
  if (is_letter_answer(help, 'A', 'a')) open_help_page();
  std::string answer;
  do {
    float c = 0;
    float f = 0;
    for (;;) {
      print_end(0, kEndLine);
      print_line(kDataHeading);
      c = ask_number(kLabelC);
      f = ask_number(kLabelF);
      if (sagitta_accepted(c, f)) break;
      print_end(0, kEndLine);
      print_line(kRefusal);
      print_end(0, kEndLine);
    }
    const ResultTexts results = result_texts(compute_segment(c, f));
    show_results(results);
    record_memo(c, f, results);
    print_end(0, kEndLine);
    answer = ask_text(kContinueQuestion);
  } while (is_letter_answer(answer, 'C', 'c'));
  print_end(0, kEndLine);
  end_recording();
  return 0;
}

}  // namespace zepa
