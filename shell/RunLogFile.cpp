#include "shell/RunLogFile.h"

#include <windows.h>

#include <cstdio>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/PathSpelling.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// True for a name that Windows takes for a device in any folder: CON, PRN, AUX, NUL, COM1..9,
// LPT1..9, CONIN$, CONOUT$, CLOCK$, also with an extension or trailing spaces ("nul.log").
bool IsDeviceName(const std::string& segment) {
  std::string base = segment.substr(0, segment.find('.'));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  base = UpperCase(base);
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* n : kNames)
    if (base == n) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

bool HasDeviceNameSegment(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    if (end > start && IsDeviceName(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

std::string UpperWide(std::wstring s) {
  if (!s.empty()) CharUpperBuffW(&s[0], (DWORD)s.size());
  return Narrow(s);
}

// Why the open handle is not the plain file named `path`; empty when it is.
std::string OpenedSomethingElse(HANDLE h, const std::string& path) {
  if (GetFileType(h) != FILE_TYPE_DISK) return "it is not a file on a disk";
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return "it cannot be examined";
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "it is a link";
  if (info.nNumberOfLinks > 1) return "it has more than one name (a hard link)";
  // The entry opened must be the one named: its resolved path is its folder's and its own name.
  // (The system may follow a link although asked not to: a link made by the host of Wine.)
  const std::wstring final = FinalPathOfHandle(h);
  if (final.empty()) return std::string();  // the system cannot tell (Windows XP)
  const std::string folder = ExcludeTrailingBackslash(path.substr(0, path.find_last_of('\\') + 1));
  const std::wstring folderFinal = FinalPathOfFolder(IncludeTrailingBackslash(folder));
  if (folderFinal.empty()) return "its folder cannot be examined";
  const std::string got = Narrow(final);
  std::string name = path.substr(path.find_last_of('\\') + 1);
  if (got == Narrow(folderFinal) + "\\" + UpperCase(name)) return std::string();
  // The name may be a short (8.3) one.
  WIN32_FIND_DATAW fd;
  TFindHandle f(FindFirstFileW(ToWinPath(path).c_str(), &fd));
  if (f.Valid()) {
    if (got == Narrow(folderFinal) + "\\" + UpperWide(fd.cFileName)) return std::string();
  }
  return "it leads somewhere else (a link)";
}

}  // namespace

std::string RunLogHeader(const std::string& when, const std::string& version, const std::string& what) {
  return "==== " + when + " Quorvane " + version + ": " + what + " ====";
}

std::string NowText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buf[32];
  snprintf(buf, sizeof(buf), "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
           t.wSecond);
  return buf;
}

std::string RunLogClosingLine(const TRunOutcome& o) {
  const uint64_t tenths = (o.Milliseconds + 50) / 100;
  char duration[48];
  snprintf(duration, sizeof(duration), "%llu:%02u:%02u.%u", (unsigned long long)(tenths / 36000),
           (unsigned)(tenths / 600 % 60), (unsigned)(tenths / 10 % 60), (unsigned)(tenths % 10));
  const uint64_t kb = o.Bytes / 1024 + (o.Bytes % 1024 ? 1 : 0);
  return "==== end: " + o.Result + "; exit code " + std::to_string(o.ExitCode) + "; " + Grouped(o.Count) +
         (o.Count == 1 ? " item, " : " items, ") + Grouped(kb) + " KB; " + duration + " ====";
}

std::string RefusedLogPath(const std::string& path) {
  if (path.empty()) return "no file is named";
  const std::string full = FullPath(path);
  if (HasDeviceNameSegment(path) || HasDeviceNameSegment(full)) return "it names a device";
  for (const std::string* p : {&path, &full}) {
    const TPathSpelling s = ReadPathSpelling(*p);
    if (s.Form == pfDevice) return "it names a device or a path of the host";
    if (s.Prefixed) return "it is spelled with a device prefix (\\\\?\\ or \\\\.\\)";
  }
  if (ReadPathSpelling(full).Form == pfRelative) return "its folder cannot be told";
  if (full.back() == '\\' || full.back() == '/') return "it names a folder";
  return std::string();
}

bool AppendRunLog(const std::string& file, const std::string& header, const std::vector<std::string>& lines,
                  std::string* problem) {
  return AppendRunLog(
      file, header,
      [&](const std::function<void(const std::string&)>& put) {
        for (const std::string& line : lines) put(line);
      },
      problem);
}

bool AppendRunLog(const std::string& file, const std::string& header, const TLineSource& lines,
                  std::string* problem) {
  auto fail = [&](const std::string& why) {
    if (problem) *problem = "The log file " + file + " cannot be written: " + why + ".";
    return false;
  };
  if (file.empty()) return fail("no file is named");
  const std::string refused = RefusedLogPath(file);
  if (!refused.empty()) return fail(refused);
  const std::string path = FullPath(file);
  // FILE_FLAG_OPEN_REPARSE_POINT: a link at the name is opened itself (and then refused), never
  // followed. A new file is made only where no entry of that name exists at all (CREATE_NEW), so
  // that nothing is ever made where a dangling link points; a name that neither opens nor can be
  // made is such a link.
  TFileHandle log;
  DWORD error = 0;
  const std::wstring winPath = ToWinPath(path);
  for (int attempt = 0; attempt < 3 && !log.Valid(); ++attempt) {
    for (DWORD disposition : {(DWORD)OPEN_EXISTING, (DWORD)CREATE_NEW}) {
      log.Reset(CreateFileW(winPath.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (log.Valid()) break;
      error = GetLastError();
      const bool goOn = disposition == OPEN_EXISTING ? error == ERROR_FILE_NOT_FOUND
                                                     : error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
      if (!goOn) break;
    }
    if (!log.Valid() && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  if (!log.Valid()) {
    const DWORD attributes = GetFileAttributesW(winPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return fail("it is a folder");
    return fail(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? "it leads somewhere else (a link)"
                : error == ERROR_PATH_NOT_FOUND                            ? "its folder does not exist"
                : error == ERROR_ACCESS_DENIED                             ? "access is denied"
                                                                : "it cannot be opened (error " + std::to_string(error) + ")");
  }
  const HANDLE h = log.Get();
  const std::string other = OpenedSomethingElse(h, path);
  if (!other.empty()) return fail(other);
  // Every run of the program locks the whole file for its entry, waiting for one that writes.
  OVERLAPPED whole = {};
  const bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != FALSE;
  std::string text;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(h, &size) && size.QuadPart == 0) text = "\xEF\xBB\xBF";
  text += header + "\r\n";
  bool ok = true;
  auto flush = [&] {
    DWORD written = 0;
    ok = ok && WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
    text.clear();
  };
  // Without the lock (a file system that has none) the entry goes in one write, as a whole.
  const size_t kPiece = locked ? (size_t)1 << 20 : (size_t)-1;
  lines([&](const std::string& line) {
    text.append(line).append("\r\n");
    if (text.size() >= kPiece) flush();
  });
  text += "\r\n";
  flush();
  if (locked) UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
  return ok || fail("writing failed");
}

}  // namespace qv
