// Sandboxes for tests: a folder inside the test prefix and a registry key, wiped on setup and
// teardown.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace qvtest {

// C:\qvsandbox\<name>\, emptied when created and removed when destroyed.
class SandboxFolder {
 public:
  explicit SandboxFolder(const std::string& name);
  ~SandboxFolder();
  // The folder with a trailing backslash.
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// Creates a file (and its folders) holding `size` bytes of 'x'.
void WriteFile(const std::string& path, uint64_t size);
void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
void MakeDirs(const std::string& path);
// Removes a folder tree with plain calls (never through the code under test).
void RemoveTree(const std::string& path);

// A key under HKEY_CURRENT_USER\Software\QuorvaneTest\<name>, deleted on setup and teardown.
class SandboxKey {
 public:
  explicit SandboxKey(const std::string& name, HKEY root = HKEY_CURRENT_USER);
  ~SandboxKey();
  // Path relative to the root, without a leading backslash.
  const std::string& Path() const { return path_; }
  HKEY Root() const { return root_; }

 private:
  HKEY root_;
  std::string path_;
};

// Points the user's documents folder (CSIDL_PERSONAL, through the User Shell Folders and Shell
// Folders values) at `folder` for the life of the object. In the test prefix the documents, the
// desktop and the pictures are one host folder, so the documents are also the (protected) desktop;
// tests of the documents questions need documents of their own.
class ScopedDocumentsFolder {
 public:
  explicit ScopedDocumentsFolder(const std::string& folder);
  ~ScopedDocumentsFolder();
  ScopedDocumentsFolder(const ScopedDocumentsFolder&) = delete;
  ScopedDocumentsFolder& operator=(const ScopedDocumentsFolder&) = delete;

 private:
  struct Saved {
    bool had = false;
    DWORD type = REG_SZ;
    std::wstring value;
  } user_, shell_;
};

void RegSetString(HKEY root, const std::string& path, const std::string& name, const std::string& value);
void RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void RegCreate(HKEY root, const std::string& path);
bool RegKeyExists(HKEY root, const std::string& path);
bool RegValueExists(HKEY root, const std::string& path, const std::string& name);
void RegDeleteTree(HKEY root, const std::string& path);
// The same in one view of the registry (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY).
void RegSetStringInView(HKEY root, const std::string& path, const std::string& name, const std::string& value,
                        REGSAM view);
bool RegValueExistsInView(HKEY root, const std::string& path, const std::string& name, REGSAM view);
void RegDeleteTreeInView(HKEY root, const std::string& path, REGSAM view);
// The current user's SID as text ("S-1-5-21-..."), read from the process token.
std::string CurrentUserSid();

}  // namespace qvtest
