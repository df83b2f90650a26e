// Small stateless helpers for finding folders: a registry string, the local application-data
// folder, and the platform's folder browser.
#pragma once
#include <windows.h>

#include <string>

namespace qv {

// The string value ValueName of the key KeyPath under Root; empty when the key or the value is
// missing, is not a string, or cannot be read. Nothing is reported. The key is opened for reading
// only, so values a user may read but not change (under HKEY_LOCAL_MACHINE) are found too.
std::string ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName);

// The "Local AppData" shell folder of the current user with a trailing backslash; a lone
// backslash when the value is missing (a path no caller's existence check accepts as a folder).
std::string GetLocalAppDataFolder();

// Shows the folder browser, modal to the program's windows. Folder is emptied first when it does
// not name an existing folder; it receives the chosen folder. Root (may be empty: the desktop) is
// the top of the tree. True only when the user confirmed a folder. Owner null: the active window.
bool BrowseForFolder(const std::string& title, const std::wstring& root, std::string& folder,
                     HWND owner = nullptr);

// The browser's callback: on BFFM_INITIALIZED it centres the dialog on the screen by the size of
// its client area. Always 0.
int CALLBACK CentreBrowseDialogCallback(HWND dialog, UINT msg, LPARAM lParam, LPARAM data);

// Ends Internet Explorer's browser session (the Internet option 42), as every lookup of a shell
// folder by a cleaner does first.
void EndBrowserSession();
// A special folder by its CSIDL number, as the shell's item list for it names it, without a
// trailing backslash; empty when the shell has none.
std::string ShellFolderPath(int csidl, HWND owner = nullptr);

// The short (8.3) form of a path as Windows gives it, or an empty text when it gives none (for
// example because the path does not exist).
std::string GetShortFileName(const std::string& path);

}  // namespace qv
