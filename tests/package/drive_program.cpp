// Drives an installed copy of the program, and its uninstaller, from another process as a user would.
//   drive_program.exe run EXE CATEGORY ITEM
//     starts EXE, waits for its main window, ticks CATEGORY > ITEM in the tree, presses Test, waits
//     for the log's total line, prints the log and closes the window; succeeds when the program
//     showed its window, ran the Test and ended by itself with exit code 0.
//   drive_program.exe uninstall UNINSTALLER yes|no
//     starts the uninstaller (not silent), confirms, answers its question about the user's files
//     (which must have No as its default button) and closes it when it has finished.
//   drive_program.exe exec COMMANDLINE [PATH...]
//     runs COMMANDLINE (as written, to the program it names) and waits for that one process to end;
//     prints its exit code ("exit code: N") and then, at once, each PATH that still exists
//     ("still there: PATH"): what a script that waits for the command finds when it goes on.
//   drive_program.exe while-running EXE COMMANDLINE
//     starts EXE, waits for its main window, runs COMMANDLINE to its end and prints its exit code
//     ("exit code: N"), then closes EXE's window.
// Exits 0 on success; otherwise prints why and exits 1.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kMainClass[] = L"Quorvane Made by Marrowdale Software";
const char kTotalLine[] = "Total items will be removed = ";

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "drive_program: %s\n", why.c_str());
  std::fflush(stderr);
  return 1;
}

void Say(const std::string& what) {
  std::printf("%s\n", what.c_str());
  std::fflush(stdout);
}

// Waits, polling, until the condition holds; false when the time runs out first.
template <typename F>
bool WaitFor(F condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
}

// A window's text as it reads on the screen (a button's access-key mark left out).
std::wstring WindowText(HWND w) {
  wchar_t buf[512] = {};
  GetWindowTextW(w, buf, 512);
  std::wstring text = buf;
  text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
  return text;
}

std::wstring ClassOf(HWND w) {
  wchar_t buf[128] = {};
  GetClassNameW(w, buf, 128);
  return buf;
}

// A block of memory in the other process, for the tree view messages that take a pointer.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : process_(process), size_(size) {
    at_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  bool Ok() const { return at_ != nullptr; }
  char* At(size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
  bool Write(const void* data, size_t n, size_t offset = 0) {
    SIZE_T done = 0;
    return offset + n <= size_ && WriteProcessMemory(process_, At(offset), data, n, &done) && done == n;
  }
  bool Read(void* data, size_t n, size_t offset = 0) const {
    SIZE_T done = 0;
    return offset + n <= size_ && ReadProcessMemory(process_, At(offset), data, n, &done) && done == n;
  }

 private:
  HANDLE process_;
  size_t size_;
  void* at_ = nullptr;
};

class Tree {
 public:
  Tree(HWND tree, HANDLE process) : tree_(tree), mem_(process, 4096) {}
  bool Ok() const { return mem_.Ok(); }

  std::wstring Text(HTREEITEM node) {
    TVITEMW it = {};
    it.mask = TVIF_TEXT;
    it.hItem = node;
    it.pszText = reinterpret_cast<wchar_t*>(mem_.At(kTextOffset));
    it.cchTextMax = 260;
    wchar_t text[260] = {};
    if (!mem_.Write(&it, sizeof(it)) || !mem_.Write(text, sizeof(text), kTextOffset)) return L"";
    if (!SendMessageW(tree_, TVM_GETITEMW, 0, (LPARAM)mem_.At())) return L"";
    mem_.Read(text, sizeof(text), kTextOffset);
    text[259] = 0;
    return text;
  }

  HTREEITEM Find(HTREEITEM parent, const std::wstring& text) {
    HTREEITEM node = parent ? TreeView_GetChild(tree_, parent) : TreeView_GetRoot(tree_);
    for (; node; node = TreeView_GetNextSibling(tree_, node))
      if (Text(node) == text) return node;
    return nullptr;
  }

  // Presses the mouse on the node's check box.
  bool ClickCheckBox(HTREEITEM node) {
    TreeView_EnsureVisible(tree_, node);
    RECT r;
    std::memcpy(&r, &node, sizeof(node));
    if (!mem_.Write(&r, sizeof(r)) || !SendMessageW(tree_, TVM_GETITEMRECT, TRUE, (LPARAM)mem_.At()) ||
        !mem_.Read(&r, sizeof(r)))
      return false;
    int y = (r.top + r.bottom) / 2;
    for (int x = r.left - 1; x >= 0 && x > r.left - 40; --x) {
      TVHITTESTINFO hit = {};
      hit.pt.x = x;
      hit.pt.y = y;
      if (!mem_.Write(&hit, sizeof(hit))) return false;
      HTREEITEM at = (HTREEITEM)SendMessageW(tree_, TVM_HITTEST, 0, (LPARAM)mem_.At());
      mem_.Read(&hit, sizeof(hit));
      if (at == node && (hit.flags & TVHT_ONITEMSTATEICON)) {
        SendMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(tree_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        return true;
      }
    }
    return false;
  }

  bool Ticked(HTREEITEM node) {
    return (SendMessageW(tree_, TVM_GETITEMSTATE, (WPARAM)node, TVIS_STATEIMAGEMASK) >> 12) == 2;
  }

 private:
  static const size_t kTextOffset = 512;
  HWND tree_;
  RemoteBlock mem_;
};

struct Controls {
  HWND tree = nullptr, log = nullptr, test = nullptr;
};

BOOL CALLBACK CollectControl(HWND w, LPARAM param) {
  Controls& c = *reinterpret_cast<Controls*>(param);
  std::wstring cls = ClassOf(w);
  if (cls == WC_TREEVIEWW) c.tree = w;
  if (cls == L"ListBox" || cls == L"LISTBOX") c.log = w;
  if ((cls == L"Button" || cls == L"BUTTON") && WindowText(w) == L"Test") c.test = w;
  return TRUE;
}

// The program's log holds its lines itself; from another process each is read as the list's window
// text, which is the line at its caret.
std::vector<std::string> ListLines(HWND list) {
  std::vector<std::string> lines;
  LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    SendMessageW(list, LB_SETCARETINDEX, (WPARAM)i, FALSE);
    LRESULT len = SendMessageW(list, WM_GETTEXTLENGTH, 0, 0);
    if (len < 0) continue;
    std::wstring text((size_t)len + 1, L'\0');
    SendMessageW(list, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)&text[0]);
    text.resize(wcslen(text.c_str()));
    lines.push_back(Utf8(text));
  }
  return lines;
}

struct OwnedPopup {
  DWORD process;
  HWND found;
};

// A dialog (a message box) of the program, shown instead of running.
BOOL CALLBACK FindDialog(HWND w, LPARAM param) {
  auto& p = *reinterpret_cast<OwnedPopup*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == p.process && IsWindowVisible(w) && ClassOf(w) == L"#32770") {
    p.found = w;
    return FALSE;
  }
  return TRUE;
}

std::string DialogText(HWND dialog) {
  std::string text = Utf8(WindowText(dialog));
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (ClassOf(c) == L"Static") text += " | " + Utf8(WindowText(c));
  return text;
}

struct MainWindowOf {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND w, LPARAM param) {
  auto& m = *reinterpret_cast<MainWindowOf*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == m.process && ClassOf(w) == kMainClass) {
    m.found = w;
    return FALSE;
  }
  return TRUE;
}

// Starts a program with a command line; false when it cannot be started. Only the process handle
// stays open.
bool Start(const std::wstring& exe, std::wstring commandLine, PROCESS_INFORMATION& pi) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  pi = PROCESS_INFORMATION();
  if (!CreateProcessW(exe.empty() ? nullptr : exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  return true;
}

// Ends a program that did not end by itself, so that no copy stays behind.
struct EndOnExit {
  HANDLE h;
  ~EndOnExit() {
    if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) TerminateProcess(h, 99);
    CloseHandle(h);
  }
};

int RunTest(const std::wstring& exe, const std::wstring& category, const std::wstring& item) {
  if (FindWindowW(kMainClass, nullptr)) return Fail("a copy of the program is running already");

  PROCESS_INFORMATION pi;
  if (!Start(exe, L"\"" + exe + L"\"", pi))
    return Fail("cannot start " + Utf8(exe) + ", error " + std::to_string(GetLastError()));
  EndOnExit closer{pi.hProcess};
  auto ended = [&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; };

  MainWindowOf main = {pi.dwProcessId, nullptr};
  auto shown = [&] {
    EnumWindows(FindMainWindow, (LPARAM)&main);
    return main.found && IsWindowVisible(main.found);
  };
  if (!WaitFor([&] { return ended() || shown(); }, 30000) || ended()) return Fail("the main window did not appear");
  HWND window = main.found;
  Say("window: " + Utf8(WindowText(window)));

  Controls c;
  EnumChildWindows(window, CollectControl, (LPARAM)&c);
  if (!c.tree || !c.log || !c.test) return Fail("the tree, the log or the Test button is missing");

  Tree tree(c.tree, pi.hProcess);
  if (!tree.Ok()) return Fail("cannot reach the program's memory");
  HTREEITEM cat = nullptr, node = nullptr;
  // The tree is filled once the window is up; wait for the item to be there.
  if (!WaitFor([&] { return (cat = tree.Find(nullptr, category)) && (node = tree.Find(cat, item)); }, 10000))
    return Fail("no item " + Utf8(category) + " > " + Utf8(item) + " in the tree");
  if (!tree.ClickCheckBox(node) || !tree.Ticked(node)) return Fail("could not tick " + Utf8(item));
  Say("ticked: " + Utf8(category) + " - " + Utf8(item));

  PostMessageW(c.test, BM_CLICK, 0, 0);
  std::string total;
  OwnedPopup popup = {pi.dwProcessId, nullptr};
  bool done = WaitFor(
      [&] {
        for (const std::string& line : ListLines(c.log))
          if (line.compare(0, sizeof(kTotalLine) - 1, kTotalLine) == 0) total = line;
        EnumWindows(FindDialog, (LPARAM)&popup);
        return !total.empty() || popup.found || ended();
      },
      60000);
  if (popup.found) return Fail("the program showed a dialog: " + DialogText(popup.found));
  if (!done || total.empty()) return Fail("the Test did not finish");
  for (const std::string& line : ListLines(c.log)) Say("log: " + line);
  // The run has ended once the button reads "Test" again.
  if (!WaitFor([&] { return WindowText(c.test) == L"Test"; }, 10000)) return Fail("the run did not end");

  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) return Fail("the program did not end on close");
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code != 0) return Fail("the program ended with exit code " + std::to_string(code));
  Say("closed");
  return 0;
}

// The uninstaller's windows are dialogs with its caption; its question is the one with Yes and No.
struct UninstallerWindows {
  HWND main = nullptr, question = nullptr;
};

BOOL CALLBACK FindUninstallerWindow(HWND w, LPARAM param) {
  auto& u = *reinterpret_cast<UninstallerWindows*>(param);
  std::wstring title = WindowText(w);
  if (!IsWindowVisible(w) || ClassOf(w) != L"#32770" || title.find(L"Uninstall") == std::wstring::npos) return TRUE;
  if (GetDlgItem(w, IDYES) && GetDlgItem(w, IDNO))
    u.question = w;
  else if (GetDlgItem(w, IDOK))
    u.main = w;
  return TRUE;
}

UninstallerWindows FindUninstaller() {
  UninstallerWindows u;
  EnumWindows(FindUninstallerWindow, (LPARAM)&u);
  return u;
}

void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

int RunUninstall(const std::wstring& uninstaller, bool yes) {
  PROCESS_INFORMATION pi;
  if (!Start(uninstaller, L"\"" + uninstaller + L"\"", pi))
    return Fail("cannot start " + Utf8(uninstaller) + ", error " + std::to_string(GetLastError()));
  CloseHandle(pi.hProcess);  // it hands over to a copy of itself and ends

  UninstallerWindows u;
  if (!WaitFor([&] { return (u = FindUninstaller()).main != nullptr; }, 30000))
    return Fail("the uninstaller's window did not appear");
  HWND main = u.main;
  Say("uninstaller: " + Utf8(WindowText(main)));
  Press(GetDlgItem(main, IDOK));  // "Uninstall" on the confirmation page

  if (!WaitFor([&] { return (u = FindUninstaller()).question != nullptr; }, 30000))
    return Fail("the uninstaller did not ask about the user's files");
  HWND box = u.question;
  Say("question: " + DialogText(box));
  // The default button is drawn as such: BS_DEFPUSHBUTTON.
  auto isDefault = [&](int id) { return (GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON; };
  if (!isDefault(IDNO) || isDefault(IDYES)) return Fail("No is not the question's default button");
  Press(GetDlgItem(box, yes ? IDYES : IDNO));
  Say(yes ? "answered: Yes" : "answered: No");

  // When done, the uninstaller shows its details and a Close button.
  auto finished = [&] {
    HWND close = GetDlgItem(main, IDOK);
    return close && IsWindowEnabled(close) && WindowText(close) == L"Close";
  };
  if (!WaitFor([&] { return !IsWindow(main) || finished(); }, 60000)) return Fail("the uninstaller did not finish");
  if (IsWindow(main)) Press(GetDlgItem(main, IDOK));
  if (!WaitFor([&] { return !IsWindow(main); }, 30000)) return Fail("the uninstaller did not close");
  Say("uninstalled");
  return 0;
}
int RunWhileRunning(const std::wstring& exe, const std::wstring& commandLine) {
  PROCESS_INFORMATION pi;
  if (!Start(exe, L"\"" + exe + L"\"", pi)) return Fail("cannot start " + Utf8(exe));
  EndOnExit closer{pi.hProcess};
  MainWindowOf main = {pi.dwProcessId, nullptr};
  auto shown = [&] {
    EnumWindows(FindMainWindow, (LPARAM)&main);
    return main.found && IsWindowVisible(main.found);
  };
  if (!WaitFor(shown, 30000)) return Fail("the main window did not appear");
  Say("running: " + Utf8(WindowText(main.found)));

  PROCESS_INFORMATION cmd;
  if (!Start(L"", commandLine, cmd)) return Fail("cannot run " + Utf8(commandLine));
  DWORD code = 0;
  bool ended = WaitForSingleObject(cmd.hProcess, 120000) == WAIT_OBJECT_0 && GetExitCodeProcess(cmd.hProcess, &code);
  CloseHandle(cmd.hProcess);
  if (!ended) return Fail("the command did not end");
  Say("exit code: " + std::to_string(code));

  PostMessageW(main.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) return Fail("the program did not end on close");
  return 0;
}

int RunAndLook(const std::wstring& commandLine, const std::vector<std::wstring>& paths) {
  PROCESS_INFORMATION cmd;
  if (!Start(L"", commandLine, cmd)) return Fail("cannot run " + Utf8(commandLine));
  DWORD code = 0;
  bool ended = WaitForSingleObject(cmd.hProcess, 240000) == WAIT_OBJECT_0 && GetExitCodeProcess(cmd.hProcess, &code);
  CloseHandle(cmd.hProcess);
  if (!ended) return Fail("the command did not end");
  Say("exit code: " + std::to_string(code));
  for (const std::wstring& p : paths)
    if (GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES) Say("still there: " + Utf8(p));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"run" && argc == 5) return RunTest(argv[2], argv[3], argv[4]);
  if (mode == L"uninstall" && argc == 4 && (std::wstring(argv[3]) == L"yes" || std::wstring(argv[3]) == L"no"))
    return RunUninstall(argv[2], std::wstring(argv[3]) == L"yes");
  if (mode == L"while-running" && argc == 4) return RunWhileRunning(argv[2], argv[3]);
  if (mode == L"exec" && argc >= 3) return RunAndLook(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
  return Fail("usage: drive_program.exe run EXE CATEGORY ITEM | uninstall UNINSTALLER yes|no | "
              "while-running EXE COMMANDLINE | exec COMMANDLINE [PATH...]");
}
