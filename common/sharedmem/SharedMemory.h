// A named region shared between processes, with a reader/writer lock whose
// state lives in a small control block beside it. Three named objects per
// region N: the data block N, the control block N + "_Data" and the
// auto-reset event N + "_Event"; beside them the table of holders,
// N + "_Holders" (SharedHolders.h), through which a lock outlives a holder
// that dies.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "SharedHolders.h"
#include "Win32Handle.h"

// The control block; its layout binds every process that maps the region.
struct SharedControlBlock {
    volatile LONG scb_refCount;   // 0 until the creator has finished initialising
    volatile LONG scb_writer;     // 1 while a writer holds or claims the lock
    volatile LONG scb_spin;       // guards the fields from scb_writer on
    volatile LONG scb_readers;    // read holds over all instances
    volatile LONG scb_waiters;    // waits announced on the event and not yet woken
    volatile LONG scb_capacity;   // element count of the data block
    volatile LONG scb_length;     // bytes of the data block in use
};
static_assert(sizeof(SharedControlBlock) == 28, "control block layout is binding");
// 32-bit and 64-bit programs share one block on a 64-bit unit: every field
// keeps its offset in both widths.
static_assert(sizeof(LONG) == 4, "control block fields are 32 bits in both widths");
static_assert(offsetof(SharedControlBlock, scb_refCount) == 0, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_writer) == 4, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_spin) == 8, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_readers) == 12, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_waiters) == 16, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_capacity) == 20, "control block layout is binding");
static_assert(offsetof(SharedControlBlock, scb_length) == 24, "control block layout is binding");

// How far a region's data block may grow, in elements. The owner of the
// region decides; the region only keeps to it.
struct GrowthLimits {
    DWORD gl_step;       // capacities are whole multiples of this
    DWORD gl_headroom;   // Grow leaves more than this beyond what was asked for
    DWORD gl_maximum;    // no capacity beyond this
};

enum class GrowResult {
    Fits,       // the block holds the requested size (grown if need be)
    TooLarge,   // the size needs a capacity beyond the maximum
    Shared,     // another user maps the block, so it cannot be replaced
    Failed,     // the block could not be replaced (memory, mapping, or a length past the new capacity)
};

class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory() { Destroy(); }
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates or opens the three objects and maps both blocks. Returns S_OK or
    // 0x80070000 | (error & 0xFFFF). *existed tells whether the data block was
    // already there (another user holds it open and its content is current).
    HRESULT Create(const char* name, DWORD elementSize, DWORD elementCount, bool* existed = nullptr);

    // The lock. Each wait on the event lasts at most timeoutMs (-1: no limit).
    bool LockWrite(int timeoutMs);
    void UnlockWrite(DWORD newLength);
    bool LockRead(int timeoutMs);
    void UnlockRead();

    DWORD GetLength();               // read under the spin word
    DWORD GetCapacity();

    // Both with the write lock held; a grown block has a new address (Data()).
    // Grow: a capacity of `required` or less stays; otherwise the smallest
    // whole step above required + headroom. Reserve: the fewest steps that
    // hold `elements`. Neither reports a refusal: what it means is the
    // owner's to say.
    GrowResult Grow(DWORD required, const GrowthLimits& limits);
    GrowResult Reserve(DWORD elements, const GrowthLimits& limits);

    // A read that takes the spin word once instead of taking and releasing a
    // read hold: look(data, length, viewBytes) runs with the spin word held
    // while no writer holds or claims the lock, so the block cannot change
    // under it. viewBytes is what this process mapped, the bound of every
    // access: the length is only what some process stored. `look` must be
    // short and must neither wait nor touch memory outside the view; it
    // returns true when it found the content damaged, which is then marked
    // as not to be trusted (length 0) before anyone can change it. False,
    // without calling it, when a writer is there or the region is unusable:
    // the caller then takes a read hold.
    template <class Look>
    bool ReadBriefly(Look&& look)
    {
        if (!Usable() || !m_view.get()) return false;
        SharedControlBlock* scb = Control();
        TakeSpin();
        bool noWriter = scb->scb_writer == 0;
        if (noWriter && look(static_cast<const void*>(m_view.get()), static_cast<DWORD>(scb->scb_length), m_viewBytes))
            scb->scb_length = 0;
        ReleaseSpin();
        return noWriter;
    }

    // Stores length 0 under the spin word: the owner's mark for content that
    // is not to be trusted (never loaded, or found damaged). Only with a hold
    // (a read hold or the write lock), so that what was judged is what goes.
    void DiscardContent();

    // With the write lock held, before the first byte of the data block
    // moves: should this instance die before it releases the lock, its
    // content is dropped (length 0) and ContentLost() is true until a writer
    // publishes a length again.
    void MarkChanging();
    bool ContentLost() const;

    // Releases every hold of this instance, closes its objects. Safe to repeat.
    void Destroy();

    void*  Data() const { return m_view.get(); }
    DWORD  ViewBytes() const { return m_viewBytes; }   // the data block as this process mapped it
    bool   IsOpen() const { return m_control.get() != nullptr; }
    bool   HoldsWriteLock() const { return m_holdsWrite; }
    bool   Tracked() const { return m_slot >= 0; }   // has a slot in the holder table
    LONG   ReadHolds() const { return m_readHolds; }
    SharedControlBlock* Control() const { return static_cast<SharedControlBlock*>(m_control.get()); }

private:
    bool   Usable() const;           // control block mapped and initialised
    void   TakeSpin();
    void   ReleaseSpin();
    bool   MarkSpinTaken();          // after the exchange won it; false when it was taken over first
    bool   TakeSpinOver(bool* watching, uint32_t* watched, DWORD* since);   // from a holder that died or kept it too long
    uint32_t SpinOwner() const { return m_slot >= 0 ? static_cast<uint32_t>(m_slot) + 1 : kOwnerUntracked; }
    void   JoinHolders();
    void   LeaveHolders();
    bool   CountIn(DWORD start);     // raises scb_refCount for this instance (waits for an initialised block)
    void   CountOut();
    void   DropWriterLocked(const DWORD* length);   // spin word held
    // Takes back the holds of every process that died holding some (`idle`:
    // also the slots of those that held none). True when any was taken.
    bool   ReclaimGoneHolders(bool idle);
    void   ReclaimLocked(uint32_t slot);   // spin word held
    // This instance's holds, and a step on the control block as the slot
    // protocol wants it (SharedHolders.h): note, change, settle.
    HolderHolds OwnHolds() const;
    void   NoteStep(uint32_t step, LONG before);
    void   SettleHolds(const HolderHolds& holds);
    SharedHolder* OwnSlot() const { return m_slot >= 0 ? &Holders()->sht_slots[m_slot] : nullptr; }
    SharedHolderTable* Holders() const { return static_cast<SharedHolderTable*>(m_holders.get()); }
    // Announces a wait and waits on the event (spin word held on entry,
    // released); true when woken or when `ready` holds, false on timeout.
    bool   WaitTurn(int timeoutMs, bool (*ready)(const SharedControlBlock*));
    void   WakeOne();                // spin word held
    GrowResult ReplaceDataBlock(DWORD capacity);

    char          m_name[272] = {};
    DWORD         m_elementSize = 0;
    DWORD         m_elementCount = 0;
    DWORD         m_viewBytes = 0;
    int           m_slot = -1;         // this instance's slot in the holder table (-1: none free)
    uint32_t      m_spinMark = 0;      // the mark this instance's take of the spin word left
    LONG          m_readHolds = 0;
    bool          m_holdsWrite = false;
    bool          m_changing = false;  // MarkChanging since the write lock was taken
    bool          m_counted = false;   // this instance's share of scb_refCount is in
    UniqueHandle  m_event;
    UniqueHandle  m_controlMapping;
    UniqueView    m_control;
    UniqueHandle  m_dataMapping;
    UniqueView    m_view;
    UniqueHandle  m_holdersMapping;
    UniqueView    m_holders;
};
