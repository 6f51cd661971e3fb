#pragma once
// The origin of the running stub and the numbered run-time folders. Portable: the
// command line comes from system/CommandLine. Values are computed on first use and kept
// for the process.
#include <string>

// The installation file this process came from: the value of "/OriginExe", or the
// program's own path when the switch is absent or empty.
std::string OriginExe();
// Its folder, without a trailing backslash.
std::string OriginFolder();
// The rule of OriginExe without the cache.
std::string OriginExeFrom(const std::string& switchValue, const std::string& programPath);

// Run-time folder n (1..8). The setup stub holds no definitions: every one is empty.
std::string RunTimeFolder(int n);
constexpr int kRunTimeFolderCount = 8;
