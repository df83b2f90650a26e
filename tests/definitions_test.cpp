// Definition files: parsing of entry lines and macros, the shipped Zelbrin.dat, the runner against
// the prefix's registry and folders, and the Windows version helpers it relies on.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include <shlobj.h>

#include "base/PathHelpers.h"
#include "base/WindowsVersion.h"
#include "base/Wow64.h"
#include "cleaners/Cleaners.h"
#include "dialogs/CustomListEditor.h"
#include "engine/Catalogue.h"
#include "engine/Definitions.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;
using qv::TDefinitionEntry;

namespace {

// ---------------------------------------------------------------------------------------------
// Pure parts

TEST(DefinitionSectionName, TextAfterTheFirstDash) {
  struct Case {
    const char* item;
    const char* section;
  } cases[] = {
      {"Custom Lists - <New List>", "<New List>"},
      {"Windows - Windows Log Files", "Windows Log Files"},
      {"Applications - Foo - Bar", "Foo - Bar"},
      {"Applications - 7-Zip", "7-Zip"},
      {"Advanced - Yahoo! Toolbar History", "Yahoo! Toolbar History"},
      {"NoDash", "NoDash"},
  };
  for (const auto& c : cases) EXPECT_EQ(qv::DefinitionSectionName(c.item), c.section) << c.item;
}

TEST(ParseDefinitionLine, EntryKindsAndForms) {
  struct Case {
    const char* line;
    qv::TDefinitionKind kind;
    const char* root;
    const char* keyPath;
    const char* valueName;
    const char* firstPart;
    const char* rest;
    const char* mask;
  } cases[] = {
      {"DelRegValue1=HKEY_CURRENT_USER\\Software\\Foo", qv::dkRegistryKey, "HKEY_CURRENT_USER", "Software\\Foo", "",
       "", "", ""},
      {"DelRegValue2=hkey_current_user\\Software\\Foo,", qv::dkRegistryValues, "HKEY_CURRENT_USER", "Software\\Foo",
       "", "", "", ""},
      {"DelRegValue3=HKEY_CURRENT_USER\\Software\\Foo,Bar", qv::dkRegistryValues, "HKEY_CURRENT_USER",
       "Software\\Foo", "Bar", "", "", ""},
      {"DelRegValue4=HKEY_LOCAL_MACHINE\\Software\\Foo,Bar,Baz", qv::dkRegistryValues, "HKEY_LOCAL_MACHINE",
       "Software\\Foo", "Bar,Baz", "", "", ""},
      {"DelRegValue5=Hkey_Users\\.DEFAULT\\Foo", qv::dkRegistryKey, "HKEY_USERS", ".DEFAULT\\Foo", "", "", "", ""},
      {"DelFile1=C:\\Temp\\Old", qv::dkFolder, "", "", "", "C:", "Temp\\Old", ""},
      {"DelFile2=C:\\Temp\\Old,*.log", qv::dkFileMask, "", "", "", "C:", "Temp\\Old", "*.log"},
      {"DelFile3=C:\\Temp\\Old,notes.txt", qv::dkFileMask, "", "", "", "C:", "Temp\\Old", "notes.txt"},
      {"DelFile4=%windir%\\Temp", qv::dkFolder, "", "", "", "%windir%", "Temp", ""},
      {"DelFile5={C: Drive}", qv::dkFolder, "", "", "", "{C: Drive}", "", ""},
      {"DelFile6=%windir%\\,*.log", qv::dkFileMask, "", "", "", "%windir%", "", "*.log"},
      {"DelFile7={Local AppData}\\App\\*\\Cache", qv::dkFolder, "", "", "", "{Local AppData}", "App\\*\\Cache", ""},
      {"LockFile1={Local AppData}\\App\\lockfile", qv::dkLockFile, "", "", "", "{Local AppData}", "App\\lockfile", ""},
  };
  for (const auto& c : cases) {
    TDefinitionEntry e = qv::ParseDefinitionLine(c.line);
    EXPECT_EQ(e.Kind, c.kind) << c.line;
    EXPECT_EQ(e.RootName, c.root) << c.line;
    EXPECT_EQ(e.KeyPath, c.keyPath) << c.line;
    EXPECT_EQ(e.ValueName, c.valueName) << c.line;
    EXPECT_EQ(e.FirstPart, c.firstPart) << c.line;
    EXPECT_EQ(e.Rest, c.rest) << c.line;
    EXPECT_EQ(e.Mask, c.mask) << c.line;
  }
}

TEST(ParseDefinitionLine, LinesThatDoNothing) {
  const char* lines[] = {
      "DelRegValue1 HKEY_CURRENT_USER\\Software\\Foo",  // no "="
      "DelRegValue1=HKCU\\Software\\Foo",                // abbreviated root
      "DelRegValue1=HKEY_CURRENT_USER",                  // no key at all
      "DelRegValue1=HKEY_CURRENT_USER\\",                // the whole root
      "LockFile1=C:",                                    // a lock file without a folder
      "DelRegValue1=HKEY_CURRENT_USER\\,",               // every value of the whole root
      "DelRegValue1=HKEY_LOCAL_MACHINE\\\\,Foo",         // still the root itself
      "Other1=C:\\Temp",                                 // neither kind
      "delfile1=C:\\Temp",                               // kinds are case-sensitive
      // The kind comes from the key: a registry entry that mentions DelFile in its value stays a
      // registry entry and never becomes a folder relative to the current one.
      "Note=HKEY_CURRENT_USER\\Software\\DelFileTool",
  };
  for (const char* line : lines) EXPECT_EQ(qv::ParseDefinitionLine(line).Kind, qv::dkNone) << line;

  TDefinitionEntry e = qv::ParseDefinitionLine("DelRegValue1=HKEY_CURRENT_USER\\Software\\DelFileTool");
  EXPECT_EQ(e.Kind, qv::dkRegistryKey);
}

qv::TDefinitionMacros SampleMacros() {
  qv::TDefinitionMacros m;
  m.ProgramFiles = "C:\\Program Files";
  m.WinDir = "C:\\windows";
  m.LocalAppData = "C:\\users\\u\\AppData\\Local";
  m.CurrentAppData = "C:\\users\\u\\AppData\\Roaming";
  m.CommonAppData = "C:\\ProgramData";
  return m;
}

TEST(DefinitionFolder, MacrosAreExactAndNothingLandsOnTheCurrentDrive) {
  struct Case {
    const char* line;
    const char* folder;  // empty: the entry is skipped
  } cases[] = {
      {"DelFile1=%ProgramFiles%\\App\\Cache", "C:\\Program Files\\App\\Cache"},
      {"DelFile1=%windir%\\Temp", "C:\\windows\\Temp"},
      {"DelFile1={Local AppData}\\App,*.tmp", "C:\\users\\u\\AppData\\Local\\App"},
      {"DelFile1={Current AppData}\\App\\Logs", "C:\\users\\u\\AppData\\Roaming\\App\\Logs"},
      {"DelFile1={Common AppData}\\App", "C:\\ProgramData\\App"},
      {"DelFile1={C: Drive}", "C:\\"},
      {"DelFile1={C: Drive}\\Temp,*.tmp", "C:\\Temp"},
      {"DelFile1=C:\\Temp\\Old", "C:\\Temp\\Old"},
      {"DelFile1=C:", "C:\\"},
      {"DelFile1=\\\\server\\share\\Old", "\\\\server\\share\\Old"},
      // Macros are case-sensitive: these are plain relative names, which are never used.
      {"DelFile1=%WINDIR%\\Temp", ""},
      {"DelFile1=%ProgramFILES%\\App", ""},
      {"DelFile1={local appdata}\\App", ""},
      // Relative to the current folder, or rooted at the current drive.
      {"DelFile1=Temp", ""},
      {"DelFile1=Temp\\Old", ""},
      {"DelFile1=\\Windows", ""},
      {"DelFile1=\\", ""},
      // Wildcard steps keep the form of the folders they stand for.
      {"DelFile1={Local AppData}\\App\\*\\Cache", "C:\\users\\u\\AppData\\Local\\App\\*\\Cache"},
      {"DelFile1=*\\Cache", ""},
      {"LockFile1={Local AppData}\\App\\lockfile", "C:\\users\\u\\AppData\\Local\\App\\lockfile"},
  };
  qv::TDefinitionMacros m = SampleMacros();
  for (const auto& c : cases)
    EXPECT_EQ(qv::DefinitionFolder(qv::ParseDefinitionLine(c.line), m), c.folder) << c.line;

  // A macro whose source is missing has an empty base: its entries are skipped rather than rooted
  // at the current drive.
  m.LocalAppData.clear();
  EXPECT_EQ(qv::DefinitionFolder(qv::ParseDefinitionLine("DelFile1={Local AppData}\\App"), m), "");
  EXPECT_EQ(qv::DefinitionFolder(qv::ParseDefinitionLine("DelFile1={Local AppData}\\App,*.*"), m), "");
}

TEST(DefinitionMacros, ReadFromThisSystem) {
  qv::TDefinitionMacros m = qv::ReadDefinitionMacros();
  wchar_t win[MAX_PATH] = {};
  GetWindowsDirectoryW(win, MAX_PATH);
  EXPECT_EQ(m.WinDir, qv::Narrow(win));
  EXPECT_TRUE(qv::DirectoryExists(m.ProgramFiles)) << m.ProgramFiles;
  EXPECT_TRUE(qv::DirectoryExists(m.LocalAppData)) << m.LocalAppData;
  EXPECT_TRUE(qv::DirectoryExists(m.CurrentAppData)) << m.CurrentAppData;
  EXPECT_TRUE(qv::DirectoryExists(m.CommonAppData)) << m.CommonAppData;
  EXPECT_NE(m.LocalAppData, m.CurrentAppData);
}

TEST(WindowsVersionClass, ClassifiesEachVersion) {
  struct Case {
    DWORD major, minor;
    int cls;
  } cases[] = {
      {3, 51, 5}, {4, 0, 6},  {5, 0, 7},  {5, 1, 9},  {5, 2, 10}, {5, 3, 7},
      {6, 0, 11}, {6, 1, 11}, {6, 3, 11}, {10, 0, 11}, {2, 0, 10},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qv::WindowsVersionClassOf(c.major, c.minor), c.cls) << c.major << "." << c.minor;

  // This prefix reports Windows 7; tests may pretend otherwise.
  EXPECT_EQ(qv::WindowsVersionClass(), 11);
  qv::SetWindowsVersionForTesting(5, 1);
  EXPECT_EQ(qv::WindowsVersionClass(), 9);
  qv::ResetWindowsVersionForTesting();
  EXPECT_EQ(qv::WindowsVersionClass(), 11);
}

TEST(GetShortFileName, ShortFormOfAnExistingPathOnly) {
  SandboxFolder box("ShortName");
  std::string longName = box / "A rather long folder name\\Document with spaces.text";
  WriteTextFile(longName, "x");
  std::string shortName = qv::GetShortFileName(longName);
  ASSERT_FALSE(shortName.empty());
  EXPECT_EQ(shortName.find(' '), std::string::npos) << shortName;
  EXPECT_EQ(ReadTextFile(shortName), "x");  // the same file
  EXPECT_EQ(qv::GetShortFileName(box / "missing.txt"), "");
  EXPECT_EQ(qv::GetShortFileName(""), "");
}

// ---------------------------------------------------------------------------------------------
// The shipped Zelbrin.dat

struct RawLine {
  int number;
  std::string section;
  std::string text;
};

std::vector<RawLine> ReadRawLines(const std::string& path) {
  std::vector<RawLine> out;
  std::istringstream in(ReadTextFile(path));
  std::string line, section;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    out.push_back({n, section, line});
  }
  return out;
}

int PathDepth(const std::string& rest) {
  int depth = 0;
  std::string part;
  std::istringstream in(rest);
  while (std::getline(in, part, '\\'))
    if (!part.empty() && part != "..") ++depth;
  return depth;
}

// The folders where the user keeps documents: no entry may name one of them, a folder inside one,
// or a folder that holds one.
std::vector<std::string> UserDocumentFolders() {
  std::vector<std::string> out;
  for (int csidl : {CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO,
                    CSIDL_COMMON_DOCUMENTS, CSIDL_FAVORITES}) {
    wchar_t buf[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE) && buf[0]) out.push_back(qv::Narrow(buf));
  }
  wchar_t profile[MAX_PATH] = {};
  if (SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE)) out.push_back(qv::Narrow(profile) + "\\Downloads");
  return out;
}

std::string FullPath(const std::string& path) {
  wchar_t buf[1024] = {};
  GetFullPathNameW(qv::Widen(path).c_str(), 1024, buf, nullptr);
  return qv::UpperCase(qv::IncludeTrailingBackslash(qv::Narrow(buf)));
}

TEST(ShippedDefinitions, EveryLineIsAWellFormedEntry) {
  const std::string file = qv::ExeFolder() + "Zelbrin.dat";
  ASSERT_TRUE(qv::FileExists(file));
  const std::set<std::string> macros = {"%ProgramFiles%", "%windir%", "{Local AppData}", "{Current AppData}",
                                        "{Common AppData}", "{C: Drive}"};
  std::map<std::string, std::set<std::string>> keysBySection;
  const std::vector<std::string> documents = UserDocumentFolders();
  ASSERT_GE(documents.size(), 5u);
  int entries = 0;
  for (const RawLine& l : ReadRawLines(file)) {
    std::string where = "line " + std::to_string(l.number) + ": " + l.text;
    if (l.text.empty() || l.text[0] == ';') continue;
    ASSERT_FALSE(l.section.empty()) << where;
    TDefinitionEntry e = qv::ParseDefinitionLine(l.text);
    ASSERT_NE(e.Kind, qv::dkNone) << where;
    ++entries;
    std::string key = qv::UpperCase(l.text.substr(0, l.text.find('=')));
    EXPECT_TRUE(keysBySection[l.section].insert(key).second) << "duplicate key, " << where;
    EXPECT_EQ(l.text.find(" ="), std::string::npos) << where;
    EXPECT_EQ(l.text.find("= "), std::string::npos) << where;
    switch (e.Kind) {
      case qv::dkRegistryKey:
        // A whole key goes: never one of the shallow keys that hold other programs' data.
        EXPECT_GE(PathDepth(e.KeyPath), 3) << where;
        break;
      case qv::dkRegistryValues:
        EXPECT_GE(PathDepth(e.KeyPath), 2) << where;
        break;
      case qv::dkFolder:
      case qv::dkFileMask:
      case qv::dkCookieDatabase: {
        bool drive = e.FirstPart.size() == 2 && e.FirstPart[1] == ':';
        EXPECT_TRUE(macros.count(e.FirstPart) || drive) << where;
        EXPECT_FALSE(qv::DefinitionFolder(e, qv::ReadDefinitionMacros()).empty()) << where;
        // A folder that is emptied and removed lies at least two levels below its base, so no
        // entry ever removes a whole application-data or program folder.
        if (e.Kind == qv::dkFolder) {
          EXPECT_GE(PathDepth(e.Rest), 2) << where;
        } else {
          EXPECT_FALSE(e.Mask.empty()) << where;
        }
        std::string folder = FullPath(qv::DefinitionFolder(e, qv::ReadDefinitionMacros()));
        for (const std::string& docs : documents) {
          std::string d = FullPath(docs);
          EXPECT_FALSE(folder == d) << where << " names " << docs;
          EXPECT_FALSE(qv::StartsWith(folder, d)) << where << " lies in " << docs;
          EXPECT_FALSE(qv::StartsWith(d, folder) && folder != d) << where << " holds " << docs;
        }
        break;
      }
      case qv::dkLockFile:
        EXPECT_TRUE(macros.count(e.FirstPart)) << where;
        EXPECT_FALSE(qv::DefinitionFolder(e, qv::ReadDefinitionMacros()).empty()) << where;
        break;
      case qv::dkNone:
        break;
    }
  }
  EXPECT_GT(entries, 100);

  // The profile functions see the same sections and entries.
  std::vector<std::string> sections = qv::IniReadSections(file);
  ASSERT_EQ(sections.size(), keysBySection.size());
  for (const auto& s : sections) EXPECT_EQ(qv::ReadDefinitionSection(file, s).size(), keysBySection[s].size()) << s;
}

TEST(ShippedDefinitions, ServeTheBuiltinItemsAndThirtyApplications) {
  const std::string file = qv::ExeFolder() + "Zelbrin.dat";
  std::vector<std::string> sections = qv::IniReadSections(file);
  const char* builtin[] = {"Windows - Windows Log Files",     "Advanced - Google Toolbar History",
                           "Advanced - MSN Toolbar History",  "Advanced - Yahoo! Toolbar History",
                           "Instant Messengers - ICQ",        "Instant Messengers - AOL Instant Messenger"};
  qv::TCleanerFn clean = nullptr;
  for (const char* item : builtin) {
    ASSERT_FALSE(qv::BuiltinCleaners().Find(item, clean)) << item;
    std::string section = qv::DefinitionSectionName(item);
    EXPECT_FALSE(qv::ReadDefinitionSection(file, section).empty()) << item;
  }
  EXPECT_GE(sections.size(), 6u + 30u);
  // Every section is reachable as an Applications item.
  for (const auto& s : sections) {
    EXPECT_EQ(qv::DefinitionSectionName("Applications - " + s), s);
    EXPECT_FALSE(qv::BuiltinCleaners().Find("Applications - " + s, clean));
  }
}

TEST(ShippedDefinitions, SectionsMatchInstalledProgramsDisplayNames) {
  // Display names as the programs' installers write them in the Uninstall key.
  struct Case {
    const char* displayName;
    const char* section;
  } cases[] = {
      {"7-Zip 9.20", "7-Zip"},
      {"7-Zip 19.00 (x64)", "7-Zip"},
      {"WinRAR 5.91 (32-bit)", "WinRAR"},
      {"WinRAR archiver", "WinRAR"},
      {"WinZip 12.0", "WinZip"},
      {"VLC media player", "VLC media player"},
      {"VLC media player 1.1.11", "VLC media player"},
      {"Windows Media Player 11", "Windows Media Player"},
      {"MPC-HC 1.7.13", "MPC-HC"},
      {"Media Player Classic - Home Cinema v. 1.6.8", "Media Player Classic"},
      {"RealPlayer", "RealPlayer"},
      {"QuickTime 7", "QuickTime"},
      {"Adobe Reader 9.5.0", "Adobe Reader"},
      {"Adobe Reader XI (11.0.10)", "Adobe Reader"},
      {"Adobe Acrobat Reader DC", "Adobe Acrobat"},
      {"Adobe Acrobat 9 Pro", "Adobe Acrobat"},
      {"Foxit Reader", "Foxit Reader"},
      {"SumatraPDF", "SumatraPDF"},
      {"Paint.NET v3.5.11", "Paint.NET"},
      {"Jasc Paint Shop Pro 8", "Paint Shop Pro"},
      {"WinMerge 2.14.0", "WinMerge"},
      {"eMule", "eMule"},
      {"FileZilla Client 3.5.3", "FileZilla Client"},
      {"WinSCP 5.1.4", "WinSCP"},
      {"PuTTY release 0.62", "PuTTY"},
      {"Google Earth", "Google Earth"},
      {"Nero 7 Essentials", "Nero"},
      {"ImgBurn", "ImgBurn"},
      {"Java(TM) 6 Update 31", "Java"},
      {"Java 8 Update 351", "Java"},
      {"Adobe Flash Player 11 ActiveX", "Flash Player"},
      {"Macromedia Flash Player 8", "Flash Player"},
      {"Google Chrome", "Google Chrome"},
      {"Microsoft Edge", "Microsoft Edge"},
      {"Brave", "Brave"},
      {"Vivaldi", "Vivaldi"},
      {"Opera Stable 105.0.4970.48", "Opera Stable"},
      {"Safari", "Safari"},
      {"TeamViewer 8", "TeamViewer"},
      {"Steam", "Steam"},
      {"mIRC", "mIRC"},
      {"Pidgin", "Pidgin"},
  };
  std::vector<std::string> sections = qv::IniReadSections(qv::ExeFolder() + "Zelbrin.dat");
  std::set<std::string> covered;
  for (const auto& c : cases) {
    qv::TCatalogue catalogue = qv::BuiltinCatalogue();
    catalogue.AddApplications(sections, {c.displayName});
    const qv::TCategory* apps = catalogue.FindCategory("Applications");
    ASSERT_NE(apps, nullptr);
    bool found = false;
    for (const auto& item : apps->Items) found = found || item.Text == c.section;
    EXPECT_TRUE(found) << c.displayName << " -> " << c.section;
    covered.insert(c.section);
  }
  // Every application section has a display name above.
  for (const auto& s : sections) {
    static const std::set<std::string> builtin = {"Windows Log Files", "Google Toolbar History",
                                                  "MSN Toolbar History", "Yahoo! Toolbar History", "ICQ",
                                                  "AOL Instant Messenger"};
    if (!builtin.count(s)) {
      EXPECT_TRUE(covered.count(s)) << s;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The runner, on the prefix's registry and folders

class DefinitionRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCleanerSettings();
    qv::TCleanRun::SetAdministratorForTesting(-1);
    qv::ResetWindowsVersionForTesting();
  }
  void TearDown() override {
    DeleteFileW(qv::Widen(listFile_).c_str());
    qv::TCleanRun::SetAdministratorForTesting(-1);
    qv::ResetWindowsVersionForTesting();
  }
  // Writes the definitions beside the test program as Clist.dat.
  void WriteList(const std::string& text) { WriteTextFile(listFile_, text); }
  CleanerResult RunItem(int runMode, const std::string& itemName = "Custom Lists - <New List>") {
    return RunOnThread(window_, runMode,
                       [&](qv::TCleanRun& run) { qv::RunDefinitionSection(run, "Clist.dat", itemName); });
  }

  TestWindow window_;
  std::string listFile_ = qv::ExeFolder() + "Clist.dat";
};

TEST_F(DefinitionRunner, RegistryForms) {
  MessageRecorder messages;
  SandboxKey box("Defs");
  const std::string p = box.Path();
  HKEY cu = HKEY_CURRENT_USER;
  auto build = [&] {
    RegSetString(cu, p + "\\A", "x", "1");
    RegSetString(cu, p + "\\A", "y", "2");
    RegSetString(cu, p + "\\A\\S", "z", "3");
    RegSetString(cu, p + "\\B", "Bar", "1");
    RegSetString(cu, p + "\\B", "Baz", "2");
    RegSetString(cu, p + "\\B\\T", "t1", "3");
    RegSetString(cu, p + "\\B\\T", "t2", "4");
    RegSetString(cu, p + "\\C", "Bar", "1");
    RegSetString(cu, p + "\\C", "Keep", "2");
    RegCreate(cu, p + "\\Empty");
  };
  build();
  WriteList("[<New List>]\r\n"
            "DelRegValue1=HKEY_CURRENT_USER\\" + p + "\\A\r\n"
            "DelRegValue2=hkey_current_user\\" + p + "\\B,\r\n"
            "DelRegValue3=HKEY_CURRENT_USER\\" + p + "\\C,Bar\r\n"
            "DelRegValue4=HKEY_CURRENT_USER\\" + p + "\\C,Missing\r\n"
            "DelRegValue5=HKCU\\" + p + "\\C,Keep\r\n"
            "DelRegValue6=HKEY_CURRENT_USER\\" + p + "\\Empty\r\n"
            "DelRegValue7=HKEY_CURRENT_USER\\" + p + "\\NotThere\r\n");

  // A: 3 values; B: 2 values + 2 in its subkey; C: 1; an empty key counts 1.
  CleanerResult test = RunItem(qv::rmTest);
  ASSERT_EQ(test.Count, 3 + 4 + 1 + 1);
  EXPECT_EQ(test.SizeText, "0");
  EXPECT_TRUE(RegKeyExists(cu, p + "\\A\\S"));
  EXPECT_TRUE(RegValueExists(cu, p + "\\B", "Bar"));
  EXPECT_TRUE(RegValueExists(cu, p + "\\C", "Bar"));
  EXPECT_TRUE(RegKeyExists(cu, p + "\\Empty"));

  CleanerResult clean = RunItem(qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_FALSE(RegKeyExists(cu, p + "\\A"));
  EXPECT_TRUE(RegKeyExists(cu, p + "\\B"));
  EXPECT_FALSE(RegValueExists(cu, p + "\\B", "Bar"));
  EXPECT_FALSE(RegValueExists(cu, p + "\\B", "Baz"));
  EXPECT_FALSE(RegKeyExists(cu, p + "\\B\\T"));
  EXPECT_FALSE(RegValueExists(cu, p + "\\C", "Bar"));
  EXPECT_TRUE(RegValueExists(cu, p + "\\C", "Keep"));
  EXPECT_FALSE(RegKeyExists(cu, p + "\\Empty"));
  EXPECT_TRUE(messages.Messages.empty());

  // The primitives write the lines; the runner adds none of its own.
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting registry key HKEY_CURRENT_USER\\" + p + "\\A"), 1);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting registry value HKEY_CURRENT_USER\\" + p + "\\C\\Bar"),
            1);
  EXPECT_EQ(clean.Lines.size(), test.Lines.size());
}

TEST_F(DefinitionRunner, FileForms) {
  MessageRecorder messages;
  SandboxFolder box("DefsFiles");
  // Old1: a tree that goes whole. Old2: only the .log files directly in it. Old3: one exact name.
  WriteFile(box / "Old1\\a.txt", 1000);
  WriteFile(box / "Old1\\sub\\b.txt", 2000);
  WriteFile(box / "Old1\\sub\\deeper\\c.bin", 3000);
  WriteFile(box / "Old2\\a.log", 100);
  WriteFile(box / "Old2\\B.LOG", 200);
  WriteFile(box / "Old2\\keep.txt", 300);
  WriteFile(box / "Old2\\sub\\c.log", 400);
  WriteFile(box / "Old3\\notes.txt", 10);
  WriteFile(box / "Old3\\notes.txt.bak", 20);
  WriteFile(box / "Old3\\Xnotes.txt", 30);
  WriteFile(box / "Old1.txt", 5);  // beside the folder that goes
  std::string b = qv::ExcludeTrailingBackslash(box.Path());
  WriteList("[<New List>]\r\n"
            "DelFile1=" + b + "\\Old1\r\n"
            "DelFile2=" + b + "\\Old2,*.log\r\n"
            "DelFile3=" + b + "\\Old3,notes.txt\r\n"
            "DelFile4=" + b + "\\Missing\r\n"
            "DelFile5=" + b + "\\Missing,*.*\r\n");

  CleanerResult test = RunItem(qv::rmTest);
  ASSERT_EQ(test.Count, 3 + 2 + 1);
  EXPECT_EQ(test.Bytes, 6000u + 300u + 10u);
  EXPECT_EQ(test.SizeText, "7");
  EXPECT_TRUE(qv::FileExists(box / "Old1\\sub\\deeper\\c.bin"));
  EXPECT_TRUE(qv::FileExists(box / "Old2\\a.log"));
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting "), 6);

  CleanerResult clean = RunItem(qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_FALSE(qv::DirectoryExists(box / "Old1"));
  EXPECT_TRUE(qv::FileExists(box / "Old1.txt"));
  EXPECT_FALSE(qv::FileExists(box / "Old2\\a.log"));
  EXPECT_FALSE(qv::FileExists(box / "Old2\\B.LOG"));
  EXPECT_TRUE(qv::FileExists(box / "Old2\\keep.txt"));
  EXPECT_TRUE(qv::FileExists(box / "Old2\\sub\\c.log"));
  EXPECT_FALSE(qv::FileExists(box / "Old3\\notes.txt"));
  EXPECT_TRUE(qv::FileExists(box / "Old3\\notes.txt.bak"));
  EXPECT_TRUE(qv::FileExists(box / "Old3\\Xnotes.txt"));
  EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(DefinitionRunner, MacrosNameTheirFolders) {
  MessageRecorder messages;
  qv::TDefinitionMacros m = qv::ReadDefinitionMacros();
  struct Case {
    const char* macro;
    std::string base;
  } cases[] = {{"%ProgramFiles%", m.ProgramFiles},     {"%windir%", m.WinDir},
               {"{Local AppData}", m.LocalAppData},    {"{Current AppData}", m.CurrentAppData},
               {"{Common AppData}", m.CommonAppData},  {"{C: Drive}", "C:\\"}};
  std::string list = "[<New List>]\r\n";
  int n = 0;
  for (const auto& c : cases) {
    ASSERT_FALSE(c.base.empty()) << c.macro;
    WriteFile(qv::IncludeTrailingBackslash(c.base) + "QvDefsMacro\\f.tmp", 100);
    list += "DelFile" + std::to_string(++n) + "=" + c.macro + "\\QvDefsMacro\r\n";
  }
  // In capitals %WINDIR% is no macro: the entry names a relative folder, which is never used, so
  // neither the Windows folder's nor the current folder's QvDefsUpper goes.
  WriteFile(m.WinDir + "\\QvDefsUpper\\f.tmp", 100);
  WriteFile(qv::ExeFolder() + "%WINDIR%\\QvDefsUpper\\f.tmp", 100);
  list += "DelFile" + std::to_string(++n) + "=%WINDIR%\\QvDefsUpper\r\n";
  WriteList(list);

  // The Clean below reaches real system folders: it runs only after a Test that found exactly the
  // files made here.
  CleanerResult test = RunItem(qv::rmTest);
  ASSERT_EQ(test.Count, 6);
  CleanerResult clean = RunItem(qv::rmClean);
  EXPECT_EQ(clean.Count, 6);
  for (const auto& c : cases)
    EXPECT_FALSE(qv::DirectoryExists(qv::IncludeTrailingBackslash(c.base) + "QvDefsMacro")) << c.macro;
  EXPECT_TRUE(qv::FileExists(m.WinDir + "\\QvDefsUpper\\f.tmp"));
  EXPECT_TRUE(qv::FileExists(qv::ExeFolder() + "%WINDIR%\\QvDefsUpper\\f.tmp"));
  RemoveTree(m.WinDir + "\\QvDefsUpper");
  RemoveTree(qv::ExeFolder() + "%WINDIR%");
  EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(DefinitionRunner, MissingMacroSourceSkipsTheEntry) {
  MessageRecorder messages;
  const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  qv::TDefinitionMacros before = qv::ReadDefinitionMacros();
  ASSERT_FALSE(before.LocalAppData.empty());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, qv::Widen(shellFolders).c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegDeleteValueW(key, L"Local AppData");
  // Without its source the entry would name \QvDefsRooted on the current drive.
  WriteFile("C:\\QvDefsRooted\\f.tmp", 100);
  WriteList("[<New List>]\r\nDelFile1={Local AppData}\\QvDefsRooted\r\n");

  CleanerResult clean = RunItem(qv::rmClean);

  RegSetString(HKEY_CURRENT_USER, shellFolders, "Local AppData", before.LocalAppData);
  RegCloseKey(key);
  EXPECT_EQ(clean.Count, 0);
  EXPECT_TRUE(qv::FileExists("C:\\QvDefsRooted\\f.tmp"));
  RemoveTree("C:\\QvDefsRooted");
  EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(DefinitionRunner, DriveRootIsAskedFirst) {
  MessageRecorder messages(IDNO);
  WriteFile("C:\\qvdefs-root.qvcanary", 10);
  WriteList("[<New List>]\r\nDelFile1={C: Drive}\\,*.qvcanary\r\n");

  CleanerResult test = RunItem(qv::rmTest);
  ASSERT_EQ(test.Count, 1);
  EXPECT_TRUE(messages.Messages.empty());  // a Test asks nothing

  CleanerResult clean = RunItem(qv::rmClean);
  ASSERT_EQ(messages.Messages.size(), 1u);
  EXPECT_EQ(messages.Messages[0].Text, "Do you want to delete all files and folders under C:\\?");
  EXPECT_EQ(clean.Count, 0);
  EXPECT_TRUE(qv::FileExists("C:\\qvdefs-root.qvcanary"));

  DeleteFileW(L"C:\\qvdefs-root.qvcanary");
}

TEST_F(DefinitionRunner, MachineValuesNeedAnAdministrator) {
  SandboxKey machine("DefsAdmin", HKEY_LOCAL_MACHINE);
  SandboxKey user("DefsAdminUser");
  const std::string m = machine.Path();
  auto build = [&] {
    RegSetString(HKEY_LOCAL_MACHINE, m + "\\V", "One", "1");
    RegSetString(HKEY_LOCAL_MACHINE, m + "\\V", "Two", "2");
    RegSetString(HKEY_LOCAL_MACHINE, m + "\\All", "x", "1");
    RegSetString(HKEY_LOCAL_MACHINE, m + "\\Whole", "x", "1");
    RegSetString(HKEY_CURRENT_USER, user.Path(), "Mine", "1");
  };
  WriteList("[<New List>]\r\n"
            "DelRegValue1=HKEY_LOCAL_MACHINE\\" + m + "\\V,One\r\n"
            "DelRegValue2=HKEY_LOCAL_MACHINE\\" + m + "\\V,Two\r\n"
            "DelRegValue3=hkey_local_machine\\" + m + "\\All,\r\n"
            "DelRegValue4=HKEY_LOCAL_MACHINE\\" + m + "\\Whole\r\n"
            "DelRegValue5=HKEY_CURRENT_USER\\" + user.Path() + ",Mine\r\n");

  struct Case {
    const char* what;
    int admin;
    int runMode;
    int messages;  // "You must have administrators user." boxes per item
    int count;
  } cases[] = {
      {"limited user, Test", 0, qv::rmTest, 1, 2},
      {"limited user, Clean", 0, qv::rmClean, 1, 2},
      {"limited user, unattended", 0, qv::rmUnattended, 0, 2},
      {"administrator", 1, qv::rmClean, 0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    build();
    qv::TCleanRun::SetAdministratorForTesting(c.admin);
    MessageRecorder messages;
    // Two items in a row: the notice comes once per item.
    CleanerResult first = RunItem(c.runMode);
    CleanerResult second = RunItem(c.runMode);
    ASSERT_EQ(first.Count, c.count);
    EXPECT_EQ((int)messages.Messages.size(), 2 * c.messages);
    for (const auto& msg : messages.Messages) {
      EXPECT_EQ(msg.Text, "You must have administrators user.");
      EXPECT_EQ(msg.Caption, "");
      EXPECT_EQ(msg.Type & MB_TYPEMASK, (UINT)MB_OK);
    }
    bool removal = c.runMode != qv::rmTest;
    bool valuesGo = removal && c.count == 5;
    EXPECT_EQ(RegValueExists(HKEY_LOCAL_MACHINE, m + "\\V", "One"), !valuesGo);
    EXPECT_EQ(RegValueExists(HKEY_LOCAL_MACHINE, m + "\\All", "x"), !valuesGo);
    // The key form under the machine's root and the user's values are never gated.
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, m + "\\Whole"), !removal);
    EXPECT_EQ(RegValueExists(HKEY_CURRENT_USER, user.Path(), "Mine"), !removal);
    (void)second;
  }
}

TEST_F(DefinitionRunner, ItemNameSelectsItsSection) {
  MessageRecorder messages;
  SandboxKey box("DefsSections");
  const std::string p = box.Path();
  for (const char* v : {"FooBar", "Foo", "Bar"}) RegSetString(HKEY_CURRENT_USER, p, v, "1");
  WriteList("[Foo]\r\nDelRegValue1=HKEY_CURRENT_USER\\" + p + ",Foo\r\n"
            "[Bar]\r\nDelRegValue1=HKEY_CURRENT_USER\\" + p + ",Bar\r\n"
            "[Foo - Bar]\r\nDelRegValue1=HKEY_CURRENT_USER\\" + p + ",FooBar\r\n");

  CleanerResult clean = RunItem(qv::rmClean, "Applications - Foo - Bar");
  EXPECT_EQ(clean.Count, 1);
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, p, "FooBar"));
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, p, "Foo"));
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, p, "Bar"));

  // A missing section or file is an item with nothing in it.
  EXPECT_EQ(RunItem(qv::rmClean, "Applications - Nothing Here").Count, 0);
  CleanerResult none = RunOnThread(window_, qv::rmClean, [](qv::TCleanRun& run) {
    qv::RunDefinitionSection(run, "NoSuchFile.dat", "Applications - Foo");
  });
  EXPECT_EQ(none.Count, 0);
  EXPECT_EQ(none.SizeText, "0");
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, p, "Foo"));
}

}  // namespace

// Every line of a section runs, once, in file order: a line with an empty key or no "=" is said in
// the log and skipped, the lines after it still run, and a duplicated key runs each of its entries
// once (the profile calls dropped the rest of the section after "=oops", and ran the first of two
// equal keys twice).
TEST_F(DefinitionRunner, EveryLineRunsOnceAndMalformedOnesAreSaid) {
  MessageRecorder messages;
  SandboxFolder box("DefsLines");
  for (const char* name : {"a.log", "b.log", "c.tmp", "d.txt"}) WriteFile(box / name, 100);
  WriteList("[<New List>]\r\n"
            "DelFile1=" + box.Path() + ",a.log\r\n"
            "=oops\r\n"
            "DelFile2=" + box.Path() + ",b.log\r\n"
            "no equals sign here\r\n"
            "DelFile2=" + box.Path() + ",c.tmp\r\n"
            "; a comment\r\n"
            "DelFile3=" + box.Path() + ",a.log\r\n");
  CleanerResult test = RunItem(qv::rmTest);
  // a.log is named twice: each entry runs once, and the file is counted once, as the Clean removes
  // it once.
  EXPECT_EQ(test.Count, 3);
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting " + box.Path() + "a.log"), 1);
  const std::string file = qv::ExeFolder() + "Clist.dat";
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: line 3 of " + file + " is not an entry and was skipped: =oops"), 1);
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: line 5 of " + file +
                                                   " is not an entry and was skipped: no equals sign here"),
            1);
  CleanerResult clean = RunItem(qv::rmClean);
  EXPECT_EQ(clean.Count, 3);
  for (const char* name : {"a.log", "b.log", "c.tmp"}) EXPECT_FALSE(qv::FileExists(box / name)) << name;
  EXPECT_TRUE(qv::FileExists(box / "d.txt"));
}

// A list names a folder with letters beyond ASCII whatever form its file was written in: UTF-8
// with or without a byte-order mark, UTF-16 (either order), or the system's ANSI code page.
TEST_F(DefinitionRunner, ListsAreReadInEveryTextForm) {
  MessageRecorder messages;
  SandboxFolder box("DefsForms");
  const std::string folder = box.Path() + "Caf\xC3\xA9\\";  // "Café"
  const std::string line = "[<New List>]\r\nDelFile1=" + folder + ",*.tmp\r\n";
  const std::wstring wide = qv::Widen(line);
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
  for (wchar_t c : wide) {
    utf16le += (char)(c & 0xFF);
    utf16le += (char)(c >> 8);
    utf16be += (char)(c >> 8);
    utf16be += (char)(c & 0xFF);
  }
  std::string ansi(wide.size() * 2, '\0');
  ansi.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)wide.size(), &ansi[0], (int)ansi.size(), nullptr,
                                  nullptr));
  const std::pair<const char*, std::string> forms[] = {
      {"UTF-8", line}, {"UTF-8 with a mark", "\xEF\xBB\xBF" + line}, {"UTF-16 LE", utf16le}, {"UTF-16 BE", utf16be},
      {"ANSI", ansi}};
  for (const auto& form : forms) {
    SCOPED_TRACE(form.first);
    WriteFile(folder + "trace.tmp", 10);
    WriteList(form.second);
    ASSERT_EQ(RunItem(qv::rmTest).Count, 1);
    EXPECT_EQ(RunItem(qv::rmClean).Count, 1);
    EXPECT_FALSE(qv::FileExists(folder + "trace.tmp"));
  }
}

// A definition file or section that is not there is said in the log, not left as a silent nothing.
TEST_F(DefinitionRunner, MissingFileOrSectionIsSaid) {
  MessageRecorder messages;
  DeleteFileW(qv::Widen(listFile_).c_str());
  CleanerResult none = RunItem(qv::rmTest);
  EXPECT_EQ(none.Count, 0);
  EXPECT_EQ(CountLinesStartingWith(none.Lines, "Test: the definition file " + listFile_ + " does not exist"), 1);
  WriteList("[Another List]\r\nDelFile1=C:\\nothing\r\n");
  CleanerResult other = RunItem(qv::rmClean);
  EXPECT_EQ(CountLinesStartingWith(other.Lines, "Clean: the definition file " + listFile_ +
                                                    " has no section [<New List>]"),
            1);
}

// What the custom list editor writes is one form, UTF-16 with its mark, whatever form the file had:
// letters beyond the system's code page survive, and the runner reads the rows back.
TEST_F(DefinitionRunner, TheEditorWritesOneFormThatKeepsEveryLetter) {
  MessageRecorder messages;
  SandboxFolder box("DefsEditor");
  const std::string folder = box.Path() + "\xD0\x9C\xD0\xB8\xD1\x80 Caf\xC3\xA9";  // Cyrillic and Latin letters
  WriteFile(folder + "\\trace.tmp", 10);
  WriteList("[Other]\r\nDelFile1=C:\\elsewhere\r\n");  // an older file in the ANSI form
  ASSERT_TRUE(qv::WriteCustomList({folder + ",*.tmp"}, listFile_));
  const std::string bytes = ReadTextFile(listFile_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(qv::ReadCustomList(listFile_), std::vector<std::string>{folder + ",*.tmp"});
  EXPECT_EQ(qv::ReadDefinitionSection(listFile_, "Other"), std::vector<std::string>{"DelFile1=C:\\elsewhere"});
  ASSERT_EQ(RunItem(qv::rmTest).Count, 1);
  EXPECT_EQ(RunItem(qv::rmClean).Count, 1);
  EXPECT_FALSE(qv::FileExists(folder + "\\trace.tmp"));
}

// Both builds see the same machine: a line that names the system folder reaches the real System32
// in the x86 build on 64-bit Windows too (never SysWOW64, where the system would redirect it).
TEST_F(DefinitionRunner, LinesReachTheFolderTheyNameInBothBuilds) {
  MessageRecorder messages;
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string system32 = qv::Narrow(windows) + "\\System32\\", syswow64 = qv::Narrow(windows) + "\\SysWOW64\\";
  const std::string name = "qv-both-builds-" + std::to_string(GetCurrentProcessId()) + ".tmp";
  // Written past the redirection, where the system keeps them.
  auto write = [](const std::string& path) {
    qv::TNativeFileSystemView native;
    WriteTextFile(path, "trace");
  };
  auto exists = [](const std::string& path) {
    qv::TNativeFileSystemView native;
    return qv::FileExists(path);
  };
  auto remove = [](const std::string& path) {
    qv::TNativeFileSystemView native;
    DeleteFileW(qv::Widen(path).c_str());
  };
  write(system32 + name);
  const bool wow = qv::Is64BitWindows() && qv::DirectoryExists(syswow64);
  if (wow) write(syswow64 + name);
  WriteList("[<New List>]\r\nDelFile1=%windir%\\System32,qv-both-builds-*.tmp\r\n");
  EXPECT_EQ(RunItem(qv::rmTest).Count, 1);
  EXPECT_EQ(RunItem(qv::rmClean).Count, 1);
  EXPECT_FALSE(exists(system32 + name)) << "the real System32's file goes";
  if (wow) {
    EXPECT_TRUE(exists(syswow64 + name)) << "SysWOW64 is another folder";
  }
  remove(system32 + name);
  remove(syswow64 + name);
}
