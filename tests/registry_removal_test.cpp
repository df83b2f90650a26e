// Registry removal on the real registry of the test prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <functional>
#include <memory>

#include "base/Global.h"
#include "base/Settings.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"
#include "engine/KeyIdentity.h"
#include "engine/RegistryRemoval.h"
#include "support/RecordingHost.h"
#include "support/Sandbox.h"

using namespace qvtest;

namespace {

struct Worker {
  explicit Worker(int mode) : host(std::make_shared<RecordingHost>(mode)), run(host) {
    run.LogPrefix = mode == qv::rmTest ? "Test: " : "Clean: ";
  }
  std::shared_ptr<RecordingHost> host;
  qv::TCleanRun run;
};

class RegistryRemoval : public ::testing::Test {
 protected:
  void SetUp() override { qv::OptionsSetting = qv::TOptionsSetting(); }
  void TearDown() override { qv::OptionsSetting = qv::TOptionsSetting(); }
};

// Software\QuorvaneTest\<name>\A with values v1, v2 and a subkey B with values w1..w3.
void MakeA(const SandboxKey& key) {
  const std::string a = key.Path() + "\\A";
  RegSetString(key.Root(), a, "v1", "one");
  RegSetDword(key.Root(), a, "v2", 2);
  for (const char* w : {"w1", "w2", "w3"}) RegSetString(key.Root(), a + "\\B", w, "x");
}

std::vector<std::string> WithoutPrefix(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& l : lines) out.push_back(l.substr(l.find(':') + 2));
  return out;
}

}  // namespace

TEST(RootKeyNames, ParseAndName) {
  struct Case {
    std::string text;
    HKEY root;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
      {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"hkey_current_user", HKEY_CURRENT_USER},
      {"HKCU", nullptr}, {"", nullptr}, {" HKEY_USERS", nullptr}, {"HKEY_CURRENT_USER\\", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qv::ParseRootKeyName(c.text), c.root) << c.text;
    if (c.root) {
      EXPECT_EQ(qv::RootKeyName(c.root), qv::UpperCase(c.text));
    }
  }
  EXPECT_EQ(qv::RootKeyName(HKEY_PERFORMANCE_DATA), "");
}

TEST_F(RegistryRemoval, CountValuesOfAKeyAndEverythingBelow) {
  SandboxKey key("count");
  MakeA(key);
  RegSetString(key.Root(), key.Path() + "\\A\\B\\C\\D", "deep", "x");
  RegCreate(key.Root(), key.Path() + "\\Empty");
  struct Case {
    std::string path;
    int count;
  } cases[] = {{"\\A", 6}, {"\\A\\B", 4}, {"\\A\\B\\C", 1}, {"\\Empty", 0}, {"\\Missing", 0}, {"", 6}};
  for (const Case& c : cases) EXPECT_EQ(qv::CountRegistryValues(key.Root(), key.Path() + c.path), c.count) << c.path;
}

// Every operation, run first as a Test (nothing changes, and it counts and logs what the Clean
// will) and then as a Clean.
TEST_F(RegistryRemoval, TestCountsWhatCleanRemoves) {
  SandboxKey key("ops");
  const HKEY hkcu = HKEY_CURRENT_USER;
  const std::string a = key.Path() + "\\A";
  using Op = std::function<int(qv::TCleanRun&)>;
  struct Case {
    const char* name;
    Op op;
    int count;
    std::vector<std::string> lines;
    bool aStays, bStays;
  } cases[] = {
      {"key tree, root text in lower case", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, "hkey_current_user", a); },
       5, {"deleting registry key HKEY_CURRENT_USER\\" + a}, false, false},
      {"key tree under HKCU", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTreeHKCU(t, a); }, 5,
       {"deleting registry key HKEY_CURRENT_USER\\" + a}, false, false},
      {"all values and subkeys", [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", a, ""); },
       5,
       {"deleting registry value HKEY_CURRENT_USER\\" + a + "\\v1", "deleting registry value HKEY_CURRENT_USER\\" + a + "\\v2",
        "deleting registry key HKEY_CURRENT_USER\\" + a + "\\B"},
       true, false},
      {"all values and subkeys by root", [&](qv::TCleanRun& t) { return qv::DeleteRegistryValuesByRoot(t, hkcu, a, ""); },
       5,
       {"deleting registry value HKEY_CURRENT_USER\\" + a + "\\v1", "deleting registry value HKEY_CURRENT_USER\\" + a + "\\v2",
        "deleting registry key HKEY_CURRENT_USER\\" + a + "\\B"},
       true, false},
      {"one value", [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", a, "v2"); }, 1,
       {"deleting registry value HKEY_CURRENT_USER\\" + a + "\\v2"}, true, true},
      {"a missing value", [&](qv::TCleanRun& t) { return qv::DeleteRegistryValuesByRoot(t, hkcu, a, "nope"); }, 0, {},
       true, true},
      {"a missing key", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, "HKEY_CURRENT_USER", a + "\\Nope"); },
       0, {}, true, true},
      {"an abbreviated root", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, "HKCU", a); }, 0, {}, true, true},
      {"an abbreviated root for values", [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKCU", a, ""); }, 0, {},
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeA(key);
    for (int mode : {qv::rmTest, qv::rmClean}) {
      Worker run(mode);
      EXPECT_EQ(c.op(run.run), c.count);
      EXPECT_EQ(WithoutPrefix(run.host->Lines), c.lines);
      if (mode == qv::rmTest) {
        EXPECT_EQ(qv::CountRegistryValues(hkcu, a), 5) << "a Test changes nothing";
        EXPECT_TRUE(RegKeyExists(hkcu, a + "\\B"));
      }
    }
    EXPECT_EQ(RegKeyExists(hkcu, a), c.aStays);
    EXPECT_EQ(RegKeyExists(hkcu, a + "\\B"), c.bStays);
    if (c.aStays && !c.bStays) {
      EXPECT_EQ(qv::CountRegistryValues(hkcu, a), 0) << "the key stays, empty";
    }
    RegDeleteTree(hkcu, a);
  }
}

TEST_F(RegistryRemoval, EmptyKeyCountsOneAndFastScanOnlyHidesLines) {
  SandboxKey key("empty");
  const std::string e = key.Path() + "\\E";
  RegCreate(HKEY_CURRENT_USER, e);
  qv::OptionsSetting.FastScan = true;
  Worker test(qv::rmTest);
  EXPECT_EQ(qv::DeleteRegistryKeyTree(test.run, "HKEY_CURRENT_USER", e), 1);
  MakeA(key);
  EXPECT_EQ(qv::DeleteRegistryValues(test.run, "HKEY_CURRENT_USER", key.Path() + "\\A", ""), 5);
  EXPECT_TRUE(test.host->Lines.empty());
  Worker clean(qv::rmClean);
  EXPECT_EQ(qv::DeleteRegistryKeyTreeHKCU(clean.run, e), 1);
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, e));
  EXPECT_TRUE(clean.host->Lines.empty());
}

// A key path that names the root itself would empty a whole hive: nothing is done (checked as a
// Test, which would count the whole hive if it were accepted).
TEST_F(RegistryRemoval, RootItselfIsNeverTaken) {
  Worker test(qv::rmTest);
  for (const std::string& path : {std::string(), std::string("\\"), std::string("\\\\")}) {
    EXPECT_EQ(qv::DeleteRegistryKeyTree(test.run, "HKEY_CURRENT_USER", path), 0);
    EXPECT_EQ(qv::DeleteRegistryKeyTreeHKCU(test.run, path), 0);
    EXPECT_EQ(qv::DeleteRegistryValues(test.run, "HKEY_CURRENT_USER", path, ""), 0);
    EXPECT_EQ(qv::DeleteRegistryValuesByRoot(test.run, HKEY_CURRENT_USER, path, ""), 0);
  }
  EXPECT_TRUE(test.host->Lines.empty());
}

// The subkeys of a key emptied by root are removed under that root, not under HKEY_CURRENT_USER.
TEST_F(RegistryRemoval, ValuesByRootKeepsToItsRoot) {
  SandboxKey machine("byroot", HKEY_LOCAL_MACHINE);
  SandboxKey user("byroot");
  ASSERT_EQ(machine.Path(), user.Path());
  RegSetString(HKEY_LOCAL_MACHINE, machine.Path() + "\\Sub", "m", "x");
  RegSetString(HKEY_CURRENT_USER, user.Path() + "\\Sub", "u", "x");
  Worker clean(qv::rmClean);
  EXPECT_EQ(qv::DeleteRegistryValuesByRoot(clean.run, HKEY_LOCAL_MACHINE, machine.Path(), ""), 1);
  // A 32-bit program on 64-bit Windows wrote its key into the 32-bit view, which the log marks.
  const std::string view = qv::IsWow64() ? " (32-bit)" : "";
  EXPECT_EQ(clean.host->Lines,
            std::vector<std::string>{"Clean: deleting registry key HKEY_LOCAL_MACHINE\\" + machine.Path() + "\\Sub" + view});
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, machine.Path() + "\\Sub"));
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, user.Path() + "\\Sub", "u"));
}

// ---------------------------------------------------------------------------------------------
// One identity for every spelling of a key

namespace {

// A key written under one root in one view of the registry.
struct Spelling {
  HKEY root;
  std::string path;
  REGSAM view;
};

std::string Identity(const Spelling& s) { return qv::Narrow(qv::KeyIdentity(s.root, s.path, s.view)); }

}  // namespace

// Each group spells one key in every way a line can: all of them give one identity, which is the
// kernel's name of the key (where the test can write it out independently); neighbours differ.
TEST(KeyIdentity, EverySpellingOfAKeyIsOneKey) {
  SandboxKey box("identity");
  const std::string k = box.Path() + "\\Key One";
  RegCreate(HKEY_CURRENT_USER, k);
  const std::string sid = CurrentUserSid();
  ASSERT_FALSE(sid.empty());
  const std::string user = "\\REGISTRY\\USER\\" + qv::UpperCase(sid) + "\\";
  const std::string one = user + qv::UpperCase(k);
  const HKEY hkcu = HKEY_CURRENT_USER, hku = HKEY_USERS, hklm = HKEY_LOCAL_MACHINE;
  // The classes and the current hardware profile seen through their own roots and through the
  // machine's keys, in this program's own view.
  RegCreate(HKEY_CLASSES_ROOT, "QvTestIdentityClass\\Sub");
  RegCreate(HKEY_CURRENT_CONFIG, "Software\\QvTestIdentity");
  // A key of the 32-bit view, which 64-bit Windows keeps under Wow6432Node.
  const bool wide = qv::Is64BitWindows();
  if (wide) RegSetStringInView(hklm, "Software\\QuorvaneTest\\identity\\Wow", "v", "x", KEY_WOW64_32KEY);
  const std::string wow = "\\REGISTRY\\MACHINE\\SOFTWARE\\WOW6432NODE\\QUORVANETEST\\IDENTITY\\WOW";

  struct Group {
    const char* what;
    std::string expected;  // empty: the spellings only agree with each other
    std::vector<Spelling> spellings;
  };
  std::vector<Group> groups = {
      {"the current user's key",
       one,
       {{hkcu, k, 0},
        {hkcu, qv::LowerCase(k), 0},
        {hkcu, k + "\\", 0},
        {hkcu, k, KEY_WOW64_32KEY},
        {hkcu, k, KEY_WOW64_64KEY},
        {hku, sid + "\\" + k, 0},
        {hku, qv::LowerCase(sid + "\\" + k) + "\\", KEY_WOW64_32KEY}}},
      {"a key named before it exists",
       one + "\\NOT YET\\DEEPER",
       {{hkcu, k + "\\Not Yet\\Deeper", 0}, {hku, sid + "\\" + qv::LowerCase(k) + "\\not yet\\DEEPER\\", 0}}},
      {"a neighbour whose name starts alike", one + "X", {{hkcu, k + "x", 0}}},
      {"the classes",
       "",
       {{HKEY_CLASSES_ROOT, "QvTestIdentityClass\\Sub", 0},
        {hklm, "Software\\Classes\\qvtestidentityclass\\sub", 0},
        {HKEY_CLASSES_ROOT, "QVTESTIDENTITYCLASS\\SUB\\", 0}}},
      {"the current hardware profile",
       "",
       {{HKEY_CURRENT_CONFIG, "Software\\QvTestIdentity", 0},
        {hklm, "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\QvTestIdentity", 0}}},
  };
  if (wide) {
    groups.push_back({"a key of the 32-bit view and its Wow6432Node path",
                      wow,
                      {{hklm, "Software\\QuorvaneTest\\identity\\Wow", KEY_WOW64_32KEY},
                       {hklm, "Software\\Wow6432Node\\QuorvaneTest\\identity\\Wow", KEY_WOW64_64KEY},
                       {hklm, "SOFTWARE\\wow6432node\\quorvanetest\\IDENTITY\\wow\\", KEY_WOW64_64KEY}}});
    groups.push_back({"a missing key below it",
                      wow + "\\MISSING",
                      {{hklm, "Software\\QuorvaneTest\\identity\\Wow\\Missing", KEY_WOW64_32KEY},
                       {hklm, "Software\\Wow6432Node\\QuorvaneTest\\identity\\Wow\\missing", KEY_WOW64_64KEY}}});
    groups.push_back({"the same path in the 64-bit view",
                      "\\REGISTRY\\MACHINE\\SOFTWARE\\QUORVANETEST\\IDENTITY\\WOW",
                      {{hklm, "Software\\QuorvaneTest\\identity\\Wow", KEY_WOW64_64KEY}}});
  }

  std::vector<std::string> ids;
  for (const Group& g : groups) {
    SCOPED_TRACE(g.what);
    const std::string first = Identity(g.spellings[0]);
    ASSERT_FALSE(first.empty());
    if (!g.expected.empty()) {
      EXPECT_EQ(first, g.expected);
    }
    for (const Spelling& s : g.spellings) EXPECT_EQ(Identity(s), first) << s.path << " in view " << s.view;
    for (const std::string& other : ids) EXPECT_NE(first, other);
    ids.push_back(first);
  }

  // A key named before it existed has the identity it gets once it exists.
  RegCreate(hkcu, k + "\\Not Yet\\Deeper");
  EXPECT_EQ(Identity({hkcu, k + "\\Not Yet\\Deeper", 0}), one + "\\NOT YET\\DEEPER");

  RegDeleteTree(HKEY_CLASSES_ROOT, "QvTestIdentityClass");
  RegDeleteTree(HKEY_CURRENT_CONFIG, "Software\\QvTestIdentity");
  if (wide) RegDeleteTreeInView(hklm, "Software\\QuorvaneTest\\identity", KEY_WOW64_32KEY);
}

// What a keep rule keeps, by identity: a kept key with everything below it, not a neighbour that
// starts alike; a kept value in its key only, by its name in any case.
TEST(KeyIdentity, KeepRulesCompareWholeSteps) {
  qv::TRegistryKeep keep;
  keep.KeepKeyIdentity(L"\\REGISTRY\\USER\\S\\APP\\KEY");
  keep.KeepValueIdentity(L"\\REGISTRY\\USER\\S\\APP\\VALUES", L"Last Path");
  struct Case {
    const wchar_t* key;
    const wchar_t* value;  // null: the key itself
    bool keeps, holds;
  } cases[] = {
      {L"\\REGISTRY\\USER\\S\\APP\\KEY", nullptr, true, false},
      {L"\\REGISTRY\\USER\\S\\APP\\KEY\\SUB", nullptr, true, false},
      {L"\\REGISTRY\\USER\\S\\APP\\KEYS", nullptr, false, false},
      {L"\\REGISTRY\\USER\\S\\APP\\KE", nullptr, false, false},
      {L"\\REGISTRY\\USER\\S\\APP", nullptr, false, true},
      {L"\\REGISTRY\\USER\\S", nullptr, false, true},
      {L"\\REGISTRY\\USER\\S\\APP\\VALUES", nullptr, false, true},
      {L"\\REGISTRY\\USER\\S\\APP\\VALUES", L"LAST PATH", true, false},
      {L"\\REGISTRY\\USER\\S\\APP\\VALUES", L"last path", true, false},
      {L"\\REGISTRY\\USER\\S\\APP\\VALUES", L"Last", false, false},
      {L"\\REGISTRY\\USER\\S\\APP\\VALUES\\SUB", L"Last Path", false, false},
      {L"\\REGISTRY\\USER\\S\\APP\\KEY\\SUB", L"anything", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qv::Narrow(c.key) + (c.value ? " | " + qv::Narrow(c.value) : std::string()));
    if (c.value) {
      EXPECT_EQ(keep.KeepsValue(c.key, c.value), c.keeps);
    } else {
      EXPECT_EQ(keep.KeepsKey(c.key), c.keeps);
      EXPECT_EQ(keep.HoldsKept(c.key), c.holds);
    }
  }

  // A rule given by text, for a key that does not exist yet, keeps the key once it exists.
  SandboxKey box("keeplater");
  qv::TRegistryKeep later;
  later.KeepKey(HKEY_CURRENT_USER, box.Path() + "\\Later\\Key");
  RegCreate(HKEY_CURRENT_USER, box.Path() + "\\Later\\Key\\Sub");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, qv::Widen(box.Path() + "\\Later\\Key\\Sub").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_TRUE(later.KeepsKey(qv::KernelKeyName(key)));
  RegCloseKey(key);
}

// ---------------------------------------------------------------------------------------------
// Results from what happened

namespace {

// Gives a key an access list for the life of the object, then everyone full access again so
// that the sandbox can be removed.
class ScopedAccessList {
 public:
  ScopedAccessList(HKEY root, const std::string& path, const wchar_t* sddl) : root_(root), path_(path) { Set(sddl); }
  ~ScopedAccessList() { Set(L"D:(A;;KA;;;WD)"); }
  ScopedAccessList(const ScopedAccessList&) = delete;
  ScopedAccessList& operator=(const ScopedAccessList&) = delete;

 private:
  void Set(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return;
    HKEY key;
    if (RegOpenKeyExW(root_, qv::Widen(path_).c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
      RegCloseKey(key);
    }
    LocalFree(sd);
  }
  HKEY root_;
  std::string path_;
};

// Everyone is refused deleting the key, or changing its values.
const wchar_t* const kDenyDelete = L"D:(D;;SD;;;WD)(A;;KA;;;WD)";
const wchar_t* const kDenySetValue = L"D:(D;;0x2;;;WD)(A;;KA;;;WD)";

bool Grants(HKEY root, const std::string& path, REGSAM access) {
  HKEY key;
  if (RegOpenKeyExW(root, qv::Widen(path).c_str(), 0, access, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

// Keys and values the registry refuses to remove: a key that denies its delete (with a subkey that
// may go), a key that denies changing its values. A Test says and counts what the Clean then
// does; only what went is counted and said as "deleting", each refusal has its line with the
// reason, and the run notes that something stayed.
TEST_F(RegistryRemoval, RefusalsAreSaidAndNotCounted) {
  SandboxKey key("refused");
  const HKEY hkcu = HKEY_CURRENT_USER;
  const std::string a = key.Path() + "\\A";
  const std::string r = "HKEY_CURRENT_USER\\" + a;
  using Op = std::function<int(qv::TCleanRun&)>;
  struct Case {
    const char* name;
    Op op;
    int count;
    std::vector<std::string> lines;
    std::vector<std::string> gone;  // "key" or "key|value", below A ("" is A)
  } cases[] = {
      {"a tree with a refused subkey",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, "HKEY_CURRENT_USER", a); },
       5,
       {"deleting registry key " + r + "\\Locked\\Inner", r + "\\Locked could not be removed (access denied)",
        "deleting registry key " + r + "\\Fixed", "deleting registry key " + r + "\\Free",
        r + " could not be removed (a subkey stayed)"},
       {"\\Fixed", "\\Free", "\\Locked\\Inner"}},
      {"every value and subkey",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", a, ""); },
       6,
       {"deleting registry value " + r + "\\v1", "deleting registry key " + r + "\\Fixed",
        "deleting registry key " + r + "\\Free", "deleting registry key " + r + "\\Locked\\Inner",
        r + "\\Locked could not be removed (access denied)"},
       {"|v1", "\\Fixed", "\\Free", "\\Locked\\Inner"}},
      {"a refused key alone",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTreeHKCU(t, a + "\\Locked"); },
       1,
       {"deleting registry key " + r + "\\Locked\\Inner", r + "\\Locked could not be removed (access denied)"},
       {"\\Locked\\Inner"}},
      {"a value its key refuses to change",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", a + "\\Fixed", "s1"); },
       0,
       {r + "\\Fixed\\s1 could not be removed (access denied)"},
       {}},
      {"every value of that key",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryValuesByRoot(t, hkcu, a + "\\Fixed", ""); },
       0,
       {r + "\\Fixed\\s1 could not be removed (access denied)", r + "\\Fixed\\s2 could not be removed (access denied)"},
       {}},
      {"a value that key does not hold",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", a + "\\Fixed", "nope"); },
       0,
       {},
       {}},
  };
  const std::vector<std::string> all = {"|v1", "\\Free|f1", "\\Free|f2", "\\Fixed|s1", "\\Fixed|s2", "\\Locked|l1",
                                        "\\Locked\\Inner|i1"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegSetString(hkcu, a, "v1", "x");
    RegSetString(hkcu, a + "\\Free", "f1", "x");
    RegSetString(hkcu, a + "\\Free", "f2", "x");
    RegSetString(hkcu, a + "\\Fixed", "s1", "x");
    RegSetString(hkcu, a + "\\Fixed", "s2", "x");
    RegSetString(hkcu, a + "\\Locked", "l1", "x");
    RegSetString(hkcu, a + "\\Locked\\Inner", "i1", "x");
    {
      ScopedAccessList locked(hkcu, a + "\\Locked", kDenyDelete);
      ScopedAccessList fixed(hkcu, a + "\\Fixed", kDenySetValue);
      ASSERT_FALSE(Grants(hkcu, a + "\\Locked", KEY_READ | DELETE)) << "the registry keeps to the access list";
      ASSERT_FALSE(Grants(hkcu, a + "\\Fixed", KEY_READ | KEY_SET_VALUE));
      ASSERT_TRUE(Grants(hkcu, a + "\\Fixed", KEY_READ | DELETE));
      for (int mode : {qv::rmTest, qv::rmClean}) {
        SCOPED_TRACE(mode == qv::rmTest ? "Test" : "Clean");
        Worker run(mode);
        EXPECT_EQ(c.op(run.run), c.count);
        EXPECT_EQ(WithoutPrefix(run.host->Lines), c.lines);
        bool refused = false;
        for (const std::string& l : c.lines) refused = refused || l.find(" could not be removed (") != std::string::npos;
        EXPECT_EQ(run.run.Control()->SomethingLeft.load(), refused);
        if (mode == qv::rmTest) {
          EXPECT_EQ(qv::CountRegistryValues(hkcu, a), (int)all.size()) << "a Test changes nothing";
        }
      }
    }
    // Read back: what the log says went is gone, everything else is there.
    for (const std::string& entry : all) {
      const size_t bar = entry.find('|');
      const std::string keyPath = a + entry.substr(0, bar);
      bool expectGone = false;
      for (const std::string& g : c.gone)
        expectGone = expectGone || g == entry || (g.find('|') == std::string::npos && qv::StartsWith(entry, g + "|")) ||
                     (g.find('|') == std::string::npos && qv::StartsWith(entry, g + "\\"));
      EXPECT_EQ(RegValueExists(hkcu, keyPath, entry.substr(bar + 1)), !expectGone) << entry;
    }
    EXPECT_TRUE(RegKeyExists(hkcu, a));
    EXPECT_TRUE(RegKeyExists(hkcu, a + "\\Locked"));
    RegDeleteTree(hkcu, a);
  }
}

// Two items of one run that name one key or value, in any spelling, count and remove it once: a
// Test and the Clean after it give the same total and the same lines.
TEST_F(RegistryRemoval, EachKeyAndValueCountsOnceARun) {
  SandboxKey key("once");
  const HKEY hkcu = HKEY_CURRENT_USER;
  const std::string k = key.Path() + "\\K";
  const std::string viaUsers = qv::LowerCase(CurrentUserSid() + "\\" + k);
  auto value = [](const std::string& root, const std::string& path, const std::string& name) {
    return [=](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, root, path, name); };
  };
  auto tree = [](const std::string& root, const std::string& path) {
    return [=](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, root, path); };
  };
  using Op = std::function<int(qv::TCleanRun&)>;
  struct Case {
    const char* name;
    std::vector<Op> ops;
    int count;
    bool kStays;
  } cases[] = {
      {"one value in two cases", {value("HKEY_CURRENT_USER", k, "a"), value("HKEY_CURRENT_USER", k, "A")}, 1, true},
      {"a value, then its key", {value("HKEY_CURRENT_USER", k, "a"), tree("HKEY_CURRENT_USER", k)}, 3, false},
      {"a key, then its value", {tree("HKEY_CURRENT_USER", k), value("HKEY_CURRENT_USER", k, "a")}, 3, false},
      {"a key through HKEY_CURRENT_USER and HKEY_USERS",
       {tree("HKEY_CURRENT_USER", k), tree("HKEY_USERS", viaUsers + "\\")},
       3,
       false},
      {"every value of a key twice", {value("HKEY_CURRENT_USER", k, ""), value("hkey_users", viaUsers, "")}, 3, true},
      {"every value of a key, then the key", {value("HKEY_CURRENT_USER", k, ""), tree("HKEY_CURRENT_USER", k)}, 4, false},
      {"a subkey, then its parent", {tree("HKEY_USERS", viaUsers + "\\s"), tree("HKEY_CURRENT_USER", k)}, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegSetString(hkcu, k, "a", "x");
    RegSetString(hkcu, k, "b", "x");
    RegSetString(hkcu, k + "\\S", "c", "x");
    std::vector<std::string> testLines;
    for (int mode : {qv::rmTest, qv::rmClean}) {
      Worker run(mode);
      int total = 0;
      for (const Op& op : c.ops) total += op(run.run);
      EXPECT_EQ(total, c.count) << (mode == qv::rmTest ? "Test" : "Clean");
      if (mode == qv::rmTest)
        testLines = WithoutPrefix(run.host->Lines);
      else
        EXPECT_EQ(WithoutPrefix(run.host->Lines), testLines);
      EXPECT_FALSE(run.run.Control()->SomethingLeft.load());
    }
    EXPECT_EQ(RegKeyExists(hkcu, k), c.kStays);
    EXPECT_FALSE(RegValueExists(hkcu, k, "a"));
    RegDeleteTree(hkcu, k);
  }
}

// A registry link inside a key tree, or named by a line, is removed as the link: the key it leads
// to keeps everything it holds.
TEST_F(RegistryRemoval, LinksAreRemovedNotFollowed) {
  SandboxKey key("links");
  const HKEY hkcu = HKEY_CURRENT_USER;
  const std::string box = key.Path();
  const std::string target = box + "\\Target";
  const std::string targetName = "\\REGISTRY\\USER\\" + CurrentUserSid() + "\\" + target;
  auto makeLink = [&](const std::string& path) {
    HKEY link;
    ASSERT_EQ(RegCreateKeyExW(hkcu, qv::Widen(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS,
                              nullptr, &link, nullptr),
              ERROR_SUCCESS);
    const std::wstring to = qv::Widen(targetName);
    RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)to.c_str(), (DWORD)(to.size() * 2));
    RegCloseKey(link);
  };
  using Op = std::function<int(qv::TCleanRun&)>;
  const std::string r = "HKEY_CURRENT_USER\\" + box;
  struct Case {
    const char* name;
    Op op;
    int count;  // the link's own value counts as what went with it
    std::vector<std::string> lines;
  } cases[] = {
      {"a tree holding a link", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTreeHKCU(t, box + "\\Tree"); }, 2,
       {"deleting registry key " + r + "\\Tree"}},
      {"every value and subkey of a key holding a link",
       [&](qv::TCleanRun& t) { return qv::DeleteRegistryValues(t, "HKEY_CURRENT_USER", box + "\\Tree", ""); }, 2,
       {"deleting registry value " + r + "\\Tree\\t", "deleting registry key " + r + "\\Tree\\Link"}},
      {"a link named whole", [&](qv::TCleanRun& t) { return qv::DeleteRegistryKeyTree(t, "HKEY_CURRENT_USER", box + "\\Tree\\Link"); },
       1, {"deleting registry key " + r + "\\Tree\\Link"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegSetString(hkcu, target, "precious", "x");
    RegSetString(hkcu, target + "\\Deep", "d", "x");
    RegSetString(hkcu, box + "\\Tree", "t", "x");
    makeLink(box + "\\Tree\\Link");
    ASSERT_TRUE(RegValueExists(hkcu, box + "\\Tree\\Link", "precious")) << "the link leads to the target";
    for (int mode : {qv::rmTest, qv::rmClean}) {
      Worker run(mode);
      EXPECT_EQ(c.op(run.run), c.count);
      EXPECT_EQ(WithoutPrefix(run.host->Lines), c.lines);
    }
    EXPECT_TRUE(RegValueExists(hkcu, target, "precious"));
    EXPECT_TRUE(RegValueExists(hkcu, target + "\\Deep", "d"));
    HKEY link;
    EXPECT_NE(RegOpenKeyExW(hkcu, qv::Widen(box + "\\Tree\\Link").c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &link),
              ERROR_SUCCESS)
        << "the link itself is gone";
    RegDeleteTree(hkcu, box + "\\Tree");
  }
}
