#include "engine/CleanRun.h"

#include <shlobj.h>
#include <wininet.h>

#include <mutex>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "engine/FolderGuard.h"

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

TCleanRun::TCleanRun(std::shared_ptr<ITaskHost> host)
    : Options(OptionsSetting), host_(std::move(host)), control_(std::make_shared<TTaskControl>()) {
  RemovalPhrase = host_->RunMode() == rmTest ? "will be removed" : "to be removed";
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  random_.seed((unsigned)(now.QuadPart ^ GetTickCount() ^ (uintptr_t)this));
}

void TCleanRun::AddLogLine(const std::string& line) { host_->AddLogLine(line); }

void TCleanRun::AddDetailLine(const std::string& phrase, const std::string& object, int scrollEvery) {
  if (Options.FastScan) return;
  // One line a removed file: made in one piece.
  std::string line;
  line.reserve(LogPrefix.size() + phrase.size() + 1 + object.size());
  line.append(LogPrefix).append(phrase).append(1, ' ').append(object);
  AddLogLine(line);
  ScrollLogThrottled(scrollEvery);
}

bool TCleanRun::ClaimOnce(const std::string& identity) { return claimed_.insert(identity).second; }

void TCleanRun::AddNotRemovedLine(const std::string& object, int scrollEvery, const std::string& reason) {
  NoteLeft();
  if (Options.FastScan) return;
  AddLogLine(LogPrefix + object + " could not be removed" + (reason.empty() ? std::string() : " (" + reason + ")"));
  ScrollLogThrottled(scrollEvery);
}

void TCleanRun::ScrollLogThrottled(int n) {
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

void TCleanRun::PostProgress(uint32_t count) {
  host_->PostProgress(count);
  LastProgressTime = NowDays();
}

bool TCleanRun::ProgressDue() const { return (NowDays() - LastProgressTime) * 24 * 3600 > 2; }

bool TCleanRun::AskYesNo(const std::string& text) {
  if (RunMode() == rmUnattended) {
    control_->QuestionDeclined = true;
    AddLogLine("Not asked in an unattended run, answered No: " + text);
    return false;
  }
  return qv::AskYesNo(host_->OwnerWindow(), text) == IDYES;
}

static std::string SpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE) || !buf[0]) return std::string();
  return IncludeTrailingBackslash(Narrow(buf));
}

std::string TCleanRun::GetPersonalFolder() { return SpecialFolder(CSIDL_PERSONAL); }

std::string TCleanRun::GetAppDataFolder() {
  EndBrowserSession();
  return SpecialFolder(CSIDL_APPDATA);
}

std::string TCleanRun::GetProgramFilesFolder() {
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

const TFolderGuard& TCleanRun::FolderGuard() {
  if (!guard_) guard_ = std::make_shared<TFolderGuard>(GetPersonalFolder());
  return *guard_;
}

static std::atomic<int> g_adminForTesting{-1};

void TCleanRun::SetAdministratorForTesting(int answer) { g_adminForTesting = answer; }

static std::mutex g_membershipMutex;
static std::function<BOOL(PSID, BOOL*)> g_membershipForTesting;

void TCleanRun::SetMembershipCheckForTesting(std::function<BOOL(PSID group, BOOL* member)> check) {
  std::lock_guard<std::mutex> lock(g_membershipMutex);
  g_membershipForTesting = std::move(check);
}

// The system's own membership test on the effective token (the thread's when it impersonates,
// else the process's): it knows a token of any number of groups, and a group that is there for
// denying only, as in the filtered token of an administrator under UAC, is no membership.
bool TCleanRun::IsUserAdministrator() {
  if (g_adminForTesting >= 0) return g_adminForTesting == 1;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &admins))
    return false;
  BOOL member = FALSE;
  BOOL ok;
  {
    std::lock_guard<std::mutex> lock(g_membershipMutex);
    ok = g_membershipForTesting ? g_membershipForTesting(admins, &member) : CheckTokenMembership(nullptr, admins, &member);
  }
  FreeSid(admins);
  return ok && member;
}

}  // namespace qv
