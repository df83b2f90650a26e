#include "engine/FolderGuard.h"

#include <lm.h>
#include <shlobj.h>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/PathSpelling.h"
#include "base/Wow64.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring UpperW(std::wstring w) {
  if (!w.empty()) CharUpperBuffW(&w[0], (DWORD)w.size());
  return w;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return s;
}

// The spelling made absolute as Windows makes it; "C:" alone is the drive root.
std::string FullFolderPath(const std::string& folder) {
  std::wstring w = Widen(IncludeTrailingBackslash(folder));
  std::wstring buf(w.size() + MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(w.c_str(), (DWORD)buf.size(), &buf[0], nullptr);
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetFullPathNameW(w.c_str(), (DWORD)buf.size(), &buf[0], nullptr);
  }
  if (n == 0 || n >= buf.size()) return IncludeTrailingBackslash(folder);
  buf.resize(n);
  return IncludeTrailingBackslash(Narrow(buf));
}

std::string LongForm(const std::string& path) {
  const std::wstring wide = ToWinPath(path);
  std::wstring buf(MAX_PATH + 1, L'\0');
  DWORD n = GetLongPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetLongPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  }
  if (n == 0 || n >= buf.size()) return path;
  buf.resize(n);
  std::string out = Narrow(buf);
  // A long path went in with the extended prefix; the text is kept without it.
  TPathSpelling back = ReadPathSpelling(out);
  return back.Form == pfDrive || back.Form == pfNetwork ? back.Text() : path;
}

// Opens a folder (following links) and reads its resolved path and file id.
void ReadOpenedIdentity(const std::string& walk, const TPathSpelling& spelling, TFolderIdentity& id) {
  std::string open = walk;
  // CreateFile takes a folder without its trailing backslash, except a drive or share root.
  if (!spelling.Segments.empty() && open.size() > 3 && open.back() == '\\') open.pop_back();
  HANDLE h = CreateFileW(ToWinPath(open).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  ReadHandleIdentity(h, id);
  CloseHandle(h);
}

// One part of an IPv4 address as inet_aton reads it: decimal, octal with a leading 0, or hex.
bool ParseIpPart(const std::string& s, uint64_t& v) {
  if (s.empty()) return false;
  int base = 10;
  size_t i = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (s.size() > 1 && s[0] == '0') {
    base = 8;
    i = 1;
  }
  v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (d >= base) return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return false;
  }
  return true;
}

// An IPv4 address in any form the name resolver takes ("127.0.0.1", "127.1", "2130706433", "0x7f.1").
bool ParseIpv4(const std::string& s, uint32_t& address) {
  std::vector<uint64_t> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = s.find('.', start);
    uint64_t v;
    if (!ParseIpPart(s.substr(start, dot == std::string::npos ? std::string::npos : dot - start), v)) return false;
    parts.push_back(v);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.size() > 4) return false;
  uint64_t a = 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i] > 255) return false;
    a |= parts[i] << (24 - 8 * i);
  }
  uint64_t last = parts.back();
  if (last >= (1ull << (8 * (5 - parts.size())))) return false;
  address = (uint32_t)(a | last);
  return true;
}

bool IsLoopbackIpv4(const std::string& s) {
  uint32_t a;
  return ParseIpv4(s, a) && ((a >> 24) == 127 || a == 0);
}

// "::1" in any of its spellings, also IPv4-mapped ("::ffff:127.0.0.1").
bool IsLoopbackIpv6(std::string s) {
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  size_t zone = s.find('%');
  if (zone != std::string::npos) s.resize(zone);
  if (s.find(':') == std::string::npos) return false;
  std::vector<std::string> head, tail;
  size_t dbl = s.find("::");
  auto split = [](const std::string& t, std::vector<std::string>& out) {
    if (t.empty()) return;
    size_t start = 0;
    for (;;) {
      size_t c = t.find(':', start);
      out.push_back(t.substr(start, c == std::string::npos ? std::string::npos : c - start));
      if (c == std::string::npos) break;
      start = c + 1;
    }
  };
  if (dbl != std::string::npos) {
    split(s.substr(0, dbl), head);
    split(s.substr(dbl + 2), tail);
  } else {
    split(s, head);
  }
  // An IPv4 tail counts as two groups.
  std::string v4;
  std::vector<std::string>& last = tail.empty() ? head : tail;
  if (!last.empty() && last.back().find('.') != std::string::npos) {
    v4 = last.back();
    last.pop_back();
  }
  size_t groups = head.size() + tail.size() + (v4.empty() ? 0 : 2);
  if (groups > 8 || (dbl == std::string::npos && groups != 8)) return false;
  std::vector<uint32_t> value;
  for (const std::string& g : head) {
    uint64_t v;
    if (g.empty() || g.size() > 4 || !ParseIpPart("0x" + g, v)) return false;
    value.push_back((uint32_t)v);
  }
  value.resize(value.size() + (8 - groups), 0);
  for (const std::string& g : tail) {
    uint64_t v;
    if (g.empty() || g.size() > 4 || !ParseIpPart("0x" + g, v)) return false;
    value.push_back((uint32_t)v);
  }
  if (!v4.empty()) {
    // ::ffff:a.b.c.d (or the older ::a.b.c.d) is the IPv4 address.
    for (size_t i = 0; i < 5; ++i)
      if (value[i]) return false;
    return (value[5] == 0xFFFF || value[5] == 0) && IsLoopbackIpv4(v4);
  }
  for (size_t i = 0; i < 7; ++i)
    if (value[i]) return false;
  return value[7] == 1 || value[7] == 0;
}

// The folder a share of this machine stands for: X$ is the drive's root, ADMIN$ the Windows
// folder; any other share as the system reports it (which needs administrator rights).
bool LocalShareFolder(const std::string& share, std::string& folder) {
  if (share.size() == 2 && share[1] == '$' &&
      ((share[0] >= 'A' && share[0] <= 'Z') || (share[0] >= 'a' && share[0] <= 'z'))) {
    folder = std::string(1, share[0]) + ":\\";
    return true;
  }
  if (SameText(share, "ADMIN$")) {
    wchar_t buf[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    folder = Narrow(buf);
    return true;
  }
  using GetInfoFn = NET_API_STATUS(WINAPI*)(LPWSTR, LPWSTR, DWORD, LPBYTE*);
  using FreeFn = NET_API_STATUS(WINAPI*)(LPVOID);
  HMODULE net;
  {
    // A library of the program's own kind, whatever view of the file system the caller has.
    TRedirectedFileSystemView usual;
    net = LoadLibraryW(L"netapi32.dll");
  }
  if (!net) return false;
  auto getInfo = reinterpret_cast<GetInfoFn>(GetProcAddress(net, "NetShareGetInfo"));
  auto freeBuffer = reinterpret_cast<FreeFn>(GetProcAddress(net, "NetApiBufferFree"));
  bool found = false;
  if (getInfo && freeBuffer) {
    std::wstring name = Widen(share);
    LPBYTE buffer = nullptr;
    if (getInfo(nullptr, &name[0], 2, &buffer) == 0 && buffer) {
      const SHARE_INFO_2* info = reinterpret_cast<const SHARE_INFO_2*>(buffer);
      if (info->shi2_path && info->shi2_path[0]) {
        folder = Narrow(info->shi2_path);
        found = true;
      }
    }
    if (buffer) freeBuffer(buffer);
  }
  FreeLibrary(net);
  return found;
}

void AddUnique(std::vector<std::string>& out, const std::string& path) {
  if (path.empty()) return;
  const std::string p = IncludeTrailingBackslash(path);
  for (const std::string& have : out)
    if (SameText(have, p)) return;
  out.push_back(p);
}

std::string Environment(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Narrow(buf) : std::string();
}

}  // namespace

bool TFolderIdentity::SameFolder(const TFolderIdentity& other) const {
  if (HasFileId && other.HasFileId && VolumeSerial == other.VolumeSerial && FileIndex == other.FileIndex) return true;
  if (!Final.empty() && Final == other.Final) return true;
  // The text stands in only for a folder that could not be opened on either side: a folder that
  // exists is known by what the system says of it, never by how it is spelled.
  if (Opened() || other.Opened()) return false;
  return !TextKey.empty() && TextKey == other.TextKey;
}

bool TFolderIdentity::Within(const TFolderIdentity& folder) const {
  if (SameFolder(folder)) return true;
  if (!Final.empty() && !folder.Final.empty())
    return Final.size() > folder.Final.size() && Final.compare(0, folder.Final.size(), folder.Final) == 0 &&
           Final[folder.Final.size()] == L'\\';
  if (Opened() || folder.Opened()) return false;
  return TextKey.size() > folder.TextKey.size() && TextKey.compare(0, folder.TextKey.size(), folder.TextKey) == 0;
}

void ReadHandleIdentity(HANDLE h, TFolderIdentity& id) {
  id.Final = FinalPathOfHandle(h);
  BY_HANDLE_FILE_INFORMATION info = {};
  id.HasFileId = false;
  if (GetFileInformationByHandle(h, &info) && (info.nFileIndexHigh || info.nFileIndexLow)) {
    id.HasFileId = true;
    id.VolumeSerial = info.dwVolumeSerialNumber;
    id.FileIndex = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
  }
}

TFolderIdentity TFolderIdentity::Child(const std::string& name) const {
  TFolderIdentity c = *this;
  c.Enter(name);
  return c;
}

void TFolderIdentity::Enter(const std::string& name) {
  Text.append(name).push_back('\\');
  TextKey.append(UpperCase(name)).push_back('\\');
  if (!Final.empty()) Final.append(L"\\").append(UpperW(Widen(name)));
  // Known from the listing, not opened: the walk sets the id the listing gave.
  FileIndex = 0;
  HasFileId = false;
}

bool IsLocalServer(const std::string& server) {
  std::string s = LowerAscii(server);
  while (!s.empty() && s.back() == '.') s.pop_back();
  if (s.empty() || s == "localhost" || s == "." || s == "?") return true;
  if (IsLoopbackIpv4(s) || IsLoopbackIpv6(s)) return true;
  // The literal form of an IPv6 address as a name: "0--1.ipv6-literal.net" is ::1.
  const std::string literal = ".ipv6-literal.net";
  if (s.size() > literal.size() && s.compare(s.size() - literal.size(), literal.size(), literal) == 0) {
    std::string v6 = s.substr(0, s.size() - literal.size());
    for (char& c : v6) {
      if (c == '-') c = ':';
      else if (c == 's') c = '%';
    }
    if (IsLoopbackIpv6(v6)) return true;
  }
  for (int kind : {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified,
                   ComputerNamePhysicalNetBIOS, ComputerNamePhysicalDnsHostname,
                   ComputerNamePhysicalDnsFullyQualified}) {
    wchar_t buf[256] = {};
    DWORD size = 255;
    if (GetComputerNameExW((COMPUTER_NAME_FORMAT)kind, buf, &size) && buf[0] && SameText(Narrow(buf), s)) return true;
  }
  return false;
}

TFolderVerdict IdentifyFolder(const std::string& folder, TFolderIdentity& id, std::string* walkPath,
                              std::string* openPath) {
  id = TFolderIdentity();
  TPathSpelling spelling = ReadPathSpelling(IncludeTrailingBackslash(folder));
  if (spelling.Form == pfDevice) return fvDevicePath;
  // A \\?\ spelling is opened as written (trailing dots and spaces stay); \\.\ is opened in its
  // plain form; any other spelling is made absolute as Windows makes it. The walk's text is the
  // same folder without the prefix.
  std::string walk = spelling.Prefixed ? spelling.Text() : FullFolderPath(folder);
  const std::string open = spelling.Verbatim ? spelling.OpenText() : walk;
  TPathSpelling full = spelling.Verbatim ? spelling : ReadPathSpelling(walk);
  if (full.Form != pfDrive && full.Form != pfNetwork) return fvDevicePath;
  TPathSpelling canonical = full;
  if (full.Form == pfNetwork && IsLocalServer(full.Server)) {
    std::string local;
    if (!LocalShareFolder(full.Share, local)) return fvUnresolvedShare;
    for (const std::string& s : full.Segments) local = IncludeTrailingBackslash(local) + s;
    canonical = ReadPathSpelling(IncludeTrailingBackslash(local));
    if (canonical.Form != pfDrive) return fvUnresolvedShare;
  }
  id.Text = IncludeTrailingBackslash(LongForm(canonical.Verbatim ? canonical.OpenText() : canonical.Text()));
  id.TextKey = UpperCase(id.Text);
  ReadOpenedIdentity(open, full, id);
  if (walkPath) *walkPath = walk;
  if (openPath) *openPath = open;
  return fvFolder;
}

std::vector<std::string> ProtectedFolderPaths() {
  std::vector<std::string> out;
  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) AddUnique(out, Narrow(buf));
  n = GetSystemDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) AddUnique(out, Narrow(buf));
  // The 32-bit system folder of 64-bit Windows; looked up, as Windows XP has no such call.
  using Wow64DirFn = UINT(WINAPI*)(LPWSTR, UINT);
  if (auto wow = reinterpret_cast<Wow64DirFn>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW"))) {
    n = wow(buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH) AddUnique(out, Narrow(buf));
  }
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                    CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_DESKTOPDIRECTORY,
                    CSIDL_COMMON_DESKTOPDIRECTORY})
    AddUnique(out, ShellFolderPath(csidl));
  const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
  for (const char* value : {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir"})
    AddUnique(out, ReadRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersion, value));
  const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  for (const char* value : {"AppData", "Local AppData", "Desktop"})
    AddUnique(out, ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, value));
  for (const char* value : {"Common AppData", "Common Desktop"})
    AddUnique(out, ReadRegistryString(HKEY_LOCAL_MACHINE, kShellFolders, value));
  for (const wchar_t* name : {L"SystemRoot", L"windir", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432",
                              L"USERPROFILE", L"APPDATA", L"LOCALAPPDATA", L"ALLUSERSPROFILE", L"ProgramData"})
    AddUnique(out, Environment(name));
  return out;
}

TFolderGuard::TFolderGuard(const std::string& personalFolder) {
  // The folders are named with the system's usual view (the shell may load libraries); they are
  // identified as the walks see them, past the redirection of the x86 build on 64-bit Windows, so
  // that the real System32 and SysWOW64 are both known.
  const std::vector<std::string> paths = ProtectedFolderPaths();
  TNativeFileSystemView native;
  for (const std::string& path : paths) {
    TFolderIdentity id;
    if (IdentifyFolder(path, id) == fvFolder) protected_.push_back(id);
  }
  DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::string root = std::string(1, (char)('A' + i)) + ":\\";
    UINT type = GetDriveTypeW(Widen(root).c_str());
    if (type != DRIVE_FIXED && type != DRIVE_RAMDISK) continue;
    TFolderIdentity id;
    if (IdentifyFolder(root, id) == fvFolder) roots_.push_back(id);
  }
  if (!personalFolder.empty()) {
    hasPersonal_ = IdentifyFolder(personalFolder, personal_) == fvFolder &&
                   IdentifyFolder(IncludeTrailingBackslash(personalFolder) + "My Pictures\\", pictures_) == fvFolder;
  }
}

std::string TFolderGuard::ProtectedMatch(const TFolderIdentity& id) const {
  for (const TFolderIdentity& p : protected_)
    if (id.SameFolder(p)) return p.Text;
  return std::string();
}

std::string TFolderGuard::DriveRootMatch(const TFolderIdentity& id) const {
  // A drive root ("C:\"): the only canonical texts shorter than 4 characters.
  if (id.Text.size() < 4) return id.Text;
  for (const TFolderIdentity& r : roots_)
    if (id.SameFolder(r)) return r.Text;
  return std::string();
}

std::string TFolderGuard::DocumentsMatch(const TFolderIdentity& id) const {
  return hasPersonal_ && id.SameFolder(personal_) ? personal_.Text : std::string();
}

std::string TFolderGuard::MyPicturesMatch(const TFolderIdentity& id) const {
  return hasPersonal_ && id.SameFolder(pictures_) ? pictures_.Text : std::string();
}

}  // namespace qv
