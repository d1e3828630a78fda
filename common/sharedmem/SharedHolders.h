// Who holds what of a region's lock. The control block only counts holds; a
// process that dies holding one would leave it counted for good. So every
// instance also notes its own holds in a slot of this table, a fourth named
// object N + "_Holders" beside the control block, and a waiter that finds a
// slot's process gone takes back that slot's holds, and only those: other
// programs may hold the lock without a slot, and their holds stay counted.
//
// The table is zero-filled when the system creates it, which is its empty
// state: no initialisation, no creator to wait for. Fixed-width fields only,
// so that 32- and 64-bit processes map the same bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t kHolderSlots = 128;

// A step that is about to change a count of the control block. A holder notes
// it in its slot, with the field's value before the step, and then changes
// the field; the slot's new holds and the end of the step are one store. A
// holder dies between the two at most, and a reclaimer then compares the
// field with the value noted: while the holder had the spin word nobody else
// changed it. A step on the reference count, which is not guarded by the spin
// word, cannot be judged so: its count is left as it is (one too many at
// worst, which only keeps the block from growing while it is shared).
enum HolderStep : uint32_t {
    kStepNone = 0,
    kStepReadUp,      // scb_readers + 1
    kStepReadDown,    // scb_readers - 1
    kStepWriterUp,    // scb_writer 0 -> 1
    kStepWriterDown,  // scb_writer 1 -> 0, and the length stored
    kStepCount,       // scb_refCount raised or lowered
};

enum WriterState : uint32_t {
    kWriterNone = 0,
    kWriterHeld = 1,      // holds or claims scb_writer
    kWriterChanging = 2,  // holds it and may have left the data block half changed
};

// A slot's holds, packed into one word so that they change in one store.
struct HolderHolds {
    uint32_t reads = 0;    // read holds counted in scb_readers (bits 0-15)
    uint32_t writer = 0;   // WriterState (bits 16-17)
    bool     counted = false;   // this instance's share of scb_refCount is in (bit 18)
    uint32_t step = 0;     // HolderStep under way (bits 24-31)
};

inline uint32_t PackHolds(const HolderHolds& h)
{
    return (h.reads & 0xFFFFu) | (h.writer & 3u) << 16 | (h.counted ? 1u : 0u) << 18 | (h.step & 0xFFu) << 24;
}

inline HolderHolds UnpackHolds(uint32_t word)
{
    HolderHolds h;
    h.reads = word & 0xFFFFu;
    h.writer = word >> 16 & 3u;
    h.counted = (word >> 18 & 1u) != 0;
    h.step = word >> 24;
    return h;
}

struct SharedHolder {
    volatile uint32_t sh_pid;       // 0: a free slot
    volatile uint32_t sh_holds;     // HolderHolds, packed
    volatile uint32_t sh_before;    // the field's value before the step under way
    uint32_t          sh_reserved;
    volatile uint64_t sh_started;   // the process's creation time: a reused process id is not it
};

// The spin word's mark: who took it (slot + 1, kOwnerUntracked, or 0 while it
// is free) and a count of takes and releases above. Every take and release
// moves the mark with a compare-exchange, and so does a waiter that takes
// the word over from a holder that has died or kept it too long: of a holder
// and such a waiter only one can win.
constexpr uint32_t kOwnerUntracked = 0xFF;
inline uint32_t MarkOwner(uint32_t mark) { return mark & 0xFFu; }
inline uint32_t NextMark(uint32_t mark, uint32_t owner) { return ((mark & ~0xFFu) + 0x100u) | (owner & 0xFFu); }

struct SharedHolderTable {
    volatile uint32_t sht_spinMark;   // see MarkOwner
    volatile uint32_t sht_lost;       // 1: the content was dropped after its writer died mid-change
    uint32_t          sht_reserved[2];
    SharedHolder      sht_slots[kHolderSlots];
};

static_assert(offsetof(SharedHolder, sh_started) == 16 && sizeof(SharedHolder) == 24, "holder layout is shared");
static_assert(offsetof(SharedHolderTable, sht_slots) == 16 && sizeof(SharedHolderTable) == 16 + 24 * kHolderSlots,
              "holder table layout is shared");

// What a reclaimer takes back of a dead holder's slot.
struct ReclaimPlan {
    uint32_t readers = 0;       // read holds to subtract from scb_readers (never below 0)
    bool     clearWriter = false;
    bool     lowerCount = false;
    bool     discard = false;   // the data block may be half changed: drop its content
};

// The plan for a slot whose holds word is `holds`, that noted `before` for
// its step, with the control block's counts as found now.
ReclaimPlan PlanReclaim(uint32_t holds, uint32_t before, uint32_t readersNow, uint32_t writerNow);

// This process as a slot records it.
uint32_t HolderPid();
uint64_t HolderStarted();

// True when the process a slot names has ended (or its id now belongs to a
// process started later; started 0: not known). A process this one may not
// look at counts as alive.
bool HolderGone(uint32_t pid, uint64_t started);
