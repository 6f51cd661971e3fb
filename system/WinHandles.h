#pragma once
// RAII owners of Win32 resources: each releases its resource on every path.
#include <windows.h>
#include <wininet.h>

#include <utility>

#include "system/DllSafety.h"

// Owner of one resource value with a release function; move-only.
template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  bool valid() const { return Traits::Valid(value_); }
  explicit operator bool() const { return valid(); }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    if (Traits::Valid(value_)) Traits::Release(value_);
    value_ = value;
  }
  // For out-parameters of API calls: releases the old value first.
  T* receive() {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateFile, CreateProcess, pipes, snapshots: INVALID_HANDLE_VALUE or null
  static HANDLE Invalid() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Release(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool Valid(HKEY k) { return k != nullptr; }
  static void Release(HKEY k) { RegCloseKey(k); }
};
struct GlobalAtomTraits {
  static ATOM Invalid() { return 0; }
  static bool Valid(ATOM a) { return a != 0; }
  static void Release(ATOM a) { GlobalDeleteAtom(a); }
};
struct GdiObjectTraits {  // fonts, brushes, pens
  static HGDIOBJ Invalid() { return nullptr; }
  static bool Valid(HGDIOBJ o) { return o != nullptr; }
  static void Release(HGDIOBJ o) { DeleteObject(o); }
};
struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool Valid(HMODULE m) { return m != nullptr; }
  static void Release(HMODULE m) { FreeLibrary(m); }
};
struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool Valid(HWND w) { return w != nullptr; }
  static void Release(HWND w) {
    if (IsWindow(w)) DestroyWindow(w);
  }
};
struct LocalMemoryTraits {  // memory the system hands over to be released with LocalFree
  static HLOCAL Invalid() { return nullptr; }
  static bool Valid(HLOCAL m) { return m != nullptr; }
  static void Release(HLOCAL m) { LocalFree(m); }
};

// WinINet handles. WinINet is loaded at run time (internet/InetHTTP) and stays loaded while
// any of its handles is open, so the close is found in the loaded module.
struct InternetHandleTraits {
  static HINTERNET Invalid() { return nullptr; }
  static bool Valid(HINTERNET h) { return h != nullptr; }
  static void Release(HINTERNET h) {
    if (auto close = Z_PROC(GetModuleHandleA("wininet.dll"), InternetCloseHandle)) close(h);
  }
};

using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueHKey = UniqueResource<HKEY, RegKeyTraits>;
using UniqueAtom = UniqueResource<ATOM, GlobalAtomTraits>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;
using UniqueLibrary = UniqueResource<HMODULE, LibraryTraits>;
using UniqueWindow = UniqueResource<HWND, WindowTraits>;
using UniqueLocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;
using UniqueInternet = UniqueResource<HINTERNET, InternetHandleTraits>;

// A window class registered for the owner's lifetime (modal windows register and
// unregister their class around each use).
class ScopedWindowClass {
 public:
  ScopedWindowClass(const char* name, HINSTANCE instance) : name_(name), instance_(instance) {}
  bool Register(const WNDCLASSEXA& wc) {
    registered_ = RegisterClassExA(&wc) != 0;
    return registered_;
  }
  // The class of a modal box: arrow cursor, button-face background, redrawn when sized.
  bool RegisterBox(WNDPROC proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = name_;
    return Register(wc);
  }
  ~ScopedWindowClass() {
    if (registered_) UnregisterClassA(name_, instance_);
  }
  ScopedWindowClass(const ScopedWindowClass&) = delete;
  ScopedWindowClass& operator=(const ScopedWindowClass&) = delete;

 private:
  const char* name_;
  HINSTANCE instance_;
  bool registered_ = false;
};
