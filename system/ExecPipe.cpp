#include "system/ExecPipe.h"

#include <vector>

#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/Pump.h"

bool ReadPipe(HANDLE pipe, std::string& text) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
  std::vector<char> buffer(std::min(available, kPipeReadLimit) + 1, 0);
  DWORD read = 0;
  if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size() - 1), &read, nullptr)) return false;
  OemToCharBuffA(buffer.data(), buffer.data(), read);
  text.append(buffer.data(), read);
  return available > read;
}

bool RunConsole(const std::string& program, const std::string& parameters, int showWindow, int finalWaitMs,
                std::string& errors, std::string& output, DWORD& exitCode) {
  errors.clear();
  output.clear();
  exitCode = kRunConsoleStartFailed;
  const std::string commandLine = BuildCommandLine(program, parameters);

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle inRead, inWrite, outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(inRead.receive(), inWrite.receive(), &inherit, 0) ||
      !CreatePipe(outRead.receive(), outWrite.receive(), &inherit, 0) ||
      !CreatePipe(errRead.receive(), errWrite.receive(), &inherit, 0)) {
    errors = commandLine.substr(0, 256) + " --- " + LastErrorText();
    return false;
  }
  // The child needs only its own ends.
  SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

  if (commandLine.size() > kMaxCommandLine) {
    errors = "Command line is too long";
    return false;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;
  startup.wShowWindow = static_cast<WORD>(showWindow);
  startup.hStdInput = inRead.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &info)) {
    errors = commandLine.substr(0, 256) + " --- " + LastErrorText();
    return false;
  }
  UniqueHandle process(info.hProcess), thread(info.hThread);

  DWORD slice = 100;
  bool running = true, moreOut = false, moreErr = false;
  do {
    if (!output.empty() && slice > 10) slice -= 10;
    // The wait decides whether the child still runs: an exit code of 259 is not a sign.
    running = WaitForSingleObject(process.get(), slice) == WAIT_TIMEOUT;
    moreOut = ReadPipe(outRead.get(), output);
    moreErr = ReadPipe(errRead.get(), errors);
    GetExitCodeProcess(process.get(), &exitCode);
  } while (running || moreOut || moreErr);

  YieldWait(0, finalWaitMs);
  ReadPipe(outRead.get(), output);
  ReadPipe(errRead.get(), errors);
  return exitCode == 0;
}
