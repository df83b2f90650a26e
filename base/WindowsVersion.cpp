#include "base/WindowsVersion.h"

#include <mutex>

namespace qv {

int WindowsVersionClassOf(DWORD major, DWORD minor) {
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

namespace {
std::mutex g_versionMutex;
bool g_versionOverridden = false;
DWORD g_majorForTesting = 0, g_minorForTesting = 0;
}  // namespace

void SetWindowsVersionForTesting(DWORD major, DWORD minor) {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  g_versionOverridden = true;
  g_majorForTesting = major;
  g_minorForTesting = minor;
}

void ResetWindowsVersionForTesting() {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  g_versionOverridden = false;
}

int WindowsVersionClass() {
  {
    std::lock_guard<std::mutex> lock(g_versionMutex);
    if (g_versionOverridden) return WindowsVersionClassOf(g_majorForTesting, g_minorForTesting);
  }
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return 10;
#pragma GCC diagnostic pop
  return WindowsVersionClassOf(info.dwMajorVersion, info.dwMinorVersion);
}

}  // namespace qv
