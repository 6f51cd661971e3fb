#include "system/FilesLogic.h"

#include <algorithm>

#include "system/Utils.h"

std::string SelfDeleteBatchText(const std::string& exePath, const std::string& batchPath, bool removeFolder) {
  const std::string exe = "\"" + exePath + "\"";
  std::string text = ":START\r\n";
  text += "DEL " + exe + "\r\n";
  text += "IF exist " + exe + " GOTO START\r\n";
  if (removeFolder) text += "RD \"" + ExtractFileDir(exePath) + "\"\r\n";
  text += "DEL \"" + batchPath + "\"\r\n";
  return text;
}

bool PendingDeleteListed(const std::string& list, const std::string& path) {
  const std::string wanted = "\\??\\" + path;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find('\0', start);
    if (end == std::string::npos) end = list.size();
    const std::size_t targetEnd = end < list.size() ? list.find('\0', end + 1) : std::string::npos;
    // Source and target go in pairs; an empty source ends the list.
    if (end == start) return false;
    if (targetEnd == end + 1 && SameText(list.substr(start, end - start), wanted)) return true;
    if (targetEnd == std::string::npos) return false;
    start = targetEnd + 1;
  }
  return false;
}

std::string WithoutLongPathPrefix(const std::string& path) {
  if (StartsWith("\\\\?\\UNC\\", path, true)) return "\\\\" + path.substr(8);
  if (StartsWith("\\\\?\\", path, false)) return path.substr(4);
  return path;
}

std::uint64_t WriteChunkSize(std::uint64_t total) {
  const std::uint64_t tenth = total / 10;
  if (tenth > 1024) return std::min<std::uint64_t>(tenth, 1048576);
  return std::min<std::uint64_t>(1024, total);
}

std::string DriveRootOf(const std::string& path) {
  if (path.empty()) return "";
  return std::string(1, UpperAscii(path[0])) + ":\\";
}

std::string DiskFreeQueryPath(const std::string& path) {
  const std::string p = ReplaceChar(path, '/', '\\');
  if (p.empty()) return "";
  if (p.size() < 3) return DriveRootOf(p);
  const std::size_t cut = p.find('\\', 3);  // at or after position 4 (1-based)
  return cut == std::string::npos ? p : p.substr(0, cut);
}

bool IsRootPath(const std::string& path) {
  std::string p = ReplaceChar(path, '/', '\\');
  // Device and long-path prefixes name the same roots.
  if (StartsWith("\\\\?\\UNC\\", p, true))
    p = "\\\\" + p.substr(8);
  else if (StartsWith("\\\\?\\", p, false) || StartsWith("\\\\.\\", p, false))
    p = p.substr(4);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  if (p.empty() || (p.size() == 2 && p[1] == ':')) return true;
  if (p.compare(0, 2, "\\\\") != 0) return false;
  // "\\server" or "\\server\share": at most one separator after the server name.
  const std::size_t slash = p.find('\\', 2);
  return slash == std::string::npos || p.find('\\', slash + 1) == std::string::npos;
}
