#include "engine/ProgressThread.h"

#include <thread>

#include "base/Global.h"
#include "engine/Definitions.h"
#include "engine/Winapp2Run.h"

namespace qv {

TClearTaskThread::TClearTaskThread(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners)
    : run_(std::move(host)), cleaners_(cleaners) {
  run_.Cleaners = cleaners;
}

void TClearTaskThread::Start() {
  run_.Control()->Running = true;
  std::thread([this] {
    RunHere();
    delete this;
  }).detach();
}

void TClearTaskThread::RunHere() {
  std::shared_ptr<TTaskControl> control = run_.Control();
  control->Running = true;
  try {
    Execute();
  } catch (...) {
    // An unexpected failure ends the run quietly: no totals. The window still has to leave its
    // busy state, so it is told.
    if (!run_.Terminated()) run_.Host().PostAborted((uint32_t)run_.TotalCount);
  }
  control->Running = false;
}

void TClearTaskThread::Execute() {
  TCleanRun& r = run_;
  ITaskHost& host = r.Host();
  CurrentIndex = -1;
  for (size_t i = 0; i < ItemList.size(); ++i) {
    if (r.Terminated()) return;
    const std::string& name = ItemList[i];
    CurrentIndex = (int)i;
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

void TClearTaskThread::Dispatch(const std::string& itemName) {
  if (Contains(itemName, "Custom Lists -")) {
    RunDefinitionSection(run_, "Clist.dat", itemName);
    return;
  }
  TCleanerFn clean = nullptr;
  if (cleaners_ && cleaners_->Find(itemName, clean)) {
    // An item whose cleaner is not built yet finds nothing.
    if (clean) clean(run_);
    return;
  }
  auto winapp2 = Winapp2Sources.find(itemName);
  if (winapp2 != Winapp2Sources.end()) {
    RunWinapp2Section(run_, winapp2->second, itemName);
    return;
  }
  RunDefinitionSection(run_, "Zelbrin.dat", itemName);
}

}  // namespace qv
