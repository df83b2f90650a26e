// File and folder removal of a clean run: one file (with the optional overwrite), a
// folder tree, the files of a folder that match a mask, and the rename section of Wininit.ini.
//
// Links are handled so that nothing behind them is ever touched:
// - a folder that is a reparse point (junction, symbolic link, mount point) is never entered; in a
//   Clean only the link itself is removed, like an emptied folder, and like a folder it is neither
//   counted nor logged;
// - a Clean deletes a file through a handle of the entry itself, after comparing the handle's
//   resolved path with the path the entry was listed under. Under Wine a symbolic link made on the
//   host resolves to its target whatever the flags, so deleting or overwriting "it" would hit the
//   target: such an entry is left alone, not logged and not counted;
// - the overwrite never writes through a link and never overwrites a file with other hard links.
#include "engine/FileRemoval.h"

#include <shellapi.h>

#include <atomic>
#include <random>
#include <stdexcept>

#include "base/Global.h"
#include "base/PathSpelling.h"
#include "base/Settings.h"
#include "engine/CleanRun.h"
#include "engine/FolderGuard.h"

namespace qv {

namespace {

std::atomic<int> g_deleteMethod{fdmChecked};

// Vista and later; looked up so that the program still starts on Windows XP.
using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using SetFileInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

struct TFileBasicInfo {
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  DWORD FileAttributes;
};
struct TFileDispositionInfo {
  BOOLEAN DeleteFile;
};
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

GetFinalPathFn FinalPathApi() {
  static GetFinalPathFn fn =
      reinterpret_cast<GetFinalPathFn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW"));
  return fn;
}

SetFileInfoFn SetFileInfoApi() {
  static SetFileInfoFn fn =
      reinterpret_cast<SetFileInfoFn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle"));
  return fn;
}

std::wstring UpperW(std::wstring w) {
  if (!w.empty()) CharUpperBuffW(&w[0], (DWORD)w.size());
  return w;
}

std::wstring StripLongPrefix(const std::wstring& p) {
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + p.substr(8);
  if (p.compare(0, 4, L"\\\\?\\") == 0) return p.substr(4);
  return p;
}

// A folder as CreateFileW opens it: no trailing backslash except for a drive root.
std::wstring FolderForOpen(const std::string& folder) {
  std::string f = folder;
  if (f.size() > 3 && f.back() == '\\') f.pop_back();
  return ToWinPath(f);
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when the open handle h is not the entry `path` itself (see the top of the file).
bool HandleIsResolvedLink(HANDLE h, const std::string& path, const std::wstring& parentFinal) {
  std::wstring final = FinalPathOfHandle(h);
  if (final.empty()) return false;
  std::wstring parent = parentFinal.empty() ? FinalPathOfFolder(ParentOf(path)) : parentFinal;
  if (parent.empty()) return false;
  if (final == parent + L"\\" + UpperW(Widen(NameOf(path)))) return false;
  // The path may give the entry's short name.
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(ToWinPath(path).c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    FindClose(f);
    if (final == parent + L"\\" + UpperW(fd.cFileName)) return false;
  }
  return true;
}

// Deletes the file open as h (opened with DELETE and FILE_WRITE_ATTRIBUTES), clearing read-only
// when that is what stops it.
bool DisposeHandle(HANDLE h, DWORD attributes) {
  SetFileInfoFn setInfo = SetFileInfoApi();
  TFileDispositionInfo dispose = {TRUE};
  if (setInfo(h, kFileDispositionInfo, &dispose, sizeof(dispose))) return true;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  TFileBasicInfo basic = {};
  basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!setInfo(h, kFileBasicInfo, &basic, sizeof(basic))) return false;
  if (setInfo(h, kFileDispositionInfo, &dispose, sizeof(dispose))) return true;
  basic.FileAttributes = attributes;
  setInfo(h, kFileBasicInfo, &basic, sizeof(basic));
  return false;
}

bool PlainDelete(const std::wstring& wp) {
  if (DeleteFileW(wp.c_str())) return true;
  DWORD a = GetFileAttributesW(wp.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) || !(a & FILE_ATTRIBUTE_READONLY)) return false;
  if (!SetFileAttributesW(wp.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) return false;
  if (DeleteFileW(wp.c_str())) return true;
  SetFileAttributesW(wp.c_str(), a);
  return false;
}

bool ShellDelete(const std::string& path) {
  std::wstring w = Widen(path);
  // The shell's file operation knows neither \\?\ paths nor paths past MAX_PATH.
  if (w.size() >= MAX_PATH - 1) return PlainDelete(ToWinPath(path));
  DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(w.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  std::wstring from = w;
  from.push_back(L'\0');  // the list ends with two zero characters
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  bool ok = SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
  if (!ok && (a & FILE_ATTRIBUTE_READONLY)) SetFileAttributesW(w.c_str(), a);
  return ok;
}

// Removes a folder that is a reparse point: the link only, never what it points at.
void RemoveFolderLink(const std::string& path, const std::wstring& parentFinal) {
  std::wstring wp = FolderForOpen(path);
  if (!SetFileInfoApi()) {
    // Windows XP: junctions are the only folder links and RemoveDirectory removes just the link.
    RemoveDirectoryW(wp.c_str());
    return;
  }
  HANDLE h = CreateFileW(wp.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !HandleIsResolvedLink(h, ExcludeTrailingBackslash(path), parentFinal))
    DisposeHandle(h, info.dwFileAttributes);
  CloseHandle(h);
}

struct TWalk {
  TWalk(TCleanRun& t, bool logLines, const std::string& keep, int& count)
      : thread(t), guard(t.FolderGuard()), log(logLines), keepName(keep), counter(count) {}
  TCleanRun& thread;
  const TFolderGuard& guard;
  bool log;
  std::string keepName;
  int& counter;
};

enum TAskKind { akTree, akMask };

void Refuse(TCleanRun& run, const std::string& what, const std::string& path) {
  run.AddLogLine(run.LogPrefix + what + " " + path);
}

// A mask that takes every file of a folder.
bool TakesEveryFile(const std::string& mask) { return mask == "*.*" || mask == "*"; }

// The refusal of a protected folder; true when the folder may be worked on.
bool PassesProtection(TWalk& w, const TFolderIdentity& id, TAskKind kind, const std::string& mask) {
  if (kind == akMask && !TakesEveryFile(mask)) return true;
  const std::string match = w.guard.ProtectedMatch(id);
  if (match.empty()) return true;
  Refuse(w.thread, "refusing to empty the protected folder", match);
  return false;
}

// The safety questions of a removal run; false when the user answers No. Each compares the
// folder's canonical identity and names the folder it matched.
bool PassesSafetyQuestions(TWalk& w, const TFolderIdentity& id, TAskKind kind, const std::string& mask) {
  if (w.thread.IsTest()) return true;
  auto treeText = [](const std::string& dir) { return "Do you want to delete all files and folders under " + dir + "?"; };
  auto filesText = [](const std::string& dir) { return "Do you want to delete the files on " + dir + "?"; };
  if (kind == akTree || mask.empty() || Contains(mask, "*")) {
    const std::string root = w.guard.DriveRootMatch(id);
    if (!root.empty() && !w.thread.AskYesNo(treeText(root))) return false;
  }
  for (const std::string& match : {w.guard.DocumentsMatch(id), w.guard.MyPicturesMatch(id)})
    if (!match.empty() && !w.thread.AskYesNo(kind == akTree ? treeText(match) : filesText(match))) return false;
  return true;
}

}  // namespace

void SetFileDeleteMethod(TFileDeleteMethod method) { g_deleteMethod = method; }
TFileDeleteMethod GetFileDeleteMethod() { return (TFileDeleteMethod)g_deleteMethod.load(); }

std::wstring FinalPathOfHandle(HANDLE h) {
  GetFinalPathFn fn = FinalPathApi();
  if (!fn) return std::wstring();
  std::wstring buf(MAX_PATH + 1, L'\0');
  DWORD n = fn(h, &buf[0], (DWORD)buf.size(), 0);
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = fn(h, &buf[0], (DWORD)buf.size(), 0);
  }
  if (n == 0 || n >= buf.size()) return std::wstring();
  buf.resize(n);
  std::wstring p = StripLongPrefix(buf);
  if (!p.empty() && p.back() == L'\\') p.pop_back();
  return UpperW(p);
}

std::wstring FinalPathOfFolder(const std::string& folder) {
  if (!FinalPathApi() || folder.empty()) return std::wstring();
  HANDLE h = CreateFileW(FolderForOpen(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring final = FinalPathOfHandle(h);
  CloseHandle(h);
  return final;
}

bool IsResolvedLink(const std::string& path, const std::wstring& parentFinal) {
  if (!FinalPathApi()) return false;
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool resolved = HandleIsResolvedLink(h, path, parentFinal);
  CloseHandle(h);
  return resolved;
}

bool IsLinkEntry(const std::string& path) {
  DWORD attributes = GetFileAttributesW(ToWinPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsResolvedLink(path);
}

// A listed name that ends in a dot or a space (made on the host, or through a \\?\ path) cannot be
// reached by its name: the system trims it and would open its neighbour, "index.dat." becoming
// "index.dat" (perhaps the name to keep, or a file the mask does not take). Such an entry is left
// alone, in a Test as in a Clean.
bool IsReachableName(const std::string& name) { return !IsTrimmedName(name); }

static HANDLE OpenForDelete(const std::wstring& wp) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open: only files get this far.
  return CreateFileW(wp.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Removes one file: the shared body of DeleteOneFile and the walks, which know the resolved path
// of the folder (parentFinal) and the listed attributes of the file.
//
// A Test logs and counts every file it is given, as a dry run must; like a locked
// file, a link that the Clean then refuses to touch (see the top) is counted by the Test only.
// Checking that in a Test would cost an open of every file.
static bool RemoveFileEntry(TCleanRun& t, const std::string& path, bool log, const std::wstring& parentFinal,
                            DWORD attributes) {
  if (t.IsTest()) {
    if (log) t.AddDetailLine("deleting", path, 50);
    return true;
  }
  const TFileDeleteMethod method = GetFileDeleteMethod();
  const std::wstring wp = ToWinPath(path);
  const bool overwrite = OptionsSetting.OverwriteFile;
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = GetFileAttributesW(wp.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = 0;

  // The "deleting" line is written for a file that went; one that stayed (locked, refused, a name
  // the system cannot open) gets a line of its own and is not counted.
  auto report = [&](bool removed) {
    if (!log) return removed;
    if (removed)
      t.AddDetailLine("deleting", path, 50);
    else
      t.AddNotRemovedLine(path, 50);
    return removed;
  };
  if (method == fdmChecked && SetFileInfoApi()) {
    // The handle that deletes is the one checked: the entry itself, not what a link resolves to.
    HANDLE h = OpenForDelete(wp);
    if (h == INVALID_HANDLE_VALUE) return report(false);
    if (HandleIsResolvedLink(h, path, parentFinal)) {
      CloseHandle(h);
      return false;
    }
    DWORD current = attributes;
    if (overwrite && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // The overwrite needs the file to itself; it checks the entry again on its own handle.
      CloseHandle(h);
      if ((attributes & FILE_ATTRIBUTE_READONLY) &&
          SetFileAttributesW(wp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        current = attributes & ~FILE_ATTRIBUTE_READONLY;
      if (!IsFileLocked(path)) OverwriteFileContents(t, path, OptionsSetting.OverwriteNumber);
      h = OpenForDelete(wp);
      if (h != INVALID_HANDLE_VALUE && HandleIsResolvedLink(h, path, parentFinal)) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
      }
    }
    bool ok = h != INVALID_HANDLE_VALUE && DisposeHandle(h, current);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!ok && current != attributes) SetFileAttributesW(wp.c_str(), attributes);
    return report(ok);
  }

  // The plain and the shell call (and Windows XP, which has no links to files).
  bool clearedReadOnly = false;
  if (overwrite && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(wp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
      clearedReadOnly = true;
    if (!IsFileLocked(path)) OverwriteFileContents(t, path, OptionsSetting.OverwriteNumber);
  }
  bool ok = method == fdmShell ? ShellDelete(path) : PlainDelete(wp);
  if (!ok && clearedReadOnly) SetFileAttributesW(wp.c_str(), attributes);
  return report(ok);
}

bool DeleteOneFile(TCleanRun& run, const std::string& path, bool log) {
  if (ReadPathSpelling(path).Form == pfDevice) {
    Refuse(run, "refusing the device path", path);
    return false;
  }
  // The system would trim the name and reach a neighbour ("desktop.ini " is desktop.ini).
  const size_t slash = path.find_last_of("\\/");
  if (IsTrimmedName(slash == std::string::npos ? path : path.substr(slash + 1))) return false;
  // A file primitive never takes a folder, in a Test as in a Clean.
  DWORD attributes = GetFileAttributesW(ToWinPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return RemoveFileEntry(run, path, log, std::wstring(), attributes);
}

bool IsFileLocked(const std::string& path) {
  if (!FileExists(path)) return false;
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
}

void OverwriteFileContents(TCleanRun& run, const std::string& path, int passes) {
  const std::wstring wp = ToWinPath(path);
  DWORD attributes = GetFileAttributesW(wp.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return;
  std::minstd_rand& random = run.Random();
  static const DWORD kBlock = 4096;
  BYTE buffer[kBlock];
  for (int pass = 1; pass <= passes; ++pass) {
    memset(buffer, (int)(random() % 255), kBlock);
    HANDLE h = CreateFileW(wp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    // Never through a link, and never a file whose data lives on under another name.
    BY_HANDLE_FILE_INFORMATION info = {};
    LARGE_INTEGER size = {};
    if (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks > 1 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || HandleIsResolvedLink(h, path, std::wstring()) ||
        !GetFileSizeEx(h, &size) || size.QuadPart >= (LONGLONG)1 << 31) {
      CloseHandle(h);
      return;
    }
    bool ok = SetFilePointer(h, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    for (LONGLONG left = size.QuadPart; ok && left > 0;) {
      DWORD chunk = left < kBlock ? (DWORD)left : kBlock;
      DWORD written = 0;
      ok = ::WriteFile(h, buffer, chunk, &written, nullptr) && written == chunk;
      left -= chunk;
    }
    if (ok) FlushFileBuffers(h);
    CloseHandle(h);
    if (!ok) return;
  }
}

// The checks at the entry of DeleteFolderTree and DeleteFilesByMask, before any question.
enum TEntry { enWalk, enSkip, enListedLink };

static TEntry CheckEntry(TCleanRun& run, const std::string& folder, TFolderOrigin origin, std::string& dir,
                         TFolderIdentity& id) {
  if (run.Terminated() || folder == "\\") return enSkip;
  // Recognised from the text, before anything touches the path.
  if (ReadPathSpelling(IncludeTrailingBackslash(folder)).Form == pfDevice) {
    Refuse(run, "refusing the device path", folder);
    return enSkip;
  }
  if (!DirectoryExists(folder)) return enSkip;
  switch (IdentifyFolder(folder, id, &dir)) {
    case fvDevicePath:
      Refuse(run, "refusing the device path", folder);
      return enSkip;
    case fvUnresolvedShare:
      Refuse(run, "refusing the unchecked local share", folder);
      return enSkip;
    case fvFolder:
      break;
  }
  if (origin == foListed && IsLinkEntry(ExcludeTrailingBackslash(dir))) return enListedLink;
  return enWalk;
}

// A listed subfolder that is a link (a reparse point, or an entry the platform resolves elsewhere
// although it does not say so): it is never entered.
static bool IsListedFolderLink(const WIN32_FIND_DATAW& fd, const std::string& full, const TFolderIdentity& parent) {
  if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  return !parent.Final.empty() && IsResolvedLink(full, parent.Final);
}

// DeleteFolderTree below the checks of its entry: lists dir (with a trailing backslash, identified
// as id) and removes what it holds.
static uint64_t EmptyFolder(TWalk& w, const std::string& dir, const TFolderIdentity& id, bool removeTop) {
  TCleanRun& t = w.thread;
  // The resolved path of the folder, which every file entry's handle is compared with.
  const std::wstring& parentFinal = id.Final;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return 0;
  uint64_t bytes = 0;
  do {
    if (t.Terminated()) break;
    const std::string name = Narrow(fd.cFileName);
    if (!IsReachableName(name)) continue;  // also "." and ".."
    const std::string full = dir + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsListedFolderLink(fd, full, id)) {
        if (!t.IsTest()) RemoveFolderLink(full, parentFinal);
        continue;
      }
      const TFolderIdentity child = id.Child(name);
      if (!PassesProtection(w, child, akTree, std::string()) ||
          !PassesSafetyQuestions(w, child, akTree, std::string()))
        continue;
      bytes += EmptyFolder(w, full + "\\", child, true);
      continue;
    }
    if (!w.keepName.empty() && SameText(name, w.keepName)) continue;
    if (RemoveFileEntry(t, full, w.log, parentFinal, fd.dwFileAttributes)) {
      ++w.counter;
      bytes += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
      if (t.ProgressDue()) t.PostProgress((uint32_t)(t.TotalCount + w.counter));
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  if (removeTop && !t.IsTest()) RemoveDirectoryW(FolderForOpen(dir).c_str());
  return bytes;
}

uint64_t DeleteFolderTree(TCleanRun& run, const std::string& folder, bool removeTop, bool log,
                          const std::string& keepName, int& counter, TFolderOrigin origin) {
  std::string dir;
  TFolderIdentity id;
  switch (CheckEntry(run, folder, origin, dir, id)) {
    case enSkip:
      return 0;
    case enListedLink:
      // Found by listing: removed as a link at most, never entered, never counted.
      if (removeTop && !run.IsTest()) RemoveFolderLink(dir, std::wstring());
      return 0;
    case enWalk:
      break;
  }
  TWalk w(run, log, keepName, counter);
  if (!PassesProtection(w, id, akTree, std::string()) || !PassesSafetyQuestions(w, id, akTree, std::string()))
    return 0;
  DWORD attributes = GetFileAttributesW(FolderForOpen(dir).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // The folder the caller names is emptied even when it is a link; removing it removes the link.
    uint64_t bytes = EmptyFolder(w, dir, id, false);
    if (removeTop && !run.IsTest()) RemoveFolderLink(dir, std::wstring());
    return bytes;
  }
  return EmptyFolder(w, dir, id, removeTop);
}

// The mask rule: "*.*" takes every file; a mask without "*" (whole, upper-cased, in prefix) takes
// the name it spells, ignoring case; otherwise the name begins with the part before the first "*"
// and ends with the part after it (ignoring case).
static bool MaskMatches(const std::string& mask, const std::string& prefix, const std::string& suffix, bool hasStar,
                        const std::string& name) {
  if (mask == "*.*") return true;
  const std::string upper = UpperCase(name);
  if (!hasStar) return upper == prefix;
  // The two parts may not overlap: "a*a" does not take "a".
  if (upper.size() < prefix.size() + suffix.size()) return false;
  return StartsWith(upper, prefix) && EndsWith(upper, suffix);
}

static uint64_t DeleteByMask(TWalk& w, const std::string& dir, const TFolderIdentity& id, const std::string& mask,
                             const std::string& prefix, const std::string& suffix, bool hasStar, bool recurse) {
  TCleanRun& t = w.thread;
  const std::wstring& parentFinal = id.Final;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return 0;
  uint64_t bytes = 0;
  do {
    if (t.Terminated()) break;
    const std::string name = Narrow(fd.cFileName);
    if (!IsReachableName(name)) continue;  // also "." and ".."
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!recurse || IsListedFolderLink(fd, dir + name, id)) continue;
      const TFolderIdentity child = id.Child(name);
      if (!PassesProtection(w, child, akMask, mask) || !PassesSafetyQuestions(w, child, akMask, mask)) continue;
      bytes += DeleteByMask(w, dir + name + "\\", child, mask, prefix, suffix, hasStar, recurse);
      continue;
    }
    if (!MaskMatches(mask, prefix, suffix, hasStar, name)) continue;
    if (RemoveFileEntry(t, dir + name, true, parentFinal, fd.dwFileAttributes)) {
      ++w.counter;
      bytes += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
      if (t.ProgressDue()) t.PostProgress((uint32_t)(t.TotalCount + w.counter));
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return bytes;
}

uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse, TFolderOrigin origin) {
  std::string dir;
  TFolderIdentity id;
  if (CheckEntry(run, folder, origin, dir, id) != enWalk) return 0;
  TWalk w(run, true, std::string(), counter);
  if (!PassesProtection(w, id, akMask, mask) || !PassesSafetyQuestions(w, id, akMask, mask)) return 0;
  size_t star = mask.find('*');
  std::string prefix = UpperCase(star == std::string::npos ? mask : mask.substr(0, star));
  std::string suffix = star == std::string::npos ? std::string() : UpperCase(mask.substr(star + 1));
  return DeleteByMask(w, dir, id, mask, prefix, suffix, star != std::string::npos, recurse);
}

static std::string FromAnsi(const std::string& s) {
  if (s.empty()) return s;
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), &w[0], n);
  return Narrow(w);
}

static std::string ToAnsi(const std::string& s) {
  std::wstring w = Widen(s);
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string a(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), (int)w.size(), &a[0], n, nullptr, nullptr);
  return a;
}

void ScheduleWininitRename(TCleanRun& run, const std::vector<std::string>& lines) {
  if (run.IsTest()) return;
  wchar_t windows[MAX_PATH + 1] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string path = IncludeTrailingBackslash(Narrow(windows)) + "Wininit.ini";

  // The file is an ANSI text of the system's code page.
  std::vector<std::string> content;
  if (FileExists(path)) {
    HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("Unable to read " + path);
    std::string raw;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) raw.append(buf, got);
    CloseHandle(h);
    size_t start = 0;
    while (start < raw.size()) {
      size_t end = raw.find('\n', start);
      if (end == std::string::npos) end = raw.size();
      std::string line = raw.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      content.push_back(FromAnsi(line));
      start = end + 1;
    }
  }

  size_t header = content.size();
  for (size_t i = 0; i < content.size(); ++i)
    if (SameText(content[i], "[RENAME]")) {
      header = i;
      break;
    }
  if (header < content.size()) {
    for (const std::string& line : lines) content.insert(content.begin() + (ptrdiff_t)header + 1, line);
  } else {
    content.push_back("[rename]");
    content.insert(content.end(), lines.begin(), lines.end());
  }

  std::string out;
  for (const std::string& line : content) out += ToAnsi(line) + "\r\n";
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("Unable to write to " + path);
  DWORD written = 0;
  bool ok = ::WriteFile(h, out.data(), (DWORD)out.size(), &written, nullptr) && written == out.size();
  CloseHandle(h);
  if (!ok) throw std::runtime_error("Unable to write to " + path);
}

}  // namespace qv
