// Helpers shared by the tests of the Firefox, Netscape, Opera, Office and messenger cleaners: the
// folders where those programs keep their traces in the test prefix, folders and keys that a test
// owns for its duration, and traces and canaries that a test checks after a run.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

namespace qvtest {

// The prefix's folders, with a trailing backslash.
inline std::string AppDataPath() { return SpecialFolderPath(CSIDL_APPDATA); }
inline std::string LocalAppDataPath() { return qv::GetLocalAppDataFolder(); }
inline std::string DocumentsPath() { return SpecialFolderPath(CSIDL_PERSONAL); }
inline std::string ProgramFilesPath() {
  return qv::IncludeTrailingBackslash(qv::ReadRegistryString(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"));
}

// A folder of the prefix that the test owns: removed when the object is made and when it goes.
class OwnedFolder {
 public:
  explicit OwnedFolder(const std::string& path) : path_(qv::IncludeTrailingBackslash(path)) { RemoveTree(path_); }
  ~OwnedFolder() { RemoveTree(path_); }
  OwnedFolder(const OwnedFolder&) = delete;
  OwnedFolder& operator=(const OwnedFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// A key under HKEY_CURRENT_USER that the test owns: deleted when the object is made and when it goes.
class OwnedKey {
 public:
  explicit OwnedKey(const std::string& path) : path_(path) { RegDeleteTree(HKEY_CURRENT_USER, path_); }
  ~OwnedKey() { RegDeleteTree(HKEY_CURRENT_USER, path_); }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// One thing a run must remove (a trace) or keep (a canary).
struct Thing {
  std::string what;
  std::function<bool()> present;
};

inline Thing FileThing(const std::string& path, uint64_t size) {
  WriteFile(path, size);
  return {path, [path] { return qv::FileExists(path); }};
}

inline Thing FolderThing(const std::string& path) {
  MakeDirs(path);
  return {path, [path] { return qv::DirectoryExists(path); }};
}

inline Thing ValueThing(const std::string& key, const std::string& name) {
  RegSetString(HKEY_CURRENT_USER, key, name, "x");
  return {"HKCU\\" + key + "\\" + name, [key, name] { return RegValueExists(HKEY_CURRENT_USER, key, name); }};
}

// Traces and canaries, with the entries and bytes that the traces make.
struct Scene {
  std::vector<Thing> traces, canaries;
  int count = 0;
  uint64_t bytes = 0;

  void File(const std::string& path, uint64_t size) {
    traces.push_back(FileThing(path, size));
    ++count;
    bytes += size;
  }
  // A registry value that a key removal counts as one entry.
  void Value(const std::string& key, const std::string& name) {
    traces.push_back(ValueThing(key, name));
    ++count;
  }
  void KeepFile(const std::string& path, uint64_t size = 10) { canaries.push_back(FileThing(path, size)); }
  void KeepFolder(const std::string& path) { canaries.push_back(FolderThing(path)); }
  void KeepValue(const std::string& key, const std::string& name) { canaries.push_back(ValueThing(key, name)); }

  void ExpectSetUp() const {
    for (const Thing& t : traces) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
    for (const Thing& t : canaries) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
  }
  void ExpectUntouched() const {
    for (const Thing& t : traces) EXPECT_TRUE(t.present()) << "a Test removed " << t.what;
    for (const Thing& t : canaries) EXPECT_TRUE(t.present()) << "a Test removed " << t.what;
  }
  void ExpectCleaned() const {
    for (const Thing& t : traces) EXPECT_FALSE(t.present()) << "left behind: " << t.what;
    for (const Thing& t : canaries) EXPECT_TRUE(t.present()) << "removed: " << t.what;
  }
};

}  // namespace qvtest
