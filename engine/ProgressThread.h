// TClearTaskThread: one run of Test or Clean over a list of item names, on a worker thread of its
// own. It walks the item list, writes each item's header and summary and the run's totals, hands
// each item to its cleaner, and answers cancellation. What the cleaners work with is its run
// (TCleanRun).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/CleanRun.h"
#include "engine/Cleaner.h"

namespace qv {

class TClearTaskThread {
 public:
  // Created "suspended": inputs are set, then Start() runs it on its own thread. cleaners: the
  // built-in cleaners by item name (null: every item goes to a definition file).
  TClearTaskThread(std::shared_ptr<ITaskHost> host, const TCleanerDirectory* cleaners);
  TClearTaskThread(const TClearTaskThread&) = delete;
  TClearTaskThread& operator=(const TClearTaskThread&) = delete;

  // Inputs.
  std::vector<std::string> ItemList;
  uint32_t ExpectedTotal = 0;
  // Items whose definitions are winapp2.ini entries, with their files (TCatalogue::Winapp2Sources).
  std::map<std::string, std::string> Winapp2Sources;

  TCleanRun& Run() { return run_; }
  std::shared_ptr<TTaskControl> Control() const { return run_.Control(); }
  // Starts the worker; the object frees itself when the run routine returns.
  void Start();
  // Runs the run routine on the calling thread (the object is not freed).
  void RunHere();

  // The index of the item being cleaned; -1 before the first.
  int CurrentIndex = -1;

 private:
  void Execute();
  void Dispatch(const std::string& itemName);

  TCleanRun run_;
  const TCleanerDirectory* cleaners_;
};

}  // namespace qv
