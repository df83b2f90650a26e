#include "base/WindowsVersion.h"

#include <mutex>


namespace qv {

int WindowsVersionClassOf(DWORD platformId, DWORD major, DWORD minor) {
  if (platformId == VER_PLATFORM_WIN32_NT) {
    if (major == 3) return 5;
    if (major == 4) return 6;
    if (major == 5) {
      if (minor == 1) return 9;
      if (minor == 2) return 10;
      return 7;
    }
    // Windows 8.1 and later report 6.2, or their real version when the manifest declares them;
    // either way they belong with Vista.
    if (major >= 6) return 11;
    return 10;
  }
  if (major == 4 && minor == 0) return 1;
  if (major == 4 && minor == 10) return 3;
  if (major == 4 && minor == 90) return 8;
  return 10;
}

bool IsWin9xVersionClass(int versionClass) {
  return (versionClass >= 1 && versionClass <= 4) || versionClass == 8;
}

namespace {
std::mutex g_versionMutex;
bool g_versionOverridden = false;
OSVERSIONINFOW g_versionForTesting = {};
}  // namespace

void SetWindowsVersionForTesting(DWORD platformId, DWORD major, DWORD minor) {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  g_versionOverridden = true;
  g_versionForTesting.dwPlatformId = platformId;
  g_versionForTesting.dwMajorVersion = major;
  g_versionForTesting.dwMinorVersion = minor;
}

void ResetWindowsVersionForTesting() {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  g_versionOverridden = false;
}

int WindowsVersionClass() {
  {
    std::lock_guard<std::mutex> lock(g_versionMutex);
    if (g_versionOverridden)
      return WindowsVersionClassOf(g_versionForTesting.dwPlatformId, g_versionForTesting.dwMajorVersion,
                                   g_versionForTesting.dwMinorVersion);
  }
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return 10;
#pragma GCC diagnostic pop
  return WindowsVersionClassOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

}  // namespace qv
