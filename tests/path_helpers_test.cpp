// Registry strings, the local application-data folder, and the folder browser with its centring.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <shlobj.h>

#include <atomic>
#include <thread>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "support/Sandbox.h"

using namespace qvtest;

TEST(PathHelpers, ReadRegistryString) {
  SandboxKey key("strings");
  RegSetString(HKEY_CURRENT_USER, key.Path(), "Text", "C:\\Program Files\\\xC3\x9C");
  RegSetDword(HKEY_CURRENT_USER, key.Path(), "Number", 7);
  struct Case {
    std::string path, value, expected;
  } cases[] = {
      {key.Path(), "Text", "C:\\Program Files\\\xC3\x9C"},
      {"\\" + key.Path(), "Text", "C:\\Program Files\\\xC3\x9C"},  // a leading backslash starts at the root
      {key.Path(), "Missing", ""},
      {key.Path(), "Number", ""},
      {key.Path() + "\\Missing", "Text", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(qv::ReadRegistryString(HKEY_CURRENT_USER, c.path, c.value), c.expected) << c.path << " " << c.value;
}

TEST(PathHelpers, LocalAppDataFolder) {
  const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string saved = qv::ReadRegistryString(HKEY_CURRENT_USER, shellFolders, "Local AppData");
  RegSetString(HKEY_CURRENT_USER, shellFolders, "Local AppData", "C:\\users\\someone\\AppData\\Local");
  EXPECT_EQ(qv::GetLocalAppDataFolder(), "C:\\users\\someone\\AppData\\Local\\");
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, qv::Widen(shellFolders).c_str(), 0, KEY_SET_VALUE, &k), ERROR_SUCCESS);
  RegDeleteValueW(k, L"Local AppData");
  RegCloseKey(k);
  EXPECT_EQ(qv::GetLocalAppDataFolder(), "\\");
  if (!saved.empty()) RegSetString(HKEY_CURRENT_USER, shellFolders, "Local AppData", saved);
}

// The callback centres by the client area (not the window) and ignores every other notification.
TEST(PathHelpers, CentringCallback) {
  HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_BORDER, 5, 7, 301, 203, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(w);
  RECT client, rect;
  GetClientRect(w, &client);
  EXPECT_EQ(qv::CentreBrowseDialogCallback(w, BFFM_SELCHANGED, 0, 0), 0);
  GetWindowRect(w, &rect);
  EXPECT_EQ(rect.left, 5);
  EXPECT_EQ(qv::CentreBrowseDialogCallback(w, BFFM_INITIALIZED, 0, 0), 0);
  GetWindowRect(w, &rect);
  EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2);
  EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2);
  EXPECT_EQ(rect.right - rect.left, 301) << "the size stays";
  DestroyWindow(w);
}

namespace {

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
  wchar_t cls[32] = {};
  GetClassNameW(hwnd, cls, 32);
  if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

std::wstring SelectedText(HWND tree) {
  if (!tree) return std::wstring();
  HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return std::wstring();
  wchar_t text[MAX_PATH] = {};
  TVITEMW tv = {};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  return text;
}

// Finds the browser dialog of this process, then either selects `select` and confirms, or cancels.
struct DialogDriver {
  std::string select;
  std::atomic<bool> seen{false};
  std::atomic<bool> centred{false};
  std::thread worker;

  void Start(DWORD threadId) {
    worker = std::thread([this, threadId] {
      for (int i = 0; i < 500; ++i) {
        HWND dialog = nullptr;
        EnumThreadWindows(threadId, FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog) {
          seen = true;
          Sleep(200);
          RECT client, rect;
          GetClientRect(dialog, &client);
          GetWindowRect(dialog, &rect);
          centred = rect.left == (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2;
          if (!select.empty()) {
            // The browser fills its tree while it starts and may move the selection meanwhile:
            // select until the tree shows the folder selected, then confirm.
            std::wstring path = qv::Widen(select);
            std::wstring leaf = path.substr(path.find_last_of(L'\\') + 1);
            HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
            for (int tries = 0; tries < 100; ++tries) {
              SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
              if (SelectedText(tree) == leaf) break;
              Sleep(50);
            }
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
          } else {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
          }
          return;
        }
        Sleep(20);
      }
    });
  }
  ~DialogDriver() {
    if (worker.joinable()) worker.join();
  }
};

}  // namespace

TEST(PathHelpers, BrowseForFolderCancelled) {
  DialogDriver driver;
  driver.Start(GetCurrentThreadId());
  std::string folder = "C:\\no\\such\\folder";
  EXPECT_FALSE(qv::BrowseForFolder("Please select the directory to add", L"", folder));
  driver.worker.join();
  EXPECT_TRUE(driver.seen);
  EXPECT_TRUE(driver.centred);
  EXPECT_EQ(folder, "");
}

TEST(PathHelpers, BrowseForFolderConfirmed) {
  SandboxFolder box("browse");
  MakeDirs(box / "chosen");
  DialogDriver driver;
  driver.select = box / "chosen";
  driver.Start(GetCurrentThreadId());
  std::string folder;
  EXPECT_TRUE(qv::BrowseForFolder("Please select the directory to add", L"", folder));
  driver.worker.join();
  EXPECT_TRUE(qv::SameText(folder, box / "chosen")) << folder;
}
