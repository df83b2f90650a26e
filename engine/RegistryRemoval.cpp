// Registry removal of a clean run: a key with everything under it, one value, or every value and
// subkey of a key that itself stays. A Test counts and logs what a Clean would remove and changes
// nothing.
//
// A walk opens each key relative to the open key above it, for the access its removal needs, and
// deletes a key through its own handle once everything below it went; a key is opened as the
// entry it is (a link as the link), so nothing outside the named key is ever reached.
#include "engine/RegistryRemoval.h"

#include <utility>
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

// Closes the key it holds when it goes.
class TKey {
 public:
  TKey() = default;
  ~TKey() { Close(); }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  HKEY& Out() {
    Close();
    return key_;
  }
  HKEY Get() const { return key_; }
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

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

int CountValues(HKEY key) {
  DWORD values = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return 0;
  int count = (int)values;
  for (const std::wstring& name : SubkeyNames(key)) {
    TKey sub;
    if (RegOpenKeyExW(key, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &sub.Out()) == ERROR_SUCCESS)
      count += CountValues(sub.Get());
  }
  return count;
}

// Deletes the key behind an open handle (opened with DELETE): the key that was walked, whatever
// its name leads to by now. The registry's error code.
LONG DeleteOpenKey(HKEY key, HKEY parent, const std::wstring& name) {
  using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
  using StatusToErrorFn = ULONG(WINAPI*)(LONG);
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  static const auto deleteKey =
      reinterpret_cast<NtDeleteKeyFn>(ntdll ? GetProcAddress(ntdll, "NtDeleteKey") : nullptr);
  static const auto toError =
      reinterpret_cast<StatusToErrorFn>(ntdll ? GetProcAddress(ntdll, "RtlNtStatusToDosError") : nullptr);
  if (!deleteKey) return RegDeleteKeyW(parent, name.c_str());  // Windows 9x: no native call
  const LONG status = deleteKey(key);
  if (status == 0) return ERROR_SUCCESS;
  return toError ? (LONG)toError(status) : ERROR_ACCESS_DENIED;
}

// Why the registry refused: the text after "could not be removed".
std::string Reason(LONG error) {
  if (error == ERROR_ACCESS_DENIED) return "access denied";
  return "error " + std::to_string(error);
}

const char* const kSubkeyStayed = "a subkey stayed";

// How the log names a key: its root, "\\", its path as given but for trailing backslashes.
std::string KeyText(const std::string& rootText, std::string keyPath) {
  while (!keyPath.empty() && keyPath.back() == '\\') keyPath.pop_back();
  return rootText + "\\" + keyPath;
}

// The key path split into the path of its parent (empty for a key right below the root) and its
// own name; trailing backslashes are no part of either.
void SplitKeyPath(const std::string& keyPath, std::wstring& parentPath, std::wstring& name) {
  std::wstring path = Widen(keyPath);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  const size_t slash = path.rfind(L'\\');
  parentPath = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  name = slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The removals of one primitive in one view of the registry: what went, what stayed and why.
class TRegistryWalk {
 public:
  TRegistryWalk(TCleanRun& t, const TRegistryKeep* keep, REGSAM view)
      : t_(t), keep_(keep), view_(view), suffix_(view == KEY_WOW64_32KEY ? " (32-bit)" : "") {}

  int Count() const { return count_; }

  // The named key with everything under it.
  void NamedTree(HKEY root, const std::string& keyPath, const std::string& text) {
    HKEY parent = nullptr;
    std::wstring parentId, name;
    TKey parentKey;
    if (!OpenParent(root, keyPath, text, parentKey, parent, parentId, name)) return;
    TGone gone;
    if (Tree(parent, name, text, parentId, gone) == kGone) Went(gone);
  }

  // One value of the named key, or (`valueName` empty) every value and subkey of it.
  void NamedValues(HKEY root, const std::string& keyPath, const std::string& text, const std::string& valueName) {
    HKEY parent = nullptr;
    std::wstring parentId, name;
    TKey parentKey;
    if (!OpenParent(root, keyPath, text, parentKey, parent, parentId, name)) return;
    const std::wstring value = Widen(valueName);
    Empty(parent, name, text, parentId, valueName.empty() ? nullptr : &value);
  }

 private:
  enum TOutcome {
    kGone,     // removed (in a Test: would be)
    kStays,    // stays by rule (kept) or because the run was cancelled: no line
    kLeft,     // stays though it was to go: its line is written
    kMissing,  // not there
  };
  // A key that went whole, with the values that went in it and below it.
  struct TGone {
    std::string Text;
    int Values = 0;
    bool FirstClaim = false;
  };

  // Opens the key above the named one (a path through links leads where the registry leads it);
  // false when there is nothing to do, with the line of a key that could not be reached.
  bool OpenParent(HKEY root, const std::string& keyPath, const std::string& text, TKey& parentKey, HKEY& parent,
                  std::wstring& parentId, std::wstring& name) {
    std::wstring parentPath;
    SplitKeyPath(keyPath, parentPath, name);
    if (parentPath.empty()) {
      parent = root;
      parentId = RootIdentity(root);
      return true;
    }
    LONG r = RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_QUERY_VALUE | view_, &parentKey.Out());
    if (r == ERROR_ACCESS_DENIED) r = RegOpenKeyExW(root, parentPath.c_str(), 0, view_, &parentKey.Out());
    if (r == ERROR_FILE_NOT_FOUND || r == ERROR_PATH_NOT_FOUND) return false;
    if (r != ERROR_SUCCESS) {
      Left(text, Reason(r));
      return false;
    }
    parent = parentKey.Get();
    parentId = OpenKeyIdentity(parent, RootIdentity(root) + L"\\" + UpperKeyText(parentPath));
    return true;
  }

  // The key `name` below the open key `parent`, with everything under it but what is kept. A key
  // that goes whole is left to the caller to say (it may go with its parent); one that stays says
  // on its own what went below it.
  TOutcome Tree(HKEY parent, const std::wstring& name, const std::string& text, const std::wstring& parentId,
                TGone& gone) {
    if (t_.Terminated()) return kStays;
    const REGSAM walk = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
    TKey key;
    bool deletable = true;
    LONG r = OpenKeyEntry(parent, name, walk | DELETE, view_, key.Out());
    if (r == ERROR_ACCESS_DENIED) {
      deletable = false;
      r = OpenKeyEntry(parent, name, walk, view_, key.Out());
    }
    if (r == ERROR_FILE_NOT_FOUND) return kMissing;
    if (r != ERROR_SUCCESS) {
      Left(text, Reason(r));
      return kLeft;
    }
    const std::wstring id = OpenKeyIdentity(key.Get(), parentId + L"\\" + UpperKeyText(name));
    if (keep_ && keep_->KeepsKey(id)) return kStays;
    if (keep_ && keep_->HoldsKept(id)) {
      key.Close();
      const bool emptied = Empty(parent, name, text, parentId, nullptr);
      return emptied || t_.Terminated() ? kStays : kLeft;
    }

    const std::vector<std::wstring> values = ValueNames(key.Get());
    // Subkeys that went whole wait for the key: they go with it, or, once it is known to stay,
    // each is said and counted on its own.
    std::vector<TGone> went;
    bool stays = !deletable, subkeyLeft = false, subkeyStays = false;
    auto staying = [&] {
      if (!stays)
        for (const TGone& g : went) Went(g);
      stays = true;
    };
    for (const std::wstring& sub : SubkeyNames(key.Get())) {
      TGone g;
      switch (Tree(key.Get(), sub, text + "\\" + Narrow(sub), id, g)) {
        case kGone:
          if (stays)
            Went(g);
          else
            went.push_back(std::move(g));
          break;
        case kLeft:
          subkeyLeft = true;
          staying();
          break;
        case kStays:
          subkeyStays = true;
          staying();
          break;
        case kMissing: break;  // gone meanwhile
      }
    }
    LONG deleted = ERROR_SUCCESS;
    if (!stays && !t_.Terminated()) {
      if (!t_.IsTest()) deleted = DeleteOpenKey(key.Get(), parent, name);
      if (deleted == ERROR_SUCCESS) {
        gone.Text = text;
        gone.FirstClaim = t_.ClaimOnce(KeyClaim(id));
        for (const TGone& g : went) gone.Values += g.Values;
        // A Test counts what no item of the run counted before; a Clean what went.
        for (const std::wstring& v : values)
          if (t_.ClaimOnce(ValueClaim(id, v)) || !t_.IsTest()) ++gone.Values;
        return kGone;
      }
    }
    staying();
    if (!deletable) {
      Left(text, Reason(ERROR_ACCESS_DENIED));
      return kLeft;
    }
    if (subkeyLeft) {
      Left(text, kSubkeyStayed);
      return kLeft;
    }
    if (subkeyStays || t_.Terminated()) return kStays;
    Left(text, Reason(deleted));
    return kLeft;
  }

  // The values (or only the value `only`) and the subkeys of the key `name` below `parent`, but
  // what is kept; the key itself stays. False when something that was to go stayed.
  bool Empty(HKEY parent, const std::wstring& name, const std::string& text, const std::wstring& parentId,
             const std::wstring* only) {
    const REGSAM read = KEY_QUERY_VALUE | (only ? 0 : KEY_ENUMERATE_SUB_KEYS);
    TKey key;
    bool settable = true;
    LONG r = OpenKeyEntry(parent, name, read | KEY_SET_VALUE, view_, key.Out());
    if (r == ERROR_ACCESS_DENIED) {
      settable = false;
      r = OpenKeyEntry(parent, name, read, view_, key.Out());
    }
    if (r == ERROR_FILE_NOT_FOUND) return true;
    if (r != ERROR_SUCCESS) {
      Left(only ? text + "\\" + Narrow(*only) : text, Reason(r));
      return false;
    }
    const std::wstring id = OpenKeyIdentity(key.Get(), parentId + L"\\" + UpperKeyText(name));
    if (keep_ && keep_->KeepsKey(id)) return true;

    std::vector<std::wstring> values;
    if (!only)
      values = ValueNames(key.Get());
    else if (RegQueryValueExW(key.Get(), only->c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      values.push_back(*only);
    bool all = true;
    for (const std::wstring& v : values) {
      if (t_.Terminated()) return false;
      if (keep_ && keep_->KeepsValue(id, v)) continue;
      const std::string object = text + "\\" + Narrow(v);
      if (!settable) {
        Left(object, Reason(ERROR_ACCESS_DENIED));
        all = false;
        continue;
      }
      if (t_.IsTest()) {
        if (t_.ClaimOnce(ValueClaim(id, v))) WentValue(object);
        continue;
      }
      const LONG d = RegDeleteValueW(key.Get(), v.c_str());
      if (d == ERROR_SUCCESS) {
        t_.ClaimOnce(ValueClaim(id, v));
        WentValue(object);
      } else if (d != ERROR_FILE_NOT_FOUND) {
        Left(object, Reason(d));
        all = false;
      }
    }
    if (only) return all;
    for (const std::wstring& sub : SubkeyNames(key.Get())) {
      TGone g;
      switch (Tree(key.Get(), sub, text + "\\" + Narrow(sub), id, g)) {
        case kGone: Went(g); break;
        case kLeft: all = false; break;
        default: break;
      }
    }
    return all;
  }

  // A key tree that went whole: its line, and its values (at least 1 for the key, unless an
  // earlier item of the run counted it).
  void Went(const TGone& g) {
    const int n = g.Values > 0 ? g.Values : (g.FirstClaim || !t_.IsTest() ? 1 : 0);
    if (n == 0) return;
    count_ += n;
    t_.AddDetailLine("deleting registry key", g.Text + suffix_, 0);
  }

  void WentValue(const std::string& object) {
    ++count_;
    t_.AddDetailLine("deleting registry value", object + suffix_, 0);
  }

  void Left(const std::string& object, const std::string& reason) {
    t_.AddNotRemovedLine(object + suffix_, 0, reason);
  }

  TCleanRun& t_;
  const TRegistryKeep* keep_;
  REGSAM view_;
  std::string suffix_;
  int count_ = 0;
};

// Runs `op` on a walk in every view of the registry in which the key is a distinct key: on 64-bit
// Windows a key of HKEY_LOCAL_MACHINE\Software lives twice (its 32-bit copy under Wow6432Node),
// while a key that is not redirected is one key seen twice and is taken once.
template <typename Op>
int EachDistinctView(TCleanRun& t, HKEY root, const std::string& keyPath, const TRegistryKeep* keep, Op op) {
  const std::vector<REGSAM> views = RegistryViews(root);
  std::vector<std::wstring> seen;
  int count = 0;
  for (REGSAM view : views) {
    if (views.size() > 1) {
      const std::wstring id = KeyIdentity(root, keyPath, view);
      bool again = false;
      for (const std::wstring& s : seen) again = again || s == id;
      if (again) continue;
      seen.push_back(id);
    }
    TRegistryWalk walk(t, keep, view);
    op(walk);
    count += walk.Count();
  }
  return count;
}

int KeyTree(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath,
            const TRegistryKeep* keep) {
  if (!root || NamesRoot(keyPath)) return 0;
  const std::string text = KeyText(rootText, keyPath);
  return EachDistinctView(t, root, keyPath, keep,
                          [&](TRegistryWalk& walk) { walk.NamedTree(root, keyPath, text); });
}

int Values(TCleanRun& t, HKEY root, const std::string& rootText, const std::string& keyPath,
           const std::string& valueName, const TRegistryKeep* keep) {
  if (!root || NamesRoot(keyPath)) return 0;
  const std::string text = KeyText(rootText, keyPath);
  return EachDistinctView(t, root, keyPath, keep,
                          [&](TRegistryWalk& walk) { walk.NamedValues(root, keyPath, text, valueName); });
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
  TKey key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_READ, &key.Out()) != ERROR_SUCCESS) return 0;
  return CountValues(key.Get());
}

int DeleteRegistryKeyTree(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                          const TRegistryKeep* keep) {
  const std::string upper = UpperCase(rootName);
  return KeyTree(run, ParseRootKeyName(upper), upper, keyPath, keep);
}

int DeleteRegistryKeyTreeHKCU(TCleanRun& run, const std::string& keyPath) {
  return KeyTree(run, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", keyPath, nullptr);
}

int DeleteRegistryValues(TCleanRun& run, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName, const TRegistryKeep* keep) {
  const std::string upper = UpperCase(rootName);
  return Values(run, ParseRootKeyName(upper), upper, keyPath, valueName, keep);
}

int DeleteRegistryValuesByRoot(TCleanRun& run, HKEY root, const std::string& keyPath, const std::string& valueName) {
  // Subkeys go under the same root that was given (not always under HKEY_CURRENT_USER).
  const std::string name = RootKeyName(root);
  if (name.empty()) return 0;
  return Values(run, root, name, keyPath, valueName, nullptr);
}

}  // namespace qv
