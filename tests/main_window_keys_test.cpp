// The main window driven from the keyboard alone: keys go through the window's own message loop
// (TfrmMain::TranslateShortcut, then dispatch) as real input, and the tests read back the focused
// window, the tree's check boxes and what was opened.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"
#include "dialogs/DialogKit.h"
#include "shell/MainWindow.h"
#include "support/Sandbox.h"
#include "support/TestWindow.h"

using namespace qv;

namespace {

// One pass of the program's message loop.
void PumpLoop(TfrmMain& form) {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (form.TranslateShortcut(m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

class MainWindowKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.reset(new qvtest::SandboxFolder("mainkeys"));
    const std::string ini = sandbox_->Path() + "settings.ini";
    for (const char* key : {"AskForSweep", "FastScan"}) IniWriteString(ini, "Settings", key, "0");
    IniWriteString(ini, "Hotkey", "EnableHotkey", "0");
    IniWriteString(ini, "NodeSelected", "SelectedCount", "0");
    SetMessageBoxHook([this](const std::string& text, const std::string&, UINT) {
      boxes.push_back(text);
      return IDOK;
    });
    SetShellOpenHookForTesting([this](const std::string& target, const std::string&) { opened.push_back(target); });
    TMainOptions o;
    o.SettingsFile = ini;
    o.QuitOnDestroy = false;
    form.reset(new TfrmMain(o));
    form->Show(SW_SHOWNORMAL);
    SetForegroundWindow(form->Handle());
    PumpLoop(*form);
  }
  void TearDown() override {
    form.reset();
    qvtest::PumpPending();
    SetMessageBoxHook(nullptr);
    SetShellOpenHookForTesting(nullptr);
    sandbox_.reset();
  }

  // Presses and releases a key (with Shift or Alt held) as the keyboard does, and lets the
  // window's loop take it. Under Wine the input is queued for the window with the focus.
  void Press(WORD vk, WORD modifier = 0) {
    std::vector<INPUT> in;
    auto key = [&](WORD k, bool up) {
      INPUT i = {};
      i.type = INPUT_KEYBOARD;
      i.ki.wVk = k;
      i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      in.push_back(i);
    };
    if (modifier) key(modifier, false);
    key(vk, false);
    key(vk, true);
    if (modifier) key(modifier, true);
    ASSERT_EQ(SendInput((UINT)in.size(), in.data(), sizeof(INPUT)), in.size());
    // The input reaches the queue through the server: run the loop until the key's release was
    // taken.
    const DWORD start = GetTickCount();
    for (;;) {
      PumpLoop(*form);
      if (GetKeyState(vk) >= 0 && (!modifier || GetKeyState(modifier) >= 0) && !GetQueueStatus(QS_INPUT)) break;
      if (GetTickCount() - start > 5000) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    PumpLoop(*form);
  }
  size_t Cat(const std::string& text) {
    for (size_t c = 0; c < form->Catalogue.Categories.size(); ++c)
      if (form->Catalogue.Categories[c].Text == text) return c;
    ADD_FAILURE() << "no category " << text;
    return 0;
  }
  int Item(size_t cat, const std::string& text) {
    auto& items = form->Catalogue.Categories[cat].Items;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].Text == text) return (int)i;
    ADD_FAILURE() << "no item " << text;
    return 0;
  }
  int TreeState(HTREEITEM node) {
    return (int)(SendMessageW(form->tvCleanItems, TVM_GETITEMSTATE, (WPARAM)node, TVIS_STATEIMAGEMASK) >> 12);
  }
  void Select(HTREEITEM node) { SendMessageW(form->tvCleanItems, TVM_SELECTITEM, TVGN_CARET, (LPARAM)node); }

  std::unique_ptr<qvtest::SandboxFolder> sandbox_;
  std::unique_ptr<TfrmMain> form;
  std::vector<std::string> boxes, opened;
};

// The pixels of an image of the list, drawn on white.
std::vector<COLORREF> Pixels(HIMAGELIST list, int index) {
  int cx = 0, cy = 0;
  ImageList_GetIconSize(list, &cx, &cy);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, cx, cy);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT r = {0, 0, cx, cy};
  FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
  ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < cy; ++y)
    for (int x = 0; x < cx; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

std::string Name(TfrmMain& f, HWND w) {
  if (w == f.tvCleanItems) return "tree";
  if (w == f.lMain) return "log";
  if (w == f.cbFastMode) return "Fast Mode";
  if (w == f.bTest) return "Test";
  if (w == f.bClean) return "Clean";
  return w ? "another window" : "none";
}

TEST_F(MainWindowKeysTest, TabAndShiftTabGoRoundTheControlsAndTheFocusIsDrawn) {
  TfrmMain& f = *form;
  // The shown window's keys go to the tree first.
  ASSERT_EQ(Name(f, GetFocus()), "tree");
  struct Step {
    WORD modifier;
    HWND focus;
  } steps[] = {{0, f.lMain},           {0, f.cbFastMode},     {0, f.bTest},   {0, f.bClean},
               {0, f.tvCleanItems},    {VK_SHIFT, f.bClean},  {VK_SHIFT, f.bTest},
               {VK_SHIFT, f.cbFastMode}};
  for (const Step& s : steps) {
    Press(VK_TAB, s.modifier);
    EXPECT_EQ(Name(f, GetFocus()), Name(f, s.focus)) << (s.modifier ? "Shift+Tab" : "Tab");
  }
  const LRESULT ui = SendMessageW(f.Handle(), WM_QUERYUISTATE, 0, 0);
  EXPECT_FALSE(ui & UISF_HIDEFOCUS) << "after Tab the focus is drawn";
  EXPECT_FALSE(ui & UISF_HIDEACCEL);

  // A disabled control is passed over.
  EnableWindow(f.bTest, FALSE);
  Press(VK_TAB);
  EXPECT_EQ(Name(f, GetFocus()), "Clean");
  Press(VK_TAB, VK_SHIFT);
  EXPECT_EQ(Name(f, GetFocus()), "Fast Mode");
  EnableWindow(f.bTest, TRUE);

  // Another window active and back: the focus returns where it was.
  Press(VK_TAB);
  ASSERT_EQ(Name(f, GetFocus()), "Test");
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
  SetForegroundWindow(other);
  SetActiveWindow(other);
  PumpLoop(f);
  EXPECT_NE(Name(f, GetFocus()), "Test");
  SetForegroundWindow(f.Handle());
  SetActiveWindow(f.Handle());
  PumpLoop(f);
  EXPECT_EQ(Name(f, GetFocus()), "Test");
  DestroyWindow(other);
}

// Space ticks the selected item or category by the mouse's rules; a category of which only some
// items are ticked shows a third state.
TEST_F(MainWindowKeysTest, SpaceTicksTheSelectedNodeAndACategoryShowsAPartialTick) {
  TfrmMain& f = *form;
  const size_t win = Cat("Windows");
  HTREEITEM cat = f.TreeNode(win, -1), clip = f.TreeNode(win, Item(win, "Clipboard"));
  const size_t items = f.Catalogue.Categories[win].Items.size();
  ASSERT_GT(items, 1u);
  SetFocus(f.tvCleanItems);
  SendMessageW(f.tvCleanItems, TVM_EXPAND, TVE_EXPAND, (LPARAM)cat);

  Select(clip);
  Press(VK_SPACE);
  EXPECT_EQ(TreeState(clip), csTicked);
  EXPECT_EQ(f.Catalogue.BuildRunList(), std::vector<std::string>{"Windows - Clipboard"});
  EXPECT_EQ(TreeState(cat), kPartlyTicked);
  EXPECT_EQ(f.Catalogue.Categories[win].State, csTicked) << "the category runs";

  Select(cat);
  Press(VK_SPACE);  // the category was ticked: now it and all its items are not
  EXPECT_EQ(TreeState(cat), csUnticked);
  EXPECT_EQ(TreeState(clip), csUnticked);
  Press(VK_SPACE);
  EXPECT_EQ(TreeState(cat), csTicked);
  EXPECT_EQ(f.Catalogue.BuildRunList().size(), items);

  Select(clip);
  Press(VK_SPACE);
  EXPECT_EQ(TreeState(clip), csUnticked);
  EXPECT_EQ(TreeState(cat), kPartlyTicked);
  EXPECT_EQ(f.Catalogue.BuildRunList().size(), items - 1);
  EXPECT_EQ(GetFocus(), f.tvCleanItems);

  // The partial state has an image of its own, unlike both check boxes.
  HIMAGELIST states = (HIMAGELIST)SendMessageW(f.tvCleanItems, TVM_GETIMAGELIST, TVSIL_STATE, 0);
  ASSERT_TRUE(states);
  ASSERT_GT(ImageList_GetImageCount(states), kPartlyTicked);
  const std::vector<COLORREF> unticked = Pixels(states, csUnticked), ticked = Pixels(states, csTicked),
                              partly = Pixels(states, kPartlyTicked);
  EXPECT_NE(partly, unticked);
  EXPECT_NE(partly, ticked);
  EXPECT_NE(std::count(partly.begin(), partly.end(), partly[0]), (std::ptrdiff_t)partly.size()) << "a blank image";
}

TEST_F(MainWindowKeysTest, AltWithTheUnderlinedLetterPressesItsButton) {
  TfrmMain& f = *form;
  SetFocus(f.tvCleanItems);
  const LRESULT fast = SendMessageW(f.cbFastMode, BM_GETCHECK, 0, 0);
  Press('M', VK_MENU);
  EXPECT_NE(SendMessageW(f.cbFastMode, BM_GETCHECK, 0, 0), fast);
  EXPECT_EQ(GetFocus(), f.cbFastMode);
  // Nothing is ticked: Test and Clean each say so.
  Press('T', VK_MENU);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(GetFocus(), f.bTest);
  Press('C', VK_MENU);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(GetFocus(), f.bClean);
  // Every button shows its access key.
  for (HWND w : {f.bTest, f.bClean, f.cbFastMode}) {
    wchar_t text[64] = {};
    GetWindowTextW(w, text, 64);
    EXPECT_NE(std::wstring(text).find(L'&'), std::wstring::npos) << Narrow(text);
  }
}

TEST_F(MainWindowKeysTest, F1OpensTheHelpOfTheFocusedControl) {
  TfrmMain& f = *form;
  const size_t win = Cat("Windows");
  SetFocus(f.tvCleanItems);
  Select(f.TreeNode(win, Item(win, "Recent Documents")));
  Press(VK_F1);
  SetFocus(f.cbFastMode);
  Press(VK_F1);
  SetFocus(f.lMain);
  Press(VK_F1);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], HelpPageTarget("items.html#windows-recent-documents"));
  EXPECT_EQ(opened[1], HelpPageTarget("settings.html"));
  EXPECT_EQ(opened[2], HelpPageTarget("index.html"));
  // The entry named is one the page has.
  EXPECT_NE(qvtest::ReadTextFile(ExeFolder() + "help\\items.html").find("id=\"windows-recent-documents\""),
            std::string::npos);
}

}  // namespace
