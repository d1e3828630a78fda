// A named region shared between processes, with a reader/writer lock whose
// state lives in a small control block beside it. Three named objects per
// region N: the data block N, the control block N + "_Data" and the
// auto-reset event N + "_Event".
#pragma once

#include <windows.h>
#include <cstdint>

#include "Win32Handle.h"

// The control block; its layout binds every process that maps the region.
struct KeyControlBlock {
    volatile LONG kcb_refCount;   // 0 until the creator has finished initialising
    volatile LONG kcb_writer;     // 1 while a writer holds or claims the lock
    volatile LONG kcb_spin;       // guards the fields from kcb_writer on
    volatile LONG kcb_readers;    // read holds over all instances
    volatile LONG kcb_waiters;    // waits announced on the event and not yet woken
    volatile LONG kcb_capacity;   // element count of the data block
    volatile LONG kcb_length;     // bytes of the data block in use
};
static_assert(sizeof(KeyControlBlock) == 28, "control block layout is binding");

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

    // Grows a persist key's block (1-byte elements) to hold `required` bytes,
    // with the write lock held. Returns 0 on success, else the store's detail
    // code (0x201E beyond 65536 bytes, 0x2012 when the block is shared or
    // cannot be replaced); the matching text goes to the debug output.
    DWORD Grow(DWORD required);

    // Makes the capacity at least `bytes` in the fewest 4096-byte steps (the
    // load uses it so that every key the store can hold can be loaded again).
    // Same results as Grow.
    DWORD Reserve(DWORD bytes);

    // Releases every hold of this instance, closes its objects. Safe to repeat.
    void Destroy();

    void*  Data() const { return m_view.get(); }
    bool   IsOpen() const { return m_control.get() != nullptr; }
    bool   HoldsWriteLock() const { return m_holdsWrite; }
    LONG   ReadHolds() const { return m_readHolds; }
    KeyControlBlock* Control() const { return static_cast<KeyControlBlock*>(m_control.get()); }

private:
    bool   Usable() const;           // control block mapped and initialised
    void   TakeSpin();
    void   ReleaseSpin();
    // Announces a wait and waits on the event (spin word held on entry,
    // released); true when woken or when `ready` holds, false on timeout.
    bool   WaitTurn(int timeoutMs, bool (*ready)(const KeyControlBlock*));
    void   WakeOne();                // spin word held
    DWORD  ReplaceDataBlock(DWORD capacity);

    char          m_name[272] = {};
    DWORD         m_elementSize = 0;
    DWORD         m_elementCount = 0;
    LONG          m_readHolds = 0;
    bool          m_holdsWrite = false;
    bool          m_counted = false;   // this instance's share of kcb_refCount is in
    UniqueHandle  m_event;
    UniqueHandle  m_controlMapping;
    UniqueView    m_control;
    UniqueHandle  m_dataMapping;
    UniqueView    m_view;
};
