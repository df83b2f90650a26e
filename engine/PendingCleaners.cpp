// Items whose cleaner is not built yet run as items with no cleaner: a header and a zero summary.
// Each definition here goes away when the real one is written.
#include "engine/ProgressThread.h"

namespace qv {


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
