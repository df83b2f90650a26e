// TClearTaskThread: one run of Test or Clean over a list of item names, on a worker thread of its
// own. Every cleaner and removal primitive is an operation of this class.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/TaskHost.h"

namespace qv {

// Bytes to KB rounded up, with "," between groups of three digits.
std::string FormatKB(uint64_t bytes);

extern const char* const kSeparatorLine;  // 107 "-"

// Shared between the window and a run: the window asks for termination through it and never
// touches the thread object, which frees itself when its run ends.
struct TTaskControl {
  std::atomic<bool> Terminated{false};
  std::atomic<bool> Running{false};
};

class TClearTaskThread {
 public:
  // Created "suspended": inputs are set, then Start() runs it on its own thread.
  explicit TClearTaskThread(std::shared_ptr<ITaskHost> host);
  ~TClearTaskThread();
  TClearTaskThread(const TClearTaskThread&) = delete;
  TClearTaskThread& operator=(const TClearTaskThread&) = delete;

  // Inputs.
  std::vector<std::string> ItemList;
  std::string LogPrefix = "Test: ";
  uint32_t ExpectedTotal = 0;

  std::shared_ptr<TTaskControl> Control() const { return control_; }
  // Starts the worker; the object frees itself when the run routine returns.
  void Start();
  // Runs the run routine on the calling thread (the object is not freed).
  void RunHere();

  // Counters of the current item and of the run.
  int CurrentIndex = -1;
  int ItemCount = 0;
  std::string ItemSizeText = "0";
  uint64_t ItemBytes = 0;
  std::string WorkingPath;
  double LastProgressTime = 0;
  int TotalCount = 0;
  uint64_t TotalBytes = 0;
  int ScrollCounter = 0;
  std::string RemovalPhrase;

  // Services for the cleaners.
  bool Terminated() const { return control_->Terminated.load(); }
  int RunMode() const { return host_->RunMode(); }
  bool IsTest() const { return RunMode() == rmTest; }
  ITaskHost& Host() const { return *host_; }
  void AddLogLine(const std::string& line);
  // Adds a detail line (LogPrefix + phrase + " " + object) unless FastScan is on.
  void AddDetailLine(const std::string& phrase, const std::string& object, int scrollEvery);
  void ScrollLogThrottled(int n);
  void PostProgress(uint32_t count);
  // More than 2 seconds since the last progress message.
  bool ProgressDue() const;
  // Asks a safety question from the worker: true for Yes.
  bool AskYesNo(const std::string& text);
  std::string GetPersonalFolder();
  std::string GetProgramFilesFolder();
  std::string GetAppDataFolder();
  static bool IsUserAdministrator();
  // Tests answer the administrator check: -1 asks the system, 0 no, 1 yes.
  static void SetAdministratorForTesting(int answer);

  // File and folder removal.
  bool DeleteOneFile(const std::string& path, bool log);
  void OverwriteFileContents(const std::string& path, int passes);
  static bool IsFileLocked(const std::string& path);
  uint64_t DeleteFolderTree(const std::string& folder, bool removeTop, bool log, const std::string& keepName,
                            int& counter);
  uint64_t DeleteFilesByMask(const std::string& folder, const std::string& mask, int& counter, bool recurse);
  void ScheduleWininitRename(const std::vector<std::string>& lines);

  // Registry removal.
  int DeleteRegistryKeyTree(const std::string& rootName, const std::string& keyPath);
  int DeleteRegistryValues(const std::string& rootName, const std::string& keyPath, const std::string& valueName);
  int DeleteRegistryKeyTreeHKCU(const std::string& keyPath);
  int DeleteRegistryValuesByRoot(HKEY root, const std::string& keyPath, const std::string& valueName);

  // Definition files (Clist.dat, Zelbrin.dat).
  void RunDefinitionSection(const std::string& fileName, const std::string& itemName);

  // Built-in cleaners, one per item of the catalogue that has its own.
  void IeTypedUrlsCleaner();
  void IeCookiesCleaner();
  void IeHistoryCleaner();
  void IeDownloadDirCleaner();
  void IeCacheCleaner();
  void IeIndexDatCleaner();
  void IeAutoCompleteCleaner();
  void RecentDocumentsCleaner();
  void StartRunCleaner();
  void SearchAssistantCleaner();
  void RecycleBinCleaner();
  void TempFilesCleaner();
  void ClipboardCleaner();
  void MemoryDumpsCleaner();
  void ChkdskFragmentsCleaner();
  void NetscapeCookiesCleaner();
  void NetscapeHistoryCleaner();
  void NetscapeCacheCleaner();
  void NetscapePrefsCleaner();
  void NetscapeFormHistoryCleaner();
  void OperaTypedUrlsCleaner();
  void OperaCookiesCleaner();
  void OperaHistoryCleaner();
  void OperaCacheCleaner();
  void OperaWandCleaner();
  void OperaTransfersCleaner();
  void FirefoxCookiesCleaner();
  void FirefoxHistoryCleaner();
  void FirefoxDownloadsCleaner();
  void FirefoxCacheCleaner();
  void FirefoxSignonsCleaner();
  void FirefoxPrefsCleaner();
  void FirefoxFormHistoryCleaner();
  void OpenFileHistoryCleaner();
  void MenuOrderCleaner();
  void TrayNotifyCleaner();
  void UserAssistCleaner();
  void PaintRecentCleaner();
  void OfficeAccessCleaner();
  void OfficeExcelCleaner();
  void OfficeFrontPageCleaner();
  void OfficePowerpointCleaner();
  void OfficeWordCleaner();
  void OfficeRecentFilesCleaner();
  void MsnMessengerCleaner();
  void YahooMessengerCleaner();
  void SkypeCleaner();

 private:
  void Execute();
  void Dispatch(const std::string& itemName);

  std::shared_ptr<ITaskHost> host_;
  std::shared_ptr<TTaskControl> control_;
};

// The cleaner of a built-in item name, or null when the name goes to a definition file.
using TCleanerMethod = void (TClearTaskThread::*)();
TCleanerMethod FindBuiltinCleaner(const std::string& itemName);

}  // namespace qv
