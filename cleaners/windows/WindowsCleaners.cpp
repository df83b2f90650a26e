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
#include "engine/FolderGuard.h"
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

std::string HexText(uint32_t value) {
  char text[16];
  snprintf(text, sizeof(text), "%08X", value);
  return text;
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

// Empties the shell's bin of a drive; false (with the error) when the shell says it could not.
static bool EmptyShellBin(HWND owner, const std::string& root, HRESULT& result) {
  static const EmptyBinFn empty =
      reinterpret_cast<EmptyBinFn>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHEmptyRecycleBinW"));
  // No confirmation, no progress window, no sound.
  const DWORD kEmptyQuietly = 0x1 | 0x2 | 0x4;
  result = empty ? empty(owner, Widen(root).c_str(), kEmptyQuietly) : E_NOTIMPL;
  // An empty bin is no failure.
  return SUCCEEDED(result) || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == E_UNEXPECTED;
}

// The string form of the user's SID ("S-1-5-21-..."), which names the user's own bin folder.
static std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  std::vector<BYTE> buffer(256);
  DWORD needed = 0;
  std::string sid;
  if (!GetTokenInformation(token, TokenUser, buffer.data(), (DWORD)buffer.size(), &needed) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(needed);
  }
  if (GetTokenInformation(token, TokenUser, buffer.data(), (DWORD)buffer.size(), &needed)) {
    using ToStringFn = BOOL(WINAPI*)(PSID, LPWSTR*);
    static const auto toString =
        reinterpret_cast<ToStringFn>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "ConvertSidToStringSidW"));
    LPWSTR text = nullptr;
    if (toString && toString(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text) && text) {
      sid = Narrow(text);
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return sid;
}

// A bin the shell keeps as a folder of the drive: the steps to it below the drive's root, and the
// shell's own files in it, which stay.
struct TBinFolder {
  std::vector<std::string> Below;
  std::vector<std::string> Keep;
  bool HasIndex = false;  // INFO2: the shell's index of what the bin holds, tidied by the shell
};

// The bins of the user on a drive that the walk empties itself: the "Recycled" folder of the
// oldest systems (with its INFO2 and desktop.ini), and the user's own folder of the later ones
// (RECYCLER\<SID>, $Recycle.Bin\<SID>).
static std::vector<TBinFolder> BinFoldersOf(const std::string& root, UINT type, const std::string& sid) {
  std::vector<TBinFolder> bins;
  // Only a bin the shell manages (it holds both its index and its desktop.ini) is looked into; the
  // oldest systems keep one on fixed drives only.
  if (type == DRIVE_FIXED && FileExists(root + "Recycled\\INFO2") && FileExists(root + "Recycled\\desktop.ini"))
    bins.push_back({{"Recycled"}, {"desktop.ini", "INFO2"}, true});
  if (!sid.empty()) {
    if (DirectoryExists(root + "RECYCLER\\" + sid)) bins.push_back({{"RECYCLER", sid}, {"desktop.ini", "INFO2"}, true});
    if (DirectoryExists(root + "$Recycle.Bin\\" + sid)) bins.push_back({{"$Recycle.Bin", sid}, {"desktop.ini"}, false});
  }
  return bins;
}

static void RecycleBinCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogRecycleBin;
  if (!run.IsTest() && !showLog) run.AddLogLine(std::string("Clearing") + ", " + "please wait...");

  const std::string sid = CurrentUserSid();
  uint64_t total = 0;
  for (char letter = 'c'; letter <= 'z'; ++letter) {
    if (run.Terminated()) break;
    const std::string root = std::string(1, letter) + ":\\";
    const UINT type = RecycleBinDriveType(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    const std::vector<TBinFolder> bins = BinFoldersOf(root, type, sid);
    // A bin folder of the drive's: emptied by the walk, file by file, links never followed, the
    // shell's own files left; the bin folder itself is reached through the root, never through a
    // link. The shell then tidies the index of a bin that has one, once nothing stayed.
    const unsigned leftBefore = run.LeftCount();
    bool indexed = false;
    for (const TBinFolder& bin : bins) {
      TWalkTarget target;
      target.Folder = root;
      target.Below = bin.Below;
      TWalkRules rules;
      rules.Kind = wkTree;
      rules.Log = showLog;
      rules.KeepNames = bin.Keep;
      total += WalkAndRemove(run, target, rules, run.ItemCount);
      indexed = indexed || bin.HasIndex;
    }
    if (!bins.empty()) {
      if (indexed && !run.IsTest() && run.LeftCount() == leftBefore) {
        HRESULT result = S_OK;
        TRedirectedFileSystemView usual;
        if (!EmptyShellBin(run.Host().OwnerWindow(), root, result)) {
          run.NoteLeft();
          run.AddLogLine(run.LogPrefix + "the shell could not tidy the recycle bin of " + root + " (error 0x" +
                         HexText((uint32_t)result) + ")");
        }
      }
    } else {
      // Any other bin is what the shell reports for the drive (its files lie where no folder of the
      // drive holds them): a Test counts it, a Clean empties it and counts what went, so that the
      // two agree, and says what stayed.
      uint64_t items = 0, bytes = 0;
      if (QueryShellBin(root, items, bytes) && items > 0) {
        uint64_t leftItems = 0, leftBytes = 0;
        if (!run.IsTest()) {
          HRESULT result = S_OK;
          const bool emptied = EmptyShellBin(run.Host().OwnerWindow(), root, result);
          if (!QueryShellBin(root, leftItems, leftBytes)) leftItems = emptied ? 0 : items, leftBytes = emptied ? 0 : bytes;
          if (!emptied || leftItems > 0) {
            run.NoteLeft();
            run.AddLogLine(run.LogPrefix + "the recycle bin of " + root + " could not be emptied: " +
                           std::to_string(leftItems) + " items stayed" +
                           (emptied ? std::string() : " (error 0x" + HexText((uint32_t)result) + ")"));
          }
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
  if (n == 0 || n > MAX_PATH) {
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + "the system names no temporary folder");
    return;
  }
  const std::string temp = IncludeTrailingBackslash(Narrow(buf));
  // Without TMP and TEMP the system answers the user's profile or the Windows folder: neither is a
  // temporary folder, and emptying them would lose documents or break Windows. A folder that is
  // one of them, or holds one of them or the documents (which may live outside the profile), is
  // never emptied. Compared by what the system says of each folder, whatever its spelling.
  wchar_t profileBuf[MAX_PATH + 1] = {};
  DWORD p = GetEnvironmentVariableW(L"USERPROFILE", profileBuf, MAX_PATH);
  const std::string profile = p > 0 && p < MAX_PATH ? Narrow(profileBuf) : std::string();
  const std::vector<std::string> kept = {WindowsFolder(), profile, run.GetPersonalFolder(),
                                         ShellFolderPath(CSIDL_PROFILE, nullptr)};
  TNativeFileSystemView native;
  TFolderIdentity tempId;
  if (IdentifyFolder(temp, tempId) == fvFolder && tempId.Opened()) {
    for (const std::string& folder : kept) {
      TFolderIdentity id;
      if (folder.empty() || IdentifyFolder(folder, id) != fvFolder || !id.Opened()) continue;
      if (id.Within(tempId)) {
        run.NoteLeft();
        run.AddLogLine(run.LogPrefix + "refusing the temporary folder " + temp + ": it is or holds " + id.Text);
        return;
      }
    }
  }
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
