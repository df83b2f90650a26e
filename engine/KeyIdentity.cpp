#include "engine/KeyIdentity.h"

#include <sddl.h>

#include "base/Global.h"
#include "base/Wow64.h"

namespace qv {

namespace {

std::wstring WithoutTrailingBackslashes(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// The current user's SID as text ("S-1-5-21-..."); empty when the token cannot be read.
std::wstring CurrentUserSid() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  std::wstring text;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buf(size ? size : 1);
  LPWSTR sid = nullptr;
  if (size && GetTokenInformation(token, TokenUser, buf.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &sid)) {
    text = sid;
    LocalFree(sid);
  }
  CloseHandle(token);
  return text;
}

// Opens a key to learn its name: read access where it is granted, else none (the name needs none).
LONG OpenToName(HKEY root, const std::wstring& path, bool lastStepAsIs, REGSAM view, HKEY& key) {
  const DWORD options = lastStepAsIs ? REG_OPTION_OPEN_LINK : 0;
  LONG r = RegOpenKeyExW(root, path.c_str(), options, KEY_QUERY_VALUE | view, &key);
  if (r == ERROR_ACCESS_DENIED) r = RegOpenKeyExW(root, path.c_str(), options, view, &key);
  return r;
}

}  // namespace

LONG OpenKeyEntry(HKEY parent, const std::wstring& keyPath, REGSAM access, REGSAM view, HKEY& key) {
  const std::wstring path = WithoutTrailingBackslashes(keyPath);
  return RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK, access | view, &key);
}

std::wstring RootIdentity(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return L"\\REGISTRY\\MACHINE";
  if (root == HKEY_USERS) return L"\\REGISTRY\\USER";
  if (root == HKEY_CLASSES_ROOT) return L"\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES";
  if (root == HKEY_CURRENT_CONFIG) return L"\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT";
  if (root == HKEY_CURRENT_USER) {
    static const std::wstring user = L"\\REGISTRY\\USER\\" + UpperKeyText(CurrentUserSid());
    return user;
  }
  return std::wstring();
}

std::wstring OpenKeyIdentity(HKEY key, const std::wstring& fallback) {
  std::wstring name = KernelKeyName(key);
  return name.empty() ? fallback : name;
}

std::wstring KeyIdentity(HKEY root, const std::string& keyPath, REGSAM view) {
  const std::wstring rootId = RootIdentity(root);
  if (rootId.empty()) return rootId;
  const std::wstring path = WithoutTrailingBackslashes(Widen(keyPath));
  // The whole path first (its last step as it is), then each shorter one (through links, as the
  // registry reads a path), until a key opens.
  size_t end = path.size();
  bool whole = true;
  while (end > 0) {
    HKEY key;
    if (OpenToName(root, path.substr(0, end), whole, view, key) == ERROR_SUCCESS) {
      const std::wstring name = KernelKeyName(key);
      RegCloseKey(key);
      if (!name.empty()) return name + UpperKeyText(path.substr(end));
    }
    whole = false;
    const size_t slash = path.rfind(L'\\', end - 1);
    if (slash == std::wstring::npos) break;
    end = slash;
  }
  if (path.empty()) return rootId;
  return rootId + L"\\" + UpperKeyText(path);
}

std::string KeyClaim(const std::wstring& keyId) { return "registry key " + Narrow(keyId); }

// A key's name never holds two backslashes in a row: they part it from the value's name.
std::string ValueClaim(const std::wstring& keyId, const std::wstring& valueName) {
  return "registry value " + Narrow(keyId) + "\\\\" + Narrow(UpperKeyText(valueName));
}

void TRegistryKeep::Add(TKept kept) {
  for (const TKept& k : kept_)
    if (k.Key == kept.Key && k.HasValue == kept.HasValue && k.Value == kept.Value) return;
  kept_.push_back(std::move(kept));
}

void TRegistryKeep::KeepKeyIdentity(const std::wstring& keyId) { Add({keyId, false, std::wstring()}); }

void TRegistryKeep::KeepValueIdentity(const std::wstring& keyId, const std::wstring& valueName) {
  Add({keyId, true, UpperKeyText(valueName)});
}

void TRegistryKeep::KeepKey(HKEY root, const std::string& keyPath) {
  for (REGSAM view : RegistryViews(root)) {
    const std::wstring id = KeyIdentity(root, keyPath, view);
    if (!id.empty()) KeepKeyIdentity(id);
  }
}

void TRegistryKeep::KeepValue(HKEY root, const std::string& keyPath, const std::string& valueName) {
  for (REGSAM view : RegistryViews(root)) {
    const std::wstring id = KeyIdentity(root, keyPath, view);
    if (!id.empty()) KeepValueIdentity(id, Widen(valueName));
  }
}

namespace {

// `inner` is `outer` or lies below it.
bool AtOrBelow(const std::wstring& inner, const std::wstring& outer) {
  if (inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return inner.size() == outer.size() || inner[outer.size()] == L'\\';
}

}  // namespace

bool TRegistryKeep::KeepsKey(const std::wstring& keyId) const {
  for (const TKept& k : kept_)
    if (!k.HasValue && AtOrBelow(keyId, k.Key)) return true;
  return false;
}

bool TRegistryKeep::HoldsKept(const std::wstring& keyId) const {
  for (const TKept& k : kept_)
    if ((k.Key.size() > keyId.size() && AtOrBelow(k.Key, keyId)) || (k.HasValue && k.Key == keyId)) return true;
  return false;
}

bool TRegistryKeep::KeepsValue(const std::wstring& keyId, const std::wstring& valueName) const {
  if (KeepsKey(keyId)) return true;
  const std::wstring upper = UpperKeyText(valueName);
  for (const TKept& k : kept_)
    if (k.HasValue && k.Key == keyId && k.Value == upper) return true;
  return false;
}

}  // namespace qv
