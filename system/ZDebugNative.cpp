// Native builds (tests, Linux tools) have no viewer: pieces go to the test sink only.
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "system/ZDebug.h"

unsigned long TracePid() { return static_cast<unsigned long>(getpid()); }

void SendDebugText(const std::string&) {}

namespace {
// Never destroyed: the stream delivers its last text while the program ends.
std::recursive_mutex& DeliveryMutex() {
  static std::recursive_mutex* mutex = new std::recursive_mutex;
  return *mutex;
}
}  // namespace

void LockDebugDelivery() { DeliveryMutex().lock(); }
void UnlockDebugDelivery() { DeliveryMutex().unlock(); }

bool AppendTextToFile(const std::string& fileName, const std::string& text) {
  std::FILE* file = std::fopen(fileName.c_str(), "ab");
  if (!file) return text.empty();
  std::size_t written = text.empty() ? 0 : std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return written == text.size();
}
