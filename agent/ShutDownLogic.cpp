#include "agent/ShutDownLogic.h"

#include "agent/SetupRecordsLogic.h"
#include "package/UnPackLogic.h"
#include "system/Utils.h"

namespace {

struct ShutDownLogicState {
  bool stopRequested = false;
};
ShutDownLogicState state;

std::string FoldedAZ(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

bool IsDriveLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

// "X:\dir..." or "\\server\share\dir...": the length of the root ("X:\" or
// "\\server\share\"), 0 when the path is not absolute in one of these forms.
std::size_t RootLength(const std::string& path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
  if (path.size() < 5 || path.compare(0, 2, "\\\\") != 0 || path[2] == '?' || path[2] == '.') return 0;
  const std::size_t server = path.find('\\', 2);
  if (server == std::string::npos || server == 2) return 0;
  const std::size_t share = path.find('\\', server + 1);
  if (share == std::string::npos || share == server + 1) return 0;
  return share + 1;
}

// Below the root: a path IsSafePackagePath accepts (no "..", device, stream, wildcard).
bool IsPlainBelowRoot(const std::string& path, std::size_t root) {
  if (path.find('/') != std::string::npos) return false;
  const std::string rest = "\\" + path.substr(root < path.size() ? root : path.size()) + "\\";
  if (rest.find("\\.\\") != std::string::npos) return false;  // IsSafePackagePath lets "." pass
  return root != 0 && root < path.size() && IsSafePackagePath(path.substr(root));
}

}  // namespace

ShutDownKind ShutDownKindOf(const std::string& method) {
  if (method == records::kShutDownMessageBox) return ShutDownKind::AskInBox;
  if (method == records::kShutDownClose) return ShutDownKind::Close;
  if (method == records::kShutDownQuit) return ShutDownKind::Quit;
  if (method == records::kShutDownTerminate) return ShutDownKind::Terminate;
  if (method == records::kShutDownNone) return ShutDownKind::DontShutDown;
  return ShutDownKind::WaitOnly;
}

bool IsAllowedRunningProcess(const std::string& path, const std::vector<std::string>& folders, std::string* reason) {
  auto refuse = [&](const char* why) {
    if (reason) *reason = why;
    return false;
  };
  if (path.empty()) return refuse("no program named");
  if (!IsPlainBelowRoot(path, RootLength(path)))
    return refuse("not a plain absolute path (relative, root, \"..\", device, stream or wildcard)");
  const std::string folded = FoldedAZ(path);
  for (const std::string& folder : folders) {
    const std::string base = RemoveTrailingBackslash(folder);
    if (!IsPlainBelowRoot(base, RootLength(base))) continue;  // no root, no relative folder
    const std::string prefix = FoldedAZ(base) + "\\";
    if (folded.size() > prefix.size() && folded.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return refuse("outside the product's and the agent's folders");
}

void RequestAgentStop(bool stop) {
  state.stopRequested = stop;
}
bool AgentStopRequested() {
  return state.stopRequested;
}
