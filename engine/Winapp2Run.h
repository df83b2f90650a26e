// winapp2.ini on this system: where the file is, its %Variables%, which entries detect as present,
// and the run of one entry in a clean run. The entries' removals go through the primitives and
// their safety rules (FileRemoval.h, PatternRemoval.h, RegistryRemoval.h).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "engine/Winapp2.h"

namespace qv {

class TCleanRun;

// The winapp2.ini a user put in the user-files folder, else the one beside the program (the path
// is given whether the file exists or not).
std::string Winapp2FilePath();

// The folders winapp2.ini's variables stand for. %ProgramFiles% and %CommonProgramFiles% stand
// for both folders of each on 64-bit Windows. A name it does not know is looked up in the
// environment.
class TWinapp2Variables {
 public:
  static TWinapp2Variables FromSystem();
  // Every path the text stands for, variables replaced; none when a variable is unknown here
  // (its name, with its "%", goes to *unknown).
  std::vector<std::string> Expand(const std::string& path, std::string* unknown = nullptr) const;
  // Tests give a variable its folders (empty: unknown).
  void Set(const std::string& name, const std::vector<std::string>& folders);

 private:
  std::map<std::string, std::vector<std::string>> values_;  // by upper-cased name
};

// Windows' own major and minor version (not the one the compatibility layer reports).
void RealWindowsVersion(int& major, int& minor);

// True when the entry applies here: its DetectOS range holds, and it has no detection or one of
// its registry keys exists, one of its files exists, or one of its special detections finds its
// program.
// The probes keep what they have looked at, for many entries detected in one go.
class TPatternProbe;
class TRegistryProbe;
bool IsWinapp2EntryPresent(const TWinapp2Entry& entry, const TWinapp2Variables& variables,
                           TPatternProbe* probe = nullptr, TRegistryProbe* keys = nullptr);

// The entries of the file that are present, in file order (none when the file is missing).
struct TWinapp2Item {
  std::string Name;
  bool Default = false;
};
std::vector<TWinapp2Item> DetectWinapp2Entries(const std::string& file);

// Runs the entry of the winapp2.ini file that the item name selects, like RunDefinitionSection:
// sets ItemCount, ItemBytes and ItemSizeText, and says in the log a missing file or section and
// each line it cannot use. An entry with a Warning is cleaned in an attended Clean only when the
// user answers Yes to it; a Test notes the warning; an unattended run skips the entry. An entry
// with an exclusion that cannot be used is not cleaned at all.
void RunWinapp2Section(TCleanRun& run, const std::string& file, const std::string& itemName);

}  // namespace qv
