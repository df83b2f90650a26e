// The cleaners of the "Windows" category: recent documents, Run and Search Assistant history, the
// recycle bin, temporary files, the clipboard, memory dumps and check-disk fragments.
#include "cleaners/windows/WindowsCleaners.h"

#include <shlobj.h>
#include <wininet.h>

#include <mutex>

#include "engine/ProgressThread.h"
#include "shell/Global.h"
#include "shell/Settings.h"

namespace qv {

namespace {

std::mutex g_driveTypeMutex;
std::function<UINT(const std::string&)> g_driveTypeForTesting;

void EndBrowserSession() { InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0); }

// A special folder by its CSIDL number, without a trailing backslash; empty when the shell has none.
std::string ShellFolder(HWND owner, int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &pidl)) || !pidl) return std::string();
  wchar_t buf[MAX_PATH + 1] = {};
  std::string path;
  if (SHGetPathFromIDListW(pidl, buf)) path = ExcludeTrailingBackslash(Narrow(buf));
  CoTaskMemFree(pidl);
  return path;
}

std::string WindowsFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Narrow(buf) : std::string();
}

std::string SystemFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Narrow(buf) : std::string();
}

}  // namespace

UINT RecycleBinDriveType(const std::string& root) {
  {
    std::lock_guard<std::mutex> lock(g_driveTypeMutex);
    if (g_driveTypeForTesting) return g_driveTypeForTesting(root);
  }
  return GetDriveTypeW(Widen(root).c_str());
}

void SetDriveTypeForTesting(std::function<UINT(const std::string& root)> answer) {
  std::lock_guard<std::mutex> lock(g_driveTypeMutex);
  g_driveTypeForTesting = std::move(answer);
}

void TClearTaskThread::RecentDocumentsCleaner() {
  EndBrowserSession();
  std::string recent = ShellFolder(Host().OwnerWindow(), CSIDL_RECENT);
  ItemCount = DeleteRegistryKeyTreeHKCU("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");
  if (!recent.empty()) ItemBytes = DeleteFilesByMask(recent, "*.*", ItemCount, false);
  ItemSizeText = FormatKB(ItemBytes);
}

void TClearTaskThread::StartRunCleaner() {
  ItemCount = DeleteRegistryKeyTreeHKCU("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU");
}

void TClearTaskThread::SearchAssistantCleaner() {
  ItemCount = DeleteRegistryKeyTreeHKCU("Software\\Microsoft\\Search Assistant\\ACMru");
}

void TClearTaskThread::RecycleBinCleaner() {
  const bool showLog = OptionsSetting.ShowLogRecycleBin;
  if (!IsTest() && !showLog) AddLogLine(std::string("Clearing") + ", " + "please wait...");

  uint64_t total = 0;
  for (char letter = 'c'; letter <= 'z'; ++letter) {
    std::string root = std::string(1, letter) + ":\\";
    if (RecycleBinDriveType(root) != DRIVE_FIXED) continue;
    std::string bin = std::string(1, letter) + ":\\Recycled";
    // Only a bin the shell manages (it holds both its index and its desktop.ini) is looked into.
    if (FileExists(bin + "\\INFO2") && FileExists(bin + "\\desktop.ini")) {
      WIN32_FIND_DATAW fd;
      HANDLE h = FindFirstFileW(ToWinPath(bin + "\\*").c_str(), &fd);
      if (h != INVALID_HANDLE_VALUE) {
        do {
          if (Terminated()) break;
          std::string name = Narrow(fd.cFileName);
          if (name == "." || name == "..") continue;
          std::string path = bin + "\\" + name;
          if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            total += DeleteFolderTree(path, true, showLog, "", ItemCount);
            continue;
          }
          std::string lower = LowerCase(name);
          if (lower == "desktop.ini" || lower == "info2") continue;
          if (DeleteOneFile(path, showLog)) {
            ++ItemCount;
            total += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
            if (ProgressDue()) PostProgress((uint32_t)(TotalCount + ItemCount));
          }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
      }
    }
    ItemBytes = total;
    ItemSizeText = FormatKB(ItemBytes);
  }

  if (!IsTest()) {
    // Looked up at run time: the oldest systems' shell has no such function.
    if (HMODULE shell = LoadLibraryW(L"Shell32.dll")) {
      // No confirmation, no progress window, no sound.
      const DWORD kEmptyQuietly = 0x1 | 0x2 | 0x4;
      using EmptyBinFn = HRESULT(WINAPI*)(HWND, LPCSTR, DWORD);
      auto empty = reinterpret_cast<EmptyBinFn>(GetProcAddress(shell, "SHEmptyRecycleBinA"));
      if (empty) empty(Host().OwnerWindow(), "", kEmptyQuietly);
      FreeLibrary(shell);
    }
  }
}

void TClearTaskThread::TempFilesCleaner() {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, buf);
  if (n == 0 || n > MAX_PATH) return;
  const std::string temp = IncludeTrailingBackslash(Narrow(buf));
  // Without TMP and TEMP the system answers the user's profile or the Windows folder: neither is a
  // temporary folder, and emptying them would lose documents or break Windows.
  const std::string windows = WindowsFolder();
  const std::string personal = GetPersonalFolder();
  if (!windows.empty() && SameText(temp, IncludeTrailingBackslash(windows))) return;
  if (!personal.empty() && StartsWith(UpperCase(IncludeTrailingBackslash(personal)), UpperCase(temp))) return;
  // The temporary folder itself stays; everything in it goes.
  ItemBytes = DeleteFolderTree(temp, false, true, "", ItemCount);
  ItemSizeText = FormatKB(ItemBytes);
}

void TClearTaskThread::ClipboardCleaner() {
  if (IsTest()) return;
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

void TClearTaskThread::MemoryDumpsCleaner() {
  std::string windows = WindowsFolder();
  if (windows.empty()) return;
  windows = IncludeTrailingBackslash(windows);
  uint64_t bytes = DeleteFilesByMask(windows, "memory.dmp", ItemCount, false);
  bytes += DeleteFilesByMask(windows + "MiniDump", "*.dmp", ItemCount, false);
  ItemBytes = bytes;
  ItemSizeText = FormatKB(ItemBytes);
}

void TClearTaskThread::ChkdskFragmentsCleaner() {
  std::string system = SystemFolder();
  if (system.empty()) return;
  ItemBytes = DeleteFilesByMask(system, "File*.chk", ItemCount, false);
  ItemSizeText = FormatKB(ItemBytes);
}

}  // namespace qv
