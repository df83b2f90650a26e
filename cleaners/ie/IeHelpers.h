// Small helpers shared by the Internet Explorer cleaners and the definition-file runner.
#pragma once
#include <windows.h>

#include <string>

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

// The short (8.3) form of a path as Windows gives it, or an empty text when it gives none (for
// example because the path does not exist).
std::string GetShortFileName(const std::string& path);

}  // namespace qv
