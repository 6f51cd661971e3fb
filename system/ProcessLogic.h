#pragma once
// The parts of the process routines that need no operating system: command lines, the
// reading of "tasklist.exe /FO csv" output and the main-window scoring of TAnalizer.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

// program in double quotes when it contains a blank and no double quote; then a blank
// and the parameters when there are any.
std::string BuildCommandLine(const std::string& program, const std::string& parameters);

// The csv output of tasklist as a "|" list of lines: trimmed, double quotes removed, one
// item per line, the first item the column header.
std::string TasklistLines(const std::string& output);
// Process id of the first line (or, with fromEnd, the last line down to the second)
// whose first column equals the file name of exeName (trimmed, ignoring case); 0 when
// none has a positive id.
unsigned long PidFromTasklist(const std::string& output, const std::string& exeName, bool fromEnd);

// Why the shell's token is no desktop user's token to start the user's programs with;
// null when it is one. An elevated shell token would start them as administrator, and
// a shell of another session (another user's desktop, a service's) is not this user's.
const char* ShellTokenRefusal(bool shellElevated, unsigned long shellSession, unsigned long ownSession);

// Chooses the main window of one process from its top-level windows. Handles are plain
// numbers here; the window system's answers come in through the Score callbacks.
class TAnalizer {
 public:
  static constexpr int kMaxWindows = 2001;
  using Window = std::uintptr_t;

  // Clears both tables and sets the process whose windows are recorded.
  void Reset(std::uint32_t processId);
  // Records the window when it belongs to the process and the tables have room.
  void Add(Window window, std::uint32_t windowProcessId);
  // Each recorded window scores 4 for every recorded window whose top owner it is,
  // 2 for a title and 1 for being visible.
  void Score(const std::function<Window(Window)>& topOwner, const std::function<bool(Window)>& hasTitle,
             const std::function<bool(Window)>& isVisible);
  // First recorded window with the highest score; 0 when every score is 0.
  Window Best() const;

  int Count() const { return count_; }
  std::uint32_t ProcessId() const { return processId_; }
  Window WindowAt(int i) const { return windows_[i]; }
  std::uint16_t ScoreAt(int i) const { return scores_[i]; }

 private:
  std::array<Window, kMaxWindows> windows_{};
  std::array<std::uint16_t, kMaxWindows> scores_{};
  int count_ = 0;
  std::uint32_t processId_ = 0;
};
