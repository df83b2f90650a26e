// 64-bit Windows as both builds see it. A 32-bit program there reads a redirected view of
// HKEY_LOCAL_MACHINE\Software (Wow6432Node) and of the system folder (SysWOW64); a 64-bit program
// reads the native ones. So that both builds find the same traces, the cleaners visit both views
// of what is redirected, each distinct place once.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qv {

// True for the x86 build running on 64-bit Windows.
bool IsWow64();
// True on 64-bit Windows, whichever build asks.
bool Is64BitWindows();

// The registry views in which a key under `root` is looked for: on 64-bit Windows the 64-bit and
// the 32-bit view (KEY_WOW64_64KEY, KEY_WOW64_32KEY), whichever build asks, as parts of every root
// are kept apart for 32-bit programs (HKEY_LOCAL_MACHINE\Software, the classes keys); otherwise the
// one view (0). A key that is not redirected is one key in both views: callers take each distinct
// key once.
std::vector<REGSAM> RegistryViews(HKEY root);
// Tests make RegistryViews answer for every root (an empty list asks the system again).
void SetRegistryViewsForTesting(const std::vector<REGSAM>& views);

// The name the kernel gives an open key ("\REGISTRY\MACHINE\SOFTWARE\WOW6432NODE\..."),
// upper-cased by UpperKeyText: two views of a key that is not redirected give the same name.
// Empty when unknown.
std::wstring KernelKeyName(HKEY key);
// Text upper-cased as the registry compares key and value names (the system's own upper-case
// table, whatever the user's language).
std::wstring UpperKeyText(std::wstring text);

// The system folders with the traces of programs of both kinds, without a trailing backslash: on
// 64-bit Windows the real System32 and SysWOW64, otherwise the system folder. The x86 build reaches
// the real System32 only inside a TNativeFileSystemView.
std::vector<std::string> SystemFolders();

// While it lives, the calling thread of an x86 build on 64-bit Windows sees the file system
// unredirected (System32 is the real one). Nothing elsewhere.
class TNativeFileSystemView {
 public:
  TNativeFileSystemView();
  ~TNativeFileSystemView();
  TNativeFileSystemView(const TNativeFileSystemView&) = delete;
  TNativeFileSystemView& operator=(const TNativeFileSystemView&) = delete;

 private:
  void* old_ = nullptr;
  bool active_ = false;
};

// Inside a TNativeFileSystemView, gives the calling thread the system's usual (redirected) view
// back while it lives: around what may load libraries (a message box, the shell), which must find
// the ones of its own kind. Nothing outside a native view.
class TRedirectedFileSystemView {
 public:
  TRedirectedFileSystemView();
  ~TRedirectedFileSystemView();
  TRedirectedFileSystemView(const TRedirectedFileSystemView&) = delete;
  TRedirectedFileSystemView& operator=(const TRedirectedFileSystemView&) = delete;

 private:
  bool active_ = false;
};

// The Program Files folders of both kinds of program, distinct, without a trailing backslash:
// "ProgramFilesDir" and on 64-bit Windows "ProgramFilesDir (x86)", read from the native view.
std::vector<std::string> ProgramFilesFolders();

}  // namespace qv
