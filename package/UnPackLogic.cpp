#include "package/UnPackLogic.h"

#include <climits>
#include <cstring>

#include "package/PackFormat.h"
#include "system/Utils.h"
#include "system/ZSub.h"

std::int64_t BlockLength(std::int32_t n, std::int64_t position, std::int64_t blocksEnd, bool& compressed) {
  compressed = n > 0;
  if (n == INT32_MIN) return -1;
  const std::int64_t length = n < 0 ? -static_cast<std::int64_t>(n) : n;
  if (position < 0 || position + 4 > blocksEnd || length > blocksEnd - position - 4) return -1;
  return length;
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char ch : text)
    if (ch < 32) return true;
  return false;
}

bool IsWellFormedNamePart(const std::string& namePart, std::string* reason) {
  const char* why = HasControlCharacter(namePart)                                ? "control character in the name part"
                    : namePart.size() < 2 || namePart.back() != namePart.front() ? "name part not closed by its separator"
                                                                                 : nullptr;
  if (why && reason) *reason = why;
  return !why;
}

bool ParseNamePart(const std::string& namePart, TBlockName& name) {
  name = TBlockName();
  if (namePart.empty()) return false;
  if (namePart.find(pack::kEngineMark) != std::string::npos) name.Engine = namePart;
  std::string path = SUB::GetItem(namePart, 0);
  const std::size_t star = path.find(pack::kEngineMark);
  if (star != std::string::npos) {
    name.Engine = path;
    path.resize(star);
  }
  // A signed 32-bit DOS date-time: dates from 2044 on are negative. Unsigned values are
  // taken as they are.
  std::int64_t date = 0;
  if (TryParseInt64(SUB::GetItem(namePart, 1), date) && date >= INT32_MIN && date <= UINT32_MAX)
    name.Date = static_cast<std::uint32_t>(date);
  name.Path = path;
  return !path.empty();
}

namespace {

bool IsDeviceName(const std::string& component) {
  // Windows maps these names to devices whatever the extension or trailing blanks.
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  base = UpperAscii(base);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
    const unsigned char digit = static_cast<unsigned char>(base[3]);
    // Digits, and the superscript 1, 2, 3 of the ANSI code page.
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

bool Refuse(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return false;
}

}  // namespace

bool IsSafePackagePath(const std::string& path, std::string* reason, bool* deviceName) {
  if (deviceName) *deviceName = false;
  if (path.empty()) return Refuse(reason, "empty path");
  if (path[0] == '\\' || path[0] == '/') return Refuse(reason, "absolute path");
  if (HasControlCharacter(path)) return Refuse(reason, "control character in path");
  for (unsigned char ch : path)
    if (std::strchr(":*?\"<>|", ch)) return Refuse(reason, ch == ':' ? "drive or stream in path" : "wildcard in path");
  // A device name is reported only when nothing else is wrong with the path.
  bool device = false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component.empty() && end < path.size()) return Refuse(reason, "empty path component");
    if (component.empty()) return Refuse(reason, "path names a folder");
    // Windows drops trailing dots and blanks: "..", "...", ". " would climb or vanish.
    std::size_t kept = component.find_last_not_of(". ");
    if (component != "." && kept == std::string::npos) return Refuse(reason, "\"..\" in path");
    if (component != "." && IsDeviceName(component)) device = true;
    start = end + 1;
  }
  if (device && deviceName) *deviceName = true;
  return device ? Refuse(reason, "device name in path") : true;
}

bool IsSafeWebFileName(const std::string& name, std::string* reason) {
  if (!IsSafePackagePath(name, reason)) return false;
  const std::size_t slash = name.find_last_of("\\/");
  const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  // "." is the folder itself: the download would replace the temporary folder's files.
  return last != "." || Refuse(reason, "path names a folder");
}

TPayloadSplitter::TPayloadSplitter(NameSink onName, ContentSink onContent, void* context)
    : onName_(onName), onContent_(onContent), context_(context) {}

bool TPayloadSplitter::Feed(const char* data, std::size_t size) {
  if (!found_) {
    const void* zero = size ? std::memchr(data, 0, size) : nullptr;
    const std::size_t head = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : size;
    const std::size_t room = MaxNamePart - name_.size();
    name_.append(data, head < room ? head : room);
    if (head > room) tooLong_ = true;
    if (!zero) return true;
    found_ = true;
    if (tooLong_) return false;
    dropContent_ = !onName_(context_, name_);
    data += head + 1;
    size -= head + 1;
  }
  if (size == 0) return true;
  contentSize_ += size;
  if (dropContent_) return true;
  return onContent_(context_, data, size);
}

std::string VolumeBaseName(const std::string& packageFile) {
  if (packageFile.size() >= 4 && packageFile.compare(packageFile.size() - 4, 4, ".001") == 0)
    return packageFile.substr(0, packageFile.size() - 4);
  return packageFile;
}

std::string VolumeFileName(const std::string& packageFile, int volume) {
  if (volume <= 1) return packageFile;
  return VolumeBaseName(packageFile) + "." + IntToZeroPadded(volume, 3);
}

bool AgentSourceName(const std::string& packageFile) {
  return EndsWith(".exe", packageFile, true) || EndsWith(".exe.001", packageFile, true);
}
