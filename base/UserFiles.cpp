#include "base/UserFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

#include "base/Global.h"
#include "base/Handles.h"

namespace qv {

namespace {

std::mutex g_mutex;
std::string g_folder;  // decided folder, or empty before the first use
std::string g_testingFolder;

// True when a new file can be made in the folder: the real test of the rights of this user (a
// folder's read-only attribute says nothing about them).
bool FolderIsWritable(const std::string& folder) {
  const std::wstring probe = ToWinPath(folder + ".quorvane-write-test-" + std::to_string(GetCurrentProcessId()));
  TFileHandle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return h.Valid() || GetLastError() == ERROR_FILE_EXISTS;
}

std::string AppDataFolder() {
  wchar_t buf[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buf, CSIDL_APPDATA, FALSE) || !buf[0]) return std::string();
  return IncludeTrailingBackslash(Narrow(buf)) + "Quorvane\\";
}

std::string Decide() {
  const std::string exe = ExeFolder();
  return ChooseUserFilesFolder(exe, FileExists(exe + "portable.dat"), FolderIsWritable(exe), AppDataFolder());
}

}  // namespace

std::string ChooseUserFilesFolder(const std::string& exeFolder, bool hasPortableMarker, bool exeFolderWritable,
                                  const std::string& appDataFolder) {
  if (hasPortableMarker || exeFolderWritable || appDataFolder.empty()) return exeFolder;
  return IncludeTrailingBackslash(appDataFolder);
}

std::string UserFilesFolder() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_testingFolder.empty()) return g_testingFolder;
  if (g_folder.empty()) g_folder = Decide();
  return g_folder;
}

std::string UserFilePath(const std::string& name) { return UserFilesFolder() + name; }

std::string UserFileToRead(const std::string& name) {
  const std::string own = UserFilePath(name);
  if (FileExists(own)) return own;
  const std::string besideExe = ExeFolder() + name;
  if (!SameText(UserFilesFolder(), ExeFolder()) && FileExists(besideExe)) return besideExe;
  return own;
}

bool EnsureUserFilesFolder() {
  const std::string folder = UserFilesFolder();
  if (DirectoryExists(folder)) return true;
  return SHCreateDirectoryExW(nullptr, Widen(ExcludeTrailingBackslash(folder)).c_str(), nullptr) ==
             ERROR_SUCCESS ||
         DirectoryExists(folder);
}

// Rewrites a file's text as UTF-16 little-endian with its byte-order mark.
static bool ConvertToUtf16(const std::string& file) {
  std::string bytes;
  if (FileExists(file) && !ReadFileBytes(file, bytes)) return false;
  const std::wstring text = Widen(DecodeProfileText(bytes));
  std::string out = "\xFF\xFE";
  for (wchar_t c : text) {
    out += (char)(c & 0xFF);
    out += (char)((c >> 8) & 0xFF);
  }
  TFileHandle h(CreateFileW(ToWinPath(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  DWORD written = 0;
  return WriteFile(h.Get(), out.data(), (DWORD)out.size(), &written, nullptr) && written == out.size();
}

namespace {

// The temporary file beside a file being replaced; removed when the object goes unless it has
// taken the file's place.
class TReplacement {
 public:
  explicit TReplacement(const std::string& path)
      : path_(path),
        temporary_(path + ".new-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetCurrentThreadId())),
        wTemp_(ToWinPath(temporary_)) {
    DeleteFileW(wTemp_.c_str());
  }
  ~TReplacement() {
    if (!done_) DeleteFileW(wTemp_.c_str());
  }
  TReplacement(const TReplacement&) = delete;
  TReplacement& operator=(const TReplacement&) = delete;

  const std::string& Temporary() const { return temporary_; }
  const std::wstring& WideTemporary() const { return wTemp_; }
  // Puts the temporary file in the file's place in one step.
  bool Commit() {
    done_ = MoveFileExW(wTemp_.c_str(), ToWinPath(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    return done_;
  }

 private:
  std::string path_, temporary_;
  std::wstring wTemp_;
  bool done_ = false;
};

// Runs `replace` with the writers' lock held (one writer at a time across every copy of the
// program in this session) and the file's folder made; false when the lock cannot be had.
bool UnderWritersLock(const std::string& path, const std::function<bool()>& replace) {
  TKernelHandle mutex(CreateMutexW(nullptr, FALSE, L"Local\\Quorvane.UserFileWriter"));
  TMutexLock lock(mutex.Get(), 30000);
  // Without a mutex at all (the system refused one) the write goes ahead unguarded.
  if (mutex && !lock.Owned()) return false;
  const size_t slash = path.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (!folder.empty() && !DirectoryExists(folder))
    SHCreateDirectoryExW(nullptr, Widen(ExcludeTrailingBackslash(folder)).c_str(), nullptr);
  return replace();
}

}  // namespace

bool RewriteProfileFile(const std::string& path, const std::function<bool(const std::string& temporary)>& write,
                        bool unicode) {
  return UnderWritersLock(path, [&] {
    TReplacement copy(path);
    const std::wstring& wTemp = copy.WideTemporary();
    if (FileExists(path) && !CopyFileW(ToWinPath(path).c_str(), wTemp.c_str(), FALSE)) return false;
    // The copy keeps the original's attributes; a read-only original must still be replaceable
    // only when the system allows it, so the copy itself is made writable.
    DWORD a = GetFileAttributesW(wTemp.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
      SetFileAttributesW(wTemp.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    if (unicode && !ConvertToUtf16(copy.Temporary())) return false;
    const bool written = write(copy.Temporary());
    // The profile functions cache what they write; this writes it out.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, wTemp.c_str());
    return written && copy.Commit();
  });
}

bool RewriteUserFile(const std::string& path,
                     const std::function<bool(const std::string* current, std::string& replacement)>& edit) {
  return UnderWritersLock(path, [&] {
    std::string current, replacement;
    const bool exists = FileExists(path);
    if (exists && !ReadFileBytes(path, current)) return false;
    if (!edit(exists ? &current : nullptr, replacement)) return false;
    TReplacement copy(path);
    {
      TFileHandle h(CreateFileW(copy.WideTemporary().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!h) return false;
      DWORD written = 0;
      if (!replacement.empty() &&
          (!WriteFile(h.Get(), replacement.data(), (DWORD)replacement.size(), &written, nullptr) ||
           written != replacement.size()))
        return false;
    }
    return copy.Commit();
  });
}

void SetUserFilesFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_testingFolder = folder.empty() ? std::string() : IncludeTrailingBackslash(folder);
  if (folder.empty()) g_folder.clear();
}

}  // namespace qv
