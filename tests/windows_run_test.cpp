// A whole unattended run of the Windows, Advanced and Custom Lists items through the clean task
// thread, against traces set up in the prefix with canaries beside each: the run removes the
// traces, keeps the canaries, and counts what the Test before it counted.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>

#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "support/Process.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

const std::string kExplorer = kExplorerKey;
const HKEY kCU = HKEY_CURRENT_USER;

std::string Folder(int csidl) { return SpecialFolderPath(csidl); }
std::string WindowsFolder() { return WindowsFolderPath(); }
std::string SystemFolder() { return SystemFolderPath(); }
std::string TempFolder() { return TempFolderPath(); }

bool ClipboardHasText() { return IsClipboardFormatAvailable(CF_UNICODETEXT) != 0; }

// One thing the run must remove, or (canary) keep.
struct Thing {
  std::string what;
  std::function<bool()> present;
};

Thing File(const std::string& path, uint64_t size, std::vector<std::function<void()>>& cleanup) {
  WriteFile(path, size);
  cleanup.push_back([path] { DeleteFileW(qv::Widen(path).c_str()); });
  return {path, [path] { return qv::FileExists(path); }};
}

Thing Value(const std::string& key, const std::string& name) {
  RegSetString(kCU, key, name, "x");
  return {"HKCU\\" + key + "\\" + name, [key, name] { return RegValueExists(kCU, key, name); }};
}

std::vector<std::string> ItemsOf(const qv::TCatalogue& catalogue, const std::string& category) {
  std::vector<std::string> out;
  const qv::TCategory* c = catalogue.FindCategory(category);
  for (size_t i = 0; c && i < c->Items.size(); ++i) out.push_back(c->ItemName(i));
  return out;
}

// Traces of every Windows, Advanced and Custom Lists item, with canaries beside them.
class TraceScene {
 public:
  explicit TraceScene(HWND owner) : box("E2E"), key("E2E") {
    ResetCleanerSettings();
  
    // Windows.
    traces.push_back(Value(kExplorer + "RecentDocs", "0"));
    traces.push_back(Value(kExplorer + "RecentDocs\\.txt", "0"));
    traces.push_back(File(recent + "qv-e2e.lnk", 100, cleanup));
    canaries.push_back(File(recent + "QvKeep\\keep.lnk", 100, cleanup));
    canaries.push_back(Value(kExplorer, "QvCanary"));
    traces.push_back(Value(kExplorer + "RunMRU", "a"));
    traces.push_back(Value("Software\\Microsoft\\Search Assistant\\ACMru\\5603", "000"));
    canaries.push_back(Value("Software\\Microsoft\\Search Assistant", "QvCanary"));
    RemoveTree("C:\\Recycled");
    canaries.push_back(File("C:\\Recycled\\INFO2", 20, cleanup));
    canaries.push_back(File("C:\\Recycled\\desktop.ini", 20, cleanup));
    traces.push_back(File("C:\\Recycled\\Dc1.txt", 1000, cleanup));
    traces.push_back(File(temp + "qv-e2e.tmp", 1000, cleanup));
    traces.push_back(File(temp + "qv-e2e\\nested.tmp", 1000, cleanup));
    canaries.push_back({temp, [t = temp] { return qv::DirectoryExists(t); }});
    traces.push_back(File(win + "memory.dmp", 1000, cleanup));
    traces.push_back(File(win + "MiniDump\\qv-e2e.dmp", 1000, cleanup));
    canaries.push_back(File(win + "qv-e2e.dmp", 10, cleanup));
    traces.push_back(File(sys + "FILE0001.CHK", 100, cleanup));
    canaries.push_back(File(sys + "qv-e2e.chk", 10, cleanup));
    traces.push_back(File(win + "qv-e2e.log", 100, cleanup));
    canaries.push_back(File(win + "qv-e2e.log.txt", 10, cleanup));
    PutClipboardText(owner, L"secret");
    traces.push_back({"clipboard text", ClipboardHasText});

    // Advanced.
    traces.push_back(Value(kExplorer + "ComDlg32\\OpenSaveMRU\\txt", "a"));
    canaries.push_back(Value(kExplorer + "ComDlg32", "QvCanary"));
    traces.push_back(Value(kExplorer + "MenuOrder\\Start Menu2\\Programs", "Order"));
    traces.push_back(Value(kExplorer + "TrayNotify", "IconStreams"));
    traces.push_back(Value(kExplorer + "TrayNotify", "PastIconsStream"));
    canaries.push_back(Value(kExplorer + "TrayNotify", "BalloonTip"));
    const std::string ua = kExplorer + "UserAssist\\";
    traces.push_back(Value(ua + "{5E6AB780-7743-11CF-A12B-00AA004AE837}\\Count", "HRZR_1"));
    traces.push_back(Value(ua + "{75048700-EF1F-11D0-9888-006097DEACF9}\\Count", "HRZR_2"));
    canaries.push_back(Value(ua + "{5E6AB780-7743-11CF-A12B-00AA004AE837}", "Version"));
    canaries.push_back(Value(ua + "{75048700-EF1F-11D0-9888-006097DEACF9}", "Version"));
    traces.push_back(Value("Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List", "File1"));
    canaries.push_back(Value("Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\View", "WindowPlacement"));
    traces.push_back(Value("Software\\Google\\NavClient\\1.1\\History", "secret search"));
    canaries.push_back(Value("Software\\Google\\NavClient\\1.1", "QvCanary"));
    traces.push_back(Value("Software\\Microsoft\\MSN Apps\\MSN Toolbar\\History", "secret search"));
    traces.push_back(Value("Software\\Yahoo\\Companion\\SearchHistory", "secret search"));
    canaries.push_back(Value("Software\\Yahoo\\Companion", "QvCanary"));

    // Custom Lists.
    traces.push_back(File(box / "Trace\\a.txt", 100, cleanup));
    traces.push_back(File(box / "Logs\\b.log", 100, cleanup));
    canaries.push_back(File(box / "Logs\\b.txt", 100, cleanup));
    canaries.push_back(File(box / "Keep\\k.txt", 100, cleanup));
    traces.push_back(Value(key.Path(), "Trace"));
    canaries.push_back(Value(key.Path(), "Keep"));
    const std::string clist = qv::ExeFolder() + "Clist.dat";
    WriteTextFile(clist, "[<New List>]\r\n"
                         "DelFile1=" + box.Path() + "Trace\r\n"
                         "DelFile2=" + box.Path() + "Logs,*.log\r\n"
                         "DelRegValue1=HKEY_CURRENT_USER\\" + key.Path() + ",Trace\r\n");
    cleanup.push_back([clist] { DeleteFileW(qv::Widen(clist).c_str()); });
  }
  ~TraceScene() {
    for (auto& f : cleanup) f();
    RemoveTree(recent + "QvKeep");
    RemoveTree(win + "MiniDump");
    RemoveTree("C:\\Recycled");
    for (const char* k : {"Software\\Microsoft\\Search Assistant", "Software\\Google", "Software\\Yahoo",
                          "Software\\Microsoft\\MSN Apps"})
      RegDeleteTree(kCU, k);
  }

  // The items of the three categories, in tree order.
  static std::vector<std::string> Items() {
    qv::TCatalogue catalogue = qv::BuiltinCatalogue();
    std::vector<std::string> items = ItemsOf(catalogue, "Windows");
    for (const auto& i : ItemsOf(catalogue, "Advanced")) items.push_back(i);
    for (const auto& i : ItemsOf(catalogue, "Custom Lists")) items.push_back(i);
    return items;
  }

  void ExpectSetUp() const {
    for (const Thing& t : traces) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
    for (const Thing& t : canaries) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
  }
  void ExpectCleaned() const {
    for (const Thing& t : traces) EXPECT_FALSE(t.present()) << "left behind: " << t.what;
    for (const Thing& t : canaries) EXPECT_TRUE(t.present()) << "removed: " << t.what;
  }

  // The temporary folder the run empties is a sandbox of its own (the program started by a test
  // inherits it too).
  SandboxFolder tempBox{"E2ETemp"};
  ScopedTempFolder tempEnv{tempBox.Path()};
  const std::string win = WindowsFolder(), sys = SystemFolder(), temp = TempFolder();
  const std::string recent = Folder(CSIDL_RECENT);
  SandboxFolder box;
  SandboxKey key;
  std::vector<std::function<void()>> cleanup;
  std::vector<Thing> traces, canaries;
};

TEST(UnattendedRun, RemovesTheTracesAndNothingBesideThem) {
  ResetCleanerSettings();
  TestWindow window;
  TraceScene scene(window.Handle());
  ASSERT_TRUE(qv::SameText(scene.temp, scene.tempBox.Path())) << scene.temp;
  ASSERT_NO_FATAL_FAILURE(scene.ExpectSetUp());
  const std::vector<std::string> items = TraceScene::Items();
  ASSERT_GE(items.size(), 9u + 8u + 1u);  // at least the Windows, Advanced and custom list items
  const std::vector<Thing>& traces = scene.traces;

  MessageRecorder messages;
  ASSERT_TRUE(window.Run(items, qv::rmTest));
  ASSERT_EQ(window.FinishedCount, 1);
  const unsigned testTotal = window.FinishedTotal;
  // The removal run follows only a Test that found the traces and nothing else (the clipboard is
  // not counted).
  ASSERT_EQ(testTotal, traces.size() - 1);
  for (const Thing& t : traces) EXPECT_TRUE(t.present()) << "a Test removed " << t.what;

  ASSERT_TRUE(window.Run(items, qv::rmUnattended));
  ASSERT_EQ(window.FinishedCount, 1);
  EXPECT_EQ(window.AbortedCount, 0);
  EXPECT_EQ(window.FinishedTotal, testTotal);
  scene.ExpectCleaned();
  EXPECT_TRUE(messages.Messages.empty());

  std::vector<std::string> lines = window.Lines();
  for (const auto& item : items)
    EXPECT_EQ(CountLinesStartingWith(lines, "Clean: Clearing " + item + " ..."), 1) << item;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].compare(0, 28, "Total items to be removed = "), 0) << lines[lines.size() - 2];

}

// The same traces, cleaned by the program itself started with "-cleanonce" and the three categories
// ticked in its settings: it cleans without asking (the confirmation is on) and ends.
TEST(UnattendedRun, CleanOnceFromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  TestWindow window;
  TraceScene scene(window.Handle());
  ASSERT_NO_FATAL_FAILURE(scene.ExpectSetUp());
  // The program cleans only what a Test here finds: the traces and nothing else.
  {
    MessageRecorder messages;
    ASSERT_TRUE(window.Run(TraceScene::Items(), qv::rmTest));
    ASSERT_EQ(window.FinishedTotal, scene.traces.size() - 1);
  }

  const std::string ini = qv::ExeFolder() + "settings.ini";
  DeleteFileW(qv::Widen(ini).c_str());
  std::vector<std::string> ticked = {"Windows", "Advanced", "Custom Lists"};
  for (const auto& i : TraceScene::Items()) ticked.push_back(i);
  WriteProgramSettings(ini, ticked);

  EXPECT_EQ(RunProgram(exe, "-cleanonce", 120000), 0);
  scene.ExpectCleaned();
  DeleteFileW(qv::Widen(ini).c_str());
}

}  // namespace
