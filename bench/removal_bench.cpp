// Times one removal primitive on a tree or file that bench/run.sh has made inside the bench
// prefix, and prints one line of figures: seconds, entries, bytes and the process's peak memory.
//
//   removal_bench.exe tree  <folder> test|clean fast|full [checked|plain|shell]
//   removal_bench.exe overwrite <passes> <file>...
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/Global.h"
#include "base/Settings.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "BenchClock.h"

namespace {

// Takes the log as the window would, without keeping it: the figures are those of the primitive.
class BenchHost : public qv::ITaskHost {
 public:
  explicit BenchHost(int mode) : mode_(mode) {}
  void Synchronize(const std::function<void()>& fn) override { fn(); }
  void AddLogLine(const std::string& line) override {
    ++lines;
    logBytes += line.size();
  }
  void ScrollLogToEnd() override {}
  void SetCurrentItem(const std::string&) override {}
  void PostProgress(uint32_t) override { ++progress; }
  void PostFinished(uint32_t) override {}
  void PostAborted(uint32_t) override {}
  int RunMode() const override { return mode_; }
  HWND OwnerWindow() const override { return nullptr; }
  long long lines = 0, logBytes = 0, progress = 0;

 private:
  int mode_;
};

int Usage() {
  fprintf(stderr, "usage: removal_bench tree <folder> test|clean fast|full [checked|plain|shell]\n"
                  "       removal_bench overwrite <passes> <file>...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  // Never a message box: a safety question would be a mistake of the bench itself.
  qv::SetMessageBoxHook([](const std::string& text, const std::string&, UINT) {
    fprintf(stderr, "unexpected question: %s\n", text.c_str());
    return IDNO;
  });
  const std::string what = argv[1];
  const std::string path = argv[2];
  if (what == "tree" && argc >= 5) {
    const int mode = strcmp(argv[3], "test") == 0 ? qv::rmTest : qv::rmClean;
    qv::OptionsSetting.FastScan = strcmp(argv[4], "fast") == 0;
    if (argc >= 6 && strcmp(argv[5], "plain") == 0) qv::SetFileDeleteMethod(qv::fdmPlain);
    if (argc >= 6 && strcmp(argv[5], "shell") == 0) qv::SetFileDeleteMethod(qv::fdmShell);
    auto host = std::make_shared<BenchHost>(mode);
    qv::TCleanRun run(host);
    run.LogPrefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    run.LastProgressTime = qv::NowDays();
    int count = 0;
    double start = Seconds();
    uint64_t bytes = qv::DeleteFolderTree(run, path, true, true, "", count);
    double elapsed = Seconds() - start;
    printf("seconds=%.3f count=%d bytes=%llu lines=%lld", elapsed, count, (unsigned long long)bytes, host->lines);
    PrintMemory();
    printf("\n");
    return 0;
  }
  if (what == "overwrite" && argc >= 4) {
    auto host = std::make_shared<BenchHost>(qv::rmClean);
    qv::TCleanRun run(host);
    const int passes = atoi(argv[2]);
    int files = 0;
    double start = Seconds();
    for (int i = 3; i < argc; ++i) {
      if (!qv::OverwriteFileContents(run, argv[i], passes)) {
        fprintf(stderr, "removal_bench: %s was not overwritten\n", argv[i]);
        return 1;
      }
      ++files;
    }
    double elapsed = Seconds() - start;
    printf("seconds=%.3f files=%d", elapsed, files);
    PrintMemory();
    printf("\n");
    return 0;
  }
  return Usage();
}
