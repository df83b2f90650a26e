// File and folder removal: DeleteOneFile, OverwriteFileContents, IsFileLocked, DeleteFolderTree
// and DeleteFilesByMask, on real files of the test prefix.
#include <gtest/gtest.h>
#include <winternl.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "base/Global.h"
#include "base/Settings.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "support/RecordingHost.h"
#include "support/Sandbox.h"

using namespace qvtest;
using qv::ToWinPath;

namespace {

struct Question {
  std::string text, caption;
  UINT type;
};

// A run whose primitives the test calls directly on its own thread.
struct Worker {
  explicit Worker(int mode) : host(std::make_shared<RecordingHost>(mode)), run(host) {
    run.LogPrefix = mode == qv::rmTest ? "Test: " : "Clean: ";
  }
  std::shared_ptr<RecordingHost> host;
  qv::TCleanRun run;
};

class FileRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::OptionsSetting = qv::TOptionsSetting();
    qv::SetMessageBoxHook([this](const std::string& text, const std::string& caption, UINT type) {
      questions.push_back({text, caption, type});
      return answer;
    });
  }
  void TearDown() override {
    qv::SetMessageBoxHook(nullptr);
    qv::SetClockForTesting(nullptr);
    qv::SetFileDeleteMethod(qv::fdmChecked);
    qv::OptionsSetting = qv::TOptionsSetting();
  }
  std::vector<Question> questions;
  int answer = IDYES;
};

bool Exists(const std::string& path) { return GetFileAttributesW(ToWinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file below dir (relative path -> content), not entering links.
void Snapshot(const std::string& dir, const std::string& rel, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = qv::Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel + name + "\\"] = "";
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Snapshot(dir + name + "\\", rel + name + "\\", out);
    } else {
      out[rel + name] = ReadTextFile(dir + name) + "|" + std::to_string(fd.dwFileAttributes);
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> out;
  Snapshot(dir, "", out);
  return out;
}

std::string WithoutPrefix(const std::string& line) { return line.substr(line.find(':') + 2); }

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A long folder name chain that takes a path past 260 characters.
std::string LongFolder(const std::string& base) {
  std::string p = base;
  while (p.size() < 280) p += "long-folder-name-" + std::to_string(p.size()) + "\\";
  return p;
}

}  // namespace

// The tree of the contract test: nested files, a read-only hidden system file, names outside the
// ANSI code page and a path past 260 characters.
struct TreeFile {
  std::string rel;
  uint64_t size;
  DWORD attributes;
};

static std::vector<TreeFile> ContractTree(const std::string& root) {
  return {
      {"a.txt", 1000, 0},
      {"sub\\b.txt", 1000, 0},
      {"sub\\deeper\\c.txt", 1000, 0},
      {"guarded.sys", 10, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {"\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xD0\x96.txt", 100, 0},
      {LongFolder(root).substr(root.size()) + "deep-file.txt", 50, 0},
  };
}

static void MakeContractTree(const std::string& root) {
  for (const TreeFile& f : ContractTree(root)) {
    WriteFile(root + f.rel, f.size);
    if (f.attributes) SetFileAttributesW(ToWinPath(root + f.rel).c_str(), f.attributes);
  }
}

// A Test changes nothing and counts, byte for byte and line for line, what the Clean then removes;
// with and without the overwrite, which takes another way through the code.
TEST_F(FileRemoval, TestCountsExactlyWhatCleanRemoves) {
  for (bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "overwrite" : "plain delete");
    SandboxFolder box("contract");
    const std::string root = box / "tree\\";
    MakeContractTree(root);
    ASSERT_GT((LongFolder(root) + "deep-file.txt").size(), 260u);
    uint64_t expectedBytes = 0;
    std::set<std::string> expectedLines;
    for (const TreeFile& f : ContractTree(root)) {
      expectedBytes += f.size;
      expectedLines.insert("deleting " + root + f.rel);
    }
    const auto before = Snapshot(box.Path());

    Worker test(qv::rmTest);
    int testCount = 0;
    uint64_t testBytes = qv::DeleteFolderTree(test.run, root, true, true, "", testCount);
    EXPECT_EQ(testCount, 6);
    EXPECT_EQ(testBytes, expectedBytes);
    EXPECT_EQ(Snapshot(box.Path()), before);
    std::set<std::string> testLines;
    for (const std::string& l : test.host->Lines) {
      EXPECT_EQ(l.rfind("Test: deleting ", 0), 0u) << l;
      testLines.insert(WithoutPrefix(l));
    }
    EXPECT_EQ(testLines, expectedLines);

    qv::OptionsSetting.OverwriteFile = overwrite;
    qv::OptionsSetting.OverwriteNumber = 2;
    Worker clean(qv::rmClean);
    int cleanCount = 0;
    uint64_t cleanBytes = qv::DeleteFolderTree(clean.run, root, true, true, "", cleanCount);
    EXPECT_EQ(cleanCount, testCount);
    EXPECT_EQ(cleanBytes, testBytes);
    std::set<std::string> cleanLines;
    for (const std::string& l : clean.host->Lines) cleanLines.insert(WithoutPrefix(l));
    EXPECT_EQ(cleanLines, testLines);
    EXPECT_FALSE(Exists(root)) << "the emptied tree and its folders are gone";
    EXPECT_TRUE(questions.empty());
  }
}

// Detail lines follow FastScan and the log flag; the counts never do.
TEST_F(FileRemoval, DetailLinesFollowFastScanAndLogFlag) {
  struct Case {
    bool fastScan, log;
    size_t lines;
  } cases[] = {{false, true, 3}, {true, true, 0}, {false, false, 0}};
  for (const Case& c : cases) {
    SandboxFolder box("lines");
    WriteFile(box / "a.txt", 1000);
    WriteFile(box / "sub\\b.txt", 1000);
    WriteFile(box / "sub\\c\\d.txt", 1000);
    qv::OptionsSetting.FastScan = c.fastScan;
    for (int mode : {qv::rmTest, qv::rmClean}) {
      Worker run(mode);
      int count = 0;
      EXPECT_EQ(qv::DeleteFolderTree(run.run, box.Path(), false, c.log, "", count), 3000u);
      EXPECT_EQ(count, 3);
      EXPECT_EQ(run.host->Lines.size(), c.lines) << c.fastScan << c.log << mode;
    }
    EXPECT_TRUE(Exists(box.Path())) << "the top folder stays without the remove-top flag";
    EXPECT_FALSE(Exists(box / "sub"));
  }
}

TEST_F(FileRemoval, NameToKeepStaysAndKeepsItsFolder) {
  SandboxFolder box("keep");
  const std::string dir = box / "Content.IE5\\";
  WriteFile(dir + "index.dat", 500);
  WriteFile(dir + "a.htm", 100);
  WriteFile(dir + "X1\\b.gif", 200);
  WriteFile(dir + "X1\\index.dat", 300);
  Worker clean(qv::rmClean);
  int count = 0;
  EXPECT_EQ(qv::DeleteFolderTree(clean.run, dir, true, false, "INDEX.DAT", count), 300u);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(qv::FileExists(dir + "index.dat"));
  EXPECT_TRUE(qv::FileExists(dir + "X1\\index.dat"));
  EXPECT_FALSE(Exists(dir + "a.htm"));
  EXPECT_FALSE(Exists(dir + "X1\\b.gif"));
}

// A name ending in a dot or a space (possible on the host, or through \\?\) reaches a different
// file once the system trims it: "index.dat." would be opened as "index.dat". Such an entry must
// never take the file it shadows with it, whether that file is the name to keep or one the mask
// does not match; a Test counts what the Clean then removes.
TEST_F(FileRemoval, TrimmedNamesNeverReachTheFileTheyShadow) {
  auto makeExact = [](const std::string& path) {
    HANDLE h = CreateFileW((L"\\\\?\\" + qv::Widen(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ::WriteFile(h, "shadow", 6, &written, nullptr);
    CloseHandle(h);
    return true;
  };
  SandboxFolder box("trimmed");
  WriteTextFile(box / "tree\\index.dat", "kept");
  WriteTextFile(box / "tree\\other.txt", "other");
  WriteTextFile(box / "mask\\notes", "unmatched");
  if (!makeExact(box / "tree\\index.dat.") || !makeExact(box / "tree\\other.txt ") || !makeExact(box / "mask\\notes."))
    GTEST_SKIP() << "the file system does not keep trailing dots";

  Worker test(qv::rmTest);
  int testCount = 0;
  qv::DeleteFolderTree(test.run, box / "tree", false, true, "index.dat", testCount);
  Worker clean(qv::rmClean);
  int cleanCount = 0;
  qv::DeleteFolderTree(clean.run, box / "tree", false, true, "index.dat", cleanCount);
  EXPECT_EQ(ReadTextFile(box / "tree\\index.dat"), "kept");
  EXPECT_EQ(cleanCount, testCount);
  EXPECT_FALSE(Exists(box / "tree\\other.txt"));

  int maskTest = 0, maskClean = 0;
  qv::DeleteFilesByMask(test.run, box / "mask", "*.", maskTest, false);
  qv::DeleteFilesByMask(clean.run, box / "mask", "*.", maskClean, false);
  EXPECT_EQ(ReadTextFile(box / "mask\\notes"), "unmatched");
  EXPECT_EQ(maskClean, maskTest);
  for (const char* rel : {"tree\\index.dat.", "tree\\other.txt ", "mask\\notes."})
    DeleteFileW((L"\\\\?\\" + qv::Widen(box / rel)).c_str());
}

// The safety questions of a removal run: their text, caption, buttons, and what each answer does.
// The documents are a folder of their own here (in the prefix they are also the desktop, which is
// refused rather than asked about).
TEST_F(FileRemoval, SafetyQuestions) {
  SandboxFolder documents("Documents");
  ScopedDocumentsFolder documentsFolder(documents.Path());
  Worker probe(qv::rmTest);
  const std::string personal = probe.run.GetPersonalFolder();
  ASSERT_EQ(personal, documents.Path());
  MakeDirs(personal);
  const std::string pictures = personal + "My Pictures\\";
  WriteFile(pictures + "qv-photo.jpg", 10);
  WriteFile(pictures + "qv-drawing.png", 10);
  WriteFile(personal + "qv-letter.txt", 10);
  WriteFile("C:\\qv-root-probe.tmp", 10);

  enum Op { tree, mask };
  struct Case {
    Op op;
    std::string folder, mask, file;
    int mode, answer;
    std::string question;  // empty: none asked
    bool removed;
  } cases[] = {
      {tree, personal, "", personal + "qv-letter.txt", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under " + personal + "?", false},
      {tree, pictures, "", pictures + "qv-photo.jpg", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under " + pictures + "?", false},
      {mask, personal, "*.txt", personal + "qv-letter.txt", qv::rmClean, IDNO,
       "Do you want to delete the files on " + personal + "?", false},
      {mask, "C:\\", "*.tmp", "C:\\qv-root-probe.tmp", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under C:\\?", false},
      // The questions see through "..": these are the drive root and the documents folder.
      {mask, "C:\\qvsandbox\\..\\", "*.tmp", "C:\\qv-root-probe.tmp", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under C:\\?", false},
      {tree, pictures + "..", "", personal + "qv-letter.txt", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under " + personal + "?", false},
      // "C:" alone is the drive root, not the current folder of drive C.
      {mask, "C:", "*.tmp", "C:\\qv-root-probe.tmp", qv::rmClean, IDNO,
       "Do you want to delete all files and folders under C:\\?", false},
      {mask, "C:\\", "boot.ini", "C:\\qv-root-probe.tmp", qv::rmClean, IDNO, "", false},
      {tree, pictures, "", pictures + "qv-photo.jpg", qv::rmTest, IDNO, "", false},
      {mask, "C:\\", "*.tmp", "C:\\qv-root-probe.tmp", qv::rmTest, IDNO, "", false},
      {mask, "C:\\", "qv-root-probe.tmp", "C:\\qv-root-probe.tmp", qv::rmClean, IDNO, "", true},
      // Nobody is in front of an unattended run: the question is answered No without being shown.
      {mask, pictures, "*.jpg", pictures + "qv-photo.jpg", qv::rmUnattended, IDYES, "", false},
      {tree, pictures, "", pictures + "qv-drawing.png", qv::rmClean, IDYES,
       "Do you want to delete all files and folders under " + pictures + "?", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " " + c.mask + " mode " + std::to_string(c.mode));
    questions.clear();
    answer = c.answer;
    Worker run(c.mode);
    int count = 0;
    if (c.op == tree) {
      qv::DeleteFolderTree(run.run, c.folder, false, true, "", count);
    } else {
      qv::DeleteFilesByMask(run.run, c.folder, c.mask, count, false);
    }
    if (c.question.empty()) {
      EXPECT_TRUE(questions.empty());
    } else {
      ASSERT_EQ(questions.size(), 1u);
      EXPECT_EQ(questions[0].text, c.question);
      EXPECT_EQ(questions[0].caption, "Quorvane");
      EXPECT_EQ(questions[0].type, (UINT)(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    }
    if (c.answer == IDNO && !c.question.empty()) {
      EXPECT_EQ(count, 0);
    }
    if (c.mode == qv::rmUnattended) {
      // The log says what was not asked, and the run's control remembers it.
      EXPECT_NE(std::find(run.host->Lines.begin(), run.host->Lines.end(),
                          "Not asked in an unattended run, answered No: Do you want to delete the files on " +
                              pictures + "?"),
                run.host->Lines.end());
      EXPECT_TRUE(run.run.Control()->QuestionDeclined);
    }
    EXPECT_EQ(Exists(c.file), !c.removed);
  }
  RemoveTree(pictures);
  DeleteFileW(ToWinPath(personal + "qv-letter.txt").c_str());
  DeleteFileW(L"C:\\qv-root-probe.tmp");
}

// The mask rule with the examples that define it; matches are listed by a Test, and a Clean
// removes exactly those files.
TEST_F(FileRemoval, MaskTable) {
  SandboxFolder box("mask");
  const std::vector<std::string> names = {"A.DMP",       "b.dmp",     "FILE0001.CHK", "cookies.txt", "Cookies2.txt",
                                          "memory.dmp",  "INDEX.DAT", "notes.txt",    "a",           "dmp"};
  for (const std::string& n : names) WriteFile(box / n, 1);
  WriteFile(box / "sub\\deep.dmp", 1);
  struct Case {
    std::string mask;
    std::set<std::string> matches;
  } cases[] = {
      {"*.*", {"A.DMP", "b.dmp", "FILE0001.CHK", "cookies.txt", "Cookies2.txt", "memory.dmp", "INDEX.DAT", "notes.txt",
               "a", "dmp"}},
      {"*.dmp", {"A.DMP", "b.dmp", "memory.dmp"}},
      {"File*.chk", {"FILE0001.CHK"}},
      {"cookies*.txt", {"cookies.txt", "Cookies2.txt"}},
      // A mask without "*" takes the name it spells, in any letter case.
      {"memory.dmp", {"memory.dmp"}},
      {"MEMORY.DMP", {"memory.dmp"}},
      {"index.dat", {"INDEX.DAT"}},
      {"a*a", {}},  // prefix and suffix may not overlap
      {"", {}},
  };
  for (const Case& c : cases) {
    Worker run(qv::rmTest);
    int count = 0;
    qv::DeleteFilesByMask(run.run, box.Path(), c.mask, count, false);
    std::set<std::string> listed;
    for (const std::string& l : run.host->Lines) listed.insert(WithoutPrefix(l).substr(strlen("deleting ") + box.Path().size()));
    EXPECT_EQ(listed, c.matches) << c.mask;
    EXPECT_EQ(count, (int)c.matches.size()) << c.mask;
  }

  Worker recurse(qv::rmTest);
  int found = 0;
  qv::DeleteFilesByMask(recurse.run, box.Path(), "*.dmp", found, true);
  EXPECT_EQ(found, 4) << "with the recurse flag the subfolder's file counts too";

  Worker clean(qv::rmClean);
  int removed = 0;
  EXPECT_EQ(qv::DeleteFilesByMask(clean.run, box.Path(), "*.dmp", removed, true), 4u);
  EXPECT_EQ(removed, 4);
  for (const std::string& n : names) EXPECT_EQ(Exists(box / n), n.size() < 4 || !qv::SameText(n.substr(n.size() - 4), ".dmp")) << n;
  EXPECT_TRUE(Exists(box / "sub")) << "subfolders are never removed by a mask";
  EXPECT_FALSE(Exists(box / "sub\\deep.dmp"));
}

TEST_F(FileRemoval, DeleteOneFile) {
  SandboxFolder box("one");
  const std::string file = box / "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.log";
  WriteFile(file, 10);
  SetFileAttributesW(ToWinPath(file).c_str(), FILE_ATTRIBUTE_READONLY);

  Worker test(qv::rmTest);
  EXPECT_TRUE(qv::DeleteOneFile(test.run, file, true));
  EXPECT_TRUE(qv::FileExists(file));
  EXPECT_EQ(test.host->Lines, std::vector<std::string>{"Test: deleting " + file});

  Worker clean(qv::rmClean);
  EXPECT_TRUE(qv::DeleteOneFile(clean.run, file, false));
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(clean.host->Lines.empty());
  EXPECT_FALSE(qv::DeleteOneFile(clean.run, file, true)) << "a missing file is not deleted";
  EXPECT_TRUE(clean.host->Lines.empty()) << "nor said to be: nothing stayed";

  // A file primitive never removes a folder, in either mode.
  MakeDirs(box / "folder");
  WriteFile(box / "folder\\inside.txt", 1);
  EXPECT_FALSE(qv::DeleteOneFile(test.run, box / "folder", true));
  EXPECT_FALSE(qv::DeleteOneFile(clean.run, box / "folder", true));
  EXPECT_TRUE(qv::FileExists(box / "folder\\inside.txt"));
}

// Each delete call the program can use removes read-only, Unicode and long-path files.
TEST_F(FileRemoval, EveryDeleteMethodRemovesTheContractTree) {
  for (qv::TFileDeleteMethod method : {qv::fdmChecked, qv::fdmPlain, qv::fdmShell}) {
    SCOPED_TRACE(method);
    qv::SetFileDeleteMethod(method);
    SandboxFolder box("methods");
    MakeContractTree(box.Path());
    Worker clean(qv::rmClean);
    int count = 0;
    qv::DeleteFolderTree(clean.run, box.Path(), false, false, "", count);
    EXPECT_EQ(count, 6);
    EXPECT_TRUE(Snapshot(box.Path()).empty());
  }
}

TEST_F(FileRemoval, OverwriteFillsEachPassWithOneByteAndKeepsTheLength) {
  SandboxFolder box("overwrite");
  const std::string file = box / "secret.bin";
  WriteFile(file, 10000);
  Worker run(qv::rmClean);
  qv::OverwriteFileContents(run.run, file, 0);
  EXPECT_EQ(ReadTextFile(file), std::string(10000, 'x'));
  std::set<char> seen;
  for (int i = 0; i < 4; ++i) {
    qv::OverwriteFileContents(run.run, file, 3);
    std::string data = ReadTextFile(file);
    ASSERT_EQ(data.size(), 10000u);
    EXPECT_EQ(std::count(data.begin(), data.end(), data[0]), 10000);
    EXPECT_NE((unsigned char)data[0], 255);
    seen.insert(data[0]);
  }
  EXPECT_GT(seen.size(), 1u) << "the byte value is drawn anew";
  qv::OverwriteFileContents(run.run, box / "missing.bin", 3);
  EXPECT_FALSE(Exists(box / "missing.bin"));
}

// A file with another hard link keeps its data under the other name: it is deleted, never
// overwritten.
TEST_F(FileRemoval, HardLinkedFileIsDeletedButNeverOverwritten) {
  SandboxFolder box("hardlink");
  WriteTextFile(box / "canary.txt", "canary");
  MakeDirs(box / "tree");
  ASSERT_TRUE(CreateHardLinkW(ToWinPath(box / "tree\\alias.txt").c_str(), ToWinPath(box / "canary.txt").c_str(),
                              nullptr));
  Worker run(qv::rmClean);
  qv::OverwriteFileContents(run.run, box / "tree\\alias.txt", 3);
  EXPECT_EQ(ReadTextFile(box / "canary.txt"), "canary");

  qv::OptionsSetting.OverwriteFile = true;
  qv::OptionsSetting.OverwriteNumber = 3;
  int count = 0;
  EXPECT_EQ(qv::DeleteFolderTree(run.run, box / "tree", true, true, "", count), 6u);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(Exists(box / "tree"));
  EXPECT_EQ(ReadTextFile(box / "canary.txt"), "canary");
}

TEST_F(FileRemoval, LockedFileIsNotOverwrittenButDeletionIsTried) {
  SandboxFolder box("locked");
  const std::string file = box / "open.dat";
  WriteFile(file, 5000);
  EXPECT_FALSE(qv::IsFileLocked(box / "missing.dat"));
  EXPECT_FALSE(qv::IsFileLocked(file));

  // Another program reads it and lets it be deleted, but not written.
  HANDLE other = CreateFileW(ToWinPath(file).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(qv::IsFileLocked(file));
  qv::OptionsSetting.OverwriteFile = true;
  qv::OptionsSetting.OverwriteNumber = 3;
  Worker run(qv::rmClean);
  EXPECT_TRUE(qv::DeleteOneFile(run.run, file, true));
  char buf[16] = {};
  DWORD got = 0;
  ReadFile(other, buf, sizeof(buf), &got, nullptr);
  EXPECT_EQ(std::string(buf, got), std::string(16, 'x')) << "not overwritten";
  CloseHandle(other);
  EXPECT_FALSE(Exists(file));

  // Held without any sharing: not overwritten, not deleted, not counted.
  WriteFile(file, 5000);
  other = CreateFileW(ToWinPath(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  int count = 0;
  run.host->Lines.clear();
  EXPECT_EQ(qv::DeleteFolderTree(run.run, box.Path(), false, true, "", count), 0u);
  EXPECT_EQ(count, 0);
  // The log does not claim it went: the file gets a line of its own.
  EXPECT_EQ(run.host->Lines,
            std::vector<std::string>{"Clean: " + file + " could not be removed: it is held open by another program"});
  EXPECT_TRUE(run.run.Control()->SomethingLeft);
  CloseHandle(other);
  EXPECT_EQ(ReadTextFile(file), std::string(5000, 'x'));
}

// Folder links are never entered and file links never followed: whatever a link points at stays.
// The links come from tests/fixtures/file_removal_test.sh (made on the host, as Wine shows them).
TEST_F(FileRemoval, LinksInsideATreeNeverReachTheirTargets) {
  const std::string base = "C:\\qvlinks\\";
  if (!qv::DirectoryExists(base + "tree\\dirlink")) GTEST_SKIP() << "the host-side link fixture did not run";
  const std::string tree = base + "tree\\";
  auto targetsIntact = [&] {
    EXPECT_EQ(ReadTextFile(base + "target\\canary.txt"), "canary");
    EXPECT_EQ(ReadTextFile(base + "target\\file-target.txt"), "canary-file");
    EXPECT_TRUE(qv::DirectoryExists(base + "emptytarget"));
    // Its target lies where no drive reaches: only the link can still read it.
    EXPECT_EQ(ReadTextFile(base + "tree\\outlink.txt"), "outside");
  };
  qv::OptionsSetting.OverwriteFile = true;
  qv::OptionsSetting.OverwriteNumber = 1;

  Worker single(qv::rmClean);
  EXPECT_FALSE(qv::DeleteOneFile(single.run, tree + "filelink.txt", true));
  qv::OverwriteFileContents(single.run, tree + "filelink.txt", 2);
  EXPECT_FALSE(qv::DeleteOneFile(single.run, tree + "outlink.txt", true));
  qv::OverwriteFileContents(single.run, tree + "outlink.txt", 2);
  targetsIntact();

  Worker test(qv::rmTest);
  int testCount = 0;
  uint64_t testBytes = qv::DeleteFolderTree(test.run, tree, true, true, "", testCount);
  Worker clean(qv::rmClean);
  int cleanCount = 0;
  uint64_t cleanBytes = qv::DeleteFolderTree(clean.run, tree, true, true, "", cleanCount);
  // The Test counts the file links like a file the Clean may fail to remove; the Clean leaves it.
  EXPECT_EQ(testCount, 4);
  EXPECT_EQ(testBytes, 5u + 5u + 11u + 7u);
  EXPECT_EQ(cleanCount, 2) << "plain.txt and sub\\inner.txt";
  EXPECT_EQ(cleanBytes, 10u);
  // Each link that stays says so; none is said to be deleted.
  const std::string link = ": it is a link, and what it points at is never touched";
  EXPECT_EQ(Sorted(clean.host->Lines),
            Sorted({"Clean: deleting " + tree + "plain.txt", "Clean: deleting " + tree + "sub\\inner.txt",
                    "Clean: leaving " + tree + "dirlink" + link, "Clean: leaving " + tree + "emptylink" + link,
                    "Clean: leaving " + tree + "filelink.txt" + link, "Clean: leaving " + tree + "outlink.txt" + link}));
  EXPECT_TRUE(clean.run.Control()->SomethingLeft);
  EXPECT_FALSE(Exists(tree + "plain.txt"));
  EXPECT_FALSE(Exists(tree + "sub"));
  targetsIntact();

  Worker masks(qv::rmClean);
  int maskCount = 0;
  qv::DeleteFilesByMask(masks.run, tree, "*.*", maskCount, true);
  EXPECT_EQ(maskCount, 0);
  targetsIntact();
}

// Past MAX_PATH a link is recognised as it is anywhere else: the Clean leaves it and its target.
TEST_F(FileRemoval, ALinkPastMaxPathNeverReachesItsTarget) {
  const std::string base = "C:\\qvlinks\\";
  if (!qv::DirectoryExists(base + "deeptarget")) GTEST_SKIP() << "the host-side link fixture did not run";
  std::string below;
  for (int i = 1; i <= 5; ++i) below += std::string(60, 'l') + std::to_string(i) + "\\";
  const std::string deep = base + "deep\\" + below, target = base + "deeptarget\\" + below + "canary.txt";
  ASSERT_GT(target.size(), (size_t)MAX_PATH);
  ASSERT_EQ(ReadTextFile(deep + "filelink.txt"), "deep-canary");

  Worker test(qv::rmTest);
  int testCount = 0;
  qv::DeleteFolderTree(test.run, base + "deep", false, true, "", testCount);
  EXPECT_EQ(testCount, 2);
  Worker clean(qv::rmClean);
  int cleanCount = 0;
  EXPECT_EQ(qv::DeleteFolderTree(clean.run, base + "deep", false, true, "", cleanCount), 5u);
  EXPECT_EQ(cleanCount, 1) << "plain.txt";
  EXPECT_EQ(Sorted(clean.host->Lines),
            Sorted({"Clean: deleting " + deep + "plain.txt",
                    "Clean: leaving " + deep + "filelink.txt: it is a link, and what it points at is never touched"}));
  EXPECT_FALSE(Exists(deep + "plain.txt"));
  EXPECT_EQ(ReadTextFile(target), "deep-canary");
}

// The committed end of this thread's stack.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
void* ThreadStackLimit() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackLimit; }
#pragma GCC diagnostic pop

struct StackUse {
  const std::function<void()>* fn;
  size_t used;
};

DWORD WINAPI MeasureStack(LPVOID p) {
  StackUse& c = *static_cast<StackUse*>(p);
  volatile char here = 0;
  // Below this frame and the pattern's own call, above the committed end of the stack.
  const uintptr_t top = reinterpret_cast<uintptr_t>(&here) - 8192;
  const uintptr_t bottom = reinterpret_cast<uintptr_t>(ThreadStackLimit()) + 4096;
  memset(reinterpret_cast<void*>(bottom), 0xA5, (size_t)(top - bottom));
  (*c.fn)();
  uintptr_t at = bottom;
  while (at < top && *reinterpret_cast<const unsigned char*>(at) == 0xA5) ++at;
  c.used = (size_t)(top - at);
  return 0;
}

// Runs fn on a thread of its own and returns the most of that thread's stack it used, in bytes:
// the unused stack is filled with a pattern first and looked at afterwards.
size_t StackUsedBy(const std::function<void()>& fn) {
  StackUse context = {&fn, 0};
  HANDLE thread = CreateThread(nullptr, 0, MeasureStack, &context, 0, nullptr);
  if (!thread) return ~(size_t)0;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return context.used;
}

// The walks keep their own stack of folders: the stack they use does not grow with the depth of
// the tree, and a deep tree is counted and removed whole. (Under Wine a host path past 4096 bytes
// can be neither listed nor removed, and every open costs more the deeper it is, so the tree stays
// well below that.)
TEST_F(FileRemoval, ADeepTreeIsCountedAndRemovedWithoutRecursion) {
  SandboxFolder box("deep");
  auto makeChain = [](const std::string& top, int levels) {
    std::string dir = top;
    for (int i = 0; i < levels; ++i) {
      dir += "d\\";
      CreateDirectoryW(ToWinPath(dir).c_str(), nullptr);
      WriteTextFile(dir + "f.txt", "x");
    }
    return dir;
  };
  const int kShallow = 20, kDeep = 500;
  makeChain(box / "shallow\\", kShallow);
  const std::string deepest = makeChain(box / "deep\\", kDeep);
  ASSERT_TRUE(Exists(deepest + "f.txt"));

  struct Walk {
    int count = 0;
    uint64_t bytes = 0;
    size_t lines = 0;
  };
  auto walk = [](int mode, const std::string& top, Walk& w) {
    return StackUsedBy([&] {
      Worker run(mode);
      w.bytes = qv::DeleteFolderTree(run.run, top, true, true, "", w.count);
      w.lines = run.host->Lines.size();
    });
  };
  Walk shallow, test, clean;
  const size_t shallowStack = walk(qv::rmTest, box / "shallow", shallow);
  const size_t deepStack = walk(qv::rmTest, box / "deep", test);
  EXPECT_EQ(shallow.count, kShallow);
  EXPECT_EQ(test.count, kDeep);
  EXPECT_EQ(test.bytes, (uint64_t)kDeep);
  EXPECT_EQ(test.lines, (size_t)kDeep);
  EXPECT_TRUE(Exists(deepest + "f.txt"));
  // 25 times the depth, not one byte more stack (a recursion takes hundreds of bytes a level).
  EXPECT_LT(deepStack, shallowStack + 4096) << shallowStack;

  const size_t cleanStack = walk(qv::rmClean, box / "deep", clean);
  EXPECT_EQ(clean.count, kDeep);
  EXPECT_EQ(clean.bytes, (uint64_t)kDeep);
  EXPECT_FALSE(Exists(box / "deep"));
  EXPECT_LT(cleanStack, shallowStack + 16384) << shallowStack;
}

// Opens (or makes) `name` in the folder open as `folder`, by that name alone: no path call takes a
// path as long as the chains below. INVALID_HANDLE_VALUE when it cannot.
HANDLE OpenIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG disposition, ULONG options) {
  using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                      ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
  static NtCreateFileFn create =
      reinterpret_cast<NtCreateFileFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile"));
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = text.MaximumLength = (USHORT)(name.size() * sizeof(WCHAR));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE h = nullptr;
  const ULONG kSynchronous = 0x20;
  LONG status = create(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition, options | kSynchronous,
                       nullptr, 0);
  return status < 0 ? INVALID_HANDLE_VALUE : h;
}

// A walk opens what a folder holds through the folder's handle, so a tree whose paths are longer
// than any path call takes is counted whole; and what a Clean reports deleted is gone: each file
// either went, with its "deleting" line and its count, or stayed, with its "could not be removed"
// line. Windows removes the whole tree; Wine keeps the files whose host path is past 4,096 bytes
// (it can open them by name but cannot remove them), and the Clean says so.
TEST_F(FileRemoval, ATreePastThePathLimitIsCountedAndEveryFileReportedAsItWent) {
  SandboxFolder box("pastlimit");
  const std::wstring name(60, L'n');
  const std::string nameText(60, 'n');
  const int kLevels = 100;  // some 6,100 characters below the sandbox
  const ULONG kFile = 0x40, kFolder = 0x01, kOpen = 1, kOpenOrMake = 3, kReplace = 5;
  const std::string top = box / "top";
  MakeDirs(top);
  auto openTop = [&] {
    return CreateFileW(ToWinPath(top).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  };
  std::vector<std::string> paths;  // the file of each level, as the log names it
  {
    HANDLE dir = openTop();
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    std::string text = top + "\\";
    for (int i = 0; i < kLevels && dir != INVALID_HANDLE_VALUE; ++i) {
      HANDLE f = OpenIn(dir, L"f.txt", GENERIC_WRITE, kReplace, kFile);
      ASSERT_NE(f, INVALID_HANDLE_VALUE) << i;
      DWORD written = 0;
      ::WriteFile(f, "x", 1, &written, nullptr);
      CloseHandle(f);
      paths.push_back(text + "f.txt");
      HANDLE next = OpenIn(dir, name, FILE_LIST_DIRECTORY, kOpenOrMake, kFolder);
      CloseHandle(dir);
      dir = next;
      text += nameText + "\\";
    }
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    CloseHandle(dir);
  }
  ASSERT_EQ(paths.size(), (size_t)kLevels);
  ASSERT_GT(paths.back().size(), 6000u);

  Worker test(qv::rmTest);
  int testCount = 0;
  EXPECT_EQ(qv::DeleteFolderTree(test.run, top, false, true, "", testCount), (uint64_t)kLevels);
  EXPECT_EQ(testCount, kLevels);
  std::vector<std::string> expected;
  for (const std::string& p : paths) expected.push_back("Test: deleting " + p);
  EXPECT_TRUE(test.host->Lines == expected) << "the Test's lines are not the files of the levels, in order";

  Worker clean(qv::rmClean);
  int cleanCount = 0;
  const uint64_t bytes = qv::DeleteFolderTree(clean.run, top, false, true, "", cleanCount);
  // Which files are still there, level by level.
  std::vector<bool> stayed;
  {
    HANDLE dir = openTop();
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    while (dir != INVALID_HANDLE_VALUE) {
      HANDLE f = OpenIn(dir, L"f.txt", FILE_READ_ATTRIBUTES, kOpen, kFile);
      stayed.push_back(f != INVALID_HANDLE_VALUE);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
      HANDLE next = OpenIn(dir, name, FILE_LIST_DIRECTORY, kOpen, kFolder);
      CloseHandle(dir);
      dir = next;
    }
  }
  stayed.resize(kLevels, false);
  std::set<std::string> lines(clean.host->Lines.begin(), clean.host->Lines.end());
  EXPECT_EQ(lines.size(), clean.host->Lines.size());
  int went = 0;
  for (int i = 0; i < kLevels; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines.count("Clean: deleting " + paths[i]), stayed[i] ? 0u : 1u);
    size_t notRemoved = 0;
    for (const std::string& line : lines) notRemoved += line.rfind("Clean: " + paths[i] + " could not be removed: ", 0) == 0;
    EXPECT_EQ(notRemoved, stayed[i] ? 1u : 0u);
    if (!stayed[i]) ++went;
  }
  EXPECT_EQ(clean.host->Lines.size(), (size_t)kLevels);
  EXPECT_EQ(cleanCount, went);
  EXPECT_EQ(bytes, (uint64_t)went);
  EXPECT_GT(went, 10) << "the files within every limit went";
  std::printf("[   NOTE   ] %d of %d levels removed\n", went, kLevels);
  const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!underWine) {
    EXPECT_EQ(went, kLevels);
  }

  // What Wine kept is taken apart from the top: each folder moved up while its path is still short
  // enough, so that the sandbox can be removed with plain calls.
  std::string chain = top;
  for (int part = 0; qv::DirectoryExists(chain); ++part) {
    std::string below = chain;
    for (int i = 0; i < 40; ++i) below += "\\" + nameText;
    if (!qv::DirectoryExists(below)) break;
    const std::string moved = box / ("part" + std::to_string(part));
    ASSERT_TRUE(MoveFileExW(ToWinPath(below).c_str(), ToWinPath(moved).c_str(), 0)) << GetLastError();
    chain = moved;
  }
}

TEST_F(FileRemoval, ProgressIsPostedAtMostEveryTwoSeconds) {
  SandboxFolder box("progress");
  for (int i = 0; i < 3; ++i) WriteFile(box / ("f" + std::to_string(i)), 1);
  double now = 45000.0;
  qv::SetClockForTesting([&] { return now; });
  Worker still(qv::rmTest);
  still.run.LastProgressTime = now;
  int count = 0;
  qv::DeleteFolderTree(still.run, box.Path(), false, false, "", count);
  EXPECT_TRUE(still.host->Progress.empty());

  // Each reading of the clock is 3 seconds after the last.
  qv::SetClockForTesting([&] { return now += 3.0 / 86400; });
  Worker moving(qv::rmClean);
  moving.run.TotalCount = 10;
  moving.run.LastProgressTime = now;
  count = 0;
  qv::DeleteFolderTree(moving.run, box.Path(), false, false, "", count);
  EXPECT_EQ(moving.host->Progress, (std::vector<uint32_t>{11, 12, 13}));
}

TEST_F(FileRemoval, NothingHappensForAMissingFolderARootSlashOrATerminatedRun) {
  SandboxFolder box("nothing");
  WriteFile(box / "a.txt", 1);
  Worker run(qv::rmClean);
  int count = 0;
  EXPECT_EQ(qv::DeleteFolderTree(run.run, box / "missing", true, true, "", count), 0u);
  EXPECT_EQ(qv::DeleteFolderTree(run.run, "\\", true, true, "", count), 0u);
  EXPECT_EQ(qv::DeleteFilesByMask(run.run, "\\", "*.*", count, true), 0u);
  run.run.Control()->Terminated = true;
  EXPECT_EQ(qv::DeleteFolderTree(run.run, box.Path(), true, true, "", count), 0u);
  EXPECT_EQ(qv::DeleteFilesByMask(run.run, box.Path(), "*.*", count, true), 0u);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(qv::FileExists(box / "a.txt"));
  EXPECT_TRUE(questions.empty());
}
