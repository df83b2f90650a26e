// Registry removal of a clean run: a key with everything under it, one value, or every
// value and subkey of a key that itself stays. A Test counts and logs the same and changes nothing.
#include "engine/RegistryRemoval.h"

#include <shlwapi.h>

#include <vector>

#include "base/Global.h"
#include "base/Wow64.h"
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

bool KeyExists(HKEY root, const std::string& keyPath, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
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

int CountValues(HKEY root, const std::string& keyPath, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  int count = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr) == ERROR_SUCCESS)
    count = (int)values;
  std::vector<std::wstring> subkeys = SubkeyNames(key);
  RegCloseKey(key);
  for (const std::wstring& name : subkeys) count += CountValues(root, keyPath + "\\" + Narrow(name), view);
  return count;
}

// Deletes a key with everything below it, in one view of the registry.
void DeleteKeyTree(HKEY root, const std::string& keyPath, REGSAM view) {
  const std::wstring path = Widen(keyPath);
  if (!view) {
    SHDeleteKeyW(root, path.c_str());
    return;
  }
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
    std::vector<std::wstring> subkeys = SubkeyNames(key);
    RegCloseKey(key);
    for (const std::wstring& name : subkeys) DeleteKeyTree(root, keyPath + "\\" + Narrow(name), view);
  }
  // Windows XP 64-bit and later; a view is only asked for on 64-bit Windows.
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  static const auto deleteKeyEx =
      reinterpret_cast<DeleteKeyExFn>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW"));
  if (deleteKeyEx)
    deleteKeyEx(root, path.c_str(), view, 0);
  else
    RegDeleteKeyW(root, path.c_str());
}

// How the log names a key or value of the 32-bit view of the registry, which 64-bit Windows keeps
// apart: its path, then " (32-bit)".
std::string ViewSuffix(REGSAM view) { return view == KEY_WOW64_32KEY ? " (32-bit)" : ""; }

// DeleteRegistryKeyTree for a parsed root, in one view; rootText is how the log names it.
int KeyTree(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath, REGSAM view) {
  if (!root || NamesRoot(keyPath)) return 0;
  int count = CountValues(root, keyPath, view);
  if (!KeyExists(root, keyPath, view)) return 0;
  t.AddDetailLine("deleting registry key", rootText + "\\" + keyPath + ViewSuffix(view), 0);
  if (!t.IsTest()) DeleteKeyTree(root, keyPath, view);
  return count == 0 ? 1 : count;
}

// DeleteRegistryValues for a parsed root, in one view.
int Values(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath,
           const std::string& valueName, REGSAM view) {
  if (!root || NamesRoot(keyPath)) return 0;
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return 0;
  int count = 0;
  if (!valueName.empty()) {
    std::wstring name = Widen(valueName);
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      t.AddDetailLine("deleting registry value", rootText + "\\" + keyPath + "\\" + valueName +
                                                     ViewSuffix(view),
                      0);
      if (!t.IsTest()) RegDeleteValueW(key, name.c_str());
      count = 1;
    }
    RegCloseKey(key);
    return count;
  }
  for (const std::wstring& name : ValueNames(key)) {
    t.AddDetailLine("deleting registry value", rootText + "\\" + keyPath + "\\" + Narrow(name) +
                                                   ViewSuffix(view),
                    0);
    if (!t.IsTest()) RegDeleteValueW(key, name.c_str());
    ++count;
  }
  std::vector<std::wstring> subkeys = SubkeyNames(key);
  RegCloseKey(key);
  for (const std::wstring& name : subkeys) count += KeyTree(t, root, rootText, keyPath + "\\" + Narrow(name), view);
  return count;
}

// Runs `op` once for every view of the key in which it is a distinct key: on 64-bit Windows a key
// of HKEY_LOCAL_MACHINE\Software lives twice (its 32-bit copy under Wow6432Node), while a key that
// is not redirected is one key seen twice and is taken once.
template <typename Op>
int EachDistinctView(HKEY root, const std::string& keyPath, Op op) {
  std::vector<REGSAM> views = RegistryViews(root);
  if (views.size() == 1) return op(views[0]);
  std::vector<std::wstring> seen;
  int count = 0;
  for (REGSAM view : views) {
    HKEY key;
    std::wstring name;
    if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
      name = KernelKeyName(key);
      RegCloseKey(key);
    } else {
      continue;  // not in this view
    }
    bool again = false;
    for (const std::wstring& s : seen) again = again || (!name.empty() && s == name);
    if (again) continue;
    seen.push_back(name);
    count += op(view);
  }
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

int CountRegistryValues(HKEY root, const std::string& keyPath) { return CountValues(root, keyPath, 0); }

int DeleteRegistryKeyTree(TCleanRun& run, const std::string& rootName, const std::string& keyPath) {
  const std::string upper = UpperCase(rootName);
  HKEY root = ParseRootKeyName(upper);
  if (!root) return 0;
  return EachDistinctView(root, keyPath, [&](REGSAM view) { return KeyTree(run, root, upper, keyPath, view); });
}

int DeleteRegistryKeyTreeHKCU(TCleanRun& run, const std::string& keyPath) {
  return KeyTree(run, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", keyPath, 0);
}

int DeleteRegistryValues(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName) {
  const std::string upper = UpperCase(rootName);
  HKEY root = ParseRootKeyName(upper);
  if (!root) return 0;
  return EachDistinctView(root, keyPath,
                          [&](REGSAM view) { return Values(run, root, upper, keyPath, valueName, view); });
}

int DeleteRegistryValuesByRoot(TCleanRun& run, HKEY root, const std::string& keyPath, const std::string& valueName) {
  // Subkeys go under the same root that was given (not always under HKEY_CURRENT_USER).
  const std::string name = RootKeyName(root);
  if (name.empty()) return 0;
  return EachDistinctView(root, keyPath, [&](REGSAM view) { return Values(run, root, name, keyPath, valueName, view); });
}

}  // namespace qv
