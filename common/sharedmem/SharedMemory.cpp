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
// finding it taken asks after the holder every so many tries, and takes it
// over at once from a holder that has died. A word whose mark names nobody who
// can be checked and has not moved for this long is taken over too: it is well
// below the shortest lock timeout callers use (1000 ms), so that a holder that
// cannot be named (it died before marking its take, or has no slot), or
// garbage in the table, costs a caller this much once and never its timeout.
const unsigned kSpinTriesPerLook = 64;
const DWORD    kSpinPatienceMs = 400;
// A holder known to be alive is never cut off mid-step for being slow unless
// it stays so for far longer than any step under the word takes; only garbage
// naming a living process (or one stopped in a debugger) waits this out.
const DWORD    kLiveSpinPatienceMs = 5000;

bool WriterGone(const SharedControlBlock* scb) { return scb->scb_writer == 0; }
bool ReadersGone(const SharedControlBlock* scb) { return scb->scb_readers == 0; }

const char kEventSuffix[] = "_Event";
const char kDataSuffix[]  = "_Data";
const char kHoldersSuffix[] = "_Holders";

uint32_t ExchangeIf(volatile uint32_t* target, uint32_t value, uint32_t expected)
{
    return static_cast<uint32_t>(InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(target),
                                                            static_cast<LONG>(value), static_cast<LONG>(expected)));
}

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
        // An initialised block first: taking a slot may take back the slots
        // of dead holders, which needs one.
        DWORD start = GetTickCount();
        while (scb->scb_refCount <= 0 && GetTickCount() - start < kInitPatienceMs) Sleep(kInitPollMs);
        JoinHolders();
        if (!CountIn(start)) {
            Destroy();
            return HResultFromError(ERROR_TIMEOUT);
        }
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
        JoinHolders();
        NoteStep(kStepCount, 0);
        InterlockedExchange(&scb->scb_refCount, 1);
        HolderHolds holds = OwnHolds();
        holds.counted = true;
        SettleHolds(holds);
        m_counted = true;
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
// the instance works without one (its holds cannot be taken back if it dies).
void SharedMemory::JoinHolders()
{
    SharedHolderTable* table = Holders();
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (uint32_t i = 0; i < kHolderSlots; ++i) {
            SharedHolder& slot = table->sht_slots[i];
            if (slot.sh_pid != 0 || ExchangeIf(&slot.sh_pid, HolderPid(), 0) != 0) continue;
            // Until the start time is in, a reclaimer judges the slot by
            // its process id alone.
            slot.sh_holds = 0;
            slot.sh_before = 0;
            slot.sh_started = HolderStarted();
            m_slot = static_cast<int>(i);
            return;
        }
        // Full: the slots of processes that have ended are free to take.
        if (attempt == 0 && !ReclaimGoneHolders(true)) break;
    }
}

void SharedMemory::LeaveHolders()
{
    if (SharedHolder* slot = m_holders.get() ? OwnSlot() : nullptr) {
        slot->sh_holds = 0;
        slot->sh_before = 0;
        slot->sh_started = 0;
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&slot->sh_pid), 0);
    }
    m_slot = -1;
}

HolderHolds SharedMemory::OwnHolds() const
{
    SharedHolder* slot = OwnSlot();
    return slot ? UnpackHolds(slot->sh_holds) : HolderHolds{};
}

void SharedMemory::NoteStep(uint32_t step, LONG before)
{
    SharedHolder* slot = OwnSlot();
    if (!slot) return;
    HolderHolds holds = UnpackHolds(slot->sh_holds);
    holds.step = step;
    slot->sh_before = static_cast<uint32_t>(before);
    slot->sh_holds = PackHolds(holds);
}

void SharedMemory::SettleHolds(const HolderHolds& holds)
{
    SharedHolder* slot = OwnSlot();
    if (!slot) return;
    HolderHolds settled = holds;
    settled.step = kStepNone;
    slot->sh_holds = PackHolds(settled);
}

// Raises the count of an initialised block, waiting for one (from `start`
// on) while its creator or a grower has it at 0.
bool SharedMemory::CountIn(DWORD start)
{
    SharedControlBlock* scb = Control();
    NoteStep(kStepCount, 0);
    for (;;) {
        LONG seen = scb->scb_refCount;
        if (seen > 0 && InterlockedCompareExchange(&scb->scb_refCount, seen + 1, seen) == seen) break;
        if (seen > 0) continue;
        if (GetTickCount() - start >= kInitPatienceMs) {
            SettleHolds(OwnHolds());
            return false;
        }
        Sleep(kInitPollMs);
    }
    HolderHolds holds = OwnHolds();
    holds.counted = true;
    SettleHolds(holds);
    m_counted = true;
    return true;
}

void SharedMemory::CountOut()
{
    if (!m_counted) return;
    SharedControlBlock* scb = Control();
    NoteStep(kStepCount, 0);
    // Never below 1: 0 means "not initialised" and would leave an opener that
    // arrives while the last user leaves polling.
    for (;;) {
        LONG seen = scb->scb_refCount;
        if (seen <= 1 || InterlockedCompareExchange(&scb->scb_refCount, seen - 1, seen) == seen) break;
    }
    HolderHolds holds = OwnHolds();
    holds.counted = false;
    SettleHolds(holds);
    m_counted = false;
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
        if (pid == 0) continue;
        if (!idle && slot.sh_holds == 0) continue;
        // Asked with the spin word free: these are calls into the system. A
        // slot without a start time is one whose taker died taking it, or
        // is taking it now: only its process id tells.
        if (!HolderGone(pid, started)) continue;
        TakeSpin();
        // Another reclaimer may have freed the slot, and someone else may
        // have taken it since.
        if (slot.sh_pid == pid && slot.sh_started == started) {
            ReclaimLocked(i);
            any = true;
        }
        ReleaseSpin();
    }
    return any;
}

// A dead holder's own holds are taken back, and nothing else: other holders,
// with or without a slot, keep theirs. A holder that died mid-change leaves a
// data block that no one can trust: its content is dropped, to be loaded again.
void SharedMemory::ReclaimLocked(uint32_t index)
{
    SharedControlBlock* scb = Control();
    SharedHolderTable* table = Holders();
    SharedHolder& slot = table->sht_slots[index];
    ReclaimPlan plan = PlanReclaim(slot.sh_holds, slot.sh_before, static_cast<uint32_t>(scb->scb_readers),
                                   static_cast<uint32_t>(scb->scb_writer));
    LONG readers = scb->scb_readers;
    LONG taken = static_cast<LONG>(plan.readers);
    scb->scb_readers = readers > taken ? readers - taken : 0;
    if (plan.clearWriter) scb->scb_writer = 0;
    if (plan.discard) {
        scb->scb_length = 0;
        table->sht_lost = 1;
    }
    if (plan.lowerCount) {
        // Never below 1 while this instance still counts itself in.
        for (;;) {
            LONG seen = scb->scb_refCount;
            if (seen <= 1 || InterlockedCompareExchange(&scb->scb_refCount, seen - 1, seen) == seen) break;
        }
    }
    slot.sh_holds = 0;
    slot.sh_before = 0;
    slot.sh_started = 0;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&slot.sh_pid), 0);
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

void SharedMemory::MarkChanging()
{
    if (!m_holdsWrite) return;
    m_changing = true;
    if (SharedHolder* slot = OwnSlot()) {
        HolderHolds holds = UnpackHolds(slot->sh_holds);
        holds.writer = kWriterChanging;
        slot->sh_holds = PackHolds(holds);
    }
    // Noted before the caller's first byte moves.
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

bool SharedMemory::ContentLost() const
{
    return m_holders.get() && Holders()->sht_lost != 0;
}

bool SharedMemory::Usable() const
{
    return m_control.get() != nullptr && Control()->scb_refCount != 0;
}

void SharedMemory::TakeSpin()
{
    SharedControlBlock* scb = Control();
    SharedHolderTable* table = Holders();
    bool watching = false;
    uint32_t watched = 0;
    DWORD since = 0;
    unsigned tries = 0;
    for (;;) {
        if (InterlockedExchange(&scb->scb_spin, 1) == 0 && (!table || MarkSpinTaken())) return;
        // Sleep(0) gives way only to threads of the same priority or higher:
        // past the first look a waiter sleeps, so that a holder of lower
        // priority runs and frees the word.
        Sleep(tries < kSpinTriesPerLook ? 0 : 1);
        if (!table || ++tries % kSpinTriesPerLook != 0) continue;
        if (TakeSpinOver(&watching, &watched, &since)) return;
    }
}

// Moves the mark to this instance after the exchange found the word free.
bool SharedMemory::MarkSpinTaken()
{
    SharedHolderTable* table = Holders();
    for (;;) {
        uint32_t mark = table->sht_spinMark;
        // Free words carry no owner. One that does was taken over by a
        // waiter the moment it was set here: it is that waiter's.
        if (MarkOwner(mark) != 0) return false;
        uint32_t next = NextMark(mark, SpinOwner());
        if (ExchangeIf(&table->sht_spinMark, next, mark) == mark) {
            m_spinMark = next;
            return true;
        }
    }
}

// Takes the spin word over, still set, when the holder its mark names has
// died, or when the mark has not moved for the whole patience: short when it
// names nobody who can be checked, long when it names a living process. The mark moves to this instance in one compare-exchange: a holder
// that took or released the word since has moved it, and the take-over fails.
bool SharedMemory::TakeSpinOver(bool* watching, uint32_t* watched, DWORD* since)
{
    SharedHolderTable* table = Holders();
    uint32_t mark = table->sht_spinMark;
    DWORD now = GetTickCount();
    bool fresh = !*watching || mark != *watched;
    if (fresh) {
        // The first look, or the word changed hands since the last one:
        // patience starts again.
        *watching = true;
        *watched = mark;
        *since = now;
    }
    uint32_t owner = MarkOwner(mark);
    uint32_t pid = 0;
    uint64_t started = 0;
    bool ownerGone = false;
    bool ownerAlive = false;
    if (owner >= 1 && owner <= kHolderSlots && static_cast<int>(owner - 1) != m_slot) {
        const SharedHolder& slot = table->sht_slots[owner - 1];
        pid = slot.sh_pid;
        started = slot.sh_started;
        ownerGone = pid != 0 && HolderGone(pid, started);
        ownerAlive = pid != 0 && !ownerGone;
    }
    const DWORD patience = ownerAlive ? kLiveSpinPatienceMs : kSpinPatienceMs;
    if (!ownerGone && (fresh || now - *since < patience)) return false;
    uint32_t next = NextMark(mark, SpinOwner());
    if (ExchangeIf(&table->sht_spinMark, next, mark) != mark) return false;
    m_spinMark = next;
    // Set, whoever freed it meanwhile: a taker that finds it free now also
    // finds the mark naming this instance, and leaves it.
    InterlockedExchange(&Control()->scb_spin, 1);
    const SharedHolder& slot = table->sht_slots[owner - 1 < kHolderSlots ? owner - 1 : 0];
    if (ownerGone && slot.sh_pid == pid && slot.sh_started == started) ReclaimLocked(owner - 1);
    return true;
}

void SharedMemory::ReleaseSpin()
{
    if (SharedHolderTable* table = Holders()) {
        // Taken over while this instance held it (judged gone or too slow):
        // the word is the other's now, and the other's to free.
        uint32_t mine = m_spinMark;
        if (ExchangeIf(&table->sht_spinMark, NextMark(mine, 0), mine) != mine) return;
    }
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

// Gives up the writer flag (spin word held); `length` is stored first when
// given. A writer that leaves mid-change drops the content instead.
void SharedMemory::DropWriterLocked(const DWORD* length)
{
    SharedControlBlock* scb = Control();
    NoteStep(kStepWriterDown, scb->scb_writer);
    if (m_changing && !length) {
        scb->scb_length = 0;
        if (m_holders.get()) Holders()->sht_lost = 1;
    } else if (length) {
        scb->scb_length = static_cast<LONG>(*length);
        if (*length != 0 && m_holders.get()) Holders()->sht_lost = 0;
    }
    scb->scb_writer = 0;
    HolderHolds holds = OwnHolds();
    holds.writer = kWriterNone;
    SettleHolds(holds);
    m_changing = false;
}

bool SharedMemory::LockWrite(int timeoutMs)
{
    SharedControlBlock* scb = Control();
    for (;;) {
        if (!Usable()) return false;
        TakeSpin();
        if (scb->scb_writer == 0) {
            NoteStep(kStepWriterUp, scb->scb_writer);
            scb->scb_writer = 1;
            HolderHolds holds = OwnHolds();
            holds.writer = kWriterHeld;
            SettleHolds(holds);
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
            DropWriterLocked(nullptr);
            ReleaseSpin();
            return false;
        }
    }
}

void SharedMemory::UnlockWrite(DWORD newLength)
{
    if (!Usable()) return;
    TakeSpin();
    if (m_holdsWrite) {
        DropWriterLocked(&newLength);
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
            NoteStep(kStepReadUp, scb->scb_readers);
            scb->scb_readers = scb->scb_readers + 1;
            HolderHolds holds = OwnHolds();
            holds.reads += 1;
            SettleHolds(holds);
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
        // Never below 0: a count some other program lowered too far would
        // otherwise keep every writer out for good.
        LONG readers = scb->scb_readers;
        NoteStep(kStepReadDown, readers);
        scb->scb_readers = readers > 0 ? readers - 1 : 0;
        HolderHolds holds = OwnHolds();
        if (holds.reads > 0) holds.reads -= 1;
        SettleHolds(holds);
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
        while (m_readHolds > 0 && Usable()) UnlockRead();
        if (m_holdsWrite && Usable()) {
            // The length stays what the last release stored: this holder's
            // changes are unfinished, the previous content is the usable one
            // (unless bytes have moved, and then there is none).
            TakeSpin();
            DropWriterLocked(nullptr);
            WakeOne();
            ReleaseSpin();
        }
        // The data block goes first: once the count drops, a remaining sole
        // user may replace the block, and must not find this one still held.
        m_view.reset();
        m_dataMapping.reset();
        if (Holders()) CountOut();
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
    m_changing = false;
    m_counted = false;
}
