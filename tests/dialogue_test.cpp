#include "calc/dialogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "startup.h"
#include "support/memory_process.h"
#include "support/scripted_keys.h"
#include "support/temp_dir.h"
#include "sys/std_streams.h"

namespace zepa {
namespace {

const std::string kCrLf = "\r\n";

std::string tail_of_one_case() {
  return kCrLf + " Dados:" + kCrLf + " Resultados:" + kCrLf + "  Raio: r= 5" + kCrLf +
         "  Semi arco: a= 3.217506" + kCrLf + "  Angulo: Alfa(grau)= 36.86981" + kCrLf + kCrLf +
         kCrLf;
}

class DialogueTest : public ::testing::Test {
 protected:
  testing::RedirectedPlatform platform_;
  testing::TempDir dir_;
};

TEST_F(DialogueTest, RedirectedRunShowsNoPromptsAndRecordsTheCase) {
  platform_.process.input = "\r\n3\r\n1\r\nn\r\n";
  EXPECT_EQ(run_dialogue(), 0);
  flush_all_output();
  const std::string& out = platform_.process.output;
  // The first screen: 14 banner lines of 74 bytes, notes, then the case with no prompts.
  EXPECT_EQ(out.substr(0, 76), std::string(74, '*') + kCrLf);
  EXPECT_NE(out.find("* Restricoes: A flecha n\xE3o pode ser maior que a corda"), std::string::npos);
  ASSERT_GE(out.size(), tail_of_one_case().size());
  EXPECT_EQ(out.substr(out.size() - tail_of_one_case().size()), tail_of_one_case());
  EXPECT_EQ(out.find('?'), std::string::npos);
  EXPECT_TRUE(platform_.process.commands.empty());
  const std::string memo = dir_.read("mc-zepa4-07.txt");
  EXPECT_EQ(memo.substr(0, 20), " Programa ZEPA4-07\r\n");
  EXPECT_NE(memo.find("  \xC2ngulo: Alfa(\xB0)= 36.86981\r\n\r\n"), std::string::npos);
}

TEST_F(DialogueTest, HelpAnswerOpensTheInstalledPageElseTheWebPage) {
  // The installed copy, opened once; a success says nothing.
  platform_.process.input = "a\n3\n1\nc\n3\n1\nn\n";
  platform_.process.installed_page = "/opt/z/ajuda-zepa4-07.html";
  EXPECT_EQ(run_dialogue(), 0);
  EXPECT_EQ(platform_.process.commands, std::vector<std::string>{"open /opt/z/ajuda-zepa4-07.html"});
  EXPECT_EQ(platform_.process.errors, "");
  // No installed copy: the web address.
  platform_.process.installed_page.clear();
  platform_.process.commands.clear();
  platform_.process.input = "A\n3\n1\nn\n";
  platform_.process.input_position = 0;
  reset_runtime_state();
  EXPECT_EQ(run_dialogue(), 0);
  EXPECT_EQ(platform_.process.commands,
            std::vector<std::string>{"browse http://www.zepa.example/ajuda-zepa4-07.php"});
}

TEST_F(DialogueTest, HelpPageThatCannotBeOpenedIsSaidWithItsPlace) {
  // A failing opener (127: not found) is said once on standard error, with the page's path;
  // the dialogue goes on and its output is unchanged.
  platform_.process.input = "a\n3\n1\nn\n";
  platform_.process.installed_page = "/opt/z/ajuda-zepa4-07.html";
  platform_.process.command_status = 127;
  EXPECT_EQ(run_dialogue(), 0);
  flush_all_output();
  EXPECT_EQ(platform_.process.errors,
            " Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em "
            "/opt/z/ajuda-zepa4-07.html\n");
  EXPECT_EQ(platform_.process.output.find("Aviso"), std::string::npos);
  EXPECT_NE(platform_.process.output.find("  Semi arco: a= 3.217506\r\n"), std::string::npos);
  // Without an installed copy the web address is the place given.
  platform_.process.installed_page.clear();
  platform_.process.errors.clear();
  platform_.process.command_status = -1;
  platform_.process.input_position = 0;
  reset_runtime_state();
  EXPECT_EQ(run_dialogue(), 0);
  EXPECT_EQ(platform_.process.errors,
            " Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em "
            "http://www.zepa.example/ajuda-zepa4-07.php\n");
}

TEST_F(DialogueTest, MemoThatCannotBeOpenedIsReportedOnStandardError) {
  std::filesystem::create_directory("mc-zepa4-07.txt");
  platform_.process.input = "\n3\n1\nn\n";
  EXPECT_EQ(run_dialogue(), 0);
  EXPECT_EQ(platform_.process.errors,
            " Aviso: o memorial deste caso nao foi gravado em mc-zepa4-07.txt\n");
  EXPECT_EQ(platform_.process.output.find("Aviso"), std::string::npos);
}

// A console screen that keeps what it showed at its last flush, and a memo file that notes
// what the screen showed when it was opened.
class FlushedScreen : public testing::MemoryScreen {
 public:
  FlushedScreen() : MemoryScreen(80, 25) {}
  void flush() override { shown = window(); }
  std::vector<std::string> shown;
};

class NotingFiles : public Files {
 public:
  explicit NotingFiles(const FlushedScreen& screen) : screen_(screen) {}
  FileHandle open_append(const char*) override {
    shown_at_open = screen_.shown;
    return kNoFile;  // then the memo is given up: the warning follows the results
  }
  bool lock(FileHandle) override { return true; }
  std::int64_t end_position(FileHandle) override { return -1; }
  bool reserve(FileHandle, std::int64_t, std::size_t) override { return true; }
  long append(FileHandle, const unsigned char*, std::size_t) override { return -1; }
  bool cut_back(FileHandle, std::int64_t, std::int64_t) override { return false; }
  bool close(FileHandle) override { return true; }
  std::vector<std::string> shown_at_open;

 private:
  const FlushedScreen& screen_;
};

TEST(DialogueAtAConsole, ResultsAreOnTheScreenBeforeTheMemoIsOpened) {
  testing::ConsoleRig rig(80, 25);
  FlushedScreen screen;
  NotingFiles files(screen);
  platform().screen = &screen;
  platform().files = &files;
  rig.keys.press(kKeyEnter).type("3").press(kKeyEnter).type("1").press(kKeyEnter);
  rig.keys.type("n").press(kKeyEnter);
  EXPECT_EQ(run_dialogue(), 0);
  platform().files = nullptr;
  std::string shown;
  for (const std::string& row : files.shown_at_open) shown += row + "|";
  EXPECT_NE(shown.find("  Angulo: Alfa(grau)= 36.86981"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Aviso"), std::string::npos);
  EXPECT_EQ(rig.process.output, "");
}

}  // namespace
}  // namespace zepa
