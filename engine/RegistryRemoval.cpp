// Registry removal of a clean run: a key with everything under it, one value, or every
// value and subkey of a key that itself stays. A Test counts and logs the same and changes nothing.
#include "engine/RegistryRemoval.h"

#include <shlwapi.h>

#include <vector>

#include "base/Global.h"
#include "engine/CleanRun.h"

namespace qv {

namespace {

struct TRootName {
  const char* name;
  HKEY key;
};

const TRootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

// A key path that names the root itself. Removing "everything under" a root would wipe a hive, so
// no primitive accepts one.
bool NamesRoot(const std::string& keyPath) { return keyPath.find_first_not_of('\\') == std::string::npos; }

bool KeyExists(HKEY root, const std::string& keyPath) {
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The names of a key's values or of its subkeys, in the order the registry gives them.
std::vector<std::wstring> EnumNames(HKEY key, bool values) {
  std::vector<std::wstring> names;
  DWORD maxSubkey = 0, maxValue = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr, &maxValue, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::wstring buf((values ? maxValue : maxSubkey) + 2, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = (DWORD)buf.size();
    LONG r = values ? RegEnumValueW(key, i, &buf[0], &len, nullptr, nullptr, nullptr, nullptr)
                    : RegEnumKeyExW(key, i, &buf[0], &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) {
      buf.assign(buf.size() * 2 + 256, L'\0');
      --i;
      continue;
    }
    if (r != ERROR_SUCCESS) break;
    names.push_back(buf.substr(0, len));
  }
  return names;
}

std::vector<std::wstring> ValueNames(HKEY key) { return EnumNames(key, true); }
std::vector<std::wstring> SubkeyNames(HKEY key) { return EnumNames(key, false); }

// DeleteRegistryKeyTree for a parsed root; rootText is how the log names it.
int KeyTree(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath) {
  if (!root || NamesRoot(keyPath)) return 0;
  int count = CountRegistryValues(root, keyPath);
  if (!KeyExists(root, keyPath)) return 0;
  t.AddDetailLine("deleting registry key", rootText + "\\" + keyPath, 0);
  if (!t.IsTest()) SHDeleteKeyW(root, Widen(keyPath).c_str());
  return count == 0 ? 1 : count;
}

// DeleteRegistryValues for a parsed root.
int Values(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath,
           const std::string& valueName) {
  if (!root || NamesRoot(keyPath)) return 0;
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  int count = 0;
  if (!valueName.empty()) {
    std::wstring name = Widen(valueName);
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      t.AddDetailLine("deleting registry value", rootText + "\\" + keyPath + "\\" + valueName, 0);
      if (!t.IsTest()) RegDeleteValueW(key, name.c_str());
      count = 1;
    }
    RegCloseKey(key);
    return count;
  }
  for (const std::wstring& name : ValueNames(key)) {
    t.AddDetailLine("deleting registry value", rootText + "\\" + keyPath + "\\" + Narrow(name), 0);
    if (!t.IsTest()) RegDeleteValueW(key, name.c_str());
    ++count;
  }
  std::vector<std::wstring> subkeys = SubkeyNames(key);
  RegCloseKey(key);
  for (const std::wstring& name : subkeys) count += KeyTree(t, root, rootText, keyPath + "\\" + Narrow(name));
  return count;
}

}  // namespace

HKEY ParseRootKeyName(const std::string& name) {
  const std::string upper = UpperCase(name);
  for (const TRootName& r : kRoots)
    if (upper == r.name) return r.key;
  return nullptr;
}

std::string RootKeyName(HKEY root) {
  for (const TRootName& r : kRoots)
    if (root == r.key) return r.name;
  return std::string();
}

int CountRegistryValues(HKEY root, const std::string& keyPath) {
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  int count = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr) == ERROR_SUCCESS)
    count = (int)values;
  std::vector<std::wstring> subkeys = SubkeyNames(key);
  RegCloseKey(key);
  for (const std::wstring& name : subkeys) count += CountRegistryValues(root, keyPath + "\\" + Narrow(name));
  return count;
}

int DeleteRegistryKeyTree(TCleanRun& run, const std::string& rootName, const std::string& keyPath) {
  const std::string upper = UpperCase(rootName);
  return KeyTree(run, ParseRootKeyName(upper), upper, keyPath);
}

int DeleteRegistryKeyTreeHKCU(TCleanRun& run, const std::string& keyPath) {
  return KeyTree(run, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", keyPath);
}

int DeleteRegistryValues(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName) {
  const std::string upper = UpperCase(rootName);
  return Values(run, ParseRootKeyName(upper), upper, keyPath, valueName);
}

int DeleteRegistryValuesByRoot(TCleanRun& run, HKEY root, const std::string& keyPath, const std::string& valueName) {
  // Subkeys go under the same root that was given (not always under HKEY_CURRENT_USER).
  const std::string name = RootKeyName(root);
  return name.empty() ? 0 : Values(run, root, name, keyPath, valueName);
}

}  // namespace qv
