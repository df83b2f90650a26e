// The one walk of a clean run and its gate (see FileRemoval.h).
//
// The walk keeps its own stack of folders rather than recursing, so no depth of folders the
// system can reach exhausts the worker's stack. A folder is opened once, to be checked and listed,
// and its entries are read whole. Its handle stays open while the walk is below it: what it holds
// (files, subfolders, and the subfolders themselves once emptied) is opened by name relative to
// that handle, so no open parses the whole path again, whatever the depth, and no folder swapped
// for a link while the walk runs is ever gone through. The calls are the kernel's own (NtCreateFile,
// NtQueryDirectoryFile, NtSetInformationFile), which every Windows from XP on has. Names stay in
// the system's wide form from the listing to the call; the UTF-8 text of a path is made only for a
// line of the log.
#include "engine/FileRemoval.h"

#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>

#include "base/Global.h"
#include "base/PathSpelling.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"

namespace qv {

namespace {

std::atomic<int> g_deleteMethod{fdmChecked};
std::mutex g_hookMutex;
std::function<void(const char*, const std::string&)> g_walkHook;

void WalkHook(const char* event, const std::string& path) {
  std::function<void(const char*, const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_walkHook;
  }
  if (hook) hook(event, path);
}

bool HasWalkHook() {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  return (bool)g_walkHook;
}

// ---------------------------------------------------------------------------------------------
// The kernel's calls

using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, int, BOOLEAN,
                                            PUNICODE_STRING, BOOLEAN);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using ToDosErrorFn = ULONG(NTAPI*)(LONG);
// Vista and later; looked up so that the program still starts on Windows XP.
using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

struct TNtCalls {
  NtCreateFileFn Create = nullptr;
  NtQueryDirectoryFileFn QueryDirectory = nullptr;
  NtSetInformationFileFn SetInformation = nullptr;
  NtQueryInformationFileFn QueryInformation = nullptr;
  NtQueryObjectFn QueryObject = nullptr;
  ToDosErrorFn ToDosError = nullptr;
  GetFinalPathFn FinalPath = nullptr;
};

const TNtCalls& Nt() {
  static const TNtCalls calls = [] {
    TNtCalls c;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    c.Create = reinterpret_cast<NtCreateFileFn>(GetProcAddress(ntdll, "NtCreateFile"));
    c.QueryDirectory = reinterpret_cast<NtQueryDirectoryFileFn>(GetProcAddress(ntdll, "NtQueryDirectoryFile"));
    c.SetInformation = reinterpret_cast<NtSetInformationFileFn>(GetProcAddress(ntdll, "NtSetInformationFile"));
    c.QueryInformation = reinterpret_cast<NtQueryInformationFileFn>(GetProcAddress(ntdll, "NtQueryInformationFile"));
    c.QueryObject = reinterpret_cast<NtQueryObjectFn>(GetProcAddress(ntdll, "NtQueryObject"));
    c.ToDosError = reinterpret_cast<ToDosErrorFn>(GetProcAddress(ntdll, "RtlNtStatusToDosError"));
    c.FinalPath = reinterpret_cast<GetFinalPathFn>(GetProcAddress(kernel, "GetFinalPathNameByHandleW"));
    return c;
  }();
  return calls;
}

void SetErrorFromStatus(LONG status) { SetLastError(Nt().ToDosError ? Nt().ToDosError(status) : ERROR_ACCESS_DENIED); }

// The information classes and flags the walk uses.
constexpr int kFileBasicInformation = 4;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileIdBothDirectoryInformation = 37;
constexpr int kObjectNameInformation = 1;
constexpr LONG kStatusNoMoreFiles = (LONG)0x80000006;
constexpr ULONG kNtFileOpen = 1;
constexpr ULONG kNtDirectoryFile = 0x00000001;
constexpr ULONG kNtSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kNtNonDirectoryFile = 0x00000040;
constexpr ULONG kNtOpenForBackupIntent = 0x00004000;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct TFileBasicInformation {
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  ULONG FileAttributes;
};
struct TFileDispositionInformation {
  BOOLEAN DeleteFile;
};
// FILE_ID_BOTH_DIR_INFORMATION, the entries of a folder as the kernel lists them.
struct TFileIdBothDirInformation {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  LARGE_INTEGER EndOfFile, AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;
  ULONG EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};

// A handle closed when it goes out of scope.
struct THandle {
  HANDLE H = INVALID_HANDLE_VALUE;
  THandle() = default;
  explicit THandle(HANDLE h) : H(h) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  THandle(THandle&& other) noexcept : H(other.H) { other.H = INVALID_HANDLE_VALUE; }
  THandle& operator=(THandle&& other) noexcept {
    if (this != &other) {
      Close();
      H = other.H;
      other.H = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  ~THandle() { Close(); }
  void Close() {
    if (H != INVALID_HANDLE_VALUE && H != nullptr) CloseHandle(H);
    H = INVALID_HANDLE_VALUE;
  }
  bool Valid() const { return H != INVALID_HANDLE_VALUE && H != nullptr; }
};

// Opens the entry `name` of the folder open as `folder`, by that name alone, as the entry itself
// (a link is opened as the link), for synchronous calls. Invalid, with the system's error set,
// when it cannot be opened.
THandle OpenInFolder(HANDLE folder, const wchar_t* name, size_t nameLength, ACCESS_MASK access, ULONG options,
                     DWORD share = kShareAll) {
  if (!Nt().Create || nameLength == 0 || nameLength * sizeof(WCHAR) > 0xFFFE) {
    SetLastError(ERROR_INVALID_NAME);
    return THandle();
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name);
  text.Length = text.MaximumLength = (USHORT)(nameLength * sizeof(WCHAR));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE h = nullptr;
  const LONG status = Nt().Create(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share, kNtFileOpen,
                                  options | kNtOpenReparsePoint | kNtSynchronousIoNonAlert, nullptr, 0);
  if (status < 0) {
    SetErrorFromStatus(status);
    return THandle();
  }
  return THandle(h);
}

std::wstring UpperW(std::wstring w) {
  if (!w.empty()) CharUpperBuffW(&w[0], (DWORD)w.size());
  return w;
}

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

// The name of an open handle as the system's object name gives it, in the final-path form
// ("C:\...", "\\server\share\...", "unix\..." for a host path no drive reaches); empty when it is
// in another form. For paths that the final-path call cannot give (Wine gives none past MAX_PATH).
std::wstring ObjectDosName(HANDLE h) {
  if (!Nt().QueryObject) return std::wstring();
  std::vector<BYTE> buffer(sizeof(UNICODE_STRING) + 4096);
  ULONG needed = 0;
  LONG status = Nt().QueryObject(h, kObjectNameInformation, buffer.data(), (ULONG)buffer.size(), &needed);
  if (status < 0 && needed > buffer.size() && needed < (1u << 20)) {
    buffer.resize(needed + sizeof(WCHAR));
    status = Nt().QueryObject(h, kObjectNameInformation, buffer.data(), (ULONG)buffer.size(), &needed);
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
  GetFinalPathFn fn = Nt().FinalPath;
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

// What the check of a handle opened by name in a folder found.
enum TVerdict {
  vdSelf,       // the entry itself
  vdElsewhere,  // whatever a link resolves to, or another entry than the one named
  vdUntraced,   // the system cannot say (Windows XP, a host path Wine cannot name)
};

// The check of a handle opened as the entry `name` of the folder whose resolved path is
// parentFinal (empty: unknown).
TVerdict CheckOpened(HANDLE h, const std::wstring& parentFinal, const wchar_t* name, size_t nameLength,
                     std::wstring& scratch) {
  if (parentFinal.empty() || !FinalPathInto(h, scratch)) return vdUntraced;
  return IsChildPath(scratch, parentFinal, name, nameLength) ? vdSelf : vdElsewhere;
}

// Sets the delete disposition of a file or folder open with DELETE (and FILE_WRITE_ATTRIBUTES for a
// read-only file, whose attribute is cleared first and put back when the delete is refused). The
// system's error is set when it fails.
bool DisposeHandle(HANDLE h, DWORD attributes) {
  TFileDispositionInformation dispose = {TRUE};
  IO_STATUS_BLOCK io = {};
  LONG status = Nt().SetInformation(h, &io, &dispose, sizeof(dispose), kFileDispositionInformation);
  if (status >= 0) return true;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) {
    SetErrorFromStatus(status);
    return false;
  }
  TFileBasicInformation basic = {};
  basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  LONG set = Nt().SetInformation(h, &io, &basic, sizeof(basic), kFileBasicInformation);
  if (set < 0) {
    SetErrorFromStatus(status);
    return false;
  }
  status = Nt().SetInformation(h, &io, &dispose, sizeof(dispose), kFileDispositionInformation);
  if (status >= 0) return true;
  basic.FileAttributes = attributes;
  Nt().SetInformation(h, &io, &basic, sizeof(basic), kFileBasicInformation);
  SetErrorFromStatus(status);
  return false;
}

// Why a call failed, as a line of the log says it.
std::string Why(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return "it is held open by another program";
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return "access is denied";
    case ERROR_WRITE_PROTECT:
      return "the disk is write-protected";
    case ERROR_DIR_NOT_EMPTY:
      return "it is not empty";
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
      return "the system cannot reach it by its name";
    default:
      return "the system answered error " + std::to_string(error);
  }
}

bool IsGoneError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The entries of one folder, read whole: names in one buffer.
struct TEntryList {
  struct Entry {
    size_t NameOffset, NameLength;
    DWORD Attributes;
    uint64_t Size;
    uint64_t FileId;
  };
  std::wstring Names;
  std::vector<Entry> Entries;
  void Clear() {
    Names.clear();
    Entries.clear();
  }
  void Add(const wchar_t* name, size_t length, DWORD attributes, uint64_t size, uint64_t id) {
    Entries.push_back({Names.size(), length, attributes, size, id});
    Names.append(name, length);
  }
  const wchar_t* Name(const Entry& e) const { return Names.data() + e.NameOffset; }
};

// Reads the entries of the folder open as h (for listing, synchronous). False, with the system's
// error set, when the listing broke off: a folder half read is not worked on.
bool ReadEntries(HANDLE h, TEntryList& out) {
  out.Clear();
  if (!Nt().QueryDirectory) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  std::vector<BYTE> buffer(64 * 1024);
  for (bool first = true;; first = false) {
    IO_STATUS_BLOCK io = {};
    const LONG status = Nt().QueryDirectory(h, nullptr, nullptr, nullptr, &io, buffer.data(), (ULONG)buffer.size(),
                                            kFileIdBothDirectoryInformation, FALSE, nullptr, first ? TRUE : FALSE);
    if (status == kStatusNoMoreFiles) return true;
    if (status < 0) {
      SetErrorFromStatus(status);
      return false;
    }
    if (io.Information == 0) return true;
    for (size_t at = 0;;) {
      const auto* e = reinterpret_cast<const TFileIdBothDirInformation*>(buffer.data() + at);
      out.Add(e->FileName, e->FileNameLength / sizeof(WCHAR), e->FileAttributes, (uint64_t)e->EndOfFile.QuadPart,
              (uint64_t)e->FileId.QuadPart);
      if (!e->NextEntryOffset) break;
      at += e->NextEntryOffset;
    }
  }
}

// A name the system would trim ("." and ".." too): the wide form of IsTrimmedName.
bool IsTrimmedNameW(const wchar_t* name, size_t length) {
  return length == 0 || name[length - 1] == L'.' || name[length - 1] == L' ';
}
bool IsDotName(const wchar_t* name, size_t length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

std::string NarrowName(const wchar_t* name, size_t length) { return Narrow(std::wstring(name, length)); }

// A folder as CreateFileW opens it: no trailing backslash except for a drive or share root.
std::wstring FolderForOpen(const std::string& folder) {
  std::string f = folder;
  const TPathSpelling s = ReadPathSpelling(IncludeTrailingBackslash(f));
  if (!s.Segments.empty() && f.size() > 3 && f.back() == '\\') f.pop_back();
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

// A 64-bit key of a file for TCleanRun::ClaimOnce: its volume and file id.
uint64_t FileKey(DWORD volume, uint64_t fileId) {
  uint64_t h = 1469598103934665603ull;
  for (int i = 0; i < 4; ++i) h = (h ^ ((volume >> (8 * i)) & 0xFF)) * 1099511628211ull;
  for (int i = 0; i < 8; ++i) h = (h ^ ((fileId >> (8 * i)) & 0xFF)) * 1099511628211ull;
  return h;
}

// ---------------------------------------------------------------------------------------------
// The gate and the walk

enum TAskKind { akTree, akMask };

bool TakesEveryFile(const std::string& mask) { return MaskTakesEveryFile(mask) || mask == "*"; }

// The one-star rule of DeleteFilesByMask: "*.*" takes every file; a mask without "*" (whole,
// upper-cased, in prefix) takes the name it spells; otherwise the name begins with the part before
// the first "*" and ends with the part after it. All ignoring case.
struct TOneStarMask {
  std::string Mask, Prefix, Suffix;
  bool HasStar = false;
  explicit TOneStarMask(const std::string& mask) : Mask(mask) {
    const size_t star = mask.find('*');
    Prefix = UpperCase(star == std::string::npos ? mask : mask.substr(0, star));
    Suffix = star == std::string::npos ? std::string() : UpperCase(mask.substr(star + 1));
    HasStar = star != std::string::npos;
  }
  bool Matches(const std::string& upper) const {
    if (Mask == "*.*") return true;
    if (!HasStar) return upper == Prefix;
    // The two parts may not overlap: "a*a" does not take "a".
    if (upper.size() < Prefix.size() + Suffix.size()) return false;
    return StartsWith(upper, Prefix) && EndsWith(upper, Suffix);
  }
};

// The keep rules that apply in one folder.
struct TKeepHere {
  std::vector<const TKeepRule*> Below;  // rules of this folder or one above it, for all below
  std::vector<const TKeepRule*> Here;   // rules of this folder alone
  bool KeepsWhole() const {
    for (const TKeepRule* r : Below)
      if (r->UpperMasks.empty()) return true;
    return false;
  }
  bool KeepsFile(const std::string& upperName) const {
    for (const auto* list : {&Below, &Here})
      for (const TKeepRule* r : *list) {
        if (r->UpperMasks.empty()) return true;
        for (const std::string& m : r->UpperMasks)
          if (MatchesNamePattern(upperName, m)) return true;
      }
    return false;
  }
  bool Empty() const { return Below.empty() && Here.empty(); }
};

// One folder of a walk's stack: its open handle, its entries, and where the walk is in them. Its
// path and identity are not kept here: each is a beginning of the walk's own (TWalkPlace), which
// grows by a name as the walk goes down and is cut back as it comes up, so that a walk holds its
// path once, not once a level.
struct TFolderFrame {
  size_t DirLength = 0, TextLength = 0, KeyLength = 0, FinalLength = 0;
  DWORD VolumeSerial = 0;
  uint64_t FileIndex = 0;
  bool HasFileId = false;
  std::wstring Name;  // the name it was listed under in the folder above (none for the top)
  THandle Handle;     // open while the walk is in it or below it
  bool HandleDeletes = false;  // the handle has the right to delete the folder
  TEntryList List;
  size_t Next = 0;
  bool Remove = false;     // removed, in a Clean, once it has been emptied
  bool IsTop = false;
  bool TopIsLink = false;  // the named top folder is a link: only the link is removed
  std::string TopOpenPath; // the named top: the text it was opened by
  bool LeftInside = false; // something in it stayed, with its line
  bool KeptInside = false; // something in it stays by a rule (a name or an exclusion to keep)
  uint64_t Bytes = 0;
  TKeepHere Keep;
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
  void Enter(const std::string& name, uint64_t fileId) {
    Dir.append(name).push_back('\\');
    Id.Enter(name);
    Id.FileIndex = fileId;
    Id.HasFileId = fileId != 0 && Id.VolumeSerial != 0;
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

struct TWalk {
  TWalk(TCleanRun& r, const TWalkRules& rl, int& c) : run(r), rules(rl), guard(r.FolderGuard()), counter(c) {
    testing = run.IsTest();
    lines = rules.Log && !run.Options.FastScan;
    for (const std::string& k : rules.KeepNames) keepUpper.push_back(UpperW(Widen(k)));
    for (const std::string& m : rules.Masks) {
      if (rules.GlobMasks)
        globUpper.push_back(UpperCase(m));
      else
        oneStar.emplace_back(m);
      everyFile = everyFile || TakesEveryFile(m);
      starMask = starMask || m.find('*') != std::string::npos;
    }
    overwrite = !testing && run.Options.OverwriteFile;
    passes = run.Options.OverwriteNumber < 1 ? 1 : run.Options.OverwriteNumber;
  }
  TCleanRun& run;
  const TWalkRules& rules;
  const TFolderGuard& guard;
  int& counter;
  bool testing = false, lines = true, overwrite = false;
  int passes = 1;
  std::vector<std::wstring> keepUpper;
  std::vector<std::string> globUpper;
  std::vector<TOneStarMask> oneStar;
  bool everyFile = false;  // a mask takes every file
  bool starMask = false;   // a mask with "*": the drive-root question is asked
  std::wstring scratch;    // reused for resolved paths
  uint64_t bytes = 0;

  TAskKind Kind() const { return rules.Kind == wkTree ? akTree : akMask; }
  // The walk empties folders whole: a tree, a mask taking every file, or one that removes folders.
  bool EmptiesWhole() const { return rules.Kind == wkTree || everyFile || rules.RemoveFolders; }
  bool RemovesFolders() const { return !testing && (rules.Kind == wkTree || rules.RemoveFolders); }
  bool MatchesMask(const std::string& upper) const {
    for (const TOneStarMask& m : oneStar)
      if (m.Matches(upper)) return true;
    for (const std::string& m : globUpper)
      if (MatchesNamePattern(upper, m)) return true;
    return false;
  }
  bool KeptName(const wchar_t* name, size_t length) {
    if (keepUpper.empty()) return false;
    scratch.assign(name, length);
    if (length) CharUpperBuffW(&scratch[0], (DWORD)length);
    for (const std::wstring& k : keepUpper)
      if (k == scratch) return true;
    return false;
  }

  void Line(const std::string& text) { run.AddLogLine(run.LogPrefix + text); }
  // A line of something the walk was to remove and leaves; the run notes it.
  void Left(const std::string& text) {
    run.NoteLeft();
    Line(text);
  }
};

// The refusal of a protected folder; true when the folder may be worked on.
bool PassesProtection(TWalk& w, const TFolderIdentity& id, const std::string& context = std::string()) {
  if (!w.EmptiesWhole()) return true;
  const std::string match = w.guard.ProtectedMatch(id);
  if (match.empty()) return true;
  w.Left("refusing to empty the protected folder " + match + context);
  return false;
}

// The safety questions of a removal run; false when the user answers No. Each compares the
// folder's identity and names the folder it matched.
bool PassesSafetyQuestions(TWalk& w, const TFolderIdentity& id) {
  if (w.testing) return true;
  const bool tree = w.rules.Kind == wkTree || w.rules.RemoveFolders;
  auto treeText = [](const std::string& dir) { return "Do you want to delete all files and folders under " + dir + "?"; };
  auto filesText = [](const std::string& dir) { return "Do you want to delete the files on " + dir + "?"; };
  if (tree || w.starMask || w.rules.Masks.empty()) {
    const std::string root = w.guard.DriveRootMatch(id);
    if (!root.empty() && !w.run.AskYesNo(treeText(root))) return false;
  }
  for (const std::string& match : {w.guard.DocumentsMatch(id), w.guard.MyPicturesMatch(id)})
    if (!match.empty() && !w.run.AskYesNo(tree ? treeText(match) : filesText(match))) return false;
  return true;
}

// The keep rules that apply in a folder, from those of the folder above (null: the top, whose
// ancestors are compared by their resolved paths).
TKeepHere KeepRulesFor(const TWalkRules& rules, const TFolderIdentity& id, const TKeepHere* above) {
  TKeepHere k;
  if (rules.Keep.empty()) return k;
  if (above) k.Below = above->Below;
  for (const TKeepRule& r : rules.Keep) {
    const bool here = above ? id.SameFolder(r.Folder) : (r.Below ? id.Within(r.Folder) : id.SameFolder(r.Folder));
    if (!here) continue;
    if (r.Below) {
      if (std::find(k.Below.begin(), k.Below.end(), &r) == k.Below.end()) k.Below.push_back(&r);
    } else {
      k.Here.push_back(&r);
    }
  }
  return k;
}

// Opens a listed or stepped subfolder `name` of the folder open as `parent` (whose resolved path is
// parentFinal) as itself. With forRemoval the handle is asked for the right to delete as well.
enum TSubfolder { sfOpened, sfLink, sfGone, sfUnopenable };
TSubfolder OpenSubfolder(HANDLE parent, const std::wstring& parentFinal, const wchar_t* name, size_t nameLength,
                         bool forRemoval, THandle& out, bool& canDelete, std::wstring& scratch) {
  const ACCESS_MASK list = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
  const ULONG options = kNtDirectoryFile | kNtOpenForBackupIntent;
  canDelete = forRemoval;
  THandle h;
  if (forRemoval) h = OpenInFolder(parent, name, nameLength, list | DELETE, options);
  // A folder that may not be removed may still be emptied.
  if (!h.Valid()) {
    canDelete = false;
    h = OpenInFolder(parent, name, nameLength, list, options);
  }
  if (!h.Valid()) {
    const DWORD error = GetLastError();
    // A link to a file, opened as a folder, says it is no folder.
    if (error == ERROR_DIRECTORY) return sfLink;
    return IsGoneError(error) ? sfGone : sfUnopenable;
  }
  // The listing says a link is a reparse point; so does the handle opened as the entry itself.
  TFileBasicInformation basic = {};
  IO_STATUS_BLOCK io = {};
  if (Nt().QueryInformation && Nt().QueryInformation(h.H, &io, &basic, sizeof(basic), kFileBasicInformation) >= 0 &&
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return sfLink;
  if (CheckOpened(h.H, parentFinal, name, nameLength, scratch) == vdElsewhere) return sfLink;
  out = std::move(h);
  return sfOpened;
}

// Removes a folder link `name` of the folder open as `parent`: the link itself, never what it
// points at. True when it went.
bool RemoveLinkInFolder(HANDLE parent, const std::wstring& parentFinal, const wchar_t* name, size_t nameLength,
                        std::wstring& scratch) {
  THandle h = OpenInFolder(parent, name, nameLength, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                           kNtOpenForBackupIntent);
  if (!h.Valid()) return false;
  TFileBasicInformation basic = {};
  IO_STATUS_BLOCK io = {};
  if (!Nt().QueryInformation || Nt().QueryInformation(h.H, &io, &basic, sizeof(basic), kFileBasicInformation) < 0 ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // The platform may still hand out what the link points at (links made on a Wine prefix's host).
  if (CheckOpened(h.H, parentFinal, name, nameLength, scratch) == vdElsewhere) return false;
  return DisposeHandle(h.H, basic.FileAttributes);
}

// Removes a named folder that is a link, by its path: the link only.
bool RemoveNamedLink(const std::string& openPath) {
  THandle h(CreateFileW(FolderForOpen(openPath).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                        kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                        nullptr));
  if (!h.Valid()) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(h.H, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  std::wstring final;
  const std::string path = ExcludeTrailingBackslash(openPath);
  const std::wstring parent = FinalPathOfFolder(ParentOf(path));
  const std::wstring name = Widen(NameOf(path));
  if (CheckOpened(h.H, parent, name.c_str(), name.size(), final) == vdElsewhere) return false;
  return DisposeHandle(h.H, info.dwFileAttributes);
}

// True when the entry `name` of the folder open as `folder` is gone.
bool EntryGone(HANDLE folder, const wchar_t* name, size_t nameLength) {
  THandle h = OpenInFolder(folder, name, nameLength, FILE_READ_ATTRIBUTES, 0);
  return !h.Valid() && IsGoneError(GetLastError());
}

// The SQLite header, which a database file begins with.
bool IsSqliteDatabase(HANDLE folder, const wchar_t* name, size_t nameLength) {
  THandle h = OpenInFolder(folder, name, nameLength, FILE_READ_DATA, kNtNonDirectoryFile);
  if (!h.Valid()) return false;
  char header[16] = {};
  DWORD got = 0;
  return ReadFile(h.H, header, sizeof(header), &got, nullptr) && got == sizeof(header) &&
         memcmp(header, "SQLite format 3", 16) == 0;
}

// One file listed in a folder of the walk.
struct TListedFile {
  HANDLE Folder = INVALID_HANDLE_VALUE;
  const std::wstring* FolderFinal = nullptr;
  const std::string* Dir = nullptr;  // the folder's text, with its trailing backslash
  const wchar_t* Name = nullptr;
  size_t NameLength = 0;
  DWORD Attributes = 0;
  uint64_t Size = 0;
  std::string Text;
  const std::string& Path() {
    if (Text.empty()) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, Name, (int)NameLength, nullptr, 0, nullptr, nullptr);
      Text.reserve(Dir->size() + (size_t)n);
      Text.assign(*Dir).append((size_t)n, '\0');
      if (n) WideCharToMultiByte(CP_UTF8, 0, Name, (int)NameLength, &Text[Dir->size()], n, nullptr, nullptr);
    }
    return Text;
  }
};

bool PlainDelete(const std::wstring& wp) {
  if (DeleteFileW(wp.c_str())) return true;
  DWORD a = GetFileAttributesW(wp.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) || !(a & FILE_ATTRIBUTE_READONLY)) return false;
  if (!SetFileAttributesW(wp.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) return false;
  if (DeleteFileW(wp.c_str())) return true;
  const DWORD error = GetLastError();
  SetFileAttributesW(wp.c_str(), a);
  SetLastError(error);
  return false;
}

// The outcome of taking one file.
enum TTaken { tkTaken, tkLeft, tkGone };

// Rewrites one listed file (TWalkRules::Rewrite) through its own handle, opened by its name in its
// folder (shared, as the program that keeps it open needs) and checked to be that entry. A read-only
// file is made writable for the rewrite and read-only again afterwards.
TTaken RewriteFile(TWalk& w, TListedFile& f) {
  const ACCESS_MASK access = GENERIC_READ | GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  THandle h = OpenInFolder(f.Folder, f.Name, f.NameLength, access, kNtNonDirectoryFile);
  bool madeWritable = false;
  if (!h.Valid() && GetLastError() == ERROR_ACCESS_DENIED && (f.Attributes & FILE_ATTRIBUTE_READONLY)) {
    THandle attributes = OpenInFolder(f.Folder, f.Name, f.NameLength, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      kNtNonDirectoryFile);
    if (attributes.Valid() &&
        CheckOpened(attributes.H, *f.FolderFinal, f.Name, f.NameLength, w.scratch) != vdElsewhere) {
      TFileBasicInformation basic = {};
      basic.FileAttributes = f.Attributes & ~FILE_ATTRIBUTE_READONLY;
      if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      IO_STATUS_BLOCK io = {};
      madeWritable = Nt().SetInformation(attributes.H, &io, &basic, sizeof(basic), kFileBasicInformation) >= 0;
      if (madeWritable) h = OpenInFolder(f.Folder, f.Name, f.NameLength, access, kNtNonDirectoryFile);
    }
  }
  if (!h.Valid()) {
    const DWORD error = GetLastError();
    if (IsGoneError(error)) return tkGone;
    w.Left(f.Path() + " could not be wiped: " + Why(error));
    return tkLeft;
  }
  if (CheckOpened(h.H, *f.FolderFinal, f.Name, f.NameLength, w.scratch) == vdElsewhere) {
    w.Left("leaving " + f.Path() + ": it is a link, and what it points at is never touched");
    return tkLeft;
  }
  std::string why;
  const bool done = w.rules.Rewrite(w.run, h.H, f.Path(), &why);
  if (madeWritable) {
    TFileBasicInformation basic = {};
    basic.FileAttributes = f.Attributes;
    IO_STATUS_BLOCK io = {};
    Nt().SetInformation(h.H, &io, &basic, sizeof(basic), kFileBasicInformation);
  }
  if (done) return tkTaken;
  w.Left(f.Path() + " could not be wiped: " + why);
  return tkLeft;
}

// Removes one listed file (or rewrites it, with TWalkRules::Rewrite) through its own handle, opened
// by its name in its folder and checked to be that entry. A Test takes every file it is given, as
// a dry run must; a file that the Clean then finds to be a link, or cannot remove, is counted by
// the Test only, and the Clean says why it stayed.
TTaken TakeFile(TWalk& w, TListedFile& f) {
  TCleanRun& t = w.run;
  if (w.testing) {
    if (w.lines) t.AddDetailLine("deleting", f.Path(), 50);
    return tkTaken;
  }
  const std::wstring& parentFinal = *f.FolderFinal;
  const DWORD attributes = f.Attributes;
  if (GetFileDeleteMethod() != fdmChecked && !w.rules.Rewrite) {
    // The bench's reference: by path and unchecked.
    const std::wstring wp = ToWinPath(f.Path());
    if (PlainDelete(wp)) {
      if (w.lines) t.AddDetailLine("deleting", f.Path(), 50);
      return tkTaken;
    }
    w.Left(f.Path() + " could not be removed: " + Why(GetLastError()));
    return tkLeft;
  }
  if (w.rules.Rewrite) return RewriteFile(w, f);
  const bool overwrite = w.overwrite && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  // The overwrite needs the file to itself; a plain delete shares it.
  const ACCESS_MASK access =
      DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (overwrite ? (GENERIC_READ | GENERIC_WRITE) : 0);
  THandle h = OpenInFolder(f.Folder, f.Name, f.NameLength, access, kNtNonDirectoryFile, overwrite ? 0 : kShareAll);
  std::string notOverwritten;
  if (!h.Valid() && overwrite) {
    // Held by another program that lets others delete it: it can go, but not overwritten.
    const DWORD error = GetLastError();
    if (IsGoneError(error)) return tkGone;
    notOverwritten = Why(error);
    h = OpenInFolder(f.Folder, f.Name, f.NameLength, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     kNtNonDirectoryFile);
  }
  if (!h.Valid()) {
    const DWORD error = GetLastError();
    if (IsGoneError(error)) return tkGone;
    w.Left(f.Path() + " could not be removed: " + Why(error));
    return tkLeft;
  }
  // The handle that acts is the one checked: the entry itself, not what a link resolves to.
  const TVerdict verdict = CheckOpened(h.H, parentFinal, f.Name, f.NameLength, w.scratch);
  if (verdict == vdElsewhere) {
    w.Left("leaving " + f.Path() + ": it is a link, and what it points at is never touched");
    return tkLeft;
  }
  if (overwrite && notOverwritten.empty()) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(h.H, &info))
      notOverwritten = Why(GetLastError());
    else if (info.nNumberOfLinks > 1)
      notOverwritten = "it has other names (hard links) that keep its data";
    else
      OverwriteOpenFile(t, h.H, w.passes, &notOverwritten);
  }
  if (!DisposeHandle(h.H, attributes)) {
    const DWORD error = GetLastError();
    if (IsGoneError(error)) return tkGone;
    w.Left(f.Path() + " could not be removed: " + Why(error));
    return tkLeft;
  }
  h.Close();
  // A handle the system cannot trace to a path may not have been deleted, although the system says
  // so (Wine, past 4,096 bytes of host path): the entry is looked at afterwards.
  if (verdict == vdUntraced && !EntryGone(f.Folder, f.Name, f.NameLength)) {
    w.Left(f.Path() + " could not be removed: the system kept it although it said it removed it");
    return tkLeft;
  }
  if (w.lines) t.AddDetailLine("deleting", f.Path(), 50);
  if (!notOverwritten.empty()) w.Left(f.Path() + " was removed without being overwritten: " + notOverwritten);
  return tkTaken;
}

// Counts a file taken into the walk and tells the window.
void CountFile(TWalk& w, TFolderFrame& frame, uint64_t size) {
  TCleanRun& t = w.run;
  ++w.counter;
  frame.Bytes += size;
  const uint32_t running = (uint32_t)(t.TotalCount + w.counter);
  t.NoteCount(running);
  if (t.ProgressDue()) t.PostProgress(running);
}

// The names of a folder's SQLite side files ("<name>-wal", "-shm", "-journal"), upper-cased by the
// name of their database, when the folder has any.
const wchar_t* const kSqliteSides[] = {L"-WAL", L"-SHM", L"-JOURNAL"};

bool HasSideSuffix(const std::wstring& upper) {
  for (const wchar_t* s : kSqliteSides) {
    const size_t n = wcslen(s);
    if (upper.size() > n && upper.compare(upper.size() - n, n, s) == 0) return true;
  }
  return false;
}

// Takes the side files of the database `f` just taken, from the folder's listing.
void TakeSideFiles(TWalk& w, TFolderFrame& frame, const TWalkPlace& place, const TListedFile& db) {
  std::wstring upperDb(db.Name, db.NameLength);
  CharUpperBuffW(&upperDb[0], (DWORD)upperDb.size());
  std::wstring upper;
  for (const TEntryList::Entry& e : frame.List.Entries) {
    if (e.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (e.NameLength <= db.NameLength) continue;
    upper.assign(frame.List.Name(e), e.NameLength);
    CharUpperBuffW(&upper[0], (DWORD)upper.size());
    if (upper.compare(0, upperDb.size(), upperDb) != 0) continue;
    bool side = false;
    for (const wchar_t* s : kSqliteSides) side = side || upper.compare(upperDb.size(), std::wstring::npos, s) == 0;
    if (!side) continue;
    const uint64_t key = e.FileId && place.Id.VolumeSerial ? FileKey(place.Id.VolumeSerial, e.FileId) : 0;
    if (key && (w.testing ? !w.run.ClaimOnce(key) : w.run.IsClaimed(key))) continue;
    TListedFile f;
    f.Folder = frame.Handle.H;
    f.FolderFinal = &place.Id.Final;
    f.Dir = &place.Dir;
    f.Name = frame.List.Name(e);
    f.NameLength = e.NameLength;
    f.Attributes = e.Attributes;
    f.Size = e.Size;
    switch (TakeFile(w, f)) {
      case tkTaken:
        CountFile(w, frame, e.Size);
        break;
      case tkLeft:
        if (key) w.run.ClaimOnce(key);
        break;
      case tkGone:
        break;
    }
  }
}

// The walk below the checks of its top folder (dir, with a trailing backslash, identified as id,
// open as topHandle): every file of the folder and, as the rules say, of its subfolders.
// Subfolders are taken in listing order, depth first, each checked as the top one is (links,
// protected folders, keep rules, questions) before it is entered.
void WalkFolders(TWalk& w, THandle topHandle, bool topDeletes, const std::string& dir, const TFolderIdentity& id,
                 const TKeepHere& topKeep, bool removeTop, bool topIsLink, const std::string& topOpenPath) {
  TCleanRun& t = w.run;
  TWalkPlace place;
  place.Dir = dir;
  place.Id = id;
  std::vector<std::unique_ptr<TFolderFrame>> stack;
  {
    auto top = std::unique_ptr<TFolderFrame>(new TFolderFrame);
    place.Mark(*top);
    top->Handle = std::move(topHandle);
    top->HandleDeletes = topDeletes;
    top->Remove = removeTop && !w.testing;
    top->IsTop = true;
    top->TopIsLink = topIsLink;
    top->TopOpenPath = topOpenPath;
    top->Keep = topKeep;
    if (!ReadEntries(top->Handle.H, top->List)) {
      w.Left("cannot list " + dir + ": " + Why(GetLastError()));
      return;
    }
    stack.push_back(std::move(top));
  }
  const bool hook = HasWalkHook();
  std::wstring upperName;
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
      if (IsDotName(name, e.NameLength)) continue;
      const bool isFolder = (e.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (isFolder) {
        if (w.rules.Kind == wkFiles && !w.rules.Recurse) continue;
        const std::string nameText = NarrowName(name, e.NameLength);
        if (frame.IsTop && w.rules.TopFolders && !w.rules.TopFolders(nameText)) continue;
        if (IsTrimmedNameW(name, e.NameLength)) {
          frame.LeftInside = true;
          w.Left("leaving " + place.Dir + nameText +
                 ": its name ends in a dot or a space, which the system would read as another name");
          continue;
        }
        if (hook) WalkHook("folder", place.Dir + nameText);
        auto next = std::unique_ptr<TFolderFrame>(new TFolderFrame);
        TSubfolder opened = sfLink;
        if (!(e.Attributes & FILE_ATTRIBUTE_REPARSE_POINT))
          opened = OpenSubfolder(frame.Handle.H, place.Id.Final, name, e.NameLength, w.RemovesFolders(), next->Handle,
                                 next->HandleDeletes, w.scratch);
        if (opened == sfGone) continue;
        if (opened == sfLink) {
          // A folder link found by listing is never entered; a tree walk removes the link itself.
          if (w.rules.Kind != wkTree) continue;
          if (w.testing || RemoveLinkInFolder(frame.Handle.H, place.Id.Final, name, e.NameLength, w.scratch)) {
            if (w.lines) t.AddDetailLine("deleting the link", place.Dir + nameText, 50);
          } else {
            frame.LeftInside = true;
            w.Left("leaving " + place.Dir + nameText + ": it is a link, and what it points at is never touched");
          }
          continue;
        }
        if (opened == sfUnopenable) {
          frame.LeftInside = true;
          w.Left("cannot enter " + place.Dir + nameText + ": " + Why(GetLastError()));
          continue;
        }
        // The checks see the subfolder's identity; the walk takes it on only when it enters.
        place.Enter(nameText, e.FileId);
        next->Keep = KeepRulesFor(w.rules, place.Id, &frame.Keep);
        bool enter = !next->Keep.KeepsWhole();
        if (!enter) frame.KeptInside = true;
        if (enter && !PassesProtection(w, place.Id)) {
          enter = false;
          frame.LeftInside = true;
        }
        if (enter && !PassesSafetyQuestions(w, place.Id)) {
          enter = false;
          frame.LeftInside = true;
        }
        if (enter && !ReadEntries(next->Handle.H, next->List)) {
          frame.LeftInside = true;
          w.Left("cannot list " + place.Dir + ": " + Why(GetLastError()));
          enter = false;
        }
        if (!enter) {
          place.Return(frame);
          continue;
        }
        place.Mark(*next);
        next->Name.assign(name, e.NameLength);
        next->Remove = w.RemovesFolders();
        child = std::move(next);
        continue;
      }
      // A file.
      if (frame.IsTop && !w.rules.TopFiles) continue;
      if (w.rules.Kind == wkFiles) {
        if (w.rules.TakeName ? !w.rules.TakeName(NarrowName(name, e.NameLength))
                             : !w.MatchesMask(UpperCase(NarrowName(name, e.NameLength))))
          continue;
      }
      if (w.KeptName(name, e.NameLength)) {
        frame.KeptInside = true;
        continue;
      }
      if (!frame.Keep.Empty() && frame.Keep.KeepsFile(UpperCase(NarrowName(name, e.NameLength)))) {
        frame.KeptInside = true;
        continue;
      }
      TListedFile f;
      f.Folder = frame.Handle.H;
      f.FolderFinal = &place.Id.Final;
      f.Dir = &place.Dir;
      f.Name = name;
      f.NameLength = e.NameLength;
      f.Attributes = e.Attributes;
      f.Size = e.Size;
      if (IsTrimmedNameW(name, e.NameLength)) {
        frame.LeftInside = true;
        w.Left("leaving " + f.Path() + ": its name ends in a dot or a space, which the system would read as another name");
        continue;
      }
      // Once a run: a file that an earlier item (or line) took is not taken again. A Test claims every
      // file it counts; a Clean, in which what went is gone, those that stayed and were said.
      const uint64_t key = e.FileId && place.Id.VolumeSerial ? FileKey(place.Id.VolumeSerial, e.FileId) : 0;
      if (key && (w.testing ? !t.ClaimOnce(key) : t.IsClaimed(key))) {
        frame.KeptInside = true;
        continue;
      }
      if (hook) WalkHook("file", f.Path());
      // An SQLite database takes its side files with it: known from its header, read before it goes.
      bool database = false;
      if (!w.rules.Rewrite) {
        upperName.assign(name, e.NameLength);
        CharUpperBuffW(&upperName[0], (DWORD)upperName.size());
        if (!HasSideSuffix(upperName)) {
          bool hasSide = false;
          for (const TEntryList::Entry& s : frame.List.Entries) {
            if (s.NameLength > e.NameLength && (s.Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                _wcsnicmp(frame.List.Name(s), name, e.NameLength) == 0 && frame.List.Name(s)[e.NameLength] == L'-') {
              hasSide = true;
              break;
            }
          }
          database = hasSide && IsSqliteDatabase(frame.Handle.H, name, e.NameLength);
        }
      }
      switch (TakeFile(w, f)) {
        case tkTaken:
          CountFile(w, frame, e.Size);
          if (database) TakeSideFiles(w, frame, place, f);
          break;
        case tkLeft:
          frame.LeftInside = true;
          if (key) t.ClaimOnce(key);
          break;
        case tkGone:
          break;
      }
    }
    if (child) {
      stack.push_back(std::move(child));
      continue;
    }
    // The folder is done: it goes (when it is to), and its bytes count for the folder above.
    const bool remove = frame.Remove && !w.testing && !t.Terminated();
    if (remove) {
      bool removed = false;
      DWORD error = ERROR_ACCESS_DENIED;
      if (frame.TopIsLink) {
        frame.Handle.Close();
        removed = RemoveNamedLink(frame.TopOpenPath);
        if (!removed) error = GetLastError();
      } else if (frame.HandleDeletes && frame.Handle.Valid()) {
        // Through its own handle, checked when it was listed or opened.
        removed = DisposeHandle(frame.Handle.H, 0);
        if (!removed) error = GetLastError();
      }
      // A folder that holds what was kept, or what the mask did not take, stays as it should; one
      // that holds what could not go has said so already.
      const bool expected = error == ERROR_DIR_NOT_EMPTY && (frame.KeptInside || frame.LeftInside ||
                                                             w.rules.Kind == wkFiles);
      if (!removed && !expected && !frame.LeftInside) {
        frame.LeftInside = true;
        w.Left(place.Dir + " could not be removed: " + Why(error));
      }
    }
    frame.Handle.Close();
    const uint64_t bytes = frame.Bytes;
    const bool leftInside = frame.LeftInside, keptInside = frame.KeptInside;
    stack.pop_back();
    if (stack.empty()) {
      w.bytes += bytes;
      break;
    }
    TFolderFrame& back = *stack.back();
    place.Return(back);
    back.Bytes += bytes;
    back.LeftInside = back.LeftInside || leftInside;
    back.KeptInside = back.KeptInside || keptInside;
  }
}

// The checks of a folder the walk has arrived at (the named one, or the last of its steps), then
// the walk of it.
void Arrive(TWalk& w, THandle handle, bool canDelete, const std::string& dir, const TFolderIdentity& id,
            bool topIsLink, const std::string& openPath, const std::string& context) {
  const TKeepHere keep = KeepRulesFor(w.rules, id, nullptr);
  if (keep.KeepsWhole()) return;
  if (!PassesProtection(w, id) || !PassesSafetyQuestions(w, id)) return;
  const bool removeTop = w.rules.Kind == wkTree ? w.rules.RemoveTop : w.rules.RemoveFolders;
  WalkFolders(w, std::move(handle), canDelete, dir, id, keep, removeTop, topIsLink, openPath);
}

// A wildcard step that matches every name, the last one right below a protected folder or a drive
// root, would hand every folder there to the walk: refused whole. True when it may be taken.
bool PassesWildcardCheck(TWalk& w, const TFolderIdentity& parent, const std::string& context) {
  std::string match = w.guard.ProtectedMatch(parent);
  if (!match.empty()) {
    w.Left("refusing the wildcard below the protected folder " + match + context);
    return false;
  }
  match = w.guard.DriveRootMatch(parent);
  if (!match.empty()) {
    w.Left("refusing the wildcard below the drive root " + match + context);
    return false;
  }
  return true;
}

// Takes the steps of a target below the folder open as `handle` (dir, identity id), then arrives
// at each folder they lead to.
void TakeSteps(TWalk& w, const TWalkTarget& target, size_t step, THandle handle, bool canDelete,
               const std::string& dir, const TFolderIdentity& id, bool topIsLink, const std::string& openPath) {
  if (w.run.Terminated()) return;
  if (step == target.Below.size()) {
    Arrive(w, std::move(handle), canDelete, dir, id, topIsLink, openPath, target.Context);
    return;
  }
  const std::string& text = target.Below[step];
  const bool last = step + 1 == target.Below.size();
  const bool removeLast = !w.testing && last && (w.rules.Kind == wkTree ? w.rules.RemoveTop : w.rules.RemoveFolders);
  auto descend = [&](const wchar_t* name, size_t length, uint64_t listedId) {
    const std::string nameText = NarrowName(name, length);
    const std::string path = dir + nameText;
    if (HasWalkHook()) WalkHook("folder", path);
    THandle sub;
    bool subDeletes = false;
    switch (OpenSubfolder(handle.H, id.Final, name, length, removeLast, sub, subDeletes, w.scratch)) {
      case sfGone:
        return;
      case sfUnopenable:
        w.Left("cannot enter " + path + ": " + Why(GetLastError()));
        return;
      case sfLink:
        // The last step of a tree named by listing: the link itself goes, never what it points at.
        if (last && w.rules.Kind == wkTree && w.rules.RemoveTop && !target.Below.empty()) {
          if (w.testing || RemoveLinkInFolder(handle.H, id.Final, name, length, w.scratch)) {
            if (w.lines) w.run.AddDetailLine("deleting the link", path, 50);
            return;
          }
        }
        w.Left("refusing the link " + path + ": what it points at is never touched");
        return;
      case sfOpened:
        break;
    }
    TFolderIdentity subId = id;
    subId.Enter(nameText);
    if (listedId) {
      subId.FileIndex = listedId;
      subId.HasFileId = subId.VolumeSerial != 0;
    } else {
      BY_HANDLE_FILE_INFORMATION info = {};
      if (GetFileInformationByHandle(sub.H, &info) && (info.nFileIndexHigh || info.nFileIndexLow)) {
        subId.FileIndex = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
        subId.VolumeSerial = info.dwVolumeSerialNumber;
        subId.HasFileId = true;
      }
    }
    TakeSteps(w, target, step + 1, std::move(sub), subDeletes, path + "\\", subId, false, std::string());
  };
  if (!IsWildcardStep(text, target.Rule)) {
    const std::wstring name = Widen(text);
    // A step the system would trim, or "." and "..", could reach another folder than it names.
    if (IsTrimmedNameW(name.c_str(), name.size())) {
      w.Left("refusing the folder pattern " + dir + text + target.Context);
      return;
    }
    descend(name.c_str(), name.size(), 0);
    return;
  }
  // Only a step that stands for every name there is refused; a partial step or the profile step
  // takes only the folders it names.
  if (last && StepMatchesEveryName(text, target.Rule) && !PassesWildcardCheck(w, id, target.Context)) return;
  TEntryList list;
  if (!ReadEntries(handle.H, list)) {
    w.Left("cannot list " + dir + ": " + Why(GetLastError()));
    return;
  }
  const std::string upperStep = UpperCase(text);
  std::vector<std::pair<std::string, size_t>> found;  // upper-cased name, entry
  for (size_t i = 0; i < list.Entries.size(); ++i) {
    const TEntryList::Entry& e = list.Entries[i];
    const wchar_t* name = list.Name(e);
    if (!(e.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsTrimmedNameW(name, e.NameLength)) continue;
    // Links are never taken by a wildcard (nor said: a wildcard names no folder of its own).
    if (e.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const std::string nameText = NarrowName(name, e.NameLength);
    const std::string upper = UpperCase(nameText);
    // The profile step asks whether the folder holds a Preferences file: a look, never a way in.
    if (!StepAdmitsFolder(upperStep, target.Rule, upper, [&](const std::string& file) {
          const DWORD a = GetFileAttributesW(ToWinPath(dir + nameText + "\\" + file).c_str());
          return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
        }))
      continue;
    found.push_back({upper, i});
  }
  std::sort(found.begin(), found.end());
  for (const auto& f : found) {
    if (w.run.Terminated()) return;
    const TEntryList::Entry& e = list.Entries[f.second];
    descend(list.Name(e), e.NameLength, e.FileId);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The public calls

uint64_t WalkAndRemove(TCleanRun& run, const TWalkTarget& target, const TWalkRules& rules, int& counter) {
  if (run.Terminated() || target.Folder.empty() || target.Folder == "\\") return 0;
  if (rules.Kind == wkFiles && rules.Masks.empty() && !rules.TakeName) return 0;
  auto refuse = [&](const std::string& what) {
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + what + " " + target.Folder + target.Context);
  };
  // Recognised from the text, before anything touches the path.
  const TPathSpelling spelling = ReadPathSpelling(IncludeTrailingBackslash(target.Folder));
  if (spelling.Form == pfDevice) {
    refuse("refusing the device path");
    return 0;
  }
  if (spelling.Form == pfRelative) {
    refuse("refusing the relative folder");
    return 0;
  }
  // The checks are looked up first, with the system's usual view.
  run.FolderGuard();
  // The x86 build on 64-bit Windows sees the real system folder here, as the x64 build does.
  TNativeFileSystemView native;
  TWalk w(run, rules, counter);
  std::string dir, openPath;
  TFolderIdentity id;
  switch (IdentifyFolder(target.Folder, id, &dir, &openPath)) {
    case fvDevicePath:
      refuse("refusing the device path");
      return 0;
    case fvUnresolvedShare:
      refuse("refusing the unchecked local share");
      return 0;
    case fvFolder:
      break;
  }
  const bool removeTop = target.Below.empty() && !run.IsTest() &&
                         (rules.Kind == wkTree ? rules.RemoveTop : rules.RemoveFolders);
  // The named folder, opened once as spelled: when it is a link the walk goes through it.
  const ACCESS_MASK list = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  const std::wstring open = FolderForOpen(openPath);
  const DWORD entry = GetFileAttributesW(open.c_str());
  if (entry == INVALID_FILE_ATTRIBUTES || !(entry & FILE_ATTRIBUTE_DIRECTORY)) return 0;  // nothing there
  const bool isLink = (entry & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  THandle h;
  bool canDelete = false;
  if (removeTop && !isLink) {
    h = THandle(CreateFileW(open.c_str(), list | DELETE, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr));
    canDelete = h.Valid();
  }
  if (!h.Valid())
    h = THandle(CreateFileW(open.c_str(), list, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.Valid()) {
    const DWORD error = GetLastError();
    if (!IsGoneError(error)) {
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + "cannot enter " + dir + ": " + Why(error));
    }
    return 0;
  }
  // The identity the checks see is that of the folder opened, not of another lookup of its name.
  ReadHandleIdentity(h.H, id);
  TakeSteps(w, target, 0, std::move(h), canDelete, dir, id, isLink && target.Below.empty(), openPath);
  return w.bytes;
}

uint64_t DeleteFolderTree(TCleanRun& run, const std::string& folder, bool removeTop, bool log,
                          const std::string& keepName, int& counter, TFolderOrigin origin) {
  TWalkTarget target;
  target.Folder = folder;
  if (origin == foListed) {
    // Found by listing its parent: reached through the parent, never entered when it is a link.
    const std::string f = ExcludeTrailingBackslash(folder);
    target.Folder = ParentOf(f);
    target.Below = {NameOf(f)};
    if (target.Folder.empty() || target.Below[0].empty()) return 0;
  }
  TWalkRules rules;
  rules.Kind = wkTree;
  rules.RemoveTop = removeTop;
  rules.Log = log;
  if (!keepName.empty()) rules.KeepNames = {keepName};
  return WalkAndRemove(run, target, rules, counter);
}

uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse, TFolderOrigin origin) {
  TWalkTarget target;
  target.Folder = folder;
  if (origin == foListed) {
    const std::string f = ExcludeTrailingBackslash(folder);
    target.Folder = ParentOf(f);
    target.Below = {NameOf(f)};
    if (target.Folder.empty() || target.Below[0].empty()) return 0;
  }
  TWalkRules rules;
  rules.Kind = wkFiles;
  rules.Masks = {mask};
  rules.Recurse = recurse;
  return WalkAndRemove(run, target, rules, counter);
}

bool DeleteOneFile(TCleanRun& run, const std::string& path, bool log) {
  const TPathSpelling spelling = ReadPathSpelling(path);
  if (spelling.Form == pfDevice) {
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + "refusing the device path " + path);
    return false;
  }
  if (spelling.Form == pfRelative || spelling.Segments.empty()) return false;
  // The file is the last step of the path as written; its folder is named.
  std::string raw = path;
  for (char& c : raw)
    if (c == '/') c = '\\';
  const std::string name = spelling.Verbatim ? spelling.Segments.back() : NameOf(raw);
  if (name.empty()) return false;
  if (!spelling.Verbatim && IsTrimmedName(name)) {
    // The system would trim it and reach a neighbour ("desktop.ini " is desktop.ini).
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + "leaving " + path +
                   ": its name ends in a dot or a space, which the system would read as another name");
    return false;
  }
  TPathSpelling parent = spelling;
  parent.Segments.pop_back();
  const std::string folder = spelling.Verbatim ? parent.OpenText() : ParentOf(raw);
  if (folder.empty()) return false;
  run.FolderGuard();
  TNativeFileSystemView native;
  std::string dir, openPath;
  TFolderIdentity id;
  if (IdentifyFolder(folder, id, &dir, &openPath) != fvFolder) return false;
  THandle h(CreateFileW(FolderForOpen(openPath).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.Valid()) return false;
  ReadHandleIdentity(h.H, id);
  const std::wstring wideName = Widen(name);
  // What the folder's listing says of it: a file, its attributes, size and id.
  THandle probe = OpenInFolder(h.H, wideName.c_str(), wideName.size(), FILE_READ_ATTRIBUTES, 0);
  if (!probe.Valid()) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(probe.H, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  probe.Close();
  const uint64_t fileId = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
  const uint64_t key = fileId && info.dwVolumeSerialNumber ? FileKey(info.dwVolumeSerialNumber, fileId) : 0;
  if (key && (run.IsTest() ? !run.ClaimOnce(key) : run.IsClaimed(key))) return false;
  TWalkRules rules;
  rules.Kind = wkFiles;
  rules.Log = log;
  int unused = 0;
  TWalk w(run, rules, unused);
  TListedFile f;
  f.Folder = h.H;
  f.FolderFinal = &id.Final;
  f.Dir = &dir;
  f.Name = wideName.c_str();
  f.NameLength = wideName.size();
  f.Attributes = info.dwFileAttributes;
  f.Size = ((uint64_t)info.nFileSizeHigh << 32) | info.nFileSizeLow;
  if (HasWalkHook()) WalkHook("file", f.Path());
  const TTaken taken = TakeFile(w, f);
  if (taken == tkLeft && key) run.ClaimOnce(key);
  return taken == tkTaken;
}

bool OverwriteOpenFile(TCleanRun& run, HANDLE h, int passes, std::string* why) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(h, &size)) {
    if (why) *why = Why(GetLastError());
    return false;
  }
  std::minstd_rand& random = run.Random();
  static const DWORD kBlock = 64 * 1024;
  std::vector<BYTE> buffer(kBlock);
  for (int pass = 1; pass <= passes; ++pass) {
    memset(buffer.data(), (int)(random() % 255), kBlock);
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) {
      if (why) *why = Why(GetLastError());
      return false;
    }
    for (int64_t left = size.QuadPart; left > 0;) {
      const DWORD chunk = left < (int64_t)kBlock ? (DWORD)left : kBlock;
      DWORD written = 0;
      if (!::WriteFile(h, buffer.data(), chunk, &written, nullptr) || written != chunk) {
        if (why) *why = "writing failed: " + Why(GetLastError());
        return false;
      }
      left -= chunk;
    }
    if (!FlushFileBuffers(h)) {
      if (why) *why = "writing failed: " + Why(GetLastError());
      return false;
    }
  }
  return true;
}

bool OverwriteFileContents(TCleanRun& run, const std::string& path, int passes) {
  TNativeFileSystemView native;
  const std::wstring wp = ToWinPath(path);
  THandle h(CreateFileW(wp.c_str(), GENERIC_READ | GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) return false;
  // Never through a link, and never a file whose data lives on under another name.
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(h.H, &info) || info.nNumberOfLinks > 1 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  const std::string p = ExcludeTrailingBackslash(path);
  const std::wstring parent = FinalPathOfFolder(ParentOf(p));
  const std::wstring name = Widen(NameOf(p));
  std::wstring scratch;
  if (CheckOpened(h.H, parent, name.c_str(), name.size(), scratch) == vdElsewhere) return false;
  return OverwriteOpenFile(run, h.H, passes, nullptr);
}

bool IsFileLocked(const std::string& path) {
  if (!FileExists(path)) return false;
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
}

void SetFileDeleteMethod(TFileDeleteMethod method) { g_deleteMethod = method; }
TFileDeleteMethod GetFileDeleteMethod() { return (TFileDeleteMethod)g_deleteMethod.load(); }

void SetWalkHookForTesting(std::function<void(const char* event, const std::string& path)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_walkHook = std::move(hook);
}

std::wstring FinalPathOfHandle(HANDLE h) {
  std::wstring out;
  return FinalPathInto(h, out) ? out : std::wstring();
}

std::wstring FinalPathOfFolder(const std::string& folder) {
  if (!Nt().FinalPath || folder.empty()) return std::wstring();
  HANDLE h = CreateFileW(FolderForOpen(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring final = FinalPathOfHandle(h);
  CloseHandle(h);
  return final;
}

bool IsResolvedLink(const std::string& path, const std::wstring& parentFinal) {
  if (!Nt().FinalPath) return false;
  THandle h(CreateFileW(ToWinPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) return false;
  const std::string p = ExcludeTrailingBackslash(path);
  const std::wstring parent = parentFinal.empty() ? FinalPathOfFolder(ParentOf(p)) : parentFinal;
  const std::wstring name = Widen(NameOf(p));
  std::wstring scratch;
  return CheckOpened(h.H, parent, name.c_str(), name.size(), scratch) == vdElsewhere;
}

bool IsLinkEntry(const std::string& path) {
  DWORD attributes = GetFileAttributesW(ToWinPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsResolvedLink(path);
}

bool IsReachableName(const std::string& name) { return !IsTrimmedName(name); }

}  // namespace qv
