// The registry primitives of a clean run: a key with everything under it, one value, or every
// value and subkey of a key that itself stays; root keys in text form; value counting. Each
// returns the entries it removed (in a Test: would remove) and writes its detail lines; a Test
// changes nothing.
#pragma once
#include <windows.h>

#include <string>

namespace qv {

class TCleanRun;

// The key with all its subkeys; root in text form ("HKEY_CURRENT_USER", any case).
int DeleteRegistryKeyTree(TCleanRun& run, const std::string& rootName, const std::string& keyPath);
// One value; with an empty value name every value and every subkey of the key (the key stays).
int DeleteRegistryValues(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName);
int DeleteRegistryKeyTreeHKCU(TCleanRun& run, const std::string& keyPath);
int DeleteRegistryValuesByRoot(TCleanRun& run, HKEY root, const std::string& keyPath, const std::string& valueName);

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS" and
// "HKEY_CURRENT_CONFIG", in any case; null for any other text (abbreviations such as HKCU too).
HKEY ParseRootKeyName(const std::string& name);
// The full name of one of those five roots; empty for any other key.
std::string RootKeyName(HKEY root);
// The number of values in the key and in every key below it; 0 when the key cannot be opened.
int CountRegistryValues(HKEY root, const std::string& keyPath);

}  // namespace qv
