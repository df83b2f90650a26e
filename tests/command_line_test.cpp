// The command line (switches with - or /, in any order and case; usage errors; the items a
// one-time clean is given by name) and the -log file (refused where it would reach a device, a
// host path or whatever a link points at; the closing line of a run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Global.h"
#include "engine/Catalogue.h"
#include "shell/CommandLine.h"
#include "shell/RunLogFile.h"
#include "support/Sandbox.h"

using namespace qv;
using namespace qvtest;

namespace {

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : "|") + x;
  return s;
}

TEST(CommandLine, SwitchesAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string first;  // FirstArgument
    bool help;
    std::string log, settings, items, errors;
  } cases[] = {
      {{}, "", false, "", "", "", ""},
      {{"-cleanonce"}, "-cleanonce", false, "", "", "", ""},
      {{"/CleanOnce"}, "-cleanonce", false, "", "", "", ""},
      {{"-START"}, "-Start", false, "", "", "", ""},
      {{"/start", "/LOG", "C:\\a b.log"}, "-Start", false, "C:\\a b.log", "", "", ""},
      {{"-log", "x.log", "/cleanonce", "-Settings", "D:\\fleet.ini", "/items",
        " Windows - Start Run ;Internet Explorer - Cookies;; "},
       "-cleanonce", false, "x.log", "D:\\fleet.ini", "Windows - Start Run|Internet Explorer - Cookies", ""},
      {{"-?"}, "", true, "", "", "", ""},
      {{"/?"}, "", true, "", "", "", ""},
      {{"-HELP", "-cleanonce"}, "-cleanonce", true, "", "", "", ""},
      // Misspelt, unknown and stray arguments, switches without their values, twice, or together.
      {{"-cleanonce", "-bogus"}, "-cleanonce", false, "", "", "", "Unknown switch \"-bogus\"."},
      {{"/cleanonc"}, "", false, "", "", "", "Unknown switch \"/cleanonc\"."},
      {{"--cleanonce"}, "", false, "", "", "", "Unknown switch \"--cleanonce\"."},
      {{"cleanonce"}, "", false, "", "", "", "Unexpected argument \"cleanonce\"."},
      {{"-cleanonce", "-log"}, "-cleanonce", false, "", "", "", "\"-log\" needs a file name."},
      {{"-log", "/cleanonce"}, "-cleanonce", false, "", "", "", "\"-log\" needs a file name."},
      {{"-cleanonce", "-items", ";"}, "-cleanonce", false, "", "", "", "\"-items\" needs a list of items."},
      {{"-log", "a", "-LOG", "b"}, "", false, "b", "", "", "\"-LOG\" is given twice."},
      {{"-Start", "-cleanonce"}, "-Start", false, "", "", "", "-Start and -cleanonce cannot be used together."},
      {{"-items", "Windows"}, "", false, "", "", "Windows", "-items is used with -cleanonce."},
      {{"-settings", "a.ini"}, "", false, "", "a.ini", "", "-settings is used with -cleanonce."},
      {{"-lintdefs", "Zelbrin.dat", "-cleanonce"}, "-cleanonce", false, "", "", "",
       "-lintdefs cannot be used with -Start, -cleanonce, -settings or -items."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const TCommandLine got = ParseCommandLine(c.args);
    EXPECT_EQ(got.FirstArgument, c.first);
    const bool both = c.errors == "-Start and -cleanonce cannot be used together.";
    EXPECT_EQ(got.Start(), c.first == "-Start");
    EXPECT_EQ(got.CleanOnce(), c.first == "-cleanonce" || both);
    EXPECT_EQ(got.Help, c.help);
    EXPECT_EQ(got.LogFile, c.log);
    EXPECT_EQ(got.SettingsFile, c.settings);
    EXPECT_EQ(Joined(got.Items), c.items);
    EXPECT_EQ(Joined(got.Errors), c.errors);
    EXPECT_EQ(got.UsageError(), !c.errors.empty());
  }
  const TCommandLine lint = ParseCommandLine({"/LintDefs", "C:\\x\\winapp2.ini", "-log", "r.txt"});
  EXPECT_TRUE(lint.LintDefinitions);
  EXPECT_EQ(lint.LintFile, "C:\\x\\winapp2.ini");
  EXPECT_FALSE(lint.UsageError());
}

// The usage text names every switch and every exit code.
TEST(CommandLine, UsageTextNamesEverySwitchAndExitCode) {
  const std::string text = Joined(UsageLines());
  for (const char* s : {"-Start", "-cleanonce", "-settings <file>", "-items", "-log <file>", "-lintdefs <file>",
                        "-?", "-help", "[NodeSelected]", "SelectedCount"})
    EXPECT_NE(text.find(s), std::string::npos) << s;
  for (int code = 0; code <= 10; ++code)
    EXPECT_NE(text.find("|  " + std::to_string(code) + " "), std::string::npos) << code;
}

TEST(CommandLine, NamedItemsReplaceTheTickedOnes) {
  TCatalogue cat = TCatalogue::Builtin();
  ASSERT_TRUE(cat.TickByName("Opera"));
  ASSERT_TRUE(cat.TickByName("Opera - Cookies"));
  const std::vector<std::string> unknown = SelectNamedItems(
      cat, {"Windows - Start Run", "internet explorer - COOKIES", "Microsoft Office", "Windows - No Such Item",
            "Windows -Start Run", "Applications"});
  EXPECT_EQ(Joined(unknown),
            "Unknown item \"Windows - No Such Item\".|Unknown item \"Windows -Start Run\".|"
            "Unknown item \"Applications\".");
  std::vector<std::string> expected = {"Internet Explorer - Cookies", "Windows - Start Run"};
  for (const char* office : {"Access", "Excel", "FrontPage", "Powerpoint", "Word", "Recent Files"})
    expected.push_back(std::string("Microsoft Office - ") + office);
  EXPECT_EQ(Joined(cat.BuildRunList()), Joined(expected));
  EXPECT_FALSE(cat.IsCategoryTicked("Opera"));
  EXPECT_TRUE(cat.IsCategoryTicked("Windows"));
}

TEST(RunLogFile, ClosingLine) {
  struct Case {
    TRunOutcome outcome;
    std::string line;
  } cases[] = {
      {{"finished", 0, 0, 0, 0}, "==== end: finished; exit code 0; 0 items, 0 KB; 0:00:00.0 ===="},
      {{"finished", 7, 1, 1, 1949}, "==== end: finished; exit code 7; 1 item, 1 KB; 0:00:01.9 ===="},
      {{"stopped", 4, 1234567, 5ull * 1024 * 1024 * 1024 + 1, 3723450},
       "==== end: stopped; exit code 4; 1,234,567 items, 5,242,881 KB; 1:02:03.5 ===="},
  };
  for (const Case& c : cases) EXPECT_EQ(RunLogClosingLine(c.outcome), c.line);
}

TEST(RunLogFile, DeviceAndHostNamesAreRefusedFromTheirSpelling) {
  for (const char* path : {"NUL", "nul.log", "C:\\logs\\CON", "C:\\logs\\com1.txt", "C:\\logs\\LPT9 .log",
                           "CONOUT$", "C:\\AUX\\run.log", "\\\\.\\C:\\run.log", "\\\\?\\C:\\run.log",
                           "\\\\.\\PhysicalDrive0", "\\\\?\\GLOBALROOT\\Device\\Null", "\\\\?\\unix\\tmp\\run.log",
                           "C:\\logs\\run.log:stream", "C:\\logs\\"})
    EXPECT_NE(RefusedLogPath(path), "") << path;
  for (const char* path : {"C:\\logs\\run.log", "run.log", "C:\\logs\\console.log", "C:\\logs\\com10.log",
                           "C:\\logs\\nullify.txt", "\\\\server\\share\\run.log"})
    EXPECT_EQ(RefusedLogPath(path), "") << path;
}

// tests/fixtures/command_line_test.sh makes, on the host, C:\qvlogfile\ with a link to a file
// outside it (link.log -> outside\target.log), a link to a file that does not exist
// (dangling.log -> outside\absent.log) and a link to a folder (folder.log -> outside\).
TEST(RunLogFile, WritesOnlyAPlainFileOfItsOwnName) {
  const std::string dir = "C:\\qvlogfile\\";
  ASSERT_TRUE(DirectoryExists(dir + "outside")) << "the fixture script makes it";
  const std::string target = dir + "outside\\target.log";
  const std::string before = ReadTextFile(target);
  struct Case {
    std::string file;
    std::string because;  // the end of the problem line; empty: written
  } cases[] = {
      {dir + "link.log", "it leads somewhere else (a link)."},
      {dir + "dangling.log", "it leads somewhere else (a link)."},
      {dir + "folder.log", "it is a folder."},
      {dir + "outside", "it is a folder."},
      {dir + "missing\\run.log", "its folder does not exist."},
      {dir + "NUL", "it names a device."},
      {dir + "plain.log", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string problem;
    const bool written = AppendRunLog(c.file, "==== header ====", {"line"}, &problem);
    if (c.file == dir + "plain.log") {
      EXPECT_TRUE(written) << problem;
      continue;
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(problem.find("The log file " + c.file + " cannot be written: "), 0u) << problem;
    if (!c.because.empty()) EXPECT_TRUE(EndsWith(problem, c.because)) << problem;
  }
  EXPECT_EQ(ReadTextFile(target), before);
  EXPECT_FALSE(FileExists(dir + "outside\\absent.log"));
  // A hard link to the plain file is a second name of it: refused, and the file left as it was.
  const std::string hard = dir + "hard.log";
  DeleteFileW(Widen(hard).c_str());
  if (CreateHardLinkW(Widen(hard).c_str(), Widen(dir + "plain.log").c_str(), nullptr)) {
    std::string problem;
    EXPECT_FALSE(AppendRunLog(hard, "==== header ====", {"line"}, &problem));
    EXPECT_TRUE(EndsWith(problem, "it has more than one name (a hard link).")) << problem;
    DeleteFileW(Widen(hard).c_str());
  }
  // The plain file: one byte-order mark, then the entries one after another.
  ASSERT_TRUE(AppendRunLog(dir + "plain.log", "==== second ====", {"a", "b"}));
  EXPECT_EQ(ReadTextFile(dir + "plain.log"),
            "\xEF\xBB\xBF==== header ====\r\nline\r\n\r\n==== second ====\r\na\r\nb\r\n\r\n");
  DeleteFileW(Widen(dir + "plain.log").c_str());
}

}  // namespace
