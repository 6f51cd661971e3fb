// The check that a path from a package stays inside its folder, on arbitrary text: what it
// accepts has no drive, stream, leading separator, wildcard or control character and no
// component that Windows would turn into "..", and a device name is only ever reported
// for a path refused.
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/UnPackLogic.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  std::string reason;
  bool device = false;
  const bool safe = IsSafePackagePath(path, &reason, &device);
  if (safe && (device || !reason.empty())) std::abort();
  if (!safe && reason.empty()) std::abort();
  if (!safe) return 0;
  if (path.empty() || path[0] == '\\' || path[0] == '/') std::abort();
  for (unsigned char ch : path)
    if (ch < 32 || std::strchr(":*?\"<>|", ch)) std::abort();
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t stop = path.find_first_of("\\/", start);
    if (stop == std::string::npos) stop = path.size();
    const std::string component = path.substr(start, stop - start);
    if (component.empty()) std::abort();
    // Trailing dots and blanks go: what remains must not be empty unless it is ".".
    if (component != "." && component.find_first_not_of(". ") == std::string::npos) std::abort();
    start = stop + 1;
  }
  return 0;
}
