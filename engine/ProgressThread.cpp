#include "engine/ProgressThread.h"

#include "base/Global.h"
#include "engine/Definitions.h"
#include "engine/Winapp2Run.h"

namespace qv {

struct TClearTaskThread::TWork {
  TWork(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners) : run(std::move(host)) {
    run.Cleaners = cleaners;
  }

  void RunHere();
  void Execute();
  void Dispatch(const TRunItem& item);

  TCleanRun run;
  std::vector<TRunItem> itemList;
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
  work_->run.Control()->Running = true;
  worker_ = std::thread([work = work_] { work->RunHere(); });
}

void TClearTaskThread::RunHere() {
  work_->itemList = ItemList;
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
    const std::string& name = itemList[i].Name;
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
    Dispatch(itemList[i]);
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

void TClearTaskThread::TWork::Dispatch(const TRunItem& item) {
  switch (item.Route.Kind) {
    case rkCleaner: item.Route.Clean(run); break;
    case rkDefinitions: RunDefinitionSection(run, item.Route.File, item.Name); break;
    case rkWinapp2: RunWinapp2Section(run, item.Route.File, item.Name); break;
    case rkNothing: run.AddLogLine(run.LogPrefix + item.Name + " has no cleaner"); break;
  }
}

}  // namespace qv
