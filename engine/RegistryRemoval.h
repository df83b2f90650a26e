// The registry primitives of a clean run: a key with everything under it, one value, or every
// value and subkey of a key that itself stays; root keys in text form; value counting.
//
// Each returns the entries it removed (in a Test: the entries a Clean would remove) and writes a
// "deleting registry key" or "deleting registry value" line for what went, after it went. What
// stays gets a line of its own with the reason, "<object> could not be removed (access denied)",
// "(a subkey stayed)", and is noted as left (TCleanRun::NoteLeft); a Test says the same of what a
// Clean would be refused, by opening each key for the access its removal needs. A key or value is
// counted once a run, by its identity (engine/KeyIdentity.h), whichever items and spellings name
// it. On 64-bit Windows both builds look in both views of the registry, each distinct key once;
// the 32-bit view's copy of a key is named with " (32-bit)" after its path. A key tree is removed
// through the handles it was walked with; a registry link inside it (or named by it) is removed
// as a link, never followed.
#pragma once
#include <windows.h>

#include <string>

#include "engine/KeyIdentity.h"

namespace qv {

class TCleanRun;

// The key with all its subkeys; root in text form ("HKEY_CURRENT_USER", any case). With `keep`,
// what it keeps stays, and a key that holds something kept loses everything else and stays.
int DeleteRegistryKeyTree(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                          const TRegistryKeep* keep = nullptr);
// One value; with an empty value name every value and every subkey of the key (the key stays).
int DeleteRegistryValues(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName, const TRegistryKeep* keep = nullptr);
int DeleteRegistryKeyTreeHKCU(TCleanRun& run, const std::string& keyPath);
int DeleteRegistryValuesByRoot(TCleanRun& run, HKEY root, const std::string& keyPath, const std::string& valueName);

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS" and
// "HKEY_CURRENT_CONFIG", in any case; null for any other text (abbreviations such as HKCU too).
HKEY ParseRootKeyName(const std::string& name);
// The full name of one of those five roots; empty for any other key.
std::string RootKeyName(HKEY root);
// The number of values in the key and in every key below it, in the calling build's own view; 0
// when the key cannot be read.
int CountRegistryValues(HKEY root, const std::string& keyPath);

}  // namespace qv
