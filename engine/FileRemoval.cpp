// File and folder removal of a clean run: one file (with the optional overwrite), a
// folder tree and the files of a folder that match a mask.
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
//
// The walks keep their own stack of folders rather than recursing, so no depth of folders the
// system can reach exhausts the worker's stack. A folder is opened once to be checked and listed,
// and its entries are read whole. Its handle stays open while the walk is below it: what it holds
// (files, subfolders, and the subfolders themselves once emptied) is opened by name relative to
// that handle, so no open parses the whole path again, whatever the depth. Names stay in the
// system's wide form on the way from the listing to the delete call; the UTF-8 text of a path is
// made only for a log line or for the overwrite.
#include "engine/FileRemoval.h"

#include <shellapi.h>
#include <winternl.h>

#include <atomic>
#include <memory>
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
using GetFileInfoExFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
// In every ntdll.
using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);

struct TFileBasicInfo {
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  DWORD FileAttributes;
};
struct TFileDispositionInfo {
  BOOLEAN DeleteFile;
};
// FILE_ID_BOTH_DIR_INFO, the entries of a folder read through its handle.
struct TFileIdBothDirInfo {
  DWORD NextEntryOffset;
  DWORD FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  LARGE_INTEGER EndOfFile, AllocationSize;
  DWORD FileAttributes;
  DWORD FileNameLength;
  DWORD EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;
constexpr int kFileIdBothDirectoryInfo = 10;
constexpr int kFileIdBothDirectoryRestartInfo = 11;
constexpr int kObjectNameInformation = 1;
// NtCreateFile's disposition and options.
constexpr ULONG kNtFileOpen = 1;
constexpr ULONG kNtDirectoryFile = 0x00000001;
constexpr ULONG kNtSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kNtNonDirectoryFile = 0x00000040;
constexpr ULONG kNtOpenForBackupIntent = 0x00004000;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Wide paths from this length on take the \\?\ prefix (as ToWinPath gives them).
constexpr size_t kLongPath = MAX_PATH - 12;

FARPROC Kernel32Proc(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name); }

GetFinalPathFn FinalPathApi() {
  static GetFinalPathFn fn = reinterpret_cast<GetFinalPathFn>(Kernel32Proc("GetFinalPathNameByHandleW"));
  return fn;
}

SetFileInfoFn SetFileInfoApi() {
  static SetFileInfoFn fn = reinterpret_cast<SetFileInfoFn>(Kernel32Proc("SetFileInformationByHandle"));
  return fn;
}

GetFileInfoExFn GetFileInfoExApi() {
  static GetFileInfoExFn fn = reinterpret_cast<GetFileInfoExFn>(Kernel32Proc("GetFileInformationByHandleEx"));
  return fn;
}

NtQueryObjectFn NtQueryObjectApi() {
  static NtQueryObjectFn fn =
      reinterpret_cast<NtQueryObjectFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject"));
  return fn;
}

NtCreateFileFn NtCreateFileApi() {
  static NtCreateFileFn fn =
      reinterpret_cast<NtCreateFileFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile"));
  return fn;
}

// Opens the entry `name` of the folder open as `folder`, by that name alone: the entry itself (a
// link is opened as the link), for synchronous calls. INVALID_HANDLE_VALUE when it cannot be
// opened, with the system's error set.
HANDLE OpenInFolder(HANDLE folder, const wchar_t* name, size_t nameLength, ACCESS_MASK access, ULONG options) {
  NtCreateFileFn create = NtCreateFileApi();
  if (!create || nameLength == 0 || nameLength * sizeof(WCHAR) > 0xFFFE) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name);
  text.Length = text.MaximumLength = (USHORT)(nameLength * sizeof(WCHAR));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE h = nullptr;
  const LONG status = create(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, kNtFileOpen,
                             options | kNtOpenReparsePoint | kNtSynchronousIoNonAlert, nullptr, 0);
  if (status < 0) {
    using ToDosErrorFn = ULONG(NTAPI*)(LONG);
    static ToDosErrorFn toDos =
        reinterpret_cast<ToDosErrorFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError"));
    SetLastError(toDos ? toDos(status) : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

// A handle closed when it goes out of scope.
struct THandle {
  HANDLE H = INVALID_HANDLE_VALUE;
  THandle() = default;
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() { Close(); }
  void Close() {
    if (H != INVALID_HANDLE_VALUE) CloseHandle(H);
    H = INVALID_HANDLE_VALUE;
  }
  bool Valid() const { return H != INVALID_HANDLE_VALUE; }
};

std::wstring UpperW(std::wstring w) {
  if (!w.empty()) CharUpperBuffW(&w[0], (DWORD)w.size());
  return w;
}

// The \\?\ (or \\?\UNC\) prefix taken off a path given by the system.
size_t LongPrefixLength(const wchar_t* p, size_t n) {
  if (n >= 8 && wcsncmp(p, L"\\\\?\\UNC\\", 8) == 0) return 8;
  if (n >= 4 && wcsncmp(p, L"\\\\?\\", 4) == 0) return 4;
  return 0;
}

std::wstring StripLongPrefix(const std::wstring& p) {
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + p.substr(8);
  if (p.compare(0, 4, L"\\\\?\\") == 0) return p.substr(4);
  return p;
}

// A wide path as the wide calls take it: the plain text, with the \\?\ prefix once it is long.
void MakeWinPath(std::wstring& out, const std::wstring& plainDir, const wchar_t* name, size_t nameLength) {
  out.clear();
  if (plainDir.size() + nameLength >= kLongPath) {
    if (plainDir.compare(0, 2, L"\\\\") == 0) {
      out.append(L"\\\\?\\UNC\\");
      out.append(plainDir, 2, std::wstring::npos);
    } else {
      out.append(L"\\\\?\\");
      out.append(plainDir);
    }
  } else {
    out.append(plainDir);
  }
  out.append(name, nameLength);
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

// The name of an open handle as the system's object name gives it, in the final-path form
// ("C:\...", "\\server\share\...", "unix\..." for a host path no drive reaches); empty when it is
// in another form. For paths that the final-path call cannot give (Wine gives none past MAX_PATH).
std::wstring ObjectDosName(HANDLE h) {
  NtQueryObjectFn query = NtQueryObjectApi();
  if (!query) return std::wstring();
  std::vector<BYTE> buffer(sizeof(UNICODE_STRING) + 4096);
  ULONG needed = 0;
  LONG status = query(h, kObjectNameInformation, buffer.data(), (ULONG)buffer.size(), &needed);
  if (status < 0 && needed > buffer.size() && needed < (1u << 20)) {
    buffer.resize(needed + sizeof(WCHAR));
    status = query(h, kObjectNameInformation, buffer.data(), (ULONG)buffer.size(), &needed);
  }
  if (status < 0) return std::wstring();
  const UNICODE_STRING* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  if (!name->Buffer) return std::wstring();
  std::wstring n(name->Buffer, name->Length / sizeof(WCHAR));
  if (n.compare(0, 8, L"\\??\\UNC\\") == 0) return L"\\\\" + n.substr(8);
  if (n.compare(0, 4, L"\\??\\") == 0) return n.substr(4);
  return std::wstring();
}

// The resolved path of an open handle, upper-cased, without any \\?\ prefix or trailing
// backslash, written into out (reused, so the walks make no allocation for it). False when the
// system cannot give it.
bool FinalPathInto(HANDLE h, std::wstring& out) {
  GetFinalPathFn fn = FinalPathApi();
  out.clear();
  if (!fn) return false;
  wchar_t small[MAX_PATH + 1];
  DWORD n = fn(h, small, MAX_PATH + 1, 0);
  if (n > 0 && n <= MAX_PATH) {
    size_t skip = LongPrefixLength(small, n);
    if (skip == 8) out.append(L"\\\\");
    out.append(small + skip, n - skip);
  } else if (n > MAX_PATH) {
    std::wstring big(n + 1, L'\0');
    n = fn(h, &big[0], (DWORD)big.size(), 0);
    if (n == 0 || n >= big.size()) return false;
    big.resize(n);
    out = StripLongPrefix(big);
  } else {
    // Wine's final-path call gives nothing past MAX_PATH; its object name gives the same form.
    out = ObjectDosName(h);
  }
  if (out.empty()) return false;
  if (out.back() == L'\\') out.pop_back();
  CharUpperBuffW(&out[0], (DWORD)out.size());
  return true;
}

// True when final is parent + "\" + name (name compared upper-cased).
bool IsChildPath(const std::wstring& final, const std::wstring& parent, const wchar_t* name, size_t nameLength) {
  if (final.size() != parent.size() + 1 + nameLength) return false;
  if (final.compare(0, parent.size(), parent) != 0 || final[parent.size()] != L'\\') return false;
  wchar_t small[MAX_PATH];
  std::wstring big;
  wchar_t* upper = small;
  if (nameLength > MAX_PATH) {
    big.assign(name, nameLength);
    upper = &big[0];
  } else {
    wmemcpy(small, name, nameLength);
  }
  if (nameLength) CharUpperBuffW(upper, (DWORD)nameLength);
  return final.compare(parent.size() + 1, nameLength, upper, nameLength) == 0;
}

// True when an entry opened as winPath, whose handle resolved to final, is not the entry itself
// (see the top of the file): final is not the folder's resolved path (parentFinal, looked up from
// parentPath when empty) and the entry's name. A path that gives a short name is looked up for its
// long one.
bool ResolvesElsewhere(const std::wstring& final, const wchar_t* name, size_t nameLength,
                       const std::wstring& parentFinal, const std::string& parentPath, const std::wstring& winPath) {
  const std::wstring& scratch = final;
  std::wstring looked;
  const std::wstring* parent = &parentFinal;
  if (parentFinal.empty()) {
    looked = FinalPathOfFolder(parentPath);
    parent = &looked;
  }
  if (parent->empty()) return false;
  if (IsChildPath(scratch, *parent, name, nameLength)) return false;
  // The path may give the entry's short name (an entry opened by its listed name has none to give).
  if (winPath.empty()) return true;
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(winPath.c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    FindClose(f);
    if (IsChildPath(scratch, *parent, fd.cFileName, wcslen(fd.cFileName))) return false;
  }
  return true;
}

// True when the open handle h is not the entry itself (ResolvesElsewhere); false when the system
// cannot trace the handle to a path.
bool HandleIsResolvedLink(HANDLE h, const wchar_t* name, size_t nameLength, const std::wstring& parentFinal,
                          const std::string& parentPath, const std::wstring& winPath, std::wstring& scratch) {
  return FinalPathInto(h, scratch) && ResolvesElsewhere(scratch, name, nameLength, parentFinal, parentPath, winPath);
}

bool HandleIsResolvedLink(HANDLE h, const std::string& path, const std::wstring& parentFinal) {
  const std::wstring name = Widen(NameOf(path));
  std::wstring scratch;
  return HandleIsResolvedLink(h, name.c_str(), name.size(), parentFinal, ParentOf(path), ToWinPath(path), scratch);
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

bool ShellDelete(const std::wstring& winPath) {
  const size_t skip = LongPrefixLength(winPath.c_str(), winPath.size());
  std::wstring w = skip == 8 ? L"\\\\" + winPath.substr(8) : winPath.substr(skip);
  // The shell's file operation knows neither \\?\ paths nor paths past MAX_PATH.
  if (w.size() >= MAX_PATH - 1) return PlainDelete(winPath);
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

// The entries of one folder, read whole: names in one buffer.
struct TEntryList {
  struct Entry {
    size_t NameOffset, NameLength;
    DWORD Attributes;
    uint64_t Size;
  };
  std::wstring Names;
  std::vector<Entry> Entries;
  void Add(const wchar_t* name, size_t length, DWORD attributes, uint64_t size) {
    Entries.push_back({Names.size(), length, attributes, size});
    Names.append(name, length);
  }
  const wchar_t* Name(const Entry& e) const { return Names.data() + e.NameOffset; }
};

enum TListResult { lrListed, lrLink, lrUnlistable };

// "\\server\share\": a share's root, which opens with its trailing backslash.
bool IsShareRoot(const std::wstring& dir) {
  if (dir.compare(0, 2, L"\\\\") != 0) return false;
  size_t separators = 0;
  for (size_t i = 2; i < dir.size(); ++i)
    if (dir[i] == L'\\') ++separators;
  return separators <= 2 && dir.back() == L'\\';
}

// Reads the entries of the folder open as h (for listing, synchronous). False when the listing
// broke off: a folder half read is not worked on, as one that cannot be listed.
bool ReadEntries(HANDLE h, TEntryList& out) {
  GetFileInfoExFn readEntries = GetFileInfoExApi();
  std::vector<BYTE> buffer(64 * 1024);
  for (bool first = true;; first = false) {
    if (!readEntries(h, first ? kFileIdBothDirectoryRestartInfo : kFileIdBothDirectoryInfo, buffer.data(),
                     (DWORD)buffer.size()))
      return GetLastError() == ERROR_NO_MORE_FILES;
    for (size_t at = 0;;) {
      const TFileIdBothDirInfo* e = reinterpret_cast<const TFileIdBothDirInfo*>(buffer.data() + at);
      out.Add(e->FileName, e->FileNameLength / sizeof(WCHAR), e->FileAttributes, (uint64_t)e->EndOfFile.QuadPart);
      if (!e->NextEntryOffset) break;
      at += e->NextEntryOffset;
    }
  }
}

// True when the walks open what a folder holds through the folder's handle (Vista and later).
bool ListsByHandle() { return GetFileInfoExApi() && NtCreateFileApi(); }

// Lists a folder by its path (plainDir: wide, with a trailing backslash): the top folder of a walk,
// and every folder on Windows XP. With a resolved path to expect (expectParent + "\" + name, for
// a folder found by listing), the folder is opened as itself and is reported as a link when it
// resolves anywhere else; it is then not listed. With keep, the folder's handle is kept there for
// opening what it holds.
TListResult ListFolder(const std::wstring& plainDir, const std::wstring* expectParent, const wchar_t* name,
                       size_t nameLength, TEntryList& out, std::wstring& scratch, THandle* keep) {
  out.Names.clear();
  out.Entries.clear();
  std::wstring winPath;
  if (GetFileInfoExApi()) {
    // The folder without its trailing backslash, except a drive or share root.
    std::wstring folder = plainDir;
    if (folder.size() > 3 && folder.back() == L'\\' && !IsShareRoot(folder)) folder.pop_back();
    MakeWinPath(winPath, folder, L"", 0);
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (expectParent ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    THandle h;
    h.H = CreateFileW(winPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                      OPEN_EXISTING, flags, nullptr);
    if (!h.Valid()) return lrUnlistable;
    if (expectParent && !expectParent->empty() &&
        HandleIsResolvedLink(h.H, name, nameLength, *expectParent, std::string(), winPath, scratch))
      return lrLink;
    if (!ReadEntries(h.H, out)) return lrUnlistable;
    if (keep) std::swap(keep->H, h.H);
    return lrListed;
  }
  // Windows XP: the listing by path (the system has no links to check there).
  MakeWinPath(winPath, plainDir, L"*", 1);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(winPath.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return lrUnlistable;
  do {
    out.Add(fd.cFileName, wcslen(fd.cFileName), fd.dwFileAttributes,
            ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return lrListed;
}

// Lists the subfolder `name` of the folder open as `parent` (whose resolved path is parentFinal),
// opened by that name as itself. It is reported as a link, and not listed, when it resolves
// anywhere but parentFinal + "\" + name. Its handle is kept in keep. With forRemoval the handle
// is asked for the right to delete as well (canDelete tells whether it has it): the folder, once
// emptied, is removed through the very handle that was checked.
TListResult ListSubfolder(HANDLE parent, const std::wstring& parentFinal, const wchar_t* name, size_t nameLength,
                          TEntryList& out, std::wstring& scratch, THandle& keep, bool forRemoval, bool& canDelete) {
  out.Names.clear();
  out.Entries.clear();
  const ACCESS_MASK list = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
  const ULONG options = kNtDirectoryFile | kNtOpenForBackupIntent;
  THandle h;
  canDelete = forRemoval;
  if (forRemoval) h.H = OpenInFolder(parent, name, nameLength, list | DELETE, options);
  // A folder that may not be removed may still be emptied.
  if (!h.Valid()) {
    canDelete = false;
    h.H = OpenInFolder(parent, name, nameLength, list, options);
  }
  if (!h.Valid()) return lrUnlistable;
  if (!parentFinal.empty() &&
      HandleIsResolvedLink(h.H, name, nameLength, parentFinal, std::string(), std::wstring(), scratch))
    return lrLink;
  if (!ReadEntries(h.H, out)) return lrUnlistable;
  std::swap(keep.H, h.H);
  return lrListed;
}

// Removes the emptied subfolder `name` of the folder open as `parent`, as RemoveDirectoryW would
// (a read-only folder stays), opened by that name as itself; never a folder that the name resolves
// elsewhere from.
void RemoveSubfolder(HANDLE parent, const std::wstring& parentFinal, const std::wstring& name, std::wstring& scratch) {
  THandle h;
  h.H = OpenInFolder(parent, name.c_str(), name.size(), DELETE | FILE_READ_ATTRIBUTES,
                     kNtDirectoryFile | kNtOpenForBackupIntent);
  if (!h.Valid()) return;
  if (!parentFinal.empty() &&
      HandleIsResolvedLink(h.H, name.c_str(), name.size(), parentFinal, std::string(), std::wstring(), scratch))
    return;
  DisposeHandle(h.H, 0);
}

// A name the system would trim ("." and ".." too): the wide form of IsTrimmedName.
bool IsTrimmedNameW(const wchar_t* name, size_t length) {
  return length == 0 || name[length - 1] == L'.' || name[length - 1] == L' ';
}

// One file as the removal sees it: the wide path the calls take, the name as listed, the folder's
// resolved path, and the UTF-8 text of the path, made when a line or the overwrite needs it.
struct TFileRef {
  std::wstring WinPath;  // made on first need in a walk (Path)
  const wchar_t* Name = nullptr;
  size_t NameLength = 0;
  const std::wstring* ParentFinal = nullptr;
  const std::string* ParentText = nullptr;  // the folder's text with its trailing backslash
  std::wstring* ParentWide = nullptr;       // the same, wide; made on first need
  HANDLE Folder = INVALID_HANDLE_VALUE;     // the open folder holding it, when the walk opens by name
  std::string Text;
  bool InFolder() const { return Folder != INVALID_HANDLE_VALUE; }
  const std::wstring& Path() {
    if (WinPath.empty() && ParentText && ParentWide) {
      if (ParentWide->empty()) *ParentWide = Widen(*ParentText);
      MakeWinPath(WinPath, *ParentWide, Name, NameLength);
    }
    return WinPath;
  }
  const std::string& PathText() {
    if (Text.empty() && ParentText) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, Name, (int)NameLength, nullptr, 0, nullptr, nullptr);
      Text.reserve(ParentText->size() + (size_t)n);
      Text.assign(*ParentText).append((size_t)n, '\0');
      if (n) WideCharToMultiByte(CP_UTF8, 0, Name, (int)NameLength, &Text[ParentText->size()], n, nullptr, nullptr);
    }
    return Text;
  }
};

struct TWalk {
  TWalk(TCleanRun& t, bool logLines, const std::string& keep, int& count)
      : thread(t), guard(t.FolderGuard()), log(logLines), keepName(keep), keepUpper(UpperW(Widen(keep))),
        counter(count) {}
  TCleanRun& thread;
  const TFolderGuard& guard;
  bool log;
  std::string keepName;
  std::wstring keepUpper;
  int& counter;
  std::wstring scratch;  // reused for resolved paths
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
  std::wstring out;
  return FinalPathInto(h, out) ? out : std::wstring();
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

static HANDLE OpenForDelete(TFileRef& f) {
  const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  if (f.InFolder()) return OpenInFolder(f.Folder, f.Name, f.NameLength, access, kNtNonDirectoryFile);
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open: only files get this far.
  return CreateFileW(f.Path().c_str(), access, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// True when the entry is gone: the check after a delete whose handle could not be traced to its
// path (the system then may not have removed it, although it said so).
static bool EntryGone(TFileRef& f) {
  DWORD error;
  if (f.InFolder()) {
    HANDLE h = OpenInFolder(f.Folder, f.Name, f.NameLength, FILE_READ_ATTRIBUTES, 0);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return false;
    }
    error = GetLastError();
  } else {
    if (GetFileAttributesW(f.Path().c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    error = GetLastError();
  }
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Removes one file: the shared body of DeleteOneFile and the walks, which know the resolved path
// of the folder (f.ParentFinal) and the listed attributes of the file.
//
// A Test logs and counts every file it is given, as a dry run must; like a locked
// file, a link that the Clean then refuses to touch (see the top) is counted by the Test only.
// Checking that in a Test would cost an open of every file.
static bool RemoveFileEntry(TCleanRun& t, TFileRef& f, bool log, DWORD attributes, std::wstring& scratch) {
  // Lines are made only when they are written.
  const bool lines = log && !t.Options.FastScan;
  if (t.IsTest()) {
    if (lines) t.AddDetailLine("deleting", f.PathText(), 50);
    return true;
  }
  const TFileDeleteMethod method = GetFileDeleteMethod();
  const bool overwrite = t.Options.OverwriteFile;
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = GetFileAttributesW(f.Path().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = 0;

  // The "deleting" line is written for a file that went; one that stayed (locked, refused, a name
  // the system cannot open) gets a line of its own and is not counted.
  auto report = [&](bool removed) {
    if (!lines) return removed;
    if (removed)
      t.AddDetailLine("deleting", f.PathText(), 50);
    else
      t.AddNotRemovedLine(f.PathText(), 50);
    return removed;
  };
  static const std::wstring kNoFinal, kNoPath;
  const std::wstring& parentFinal = f.ParentFinal ? *f.ParentFinal : kNoFinal;
  // Opened by its listed name, the entry has no short name to look up.
  auto lookupPath = [&]() -> const std::wstring& { return f.InFolder() ? kNoPath : f.Path(); };
  if (method == fdmChecked && SetFileInfoApi()) {
    // The handle that deletes is the one checked: the entry itself, not what a link resolves to.
    HANDLE h = OpenForDelete(f);
    if (h == INVALID_HANDLE_VALUE) return report(false);
    // A handle the system cannot trace to a path is deleted too, and its entry looked at afterwards.
    const bool traced = FinalPathApi() && FinalPathInto(h, scratch);
    if (traced) {
      std::string parentText;
      if (parentFinal.empty()) parentText = ParentOf(f.PathText());
      if (ResolvesElsewhere(scratch, f.Name, f.NameLength, parentFinal, parentText, lookupPath())) {
        CloseHandle(h);
        return false;
      }
    }
    DWORD current = attributes;
    if (overwrite && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // The overwrite needs the file to itself; it checks the entry again on its own handle.
      CloseHandle(h);
      if ((attributes & FILE_ATTRIBUTE_READONLY) &&
          SetFileAttributesW(f.Path().c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        current = attributes & ~FILE_ATTRIBUTE_READONLY;
      if (!IsFileLocked(f.PathText())) OverwriteFileContents(t, f.PathText(), t.Options.OverwriteNumber);
      h = OpenForDelete(f);
      if (h != INVALID_HANDLE_VALUE && traced) {
        std::string parentText;
        if (parentFinal.empty()) parentText = ParentOf(f.PathText());
        if (HandleIsResolvedLink(h, f.Name, f.NameLength, parentFinal, parentText, lookupPath(), scratch)) {
          CloseHandle(h);
          h = INVALID_HANDLE_VALUE;
        }
      }
    }
    bool ok = h != INVALID_HANDLE_VALUE && DisposeHandle(h, current);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (ok && !traced && FinalPathApi()) ok = EntryGone(f);
    if (!ok && current != attributes) SetFileAttributesW(f.Path().c_str(), attributes);
    return report(ok);
  }

  // The plain and the shell call (and Windows XP, which has no links to files).
  const std::wstring& wp = f.Path();
  bool clearedReadOnly = false;
  if (overwrite && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(wp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
      clearedReadOnly = true;
    if (!IsFileLocked(f.PathText())) OverwriteFileContents(t, f.PathText(), t.Options.OverwriteNumber);
  }
  bool ok = method == fdmShell ? ShellDelete(wp) : PlainDelete(wp);
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
  TFileRef f;
  f.WinPath = ToWinPath(path);
  f.Text = path;
  // The name as the path spells it (after its last separator).
  const size_t nameAt = f.WinPath.find_last_of(L"\\/");
  f.Name = f.WinPath.c_str() + (nameAt == std::wstring::npos ? 0 : nameAt + 1);
  f.NameLength = f.WinPath.size() - (size_t)(f.Name - f.WinPath.c_str());
  // A file primitive never takes a folder, in a Test as in a Clean.
  DWORD attributes = GetFileAttributesW(f.WinPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  std::wstring scratch;
  return RemoveFileEntry(run, f, log, attributes, scratch);
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

namespace {

// What a walk does below its top folder.
struct TWalkRules {
  TAskKind Kind = akTree;
  // akMask: the mask, its parts (MaskMatches) and whether subfolders are walked.
  std::string Mask, Prefix, Suffix;
  bool HasStar = false, Recurse = true;
};

// One folder of a walk's stack: its entries, read whole, and where the walk is in them. Its path
// and identity are not kept here: each is a beginning of the walk's own (TWalkPlace), which grows
// by a name as the walk goes down and is cut back as it comes up, so that a walk holds its path
// once, not once a level.
struct TFolderFrame {
  size_t DirLength = 0, TextLength = 0, KeyLength = 0, FinalLength = 0;
  DWORD VolumeSerial = 0;
  uint64_t FileIndex = 0;
  bool HasFileId = false;
  std::wstring DirW;  // the path, wide; made only where a call takes the path (Windows XP, the
                      // plain and shell calls)
  std::wstring Name;  // the name it was listed under in the folder above (none for the top)
  THandle Handle;     // open while the walk is in it or below it (when the walk opens by name)
  bool HandleDeletes = false;  // the handle has the right to delete the folder
  TEntryList List;
  size_t Next = 0;
  bool RemoveTop = false;  // removed, in a Clean, once it has been emptied
  bool TopIsLink = false;  // the named top folder is a link: only the link is removed
  uint64_t Bytes = 0;
};

// Where a walk is: the path of the folder it is in (with a trailing backslash) and its identity.
struct TWalkPlace {
  std::string Dir;
  TFolderIdentity Id;
  void Mark(TFolderFrame& frame) const {
    frame.DirLength = Dir.size();
    frame.TextLength = Id.Text.size();
    frame.KeyLength = Id.TextKey.size();
    frame.FinalLength = Id.Final.size();
    frame.VolumeSerial = Id.VolumeSerial;
    frame.FileIndex = Id.FileIndex;
    frame.HasFileId = Id.HasFileId;
  }
  void Enter(const std::string& name) {
    Dir.append(name).push_back('\\');
    Id.Enter(name);
  }
  void Return(const TFolderFrame& frame) {
    Dir.resize(frame.DirLength);
    Id.Text.resize(frame.TextLength);
    Id.TextKey.resize(frame.KeyLength);
    Id.Final.resize(frame.FinalLength);
    Id.VolumeSerial = frame.VolumeSerial;
    Id.FileIndex = frame.FileIndex;
    Id.HasFileId = frame.HasFileId;
  }
};

bool SameUpperName(const wchar_t* name, size_t length, const std::wstring& upper, std::wstring& scratch) {
  if (length != upper.size()) return false;
  scratch.assign(name, length);
  if (length) CharUpperBuffW(&scratch[0], (DWORD)length);
  return scratch == upper;
}

// Counts a removed file into the walk and tells the window.
void CountFile(TWalk& w, TFolderFrame& frame, uint64_t size) {
  TCleanRun& t = w.thread;
  ++w.counter;
  frame.Bytes += size;
  const uint32_t running = (uint32_t)(t.TotalCount + w.counter);
  t.NoteCount(running);
  if (t.ProgressDue()) t.PostProgress(running);
}

// The walk of DeleteFolderTree and DeleteFilesByMask below the checks of their top folder (dir,
// with a trailing backslash, identified as id): every file of the folder and, as the rules say, of
// its subfolders. Subfolders are taken in listing order, depth first, each checked as the top one
// is (links, protected folders, questions) before it is entered.
uint64_t WalkFolders(TWalk& w, const std::string& dir, const TFolderIdentity& id, const TWalkRules& rules,
                     bool removeTop, bool topIsLink) {
  TCleanRun& t = w.thread;
  TWalkPlace place;
  place.Dir = dir;
  place.Id = id;
  std::vector<std::unique_ptr<TFolderFrame>> stack;
  {
    auto top = std::unique_ptr<TFolderFrame>(new TFolderFrame);
    place.Mark(*top);
    top->DirW = Widen(dir);
    top->RemoveTop = removeTop;
    top->TopIsLink = topIsLink;
    // A folder whose listing cannot be started is not touched.
    if (ListFolder(top->DirW, nullptr, nullptr, 0, top->List, w.scratch, ListsByHandle() ? &top->Handle : nullptr) !=
        lrListed)
      return 0;
    stack.push_back(std::move(top));
  }
  TFileRef f;
  std::wstring upperScratch;
  uint64_t total = 0;
  while (!stack.empty()) {
    TFolderFrame& frame = *stack.back();
    std::unique_ptr<TFolderFrame> child;
    while (!child && frame.Next < frame.List.Entries.size()) {
      if (t.Terminated()) {
        frame.Next = frame.List.Entries.size();
        break;
      }
      const TEntryList::Entry& e = frame.List.Entries[frame.Next++];
      const wchar_t* name = frame.List.Name(e);
      if (IsTrimmedNameW(name, e.NameLength)) continue;  // also "." and ".."
      if (e.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (rules.Kind == akMask && !rules.Recurse) continue;
        const std::string nameText = Narrow(std::wstring(name, e.NameLength));
        // A folder link found by listing is never entered; a tree walk removes the link itself.
        TListResult listed = lrLink;
        auto next = std::unique_ptr<TFolderFrame>(new TFolderFrame);
        if (!(e.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          if (frame.Handle.Valid()) {
            listed = ListSubfolder(frame.Handle.H, place.Id.Final, name, e.NameLength, next->List, w.scratch,
                                   next->Handle, rules.Kind == akTree && !t.IsTest(), next->HandleDeletes);
          } else {
            if (frame.DirW.empty()) frame.DirW = Widen(place.Dir);
            next->DirW.assign(frame.DirW).append(name, e.NameLength).push_back(L'\\');
            listed = ListFolder(next->DirW, &place.Id.Final, name, e.NameLength, next->List, w.scratch, nullptr);
          }
          next->Name.assign(name, e.NameLength);
        }
        if (listed == lrLink) {
          if (rules.Kind == akTree && !t.IsTest()) RemoveFolderLink(place.Dir + nameText, place.Id.Final);
          continue;
        }
        // The checks see the subfolder's identity; the walk takes it on only when it enters.
        place.Enter(nameText);
        if (!PassesProtection(w, place.Id, rules.Kind, rules.Mask) ||
            !PassesSafetyQuestions(w, place.Id, rules.Kind, rules.Mask) || listed != lrListed) {
          place.Return(frame);
          continue;
        }
        place.Mark(*next);
        next->RemoveTop = rules.Kind == akTree;
        child = std::move(next);
        continue;
      }
      if (rules.Kind == akTree) {
        if (!w.keepUpper.empty() && SameUpperName(name, e.NameLength, w.keepUpper, upperScratch)) continue;
      } else if (!MaskMatches(rules.Mask, rules.Prefix, rules.Suffix, rules.HasStar,
                              Narrow(std::wstring(name, e.NameLength)))) {
        continue;
      }
      f.WinPath.clear();
      f.Name = name;
      f.NameLength = e.NameLength;
      f.ParentFinal = &place.Id.Final;
      f.ParentText = &place.Dir;
      f.ParentWide = &frame.DirW;
      f.Folder = frame.Handle.H;
      f.Text.clear();
      if (RemoveFileEntry(t, f, rules.Kind == akTree ? w.log : true, e.Attributes, w.scratch))
        CountFile(w, frame, e.Size);
    }
    if (child) {
      stack.push_back(std::move(child));
      continue;
    }
    // The folder is done: it goes (when it is to), and its bytes count for the folder above.
    TFolderFrame* above = stack.size() >= 2 ? stack[stack.size() - 2].get() : nullptr;
    const bool remove = frame.RemoveTop && !t.IsTest();
    // Removed through its own handle, checked when it was listed, where that handle may delete (a
    // folder that is not empty stays, as with RemoveDirectoryW).
    const bool byHandle = remove && frame.HandleDeletes && frame.Handle.Valid();
    if (byHandle) DisposeHandle(frame.Handle.H, 0);
    frame.Handle.Close();
    const bool byName =
        remove && !byHandle && !frame.TopIsLink && above && above->Handle.Valid() && !frame.Name.empty();
    if (remove && frame.TopIsLink)
      RemoveFolderLink(place.Dir, std::wstring());
    else if (remove && !byHandle && !byName)
      RemoveDirectoryW(FolderForOpen(place.Dir).c_str());
    const std::wstring folderName = std::move(frame.Name);
    const uint64_t bytes = frame.Bytes;
    stack.pop_back();
    if (stack.empty()) {
      total = bytes;
      break;
    }
    TFolderFrame& back = *stack.back();
    place.Return(back);
    if (byName) RemoveSubfolder(back.Handle.H, place.Id.Final, folderName, w.scratch);
    back.Bytes += bytes;
  }
  return total;
}

}  // namespace

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
  // The folder the caller names is emptied even when it is a link; removing it removes the link.
  DWORD attributes = GetFileAttributesW(FolderForOpen(dir).c_str());
  const bool isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  return WalkFolders(w, dir, id, TWalkRules(), removeTop, isLink);
}

uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse, TFolderOrigin origin) {
  std::string dir;
  TFolderIdentity id;
  if (CheckEntry(run, folder, origin, dir, id) != enWalk) return 0;
  TWalk w(run, true, std::string(), counter);
  if (!PassesProtection(w, id, akMask, mask) || !PassesSafetyQuestions(w, id, akMask, mask)) return 0;
  TWalkRules rules;
  rules.Kind = akMask;
  rules.Mask = mask;
  size_t star = mask.find('*');
  rules.Prefix = UpperCase(star == std::string::npos ? mask : mask.substr(0, star));
  rules.Suffix = star == std::string::npos ? std::string() : UpperCase(mask.substr(star + 1));
  rules.HasStar = star != std::string::npos;
  rules.Recurse = recurse;
  return WalkFolders(w, dir, id, rules, false, false);
}

}  // namespace qv
