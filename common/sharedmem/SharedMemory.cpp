#include "SharedMemory.h"

#include <cstring>

namespace {

// A creator that died before finishing its control block would otherwise keep
// every later opener polling forever; five seconds is far beyond any real
// initialisation, which takes microseconds.
const DWORD kInitPollMs     = 10;
const DWORD kInitPatienceMs = 5000;

// Longest stretch a waiter sleeps before it looks at the lock state itself.
const DWORD kWaitSliceMs = 20;

bool WriterGone(const SharedControlBlock* scb) { return scb->scb_writer == 0; }
bool ReadersGone(const SharedControlBlock* scb) { return scb->scb_readers == 0; }

const char kEventSuffix[] = "_Event";
const char kDataSuffix[]  = "_Data";

HRESULT HResultFromError(DWORD error)
{
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

// The smallest whole multiple of step that holds `elements`.
unsigned long long RoundUp(unsigned long long elements, DWORD step)
{
    return (elements + step - 1) / step * step;
}

// name + suffix into out (size outSize); false when it would not fit.
bool JoinName(char* out, size_t outSize, const char* name, const char* suffix)
{
    size_t n = std::strlen(name);
    size_t s = std::strlen(suffix);
    if (n + s + 1 > outSize) return false;
    std::memcpy(out, name, n);
    std::memcpy(out + n, suffix, s + 1);
    return true;
}

// A paging-file backed mapping of `bytes`, mapped whole for reading and writing.
// On success *existed tells whether the named mapping was already there.
DWORD CreateMapped(const char* name, DWORD bytes, UniqueHandle* mapping, UniqueView* view, bool* existed)
{
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, name);
    DWORD error = GetLastError();
    if (!h) return error ? error : ERROR_INVALID_FUNCTION;
    *existed = (error == ERROR_ALREADY_EXISTS);
    UniqueHandle owned(h);
    void* p = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
    if (!p) {
        error = GetLastError();
        return error ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    *mapping = std::move(owned);
    view->reset(p);
    return ERROR_SUCCESS;
}

}  // namespace

HRESULT SharedMemory::Create(const char* name, DWORD elementSize, DWORD elementCount, bool* existed)
{
    Destroy();
    if (existed) *existed = false;

    if (!name || !*name || elementSize == 0 || elementCount == 0) return HResultFromError(ERROR_INVALID_PARAMETER);
    unsigned long long bytes = static_cast<unsigned long long>(elementSize) * elementCount;
    if (bytes > 0xFFFFFFFFull) return HResultFromError(ERROR_INVALID_PARAMETER);

    char eventName[sizeof(m_name) + sizeof(kEventSuffix)];
    char dataName[sizeof(m_name) + sizeof(kDataSuffix)];
    if (std::strlen(name) >= sizeof(m_name) || !JoinName(eventName, sizeof(eventName), name, kEventSuffix)
        || !JoinName(dataName, sizeof(dataName), name, kDataSuffix)) {
        return HResultFromError(ERROR_FILENAME_EXCED_RANGE);
    }
    std::memcpy(m_name, name, std::strlen(name) + 1);
    m_elementSize = elementSize;
    m_elementCount = elementCount;

    m_event.reset(CreateEventA(nullptr, FALSE, FALSE, eventName));
    if (!m_event) {
        HRESULT hr = HResultFromError(GetLastError());
        Destroy();
        return hr;
    }

    bool controlExisted = false;
    DWORD error = CreateMapped(dataName, sizeof(SharedControlBlock), &m_controlMapping, &m_control, &controlExisted);
    if (error != ERROR_SUCCESS) {
        Destroy();
        return HResultFromError(error);
    }

    SharedControlBlock* scb = Control();
    if (controlExisted) {
        // Join only an initialised block: the compare-exchange never raises a 0,
        // so an opener cannot slip in while a grower has taken the count to 0.
        DWORD start = GetTickCount();
        for (;;) {
            LONG seen = scb->scb_refCount;
            if (seen > 0 && InterlockedCompareExchange(&scb->scb_refCount, seen + 1, seen) == seen) break;
            if (seen > 0) continue;
            if (GetTickCount() - start >= kInitPatienceMs) {
                Destroy();
                return HResultFromError(ERROR_TIMEOUT);
            }
            Sleep(kInitPollMs);
        }
        m_counted = true;

        // The block in use may have grown past what this caller asked for; a
        // smaller view would leave its tail unreachable (or the mapping fail).
        TakeSpin();
        LONG capacity = scb->scb_capacity;
        ReleaseSpin();
        if (capacity > 0) m_elementCount = static_cast<DWORD>(capacity);
        bytes = static_cast<unsigned long long>(m_elementSize) * m_elementCount;
        if (bytes > 0xFFFFFFFFull) {
            Destroy();
            return HResultFromError(ERROR_INVALID_PARAMETER);
        }
    } else {
        scb->scb_writer = 0;
        scb->scb_spin = 0;
        scb->scb_readers = 0;
        scb->scb_waiters = 0;
        scb->scb_length = 0;
        scb->scb_capacity = static_cast<LONG>(m_elementCount);
        InterlockedExchange(&scb->scb_refCount, 1);
        m_counted = true;
    }

    bool dataExisted = false;
    error = CreateMapped(m_name, static_cast<DWORD>(bytes), &m_dataMapping, &m_view, &dataExisted);
    if (error != ERROR_SUCCESS) {
        Destroy();
        return HResultFromError(error);
    }
    if (existed) *existed = dataExisted;
    return S_OK;
}

bool SharedMemory::Usable() const
{
    return m_control.get() != nullptr && Control()->scb_refCount != 0;
}

void SharedMemory::TakeSpin()
{
    while (InterlockedExchange(&Control()->scb_spin, 1) != 0) Sleep(0);
}

void SharedMemory::ReleaseSpin()
{
    // A store with release order is all a release needs: the writes made
    // under the spin word are seen before it is free. An exchange would also
    // drain this processor's store buffer, which nobody waits for.
    __atomic_store_n(&Control()->scb_spin, 0, __ATOMIC_RELEASE);
}

bool SharedMemory::WaitTurn(int timeoutMs, bool (*ready)(const SharedControlBlock*))
{
    SharedControlBlock* scb = Control();
    scb->scb_waiters = scb->scb_waiters + 1;
    ResetEvent(m_event.get());
    ReleaseSpin();
    // One auto-reset event serves every waiter, so a wake-up can go astray: a
    // reset by a newly arriving waiter, or two signals that coalesce into one.
    // Waiting in short slices and looking at the flags between them bounds
    // such a loss to one slice instead of leaving a -1 wait hanging for good.
    // A wait ended that way keeps its announcement counted, as a timed-out
    // one does; the next signal settles it.
    DWORD start = GetTickCount();
    for (;;) {
        DWORD slice = kWaitSliceMs;
        if (timeoutMs >= 0) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= static_cast<DWORD>(timeoutMs)) return false;
            DWORD left = static_cast<DWORD>(timeoutMs) - elapsed;
            if (left < slice) slice = left;
        }
        if (WaitForSingleObject(m_event.get(), slice) == WAIT_OBJECT_0) return true;
        if (!Usable() || ready(scb)) return true;   // the caller looks again under the spin word
    }
}

void SharedMemory::WakeOne()
{
    SharedControlBlock* scb = Control();
    if (scb->scb_waiters > 0) {
        scb->scb_waiters = scb->scb_waiters - 1;
        SetEvent(m_event.get());
    }
}

bool SharedMemory::LockWrite(int timeoutMs)
{
    SharedControlBlock* scb = Control();
    for (;;) {
        if (!Usable()) return false;
        TakeSpin();
        if (scb->scb_writer == 0) {
            scb->scb_writer = 1;
            ReleaseSpin();
            break;
        }
        if (!WaitTurn(timeoutMs, WriterGone)) return false;
    }
    for (;;) {
        if (!Usable()) return false;
        TakeSpin();
        if (scb->scb_readers == 0) {
            ReleaseSpin();
            m_holdsWrite = true;
            return true;
        }
        if (!WaitTurn(timeoutMs, ReadersGone)) {
            TakeSpin();
            scb->scb_writer = 0;
            ReleaseSpin();
            return false;
        }
    }
}

void SharedMemory::UnlockWrite(DWORD newLength)
{
    if (!Usable()) return;
    SharedControlBlock* scb = Control();
    TakeSpin();
    if (m_holdsWrite) {
        scb->scb_writer = 0;
        scb->scb_length = static_cast<LONG>(newLength);
        WakeOne();
    }
    m_holdsWrite = false;
    ReleaseSpin();
}

bool SharedMemory::LockRead(int timeoutMs)
{
    SharedControlBlock* scb = Control();
    for (;;) {
        if (!Usable()) return false;
        TakeSpin();
        if (scb->scb_writer == 0) {
            scb->scb_readers = scb->scb_readers + 1;
            ReleaseSpin();
            ++m_readHolds;
            return true;
        }
        if (!WaitTurn(timeoutMs, WriterGone)) return false;
    }
}

void SharedMemory::UnlockRead()
{
    if (!Usable()) return;
    SharedControlBlock* scb = Control();
    TakeSpin();
    if (m_readHolds > 0) {
        scb->scb_readers = scb->scb_readers - 1;
        if (scb->scb_readers == 0) WakeOne();
        --m_readHolds;
    }
    ReleaseSpin();
}

DWORD SharedMemory::GetLength()
{
    if (!Usable()) return 0;
    TakeSpin();
    LONG length = Control()->scb_length;
    ReleaseSpin();
    return static_cast<DWORD>(length);
}

DWORD SharedMemory::GetCapacity()
{
    if (!Usable()) return 0;
    TakeSpin();
    LONG capacity = Control()->scb_capacity;
    ReleaseSpin();
    return static_cast<DWORD>(capacity);
}

GrowResult SharedMemory::Grow(DWORD required, const GrowthLimits& limits)
{
    if (!Usable() || !m_view.get() || limits.gl_step == 0) return GrowResult::Failed;
    if (required < GetCapacity()) return GrowResult::Fits;
    unsigned long long capacity = RoundUp(static_cast<unsigned long long>(required) + limits.gl_headroom + 1, limits.gl_step);
    if (capacity > limits.gl_maximum) return GrowResult::TooLarge;
    return ReplaceDataBlock(static_cast<DWORD>(capacity));
}

GrowResult SharedMemory::Reserve(DWORD elements, const GrowthLimits& limits)
{
    if (!Usable() || !m_view.get() || limits.gl_step == 0) return GrowResult::Failed;
    if (elements <= GetCapacity()) return GrowResult::Fits;
    unsigned long long capacity = RoundUp(elements, limits.gl_step);
    if (capacity > limits.gl_maximum) return GrowResult::TooLarge;
    return ReplaceDataBlock(static_cast<DWORD>(capacity));
}

// Replaces the data block by a larger one with the same name and content. Only
// a sole user may do so: any other holder would keep mapping the old block.
GrowResult SharedMemory::ReplaceDataBlock(DWORD capacity)
{
    SharedControlBlock* scb = Control();
    DWORD length = GetLength();
    if (capacity < length) return GrowResult::Failed;

    // The check and the lowering are one step, so that no opener can join
    // between them; while the count is 0, openers wait and locks refuse.
    if (InterlockedCompareExchange(&scb->scb_refCount, 0, 1) != 1) return GrowResult::Shared;

    DWORD oldCount = m_elementCount;
    DWORD oldBytes = m_elementCount * m_elementSize;
    // The length is shared and only as good as its last writer: never copy
    // more than the old block holds.
    DWORD keep = length < oldBytes ? length : oldBytes;
    char* saved = nullptr;
    if (keep > 0) {
        saved = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, keep));
        if (!saved) {
            InterlockedIncrement(&scb->scb_refCount);
            return GrowResult::Failed;
        }
        std::memcpy(saved, m_view.get(), keep);
    }

    m_view.reset();
    m_dataMapping.reset();

    bool existed = false;
    DWORD error = ERROR_SUCCESS;
    unsigned long long bytes = static_cast<unsigned long long>(capacity) * m_elementSize;
    if (bytes > 0xFFFFFFFFull) {
        error = ERROR_INVALID_PARAMETER;
    } else {
        error = CreateMapped(m_name, static_cast<DWORD>(bytes), &m_dataMapping, &m_view, &existed);
        // Someone outside the count still holds the old block: the name gives
        // back that block, not a new one.
        if (error == ERROR_SUCCESS && existed) {
            m_view.reset();
            m_dataMapping.reset();
            error = ERROR_ALREADY_EXISTS;
        }
    }

    GrowResult result = GrowResult::Fits;
    DWORD nowCount = capacity;
    if (error != ERROR_SUCCESS) {
        // Put the old block back rather than leave the region without one.
        nowCount = oldCount;
        if (CreateMapped(m_name, oldBytes, &m_dataMapping, &m_view, &existed) != ERROR_SUCCESS) {
            m_view.reset();
            m_dataMapping.reset();
        }
        result = GrowResult::Failed;
    }
    if (saved) {
        if (m_view.get()) std::memcpy(m_view.get(), saved, keep);
        HeapFree(GetProcessHeap(), 0, saved);
    }

    m_elementCount = nowCount;
    TakeSpin();
    scb->scb_capacity = static_cast<LONG>(nowCount);
    ReleaseSpin();
    InterlockedIncrement(&scb->scb_refCount);

    return result;
}

void SharedMemory::Destroy()
{
    if (m_control.get()) {
        SharedControlBlock* scb = Control();
        while (m_readHolds > 0 && Usable()) UnlockRead();
        if (m_holdsWrite && Usable()) {
            // The length stays what the last release stored: this holder's
            // changes are unfinished, the previous content is the usable one.
            TakeSpin();
            scb->scb_writer = 0;
            WakeOne();
            ReleaseSpin();
        }
        // The data block goes first: once the count drops, a remaining sole
        // user may replace the block, and must not find this one still held.
        m_view.reset();
        m_dataMapping.reset();
        if (m_counted) {
            // Never below 1: 0 means "not initialised" and would leave an
            // opener that arrives while the last user leaves polling.
            for (;;) {
                LONG seen = scb->scb_refCount;
                if (seen <= 1 || InterlockedCompareExchange(&scb->scb_refCount, seen - 1, seen) == seen) break;
            }
        }
    }
    m_view.reset();
    m_dataMapping.reset();
    m_control.reset();
    m_controlMapping.reset();
    m_event.reset();
    m_name[0] = '\0';
    m_elementSize = 0;
    m_elementCount = 0;
    m_readHolds = 0;
    m_holdsWrite = false;
    m_counted = false;
}
