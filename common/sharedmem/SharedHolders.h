// Who holds what of a region's lock. The control block only counts holds; a
// process that dies holding one would leave it counted for good. So every
// instance also notes its own holds in a slot of this table, a fourth named
// object N + "_Holders" beside the control block, and a waiter that finds a
// slot's process gone takes that process's holds back.
//
// The table is zero-filled when the system creates it, which is its empty
// state: no initialisation, no creator to wait for. Fixed-width fields only,
// so that 32- and 64-bit processes map the same bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t kHolderSlots = 128;

struct SharedHolder {
    volatile uint32_t sh_pid;       // 0: a free slot
    volatile uint32_t sh_reads;     // this instance's read holds, all counted in scb_readers
    volatile uint32_t sh_writer;    // 1 while this instance holds or claims scb_writer
    volatile uint32_t sh_counted;   // 1 while this instance's share of scb_refCount is in
    volatile uint64_t sh_started;   // the process's creation time: a reused process id is not it
};

struct SharedHolderTable {
    volatile uint32_t sht_spinOwner;   // slot + 1 of the spin word's holder; 0 not known
    volatile uint32_t sht_untracked;   // instances that found no free slot
    uint32_t          sht_reserved[2];
    SharedHolder      sht_slots[kHolderSlots];
};

static_assert(offsetof(SharedHolder, sh_started) == 16 && sizeof(SharedHolder) == 24, "holder layout is shared");
static_assert(offsetof(SharedHolderTable, sht_slots) == 16 && sizeof(SharedHolderTable) == 16 + 24 * kHolderSlots,
              "holder table layout is shared");

// This process as a slot records it.
uint32_t HolderPid();
uint64_t HolderStarted();

// True when the process a slot names has ended (or its id now belongs to a
// process started later). A process this one may not look at counts as alive.
bool HolderGone(uint32_t pid, uint64_t started);
