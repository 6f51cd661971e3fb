#include "driver/StubLogic.h"

#include "system/Utils.h"
#include "system/ZSub.h"

StubRole ChooseStubRole(bool ownWindowExists, bool plainAgent, bool workingCopy, bool needsSpanCopy) {
  if (ownWindowExists) return StubRole::AlreadyRunning;
  if (plainAgent) return StubRole::StartWorkingCopy;
  if (workingCopy) return StubRole::WorkingCopy;
  if (needsSpanCopy) return StubRole::SpanLauncher;
  return StubRole::PlainStub;
}

bool IsAgentExeName(const std::string& programPath, const std::string& agentName, const std::string& prefix) {
  std::string agent = Trim(agentName);
  if (agent.empty()) return false;
  return SameText(Trim(ExtractFileName(programPath)), prefix + agent);
}

std::string AgentFolderDigest(const std::string& programPath) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : ExtractFilePath(programPath)) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string digits(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) digits[static_cast<std::size_t>(i)] = kHex[hash & 0xF];
  return digits;
}

std::string StubClassNameFor(bool isAgent, const std::string& programPath) {
  if (!isAgent) return programPath;
  return kAgentClassPrefix + ChangeFileExt(ExtractFileName(programPath), "") + "." + AgentFolderDigest(programPath);
}

std::string WorkingCopyClassName(const std::string& agentName, const std::string& programPath) {
  return std::string(kAgentClassPrefix) + "X_" + ChangeFileExt(ExtractFileName(Trim(agentName)), "") + "." +
         AgentFolderDigest(programPath);
}

std::string WorkingCopyLockPath(const std::string& agentName, const std::string& programPath) {
  return ExtractFilePath(programPath) + "X_" + ChangeFileExt(ExtractFileName(Trim(agentName)), ".lock");
}

std::string AgentLogFileNameFor(const std::string& programPath) {
  std::string name = ExtractFileName(programPath);
  if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
  return ExtractFilePath(programPath) + ChangeFileExt(name, ".log");
}

std::string AgentLogLine(const std::string& timeStamp, unsigned long threadId, const std::string& indent,
                         const std::string& text) {
  return timeStamp + " " + PadLeft(std::to_string(threadId), 5) + indent + text + "\r\n";
}

std::string SpanCopyPath(const std::string& folder, const std::string& programPath) {
  return folder + "\\Y_" + ExtractFileName(programPath);
}

std::string SpanCopyArguments(const std::string& args, const std::string& programPath) {
  std::string result = args + " /SpanCdLvl=2 /SpanDiskFName1=\"" + programPath + ".001\"" + " /OriginExe=\"" +
                       programPath + "\"";
  return Trim(result);
}

std::string SetupTempFolderName(const std::string& tempFolderWithBackslash, std::uint16_t dosTime) {
  return tempFolderWithBackslash + "SETUP_" + std::to_string(dosTime);
}

std::string WorkingCopyPath(const std::string& programPath) {
  return ExtractFilePath(programPath) + "X_" + ExtractFileName(programPath);
}

std::string WorkingCopyParameters(const std::string& transient, const std::string& delay) {
  std::string parameters;
  if (!transient.empty()) parameters += " /TRANSIENTx=" + transient;
  if (!delay.empty()) parameters += " /SleepX=" + delay;
  return parameters;
}

int WorkingCopyWaitMs(std::int64_t seconds) {
  if (seconds <= 0) return 0;
  if (seconds > kMaxWaitSeconds) seconds = kMaxWaitSeconds;
  return static_cast<int>(seconds * 1000);
}

bool ClientRegistrationAllowed(std::int32_t window, std::int64_t message) {
  constexpr std::int32_t kBroadcast = 0xFFFF;  // HWND_BROADCAST
  if (window == 0 || window == kBroadcast) return false;
  return message >= kFirstClientMessage && message <= kLastClientMessage;
}

ClientSwitch ParseClientSwitch(const std::string& value) {
  ClientSwitch result;
  result.list = ":" + value + ":";
  result.window = SUB::GetItemInt(result.list, 0, 0);
  result.message = SUB::GetItemInt(result.list, 1, 0);
  return result;
}
