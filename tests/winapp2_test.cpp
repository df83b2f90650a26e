// winapp2.ini: the text of its entries and the patterns of its paths, its variables, which
// entries detect as present, the Applications items it adds, and runs of a fixture that uses
// every key kind with its exclusions, warnings and a protected folder.
//
// Every Clean here follows a Test that found exactly what the fixture holds for removal, so that
// a fault cannot reach beyond the fixture.
#include <gtest/gtest.h>

#include <random>

#include "cleaners/Cleaners.h"
#include "apps_test_util.h"
#include "base/Wow64.h"
#include "engine/Catalogue.h"
#include "engine/CleanRun.h"
#include "engine/PathPattern.h"
#include "engine/Winapp2.h"
#include "engine/Winapp2Run.h"
#include "support/Process.h"
#include "support/RecordingHost.h"

using namespace qvtest;

namespace {

// ---------------------------------------------------------------------------------------------
// Pure parts

TEST(NamePattern, StarsQuestionMarksAndCase) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  } cases[] = {
      {"HISTORY", "HISTORY", true},      {"HISTORY-JOURNAL", "HISTORY", false}, {"F_000001", "F_*", true},
      {"DATA_1", "DATA_?", true},        {"DATA_10", "DATA_?", false},          {"A.LOG", "*.LOG", true},
      {"A.LOG.TXT", "*.LOG", false},     {"A", "A*A", false},                   {"ABA", "A*A", true},
      {"NOEXT", "*.*", true},            {"X", "*", true},                      {"CACHE2", "*CACHE*", true},
      {"CAF\xC3\x89", "CAF?", true},     {"CAF\xC3\x89", "CAF??", false},       {"", "?", false},
      {"PROFILE 12", "PROFILE *", true}, {"GUEST PROFILE", "PROFILE *", false},
  };
  for (const auto& c : cases) EXPECT_EQ(qv::MatchesNamePattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
  for (const char* every : {"*.*", "*", "**", "?*", "*?"}) EXPECT_TRUE(qv::MaskTakesEveryFile(every)) << every;
  for (const char* some : {"*.log", "a*", "?", "??", "History"}) EXPECT_FALSE(qv::MaskTakesEveryFile(some)) << some;
}

TEST(FolderSteps, SplitAtTheFirstWildcardStep) {
  struct Case {
    const char* folder;
    qv::TStepRule rule;
    bool usable;
    const char* fixed;
    std::vector<std::string> steps;
  } cases[] = {
      {"C:\\a\\b\\*\\c", qv::srStarOnly, true, "C:\\a\\b\\", {"*", "c"}},
      {"C:\\a\\b", qv::srStarOnly, true, "C:\\a\\b\\", {}},
      {"C:\\a\\Prof*\\c", qv::srStarOnly, true, "C:\\a\\Prof*\\c\\", {}},  // no wildcard step here
      {"C:\\a\\Prof*\\c", qv::srGlob, true, "C:\\a\\", {"Prof*", "c"}},
      {"C:/a/*/*", qv::srStarOnly, true, "C:\\a\\", {"*", "*"}},
      {"\\\\server\\share\\*", qv::srStarOnly, true, "\\\\server\\share\\", {"*"}},
      {"\\\\server\\*\\x", qv::srStarOnly, false, "", {}},
      {"C:\\a\\*\\..\\b", qv::srStarOnly, false, "", {}},
      {"C:\\a\\..\\b\\*", qv::srStarOnly, true, "C:\\a\\..\\b\\", {"*"}},
      {"\\\\?\\C:\\a\\*", qv::srGlob, false, "", {}},
      {"\\\\?\\C:\\a", qv::srGlob, true, "\\\\?\\C:\\a\\", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    qv::TFolderSteps s = qv::SplitFolderSteps(c.folder, c.rule);
    ASSERT_EQ(s.Usable, c.usable);
    if (!c.usable) continue;
    EXPECT_EQ(s.Fixed, c.fixed);
    EXPECT_EQ(s.Steps, c.steps);
  }
  EXPECT_EQ(qv::WithoutWildcardSteps("C:\\a\\*\\b", qv::srStarOnly), "C:\\a\\x\\b");
  EXPECT_EQ(qv::WithoutWildcardSteps("*\\b", qv::srStarOnly), "x\\b");
}

// Which wildcard steps match every name (refused as the last step right below a protected folder
// or a drive root), and which folders a step lets through: partial steps by their pattern, the
// profile step by a profile's name or its Preferences file.
TEST(FolderSteps, EveryNameStepsAndWhatAStepAdmits) {
  struct Every {
    const char* step;
    qv::TStepRule rule;
    bool every;
  } every[] = {
      {"*", qv::srStarOnly, true},        {"{Chromium Profiles}", qv::srStarOnly, false},
      {"*", qv::srGlob, true},            {"*.*", qv::srGlob, true},
      {"**", qv::srGlob, true},           {"?*", qv::srGlob, true},
      {"Name*", qv::srGlob, false},       {".name-*", qv::srGlob, false},
      {"*.tmp", qv::srGlob, false},       {"Profile ?", qv::srGlob, false},
      {"{Chromium Profiles}", qv::srGlob, false},
  };
  for (const auto& c : every) EXPECT_EQ(qv::StepMatchesEveryName(c.step, c.rule), c.every) << c.step;
  EXPECT_TRUE(qv::IsWildcardStep("{Chromium Profiles}", qv::srStarOnly));
  EXPECT_FALSE(qv::IsWildcardStep("{Chromium profiles}", qv::srStarOnly));  // as macros: case-sensitive

  struct Admit {
    const char* step;
    qv::TStepRule rule;
    const char* name;
    bool hasPreferences;
    bool admitted;
  } admits[] = {
      {"*", qv::srStarOnly, "ANYTHING", false, true},
      {"PROF*", qv::srGlob, "PROFILE 1", false, true},
      {"PROF*", qv::srGlob, "DEFAULT", true, false},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "DEFAULT", false, true},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "PROFILE 12", false, true},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "GUEST PROFILE", false, true},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "SYSTEM PROFILE", false, true},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "WORK", true, true},  // a profile of another name
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "DEFAULT.BAK", false, false},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "PROFILE", false, false},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "PROFILE 1A", false, false},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "PROFILE -1", false, false},
      {"{CHROMIUM PROFILES}", qv::srStarOnly, "SHADERCACHE", false, false},
  };
  for (const auto& c : admits) {
    std::vector<std::string> asked;
    const bool got = qv::StepAdmitsFolder(c.step, c.rule, c.name, [&](const std::string& file) {
      asked.push_back(file);
      return c.hasPreferences && file == "Preferences";
    });
    EXPECT_EQ(got, c.admitted) << c.step << " / " << c.name;
    if (c.rule == qv::srGlob) {
      EXPECT_TRUE(asked.empty()) << "a partial step looks at names only";
    }
  }
  EXPECT_TRUE(qv::IsChromiumProfileName("profile 3"));
}

qv::TWinapp2Entry ParseOne(const std::string& body) {
  qv::TWinapp2File f = qv::ParseWinapp2Text("[Entry *]\r\n" + body);
  EXPECT_EQ(f.Entries.size(), 1u);
  return f.Entries.empty() ? qv::TWinapp2Entry() : f.Entries[0];
}

TEST(Winapp2Text, EachKeyKind) {
  qv::TWinapp2Entry e = ParseOne(
      "LangSecRef=3021\r\n"
      "Detect=HKCU\\Software\\Foo\r\n"
      "Detect2=HKEY_LOCAL_MACHINE\\Software\\Bar\\\r\n"
      "DetectFile=%LocalAppData%\\Foo*\r\n"
      "DetectOS=6.1|\r\n"
      "SpecialDetect=DET_CHROME\r\n"
      "Default=True\r\n"
      "Warning=Closes your tabs.\r\n"
      "FileKey1=%LocalAppData%\\Foo\\Cache\\|*.*|RECURSE\r\n"
      "FileKey2=%LocalAppData%\\Foo|*.log; *.tmp;\r\n"
      "FileKey3=%AppData%\\Foo\\*\\Data|*.*|REMOVESELF\r\n"
      "RegKey1=HKCU\\Software\\Foo\\MRU\r\n"
      "RegKey2=hkcu\\Software\\Foo|Last Path\r\n"
      "ExcludeKey1=FILE|%LocalAppData%\\Foo\\|keep.log\r\n"
      "ExcludeKey2=PATH|%LocalAppData%\\Foo\\Cache\\Keep\\\r\n"
      "ExcludeKey3=PATH|%LocalAppData%\\Foo\\Cache\\|*.idx;*.db\r\n"
      "ExcludeKey4=FILE|%LocalAppData%\\Foo\\settings.tmp\r\n"
      "ExcludeKey5=REG|HKCU\\Software\\Foo\\MRU\\Pinned\r\n"
      "ExcludeKey6=REG|HKCU\\Software\\Foo|Keep\r\n");
  EXPECT_TRUE(e.Problems.empty()) << e.Problems[0].Reason;
  EXPECT_EQ(e.DetectKeys, (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Foo", "HKEY_LOCAL_MACHINE\\Software\\Bar"}));
  EXPECT_EQ(e.DetectFiles, (std::vector<std::string>{"%LocalAppData%\\Foo*"}));
  EXPECT_EQ(e.SpecialDetects, (std::vector<std::string>{"DET_CHROME"}));
  EXPECT_TRUE(e.HasMinOs && !e.HasMaxOs && e.MinOsMajor == 6 && e.MinOsMinor == 1);
  EXPECT_TRUE(e.Default);
  EXPECT_EQ(e.Warning, "Closes your tabs.");
  ASSERT_EQ(e.Files.size(), 3u);
  EXPECT_EQ(e.Files[0].Line, 10);
  EXPECT_EQ(e.Files[0].Folder, "%LocalAppData%\\Foo\\Cache");
  EXPECT_EQ(e.Files[0].Masks, (std::vector<std::string>{"*.*"}));
  EXPECT_TRUE(e.Files[0].Recurse && !e.Files[0].RemoveSelf);
  EXPECT_EQ(e.Files[1].Masks, (std::vector<std::string>{"*.log", "*.tmp"}));
  EXPECT_FALSE(e.Files[1].Recurse || e.Files[1].RemoveSelf);
  EXPECT_TRUE(e.Files[2].RemoveSelf);
  ASSERT_EQ(e.Registry.size(), 2u);
  EXPECT_EQ(e.Registry[0].Root, "HKEY_CURRENT_USER");
  EXPECT_EQ(e.Registry[0].KeyPath, "Software\\Foo\\MRU");
  EXPECT_FALSE(e.Registry[0].HasValue);
  EXPECT_TRUE(e.Registry[1].HasValue);
  EXPECT_EQ(e.Registry[1].ValueName, "Last Path");
  ASSERT_EQ(e.Excludes.size(), 6u);
  EXPECT_EQ(e.Excludes[0].Kind, qv::ekFile);
  EXPECT_EQ(e.Excludes[0].Folder, "%LocalAppData%\\Foo");
  EXPECT_EQ(e.Excludes[0].Masks, (std::vector<std::string>{"keep.log"}));
  EXPECT_EQ(e.Excludes[1].Kind, qv::ekPath);
  EXPECT_TRUE(e.Excludes[1].Masks.empty());
  EXPECT_EQ(e.Excludes[2].Masks, (std::vector<std::string>{"*.idx", "*.db"}));
  EXPECT_EQ(e.Excludes[3].Folder, "%LocalAppData%\\Foo");
  EXPECT_EQ(e.Excludes[3].Masks, (std::vector<std::string>{"settings.tmp"}));
  EXPECT_EQ(e.Excludes[4].Kind, qv::ekRegistry);
  EXPECT_EQ(e.Excludes[4].Key.KeyPath, "Software\\Foo\\MRU\\Pinned");
  EXPECT_EQ(e.Excludes[5].Key.ValueName, "Keep");
  EXPECT_FALSE(e.BadExclude);
}

TEST(Winapp2Text, LinesThatCannotBeUsed) {
  struct Case {
    const char* line;
    const char* reason;
  } cases[] = {
      {"FileKey1=%LocalAppData%\\Foo", "no file mask"},
      {"FileKey1=%LocalAppData%\\Foo|", "no file mask"},
      {"FileKey1=Foo\\Bar|*.*", "a relative path"},
      {"FileKey1=\\Foo|*.*", "a relative path"},
      {"FileKey1=%LocalAppData\\Foo|*.*", "an unfinished variable"},
      {"FileKey1=%LocalAppData%\\Foo|*.*|RECURSIVE", "an unknown flag RECURSIVE"},
      {"FileKey1=%LocalAppData%\\Foo|sub\\*.log", "a file mask with a folder in it: sub\\*.log"},
      {"RegKey1=HKXX\\Software\\Foo", "a malformed registry key"},
      {"RegKey1=HKCU", "a malformed registry key"},
      {"RegKey1=HKCU\\", "a malformed registry key"},
      {"RegKey1=HKCU\\Software\\\\Foo", "a malformed registry key"},
      {"RegKey1=HKCU\\Software\\Foo|", "an empty value name"},
      {"ExcludeKey1=DIR|%LocalAppData%\\Foo", "an unknown kind of exclusion"},
      {"ExcludeKey1=FILE|%LocalAppData%\\Foo\\", "no file name"},
      {"Default=Yes", "Default is neither True nor False"},
      {"DetectOS=6.1", "a malformed Windows version range"},
      {"DetectOS=six|", "a malformed Windows version range"},
      {"SpecialDetect=DET_NOTHING", "an unknown special detection"},
      {"Detect=HKCU", "a malformed registry key"},
      {"Colour=Red", "an unknown key"},
      {"no equals sign", "not an entry"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    qv::TWinapp2Entry e = ParseOne(std::string(c.line) + "\r\n");
    ASSERT_EQ(e.Problems.size(), 1u);
    EXPECT_EQ(e.Problems[0].Line, 2);
    EXPECT_EQ(e.Problems[0].Reason, c.reason);
    EXPECT_EQ(e.Problems[0].Raw, c.line);
    EXPECT_TRUE(e.Files.empty() && e.Registry.empty() && e.Excludes.empty());
    // An exclusion that cannot be used stops the entry; a detection that cannot be used detects
    // nothing rather than making the entry one without detection.
    EXPECT_EQ(e.BadExclude, std::string(c.line).rfind("ExcludeKey", 0) == 0);
    if (std::string(c.line).rfind("Detect=", 0) == 0 || std::string(c.line).rfind("SpecialDetect", 0) == 0) {
      EXPECT_TRUE(e.HasDetection());
    }
  }

  qv::TWinapp2File f = qv::ParseWinapp2Text("stray=1\r\n[A]\r\nFileKey1=C:\\x|*.*\r\n[B]\r\n[a]\r\nFileKey1=C:\\y|*.*\r\n");
  ASSERT_EQ(f.Entries.size(), 2u);
  EXPECT_EQ(f.Entries[0].Files[0].Folder, "C:\\x");  // the first [A] is the one used
  ASSERT_EQ(f.Problems.size(), 2u);
  EXPECT_EQ(f.Problems[0].Line, 1);
  EXPECT_EQ(f.Problems[0].Reason, "outside any section");
  EXPECT_EQ(f.Problems[1].Line, 5);
  EXPECT_EQ(f.Problems[1].Reason, "a second section of this name: only the first one is used");
}

TEST(Winapp2Text, WindowsVersionRange) {
  struct Case {
    const char* range;
    int major, minor;
    bool match;
  } cases[] = {
      {"5.1|6.1", 5, 0, false}, {"5.1|6.1", 5, 1, true}, {"5.1|6.1", 6, 1, true}, {"5.1|6.1", 6, 2, false},
      {"6.2|", 10, 0, true},    {"6.2|", 6, 1, false},   {"|6.0", 6, 1, false},   {"|6.0", 5, 1, true},
      {"10|", 10, 0, true},     {"|", 4, 0, true},
  };
  for (const auto& c : cases) {
    qv::TWinapp2Entry e = ParseOne(std::string("DetectOS=") + c.range + "\r\n");
    EXPECT_EQ(e.OsMatches(c.major, c.minor), c.match) << c.range << " on " << c.major << "." << c.minor;
  }
  EXPECT_FALSE(ParseOne("DetectOS=6.1\r\n").OsMatches(6, 1));  // a range that cannot be read holds nowhere
  EXPECT_TRUE(ParseOne("FileKey1=C:\\x|*.*\r\n").OsMatches(5, 0));
}

// ---------------------------------------------------------------------------------------------
// On this system

// A text value under HKEY_LOCAL_MACHINE in the registry's native view (the 64-bit one on 64-bit
// Windows), read with plain calls.
std::string NativeMachineString(const std::string& path, const std::string& name) {
  HKEY key;
  const REGSAM view = qv::Is64BitWindows() ? KEY_WOW64_64KEY : 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, qv::Widen(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return std::string();
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t), type = 0;
  const LONG r = RegQueryValueExW(key, qv::Widen(name).c_str(), nullptr, &type, (BYTE*)buf, &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? qv::Narrow(buf) : std::string();
}

TEST(Winapp2Variables, NameThisSystemsFolders) {
  const qv::TWinapp2Variables v = qv::TWinapp2Variables::FromSystem();
  const std::string local = qv::ExcludeTrailingBackslash(LocalAppDataPath());
  EXPECT_EQ(v.Expand("%LocalAppData%\\Foo"), (std::vector<std::string>{local + "\\Foo"}));
  EXPECT_EQ(v.Expand("%localappdata%\\Foo"), (std::vector<std::string>{local + "\\Foo"}));
  EXPECT_EQ(v.Expand("%AppData%"), (std::vector<std::string>{qv::ExcludeTrailingBackslash(AppDataPath())}));
  EXPECT_EQ(v.Expand("%WinDir%\\Temp"), (std::vector<std::string>{qv::ExcludeTrailingBackslash(WindowsFolderPath()) + "\\Temp"}));
  EXPECT_EQ(v.Expand("%SystemDrive%\\x"), (std::vector<std::string>{"C:\\x"}));
  EXPECT_EQ(v.Expand("%Documents%"), (std::vector<std::string>{qv::ExcludeTrailingBackslash(DocumentsPath())}));
  EXPECT_EQ(v.Expand("C:\\plain"), (std::vector<std::string>{"C:\\plain"}));
  // Both program folders of 64-bit Windows, whichever build asks: as the native view of the
  // registry names them (a 32-bit program's own view names only the 32-bit one).
  std::vector<std::string> expected;
  for (const char* name : {"ProgramFilesDir", "ProgramFilesDir (x86)"}) {
    if (!qv::Is64BitWindows() && expected.size() == 1) break;
    const std::string folder = NativeMachineString("Software\\Microsoft\\Windows\\CurrentVersion", name);
    ASSERT_FALSE(folder.empty()) << name;
    expected.push_back(qv::ExcludeTrailingBackslash(folder) + "\\App");
  }
  std::vector<std::string> programs = v.Expand("%ProgramFiles%\\App");
  ASSERT_EQ(programs.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(qv::SameText(programs[i], expected[i])) << programs[i];
  // Other names come from the environment; unknown ones stand for nothing.
  SetEnvironmentVariableW(L"QVTEST_WINAPP2", L"C:\\qvenv\\");
  EXPECT_EQ(v.Expand("%QVTEST_WINAPP2%\\x"), (std::vector<std::string>{"C:\\qvenv\\x"}));
  SetEnvironmentVariableW(L"QVTEST_WINAPP2", nullptr);
  std::string unknown;
  EXPECT_TRUE(v.Expand("%QVTEST_WINAPP2%\\x", &unknown).empty());
  EXPECT_EQ(unknown, "%QVTEST_WINAPP2%");
}

TEST(Winapp2Detection, PresentAndAbsent) {
  int major = 0, minor = 0;
  qv::RealWindowsVersion(major, minor);
  ASSERT_EQ(major * 100 + minor, 601) << "the test prefix is Windows 7";
  SandboxKey key("Winapp2Detect");
  RegSetString(HKEY_CURRENT_USER, key.Path(), "x", "1");
  OwnedFolder folder(LocalAppDataPath() + "QvWinapp2Detect");
  WriteFile(folder / "app-1.2\\app.exe", 10);
  const std::string k = "HKCU\\" + key.Path();
  struct Case {
    std::string body;
    bool present;
  } cases[] = {
      {"Detect=" + k, true},
      {"Detect=HKCU\\Software\\QuorvaneTest\\Missing", false},
      {"Detect=HKCU\\Software\\QuorvaneTest\\Missing\r\nDetect2=" + k, true},
      {"DetectFile=%LocalAppData%\\QvWinapp2Detect\\app-*\\app.exe", true},
      {"DetectFile=%LocalAppData%\\QvWinapp2Detect\\app-*\\other.exe", false},
      {"DetectFile=%LocalAppData%\\QvWinapp2D*", true},
      {"DetectFile=%LocalAppData%\\QvWinapp2Detect\\app-?.?\\", true},
      {"DetectFile=%NoSuchVariable%\\x", false},
      {"FileKey1=C:\\x|*.*", true},
      {"DetectOS=|5.1", false},
      {"DetectOS=6.0|\r\nDetect=" + k, true},
      {"DetectOS=6.2|\r\nDetect=" + k, false},
      {"SpecialDetect=DET_NOTHING", false},
      {"SpecialDetect=DET_CHROME", false},
      {"Detect=HKXX\\bad", false},
  };
  const qv::TWinapp2Variables v = qv::TWinapp2Variables::FromSystem();
  for (const auto& c : cases) EXPECT_EQ(qv::IsWinapp2EntryPresent(ParseOne(c.body + "\r\n"), v), c.present) << c.body;

  // A whole file is detected in one go, from listings of the registry and the folders kept over its
  // entries: the same answers, whatever the spelling's case.
  std::string text, upperKey = k;
  for (char& ch : upperKey) ch = (char)toupper((unsigned char)ch);
  std::vector<std::string> expected;
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({"Detect=" + upperKey, true});
  all.push_back({"DetectFile=%LOCALAPPDATA%\\QVWINAPP2DETECT\\APP-1.2\\APP.EXE", true});
  all.push_back({"DetectFile=%LocalAppData%\\QvWinapp2Detect\\app-1.2\\missing.exe", false});
  all.push_back({"DetectFile=%LocalAppData%\\QvWinapp2Detect\\app-1.3\\app.exe", false});
  for (size_t i = 0; i < all.size(); ++i) {
    const std::string name = "Case " + std::to_string(i);
    text += "[" + name + "]\r\n" + all[i].body + "\r\nFileKey1=C:\\qvnothing|*.*\r\n\r\n";
    if (all[i].present) expected.push_back(name);
  }
  WriteTextFile(folder / "winapp2.ini", text);
  std::vector<std::string> found;
  for (const qv::TWinapp2Item& item : qv::DetectWinapp2Entries(folder / "winapp2.ini")) found.push_back(item.Name);
  EXPECT_EQ(found, expected);
}

// ---------------------------------------------------------------------------------------------
// The fixture: entries with every key kind

const char* const kFixture =
    "; a fixture of entries\r\n"
    "[Qvtest Cache *]\r\n"
    "Detect=HKCU\\Software\\QuorvaneTest\\Winapp2App\r\n"
    "FileKey1=%LocalAppData%\\QvWinapp2\\Cache|*.*|RECURSE\r\n"
    "FileKey2=%LocalAppData%\\QvWinapp2|*.log;*.tmp\r\n"
    "FileKey3=%LocalAppData%\\QvWinapp2\\Prof*\\Data|*.*|REMOVESELF\r\n"
    "FileKey4=%LocalAppData%\\QvWinapp2\\Cache\\sub|*.bin\r\n"
    "ExcludeKey1=FILE|%LocalAppData%\\QvWinapp2\\|keep.log\r\n"
    "ExcludeKey2=PATH|%LocalAppData%\\QvWinapp2\\Cache\\Keep\\\r\n"
    "ExcludeKey3=PATH|%LocalAppData%\\QvWinapp2\\Cache\\|*.idx\r\n"
    "\r\n"
    "[Qvtest Registry *]\r\n"
    "DetectFile=%LocalAppData%\\QvWinapp2\\app*.exe\r\n"
    "RegKey1=HKCU\\Software\\QuorvaneTest\\Winapp2App\\MRU\r\n"
    "RegKey2=HKCU\\Software\\QuorvaneTest\\Winapp2App|LastPath\r\n"
    "RegKey3=HKCU\\Software\\QuorvaneTest\\Winapp2App\\History\r\n"
    "ExcludeKey1=REG|HKCU\\Software\\QuorvaneTest\\Winapp2App\\History\\Pinned\r\n"
    "ExcludeKey2=REG|HKCU\\Software\\QuorvaneTest\\Winapp2App\\History|Keep\r\n"
    "\r\n"
    "[Qvtest Warned *]\r\n"
    "Detect=HKCU\\Software\\QuorvaneTest\\Winapp2App\r\n"
    "Warning=This also signs you out.\r\n"
    "FileKey1=%LocalAppData%\\QvWinapp2\\Warned|*.*\r\n"
    "\r\n"
    "[Qvtest Absent *]\r\n"
    "Detect=HKCU\\Software\\QuorvaneTest\\NotInstalled\r\n"
    "FileKey1=%LocalAppData%\\QvWinapp2\\Absent|*.*\r\n"
    "\r\n"
    "[Qvtest Old Windows *]\r\n"
    "DetectOS=|5.2\r\n"
    "FileKey1=%LocalAppData%\\QvWinapp2\\Absent|*.*\r\n"
    "\r\n"
    "[Qvtest Default *]\r\n"
    "Detect=HKCU\\Software\\QuorvaneTest\\Winapp2App\r\n"
    "Default=True\r\n"
    "FileKey1=%LocalAppData%\\QvWinapp2\\Default|*.dmp\r\n";

const std::vector<std::string> kPresent = {"Applications - Qvtest Cache *", "Applications - Qvtest Registry *",
                                           "Applications - Qvtest Warned *", "Applications - Qvtest Default *"};

// The fixture's files and keys, and winapp2.ini beside the test program.
class Winapp2Scene {
 public:
  Winapp2Scene() {
    ResetCleanerSettings();
    WriteTextFile(ini, kFixture);
    const std::string a = app.Path();
    // FileKey1, with FileKey4 naming Cache\sub again: each file counted once.
    s.File(a + "Cache\\a.bin", 1000);
    s.File(a + "Cache\\sub\\b.bin", 2000);
    s.File(a + "Cache\\sub\\c.dat", 100);
    s.KeepFile(a + "Cache\\index.idx");
    s.KeepFile(a + "Cache\\sub\\d.idx");
    s.KeepFile(a + "Cache\\Keep\\k.bin");
    // FileKey2: directly in the folder only.
    s.File(a + "x.log", 10);
    s.File(a + "Y.TMP", 10);
    s.KeepFile(a + "keep.log");
    s.KeepFile(a + "notes.txt");
    s.KeepFile(a + "sub\\z.log");
    s.KeepFile(a + "app.exe");
    // FileKey3: the Data folders of Profile1 and ProfileB go whole; their profiles stay.
    s.File(a + "Profile1\\Data\\d.bin", 100);
    s.File(a + "Profile1\\Data\\deep\\e.bin", 100);
    s.File(a + "ProfileB\\Data\\f.bin", 100);
    s.KeepFile(a + "Profile1\\Prefs");
    s.KeepFile(a + "Other\\Data\\g.bin");
    s.traces.push_back({a + "Profile1\\Data", [a] { return qv::DirectoryExists(a + "Profile1\\Data"); }});
    // Warned and Default.
    s.File(a + "Warned\\w.bin", 10);
    s.File(a + "Default\\crash.dmp", 10);
    s.KeepFile(a + "Absent\\absent.bin");
    // Registry: MRU goes whole (2), LastPath (1), History but what is kept (x and Recent\r: 2).
    const std::string k = key.Path();
    for (const char* v : {"a", "b"}) s.Value(k + "\\MRU", v);
    s.Value(k, "LastPath");
    s.KeepValue(k, "Other");
    s.Value(k + "\\History", "x");
    s.KeepValue(k + "\\History", "Keep");
    s.KeepValue(k + "\\History\\Pinned", "p");
    s.Value(k + "\\History\\Recent", "r");
    sources = {};
    for (const std::string& item : kPresent) sources[item] = ini;
  }
  ~Winapp2Scene() { DeleteFileW(qv::Widen(ini).c_str()); }

  const std::string ini = qv::ExeFolder() + "winapp2.ini";
  OwnedFolder app{LocalAppDataPath() + "QvWinapp2"};
  OwnedKey key{"Software\\QuorvaneTest\\Winapp2App"};
  Scene s;
  std::map<std::string, std::string> sources;
};

TEST(Winapp2Items, DetectedEntriesJoinTheApplications) {
  Winapp2Scene scene;
  EXPECT_EQ(qv::Winapp2FilePath(), scene.ini);
  qv::TCatalogue c = qv::BuiltinCatalogue();
  c.BuildApplicationsCategory(qv::ExeFolder() + "Zelbrin.dat", scene.ini);
  const qv::TCategory* apps = c.FindCategory("Applications");
  std::vector<std::string> winapp2;
  for (size_t i = 0; i < apps->Items.size(); ++i) {
    const qv::TItemRoute& route = apps->Items[i].Route;
    if (route.Kind != qv::rkWinapp2) {
      EXPECT_EQ(route.Kind, qv::rkDefinitions) << apps->ItemName(i);
      EXPECT_EQ(route.File, "Zelbrin.dat") << apps->ItemName(i);
      continue;
    }
    winapp2.push_back(apps->ItemName(i));
    EXPECT_EQ(route.File, scene.ini) << apps->ItemName(i);
  }
  EXPECT_EQ(winapp2, kPresent);

  // Default=True ticks its item until a selection is stored.
  c.TickDefaults();
  EXPECT_EQ(c.BuildRunList(), (std::vector<std::string>{"Applications - Qvtest Default *"}));
  EXPECT_TRUE(c.IsCategoryTicked("Applications"));

  // A name an item already has stays with that item.
  qv::TCatalogue d = qv::BuiltinCatalogue();
  d.AddApplications({"Foo"}, {"Foo 1.0"});
  d.AddWinapp2Items({{"FOO", false}, {"Bar", true}}, scene.ini);
  ASSERT_EQ(d.FindCategory("Applications")->Items.size(), 2u);
  EXPECT_EQ(d.FindItem("Applications - Foo")->Route.Kind, qv::rkDefinitions);
  EXPECT_EQ(d.FindItem("Applications - Bar")->Route.Kind, qv::rkWinapp2);
}

TEST(Winapp2Run, TestAndCleanAgreeAndKeepWhatIsExcluded) {
  MessageRecorder messages(IDYES);
  TestWindow window;
  Winapp2Scene scene;
  window.Winapp2Sources = scene.sources;
  ASSERT_NO_FATAL_FAILURE(scene.s.ExpectSetUp());

  ASSERT_TRUE(window.Run(kPresent, qv::rmTest));
  ASSERT_EQ(window.FinishedTotal, (unsigned)scene.s.count);
  scene.s.ExpectUntouched();
  EXPECT_TRUE(messages.Messages.empty());  // a Test asks nothing
  EXPECT_EQ(CountLinesStartingWith(window.Lines(), "Test: Qvtest Warned * has a warning, which a Clean asks first: "
                                                   "This also signs you out."),
            1);

  ASSERT_TRUE(window.Run(kPresent, qv::rmClean));
  EXPECT_EQ(window.FinishedTotal, (unsigned)scene.s.count);
  scene.s.ExpectCleaned();
  ASSERT_EQ(messages.Messages.size(), 1u);
  EXPECT_EQ(messages.Messages[0].Text, "Qvtest Warned *:\n\nThis also signs you out.\n\nDo you want to clean it?");
  EXPECT_EQ(messages.Messages[0].Type & MB_TYPEMASK, (UINT)MB_YESNO);
  EXPECT_TRUE(qv::DirectoryExists(scene.app / "Profile1"));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, scene.key.Path() + "\\History"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, scene.key.Path() + "\\MRU"));
}

// An entry with a warning: No in an attended Clean, or nobody to ask in an unattended run, leaves
// it as it is and says so.
TEST(Winapp2Run, WarningsAreAskedOrTheEntryIsSkipped) {
  TestWindow window;
  Winapp2Scene scene;
  window.Winapp2Sources = scene.sources;
  const std::string warned = scene.app / "Warned\\w.bin";
  const std::vector<std::string> item = {"Applications - Qvtest Warned *"};
  ASSERT_TRUE(window.Run(item, qv::rmTest));
  ASSERT_EQ(window.FinishedTotal, 1u);
  {
    MessageRecorder messages(IDNO);
    ASSERT_TRUE(window.Run(item, qv::rmClean));
    EXPECT_EQ(window.FinishedTotal, 0u);
    EXPECT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(CountLinesStartingWith(window.Lines(), "Clean: Qvtest Warned * was not cleaned, as answered to its warning"), 1);
    EXPECT_TRUE(qv::FileExists(warned));
  }
  {
    MessageRecorder messages(IDYES);
    std::shared_ptr<qv::TTaskControl> control = window.StartRun(item, qv::rmUnattended);
    ASSERT_TRUE(PumpUntil([&] { return window.FinishedCount > 0; }));
    EXPECT_EQ(window.FinishedTotal, 0u);
    EXPECT_TRUE(messages.Messages.empty());
    EXPECT_TRUE(control->QuestionDeclined);
    EXPECT_EQ(CountLinesStartingWith(window.Lines(), "Clean: Qvtest Warned * was not cleaned: nobody can answer its "
                                                     "warning in an unattended run: This also signs you out."),
              1);
    EXPECT_TRUE(qv::FileExists(warned));
  }
}

// Entries aimed at protected folders are refused by the run, as the built-in definitions are; a
// narrow mask there stays allowed. An entry whose exclusion cannot be used is not cleaned at all.
TEST(Winapp2Run, ProtectedFoldersAndUnusableExclusions) {
  MessageRecorder messages;
  TestWindow window;
  const std::string ini = qv::ExeFolder() + "winapp2.ini";
  const std::string local = LocalAppDataPath();
  OwnedFolder owned(local + "QvWinapp2Guard");
  Scene s;
  s.File(local + "qvwinapp2.qvtrace", 10);
  // A partial step right below the protected folder takes what it names.
  s.File(owned / "partial.qvtrace", 20);
  s.KeepFile(local + "qvwinapp2.qvkeep");
  s.KeepFile(owned / "kept.bin");
  s.KeepFile(owned / "Unsafe\\u.bin");
  ASSERT_NO_FATAL_FAILURE(s.ExpectSetUp());
  WriteTextFile(ini, "[Qvtest Guarded *]\r\n"
                     "FileKey1=%LocalAppData%|*.*|RECURSE\r\n"
                     "FileKey2=%WinDir%|*.*\r\n"
                     "FileKey3=%LocalAppData%\\*|*.*\r\n"
                     "FileKey4=%LocalAppData%|*.qvtrace\r\n"
                     "FileKey5=%UserProfile%|*.*|REMOVESELF\r\n"
                     "FileKey6=%LocalAppData%\\QvWinapp2G*|*.qvtrace\r\n"
                     "[Qvtest Unsafe *]\r\n"
                     "FileKey1=%LocalAppData%\\QvWinapp2Guard\\Unsafe|*.*\r\n"
                     "ExcludeKey1=DIR|%LocalAppData%\\QvWinapp2Guard\\Unsafe\\\r\n");
  window.Winapp2Sources = {{"Applications - Qvtest Guarded *", ini}, {"Applications - Qvtest Unsafe *", ini}};
  const std::vector<std::string> items = {"Applications - Qvtest Guarded *", "Applications - Qvtest Unsafe *"};

  for (int mode : {qv::rmTest, qv::rmClean}) {
    SCOPED_TRACE(mode == qv::rmTest ? "Test" : "Clean");
    const std::string prefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    ASSERT_TRUE(window.Run(items, mode));
    ASSERT_EQ(window.FinishedTotal, 2u);
    const std::vector<std::string> lines = window.Lines();
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "refusing to empty the protected folder "), 3);
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "refusing the wildcard below the protected folder " +
                                                qv::IncludeTrailingBackslash(local) + " (Qvtest Guarded *, line 4 of " + ini + ")"),
              1);
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "Qvtest Unsafe * was not cleaned: an exclusion of it cannot be used"), 1);
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "line 10 of " + ini + " cannot be used (an unknown kind of exclusion)"), 1);
  }
  s.ExpectCleaned();
  EXPECT_TRUE(messages.Messages.empty());
  DeleteFileW(qv::Widen(ini).c_str());
}

// The program itself picks up winapp2.ini at start-up: a -cleanonce run of ticked entries cleans
// them as a Test here counted, and only with no settings.ini at all is the Default=True entry the
// one ticked.
TEST(Winapp2Run, CleanOnceFromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  TestWindow window;
  Winapp2Scene scene;
  window.Winapp2Sources = scene.sources;
  ASSERT_NO_FATAL_FAILURE(scene.s.ExpectSetUp());
  const std::vector<std::string> items = {"Applications - Qvtest Cache *", "Applications - Qvtest Registry *"};
  unsigned testTotal = 0;
  {
    MessageRecorder messages;
    ASSERT_TRUE(window.Run(items, qv::rmTest));
    testTotal = window.FinishedTotal;
    ASSERT_EQ(testTotal, (unsigned)scene.s.count - 2);  // all but Warned and Default
  }
  const std::string ini = qv::ExeFolder() + "settings.ini";
  const std::string log = qv::ExeFolder() + "winapp2-cleanonce.log";
  auto settings = [&](const std::vector<std::string>& ticked) {
    DeleteFileW(qv::Widen(ini).c_str());
    qv::IniWriteString(ini, "Settings", "AskForSweep", "1");
    if (!ticked.empty()) {
      qv::IniWriteString(ini, "NodeSelected", "SelectedCount", std::to_string(ticked.size()));
      for (size_t i = 0; i < ticked.size(); ++i)
        qv::IniWriteString(ini, "NodeSelected", std::to_string(i + 1), ticked[i]);
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, qv::Widen(ini).c_str());
    DeleteFileW(qv::Widen(log).c_str());
  };

  settings({"Applications", items[0], items[1]});
  EXPECT_EQ(RunProgram(exe, "-cleanonce -log \"" + log + "\"", 120000), 0);
  EXPECT_NE(ReadTextFile(log).find("Total items to be removed = " + std::to_string(testTotal) + " ;"), std::string::npos)
      << ReadTextFile(log);
  const std::string a = scene.app.Path();
  for (const char* gone : {"Cache\\a.bin", "Cache\\sub\\b.bin", "x.log", "Profile1\\Data\\d.bin"})
    EXPECT_FALSE(qv::FileExists(a + gone)) << gone;
  for (const char* kept : {"Cache\\index.idx", "Cache\\Keep\\k.bin", "keep.log", "Warned\\w.bin", "Default\\crash.dmp"})
    EXPECT_TRUE(qv::FileExists(a + kept)) << kept;
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, scene.key.Path() + "\\MRU"));
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, scene.key.Path() + "\\History", "Keep"));

  {
    MessageRecorder messages;
    ASSERT_TRUE(window.Run({"Applications - Qvtest Default *"}, qv::rmTest));
    ASSERT_EQ(window.FinishedTotal, 1u);
  }
  // Settings that exist but cannot be read as settings run nothing, not even the Default=True
  // entry: the exit code says so, and the file is left byte for byte as it was.
  const std::string valid = "[Settings]\r\nAskForSweep=1\r\n";
  std::string utf16NoMark;
  for (char ch : valid) utf16NoMark += std::string(1, ch) + '\0';
  std::string random(2048, '\0');
  std::minstd_rand gen(99);
  for (char& b : random) b = (char)(gen() & 0xFF);
  const struct {
    const char* what;
    std::string bytes;
    bool held;  // held open, shared with nobody, while the program runs
  } unreadable[] = {
      {"zero bytes", "", false},
      {"random bytes", random, false},
      {"UTF-16 without its mark", utf16NoMark, false},
      {"held open by another program", valid, true},
  };
  for (const auto& u : unreadable) {
    SCOPED_TRACE(u.what);
    WriteTextFile(ini, u.bytes);
    DeleteFileW(qv::Widen(log).c_str());
    HANDLE held = u.held ? CreateFileW(qv::Widen(ini).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                         : INVALID_HANDLE_VALUE;
    EXPECT_EQ(RunProgram(exe, "-cleanonce -log \"" + log + "\"", 120000), 2);  // unreadable settings
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_NE(ReadTextFile(log).find("\r\nUnable to read " + ini + "\r\n"), std::string::npos) << ReadTextFile(log);
    EXPECT_EQ(ReadTextFile(log).find("Clearing"), std::string::npos) << ReadTextFile(log);
    EXPECT_TRUE(qv::FileExists(a + "Default\\crash.dmp"));
    EXPECT_EQ(ReadTextFile(ini), u.bytes);
  }

  // A settings.ini that stores no selection ticks nothing: Default=True is for a start without one.
  settings({});
  EXPECT_EQ(RunProgram(exe, "-cleanonce -log \"" + log + "\"", 120000), 1);  // nothing ticked
  EXPECT_TRUE(qv::FileExists(a + "Default\\crash.dmp"));

  // With no settings.ini at all, the Default=True entry is the one ticked.
  DeleteFileW(qv::Widen(ini).c_str());
  EXPECT_EQ(RunProgram(exe, "-cleanonce -log \"" + log + "\"", 120000), 0);
  EXPECT_NE(ReadTextFile(log).find("Clean: Clearing Applications - Qvtest Default * ..."), std::string::npos)
      << ReadTextFile(log);
  EXPECT_FALSE(qv::FileExists(a + "Default\\crash.dmp"));
  EXPECT_TRUE(qv::FileExists(a + "Warned\\w.bin"));
  DeleteFileW(qv::Widen(ini).c_str());
  DeleteFileW(qv::Widen(log).c_str());
}

// ---------------------------------------------------------------------------------------------
// REG exclusions: a key is the key however a line spells it

// One copy of the fixture: Tree with the value a and the subkeys Kept (value k) and Other (value o),
// at a place of the registry in one view; and which of its values the entry leaves.
struct KeyCopy {
  HKEY root;
  std::string path;
  REGSAM view;
  bool aStays, kStays, oStays;
};

const char* const kCopyValues[][2] = {{"\\Tree", "a"}, {"\\Tree\\Kept", "k"}, {"\\Tree\\Other", "o"}};

std::vector<bool> CopyState(const KeyCopy& c) {
  std::vector<bool> state;
  for (const auto& v : kCopyValues) state.push_back(RegValueExistsInView(c.root, c.path + v[0], v[1], c.view));
  return state;
}

// Runs the entry as a Test and as a Clean, with the run's own counts.
void RunKeysEntry(const std::string& ini, int& testCount, int& cleanCount) {
  for (int mode : {qv::rmTest, qv::rmClean}) {
    auto host = std::make_shared<RecordingHost>(mode);
    qv::TCleanRun run(host);
    run.LogPrefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    qv::RunWinapp2Section(run, ini, "Applications - Qvtest Keys *");
    (mode == qv::rmTest ? testCount : cleanCount) = run.ItemCount;
  }
}

// Each exclusion spells the kept key (or value) another way than the line that removes it: the
// current user as HKEY_USERS\<SID>, the classes and the hardware profile through the machine's
// keys, another case, a trailing backslash; on 64-bit Windows a key of the 32-bit view through its
// Wow6432Node path, which keeps that copy only, while the plain path keeps the copy of each view.
// A Test counts what the Clean then removes, and the Clean leaves exactly what is kept.
TEST(Winapp2Run, RegistryExclusionsKeepTheKeyTheyName) {
  const std::string ini = qv::ExeFolder() + "winapp2-keys.ini";
  const std::string q = "Software\\QuorvaneTest\\W2Keys";
  const std::string sid = CurrentUserSid();
  ASSERT_FALSE(sid.empty());
  const HKEY hkcu = HKEY_CURRENT_USER, hklm = HKEY_LOCAL_MACHINE;
  const bool wide = qv::Is64BitWindows();
  const REGSAM v64 = wide ? KEY_WOW64_64KEY : 0;
  const std::string m = "Software\\QuorvaneTest\\W2Machine";
  // The machine's copies: one a view on 64-bit Windows.
  auto machine = [&](bool keeps64, bool keeps32) {
    std::vector<KeyCopy> copies = {{hklm, m, v64, false, keeps64, false}};
    if (wide) copies.push_back({hklm, m, KEY_WOW64_32KEY, false, keeps32, false});
    return copies;
  };
  struct Case {
    const char* name;
    std::string lines;
    std::vector<KeyCopy> copies;
  };
  std::vector<Case> cases = {
      {"the same spelling",
       "RegKey1=HKCU\\" + q + "\\Tree\r\nExcludeKey1=REG|HKCU\\" + q + "\\Tree\\Kept\r\n",
       {{hkcu, q, 0, false, true, false}}},
      {"HKEY_USERS and the user's SID",
       "RegKey1=HKCU\\" + q + "\\Tree\r\nExcludeKey1=REG|HKU\\" + sid + "\\" + q + "\\Tree\\Kept\r\n",
       {{hkcu, q, 0, false, true, false}}},
      {"the removal through HKEY_USERS",
       "RegKey1=HKEY_USERS\\" + qv::LowerCase(sid) + "\\" + q + "\\Tree\r\nExcludeKey1=REG|HKEY_CURRENT_USER\\" + q +
           "\\Tree\\Kept\r\n",
       {{hkcu, q, 0, false, true, false}}},
      {"another case and a trailing backslash",
       "RegKey1=HKCU\\" + q + "\\Tree\r\nExcludeKey1=REG|hkcu\\" + qv::LowerCase(q) + "\\TREE\\kept\\\r\n",
       {{hkcu, q, 0, false, true, false}}},
      {"a value in another case",
       "RegKey1=HKCU\\" + q + "\\Tree\r\nExcludeKey1=REG|HKU\\" + sid + "\\" + qv::LowerCase(q) + "\\tree|A\r\n",
       {{hkcu, q, 0, true, false, false}}},
      {"a value line and its exclusion",
       "RegKey1=HKCU\\" + q + "\\Tree|a\r\nExcludeKey1=REG|HKCU\\" + q + "\\TREE|A\r\n",
       {{hkcu, q, 0, true, true, true}}},
      {"the classes through the machine's key",
       "RegKey1=HKCR\\QvW2Class\\Tree\r\nExcludeKey1=REG|HKLM\\Software\\Classes\\QvW2Class\\Tree\\Kept\r\n",
       {{HKEY_CLASSES_ROOT, "QvW2Class", 0, false, true, false}}},
      {"the hardware profile through the machine's key",
       "RegKey1=HKCC\\Software\\QvW2\\Tree\r\nExcludeKey1=REG|HKLM\\System\\CurrentControlSet\\Hardware Profiles\\"
       "Current\\Software\\QvW2\\Tree\\Kept\r\n",
       {{HKEY_CURRENT_CONFIG, "Software\\QvW2", 0, false, true, false}}},
      {"the machine's key in both views",
       "RegKey1=HKLM\\" + m + "\\Tree\r\nExcludeKey1=REG|HKLM\\" + m + "\\Tree\\Kept\r\n",
       machine(true, true)},
  };
  if (wide)
    cases.push_back({"the 32-bit view's copy through Wow6432Node",
                     "RegKey1=HKLM\\" + m + "\\Tree\r\nExcludeKey1=REG|HKLM\\Software\\Wow6432Node\\QuorvaneTest\\"
                     "W2Machine\\Tree\\Kept\r\n",
                     machine(false, true)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int expected = 0;
    for (const KeyCopy& k : c.copies) {
      RegDeleteTreeInView(k.root, k.path, k.view);
      for (const auto& v : kCopyValues) RegSetStringInView(k.root, k.path + v[0], v[1], "x", k.view);
      ASSERT_EQ(CopyState(k), std::vector<bool>(3, true));
      expected += !k.aStays + !k.kStays + !k.oStays;
    }
    WriteTextFile(ini, "[Qvtest Keys *]\r\n" + c.lines);
    int testCount = -1, cleanCount = -1;
    RunKeysEntry(ini, testCount, cleanCount);
    EXPECT_EQ(testCount, expected);
    EXPECT_EQ(cleanCount, expected);
    for (const KeyCopy& k : c.copies) {
      SCOPED_TRACE(k.path + (k.view == KEY_WOW64_32KEY ? " (32-bit view)" : ""));
      EXPECT_EQ(CopyState(k), (std::vector<bool>{k.aStays, k.kStays, k.oStays}));
      RegDeleteTreeInView(k.root, k.path, k.view);
    }
  }
  DeleteFileW(qv::Widen(ini).c_str());
}

// A value under the machine's root stays for a user without administrator rights: the log says
// which and why, and the run notes that something stayed.
TEST(Winapp2Run, MachineValuesOfALimitedUserAreSaidToStay) {
  ResetCleanerSettings();
  const std::string ini = qv::ExeFolder() + "winapp2-keys.ini";
  SandboxKey machine("W2Admin", HKEY_LOCAL_MACHINE);
  RegSetString(HKEY_LOCAL_MACHINE, machine.Path(), "Trace", "x");
  WriteTextFile(ini, "[Qvtest Keys *]\r\nRegKey1=HKLM\\" + machine.Path() + "|Trace\r\n");
  qv::TCleanRun::SetAdministratorForTesting(0);
  auto host = std::make_shared<RecordingHost>(qv::rmUnattended);
  qv::TCleanRun run(host);
  run.LogPrefix = "Clean: ";
  qv::RunWinapp2Section(run, ini, "Applications - Qvtest Keys *");
  qv::TCleanRun::SetAdministratorForTesting(-1);
  EXPECT_EQ(run.ItemCount, 0);
  EXPECT_EQ(host->Lines, (std::vector<std::string>{"Clean: skipping HKEY_LOCAL_MACHINE\\" + machine.Path() +
                                                   "\\Trace: it needs administrator rights"}));
  EXPECT_TRUE(run.Control()->SomethingLeft.load());
  EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, machine.Path(), "Trace"));
  DeleteFileW(qv::Widen(ini).c_str());
}

}  // namespace
