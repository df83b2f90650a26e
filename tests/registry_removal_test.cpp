// Registry removal on the real registry of the test prefix.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/Global.h"
#include "base/Settings.h"
#include "engine/CleanRun.h"
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
  EXPECT_EQ(clean.host->Lines,
            std::vector<std::string>{"Clean: deleting registry key HKEY_LOCAL_MACHINE\\" + machine.Path() + "\\Sub"});
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, machine.Path() + "\\Sub"));
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, user.Path() + "\\Sub", "u"));
}
