// Gives a program its standard input through a Windows pipe, as a Windows parent does: under
// wine a pipe from outside is a host pipe, whose end reads as 0 bytes, while the end of this
// one is ERROR_BROKEN_PIPE. Usage: pipe_input.exe PROGRAM < input; its status is the program's.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 125;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return 125;
  SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = read_end;
  start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command = std::string("\"") + argv[1] + "\"";
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &child)) {
    return 125;
  }
  CloseHandle(read_end);
  char buffer[4096];
  DWORD got = 0;
  DWORD put = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got > 0 && WriteFile(write_end, buffer, got, &put, nullptr)) {
  }
  CloseHandle(write_end);  // the program's next read fails with ERROR_BROKEN_PIPE
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 125;
  GetExitCodeProcess(child.hProcess, &status);
  return static_cast<int>(status);
}
