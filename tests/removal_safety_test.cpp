// Removal safety in a hostile prefix: links inside the recycle bin, the temporary folder and the
// folders of a custom list; names that the system trims to reach a neighbour; the documents
// folder, the profile and a drive root in every spelling; every protected folder named whole;
// host and device paths. Around every Clean the test takes a hash of every file of the C: drive
// (and of the documents folder, which the prefix keeps on the host) and of every registry value
// under HKEY_CURRENT_USER\Software and HKEY_LOCAL_MACHINE\Software: only the traces the fixture
// made for removal may change, and they must be gone. The links and look-alike names come from
// tests/fixtures/removal_safety_test.sh.
//
// Every Clean here follows a Test that found exactly what the fixture holds for removal (or, for
// a refused folder, nothing), so that a fault cannot reach beyond the fixture.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "base/PathHelpers.h"
#include "base/PathSpelling.h"
#include "base/Wow64.h"
#include "cleaners/Cleaners.h"
#include "cleaners/windows/WindowsCleaners.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
#include "engine/FolderGuard.h"
#include "engine/Winapp2Run.h"
#include "dialogs/CustomListModel.h"
#include "support/Process.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

using namespace qvtest;

namespace {

// ---------------------------------------------------------------------------------------------
// Spellings, read from the text alone

TEST(PathSpelling, FormsAndCanonicalText) {
  struct Case {
    const char* path;
    qv::TPathForm form;
    const char* text;
  } cases[] = {
      {"C:\\Windows", qv::pfDrive, "C:\\Windows\\"},
      {"c:/windows/", qv::pfDrive, "C:\\windows\\"},
      {"C:", qv::pfDrive, "C:\\"},
      {"C:\\Users\\me\\..\\..\\", qv::pfDrive, "C:\\"},
      {"C:\\..\\..\\Windows", qv::pfDrive, "C:\\Windows\\"},  // never above the root
      {"C:\\Windows\\.\\System32\\\\\\", qv::pfDrive, "C:\\Windows\\System32\\"},
      {"C:\\Windows.", qv::pfDrive, "C:\\Windows\\"},
      {"C:\\Windows. .\\Temp", qv::pfDrive, "C:\\Windows\\Temp\\"},
      {"C:\\Windows\\...", qv::pfDrive, "C:\\Windows\\"},
      {"\\\\?\\C:\\Users\\me\\Documents", qv::pfDrive, "C:\\Users\\me\\Documents\\"},
      {"\\\\.\\C:\\Users\\me\\Desktop\\", qv::pfDrive, "C:\\Users\\me\\Desktop\\"},
      {"\\??\\C:\\Windows", qv::pfDrive, "C:\\Windows\\"},
      {"//?/C:/Windows", qv::pfDrive, "C:\\Windows\\"},
      {"\\\\?\\C:\\", qv::pfDrive, "C:\\"},
      // Taken as written by the system: a trailing dot or space is part of the name, ".." is none.
      {"\\\\?\\C:\\Windows.", qv::pfDrive, "C:\\Windows.\\"},
      {"\\\\?\\C:\\Windows \\x", qv::pfDrive, "C:\\Windows \\x\\"},
      {"\\\\?\\C:\\Windows\\..\\x", qv::pfDevice, ""},
      {"\\\\.\\C:\\Windows.", qv::pfDrive, "C:\\Windows\\"},
      {"\\\\?\\UNC\\localhost\\C$\\Windows", qv::pfNetwork, "\\\\localhost\\C$\\Windows\\"},
      {"\\\\server\\share\\dir\\..\\..\\..", qv::pfNetwork, "\\\\server\\share\\"},
      {"//server/share", qv::pfNetwork, "\\\\server\\share\\"},
      // The device namespaces: the host's files under Wine, raw devices, volumes by name.
      {"\\\\?\\unix\\home\\user", qv::pfDevice, ""},
      {"\\\\?\\UNIX\\", qv::pfDevice, ""},
      {"//?/unix/etc", qv::pfDevice, ""},
      {"\\??\\unix\\etc", qv::pfDevice, ""},
      {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Windows", qv::pfDevice, ""},
      {"\\\\.\\PhysicalDrive0", qv::pfDevice, ""},
      {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\", qv::pfDevice, ""},
      {"\\\\.\\C:", qv::pfDevice, ""},  // the volume itself, not its root folder
      {"\\\\?\\UNC\\?\\C:\\", qv::pfDevice, ""},
      {"\\\\server", qv::pfDevice, ""},
      {"\\\\\\server\\share", qv::pfDevice, ""},
      // No folder name holds a stream or a wildcard.
      {"C:\\Users\\me\\Documents::$INDEX_ALLOCATION", qv::pfDevice, ""},
      {"C:\\Win*\\", qv::pfDevice, ""},
      // Relative to the current folder or drive.
      {"Temp\\Old", qv::pfRelative, ""},
      {"\\Windows", qv::pfRelative, ""},
      {"C:Windows", qv::pfRelative, ""},
      {"", qv::pfRelative, ""},
  };
  for (const auto& c : cases) {
    qv::TPathSpelling s = qv::ReadPathSpelling(c.path);
    EXPECT_EQ(s.Form, c.form) << c.path;
    EXPECT_EQ(s.Text(), c.text) << c.path;
  }
  EXPECT_TRUE(qv::ReadPathSpelling("\\\\?\\C:\\x").Prefixed);
  EXPECT_EQ(qv::ReadPathSpelling("\\\\?\\C:\\x.").OpenText(), "\\\\?\\C:\\x.\\");
  EXPECT_EQ(qv::ReadPathSpelling("\\\\?\\UNC\\srv\\sh\\x ").OpenText(), "\\\\?\\UNC\\srv\\sh\\x \\");
  EXPECT_EQ(qv::ReadPathSpelling("C:\\x.").OpenText(), "C:\\x\\");
  EXPECT_FALSE(qv::ReadPathSpelling("C:\\x").Prefixed);
}

TEST(PathSpelling, TrimmedNames) {
  for (const char* name : {"INFO2.", "desktop.ini ", ".", "..", "", "a. ."}) EXPECT_TRUE(qv::IsTrimmedName(name)) << name;
  for (const char* name : {"INFO2", "a.b", ".hidden", " lead"}) EXPECT_FALSE(qv::IsTrimmedName(name)) << name;
}

TEST(FolderIdentity, LocalServerInEverySpelling) {
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &size));
  for (const std::string& local :
       {std::string("localhost"), std::string("LocalHost."), std::string("127.0.0.1"), std::string("127.1"),
        std::string("127.200.0.3"), std::string("2130706433"), std::string("0x7f.0.0.1"), std::string("0177.0.0.1"),
        std::string("::1"), std::string("[::1]"), std::string("0:0:0:0:0:0:0:1"), std::string("::ffff:127.0.0.1"),
        std::string("0--1.ipv6-literal.net"), qv::Narrow(computer), qv::LowerCase(qv::Narrow(computer))})
    EXPECT_TRUE(qv::IsLocalServer(local)) << local;
  for (const char* remote : {"fileserver", "128.0.0.1", "10.0.0.1", "::2", "127.0.0.1.example.net", "1.2.3.4.5"})
    EXPECT_FALSE(qv::IsLocalServer(remote)) << remote;
}

// Shares of this machine stand for their folders; a share that cannot be resolved is refused.
// (Wine opens no network path, so only the text is compared here.)
TEST(FolderIdentity, SharesOfThisMachineAreTheirFolders) {
  const std::string windows = WindowsFolderPath();
  struct Case {
    const char* path;
    std::string text;
  } cases[] = {
      {"\\\\localhost\\C$\\windows", "C:\\windows\\"},
      {"\\\\?\\UNC\\127.0.0.1\\c$", "C:\\"},
      {"//LOCALHOST./C$/users/../", "C:\\"},
      {"\\\\localhost\\ADMIN$", windows},
  };
  for (const auto& c : cases) {
    qv::TFolderIdentity id;
    ASSERT_EQ(qv::IdentifyFolder(c.path, id), qv::fvFolder) << c.path;
    EXPECT_TRUE(qv::SameText(id.Text, c.text)) << c.path << " -> " << id.Text;
  }
  qv::TFolderIdentity id;
  EXPECT_EQ(qv::IdentifyFolder("\\\\localhost\\QvNoSuchShare\\x", id), qv::fvUnresolvedShare);
  EXPECT_EQ(qv::IdentifyFolder("\\\\?\\unix\\tmp", id), qv::fvDevicePath);
}

// ---------------------------------------------------------------------------------------------
// Hashes of the prefix

// Path (upper-cased) -> what is there: attributes, size, time and a hash of the content of a
// file; that it is a folder or a folder link. Registry values likewise, keyed "HKCU|key|value".
// Files over 1 MiB (the system's libraries) are hashed by their first and last 64 KiB: a removal,
// an overwrite (which writes the whole file and its time) or a truncation still shows.
using Snapshot = std::map<std::string, std::string>;

std::string HashFile(const std::string& path, uint64_t size) {
  // Through \\?\ so that a name ending in a dot is read as itself.
  HANDLE h = CreateFileW((L"\\\\?\\" + qv::Widen(path)).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "unreadable";
  uint64_t hash = 1469598103934665603ull;
  static std::vector<unsigned char> buffer(1 << 20);
  auto add = [&](DWORD want) {
    DWORD got = 0;
    while (want > 0 && ReadFile(h, buffer.data(), std::min<DWORD>(want, (DWORD)buffer.size()), &got, nullptr) && got > 0) {
      for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
      want -= got;
    }
  };
  const uint64_t kWhole = 1 << 20, kEnds = 64 << 10;
  if (size <= kWhole) {
    add((DWORD)size);
  } else {
    add((DWORD)kEnds);
    LARGE_INTEGER tail;
    tail.QuadPart = (LONGLONG)(size - kEnds);
    SetFilePointerEx(h, tail, nullptr, FILE_BEGIN);
    add((DWORD)kEnds);
  }
  CloseHandle(h);
  return std::to_string(hash);
}

void AddFolder(const std::string& dir, Snapshot& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((L"\\\\?\\" + qv::Widen(dir + "*")).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = qv::Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    const std::string full = dir + name;
    const std::string key = qv::UpperCase(full);
    const std::string attributes = std::to_string(fd.dwFileAttributes);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        out[key + "\\"] = "folder link " + attributes;
      } else {
        out[key + "\\"] = "folder " + attributes;
        AddFolder(full + "\\", out);
      }
      continue;
    }
    uint64_t size = ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    uint64_t time = ((uint64_t)fd.ftLastWriteTime.dwHighDateTime << 32) | fd.ftLastWriteTime.dwLowDateTime;
    out[key] = attributes + " " + std::to_string(size) + " " + std::to_string(time) + " " + HashFile(full, size);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

void AddKey(HKEY root, const std::string& rootName, const std::wstring& path, Snapshot& out) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  const std::string keyName = rootName + "|" + qv::UpperCase(qv::Narrow(path));
  out[keyName] = "key";
  DWORD maxName = 0, maxData = 0, maxSub = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSub, nullptr, nullptr, &maxName, &maxData, nullptr,
                   nullptr);
  std::wstring name(maxName + 2, L'\0');
  std::vector<BYTE> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = (DWORD)name.size(), dataLen = (DWORD)data.size(), type = 0;
    LONG r = RegEnumValueW(key, i, &name[0], &nameLen, nullptr, &type, data.data(), &dataLen);
    if (r != ERROR_SUCCESS) break;
    uint64_t hash = 1469598103934665603ull;
    for (DWORD b = 0; b < dataLen; ++b) hash = (hash ^ data[b]) * 1099511628211ull;
    out[keyName + "|" + qv::UpperCase(qv::Narrow(name.substr(0, nameLen)))] =
        std::to_string(type) + " " + std::to_string(hash);
  }
  std::vector<std::wstring> subkeys;
  std::wstring sub(maxSub + 2, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = (DWORD)sub.size();
    if (RegEnumKeyExW(key, i, &sub[0], &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(sub.substr(0, len));
  }
  RegCloseKey(key);
  for (const std::wstring& s : subkeys) {
    const std::wstring sub = path + L"\\" + s;
    // The system's COM and file-type registrations (two thirds of the machine's values under Wine,
    // and slow to read through its server) are left out; no list here names them.
    if (root == HKEY_LOCAL_MACHINE && qv::SameText(qv::Narrow(sub), "Software\\Classes")) continue;
    AddKey(root, rootName, sub, out);
  }
}

std::string ProfileFolder() { return qv::ExcludeTrailingBackslash(SpecialFolderPath(CSIDL_PROFILE)); }
std::string ExcludeTrailing(const std::string& path) { return qv::ExcludeTrailingBackslash(path); }

// The whole C: drive, links not entered, and the documents folder that the prefix keeps on the
// host behind a link; HKCU\Software and HKLM\Software but HKLM\Software\Classes.
Snapshot TakeSnapshot() {
  Snapshot s;
  AddFolder("C:\\", s);
  AddFolder(ProfileFolder() + "\\Documents\\", s);
  AddKey(HKEY_CURRENT_USER, "HKCU", L"Software", s);
  AddKey(HKEY_LOCAL_MACHINE, "HKLM", L"Software", s);
  return s;
}

std::string Key(const std::string& path) { return qv::UpperCase(path); }
std::string ValueKey(const std::string& key, const std::string& value) {
  return "HKCU|" + qv::UpperCase(key) + "|" + qv::UpperCase(value);
}

// The files the test itself writes beside the program between the hashes, and the state Wine
// keeps for every program it starts.
bool Ignored(const std::string& key) {
  return key == Key(qv::ExeFolder() + "Clist.dat") || key == Key(qv::ExeFolder() + "settings.ini") ||
         qv::StartsWith(key, "HKCU|SOFTWARE\\WINE\\TEMPORARY SYSTEM PARAMETERS");
}

// Everything in `before` is unchanged in `after`, except the targets (exact keys, or folders
// ending in "\" with all below them), which were there and must be gone; nothing appeared.
void ExpectOnlyTargetsGone(const Snapshot& before, const Snapshot& after, const std::vector<std::string>& targets) {
  auto isTarget = [&](const std::string& key) {
    for (const std::string& t : targets)
      if (key == t || (t.back() == '\\' && key.compare(0, t.size(), t) == 0)) return true;
    return false;
  };
  for (const std::string& t : targets) EXPECT_TRUE(before.count(t)) << "the fixture lacks the trace " << t;
  int reported = 0;
  auto report = [&](const std::string& what) {
    if (++reported <= 25) ADD_FAILURE() << what;
  };
  for (const auto& [key, value] : before) {
    if (Ignored(key)) continue;
    auto it = after.find(key);
    if (isTarget(key)) {
      if (it != after.end()) report("left behind: " + key);
    } else if (it == after.end()) {
      report("removed: " + key);
    } else if (it->second != value) {
      report("changed: " + key);
    }
  }
  for (const auto& [key, value] : after)
    if (!before.count(key) && !Ignored(key)) report("appeared: " + key);
  EXPECT_EQ(reported, 0) << "differences in all";
}

// A junction made with the platform's call, where it has one (Wine 8 answers
// ERROR_NOT_SUPPORTED; the fixture's host links stand in for junctions there).
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryW(qv::Widen(link).c_str(), nullptr)) return false;
  HANDLE h = CreateFileW(qv::Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  bool ok = false;
  if (h != INVALID_HANDLE_VALUE) {
    const std::wstring substitute = L"\\??\\" + qv::Widen(target);
    const WORD bytes = (WORD)(substitute.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(8 + 8 + bytes + 2 * sizeof(wchar_t), 0);
    auto put16 = [&](size_t at, WORD v) { memcpy(&buffer[at], &v, 2); };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&buffer[0], &tag, 4);
    put16(4, (WORD)(buffer.size() - 8));
    put16(8, 0);                    // substitute name offset
    put16(10, bytes);               // and length
    put16(12, (WORD)(bytes + 2));   // print name offset
    put16(14, 0);                   // and length
    memcpy(&buffer[16], substitute.data(), bytes);
    DWORD got = 0;
    ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD)buffer.size(), nullptr, 0, &got, nullptr);
    CloseHandle(h);
  }
  if (!ok) RemoveDirectoryW(qv::Widen(link).c_str());
  return ok;
}

// ---------------------------------------------------------------------------------------------
// The hostile scene

const std::string kBase = "C:\\qvhostile\\";

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCleanerSettings();
    ASSERT_TRUE(qv::DirectoryExists(kBase + "named\\mydocs")) << "the host-side fixture did not run";
    ASSERT_TRUE(qv::FileExists(kBase + "targets\\tree\\canary.txt"));
    MakeDirs(kBase + "My Documents");
    documents_ = std::make_unique<ScopedDocumentsFolder>(kBase + "My Documents");
    ASSERT_EQ(SpecialFolderPath(CSIDL_PERSONAL), kBase + "My Documents\\");
    // Canaries in the documents (the test's and the prefix's own) and at the drive root.
    for (const std::string& f : Canaries()) WriteTextFile(f, "canary " + f);
  }
  void TearDown() override {
    for (const std::string& f : Canaries()) DeleteFileW(qv::Widen(f).c_str());
    DeleteFileW(qv::Widen(qv::ExeFolder() + "Clist.dat").c_str());
    documents_.reset();
    qv::SetDriveTypeForTesting(nullptr);
    ResetCleanerSettings();
  }
  static std::vector<std::string> Canaries() {
    return {kBase + "My Documents\\letter.txt", ProfileFolder() + "\\Documents\\qv-hostile-canary.txt",
            "C:\\qv-hostile.qvcanary"};
  }

  CleanerResult RunItem(const std::string& item, int mode) {
    qv::TCleanerFn cleaner = nullptr;
    EXPECT_TRUE(qv::BuiltinCleaners().Find(item, cleaner)) << item;
    return cleaner ? RunCleaner(window_, mode, cleaner) : CleanerResult();
  }
  void WriteList(const std::vector<std::string>& entries) {
    std::string text = "[<New List>]\r\n";
    int file = 0, reg = 0;
    for (const std::string& e : entries)
      text += (e.compare(0, 5, "HKEY_") == 0 ? "DelRegValue" + std::to_string(++reg)
                                              : "DelFile" + std::to_string(++file)) +
              "=" + e + "\r\n";
    WriteTextFile(qv::ExeFolder() + "Clist.dat", text);
  }
  CleanerResult RunList(int mode) {
    return RunOnThread(window_, mode, [](qv::TCleanRun& run) {
      qv::RunDefinitionSection(run, "Clist.dat", "Custom Lists - <New List>");
    });
  }
  // The questions asked since the last call.
  std::vector<std::string> TakeQuestions() {
    std::vector<std::string> out;
    for (const auto& m : messages_.Messages) out.push_back(m.Text);
    messages_.Messages.clear();
    return out;
  }

  TestWindow window_;
  MessageRecorder messages_{IDNO};
  std::unique_ptr<ScopedDocumentsFolder> documents_;
};

// The fixture's bin (INFO2, desktop.ini, their look-alikes and the links) stands in C:\Recycled
// while the test runs. Windows calls cannot remove the links, so it goes back afterwards. (It is
// a folder holding links: Wine's MoveFile would move a link's target rather than the link.)
class BinInPlace {
 public:
  explicit BinInPlace(const std::string& source) : source_(source) {
    RemoveTree(kBin);
    moved_ = MoveFileW(qv::Widen(source_).c_str(), qv::Widen(kBin).c_str()) != 0;
  }
  ~BinInPlace() {
    if (moved_) MoveFileW(qv::Widen(kBin).c_str(), qv::Widen(source_).c_str());
  }
  bool Moved() const { return moved_; }
  static constexpr const char* kBin = "C:\\Recycled";

 private:
  std::string source_;
  bool moved_ = false;
};

// Links found while listing the bin are never entered (not the one to the canaries, the
// documents, the profile, the drive root or the Windows folder); the look-alikes "INFO2." and
// "desktop.ini " never take INFO2 and desktop.ini with them.
TEST_F(Hostile, RecycleBinNeverEntersLinksNorTakesLookAlikes) {
  BinInPlace bin(kBase + "bin");
  ASSERT_TRUE(bin.Moved());
  WriteFile("C:\\Recycled\\Dc1.txt", 1000);
  WriteFile("C:\\Recycled\\Dc2\\a.txt", 200);
  const Snapshot before = TakeSnapshot();

  CleanerResult test = RunItem("Windows - Empty Recycle Bin", qv::rmTest);
  // The two traces, and the file link that only a Clean can tell from a file (under Wine a host
  // link to a file lists as a plain file).
  ASSERT_EQ(test.Count, 3);
  ASSERT_EQ(test.Bytes, 1000u + 200u + 11u);
  CleanerResult clean = RunItem("Windows - Empty Recycle Bin", qv::rmClean);
  EXPECT_EQ(clean.Count, 2);
  EXPECT_EQ(clean.Bytes, 1200u);
  EXPECT_TRUE(TakeQuestions().empty());
  ExpectOnlyTargetsGone(before, TakeSnapshot(),
                        {Key("C:\\Recycled\\Dc1.txt"), Key("C:\\Recycled\\Dc2\\")});
}

// The temporary folder and the folders of a custom list: links inside them (and a junction where
// the platform makes one) are never entered, file links never followed, look-alikes left alone.
TEST_F(Hostile, TemporaryFilesAndCustomListsNeverFollowLinks) {
  const bool junctions = MakeJunction(kBase + "temp\\junction", kBase + "targets\\tree") &&
                         MakeJunction(kBase + "list\\junction", kBase + "targets\\tree");
  if (!junctions) std::printf("[   NOTE   ] no junctions on this platform: host links stand in for them\n");
  ScopedTempFolder tmp(kBase + "temp\\");
  WriteFile(kBase + "temp\\a.tmp", 100);
  WriteFile(kBase + "temp\\sub\\b.tmp", 200);
  WriteFile(kBase + "list\\a.txt", 300);
  WriteFile(kBase + "list\\sub\\b.txt", 400);
  WriteFile(kBase + "mask\\c.txt", 500);
  SandboxKey key("Hostile");
  RegSetString(HKEY_CURRENT_USER, key.Path(), "Trace", "x");
  RegSetString(HKEY_CURRENT_USER, key.Path(), "Keep", "x");
  WriteList({kBase + "list", kBase + "mask,*.*", "HKEY_CURRENT_USER\\" + key.Path() + ",Trace"});
  const Snapshot before = TakeSnapshot();

  // Each Test counts the traces and the file link (a Clean tells it from a file). The links of the
  // list's folder and the mask's folder lead to one file, which Wine lists as theirs: the Test
  // counts it once.
  CleanerResult tempTest = RunItem("Windows - Temporary Files", qv::rmTest);
  ASSERT_EQ(tempTest.Count, 2 + 1);
  CleanerResult listTest = RunList(qv::rmTest);
  ASSERT_EQ(listTest.Count, (2 + 1) + 1 + 1);

  CleanerResult tempClean = RunItem("Windows - Temporary Files", qv::rmClean);
  EXPECT_EQ(tempClean.Count, 2);
  EXPECT_EQ(tempClean.Bytes, 300u);
  CleanerResult listClean = RunList(qv::rmClean);
  EXPECT_EQ(listClean.Count, 2 + 1 + 1);
  EXPECT_EQ(listClean.Bytes, 1200u);
  EXPECT_TRUE(TakeQuestions().empty());
  ExpectOnlyTargetsGone(before, TakeSnapshot(),
                        {Key(kBase + "temp\\a.tmp"), Key(kBase + "temp\\sub\\"), Key(kBase + "list\\a.txt"),
                         Key(kBase + "list\\sub\\"), Key(kBase + "mask\\c.txt"), ValueKey(key.Path(), "Trace")});
}

std::string ShortForm(const std::string& path) {
  std::string s = qv::GetShortFileName(path);
  EXPECT_FALSE(s.empty()) << path;
  EXPECT_FALSE(qv::SameText(s, path)) << "no short name for " << path;
  return s;
}

// Every spelling of the documents folder and of a drive root meets its question, every spelling
// of the profile its refusal; answered No, nothing changes.
TEST_F(Hostile, NoSpellingBypassesTheQuestionsOrTheRefusals) {
  const std::string docs = kBase + "My Documents";
  const std::string docsText = docs + "\\";
  const std::string profile = ProfileFolder();
  const std::string profileText = profile + "\\";
  const std::string docsShort = ShortForm(docs);
  const std::vector<std::string> docSpellings = {
      // (A definition line splits off its mask after the first backslash, so "/" comes after it.)
      "\\\\?\\" + docs,  "\\\\.\\" + docs,   "\\??\\" + docs,          "C:\\qvhostile/My Documents/",
      docsShort,         docs + "\\..\\My Documents", docs + "\\\\\\", docs + ".",
      kBase + "named\\mydocs",  "\\\\localhost\\C$\\qvhostile\\My Documents",
      "\\\\127.0.0.1\\c$\\qvhostile\\My Documents"};
  const std::vector<std::string> profileSpellings = {
      "\\\\?\\" + profile, "\\\\.\\" + profile, "\\??\\" + profile,
      "C:/users/" + profile.substr(profile.rfind('\\') + 1), profile + "\\AppData\\..", profile + "\\\\\\",
      qv::UpperCase(profile) + ".", kBase + "named\\profile", kBase + "bin\\profilelink",
      "\\\\localhost\\C$" + profile.substr(2)};
  // The drive root with a mask of the root's canary only, so that a missed question cannot do harm.
  const std::vector<std::string> rootSpellings = {"\\\\?\\C:\\",     "\\\\.\\C:\\", "\\??\\C:\\",
                                                  "C:\\/",          "C:\\qvhostile\\..",
                                                  "C:\\\\\\",        kBase + "named\\root",
                                                  ShortForm(kBase + "My Documents") + "\\..\\..",
                                                  "\\\\localhost\\C$\\"};
  const Snapshot before = TakeSnapshot();

  struct Expectation {
    std::string entry;
    int testCount;
    std::string question;  // in the Clean; empty: none
    std::string refusal;   // in both runs; empty: none
  };
  std::vector<Expectation> expected;
  for (const std::string& s : docSpellings) {
    // Wine opens no network path: there such a spelling names nothing, and nothing happens.
    const bool reachable = qv::DirectoryExists(s);
    expected.push_back({s, reachable ? 1 : 0,
                        reachable ? "Do you want to delete all files and folders under " + docsText + "?" : "", ""});
    expected.push_back({s + ",*.txt", reachable ? 1 : 0,
                        reachable ? "Do you want to delete the files on " + docsText + "?" : "", ""});
  }
  for (const std::string& s : profileSpellings)
    expected.push_back(
        {s, 0, "", qv::DirectoryExists(s) ? "refusing to empty the protected folder " + profileText : ""});
  for (const std::string& s : rootSpellings) {
    const bool reachable = qv::DirectoryExists(s);
    expected.push_back({s + ",*.qvcanary", reachable ? 1 : 0,
                        reachable ? std::string("Do you want to delete all files and folders under C:\\?") : "", ""});
  }

  for (const Expectation& e : expected) {
    SCOPED_TRACE(e.entry);
    WriteList({e.entry});
    CleanerResult test = RunList(qv::rmTest);
    ASSERT_EQ(test.Count, e.testCount);
    EXPECT_TRUE(TakeQuestions().empty()) << "a Test asks nothing";
    CleanerResult clean = RunList(qv::rmClean);
    EXPECT_EQ(clean.Count, 0);
    EXPECT_EQ(TakeQuestions(), e.question.empty() ? std::vector<std::string>{} : std::vector<std::string>{e.question});
    for (const auto& [result, prefix] : {std::make_pair(&test, "Test: "), std::make_pair(&clean, "Clean: ")}) {
      if (e.refusal.empty()) {
        EXPECT_EQ(CountLinesStartingWith(result->Lines, std::string(prefix) + "refusing"), 0);
      } else {
        EXPECT_EQ(result->Lines, std::vector<std::string>{prefix + e.refusal});
      }
    }
  }
  ExpectOnlyTargetsGone(before, TakeSnapshot(), {});
}

// Every protected folder named whole, or with a mask that takes every file, is refused with a log
// line and nothing removed, in a Test as in a Clean; a narrower mask in one and a subfolder of one
// stay allowed.
TEST_F(Hostile, ProtectedFoldersAreRefusedWhole) {
  const std::string profile = ProfileFolder();
  std::vector<std::string> whole;
  for (const std::string& p : qv::ProtectedFolderPaths()) {
    if (!qv::DirectoryExists(p)) continue;
    whole.push_back(qv::ExcludeTrailingBackslash(p));
  }
  // The places of the report, in the spellings that emptied them, and links to them. The prefix's
  // own documents folder is its desktop (one host folder), so it and its short name DOCU~... name
  // the desktop too.
  for (const std::string& p : {"\\\\.\\" + profile + "\\Desktop", "\\\\?\\" + profile + "\\AppData\\Roaming",
                               WindowsFolderPath() + ".\\", profile + "\\Documents", ShortForm(profile + "\\Documents"),
                               kBase + "named\\windows", kBase + "named\\desktop",
                               kBase + "named\\profile\\AppData\\Local"})
    whole.push_back(p);
  for (const char* macro : {"%windir%", "%ProgramFiles%", "{Local AppData}", "{Current AppData}", "{Common AppData}"})
    whole.push_back(macro);
  std::vector<std::string> entries;
  for (const std::string& p : whole) {
    entries.push_back(p);
    entries.push_back(p + (p.back() == '\\' ? "" : "\\") + ",*.*");
  }
  // %ProgramFiles% stands for each Program Files folder (two on 64-bit Windows).
  const size_t refusals = entries.size() + 2 * (qv::ProgramFilesFolders().size() - 1);
  // Allowed: a narrower mask in the Windows folder, a folder inside AppData.
  const std::string windowsTrace = WindowsFolderPath() + "qv-hostile.qvhostile";
  const std::string appTrace = SpecialFolderPath(CSIDL_APPDATA) + "QvHostileApp\\";
  WriteFile(windowsTrace, 10);
  WriteFile(appTrace + "log.txt", 20);
  entries.push_back("%windir%\\,*.qvhostile");
  entries.push_back("{Current AppData}\\QvHostileApp");
  WriteList(entries);
  const Snapshot before = TakeSnapshot();

  // The refusals are log lines of their own, which FastScan does not hide.
  qv::OptionsSetting.FastScan = true;
  CleanerResult test = RunList(qv::rmTest);
  ASSERT_EQ(test.Count, 2);
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: refusing to empty the protected folder "), (int)refusals);
  CleanerResult clean = RunList(qv::rmClean);
  EXPECT_EQ(clean.Count, 2);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: refusing to empty the protected folder "), (int)refusals);
  // The Windows folder as the system names it, as %windir%, spelled with "\.\", and through a link.
  EXPECT_EQ(std::count(clean.Lines.begin(), clean.Lines.end(),
                       "Clean: refusing to empty the protected folder " + WindowsFolderPath()),
            4 * 2);
  EXPECT_TRUE(TakeQuestions().empty());
  ExpectOnlyTargetsGone(before, TakeSnapshot(), {Key(windowsTrace), Key(appTrace)});
}

// The unix path of a folder of the prefix, as Wine reaches it through \\?\unix\; empty elsewhere.
std::string UnixSpelling(const std::string& folder) {
  using UnixNameFn = char*(CDECL*)(LPCWSTR);
  auto unixName =
      reinterpret_cast<UnixNameFn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!unixName) return std::string();
  char* name = unixName(qv::Widen(folder).c_str());
  if (!name) return std::string();
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  for (char& c : path)
    if (c == '/') c = '\\';
  return "\\\\?\\unix" + path;
}

// Host and device paths are refused outright by every primitive and in a custom list. The host
// path aimed at is the fixture's own canary inside the prefix, harmless even if it were followed.
TEST_F(Hostile, HostAndDevicePathsAreRefused) {
  const std::string unix = UnixSpelling(kBase + "unixcanary");
  std::vector<std::string> paths = {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\qvhostile",
                                    "\\\\.\\GLOBALROOT\\Device\\HarddiskVolume1\\qvhostile"};
  if (!unix.empty()) {
    // The host path really reaches the canary.
    ASSERT_TRUE(qv::FileExists(unix + "\\canary.txt")) << unix;
    paths.push_back(unix);
    std::string slashed = unix;
    for (char& c : slashed)
      if (c == '\\') c = '/';
    paths.push_back(slashed);
    paths.push_back("\\??\\" + unix.substr(4));
  } else {
    std::printf("[   NOTE   ] not under Wine: no \\\\?\\unix\\ path to aim at\n");
  }
  std::vector<std::string> entries;
  for (const std::string& p : paths) {
    entries.push_back(p);
    entries.push_back(p + "\\,*.*");
  }
  WriteList(entries);
  const Snapshot before = TakeSnapshot();

  for (int mode : {qv::rmTest, qv::rmClean}) {
    SCOPED_TRACE(mode);
    const std::string prefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    CleanerResult list = RunList(mode);
    ASSERT_EQ(list.Count, 0);
    EXPECT_EQ(CountLinesStartingWith(list.Lines, prefix + "refusing the device path "), (int)entries.size());
    CleanerResult direct = RunOnThread(window_, mode, [&](qv::TCleanRun& run) {
      for (const std::string& p : paths) {
        EXPECT_EQ(qv::DeleteFolderTree(run, p, true, true, "", run.ItemCount), 0u);
        EXPECT_EQ(qv::DeleteFilesByMask(run, p, "*.*", run.ItemCount, true), 0u);
        EXPECT_FALSE(qv::DeleteOneFile(run, p + "\\canary.txt", true));
      }
    });
    EXPECT_EQ(direct.Count, 0);
    ASSERT_EQ(direct.Lines.size(), 3 * paths.size());
    EXPECT_EQ(direct.Lines[0], prefix + "refusing the device path " + paths[0]);
    EXPECT_EQ(direct.Lines[2], prefix + "refusing the device path " + paths[0] + "\\canary.txt");
  }
  EXPECT_TRUE(TakeQuestions().empty());
  EXPECT_EQ(ReadTextFile(kBase + "unixcanary\\canary.txt"), "unix canary");
  ExpectOnlyTargetsGone(before, TakeSnapshot(), {});
}

// The Temporary Files cleaner never empties a folder that is, or holds, the profile, the Windows
// folder or the documents, however the temporary folder is spelled: with the \\?\ prefix, a
// short name, a trailing dot, "/" separators or through a link.
TEST_F(Hostile, TemporaryFolderIsComparedByIdentity) {
  const std::string docs = kBase + "My Documents";
  WriteFile(docs + "\\QvTempIdentity\\letter.tmp", 10);
  const std::vector<std::string> spellings = {
      "\\\\?\\" + ExcludeTrailing(kBase), ShortForm(kBase + "My Documents") + "\\..", kBase + ".",
      "C:/qvhostile/", "\\\\?\\" + docs, kBase + "named\\mydocs", ProfileFolder() + "\\..\\"};
  const Snapshot before = TakeSnapshot();
  for (const std::string& temp : spellings) {
    SCOPED_TRACE(temp);
    ScopedTempFolder tmp(temp);
    for (int mode : {qv::rmTest, qv::rmClean}) {
      CleanerResult r = RunItem("Windows - Temporary Files", mode);
      EXPECT_EQ(r.Count, 0);
      EXPECT_EQ(CountLinesStartingWith(r.Lines, std::string(mode == qv::rmTest ? "Test: " : "Clean: ") +
                                                    "refusing the temporary folder "),
                1);
    }
  }
  EXPECT_TRUE(TakeQuestions().empty());
  ExpectOnlyTargetsGone(before, TakeSnapshot(), {});
  DeleteFileW(qv::Widen(docs + "\\QvTempIdentity\\letter.tmp").c_str());
  RemoveDirectoryW(qv::Widen(docs + "\\QvTempIdentity").c_str());
}

// A winapp2.ini exclusion keeps its folder in whatever spelling it names it: through a link, with
// "..", with a trailing dot. A line that is no exclusion of that folder keeps nothing.
TEST_F(Hostile, ExclusionsAreComparedByIdentity) {
  const std::string tree = kBase + "targets\\tree\\";
  const std::string deeper = tree + "deeper";
  struct Case {
    std::string exclude;
    bool keeps;
  } cases[] = {
      {"PATH|" + kBase + "mask\\dirlink\\deeper", true},  // through a link to targets\tree
      {"PATH|" + tree + "x\\..\\deeper", true},
      {"PATH|" + deeper + ".", true},
      {"FILE|" + kBase + "list\\dirlink\\deeper|*.qvx", true},
      {"PATH|" + tree + "deep", false},           // a text that begins the same is no folder of it
  };
  const std::string file = kBase + "winapp2-identity.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exclude);
    WriteFile(tree + "t1.qvx", 10);
    WriteFile(deeper + "\\t2.qvx", 20);
    WriteTextFile(file, "[Qv Identity]\r\nFileKey1=" + tree + "|*.qvx|RECURSE\r\nExcludeKey1=" + c.exclude + "\r\n");
    CleanerResult clean = RunOnThread(window_, qv::rmClean, [&file](qv::TCleanRun& run) {
      qv::RunWinapp2Section(run, file, "Applications - Qv Identity");
    });
    EXPECT_FALSE(qv::FileExists(tree + "t1.qvx")) << (clean.Lines.empty() ? "" : clean.Lines[0]);
    EXPECT_EQ(qv::FileExists(deeper + "\\t2.qvx"), c.keeps);
    EXPECT_EQ(qv::FileExists(kBase + "list\\dirlink\\deeper\\t2.qvx"), c.keeps) << "seen through the link";
    DeleteFileW(qv::Widen(tree + "t1.qvx").c_str());
    DeleteFileW(qv::Widen(deeper + "\\t2.qvx").c_str());
  }
  DeleteFileW(qv::Widen(file).c_str());
  EXPECT_EQ(ReadTextFile(tree + "canary.txt"), "canary");
}

// A path names exactly one folder. Spelled with \\?\, a name that ends in a dot or a space is that
// folder and not its neighbour without them; spelled plainly, the system trims it, and the walk
// reaches the folder the system reaches, saying so by its name. A folder with a comma in its name
// is written in quotes and is never split into a folder and a mask.
TEST_F(Hostile, NamesAreTakenAsWritten) {
  const std::string base = kBase + "names\\";
  const std::string dotted = "\\\\?\\" + base + "dir.", spaced = "\\\\?\\" + base + "dir ";
  // Wine's resolved path of a folder drops a trailing space of its name (not of the names inside
  // it): there the walk cannot tell that folder's files for its own and leaves them, saying so.
  const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  struct Case {
    std::string entry;
    std::vector<std::string> gone;  // below base
  } cases[] = {
      {dotted + ",*.txt", {"dir.\\d.txt"}},
      {spaced + ",*.txt", underWine ? std::vector<std::string>{} : std::vector<std::string>{"dir \\s.txt"}},
      {base + "dir.,*.txt", {"dir\\n.txt"}},
      {qv::QuoteEntryPart(base + "logs,old") + ",*.txt", {"logs,old\\x.txt"}},
      {qv::QuoteEntryPart(base + "logs,old"), {"logs,old\\x.txt", "logs,old\\"}},
      // The old form splits at the first comma: the neighbour named by the rest is a mask there.
      {base + "logs,old,*.txt", {"logs\\old,a.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    RemoveTree(base);
    const std::vector<std::string> all = {"dir.\\d.txt", "dir \\s.txt", "dir\\n.txt", "logs,old\\x.txt", "logs\\old,a.txt"};
    for (const std::string& f : all) {
      const std::string folder = "\\\\?\\" + base + f.substr(0, f.find('\\'));
      CreateDirectoryW(qv::Widen("\\\\?\\" + base).c_str(), nullptr);
      CreateDirectoryW(qv::Widen(folder).c_str(), nullptr);
      WriteTextFile("\\\\?\\" + base + f, "trace");
    }
    Snapshot before;
    AddFolder(base, before);
    // Written as the list editor writes its rows.
    std::string list = "[<New List>]\r\n";
    for (const qv::TClistLine& line : qv::NumberCustomListRows({c.entry})) list += line.Key + "=" + line.Value + "\r\n";
    WriteTextFile(qv::ExeFolder() + "Clist.dat", list);
    CleanerResult test = RunList(qv::rmTest);
    CleanerResult clean = RunList(qv::rmClean);
    std::string said;
    for (const std::string& line : clean.Lines) said += line + "\n";
    if (!(underWine && c.entry == spaced + ",*.txt")) {
      EXPECT_EQ(test.Count, clean.Count) << said;
    }
    EXPECT_EQ(clean.Count, (int)std::count_if(c.gone.begin(), c.gone.end(),
                                              [](const std::string& g) { return g.back() != '\\'; }));
    std::vector<std::string> gone;
    for (const std::string& g : c.gone) gone.push_back(Key(base + g));
    Snapshot after;
    AddFolder(base, after);
    ExpectOnlyTargetsGone(before, after, gone);
  }
  // Every folder made here has a plain name or is reached with \\?\.
  for (const char* f : {"dir.\\d.txt", "dir \\s.txt"}) DeleteFileW(qv::Widen("\\\\?\\" + base + f).c_str());
  for (const char* d : {"dir.", "dir "}) RemoveDirectoryW(qv::Widen("\\\\?\\" + base + d).c_str());
  RemoveTree(base);
}

// The report's own case: one custom list, run by the program with "-cleanonce", aimed at the
// documents, the Desktop, AppData and the Windows folder in the spellings that emptied them, and
// at the host. It removes its one trace and nothing else, and asks nothing (it would hang here).
TEST_F(Hostile, CleanOnceWithAHostileListRemovesOnlyItsTrace) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe));
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  const std::string profile = ProfileFolder();
  const std::string trace = kBase + "trace\\";
  WriteFile(trace + "t.txt", 10);
  std::vector<std::string> entries = {
      "\\\\?\\" + profile + "\\Documents", "\\\\.\\" + profile + "\\Desktop", profile + "\\AppData\\Roaming",
      "\\\\?\\" + qv::ExcludeTrailingBackslash(WindowsFolderPath()), "C:/users/../windows/system32", trace};
  const std::string unix = UnixSpelling(kBase + "unixcanary");
  if (!unix.empty()) entries.push_back(unix);
  WriteList(entries);
  // The program cleans only what a Test here finds: the one trace.
  ASSERT_EQ(RunList(qv::rmTest).Count, 1);

  const std::string ini = qv::ExeFolder() + "settings.ini";
  DeleteFileW(qv::Widen(ini).c_str());
  qv::IniWriteString(ini, "Settings", "AskForSweep", "1");
  qv::IniWriteString(ini, "NodeSelected", "SelectedCount", "2");
  qv::IniWriteString(ini, "NodeSelected", "1", "Custom Lists");
  qv::IniWriteString(ini, "NodeSelected", "2", "Custom Lists - <New List>");
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, qv::Widen(ini).c_str());
  const Snapshot before = TakeSnapshot();

  // What the list named and the program refused stayed, and the exit code says so.
  EXPECT_EQ(RunProgram(exe, "-cleanonce", 120000), 9);
  ExpectOnlyTargetsGone(before, TakeSnapshot(), {Key(trace)});
  DeleteFileW(qv::Widen(ini).c_str());
}

}  // namespace
