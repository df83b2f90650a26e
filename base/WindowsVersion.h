// The running Windows version as a small class number: it chooses how locked index.dat files are
// removed, which history folders exist, and whether machine-wide registry entries need
// administrator rights.
#pragma once
#include <windows.h>

namespace qv {

// A small number classifying a Windows version (platform id, major, minor as GetVersionEx reports
// them): 1 Windows 95, 3 Windows 98, 8 Windows Me, 10 other 9x; 5 NT 3, 6 NT 4, 7 Windows 2000,
// 9 XP, 10 Server 2003 / XP x64, 11 Vista and later. Classes 1 to 4 and 8 are the 9x family.
int WindowsVersionClassOf(DWORD platformId, DWORD major, DWORD minor);
// The class of the running Windows.
int WindowsVersionClass();
// True for the classes of the 9x family (1 to 4 and 8).
bool IsWin9xVersionClass(int versionClass);
// Tests make WindowsVersionClass answer for the given version; ResetWindowsVersionForTesting
// returns to the system's.
void SetWindowsVersionForTesting(DWORD platformId, DWORD major, DWORD minor);
void ResetWindowsVersionForTesting();

}  // namespace qv
