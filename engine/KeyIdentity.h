// One identity for registry keys: the name the kernel gives a key, upper-cased
// ("\REGISTRY\USER\S-1-5-21-...\SOFTWARE\FOO"). Every spelling of a key gives the same identity:
// HKEY_CURRENT_USER and HKEY_USERS\<SID>, HKEY_CLASSES_ROOT and the classes key it shows, a key of
// the 32-bit view and its Wow6432Node path, any case, a trailing backslash. Keys are compared by
// this identity only, never by how a line spells them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qv {

// Opens the key that `keyPath` names below `parent`, in `view`, without following a link at its
// last step (a link there is opened as the link itself). The registry's own error code.
LONG OpenKeyEntry(HKEY parent, const std::wstring& keyPath, REGSAM access, REGSAM view, HKEY& key);

// The identity of a root key: "\REGISTRY\MACHINE", "\REGISTRY\USER", "\REGISTRY\USER\<SID>" for
// the current user, the machine's classes for HKEY_CLASSES_ROOT, the current hardware profile for
// HKEY_CURRENT_CONFIG. Empty for any other key.
std::wstring RootIdentity(HKEY root);

// The identity of the key that `keyPath` names under `root` in `view` (0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY): the kernel's name of it. A key that does not exist, or that cannot be opened
// at all, is named through its deepest ancestor that can be, followed by the rest of the path in
// upper case, so that a key named before it exists has the identity it will have. Empty for a root
// the registry does not know.
std::wstring KeyIdentity(HKEY root, const std::string& keyPath, REGSAM view);

// The identity of an open key (KernelKeyName); `fallback` when the system cannot tell it.
std::wstring OpenKeyIdentity(HKEY key, const std::wstring& fallback);

// The texts a run claims a key or a value by (TCleanRun::ClaimOnce): made from the key's identity
// and the value's name as the registry compares it.
std::string KeyClaim(const std::wstring& keyId);
std::string ValueClaim(const std::wstring& keyId, const std::wstring& valueName);

// What a removal must leave: keys (each with everything below it) and single values, held by
// identity. A key given by text is kept in every view of the registry in which it is a distinct
// key, so a rule keeps what the same text would remove.
class TRegistryKeep {
 public:
  void KeepKey(HKEY root, const std::string& keyPath);
  void KeepValue(HKEY root, const std::string& keyPath, const std::string& valueName);
  void KeepKeyIdentity(const std::wstring& keyId);
  void KeepValueIdentity(const std::wstring& keyId, const std::wstring& valueName);

  bool Empty() const { return kept_.empty(); }
  // The key is kept, or lies below a kept key.
  bool KeepsKey(const std::wstring& keyId) const;
  // Something kept lies inside the key: a key below it, or one of its values.
  bool HoldsKept(const std::wstring& keyId) const;
  bool KeepsValue(const std::wstring& keyId, const std::wstring& valueName) const;

 private:
  struct TKept {
    std::wstring Key;
    bool HasValue = false;
    std::wstring Value;  // upper-cased
  };
  void Add(TKept kept);
  std::vector<TKept> kept_;
};

}  // namespace qv
