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

// The spin word is held for a few hundred instructions. A taker that keeps
// finding it taken asks after the holder every so many tries; a holder that
// could not note itself (it died between the two steps, or found the holder
// table full) is presumed gone after this long.
const unsigned kSpinTriesPerLook = 64;
const DWORD    kSpinPatienceMs = 2000;

bool WriterGone(const SharedControlBlock* scb) { return scb->scb_writer == 0; }
bool ReadersGone(const SharedControlBlock* scb) { return scb->scb_readers == 0; }

const char kEventSuffix[] = "_Event";
const char kDataSuffix[]  = "_Data";
const char kHoldersSuffix[] = "_Holders";

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
// On success *existed tells whether the named mapping was already there, and
// *viewBytes (when asked for) how much this process mapped: a mapping that
// already existed is mapped as it is, whatever size anyone recorded for it.
DWORD CreateMapped(const char* name, DWORD bytes, UniqueHandle* mapping, UniqueView* view, bool* existed,
                   DWORD* viewBytes = nullptr)
{
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, name);
    DWORD error = GetLastError();
    if (!h) return error ? error : ERROR_INVALID_FUNCTION;
    *existed = (error == ERROR_ALREADY_EXISTS);
    UniqueHandle owned(h);
    void* p = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, *existed && viewBytes ? 0 : bytes);
    if (!p) {
        error = GetLastError();
        return error ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    if (viewBytes) {
        *viewBytes = bytes;
        MEMORY_BASIC_INFORMATION info;
        if (*existed) {
            if (VirtualQuery(p, &info, sizeof info) != sizeof info || info.RegionSize > 0xFFFFFFFFu) {
                UnmapViewOfFile(p);
                return ERROR_INVALID_DATA;
            }
            *viewBytes = static_cast<DWORD>(info.RegionSize);
        }
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
    char holdersName[sizeof(m_name) + sizeof(kHoldersSuffix)];
    if (std::strlen(name) >= sizeof(m_name) || !JoinName(eventName, sizeof(eventName), name, kEventSuffix)
        || !JoinName(dataName, sizeof(dataName), name, kDataSuffix)
        || !JoinName(holdersName, sizeof(holdersName), name, kHoldersSuffix)) {
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

    bool holdersExisted = false;
    error = CreateMapped(holdersName, sizeof(SharedHolderTable), &m_holdersMapping, &m_holders, &holdersExisted);
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
        JoinHolders();
        // The block in use may have grown past what this caller asked for:
        // an existing block is mapped whole (below), whatever the control
        // block says its capacity is. Only a block made here takes that
        // capacity as its size.
        TakeSpin();
        LONG capacity = scb->scb_capacity;
        ReleaseSpin();
        if (capacity > 0) bytes = static_cast<unsigned long long>(m_elementSize) * static_cast<DWORD>(capacity);
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
        JoinHolders();
    }

    bool dataExisted = false;
    error = CreateMapped(m_name, static_cast<DWORD>(bytes), &m_dataMapping, &m_view, &dataExisted, &m_viewBytes);
    if (error == ERROR_SUCCESS && m_viewBytes < m_elementSize) error = ERROR_INVALID_DATA;
    if (error != ERROR_SUCCESS) {
        Destroy();
        return HResultFromError(error);
    }
    m_elementCount = m_viewBytes / m_elementSize;
    if (existed) *existed = dataExisted;
    return S_OK;
}

// Takes a free slot of the holder table for this instance; with none free,
// the instance works untracked (its holds cannot be taken back if it dies).
void SharedMemory::JoinHolders()
{
    SharedHolderTable* table = Holders();
    for (int attempt = 0; attempt < 2 && m_slot < 0; ++attempt) {
        for (uint32_t i = 0; i < kHolderSlots; ++i) {
            SharedHolder& slot = table->sht_slots[i];
            if (slot.sh_pid != 0) continue;
            if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&slot.sh_pid),
                                           static_cast<LONG>(HolderPid()), 0) != 0)
                continue;
            slot.sh_reads = 0;
            slot.sh_writer = 0;
            slot.sh_started = HolderStarted();
            slot.sh_counted = m_counted ? 1 : 0;
            m_slot = static_cast<int>(i);
            return;
        }
        // Full: the slots of processes that have ended are free to take.
        if (attempt == 0 && !ReclaimGoneHolders(true)) break;
    }
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&table->sht_untracked));
    m_untracked = true;
}

void SharedMemory::LeaveHolders()
{
    if (!m_holders.get()) return;
    SharedHolder* slot = OwnSlot();
    if (slot) {
        slot->sh_reads = 0;
        slot->sh_writer = 0;
        slot->sh_counted = 0;
        slot->sh_started = 0;
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&slot->sh_pid), 0);
    } else if (m_untracked) {
        InterlockedDecrement(reinterpret_cast<volatile LONG*>(&Holders()->sht_untracked));
    }
    m_slot = -1;
    m_untracked = false;
}

bool SharedMemory::ReclaimGoneHolders(bool idle)
{
    if (!m_holders.get() || !Usable()) return false;
    SharedHolderTable* table = Holders();
    bool any = false;
    for (uint32_t i = 0; i < kHolderSlots; ++i) {
        if (static_cast<int>(i) == m_slot) continue;
        SharedHolder& slot = table->sht_slots[i];
        uint32_t pid = slot.sh_pid;
        uint64_t started = slot.sh_started;
        if (pid == 0 || started == 0) continue;   // free, or still being taken
        if (!idle && slot.sh_reads == 0 && slot.sh_writer == 0) continue;
        // Asked with the spin word free: these are calls into the system.
        if (!HolderGone(pid, started)) continue;
        TakeSpin();
        // A process that has ended changes nothing; another reclaimer may have
        // freed the slot, and someone else may have taken it since.
        if (slot.sh_pid == pid && slot.sh_started == started) {
            ReclaimLocked(i);
            any = true;
        }
        ReleaseSpin();
    }
    return any;
}

// The holds of a dead holder's slot are taken back. While every instance has
// a slot, the counts are made anew from the slots, which also mends a count
// that the holder left half changed when it died between two steps.
void SharedMemory::ReclaimLocked(uint32_t index)
{
    SharedControlBlock* scb = Control();
    SharedHolderTable* table = Holders();
    SharedHolder& slot = table->sht_slots[index];
    LONG reads = static_cast<LONG>(slot.sh_reads);
    bool writer = slot.sh_writer != 0;
    bool counted = slot.sh_counted != 0;
    slot.sh_reads = 0;
    slot.sh_writer = 0;
    slot.sh_counted = 0;
    slot.sh_started = 0;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&slot.sh_pid), 0);

    if (table->sht_untracked == 0) {
        LONG readers = 0;
        LONG writers = 0;
        for (const SharedHolder& other : table->sht_slots) {
            if (other.sh_pid == 0) continue;
            readers += static_cast<LONG>(other.sh_reads);
            writers += other.sh_writer ? 1 : 0;
        }
        scb->scb_readers = readers;
        scb->scb_writer = writers ? 1 : 0;
    } else {
        scb->scb_readers = scb->scb_readers > reads ? scb->scb_readers - reads : 0;
        if (writer) scb->scb_writer = 0;
    }
    if (counted) {
        // Never below 1 while this instance still counts itself in.
        for (;;) {
            LONG seen = scb->scb_refCount;
            if (seen <= 1 || InterlockedCompareExchange(&scb->scb_refCount, seen - 1, seen) == seen) break;
        }
    }
    // Whoever waited for that holder looks again.
    if (scb->scb_waiters > 0) SetEvent(m_event.get());
}

void SharedMemory::DiscardContent()
{
    if (!Usable()) return;
    TakeSpin();
    Control()->scb_length = 0;
    ReleaseSpin();
}

bool SharedMemory::Usable() const
{
    return m_control.get() != nullptr && Control()->scb_refCount != 0;
}

void SharedMemory::TakeSpin()
{
    SharedControlBlock* scb = Control();
    SharedHolderTable* table = Holders();
    DWORD stuckSince = 0;
    unsigned tries = 0;
    while (InterlockedExchange(&scb->scb_spin, 1) != 0) {
        Sleep(0);
        if (!table || ++tries % kSpinTriesPerLook != 0) continue;
        if (stuckSince == 0) stuckSince = GetTickCount() | 1;
        if (TakeSpinFromGone(stuckSince)) break;
    }
    // The holder notes itself, so that a taker can tell when it dies holding.
    if (table) table->sht_spinOwner = m_slot >= 0 ? static_cast<uint32_t>(m_slot) + 1 : 0;
}

// The spin word is taken over, still set, from a holder that has ended: the
// holder table's owner field moves to this instance in one compare-exchange,
// so two takers cannot both take it over.
bool SharedMemory::TakeSpinFromGone(DWORD stuckSince)
{
    SharedHolderTable* table = Holders();
    uint32_t owner = table->sht_spinOwner;
    bool gone = false;
    if (owner > 0 && owner <= kHolderSlots) {
        const SharedHolder& slot = table->sht_slots[owner - 1];
        gone = HolderGone(slot.sh_pid, slot.sh_started);
    } else {
        gone = GetTickCount() - stuckSince >= kSpinPatienceMs;
    }
    if (!gone) return false;
    uint32_t mine = m_slot >= 0 ? static_cast<uint32_t>(m_slot) + 1 : 0;
    if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&table->sht_spinOwner), static_cast<LONG>(mine),
                                   static_cast<LONG>(owner)) != static_cast<LONG>(owner))
        return false;
    if (Control()->scb_spin == 0) {
        // Released after all, in the meantime: take it the ordinary way.
        table->sht_spinOwner = 0;
        return false;
    }
    if (owner > 0 && owner <= kHolderSlots && owner - 1 != static_cast<uint32_t>(m_slot)) ReclaimLocked(owner - 1);
    return true;
}

void SharedMemory::ReleaseSpin()
{
    if (m_holders.get()) Holders()->sht_spinOwner = 0;
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
        // A holder that died never releases: take its holds back.
        if (ReclaimGoneHolders(false) && ready(scb)) return true;
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
            if (SharedHolder* slot = OwnSlot()) slot->sh_writer = 1;
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
            if (SharedHolder* slot = OwnSlot()) slot->sh_writer = 0;
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
        if (SharedHolder* slot = OwnSlot()) slot->sh_writer = 0;
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
            if (SharedHolder* slot = OwnSlot()) slot->sh_reads = slot->sh_reads + 1;
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
        if (SharedHolder* slot = OwnSlot()) slot->sh_reads = slot->sh_reads ? slot->sh_reads - 1 : 0;
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
    if (required < m_elementCount) return GrowResult::Fits;
    unsigned long long capacity = RoundUp(static_cast<unsigned long long>(required) + limits.gl_headroom + 1, limits.gl_step);
    if (capacity > limits.gl_maximum) return GrowResult::TooLarge;
    return ReplaceDataBlock(static_cast<DWORD>(capacity));
}

GrowResult SharedMemory::Reserve(DWORD elements, const GrowthLimits& limits)
{
    if (!Usable() || !m_view.get() || limits.gl_step == 0) return GrowResult::Failed;
    if (elements <= m_elementCount) return GrowResult::Fits;
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
    // between them; while the count is 0, openers wait and locks refuse. A
    // user that died still counts until its share is taken back.
    if (InterlockedCompareExchange(&scb->scb_refCount, 0, 1) != 1 &&
        (!ReclaimGoneHolders(true) || InterlockedCompareExchange(&scb->scb_refCount, 0, 1) != 1))
        return GrowResult::Shared;

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
        error = CreateMapped(m_name, static_cast<DWORD>(bytes), &m_dataMapping, &m_view, &existed, &m_viewBytes);
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
        if (CreateMapped(m_name, oldBytes, &m_dataMapping, &m_view, &existed, &m_viewBytes) != ERROR_SUCCESS) {
            m_view.reset();
            m_dataMapping.reset();
            m_viewBytes = 0;
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
            if (SharedHolder* slot = OwnSlot()) slot->sh_writer = 0;
            WakeOne();
            ReleaseSpin();
        }
        // The data block goes first: once the count drops, a remaining sole
        // user may replace the block, and must not find this one still held.
        m_view.reset();
        m_dataMapping.reset();
        // Out of the table before the count drops: a slot still counted when
        // this process dies would be taken back a second time.
        if (SharedHolder* slot = OwnSlot()) slot->sh_counted = 0;
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
    LeaveHolders();
    m_holders.reset();
    m_holdersMapping.reset();
    m_control.reset();
    m_controlMapping.reset();
    m_event.reset();
    m_name[0] = '\0';
    m_elementSize = 0;
    m_elementCount = 0;
    m_viewBytes = 0;
    m_readHolds = 0;
    m_holdsWrite = false;
    m_counted = false;
}
