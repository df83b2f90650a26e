#include "base/Global.h"

#include "base/Handles.h"
#include "base/PathSpelling.h"
#include "base/ProfileText.h"

#include <cstdlib>
#include <mutex>
#include <vector>

namespace qv {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::string Narrow(const wchar_t* s) { return s ? Narrow(std::wstring(s)) : std::string(); }

std::string ExeFolder() {
  std::wstring buf(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, &buf[0], (DWORD)buf.size());
  buf.resize(n);
  size_t slash = buf.find_last_of(L'\\');
  return Narrow(slash == std::wstring::npos ? std::wstring() : buf.substr(0, slash + 1));
}

std::string IncludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string ExcludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string UpperCase(const std::string& s) {
  std::wstring w = Widen(s);
  if (!w.empty()) CharUpperBuffW(&w[0], (DWORD)w.size());
  return Narrow(w);
}

std::string LowerCase(const std::string& s) {
  std::wstring w = Widen(s);
  if (!w.empty()) CharLowerBuffW(&w[0], (DWORD)w.size());
  return Narrow(w);
}

bool SameText(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }
bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
bool EndsWith(const std::string& s, const std::string& x) {
  return s.size() >= x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}
bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::wstring ToWinPath(const std::string& path) {
  std::wstring w = Widen(path);
  // Plain drive paths past MAX_PATH need the extended prefix for the wide-character calls.
  if (w.size() >= MAX_PATH - 12 && w.size() > 2 && w[1] == L':' && w.compare(0, 4, L"\\\\?\\") != 0)
    return L"\\\\?\\" + w;
  if (w.size() >= MAX_PATH - 12 && w.compare(0, 2, L"\\\\") == 0 && w.compare(0, 4, L"\\\\?\\") != 0)
    return L"\\\\?\\UNC\\" + w.substr(2);
  return w;
}

std::string FullPath(const std::string& path) {
  const std::wstring w = Widen(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring buf(n + 1, L'\0');
  n = GetFullPathNameW(w.c_str(), (DWORD)buf.size(), &buf[0], nullptr);
  if (n == 0 || n >= buf.size()) return path;
  buf.resize(n);
  return Narrow(buf);
}

bool IsReadableOrMissing(const std::string& path) {
  if (!FileExists(path)) return true;
  TFileHandle h(CreateFileW(ToWinPath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  return h.Valid();
}

std::string DecodeProfileText(const std::string& bytes) {
  auto fromWide = [](const wchar_t* w, size_t n) { return Narrow(std::wstring(w, n)); };
  if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE) {
    std::wstring w((bytes.size() - 2) / 2, L'\0');
    for (size_t i = 0; i < w.size(); ++i)
      w[i] = (wchar_t)((unsigned char)bytes[2 + 2 * i] | ((unsigned char)bytes[3 + 2 * i] << 8));
    return fromWide(w.data(), w.size());
  }
  if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFE && (unsigned char)bytes[1] == 0xFF) {
    std::wstring w((bytes.size() - 2) / 2, L'\0');
    for (size_t i = 0; i < w.size(); ++i)
      w[i] = (wchar_t)(((unsigned char)bytes[2 + 2 * i] << 8) | (unsigned char)bytes[3 + 2 * i]);
    return fromWide(w.data(), w.size());
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (IsValidUtf8(bytes)) return bytes;
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  if (n) MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), &w[0], n);
  return Narrow(w);
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  TFileHandle h(CreateFileW(ToWinPath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return false;
  // Read in few large pieces: a file of megabytes costs a few calls, not hundreds.
  LARGE_INTEGER size;
  if (GetFileSizeEx(h.Get(), &size) && size.QuadPart > 0 && size.QuadPart < 0x40000000) bytes.reserve((size_t)size.QuadPart);
  std::vector<char> buf(1 << 20);
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h.Get(), buf.data(), (DWORD)buf.size(), &got, nullptr) != 0) && got > 0) bytes.append(buf.data(), got);
  return ok;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(ToWinPath(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  std::string p = path;
  // A root keeps its backslash ("\\?\C:" is the volume, "\\?\C:\" its root folder).
  if (p.size() > 3 && p.back() == '\\' && !ReadPathSpelling(p).Segments.empty()) p.pop_back();
  DWORD a = GetFileAttributesW(ToWinPath(p).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string IniReadString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def) {
  std::wstring buf(2048, L'\0');
  for (;;) {
    DWORD n = GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(def).c_str(), &buf[0],
                                       (DWORD)buf.size(), Widen(file).c_str());
    if (n + 1 < buf.size()) {
      buf.resize(n);
      return Narrow(buf);
    }
    buf.assign(buf.size() * 2, L'\0');
  }
}

bool ParseProfileInteger(const std::string& text, int& value) {
  std::string t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.erase(0, 1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
  if (t.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (t[0] == '-' || t[0] == '+') {
    neg = t[0] == '-';
    i = 1;
  }
  int base = 10;
  if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  } else if (i < t.size() && t[i] == '$') {
    base = 16;
    i += 1;
  }
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 10 && v > 2147483647LL + (neg ? 1 : 0)) return false;
  value = (int)(neg ? -v : v);
  return true;
}

int IniReadInteger(const std::string& file, const std::string& section, const std::string& key, int def) {
  int v;
  return ParseProfileInteger(IniReadString(file, section, key, ""), v) ? v : def;
}

bool IniReadBool(const std::string& file, const std::string& section, const std::string& key, bool def) {
  return IniReadInteger(file, section, key, def ? 1 : 0) != 0;
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                    Widen(file).c_str()) != 0;
}

static std::vector<std::string> SplitDoubleNull(const std::wstring& buf) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < buf.size() && buf[i]) {
    size_t end = buf.find(L'\0', i);
    out.push_back(Narrow(buf.substr(i, end - i)));
    i = end + 1;
  }
  return out;
}

std::vector<std::string> IniReadSections(const std::string& file) {
  std::wstring buf(65536, L'\0');
  for (;;) {
    DWORD n = GetPrivateProfileSectionNamesW(&buf[0], (DWORD)buf.size(), Widen(file).c_str());
    if (n + 2 < buf.size()) {
      buf.resize(n + 1);
      return SplitDoubleNull(buf);
    }
    buf.assign(buf.size() * 2, L'\0');
  }
}

std::vector<std::string> IniReadKeys(const std::string& file, const std::string& section) {
  std::wstring buf(65536, L'\0');
  for (;;) {
    DWORD n = GetPrivateProfileStringW(Widen(section).c_str(), nullptr, L"", &buf[0], (DWORD)buf.size(),
                                       Widen(file).c_str());
    if (n + 2 < buf.size()) {
      buf.resize(n + 1);
      return SplitDoubleNull(buf);
    }
    buf.assign(buf.size() * 2, L'\0');
  }
}

static std::mutex g_hookMutex;
static MessageBoxHook g_messageBoxHook;

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_messageBoxHook = std::move(hook);
}

int ShowMessage(HWND owner, const std::string& text, UINT type, const std::string& caption) {
  MessageBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_messageBoxHook;
  }
  if (hook) return hook(text, caption, type);
  return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), type);
}

int AskYesNo(HWND owner, const std::string& text) {
  return ShowMessage(owner, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
}

void ShowInformation(HWND owner, const std::string& text) { ShowMessage(owner, text, MB_OK | MB_ICONINFORMATION); }

static std::mutex g_clockMutex;
static std::function<double()> g_clock;

double NowDays() {
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_clock) return g_clock();
  }
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  // 100 ns units since 1601 to days since 1899-12-30.
  return (double)u.QuadPart / 864000000000.0 - 109205.0;
}

void SetClockForTesting(std::function<double()> clock) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_clock = std::move(clock);
}

}  // namespace qv
