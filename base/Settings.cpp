#include "base/Settings.h"

#include <algorithm>

#include "base/Global.h"
#include "base/UserFiles.h"

namespace qv {

TOptionsSetting OptionsSetting;

std::string SettingsPath() { return UserFilePath("settings.ini"); }
std::string SettingsSourcePath() { return UserFileToRead("settings.ini"); }

int32_t IntervalToMilliseconds(uint32_t index) {
  switch (index) {
    case 1: return 1800000;
    case 2: return 3600000;
    case 3: return 14400000;
    case 4: return 28800000;
    default: return 900000;
  }
}

std::string ShortcutToText(const TShortcut& s, bool spaced) {
  const char* sep = spaced ? "  " : "+";
  std::string t;
  if (s.IsCtrl) t += std::string("Ctrl") + sep;
  if (s.IsShift) t += std::string("Shift") + sep;
  if (s.IsAlt) t += std::string("Alt") + sep;
  return t + s.CharString;
}

namespace {

class Writer {
 public:
  explicit Writer(const std::string& path) : path_(path) {}
  void Str(const char* section, const std::string& key, const std::string& value) {
    if (!IniWriteString(path_, section, key, value)) throw ESettingsWriteError("Unable to write to " + path_);
  }
  void Int(const char* section, const std::string& key, int value) { Str(section, key, std::to_string(value)); }
  void Bool(const char* section, const std::string& key, bool value) { Str(section, key, value ? "1" : "0"); }

 private:
  std::string path_;
};

void Load(ISelection& catalogue, IWindowPlacement& window, const std::string& f) {
  TOptionsSetting& o = OptionsSetting;
  o.AskForSweep = IniReadBool(f, "Settings", "AskForSweep", true);
  o.OverwriteFile = IniReadBool(f, "Settings", "OverwriteFile", false);
  o.OverwriteNumber = IniReadInteger(f, "Settings", "OverwriteNumber", 1);
  if (o.OverwriteNumber > 10 || o.OverwriteNumber < 1) o.OverwriteNumber = 1;
  o.EnableHotkey = IniReadBool(f, "Hotkey", "EnableHotkey", false);
  o.Hotkey.IsCtrl = IniReadBool(f, "Hotkey", "IsCtrl", true);
  o.Hotkey.IsShift = IniReadBool(f, "Hotkey", "IsShift", false);
  o.Hotkey.IsAlt = IniReadBool(f, "Hotkey", "IsAlt", false);
  o.Hotkey.CharString = IniReadString(f, "Hotkey", "CharString", "F5");
  o.Hotkey.CharAscII = (uint16_t)(IniReadInteger(f, "Hotkey", "CharAscII", 116) & 0xFFFF);
  o.AutoWash = IniReadBool(f, "SChedule", "AutoWash", false);
  o.WashInterval = IniReadInteger(f, "SChedule", "WashInterval", 0);
  o.StartWash = IniReadBool(f, "SChedule", "StartWash", false);
  o.ShutdownWash = IniReadBool(f, "SChedule", "ShutdownWash", false);

  catalogue.UntickAll();
  o.SelectedCount = IniReadInteger(f, "NodeSelected", "SelectedCount", 0);
  // Keys "1".."SelectedCount", in order; a missing key ticks nothing. Only the keys the section
  // holds are read, so a count that is far too large costs nothing.
  std::vector<int> numbers;
  for (const std::string& key : IniReadKeys(f, "NodeSelected")) {
    int n = 0;
    if (ParseProfileInteger(key, n) && std::to_string(n) == key && n >= 1 && n <= o.SelectedCount) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  for (int i : numbers) catalogue.TickByName(IniReadString(f, "NodeSelected", std::to_string(i), ""));

  for (int i = 1; i <= 10; ++i) o.FirstNodeExpand[i] = IniReadBool(f, "FirstNodeExpand", std::to_string(i), true);
  o.ShowLogTempInternetFiles = IniReadBool(f, "Settings", "ShowLogTempInternetFiles", false);
  o.ShowLogRecycleBin = IniReadBool(f, "Settings", "ShowLogRecycleBin", false);
  o.FastScan = IniReadBool(f, "Settings", "FastScan", true);

  if (IniReadInteger(f, "Window", "State", 1) == 3) {
    o.State = wsMaximized;
    return;
  }
  int left, top, width, height;
  window.GetBounds(left, top, width, height);
  o.Left = IniReadInteger(f, "Window", "Left", (window.ScreenWidth() - width) / 2);
  o.Top = IniReadInteger(f, "Window", "Top", (window.ScreenHeight() - height) / 2);
  o.Width = IniReadInteger(f, "Window", "Width", width);
  o.Height = IniReadInteger(f, "Window", "Height", height);
}

void Save(ISelection& catalogue, IWindowPlacement& window, const std::string& f) {
  TOptionsSetting& o = OptionsSetting;
  Writer w(f);
  w.Bool("Settings", "AskForSweep", o.AskForSweep);
  w.Bool("Settings", "OverwriteFile", o.OverwriteFile);
  w.Int("Settings", "OverwriteNumber", o.OverwriteNumber);
  w.Bool("Hotkey", "EnableHotkey", o.EnableHotkey);
  w.Bool("Hotkey", "IsCtrl", o.Hotkey.IsCtrl);
  w.Bool("Hotkey", "IsShift", o.Hotkey.IsShift);
  w.Bool("Hotkey", "IsAlt", o.Hotkey.IsAlt);
  w.Str("Hotkey", "CharString", o.Hotkey.CharString);
  w.Int("Hotkey", "CharAscII", o.Hotkey.CharAscII);
  w.Bool("SChedule", "AutoWash", o.AutoWash);
  w.Int("SChedule", "WashInterval", o.WashInterval);
  w.Bool("SChedule", "StartWash", o.StartWash);
  w.Bool("SChedule", "ShutdownWash", o.ShutdownWash);

  o.SelectedCount = 0;
  for (const std::string& name : catalogue.TickedNames()) {
    ++o.SelectedCount;
    w.Str("NodeSelected", std::to_string(o.SelectedCount), name);
  }
  w.Int("NodeSelected", "SelectedCount", o.SelectedCount);

  for (int i = 1; i <= 10; ++i) w.Bool("FirstNodeExpand", std::to_string(i), o.FirstNodeExpand[i]);
  w.Bool("Settings", "ShowLogTempInternetFiles", o.ShowLogTempInternetFiles);
  w.Bool("Settings", "ShowLogRecycleBin", o.ShowLogRecycleBin);
  w.Bool("Settings", "FastScan", o.FastScan);

  int showCmd;
  if (window.GetShowCommand(showCmd)) w.Int("Window", "State", showCmd);
  int left, top, width, height;
  window.GetBounds(left, top, width, height);
  w.Int("Window", "Left", left);
  w.Int("Window", "Top", top);
  w.Int("Window", "Width", width);
  w.Int("Window", "Height", height);
}

}  // namespace

void LoadOrSaveSettings(bool load, ISelection& catalogue, IWindowPlacement& window, const std::string& path) {
  if (load) {
    Load(catalogue, window, path);
    return;
  }
  // The keys are written into a copy that then replaces the file whole: a reader never sees a
  // half-written file, and two copies of the program saving at once cannot mix their keys.
  bool refused = false;
  if (!RewriteProfileFile(path, [&](const std::string& temporary) {
        try {
          Save(catalogue, window, temporary);
          return true;
        } catch (const ESettingsWriteError&) {
          refused = true;
          return false;
        }
      }) ||
      refused)
    throw ESettingsWriteError("Unable to write to " + path);
}

}  // namespace qv
