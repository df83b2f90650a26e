// TClearTaskThread: one run of Test or Clean over a list of items, on a worker thread of its own.
// It walks the item list, writes each item's header and summary and the run's totals, hands each
// item where its route says (its cleaner, its definition file's section, its winapp2.ini entry),
// and answers cancellation. What the cleaners work with is its run
// (TCleanRun).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/CleanRun.h"
#include "engine/Cleaner.h"

namespace qv {

class TClearTaskThread {
 public:
  // Created "suspended": inputs are set, then Start() runs it on its own thread. cleaners: the
  // built-in cleaners, for the definition lines that hand a file to one of them (a browser's cookie
  // database); null: none. Items are routed by their own routes (ItemList), never looked up here.
  explicit TClearTaskThread(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners = nullptr);
  // Never waits for a busy run: a worker that has ended is joined, one still busy (a cancelled run
  // on its last file) is let go, and frees what it works with when it ends.
  ~TClearTaskThread();
  TClearTaskThread(const TClearTaskThread&) = delete;
  TClearTaskThread& operator=(const TClearTaskThread&) = delete;

  // Inputs, taken by the worker when the run starts.
  std::vector<TRunItem> ItemList;  // TCatalogue::RunItems
  uint32_t ExpectedTotal = 0;

  TCleanRun& Run();
  std::shared_ptr<TTaskControl> Control() const;
  // Starts the worker on a thread this object owns (once).
  void Start();
  // Runs the run routine on the calling thread.
  void RunHere();

  // The index of the item being cleaned; -1 before the first.
  int CurrentIndex() const;

 private:
  // What the worker works with: shared between this object and the worker, so that either may end
  // first.
  struct TWork;
  std::shared_ptr<TWork> work_;
  std::thread worker_;
};

}  // namespace qv
