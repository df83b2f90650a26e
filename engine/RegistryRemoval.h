// Root keys in text form and value counting, shared by the registry primitives of
// TClearTaskThread and the definition-file runner.
#pragma once
#include <windows.h>

#include <string>

namespace qv {

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS" and
// "HKEY_CURRENT_CONFIG", in any case; null for any other text (abbreviations such as HKCU too).
HKEY ParseRootKeyName(const std::string& name);
// The full name of one of those five roots; empty for any other key.
std::string RootKeyName(HKEY root);
// The number of values in the key and in every key below it; 0 when the key cannot be opened.
int CountRegistryValues(HKEY root, const std::string& keyPath);

}  // namespace qv
