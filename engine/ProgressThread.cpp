#include "engine/ProgressThread.h"

#include <shlobj.h>
#include <wininet.h>

#include <map>
#include <thread>

#include "shell/Global.h"
#include "shell/Settings.h"

namespace qv {

const char* const kSeparatorLine =
    "-----------------------------------------------------------------------------------------------------------";
static_assert(sizeof(
                  "-----------------------------------------------------------------------------------------------------------") ==
                  108,
              "the separator is 107 characters");

std::string FormatKB(uint64_t bytes) {
  uint64_t kb = bytes / 1024 + (bytes % 1024 ? 1 : 0);
  int32_t value = (int32_t)(uint32_t)kb;
  bool neg = value < 0;
  std::string digits = std::to_string(neg ? -(int64_t)value : (int64_t)value);
  std::string out;
  int n = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    out.insert(out.begin(), digits[i]);
    if (++n % 3 == 0 && i > 0) out.insert(out.begin(), ',');
  }
  return neg ? "-" + out : out;
}

TCleanerMethod FindBuiltinCleaner(const std::string& itemName) {
  static const std::map<std::string, TCleanerMethod> table = {
      {"Internet Explorer - Recently Typed URLs", &TClearTaskThread::IeTypedUrlsCleaner},
      {"Internet Explorer - Cookies", &TClearTaskThread::IeCookiesCleaner},
      {"Internet Explorer - Visited URL History", &TClearTaskThread::IeHistoryCleaner},
      {"Internet Explorer - Last Download Location", &TClearTaskThread::IeDownloadDirCleaner},
      {"Internet Explorer - Temporary Internet Files", &TClearTaskThread::IeCacheCleaner},
      {"Internet Explorer - Index.dat Files", &TClearTaskThread::IeIndexDatCleaner},
      {"Internet Explorer - Autocomplete History", &TClearTaskThread::IeAutoCompleteCleaner},
      {"Windows - Recent Documents", &TClearTaskThread::RecentDocumentsCleaner},
      {"Windows - Start Run", &TClearTaskThread::StartRunCleaner},
      {"Windows - Search Assistant", &TClearTaskThread::SearchAssistantCleaner},
      {"Windows - Empty Recycle Bin", &TClearTaskThread::RecycleBinCleaner},
      {"Windows - Temporary Files", &TClearTaskThread::TempFilesCleaner},
      {"Windows - Clipboard", &TClearTaskThread::ClipboardCleaner},
      {"Windows - Memory Dumps", &TClearTaskThread::MemoryDumpsCleaner},
      {"Windows - Chkdsk File Fragments", &TClearTaskThread::ChkdskFragmentsCleaner},
      {"Netscape - Cookies", &TClearTaskThread::NetscapeCookiesCleaner},
      {"Netscape - Visited URL History", &TClearTaskThread::NetscapeHistoryCleaner},
      {"Netscape - Temporary Internet Files", &TClearTaskThread::NetscapeCacheCleaner},
      {"Netscape - Preferences", &TClearTaskThread::NetscapePrefsCleaner},
      {"Netscape - Saved Form Information", &TClearTaskThread::NetscapeFormHistoryCleaner},
      {"Opera - Recently Typed URLs", &TClearTaskThread::OperaTypedUrlsCleaner},
      {"Opera - Cookies", &TClearTaskThread::OperaCookiesCleaner},
      {"Opera - Visited URL History", &TClearTaskThread::OperaHistoryCleaner},
      {"Opera - Temporary Internet Files", &TClearTaskThread::OperaCacheCleaner},
      {"Opera - Autocomplete History", &TClearTaskThread::OperaWandCleaner},
      {"Opera - Transfers", &TClearTaskThread::OperaTransfersCleaner},
      {"Mozilla Firefox - Cookies", &TClearTaskThread::FirefoxCookiesCleaner},
      {"Mozilla Firefox - Visited URL History", &TClearTaskThread::FirefoxHistoryCleaner},
      {"Mozilla Firefox - Download Manager", &TClearTaskThread::FirefoxDownloadsCleaner},
      {"Mozilla Firefox - Temporary Internet Files", &TClearTaskThread::FirefoxCacheCleaner},
      {"Mozilla Firefox - Autocomplete History", &TClearTaskThread::FirefoxSignonsCleaner},
      {"Mozilla Firefox - Preferences", &TClearTaskThread::FirefoxPrefsCleaner},
      {"Mozilla Firefox - Saved Form Information", &TClearTaskThread::FirefoxFormHistoryCleaner},
      {"Advanced - Open File History", &TClearTaskThread::OpenFileHistoryCleaner},
      {"Advanced - Menu Order Cache", &TClearTaskThread::MenuOrderCleaner},
      {"Advanced - Tray Notifications Cache", &TClearTaskThread::TrayNotifyCleaner},
      {"Advanced - User Assist History", &TClearTaskThread::UserAssistCleaner},
      {"Advanced - Paint", &TClearTaskThread::PaintRecentCleaner},
      {"Microsoft Office - Access", &TClearTaskThread::OfficeAccessCleaner},
      {"Microsoft Office - Excel", &TClearTaskThread::OfficeExcelCleaner},
      {"Microsoft Office - FrontPage", &TClearTaskThread::OfficeFrontPageCleaner},
      {"Microsoft Office - Powerpoint", &TClearTaskThread::OfficePowerpointCleaner},
      {"Microsoft Office - Word", &TClearTaskThread::OfficeWordCleaner},
      {"Microsoft Office - Recent Files", &TClearTaskThread::OfficeRecentFilesCleaner},
      {"Instant Messengers - MSN Messenger", &TClearTaskThread::MsnMessengerCleaner},
      {"Instant Messengers - Yahoo! Messenger", &TClearTaskThread::YahooMessengerCleaner},
      {"Instant Messengers - Skype", &TClearTaskThread::SkypeCleaner},
  };
  auto it = table.find(itemName);
  return it == table.end() ? nullptr : it->second;
}

TClearTaskThread::TClearTaskThread(std::shared_ptr<ITaskHost> host)
    : host_(std::move(host)), control_(std::make_shared<TTaskControl>()) {
  RemovalPhrase = host_->RunMode() == rmTest ? "will be removed" : "to be removed";
}

TClearTaskThread::~TClearTaskThread() = default;

void TClearTaskThread::Start() {
  control_->Running = true;
  std::thread([this] {
    RunHere();
    delete this;
  }).detach();
}

void TClearTaskThread::RunHere() {
  std::shared_ptr<TTaskControl> control = control_;
  control->Running = true;
  try {
    Execute();
  } catch (...) {
    // An unexpected failure ends the run quietly: no totals. The window still has to leave its
    // busy state, so it is told.
    if (!Terminated()) host_->PostAborted((uint32_t)TotalCount);
  }
  control->Running = false;
}

void TClearTaskThread::Execute() {
  CurrentIndex = -1;
  for (size_t i = 0; i < ItemList.size(); ++i) {
    if (Terminated()) return;
    const std::string& name = ItemList[i];
    CurrentIndex = (int)i;
    host_->Synchronize([this] {
      ItemCount = 0;
      ItemSizeText = "0";
      ItemBytes = 0;
      WorkingPath.clear();
      LastProgressTime = NowDays();
      ScrollCounter = 0;
    });
    host_->SetCurrentItem(name);
    if (i > 0) AddLogLine(kSeparatorLine);
    AddLogLine(LogPrefix + "Clearing" + " " + name + " ...");
    Dispatch(name);
    host_->Synchronize([this] {
      AddLogLine("");
      AddLogLine(std::to_string(ItemCount) + " " + "items" + " " + RemovalPhrase + "; " + ItemSizeText + " KB " +
                 RemovalPhrase + ".");
      AddLogLine("");
      host_->ScrollLogToEnd();
      TotalCount += ItemCount;
      TotalBytes += ItemBytes;
      host_->PostProgress((uint32_t)TotalCount);
    });
  }
  std::string total = IsTest() ? "Total items will be removed = " + std::to_string(TotalCount) + " ; " +
                                     "Total files will be removed = " + FormatKB(TotalBytes) + " KB"
                               : "Total items to be removed = " + std::to_string(TotalCount) + " ; " +
                                     "Total files to be removed = " + FormatKB(TotalBytes) + " KB";
  AddLogLine(kSeparatorLine);
  AddLogLine(total);
  AddLogLine(kSeparatorLine);
  host_->PostFinished((uint32_t)TotalCount);
}

void TClearTaskThread::Dispatch(const std::string& itemName) {
  if (Contains(itemName, "Custom Lists -")) {
    RunDefinitionSection("Clist.dat", itemName);
    return;
  }
  if (TCleanerMethod m = FindBuiltinCleaner(itemName)) {
    (this->*m)();
    return;
  }
  RunDefinitionSection("Zelbrin.dat", itemName);
}

void TClearTaskThread::AddLogLine(const std::string& line) { host_->AddLogLine(line); }

void TClearTaskThread::AddDetailLine(const std::string& phrase, const std::string& object, int scrollEvery) {
  if (OptionsSetting.FastScan) return;
  AddLogLine(LogPrefix + phrase + " " + object);
  ScrollLogThrottled(scrollEvery);
}

void TClearTaskThread::ScrollLogThrottled(int n) {
  if (n == 0) {
    host_->ScrollLogToEnd();
    return;
  }
  if (!IsTest()) n /= 2;
  if (n <= 0) n = 1;
  ++ScrollCounter;
  if (ScrollCounter % n == 0) {
    host_->ScrollLogToEnd();
    ScrollCounter = 0;
  }
}

void TClearTaskThread::PostProgress(uint32_t count) {
  host_->PostProgress(count);
  LastProgressTime = NowDays();
}

bool TClearTaskThread::ProgressDue() const { return (NowDays() - LastProgressTime) * 24 * 3600 > 2; }

bool TClearTaskThread::AskYesNo(const std::string& text) { return qv::AskYesNo(host_->OwnerWindow(), text) == IDYES; }

static void EndBrowserSession() { InternetSetOptionW(nullptr, 42 /* end browser session */, nullptr, 0); }

static std::string SpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE) || !buf[0]) return std::string();
  return IncludeTrailingBackslash(Narrow(buf));
}

std::string TClearTaskThread::GetPersonalFolder() { return SpecialFolder(CSIDL_PERSONAL); }

std::string TClearTaskThread::GetAppDataFolder() {
  EndBrowserSession();
  return SpecialFolder(CSIDL_APPDATA);
}

std::string TClearTaskThread::GetProgramFilesFolder() {
  HKEY key;
  // Read access is enough, and all a user without administrator rights gets.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return std::string();
  std::string result;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, L"ProgramFilesDir", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, L"ProgramFilesDir", nullptr, nullptr, (BYTE*)&buf[0], &size) == ERROR_SUCCESS)
      result = Narrow(buf.c_str());
  }
  RegCloseKey(key);
  return result;
}

static std::atomic<int> g_adminForTesting{-1};

void TClearTaskThread::SetAdministratorForTesting(int answer) { g_adminForTesting = answer; }

bool TClearTaskThread::IsUserAdministrator() {
  if (g_adminForTesting >= 0) return g_adminForTesting == 1;
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
      return false;
  }
  alignas(8) BYTE buffer[1024];
  DWORD size = 0;
  bool result = false;
  if (GetTokenInformation(token, TokenGroups, buffer, sizeof(buffer), &size)) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins)) {
      auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer);
      for (DWORD i = 0; i < groups->GroupCount && !result; ++i)
        if (EqualSid(groups->Groups[i].Sid, admins)) result = true;
      FreeSid(admins);
    }
  }
  CloseHandle(token);
  return result;
}

}  // namespace qv
