// Stores that Wine cannot fill, held in memory for the tests: a Protected Storage provider with
// types, subtypes and items, and a URL history store. Both speak the COM interfaces the program
// calls, so the program's own code runs against them as it does against the system's.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <pstore.h>
#include <urlhist.h>

#include <string>
#include <vector>

namespace qvtest {

struct FakePStoreSubtype {
  GUID Id;
  std::vector<std::wstring> Items;
};
struct FakePStoreType {
  GUID Id;
  std::wstring DisplayName;
  std::vector<FakePStoreSubtype> Subtypes;
};

// A Protected Storage provider. Enumerating, naming types and deleting items work; every other
// call answers E_NOTIMPL. Deleted items leave their subtype and are recorded.
class FakePStore : public IPStore {
 public:
  std::vector<FakePStoreType> Types;
  std::vector<std::wstring> Deleted;
  // Every enumeration fails (as Wine's provider answers).
  bool FailEnumeration = false;
  // Items whose deletion fails.
  std::vector<std::wstring> Undeletable;
  // The key of every call, to see that the current user's storage is asked for.
  std::vector<PST_KEY> KeysAsked;
  LONG Refs = 1;

  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
  ULONG WINAPI AddRef() override { return (ULONG)InterlockedIncrement(&Refs); }
  ULONG WINAPI Release() override { return (ULONG)InterlockedDecrement(&Refs); }  // owned by the test

  HRESULT WINAPI GetInfo(PPST_PROVIDERINFO*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetProvParam(DWORD, DWORD*, BYTE**, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI SetProvParam(DWORD, DWORD, BYTE*, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI CreateType(PST_KEY, const GUID*, PPST_TYPEINFO, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI GetTypeInfo(PST_KEY key, const GUID* type, PPST_TYPEINFO* info, DWORD flags) override;
  HRESULT WINAPI DeleteType(PST_KEY, const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI CreateSubtype(PST_KEY, const GUID*, const GUID*, PPST_TYPEINFO, PPST_ACCESSRULESET,
                               DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI GetSubtypeInfo(PST_KEY, const GUID*, const GUID*, PPST_TYPEINFO*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI DeleteSubtype(PST_KEY, const GUID*, const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI ReadAccessRuleset(PST_KEY, const GUID*, const GUID*, PPST_ACCESSRULESET*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI WriteAccessRuleset(PST_KEY, const GUID*, const GUID*, PPST_ACCESSRULESET, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI EnumTypes(PST_KEY key, DWORD flags, IEnumPStoreTypes** out) override;
  HRESULT WINAPI EnumSubtypes(PST_KEY key, const GUID* type, DWORD flags, IEnumPStoreTypes** out) override;
  HRESULT WINAPI DeleteItem(PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name, PPST_PROMPTINFO prompt,
                            DWORD flags) override;
  HRESULT WINAPI ReadItem(PST_KEY, const GUID*, const GUID*, LPCWSTR, DWORD*, BYTE**, PPST_PROMPTINFO,
                          DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI WriteItem(PST_KEY, const GUID*, const GUID*, LPCWSTR, DWORD, BYTE*, PPST_PROMPTINFO, DWORD,
                           DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI OpenItem(PST_KEY, const GUID*, const GUID*, LPCWSTR, PST_ACCESSMODE, PPST_PROMPTINFO,
                          DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI CloseItem(PST_KEY, const GUID*, const GUID*, LPCWSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumItems(PST_KEY key, const GUID* type, const GUID* subtype, DWORD flags,
                           IEnumPStoreItems** out) override;

 private:
  FakePStoreType* FindType(const GUID* type);
};

// A URL history store of URLs. DeleteUrl removes a URL (or answers `DeleteAnswer` for the URLs in
// `Undeletable`); every deletion asked for is recorded.
class FakeUrlHistory : public IUrlHistoryStg2 {
 public:
  std::vector<std::wstring> Urls;
  std::vector<std::wstring> DeleteCalls;
  std::vector<std::wstring> Undeletable;
  HRESULT DeleteAnswer = E_FAIL;
  LONG Refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&Refs); }
  ULONG STDMETHODCALLTYPE Release() override { return (ULONG)InterlockedDecrement(&Refs); }  // owned by the test

  HRESULT STDMETHODCALLTYPE AddUrl(LPCOLESTR, LPCOLESTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteUrl(LPCOLESTR url, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE QueryUrl(LPCOLESTR, DWORD, LPSTATURL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(LPCOLESTR, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumUrls(IEnumSTATURL** out) override;
  HRESULT STDMETHODCALLTYPE AddUrlAndNotify(LPCOLESTR, LPCOLESTR, DWORD, WINBOOL, IOleCommandTarget*,
                                            IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ClearHistory() override { return E_NOTIMPL; }
};

}  // namespace qvtest
