// Native builds (tests, Linux tools) have no viewer: pieces go to the test sink only.
#include <unistd.h>

#include <cstdio>

#include "system/ZDebug.h"

unsigned long TracePid() { return static_cast<unsigned long>(getpid()); }

void SendDebugText(const std::string&) {}

bool AppendTextToFile(const std::string& fileName, const std::string& text) {
  std::FILE* file = std::fopen(fileName.c_str(), "ab");
  if (!file) return text.empty();
  std::size_t written = text.empty() ? 0 : std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return written == text.size();
}
