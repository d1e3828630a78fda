#include "ThreadStore.h"

#include <new>

namespace {

// TLS_OUT_OF_INDEXES until the first use or the library's load.
volatile LONG g_tlsIndex = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD TlsIndex()
{
    LONG index = g_tlsIndex;
    if (index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(index);
    // Normally set at process attach; a static link (the tests) gets it here.
    DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES) return TLS_OUT_OF_INDEXES;
    LONG previous = InterlockedCompareExchange(&g_tlsIndex, static_cast<LONG>(fresh),
                                               static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (previous != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
        TlsFree(fresh);
        return static_cast<DWORD>(previous);
    }
    return fresh;
}

} // namespace

ThreadStoreState* CurrentThreadState()
{
    // TlsGetValue clears the last-error value, which may already hold the
    // detail code of the call in progress.
    struct KeepLastError {
        DWORD saved = GetLastError();
        ~KeepLastError() { SetLastError(saved); }
    } keep;
    DWORD index = TlsIndex();
    if (index == TLS_OUT_OF_INDEXES) return nullptr;
    auto* state = static_cast<ThreadStoreState*>(TlsGetValue(index));
    if (state) return state;
    state = new (std::nothrow) ThreadStoreState();   // value-initialised: all zero
    if (state && !TlsSetValue(index, state)) {
        delete state;
        state = nullptr;
    }
    return state;
}

void DiscardThreadState()
{
    LONG index = g_tlsIndex;
    if (index == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return;
    auto* state = static_cast<ThreadStoreState*>(TlsGetValue(static_cast<DWORD>(index)));
    if (!state) return;
    for (SharedKey*& key : state->ts_keys) {
        if (!key) continue;
        key->sk_memory.Destroy();   // releases holds and a held write lock
        delete key;
        key = nullptr;
    }
    delete state;
    TlsSetValue(static_cast<DWORD>(index), nullptr);
}

void StoreProcessAttach()
{
    TlsIndex();
}

void StoreProcessDetach()
{
    DiscardThreadState();
    LONG index = InterlockedExchange(&g_tlsIndex, static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) TlsFree(static_cast<DWORD>(index));
}
