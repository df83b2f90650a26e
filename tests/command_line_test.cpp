// The command line (switches with - or /, in any order and case; usage errors; the items a
// one-time clean is given by name) and the -log file (refused where it would reach a device, a
// host path or whatever a link points at; the closing line of a run).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "base/Global.h"
#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "shell/CommandLine.h"
#include "shell/RunLogFile.h"
#include "support/Process.h"
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
  TCatalogue cat = BuiltinCatalogue();
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
    const char* result;
    int code;
    uint64_t count, bytes, ms;
    const char* line;
  } cases[] = {
      {"finished", 0, 0, 0, 0, "==== end: finished; exit code 0; 0 items, 0 KB; 0:00:00.0 ===="},
      {"finished", 7, 1, 1, 1949, "==== end: finished; exit code 7; 1 item, 1 KB; 0:00:01.9 ===="},
      {"stopped", 4, 1234567, 5ull * 1024 * 1024 * 1024 + 1, 3723450,
       "==== end: stopped; exit code 4; 1,234,567 items, 5,242,881 KB; 1:02:03.5 ===="},
  };
  for (const Case& c : cases) {
    TRunOutcome outcome;
    outcome.Result = c.result;
    outcome.ExitCode = c.code;
    outcome.Count = c.count;
    outcome.Bytes = c.bytes;
    outcome.Milliseconds = c.ms;
    EXPECT_EQ(RunLogClosingLine(outcome), c.line);
  }
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
    if (!c.because.empty()) {
      EXPECT_TRUE(EndsWith(problem, c.because)) << problem;
    }
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

// Entries of several megabytes go in piece by piece; runs writing at once still leave each entry
// whole, one after the other.
TEST(RunLogFile, EntriesWrittenAtOnceStayWhole) {
  const std::string file = "C:\\qvlogfile\\together.log";
  DeleteFileW(Widen(file).c_str());
  const int kLines = 40000;  // about 2.5 MB an entry
  auto entry = [&](char tag) {
    return [tag, kLines](const std::function<void(const std::string&)>& put) {
      for (int i = 0; i < kLines; ++i) put(std::string(1, tag) + " line " + std::to_string(i) + std::string(40, tag));
    };
  };
  std::vector<std::thread> writers;
  std::vector<char> ok(4, 0);
  std::vector<std::string> problems(4);
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([&, w] {
      ok[w] = AppendRunLog(file, std::string("==== ") + char('a' + w) + " ====", entry(char('a' + w)), &problems[w]);
    });
  for (std::thread& t : writers) t.join();
  for (int w = 0; w < 4; ++w) EXPECT_TRUE(ok[w]) << problems[w];

  const std::string text = ReadTextFile(file);
  ASSERT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0);
  std::vector<char> seen;
  size_t at = 3;
  while (at < text.size()) {
    ASSERT_EQ(text.compare(at, 5, "==== "), 0) << "an entry starts at " << at;
    const char tag = text[at + 5];
    seen.push_back(tag);
    at = text.find("\r\n", at) + 2;
    for (int i = 0; i < kLines; ++i) {
      const std::string line = std::string(1, tag) + " line " + std::to_string(i) + std::string(40, tag) + "\r\n";
      ASSERT_EQ(text.compare(at, line.size(), line), 0) << "entry " << tag << ", line " << i;
      at += line.size();
    }
    ASSERT_EQ(text.compare(at, 2, "\r\n"), 0);
    at += 2;
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::string(seen.begin(), seen.end()), "abcd");
  DeleteFileW(Widen(file).c_str());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The program itself

namespace {

// Runs the program with its standard output and error in a file; its exit code (-1: time-out).
int RunCaptured(const std::string& args, std::string& out, int timeoutMs = 60000) {
  out.clear();
  const std::string outFile = ExeFolder() + "cmdline-out.txt";
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE file = CreateFileW(Widen(outFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -2;
  std::wstring cmd = L"\"" + Widen(ExeFolder() + "Quorvane.exe") + L"\" " + Widen(args);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi = {};
  const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(file);
  if (!started) return -2;
  CloseHandle(pi.hThread);
  const int code = WaitProgram(pi.hProcess, timeoutMs);
  out = ReadTextFile(outFile);
  DeleteFileW(Widen(outFile).c_str());
  return code;
}

bool MainWindowShown() { return FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr) != nullptr; }

// What the program is run with in these tests: a custom list aimed at a canary file, ticked in its
// settings.ini; and a -settings file of another list.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.reset(new SandboxFolder("cmdline"));
    canary_ = box_->Path() + "canary.qvcmd";
    WriteTextFile(canary_, "canary");
    WriteTextFile(ExeFolder() + "Clist.dat", "[<New List>]\r\nDelFile1=" + box_->Path() + ",*.qvcmd\r\n");
    WriteProgramSettings(ExeFolder() + "settings.ini", {"Custom Lists", "Custom Lists - <New List>"});
  }
  void TearDown() override {
    DeleteFileW(Widen(ExeFolder() + "Clist.dat").c_str());
    DeleteFileW(Widen(ExeFolder() + "settings.ini").c_str());
    box_.reset();
  }
  std::unique_ptr<SandboxFolder> box_;
  std::string canary_;
};

// A usage error runs nothing, opens no window and ends with 10, the usage text on the console;
// /? ends with 0.
TEST_F(ProgramTest, UsageErrorsRunNothingAndHelpShowsTheSwitches) {
  struct Case {
    std::string args;
    int code;
    std::string says;  // in the output
  } cases[] = {
      {"-cleanonce -bogus", 10, "Unknown switch \"-bogus\"."},
      {"/cleanonc", 10, "Unknown switch \"/cleanonc\"."},
      {"-cleanonce -log", 10, "\"-log\" needs a file name."},
      {"/CLEANONCE /items \"Windows - No Such Item\"", 10, "Unknown item \"Windows - No Such Item\"."},
      {"/?", 0, "Exit codes:"},
      {"-HELP", 0, "-settings <file>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_EQ(RunCaptured(c.args, out), c.code);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_NE(out.find("Quorvane.exe -cleanonce [-settings <file>]"), std::string::npos) << out;
    EXPECT_TRUE(FileExists(canary_)) << "nothing is cleaned";
    EXPECT_FALSE(MainWindowShown());
  }
}

// Switches in any case and order; -items cleans what it names instead of the ticked items;
// -settings runs from another file, which it never writes.
TEST_F(ProgramTest, ItemsAndSettingsChooseWhatIsCleaned) {
  std::string out;
  // Named items that do not include the custom list: the canary stays.
  EXPECT_EQ(RunCaptured("/Items \"Windows - Clipboard\" /CLEANONCE", out), 0) << out;
  EXPECT_TRUE(FileExists(canary_));
  EXPECT_EQ(RunCaptured("-items \"Custom Lists\" -cleanonce", out), 0) << out;
  EXPECT_FALSE(FileExists(canary_));
  // A settings file with nothing ticked, then one with the list: only the second cleans.
  WriteTextFile(canary_, "canary");
  const std::string other = box_->Path() + "fleet.ini";
  WriteProgramSettings(other, {});
  EXPECT_EQ(RunCaptured("-cleanonce -settings \"" + other + "\"", out), 1) << out;
  EXPECT_TRUE(FileExists(canary_));
  WriteProgramSettings(ExeFolder() + "settings.ini", {});
  WriteProgramSettings(other, {"Custom Lists - <New List>"});
  const std::string before = ReadTextFile(other);
  EXPECT_EQ(RunCaptured("-settings \"" + other + "\" -cleanonce", out), 0) << out;
  EXPECT_FALSE(FileExists(canary_));
  EXPECT_EQ(ReadTextFile(other), before) << "the -settings file is only read";
  EXPECT_EQ(RunCaptured("-cleanonce -settings \"" + box_->Path() + "missing.ini\"", out), 2) << out;
}

// The -log file ends each run with its closing line; a device name is refused with a line on the
// console and exit code 6, the run done all the same.
TEST_F(ProgramTest, TheLogEndsEachRunAndRefusesADevice) {
  const std::string log = box_->Path() + "runs.log";
  std::string out;
  EXPECT_EQ(RunCaptured("-cleanonce -log \"" + log + "\"", out), 0) << out;
  const std::string text = ReadTextFile(log);
  EXPECT_NE(text.find(": unattended clean ===="), std::string::npos) << text;
  EXPECT_NE(text.find("\r\n==== end: finished; exit code 0; 1 item, 1 KB; "), std::string::npos) << text;
  EXPECT_FALSE(FileExists(canary_));
  WriteTextFile(canary_, "canary");
  out.clear();
  EXPECT_EQ(RunCaptured("-cleanonce -log NUL", out), 6);
  EXPECT_NE(out.find("The log file NUL cannot be written: it names a device."), std::string::npos) << out;
  EXPECT_FALSE(FileExists(canary_)) << "the run is done all the same";
}

}  // namespace
