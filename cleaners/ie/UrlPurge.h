// The two URL stores of the browser that the history item empties: the URL history (a COM store)
// and the WinINet URL cache.
#pragma once
#include <windows.h>
#include <urlhist.h>

#include <functional>

namespace qv {

class TCleanRun;

// Counts (Test) or removes every URL of the URL history store, adding 1 to ItemCount for each URL
// a Test finds or a Clean removes. Initialises COM on the calling thread for its own duration; any
// error ends it quietly with the count reached so far.
void UrlHistoryPurge(TCleanRun& run);

// Counts (Test) or removes the entries of the WinINet URL cache whose URL begins with "http://"
// (case-sensitive); all others (cookies, visited pages, secure addresses) stay. Returns how many a
// Test found or a Clean removed.
int UrlCachePurge(TCleanRun& run);

// Makes the URL history store that UrlHistoryPurge works on; an empty function returns to the
// system's store (CLSID_CUrlHistory, in-process). The returned store is released by the purge.
using TUrlHistoryFactory = std::function<HRESULT(IUrlHistoryStg2** store)>;
void SetUrlHistoryFactoryForTesting(TUrlHistoryFactory factory);

}  // namespace qv
