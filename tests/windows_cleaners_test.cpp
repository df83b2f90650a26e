// The Windows and Advanced cleaners on the prefix's real registry and folders: a Test counts what
// a Clean then removes, and what lies beside the traces stays.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/PathHelpers.h"
#include "base/WindowsVersion.h"
#include "cleaners/Cleaners.h"
#include "cleaners/windows/WindowsCleaners.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

const std::string kExplorer = kExplorerKey;
const HKEY kCU = HKEY_CURRENT_USER;

// Deletes the files directly in a folder (its subfolders stay).
void DeleteFilesIn(const std::string& folder) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(qv::Widen(qv::IncludeTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string path = qv::IncludeTrailingBackslash(folder) + qv::Narrow(fd.cFileName);
    SetFileAttributesW(qv::Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(qv::Widen(path).c_str());
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

void RegDeleteValueName(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExW(root, qv::Widen(path).c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
  RegDeleteValueW(k, qv::Widen(name).c_str());
  RegCloseKey(k);
}

int CountEntries(const std::string& folder) {
  int n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(qv::Widen(qv::IncludeTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return -1;
  do {
    std::string name = qv::Narrow(fd.cFileName);
    if (name != "." && name != "..") ++n;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

class WindowsCleaners : public ::testing::Test {
 protected:
  void SetUp() override { ResetCleanerSettings(); }
  void TearDown() override {
    qv::SetDriveTypeForTesting(nullptr);
    ResetCleanerSettings();
  }
  CleanerResult Run(const std::string& itemName, int runMode) {
    qv::TCleanerFn cleaner = nullptr;
    qv::BuiltinCleaners().Find(itemName, cleaner);
    EXPECT_NE(cleaner, nullptr) << itemName;
    if (!cleaner) return {};
    return RunCleaner(window_, runMode, cleaner);
  }
  TestWindow window_;
  MessageRecorder messages_;
};

// Cleaners that take a whole registry key: each counts the values in the key and below it and
// removes the key; its parent and what lies there stay.
TEST_F(WindowsCleaners, RegistryKeyItems) {
  struct Case {
    const char* item;
    std::string key;
  } cases[] = {
      {"Windows - Start Run", kExplorer + "RunMRU"},
      {"Windows - Search Assistant", "Software\\Microsoft\\Search Assistant\\ACMru"},
      {"Advanced - Open File History", kExplorer + "ComDlg32\\OpenSaveMRU"},
      {"Advanced - Menu Order Cache", kExplorer + "MenuOrder"},
      {"Advanced - Paint", "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    std::string parent = c.key.substr(0, c.key.rfind('\\'));
    RegDeleteTree(kCU, c.key);
    RegSetString(kCU, c.key, "a", "C:\\one.txt");
    RegSetString(kCU, c.key, "MRUList", "a");
    RegSetString(kCU, c.key + "\\txt", "a", "1");
    RegSetString(kCU, c.key + "\\txt", "b", "2");
    RegSetString(kCU, c.key + "\\txt\\deeper", "c", "3");
    RegSetString(kCU, parent, "QvCanary", "stays");

    CleanerResult test = Run(c.item, qv::rmTest);
    ASSERT_EQ(test.Count, 5);
    EXPECT_EQ(test.SizeText, "0");
    EXPECT_TRUE(RegKeyExists(kCU, c.key + "\\txt\\deeper"));
    CleanerResult clean = Run(c.item, qv::rmClean);
    EXPECT_EQ(clean.Count, 5);
    EXPECT_EQ(clean.SizeText, "0");
    EXPECT_FALSE(RegKeyExists(kCU, c.key));
    EXPECT_TRUE(RegValueExists(kCU, parent, "QvCanary"));
    EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting registry key HKEY_CURRENT_USER\\" + c.key), 1);

    // Nothing left: nothing counted.
    EXPECT_EQ(Run(c.item, qv::rmTest).Count, 0);
    // A key without values still counts as one entry.
    RegCreate(kCU, c.key);
    EXPECT_EQ(Run(c.item, qv::rmClean).Count, 1);
    EXPECT_FALSE(RegKeyExists(kCU, c.key));
    RegDeleteValueName(kCU, parent, "QvCanary");
  }
}

TEST_F(WindowsCleaners, RecentDocuments) {
  const std::string key = kExplorer + "RecentDocs";
  const std::string recent = qv::ExcludeTrailingBackslash(SpecialFolderPath(CSIDL_RECENT));
  ASSERT_FALSE(recent.empty());
  RegDeleteTree(kCU, key);
  DeleteFilesIn(recent);
  // 12 values in the key and its subkeys; 3 files in the Recent folder; a subfolder that stays.
  for (int i = 0; i < 4; ++i) RegSetString(kCU, key, std::to_string(i), "x");
  for (int i = 0; i < 8; ++i) RegSetString(kCU, key + "\\.txt", std::to_string(i), "x");
  WriteFile(recent + "\\one.lnk", 1000);
  WriteFile(recent + "\\two.lnk", 2000);
  WriteFile(recent + "\\three.txt.lnk", 3000);
  WriteFile(recent + "\\QvSub\\stays.lnk", 500);

  CleanerResult test = Run("Windows - Recent Documents", qv::rmTest);
  ASSERT_EQ(test.Count, 12 + 3);
  EXPECT_EQ(test.Bytes, 6000u);
  EXPECT_EQ(test.SizeText, "6");
  EXPECT_TRUE(RegKeyExists(kCU, key + "\\.txt"));
  EXPECT_TRUE(qv::FileExists(recent + "\\one.lnk"));

  CleanerResult clean = Run("Windows - Recent Documents", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_FALSE(RegKeyExists(kCU, key));
  EXPECT_FALSE(qv::FileExists(recent + "\\one.lnk"));
  EXPECT_FALSE(qv::FileExists(recent + "\\three.txt.lnk"));
  EXPECT_TRUE(qv::FileExists(recent + "\\QvSub\\stays.lnk"));
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting "), 4);  // the key and three files
  RemoveTree(recent + "\\QvSub");

  // A RecentDocs key without values counts 1.
  RegCreate(kCU, key);
  EXPECT_EQ(Run("Windows - Recent Documents", qv::rmTest).Count, 1);
  RegDeleteTree(kCU, key);
}

TEST_F(WindowsCleaners, TrayNotificationsKeepTheKey) {
  const std::string key = kExplorer + "TrayNotify";
  struct Case {
    bool iconStreams, pastIcons;
    int count;
  } cases[] = {{true, false, 1}, {false, true, 1}, {true, true, 2}, {false, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.iconStreams) + std::to_string(c.pastIcons));
    RegDeleteTree(kCU, key);
    RegSetString(kCU, key, "Other", "stays");
    if (c.iconStreams) RegSetString(kCU, key, "IconStreams", "x");
    if (c.pastIcons) RegSetString(kCU, key, "PastIconsStream", "x");
    ASSERT_EQ(Run("Advanced - Tray Notifications Cache", qv::rmTest).Count, c.count);
    EXPECT_EQ(RegValueExists(kCU, key, "IconStreams"), c.iconStreams);
    EXPECT_EQ(Run("Advanced - Tray Notifications Cache", qv::rmClean).Count, c.count);
    EXPECT_FALSE(RegValueExists(kCU, key, "IconStreams"));
    EXPECT_FALSE(RegValueExists(kCU, key, "PastIconsStream"));
    EXPECT_TRUE(RegValueExists(kCU, key, "Other"));
  }
  RegDeleteTree(kCU, key);
}

TEST_F(WindowsCleaners, UserAssistTakesBothCountKeys) {
  const std::string first = kExplorer + "UserAssist\\{5E6AB780-7743-11CF-A12B-00AA004AE837}";
  const std::string second = kExplorer + "UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}";
  struct Case {
    int firstValues, secondValues;
  } cases[] = {{2, 3}, {0, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firstValues);
    RegDeleteTree(kCU, kExplorer + "UserAssist");
    RegSetString(kCU, first, "Version", "3");
    RegSetString(kCU, second, "Version", "3");
    for (int i = 0; i < c.firstValues; ++i) RegSetString(kCU, first + "\\Count", "HRZR_" + std::to_string(i), "x");
    for (int i = 0; i < c.secondValues; ++i) RegSetString(kCU, second + "\\Count", "HRZR_" + std::to_string(i), "x");

    int expected = c.firstValues + c.secondValues;
    ASSERT_EQ(Run("Advanced - User Assist History", qv::rmTest).Count, expected);
    EXPECT_TRUE(RegKeyExists(kCU, second + "\\Count"));
    EXPECT_EQ(Run("Advanced - User Assist History", qv::rmClean).Count, expected);
    EXPECT_FALSE(RegKeyExists(kCU, first + "\\Count"));
    EXPECT_FALSE(RegKeyExists(kCU, second + "\\Count"));
    EXPECT_TRUE(RegValueExists(kCU, first, "Version"));
    EXPECT_TRUE(RegValueExists(kCU, second, "Version"));
  }
  RegDeleteTree(kCU, kExplorer + "UserAssist");
}

class RecycleBin : public WindowsCleaners {
 protected:
  const std::string bin_ = "C:\\Recycled";
  void SetUp() override {
    WindowsCleaners::SetUp();
    Build(true);
  }
  void TearDown() override {
    RemoveTree(bin_);
    WindowsCleaners::TearDown();
  }
  // The shell's own files in other letter cases, three files (one hidden) and a folder of two.
  void Build(bool withDesktopIni) {
    RemoveTree(bin_);
    WriteFile(bin_ + "\\Info2", 20);
    if (withDesktopIni) WriteFile(bin_ + "\\DESKTOP.INI", 30);
    WriteFile(bin_ + "\\Dc1.txt", 1000);
    WriteFile(bin_ + "\\Dc2.doc", 2000);
    WriteFile(bin_ + "\\Dc3", 3000);
    SetFileAttributesW(L"C:\\Recycled\\Dc3", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFile(bin_ + "\\Dc4\\a.txt", 100);
    WriteFile(bin_ + "\\Dc4\\b.txt", 200);
  }
  void ExpectUntouched() {
    EXPECT_TRUE(qv::FileExists(bin_ + "\\Dc1.txt"));
    EXPECT_TRUE(qv::FileExists(bin_ + "\\Dc3"));
    EXPECT_TRUE(qv::FileExists(bin_ + "\\Dc4\\b.txt"));
  }
};

// Each Clean here follows a Test that found exactly what the fixture made, so a fault in the
// cleaner cannot reach beyond C:\Recycled.
TEST_F(RecycleBin, CountsWhatACleanRemovesButNeverItsOwnFiles) {
  CleanerResult test = Run("Windows - Empty Recycle Bin", qv::rmTest);
  ASSERT_EQ(test.Count, 5);
  EXPECT_EQ(test.Bytes, 6300u);
  EXPECT_EQ(test.SizeText, "7");
  EXPECT_TRUE(test.Lines.empty());  // a Test writes neither the notice nor file lines
  ExpectUntouched();

  CleanerResult clean = Run("Windows - Empty Recycle Bin", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_EQ(clean.Lines, std::vector<std::string>{"Clearing, please wait..."});
  EXPECT_EQ(CountEntries(bin_), 2);
  EXPECT_TRUE(qv::FileExists(bin_ + "\\Info2"));
  EXPECT_TRUE(qv::FileExists(bin_ + "\\DESKTOP.INI"));
  EXPECT_TRUE(messages_.Messages.empty());
}

TEST_F(RecycleBin, FileLinesWhenAskedFor) {
  qv::OptionsSetting.ShowLogRecycleBin = true;
  ASSERT_EQ(Run("Windows - Empty Recycle Bin", qv::rmTest).Count, 5);
  CleanerResult clean = Run("Windows - Empty Recycle Bin", qv::rmClean);
  EXPECT_EQ(clean.Count, 5);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting c:\\Recycled\\"), 5);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clearing"), 0);

  Build(true);
  qv::OptionsSetting.FastScan = true;
  ASSERT_EQ(Run("Windows - Empty Recycle Bin", qv::rmTest).Count, 5);
  clean = Run("Windows - Empty Recycle Bin", qv::rmClean);
  EXPECT_EQ(clean.Count, 5);
  EXPECT_TRUE(clean.Lines.empty());
}

TEST_F(RecycleBin, OnlyFixedDrivesCToZAreExamined) {
  std::vector<std::string> asked;
  qv::SetDriveTypeForTesting([&asked](const std::string& root) -> UINT {
    asked.push_back(root);
    return root == "c:\\" ? DRIVE_REMOVABLE : GetDriveTypeW(qv::Widen(root).c_str());
  });
  ASSERT_EQ(Run("Windows - Empty Recycle Bin", qv::rmTest).Count, 0);
  ASSERT_EQ(asked.size(), 24u);
  EXPECT_EQ(asked.front(), "c:\\");
  EXPECT_EQ(asked.back(), "z:\\");
  EXPECT_EQ(Run("Windows - Empty Recycle Bin", qv::rmClean).Count, 0);
  ExpectUntouched();
}

TEST_F(RecycleBin, ABinWithoutDesktopIniIsLeftAlone) {
  Build(false);
  ASSERT_EQ(Run("Windows - Empty Recycle Bin", qv::rmTest).Count, 0);
  EXPECT_EQ(Run("Windows - Empty Recycle Bin", qv::rmClean).Count, 0);
  ExpectUntouched();
}

TEST_F(WindowsCleaners, TemporaryFilesKeepsTheFolder) {
  SandboxFolder box("Temp");
  ScopedTempFolder tmp(box.Path());
  wchar_t buf[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buf);
  const std::string temp = qv::Narrow(buf);
  ASSERT_TRUE(qv::SameText(temp, box.Path())) << temp;
  WriteFile(temp + "a.tmp", 1000);
  WriteFile(temp + "sub\\b.tmp", 2000);
  WriteFile(temp + "sub\\deeper\\c.tmp", 3000);

  CleanerResult test = Run("Windows - Temporary Files", qv::rmTest);
  ASSERT_EQ(test.Count, 3);
  EXPECT_EQ(test.Bytes, 6000u);
  EXPECT_EQ(CountEntries(temp), 2);

  CleanerResult clean = Run("Windows - Temporary Files", qv::rmClean);
  EXPECT_EQ(clean.Count, 3);
  EXPECT_EQ(clean.Bytes, 6000u);
  EXPECT_TRUE(qv::DirectoryExists(temp));
  EXPECT_EQ(CountEntries(temp), 0);
}

// Without TMP and TEMP the system's temporary path falls back to the profile or the Windows
// folder; neither is emptied, nor a folder holding the documents, also when the documents live
// outside the profile. (Counted in a Test only, so a fault here removes nothing.)
TEST_F(WindowsCleaners, TemporaryFilesNeverTakesTheProfileOrWindows) {
  wchar_t profile[MAX_PATH] = {}, windows[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE);
  GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_TRUE(profile[0] && windows[0]);
  for (const wchar_t* folder : {(const wchar_t*)profile, (const wchar_t*)windows, L"C:\\"}) {
    ScopedTempFolder tmp(qv::Narrow(folder));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(qv::Narrow(temp), qv::IncludeTrailingBackslash(qv::Narrow(folder)));
    EXPECT_EQ(Run("Windows - Temporary Files", qv::rmTest).Count, 0) << qv::Narrow(folder);
  }

  // The documents moved out of the profile: the profile is still refused, and so is the folder
  // holding the documents when the temporary path names it in short (8.3) form.
  SandboxFolder movedRoot("Moved documents folder");
  const std::string moved = movedRoot / "My documents";
  MakeDirs(moved);
  WriteFile(movedRoot / "qv-moved.txt", 10);
  wchar_t shortForm[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(qv::Widen(movedRoot.Path()).c_str(), shortForm, MAX_PATH), 0u);
  const std::string movedRootShort = qv::Narrow(shortForm);
  ASSERT_FALSE(qv::SameText(movedRootShort, movedRoot.Path())) << "no short form of " << movedRoot.Path();
  const std::string userShellFolders = kExplorer + "User Shell Folders";
  const std::string shellFolders = kExplorer + "Shell Folders";
  std::string oldUser, oldShell;
  DWORD oldUserType = REG_EXPAND_SZ;
  {
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(kCU, qv::Widen(userShellFolders).c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
    wchar_t buf[MAX_PATH] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    if (RegQueryValueExW(k, L"Personal", nullptr, &oldUserType, (BYTE*)buf, &size) == ERROR_SUCCESS)
      oldUser = qv::Narrow(buf);
    RegCloseKey(k);
    wchar_t personal[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, personal, CSIDL_PERSONAL, FALSE);
    oldShell = qv::Narrow(personal);
  }
  auto setPersonal = [&](const std::string& userValue, DWORD type, const std::string& shellValue) {
    HKEY k;
    if (RegOpenKeyExW(kCU, qv::Widen(userShellFolders).c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
      std::wstring w = qv::Widen(userValue);
      RegSetValueExW(k, L"Personal", 0, type, (const BYTE*)w.c_str(), (DWORD)((w.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(k);
    }
    RegSetString(kCU, shellFolders, "Personal", shellValue);
  };
  setPersonal(moved, REG_SZ, moved);
  wchar_t nowPersonal[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, nowPersonal, CSIDL_PERSONAL, FALSE);
  const bool redirected = qv::SameText(qv::Narrow(nowPersonal), moved);
  const std::string profileFile = qv::IncludeTrailingBackslash(qv::Narrow(profile)) + "qv-profile.txt";
  WriteFile(profileFile, 10);
  std::vector<int> counts;
  for (const std::string& folder : {qv::Narrow(profile), movedRootShort}) {
    ScopedTempFolder tmp(folder);
    counts.push_back(Run("Windows - Temporary Files", qv::rmTest).Count);
  }
  DeleteFileW(qv::Widen(profileFile).c_str());
  if (!oldUser.empty()) {
    setPersonal(oldUser, oldUserType, oldShell);
  } else {
    RegDeleteValueName(kCU, userShellFolders, "Personal");
    RegSetString(kCU, shellFolders, "Personal", oldShell);
  }
  ASSERT_TRUE(redirected) << qv::Narrow(nowPersonal);
  EXPECT_NE(movedRootShort.find('~'), std::string::npos) << movedRootShort;
  EXPECT_EQ(counts, (std::vector<int>{0, 0}));
  EXPECT_TRUE(messages_.Messages.empty());
}

TEST_F(WindowsCleaners, ClipboardOnlyInARemovalRun) {
  auto put = [this] { ASSERT_TRUE(PutClipboardText(window_.Handle(), L"secret")); };
  put();
  CleanerResult test = Run("Windows - Clipboard", qv::rmTest);
  EXPECT_EQ(test.Count, 0);
  EXPECT_EQ(test.SizeText, "0");
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  CleanerResult clean = Run("Windows - Clipboard", qv::rmClean);
  EXPECT_EQ(clean.Count, 0);
  EXPECT_EQ(clean.SizeText, "0");
  EXPECT_TRUE(clean.Lines.empty());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST_F(WindowsCleaners, MemoryDumps) {
  const std::string win = WindowsFolderPath();
  RemoveTree(win + "MiniDump");
  WriteFile(win + "memory.dmp", 1000);
  WriteFile(win + "MiniDump\\a.dmp", 100);
  WriteFile(win + "MiniDump\\B.DMP", 200);
  WriteFile(win + "MiniDump\\c.txt", 5);
  WriteFile(win + "MiniDump\\sub\\d.dmp", 7);
  WriteFile(win + "qvother.dmp", 10);

  // A Clean of the Windows folder follows only a Test that found exactly the dumps.
  CleanerResult test = Run("Windows - Memory Dumps", qv::rmTest);
  ASSERT_EQ(test.Count, 3);
  EXPECT_EQ(test.Bytes, 1300u);
  CleanerResult clean = Run("Windows - Memory Dumps", qv::rmClean);
  EXPECT_EQ(clean.Count, 3);
  EXPECT_EQ(clean.Bytes, 1300u);
  EXPECT_FALSE(qv::FileExists(win + "memory.dmp"));
  EXPECT_FALSE(qv::FileExists(win + "MiniDump\\B.DMP"));
  EXPECT_TRUE(qv::FileExists(win + "MiniDump\\c.txt"));
  EXPECT_TRUE(qv::FileExists(win + "MiniDump\\sub\\d.dmp"));
  EXPECT_TRUE(qv::FileExists(win + "qvother.dmp"));

  // The dump Windows writes is MEMORY.DMP: the name is matched in any letter case.
  WriteFile(win + "MEMORY.DMP", 1000);
  ASSERT_EQ(Run("Windows - Memory Dumps", qv::rmTest).Count, 1);
  EXPECT_EQ(Run("Windows - Memory Dumps", qv::rmClean).Count, 1);
  EXPECT_FALSE(qv::FileExists(win + "MEMORY.DMP"));
  EXPECT_TRUE(qv::FileExists(win + "qvother.dmp"));
  DeleteFileW(qv::Widen(win + "qvother.dmp").c_str());
  RemoveTree(win + "MiniDump");
}

TEST_F(WindowsCleaners, ChkdskFragmentsInTheSystemFolderOnly) {
  wchar_t buf[MAX_PATH] = {};
  GetSystemDirectoryW(buf, MAX_PATH);
  const std::string sys = qv::Narrow(buf) + "\\";
  WriteFile(sys + "FILE0001.CHK", 100);
  WriteFile(sys + "file0002.chk", 200);
  WriteFile(sys + "qvother.chk", 5);
  WriteFile(sys + "File0003.chk.txt", 5);
  WriteFile("C:\\FILE0004.CHK", 5);

  // A Clean of the system folder follows only a Test that found exactly the fragments.
  CleanerResult test = Run("Windows - Chkdsk File Fragments", qv::rmTest);
  ASSERT_EQ(test.Count, 2);
  EXPECT_EQ(test.Bytes, 300u);
  CleanerResult clean = Run("Windows - Chkdsk File Fragments", qv::rmClean);
  EXPECT_EQ(clean.Count, 2);
  EXPECT_FALSE(qv::FileExists(sys + "FILE0001.CHK"));
  EXPECT_FALSE(qv::FileExists(sys + "file0002.chk"));
  EXPECT_TRUE(qv::FileExists(sys + "qvother.chk"));
  EXPECT_TRUE(qv::FileExists(sys + "File0003.chk.txt"));
  EXPECT_TRUE(qv::FileExists("C:\\FILE0004.CHK"));
  for (const std::string& f : {sys + "qvother.chk", sys + "File0003.chk.txt", std::string("C:\\FILE0004.CHK")})
    DeleteFileW(qv::Widen(f).c_str());
}

}  // namespace

// A bin that the shell keeps (not a "Recycled" folder of the oldest systems): a Test counts what
// the shell reports for the drive, and the Clean empties it and removes exactly that.
TEST_F(WindowsCleaners, ShellBinCountsInTheTestWhatTheCleanEmpties) {
  RemoveTree("C:\\Recycled");
  // The prefix's bin lies inside the build folder (Wine keeps it under the prefix's HOME).
  SHEmptyRecycleBinW(nullptr, L"C:\\", SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
  SandboxFolder box("ShellBin");
  WriteFile(box / "one.txt", 1000);
  WriteFile(box / "two.txt", 3000);
  std::wstring from = qv::Widen(box / "one.txt") + L'\0' + qv::Widen(box / "two.txt") + L'\0';
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  ASSERT_EQ(SHFileOperationW(&op), 0);
  ASSERT_FALSE(qv::FileExists(box / "one.txt"));

  // The two files the test put there, 1000 and 3000 bytes.
  CleanerResult test = Run("Windows - Empty Recycle Bin", qv::rmTest);
  EXPECT_EQ(test.Count, 2);
  EXPECT_EQ(test.Bytes, 4000u);
  EXPECT_EQ(test.SizeText, "4");
  qv::OptionsSetting.ShowLogRecycleBin = true;
  CleanerResult clean = Run("Windows - Empty Recycle Bin", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting the recycle bin of c:\\ (2 items)"), 1);
  // Read back through the shell's own view of the bin.
  SHQUERYRBINFO info = {};
  info.cbSize = sizeof(info);
  ASSERT_EQ(SHQueryRecycleBinW(L"C:\\", &info), S_OK);
  EXPECT_EQ(info.i64NumItems, 0);
  EXPECT_EQ(Run("Windows - Empty Recycle Bin", qv::rmTest).Count, 0);
}
