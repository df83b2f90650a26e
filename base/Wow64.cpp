#include "base/Wow64.h"

#include <mutex>

#include "base/Global.h"

namespace qv {

namespace {

std::mutex g_viewsMutex;
std::vector<REGSAM> g_viewsForTesting;

FARPROC Kernel32(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name); }

// KEY_NAME_INFORMATION of NtQueryKey.
struct TKeyNameInformation {
  ULONG NameLength;
  WCHAR Name[1];
};
using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
constexpr int kKeyNameInformation = 3;

std::string RegistryString(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return std::string();
  std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, nullptr, (BYTE*)&buf[0], &size) != ERROR_SUCCESS) return std::string();
  return Narrow(buf.c_str());
}

}  // namespace

bool IsWow64() {
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const auto isWow64 = reinterpret_cast<IsWow64Fn>(Kernel32("IsWow64Process"));
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool Is64BitWindows() { return sizeof(void*) == 8 || IsWow64(); }

std::vector<REGSAM> RegistryViews(HKEY) {
  {
    std::lock_guard<std::mutex> lock(g_viewsMutex);
    if (!g_viewsForTesting.empty()) return g_viewsForTesting;
  }
  if (!Is64BitWindows()) return {0};
  return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
}

void SetRegistryViewsForTesting(const std::vector<REGSAM>& views) {
  std::lock_guard<std::mutex> lock(g_viewsMutex);
  g_viewsForTesting = views;
}

std::wstring KernelKeyName(HKEY key) {
  static const auto query =
      reinterpret_cast<NtQueryKeyFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey"));
  if (!query || !key) return std::wstring();
  std::vector<BYTE> buf(1024);
  ULONG needed = 0;
  LONG status = query(key, kKeyNameInformation, buf.data(), (ULONG)buf.size(), &needed);
  if (status != 0 && needed > buf.size()) {
    buf.resize(needed);
    status = query(key, kKeyNameInformation, buf.data(), (ULONG)buf.size(), &needed);
  }
  if (status != 0) return std::wstring();
  auto* info = reinterpret_cast<TKeyNameInformation*>(buf.data());
  return UpperKeyText(std::wstring(info->Name, info->NameLength / sizeof(WCHAR)));
}

std::wstring UpperKeyText(std::wstring text) {
  using UpcaseFn = WCHAR(WINAPI*)(WCHAR);
  static const auto upcase =
      reinterpret_cast<UpcaseFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar"));
  if (upcase) {
    for (wchar_t& c : text) c = upcase(c);
  } else if (!text.empty()) {
    CharUpperBuffW(&text[0], (DWORD)text.size());
  }
  return text;
}

std::vector<std::string> SystemFolders() {
  std::vector<std::string> folders;
  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) folders.push_back(ExcludeTrailingBackslash(Narrow(buf)));
  if (Is64BitWindows()) {
    using Wow64DirFn = UINT(WINAPI*)(LPWSTR, UINT);
    static const auto wow64Dir = reinterpret_cast<Wow64DirFn>(Kernel32("GetSystemWow64DirectoryW"));
    wchar_t wow[MAX_PATH + 1] = {};
    UINT m = wow64Dir ? wow64Dir(wow, MAX_PATH) : 0;
    if (m > 0 && m < MAX_PATH) {
      const std::string folder = ExcludeTrailingBackslash(Narrow(wow));
      if (folders.empty() || !SameText(folders[0], folder)) folders.push_back(folder);
    }
  }
  return folders;
}

// How many native views the calling thread is inside.
static thread_local int t_nativeDepth = 0;

TNativeFileSystemView::TNativeFileSystemView() {
  if (!IsWow64()) return;
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  static const auto disable = reinterpret_cast<DisableFn>(Kernel32("Wow64DisableWow64FsRedirection"));
  active_ = disable && disable(&old_);
  if (active_) ++t_nativeDepth;
}

TNativeFileSystemView::~TNativeFileSystemView() {
  if (!active_) return;
  --t_nativeDepth;
  using RevertFn = BOOL(WINAPI*)(PVOID);
  static const auto revert = reinterpret_cast<RevertFn>(Kernel32("Wow64RevertWow64FsRedirection"));
  if (revert) revert(old_);
}

using EnableRedirectionFn = BOOLEAN(WINAPI*)(BOOLEAN);

TRedirectedFileSystemView::TRedirectedFileSystemView() {
  if (t_nativeDepth == 0) return;
  static const auto enable = reinterpret_cast<EnableRedirectionFn>(Kernel32("Wow64EnableWow64FsRedirection"));
  active_ = enable && enable(TRUE);
}

TRedirectedFileSystemView::~TRedirectedFileSystemView() {
  if (!active_) return;
  static const auto enable = reinterpret_cast<EnableRedirectionFn>(Kernel32("Wow64EnableWow64FsRedirection"));
  if (enable) enable(FALSE);
}

std::vector<std::string> ProgramFilesFolders() {
  std::vector<std::string> folders;
  HKEY key;
  // Read access only: a user without administrator rights gets the folders too.
  const REGSAM view = Is64BitWindows() ? KEY_WOW64_64KEY : 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ | view, &key) !=
      ERROR_SUCCESS)
    return folders;
  for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {
    std::string folder = ExcludeTrailingBackslash(RegistryString(key, name));
    if (folder.empty()) continue;
    bool seen = false;
    for (const std::string& f : folders) seen = seen || SameText(f, folder);
    if (!seen) folders.push_back(folder);
    if (!Is64BitWindows()) break;
  }
  RegCloseKey(key);
  return folders;
}

}  // namespace qv
