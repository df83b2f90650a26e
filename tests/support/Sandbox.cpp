#include "support/Sandbox.h"

#include <sddl.h>
#include <shlwapi.h>

#include <vector>

#include "base/Global.h"

using qv::Narrow;
using qv::ToWinPath;
using qv::Widen;

namespace qvtest {

SandboxFolder::SandboxFolder(const std::string& name) : path_("C:\\qvsandbox\\" + name + "\\") {
  RemoveTree(path_);
  MakeDirs(path_);
}

SandboxFolder::~SandboxFolder() { RemoveTree(path_); }

void MakeDirs(const std::string& path) {
  std::string p = qv::IncludeTrailingBackslash(path);
  for (size_t i = 3; i < p.size(); ++i)
    if (p[i] == '\\') CreateDirectoryW(ToWinPath(p.substr(0, i)).c_str(), nullptr);
}

void WriteFile(const std::string& path, uint64_t size) {
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos) MakeDirs(path.substr(0, slash));
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::vector<char> buf(65536, 'x');
  while (size > 0) {
    DWORD chunk = (DWORD)(size < buf.size() ? size : buf.size());
    DWORD written = 0;
    ::WriteFile(h, buf.data(), chunk, &written, nullptr);
    size -= chunk;
  }
  CloseHandle(h);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos) MakeDirs(path.substr(0, slash));
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
  CloseHandle(h);
}

std::string ReadTextFile(const std::string& path) {
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

void RemoveTree(const std::string& path) {
  std::string dir = qv::IncludeTrailingBackslash(path);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = Narrow(fd.cFileName);
      if (name == "." || name == "..") continue;
      std::string full = dir + name;
      SetFileAttributesW(ToWinPath(full).c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(full);
      else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(ToWinPath(full).c_str());
      else
        DeleteFileW(ToWinPath(full).c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(ToWinPath(qv::ExcludeTrailingBackslash(dir)).c_str());
}

SandboxKey::SandboxKey(const std::string& name, HKEY root) : root_(root), path_("Software\\QuorvaneTest\\" + name) {
  RegDeleteTree(root_, path_);
  RegCreate(root_, path_);
}

SandboxKey::~SandboxKey() { RegDeleteTree(root_, path_); }

void RegCreate(HKEY root, const std::string& path) {
  HKEY k;
  if (RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
      ERROR_SUCCESS)
    RegCloseKey(k);
}

void RegSetString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  HKEY k;
  if (RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return;
  std::wstring v = Widen(value);
  RegSetValueExW(k, Widen(name).c_str(), 0, REG_SZ, (const BYTE*)v.c_str(), (DWORD)((v.size() + 1) * 2));
  RegCloseKey(k);
}

void RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  HKEY k;
  if (RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExW(k, Widen(name).c_str(), 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
  RegCloseKey(k);
}

bool RegKeyExists(HKEY root, const std::string& path) {
  HKEY k;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

bool RegValueExists(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  bool ok = RegQueryValueExW(k, Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return ok;
}

namespace {
const wchar_t* const kUserShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t* const kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

template <typename Saved>
void SaveValue(const wchar_t* key, Saved& saved) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return;
  wchar_t buf[1024] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t);
  if (RegQueryValueExW(k, L"Personal", nullptr, &saved.type, (BYTE*)buf, &size) == ERROR_SUCCESS) {
    saved.had = true;
    saved.value = buf;
  }
  RegCloseKey(k);
}

void SetValue(const wchar_t* key, DWORD type, const std::wstring& value) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(k, L"Personal", 0, type, (const BYTE*)value.c_str(), (DWORD)((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}

template <typename Saved>
void RestoreValue(const wchar_t* key, const Saved& saved) {
  if (saved.had) {
    SetValue(key, saved.type, saved.value);
    return;
  }
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
  RegDeleteValueW(k, L"Personal");
  RegCloseKey(k);
}
}  // namespace

ScopedDocumentsFolder::ScopedDocumentsFolder(const std::string& folder) {
  SaveValue(kUserShellFolders, user_);
  SaveValue(kShellFolders, shell_);
  const std::wstring w = Widen(qv::ExcludeTrailingBackslash(folder));
  SetValue(kUserShellFolders, REG_SZ, w);
  SetValue(kShellFolders, REG_SZ, w);
}

ScopedDocumentsFolder::~ScopedDocumentsFolder() {
  RestoreValue(kUserShellFolders, user_);
  RestoreValue(kShellFolders, shell_);
}

void RegDeleteTree(HKEY root, const std::string& path) { SHDeleteKeyW(root, Widen(path).c_str()); }

void RegSetStringInView(HKEY root, const std::string& path, const std::string& name, const std::string& value,
                        REGSAM view) {
  HKEY k;
  if (RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return;
  const std::wstring w = Widen(value);
  RegSetValueExW(k, Widen(name).c_str(), 0, REG_SZ, (const BYTE*)w.c_str(), (DWORD)((w.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}

bool RegValueExistsInView(HKEY root, const std::string& path, const std::string& name, REGSAM view) {
  HKEY k;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS) return false;
  const bool found = RegQueryValueExW(k, Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

void RegDeleteTreeInView(HKEY root, const std::string& path, REGSAM view) {
  const size_t slash = path.rfind('\\');
  HKEY parent = root;
  if (slash != std::string::npos &&
      RegOpenKeyExW(root, Widen(path.substr(0, slash)).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
    return;
  SHDeleteKeyW(parent, Widen(slash == std::string::npos ? path : path.substr(slash + 1)).c_str());
  if (parent != root) RegCloseKey(parent);
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buf(size ? size : 1);
  LPWSTR sid = nullptr;
  std::string text;
  if (size && GetTokenInformation(token, TokenUser, buf.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &sid)) {
    text = Narrow(sid);
    LocalFree(sid);
  }
  CloseHandle(token);
  return text;
}

}  // namespace qvtest
