#include "base/Settings.h"

#include <algorithm>
#include <climits>
#include <variant>

#include "base/Global.h"
#include "base/ProfileDocument.h"
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

// ---------------------------------------------------------------------------------------------
// The keys of settings.ini, each declared once with its type and default, in the order a save
// writes them (the order in which a new file holds them). Loading reads them in the same order.

template <class T>
using TFieldOf = T& (*)(TOptionsSetting&);

#define QV_FIELD(type, member) [](TOptionsSetting& o) -> type& { return o.member; }

// "1" or "0"; any integer but 0 reads as true.
struct TBoolKey {
  TFieldOf<bool> Field;
  bool Default;
};
// Decimal; a value outside Min..Max loads as the default.
struct TIntKey {
  TFieldOf<int32_t> Field;
  int32_t Default, Min, Max;
};
// An integer of which the low 16 bits are kept.
struct TWordKey {
  TFieldOf<uint16_t> Field;
  uint16_t Default;
};
struct TTextKey {
  TFieldOf<std::string> Field;
  const char* Default;
};
// The ticked nodes: keys "1".."SelectedCount" and "SelectedCount" of their section.
struct TSelectionKeys {};
// One flag per category, under its CategoryId.
struct TExpandKeys {};
// The window's show command (1 normal, 2 minimized, 3 maximized; only 3 is kept, as the
// maximized state, and then no bounds are read); saved from the window, when it can tell it.
struct TShowStateKey {};
// A bound of the window: loaded into the record (its default from the window and the screen) and
// saved from the window as it stands.
struct TBoundKey {
  TFieldOf<int32_t> Field;
  int (*Default)(IWindowPlacement&);
  int (*Current)(IWindowPlacement&);
};

struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  explicit TBounds(IWindowPlacement& w) { w.GetBounds(Left, Top, Width, Height); }
};

struct TSettingKey {
  const char* Section;
  const char* Key;  // null for the groups of keys
  std::variant<TBoolKey, TIntKey, TWordKey, TTextKey, TSelectionKeys, TExpandKeys, TShowStateKey, TBoundKey> Type;
};

const char* const kSelection = "NodeSelected";
const char* const kSelectedCount = "SelectedCount";

const TSettingKey kKeys[] = {
    {"Settings", "AskForSweep", TBoolKey{QV_FIELD(bool, AskForSweep), true}},
    {"Settings", "OverwriteFile", TBoolKey{QV_FIELD(bool, OverwriteFile), false}},
    {"Settings", "OverwriteNumber", TIntKey{QV_FIELD(int32_t, OverwriteNumber), 1, 1, 10}},
    {"Hotkey", "EnableHotkey", TBoolKey{QV_FIELD(bool, EnableHotkey), false}},
    {"Hotkey", "IsCtrl", TBoolKey{QV_FIELD(bool, Hotkey.IsCtrl), true}},
    {"Hotkey", "IsShift", TBoolKey{QV_FIELD(bool, Hotkey.IsShift), false}},
    {"Hotkey", "IsAlt", TBoolKey{QV_FIELD(bool, Hotkey.IsAlt), false}},
    {"Hotkey", "CharString", TTextKey{QV_FIELD(std::string, Hotkey.CharString), "F5"}},
    {"Hotkey", "CharAscII", TWordKey{QV_FIELD(uint16_t, Hotkey.CharAscII), 116}},
    {"SChedule", "AutoWash", TBoolKey{QV_FIELD(bool, AutoWash), false}},
    {"SChedule", "WashInterval", TIntKey{QV_FIELD(int32_t, WashInterval), 0, INT32_MIN, INT32_MAX}},
    {"SChedule", "StartWash", TBoolKey{QV_FIELD(bool, StartWash), false}},
    {"SChedule", "ShutdownWash", TBoolKey{QV_FIELD(bool, ShutdownWash), false}},
    {kSelection, nullptr, TSelectionKeys{}},
    {"FirstNodeExpand", nullptr, TExpandKeys{}},
    {"Settings", "ShowLogTempInternetFiles", TBoolKey{QV_FIELD(bool, ShowLogTempInternetFiles), false}},
    {"Settings", "ShowLogRecycleBin", TBoolKey{QV_FIELD(bool, ShowLogRecycleBin), false}},
    {"Settings", "FastScan", TBoolKey{QV_FIELD(bool, FastScan), true}},
    {"Window", "State", TShowStateKey{}},
    {"Window", "Left",
     TBoundKey{QV_FIELD(int32_t, Left), [](IWindowPlacement& w) { return (w.ScreenWidth() - TBounds(w).Width) / 2; },
               [](IWindowPlacement& w) { return TBounds(w).Left; }}},
    {"Window", "Top",
     TBoundKey{QV_FIELD(int32_t, Top), [](IWindowPlacement& w) { return (w.ScreenHeight() - TBounds(w).Height) / 2; },
               [](IWindowPlacement& w) { return TBounds(w).Top; }}},
    {"Window", "Width",
     TBoundKey{QV_FIELD(int32_t, Width), [](IWindowPlacement& w) { return TBounds(w).Width; },
               [](IWindowPlacement& w) { return TBounds(w).Width; }}},
    {"Window", "Height",
     TBoundKey{QV_FIELD(int32_t, Height), [](IWindowPlacement& w) { return TBounds(w).Height; },
               [](IWindowPlacement& w) { return TBounds(w).Height; }}},
};

#undef QV_FIELD

template <class... F>
struct TOverloaded : F... {
  using F::operator()...;
};
template <class... F>
TOverloaded(F...) -> TOverloaded<F...>;

// ---------------------------------------------------------------------------------------------
// Loading

struct TLoad {
  const TProfileDocument& File;
  TOptionsSetting& Options;
  ISelection& Selection;
  IWindowPlacement& Window;
};

void LoadSelection(const TLoad& l) {
  l.Selection.UntickAll();
  const int count = l.File.ReadInteger(kSelection, kSelectedCount, 0);
  l.Options.SelectedCount = count;
  // Keys "1".."SelectedCount", in order; a missing key ticks nothing. Only the keys the section
  // holds are read, so a count that is far too large costs nothing.
  // The section is read once: a key given twice counts with its first line, as a read of the key
  // would find it.
  std::vector<std::pair<int, std::string>> stored;
  for (auto& entry : l.File.Entries(kSelection)) {
    int n = 0;
    if (ParseProfileInteger(entry.first, n) && std::to_string(n) == entry.first && n >= 1 && n <= count)
      stored.emplace_back(n, std::move(entry.second));
  }
  std::stable_sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  stored.erase(std::unique(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
               stored.end());
  for (const auto& entry : stored) l.Selection.TickByName(entry.second);
}

void LoadKey(const TSettingKey& k, const TLoad& l) {
  TOptionsSetting& o = l.Options;
  const TProfileDocument& f = l.File;
  std::visit(TOverloaded{
                 [&](const TBoolKey& t) { t.Field(o) = f.ReadBool(k.Section, k.Key, t.Default); },
                 [&](const TIntKey& t) {
                   const int v = f.ReadInteger(k.Section, k.Key, t.Default);
                   t.Field(o) = v < t.Min || v > t.Max ? t.Default : v;
                 },
                 [&](const TWordKey& t) { t.Field(o) = (uint16_t)(f.ReadInteger(k.Section, k.Key, t.Default) & 0xFFFF); },
                 [&](const TTextKey& t) { t.Field(o) = f.ReadString(k.Section, k.Key, t.Default); },
                 [&](const TSelectionKeys&) { LoadSelection(l); },
                 [&](const TExpandKeys&) {
                   o.FirstNodeExpand.clear();
                   for (int id : l.Selection.CategoryIds())
                     o.FirstNodeExpand[id] = f.ReadBool(k.Section, std::to_string(id), true);
                 },
                 [&](const TShowStateKey&) {
                   if (f.ReadInteger(k.Section, "State", 1) == 3) o.State = wsMaximized;
                 },
                 [&](const TBoundKey& t) {
                   // A maximized window keeps the bounds it had.
                   if (o.State != wsMaximized) t.Field(o) = f.ReadInteger(k.Section, k.Key, t.Default(l.Window));
                 },
             },
             k.Type);
}

// ---------------------------------------------------------------------------------------------
// Saving

struct TSave {
  TProfileDocument& File;
  TOptionsSetting& Options;
  ISelection& Selection;
  IWindowPlacement& Window;
};

void SaveKey(const TSettingKey& k, const TSave& s) {
  TOptionsSetting& o = s.Options;
  TProfileDocument& f = s.File;
  const auto number = [&](const std::string& key, int value) { f.Write(k.Section, key, std::to_string(value)); };
  const auto flag = [&](const std::string& key, bool value) { f.Write(k.Section, key, value ? "1" : "0"); };
  std::visit(TOverloaded{
                 [&](const TBoolKey& t) { flag(k.Key, t.Field(o)); },
                 [&](const TIntKey& t) { number(k.Key, t.Field(o)); },
                 [&](const TWordKey& t) { number(k.Key, t.Field(o)); },
                 [&](const TTextKey& t) { f.Write(k.Section, k.Key, t.Field(o)); },
                 [&](const TSelectionKeys&) {
                   // The keys above the new count are left as they are: the count bounds a load.
                   o.SelectedCount = 0;
                   for (const std::string& name : s.Selection.TickedNames())
                     f.Write(k.Section, std::to_string(++o.SelectedCount), name);
                   number(kSelectedCount, o.SelectedCount);
                 },
                 [&](const TExpandKeys&) {
                   for (int id : s.Selection.CategoryIds()) {
                     auto it = o.FirstNodeExpand.find(id);
                     flag(std::to_string(id), it == o.FirstNodeExpand.end() || it->second);
                   }
                 },
                 [&](const TShowStateKey&) {
                   int showCmd;
                   if (s.Window.GetShowCommand(showCmd)) number("State", showCmd);
                 },
                 [&](const TBoundKey& t) { number(k.Key, t.Current(s.Window)); },
             },
             k.Type);
}

// False only when nothing at all is there by that name: a file the system refuses to describe
// counts as there.
bool SomethingAt(const std::string& path) {
  if (GetFileAttributesW(ToWinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

// A file that exists holds settings when it can be read, is text, and has a section.
bool ReadSettingsDocument(const std::string& path, TProfileDocument& document) {
  std::string bytes;
  return ReadFileBytes(path, bytes) && TProfileDocument::FromBytes(bytes, document) &&
         !document.SectionNames().empty();
}

}  // namespace

TSettingsFileState LoadSettingsFile(ISelection& selection, IWindowPlacement& window, const std::string& path) {
  TSettingsFileState state = sfMissing;
  TProfileDocument document;
  if (SomethingAt(path)) {
    state = ReadSettingsDocument(path, document) ? sfLoaded : sfUnreadable;
    // What cannot be read is not half used: the defaults, and no ticks.
    if (state == sfUnreadable) document = TProfileDocument();
  }
  const TLoad load{document, OptionsSetting, selection, window};
  for (const TSettingKey& k : kKeys) LoadKey(k, load);
  return state;
}

void SaveSettingsFile(ISelection& selection, IWindowPlacement& window, const std::string& path) {
  // The keys are set in the file's text as it stands at this moment, which then replaces the file
  // whole: a reader never sees a half-written file, and two copies of the program saving at once
  // cannot mix their keys.
  if (!RewriteUserFile(path, [&](const std::string* current, std::string& replacement) {
        TProfileDocument document;
        // A file that is no text is replaced by the settings alone.
        if (current) TProfileDocument::FromBytes(*current, document);
        const TSave save{document, OptionsSetting, selection, window};
        for (const TSettingKey& k : kKeys) SaveKey(k, save);
        replacement = document.ToBytes();
        return true;
      }))
    throw ESettingsWriteError("Unable to write to " + path);
}

void LoadOrSaveSettings(bool load, ISelection& selection, IWindowPlacement& window, const std::string& path) {
  if (load)
    LoadSettingsFile(selection, window, path);
  else
    SaveSettingsFile(selection, window, path);
}

}  // namespace qv
