// The check of definition files (-lintdefs): planted faults in a Zelbrin.dat-form file and in a
// winapp2.ini are each reported with their line, the shipped Zelbrin.dat has none, and the
// program itself reports through -log with its exit code, without a window.
#include <gtest/gtest.h>

#include "apps_test_util.h"
#include "engine/DefinitionLint.h"
#include "support/Process.h"

using namespace qvtest;

namespace {

struct Expected {
  int line;
  std::string text;  // the finding's text begins so
};

void ExpectFindings(const std::vector<qv::TLintFinding>& got, const std::vector<Expected>& want) {
  std::string all;
  for (const auto& f : got) all += "\n  line " + std::to_string(f.Line) + ": " + f.Text + " | " + f.Raw;
  ASSERT_EQ(got.size(), want.size()) << all;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].Line, want[i].line) << all;
    EXPECT_EQ(got[i].Text.compare(0, want[i].text.size(), want[i].text), 0) << got[i].Text;
  }
}

std::string Windows() { return qv::IncludeTrailingBackslash(WindowsFolderPath()); }

TEST(DefinitionCheck, EveryPlantedFaultOfADefinitionFile) {
  const std::string text =
      "; planted faults, one a line\r\n"                                  // 1
      "stray=1\r\n"                                                        // 2
      "[Planted]\r\n"                                                      // 3
      "DelFile1={Local AppData}\\Qv\\Cache\r\n"                            // 4
      "=oops\r\n"                                                          // 5
      "DelRegValue1=HKCU\\Software\\Foo\r\n"                               // 6
      "DelRegValue2=HKEY_CURRENT_USER\\\r\n"                               // 7
      "DelFile2=%windir%\r\n"                                              // 8
      "DelFile3=%windir%\\,*.*\r\n"                                        // 9
      "DelFile4=%windir%\\,*.log\r\n"                                      // 10
      "DelFile5={C: Drive}\r\n"                                            // 11
      "DelFile6={Local AppData}\\*\r\n"                                    // 12
      "DelFile7={Local AppData}\\Google\\Chrome\\User Data\\*\\Cache\r\n"  // 13
      "DelFile8={Local AppData}\\Prof*\\Cache\r\n"                         // 14
      "DelFile9=Temp\\Old\r\n"                                             // 15
      "DelFile10={Unknown}\\x\r\n"                                         // 16
      "DelFile11=\\\\?\\unix\\tmp\r\n"                                     // 17
      "Colour=Red\r\n"                                                     // 18
      "LockFile1={Local AppData}\\Qv\\lockfile\r\n"                        // 19
      "DelFile12=C:\\*,*.log\r\n"                                          // 20
      "DelFile13={Local AppData}\\Qv,sub\\*.log\r\n"                       // 21
      "[planted]\r\n"                                                      // 22
      "DelFile1=C:\\Temp\\Old\r\n"                                         // 23
      "[Profiles]\r\n"                                                     // 24
      "DelFile1={Local AppData}\\{Chromium Profiles}\r\n"                   // 25
      "DelFile2={Local AppData}\\Qv\\{Chromium profiles}\\Cache\r\n"       // 26
      "DelFile3=C:\\,*.log\r\n";                                            // 27
  ExpectFindings(qv::LintDefinitionText(text, qv::dfmDefinitions),
                 {{2, "outside any section"},
                  {5, "not an entry"},
                  {6, "a malformed registry key"},
                  {7, "a whole registry root"},
                  {8, "refused: the protected folder " + Windows() + " named whole"},
                  {9, "refused: the protected folder " + Windows() + " named whole"},
                  {11, "the drive root C:\\ emptied whole"},
                  {12, "refused: a wildcard step below the protected folder " + LocalAppDataPath()},
                  {14, "a step with \"*\" or \"?\" that is no wildcard step"},
                  {15, "a relative folder"},
                  {16, "an unknown folder macro {Unknown}"},
                  {17, "a device path"},
                  {18, "an unknown key"},
                  {20, "refused: a wildcard step below the drive root C:\\"},
                  {21, "a file mask with a folder in it"},
                  {22, "a second section of this name"},
                  {26, "an unknown step {Chromium profiles}"}});
}

TEST(DefinitionCheck, EveryPlantedFaultOfAWinapp2File) {
  const std::string text =
      "[Ok *]\r\n"                                         // 1
      "Detect=HKCU\\Software\\Foo\r\n"                     // 2
      "FileKey1=%LocalAppData%\\Foo|*.*\r\n"               // 3
      "[Bad *]\r\n"                                        // 4
      "FileKey1=%WinDir%|*.*\r\n"                          // 5
      "FileKey2=%LocalAppData%|*.log|RECURSE\r\n"          // 6
      "FileKey3=%LocalAppData%\\*|*.*\r\n"                 // 7
      "FileKey4=%NoSuchVariable%\\x|*.*\r\n"               // 8
      "FileKey5=%SystemDrive%|*.tmp|REMOVESELF\r\n"        // 9
      "RegKey1=HKXX\\Foo\r\n"                              // 10
      "ExcludeKey1=DIR|x\r\n"                              // 11
      "FileKey6=%LocalAppData%\\Foo\r\n"                   // 12
      "ExcludeKey2=PATH|%NoSuchVariable%\\y\\\r\n"         // 13
      "[Empty *]\r\n"                                      // 14
      "Detect=HKCU\\Software\\Foo\r\n"                     // 15
      "[Partial *]\r\n"                                    // 16
      "FileKey1=%LocalAppData%\\Qv*|*.log\r\n"             // 17
      "FileKey2=%LocalAppData%\\.qv-*|*.log|RECURSE\r\n"   // 18
      "FileKey3=%SystemDrive%|*.cpp.log;Qv*.txt\r\n"       // 19
      "FileKey4=%LocalAppData%\\*.*|*.log\r\n"             // 20
      "FileKey5=%LocalAppData%\\*\\Qv*|*.log\r\n"          // 21
      "FileKey6=%SystemDrive%\\?*|*.log\r\n";              // 22
  ExpectFindings(qv::LintDefinitionText(text, qv::dfmWinapp2),
                 {{5, "refused: the protected folder " + Windows() + " named whole"},
                  {7, "refused: a wildcard step below the protected folder " + LocalAppDataPath()},
                  {8, "the variable %NoSuchVariable% is unknown on this system"},
                  {9, "the drive root C:\\ emptied whole"},
                  {10, "a malformed registry key"},
                  {11, "an unknown kind of exclusion"},
                  {12, "no file mask"},
                  {13, "the variable %NoSuchVariable% is unknown on this system, so [Bad *] is never cleaned"},
                  {14, "an entry that names nothing to clean"},
                  // Partial steps, a mask at a drive root and a step with a named one after it are
                  // valid lines; a step that matches every name right below is not.
                  {20, "refused: a wildcard step below the protected folder " + LocalAppDataPath()},
                  {22, "refused: a wildcard step below the drive root C:\\"}});
}

TEST(DefinitionCheck, TheShippedDefinitionsHaveNoProblem) {
  const std::vector<qv::TLintFinding> findings = qv::LintDefinitionFile(qv::ExeFolder() + "Zelbrin.dat");
  for (const auto& f : findings) ADD_FAILURE() << "line " << f.Line << ": " << f.Text << ": " << f.Raw;
}

// The program reports to the -log file and ends with 0 for a clean file, 8 for one with problems
// (or none at all), without opening its window, even beside a running copy's lock.
TEST(DefinitionCheck, FromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  const std::string log = qv::ExeFolder() + "lintdefs.log";
  const std::string planted = qv::ExeFolder() + "planted-winapp2.ini";
  WriteTextFile(planted, "[Bad *]\r\nFileKey1=%WinDir%|*.*\r\nRegKey1=HKXX\\Foo\r\n");
  struct Case {
    std::string file;
    int exitCode;
    std::vector<std::string> lines;
  } cases[] = {
      {qv::ExeFolder() + "Zelbrin.dat", 0, {"Checking " + qv::ExeFolder() + "Zelbrin.dat", "No problems found."}},
      {planted,
       8,
       {"Checking " + planted + " (winapp2.ini)",
        "line 2: refused: the protected folder " + Windows() + " named whole: FileKey1=%WinDir%|*.*",
        "line 3: a malformed registry key: RegKey1=HKXX\\Foo", "2 problems found."}},
      {qv::ExeFolder() + "missing.dat", 8, {"Checking " + qv::ExeFolder() + "missing.dat", "the file does not exist", "1 problem found."}},
  };
  // A copy that runs holds the single-instance lock: the check runs all the same.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Quorvane.SingleInstance");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    DeleteFileW(qv::Widen(log).c_str());
    EXPECT_EQ(RunProgram(exe, "-lintdefs \"" + c.file + "\" -log \"" + log + "\"", 60000), c.exitCode);
    std::string text = ReadTextFile(log);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    ASSERT_GE(lines.size(), c.lines.size() + 1) << text;
    EXPECT_NE(lines[0].find("Quorvane"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("definition check"), std::string::npos) << lines[0];
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(lines[i + 1], c.lines[i]);
  }
  if (mutex) CloseHandle(mutex);
  EXPECT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  DeleteFileW(qv::Widen(log).c_str());
  DeleteFileW(qv::Widen(planted).c_str());
}

}  // namespace
