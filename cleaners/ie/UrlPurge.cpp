#include "cleaners/ie/UrlPurge.h"

#include <wininet.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"
#include "cleaners/ie/IeShared.h"
#include "engine/CleanRun.h"

namespace qv {

namespace {

std::mutex g_factoryMutex;
TUrlHistoryFactory g_factoryForTesting;

// {3C374A40-BAE4-11CF-BF7D-00AA006946EE} and {AFA0DC11-C313-11D0-831A-00C04FD5AE38}.
const CLSID kUrlHistoryClass = {0x3c374a40, 0xbae4, 0x11cf, {0xbf, 0x7d, 0x00, 0xaa, 0x00, 0x69, 0x46, 0xee}};
const IID kUrlHistoryStg2 = {0xafa0dc11, 0xc313, 0x11d0, {0x83, 0x1a, 0x00, 0xc0, 0x4f, 0xd5, 0xae, 0x38}};

IUrlHistoryStg2* CreateUrlHistory() {
  TUrlHistoryFactory factory;
  {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    factory = g_factoryForTesting;
  }
  IUrlHistoryStg2* store = nullptr;
  HRESULT hr = factory ? factory(&store)
                       : CoCreateInstance(kUrlHistoryClass, nullptr, CLSCTX_INPROC_SERVER, kUrlHistoryStg2,
                                          reinterpret_cast<void**>(&store));
  if (FAILED(hr)) {
    if (store) store->Release();
    return nullptr;
  }
  return store;
}

// Cache URLs are single-byte text of the system's code page.
std::string FromAnsi(const char* s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 1) return std::string();
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
  w.resize((size_t)n - 1);
  return Narrow(w);
}

}  // namespace

void SetUrlHistoryFactoryForTesting(TUrlHistoryFactory factory) {
  std::lock_guard<std::mutex> lock(g_factoryMutex);
  g_factoryForTesting = std::move(factory);
}

static std::string HexCode(uint32_t value) {
  char text[16];
  snprintf(text, sizeof(text), "%08X", value);
  return text;
}

void UrlHistoryPurge(TCleanRun& run) {
  const HRESULT com = CoInitialize(nullptr);
  try {
    if (IUrlHistoryStg2* store = CreateUrlHistory()) {
      IEnumSTATURL* urls = nullptr;
      if (SUCCEEDED(store->EnumUrls(&urls)) && urls) {
        for (;;) {
          STATURL stat = {};
          stat.cbSize = sizeof(stat);
          ULONG fetched = 0;
          if (urls->Next(1, &stat, &fetched) != S_OK || fetched != 1) {
            CoTaskMemFree(stat.pwcsUrl);
            CoTaskMemFree(stat.pwcsTitle);
            break;
          }
          const std::wstring url = stat.pwcsUrl ? stat.pwcsUrl : L"";
          CoTaskMemFree(stat.pwcsUrl);
          CoTaskMemFree(stat.pwcsTitle);
          // Counted, and said to be deleted, only when the store has let it go.
          const HRESULT deleted = run.IsTest() ? S_OK : store->DeleteUrl(url.c_str(), 0);
          if (deleted == S_OK) {
            ++run.ItemCount;
            if (!run.Options.FastScan) {
              run.AddLogLine(run.LogPrefix + "deleting " + Narrow(url));
              run.ScrollLogThrottled(50);
            }
          } else {
            run.NoteLeft();
            run.AddLogLine(run.LogPrefix + Narrow(url) + " could not be removed from the history (error 0x" +
                           HexCode((uint32_t)deleted) + ")");
            if (deleted == S_FALSE) break;
          }
          if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount));
        }
        urls->Release();
      }
      store->Release();
    }
  } catch (...) {
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

int UrlCachePurge(TCleanRun& run) {
  EndBrowserSession();
  int count = 0;
  std::vector<char> buffer;
  auto entry = [&buffer] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()); };
  // One entry of the enumeration.
  auto handle = [&run, &count](const INTERNET_CACHE_ENTRY_INFOA* info) {
    const char* url = info->lpszSourceUrlName;
    if (!url || std::strncmp(url, "http://", 7) != 0) return;
    if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount + count));
    // A Clean counts, and says it deleted, only the entries that the cache has let go.
    if (run.IsTest() || DeleteUrlCacheEntryA(url)) {
      ++count;
      if (!run.Options.FastScan) {
        run.AddLogLine(run.LogPrefix + "deleting " + FromAnsi(url));
        run.ScrollLogThrottled(50);
      }
    } else {
      const DWORD error = GetLastError();
      // An entry the cache dropped meanwhile is no failure.
      if (error != ERROR_FILE_NOT_FOUND) {
        run.NoteLeft();
        run.AddLogLine(run.LogPrefix + FromAnsi(url) + " could not be removed from the cache (error " +
                       std::to_string(error) + ")");
      }
    }
  };

  DWORD size = 0;
  HANDLE find = FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
  if (!find) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return 0;
    buffer.assign(size, 0);
    find = FindFirstUrlCacheEntryA(nullptr, entry(), &size);
    if (!find) return 0;
  }
  if (!buffer.empty()) handle(entry());
  while (!run.Terminated()) {
    size = 0;
    // Asked without a buffer first, for the size the next entry needs.
    if (FindNextUrlCacheEntryA(find, nullptr, &size)) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) break;
    buffer.assign(size, 0);
    if (!FindNextUrlCacheEntryA(find, entry(), &size)) break;
    handle(entry());
  }
  FindCloseUrlCache(find);
  return count;
}

}  // namespace qv
