#include "engine/ProgressThread.h"

#include "base/Global.h"
#include "engine/Definitions.h"
#include "engine/Winapp2Run.h"

namespace qv {

struct TClearTaskThread::TWork {
  TWork(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners)
      : run(std::move(host)), cleaners(cleaners) {}

  void RunHere();
  void Execute();
  void Dispatch(const std::string& itemName);

  TCleanRun run;
  const TCleanerDirectory* cleaners;
  std::vector<std::string> itemList;
  std::map<std::string, std::string> winapp2Sources;
  std::atomic<int> currentIndex{-1};
};

TClearTaskThread::TClearTaskThread(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners)
    : work_(std::make_shared<TWork>(std::move(host), cleaners)) {}

TClearTaskThread::~TClearTaskThread() {
  if (!worker_.joinable()) return;
  // Running goes false as the worker's last step: joining it then waits for nothing.
  if (work_->run.Control()->Running)
    worker_.detach();
  else
    worker_.join();
}

TCleanRun& TClearTaskThread::Run() { return work_->run; }
std::shared_ptr<TTaskControl> TClearTaskThread::Control() const { return work_->run.Control(); }
int TClearTaskThread::CurrentIndex() const { return work_->currentIndex.load(); }

void TClearTaskThread::Start() {
  if (worker_.joinable()) return;
  work_->itemList = ItemList;
  work_->winapp2Sources = Winapp2Sources;
  work_->run.Control()->Running = true;
  worker_ = std::thread([work = work_] { work->RunHere(); });
}

void TClearTaskThread::RunHere() {
  work_->itemList = ItemList;
  work_->winapp2Sources = Winapp2Sources;
  work_->RunHere();
}

void TClearTaskThread::TWork::RunHere() {
  std::shared_ptr<TTaskControl> control = run.Control();
  control->Running = true;
  try {
    Execute();
  } catch (...) {
    // An unexpected failure ends the run quietly: no totals. The window still has to leave its
    // busy state, so it is told.
    if (!run.Terminated()) run.Host().PostAborted((uint32_t)run.TotalCount);
  }
  control->Running = false;
}

void TClearTaskThread::TWork::Execute() {
  TCleanRun& r = run;
  ITaskHost& host = r.Host();
  currentIndex = -1;
  for (size_t i = 0; i < itemList.size(); ++i) {
    if (r.Terminated()) return;
    const std::string& name = itemList[i];
    currentIndex = (int)i;
    host.Synchronize([&r] {
      r.ItemCount = 0;
      r.ItemSizeText = "0";
      r.ItemBytes = 0;
      r.WorkingPath.clear();
      r.LastProgressTime = NowDays();
      r.ScrollCounter = 0;
    });
    host.SetCurrentItem(name);
    if (i > 0) r.AddLogLine(kSeparatorLine);
    r.AddLogLine(r.LogPrefix + "Clearing" + " " + name + " ...");
    Dispatch(name);
    host.Synchronize([&r, &host] {
      r.AddLogLine("");
      r.AddLogLine(std::to_string(r.ItemCount) + " " + "items" + " " + r.RemovalPhrase + "; " + r.ItemSizeText +
                   " KB " + r.RemovalPhrase + ".");
      r.AddLogLine("");
      host.ScrollLogToEnd();
      r.TotalCount += r.ItemCount;
      r.TotalBytes += r.ItemBytes;
      host.PostProgress((uint32_t)r.TotalCount);
    });
  }
  std::string total = r.IsTest() ? "Total items will be removed = " + std::to_string(r.TotalCount) + " ; " +
                                       "Total files will be removed = " + FormatKB(r.TotalBytes) + " KB"
                                 : "Total items to be removed = " + std::to_string(r.TotalCount) + " ; " +
                                       "Total files to be removed = " + FormatKB(r.TotalBytes) + " KB";
  r.AddLogLine(kSeparatorLine);
  r.AddLogLine(total);
  r.AddLogLine(kSeparatorLine);
  host.PostFinished((uint32_t)r.TotalCount);
}

void TClearTaskThread::TWork::Dispatch(const std::string& itemName) {
  if (Contains(itemName, "Custom Lists -")) {
    RunDefinitionSection(run, "Clist.dat", itemName);
    return;
  }
  TCleanerFn clean = nullptr;
  if (cleaners && cleaners->Find(itemName, clean)) {
    // An item whose cleaner is not built yet finds nothing.
    if (clean) clean(run);
    return;
  }
  auto winapp2 = winapp2Sources.find(itemName);
  if (winapp2 != winapp2Sources.end()) {
    RunWinapp2Section(run, winapp2->second, itemName);
    return;
  }
  RunDefinitionSection(run, "Zelbrin.dat", itemName);
}

}  // namespace qv
