#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "cleaners/Cleaners.h"
#include "base/Global.h"
#include "base/Handles.h"
#include "base/ProfileDocument.h"
#include "base/Settings.h"
#include "base/UserFiles.h"
#include "engine/Catalogue.h"
#include "support/Sandbox.h"

using qv::OptionsSetting;
using qv::TCatalogue;

namespace {

struct FakeWindow : qv::IWindowPlacement {
  bool haveShowCmd = true;
  int showCmd = 1;
  int left = 10, top = 20, width = qv::kDesignWidth, height = qv::kDesignHeight;
  bool GetShowCommand(int& cmd) override {
    cmd = showCmd;
    return haveShowCmd;
  }
  void GetBounds(int& l, int& t, int& w, int& h) override {
    l = left;
    t = top;
    w = width;
    h = height;
  }
  int ScreenWidth() override { return 1280; }
  int ScreenHeight() override { return 1024; }
};

class Settings : public ::testing::Test {
 protected:
  Settings() : dir_("settings"), path_(dir_ / "settings.ini") { OptionsSetting = qv::TOptionsSetting(); }
  std::string Raw() { return qvtest::ReadTextFile(path_); }
  void Load(TCatalogue& c) { qv::LoadOrSaveSettings(true, c, window_, path_); }
  void Save(TCatalogue& c) { qv::LoadOrSaveSettings(false, c, window_, path_); }
  void Write(const std::string& text) { qvtest::WriteTextFile(path_, text); }

  qvtest::SandboxFolder dir_;
  std::string path_;
  FakeWindow window_;
};

}  // namespace

TEST_F(Settings, MissingFileGivesTheDefaults) {
  TCatalogue c = qv::BuiltinCatalogue();
  c.SelectAll(qv::csTicked);
  EXPECT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfMissing);
  auto& o = OptionsSetting;
  EXPECT_TRUE(o.AskForSweep);
  EXPECT_FALSE(o.OverwriteFile);
  EXPECT_EQ(o.OverwriteNumber, 1);
  EXPECT_FALSE(o.EnableHotkey);
  EXPECT_TRUE(o.Hotkey.IsCtrl);
  EXPECT_FALSE(o.Hotkey.IsShift);
  EXPECT_FALSE(o.Hotkey.IsAlt);
  EXPECT_EQ(o.Hotkey.CharString, "F5");
  EXPECT_EQ(o.Hotkey.CharAscII, 116);
  EXPECT_FALSE(o.AutoWash);
  EXPECT_EQ(o.WashInterval, 0);
  EXPECT_FALSE(o.StartWash);
  EXPECT_FALSE(o.ShutdownWash);
  ASSERT_EQ(o.FirstNodeExpand.size(), c.Categories.size());
  for (const auto& cat : c.Categories) EXPECT_TRUE(o.FirstNodeExpand[cat.CategoryId]) << cat.Text;
  EXPECT_FALSE(o.ShowLogTempInternetFiles);
  EXPECT_FALSE(o.ShowLogRecycleBin);
  EXPECT_TRUE(o.FastScan);
  EXPECT_EQ(o.State, qv::wsNormal);
  EXPECT_EQ(o.Left, (1280 - 704) / 2);
  EXPECT_EQ(o.Top, (1024 - 507) / 2);
  EXPECT_EQ(o.Width, 704);
  EXPECT_EQ(o.Height, 507);
  EXPECT_TRUE(c.TickedNames().empty());
  EXPECT_FALSE(qv::FileExists(path_));  // loading never creates the file
}

TEST_F(Settings, SaveWritesEveryKeyInOrderAndLoadsItBack) {
  auto& o = OptionsSetting;
  TCatalogue defaults = qv::BuiltinCatalogue();
  Load(defaults);
  o.AskForSweep = false;
  o.OverwriteFile = true;
  o.OverwriteNumber = 7;
  o.EnableHotkey = true;
  o.Hotkey = {true, true, false, "Q", 'Q'};
  o.AutoWash = true;
  o.WashInterval = 3;
  o.StartWash = true;
  o.ShutdownWash = true;
  o.FirstNodeExpand[4] = false;
  o.ShowLogRecycleBin = true;
  o.FastScan = false;
  TCatalogue c = qv::BuiltinCatalogue();
  c.TickByName("Internet Explorer - Cookies");
  c.TickByName("Netscape - Cookies");
  c.TickByName("Netscape");
  window_ = FakeWindow();
  window_.left = 33;
  window_.top = 44;
  window_.width = 800;
  window_.height = 600;
  Save(c);

  // One flag per category, under its id; only the fourth is folded.
  std::string expand;
  for (int id : c.CategoryIds()) expand += std::to_string(id) + (id == 4 ? "=0\r\n" : "=1\r\n");
  EXPECT_EQ(Raw(),
            "[Settings]\r\nAskForSweep=0\r\nOverwriteFile=1\r\nOverwriteNumber=7\r\n"
            "ShowLogTempInternetFiles=0\r\nShowLogRecycleBin=1\r\nFastScan=0\r\n"
            "[Hotkey]\r\nEnableHotkey=1\r\nIsCtrl=1\r\nIsShift=1\r\nIsAlt=0\r\nCharString=Q\r\nCharAscII=81\r\n"
            "[SChedule]\r\nAutoWash=1\r\nWashInterval=3\r\nStartWash=1\r\nShutdownWash=1\r\n"
            "[NodeSelected]\r\n1=Internet Explorer - Cookies\r\n2=Netscape\r\n3=Netscape - Cookies\r\nSelectedCount=3\r\n"
            "[FirstNodeExpand]\r\n" + expand +
            "[Window]\r\nState=1\r\nLeft=33\r\nTop=44\r\nWidth=800\r\nHeight=600\r\n");

  o = qv::TOptionsSetting();
  TCatalogue back = qv::BuiltinCatalogue();
  Load(back);
  EXPECT_FALSE(o.AskForSweep);
  EXPECT_TRUE(o.OverwriteFile);
  EXPECT_EQ(o.OverwriteNumber, 7);
  EXPECT_TRUE(o.EnableHotkey);
  EXPECT_EQ(qv::ShortcutToText(o.Hotkey, false), "Ctrl+Shift+Q");
  EXPECT_EQ(o.Hotkey.CharAscII, 'Q');
  EXPECT_TRUE(o.AutoWash);
  EXPECT_EQ(o.WashInterval, 3);
  EXPECT_TRUE(o.StartWash && o.ShutdownWash && o.ShowLogRecycleBin);
  EXPECT_FALSE(o.FastScan || o.ShowLogTempInternetFiles);
  EXPECT_FALSE(o.FirstNodeExpand[4]);
  EXPECT_TRUE(o.FirstNodeExpand[5]);
  EXPECT_EQ(back.TickedNames(), c.TickedNames());
  EXPECT_EQ(o.Left, 33);
  EXPECT_EQ(o.Top, 44);
  EXPECT_EQ(o.Width, 800);
  EXPECT_EQ(o.Height, 600);
}

TEST_F(Settings, SelectionRestoreRules) {
  // Keys above SelectedCount are stale and ignored; missing keys, wrong case and unknown names tick nothing;
  // a category comes back ticked on its own entry alone; blanks and one pair of quotes around a name
  // are not part of it; a key given twice counts with its first line.
  Write("[NodeSelected]\r\nSelectedCount=6\r\n1=Windows\r\n2=windows - start run\r\n3=Gone - Item\r\n"
        "4=Internet Explorer - Cookies\r\n7=Opera - Cookies\r\n 5 =  \"Windows - Clipboard\" \r\n4=Opera - Transfers\r\n");
  TCatalogue c = qv::BuiltinCatalogue();
  c.TickByName("Opera - Transfers");  // cleared by the load
  Load(c);
  EXPECT_EQ(c.TickedNames(),
            (std::vector<std::string>{"Internet Explorer - Cookies", "Windows", "Windows - Clipboard"}));
  EXPECT_EQ(OptionsSetting.SelectedCount, 6);

  // A smaller selection saved over a larger one leaves the old keys behind, bounded by SelectedCount.
  c.SelectAll(qv::csUnticked);
  c.TickByName("Opera - Cookies");
  Save(c);
  const std::string raw = Raw();
  EXPECT_NE(raw.find("1=Opera - Cookies"), std::string::npos);
  EXPECT_NE(raw.find("4=Internet Explorer - Cookies"), std::string::npos);
  TCatalogue again = qv::BuiltinCatalogue();
  Load(again);
  EXPECT_EQ(again.TickedNames(), (std::vector<std::string>{"Opera - Cookies"}));
}

TEST_F(Settings, IntegerBoundsAndFormats) {
  struct Case {
    const char* stored;
    int overwriteNumber;
  } cases[] = {{"0", 1}, {"11", 1}, {"-3", 1}, {"10", 10}, {"1", 1}, {"0x5", 5}, {"$A", 10}, {"abc", 1}, {"", 1}};
  for (const auto& k : cases) {
    Write(std::string("[Settings]\r\nOverwriteNumber=") + k.stored + "\r\nFastScan=7\r\n[Hotkey]\r\nCharAscII=0x10074\r\n");
    TCatalogue c = qv::BuiltinCatalogue();
    Load(c);
    EXPECT_EQ(OptionsSetting.OverwriteNumber, k.overwriteNumber) << k.stored;
    EXPECT_TRUE(OptionsSetting.FastScan);               // any non-zero value is true
    EXPECT_EQ(OptionsSetting.Hotkey.CharAscII, 0x74);  // low 16 bits kept
  }
}

TEST_F(Settings, WindowStateRules) {
  // Maximized: the bounds are not read and keep their previous values.
  Write("[Window]\r\nState=3\r\nLeft=1\r\nTop=2\r\nWidth=300\r\nHeight=200\r\n");
  OptionsSetting.Left = 5;
  OptionsSetting.Width = 0;
  TCatalogue c = qv::BuiltinCatalogue();
  Load(c);
  EXPECT_EQ(OptionsSetting.State, qv::wsMaximized);
  EXPECT_EQ(OptionsSetting.Left, 5);
  EXPECT_EQ(OptionsSetting.Width, 0);

  // Saved while minimized: the stored bounds come back as they are.
  OptionsSetting = qv::TOptionsSetting();
  Write("[Window]\r\nState=2\r\nLeft=-32000\r\nTop=-32000\r\nWidth=160\r\nHeight=28\r\n");
  Load(c);
  EXPECT_EQ(OptionsSetting.State, qv::wsNormal);
  EXPECT_EQ(OptionsSetting.Left, -32000);
  EXPECT_EQ(OptionsSetting.Height, 28);

  // No placement available: State is not written, the bounds are.
  window_.haveShowCmd = false;
  qvtest::RemoveTree(dir_.Path());
  qvtest::MakeDirs(dir_.Path());
  Save(c);
  EXPECT_EQ(Raw().find("State="), std::string::npos);
  EXPECT_NE(Raw().find("Left=10"), std::string::npos);
}

// A refused save names the file and leaves it exactly as it was: the keys are written into a copy
// that replaces the file whole, or not at all.
TEST_F(Settings, RefusedWriteNamesTheFileAndLeavesItWhole) {
  TCatalogue c = qv::BuiltinCatalogue();
  ASSERT_TRUE(c.TickByName("Windows - Start Run"));
  OptionsSetting.OverwriteFile = true;
  Save(c);
  const std::string before = Raw();
  ASSERT_NE(before.find("OverwriteFile=1"), std::string::npos);

  // Another program holds the file open without sharing it.
  HANDLE held = CreateFileW(qv::ToWinPath(path_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  OptionsSetting.OverwriteFile = false;
  c.UntickAll();
  try {
    Save(c);
    ADD_FAILURE() << "expected a write error";
  } catch (const qv::ESettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path_);
  }
  CloseHandle(held);
  EXPECT_EQ(Raw(), before);
  // Nothing is left beside it.
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(qv::ToWinPath(dir_ / "*").c_str(), &fd);
  int files = 0;
  do files += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY); while (FindNextFileW(find, &fd));
  FindClose(find);
  EXPECT_EQ(files, 1);

  // A first save into a user-files folder that does not exist yet makes it.
  const std::string fresh = dir_ / "Quorvane\\settings.ini";
  qv::LoadOrSaveSettings(false, c, window_, fresh);
  EXPECT_TRUE(qv::FileExists(fresh));
}

// Copies saving at the same moment never mix their keys: every save leaves a whole file.
TEST_F(Settings, ConcurrentSavesLeaveAWholeFile) {
  std::vector<std::thread> writers;
  std::atomic<bool> failed{false};
  for (int w = 0; w < 2; ++w)
    writers.emplace_back([&, w] {
      TCatalogue c = qv::BuiltinCatalogue();
      c.TickByName(w ? "Windows - Start Run" : "Windows - Clipboard");
      FakeWindow window;
      for (int i = 0; i < 20; ++i) {
        try {
          qv::LoadOrSaveSettings(false, c, window, path_);
        } catch (...) {
          failed = true;
        }
      }
    });
  for (auto& t : writers) t.join();
  EXPECT_FALSE(failed);
  const std::string raw = Raw();
  for (const char* key : {"AskForSweep=", "OverwriteNumber=", "CharAscII=", "SelectedCount=1", "FastScan=", "Height="})
    EXPECT_NE(raw.find(key), std::string::npos) << key;
  TCatalogue back = qv::BuiltinCatalogue();
  Load(back);
  EXPECT_EQ(back.BuildRunList().size(), 1u);
}

// A stored count far larger than the keys the section holds costs nothing: only the keys there are
// read (the old loop asked for every number up to the count).
TEST_F(Settings, HugeSelectedCountReadsOnlyTheKeysPresent) {
  Write("[NodeSelected]\r\n1=Windows - Start Run\r\n7=Windows - Clipboard\r\nx=Windows - Memory Dumps\r\n"
        "SelectedCount=2147483647\r\n");
  TCatalogue c = qv::BuiltinCatalogue();
  Load(c);
  EXPECT_EQ(c.BuildRunList(), (std::vector<std::string>{"Windows - Start Run", "Windows - Clipboard"}));
  EXPECT_EQ(OptionsSetting.SelectedCount, 2147483647);
}

// Settings that exist but cannot be read as settings are neither used nor touched: the load gives
// the defaults and no ticks, says so, and leaves every byte of the file as it was.
TEST_F(Settings, UnreadableSettingsAreNeitherUsedNorTouched) {
  std::string random(4096, '\0');
  std::minstd_rand gen(1234);
  for (char& b : random) b = (char)(gen() & 0xFF);
  // What a valid file says, so that a load that used any of it would show.
  const std::string valid = "[Settings]\r\nFastScan=0\r\n[NodeSelected]\r\nSelectedCount=1\r\n1=Windows - Start Run\r\n";
  std::string utf16NoMark;
  for (char ch : valid) utf16NoMark += std::string(1, ch) + '\0';
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"zero bytes", ""},
      {"random bytes", random},
      {"UTF-16 without its mark", utf16NoMark},
      {"UTF-16 with an odd byte", "\xFF\xFE" + utf16NoMark + "x"},
      {"UTF-8 mark before bytes that are no UTF-8", "\xEF\xBB\xBF" + valid + "\xC0\xAF\r\n"},
      {"text with no section", "FastScan=0\r\n; a note\r\n\r\n"},
      {"a control character", valid + "\x01\r\n"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Write(k.bytes);
    OptionsSetting = qv::TOptionsSetting();
    TCatalogue c = qv::BuiltinCatalogue();
    c.TickByName("Windows - Clipboard");
    EXPECT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfUnreadable);
    EXPECT_TRUE(c.TickedNames().empty());
    EXPECT_TRUE(OptionsSetting.FastScan);
    EXPECT_EQ(OptionsSetting.OverwriteNumber, 1);
    EXPECT_EQ(Raw(), k.bytes);
  }

  // Held open by another program without sharing: the same, and the file is still there after.
  Write(valid);
  {
    qv::TFileHandle held(CreateFileW(qv::ToWinPath(path_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    TCatalogue c = qv::BuiltinCatalogue();
    EXPECT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfUnreadable);
    EXPECT_TRUE(c.TickedNames().empty());
    EXPECT_TRUE(OptionsSetting.FastScan);
  }
  EXPECT_EQ(Raw(), valid);
  TCatalogue c = qv::BuiltinCatalogue();
  EXPECT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfLoaded);
  EXPECT_EQ(c.TickedNames(), std::vector<std::string>{"Windows - Start Run"});
  EXPECT_FALSE(OptionsSetting.FastScan);
}

// Every form a profile file may be written in is read, and a save keeps that form; a text that is
// no longer plain ASCII and had no mark of its own is saved as UTF-16 with its mark, so that no
// letter of an item's name is lost.
TEST_F(Settings, EveryTextFormIsReadAndKept) {
  const std::string name = "Applications - Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €"
  const std::string text = "[Settings]\r\nFastScan=0\r\n[NodeSelected]\r\nSelectedCount=1\r\n1=" + name + "\r\n";
  const auto utf16 = [](const std::string& utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t ch : qv::Widen(utf8)) {
      const char lo = (char)(ch & 0xFF), hi = (char)(ch >> 8);
      out += bigEndian ? hi : lo;
      out += bigEndian ? lo : hi;
    }
    return out;
  };
  struct Case {
    const char* what;
    std::string bytes;
    qv::TProfileEncoding saved;
  } cases[] = {
      {"UTF-16 little endian", utf16(text, false), qv::peUtf16Le},
      {"UTF-16 big endian", utf16(text, true), qv::peUtf16Be},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + text, qv::peUtf8Bom},
      {"UTF-8 without a mark", text, qv::peUtf16Le},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Write(k.bytes);
    TCatalogue c = qv::BuiltinCatalogue();
    c.AddWinapp2Items({{"Caf\xC3\xA9 \xE2\x82\xAC", false}}, "winapp2.ini");
    ASSERT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfLoaded);
    EXPECT_EQ(c.TickedNames(), (std::vector<std::string>{name}));
    EXPECT_FALSE(OptionsSetting.FastScan);

    c.TickByName("Windows - Start Run");
    Save(c);
    qv::TProfileDocument saved;
    ASSERT_TRUE(qv::TProfileDocument::FromBytes(Raw(), saved));
    EXPECT_EQ(saved.Encoding(), k.saved);
    EXPECT_EQ(saved.ReadString("NodeSelected", "1", ""), "Windows - Start Run");
    EXPECT_EQ(saved.ReadString("NodeSelected", "2", ""), name);
    // The platform's own profile calls read the saved file the same way.
    EXPECT_EQ(qv::IniReadString(path_, "NodeSelected", "2", ""), name);
  }

  // A plain ASCII file stays plain bytes.
  Write("[Settings]\r\nFastScan=0\r\n");
  TCatalogue c = qv::BuiltinCatalogue();
  Load(c);
  Save(c);
  EXPECT_EQ(Raw().compare(0, 12, "[Settings]\r\n"), 0);
}

// A save changes only the keys it writes: comments, unknown keys and sections, blank lines and the
// spelling of a key already there stay; a new key goes after the last line of its section.
TEST_F(Settings, SaveKeepsEveryOtherLine) {
  Write("; kept by hand\r\n"
        "[Settings]\r\n"
        "askforsweep = 1\r\n"
        "Unknown=\"kept\"\r\n"
        "\r\n"
        "[Extra]\r\n"
        "; a note\r\n"
        "Mine=1\r\n"
        "\r\n"
        "[NodeSelected]\r\n"
        "SelectedCount=3\r\n"
        "3=Opera - Cookies\r\n");
  TCatalogue c = qv::BuiltinCatalogue();
  Load(c);
  EXPECT_TRUE(OptionsSetting.AskForSweep);
  OptionsSetting.AskForSweep = false;
  c.UntickAll();
  c.TickByName("Windows - Start Run");
  Save(c);
  const std::string raw = Raw();
  const std::string head =
      "; kept by hand\r\n"
      "[Settings]\r\n"
      "askforsweep=0\r\n"
      "Unknown=\"kept\"\r\n"
      "OverwriteFile=0\r\n"
      "OverwriteNumber=1\r\n";
  EXPECT_EQ(raw.substr(0, head.size()), head);
  EXPECT_NE(raw.find("FastScan=1\r\n\r\n[Extra]\r\n; a note\r\nMine=1\r\n\r\n[NodeSelected]\r\n"
                     "SelectedCount=1\r\n3=Opera - Cookies\r\n1=Windows - Start Run\r\n"),
            std::string::npos)
      << raw;
  TCatalogue back = qv::BuiltinCatalogue();
  Load(back);
  EXPECT_EQ(back.TickedNames(), std::vector<std::string>{"Windows - Start Run"});
}

// A settings.ini of 10 MB (100,000 stored names) is read in one pass: the selection comes back,
// and a save keeps every one of its keys.
TEST_F(Settings, HundredThousandStoredNamesLoadAndStay) {
  std::string text = "[Settings]\r\nFastScan=0\r\n[NodeSelected]\r\nSelectedCount=100000\r\n";
  const std::string filler = std::string(80, 'x');
  for (int i = 1; i <= 100000; ++i) {
    const std::string value = i == 50000 ? "Windows - Clipboard" : i == 99999 ? "Opera" : "Gone - " + filler;
    text += std::to_string(i) + "=" + value + "\r\n";
  }
  ASSERT_GT(text.size(), 9u * 1000 * 1000);
  Write(text);
  TCatalogue c = qv::BuiltinCatalogue();
  ASSERT_EQ(qv::LoadSettingsFile(c, window_, path_), qv::sfLoaded);
  EXPECT_EQ(c.TickedNames(), (std::vector<std::string>{"Windows - Clipboard", "Opera"}));
  EXPECT_FALSE(OptionsSetting.FastScan);

  Save(c);
  qv::TProfileDocument saved;
  ASSERT_TRUE(qv::TProfileDocument::FromBytes(Raw(), saved));
  const std::vector<std::string> keys = saved.Keys("NodeSelected");
  EXPECT_EQ(keys.size(), 100001u);
  EXPECT_EQ(saved.ReadString("NodeSelected", "1", ""), "Windows - Clipboard");
  EXPECT_EQ(saved.ReadString("NodeSelected", "2", ""), "Opera");
  EXPECT_EQ(saved.ReadString("NodeSelected", "3", ""), "Gone - " + filler);
  EXPECT_EQ(saved.ReadString("NodeSelected", "SelectedCount", ""), "2");
}

// The document answers as the platform's profile calls answer: the first section of a name and
// the first key of a name in it, without regard to ASCII case, the value trimmed and unquoted.
TEST(ProfileDocument, FindsAsTheProfileCallsDo) {
  const std::string text =
      "top=outside\r\n[One]\r\nKey = \" spaced \" \r\nkey=second\r\nEmpty=\r\n;Commented=1\r\nnoequals\r\n"
      "[one]\r\nLater=1\r\n[Two]\r\nA=1\r\n";
  qvtest::SandboxFolder dir("profiledoc");
  qvtest::WriteTextFile(dir / "p.ini", text);
  const qv::TProfileDocument doc(text);
  struct Case {
    const char* section;
    const char* key;
  } cases[] = {{"One", "Key"},  {"ONE", "KEY"}, {"one", "Empty"}, {"One", "Commented"}, {"One", "noequals"},
               {"One", "Later"}, {"Two", "a"},  {"Three", "A"}};
  for (const auto& k : cases) {
    std::string value;
    const bool found = doc.Find(k.section, k.key, value);
    const std::string platform = qv::IniReadString(dir / "p.ini", k.section, k.key, "<none>");
    EXPECT_EQ(found ? value : "<none>", platform) << k.section << "/" << k.key;
  }
  EXPECT_EQ(doc.Keys("One"), (std::vector<std::string>{"Key", "key", "Empty"}));
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"One", "one", "Two"}));
}

// The settings writer never keeps its lock past a failure: a save that throws halfway leaves the
// next writer, on another thread, free to write, and leaves no file of its own behind.
TEST_F(Settings, AFailedWriteLetsTheNextWriterIn) {
  Write("[Settings]\r\nFastScan=1\r\n");
  EXPECT_THROW(qv::RewriteProfileFile(path_, [](const std::string&) -> bool { throw std::runtime_error("fails"); }),
               std::runtime_error);
  bool written = false;
  std::thread other([&] {
    written = qv::RewriteUserFile(path_, [](const std::string* current, std::string& replacement) {
      replacement = *current + "[Window]\r\nState=1\r\n";
      return true;
    });
  });
  other.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(Raw(), "[Settings]\r\nFastScan=1\r\n[Window]\r\nState=1\r\n");
  WIN32_FIND_DATAW fd;
  qv::TFindHandle find(FindFirstFileW(qv::ToWinPath(dir_ / "*.new-*").c_str(), &fd));
  EXPECT_FALSE(find.Valid()) << qv::Narrow(fd.cFileName);
}

// The owners close what they hold when they go, once, and a moved owner closes nothing.
TEST(Handles, CloseWhenTheyGoAndOnlyOnce) {
  qvtest::SandboxFolder dir("handles");
  const std::wstring file = qv::ToWinPath(dir / "f.txt");
  qvtest::WriteTextFile(dir / "f.txt", "x");
  const auto openAlone = [&] {
    return qv::TFileHandle(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  qv::TFileHandle outer;
  {
    qv::TFileHandle first = openAlone();
    ASSERT_TRUE(first.Valid());
    EXPECT_FALSE(openAlone().Valid()) << "held without sharing";
    outer = std::move(first);
    EXPECT_FALSE(first.Valid());
  }
  EXPECT_FALSE(openAlone().Valid()) << "the moved-to owner still holds it";
  outer.Reset();
  EXPECT_TRUE(openAlone().Valid());

  // A mutex lock is released when the lock goes, also through an exception.
  qv::TKernelHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  try {
    qv::TMutexLock lock(mutex.Get(), 1000);
    ASSERT_TRUE(lock.Owned());
    throw 1;
  } catch (int) {
  }
  bool free = false;
  std::thread([&] {
    qv::TMutexLock lock(mutex.Get(), 0);
    free = lock.Owned();
  }).join();
  EXPECT_TRUE(free);
}

// Where the user's files live: beside a portable or writable copy, else in AppData; an older copy's
// settings beside the program are still read.
TEST(UserFiles, FolderChoiceAndOldCopies) {
  struct Case {
    bool marker, writable;
    std::string appData, expected;
  } cases[] = {
      {true, false, "C:\\AppData\\Quorvane", "C:\\Program Files\\Quorvane\\"},
      {false, true, "C:\\AppData\\Quorvane", "C:\\Program Files\\Quorvane\\"},
      {false, false, "C:\\AppData\\Quorvane", "C:\\AppData\\Quorvane\\"},
      {false, false, "", "C:\\Program Files\\Quorvane\\"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qv::ChooseUserFilesFolder("C:\\Program Files\\Quorvane\\", c.marker, c.writable, c.appData), c.expected)
        << c.marker << c.writable << c.appData;

  // Under Wine the test's folder is writable: the user files live beside it.
  EXPECT_EQ(qv::UserFilesFolder(), qv::ExeFolder());
  qvtest::SandboxFolder appData("appdata");
  qv::SetUserFilesFolderForTesting(appData / "Quorvane");
  const std::string old = qv::ExeFolder() + "settings.ini";
  qvtest::WriteTextFile(old, "[Settings]\r\nFastScan=0\r\n");
  EXPECT_EQ(qv::SettingsPath(), appData / "Quorvane\\settings.ini");
  EXPECT_EQ(qv::SettingsSourcePath(), old);
  qvtest::WriteTextFile(appData / "Quorvane\\settings.ini", "[Settings]\r\nFastScan=1\r\n");
  EXPECT_EQ(qv::SettingsSourcePath(), appData / "Quorvane\\settings.ini");
  qv::SetUserFilesFolderForTesting("");
  DeleteFileW(qv::Widen(old).c_str());
}

TEST(SettingsHelpers, IntervalsAndShortcutTexts) {
  const std::pair<uint32_t, int32_t> intervals[] = {{0, 900000},  {1, 1800000}, {2, 3600000},    {3, 14400000},
                                                    {4, 28800000}, {5, 900000},  {7, 900000}, {0xFFFFFFFF, 900000}};
  for (const auto& i : intervals) EXPECT_EQ(qv::IntervalToMilliseconds(i.first), i.second) << i.first;

  struct Case {
    qv::TShortcut key;
    bool spaced;
    const char* text;
  } cases[] = {
      {{true, true, false, "F5", 116}, true, "Ctrl  Shift  F5"},
      {{true, true, false, "F5", 116}, false, "Ctrl+Shift+F5"},
      {{true, false, true, "Q", 'Q'}, false, "Ctrl+Alt+Q"},
      {{false, false, false, "F12", 123}, true, "F12"},
      {{true, true, true, "A", 'A'}, false, "Ctrl+Shift+Alt+A"},
  };
  for (const auto& k : cases) EXPECT_EQ(qv::ShortcutToText(k.key, k.spaced), k.text);
}
