#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "base/Global.h"
#include "base/Settings.h"
#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "engine/CleanRun.h"
#include "engine/ProgressThread.h"
#include "support/RecordingHost.h"
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

namespace {

// The items every copy of the program offers, in their order. Items and categories added later
// may stand anywhere between them; none of these may go, move or change its id.
const std::vector<std::pair<std::string, std::vector<std::string>>> kOffered = {
    {"Internet Explorer",
     {"Recently Typed URLs", "Cookies", "Visited URL History", "Last Download Location", "Temporary Internet Files",
      "Index.dat Files", "Autocomplete History"}},
    {"Windows",
     {"Recent Documents", "Start Run", "Search Assistant", "Empty Recycle Bin", "Temporary Files", "Clipboard",
      "Memory Dumps", "Chkdsk File Fragments", "Windows Log Files"}},
    {"Netscape", {"Cookies", "Visited URL History", "Temporary Internet Files", "Preferences", "Saved Form Information"}},
    {"Opera",
     {"Recently Typed URLs", "Cookies", "Visited URL History", "Temporary Internet Files", "Autocomplete History",
      "Transfers"}},
    {"Mozilla Firefox",
     {"Cookies", "Visited URL History", "Download Manager", "Temporary Internet Files", "Autocomplete History",
      "Preferences", "Saved Form Information"}},
    {"Advanced",
     {"Open File History", "Menu Order Cache", "Tray Notifications Cache", "User Assist History", "Paint",
      "Google Toolbar History", "MSN Toolbar History", "Yahoo! Toolbar History"}},
    {"Microsoft Office", {"Access", "Excel", "FrontPage", "Powerpoint", "Word", "Recent Files"}},
    {"Instant Messengers", {"MSN Messenger", "Yahoo! Messenger", "ICQ", "AOL Instant Messenger", "Skype"}},
    {"Applications", {}},
    {"Custom Lists", {"<New List>"}},
};

// True when `part` appears in `whole` in the same order (other elements may stand between).
bool InOrder(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t at = 0;
  for (const std::string& w : whole)
    if (at < part.size() && w == part[at]) ++at;
  return at == part.size();
}

}  // namespace

TEST(Catalogue, CategoriesInOrderWithTheirIds) {
  TCatalogue c = qv::BuiltinCatalogue();
  std::vector<std::string> texts;
  for (const auto& cat : c.Categories) {
    texts.push_back(cat.Text);
    EXPECT_EQ(cat.State, qv::csUnticked);
    EXPECT_EQ(cat.Text.find(" - "), std::string::npos);
  }
  std::vector<std::string> offered;
  for (const auto& o : kOffered) offered.push_back(o.first);
  EXPECT_TRUE(InOrder(offered, texts));
  std::set<int> ids;
  for (const auto& cat : c.Categories) EXPECT_TRUE(ids.insert(cat.CategoryId).second) << cat.Text;
  for (size_t i = 0; i < kOffered.size(); ++i) {
    const qv::TCategory* cat = c.FindCategory(kOffered[i].first);
    ASSERT_NE(cat, nullptr) << kOffered[i].first;
    EXPECT_EQ(cat->CategoryId, (int)i + 1) << cat->Text;
    std::vector<std::string> items;
    for (const auto& it : cat->Items) items.push_back(it.Text);
    EXPECT_TRUE(InOrder(kOffered[i].second, items)) << cat->Text;
  }
  // The definition files fill the last two; nothing is declared into them.
  EXPECT_TRUE(c.FindCategory(qv::ckApplications)->Items.empty());
  EXPECT_EQ(c.FindCategory(qv::ckCustomLists)->Items.size(), 1u);
  EXPECT_EQ(c.Categories.back().Text, "Custom Lists");
}

TEST(Catalogue, ItemNamesAndTheirRouting) {
  TCatalogue c = qv::BuiltinCatalogue();
  const std::vector<std::string> names = AllItemNames(c);
  std::vector<std::string> offered;
  for (const auto& o : kOffered)
    for (const auto& item : o.second) offered.push_back(o.first + " - " + item);
  ASSERT_EQ(offered.size(), 54u);
  EXPECT_TRUE(InOrder(offered, names));

  // Every built-in item has its own cleaner except the six that live in the definitions file and
  // the custom list; each goes where its declaration says.
  const std::map<std::string, std::string> byDefinition = {
      {"Windows - Windows Log Files", "Zelbrin.dat"},        {"Advanced - Google Toolbar History", "Zelbrin.dat"},
      {"Advanced - MSN Toolbar History", "Zelbrin.dat"},     {"Advanced - Yahoo! Toolbar History", "Zelbrin.dat"},
      {"Instant Messengers - ICQ", "Zelbrin.dat"},           {"Instant Messengers - AOL Instant Messenger", "Zelbrin.dat"},
      {"Custom Lists - <New List>", "Clist.dat"}};
  int own = 0;
  for (const auto& name : offered) {
    const qv::TCleanItem* item = c.FindItem(name);
    ASSERT_NE(item, nullptr) << name;
    auto definition = byDefinition.find(name);
    EXPECT_EQ(HasBuiltinCleaner(name), definition == byDefinition.end()) << name;
    if (definition == byDefinition.end()) {
      EXPECT_EQ(item->Route.Kind, qv::rkCleaner) << name;
      EXPECT_NE(item->Route.Clean, nullptr) << name;
      ++own;
    } else {
      EXPECT_EQ(item->Route.Kind, qv::rkDefinitions) << name;
      EXPECT_EQ(item->Route.File, definition->second) << name;
    }
  }
  EXPECT_EQ(own, 47);
  // Every item goes somewhere, and no two items share a cleaner.
  for (const auto& name : names) EXPECT_NE(c.FindItem(name)->Route.Kind, qv::rkNothing) << name;
  std::set<qv::TCleanerFn> cleaners;
  for (const auto& name : names) {
    if (c.FindItem(name)->Route.Clean) {
      EXPECT_TRUE(cleaners.insert(c.FindItem(name)->Route.Clean).second) << name;
    }
  }
  // Names are exact and case-sensitive.
  EXPECT_FALSE(HasBuiltinCleaner("windows - start run"));
  EXPECT_FALSE(HasBuiltinCleaner("Windows - Start Run "));
}

namespace {

// A family that exists only in this test: one category, declared once, with an item of its own
// cleaner and one of the definitions file.
int g_throwawayRuns = 0;
void ThrowawayCleaner(qv::TCleanRun& run) {
  ++g_throwawayRuns;
  run.ItemCount += 2;
}

const qv::TItemFamily& ThrowawayItems() {
  static const qv::TItemFamily family = {
      {42, 55, "Qvtest Browser",
       {qv::Cleaned("Traces", ThrowawayCleaner), qv::Defined("Old Traces", "Zelbrin.dat")},
       qv::ifFirefoxClosed},
  };
  return family;
}

struct NoWindow : qv::IWindowPlacement {
  bool GetShowCommand(int&) override { return false; }
  void GetBounds(int& l, int& t, int& w, int& h) override { l = t = 0, w = 704, h = 507; }
  int ScreenWidth() override { return 1024; }
  int ScreenHeight() override { return 768; }
};

}  // namespace

// A new category is its family's declaration alone: the catalogue places it by its order, routes
// its items by what they declare, the settings keep its ticks and its expanded flag under its id,
// and the help entry it needs follows from its name.
TEST(ItemTable, ADeclaredFamilyIsEverywhereAtOnce) {
  const qv::TItemTable table = qv::BuiltinItems().With(ThrowawayItems());
  TCatalogue c = TCatalogue::FromTable(table);
  const auto at = [&](const std::string& text) {
    for (size_t i = 0; i < c.Categories.size(); ++i)
      if (c.Categories[i].Text == text) return i;
    return c.Categories.size();
  };
  ASSERT_EQ(c.Categories.size(), qv::BuiltinCatalogue().Categories.size() + 1);
  ASSERT_LT(at("Qvtest Browser"), c.Categories.size());
  EXPECT_LT(at("Mozilla Firefox"), at("Qvtest Browser"));  // order 50 < 55 < 60
  EXPECT_LT(at("Qvtest Browser"), at("Advanced"));
  EXPECT_EQ(c.FindCategory("Qvtest Browser")->CategoryId, 42);

  EXPECT_FALSE(c.AnyTickedItemHas(qv::ifFirefoxClosed));
  ASSERT_TRUE(c.TickByName("Qvtest Browser - Traces"));
  ASSERT_TRUE(c.TickByName("Qvtest Browser - Old Traces"));
  ASSERT_TRUE(c.TickByName("Windows - Start Run"));
  const std::vector<qv::TRunItem> run = c.RunItems();
  ASSERT_EQ(run.size(), 3u);
  EXPECT_EQ(run[1].Name, "Qvtest Browser - Traces");
  EXPECT_EQ(run[1].Route.Kind, qv::rkCleaner);
  EXPECT_EQ(run[1].Route.Clean, &ThrowawayCleaner);
  EXPECT_EQ(run[2].Route.Kind, qv::rkDefinitions);
  EXPECT_EQ(run[2].Route.File, "Zelbrin.dat");
  EXPECT_TRUE(c.AnyTickedItemHas(qv::ifFirefoxClosed));
  EXPECT_EQ(c.FindItem("Qvtest Browser - Traces")->HelpAnchor, "qvtest-browser-traces");
  qv::TCleanerFn clean = nullptr;
  EXPECT_TRUE(qv::TCleanerDirectory(table).Find("Qvtest Browser - Traces", clean));
  EXPECT_EQ(clean, &ThrowawayCleaner);

  // A run sends it to that cleaner, under its name, and counts what the cleaner found.
  {
    auto host = std::make_shared<qvtest::RecordingHost>(qv::rmTest);
    qv::TClearTaskThread thread(host);
    thread.ItemList = {run[1]};
    thread.Run().LogPrefix = "Test: ";
    g_throwawayRuns = 0;
    thread.RunHere();
    EXPECT_EQ(g_throwawayRuns, 1);
    EXPECT_EQ(std::count(host->Lines.begin(), host->Lines.end(), "Test: Clearing Qvtest Browser - Traces ..."), 1);
    EXPECT_EQ(host->Finished, std::vector<uint32_t>{2});
  }

  // The settings keep its ticks and its expanded flag under its id, and bring them back.
  qvtest::SandboxFolder dir("itemtable");
  const std::string ini = dir / "settings.ini";
  NoWindow window;
  qv::OptionsSetting = qv::TOptionsSetting();
  ASSERT_EQ(qv::LoadSettingsFile(c, window, ini), qv::sfMissing);
  EXPECT_TRUE(qv::OptionsSetting.FirstNodeExpand.at(42));
  c.TickByName("Qvtest Browser - Traces");
  qv::OptionsSetting.FirstNodeExpand[42] = false;
  qv::SaveSettingsFile(c, window, ini);
  EXPECT_EQ(qv::IniReadString(ini, "FirstNodeExpand", "42", ""), "0");
  EXPECT_EQ(qv::IniReadString(ini, "FirstNodeExpand", "11", "<none>"), "<none>");
  TCatalogue back = TCatalogue::FromTable(table);
  qv::OptionsSetting = qv::TOptionsSetting();
  ASSERT_EQ(qv::LoadSettingsFile(back, window, ini), qv::sfLoaded);
  EXPECT_EQ(back.BuildRunList(), c.BuildRunList());
  EXPECT_FALSE(qv::OptionsSetting.FirstNodeExpand.at(42));
  EXPECT_TRUE(qv::OptionsSetting.FirstNodeExpand.at(9));

  // A table that declares an id or an item twice does not stand.
  EXPECT_THROW(table.With(ThrowawayItems()), std::logic_error);
  const qv::TItemFamily sameName = {{43, 56, "Windows", {}}};
  EXPECT_THROW(qv::BuiltinItems().With(sameName), std::logic_error);
}

TEST(Catalogue, RunListHoldsTickedItemsInTreeOrderOnly) {
  TCatalogue c = qv::BuiltinCatalogue();
  EXPECT_TRUE(c.BuildRunList().empty());
  c.Categories[1].State = qv::csTicked;  // a ticked category alone runs nothing
  EXPECT_TRUE(c.BuildRunList().empty());

  EXPECT_TRUE(c.TickByName("Custom Lists - <New List>"));
  EXPECT_TRUE(c.TickByName("Windows - Start Run"));
  EXPECT_TRUE(c.TickByName("Internet Explorer - Cookies"));
  EXPECT_EQ(c.BuildRunList(), (std::vector<std::string>{"Internet Explorer - Cookies", "Windows - Start Run",
                                                         "Custom Lists - <New List>"}));
  c.SelectAll(qv::csTicked);
  EXPECT_EQ(c.BuildRunList(), AllItemNames(c));
  EXPECT_EQ(c.TickedNames().size(), AllItemNames(c).size() + c.Categories.size());
  c.SelectAll(qv::csUnticked);
  EXPECT_TRUE(c.TickedNames().empty());
}

TEST(Catalogue, TickByNameIsExactAndTakesTheFirstMatch) {
  TCatalogue c = qv::BuiltinCatalogue();
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
  TCatalogue c = qv::BuiltinCatalogue();
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
  TCatalogue c = qv::BuiltinCatalogue();
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

  TCatalogue c = qv::BuiltinCatalogue();
  c.BuildApplicationsCategory(zelbrin);
  std::vector<std::string> got;
  for (const auto& it : c.FindCategory("Applications")->Items) got.push_back(it.Text);
  for (const auto& p : programs) qvtest::RegDeleteTree(HKEY_LOCAL_MACHINE, uninstall + p.first);

  // "Qvtest Archiver" is contained in "Qvtest Archiver Pro"; "QVTEST Player 2.1" contains "Qvtest Player";
  // the second spelling of the same section adds nothing.
  EXPECT_EQ(got, (std::vector<std::string>{"Qvtest Archiver Pro", "Qvtest Player"}));

  TCatalogue none = qv::BuiltinCatalogue();
  none.BuildApplicationsCategory(dir / "missing.dat");
  EXPECT_TRUE(none.FindCategory("Applications")->Items.empty());
}
