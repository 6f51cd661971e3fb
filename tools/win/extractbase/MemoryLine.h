#pragma once
// The figures both benchmark programs print.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdint>

inline void PrintResult(const char* who, std::int64_t ms, std::uint64_t bytes, std::uint64_t files) {
  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("%s ms=%lld bytes=%llu files=%llu peak_ws=%lu peak_private=%lu\n", who, static_cast<long long>(ms),
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(files),
              static_cast<unsigned long>(memory.PeakWorkingSetSize),
              static_cast<unsigned long>(memory.PeakPagefileUsage));
}

inline std::int64_t NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return counter.QuadPart * 1000 / frequency.QuadPart;
}
