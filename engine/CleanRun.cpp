#include "engine/CleanRun.h"

#include <shlobj.h>
#include <wininet.h>

#include <mutex>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "base/Wow64.h"
#include "engine/FolderGuard.h"

namespace qv {

const char* const kSeparatorLine =
    "-----------------------------------------------------------------------------------------------------------";
static_assert(sizeof(
                  "-----------------------------------------------------------------------------------------------------------") ==
                  108,
              "the separator is 107 characters");

std::string FormatKB(uint64_t bytes) {
  const uint64_t kb = bytes / 1024 + (bytes % 1024 ? 1 : 0);
  const std::string digits = std::to_string(kb);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
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

namespace {

// A key's slot in a table of `size` slots (a power of two): its bits mixed, so that file ids that
// differ only in their high bits spread too.
size_t SlotOf(uint64_t key, size_t size) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdull;
  key ^= key >> 33;
  return (size_t)key & (size - 1);
}

// The slot holding the key, or the free slot where it belongs.
size_t Probe(const std::vector<uint64_t>& table, uint64_t key) {
  size_t i = SlotOf(key, table.size());
  while (table[i] != 0 && table[i] != key) i = (i + 1) & (table.size() - 1);
  return i;
}

}  // namespace

// 0 marks a free slot: the key 0 is kept as another value no key of a file or text is likely to be.
constexpr uint64_t kZeroKey = 0x9E3779B97F4A7C15ull;

bool TCleanRun::IsClaimed(uint64_t key) const {
  if (claimed_.empty()) return false;
  if (key == 0) key = kZeroKey;
  return claimed_[Probe(claimed_, key)] == key;
}

bool TCleanRun::ClaimOnce(uint64_t key) {
  if (key == 0) key = kZeroKey;
  // Three quarters full at most: then twice the size.
  if ((claimedCount_ + 1) * 4 > claimed_.size() * 3) {
    std::vector<uint64_t> bigger(claimed_.empty() ? 1024 : claimed_.size() * 2, 0);
    for (uint64_t k : claimed_)
      if (k) bigger[Probe(bigger, k)] = k;
    claimed_.swap(bigger);
  }
  const size_t i = Probe(claimed_, key);
  if (claimed_[i] == key) return false;
  claimed_[i] = key;
  ++claimedCount_;
  return true;
}

bool TCleanRun::ClaimOnce(const std::string& identity) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : identity) h = (h ^ c) * 1099511628211ull;
  return ClaimOnce(h);
}

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

bool ITaskHost::Ask(const std::string& text) { return qv::AskYesNo(OwnerWindow(), text) == IDYES; }

void ITaskHost::Tell(const std::string& text) { ShowMessage(OwnerWindow(), text, MB_OK, ""); }

bool TCleanRun::Ask(const std::string& text, const std::string& unattendedLine) {
  if (RunMode() == rmUnattended) {
    control_->QuestionDeclined = true;
    AddLogLine(unattendedLine.empty() ? "Not asked in an unattended run, answered No: " + text : unattendedLine);
    return false;
  }
  // A box may load libraries: the x86 build asks with the file system's usual view.
  TRedirectedFileSystemView usual;
  return host_->Ask(text);
}

bool TCleanRun::MayChangeMachineValue(const std::string& what) {
  if (IsUserAdministrator()) return true;
  NoteLeft();
  AddLogLine(LogPrefix + "skipping " + what + ": it needs administrator rights");
  if (!adminTold_ && RunMode() != rmUnattended) {
    adminTold_ = true;
    TRedirectedFileSystemView usual;
    host_->Tell("You must have administrators user.");
  }
  return false;
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
