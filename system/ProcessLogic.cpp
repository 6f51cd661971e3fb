#include "system/ProcessLogic.h"

#include "system/Utils.h"
#include "system/ZSub.h"

std::string BuildCommandLine(const std::string& program, const std::string& parameters) {
  std::string line = program;
  if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos) line = "\"" + program + "\"";
  if (!parameters.empty()) line += " " + parameters;
  return line;
}

std::string TasklistLines(const std::string& output) {
  std::string text = Trim(output);
  text = ReplaceText(text, "\"", "");
  text = ReplaceText(text, "\r\n", "|");
  return "|" + text + "|";
}

unsigned long PidFromTasklist(const std::string& output, const std::string& exeName, bool fromEnd) {
  const std::string name = ExtractFileName(exeName);
  const std::string lines = TasklistLines(output);
  const int count = SUB::CountItems(lines);
  auto pidOfLine = [&](int i) -> unsigned long {
    const std::string columns = "," + SUB::GetItem(lines, i) + ",";
    if (SUB::IndexOfItem(columns, name, -1) != 0) return 0;
    std::int64_t pid = 0;
    if (!TryParseInt64(Trim(SUB::GetItem(columns, 1)), pid) || pid <= 0 || pid > 0xFFFFFFFFLL) return 0;
    return static_cast<unsigned long>(pid);
  };
  if (fromEnd) {
    for (int i = count - 1; i >= 1; --i)
      if (unsigned long pid = pidOfLine(i)) return pid;
  } else {
    // The header's first column ("Image Name") never equals a file name with an extension.
    for (int i = 0; i < count; ++i)
      if (unsigned long pid = pidOfLine(i)) return pid;
  }
  return 0;
}

void TAnalizer::Reset(std::uint32_t processId) {
  windows_.fill(0);
  scores_.fill(0);
  count_ = 0;
  processId_ = processId;
}

void TAnalizer::Add(Window window, std::uint32_t windowProcessId) {
  if (windowProcessId != processId_ || count_ >= kMaxWindows) return;
  windows_[count_++] = window;
}

void TAnalizer::Score(const std::function<Window(Window)>& topOwner, const std::function<bool(Window)>& hasTitle,
                      const std::function<bool(Window)>& isVisible) {
  for (int i = 0; i < count_; ++i) {
    const Window top = topOwner(windows_[i]);
    for (int j = 0; j < count_; ++j)
      if (windows_[j] == top) ++scores_[j];
  }
  for (int i = 0; i < count_; ++i) {
    scores_[i] = static_cast<std::uint16_t>(scores_[i] * 4);
    if (hasTitle(windows_[i])) scores_[i] += 2;
    if (isVisible(windows_[i])) scores_[i] += 1;
  }
}

TAnalizer::Window TAnalizer::Best() const {
  Window best = 0;
  std::uint16_t bestScore = 0;
  for (int i = 0; i < count_; ++i) {
    if (scores_[i] > bestScore) {
      bestScore = scores_[i];
      best = windows_[i];
    }
  }
  return best;
}

const char* ShellTokenRefusal(bool shellElevated, unsigned long shellSession, unsigned long ownSession) {
  if (shellElevated) return "the shell runs elevated";
  if (shellSession != ownSession) return "the shell runs in another session";
  return nullptr;
}
