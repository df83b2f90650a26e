// TCleanRun: what a cleaner works with during one run of Test or Clean. It holds the counters of
// the current item and of the run, writes log and detail lines, posts progress, asks safety
// questions, looks up folders and tells the run mode. Cleaners and the removal primitives take it
// as their one argument; the clean task thread owns it and walks the item list.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "engine/TaskHost.h"

namespace qv {

class TFolderGuard;
class TCleanerDirectory;

// Bytes to KB rounded up, with "," between groups of three digits.
std::string FormatKB(uint64_t bytes);

extern const char* const kSeparatorLine;  // 107 "-"

// Shared between the window and a run: the window asks for termination through it and reads how
// the run went; the run's thread object is owned by the window's run controller.
struct TTaskControl {
  std::atomic<bool> Terminated{false};
  std::atomic<bool> Running{false};
  // A safety question of an unattended run was answered No without being shown.
  std::atomic<bool> QuestionDeclined{false};
  // Something the run was to remove stayed: held open, refused, not permitted, not overwritten, or
  // skipped for a reason the log gives. A run that removed everything it named leaves it false.
  std::atomic<bool> SomethingLeft{false};
  std::atomic<unsigned> LeftCount{0};
};

class TCleanRun {
 public:
  // The removal phrase is fixed from the host's run mode at this moment.
  explicit TCleanRun(std::shared_ptr<ITaskHost> host);
  TCleanRun(const TCleanRun&) = delete;
  TCleanRun& operator=(const TCleanRun&) = delete;

  // The settings this run works with: a copy taken when the run is made, so that nothing the window
  // or a dialog changes afterwards reaches a run that is under way. The preliminary pass of a Clean
  // sets FastScan in its own copy.
  TOptionsSetting Options;

  // The built-in cleaners of this run (null: none), for the definition lines that hand a file to
  // one of them (a browser's cookie database).
  const TCleanerDirectory* Cleaners = nullptr;

  // "Test: " or "Clean: ", the start of every detail line.
  std::string LogPrefix = "Test: ";
  // "will be removed" in a Test, otherwise "to be removed".
  std::string RemovalPhrase;

  // Counters of the current item (reset before each item) and of the run.
  int ItemCount = 0;
  std::string ItemSizeText = "0";
  uint64_t ItemBytes = 0;
  std::string WorkingPath;
  double LastProgressTime = 0;
  int TotalCount = 0;
  uint64_t TotalBytes = 0;
  int ScrollCounter = 0;

  std::shared_ptr<TTaskControl> Control() const { return control_; }
  bool Terminated() const { return control_->Terminated.load(); }
  int RunMode() const { return host_->RunMode(); }
  bool IsTest() const { return RunMode() == rmTest; }
  ITaskHost& Host() const { return *host_; }

  void AddLogLine(const std::string& line);
  // Adds a detail line (LogPrefix + phrase + " " + object) unless FastScan is on.
  void AddDetailLine(const std::string& phrase, const std::string& object, int scrollEvery);
  // The detail line of an object a Clean could not remove: LogPrefix + object + " could not be
  // removed", then " (" + reason + ")" when a reason is given, unless FastScan is on.
  void AddNotRemovedLine(const std::string& object, int scrollEvery, const std::string& reason = std::string());
  // Notes that something the run was to remove stayed (TTaskControl::SomethingLeft); the caller
  // writes the line that says what and why.
  void NoteLeft() {
    control_->SomethingLeft = true;
    ++control_->LeftCount;
  }
  unsigned LeftCount() const { return control_->LeftCount.load(); }
  // True the first time this run meets the object (a file, folder, key or value, by an identity
  // text the caller makes: never a mere spelling), false every later time: an object that two
  // ticked items name is counted and removed once a run.
  bool ClaimOnce(const std::string& identity);
  bool ClaimOnce(uint64_t key);
  bool IsClaimed(uint64_t key) const;
  void ScrollLogThrottled(int n);
  void PostProgress(uint32_t count);
  // The walk's running count after a counted file; the window may show it between progress
  // messages (ITaskHost::NoteCount).
  void NoteCount(uint32_t count) { host_->NoteCount(count); }
  // More than 2 seconds since the last progress message.
  bool ProgressDue() const;
  // Every question of a run goes through here: true for Yes. An attended run asks the user through
  // its host. Nobody is in front of an unattended run: its question is answered No without being
  // shown, the log says so (unattendedLine, or "Not asked in an unattended run, answered No:
  // <text>") and the run notes it (TTaskControl::QuestionDeclined).
  bool Ask(const std::string& text, const std::string& unattendedLine = std::string());
  bool AskYesNo(const std::string& text) { return Ask(text); }
  // The administrator rule, in one place: true when this user may change `what` (a value under
  // HKEY_LOCAL_MACHINE). Otherwise the log says "<LogPrefix>skipping <what>: it needs administrator
  // rights", the run notes what stayed, and an attended run tells the user once.
  bool MayChangeMachineValue(const std::string& what);

  // Folder getters.
  std::string GetPersonalFolder();
  std::string GetProgramFilesFolder();
  std::string GetAppDataFolder();

  // The checks every removal primitive makes before it empties a folder (FolderGuard.h): the
  // protected folders, the drive roots and the documents folders, looked up on first use and kept
  // for the rest of the run.
  const TFolderGuard& FolderGuard();

  // The run's own random source (the overwrite's fill bytes), seeded when the run is made.
  std::minstd_rand& Random() { return random_; }

  static bool IsUserAdministrator();
  // Tests answer the administrator check: -1 asks the system, 0 no, 1 yes.
  static void SetAdministratorForTesting(int answer);
  // Tests answer the system's membership test instead (null: the system's again).
  static void SetMembershipCheckForTesting(std::function<BOOL(PSID group, BOOL* member)> check);

 private:
  std::shared_ptr<ITaskHost> host_;
  std::shared_ptr<TTaskControl> control_;
  std::shared_ptr<TFolderGuard> guard_;
  std::minstd_rand random_;
  // The keys claimed so far: an open-addressed table of 64-bit keys (0 marks a free slot), so that a
  // Test of a million files keeps them in a few megabytes.
  std::vector<uint64_t> claimed_;
  size_t claimedCount_ = 0;
  bool adminTold_ = false;
};

}  // namespace qv
