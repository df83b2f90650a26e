// The settings dialog, the cookies manager and the custom list editor, opened through the main
// window's menu as a user opens them and driven through their real controls: what OK writes to
// settings.ini, Cookies.dat, Clist.dat and the registry and puts in force at once, and that Cancel
// leaves all of it alone. Also: every menu entry opens its dialog, and Help opens the help pages.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "base/UserFiles.h"
#include "cleaners/ie/IeCookies.h"
#include "dialogs/AddFolder.h"
#include "dialogs/AddRegistry.h"
#include "dialogs/CookiesManager.h"
#include "dialogs/CustomListEditor.h"
#include "dialogs/CustomListModel.h"
#include "dialogs/DialogKit.h"
#include "dialogs/IndexDatViewer.h"
#include "dialogs/Options.h"
#include "engine/Definitions.h"
#include "shell/MainWindow.h"
#include "support/DialogDriver.h"
#include "support/Places.h"
#include "support/Sandbox.h"
#include "support/TestWindow.h"

using namespace qv;
using namespace qvtest;

namespace {

struct Box {
  std::string text, caption;
  UINT type;
};

using Ini = std::map<std::string, std::string>;  // "Section/Key" -> value
using O = TfrmOptions;

std::string ExePath() {
  wchar_t buf[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  return Narrow(buf);
}

// A window of the test's own that can hold a hot key, as another program would.
class HotKeyHolder {
 public:
  HotKeyHolder() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvDialogsHotkeyHolder";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  ~HotKeyHolder() {
    for (int id : held_) UnregisterHotKey(hwnd_, id);
    DestroyWindow(hwnd_);
  }
  bool Hold(UINT mods, UINT vk) {
    const int id = 0x2000 + (int)held_.size();
    if (!RegisterHotKey(hwnd_, id, mods, vk)) return false;
    held_.push_back(id);
    return true;
  }
  // True when nobody holds the combination.
  bool Free(UINT mods, UINT vk) {
    if (!RegisterHotKey(hwnd_, 0x1FFF, mods, vk)) return false;
    UnregisterHotKey(hwnd_, 0x1FFF);
    return true;
  }

 private:
  HWND hwnd_;
  std::vector<int> held_;
};

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.reset(new SandboxFolder("dialogs"));
    SetUserFilesFolderForTesting(sandbox_->Path());
    settings_ = sandbox_->Path() + "settings.ini";
    SetMessageBoxHook([this](const std::string& text, const std::string& caption, UINT type) {
      boxes.push_back({text, caption, type});
      return IDOK;
    });
    SetShellOpenHookForTesting([this](const std::string& target, const std::string&) { opened.push_back(target); });
    runValueBefore_ = RunValue(&runValueExisted_);
  }
  void TearDown() override {
    form.reset();
    PumpPending();
    SetMessageBoxHook(nullptr);
    SetShellOpenHookForTesting(nullptr);
    TfrmAddFolder::BrowseHookForTesting = nullptr;
    SetRunValue(runValueExisted_ ? &runValueBefore_ : nullptr);
    SetUserFilesFolderForTesting("");
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
  TfrmMain& Open(const Ini& extra = {}) {
    WriteSettings(extra);
    TMainOptions o;
    o.SettingsFile = settings_;
    o.QuitOnDestroy = false;
    form.reset(new TfrmMain(o));
    form->Show(SW_SHOWNORMAL);
    PumpPending();
    return *form;
  }
  void Menu(int id) { SendMessageW(form->Handle(), WM_COMMAND, id, 0); }
  std::string Setting(const std::string& section, const std::string& key) {
    return IniReadString(settings_, section, key, "<none>");
  }

  static std::string RunValue(bool* existed = nullptr) {
    HKEY key;
    std::string value;
    bool found = false;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(kAutoRunKey).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      wchar_t buf[2048] = {};
      DWORD size = sizeof(buf) - sizeof(wchar_t);
      found = RegQueryValueExW(key, L"Quorvane", nullptr, nullptr, (BYTE*)buf, &size) == ERROR_SUCCESS;
      if (found) value = Narrow(buf);
      RegCloseKey(key);
    }
    if (existed) *existed = found;
    return found ? value : "<none>";
  }
  static void SetRunValue(const std::string* value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Widen(kAutoRunKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return;
    if (value) {
      std::wstring w = Widen(*value);
      RegSetValueExW(key, L"Quorvane", 0, REG_SZ, (const BYTE*)w.c_str(), (DWORD)((w.size() + 1) * 2));
    } else {
      RegDeleteValueW(key, L"Quorvane");
    }
    RegCloseKey(key);
  }

  std::unique_ptr<SandboxFolder> sandbox_;
  std::string settings_;
  std::unique_ptr<TfrmMain> form;
  std::vector<Box> boxes;
  std::vector<std::string> opened;
  std::string runValueBefore_;
  bool runValueExisted_ = false;
};

// ---------------------------------------------------------------------------------------------
// Settings

TEST_F(DialogsTest, SettingsOkWritesEveryPageAndPutsItInForceAtOnce) {
  auto& f = Open();
  SetRunValue(nullptr);
  HotKeyHolder other;
  DialogScript script;
  script.Then([&](HWND d) {
    // The dialog opens on "Common", with the settings in force.
    EXPECT_TRUE(Visible(d, O::cbFastScan));
    EXPECT_FALSE(Visible(d, O::cbAutoWash));
    EXPECT_FALSE(IsChecked(d, O::cbFastScan));
    EXPECT_FALSE(IsChecked(d, O::cbAutoStart));
    EXPECT_EQ(TextOf(d, O::cbWipeNumber), "1");
    Click(d, O::cbFastScan);
    Click(d, O::cbShowLogTempInternetFiles);
    Click(d, O::cbAskClear);
    Click(d, O::cbWipeFile);
    ChooseComboRow(d, O::cbWipeNumber, 2);
    // The next page by the keyboard.
    SetFocus(Control(d, O::cbFastScan));
    PressKey(d, VK_TAB, true);
    EXPECT_TRUE(Visible(d, O::cbAutoWash));
    EXPECT_FALSE(Visible(d, O::cbFastScan));
    EXPECT_FALSE(Enabled(d, O::rbInterval3));  // the intervals follow "Automatic clean enabled"
    Click(d, O::cbAutoWash);
    EXPECT_TRUE(Enabled(d, O::rbInterval3));
    Click(d, O::rbInterval3);
    Click(d, O::cbStartWash);  // "Auto run" stays unticked: OK ticks it
    PressKey(d, VK_TAB, true);
    Click(d, O::cbBosskey);
    SetFocus(Control(d, O::eHide));
    PressKey(d, 'Q', true, true);
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  Shift  Q");
    Click(d, O::bOK);
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(script.Opened, std::vector<std::string>{"Settings"});
  EXPECT_TRUE(boxes.empty());

  const std::map<std::string, std::string> stored = {
      {"Settings/FastScan", "1"},        {"Settings/ShowLogTempInternetFiles", "1"},
      {"Settings/ShowLogRecycleBin", "0"}, {"Settings/AskForSweep", "1"},
      {"Settings/OverwriteFile", "1"},   {"Settings/OverwriteNumber", "3"},
      {"SChedule/AutoWash", "1"},        {"SChedule/WashInterval", "3"},
      {"SChedule/StartWash", "1"},       {"SChedule/ShutdownWash", "0"},
      {"Hotkey/EnableHotkey", "1"},      {"Hotkey/IsCtrl", "1"},
      {"Hotkey/IsShift", "1"},           {"Hotkey/IsAlt", "0"},
      {"Hotkey/CharString", "Q"},        {"Hotkey/CharAscII", "81"}};
  for (auto& kv : stored) {
    size_t slash = kv.first.find('/');
    EXPECT_EQ(Setting(kv.first.substr(0, slash), kv.first.substr(slash + 1)), kv.second) << kv.first;
  }
  // In force at once: the record, the schedule, the Boss Key, fast mode, the auto-run entry.
  EXPECT_EQ(OptionsSetting.OverwriteNumber, 3);
  EXPECT_TRUE(f.Timer2Enabled());
  EXPECT_EQ(f.Timer2Interval(), 14400000u);
  EXPECT_NE(f.BossKeyId(), 0);
  EXPECT_FALSE(other.Free(MOD_CONTROL | MOD_SHIFT, 'Q'));
  EXPECT_EQ(SendMessageW(f.cbFastMode, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(RunValue(), "\"" + ExePath() + "\" -Start");

  // Opened again, it shows what it stored.
  script.Then([&](HWND d) {
    EXPECT_TRUE(IsChecked(d, O::cbAutoStart));
    EXPECT_TRUE(IsChecked(d, O::cbWipeFile));
    EXPECT_EQ(TextOf(d, O::cbWipeNumber), "3");
    EXPECT_TRUE(IsChecked(d, O::rbInterval3));
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  Shift  Q");
    Click(d, O::bCancel);
  });
  Menu(IDM_TRAY_SETTINGS);  // the tray menu's entry opens the same dialog
  EXPECT_EQ(script.Opened.size(), 2u);
}

TEST_F(DialogsTest, SettingsCancelChangesNothingOnDiskInTheRegistryOrInForce) {
  auto& f = Open({{"Hotkey/EnableHotkey", "1"}, {"Hotkey/CharAscII", std::to_string(VK_F11)},
                  {"Hotkey/CharString", "F11"}, {"SChedule/WashInterval", "1"}});
  const std::string other = "\"C:\\Elsewhere\\Other.exe\" /quiet";
  SetRunValue(&other);
  const std::string before = ReadTextFile(settings_);
  const TOptionsSetting record = OptionsSetting;
  const ATOM bossKey = f.BossKeyId();
  ASSERT_NE(bossKey, 0);
  HotKeyHolder holder;
  ASSERT_FALSE(holder.Free(MOD_CONTROL, VK_F11));

  DialogScript script;
  script.Then([&](HWND d) {
    for (int id : {O::cbFastScan, O::cbShowLogTempInternetFiles, O::cbShowLogRecycleBin, O::cbAskClear,
                   O::cbAutoStart, O::cbWipeFile})
      Click(d, id);
    ChooseComboRow(d, O::cbWipeNumber, 9);
    PressKey(d, VK_TAB, true);
    for (int id : {O::cbAutoWash, O::rbInterval4, O::cbStartWash, O::cbShutdownWash}) Click(d, id);
    PressKey(d, VK_TAB, true);
    Click(d, O::cbBosskey);
    Click(d, O::cbBosskey);
    SetFocus(Control(d, O::eHide));
    PressKey(d, 'J', true, false, true);
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  Alt  J");
    // Esc anywhere but in the Boss Key field is Cancel.
    SetFocus(Control(d, O::cbBosskey));
    PressKey(d, VK_ESCAPE);
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(script.Opened.size(), 1u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(ReadTextFile(settings_), before);
  EXPECT_EQ(RunValue(), other);
  EXPECT_EQ(OptionsSetting.FastScan, record.FastScan);
  EXPECT_EQ(OptionsSetting.AutoWash, record.AutoWash);
  EXPECT_EQ(OptionsSetting.WashInterval, record.WashInterval);
  EXPECT_EQ(OptionsSetting.OverwriteFile, record.OverwriteFile);
  EXPECT_EQ(OptionsSetting.Hotkey.CharAscII, record.Hotkey.CharAscII);
  EXPECT_EQ(f.BossKeyId(), bossKey);
  EXPECT_FALSE(holder.Free(MOD_CONTROL, VK_F11));  // still the Boss Key
  EXPECT_TRUE(holder.Free(MOD_CONTROL | MOD_ALT, 'J'));
  EXPECT_FALSE(f.Timer2Enabled());
}

TEST_F(DialogsTest, TheBossKeyFieldTakesKeyPressesAndOkTestsAChangedKey) {
  auto& f = Open();
  HotKeyHolder holder;
  ASSERT_TRUE(holder.Hold(MOD_CONTROL | MOD_ALT, VK_F9));
  DialogScript script;
  script.Then([&](HWND d) {
    SetFocus(Control(d, O::cbFastScan));
    PressKey(d, VK_TAB, true, true);  // Ctrl+Shift+Tab: back to the last page
    ASSERT_TRUE(Visible(d, O::eHide));
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  F5");
    Click(d, O::cbBosskey);
    HWND field = Control(d, O::eHide);
    SetFocus(field);

    struct Press {
      UINT vk;
      bool ctrl, shift, alt;
      const char* shown;
    } presses[] = {{VK_F12, false, false, false, "F12"},     {VK_NUMPAD7, false, false, false, "Num 7"},
                   {VK_CONTROL, true, false, false, "Ctrl  "}, {VK_DELETE, false, false, false, "Del"},
                   {VK_ESCAPE, false, false, false, "Esc"},   {VK_RETURN, false, true, false, "Shift  Enter"},
                   {'S', false, false, true, "Alt  S"}};
    for (const Press& p : presses) {
      PressKey(d, p.vk, p.ctrl, p.shift, p.alt);
      EXPECT_EQ(TextOf(d, O::eHide), p.shown);
    }
    // Esc, Enter and Alt with a letter were keys, not Cancel, OK or an access key.
    EXPECT_TRUE(IsWindowVisible(d));
    EXPECT_EQ(GetFocus(), field);
    SendMessageW(field, WM_CHAR, 'x', 1);  // typing never edits the field
    EXPECT_EQ(TextOf(d, O::eHide), "Alt  S");

    // A combination held elsewhere: refused, and the field shows the key it opened with.
    PressKey(d, VK_F9, true, false, true);
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  Alt  F9");
    Click(d, O::bOK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The hotkey for Boss Key failed, please try to use other key!");
    EXPECT_EQ(boxes[0].caption, "Quorvane");
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, (UINT)MB_ICONERROR);
    EXPECT_EQ(TextOf(d, O::eHide), "Ctrl  F5");
    EXPECT_TRUE(IsWindowVisible(d));
    // A Windows key is no key: the field empties, and OK asks for one.
    SetFocus(field);
    PressKey(d, VK_LWIN);
    EXPECT_EQ(TextOf(d, O::eHide), "");
    Click(d, O::bOK);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "The hotkey setting cannot be blank.");
    // A modifier alone is refused as Windows refuses it.
    SetFocus(field);
    PressKey(d, VK_CONTROL, true);
    Click(d, O::bOK);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].text, "The hotkey for Boss Key failed, please try to use other key!");
    // Tab leaves the field.
    SetFocus(field);
    PressKey(d, VK_TAB);
    EXPECT_NE(GetFocus(), field);
    SetFocus(field);
    PressKey(d, VK_F12, false, true);
    Click(d, O::bOK);
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_EQ(Setting("Hotkey", "CharString"), "F12");
  EXPECT_EQ(Setting("Hotkey", "CharAscII"), "123");
  EXPECT_EQ(Setting("Hotkey", "IsCtrl"), "0");
  EXPECT_EQ(Setting("Hotkey", "IsShift"), "1");
  EXPECT_NE(f.BossKeyId(), 0);
  EXPECT_FALSE(holder.Free(MOD_SHIFT, VK_F12));
}

TEST_F(DialogsTest, AnUnchangedBossKeyIsNotRegisteredAgainAndUntickingItUnregistersIt) {
  // The key is held elsewhere from the start: every attempt to register it would be reported.
  HotKeyHolder holder;
  ASSERT_TRUE(holder.Hold(MOD_CONTROL, VK_F11));
  auto& f = Open({{"Hotkey/EnableHotkey", "1"}, {"Hotkey/CharAscII", std::to_string(VK_F11)},
                  {"Hotkey/CharString", "F11"}});
  ASSERT_EQ(boxes.size(), 1u);  // at start
  DialogScript script;
  script.Then([&](HWND d) { Click(d, O::bOK); });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(boxes.size(), 1u) << "no test and no new registration";

  ASSERT_NE(GlobalFindAtomW(L"MyKTRVHotkey_Hide"), 0);
  script.Then([&](HWND d) {
    SetFocus(Control(d, O::cbFastScan));
    PressKey(d, VK_TAB, true, true);
    Click(d, O::cbBosskey);
    Click(d, O::bOK);
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(GlobalFindAtomW(L"MyKTRVHotkey_Hide"), 0);
  EXPECT_EQ(f.BossKeyId(), 0);
  EXPECT_EQ(Setting("Hotkey", "EnableHotkey"), "0");
}

TEST_F(DialogsTest, TheAutoRunBoxFollowsTheEntryAndOkRemovesAnEntryWithoutStart) {
  Open();
  const std::string without = "\"" + ExePath() + "\"";
  SetRunValue(&without);
  DialogScript script;
  script.Then([&](HWND d) {
    EXPECT_FALSE(IsChecked(d, O::cbAutoStart));
    Click(d, O::bOK);
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(RunValue(), "<none>");

  const std::string with = "C:\\Somewhere\\Quorvane.exe -Start";
  SetRunValue(&with);
  script.Then([&](HWND d) {
    EXPECT_TRUE(IsChecked(d, O::cbAutoStart));
    // The access key of "Auto run when the computer starts" unticks it.
    SetFocus(Control(d, O::cbFastScan));
    PressKey(d, 'U', false, false, true);
    EXPECT_FALSE(IsChecked(d, O::cbAutoStart));
    PressKey(d, VK_RETURN);  // Enter is OK
  });
  Menu(IDM_SETTINGS);
  EXPECT_EQ(script.Opened.size(), 2u);
  EXPECT_EQ(RunValue(), "<none>");
}

// ---------------------------------------------------------------------------------------------
// Cookies manager

class CookiesManagerTest : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    folder_ = FindCookieFolder();
    ASSERT_FALSE(folder_.empty());
    for (const char* name : kFiles) WriteTextFile(folder_ + name, std::string("name\r\nvalue of ") + name + "\r\n");
  }
  void TearDown() override {
    for (const char* name : kFiles) DeleteFileW(Widen(folder_ + name).c_str());
    DialogsTest::TearDown();
  }
  // The names of the test's own files in a list, in the list's order.
  static std::vector<std::string> Ours(const std::vector<std::string>& rows) {
    std::vector<std::string> r;
    for (const std::string& row : rows)
      if (row.find("qvdlg") != std::string::npos) r.push_back(row);
    return r;
  }
  static int Row(HWND d, int list, const std::string& name) {
    std::vector<std::string> rows = ListBoxRows(d, list);
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i] == name) return (int)i;
    ADD_FAILURE() << name << " not listed";
    return 0;
  }
  static constexpr const char* kFiles[] = {"root@qvdlg-a[1].txt", "root@qvdlg-b[1].txt", "root@qvdlg-kept[1].txt",
                                           "root@qvdlg-c[1].dat"};
  std::string folder_;
};

// The Internet Explorer cookie files are listed by their sites ("root@qvdlg-a[1].txt" holds no
// record that can be read: its name gives qvdlg-a), marked with the browser; a file that the keep
// list names, as older copies wrote it, is listed only as kept.
TEST_F(CookiesManagerTest, ListsMovesAndOkWritesTheKeepListTheCookieCleanerReads) {
  Open();
  ASSERT_TRUE(WriteCookieKeepList({"root@qvdlg-kept[1].txt", "root@qvdlg-gone[1].txt", "ROOT@QVDLG-B[1].txt"},
                                  CookiesDatPath()));
  using C = TfrmCookiesManager;
  const std::string a = "qvdlg-a (Internet Explorer)", b = "qvdlg-b (Internet Explorer)";
  DialogScript script;
  script.Then([&](HWND d) {
    EXPECT_EQ(qv::WindowText(d), "Cookies Manager");
    // A kept file is listed only as kept; a kept name differing only in case keeps another file.
    EXPECT_EQ(Ours(ListBoxRows(d, C::ListBox1)), (std::vector<std::string>{a, b}));
    EXPECT_EQ(ListBoxRows(d, C::ListBox2), (std::vector<std::string>{"root@qvdlg-kept[1].txt", "root@qvdlg-gone[1].txt",
                                                                     "ROOT@QVDLG-B[1].txt"}));
    EXPECT_EQ(ListBoxSelection(d, C::ListBox1), -1);
    const size_t found = ListBoxRows(d, C::ListBox1).size();
    Click(d, C::bAdd);  // nothing selected: nothing moves
    EXPECT_EQ(ListBoxRows(d, C::ListBox1).size(), found);

    ClickListBoxRow(d, C::ListBox1, Row(d, C::ListBox1, a));
    Click(d, C::bAdd);
    EXPECT_EQ(ListBoxRows(d, C::ListBox2).back(), a);
    EXPECT_EQ(ListBoxSelection(d, C::ListBox2), 0);
    DoubleClickListBoxRow(d, C::ListBox1, Row(d, C::ListBox1, b));
    EXPECT_EQ(ListBoxRows(d, C::ListBox2).back(), b);
    // The entry whose file is gone goes back to the found list, and is not kept any more.
    ClickListBoxRow(d, C::ListBox2, 1);
    Click(d, C::bRemove);
    EXPECT_EQ(Ours(ListBoxRows(d, C::ListBox1)).back(), "root@qvdlg-gone[1].txt");
    EXPECT_EQ(ListBoxRows(d, C::ListBox2),
              (std::vector<std::string>{"root@qvdlg-kept[1].txt", "ROOT@QVDLG-B[1].txt", a, b}));
    EXPECT_EQ(ListBoxSelection(d, C::ListBox2), 1);  // the entry after the moved one
    Click(d, C::bOK);
  });
  Menu(IDM_COOKIES);
  EXPECT_EQ(script.Opened.size(), 1u);
  // The keep list holds the sites, which the cleaners read: the files of those sites are kept.
  EXPECT_EQ(ReadCookieKeepList(CookiesDatSourcePath()),
            (std::vector<std::string>{"root@qvdlg-kept[1].txt", "ROOT@QVDLG-B[1].txt", "qvdlg-a", "qvdlg-b"}));
  const TCookieKeepList keep = TCookieKeepList::Read();
  for (const char* name : {"root@qvdlg-a[1].txt", "root@qvdlg-b[1].txt", "root@qvdlg-kept[1].txt"})
    EXPECT_TRUE(keep.KeepsIeCookieFile(folder_, name)) << name;

  // Remove All and OK: an empty keep list.
  script.Then([&](HWND d) {
    Click(d, C::bRemoveAll);
    EXPECT_TRUE(ListBoxRows(d, C::ListBox2).empty());
    EXPECT_EQ(ListBoxSelection(d, C::ListBox1), 0);
    Click(d, C::bOK);
  });
  Menu(IDM_COOKIES);
  EXPECT_TRUE(ReadCookieKeepList(CookiesDatSourcePath()).empty());
  EXPECT_EQ(IniReadString(CookiesDatPath(), "Cookies to keep", "Count", ""), "0");
}

// The sites of Firefox and of a browser built on Chromium are listed with the browsers that hold
// them, sub-sites under their site; View shows a site's cookies by name, never their values.
TEST_F(CookiesManagerTest, SitesOfEveryBrowserWithTheirBrowsers) {
  Open();
  const std::string roaming = IncludeTrailingBackslash(ShellFolderPath(CSIDL_APPDATA)), local = GetLocalAppDataFolder();
  struct Owned {
    std::string path;
    ~Owned() { RemoveTree(path); }
  } mozilla{roaming + "Mozilla"}, google{local + "Google"};
  RemoveTree(mozilla.path);
  RemoveTree(google.path);
  const std::string profile = mozilla.path + "\\Firefox\\Profiles\\k1.default-release\\";
  MakeDirs(profile);
  WriteTextFile(mozilla.path + "\\Firefox\\profiles.ini",
                "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/k1.default-release\r\n");
  MakeFirefoxCookies(profile + "cookies.sqlite",
                     {{".qvdlg-site.test", "ff", "secret-ff"}, {"www.qvdlg-site.test", "ff2", "secret-ff2"}});
  const std::string chrome = google.path + "\\Chrome\\User Data\\Profile 2\\Network\\";
  MakeDirs(chrome);
  MakeChromiumCookies(chrome + "Cookies", {{"mail.qvdlg-site.test", "cr", "secret-cr"}, {"qvdlg-other.test", "o", "x"}});
  using C = TfrmCookiesManager;
  const std::string site = "qvdlg-site.test (Mozilla Firefox, Google Chrome)";
  DialogScript script;
  script.Then([&](HWND d) {
    EXPECT_EQ(Ours(ListBoxRows(d, C::ListBox1)),
              (std::vector<std::string>{"qvdlg-a (Internet Explorer)", "qvdlg-b (Internet Explorer)",
                                        "qvdlg-kept (Internet Explorer)", "qvdlg-other.test (Google Chrome)", site}));
    ClickListBoxRow(d, C::ListBox1, Row(d, C::ListBox1, site));
    Click(d, C::bView);
    Click(d, C::bAdd);
    EXPECT_EQ(ListBoxRows(d, C::ListBox2), (std::vector<std::string>{site}));
    Click(d, C::bOK);
  });
  Menu(IDM_COOKIES);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "qvdlg-site.test");
  EXPECT_EQ(boxes[0].text, "\r\nMozilla Firefox: .qvdlg-site.test/ ff\r\nMozilla Firefox: www.qvdlg-site.test/ ff2"
                           "\r\nGoogle Chrome: mail.qvdlg-site.test/ cr");
  EXPECT_EQ(ReadCookieKeepList(CookiesDatSourcePath()), (std::vector<std::string>{"qvdlg-site.test"}));
}

TEST_F(CookiesManagerTest, CancelLeavesCookiesDatAsItWas) {
  Open();
  using C = TfrmCookiesManager;
  DialogScript script;
  // No Cookies.dat: none is made.
  script.Then([&](HWND d) {
    EXPECT_TRUE(ListBoxRows(d, C::ListBox2).empty());
    Click(d, C::bAddAll);
    EXPECT_TRUE(ListBoxRows(d, C::ListBox1).empty());
    Click(d, C::bCancel);
  });
  Menu(IDM_COOKIES);
  EXPECT_FALSE(FileExists(CookiesDatPath()));

  ASSERT_TRUE(WriteCookieKeepList({"root@qvdlg-kept[1].txt"}, CookiesDatPath()));
  const std::string before = ReadTextFile(CookiesDatPath());
  script.Then([&](HWND d) {
    Click(d, C::bAddAll);
    ClickListBoxRow(d, C::ListBox2, 0);
    Click(d, C::bRemove);
    PressKey(d, VK_ESCAPE);
  });
  Menu(IDM_COOKIES);
  EXPECT_EQ(ReadTextFile(CookiesDatPath()), before);
}

TEST_F(CookiesManagerTest, ViewShowsTheSelectedSitesCookies) {
  Open();
  using C = TfrmCookiesManager;
  DialogScript script;
  script.Then([&](HWND d) {
    Click(d, C::bView);  // nothing selected: nothing shown
    EXPECT_TRUE(boxes.empty());
    ClickListBoxRow(d, C::ListBox1, Row(d, C::ListBox1, "qvdlg-a (Internet Explorer)"));
    Click(d, C::bView);
    // A file gone since it was listed shows nothing.
    DeleteFileW(Widen(folder_ + "root@qvdlg-b[1].txt").c_str());
    ClickListBoxRow(d, C::ListBox1, Row(d, C::ListBox1, "qvdlg-b (Internet Explorer)"));
    Click(d, C::bView);
    Click(d, C::bCancel);
  });
  Menu(IDM_COOKIES);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "qvdlg-a");
  EXPECT_EQ(boxes[0].text, "\r\nname\r\nvalue of root@qvdlg-a[1].txt");
  EXPECT_EQ(boxes[0].type & MB_ICONMASK, (UINT)MB_ICONINFORMATION);
}

// ---------------------------------------------------------------------------------------------
// Custom list editor

using L = TfrmNewCustomItem;
using F = TfrmAddFolder;
using R = TfrmAddRegistry;

std::vector<std::string> Rows(HWND d) {
  std::vector<std::string> rows;
  for (int i = 0; i < ListViewCount(d, L::lvContent); ++i) rows.push_back(ListViewText(d, L::lvContent, i));
  return rows;
}

// The entries of the custom list as the definition runner reads them.
std::vector<TDefinitionEntry> RunnerEntries() {
  std::vector<TDefinitionEntry> entries;
  for (const std::string& line : ReadDefinitionSection(DefinitionFilePath("Clist.dat"), "<New List>"))
    entries.push_back(ParseDefinitionLine(line));
  return entries;
}

void ExpectSameEntry(const TDefinitionEntry& a, const TDefinitionEntry& b) {
  EXPECT_EQ(a.Kind, b.Kind);
  EXPECT_EQ(a.RootName, b.RootName);
  EXPECT_EQ(a.KeyPath, b.KeyPath);
  EXPECT_EQ(a.ValueName, b.ValueName);
  EXPECT_EQ(a.FirstPart, b.FirstPart);
  EXPECT_EQ(a.Rest, b.Rest);
  EXPECT_EQ(a.Mask, b.Mask);
}

TEST_F(DialogsTest, CustomListRowsAreAddedEditedRemovedAndWrittenInTheirNumbering) {
  Open();
  const std::string clist = UserFilePath("Clist.dat");
  WriteTextFile(clist,
                "[Other]\r\nDelFile1=C:\\Keep\\me\r\n[<New List>]\r\nDelFile1=C:\\Temp\r\nDelFile7=C:\\Old\\one\r\n"
                "DelRegValue1=HKEY_LOCAL_MACHINE\\Software\\Foo,Bar\r\n");
  SandboxFolder files("dialogs-files");
  WriteTextFile(files / "first.log", "1");
  WriteTextFile(files / "second.log", "2");
  TfrmAddFolder::BrowseHookForTesting = [&](std::string& folder) {
    folder = ExcludeTrailingBackslash(files.Path());
    return true;
  };

  DialogScript script;
  script.Then([&](HWND d) {
    EXPECT_EQ(qv::WindowText(d), "Custom Lists");
    EXPECT_EQ(Rows(d), (std::vector<std::string>{"C:\\Temp", "C:\\Old\\one", "HKEY_LOCAL_MACHINE\\Software\\Foo,Bar"}));
    EXPECT_FALSE(Enabled(d, L::bEdit));
    EXPECT_FALSE(Enabled(d, L::bRemove));
    SelectListViewRow(d, L::lvContent, 0);
    EXPECT_FALSE(Enabled(d, L::bEdit));  // a file row cannot be edited
    EXPECT_TRUE(Enabled(d, L::bRemove));
    DoubleClickListViewRow(d, L::lvContent, 0);  // nor by a double click
    // Edit the registry row: the dialog opens on its key, value name and choice.
    DoubleClickListViewRow(d, L::lvContent, 2);
    EXPECT_EQ(Rows(d)[2], "HKEY_LOCAL_MACHINE\\Software\\Foo,Baz");
    // Add a registry row and a file row.
    Click(d, L::bAddRegistry);
    Click(d, L::bAddFolder);
    EXPECT_EQ(Rows(d)[3], "HKEY_CURRENT_USER\\Software\\QvDialogs,");
    EXPECT_EQ(Rows(d)[4], ExcludeTrailingBackslash(files.Path()) + ",second.log");
    // Remove "C:\Old\one" by the keyboard: the row after it is selected.
    SelectListViewRow(d, L::lvContent, 1);
    PressKey(d, VK_DELETE);
    EXPECT_EQ(Rows(d).size(), 4u);
    EXPECT_EQ(ListViewSelection(d, L::lvContent), 1);
    Click(d, L::bOK);
  });
  script.Then([&](HWND e) {  // Edit
    EXPECT_EQ(qv::WindowText(e), "Add Registry");
    EXPECT_EQ(TextOf(e, R::eRegistryKey), "HKEY_LOCAL_MACHINE\\Software\\Foo");
    EXPECT_EQ(TextOf(e, R::eRegistryValue), "Bar");
    EXPECT_TRUE(IsChecked(e, R::rbWashValue));
    EXPECT_TRUE(Enabled(e, R::eRegistryValue));
    TypeText(e, R::eRegistryValue, "Baz");
    Click(e, R::bOK);
  });
  script.Then([&](HWND r) {  // Add Registry
    EXPECT_TRUE(IsChecked(r, R::rbWashKey));
    EXPECT_FALSE(Enabled(r, R::eRegistryValue));
    EXPECT_FALSE(Enabled(r, R::bOK));
    TypeText(r, R::eRegistryKey, "HKEY_CURRENT_USER\\Software\\QvDialogs");
    EXPECT_TRUE(Enabled(r, R::bOK));
    Click(r, R::rbWashAllValues);
    Click(r, R::bOK);
  });
  script.Then([&](HWND a) {  // Add File and Folder
    EXPECT_EQ(qv::WindowText(a), "Add File and Folder");
    EXPECT_TRUE(IsChecked(a, F::rbSingleFile));
    EXPECT_TRUE(Visible(a, F::lbFile));
    EXPECT_FALSE(Visible(a, F::eFileMatch));
    EXPECT_FALSE(Enabled(a, F::bOK));
    Click(a, F::bBrowseFolder);
    EXPECT_EQ(TextOf(a, F::eFolder), ExcludeTrailingBackslash(files.Path()));
    EXPECT_EQ(ListBoxRows(a, F::lbFile), (std::vector<std::string>{"first.log", "second.log"}));
    EXPECT_FALSE(Enabled(a, F::bOK));
    ClickListBoxRow(a, F::lbFile, 1);
    EXPECT_TRUE(Enabled(a, F::bOK));
    Click(a, F::bOK);
  });
  Menu(IDM_CUSTOMLISTS);
  EXPECT_EQ(script.Opened,
            (std::vector<std::string>{"Custom Lists", "Add Registry", "Add Registry", "Add File and Folder"}));

  // The old section went whole; each kind is numbered from 1 in row order; other sections stay.
  const std::string text = DecodeProfileText(ReadTextFile(clist));  // written as UTF-16
  EXPECT_EQ(text.find("DelFile7"), std::string::npos);
  EXPECT_NE(text.find("C:\\Keep\\me"), std::string::npos);
  const std::vector<std::string> lines = ReadDefinitionSection(clist, "<New List>");
  EXPECT_EQ(lines, (std::vector<std::string>{"DelFile1=C:\\Temp", "DelRegValue1=HKEY_LOCAL_MACHINE\\Software\\Foo,Baz",
                                             "DelRegValue2=HKEY_CURRENT_USER\\Software\\QvDialogs,",
                                             "DelFile2=" + ExcludeTrailingBackslash(files.Path()) + ",second.log"}));
}

TEST_F(DialogsTest, WhatTheEditorWritesTheRunnerReadsBackAsTheSameEntries) {
  Open();
  SandboxFolder files("dialogs-roundtrip");
  WriteTextFile(files / "a b.txt", "x");
  const std::string folder = ExcludeTrailingBackslash(files.Path());
  // Rows as the add dialogs make them from typed text, the awkward ones included.
  struct Typed {
    bool registry;
    std::string key;  // or folder
    int choice;       // TRegistryChoice or TFolderChoice
    std::string part; // value name, or mask
  };
  const Typed typed[] = {
      {true, "HKEY_CURRENT_USER\\Software\\QvRound\\Key", rcKey, ""},
      {true, "hkey_current_user\\Software\\QvRound\\Lower", rcAllValues, ""},
      {true, "HKEY_USERS\\.DEFAULT\\Software\\QvRound", rcValue, "  padded value  "},
      {true, "HKEY_CURRENT_USER\\Software\\QvRound\\Trailing ", rcKey, ""},
      {true, "HKEY_CURRENT_USER\\Software\\QvRound", rcValue, "\"quoted\""},
      {true, "HKEY_CURRENT_USER\\Software\\QvRound", rcValue, "a,b=c;d"},
      {false, folder, fcDeleteFolder, ""},
      {false, folder, fcDeleteFiles, "*.t?t"},
      {false, folder, fcSingleFile, ""},
  };
  DialogScript script;
  std::vector<std::string> shown;
  script.Then([&](HWND d) {
    for (const Typed& t : typed) Click(d, t.registry ? L::bAddRegistry : L::bAddFolder);
    shown = Rows(d);
    Click(d, L::bOK);
  });
  for (const Typed& t : typed) {
    script.Then([&t](HWND a) {
      if (t.registry) {
        TypeText(a, R::eRegistryKey, t.key);
        Click(a, t.choice == rcKey ? R::rbWashKey : t.choice == rcAllValues ? R::rbWashAllValues : R::rbWashValue);
        if (t.choice == rcValue) TypeText(a, R::eRegistryValue, t.part);
        Click(a, R::bOK);
      } else {
        TypeText(a, F::eFolder, t.key);
        if (t.choice == fcSingleFile) {
          ClickListBoxRow(a, F::lbFile, 0);
        } else {
          Click(a, F::rbMultipleFiles);
          Click(a, t.choice == fcDeleteFolder ? F::rbDeleteFolder : F::rbDeleteFiles);
          if (t.choice == fcDeleteFiles) TypeText(a, F::eFileMatch, t.part);
        }
        Click(a, F::bOK);
      }
    });
  }
  Menu(IDM_CUSTOMLISTS);
  ASSERT_EQ(shown.size(), std::size(typed));

  // The runner reads the rows the list showed, entry for entry.
  const std::vector<TDefinitionEntry> entries = RunnerEntries();
  ASSERT_EQ(entries.size(), shown.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(shown[i]);
    const bool registry = IsRegistryRow(shown[i]);
    const TDefinitionEntry expected = ParseDefinitionLine((registry ? "DelRegValue1=" : "DelFile1=") + shown[i]);
    EXPECT_NE(expected.Kind, dkNone);
    ExpectSameEntry(entries[i], expected);
  }
  EXPECT_EQ(entries[2].ValueName, "  padded value  ");
  EXPECT_EQ(entries[3].KeyPath, "Software\\QvRound\\Trailing ");
  EXPECT_EQ(entries[4].ValueName, "\"quoted\"");
  EXPECT_EQ(entries[8].Kind, dkFileMask);
  EXPECT_EQ(entries[8].Mask, "a b.txt");

  // And the editor opened again shows the same rows.
  script.Then([&](HWND d) {
    EXPECT_EQ(Rows(d), shown);
    Click(d, L::bCancel);
  });
  Menu(IDM_CUSTOMLISTS);
}

TEST_F(DialogsTest, CustomListCancelWritesNothingAndAnEmptiedListIsSaved) {
  auto& f = Open();
  const std::string clist = UserFilePath("Clist.dat");
  WriteTextFile(clist, "[<New List>]\r\nDelFile1=C:\\Temp\\QvOne\r\nDelFile2=C:\\Temp\\QvTwo\r\n");
  const std::string before = ReadTextFile(clist);
  DialogScript script;
  script.Then([&](HWND d) {
    SelectListViewRow(d, L::lvContent, 1);
    Click(d, L::bRemove);  // the last row: the row before it is selected
    EXPECT_EQ(ListViewSelection(d, L::lvContent), 0);
    Click(d, L::bAddRegistry);
    EXPECT_EQ(Rows(d).size(), 1u) << "the add dialog was cancelled";
    Click(d, L::bCancel);
  });
  script.Then([&](HWND r) {
    TypeText(r, R::eRegistryKey, "HKEY_CURRENT_USER\\Software\\QvNever");
    PressKey(r, VK_ESCAPE);
  });
  Menu(IDM_CUSTOMLISTS);
  EXPECT_EQ(ReadTextFile(clist), before);

  // Every row removed and OK: the list is empty, and the runner finds nothing to clean.
  script.Then([&](HWND d) {
    SelectListViewRow(d, L::lvContent, 0);
    Click(d, L::bRemove);
    SelectListViewRow(d, L::lvContent, 0);
    Click(d, L::bRemove);
    EXPECT_EQ(ListViewSelection(d, L::lvContent), -1);
    EXPECT_FALSE(Enabled(d, L::bRemove));
    EXPECT_TRUE(Enabled(d, L::bOK));
    Click(d, L::bOK);
  });
  // The tree's "<New List>" opens the same editor.
  size_t cat = 0;
  while (f.Catalogue.Categories[cat].Text != "Custom Lists") ++cat;
  HTREEITEM node = f.TreeNode(cat, 0);
  SendMessageW(f.tvCleanItems, TVM_ENSUREVISIBLE, 0, (LPARAM)node);
  RECT r;
  memcpy(&r, &node, sizeof(node));
  ASSERT_TRUE(SendMessageW(f.tvCleanItems, TVM_GETITEMRECT, TRUE, (LPARAM)&r));
  SendMessageW(f.tvCleanItems, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  SendMessageW(f.tvCleanItems, WM_LBUTTONUP, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  EXPECT_EQ(script.Opened.size(), 3u);
  EXPECT_TRUE(RunnerEntries().empty());
  EXPECT_TRUE(ReadDefinitionSection(clist, "<New List>").empty());
}

TEST_F(DialogsTest, TheAddDialogsTakeOnlyCompleteEntries) {
  Open();
  SandboxFolder one("dialogs-one"), two("dialogs-two");
  WriteTextFile(one / "in-one.txt", "1");
  WriteTextFile(two / "in-two.txt", "2");
  WriteTextFile(two / "hidden.txt", "h");
  SetFileAttributesW(Widen(two / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeDirs(two / "sub");
  std::vector<std::string> browsed = {ExcludeTrailingBackslash(one.Path()), ExcludeTrailingBackslash(two.Path())};
  TfrmAddFolder::BrowseHookForTesting = [&](std::string& folder) {
    folder = browsed.front();
    browsed.erase(browsed.begin());
    return true;
  };
  DialogScript script;
  script.Then([&](HWND d) {
    Click(d, L::bAddFolder);
    Click(d, L::bAddRegistry);
    Click(d, L::bCancel);
  });
  script.Then([&](HWND a) {
    // A folder chosen twice: only the second one's files (hidden ones too, never subfolders).
    Click(a, F::bBrowseFolder);
    EXPECT_EQ(ListBoxRows(a, F::lbFile), std::vector<std::string>{"in-one.txt"});
    Click(a, F::bBrowseFolder);
    std::vector<std::string> rows = ListBoxRows(a, F::lbFile);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{"hidden.txt", "in-two.txt"}));
    ClickListBoxRow(a, F::lbFile, 0);
    EXPECT_TRUE(Enabled(a, F::bOK));
    // Typing another folder never leaves the list showing the files of the one before.
    TypeText(a, F::eFolder, ExcludeTrailingBackslash(one.Path()));
    EXPECT_EQ(ListBoxRows(a, F::lbFile), std::vector<std::string>{"in-one.txt"});
    EXPECT_FALSE(Enabled(a, F::bOK));
    TypeText(a, F::eFolder, "C:\\qvsandbox\\no such folder");
    EXPECT_TRUE(ListBoxRows(a, F::lbFile).empty());
    // The folder modes.
    TypeText(a, F::eFolder, ExcludeTrailingBackslash(two.Path()));
    Click(a, F::rbMultipleFiles);
    EXPECT_FALSE(Visible(a, F::lbFile));
    EXPECT_TRUE(Visible(a, F::eFileMatch));
    EXPECT_TRUE(IsChecked(a, F::rbDeleteFolder));
    EXPECT_TRUE(Enabled(a, F::bOK));
    Click(a, F::rbDeleteFiles);
    EXPECT_EQ(TextOf(a, F::eFileMatch), "*.");
    EXPECT_FALSE(Enabled(a, F::bOK));  // "*." is too short
    TypeText(a, F::eFileMatch, "*.txt");
    EXPECT_TRUE(Enabled(a, F::bOK));
    // A folder with a comma would be read back as a folder and a mask.
    TypeText(a, F::eFolder, ExcludeTrailingBackslash(two.Path()) + ",x");
    EXPECT_FALSE(Enabled(a, F::bOK));
    PressKey(a, VK_RETURN);  // Enter on an incomplete entry does nothing
    EXPECT_TRUE(IsWindowVisible(a));
    Click(a, F::bCancel);
  });
  script.Then([&](HWND r) {
    struct Case {
      const char* key;
      int choice;
      const char* value;
      bool ok;
    } cases[] = {
        {"Software\\HKEY_X", R::rbWashKey, "", false},
        {"HKEY_CURRENT_USER\\Software\\X", R::rbWashKey, "", true},
        {"HKEY_CURRENT_USER\\Software\\X", R::rbWashValue, "", false},
        {"HKEY_CURRENT_USER\\Software\\X", R::rbWashValue, "Name", true},
        {"HKEY_CURRENT_USER", R::rbWashAllValues, "", false},
        {"HKEY_WHATEVER\\Software", R::rbWashAllValues, "", false},
    };
    for (const Case& c : cases) {
      TypeText(r, R::eRegistryKey, c.key);
      Click(r, c.choice);
      EXPECT_EQ(Enabled(r, R::eRegistryValue), c.choice == R::rbWashValue);
      TypeText(r, R::eRegistryValue, c.value);
      EXPECT_EQ(Enabled(r, R::bOK), c.ok) << c.key << " " << c.value;
    }
    Click(r, R::bLaunchRegedit);
    Click(r, R::bCancel);
  });
  Menu(IDM_CUSTOMLISTS);
  EXPECT_EQ(opened, std::vector<std::string>{"Regedit.exe"});
  EXPECT_FALSE(FileExists(UserFilePath("Clist.dat")));
}

// ---------------------------------------------------------------------------------------------
// The main window at another DPI

TEST_F(DialogsTest, TheMainWindowLaysItselfOutForTheDpiOfItsDisplay) {
  auto& f = Open();
  ASSERT_EQ(f.Dpi(), 96);  // the test prefix's
  auto width = [](HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r.right - r.left;
  };
  auto height = [](HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r.bottom - r.top;
  };
  auto fontHeight = [](HWND w) {
    LOGFONTW lf = {};
    GetObjectW((HFONT)SendMessageW(w, WM_GETFONT, 0, 0), sizeof(lf), &lf);
    return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
  };
  EXPECT_EQ(width(f.bClean), 75);
  EXPECT_EQ(height(f.imgTitle), 50);
  const int logFont = fontHeight(f.lMain), titleFont = fontHeight(f.lTitle);
  // Moved to a display of 192 DPI: the size Windows suggests, every control and font twice as large.
  RECT suggested = {10, 10, 10 + 1240, 10 + 900};  // what fits the test's screen
  SendMessageW(f.Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192), (LPARAM)&suggested);
  EXPECT_EQ(f.Dpi(), 192);
  EXPECT_EQ(width(f.Handle()), 1240);
  EXPECT_EQ(width(f.bClean), 150);
  EXPECT_EQ(height(f.bClean), 50);
  EXPECT_EQ(height(f.imgTitle), 100);
  EXPECT_EQ(fontHeight(f.lMain), 2 * logFont);
  EXPECT_EQ(fontHeight(f.lTitle), 2 * titleFont);
  EXPECT_EQ(SendMessageW(f.tvCleanItems, TVM_GETINDENT, 0, 0), 38);
  // The smallest size follows.
  SetWindowPos(f.Handle(), nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_GE(width(f.Handle()), 2 * 610);
  EXPECT_GE(height(f.Handle()), 2 * 400);
  // The log's lower edge stays 10 design pixels (20 here) above the Test button.
  RECT log, test;
  GetWindowRect(f.lMain, &log);
  GetWindowRect(f.bTest, &test);
  EXPECT_EQ(test.top - log.bottom, 20);
}

// ---------------------------------------------------------------------------------------------
// Menus and help

TEST_F(DialogsTest, EveryDialogEntryOfTheMenusOpensItsDialogAndHelpOpensThePages) {
  Open();
  DialogScript script;
  const int entries[] = {IDM_INDEXDAT, IDM_SETTINGS, IDM_COOKIES, IDM_CUSTOMLISTS, IDM_TRAY_SETTINGS};
  for (size_t i = 0; i < std::size(entries); ++i) script.Then([](HWND d) { PressKey(d, VK_ESCAPE); });
  for (int id : entries) Menu(id);
  EXPECT_EQ(script.Opened, (std::vector<std::string>{"Index.dat file viewer", "Settings", "Cookies Manager",
                                                     "Custom Lists", "Settings"}));
  Menu(IDM_HELP);
  Menu(IDM_TRAY_HELP);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], ExeFolder() + "help\\index.html");
  EXPECT_EQ(opened[1], opened[0]);
  // The compiled help, where there is one, comes first.
  WriteTextFile(ExeFolder() + "Zelbrin.chm", "ITSF");
  Menu(IDM_HELP);
  DeleteFileW(Widen(ExeFolder() + "Zelbrin.chm").c_str());
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[2], ExeFolder() + "Zelbrin.chm");
}

}  // namespace

namespace {

// Every dialog's Help button, and F1 pressed on whatever control has the focus, open the help page
// about that dialog (the Settings dialog: about the page shown), at a place the page has.
TEST_F(DialogsTest, HelpAndF1OpenThePageAboutTheDialog) {
  Open();
  DialogScript script;
  auto helpTwice = [](HWND d) {
    PressKey(d, VK_F1);
    Click(d, IDHELP);
  };
  script.Then([&](HWND d) {  // the index.dat viewer
    helpTwice(d);
    PressKey(d, VK_ESCAPE);
  });
  script.Then([&](HWND d) {  // Settings, each page
    helpTwice(d);
    PressKey(d, VK_TAB, true);
    helpTwice(d);
    PressKey(d, VK_TAB, true);
    helpTwice(d);
    PressKey(d, VK_ESCAPE);
  });
  script.Then([&](HWND d) {  // the cookies manager
    helpTwice(d);
    PressKey(d, VK_ESCAPE);
  });
  script.Then([&](HWND d) {  // the custom list editor, and the two dialogs it opens
    helpTwice(d);
    Click(d, L::bAddFolder);
    Click(d, L::bAddRegistry);
    PressKey(d, VK_ESCAPE);
  });
  script.Then([&](HWND a) {
    helpTwice(a);
    PressKey(a, VK_ESCAPE);
  });
  script.Then([&](HWND r) {
    helpTwice(r);
    PressKey(r, VK_ESCAPE);
  });
  for (int id : {IDM_INDEXDAT, IDM_SETTINGS, IDM_COOKIES, IDM_CUSTOMLISTS}) Menu(id);
  EXPECT_EQ(script.StepsLeft(), 0u);
  const std::vector<std::string> pages = {
      "viewer.html",          "settings.html#common", "settings.html#schedule", "settings.html#bosskey",
      "cookies.html",         "lists.html#editor",    "lists.html#editor",      "lists.html#editor"};
  std::vector<std::string> expected;
  for (const std::string& page : pages) {
    expected.push_back(HelpPageTarget(page));
    expected.push_back(HelpPageTarget(page));
    // The page is shipped, with the place named.
    const size_t hash = page.find('#');
    const std::string text = ReadTextFile(ExeFolder() + "help\\" + page.substr(0, hash));
    EXPECT_FALSE(text.empty()) << page;
    if (hash != std::string::npos) {
      EXPECT_NE(text.find("id=\"" + page.substr(hash + 1) + "\""), std::string::npos) << page;
    }
  }
  EXPECT_EQ(opened, expected);
  // A place is reached through the page's address; a page alone is opened as the file.
  EXPECT_EQ(HelpPageTarget("viewer.html"), ExeFolder() + "help\\viewer.html");
  std::string url = "file:///" + ExeFolder() + "help/settings.html#schedule";
  for (char& c : url)
    if (c == '\\') c = '/';
  EXPECT_EQ(HelpPageTarget("settings.html#schedule"), url);
}

}  // namespace
