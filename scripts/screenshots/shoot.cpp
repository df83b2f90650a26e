// Drives a running Quorvane from another process for scripts/screenshots.sh: fills the prefix with
// something to show, opens the dialogs through the main window's menu commands, and prints the
// screen rectangle of what is to be photographed.
//   shoot.exe seed FOLDER      Internet Explorer cache entries (written by WinINet), cookie files, a
//                              few temporary files, and settings.ini, Clist.dat and Cookies.dat in
//                              FOLDER (the program's folder)
//   shoot.exe main             waits for the main window, runs a Test, prints the window's rectangle
//   shoot.exe open WHAT        opens a dialog and prints its rectangle; WHAT is one of settings,
//                              settings-schedule, settings-bosskey, cookies, customlists, addfolder,
//                              addregistry, indexdat, askdelete
//   shoot.exe close            closes every dialog that is open (Cancel)
//   shoot.exe quit             closes the program
// Rectangles are printed as "WxH+X+Y" (ImageMagick's crop geometry). Exits 0 on success.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wininet.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/AddFolder.h"
#include "dialogs/AddRegistry.h"
#include "dialogs/CustomListEditor.h"
#include "dialogs/IndexDatViewer.h"
#include "dialogs/Options.h"
#include "shell/MainWindow.h"

namespace {

const wchar_t kMainClass[] = L"Quorvane Made by Marrowdale Software";

int Fail(const std::string& why) {
  std::fprintf(stderr, "shoot: %s\n", why.c_str());
  return 1;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

std::wstring Text(HWND w) {
  wchar_t buf[512] = {};
  GetWindowTextW(w, buf, 512);
  return buf;
}

HWND MainWindow() { return FindWindowW(kMainClass, nullptr); }

// The program's dialog with this caption.
HWND Dialog(const wchar_t* caption) { return FindWindowW(L"#32770", caption); }

HWND WaitDialog(const wchar_t* caption) {
  HWND d = nullptr;
  WaitFor([&] { return (d = Dialog(caption)) != nullptr && IsWindowVisible(d); });
  Sleep(400);  // painted
  return d;
}

void PrintRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
  std::fflush(stdout);
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void WriteText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  WriteFile(f, text.data(), (DWORD)text.size(), &put, nullptr);
  CloseHandle(f);
}

std::wstring Folder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, TRUE);
  return buf;
}

void Ini(const std::wstring& file, const wchar_t* section, const wchar_t* key, const std::wstring& value) {
  WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

int Seed(const std::wstring& folder) {
  // Pages of a browsing session, in the cache index that WinINet writes.
  const char* const pages[] = {"http://www.example.test/",          "http://www.example.test/news/today.html",
                               "http://search.example.test/?q=wine", "http://www.example.test/images/logo.png",
                               "http://shop.example.test/basket",   "http://mail.example.test/inbox",
                               "http://www.example.test/style.css", "http://video.example.test/watch?v=42"};
  for (const char* url : pages) {
    char file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryA(url, 0, "html", file, 0)) continue;
    HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD put = 0;
      WriteFile(h, "<html></html>", 13, &put, nullptr);
      CloseHandle(h);
    }
    FILETIME zero = {};
    CommitUrlCacheEntryA(url, file, zero, zero, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr);
  }
  // Cookie files, one of them kept.
  const std::wstring cookies = Folder(CSIDL_COOKIES) + L"\\";
  for (const wchar_t* name : {L"root@example[1].txt", L"root@search.example[2].txt", L"root@shop.example[1].txt",
                              L"root@mail.example[1].txt"})
    WriteText(cookies + name, "session\n1\nexample.test/\n1024\n");
  // Something for a Test to find.
  const std::wstring temp = [] {
    wchar_t buf[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, buf);
    return std::wstring(buf);
  }();
  for (const wchar_t* name : {L"install.log", L"report.tmp", L"setup1.tmp"})
    WriteText(temp + name, std::string(20000, 'x'));

  const std::wstring dir = folder.back() == L'\\' ? folder : folder + L"\\";
  const std::wstring settings = dir + L"settings.ini";
  DeleteFileW(settings.c_str());
  Ini(settings, L"Settings", L"AskForSweep", L"1");
  Ini(settings, L"Settings", L"FastScan", L"0");
  Ini(settings, L"Hotkey", L"EnableHotkey", L"1");
  Ini(settings, L"SChedule", L"AutoWash", L"1");
  Ini(settings, L"SChedule", L"WashInterval", L"2");
  const wchar_t* ticked[] = {L"Internet Explorer - Cookies", L"Internet Explorer - Temporary Internet Files",
                             L"Windows - Temporary Files", L"Windows - Clipboard", L"Windows - Recent Documents"};
  int n = 0;
  for (const wchar_t* t : ticked) Ini(settings, L"NodeSelected", std::to_wstring(++n).c_str(), t);
  Ini(settings, L"NodeSelected", L"SelectedCount", std::to_wstring(n));
  for (int i = 1; i <= 10; ++i) Ini(settings, L"FirstNodeExpand", std::to_wstring(i).c_str(), i <= 2 ? L"1" : L"0");

  const std::wstring clist = dir + L"Clist.dat";
  DeleteFileW(clist.c_str());
  Ini(clist, L"<New List>", L"DelFile1", L"C:\\Old Projects\\build");
  Ini(clist, L"<New List>", L"DelRegValue1", L"HKEY_CURRENT_USER\\Software\\Example\\Recent,");
  Ini(clist, L"<New List>", L"DelFile2", L"C:\\Logs,*.log");
  Ini(clist, L"<New List>", L"DelRegValue2", L"HKEY_CURRENT_USER\\Software\\Example\\Viewer,LastFile");

  const std::wstring keep = dir + L"Cookies.dat";
  DeleteFileW(keep.c_str());
  Ini(keep, L"Cookies to keep", L"Count", L"1");
  Ini(keep, L"Cookies to keep", L"0", L"root@mail.example[1].txt");
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, settings.c_str());
  return 0;
}

int Main() {
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = MainWindow()) != nullptr && IsWindowVisible(main); }))
    return Fail("no main window");
  Sleep(500);
  HWND test = GetDlgItem(main, qv::IDC_TEST);
  HWND progress = GetDlgItem(main, qv::IDC_PROGRESS);
  PostMessageW(test, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return Text(progress) == L"Finished!"; }, 60000)) return Fail("the Test did not finish");
  Sleep(500);
  PrintRect(main);
  return 0;
}

int Open(const std::string& what) {
  HWND main = MainWindow();
  if (!main) return Fail("no main window");
  auto menu = [&](int id, const wchar_t* caption) {
    PostMessageW(main, WM_COMMAND, id, 0);
    return WaitDialog(caption);
  };
  HWND d = nullptr;
  if (what.compare(0, 8, "settings") == 0) {
    d = menu(qv::IDM_SETTINGS, L"Settings");
    if (!d) return Fail("no settings dialog");
    int page = what == "settings-schedule" ? 1 : what == "settings-bosskey" ? 2 : 0;
    HWND pages = GetDlgItem(d, qv::TfrmOptions::IDC_PAGES);
    for (int i = 0; i < page; ++i) {
      PostMessageW(pages, WM_KEYDOWN, VK_RIGHT, 0);
      PostMessageW(pages, WM_KEYUP, VK_RIGHT, 0);
    }
    Sleep(500);
  } else if (what == "cookies") {
    d = menu(qv::IDM_COOKIES, L"Cookies Manager");
  } else if (what == "customlists" || what == "addfolder" || what == "addregistry") {
    d = menu(qv::IDM_CUSTOMLISTS, L"Custom Lists");
    if (d && what == "addfolder") {
      Click(d, qv::TfrmNewCustomItem::bAddFolder);
      d = WaitDialog(L"Add File and Folder");
      if (!d) return Fail("no Add File and Folder dialog");
      SendMessageW(GetDlgItem(d, qv::TfrmAddFolder::eFolder), WM_SETTEXT, 0, (LPARAM)L"C:\\qvshots");
      Sleep(300);
      HWND list = GetDlgItem(d, qv::TfrmAddFolder::lbFile);
      PostMessageW(list, LB_SETCURSEL, 1, 0);
      PostMessageW(d, WM_COMMAND, MAKEWPARAM(qv::TfrmAddFolder::lbFile, LBN_SELCHANGE), (LPARAM)list);
      Sleep(400);
    } else if (d && what == "addregistry") {
      Click(d, qv::TfrmNewCustomItem::bAddRegistry);
      d = WaitDialog(L"Add Registry");
      if (!d) return Fail("no Add Registry dialog");
      SendMessageW(GetDlgItem(d, qv::TfrmAddRegistry::eRegistryKey), WM_SETTEXT, 0,
                   (LPARAM)L"HKEY_CURRENT_USER\\Software\\Example\\Viewer");
      Click(d, qv::TfrmAddRegistry::rbWashValue);
      Sleep(200);
      SendMessageW(GetDlgItem(d, qv::TfrmAddRegistry::eRegistryValue), WM_SETTEXT, 0, (LPARAM)L"LastFile");
      Sleep(400);
    }
  } else if (what == "askdelete") {
    // The question before a Clean (the seeded settings ask it).
    d = menu(qv::IDM_CLEAN, L"Run Quorvane");
  } else if (what == "indexdat") {
    d = menu(qv::IDM_INDEXDAT, L"Index.dat file viewer");
    if (d) {
      Click(d, qv::TfrmIndexDatViewer::bShow);
      HWND total = GetDlgItem(d, qv::TfrmIndexDatViewer::Panel1);
      WaitFor([&] { return Text(total) != L"0"; }, 10000);
      Sleep(500);
    }
  } else {
    return Fail("unknown dialog " + what);
  }
  if (!d) return Fail("no dialog for " + what);
  PrintRect(d);
  return 0;
}

// Cancels the open dialogs, innermost first.
int CloseDialogs() {
  for (int i = 0; i < 5; ++i) {
    HWND main = MainWindow();
    HWND open = main ? GetLastActivePopup(main) : nullptr;
    if (!open || open == main) return 0;
    HWND before = open;
    PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
    WaitFor([&] { return !IsWindow(before); }, 5000);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Real pixels, whatever the DPI.
  HMODULE user = GetModuleHandleW(L"user32.dll");
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  using SetAwareFn = BOOL(WINAPI*)();
  auto setContext = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDpiAwarenessContext")));
  auto setAware = reinterpret_cast<SetAwareFn>(reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDPIAware")));
  if ((!setContext || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) && setAware) setAware();
  SetCursorPos(0, 0);  // no hint under the pointer in the pictures
  if (argc < 2) return Fail("usage: shoot.exe seed FOLDER | main | open WHAT | close | quit");
  const std::wstring command = argv[1];
  if (command == L"seed" && argc > 2) return Seed(argv[2]);
  if (command == L"main") return Main();
  if (command == L"open" && argc > 2) {
    std::wstring w = argv[2];
    return Open(std::string(w.begin(), w.end()));
  }
  if (command == L"close") return CloseDialogs();
  if (command == L"quit") {
    if (HWND main = MainWindow()) PostMessageW(main, WM_COMMAND, qv::IDM_EXIT, 0);
    return 0;
  }
  return Fail("unknown command");
}
