// Every family of removal walks, attacked while it runs: at a fixed point of the walk a folder it is
// about to enter (or is working in) is swapped for a link to a folder of canaries, from outside the
// program, as a hostile program would. Nothing behind the link may change, whichever walk it is.
// The swap is made on the host (tests/fixtures/walk_swap_test.sh): Windows calls cannot make links
// under Wine.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"
#include "cleaners/Cleaners.h"
#include "cleaners/ie/IeCleaners.h"
#include "engine/CleanRun.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
#include "engine/Winapp2Run.h"
#include "ie_test_util.h"
#include "support/Sandbox.h"
#include "support/TestWindow.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

const std::string kRoot = "C:\\qvswap\\";
const std::string kCanary = kRoot + "canary\\";

bool Exists(const std::string& path) { return GetFileAttributesW(qv::ToWinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Asks the host to swap `folder` for a link to `target` (both below C:\) and waits until it has.
std::string SwapForLink(const std::string& folder, const std::string& target) {
  DeleteFileW(qv::Widen(kRoot + "done").c_str());
  WriteTextFile(kRoot + "request.tmp", folder.substr(3) + "|" + target.substr(3));
  MoveFileW(qv::Widen(kRoot + "request.tmp").c_str(), qv::Widen(kRoot + "request").c_str());
  for (int i = 0; i < 1000 && !qv::FileExists(kRoot + "done"); ++i) Sleep(10);
  const std::string result = qv::FileExists(kRoot + "done") ? ReadTextFile(kRoot + "done") : "no answer";
  DeleteFileW(qv::Widen(kRoot + "done").c_str());
  return result.substr(0, result.find_first_of("\r\n"));
}

// The canaries: plain files, an index.dat with live records, a folder named as a walk's folders are.
void MakeCanaries() {
  WriteTextFile(kCanary + "a.txt", "canary a");
  WriteTextFile(kCanary + "b.tmp", "canary b");
  WriteTextFile(kCanary + "cache\\c.txt", "canary c");
  WriteIndexDat(kCanary + "index.dat", {"http://canary.test/"});
}

// Every file below a folder (links not entered) and its bytes.
void Snapshot(const std::string& dir, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(qv::ToWinPath(dir + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = qv::Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[dir + name + "\\"] = "folder";
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Snapshot(dir + name + "\\", out);
    } else {
      out[dir + name] = ReadTextFile(dir + name);
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

std::map<std::string, std::string> CanarySnapshot() {
  std::map<std::string, std::string> s;
  Snapshot(kCanary, s);
  return s;
}

// One attack: the walk's entry point, the moment (a walk event at a path) and the folder swapped.
struct Attack {
  std::string name;
  std::function<void(const std::string& top)> build;  // the traces below top
  std::string event;                                   // "folder" or "file"
  std::string at;                                      // below top: where the event fires
  std::string swap;                                    // below top: the folder swapped for the link
  std::string target;                                  // what the link points at
  std::function<void(TestWindow& window, const std::string& top)> run;  // the Clean
  bool overwrite = false;
};

void TwoFolders(const std::string& top) {
  for (const char* f : {"A\\a1.txt", "A\\a2.tmp", "B\\b1.txt", "B\\b2.tmp", "B\\cache\\c.txt", "top.txt"})
    WriteTextFile(top + f, std::string("trace ") + f);
}

void Profiles(const std::string& top) {
  for (const char* f : {"P1\\cache\\x.txt", "P2\\cache\\y.txt", "P3\\cache\\z.txt"})
    WriteTextFile(top + f, std::string("trace ") + f);
}

class WalkSwap : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ResetCleanerSettings();
    ASSERT_TRUE(qv::DirectoryExists(kRoot)) << "the host-side watcher did not start";
    if (!qv::DirectoryExists(kCanary)) MakeCanaries();
  }
  void TearDown() override {
    qv::SetWalkHookForTesting(nullptr);
    ResetCleanerSettings();
  }
  TestWindow window_;
  MessageRecorder messages_{IDYES};
};

std::vector<Attack> Attacks() {
  auto definitionRun = [](const std::string& text) {
    return [text](TestWindow& window, const std::string& top) {
      WriteTextFile(qv::ExeFolder() + "Clist.dat", "[<New List>]\r\n" + text + "\r\n");
      RunOnThread(window, qv::rmClean, [](qv::TCleanRun& run) {
        qv::RunDefinitionSection(run, "Clist.dat", "Custom Lists - <New List>");
      });
      DeleteFileW(qv::Widen(qv::ExeFolder() + "Clist.dat").c_str());
    };
  };
  auto winapp2Run = [](const std::string& fileKey) {
    return [fileKey](TestWindow& window, const std::string& top) {
      const std::string file = kRoot + "winapp2-" + std::to_string(GetTickCount()) + ".ini";
      WriteTextFile(file, "[Qv Swap]\r\n" + fileKey + "\r\n");
      RunOnThread(window, qv::rmClean, [&file](qv::TCleanRun& run) {
        qv::RunWinapp2Section(run, file, "Applications - Qv Swap");
      });
    };
  };
  auto tree = [](TestWindow& window, const std::string& top) {
    RunOnThread(window, qv::rmClean, [&top](qv::TCleanRun& run) {
      int count = 0;
      qv::DeleteFolderTree(run, top, false, true, "", count);
    });
  };
  auto mask = [](TestWindow& window, const std::string& top) {
    RunOnThread(window, qv::rmClean, [&top](qv::TCleanRun& run) {
      int count = 0;
      qv::DeleteFilesByMask(run, top, "*.*", count, true);
    });
  };
  auto temp = [](TestWindow& window, const std::string& top) {
    ScopedTempFolder tmp(top);
    qv::TCleanerFn cleaner = nullptr;
    ASSERT_TRUE(qv::BuiltinCleaners().Find("Windows - Temporary Files", cleaner));
    RunCleaner(window, qv::rmClean, cleaner);
  };
  auto indexes = [](TestWindow& window, const std::string& top) {
    RunOnThread(window, qv::rmClean, [&top](qv::TCleanRun& run) { qv::WipeIndexDatTree(run, top); });
  };
  auto indexTree = [](const std::string& top) {
    for (const char* f : {"A\\index.dat", "B\\index.dat", "B\\deeper\\index.dat"}) WriteIndexDat(top + f, {"http://trace.test/"});
  };
  return {
      {"tree_before_entering", TwoFolders, "folder", "B", "B", kCanary, tree},
      {"tree_while_inside", TwoFolders, "file", "B\\b2.tmp", "B", kCanary, tree},
      {"tree_overwriting", TwoFolders, "file", "B\\b1.txt", "B", kCanary, tree, true},
      {"mask_before_entering", TwoFolders, "folder", "B", "B", kCanary, mask},
      {"mask_overwriting", TwoFolders, "file", "B\\b1.txt", "B", kCanary, mask, true},
      {"temporary_files", TwoFolders, "folder", "B", "B", kCanary, temp},
      {"custom_list_wildcard_step", Profiles, "folder", "P2", "P2", kCanary,
       definitionRun("DelFile1=C:\\qvswap\\custom_list_wildcard_step\\*\\cache")},
      {"custom_list_named_step", Profiles, "folder", "P2\\cache", "P2", kCanary,
       definitionRun("DelFile1=C:\\qvswap\\custom_list_named_step\\*\\cache,*.txt")},
      {"winapp2_wildcard_step", Profiles, "folder", "P2", "P2", kCanary,
       winapp2Run("FileKey1=C:\\qvswap\\winapp2_wildcard_step\\P*|*.*|RECURSE")},
      {"winapp2_recursing", Profiles, "folder", "P2\\cache", "P2\\cache", kCanary,
       winapp2Run("FileKey1=C:\\qvswap\\winapp2_recursing|*.txt|RECURSE|REMOVESELF")},
      {"index_dat_tree", indexTree, "folder", "B", "B", kCanary, indexes},
  };
}

}  // namespace

TEST_P(WalkSwap, NothingBehindTheLinkChanges) {
  const Attack a = Attacks()[(size_t)GetParam()];
  SCOPED_TRACE(a.name);
  const std::string top = kRoot + a.name + "\\";
  ASSERT_FALSE(Exists(top)) << "each attack has a folder of its own";
  a.build(top);
  const auto before = CanarySnapshot();
  ASSERT_FALSE(before.empty());
  qv::OptionsSetting.OverwriteFile = a.overwrite;
  qv::OptionsSetting.OverwriteNumber = 2;
  bool swapped = false;
  std::string answer;
  qv::SetWalkHookForTesting([&](const char* event, const std::string& path) {
    if (swapped || event != a.event || !qv::SameText(path, top + a.at)) return;
    swapped = true;
    answer = SwapForLink(top + a.swap, a.target);
  });
  a.run(window_, top);
  qv::SetWalkHookForTesting(nullptr);
  ASSERT_TRUE(swapped) << "the walk never reached " << top + a.at;
  ASSERT_EQ(answer, "swapped");
  ASSERT_TRUE(qv::IsLinkEntry(top + qv::ExcludeTrailingBackslash(a.swap))) << "the swap made no link";
  EXPECT_EQ(CanarySnapshot(), before) << "a walk reached through the link";
  EXPECT_GT(LiveEntries(kCanary + "index.dat"), 0);
  // What the walk went on with before the swap, or found beside it, is still taken.
  EXPECT_FALSE(Exists(top + "P1\\cache\\x.txt"));
  EXPECT_FALSE(Exists(top + "A\\a1.txt"));
}

INSTANTIATE_TEST_SUITE_P(EveryWalk, WalkSwap, ::testing::Range(0, (int)Attacks().size()),
                         [](const ::testing::TestParamInfo<int>& info) { return Attacks()[(size_t)info.param].name; });

// The watcher ends with the program; the file tells it at once.
class StopWatcher : public ::testing::Environment {
 public:
  void TearDown() override { WriteTextFile(kRoot + "stop", "stop"); }
};
static ::testing::Environment* const kStopWatcher = ::testing::AddGlobalTestEnvironment(new StopWatcher);
