// Items whose cleaner is not built yet run as items with no cleaner: a header and a zero summary.
// Each definition here goes away when the real one is written.
#include "engine/ProgressThread.h"

namespace qv {

// File and folder removal.
bool TClearTaskThread::DeleteOneFile(const std::string&, bool) { return false; }
void TClearTaskThread::OverwriteFileContents(const std::string&, int) {}
bool TClearTaskThread::IsFileLocked(const std::string&) { return false; }
uint64_t TClearTaskThread::DeleteFolderTree(const std::string&, bool, bool, const std::string&, int&) { return 0; }
uint64_t TClearTaskThread::DeleteFilesByMask(const std::string&, const std::string&, int&, bool) { return 0; }
void TClearTaskThread::ScheduleWininitRename(const std::vector<std::string>&) {}

// Registry removal.
int TClearTaskThread::DeleteRegistryKeyTree(const std::string&, const std::string&) { return 0; }
int TClearTaskThread::DeleteRegistryValues(const std::string&, const std::string&, const std::string&) { return 0; }
int TClearTaskThread::DeleteRegistryKeyTreeHKCU(const std::string&) { return 0; }
int TClearTaskThread::DeleteRegistryValuesByRoot(HKEY, const std::string&, const std::string&) { return 0; }

// Built-in cleaners.
void TClearTaskThread::IeTypedUrlsCleaner() {}
void TClearTaskThread::IeCookiesCleaner() {}
void TClearTaskThread::IeHistoryCleaner() {}
void TClearTaskThread::IeDownloadDirCleaner() {}
void TClearTaskThread::IeCacheCleaner() {}
void TClearTaskThread::IeIndexDatCleaner() {}
void TClearTaskThread::IeAutoCompleteCleaner() {}
void TClearTaskThread::NetscapeCookiesCleaner() {}
void TClearTaskThread::NetscapeHistoryCleaner() {}
void TClearTaskThread::NetscapeCacheCleaner() {}
void TClearTaskThread::NetscapePrefsCleaner() {}
void TClearTaskThread::NetscapeFormHistoryCleaner() {}
void TClearTaskThread::OperaTypedUrlsCleaner() {}
void TClearTaskThread::OperaCookiesCleaner() {}
void TClearTaskThread::OperaHistoryCleaner() {}
void TClearTaskThread::OperaCacheCleaner() {}
void TClearTaskThread::OperaWandCleaner() {}
void TClearTaskThread::OperaTransfersCleaner() {}
void TClearTaskThread::FirefoxCookiesCleaner() {}
void TClearTaskThread::FirefoxHistoryCleaner() {}
void TClearTaskThread::FirefoxDownloadsCleaner() {}
void TClearTaskThread::FirefoxCacheCleaner() {}
void TClearTaskThread::FirefoxSignonsCleaner() {}
void TClearTaskThread::FirefoxPrefsCleaner() {}
void TClearTaskThread::FirefoxFormHistoryCleaner() {}
void TClearTaskThread::OfficeAccessCleaner() {}
void TClearTaskThread::OfficeExcelCleaner() {}
void TClearTaskThread::OfficeFrontPageCleaner() {}
void TClearTaskThread::OfficePowerpointCleaner() {}
void TClearTaskThread::OfficeWordCleaner() {}
void TClearTaskThread::OfficeRecentFilesCleaner() {}
void TClearTaskThread::MsnMessengerCleaner() {}
void TClearTaskThread::YahooMessengerCleaner() {}
void TClearTaskThread::SkypeCleaner() {}

}  // namespace qv
