// Keeps the program loadable on Windows XP. The static thread library imports GetTickCount64,
// which XP's kernel32 lacks, and an unresolved import stops the program before it starts. This
// object defines that import slot itself: the real call where Windows has it, GetTickCount (which
// wraps after 49 days) where it does not. It is linked into the executable directly, so the
// linker finds the slot here before it looks in kernel32's import library.
#include <windows.h>

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

// Looked up on first use; a race only repeats the same lookup. No function-local static: its
// guard would go through the thread library this slot serves.
TickCount64Fn g_real = nullptr;
volatile LONG g_looked = 0;

ULONGLONG WINAPI TickCount64() {
  if (!g_looked) {
    g_real = reinterpret_cast<TickCount64Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    InterlockedExchange(&g_looked, 1);
  }
  if (g_real) return g_real();
  return GetTickCount();
}

}  // namespace

extern "C" {
extern TickCount64Fn qv_imp_GetTickCount64 __asm__("__imp__GetTickCount64@0");
TickCount64Fn qv_imp_GetTickCount64 = TickCount64;
}
