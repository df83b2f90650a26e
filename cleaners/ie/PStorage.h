// Access to Windows Protected Storage for the current user (pstorec.dll, loaded at run time): its
// types, subtypes and item names, type display names, and deleting items. Every operation reports
// failure by an empty result or false; none raises an error.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <pstore.h>

#include <functional>
#include <string>
#include <vector>

namespace qv {

// Type and subtype identifiers.
using TIDList = std::vector<GUID>;
// Item names.
using TItemList = std::vector<std::string>;

class TPStorage {
 public:
  TPStorage() = default;
  ~TPStorage();  // disconnects
  TPStorage(const TPStorage&) = delete;
  TPStorage& operator=(const TPStorage&) = delete;

  // True when pstorec.dll and its PStoreCreateInstance were found (settled once per process).
  static bool Available();

  // Connects to a provider (none given: the default one), disconnecting first when connected.
  bool Connect(const GUID* providerId = nullptr);
  void Disconnect();
  bool Connected() const { return connected_; }

  TIDList ListTypes();
  TIDList ListSubtypes(const GUID& type);
  TItemList ListItems(const GUID& type, const GUID& subtype);
  // The type's display name; empty when not connected or when the store gives none.
  std::string TypeDisplayName(const GUID& type);
  bool DeleteItem(const GUID& type, const GUID& subtype, const std::string& itemName);

 private:
  PST_KEY key_ = PST_KEY_CURRENT_USER;
  bool connected_ = false;
  IPStore* store_ = nullptr;
};

// Stands in for pstorec.dll's PStoreCreateInstance, which Available then reports as present; an
// empty function returns to the system's.
using TPStoreCreateFn = std::function<HRESULT(IPStore** provider, const GUID* providerId, void* reserved, DWORD flags)>;
void SetPStoreProviderForTesting(TPStoreCreateFn create);

}  // namespace qv
