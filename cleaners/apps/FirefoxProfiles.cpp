#include "cleaners/apps/FirefoxProfiles.h"

#include <windows.h>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/PathSpelling.h"
#include "base/ProfileText.h"
#include "cleaners/apps/AppFolders.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

// A drive or network path.
bool IsFullPath(const std::string& path) {
  const TPathForm form = ReadPathSpelling(path).Form;
  return form == pfDrive || form == pfNetwork;
}

// The steps of a relative path written with "/" or "\"; false for a rooted path, a drive, or a
// "." or ".." step (Firefox writes none, and such a path could lead anywhere).
bool RelativeSteps(const std::string& path, std::string& joined) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos) return false;
  joined.clear();
  std::string step;
  auto flush = [&]() {
    if (step.empty()) return true;
    if (step == "." || step == "..") return false;
    joined += (joined.empty() ? "" : "\\") + step;
    step.clear();
    return true;
  };
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!flush()) return false;
    } else {
      step += c;
    }
  }
  return flush() && !joined.empty();
}

}  // namespace

std::vector<TFirefoxProfile> ParseFirefoxProfilesIni(const std::string& text, const std::string& firefoxFolder,
                                                     const std::string& localFirefoxFolder) {
  std::vector<TFirefoxProfile> profiles;
  for (const TProfileFileSection& section : ParseProfileFile(text).Sections) {
    if (!StartsWith(UpperCase(section.Name), "PROFILE")) continue;  // [General], [Install...]
    std::string path, relative;
    bool hasRelative = false;
    for (const TProfileLine& line : section.Lines) {
      if (line.Malformed) continue;
      if (SameText(line.Key, "Path")) path = line.Value;
      if (SameText(line.Key, "IsRelative")) {
        hasRelative = true;
        relative = line.Value;
      }
    }
    if (path.empty()) continue;
    // Without IsRelative, a full path is taken as written and anything else as relative.
    const bool isRelative = hasRelative ? relative == "1" : !IsFullPath(path);
    TFirefoxProfile p;
    if (isRelative) {
      std::string steps;
      if (firefoxFolder.empty() || !RelativeSteps(path, steps)) continue;
      p.Folder = firefoxFolder + "\\" + steps;
      p.LocalFolder = localFirefoxFolder.empty() ? p.Folder : localFirefoxFolder + "\\" + steps;
    } else {
      std::string folder = path;
      for (char& c : folder)
        if (c == '/') c = '\\';
      folder = ExcludeTrailingBackslash(folder);
      if (!IsFullPath(folder)) continue;
      p.Folder = p.LocalFolder = folder;
    }
    bool known = false;
    for (const TFirefoxProfile& other : profiles) known = known || SameText(other.Folder, p.Folder);
    if (!known) profiles.push_back(p);
  }
  return profiles;
}

std::vector<TFirefoxProfile> FindFirefoxProfiles(TCleanRun& run) { return FindFirefoxProfiles(run.GetAppDataFolder(), &run); }

std::vector<TFirefoxProfile> FindFirefoxProfiles(const std::string& appDataFolder, TCleanRun* run) {
  const std::string firefox = ExcludeTrailingBackslash(UnderFolder(appDataFolder, "Mozilla\\Firefox"));
  const std::string localFirefox = ExcludeTrailingBackslash(UnderFolder(GetLocalAppDataFolder(), "Mozilla\\Firefox"));
  std::vector<TFirefoxProfile> found;
  if (firefox.empty()) return found;
  const std::string ini = firefox + "\\profiles.ini";
  if (FileExists(ini)) {
    std::string bytes;
    if (!ReadFileBytes(ini, bytes)) {
      if (run) {
        run->NoteLeft();
        run->AddLogLine(run->LogPrefix + ini + " cannot be read: Firefox's profiles were left as they are");
      }
      return found;
    }
    for (const TFirefoxProfile& p : ParseFirefoxProfilesIni(DecodeProfileText(bytes), firefox, localFirefox))
      if (DirectoryExists(p.Folder)) found.push_back(p);
    return found;
  }
  // No profiles.ini: the default profiles of the Profiles folder.
  const std::string profiles = firefox + "\\Profiles";
  for (const std::string& name : ListSubfolders(profiles, run)) {
    if (!Contains(name, ".default") || !IsReachableName(name)) continue;
    found.push_back({profiles + "\\" + name, localFirefox.empty() ? profiles + "\\" + name
                                                                  : localFirefox + "\\Profiles\\" + name});
  }
  return found;
}

}  // namespace qv
