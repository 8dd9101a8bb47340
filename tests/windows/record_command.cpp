// Stands in for the command processor in the Windows tests (COMSPEC names it): appends the
// command line it was started with to command.log in the current directory and succeeds.
#include <windows.h>

#include <cstdio>

int main() {
  std::FILE* log = std::fopen("command.log", "ab");
  if (log == nullptr) return 1;
  std::fprintf(log, "%s\n", GetCommandLineA());
  return std::fclose(log) == 0 ? 0 : 1;
}
