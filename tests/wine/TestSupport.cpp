#include "tests/wine/TestSupport.h"

#include <vector>

#include "system/WinHandles.h"

DWORD HandleCount() {
  struct Entry {
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<char> buffer(1 << 20);
  ULONG length = 0;
  while (query && query(16 /* handle list */, buffer.data(), static_cast<ULONG>(buffer.size()), &length) ==
                      static_cast<LONG>(0xC0000004))
    buffer.resize(buffer.size() * 2);
  const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
  const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  DWORD mine = 0;
  for (ULONG i = 0; i < count && (i + 1) * sizeof(Entry) + sizeof(ULONG_PTR) <= buffer.size(); ++i)
    mine += entries[i].ownerPid == GetCurrentProcessId();
  return mine;
}

std::string ReadWholeFile(const std::string& name) {
  UniqueHandle file(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<missing>";
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  return content;
}
