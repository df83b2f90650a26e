// The program itself, started with "-cleanonce" and the Netscape, Opera, Firefox, Office and
// Instant Messengers categories ticked, cleans the traces of those programs in the prefix: the two
// Firefox profiles that profiles.ini names (one relative, one by its full path; both history
// databases lose their history, a folder profiles.ini does not name keeps its own), an Opera
// folder, a Netscape profile, Office's recent files and lists, messenger logs. The canaries beside
// each survive, and the run removes what a Test of the same items counted.
#include <gtest/gtest.h>

#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "apps_test_util.h"
#include "support/Places.h"
#include "support/Process.h"

using namespace qvtest;

namespace {

const HKEY kCU = HKEY_CURRENT_USER;
const char* const kCategories[] = {"Netscape", "Opera", "Mozilla Firefox", "Microsoft Office", "Instant Messengers"};

std::vector<std::string> Items() {
  qv::TCatalogue catalogue = qv::BuiltinCatalogue();
  std::vector<std::string> items;
  for (const char* category : kCategories) {
    const qv::TCategory* c = catalogue.FindCategory(category);
    for (size_t i = 0; c && i < c->Items.size(); ++i) items.push_back(c->ItemName(i));
  }
  return items;
}

class AppScene {
 public:
  AppScene() {
    ResetCleanerSettings();
    const std::string roaming = roamingMozilla / "Firefox\\Profiles\\";
    const std::string local = localMozilla / "Firefox\\Profiles\\";
    MakeDirs(roaming + "r1.default-release");
    MakeDirs(roaming + "work");
    MakeDirs(roaming + "old.default");
    WriteTextFile(roamingMozilla / "Firefox\\profiles.ini",
                  "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/r1.default-release\r\n"
                  "Default=1\r\n\r\n[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=" +
                      roaming + "work\r\n");
    places = roaming + "r1.default-release\\places.sqlite";
    workPlaces = roaming + "work\\places.sqlite";
    oldPlaces = roaming + "old.default\\places.sqlite";
    MakePlaces(places, pjWal);
    MakePlaces(workPlaces, pjWal);
    MakePlaces(oldPlaces, pjWal);
    s.KeepFile(roaming + "old.default\\cookies.sqlite");
    for (const char* profile : {"r1.default-release\\", "work\\"}) {
      for (const char* name : {"cookies.sqlite", "prefs.js", "formhistory.sqlite", "downloads.sqlite",
                               "signons3.txt", "history.dat"})
        s.File(roaming + profile + name, 100);
      s.KeepFile(roaming + profile + "user.js");
      s.KeepFile(roaming + profile + "logins.json");
    }
    s.File(local + "r1.default-release\\cache2\\entries\\0A1B", 1000);
    s.File(local + "r1.default-release\\cache2\\doomed\\1", 100);
    s.File(roaming + "work\\Cache\\_CACHE_MAP_", 500);
    s.KeepFolder(local + "r1.default-release\\cache2");
    s.KeepFile(local + "r1.default-release\\startupCache\\startupCache.8.little");
    // The history of both databases: counted in places and visits, not in files.
    for (const std::string* db : {&places, &workPlaces}) {
      const std::string path = *db;
      s.traces.push_back({"visits of " + path, [path] { return CountRows(path, "moz_historyvisits") != "0"; }});
    }
    historyCount = 2 * (kPlacesVisits + kPlacesUnbound);

    // Netscape.
    const std::string netscapeProfile = netscape / "NSB\\Profiles\\pbzik8cu.default\\";
    for (const char* name : {"cookies.txt", "history.dat", "prefs.js", "formhistory.dat", "Cache\\0\\A1"})
      s.File(netscapeProfile + name, 200);
    s.KeepFile(netscapeProfile + "bookmarks.html");
    s.KeepFolder(netscapeProfile + "Cache");

    // Opera.
    for (const char* name : {"opera.dir", "typed_history.xml", "cookies4.dat", "global.dat", "vlink4.dat",
                             "wand.dat", "download.dat", "cache4\\opr0001.tmp"})
      s.File(opera / ("Opera\\profile\\" + std::string(name)), 300);
    s.File(localOpera / "Opera\\profile\\cache4\\opr0002.tmp", 300);
    s.KeepFile(opera / "Opera\\profile\\opera6.ini");
    // A name without a star matches in any letter case.
    s.File(opera / "Backup\\profile\\Global.dat", 300);
    s.KeepFile(opera / "Backup\\profile\\Global.dat.bak");

    // Office.
    const std::string recent = office / "Recent\\";
    for (const char* name : {"Report.doc", "Budget.XLS", "Deck.ppt", "Db.mdb", "Page.htm", "Notes.txt.LNK"})
      s.File(recent + name, 50);
    // Their application's item and Recent Files (which takes every file of the folder) both name
    // these files: a Test counts each once, as the Clean removes each once.
    countedTwice = 0;
    s.KeepFile(recent + "Older\\Old.doc");
    const std::string o = "Software\\Microsoft\\Office\\";
    s.Value(o + "11.0\\Word\\Data", "Settings");
    s.KeepValue(o + "11.0\\Word\\Data", "Toolbars");
    s.Value(o + "12.0\\PowerPoint\\Recent File List", "File1");
    s.KeepValue(o + "12.0\\PowerPoint\\Options", "Kept");
    s.Value(o + "16.0\\Word\\File MRU", "Item 1");
    s.Value(o + "16.0\\Word\\Place MRU", "Item 1");
    s.Value(o + "16.0\\Excel\\User MRU\\ADAL_1\\File MRU", "Item 1");
    s.Value(o + "16.0\\Access\\File MRU", "Item 1");
    s.Value(o + "16.0\\PowerPoint\\File MRU", "Item 1");
    s.KeepValue(o + "16.0\\Word\\Options", "Kept");
    s.KeepValue(o + "16.0\\Excel\\User MRU\\ADAL_1", "Kept");
    s.KeepValue(o + "16.0\\Common", "Kept");
    s.Value("Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\Recent Web List", "Url1");
    s.KeepValue("Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer", "Kept");

    // Messengers.
    RegSetString(kCU, "Software\\Microsoft\\MSNMessenger\\PerPassportSettings\\a1", "MessageLogPath",
                 msnLogs.Path());
    s.File(msnLogs / "friend1234.xml", 400);
    s.File(received / "photo.jpg", 400);
    s.KeepFolder(received.Path());
    s.KeepFile(DocumentsPath() + "QvMsnBeside\\kept.txt");
    s.File(yahoo / "Messenger\\ypager.log", 100);
    s.File(yahoo / "Messenger\\Profiles\\someone\\Archive\\m.dat", 100);
    s.KeepFile(yahoo / "Messenger\\YahooMessenger.exe");
    s.File(skype / "alice\\chatmsg256.dbb", 100);
    s.KeepFile(skype / "alice\\main.db");
  }
  ~AppScene() { RemoveTree(DocumentsPath() + "QvMsnBeside"); }

  // Entries a Test counts: every file and value, the history in places and visits, and the Office
  // files twice.
  int Counted() const { return (int)s.traces.size() - 2 + historyCount + countedTwice; }

  OwnedFolder roamingMozilla{AppDataPath() + "Mozilla"};
  OwnedFolder localMozilla{LocalAppDataPath() + "Mozilla"};
  OwnedFolder netscape{AppDataPath() + "Netscape"};
  OwnedFolder opera{AppDataPath() + "Opera"};
  OwnedFolder localOpera{LocalAppDataPath() + "Opera"};
  OwnedFolder office{AppDataPath() + "Microsoft\\Office"};
  OwnedKey officeKey{"Software\\Microsoft\\Office"};
  OwnedKey frontPageKey{"Software\\Microsoft\\FrontPage"};
  OwnedKey msnKey{"Software\\Microsoft\\MSNMessenger"};
  OwnedFolder msnLogs{DocumentsPath() + "QvMsnLogs"};
  OwnedFolder received{DocumentsPath() + "My Received Files"};
  OwnedFolder yahoo{ProgramFilesPath() + "Yahoo!"};
  OwnedFolder skype{AppDataPath() + "Skype"};
  std::string places, workPlaces, oldPlaces;
  int countedTwice = 0, historyCount = 0;
  Scene s;
};

TEST(AppsRun, CleanOnceFromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  TestWindow window;
  AppScene scene;
  ASSERT_NO_FATAL_FAILURE(scene.s.ExpectSetUp());
  const std::vector<std::string> items = Items();
  ASSERT_EQ(items.size(), 5u + 6u + 7u + 6u + 5u);
  {
    // The program cleans only what a Test here finds: the traces and nothing else.
    MessageRecorder messages;
    ASSERT_TRUE(window.Run(items, qv::rmTest));
    ASSERT_EQ(window.FinishedCount, 1);
    ASSERT_EQ(window.FinishedTotal, (unsigned)scene.Counted());
    scene.s.ExpectUntouched();
  }

  const std::string ini = qv::ExeFolder() + "settings.ini";
  DeleteFileW(qv::Widen(ini).c_str());
  std::vector<std::string> ticked(std::begin(kCategories), std::end(kCategories));
  for (const auto& i : items) ticked.push_back(i);
  WriteProgramSettings(ini, ticked);

  EXPECT_EQ(RunProgram(exe, "-cleanonce", 120000), 0);
  scene.s.ExpectCleaned();
  for (const std::string& db : {scene.places, scene.workPlaces}) {
    EXPECT_EQ(CountRows(db, "moz_historyvisits"), "0");
    EXPECT_EQ(CountRows(db, "moz_places"), std::to_string(kPlacesBound));
    EXPECT_EQ(CountRows(db, "moz_bookmarks"), "3");
  }
  EXPECT_EQ(CountRows(scene.oldPlaces, "moz_historyvisits"), std::to_string(kPlacesVisits));
  DeleteFileW(qv::Widen(ini).c_str());
}

}  // namespace
