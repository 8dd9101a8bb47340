// The floor of the batch benchmark: only the input and output that no implementation of the
// calculator can avoid for the same redirected input, with a memo that is whole or absent and
// on the disk. It reads standard input through a 64 KiB buffer, counts the lines, and for every
// case (three lines after the first: c, f and the answer) writes fixed result lines to standard
// output and records a fixed 21-line memo in "mc-zepa4-07.txt" as a careful writer must: open
// it for appending, lock it against other writers, hold the signals, read its end and its
// identity (it may not be standard output's file), check the file-size limit, reserve the
// bytes, append them in one write, close it and release the signals: nine system calls a case.
// At the end the memo file is opened again and synced once (fdatasync): the input still holds
// every case. With --sync-each every memo is synced before its close instead, as a typed case
// is. No parsing, no arithmetic, no number text.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kFirstScreen[] =
    "**************************************************************************\r\n"
    "* Programa ZEPA4-07                                                      *\r\n"
    "* Programa de Zepa No1                                                   *\r\n"
    "* Calculo de Setor Circular                                              *\r\n"
    "* Versao: 1 de calculo de raio, arco e angulo, dada a corda e a flecha   *\r\n"
    "* Revisao: 0 de 11/5/2015                                                *\r\n"
    "*                                                                        *\r\n"
    "* Unidades: Quaisquer coerentes ou indicadas                             *\r\n"
    "* Restricoes: A flecha n\xE3o pode ser maior que a corda                   *\r\n"
    "* www.zepa.example                                                       *\r\n"
    "* Marta Zepa Lins                                                        *\r\n"
    "* Engenheira Civil, Mestre em Calculo Estrutural                         *\r\n"
    "* contato@zepa.example                                                   *\r\n"
    "**************************************************************************\r\n"
    "\r\n"
    " Obs:\r\n"
    " 1)Tecle Ctrl+C para fechar o programa a qualquer tempo.\r\n"
    " 2)Clique no icone do lado esquerdo da barra superior do console\r\n"
    "   para configurar a fonte, o tamanho e as cores da tela.\r\n"
    " 3)Abra o arquivo Esquema.png para visualizar o setor circular e as\r\n"
    "   notacoes, ou tecle A ou a na proxima pergunta do programa para abrir\r\n"
    "   a pagina de ajuna na web.\r\n"
    "\r\n";

constexpr char kCase[] =
    "\r\n Dados:\r\n Resultados:\r\n  Raio: r= 5\r\n  Semi arco: a= 3.217506\r\n"
    "  Angulo: Alfa(grau)= 36.86981\r\n\r\n";

constexpr char kMemo[] =
    " Programa ZEPA4-07\r\n Programa de Zepa N\xB0"
    "1\r\n C\xE1lculo de Setor Circular\r\n"
    " Vers\xE3o 1 de c\xE1lculo do raio, do semi arco e do \xE2ngulo Alfa, dada a semi corda e "
    "a flecha\r\n"
    " Revis\xE3o 0 de 11/5/2015\r\n Unidades: Quaisquer coerentes ou indicadas\r\n"
    " Restri\xE7\xF5"
    "es: A flecha n\xE3o pode ser maior que a corda\r\n www.zepa.example\r\n"
    " Marta Zepa Lins\r\n Engenheira Civil, Mestre em C\xE1lculo Estrutural\r\n"
    " contato@zepa.example\r\n Caso:\r\n Data:\r\n Dados:\r\n  Semi corda: c= 3\r\n"
    "  Flecha: f= 1\r\n Resultados:\r\n  Raio: r= 5\r\n  Semi arco: a= 3.217506\r\n"
    "  \xC2ngulo: Alfa(\xB0)= 36.86981\r\n\r\n";

struct stat g_output;
bool g_sync_each = false;

void append_memo() {
  const int memo =
      open("mc-zepa4-07.txt", O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (memo < 0) return;
  if (flock(memo, LOCK_EX) != 0) {
    close(memo);
    return;
  }
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  struct stat info;
  struct rlimit limit;
  if (fstat(memo, &info) == 0 &&
      !(info.st_dev == g_output.st_dev && info.st_ino == g_output.st_ino) &&
      getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
      fallocate(memo, FALLOC_FL_KEEP_SIZE, info.st_size, sizeof kMemo - 1) == 0) {
    const ssize_t written = write(memo, kMemo, sizeof kMemo - 1);
    if (written > 0 && g_sync_each) fdatasync(memo);
  }
  close(memo);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void sync_memos() {
  const int memo = open("mc-zepa4-07.txt", O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
  if (memo < 0) return;
  fdatasync(memo);
  close(memo);
}

}  // namespace

int main(int argc, char** argv) {
  static unsigned char input[64 * 1024];
  g_sync_each = argc > 1 && std::strcmp(argv[1], "--sync-each") == 0;
  fstat(STDOUT_FILENO, &g_output);
  std::fwrite(kFirstScreen, 1, sizeof kFirstScreen - 1, stdout);
  long lines = 0;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, input, sizeof input);
    if (n <= 0) break;
    for (const unsigned char* p = input;
         (p = static_cast<const unsigned char*>(std::memchr(p, '\n', input + n - p))) != nullptr;
         ++p) {
      // Line 1 answers the help question; lines 2, 3, 4 are c, f and the answer of one case.
      if (++lines > 1 && (lines - 1) % 3 == 0) {
        std::fwrite(kCase, 1, sizeof kCase - 1, stdout);
        append_memo();
      }
    }
  }
  std::fflush(stdout);
  if (!g_sync_each) sync_memos();
  return 0;
}
