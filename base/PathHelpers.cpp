#include "base/PathHelpers.h"

#include <shlobj.h>
#include <wininet.h>

#include <vector>

#include "base/Global.h"
#include "base/Handles.h"

namespace qv {

std::string ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName) {
  // A leading backslash means "from the root", which the key already is.
  const size_t start = keyPath.find_first_not_of('\\');
  const std::string path = start == std::string::npos ? std::string() : keyPath.substr(start);
  TRegKey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return std::string();
  std::string result;
  const std::wstring name = Widen(valueName);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = (DWORD)(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, (BYTE*)&buf[0], &got) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
      result = Narrow(buf.c_str());
  }
  return result;
}

std::string GetLocalAppDataFolder() {
  // Shell folders are looked up with the browser session ended.
  InternetSetOptionW(nullptr, 42 /* end browser session */, nullptr, 0);
  return IncludeTrailingBackslash(ReadRegistryString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Local AppData"));
}

int CALLBACK CentreBrowseDialogCallback(HWND dialog, UINT msg, LPARAM, LPARAM) {
  if (msg != BFFM_INITIALIZED) return 0;
  RECT client;
  int x = 0, y = 0;
  if (GetClientRect(dialog, &client)) {
    x = (GetSystemMetrics(SM_CXSCREEN) - (client.right - client.left)) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - (client.bottom - client.top)) / 2;
  }
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

static BOOL CALLBACK CollectEnabledWindow(HWND hwnd, LPARAM param) {
  if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    EnableWindow(hwnd, FALSE);
  }
  return TRUE;
}

bool BrowseForFolder(const std::string& title, const std::wstring& root, std::string& folder, HWND owner) {
  if (!DirectoryExists(folder)) folder.clear();
  if (!owner) owner = GetActiveWindow();

  wchar_t displayName[MAX_PATH + 1] = {};
  TOleSession ole;

  TCoTaskMem<ITEMIDLIST> rootList;
  if (!root.empty()) {
    TComPtr<IShellFolder> desktop;
    if (SUCCEEDED(SHGetDesktopFolder(desktop.Put())) && desktop) {
      std::wstring name = root;
      ULONG eaten = 0;
      desktop->ParseDisplayName(owner, nullptr, &name[0], &eaten, rootList.Put(), nullptr);
    }
  }

  std::wstring wtitle = Widen(title);
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = rootList.Get();
  info.pszDisplayName = displayName;
  info.lpszTitle = wtitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = CentreBrowseDialogCallback;
  info.lParam = 0;

  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  TCoTaskMem<ITEMIDLIST> chosen(SHBrowseForFolderW(&info));
  SetErrorMode(oldMode);
  for (HWND hwnd : disabled) EnableWindow(hwnd, TRUE);

  if (!chosen) return false;
  wchar_t path[MAX_PATH + 1] = {};
  if (SHGetPathFromIDListW(chosen.Get(), path)) folder = Narrow(path);
  return true;
}

std::string GetShortFileName(const std::string& path) {
  if (path.empty()) return std::string();
  std::wstring wide = ToWinPath(path);
  std::wstring buf(260, L'\0');
  DWORD n = GetShortPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetShortPathNameW(wide.c_str(), &buf[0], (DWORD)buf.size());
  }
  if (n == 0 || n >= buf.size()) return std::string();
  buf.resize(n);
  // A long path went in with the extended prefix; give it back without.
  if (path.compare(0, 4, "\\\\?\\") != 0) {
    if (buf.compare(0, 8, L"\\\\?\\UNC\\") == 0)
      buf.replace(0, 8, L"\\\\");
    else if (buf.compare(0, 4, L"\\\\?\\") == 0)
      buf.erase(0, 4);
  }
  return Narrow(buf);
}

void EndBrowserSession() { InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0); }

std::string ShellFolderPath(int csidl, HWND owner) {
  TCoTaskMem<ITEMIDLIST> pidl;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl, pidl.Put())) || !pidl) return std::string();
  wchar_t buf[MAX_PATH + 1] = {};
  std::string path;
  if (SHGetPathFromIDListW(pidl.Get(), buf)) path = ExcludeTrailingBackslash(Narrow(buf));
  return path;
}

}  // namespace qv
