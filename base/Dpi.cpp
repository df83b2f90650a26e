#include "base/Dpi.h"

namespace qv {

namespace {

FARPROC User32Proc(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  return user ? GetProcAddress(user, name) : nullptr;
}

}  // namespace

void DeclareDpiAwareness() {
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4, PER_MONITOR_AWARE (HANDLE)-3.
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  if (auto setContext = reinterpret_cast<SetContextFn>(
          reinterpret_cast<void*>(User32Proc("SetProcessDpiAwarenessContext")))) {
    if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))) ||
        setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3))))
      return;
    if (GetLastError() == ERROR_ACCESS_DENIED) return;  // already declared (by the manifest)
  }
  // Windows 8.1: shcore's SetProcessDpiAwareness(PROCESS_PER_MONITOR_DPI_AWARE = 2).
  if (HMODULE shcore = LoadLibraryW(L"shcore.dll")) {
    using SetAwarenessFn = HRESULT(WINAPI*)(int);
    auto setAwareness = reinterpret_cast<SetAwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "SetProcessDpiAwareness")));
    const HRESULT r = setAwareness ? setAwareness(2) : E_NOTIMPL;
    // E_ACCESSDENIED: already declared.
    if (SUCCEEDED(r) || r == E_ACCESSDENIED) return;
  }
  using SetAwareFn = BOOL(WINAPI*)();
  if (auto setAware = reinterpret_cast<SetAwareFn>(reinterpret_cast<void*>(User32Proc("SetProcessDPIAware"))))
    setAware();
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
  using ForWindowFn = UINT(WINAPI*)(HWND);
  const auto forWindow =
      reinterpret_cast<ForWindowFn>(reinterpret_cast<void*>(User32Proc("GetDpiForWindow")));
  if (forWindow && window) {
    UINT dpi = forWindow(window);
    if (dpi > 0) return (int)dpi;
  }
  return SystemDpi();
}

}  // namespace qv
