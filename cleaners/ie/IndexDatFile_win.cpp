#include "cleaners/ie/IndexDatFile.h"

#include <windows.h>

#include <algorithm>
#include <random>

#include "base/Global.h"
#include "base/Settings.h"

namespace qv {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t kMaxChunk = 1 << 20;

class IndexDatFile : public IndexDatTarget {
 public:
  IndexDatFile(HANDLE h, uint64_t size) : h_(h), size_(size) {}
  ~IndexDatFile() override {
    if (written_) FlushFileBuffers(h_);
    CloseHandle(h_);
  }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t len) override {
    size_t done = 0;
    while (done < len) {
      const DWORD n = (DWORD)std::min(len - done, kMaxChunk);
      OVERLAPPED at = {};
      at.Offset = (DWORD)(offset + done);
      at.OffsetHigh = (DWORD)((offset + done) >> 32);
      DWORD got = 0;
      if (!ReadFile(h_, static_cast<char*>(buffer) + done, n, &got, &at) || got == 0) break;
      done += got;
    }
    return done;
  }
  bool WriteAt(uint64_t offset, const void* data, size_t len) override {
    // Never beyond the length the file had when it was opened.
    if (offset > size_ || len > size_ - offset) return false;
    size_t done = 0;
    while (done < len) {
      const DWORD n = (DWORD)std::min(len - done, kMaxChunk);
      OVERLAPPED at = {};
      at.Offset = (DWORD)(offset + done);
      at.OffsetHigh = (DWORD)((offset + done) >> 32);
      DWORD put = 0;
      if (!::WriteFile(h_, static_cast<const char*>(data) + done, n, &put, &at) || put != n) return false;
      written_ = true;
      done += put;
    }
    return true;
  }

 private:
  HANDLE h_;
  uint64_t size_;
  bool written_ = false;
};

// The URL as stored (the system's code page) in UTF-8.
std::string UrlText(const std::string& raw) {
  bool ascii = true;
  for (unsigned char c : raw) ascii = ascii && c < 0x80;
  if (ascii) return raw;
  const int n = MultiByteToWideChar(CP_ACP, 0, raw.data(), (int)raw.size(), nullptr, 0);
  if (n <= 0) return raw;
  std::wstring wide((size_t)n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, raw.data(), (int)raw.size(), &wide[0], n);
  return Narrow(wide);
}

bool StampToLocalFields(uint64_t stamp, CalendarTime& f) {
  FILETIME utc, local;
  utc.dwLowDateTime = (DWORD)stamp;
  utc.dwHighDateTime = (DWORD)(stamp >> 32);
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return false;
  f.year = st.wYear;
  f.month = st.wMonth;
  f.dayOfWeek = st.wDayOfWeek;
  f.day = st.wDay;
  f.hour = st.wHour;
  f.minute = st.wMinute;
  f.second = st.wSecond;
  f.milliseconds = st.wMilliseconds;
  return true;
}

}  // namespace

std::unique_ptr<IndexDatTarget> OpenIndexDatFile(const std::string& path, bool forWriting) {
  // Windows refuses to open a read-only file for writing; Wine run by the superuser does not, so
  // the attribute is checked first to the same effect.
  if (forWriting) {
    const DWORD attributes = GetFileAttributesW(ToWinPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return nullptr;
  }
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ | (forWriting ? GENERIC_WRITE : 0), kShareAll,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(h, &size) || size.QuadPart < 0) {
    CloseHandle(h);
    return nullptr;
  }
  return std::unique_ptr<IndexDatTarget>(new IndexDatFile(h, (uint64_t)size.QuadPart));
}

double IndexDatTimeToDateTime(uint64_t stamp) { return IndexDatTimeToDateTime(stamp, StampToLocalFields); }

bool ReadIndexDatEntries(const std::string& path, const IndexDatFileCallbacks& callbacks) {
  std::unique_ptr<IndexDatTarget> file = OpenIndexDatFile(path, false);
  if (!file) return false;
  IndexDatReadCallbacks inner;
  if (callbacks.onEntry) {
    inner.onEntry = [&callbacks](const std::string& url, uint64_t stamp) {
      callbacks.onEntry(UrlText(url), IndexDatTimeToDateTime(stamp));
    };
  }
  inner.onProgress = callbacks.onProgress;
  inner.beforeEntry = callbacks.beforeEntry;
  ReadIndexDatEntries(*file, inner);
  return true;
}

bool WipeIndexDatThrough(HANDLE file, int passes, const std::function<uint32_t()>& random) {
  return WipeIndexDat(
      [file]() -> std::unique_ptr<IndexDatTarget> {
        HANDLE own = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
          return nullptr;
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(own, &size) || size.QuadPart < 0) {
          CloseHandle(own);
          return nullptr;
        }
        return std::unique_ptr<IndexDatTarget>(new IndexDatFile(own, (uint64_t)size.QuadPart));
      },
      passes, random);
}

void WipeIndexDat(const std::string& path, int passes, const std::function<uint32_t()>& random) {
  if (!FileExists(path)) return;
  WipeIndexDat([&path] { return OpenIndexDatFile(path, true); }, passes, random);
}

void WipeIndexDat(const std::string& path) {
  static std::minstd_rand generator([] {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (unsigned)(now.QuadPart ^ GetTickCount());
  }());
  WipeIndexDat(path, IndexDatWipePasses(OptionsSetting.OverwriteFile, OptionsSetting.OverwriteNumber),
               [] { return (uint32_t)generator(); });
}

}  // namespace qv
