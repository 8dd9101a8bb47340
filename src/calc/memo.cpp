#include "calc/memo.h"

#include <string>

#include "calc/texts.h"
#include "console/print.h"
#include "sys/channels.h"

namespace zepa {

namespace {

// Windows-1252 bytes; a hex escape is closed where a hex digit follows it.
constexpr const char* kHeader[] = {
    " Programa ZEPA4-07",
    " Programa de Zepa N\xB0" "1",
    " C\xE1lculo de Setor Circular",
    " Vers\xE3o 1 de c\xE1lculo do raio, do semi arco e do \xE2ngulo Alfa, dada a semi corda e a "
    "flecha",
    " Revis\xE3o 0 de 11/5/2015",
    " Unidades: Quaisquer coerentes ou indicadas",
    " Restri\xE7\xF5" "es: A flecha n\xE3o pode ser maior que a corda",
};

}  // namespace

bool write_memo(float c, float f, const Segment& result) {
  const int ch = kMemoChannel;
  int failure = open_append(kMemoFileName, ch);
  auto note = [&](int rc) {
    if (failure == kDone) failure = rc;
  };
  auto text = [&](std::string_view line, int action) { note(print_text(ch, line, action)); };
  auto number = [&](std::string_view label, float value) {
    text(label, kEndNone);
    note(print_number(ch, value, kEndLine));
  };
  for (const char* line : kHeader) text(line, kEndLine);
  text(std::string(" ") + kPublisherAddress, kEndLine);
  text(std::string(" ") + kAuthorName, kEndLine);
  text(std::string(" ") + kAuthorTitleMemo, kEndLine);
  text(std::string(" ") + kContactAddress, kEndLine);
  text(" Caso:", kEndLine);
  text(" Data:", kEndLine);
  text(" Dados:", kEndLine);
  number("  Semi corda: c=", c);
  number("  Flecha: f=", f);
  text(" Resultados:", kEndLine);
  number("  Raio: r=", result.r);
  number("  Semi arco: a=", result.a);
  number("  \xC2ngulo: Alfa(\xB0)=", result.alfa);
  note(print_end(ch, kEndLine));
  const int closed = close_channel(ch);
  return failure == kDone && closed == kDone;
}

}  // namespace zepa
