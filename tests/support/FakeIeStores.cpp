#include "support/FakeIeStores.h"

#include <algorithm>
#include <cstring>

namespace qvtest {

namespace {

LPWSTR CoCopy(const std::wstring& s) {
  auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
  std::memcpy(out, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
  return out;
}

// A COM enumerator over a copy of its elements; frees itself with its last reference.
template <typename Interface, typename Element>
class FakeEnum : public Interface {
 public:
  explicit FakeEnum(std::vector<Element> elements) : elements_(std::move(elements)) {}
  virtual ~FakeEnum() = default;
  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
  ULONG WINAPI Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return (ULONG)left;
  }
  template <typename Out, typename Count>
  HRESULT NextInto(Count celt, Out* out, Count* fetched) {
    Count n = 0;
    while (n < celt && next_ < elements_.size()) Put(out[n++], elements_[next_++]);
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT WINAPI Skip(DWORD celt) override {
    next_ = std::min<size_t>(elements_.size(), next_ + (size_t)celt);
    return S_OK;
  }
  HRESULT WINAPI Reset() override {
    next_ = 0;
    return S_OK;
  }

 protected:
  static void Put(GUID& out, const GUID& id) { out = id; }
  static void Put(LPWSTR& out, const std::wstring& name) { out = CoCopy(name); }
  static void Put(STATURL& out, const std::wstring& url) {
    out.pwcsUrl = CoCopy(url);
    out.pwcsTitle = CoCopy(L"title of " + url);
  }
  std::vector<Element> elements_;
  size_t next_ = 0;
  LONG refs_ = 1;
};

class FakeTypeEnum : public FakeEnum<IEnumPStoreTypes, GUID> {
 public:
  using FakeEnum::FakeEnum;
  HRESULT WINAPI Next(DWORD celt, GUID* out, DWORD* fetched) override { return NextInto(celt, out, fetched); }
  HRESULT WINAPI Clone(IEnumPStoreTypes**) override { return E_NOTIMPL; }
};

class FakeItemEnum : public FakeEnum<IEnumPStoreItems, std::wstring> {
 public:
  using FakeEnum::FakeEnum;
  HRESULT WINAPI Next(DWORD celt, LPWSTR* out, DWORD* fetched) override { return NextInto(celt, out, fetched); }
  HRESULT WINAPI Clone(IEnumPStoreItems**) override { return E_NOTIMPL; }
};

class FakeUrlEnum : public FakeEnum<IEnumSTATURL, std::wstring> {
 public:
  using FakeEnum::FakeEnum;
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPSTATURL out, ULONG* fetched) override {
    return NextInto(celt, out, fetched);
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override { return FakeEnum::Skip(celt); }
  HRESULT STDMETHODCALLTYPE Clone(IEnumSTATURL**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFilter(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
};

}  // namespace

HRESULT FakePStore::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_IUnknown) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

FakePStoreType* FakePStore::FindType(const GUID* type) {
  for (auto& t : Types)
    if (type && t.Id == *type) return &t;
  return nullptr;
}

HRESULT FakePStore::GetTypeInfo(PST_KEY key, const GUID* type, PPST_TYPEINFO* info, DWORD) {
  KeysAsked.push_back(key);
  FakePStoreType* t = FindType(type);
  if (!t) return PST_E_TYPE_NO_EXISTS;
  // One block, as the caller gives back the record alone.
  const size_t bytes = sizeof(PST_TYPEINFO) + (t->DisplayName.size() + 1) * sizeof(wchar_t);
  auto* record = static_cast<PST_TYPEINFO*>(CoTaskMemAlloc(bytes));
  record->cbSize = sizeof(PST_TYPEINFO);
  record->szDisplayName = reinterpret_cast<LPWSTR>(record + 1);
  std::memcpy(record->szDisplayName, t->DisplayName.c_str(), (t->DisplayName.size() + 1) * sizeof(wchar_t));
  *info = record;
  return S_OK;
}

HRESULT FakePStore::EnumTypes(PST_KEY key, DWORD, IEnumPStoreTypes** out) {
  KeysAsked.push_back(key);
  if (FailEnumeration) return E_NOTIMPL;
  std::vector<GUID> ids;
  for (const auto& t : Types) ids.push_back(t.Id);
  *out = new FakeTypeEnum(ids);
  return S_OK;
}

HRESULT FakePStore::EnumSubtypes(PST_KEY key, const GUID* type, DWORD, IEnumPStoreTypes** out) {
  KeysAsked.push_back(key);
  FakePStoreType* t = FindType(type);
  if (FailEnumeration || !t) return E_NOTIMPL;
  std::vector<GUID> ids;
  for (const auto& s : t->Subtypes) ids.push_back(s.Id);
  *out = new FakeTypeEnum(ids);
  return S_OK;
}

HRESULT FakePStore::EnumItems(PST_KEY key, const GUID* type, const GUID* subtype, DWORD, IEnumPStoreItems** out) {
  KeysAsked.push_back(key);
  FakePStoreType* t = FindType(type);
  if (FailEnumeration || !t || !subtype) return E_NOTIMPL;
  for (const auto& s : t->Subtypes)
    if (s.Id == *subtype) {
      *out = new FakeItemEnum(s.Items);
      return S_OK;
    }
  return PST_E_TYPE_NO_EXISTS;
}

HRESULT FakePStore::DeleteItem(PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name,
                               PPST_PROMPTINFO prompt, DWORD) {
  KeysAsked.push_back(key);
  if (!prompt || prompt->cbSize != sizeof(PST_PROMPTINFO)) return E_INVALIDARG;
  const std::wstring item = name ? name : L"";
  if (std::find(Undeletable.begin(), Undeletable.end(), item) != Undeletable.end()) return PST_E_NO_PERMISSIONS;
  FakePStoreType* t = FindType(type);
  if (!t || !subtype) return PST_E_TYPE_NO_EXISTS;
  for (auto& s : t->Subtypes) {
    if (s.Id != *subtype) continue;
    auto at = std::find(s.Items.begin(), s.Items.end(), item);
    if (at == s.Items.end()) return PST_E_ITEM_NO_EXISTS;
    s.Items.erase(at);
    Deleted.push_back(item);
    return S_OK;
  }
  return PST_E_TYPE_NO_EXISTS;
}

HRESULT FakeUrlHistory::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_IUnknown) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeUrlHistory::DeleteUrl(LPCOLESTR url, DWORD) {
  const std::wstring u = url ? url : L"";
  DeleteCalls.push_back(u);
  if (std::find(Undeletable.begin(), Undeletable.end(), u) != Undeletable.end()) return DeleteAnswer;
  auto at = std::find(Urls.begin(), Urls.end(), u);
  if (at == Urls.end()) return E_INVALIDARG;
  Urls.erase(at);
  return S_OK;
}

HRESULT FakeUrlHistory::EnumUrls(IEnumSTATURL** out) {
  *out = new FakeUrlEnum(Urls);
  return S_OK;
}

}  // namespace qvtest
