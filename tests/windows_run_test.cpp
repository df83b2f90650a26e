// A whole unattended run of the Windows, Advanced and Custom Lists items through the clean task
// thread, against traces set up in the prefix with canaries beside each: the run removes the
// traces, keeps the canaries, and counts what the Test before it counted.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>

#include "engine/Catalogue.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const HKEY kCU = HKEY_CURRENT_USER;

std::string Folder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, TRUE);
  return qv::Narrow(buf) + "\\";
}

std::string WindowsFolder() {
  wchar_t buf[MAX_PATH] = {};
  GetWindowsDirectoryW(buf, MAX_PATH);
  return qv::Narrow(buf) + "\\";
}

std::string SystemFolder() {
  wchar_t buf[MAX_PATH] = {};
  GetSystemDirectoryW(buf, MAX_PATH);
  return qv::Narrow(buf) + "\\";
}

std::string TempFolder() {
  wchar_t buf[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buf);
  return qv::Narrow(buf);
}

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

TEST(UnattendedRun, RemovesTheTracesAndNothingBesideThem) {
  ResetCleanerSettings();
  TestWindow window;
  const std::string win = WindowsFolder(), sys = SystemFolder(), temp = TempFolder();
  const std::string recent = Folder(CSIDL_RECENT);
  ASSERT_EQ(temp.compare(0, 3, "C:\\"), 0);
  ASSERT_GT(temp.size(), 4u);
  std::vector<std::function<void()>> cleanup;
  std::vector<Thing> traces, canaries;
  SandboxFolder box("E2E");
  SandboxKey key("E2E");

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
  canaries.push_back({temp, [temp] { return qv::DirectoryExists(temp); }});
  traces.push_back(File(win + "memory.dmp", 1000, cleanup));
  traces.push_back(File(win + "MiniDump\\qv-e2e.dmp", 1000, cleanup));
  canaries.push_back(File(win + "qv-e2e.dmp", 10, cleanup));
  traces.push_back(File(sys + "FILE0001.CHK", 100, cleanup));
  canaries.push_back(File(sys + "qv-e2e.chk", 10, cleanup));
  traces.push_back(File(win + "qv-e2e.log", 100, cleanup));
  canaries.push_back(File(win + "qv-e2e.log.txt", 10, cleanup));
  ASSERT_TRUE(OpenClipboard(window.Handle()));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 16);
  wcscpy((wchar_t*)GlobalLock(mem), L"secret");
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
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

  for (const Thing& t : traces) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
  for (const Thing& t : canaries) ASSERT_TRUE(t.present()) << "set-up: " << t.what;

  qv::TCatalogue catalogue = qv::TCatalogue::Builtin();
  std::vector<std::string> items = ItemsOf(catalogue, "Windows");
  for (const auto& i : ItemsOf(catalogue, "Advanced")) items.push_back(i);
  for (const auto& i : ItemsOf(catalogue, "Custom Lists")) items.push_back(i);
  ASSERT_EQ(items.size(), 9u + 8u + 1u);

  MessageRecorder messages;
  ASSERT_TRUE(window.Run(items, qv::rmTest));
  ASSERT_EQ(window.FinishedCount, 1);
  const unsigned testTotal = window.FinishedTotal;
  for (const Thing& t : traces) EXPECT_TRUE(t.present()) << "a Test removed " << t.what;

  ASSERT_TRUE(window.Run(items, qv::rmUnattended));
  ASSERT_EQ(window.FinishedCount, 1);
  EXPECT_EQ(window.AbortedCount, 0);
  EXPECT_EQ(window.FinishedTotal, testTotal);
  EXPECT_GE(window.FinishedTotal, traces.size() - 1);  // the clipboard is not counted
  for (const Thing& t : traces) EXPECT_FALSE(t.present()) << "left behind: " << t.what;
  for (const Thing& t : canaries) EXPECT_TRUE(t.present()) << "removed: " << t.what;
  EXPECT_TRUE(messages.Messages.empty());

  std::vector<std::string> lines = window.Lines();
  for (const auto& item : items)
    EXPECT_EQ(CountLinesStartingWith(lines, "Clean: Clearing " + item + " ..."), 1) << item;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].compare(0, 28, "Total items to be removed = "), 0) << lines[lines.size() - 2];

  for (auto& f : cleanup) f();
  RemoveTree(recent + "QvKeep");
  RemoveTree(win + "MiniDump");
  RemoveTree("C:\\Recycled");
  for (const char* k : {"Software\\Microsoft\\Search Assistant", "Software\\Google", "Software\\Yahoo",
                        "Software\\Microsoft\\MSN Apps"})
    RegDeleteTree(kCU, k);
}

}  // namespace
