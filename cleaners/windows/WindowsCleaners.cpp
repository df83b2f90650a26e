#include "cleaners/windows/WindowsCleaners.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <mutex>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "engine/RegistryRemoval.h"

namespace qv {

namespace {

std::mutex g_driveTypeMutex;
std::function<UINT(const std::string&)> g_driveTypeForTesting;

std::string WindowsFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Narrow(buf) : std::string();
}

// The long form of an existing folder, with a trailing backslash; the path itself when the system
// gives none.
std::string LongForm(const std::string& folder) {
  const std::wstring wide = Widen(IncludeTrailingBackslash(folder));
  std::wstring buf(MAX_PATH + 1, L'\0');
  DWORD n = GetLongPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetLongPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  }
  if (n == 0 || n >= buf.size()) return IncludeTrailingBackslash(folder);
  buf.resize(n);
  return IncludeTrailingBackslash(Narrow(buf));
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

static void RecentDocumentsCleaner(TCleanRun& run) {
  EndBrowserSession();
  std::string recent = ShellFolderPath(CSIDL_RECENT, run.Host().OwnerWindow());
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");
  if (!recent.empty()) run.ItemBytes = DeleteFilesByMask(run, recent, "*.*", run.ItemCount, false);
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

static void StartRunCleaner(TCleanRun& run) {
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU");
}

static void SearchAssistantCleaner(TCleanRun& run) {
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, "Software\\Microsoft\\Search Assistant\\ACMru");
}

// The shell's bin of a drive: what it holds, and emptying it. Looked up at run time (the oldest
// systems' shell has neither call).
using QueryBinFn = HRESULT(WINAPI*)(LPCWSTR, SHQUERYRBINFO*);
using EmptyBinFn = HRESULT(WINAPI*)(HWND, LPCWSTR, DWORD);

static bool QueryShellBin(const std::string& root, uint64_t& items, uint64_t& bytes) {
  static const QueryBinFn query =
      reinterpret_cast<QueryBinFn>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHQueryRecycleBinW"));
  items = bytes = 0;
  if (!query) return false;
  SHQUERYRBINFO info = {};
  info.cbSize = sizeof(info);
  if (FAILED(query(Widen(root).c_str(), &info))) return false;
  items = info.i64NumItems > 0 ? (uint64_t)info.i64NumItems : 0;
  bytes = info.i64Size > 0 ? (uint64_t)info.i64Size : 0;
  return true;
}

static void EmptyShellBin(HWND owner, const std::string& root) {
  static const EmptyBinFn empty =
      reinterpret_cast<EmptyBinFn>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHEmptyRecycleBinW"));
  // No confirmation, no progress window, no sound.
  const DWORD kEmptyQuietly = 0x1 | 0x2 | 0x4;
  if (empty) empty(owner, Widen(root).c_str(), kEmptyQuietly);
}

// Empties the files of a bin the shell keeps as a "Recycled" folder with its own index, one by
// one as the oldest systems need; true when the drive has such a bin.
static bool CleanRecycledFolder(TCleanRun& run, char letter, bool showLog, uint64_t& total) {
  std::string bin = std::string(1, letter) + ":\\Recycled";
  // Only a bin the shell manages (it holds both its index and its desktop.ini) is looked into;
  // a bin folder that is a link is no bin of the shell's, and is never entered.
  if (!FileExists(bin + "\\INFO2") || !FileExists(bin + "\\desktop.ini") || IsLinkEntry(bin)) return false;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(bin + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return true;
  do {
    if (run.Terminated()) break;
    std::string name = Narrow(fd.cFileName);
    // "." and "..", and look-alikes such as "INFO2." that the system would trim to INFO2.
    if (!IsReachableName(name)) continue;
    std::string path = bin + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Found by listing: a folder link here is never entered.
      total += DeleteFolderTree(run, path, true, showLog, "", run.ItemCount, foListed);
      continue;
    }
    std::string lower = LowerCase(name);
    if (lower == "desktop.ini" || lower == "info2") continue;
    if (DeleteOneFile(run, path, showLog)) {
      ++run.ItemCount;
      total += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
      if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount));
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return true;
}

static void RecycleBinCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogRecycleBin;
  if (!run.IsTest() && !showLog) run.AddLogLine(std::string("Clearing") + ", " + "please wait...");

  uint64_t total = 0;
  for (char letter = 'c'; letter <= 'z'; ++letter) {
    if (run.Terminated()) break;
    const std::string root = std::string(1, letter) + ":\\";
    const UINT type = RecycleBinDriveType(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    // A "Recycled" folder of the shell's on a fixed drive: its files one by one (the shell then
    // tidies its index). Any other bin is what the shell reports for the drive: a Test counts it,
    // a Clean empties it and counts what went, so that the two agree.
    if (type == DRIVE_FIXED && CleanRecycledFolder(run, letter, showLog, total)) {
      if (!run.IsTest()) EmptyShellBin(run.Host().OwnerWindow(), root);
    } else {
      uint64_t items = 0, bytes = 0;
      if (QueryShellBin(root, items, bytes) && items > 0) {
        if (!run.IsTest()) {
          EmptyShellBin(run.Host().OwnerWindow(), root);
          uint64_t leftItems = 0, leftBytes = 0;
          QueryShellBin(root, leftItems, leftBytes);
          items = items > leftItems ? items - leftItems : 0;
          bytes = bytes > leftBytes ? bytes - leftBytes : 0;
        }
        if (items > 0 && showLog)
          run.AddDetailLine("deleting", "the recycle bin of " + root + " (" + std::to_string(items) + " items)", 50);
        run.ItemCount += (int)items;
        total += bytes;
      }
    }
    run.ItemBytes = total;
    run.ItemSizeText = FormatKB(run.ItemBytes);
  }
}

static void TempFilesCleaner(TCleanRun& run) {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, buf);
  if (n == 0 || n > MAX_PATH) return;
  const std::string temp = IncludeTrailingBackslash(Narrow(buf));
  // Without TMP and TEMP the system answers the user's profile or the Windows folder: neither is a
  // temporary folder, and emptying them would lose documents or break Windows. A folder that is
  // one of them, or holds one of them or the documents (which may live outside the profile), is
  // never emptied.
  const std::string windows = WindowsFolder();
  const std::string personal = run.GetPersonalFolder();
  // The profile as the system's temporary path falls back to it.
  wchar_t profileBuf[MAX_PATH + 1] = {};
  DWORD p = GetEnvironmentVariableW(L"USERPROFILE", profileBuf, MAX_PATH);
  const std::string profile = p > 0 && p < MAX_PATH ? Narrow(profileBuf) : std::string();
  // Compared in their long forms: the temporary path is often given in short (8.3) names.
  const std::string longTemp = UpperCase(LongForm(temp));
  for (const std::string& kept : {windows, profile, personal})
    if (!kept.empty() && StartsWith(UpperCase(LongForm(kept)), longTemp)) return;
  // The temporary folder itself stays; everything in it goes.
  run.ItemBytes = DeleteFolderTree(run, temp, false, true, "", run.ItemCount);
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

static void ClipboardCleaner(TCleanRun& run) {
  if (run.IsTest()) return;
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

static void MemoryDumpsCleaner(TCleanRun& run) {
  std::string windows = WindowsFolder();
  if (windows.empty()) return;
  windows = IncludeTrailingBackslash(windows);
  uint64_t bytes = DeleteFilesByMask(run, windows, "memory.dmp", run.ItemCount, false);
  bytes += DeleteFilesByMask(run, windows + "MiniDump", "*.dmp", run.ItemCount, false);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

static void ChkdskFragmentsCleaner(TCleanRun& run) {
  // On 64-bit Windows both system folders, the real System32 (which the x86 build sees only with
  // redirection off, here on this thread alone) and SysWOW64.
  TNativeFileSystemView native;
  uint64_t bytes = 0;
  for (const std::string& system : SystemFolders())
    bytes += DeleteFilesByMask(run, system, "File*.chk", run.ItemCount, false);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

const TItemFamily& WindowsItems() {
  static const TItemFamily family = {
      {2, 20, "Windows",
       {
           Cleaned("Recent Documents", RecentDocumentsCleaner),
           Cleaned("Start Run", StartRunCleaner),
           Cleaned("Search Assistant", SearchAssistantCleaner),
           Cleaned("Empty Recycle Bin", RecycleBinCleaner),
           Cleaned("Temporary Files", TempFilesCleaner),
           Cleaned("Clipboard", ClipboardCleaner),
           Cleaned("Memory Dumps", MemoryDumpsCleaner),
           Cleaned("Chkdsk File Fragments", ChkdskFragmentsCleaner),
           Defined("Windows Log Files", "Zelbrin.dat"),
       }},
  };
  return family;
}

}  // namespace qv
