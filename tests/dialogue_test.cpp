#include "calc/dialogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/memory_files.h"
#include "support/memory_process.h"
#include "support/scripted_keys.h"
#include "support/temp_dir.h"
#include "sys/std_streams.h"

namespace zepa {
namespace {

// The 21 lines of one case's memo, in Windows-1252.
std::string memo(const std::string& c, const std::string& f, const std::string& r,
                 const std::string& a, const std::string& alfa) {
  return " Programa ZEPA4-07\r\n Programa de Zepa N\xB0"
         "1\r\n C\xE1lculo de Setor Circular\r\n Vers\xE3o 1 de c\xE1lculo do raio, do semi arco e "
         "do \xE2ngulo Alfa, dada a semi corda e a flecha\r\n Revis\xE3o 0 de 11/5/2015\r\n "
         "Unidades: Quaisquer coerentes ou indicadas\r\n Restri\xE7\xF5"
         "es: A flecha n\xE3o pode ser maior que a corda\r\n www.zepa.example\r\n Marta Zepa "
         "Lins\r\n Engenheira Civil, Mestre em C\xE1lculo Estrutural\r\n contato@zepa.example\r\n"
         " Caso:\r\n Data:\r\n Dados:\r\n  Semi corda: c=" +
         c + "\r\n  Flecha: f=" + f + "\r\n Resultados:\r\n  Raio: r=" + r +
         "\r\n  Semi arco: a=" + a + "\r\n  \xC2ngulo: Alfa(\xB0)=" + alfa + "\r\n\r\n";
}

class DialogueTest : public ::testing::Test {
 protected:
  testing::RedirectedPlatform platform_;
  testing::TempDir dir_;
};

TEST_F(DialogueTest, EachComputedCaseIsAppendedWholeAndARefusedPairNot) {
  dir_.write("mc-zepa4-07.txt", "before");
  platform_.process.input = "\r\n3\r\n1\r\nc\r\n1\r\n3\r\n4\r\n2\r\nn\r\n";
  EXPECT_EQ(run_dialogue(), 0);
  EXPECT_EQ(dir_.read("mc-zepa4-07.txt"), "before" +
                                              memo(" 3", " 1", " 5", " 3.217506", " 36.86981") +
                                              memo(" 4", " 2", " 5", " 4.636476", " 53.12997"));
  EXPECT_EQ(platform_.process.errors, "");
}

// What became of each memo of a redirected run is said on standard error, and the dialogue
// goes on; the memos recorded are synced once, at the end.
TEST(DialogueMemo, EachMemoNotSurelyRecordedIsSaidOnStandardError) {
  const std::string file = " em mc-zepa4-07.txt\n";
  const std::string lost = " Aviso: o memorial deste caso nao foi gravado" + file;
  const std::string unsure = " Aviso: o memorial deste caso pode nao ter sido gravado" + file;
  struct Case {
    const char* what;
    void (*fault)(testing::MemoryFiles&);
    std::string errors;  // for the run's two cases
    int syncs;
  };
  const Case cases[] = {
      {"both recorded", [](testing::MemoryFiles&) {}, "", 1},
      {"the file cannot be opened", [](testing::MemoryFiles& f) { f.openable = false; },
       lost + lost, 0},
      {"the disk takes only part of one", [](testing::MemoryFiles& f) { f.room = 100; },
       lost + lost, 0},
      {"it is standard output's file", [](testing::MemoryFiles& f) { f.is_output = true; },
       lost + lost, 0},
      {"its close fails after taking every byte",
       [](testing::MemoryFiles& f) { f.close_fails = true; }, unsure + unsure, 0},
      {"the sync at the end fails", [](testing::MemoryFiles& f) { f.sync_fails = true; },
       " Aviso: os memoriais desta execucao podem nao ter sido gravados" + file, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::RedirectedPlatform redirected;
    testing::MemoryFiles files;
    c.fault(files);
    redirected.process.input = "\n3\n1\nc\n3\n1\nn\n";
    platform().files = &files;
    EXPECT_EQ(run_dialogue(), 0);
    platform().files = nullptr;
    EXPECT_EQ(redirected.process.errors, c.errors);
    EXPECT_EQ(files.syncs, c.syncs);
    EXPECT_EQ(redirected.process.output.find("Aviso"), std::string::npos);
  }
}

TEST(DialogueHelp, TheAnswerOpensTheInstalledPageElseTheWebPage) {
  const std::string page = "/opt/z/ajuda-zepa4-07.html";
  const std::string web = "http://www.zepa.example/ajuda-zepa4-07.php";
  const std::string not_opened = " Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em ";
  struct Case {
    const char* what;
    std::string input;
    std::string installed;
    int status;  // the opener's
    std::vector<std::string> commands;
    std::string errors;
  };
  const Case cases[] = {
      // clang-format off
      {"the installed copy, opened once in a run of two cases; a success says nothing",
       "a\n3\n1\nc\n3\n1\nn\n", page, 0, {"open " + page}, ""},
      {"no installed copy: the web address", "A\n3\n1\nn\n", "", 0, {"browse " + web}, ""},
      {"an opener that fails (127: not found) is said on standard error, with the page's path",
       "a\n3\n1\nn\n", page, 127, {"open " + page}, not_opened + page + "\n"},
      {"without an installed copy the web address is the place given", "a\n3\n1\nn\n", "", -1,
       {"browse " + web}, not_opened + web + "\n"},
      {"an answer that only begins with the letter opens nothing", "ajuda\n3\n1\nn\n", page, 0,
       {}, ""},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::RedirectedPlatform platform;
    testing::TempDir dir;
    platform.process.input = c.input;
    platform.process.installed_page = c.installed;
    platform.process.command_status = c.status;
    EXPECT_EQ(run_dialogue(), 0);
    flush_all_output();
    EXPECT_EQ(platform.process.commands, c.commands);
    EXPECT_EQ(platform.process.errors, c.errors);
    // The dialogue goes on, its output unchanged.
    EXPECT_EQ(platform.process.output.find("Aviso"), std::string::npos);
    EXPECT_NE(platform.process.output.find("  Semi arco: a= 3.217506\r\n"), std::string::npos);
  }
}

// A console screen that keeps what it showed at its last flush.
class FlushedScreen : public testing::MemoryScreen {
 public:
  FlushedScreen() : MemoryScreen(80, 25) {}
  void flush() override { shown = window(); }
  std::vector<std::string> shown;
};

TEST(DialogueAtAConsole, ResultsAreOnTheScreenBeforeTheMemoIsOpened) {
  testing::ConsoleRig rig(80, 25);
  FlushedScreen screen;
  testing::MemoryFiles files;
  std::string shown;  // at the memo file's open, which fails: the warning follows the results
  files.at_open = [&] {
    for (const std::string& row : screen.shown) shown += row + "|";
  };
  files.openable = false;
  platform().screen = &screen;
  platform().files = &files;
  rig.keys.type("\r3\r1\rn\r");
  EXPECT_EQ(run_dialogue(), 0);
  platform().files = nullptr;
  EXPECT_NE(shown.find("  Angulo: Alfa(grau)= 36.86981"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Aviso"), std::string::npos);
  EXPECT_EQ(rig.process.output, "");
}

// A case typed at a console exists nowhere else: it is on the disk before the next question.
TEST(DialogueAtAConsole, ATypedMemoIsSyncedBeforeTheNextQuestion) {
  testing::ConsoleRig rig(80, 25);
  testing::MemoryFiles files;
  platform().files = &files;
  int synced_at_question = -1;
  rig.keys.type("\r3\r1\r").pause([&] { synced_at_question = files.syncs; }).type("n\r");
  EXPECT_EQ(run_dialogue(), 0);
  platform().files = nullptr;
  EXPECT_EQ((std::pair{synced_at_question, files.syncs}), (std::pair{1, 1}));
  EXPECT_EQ(files.content.size(), memo(" 3", " 1", " 5", " 3.217506", " 36.86981").size());
}

// A number typed with a decimal comma is refused in one line and its prompt asks again, the
// sagitta's alone when it was the sagitta's; nothing of the refused lines is computed or
// recorded.
TEST(DialogueAtAConsole, ADecimalCommaIsRefusedAndTheSamePromptAsksAgain) {
  testing::ConsoleRig rig(80, 40);
  testing::MemoryFiles files;
  platform().files = &files;
  rig.keys.type("\r2,5\r3\r0,8\r1\rn\r");
  EXPECT_EQ(run_dialogue(), 0);
  platform().files = nullptr;
  std::vector<std::string> rows;
  for (std::string row : rig.screen.window()) {
    row.erase(row.find_last_not_of(' ') + 1);
    rows.push_back(row);
  }
  const std::string warning = " Aviso: use ponto decimal: 2.5, nao 2,5";
  // clang-format off
  const std::vector<std::string> expected = {
      " Dados:", "  Semi corda: c=? 2,5", warning, "  Semi corda: c=? 3",
      "  Flecha: f=? 0,8", warning, "  Flecha: f=? 1", " Resultados:"};
  // clang-format on
  const auto at = std::find(rows.begin(), rows.end(), " Dados:");
  ASSERT_LE(expected.size(), static_cast<std::size_t>(rows.end() - at));
  EXPECT_EQ(std::vector<std::string>(at, at + static_cast<std::ptrdiff_t>(expected.size())),
            expected);
  EXPECT_EQ(files.content, memo(" 3", " 1", " 5", " 3.217506", " 36.86981"));
}

// A terminal that hangs up while c is typed ends the program there, by the hang-up: the
// sagitta is never asked for.
TEST(DialogueAtAConsole, AHangUpEndsTheProgramAtTheLineItCutShort) {
  testing::ConsoleRig rig(80, 25);
  rig.keys.type("\r12").hang_up = true;
  EXPECT_THROW(run_dialogue(), testing::MemoryProcess::HungUp);
  for (const std::string& row : rig.screen.window()) {
    EXPECT_EQ(row.find("Flecha"), std::string::npos) << row;
  }
}

}  // namespace
}  // namespace zepa
