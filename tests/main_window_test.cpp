// The main window driven as a user drives it: ticks through the tree, Test, Clean, Cancel, the log
// and the progress bar, the confirmation dialog, unattended starts, the tray, the Boss Key, saving
// the log, and a second copy of the program.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/Settings.h"
#include "dialogs/AskDelete.h"
#include "engine/Definitions.h"
#include "shell/CommandLine.h"
#include "shell/MainWindow.h"
#include "shell/TaskHostWin.h"
#include "support/Process.h"
#include "support/RecordingHost.h"
#include "support/Sandbox.h"
#include "support/TestWindow.h"

using namespace qv;
using qvtest::PumpPending;
using qvtest::PumpUntil;

namespace {

struct Box {
  std::string text, caption;
  UINT type;
};

// A window's text as it reads on the screen (a button's access-key mark left out).
std::string Text(HWND w) {
  wchar_t buf[1024] = {};
  GetWindowTextW(w, buf, 1024);
  std::string text = Narrow(buf);
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

bool StartsWith_(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

const char* const kRunMru = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";

// Settings written before the window loads them; every test starts from quiet defaults.
using Ini = std::map<std::string, std::string>;  // "Section/Key" -> value

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.reset(new qvtest::SandboxFolder("mainwindow"));
    settings_ = sandbox_->Path() + "settings.ini";
    SetMessageBoxHook([this](const std::string& text, const std::string& caption, UINT type) {
      boxes.push_back({text, caption, type});
      return (type & 0xF) == MB_YESNO ? answer : IDOK;
    });
    TfrmAskDelete::OnShowForTesting = nullptr;
    TfrmMain::SaveDialogHook = nullptr;
  }
  void TearDown() override {
    form.reset();
    PumpPending();
    SetMessageBoxHook(nullptr);
    qvtest::RegDeleteTree(HKEY_CURRENT_USER, kRunMru);  // whatever a test seeded and left
    TfrmAskDelete::OnShowForTesting = nullptr;
    TfrmMain::SaveDialogHook = nullptr;
    sandbox_.reset();
  }

  void WriteSettings(const Ini& extra) {
    DeleteFileW(Widen(settings_).c_str());
    Ini all = {{"Settings/AskForSweep", "0"}, {"Settings/FastScan", "0"}, {"Hotkey/EnableHotkey", "0"},
               {"SChedule/AutoWash", "0"},    {"SChedule/StartWash", "0"}, {"SChedule/ShutdownWash", "0"}};
    for (auto& kv : extra) all[kv.first] = kv.second;
    for (auto& kv : all) {
      size_t slash = kv.first.find('/');
      IniWriteString(settings_, kv.first.substr(0, slash), kv.first.substr(slash + 1), kv.second);
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, Widen(settings_).c_str());
  }

  TfrmMain& Open(const Ini& extra = {}, const std::string& arg = "",
                 const std::function<void(TfrmMain&)>& beforeShow = nullptr) {
    WriteSettings(extra);
    TMainOptions o;
    o.FirstArgument = arg;
    o.SettingsFile = settings_;
    o.QuitOnDestroy = false;
    o.LogFile = logFile;
    form.reset(new TfrmMain(o));
    if (beforeShow) beforeShow(*form);
    form->Show(SW_SHOWNORMAL);
    PumpPending();
    return *form;
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
  HTREEITEM Node(const std::string& cat, const std::string& item = "") {
    size_t c = Cat(cat);
    return form->TreeNode(c, item.empty() ? -1 : Item(c, item));
  }
  int TreeState(HTREEITEM node) {
    return (int)(SendMessageW(form->tvCleanItems, TVM_GETITEMSTATE, (WPARAM)node, TVIS_STATEIMAGEMASK) >> 12);
  }
  // Presses the mouse on a node's check box, as a user does.
  void ClickCheckBox(HTREEITEM node) {
    HWND tree = form->tvCleanItems;
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)node);
    RECT r;
    memcpy(&r, &node, sizeof(node));
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, (LPARAM)&r));
    int y = (r.top + r.bottom) / 2;
    for (int x = r.left - 1; x >= 0 && x > r.left - 40; --x) {
      TVHITTESTINFO hit = {};
      hit.pt = {x, y};
      if ((HTREEITEM)SendMessageW(tree, TVM_HITTEST, 0, (LPARAM)&hit) == node && (hit.flags & TVHT_ONITEMSTATEICON)) {
        SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        return;
      }
    }
    FAIL() << "no check box found";
  }
  void Tick(const std::string& cat, const std::string& item) {
    ClickCheckBox(Node(cat, item));
    ASSERT_EQ(TreeState(Node(cat, item)), 2);
  }
  std::vector<std::string> Log() { return ListBoxLines(form->lMain); }
  bool WaitIdle() {
    return PumpUntil([this] {
      auto c = form->RunControl();
      return !form->BusyFlag && (!c || !c->Running.load());
    });
  }
  bool WaitFinished() {
    return PumpUntil([this] { return !form->BusyFlag && form->ProgressCaption() == kFinished; });
  }
  void Press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

  std::unique_ptr<qvtest::SandboxFolder> sandbox_;
  std::string settings_;
  std::unique_ptr<TfrmMain> form;
  std::vector<Box> boxes;
  int answer = IDNO;
  // The -log file of the windows Open makes (empty: none).
  std::string logFile;
};

// Something for "Windows - Start Run" to remove.
// Exactly kSeededRunMru values: what a Test of "Windows - Start Run" finds.
constexpr unsigned kSeededRunMru = 3;
void SeedRunMru() {
  qvtest::RegDeleteTree(HKEY_CURRENT_USER, kRunMru);
  qvtest::RegSetString(HKEY_CURRENT_USER, kRunMru, "a", "notepad\\1");
  qvtest::RegSetString(HKEY_CURRENT_USER, kRunMru, "b", "regedit\\1");
  qvtest::RegSetString(HKEY_CURRENT_USER, kRunMru, "MRUList", "ab");
}

// The values the run list holds now, read with the registry's own calls (0 when the key is gone).
unsigned RunMruLeft() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(kRunMru).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return values;
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (auto& l : lines) n += StartsWith_(l, prefix);
  return n;
}

TEST_F(MainWindowTest, StartsWithTheStoredSelectionCaptionTitleAndEveryMenuEntry) {
  auto& f = Open({{"NodeSelected/SelectedCount", "3"},
                  {"NodeSelected/1", "Windows"},
                  {"NodeSelected/2", "Windows - Start Run"},
                  {"NodeSelected/3", "Opera"},
                  {"FirstNodeExpand/2", "1"},
                  {"FirstNodeExpand/3", "0"},
                  {"Settings/FastScan", "1"}});
  wchar_t cls[128] = {};
  GetClassNameW(f.Handle(), cls, 128);
  EXPECT_EQ(Narrow(cls), "Quorvane Made by Marrowdale Software");
  EXPECT_EQ(Text(f.Handle()), "Quorvane 1.5");
  EXPECT_EQ(Text(f.lTitle), "Quorvane");
  EXPECT_EQ(Text(f.lTitleHint), "Clean up all traces of your PC and Internet activity");
  EXPECT_FALSE(IsWindowVisible(f.ProgressBar1));
  EXPECT_EQ(SendMessageW(f.cbFastMode, BM_GETCHECK, 0, 0), BST_CHECKED);
  Press(f.cbFastMode);
  EXPECT_FALSE(OptionsSetting.FastScan);
  Press(f.cbFastMode);
  EXPECT_TRUE(OptionsSetting.FastScan);

  // The tree shows the model, with real check boxes.
  EXPECT_TRUE(GetWindowLongW(f.tvCleanItems, GWL_STYLE) & TVS_CHECKBOXES);
  LRESULT nodes = (LRESULT)f.Catalogue.Categories.size();
  for (const auto& cat : f.Catalogue.Categories) nodes += (LRESULT)cat.Items.size();
  EXPECT_EQ(SendMessageW(f.tvCleanItems, TVM_GETCOUNT, 0, 0), nodes);
  EXPECT_EQ(TreeState(Node("Windows")), kPartlyTicked);  // one of its items
  EXPECT_EQ(TreeState(Node("Windows", "Start Run")), 2);
  EXPECT_EQ(TreeState(Node("Windows", "Clipboard")), 1);
  EXPECT_EQ(TreeState(Node("Opera")), 2);  // a stored category keeps its own state
  EXPECT_EQ(TreeState(Node("Opera", "Cookies")), 1);
  EXPECT_TRUE(SendMessageW(f.tvCleanItems, TVM_GETITEMSTATE, (WPARAM)Node("Windows"), TVIS_EXPANDED) & TVIS_EXPANDED);
  EXPECT_FALSE(SendMessageW(f.tvCleanItems, TVM_GETITEMSTATE, (WPARAM)Node("Netscape"), TVIS_EXPANDED) &
               TVIS_EXPANDED);

  // Every menu entry opens what it names (dialogs_test opens each dialog through its entry).
  for (int id : {IDM_INDEXDAT, IDM_SETTINGS, IDM_COOKIES, IDM_CUSTOMLISTS, IDM_TEST, IDM_CLEAN, IDM_EXIT, IDM_HELP,
                 IDM_HOMEPAGE, IDM_ABOUT})
    EXPECT_FALSE(GetMenuState(f.MainMenu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  EXPECT_FALSE(GetMenuState(f.pmSelf, IDM_TRAY_SETTINGS, MF_BYCOMMAND) & MF_GRAYED);

  // The window never gets smaller than its minimum.
  SetWindowPos(f.Handle(), nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
  RECT r;
  GetWindowRect(f.Handle(), &r);
  EXPECT_GE(r.right - r.left, 610);
  EXPECT_GE(r.bottom - r.top, 400);
}

TEST_F(MainWindowTest, TheStoredPlacementAppliesOnFirstShowAndCloseStoresItBack) {
  {
    auto& f = Open({{"Window/State", "1"}, {"Window/Left", "30"}, {"Window/Top", "40"},
                    {"Window/Width", "650"}, {"Window/Height", "450"}});
    RECT r;
    GetWindowRect(f.Handle(), &r);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right - r.left, 650);
    EXPECT_EQ(r.bottom - r.top, 450);
    // Minimised to the tray and closed from there: the normal bounds are stored, not the icon's.
    SendMessageW(f.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageW(f.Handle(), WM_COMMAND, IDM_TRAY_EXIT, 0);
    EXPECT_FALSE(IsWindow(f.Handle()));
    EXPECT_FALSE(f.TrayIconPresent());
    EXPECT_EQ(IniReadString(settings_, "Window", "Left", ""), "30");
    EXPECT_EQ(IniReadString(settings_, "Window", "Width", ""), "650");
    form.reset();
  }
  auto& f = Open({{"Window/State", "3"}});
  EXPECT_TRUE(IsZoomed(f.Handle()));
}

TEST_F(MainWindowTest, ClosingCancelsABusyRunAndStoresTicksAndExpandedCategories) {
  auto& f = Open({{"FirstNodeExpand/1", "1"}, {"FirstNodeExpand/2", "1"}});
  f.Catalogue.SelectAll(csTicked);
  f.RefreshTreeStates();
  ClickCheckBox(Node("Windows"));  // Windows and its items off
  SendMessageW(f.tvCleanItems, TVM_EXPAND, TVE_COLLAPSE, (LPARAM)Node("Internet Explorer"));
  SendMessageW(f.tvCleanItems, TVM_EXPAND, TVE_EXPAND, (LPARAM)Node("Opera"));
  HWND h = f.Handle();
  bool closed = false;
  f.OnRunMessage = [&](UINT msg, WPARAM) {
    if (msg == WM_CLEANPROGRESS && !closed) {
      closed = true;
      PostMessageW(h, WM_CLOSE, 0, 0);
    }
  };
  Press(f.bTest);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(h); }));
  auto control = f.RunControl();
  ASSERT_TRUE(control);
  EXPECT_TRUE(control->Terminated.load());
  ASSERT_TRUE(PumpUntil([&] { return !control->Running.load(); }));

  EXPECT_EQ(IniReadString(settings_, "FirstNodeExpand", "1", ""), "0");
  EXPECT_EQ(IniReadString(settings_, "FirstNodeExpand", "2", ""), "1");
  EXPECT_EQ(IniReadString(settings_, "FirstNodeExpand", "4", ""), "1");
  std::vector<std::string> stored;
  int n = IniReadInteger(settings_, "NodeSelected", "SelectedCount", 0);
  for (int i = 1; i <= n; ++i) stored.push_back(IniReadString(settings_, "NodeSelected", std::to_string(i), ""));
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "Windows - Start Run"), 0);
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "Opera - Cookies"), 1);
}

TEST_F(MainWindowTest, MousePressesOnCheckBoxesFollowTheTickRules) {
  auto& f = Open();
  size_t win = Cat("Windows");
  HTREEITEM cat = Node("Windows"), run = Node("Windows", "Start Run"), clip = Node("Windows", "Clipboard");

  ClickCheckBox(run);
  EXPECT_EQ(TreeState(run), 2);
  EXPECT_EQ(TreeState(cat), kPartlyTicked);
  EXPECT_EQ(f.Catalogue.Categories[win].State, csTicked);
  EXPECT_EQ(f.Catalogue.BuildRunList(), std::vector<std::string>{"Windows - Start Run"});

  ClickCheckBox(run);  // the only ticked item off: the category goes too
  EXPECT_EQ(TreeState(run), 1);
  EXPECT_EQ(TreeState(cat), 1);

  ClickCheckBox(cat);  // the category gives its state to every item
  for (size_t i = 0; i < f.Catalogue.Categories[win].Items.size(); ++i) {
    EXPECT_EQ(TreeState(f.TreeNode(win, (int)i)), 2);
    EXPECT_EQ(f.Catalogue.Categories[win].Items[i].State, csTicked);
  }
  EXPECT_EQ(TreeState(cat), 2);
  ClickCheckBox(clip);  // one item off leaves the category ticked, partly
  EXPECT_EQ(TreeState(clip), 1);
  EXPECT_EQ(TreeState(cat), kPartlyTicked);
  EXPECT_EQ(f.Catalogue.Categories[win].State, csTicked);
}

TEST_F(MainWindowTest, TestRunFillsTheLogAndEndsFinished) {
  SeedRunMru();
  auto& f = Open({{"Settings/AskForSweep", "1"}});
  int asked = 0;
  TfrmAskDelete::OnShowForTesting = [&](HWND) { ++asked; };
  Tick("Windows", "Clipboard");
  Tick("Windows", "Start Run");
  Press(f.bTest);
  EXPECT_EQ(Text(f.bTest), "Cancel");
  EXPECT_TRUE(f.BusyFlag);
  // While a Test runs the bar animates in steps of 50 and wraps above 999.
  EXPECT_EQ(f.ProgressPosition(), 0);
  EXPECT_FALSE(f.ProgressCaptionVisible());
  for (int i = 1; i <= 19; ++i) SendMessageW(f.Handle(), WM_TIMER, 1, 0);
  EXPECT_EQ(f.ProgressPosition(), 950);
  SendMessageW(f.Handle(), WM_TIMER, 1, 0);
  EXPECT_EQ(f.ProgressPosition(), 0);
  EXPECT_TRUE(IsWindowVisible(f.ProgressBar1));
  EXPECT_TRUE(IsWindowVisible(f.lTotalItems));
  EXPECT_EQ(Text(f.lTotalItems), "Total items will be removed: ");
  ASSERT_TRUE(WaitFinished());

  auto log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "Test: Clearing Windows - Start Run ...");
  EXPECT_EQ(Count(log, "Test: Clearing Windows - Clipboard ..."), 1);
  EXPECT_TRUE(StartsWith_(log[log.size() - 2], "Total items will be removed = ")) << log[log.size() - 2];
  EXPECT_EQ(Text(f.bTest), "Test");
  EXPECT_EQ(f.ProgressPosition(), 1000);
  EXPECT_EQ(f.ProgressCaption(), "Finished!");
  EXPECT_EQ(Text(f.ProgressBar1), "Finished!");
  EXPECT_EQ(asked, 0);  // a Test never asks
  EXPECT_TRUE(boxes.empty());
  EXPECT_GT(SendMessageW(f.lMain, LB_GETHORIZONTALEXTENT, 0, 0), 10);
  // The number shown is the run's total: the values of the run list (a Test leaves the clipboard
  // alone and counts nothing there).
  EXPECT_EQ(log[log.size() - 2], "Total items will be removed = " + std::to_string(kSeededRunMru) +
                                     " ; Total files will be removed = 0 KB");
  EXPECT_EQ(Text(f.lNumber), std::to_string(kSeededRunMru));
  EXPECT_EQ(RunMruLeft(), kSeededRunMru);
  qvtest::RegDeleteTree(HKEY_CURRENT_USER, kRunMru);
}

TEST_F(MainWindowTest, CleanRunsAnInvisiblePreliminaryTestThenARemovalRunFollowingExpectedTotal) {
  // The run finds the run list's values and nothing else: the open-file list is gone and the
  // clipboard counts nothing.
  SeedRunMru();
  const std::string openSave = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU";
  qvtest::RegDeleteTree(HKEY_CURRENT_USER, openSave);
  auto& f = Open({{"Settings/FastScan", "0"}});
  Tick("Windows", "Start Run");
  Tick("Windows", "Clipboard");
  Tick("Advanced", "Open File History");

  struct Seen {
    bool prelimHidden = false, prelimFast = false, prelimHadLines = false;
    uint32_t prelimTotal = 0;
    bool realVisible = false;
    std::set<std::pair<unsigned, int>> removalProgress;  // count shown, bar position
  } seen;
  f.OnRunMessage = [&](UINT msg, WPARAM w) {
    if (msg == WM_CLEANFINISHED && f.ProgressCaption() == kPrepareToClean) {
      seen.prelimHidden = f.LogFontColour() == f.LogBackgroundColour();
      seen.prelimFast = f.Controller().RunOptions()->FastScan;
      seen.prelimHadLines = !Log().empty();
      seen.prelimTotal = (uint32_t)w;
    }
    if (msg == WM_STARTREALCLEAN) seen.realVisible = true;
  };
  Press(f.bClean);
  EXPECT_EQ(f.ProgressCaption(), "Prepare to clean...");
  EXPECT_TRUE(f.ProgressCaptionVisible());
  ASSERT_TRUE(PumpUntil([&] {
    // What the removal run shows while it runs: counts and bar positions, in thirds of 1000.
    if (f.RunMode() == rmClean && f.BusyFlag) {
      const std::string shown = Text(f.lNumber);
      if (shown != "0") seen.removalProgress.insert({(unsigned)atoi(shown.c_str()), f.ProgressPosition()});
    }
    return !f.BusyFlag && f.ProgressCaption() == kFinished;
  }));
  EXPECT_TRUE(seen.prelimHidden);
  EXPECT_TRUE(seen.prelimFast);
  EXPECT_TRUE(seen.prelimHadLines);
  EXPECT_TRUE(seen.realVisible);
  EXPECT_EQ(seen.prelimTotal, kSeededRunMru);
  EXPECT_EQ(f.ExpectedTotal, kSeededRunMru);
  const std::set<std::pair<unsigned, int>> thirds = {{1, 333}, {2, 666}, {3, 1000}};
  for (const auto& p : seen.removalProgress) EXPECT_EQ(thirds.count(p), 1u) << p.first << " at " << p.second;
  EXPECT_EQ(f.LogFontColour(), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_FALSE(OptionsSetting.FastScan);  // the user's value is back

  auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "Clean: Clearing Windows - Start Run ...");
  EXPECT_EQ(Count(log, "Test: "), 0);  // nothing of the preliminary pass is left
  EXPECT_EQ(Count(log, "Total items to be removed = "), 1);
  EXPECT_EQ(Text(f.lTotalItems), "Total items to be removed: ");
  EXPECT_EQ(f.ProgressPosition(), 1000);
  EXPECT_EQ(RunMruLeft(), 0u);  // what the Test found is gone
  EXPECT_EQ(Count(log, std::string("Clean: deleting registry key HKEY_CURRENT_USER\\") + kRunMru), 1);

  // A Clean of 40 entries moves the bar in fortieths of 1000.
  f.ExpectedTotal = 40;
  struct {
    WPARAM count;
    int position;
  } cases[] = {{1, 25}, {10, 250}, {39, 975}, {40, 1000}, {55, 1000}};
  for (auto& c : cases) {
    SendMessageW(f.Handle(), WM_CLEANPROGRESS, c.count, 0);
    EXPECT_EQ(f.ProgressPosition(), c.position) << c.count;
    EXPECT_EQ(f.ProgressCaption(), std::to_string(c.position / 10) + "%");
    EXPECT_EQ(Text(f.lNumber), std::to_string(c.count));
  }
}

// A run that writes thousands of detail lines: the log holds every line in the order the run wrote
// it, its horizontal extent is that of its widest line, and the -log file gets all of it.
TEST_F(MainWindowTest, ALongDetailedLogArrivesWholeAndInOrder) {
  const std::string folder = sandbox_->Path() + "many\\";
  for (int i = 0; i < 6000; ++i)
    qvtest::WriteTextFile(folder + "file" + std::to_string(i) + std::string((size_t)(i * 7919 % 23), 'w') + ".tmp",
                          "x");
  const std::string clist = DefinitionFilePath("Clist.dat");
  qvtest::WriteTextFile(clist, "[<New List>]\r\nDelFile1=" + folder.substr(0, folder.size() - 1) + "\r\n");
  const std::string item = "Custom Lists - <New List>";
  // What the item writes, taken line by line as it writes them.
  OptionsSetting.FastScan = false;
  auto reference = std::make_shared<qvtest::RecordingHost>(rmTest);
  {
    TCleanRun run(reference);
    run.LogPrefix = "Test: ";
    RunDefinitionSection(run, "Clist.dat", item);
  }
  ASSERT_EQ(Count(reference->Lines, "Test: deleting "), 6000);

  logFile = sandbox_->Path() + "runs.log";
  auto& f = Open({{"Settings/FastScan", "0"}});
  Tick("Custom Lists", "<New List>");
  Press(f.bTest);
  ASSERT_TRUE(WaitFinished());
  auto log = Log();
  ASSERT_EQ(log.size(), reference->Lines.size() + 7);
  EXPECT_EQ(log[0], "Test: Clearing " + item + " ...");
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.begin() + 1 + (ptrdiff_t)reference->Lines.size()),
            reference->Lines);
  EXPECT_EQ(log[log.size() - 5], "6000 items will be removed; 6 KB will be removed.");
  int widest = 0;
  for (const std::string& line : log) widest = std::max(widest, ListBoxTextWidth(f.lMain, line));
  EXPECT_EQ(SendMessageW(f.lMain, LB_GETHORIZONTALEXTENT, 0, 0), widest + 10);
  std::string all;
  for (const std::string& line : log) all += line + "\r\n";
  EXPECT_NE(qvtest::ReadTextFile(logFile).find(" Quorvane 1.5: Test ====\r\n" + all), std::string::npos);
  form.reset();
  DeleteFileW(Widen(clist).c_str());
}

TEST_F(MainWindowTest, CancelLeavesNoTotalLineAndReturnsToIdle) {
  auto& f = Open();
  f.Catalogue.SelectAll(csTicked);
  f.RefreshTreeStates();
  bool cancelled = false;
  f.OnRunMessage = [&](UINT msg, WPARAM) {
    if (msg == WM_CLEANPROGRESS && !cancelled) {
      cancelled = true;
      Press(f.bTest);  // reads "Cancel"
    }
  };
  Press(f.bTest);
  ASSERT_TRUE(PumpUntil([&] { return cancelled; }));
  EXPECT_FALSE(f.BusyFlag);
  // The cancelled worker was still on its items: until it has stopped, the button says so, takes
  // no click, and no new run starts beside it.
  EXPECT_TRUE(f.WindingDown());
  EXPECT_EQ(Text(f.bTest), "Stopping...");
  EXPECT_FALSE(IsWindowEnabled(f.bTest));
  SendMessageW(f.Handle(), WM_COMMAND, IDM_TEST, 0);
  EXPECT_FALSE(f.BusyFlag);
  ASSERT_TRUE(PumpUntil([&] { return !f.WindingDown(); }));
  EXPECT_FALSE(f.RunControl()->Running);
  EXPECT_EQ(Text(f.bTest), "Test");
  EXPECT_TRUE(IsWindowEnabled(f.bTest));
  ASSERT_TRUE(WaitIdle());
  PumpPending();
  auto log = Log();
  EXPECT_EQ(Count(log, "Total items"), 0);
  EXPECT_NE(f.ProgressCaption(), kFinished);

  // The window is idle again: the next Test, from the Action menu this time, runs to its end.
  f.OnRunMessage = nullptr;
  SendMessageW(f.Handle(), WM_COMMAND, IDM_TEST, 0);
  EXPECT_TRUE(f.BusyFlag);
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(Count(Log(), "Total items will be removed = "), 1);
}

TEST_F(MainWindowTest, CancelBetweenThePassesOfACleanStartsNoRemoval) {
  auto& f = Open({{"Settings/FastScan", "0"}});
  Tick("Windows", "Start Run");
  bool cancelled = false;
  f.OnRunMessage = [&](UINT msg, WPARAM) {
    if (msg == WM_STARTREALCLEAN && !cancelled) {
      cancelled = true;
      Press(f.bTest);
    }
  };
  Press(f.bClean);
  ASSERT_TRUE(PumpUntil([&] { return cancelled; }));
  ASSERT_TRUE(WaitIdle());
  PumpPending();
  EXPECT_EQ(Count(Log(), "Clean: "), 0);
  EXPECT_EQ(f.LogFontColour(), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_FALSE(OptionsSetting.FastScan);
  EXPECT_EQ(Text(f.bTest), "Test");
}

// What the user does at the end of a Clean's first pass, when its end message is already on its
// way: a Cancel then still stops the Clean, a click on Fast Mode is the value kept afterwards, and
// a selection emptied meanwhile leaves the window idle.
TEST_F(MainWindowTest, ChangesAtTheEndOfTheFirstPassOfACleanAreHonoured) {
  enum Action { kCancel, kFastMode, kUntick };
  struct Case {
    const char* name;
    Action action;
    bool removes;
    bool fastAfter;
    std::string notice;
  } cases[] = {
      {"cancel", kCancel, false, false, ""},
      {"fast mode on", kFastMode, true, true, ""},
      {"everything unticked", kUntick, false, false,
       "Please select items you want to clear from the left list firstly."},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    SeedRunMru();
    auto& f = Open({{"Settings/FastScan", "0"}});
    Tick("Windows", "Start Run");
    bool done = false;
    f.OnRunMessage = [&](UINT msg, WPARAM) {
      if (msg != WM_CLEANFINISHED || f.ProgressCaption() != kPrepareToClean || done) return;
      done = true;
      if (c.action == kCancel) Press(f.bTest);
      if (c.action == kFastMode) Press(f.cbFastMode);
      if (c.action == kUntick) ClickCheckBox(Node("Windows", "Start Run"));
    };
    boxes.clear();
    Press(f.bClean);
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    if (c.removes) {
      ASSERT_TRUE(WaitFinished());
    }
    ASSERT_TRUE(WaitIdle());
    PumpPending();
    EXPECT_EQ(Count(Log(), "Clean: Clearing"), c.removes ? 1 : 0);
    EXPECT_EQ(RunMruLeft(), c.removes ? 0u : kSeededRunMru);
    EXPECT_EQ(Text(f.bTest), "Test");
    EXPECT_FALSE(f.BusyFlag);
    EXPECT_EQ(OptionsSetting.FastScan, c.fastAfter);
    EXPECT_EQ(SendMessageW(f.cbFastMode, BM_GETCHECK, 0, 0) == BST_CHECKED, c.fastAfter);
    EXPECT_EQ(f.LogFontColour(), GetSysColor(COLOR_WINDOWTEXT));
    if (c.notice.empty()) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, c.notice);
    }
    // Idle for real: the next Test runs to its end.
    Tick("Windows", "Clipboard");
    Press(f.bTest);
    ASSERT_TRUE(WaitFinished());
    form.reset();
    qvtest::RegDeleteTree(HKEY_CURRENT_USER, kRunMru);
  }
}

TEST_F(MainWindowTest, ARunThatDiesReturnsToIdleWithoutClaimingToHaveFinished) {
  auto& f = Open({{"Settings/FastScan", "0"}});
  f.Catalogue.SelectAll(csTicked);
  f.RefreshTreeStates();
  bool aborted = false;
  f.OnRunMessage = [&](UINT msg, WPARAM) {
    if (msg == WM_CLEANPROGRESS && !aborted) {
      aborted = true;
      PostMessageW(f.Handle(), WM_CLEANABORTED, 0, 0);
    }
  };
  Press(f.bClean);
  ASSERT_TRUE(PumpUntil([&] { return aborted && !f.BusyFlag; }));
  ASSERT_TRUE(WaitIdle());
  PumpPending();
  EXPECT_EQ(f.ProgressCaption(), "Stopped!");
  EXPECT_EQ(Text(f.bTest), "Test");
  EXPECT_EQ(f.LogFontColour(), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_FALSE(OptionsSetting.FastScan);
  EXPECT_EQ(Count(Log(), "Clean: "), 0);  // no removal pass followed
}

// An unattended run that dies before its end did not clean: the exit code says so.
TEST_F(MainWindowTest, AnUnattendedRunThatDiesEndsWithItsOwnExitCode) {
  SeedRunMru();
  auto& f = Open({{"NodeSelected/SelectedCount", "1"}, {"NodeSelected/1", "Windows - Start Run"}});
  bool aborted = false;
  f.OnRunMessage = [&](UINT msg, WPARAM) {
    if (msg == WM_CLEANPROGRESS && !aborted) {
      aborted = true;
      PostMessageW(f.Handle(), WM_CLEANABORTED, 0, 0);
    }
  };
  SendMessageW(f.Handle(), WM_AUTOCLEAN, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return aborted && !f.BusyFlag; }));
  EXPECT_EQ(f.ProgressCaption(), "Stopped!");
  EXPECT_EQ(f.ExitCode(), ecRunFailed);
}

TEST_F(MainWindowTest, RequestsWithNothingTickedOrFirefoxOpenStartNoRun) {
  const std::string nothing = "Please select items you want to clear from the left list firstly.";
  const std::string firefox = "Please close Mozilla Firefox firstly!";
  // A Firefox window for the cases that need one.
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MozillaWindowClass";
  RegisterClassW(&wc);

  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> ticks;
    bool firefoxOpen;
    int action;  // 0 Test, 1 Clean, 2 unattended
    std::string message;
    bool runs;
    // An unattended run shows no box: its notice goes to the log, its reason to the exit code.
    std::string logNotice;
    int exitCode;
  } cases[] = {
      {"test, nothing ticked", {}, false, 0, nothing, false, "", 0},
      {"clean, nothing ticked", {}, false, 1, nothing, false, "", 0},
      {"unattended, nothing ticked", {}, false, 2, "", false, "", ecNothingTicked},
      {"clean, Firefox open", {{"Mozilla Firefox", "Cookies"}, {"Windows", "Start Run"}}, true, 1, firefox, false, "", 0},
      {"unattended, Firefox open", {{"Mozilla Firefox", "Cookies"}}, true, 2, "", false, firefox, ecFirefoxOpen},
      {"test, Firefox open", {{"Mozilla Firefox", "Cookies"}}, true, 0, "", true, "", 0},
      {"clean, Firefox open but unticked", {{"Windows", "Start Run"}}, true, 1, "", true, "", 0},
      // As settings.ini gives it: the item ticked, its category not.
      {"unattended, Firefox open, only an item stored", {{"", "Mozilla Firefox - Cookies"}}, true, 2, "", false,
       firefox, ecFirefoxOpen},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& f = Open();
    for (auto& t : c.ticks) {
      if (t.first.empty()) {
        ASSERT_TRUE(f.Catalogue.TickByName(t.second));
        ASSERT_FALSE(f.Catalogue.IsCategoryTicked("Mozilla Firefox"));
      } else {
        Tick(t.first, t.second);
      }
    }
    HWND ff = c.firefoxOpen ? CreateWindowExW(0, L"MozillaWindowClass", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                              nullptr, GetModuleHandleW(nullptr), nullptr)
                            : nullptr;
    boxes.clear();
    if (c.action == 0) Press(f.bTest);
    if (c.action == 1) Press(f.bClean);
    if (c.action == 2) SendMessageW(f.Handle(), WM_AUTOCLEAN, 0, 0);
    if (c.message.empty()) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, c.message);
      EXPECT_EQ(boxes[0].caption, "Quorvane");
      EXPECT_EQ(boxes[0].type & MB_ICONMASK, (UINT)MB_ICONINFORMATION);
    }
    EXPECT_EQ(f.BusyFlag, c.runs);
    if (c.runs) {
      ASSERT_TRUE(WaitFinished());
    }
    if (c.logNotice.empty())
      EXPECT_EQ(Log().empty(), !c.runs);
    else
      EXPECT_EQ(Log(), std::vector<std::string>{c.logNotice});
    EXPECT_EQ(f.ExitCode(), c.exitCode);
    if (ff) DestroyWindow(ff);
    form.reset();
  }
}

TEST_F(MainWindowTest, TheConfirmationDialogGuardsRemovalRuns) {
  struct Case {
    const char* name;
    int askClicks;   // presses on "Don't show me this message again"
    int button;      // IDOK or IDCANCEL
    bool runs;
    bool askAfter;   // AskForSweep afterwards
  } cases[] = {
      {"OK", 0, IDOK, true, true},
      {"Cancel", 0, IDCANCEL, false, true},
      {"tick and OK", 1, IDOK, true, false},
      {"tick and Cancel", 1, IDCANCEL, false, false},
      {"tick, untick and OK", 2, IDOK, true, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& f = Open({{"Settings/AskForSweep", "1"}});
    Tick("Windows", "Start Run");
    int shown = 0;
    std::vector<std::string> texts;
    TfrmAskDelete::OnShowForTesting = [&](HWND dlg) {
      ++shown;
      texts = {Text(dlg)};
      for (int id = TfrmAskDelete::IDC_LABEL1; id <= TfrmAskDelete::IDC_ASK; ++id)
        texts.push_back(Text(GetDlgItem(dlg, id)));
      for (int i = 0; i < c.askClicks; ++i)
        PostMessageW(GetDlgItem(dlg, TfrmAskDelete::IDC_ASK), BM_CLICK, 0, 0);
      PostMessageW(GetDlgItem(dlg, c.button), BM_CLICK, 0, 0);
    };
    Press(f.bClean);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(f.BusyFlag, c.runs);
    if (c.runs) {
      ASSERT_TRUE(WaitFinished());
    }
    EXPECT_EQ(Count(Log(), "Clean: Clearing"), c.runs ? 1 : 0);
    EXPECT_EQ(OptionsSetting.AskForSweep, c.askAfter);
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[0], "Run Quorvane");
    EXPECT_EQ(texts[1], "This process will permanently delete files from your system.");
    EXPECT_EQ(texts[2], "It's better to close all programs you want to clear their");
    EXPECT_EQ(texts[3], " history, the software can not delete the entries being used");
    EXPECT_EQ(texts[4], "by those programs such as Internet Explorer.");
    EXPECT_EQ(texts[5], "Are you sure you wish to proceed?");
    EXPECT_EQ(texts[6], "Don't show me this message again");

    // The next Clean asks again exactly when the setting still says so.
    shown = 0;
    TfrmAskDelete::OnShowForTesting = [&](HWND dlg) {
      ++shown;
      PostMessageW(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    };
    Press(f.bClean);
    EXPECT_EQ(shown, c.askAfter ? 1 : 0);
    WaitIdle();
    form.reset();
  }
}

// The question before a removal run stands on the screen, centred on the window, or centred on the
// screen while the window sits in the tray (a scheduled run).
TEST_F(MainWindowTest, TheConfirmationIsOnScreenAlsoWhileTheWindowIsInTheTray) {
  for (bool inTray : {false, true}) {
    SCOPED_TRACE(inTray);
    auto& f = Open({{"Settings/AskForSweep", "1"}});
    Tick("Windows", "Start Run");
    if (inTray) SendMessageW(f.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_EQ(IsWindowVisible(f.Handle()) == 0, inTray);
    RECT dialog = {}, owner = {}, work = {};
    GetWindowRect(f.Handle(), &owner);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int shown = 0;
    TfrmAskDelete::OnShowForTesting = [&](HWND dlg) {
      ++shown;
      GetWindowRect(dlg, &dialog);
      PostMessageW(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    };
    SendMessageW(f.Handle(), WM_TIMER, 2, 0);  // a schedule tick
    ASSERT_EQ(shown, 1);
    EXPECT_FALSE(f.BusyFlag);
    EXPECT_GE(dialog.left, work.left);
    EXPECT_GE(dialog.top, work.top);
    EXPECT_LE(dialog.right, work.right);
    EXPECT_LE(dialog.bottom, work.bottom);
    RECT& around = inTray ? work : owner;
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (around.left + around.right) / 2, 2);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (around.top + around.bottom) / 2, 2);
    form.reset();
  }
}

TEST_F(MainWindowTest, UnattendedRunsRemoveWithoutAPreliminaryPassAndTheScheduleArmsOnFirstShow) {
  auto& f = Open({{"Settings/AskForSweep", "0"}, {"SChedule/AutoWash", "1"}, {"SChedule/WashInterval", "3"}});
  EXPECT_TRUE(f.Timer2Enabled());
  EXPECT_EQ(f.Timer2Interval(), 14400000u);
  Tick("Windows", "Start Run");
  bool prepared = false;
  f.OnRunMessage = [&](UINT, WPARAM) { prepared |= f.ProgressCaption() == kPrepareToClean; };
  SendMessageW(f.Handle(), WM_TIMER, 2, 0);  // a schedule tick
  EXPECT_EQ(f.RunMode(), rmUnattended);
  ASSERT_TRUE(WaitFinished());
  EXPECT_FALSE(prepared);
  EXPECT_EQ(Log()[0], "Clean: Clearing Windows - Start Run ...");
  EXPECT_EQ(Count(Log(), "Total items to be removed = "), 1);

  // A tick while a run is busy neither starts another nor changes the busy run's mode; a Clean
  // pressed then with nothing ticked any more only gets the notice.
  Press(f.bTest);
  SendMessageW(f.Handle(), WM_TIMER, 2, 0);
  EXPECT_EQ(f.RunMode(), rmTest);
  EXPECT_TRUE(boxes.empty());
  ClickCheckBox(Node("Windows", "Start Run"));
  Press(f.bClean);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Please select items you want to clear from the left list firstly.");
  EXPECT_EQ(f.RunMode(), rmTest);
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(Count(Log(), "Test: Clearing"), 1);
  EXPECT_EQ(Count(Log(), "Clean: "), 0);
}

TEST_F(MainWindowTest, CommandLineArgumentsChooseTrayStartAndOneTimeClean) {
  struct Case {
    std::string arg;
    bool ticked, tray, hidden, runs, closes, schedule;
  } cases[] = {
      {"-Start", true, true, true, true, false, true},
      {"-START", true, false, false, false, false, true},
      {"-cleanonce", true, false, false, true, true, false},
      {"-CleanOnce", true, false, false, true, true, false},
      {"-cleanonce", false, false, false, false, true, false},  // nothing to clean: ends all the same
      {"", true, false, false, false, false, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.arg);
    int asked = 0;
    TfrmAskDelete::OnShowForTesting = [&](HWND dlg) {
      ++asked;
      PostMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    };
    int finished = 0;
    auto& f = Open({{"Settings/AskForSweep", c.arg == "-Start" ? "0" : "1"},
                    {"SChedule/StartWash", "1"},
                    {"SChedule/AutoWash", "1"},
                    {"NodeSelected/SelectedCount", c.ticked ? "1" : "0"},
                    {"NodeSelected/1", "Windows - Start Run"}},
                   c.arg, [&](TfrmMain& m) {
                     m.OnRunMessage = [&](UINT msg, WPARAM) { finished += msg == WM_CLEANFINISHED; };
                   });
    HWND h = f.Handle();
    if (c.runs) {
      ASSERT_TRUE(PumpUntil([&] { return finished > 0 && !f.BusyFlag; }));
    }
    PumpPending();
    EXPECT_EQ(finished, c.runs ? 1 : 0);
    EXPECT_EQ(asked, 0);  // "-cleanonce" never asks
    EXPECT_EQ(!IsWindow(h), c.closes);
    if (IsWindow(h)) {
      EXPECT_EQ(f.TrayIconPresent(), c.tray);
      EXPECT_EQ(!IsWindowVisible(h), c.hidden);
      EXPECT_EQ(f.Timer2Enabled(), c.schedule);
      // Activating the window again (a dialog closing) repeats nothing.
      SendMessageW(h, WM_ACTIVATE, WA_ACTIVE, 0);
      PumpPending();
      EXPECT_EQ(finished, c.runs ? 1 : 0);
      WaitIdle();
    } else {
      EXPECT_FALSE(f.Timer2Enabled());
    }
    form.reset();
  }
}

TEST_F(MainWindowTest, MinimisingGoesToTheTrayAndAClickOnTheIconBringsTheWindowBack) {
  auto& f = Open();
  HWND h = f.Handle();
  LONG ex = GetWindowLongW(h, GWL_EXSTYLE);
  SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_TRUE(f.TrayIconPresent());
  EXPECT_EQ(GetWindowLongW(h, GWL_EXSTYLE), ex);
  SendMessageW(h, WM_TRAYICON, 0, WM_MOUSEMOVE);  // ignored
  EXPECT_FALSE(IsWindowVisible(h));
  SendMessageW(h, WM_TRAYICON, 0, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_FALSE(IsIconic(h));
  EXPECT_FALSE(f.TrayIconPresent());
  EXPECT_EQ(GetWindowLongW(h, GWL_EXSTYLE), ex);
}

// When the taskbar is made again (Explorer restarted), the icon of a window hidden in the tray is
// added again; a window not in the tray adds none.
TEST_F(MainWindowTest, TheTrayIconComesBackWhenTheTaskbarIsMadeAgain) {
  auto& f = Open();
  HWND h = f.Handle();
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  SendMessageW(h, taskbarCreated, 0, 0);
  EXPECT_EQ(f.TrayIconAdds, 0);
  SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(f.TrayIconPresent());
  const int added = f.TrayIconAdds;
  // The new taskbar knows no icon: take it away behind the window's back, then announce the taskbar.
  NOTIFYICONDATAW nid = {};
  nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nid.hWnd = h;
  nid.uID = (UINT)(UINT_PTR)h;
  Shell_NotifyIconW(NIM_DELETE, &nid);
  SendMessageW(h, taskbarCreated, 0, 0);
  EXPECT_EQ(f.TrayIconAdds, added + 1);
  // The icon is there again: the shell accepts a change to it.
  nid.uFlags = NIF_TIP;
  lstrcpynW(nid.szTip, L"still here", 64);
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &nid));
  SendMessageW(h, WM_TRAYICON, 0, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(h));
}

bool g_trayMenuSeen = false;

void CALLBACK CloseTrayMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu && IsWindowVisible(menu)) g_trayMenuSeen = true;
  EndMenu();
}

TEST_F(MainWindowTest, ARightClickOnTheTrayIconPopsUpTheTrayMenu) {
  auto& f = Open();
  std::vector<std::string> captions;
  for (int i = 0; i < GetMenuItemCount(f.pmSelf); ++i) {
    wchar_t buf[128] = {};
    GetMenuStringW(f.pmSelf, i, buf, 128, MF_BYPOSITION);
    captions.push_back(GetMenuItemID(f.pmSelf, i) == 0 ? "-" : Narrow(buf));
  }
  EXPECT_EQ(captions, (std::vector<std::string>{"&Open", "-", "&Settings...\tCtrl+Alt+S", "-", "&Help",
                                                 "&About...", "-", "&Exit"}));
  // The menu is modal: a timer on this thread sees it open and closes it.
  g_trayMenuSeen = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseTrayMenu);
  SendMessageW(f.Handle(), WM_TRAYICON, 0, WM_RBUTTONDOWN);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(g_trayMenuSeen);
}

TEST_F(MainWindowTest, BossKeyHidesAndShowsBrowserWindowsOnly) {
  struct Win {
    const wchar_t* cls;
    bool browser;
    HWND h;
  } wins[] = {{L"IEFrame", true, nullptr},           {L"NS_AE_WindowClass", true, nullptr},
              {L"MozillaWindowClass", true, nullptr}, {L"MozillaUIWindowClass", true, nullptr},
              {L"OpWindow", true, nullptr},           {L"IEFrame2", false, nullptr},
              {L"Mozilla", false, nullptr},           {L"Notepad", false, nullptr}};
  for (auto& w : wins) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = w.cls;
    RegisterClassW(&wc);
    w.h = CreateWindowExW(0, w.cls, L"", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(w.h);
  }
  auto& f = Open({{"Hotkey/EnableHotkey", "1"},
                  {"Hotkey/IsCtrl", "1"},
                  {"Hotkey/IsShift", "1"},
                  {"Hotkey/IsAlt", "0"},
                  {"Hotkey/CharAscII", std::to_string(VK_F11)}});
  EXPECT_TRUE(boxes.empty());
  ASSERT_NE(f.BossKeyId(), 0);
  ASSERT_NE(GlobalFindAtomW(L"MyKTRVHotkey_Hide"), 0);

  SendMessageW(f.Handle(), WM_HOTKEY, f.BossKeyId() + 1, 0);  // not the Boss Key
  for (auto& w : wins) EXPECT_TRUE(IsWindowVisible(w.h));
  SendMessageW(f.Handle(), WM_HOTKEY, f.BossKeyId(), 0);
  EXPECT_TRUE(f.BrowsersHidden);
  for (auto& w : wins) EXPECT_EQ(IsWindowVisible(w.h) != 0, !w.browser) << Narrow(w.cls);
  SendMessageW(f.Handle(), WM_HOTKEY, f.BossKeyId(), 0);
  for (auto& w : wins) EXPECT_TRUE(IsWindowVisible(w.h)) << Narrow(w.cls);

  // Closing while they are hidden shows them again and frees the key.
  SendMessageW(f.Handle(), WM_HOTKEY, f.BossKeyId(), 0);
  EXPECT_FALSE(IsWindowVisible(wins[0].h));
  SendMessageW(f.Handle(), WM_CLOSE, 0, 0);
  for (auto& w : wins) EXPECT_TRUE(IsWindowVisible(w.h)) << Narrow(w.cls);
  EXPECT_EQ(GlobalFindAtomW(L"MyKTRVHotkey_Hide"), 0);
  for (auto& w : wins) DestroyWindow(w.h);
}

TEST_F(MainWindowTest, ABossKeyHeldElsewhereIsReported) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvHotkeyHolder";
  RegisterClassW(&wc);
  HWND holder = CreateWindowExW(0, L"QvHotkeyHolder", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(RegisterHotKey(holder, 0x1234, MOD_CONTROL | MOD_ALT, VK_F12));
  Open({{"Hotkey/EnableHotkey", "1"},
        {"Hotkey/IsCtrl", "1"},
        {"Hotkey/IsShift", "0"},
        {"Hotkey/IsAlt", "1"},
        {"Hotkey/CharAscII", std::to_string(VK_F12)}});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The hotkey for Boss Key failed, please try to use other key!");
  EXPECT_EQ(boxes[0].caption, "Quorvane");
  EXPECT_EQ(boxes[0].type & MB_ICONMASK, (UINT)MB_ICONERROR);
  EXPECT_TRUE(OptionsSetting.EnableHotkey);
  form.reset();
  UnregisterHotKey(holder, 0x1234);
  DestroyWindow(holder);
}

TEST_F(MainWindowTest, SaveLogWritesTheHeaderAndEveryLine) {
  auto& f = Open();
  Tick("Windows", "Start Run");
  std::string chosen;
  int dialogs = 0;
  TfrmMain::SaveDialogHook = [&](std::string& name) {
    ++dialogs;
    name = chosen;
    return !chosen.empty();
  };
  HMENU edit = GetSubMenu(f.MainMenu, 2);
  auto saveEnabled = [&] {
    SendMessageW(f.Handle(), WM_INITMENUPOPUP, (WPARAM)edit, 2);
    return !(GetMenuState(edit, IDM_SAVELOG, MF_BYCOMMAND) & MF_GRAYED);
  };
  EXPECT_FALSE(saveEnabled());
  SendMessageW(f.Handle(), WM_COMMAND, IDM_SAVELOG, 0);  // an empty log: nothing to save
  EXPECT_EQ(dialogs, 0);
  Press(f.bTest);
  ASSERT_TRUE(WaitFinished());
  EXPECT_TRUE(saveEnabled());
  auto log = Log();

  chosen = sandbox_->Path() + "run.TXT";
  SendMessageW(f.Handle(), WM_COMMAND, IDM_SAVELOG, 0);
  std::string file = sandbox_->Path() + "run.TXT.txt";
  ASSERT_TRUE(FileExists(file));
  std::string expected = "This file was generated by Quorvane\r\nVisit " + std::string(kHomePage) +
                         " for the latest version\r\n\r\n";
  for (auto& l : log) expected += l + "\r\n";
  EXPECT_EQ(qvtest::ReadTextFile(file), expected);
  EXPECT_TRUE(boxes.empty());

  // An existing file is replaced only after Yes.
  chosen = file;
  qvtest::WriteTextFile(file, "old");
  answer = IDNO;
  SendMessageW(f.Handle(), WM_COMMAND, IDM_SAVELOG, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, file + " has existed,overite it?");
  EXPECT_EQ(boxes[0].type, (UINT)(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
  EXPECT_EQ(qvtest::ReadTextFile(file), "old");
  answer = IDYES;
  SendMessageW(f.Handle(), WM_COMMAND, IDM_SAVELOG, 0);
  EXPECT_EQ(qvtest::ReadTextFile(file), expected);
  EXPECT_FALSE(FileExists(file + ".txt"));  // ".txt" is kept as it is
}

TEST_F(MainWindowTest, EndOfSessionRunsTheShutdownCleanToItsEndThenSavesAndCloses) {
  for (bool wash : {true, false}) {
    SCOPED_TRACE(wash);
    DeleteFileW(Widen(settings_).c_str());
    auto& f = Open({{"SChedule/ShutdownWash", wash ? "1" : "0"},
                    {"NodeSelected/SelectedCount", "1"},
                    {"NodeSelected/1", "Windows - Start Run"}});
    HWND h = f.Handle();
    int finished = 0;
    f.OnRunMessage = [&](UINT msg, WPARAM) { finished += msg == WM_CLEANFINISHED; };
    EXPECT_EQ(SendMessageW(h, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(finished, wash ? 1 : 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(IniReadString(settings_, "NodeSelected", "1", ""), "Windows - Start Run");
    EXPECT_NE(IniReadString(settings_, "Window", "Width", ""), "");
    form.reset();
  }
}

// Settings that exist but cannot be read as settings: the window says so and starts with the
// defaults and nothing ticked, and when it closes it leaves the file byte for byte as it was,
// whatever was ticked meanwhile.
TEST_F(MainWindowTest, SettingsThatCannotBeReadAreNeitherUsedNorSavedOver) {
  // What a valid file says, so that a window that used any of it would show.
  const std::string valid = "[Settings]\r\nFastScan=0\r\n[NodeSelected]\r\nSelectedCount=1\r\n1=Windows - Start Run\r\n";
  std::string utf16NoMark;
  for (char ch : valid) utf16NoMark += std::string(1, ch) + '\0';
  std::string random(2048, '\0');
  std::minstd_rand gen(77);
  for (char& b : random) b = (char)(gen() & 0xFF);
  const struct Case {
    const char* what;
    std::string bytes;
    bool held;  // held open, shared with nobody, from before the start until after the close
  } cases[] = {
      {"zero bytes", "", false},
      {"random bytes", random, false},
      {"UTF-16 without its mark", utf16NoMark, false},
      {"held open by another program", valid, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qvtest::WriteTextFile(settings_, c.bytes);
    TFileHandle held;
    if (c.held) {
      held.Reset(CreateFileW(Widen(settings_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held.Valid());
    }
    OptionsSetting = TOptionsSetting();
    TMainOptions o;
    o.SettingsFile = settings_;
    o.QuitOnDestroy = false;
    form.reset(new TfrmMain(o));
    form->Show(SW_SHOWNORMAL);
    PumpPending();
    EXPECT_EQ(Count(Log(), "Unable to read " + settings_ + ":"), 1);
    EXPECT_TRUE(form->Catalogue.TickedNames().empty());
    EXPECT_EQ(SendMessageW(form->cbFastMode, BM_GETCHECK, 0, 0), BST_CHECKED);

    Tick("Windows", "Clipboard");
    const HWND h = form->Handle();
    SendMessageW(h, WM_COMMAND, IDM_EXIT, 0);
    PumpPending();
    EXPECT_FALSE(IsWindow(h));
    form.reset();
    held.Reset();
    EXPECT_EQ(qvtest::ReadTextFile(settings_), c.bytes);
  }
}

// A second copy of the program hands over to the first and ends; "-cleanonce" cleans and ends
// without asking.
class ProgramTest : public MainWindowTest {
 protected:
  static std::string Exe() { return ExeFolder() + "Quorvane.exe"; }
  int RunProgram(const std::string& args, int timeoutMs = 60000) { return qvtest::RunProgram(Exe(), args, timeoutMs); }
};

TEST_F(ProgramTest, ASecondStartHandsOverToTheRunningCopyAndEnds) {
  ASSERT_TRUE(FileExists(Exe())) << "the program is copied beside the tests";
  auto& f = Open();
  SendMessageW(f.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_FALSE(IsWindowVisible(f.Handle()));
  EXPECT_EQ(RunProgram(""), 0);
  ASSERT_TRUE(PumpUntil([&] { return f.ShowMainWindowCount == 1; }, 10000));
  EXPECT_TRUE(IsWindowVisible(f.Handle()));
  EXPECT_FALSE(f.TrayIconPresent());
}

TEST_F(ProgramTest, CleanOnceCleansTheTickedItemsWithoutAskingAndEnds) {
  ASSERT_TRUE(FileExists(Exe())) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  // The program's own settings, beside it; removed afterwards.
  std::string ini = ExeFolder() + "settings.ini";
  DeleteFileW(Widen(ini).c_str());
  SeedRunMru();
  std::string saved = settings_;
  settings_ = ini;
  WriteSettings({{"Settings/AskForSweep", "1"},
                 {"NodeSelected/SelectedCount", "1"},
                 {"NodeSelected/1", "Windows - Start Run"}});
  settings_ = saved;
  int code = RunProgram("-CLEANONCE", 60000);
  EXPECT_EQ(code, 0);
  // The close after the run saved the settings: the question is still on, the selection kept.
  EXPECT_EQ(IniReadString(ini, "Settings", "AskForSweep", ""), "1");
  EXPECT_EQ(IniReadString(ini, "NodeSelected", "1", ""), "Windows - Start Run");
  EXPECT_NE(IniReadString(ini, "Window", "Width", ""), "");
  // The run list's values are gone: the ticked item was cleaned.
  EXPECT_EQ(RunMruLeft(), 0u);
  DeleteFileW(Widen(ini).c_str());
}

// Every way a one-time clean can end, each with its own exit code and its evidence in the -log
// file, started as a real process.
TEST_F(ProgramTest, CleanOnceExitCodesAndLogFile) {
  ASSERT_TRUE(FileExists(Exe())) << "the program is copied beside the tests";
  const std::string ini = ExeFolder() + "settings.ini";
  const std::string clist = ExeFolder() + "Clist.dat";
  const std::string log = sandbox_->Path() + "runs.log";
  const std::string canary = "C:\\qv-unattended.qvcanary";
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MozillaWindowClass";
  RegisterClassW(&wc);

  const std::string startRun = "Windows - Start Run";
  // What else the case sets up around the program.
  enum Setup { kNone, kSettingsHeld, kSettingsHeldForReading, kOtherCopy, kFirefoxOpen, kBossKeyTaken, kHugeCount,
               kMalformedList };
  struct Case {
    const char* name;
    Setup setup;
    std::vector<std::string> ticks;
    int expected;
    std::vector<std::string> logLines;  // lines the -log entry must hold
    bool cleansStartRun;
    std::string logFile;  // empty: the sandbox's runs.log
  } cases[] = {
      {"cleaned", kNone, {startRun}, ecCleaned,
       {"Clean: Clearing Windows - Start Run ...",
        "Clean: deleting registry key HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
        "Total items to be removed = 3 ; Total files to be removed = 0 KB"},
       true, ""},
      {"nothing ticked", kNone, {}, ecNothingTicked, {"Please select items you want to clear from the left list firstly."},
       false, ""},
      {"settings unreadable", kSettingsHeld, {startRun}, ecSettingsUnreadable, {"Unable to read " + ini}, false, ""},
      {"settings held open until the end", kSettingsHeldForReading, {startRun}, ecCleaned,
       {"Total items to be removed = 3 ; Total files to be removed = 0 KB", "Unable to write to " + ini}, true, ""},
      {"another copy running", kOtherCopy, {startRun}, ecAlreadyRunning,
       {"Another copy of Quorvane is running: nothing was cleaned."}, false, ""},
      {"Firefox open", kFirefoxOpen, {startRun, "Mozilla Firefox", "Mozilla Firefox - Cookies"}, ecFirefoxOpen,
       {"Please close Mozilla Firefox firstly!"}, false, ""},
      {"Boss Key taken by another program", kBossKeyTaken, {startRun}, ecCleaned,
       {"Total items to be removed = 3 ; Total files to be removed = 0 KB"}, true, ""},
      {"a stored count far too large", kHugeCount, {startRun}, ecCleaned,
       {"Total items to be removed = 3 ; Total files to be removed = 0 KB"}, true, ""},
      {"question answered No unasked", kNone, {"Custom Lists - <New List>"}, ecQuestionDeclined,
       {"Not asked in an unattended run, answered No: Do you want to delete all files and folders under C:\\?"}, false,
       ""},
      // The line did nothing it may have been meant to: the run says so in its code as in its log.
      {"a malformed line in the list", kMalformedList, {"Custom Lists - <New List>"}, ecSomethingLeft,
       {"Clean: line 2 of " + clist + " is not an entry and was skipped: =oops",
        "Clean: deleting registry key HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU"},
       true, ""},
      {"log not writable", kNone, {startRun}, ecLogUnwritable, {}, true, "C:\\no such folder\\runs.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeedRunMru();
    qvtest::WriteFile(canary, 10);
    qvtest::WriteTextFile(clist, c.setup == kMalformedList
                                     ? "[<New List>]\r\n=oops\r\nDelRegValue1=HKEY_CURRENT_USER\\" + std::string(kRunMru) + "\r\n"
                                     : "[<New List>]\r\nDelFile1={C: Drive}\\,*.qvcanary\r\n");
    DeleteFileW(Widen(log).c_str());
    std::string saved = settings_;
    settings_ = ini;
    Ini ticks = {{"Settings/FastScan", "0"}, {"NodeSelected/SelectedCount", std::to_string(c.ticks.size())}};
    for (size_t i = 0; i < c.ticks.size(); ++i) ticks["NodeSelected/" + std::to_string(i + 1)] = c.ticks[i];
    if (c.setup == kHugeCount) ticks["NodeSelected/SelectedCount"] = "2147483647";
    if (c.setup == kBossKeyTaken) {
      ticks["Hotkey/EnableHotkey"] = "1";
      ticks["Hotkey/CharAscII"] = std::to_string(VK_F9);
      ticks["Hotkey/CharString"] = "F9";
    }
    WriteSettings(ticks);
    settings_ = saved;
    const std::string settingsBefore = qvtest::ReadTextFile(ini);

    HANDLE held = INVALID_HANDLE_VALUE;
    HWND firefox = nullptr;
    if (c.setup == kSettingsHeld)
      held = CreateFileW(Widen(ini).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.setup == kSettingsHeldForReading)
      held = CreateFileW(Widen(ini).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.setup == kOtherCopy) Open();
    if (c.setup == kFirefoxOpen)
      firefox = CreateWindowExW(0, L"MozillaWindowClass", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    // Another program holds the Boss Key (Ctrl+F9); a one-time clean neither needs nor reports it.
    if (c.setup == kBossKeyTaken) {
      ASSERT_TRUE(RegisterHotKey(nullptr, 77, MOD_CONTROL, VK_F9));
    }
    const std::string logFile = c.logFile.empty() ? log : c.logFile;
    EXPECT_EQ(RunProgram("-cleanonce -log \"" + logFile + "\"", 120000), c.expected);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (firefox) DestroyWindow(firefox);
    if (c.setup == kBossKeyTaken) UnregisterHotKey(nullptr, 77);
    if (c.setup == kOtherCopy) {
      PumpPending();
      EXPECT_EQ(form->ShowMainWindowCount, 0) << "a one-time clean does not bring the running copy forward";
      form.reset();
    }

    EXPECT_EQ(qvtest::RegKeyExists(HKEY_CURRENT_USER, kRunMru), !c.cleansStartRun);
    EXPECT_TRUE(FileExists(canary));
    // The settings are whole: every key as before, or, where the run could save, as saved.
    if (c.setup == kSettingsHeld || c.setup == kSettingsHeldForReading) {
      EXPECT_EQ(qvtest::ReadTextFile(ini), settingsBefore);
    } else {
      for (const auto& kv : ticks) {
        const size_t slash = kv.first.find('/');
        EXPECT_EQ(IniReadString(ini, kv.first.substr(0, slash), kv.first.substr(slash + 1), "<missing>"),
                  kv.first == "NodeSelected/SelectedCount" ? std::to_string(c.ticks.size()) : kv.second)
            << kv.first;
      }
    }
    if (c.logFile.empty()) {
      const std::string text = qvtest::ReadTextFile(log);
      ASSERT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << text;
      const size_t header = text.find("==== ");
      ASSERT_NE(header, std::string::npos) << text;
      EXPECT_NE(text.find(" Quorvane 1.5: unattended clean ====\r\n", header), std::string::npos) << text;
      for (const std::string& line : c.logLines)
        EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << text;
    }
  }
  DeleteFileW(Widen(ini).c_str());
  DeleteFileW(Widen(clist).c_str());
  DeleteFileW(Widen(canary).c_str());
  qvtest::RegDeleteTree(HKEY_CURRENT_USER, kRunMru);
}

// Two one-time cleans started together: one cleans, the other ends at once with its own exit code,
// and settings.ini keeps every key it had.
TEST_F(ProgramTest, TwoOneTimeCleansStartedTogetherKeepTheSettingsWhole) {
  ASSERT_TRUE(FileExists(Exe())) << "the program is copied beside the tests";
  const std::string ini = ExeFolder() + "settings.ini";
  std::string saved = settings_;
  settings_ = ini;
  WriteSettings({{"Settings/OverwriteFile", "1"},
                 {"Settings/OverwriteNumber", "3"},
                 {"Settings/AskForSweep", "1"},
                 {"NodeSelected/SelectedCount", "3"},
                 {"NodeSelected/1", "Windows"},
                 {"NodeSelected/2", "Windows - Start Run"},
                 {"NodeSelected/3", "Custom Lists - <New List>"}});
  settings_ = saved;
  // Files for the first clean to overwrite and remove, so that it is still at work when the second
  // starts, however fast the machine.
  qvtest::SandboxFolder busy("TwoCleans");
  const std::string clist = ExeFolder() + "Clist.dat";
  qvtest::WriteTextFile(clist, "[<New List>]\r\nDelFile1=" + busy.Path() + ",*.tmp\r\n");
  auto keysOf = [&] {
    std::map<std::string, std::string> keys;
    for (const std::string& section : IniReadSections(ini))
      if (section != "Window")  // the window's placement is the one thing a run may change
        for (const std::string& key : IniReadKeys(ini, section))
          keys[section + "/" + key] = IniReadString(ini, section, key, "");
    return keys;
  };
  const auto before = keysOf();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    SeedRunMru();
    for (int i = 0; i < 300; ++i) qvtest::WriteFile(busy / ("f" + std::to_string(i) + ".tmp"), 64 * 1024);
    HANDLE first = qvtest::StartProgram(Exe(), "-cleanonce");
    // The second starts once the first is at work: its window is there.
    ASSERT_TRUE(PumpUntil([] { return FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr) != nullptr; }));
    HANDLE second = qvtest::StartProgram(Exe(), "-cleanonce");
    ASSERT_TRUE(first && second);
    std::multiset<int> codes = {qvtest::WaitProgram(first, 120000), qvtest::WaitProgram(second, 120000)};
    EXPECT_EQ(codes, (std::multiset<int>{ecCleaned, ecAlreadyRunning}));
    EXPECT_FALSE(qvtest::RegKeyExists(HKEY_CURRENT_USER, kRunMru));
    EXPECT_FALSE(FileExists(busy / "f0.tmp"));
    const auto after = keysOf();
    for (const auto& kv : before) EXPECT_EQ(after.count(kv.first) ? after.at(kv.first) : "<missing>", kv.second) << kv.first;
  }
  DeleteFileW(Widen(ini).c_str());
  DeleteFileW(Widen(clist).c_str());
}

}  // namespace
