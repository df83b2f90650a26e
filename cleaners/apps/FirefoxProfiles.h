// Firefox's profiles, as Firefox itself finds them: profiles.ini in its application-data folder
// lists each profile ([Profile0], [Profile1], ...) with Path= and IsRelative=. A relative path lies
// below that folder (written with "/"), and its disk cache below the same path in the local
// application data; an absolute path is the profile wherever it is, its cache inside it. Only
// when profiles.ini is missing are the folders of the Profiles folder whose names hold ".default"
// taken for profiles. Every Firefox item cleans the same list.
#pragma once
#include <string>
#include <vector>

namespace qv {

class TCleanRun;

struct TFirefoxProfile {
  std::string Folder;       // the profile (roaming), no trailing backslash
  std::string LocalFolder;  // where its disk cache lies (the profile itself for an absolute one)
};

// The profiles that a profiles.ini text lists, given Firefox's roaming and local folders (no
// trailing backslash). A section without Path, a relative path that is rooted or climbs with
// "..", and an absolute path that is no full path are left out; each folder is listed once.
std::vector<TFirefoxProfile> ParseFirefoxProfilesIni(const std::string& text, const std::string& firefoxFolder,
                                                     const std::string& localFirefoxFolder);

// The profiles of this user that exist: from profiles.ini, or, when there is none, the
// "*.default*" folders of the Profiles folder. A profiles.ini that cannot be read gives none; a
// run says so in its log.
std::vector<TFirefoxProfile> FindFirefoxProfiles(TCleanRun& run);
// The same below a given roaming application-data folder, outside a run (run may be null).
std::vector<TFirefoxProfile> FindFirefoxProfiles(const std::string& appDataFolder, TCleanRun* run);

}  // namespace qv
