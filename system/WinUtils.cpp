#include "system/WinUtils.h"

#include <shellapi.h>
#include <winver.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "system/DllSafety.h"
#include "system/CommandLine.h"
#include "system/Utils.h"
#include "system/TestHooks.h"
#include "system/Win64.h"
#include "system/WinHandles.h"
#include "system/ZDebug.h"

namespace {

// A value that fills the buffer may have been cut: the read is repeated with a larger
// buffer up to this size (an ini file this large is not one of ours).
constexpr DWORD kIniReadLimit = 16u * 1024 * 1024;

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

std::string ModuleFileName(HMODULE module) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size() - 1) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// GetWindowsDirectoryA and friends: buffers of 261 characters.
template <typename Query>
std::string FolderFrom(Query query, bool withBackslash) {
  char buffer[MAX_PATH + 1] = {};
  DWORD length = query(buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::string();
  return SetTrailingBackslash(std::string(buffer, length), withBackslash);
}

char LocaleSeparator(LCTYPE type, char fallback) {
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer) > 1) return buffer[0];
  return fallback;
}

bool VersionInfo(OSVERSIONINFOA& info) {
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) != FALSE;
}

bool SystemLeadByte(unsigned char ch) { return IsDBCSLeadByte(ch) != FALSE; }

struct WinUtilsState {
  // 255 not yet known, 0 off, 1 on.
  unsigned char developerMode = 255;
};
WinUtilsState state;

}  // namespace

// ---- Ini files ----

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def) {
  if (section.empty() || key.empty()) return def;
  try {
    std::vector<char> buffer(kValueBufferSize);
    for (;;) {
      DWORD size = static_cast<DWORD>(buffer.size());
      DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(), size,
                                              file.c_str());
      // size - 1 means the value may have been cut to fit.
      if (length + 1 < size || size >= kIniReadLimit) {
        if (length == 0) return def;
        return std::string(buffer.data(), std::min(length, size - 1));
      }
      buffer.assign(std::min<std::size_t>(std::size_t{size} * 4, kIniReadLimit), '\0');
    }
  } catch (...) {
    Output() << "EXCEPTION --- Utils.ReadIniString()  " << LastErrorText() << EndLine;
    return def;
  }
}

std::int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                        std::int64_t def) {
  std::int64_t value = 0;
  return TryParseInt64(ReadIniString(file, section, key, std::to_string(def)), value) ? value : def;
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, std::int64_t value) {
  return WriteIniString(file, section, key, std::to_string(value));
}

// ---- Registry ----

HKEY RegRootFromName(const std::string& name) {
  static const struct {
    const char* name;
    const char* shortName;
    HKEY root;
  } kRoots[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},   {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
      {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", "HKU", HKEY_USERS},
      {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG}, {"HKEY_DYN_DATA", "HKDD", HKEY_DYN_DATA},
  };
  for (const auto& entry : kRoots)
    if (SameText(name, entry.name) || SameText(name, entry.shortName)) return entry.root;
  return HKEY_CURRENT_USER;
}

RegPath SplitRegPath(const std::string& path) {
  std::string text = Trim(path);
  if (!StartsWith("HK", text, true)) return {HKEY_CURRENT_USER, text};
  std::size_t slash = text.find('\\');
  if (slash == std::string::npos) return {RegRootFromName(text), std::string()};
  return {RegRootFromName(text.substr(0, slash)), text.substr(slash + 1)};
}

std::string ReadRegString(const std::string& keyPath, const std::string& valueName, const std::string& def,
                          bool view64) {
  try {
    RegPath path = SplitRegPath(keyPath);
    UniqueHKey key;
    REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
    if (RegOpenKeyExA(path.root, path.subKey.c_str(), 0, access, key.receive()) != ERROR_SUCCESS) return def;
    std::vector<char> buffer(kValueBufferSize);
    DWORD type = REG_NONE;
    DWORD size = kValueBufferSize;
    // A value larger than the buffer fails with ERROR_MORE_DATA and gives the default.
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
      return def;
    size = std::min(size, kValueBufferSize);
    if (type == REG_DWORD && size == 4) {
      DWORD number = 0;
      CopyMemory(&number, buffer.data(), 4);
      return std::to_string(number);
    }
    if (type == REG_MULTI_SZ && size > 2) {
      std::string items(buffer.data(), size);
      while (!items.empty() && items.back() == '\0') items.pop_back();
      return ReplaceText(items, std::string(1, '\0'), "<0>");
    }
    const char* begin = buffer.data();
    return std::string(begin, std::find(begin, begin + size, '\0'));
  } catch (...) {
    return def;
  }
}

std::string WindowsVersionKey() {
  return IsWindowsNT() ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                       : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
}

std::string RegisteredOwner() {
  return Trim(ReadRegString(WindowsVersionKey(), "RegisteredOwner", UserName(), Is64BitWindows()));
}

std::string RegisteredOrganization() {
  return Trim(ReadRegString(WindowsVersionKey(), "RegisteredOrganization", "", Is64BitWindows()));
}

// ---- Version and libraries ----

FARPROC LoadProc(const std::string& libraryName, const std::string& procName, HMODULE& module) {
  module = LoadSystemLibrary(libraryName);
  if (reinterpret_cast<UINT_PTR>(module) < 33 || procName.empty()) return nullptr;
  return ProcAddress<FARPROC>(module, procName.c_str());
}

namespace {

// version.dll is not a load-time import: it is loaded from the system folder on first use
// and stays loaded.
struct VersionApi {
  decltype(&::GetFileVersionInfoSizeA) size = nullptr;
  decltype(&::GetFileVersionInfoA) info = nullptr;
  decltype(&::VerQueryValueA) query = nullptr;
  bool Ready() const { return size && info && query; }
};

const VersionApi& Version() {
  static const VersionApi api = [] {
    VersionApi result;
    HMODULE version = LoadSystemLibrary("version.dll");
    result.size = Z_PROC(version, GetFileVersionInfoSizeA);
    result.info = Z_PROC(version, GetFileVersionInfoA);
    result.query = Z_PROC(version, VerQueryValueA);
    return result;
  }();
  return api;
}

}  // namespace

std::string GetExeVersion(const std::string& file, int digits, int parts) {
  try {
    const VersionApi& api = Version();
    if (!api.Ready()) return std::string();
    std::string path = file.empty() ? ModuleFileName(nullptr) : file;
    DWORD handle = 0;
    DWORD reported = api.size(path.c_str(), &handle);
    if (reported == 0) return std::string();
    std::vector<char> block(std::max<DWORD>(16384, reported));
    if (!api.info(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) return std::string();
    void* root = nullptr;
    UINT length = 0;
    if (!api.query(block.data(), "\\", &root, &length) || !root || length < sizeof(VS_FIXEDFILEINFO))
      return std::string();
    VS_FIXEDFILEINFO fixed;
    CopyMemory(&fixed, root, sizeof fixed);
    const std::string text = std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." +
                             std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
                             std::to_string(HIWORD(fixed.dwFileVersionLS)) + "." +
                             std::to_string(LOWORD(fixed.dwFileVersionLS));
    if (digits > 1 || parts < 4) return FormatVersion(text, digits, parts);
    return text;
  } catch (const std::exception& error) {
    TraceException(error, "Utils.GetExeVersion");
    return std::string();
  }
}

// ---- Clock, screen and windows ----

std::int64_t TickMs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER value;
    return QueryPerformanceFrequency(&value) ? value.QuadPart : 0;
  }();
  LARGE_INTEGER counter;
  if (frequency <= 0 || !QueryPerformanceCounter(&counter)) return GetTickCount();
  // Split so that counter * 1000 cannot overflow however long the system has run.
  LONGLONG whole = counter.QuadPart / frequency;
  LONGLONG rest = counter.QuadPart % frequency;
  return whole * 1000 + (rest * 1000 + frequency / 2) / frequency;
}

int PointsToPixels(int points) {
  static const int pixelsPerInch = [] {
    HDC screen = GetDC(nullptr);
    int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return MulDiv(points, pixelsPerInch, 72);
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) {
  HINSTANCE result = ShellExecuteA(GetDesktopWindow(), nullptr, file.c_str(), OrNull(parameters), nullptr, showCommand);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void CenterInArea(const RECT& area, int width, int height, int& left, int& top) {
  left = area.left + (area.right - area.left - width) / 2;
  top = area.top + (area.bottom - area.top - height) / 2;
}

void CenterInWorkArea(int width, int height, int& left, int& top) {
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  CenterInArea(area, width, height, left, top);
}

HWND TopOwner(HWND window) {
  // Owner chains are short; the bound only guards against a window destroyed and its
  // handle reused while we walk.
  for (int step = 0; window && step < 1000; ++step) {
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner) break;
    window = owner;
  }
  return window;
}

std::string WindowClassName(HWND window) {
  if (!window) return std::string();
  std::vector<char> buffer(kValueBufferSize);
  int length = GetClassNameA(window, buffer.data(), static_cast<int>(buffer.size()));
  return length > 0 ? std::string(buffer.data(), length) : std::string();
}

std::string WindowText(HWND window) {
  if (!window) return std::string();
  char buffer[1024] = {};
  int length = GetWindowTextA(window, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, length) : std::string();
}

// ---- System folders and names ----

std::string WindowsFolder(bool withBackslash) {
  return FolderFrom([](char* b, DWORD n) { return static_cast<DWORD>(GetWindowsDirectoryA(b, n)); }, withBackslash);
}

std::string SystemFolder(bool withBackslash) {
  return FolderFrom([](char* b, DWORD n) { return static_cast<DWORD>(GetSystemDirectoryA(b, n)); }, withBackslash);
}

std::string TempFolder(bool withBackslash) {
  return FolderFrom([](char* b, DWORD n) { return GetTempPathA(n, b); }, withBackslash);
}

std::string UserName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return std::string();
  return Trim(buffer);
}

std::string ComputerName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return std::string();
  return Trim(buffer);
}

std::string UserDomain() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return std::string();
  DWORD needed = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
  if (needed < sizeof(TOKEN_USER)) return std::string();
  std::vector<char> data(needed);
  if (!GetTokenInformation(token.get(), TokenUser, data.data(), needed, &needed)) return std::string();
  TOKEN_USER user;
  CopyMemory(&user, data.data(), sizeof user);
  char name[256] = {};
  char domain[256] = {};
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(nullptr, user.User.Sid, name, &nameSize, domain, &domainSize, &use)) return std::string();
  return std::string(domain, strnlen(domain, sizeof domain));
}

std::string LastErrorText() {
  DWORD code = GetLastError();
  char* message = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  if (length == 0 || !message) {
    if (message) LocalFree(message);
    return "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"";
  }
  std::string text(message, length);
  LocalFree(message);
  // The system ends its messages with a full stop and a line end.
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) text.pop_back();
  return text;
}

bool IsWindowsNT() {
  OSVERSIONINFOA info;
  return VersionInfo(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWindows8OrLater() {
  OSVERSIONINFOA info;
  if (!VersionInfo(info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
  return info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 2);
}

bool ProcessIsElevated() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return true;
  TOKEN_ELEVATION elevation{};
  DWORD length = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &length)) return true;
  return elevation.TokenIsElevated != 0;
}

bool IsDeveloperMode() {
  if (state.developerMode == 255) {
    char value[8] = {};
    DWORD length = GetEnvironmentVariableA("DVX", value, sizeof value);
    state.developerMode = length == 3 && std::string(value, 3) == "432" ? 1 : 0;
  }
  return state.developerMode == 1;
}

void ForgetDeveloperMode() {
  state.developerMode = 255;
}

char SystemDateSeparator() { return LocaleSeparator(LOCALE_SDATE, '/'); }

char SystemTimeSeparator() { return LocaleSeparator(LOCALE_STIME, ':'); }

// ---- Process start-up ----

void InitCommandLineFromProcess() {
  const char* raw = GetCommandLineA();
  SetCommandLineSource(raw ? raw : "", ModuleFileName(nullptr));
}

void InstallLeadBytePredicate() { SetLeadBytePredicate(SystemLeadByte); }
