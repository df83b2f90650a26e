#include <gtest/gtest.h>

#include "base/Global.h"
#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "support/Sandbox.h"

using qv::TCatalogue;

namespace {

// True when the dispatch sends the item to a built-in cleaner (or knows it has none yet).
bool HasBuiltinCleaner(const std::string& itemName) {
  qv::TCleanerFn clean = nullptr;
  return qv::BuiltinCleaners().Find(itemName, clean);
}

std::vector<std::string> AllItemNames(const TCatalogue& c) {
  std::vector<std::string> out;
  for (const auto& cat : c.Categories)
    for (size_t i = 0; i < cat.Items.size(); ++i) out.push_back(cat.ItemName(i));
  return out;
}

}  // namespace

TEST(Catalogue, CategoriesInOrderWithTheirIds) {
  TCatalogue c = TCatalogue::Builtin();
  const std::vector<std::pair<std::string, size_t>> expected = {
      {"Internet Explorer", 7}, {"Windows", 9},  {"Netscape", 5},          {"Opera", 6},        {"Mozilla Firefox", 7},
      {"Advanced", 8},          {"Microsoft Office", 6}, {"Instant Messengers", 5}, {"Applications", 0}, {"Custom Lists", 1}};
  ASSERT_EQ(c.Categories.size(), expected.size());
  size_t builtin = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(c.Categories[i].Text, expected[i].first);
    EXPECT_EQ(c.Categories[i].CategoryId, (int)i + 1);
    EXPECT_EQ(c.Categories[i].Items.size(), expected[i].second) << expected[i].first;
    EXPECT_EQ(c.Categories[i].State, qv::csUnticked);
    EXPECT_EQ(c.Categories[i].Text.find(" - "), std::string::npos);
    if (i < 8) builtin += expected[i].second;
  }
  EXPECT_EQ(builtin, 53u);
}

TEST(Catalogue, ItemNamesAndTheirRouting) {
  TCatalogue c = TCatalogue::Builtin();
  std::vector<std::string> names = AllItemNames(c);
  ASSERT_EQ(names.size(), 54u);
  // Spot checks across the table, in order.
  EXPECT_EQ(names[0], "Internet Explorer - Recently Typed URLs");
  EXPECT_EQ(names[6], "Internet Explorer - Autocomplete History");
  EXPECT_EQ(names[10], "Windows - Empty Recycle Bin");
  EXPECT_EQ(names[15], "Windows - Windows Log Files");
  EXPECT_EQ(names[20], "Netscape - Saved Form Information");
  EXPECT_EQ(names[26], "Opera - Transfers");
  EXPECT_EQ(names[29], "Mozilla Firefox - Download Manager");
  EXPECT_EQ(names[41], "Advanced - Yahoo! Toolbar History");
  EXPECT_EQ(names[44], "Microsoft Office - FrontPage");
  EXPECT_EQ(names[52], "Instant Messengers - Skype");
  EXPECT_EQ(names[53], "Custom Lists - <New List>");

  // Every built-in item has its own cleaner except the six that live in the definitions file.
  const std::vector<std::string> byDefinition = {
      "Windows - Windows Log Files",   "Advanced - Google Toolbar History", "Advanced - MSN Toolbar History",
      "Advanced - Yahoo! Toolbar History", "Instant Messengers - ICQ",     "Instant Messengers - AOL Instant Messenger",
      "Custom Lists - <New List>"};
  int own = 0;
  for (const auto& name : names) {
    bool definition = std::find(byDefinition.begin(), byDefinition.end(), name) != byDefinition.end();
    EXPECT_EQ(HasBuiltinCleaner(name), !definition) << name;
    EXPECT_EQ(qv::IsBuiltinCleanerItem(name), !definition) << name;
    own += !definition;
  }
  EXPECT_EQ(own, 47);
  // Every item of the catalogue has its cleaner: none is left as not built yet.
  EXPECT_EQ(qv::BuiltinCleaners().NotBuiltCount(), 0u);
  for (const auto& name : names) {
    qv::TCleanerFn clean = nullptr;
    if (qv::BuiltinCleaners().Find(name, clean)) {
      EXPECT_NE(clean, nullptr) << name;
    }
  }
  // Names are exact and case-sensitive.
  EXPECT_FALSE(HasBuiltinCleaner("windows - start run"));
  EXPECT_FALSE(HasBuiltinCleaner("Windows - Start Run "));
}

TEST(Catalogue, RunListHoldsTickedItemsInTreeOrderOnly) {
  TCatalogue c = TCatalogue::Builtin();
  EXPECT_TRUE(c.BuildRunList().empty());
  c.Categories[1].State = qv::csTicked;  // a ticked category alone runs nothing
  EXPECT_TRUE(c.BuildRunList().empty());

  EXPECT_TRUE(c.TickByName("Custom Lists - <New List>"));
  EXPECT_TRUE(c.TickByName("Windows - Start Run"));
  EXPECT_TRUE(c.TickByName("Internet Explorer - Cookies"));
  EXPECT_EQ(c.BuildRunList(), (std::vector<std::string>{"Internet Explorer - Cookies", "Windows - Start Run",
                                                         "Custom Lists - <New List>"}));
  c.SelectAll(qv::csTicked);
  EXPECT_EQ(c.BuildRunList().size(), 54u);
  EXPECT_EQ(c.TickedNames().size(), 54u + 10u);
  c.SelectAll(qv::csUnticked);
  EXPECT_TRUE(c.TickedNames().empty());
}

TEST(Catalogue, TickByNameIsExactAndTakesTheFirstMatch) {
  TCatalogue c = TCatalogue::Builtin();
  EXPECT_FALSE(c.TickByName("windows - start run"));
  EXPECT_FALSE(c.TickByName(""));
  EXPECT_FALSE(c.TickByName("Cookies"));
  EXPECT_TRUE(c.TickByName("Netscape - Cookies"));
  EXPECT_TRUE(c.TickByName("Opera"));  // a category by its text
  EXPECT_EQ(c.TickedNames(), (std::vector<std::string>{"Netscape - Cookies", "Opera"}));
  // A category named in the selection comes back ticked with its items unticked.
  EXPECT_EQ(c.FindCategory("Opera")->Items[0].State, qv::csUnticked);
  EXPECT_EQ(c.FindCategory("Netscape")->State, qv::csUnticked);
}

TEST(Catalogue, ClickRulesKeepTheCategoryInvariant) {
  TCatalogue c = TCatalogue::Builtin();
  c.ToggleItem(1, 2);  // Windows - Search Assistant
  EXPECT_EQ(c.Categories[1].State, qv::csTicked);
  c.ToggleItem(1, 4);
  c.ToggleItem(1, 2);
  EXPECT_EQ(c.Categories[1].State, qv::csTicked);  // one item still ticked
  c.ToggleItem(1, 4);
  EXPECT_EQ(c.Categories[1].State, qv::csUnticked);  // the only ticked item went off

  c.ToggleCategory(0);
  for (const auto& it : c.Categories[0].Items) EXPECT_EQ(it.State, qv::csTicked);
  c.ToggleCategory(0);
  for (const auto& it : c.Categories[0].Items) EXPECT_EQ(it.State, qv::csUnticked);
  c.ToggleCategory(8);  // Applications without items
  EXPECT_EQ(c.Categories[8].State, qv::csTicked);
}

TEST(Catalogue, ApplicationsMatchDisplayNamesBothWays) {
  TCatalogue c = TCatalogue::Builtin();
  c.AddApplications({"Skype", "Skype Extras", "WinZip", "Notepad++"},
                    {"", "Skype 3.8", "skype extras manager", "Skype 3.8 Beta", "7-Zip"});
  const auto& apps = c.FindCategory("Applications")->Items;
  ASSERT_EQ(apps.size(), 2u);
  EXPECT_EQ(apps[0].Text, "Skype");
  EXPECT_EQ(apps[1].Text, "Skype Extras");
  EXPECT_EQ(c.Categories[8].ItemName(1), "Applications - Skype Extras");
}

TEST(Catalogue, BuildApplicationsCategoryReadsZelbrinAndTheUninstallKey) {
  qvtest::SandboxFolder dir("catalogue");
  const std::string zelbrin = dir / "Zelbrin.dat";
  qvtest::WriteTextFile(zelbrin,
                        "[Qvtest Player]\r\nDelFile1=%windir%\\x|*.*\r\n[Qvtest Archiver Pro]\r\n"
                        "[Qvtest Unmatched]\r\n[QVTEST PLAYER]\r\n");
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::vector<std::pair<std::string, std::string>> programs = {
      {"QvtestA", "Qvtest Archiver"}, {"QvtestB", "QVTEST Player 2.1"}, {"QvtestC", ""}, {"QvtestD", "Qvtest Player"}};
  for (const auto& p : programs) {
    qvtest::RegDeleteTree(HKEY_LOCAL_MACHINE, uninstall + p.first);
    if (p.second.empty())
      qvtest::RegCreate(HKEY_LOCAL_MACHINE, uninstall + p.first);
    else
      qvtest::RegSetString(HKEY_LOCAL_MACHINE, uninstall + p.first, "DisplayName", p.second);
  }

  TCatalogue c = TCatalogue::Builtin();
  c.BuildApplicationsCategory(zelbrin);
  std::vector<std::string> got;
  for (const auto& it : c.FindCategory("Applications")->Items) got.push_back(it.Text);
  for (const auto& p : programs) qvtest::RegDeleteTree(HKEY_LOCAL_MACHINE, uninstall + p.first);

  // "Qvtest Archiver" is contained in "Qvtest Archiver Pro"; "QVTEST Player 2.1" contains "Qvtest Player";
  // the second spelling of the same section adds nothing.
  EXPECT_EQ(got, (std::vector<std::string>{"Qvtest Archiver Pro", "Qvtest Player"}));

  TCatalogue none = TCatalogue::Builtin();
  none.BuildApplicationsCategory(dir / "missing.dat");
  EXPECT_TRUE(none.FindCategory("Applications")->Items.empty());
}
