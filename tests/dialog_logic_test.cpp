// The dialogs' own rules, without their windows: the Boss Key field's key names, the custom list's
// numbering and rows, the cookie lists' moves, and what the index.dat viewer hands the browser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/AddRegistry.h"
#include "dialogs/BossKeyCapture.h"
#include "dialogs/CookieLists.h"
#include "dialogs/CustomListModel.h"
#include "dialogs/IndexDatViewer.h"

using namespace qv;

namespace {

TEST(BossKeyCapture, NamesEveryKeyOfTheTable) {
  struct Case {
    uint16_t code;
    const char* name;
  };
  const Case cases[] = {{8, "BackSpace"},  {9, "Tab"},         {12, "Clear"},        {13, "Enter"},
                        {19, "Pause"},     {20, "CapsLock"},   {27, "Esc"},          {32, "Space"},
                        {33, "PageUp"},    {34, "PageDown"},   {35, "End"},          {36, "Home"},
                        {37, "LeftArrow"}, {38, "UpArrow"},    {39, "RightArrow"},   {40, "DownArrow"},
                        {44, "PrintScreen"}, {45, "Ins"},      {46, "Del"},          {47, "Help"},
                        {48, "0"},         {57, "9"},          {58, ":"},            {64, "@"},
                        {65, "A"},         {81, "Q"},          {90, "Z"},            {96, "Num 0"},
                        {103, "Num 7"},    {105, "Num 9"},     {106, "*"},           {107, "+"},
                        {108, "Separator"}, {109, "-"},        {110, "."},           {111, "/"},
                        {112, "F1"},       {123, "F12"},       {135, "F24"},         {144, "Numlock"},
                        {145, "Scroll"},   {16, ""},           {17, ""},             {18, ""},
                        {0, ""},           {91, ""},           {92, ""},             {93, ""},
                        {136, ""},         {186, ""},          {255, ""}};
  for (const Case& c : cases) EXPECT_EQ(BossKeyName(c.code), c.name) << c.code;
}

TEST(BossKeyCapture, FieldTextAndStoredKeyOfAPress) {
  struct Case {
    uint16_t code;
    bool ctrl, shift, alt;
    const char* field;
    const char* name;
    uint16_t stored;
  };
  const Case cases[] = {
      {81, true, true, false, "Ctrl  Shift  Q", "Q", 81},    // Ctrl+Shift+Q
      {17, true, false, false, "Ctrl  ", "", 0},             // Ctrl alone
      {16, true, true, true, "Ctrl  Shift  Alt  ", "", 0},   // every modifier, no key
      {123, false, false, false, "F12", "F12", 123},
      {103, false, false, false, "Num 7", "Num 7", 103},
      {91, true, false, false, "", "", 0},                   // a Windows key empties the field
      {46, false, false, false, "Del", "Del", 46},           // Delete reads the same with or
      {46, false, false, true, "Alt  Del", "Del", 46},       // without modifiers
      {13, false, true, false, "Shift  Enter", "Enter", 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    TBossKeyCapture k = CaptureBossKey(c.code, c.ctrl, c.shift, c.alt);
    EXPECT_EQ(k.FieldText, c.field);
    EXPECT_EQ(k.CharString, c.name);
    EXPECT_EQ(k.CharAscII, c.stored);
  }
  TBossKeyModifiers m = ModifiersOfFieldText("Ctrl  Alt  F5");
  EXPECT_TRUE(m.Ctrl);
  EXPECT_FALSE(m.Shift);
  EXPECT_TRUE(m.Alt);
  m = ModifiersOfFieldText("ctrl  F5");  // the words are matched as written
  EXPECT_FALSE(m.Ctrl);
}

TEST(CustomListRows, NumbersEachKindFromOneInRowOrder) {
  const std::vector<std::string> rows = {"C:\\Temp", "HKEY_CURRENT_USER\\Software\\Foo", "C:\\Logs,*.log",
                                         "hkey_local_machine\\Software\\Bar,Baz", "Software\\HKEY_X"};
  const std::vector<TClistLine> lines = NumberCustomListRows(rows);
  ASSERT_EQ(lines.size(), 5u);
  const char* const keys[] = {"DelFile1", "DelRegValue1", "DelFile2", "DelRegValue2", "DelFile3"};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].Key, keys[i]);
    EXPECT_EQ(lines[i].Value, rows[i]);
  }
  // Values the profile functions would change on reading are quoted, and read back unchanged.
  EXPECT_EQ(NumberCustomListRows({" C:\\Lead"})[0].Value, "\" C:\\Lead\"");
  EXPECT_EQ(NumberCustomListRows({"C:\\Trail "})[0].Value, "\"C:\\Trail \"");
  EXPECT_EQ(NumberCustomListRows({"'C:\\Quoted'"})[0].Value, "\"'C:\\Quoted'\"");
  EXPECT_EQ(NumberCustomListRows({"\"C:\\x\""})[0].Value, "\"\"C:\\x\"\"");
  EXPECT_EQ(NumberCustomListRows({"C:\\\"half"})[0].Value, "C:\\\"half");
  EXPECT_TRUE(NumberCustomListRows({}).empty());
}

TEST(CustomListRows, AddDialogsBuildRowsAndSplitThemForEditing) {
  EXPECT_EQ(FolderEntryText("C:\\Temp", fcSingleFile, "a.txt"), "C:\\Temp,a.txt");
  EXPECT_EQ(FolderEntryText("C:\\Temp", fcDeleteFolder, "ignored"), "C:\\Temp");
  EXPECT_EQ(FolderEntryText("C:\\Logs", fcDeleteFiles, "*.log"), "C:\\Logs,*.log");
  EXPECT_EQ(FolderEntryText("C:\\Logs, old", fcDeleteFiles, "a,b.log"), "\"C:\\Logs, old\",a,b.log");
  EXPECT_EQ(FolderEntryText("C:\\Logs, old", fcDeleteFolder, ""), "\"C:\\Logs, old\"");
  EXPECT_EQ(RegistryEntryText("HKEY_CURRENT_USER\\Software\\Foo", rcKey, "x"), "HKEY_CURRENT_USER\\Software\\Foo");
  EXPECT_EQ(RegistryEntryText("HKEY_CURRENT_USER\\Software\\Foo", rcAllValues, "x"),
            "HKEY_CURRENT_USER\\Software\\Foo,");
  EXPECT_EQ(RegistryEntryText("HKEY_CURRENT_USER\\Software\\Foo", rcValue, "Bar"),
            "HKEY_CURRENT_USER\\Software\\Foo,Bar");

  struct Split {
    const char* row;
    const char* key;
    const char* value;
    TRegistryChoice choice;
  };
  const Split splits[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\Foo,Bar", "HKEY_LOCAL_MACHINE\\Software\\Foo", "Bar", rcValue},
      {"HKEY_CURRENT_USER\\Software\\Foo,", "HKEY_CURRENT_USER\\Software\\Foo", "", rcAllValues},
      {"HKEY_CURRENT_USER\\Software\\Foo", "HKEY_CURRENT_USER\\Software\\Foo", "", rcKey},
      {"HKEY_CURRENT_USER\\A,b,c", "HKEY_CURRENT_USER\\A", "b,c", rcValue},
      // A key with commas in it is written in quotes; two quotes stand for one.
      {"\"HKEY_CURRENT_USER\\A,b\",c", "HKEY_CURRENT_USER\\A,b", "c", rcValue},
      {"\"HKEY_CURRENT_USER\\A,b\"", "HKEY_CURRENT_USER\\A,b", "", rcKey},
      {"\"HKEY_CURRENT_USER\\\"\"q\"\",\"", "HKEY_CURRENT_USER\\\"q\",", "", rcKey},
  };
  for (const Split& s : splits) {
    SCOPED_TRACE(s.row);
    TRegistryRow r = SplitRegistryRow(s.row);
    EXPECT_EQ(r.Key, s.key);
    EXPECT_EQ(r.ValueName, s.value);
    EXPECT_EQ(r.Choice, s.choice);
    // Split and built again, a row is itself.
    EXPECT_EQ(RegistryEntryText(r.Key, r.Choice, r.ValueName), s.row);
  }
  EXPECT_TRUE(IsRegistryRow("hKeY_users\\x"));
  EXPECT_FALSE(IsRegistryRow("Software\\HKEY_X"));
  EXPECT_FALSE(IsRegistryRow("HKEY"));
}

TEST(CustomListRows, OkAndSelectionRules) {
  // Add File and Folder.
  EXPECT_FALSE(AddFolderOkEnabled(false, fcDeleteFolder, true, "*.txt"));
  EXPECT_FALSE(AddFolderOkEnabled(true, fcSingleFile, false, ""));
  EXPECT_TRUE(AddFolderOkEnabled(true, fcSingleFile, true, ""));
  EXPECT_TRUE(AddFolderOkEnabled(true, fcDeleteFolder, false, ""));
  EXPECT_FALSE(AddFolderOkEnabled(true, fcDeleteFiles, false, "*."));  // the initial mask
  EXPECT_TRUE(AddFolderOkEnabled(true, fcDeleteFiles, false, "*.txt"));

  // Add Registry: only rows the runner reads as registry entries that do something.
  struct Reg {
    const char* key;
    TRegistryChoice choice;
    const char* value;
    bool ok;
  };
  const Reg regs[] = {
      {"HKEY_CURRENT_USER\\Software\\Foo", rcKey, "", true},
      {"hkey_current_user\\Software\\Foo", rcAllValues, "", true},
      {"HKEY_LOCAL_MACHINE\\Software\\Foo", rcValue, "Bar", true},
      {"HKEY_LOCAL_MACHINE\\Software\\Foo", rcValue, "", false},  // no value name
      {"Software\\HKEY_X", rcKey, "", false},                     // would be a file row
      {"HKEY_NOWHERE\\Software", rcKey, "", false},               // no such root
      {"HKEY_CURRENT_USER", rcKey, "", false},                    // a whole root
      {"HKEY_CURRENT_USER\\", rcAllValues, "", false},
      {"HKEY_CURRENT_USER\\Software\\A,B", rcKey, "", true},      // written in quotes, read back whole
      {"", rcKey, "", false},
  };
  for (const Reg& r : regs) EXPECT_EQ(AddRegistryOkEnabled(r.key, r.choice, r.value), r.ok) << r.key;

  // Removing rows: the same index, the new last row after the last, nothing after the only row.
  EXPECT_EQ(SelectionAfterRemove(1, 3), 1);
  EXPECT_EQ(SelectionAfterRemove(2, 3), 1);
  EXPECT_EQ(SelectionAfterRemove(0, 1), -1);
  EXPECT_EQ(SelectionAfterRemove(-1, 3), -1);
}

std::vector<std::string> Names(const std::vector<TCookieEntry>& entries) {
  std::vector<std::string> names;
  for (const TCookieEntry& e : entries) names.push_back(e.Name);
  return names;
}

std::vector<TCookieEntry> Unmarked(const std::vector<std::string>& names) {
  std::vector<TCookieEntry> entries;
  for (const std::string& n : names) entries.push_back({n, ""});
  return entries;
}

// A kept name is listed only as kept, marked with the browsers that hold it; a name differing only
// in case is another name; entries no browser holds any more stay on the keep list.
TEST(CookieLists, KeptNamesAreListedOnlyAsKept) {
  TCookieLists l({{"example.org", "Mozilla Firefox, Google Chrome"}, {"b@y[1].txt", ""}, {"B@Y[1].txt", ""}},
                 {"b@y[1].txt", "gone.example", "example.org"});
  EXPECT_EQ(Names(l.Found), (std::vector<std::string>{"B@Y[1].txt"}));
  EXPECT_EQ(Names(l.Keep), (std::vector<std::string>{"b@y[1].txt", "gone.example", "example.org"}));
  EXPECT_EQ(l.Keep[2].Text(), "example.org (Mozilla Firefox, Google Chrome)");
  EXPECT_EQ(l.Keep[1].Text(), "gone.example");
  EXPECT_EQ(l.KeepNames(), (std::vector<std::string>{"b@y[1].txt", "gone.example", "example.org"}));
  EXPECT_EQ(l.FoundSelection, -1);
  EXPECT_EQ(l.KeepSelection, -1);
}

TEST(CookieLists, MovesAndTheSelectionsTheyLeave) {
  using V = std::vector<std::string>;
  TCookieLists l(Unmarked({"1", "2", "3"}), {});
  l.Add();  // nothing selected: nothing happens
  EXPECT_EQ(l.Found.size(), 3u);
  EXPECT_TRUE(l.Keep.empty());

  l.FoundSelection = 1;
  l.Add();
  EXPECT_EQ(Names(l.Found), (V{"1", "3"}));
  EXPECT_EQ(Names(l.Keep), (V{"2"}));
  EXPECT_EQ(l.FoundSelection, 1);  // the entry after the moved one
  EXPECT_EQ(l.KeepSelection, 0);
  l.Add();  // the last one: the selection goes to the first
  EXPECT_EQ(Names(l.Found), (V{"1"}));
  EXPECT_EQ(Names(l.Keep), (V{"2", "3"}));
  EXPECT_EQ(l.FoundSelection, 0);
  l.FoundDoubleClick();  // the only one
  EXPECT_TRUE(l.Found.empty());
  EXPECT_EQ(l.FoundSelection, -1);
  EXPECT_EQ(Names(l.Keep), (V{"2", "3", "1"}));

  l.KeepSelection = 2;
  l.Remove();
  EXPECT_EQ(Names(l.Found), (V{"1"}));
  EXPECT_EQ(l.FoundSelection, 0);  // the found list holds one entry: it is selected
  EXPECT_EQ(l.KeepSelection, 0);
  l.KeepSelection = 0;
  l.Remove();
  EXPECT_EQ(Names(l.Found), (V{"1", "2"}));
  EXPECT_EQ(l.FoundSelection, 0);  // unchanged
  EXPECT_EQ(Names(l.Keep), (V{"3"}));

  l.FoundSelection = 1;
  l.KeepSelection = 0;
  l.KeepDoubleClick();  // the found list selects its first entry
  EXPECT_EQ(Names(l.Found), (V{"1", "2", "3"}));
  EXPECT_EQ(l.FoundSelection, 0);
  EXPECT_TRUE(l.Keep.empty());
  EXPECT_EQ(l.KeepSelection, -1);

  l.AddAll();
  EXPECT_TRUE(l.Found.empty());
  EXPECT_EQ(Names(l.Keep), (V{"1", "2", "3"}));
  EXPECT_EQ(l.KeepSelection, 0);
  l.AddAll();  // nothing left to add
  EXPECT_EQ(l.Keep.size(), 3u);
  l.RemoveAll();
  EXPECT_EQ(Names(l.Found), (V{"1", "2", "3"}));
  EXPECT_EQ(l.FoundSelection, 0);
  EXPECT_TRUE(l.Keep.empty());
}

TEST(IndexDatLinkTarget, OpensAddressesOnly) {
  struct Case {
    const char* url;
    const char* target;
  };
  const Case cases[] = {
      {"http://example.test/a?b=c", "http://example.test/a?b=c"},
      {"HTTPS://Example.test/", "HTTPS://Example.test/"},
      {"ftp://files.test/x", "ftp://files.test/x"},
      {"Visited: root@http://qv-history.test/123/", "http://qv-history.test/123/"},
      {"Visited: a@b@https://site.test/", "https://site.test/"},
      {":2024010120240108: root@http://day.test/", "http://day.test/"},
      {"Cookie:root@qv-cookie.test/", "http://qv-cookie.test/"},
      {"Cookie:a@b@site.test/path", "http://site.test/path"},
      {"Cookie:root@", ""},
      {"C:\\Windows\\system32\\calc.exe", ""},
      {"file:///C:/Windows/system32/calc.exe", ""},
      {"javascript:alert(1)", ""},
      {"Visited: root@file:///C:/x.exe", ""},
      {"http://a.test/\" --flag", ""},  // a quote and a blank would leave the address
      {"http://a.test/\x01", ""},
      {"http://", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(IndexDatLinkTarget(c.url), c.target) << c.url;
}

TEST(IndexDatLinkTarget, TimeTextIsNotAvailableForNoTime) {
  EXPECT_EQ(IndexDatTimeText(0), "Not Available");
  const std::string t = IndexDatTimeText(45000.5);  // 13 March 2023, 12:00
  EXPECT_NE(t, "Not Available");
  EXPECT_NE(t.find("2023"), std::string::npos) << t;
  EXPECT_NE(t.find("12"), std::string::npos) << t;
}

}  // namespace
