// The settings record and settings.ini beside the executable.
#pragma once
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

struct TShortcut {
  bool IsCtrl = false;
  bool IsShift = false;
  bool IsAlt = false;
  std::string CharString;
  uint16_t CharAscII = 0;
};

enum TWindowState : uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

struct TOptionsSetting {
  bool AskForSweep = false;
  bool OverwriteFile = false;
  int32_t OverwriteNumber = 0;
  bool EnableHotkey = false;
  TShortcut Hotkey;
  bool AutoWash = false;
  int32_t WashInterval = 0;
  bool StartWash = false;
  bool ShutdownWash = false;
  int32_t SelectedCount = 0;
  // Whether each category of the tree is expanded, by its CategoryId; a category without an
  // entry is.
  std::map<int, bool> FirstNodeExpand;
  bool ShowLogTempInternetFiles = false;
  bool ShowLogRecycleBin = false;
  bool FastScan = false;
  TWindowState State = wsNormal;
  int32_t Left = 0, Top = 0;
  int32_t Height = 0, Width = 0;
};

// The one settings record of the process.
extern TOptionsSetting OptionsSetting;

// The ticked clean items as the settings store sees them (the catalogue).
class ISelection {
 public:
  virtual ~ISelection() = default;
  virtual void UntickAll() = 0;
  // Ticks the first node (depth first) whose name equals the text exactly; false when none does.
  virtual bool TickByName(const std::string& name) = 0;
  // Names of all ticked nodes in tree order: a category by its text, an item by its item name.
  virtual std::vector<std::string> TickedNames() const = 0;
  // The CategoryIds of the categories, in tree order: the store keeps an expanded flag for each.
  virtual std::vector<int> CategoryIds() const = 0;
};

// The main window as the settings store sees it.
class IWindowPlacement {
 public:
  virtual ~IWindowPlacement() = default;
  // The window's show command (1 normal, 2 minimized, 3 maximized); false when unavailable.
  virtual bool GetShowCommand(int& showCmd) = 0;
  virtual void GetBounds(int& left, int& top, int& width, int& height) = 0;
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
};

// A refused write: "Unable to write to <file>".
class ESettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// settings.ini in the user-files folder, where it is saved.
std::string SettingsPath();
// Where settings.ini is read from: the user-files folder's, or an older copy's beside the program.
std::string SettingsSourcePath();

// What a load found at its path.
enum TSettingsFileState {
  // No settings.ini: the defaults, nothing ticked. Only then may a winapp2.ini entry's Default=True
  // tick it.
  sfMissing,
  // settings.ini was read.
  sfLoaded,
  // settings.ini exists but holds nothing that can be read as settings: it is empty, is no text
  // (random bytes, UTF-16 without its byte-order mark), holds no section, or cannot be read at all
  // (held open by another program, refused). The defaults are loaded and nothing is ticked; nothing
  // may run with that selection, and the file must be left as it is (never saved over).
  sfUnreadable,
};

// Loads OptionsSetting and applies the stored selection and expanded flags to the catalogue,
// reading the file once.
TSettingsFileState LoadSettingsFile(ISelection& selection, IWindowPlacement& window,
                                    const std::string& path = SettingsPath());
// Saves OptionsSetting, the selection and the window placement into the file, keeping every
// other line of it, and replaces the file whole; throws ESettingsWriteError ("Unable to write to
// <file>") when the file cannot be read or replaced.
void SaveSettingsFile(ISelection& selection, IWindowPlacement& window, const std::string& path = SettingsPath());
// Load = true: LoadSettingsFile; Load = false: SaveSettingsFile.
void LoadOrSaveSettings(bool load, ISelection& selection, IWindowPlacement& window,
                        const std::string& path = SettingsPath());

int32_t IntervalToMilliseconds(uint32_t index);
std::string ShortcutToText(const TShortcut& shortcut, bool spaced);

// The main window's design size.
constexpr int kDesignWidth = 704;
constexpr int kDesignHeight = 507;

}  // namespace qv
