// 64-bit Windows as both builds see it: what a cleaner reads under HKEY_LOCAL_MACHINE\Software, in
// the Uninstall keys and in the system folder, it finds in both views (the native one and the one
// 32-bit programs see), each distinct key or folder once. On 32-bit Windows there is one view, and
// a key seen through two views is still taken once.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include "base/Global.h"
#include "base/Wow64.h"
#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "engine/Definitions.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

const char* const kKey = "Software\\QuorvaneTest\\Wow";

void SetValueInView(const std::string& path, const std::string& name, REGSAM view) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, qv::Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, qv::Widen(name).c_str(), 0, REG_SZ, (const BYTE*)L"x", 4);
  RegCloseKey(key);
}

bool ValueInView(const std::string& path, const std::string& name, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, qv::Widen(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return false;
  bool found = RegQueryValueExW(key, qv::Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

void DeleteInBothViews(const std::string& path) {
  for (REGSAM view : {(REGSAM)KEY_WOW64_64KEY, (REGSAM)KEY_WOW64_32KEY}) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
      SHDeleteKeyW(key, L"QuorvaneTest");
      RegCloseKey(key);
    }
  }
}

class Wow64 : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCleanerSettings();
    DeleteInBothViews(kKey);
  }
  void TearDown() override {
    DeleteInBothViews(kKey);
    qv::SetRegistryViewsForTesting({});
    DeleteFileW(qv::Widen(list_).c_str());
  }
  CleanerResult RunList(int mode) {
    return RunOnThread(window_, mode,
                       [](qv::TCleanRun& run) { qv::RunDefinitionSection(run, "Clist.dat", "Custom Lists - <New List>"); });
  }
  TestWindow window_;
  MessageRecorder messages_;
  std::string list_ = qv::ExeFolder() + "Clist.dat";
};

}  // namespace

TEST_F(Wow64, MachineRegistryEntriesReachBothViews) {
  const bool wide = qv::Is64BitWindows();
  EXPECT_EQ(wide, sizeof(void*) == 8 || qv::IsWow64());
  SetValueInView(kKey, "Trace", KEY_WOW64_64KEY);
  SetValueInView(kKey, "Trace", KEY_WOW64_32KEY);
  SetValueInView(kKey, "Keep", KEY_WOW64_64KEY);
  SetValueInView(kKey, "Keep", KEY_WOW64_32KEY);
  SetValueInView(std::string(kKey) + "\\Gone", "v", KEY_WOW64_64KEY);
  SetValueInView(std::string(kKey) + "\\Gone", "v", KEY_WOW64_32KEY);
  WriteTextFile(list_, "[<New List>]\r\n"
                       "DelRegValue1=HKEY_LOCAL_MACHINE\\" + std::string(kKey) + ",Trace\r\n"
                       "DelRegValue2=HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "\\Gone\r\n");
  // Each view holds its own copy on 64-bit Windows; on 32-bit Windows both writes went to one key.
  const int copies = wide ? 2 : 1;
  CleanerResult test = RunList(qv::rmTest);
  ASSERT_EQ(test.Count, 2 * copies);
  const std::string value = "Test: deleting registry value HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "\\Trace";
  EXPECT_EQ(CountLinesStartingWith(test.Lines, value), copies);
  if (wide) {
    EXPECT_EQ(CountLinesStartingWith(test.Lines, value + " (32-bit)"), 1);
  }
  CleanerResult clean = RunList(qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  for (REGSAM view : {(REGSAM)KEY_WOW64_64KEY, (REGSAM)KEY_WOW64_32KEY}) {
    EXPECT_FALSE(ValueInView(kKey, "Trace", view)) << view;
    EXPECT_FALSE(ValueInView(std::string(kKey) + "\\Gone", "v", view)) << view;
    EXPECT_TRUE(ValueInView(kKey, "Keep", view)) << view;
  }
}

// The classes keep a copy of some keys for 32-bit programs (CLSID): a line that names one reaches
// both copies in either build, the 32-bit one marked, as under HKEY_LOCAL_MACHINE\Software.
TEST_F(Wow64, ClassesEntriesReachBothViews) {
  const bool wide = qv::Is64BitWindows();
  const std::string clsid = "CLSID\\{0D5A1C6E-7E1B-4C53-9A57-51A7E5E2B0C1}";
  const std::vector<REGSAM> views =
      wide ? std::vector<REGSAM>{KEY_WOW64_64KEY, KEY_WOW64_32KEY} : std::vector<REGSAM>{0};
  for (REGSAM view : views) RegSetStringInView(HKEY_CLASSES_ROOT, clsid, "InprocServer32", "x", view);
  WriteTextFile(list_, "[<New List>]\r\nDelRegValue1=HKEY_CLASSES_ROOT\\" + clsid + "\r\n");
  CleanerResult test = RunList(qv::rmTest);
  ASSERT_EQ(test.Count, (int)views.size());
  const std::string line = "Test: deleting registry key HKEY_CLASSES_ROOT\\" + clsid;
  EXPECT_EQ(CountLinesStartingWith(test.Lines, line), (int)views.size());
  EXPECT_EQ(CountLinesStartingWith(test.Lines, line + " (32-bit)"), wide ? 1 : 0);
  EXPECT_EQ(RunList(qv::rmClean).Count, test.Count);
  for (REGSAM view : views) {
    EXPECT_FALSE(RegValueExistsInView(HKEY_CLASSES_ROOT, clsid, "InprocServer32", view)) << view;
    RegDeleteTreeInView(HKEY_CLASSES_ROOT, clsid, view);
  }
}

// A key that is not redirected is one key in both views: it is taken once (also when the test
// makes a 32-bit system look at it through two views).
TEST_F(Wow64, AKeyThatIsNotRedirectedCountsOnce) {
  qv::SetRegistryViewsForTesting({KEY_WOW64_64KEY, KEY_WOW64_32KEY});
  const std::string shared = "System\\QuorvaneTest";
  SetValueInView(shared, "Trace", 0);
  WriteTextFile(list_, "[<New List>]\r\nDelRegValue1=HKEY_LOCAL_MACHINE\\" + shared + "\r\n");
  CleanerResult test = RunList(qv::rmTest);
  EXPECT_EQ(test.Count, 1);
  EXPECT_EQ(RunList(qv::rmClean).Count, 1);
  HKEY key;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, qv::Widen(shared).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

// Check-disk fragments in both system folders: the real System32 and SysWOW64.
TEST_F(Wow64, ChkdskFragmentsInBothSystemFolders) {
  const std::vector<std::string> folders = qv::SystemFolders();
  ASSERT_EQ(folders.size(), qv::Is64BitWindows() ? 2u : 1u);
  std::vector<std::string> made;
  {
    qv::TNativeFileSystemView native;
    for (const std::string& folder : folders) {
      made.push_back(folder + "\\FILE0042.CHK");
      WriteFile(made.back(), 100);
    }
    WriteFile(folders[0] + "\\qv-keep.chk", 10);
  }
  qvtest::TestWindow window;
  qv::TCleanerFn clean = nullptr;
  ASSERT_TRUE(qv::BuiltinCleaners().Find("Windows - Chkdsk File Fragments", clean));
  CleanerResult test = RunCleaner(window, qv::rmTest, clean);
  ASSERT_EQ(test.Count, (int)made.size());
  EXPECT_EQ(RunCleaner(window, qv::rmClean, clean).Count, test.Count);
  qv::TNativeFileSystemView native;
  for (const std::string& f : made) EXPECT_FALSE(qv::FileExists(f)) << f;
  EXPECT_TRUE(qv::FileExists(folders[0] + "\\qv-keep.chk"));
  DeleteFileW(qv::Widen(folders[0] + "\\qv-keep.chk").c_str());
}

// Programs of both kinds are installed programs: an Uninstall entry in the 32-bit view offers its
// application's item in either build.
TEST_F(Wow64, InstalledProgramsOfBothKindsOfferTheirItems) {
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuorvaneTestWow";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, qv::Widen(uninstall).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, (const BYTE*)L"Qvwow Tool 2.0", 30);
  RegCloseKey(key);
  const std::string zelbrin = qv::ExeFolder() + "qvwow-zelbrin.dat";
  WriteTextFile(zelbrin, "[Qvwow Tool]\r\nDelFile1=C:\\qvwow,*.tmp\r\n");
  qv::TCatalogue c = qv::BuiltinCatalogue();
  c.BuildApplicationsCategory(zelbrin);
  const qv::TCategory* apps = c.FindCategory("Applications");
  ASSERT_NE(apps, nullptr);
  ASSERT_EQ(apps->Items.size(), 1u);
  EXPECT_EQ(apps->Items[0].Text, "Qvwow Tool");
  DeleteFileW(qv::Widen(zelbrin).c_str());
  HKEY parent;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, &parent) == ERROR_SUCCESS) {
    SHDeleteKeyW(parent, L"QuorvaneTestWow");
    RegCloseKey(parent);
  }
}

TEST_F(Wow64, ProgramFilesOfBothKinds) {
  const std::vector<std::string> folders = qv::ProgramFilesFolders();
  ASSERT_FALSE(folders.empty());
  for (const std::string& f : folders) EXPECT_TRUE(qv::DirectoryExists(f)) << f;
  if (qv::Is64BitWindows()) {
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_TRUE(qv::SameText(folders[1], folders[0] + " (x86)")) << folders[0] << " / " << folders[1];
  } else {
    EXPECT_EQ(folders.size(), 1u);
  }
}

// %ProgramFiles% in a definition stands for both Program Files folders of 64-bit Windows.
TEST_F(Wow64, ProgramFilesEntriesReachBothFolders) {
  const std::vector<std::string> folders = qv::ProgramFilesFolders();
  for (const std::string& f : folders) WriteFile(f + "\\QvWow\\trace.tmp", 100);
  WriteFile(folders[0] + "\\QvWow\\keep.txt", 10);
  WriteTextFile(list_, "[<New List>]\r\nDelFile1=%ProgramFiles%\\QvWow,*.tmp\r\n");
  CleanerResult test = RunList(qv::rmTest);
  ASSERT_EQ(test.Count, (int)folders.size());
  EXPECT_EQ(RunList(qv::rmClean).Count, test.Count);
  for (const std::string& f : folders) EXPECT_FALSE(qv::FileExists(f + "\\QvWow\\trace.tmp")) << f;
  EXPECT_TRUE(qv::FileExists(folders[0] + "\\QvWow\\keep.txt"));
  for (const std::string& f : folders) RemoveTree(f + "\\QvWow");
}
