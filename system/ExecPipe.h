#pragma once
// Running a console program with its output captured through pipes.
#include <windows.h>

#include <string>

#include "system/ProcessLogic.h"  // BuildCommandLine

constexpr DWORD kPipeReadLimit = 30000;
constexpr DWORD kRunConsoleStartFailed = 21;
constexpr std::size_t kMaxCommandLine = 32766;

// Runs program with parameters at idle priority, collecting its standard output and
// error (OEM text converted to ANSI) while polling, then pumps messages for finalWaitMs.
// A child that cannot be started gives exit code 21 and the reason in errors. True when
// the exit code is 0.
bool RunConsole(const std::string& program, const std::string& parameters, int showWindow, int finalWaitMs,
                std::string& errors, std::string& output, DWORD& exitCode);

// Appends up to 30000 waiting bytes of pipe to text without blocking. True when more
// bytes were waiting than were read.
bool ReadPipe(HANDLE pipe, std::string& text);
