#include "cleaners/ie/PStorage.h"

#include <mutex>

#include "base/Global.h"

namespace qv {

namespace {

using TCreateInstanceFn = HRESULT(WINAPI*)(IPStore**, PST_PROVIDERID*, void*, DWORD);

// pstorec.dll, loaded on first use and released when the program ends.
class TPStoreLibrary {
 public:
  TPStoreLibrary() {
    module_ = LoadLibraryW(L"pstorec.dll");
    if (!module_) return;
    create_ = reinterpret_cast<TCreateInstanceFn>(GetProcAddress(module_, "PStoreCreateInstance"));
    if (!create_) {
      FreeLibrary(module_);
      module_ = nullptr;
    }
  }
  ~TPStoreLibrary() {
    if (module_) FreeLibrary(module_);
  }
  TCreateInstanceFn Create() const { return create_; }

 private:
  HMODULE module_ = nullptr;
  TCreateInstanceFn create_ = nullptr;
};

const TPStoreLibrary& Library() {
  static const TPStoreLibrary library;
  return library;
}

std::mutex g_testingMutex;
TPStoreCreateFn g_createForTesting;

TPStoreCreateFn CreateForTesting() {
  std::lock_guard<std::mutex> lock(g_testingMutex);
  return g_createForTesting;
}

// Asks an enumerator for 16 elements at a time until it gives none.
template <typename Enumerator, typename Element, typename Take>
void Drain(Enumerator* e, Take take) {
  for (;;) {
    Element batch[16] = {};
    DWORD fetched = 0;
    HRESULT hr = e->Next(16, batch, &fetched);
    if (FAILED(hr) || fetched == 0) break;
    if (fetched > 16) fetched = 16;
    for (DWORD i = 0; i < fetched; ++i) take(batch[i]);
  }
}

}  // namespace

void SetPStoreProviderForTesting(TPStoreCreateFn create) {
  std::lock_guard<std::mutex> lock(g_testingMutex);
  g_createForTesting = std::move(create);
}

TPStorage::~TPStorage() { Disconnect(); }

bool TPStorage::Available() { return CreateForTesting() || Library().Create(); }

bool TPStorage::Connect(const GUID* providerId) {
  if (!Available()) return false;
  if (connected_) Disconnect();
  IPStore* store = nullptr;
  HRESULT hr;
  if (TPStoreCreateFn create = CreateForTesting())
    hr = create(&store, providerId, nullptr, 0);
  else
    hr = Library().Create()(&store, const_cast<GUID*>(providerId), nullptr, 0);
  if (FAILED(hr) || !store) {
    if (store) store->Release();
    store_ = nullptr;
    return false;
  }
  store_ = store;
  connected_ = true;
  return true;
}

void TPStorage::Disconnect() {
  if (!connected_) return;
  if (store_) store_->Release();
  store_ = nullptr;
  connected_ = false;
}

TIDList TPStorage::ListTypes() {
  TIDList list;
  if (!connected_) return list;
  IEnumPStoreTypes* e = nullptr;
  if (FAILED(store_->EnumTypes(key_, 0, &e)) || !e) return list;
  Drain<IEnumPStoreTypes, GUID>(e, [&list](const GUID& id) { list.push_back(id); });
  e->Release();
  return list;
}

TIDList TPStorage::ListSubtypes(const GUID& type) {
  TIDList list;
  if (!connected_) return list;
  IEnumPStoreTypes* e = nullptr;
  if (FAILED(store_->EnumSubtypes(key_, &type, 0, &e)) || !e) return list;
  Drain<IEnumPStoreTypes, GUID>(e, [&list](const GUID& id) { list.push_back(id); });
  e->Release();
  return list;
}

TItemList TPStorage::ListItems(const GUID& type, const GUID& subtype) {
  TItemList list;
  if (!connected_) return list;
  IEnumPStoreItems* e = nullptr;
  if (FAILED(store_->EnumItems(key_, &type, &subtype, 0, &e)) || !e) return list;
  // Names are kept whole: a shortened name would name no item to delete.
  Drain<IEnumPStoreItems, LPWSTR>(e, [&list](LPWSTR name) {
    list.push_back(Narrow(name));
    CoTaskMemFree(name);
  });
  e->Release();
  return list;
}

std::string TPStorage::TypeDisplayName(const GUID& type) {
  if (!connected_) return std::string();
  PST_TYPEINFO* info = nullptr;
  if (FAILED(store_->GetTypeInfo(key_, &type, &info, 0)) || !info) return std::string();
  std::string name = Narrow(info->szDisplayName);
  CoTaskMemFree(info);
  return name;
}

bool TPStorage::DeleteItem(const GUID& type, const GUID& subtype, const std::string& itemName) {
  if (!connected_) return false;
  PST_PROMPTINFO prompt = {};
  prompt.cbSize = sizeof(prompt);
  prompt.dwPromptFlags = 4;
  prompt.hwndApp = nullptr;
  prompt.szPrompt = L"";
  const std::wstring name = Widen(itemName);
  return SUCCEEDED(store_->DeleteItem(key_, &type, &subtype, name.c_str(), &prompt, 0));
}

}  // namespace qv
