// The running Windows version as a small class number: it chooses which history folders exist.
// Both builds run on the NT family only (the x86 build from Windows XP, the x64 build on 64-bit
// Windows), so every class is one of it.
#pragma once
#include <windows.h>

namespace qv {

// A small number classifying a Windows version (major, minor as GetVersionEx reports them):
// 5 NT 3, 6 NT 4, 7 Windows 2000, 9 XP, 10 Server 2003 / XP x64 (and any version it cannot
// place), 11 Vista and later.
int WindowsVersionClassOf(DWORD major, DWORD minor);
// The class of the running Windows.
int WindowsVersionClass();
// Tests make WindowsVersionClass answer for the given version; ResetWindowsVersionForTesting
// returns to the system's.
void SetWindowsVersionForTesting(DWORD major, DWORD minor);
void ResetWindowsVersionForTesting();

}  // namespace qv
