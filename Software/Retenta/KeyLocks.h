// Scope guards for a key's cross-process lock, so that every early return
// releases what it took. The write lock's release publishes the key's total
// length, which the holder sets as it changes the block.
#pragma once

#include <windows.h>

#include "SharedMemory.h"

class CKeyWriteLock {
public:
    explicit CKeyWriteLock(SharedMemory& memory) : m_memory(memory) {}
    ~CKeyWriteLock() { Release(); }
    CKeyWriteLock(const CKeyWriteLock&) = delete;
    CKeyWriteLock& operator=(const CKeyWriteLock&) = delete;

    // Takes the lock; the total to publish starts as the one found.
    bool Take(int timeout)
    {
        if (m_bHeld || !m_memory.LockWrite(timeout)) return m_bHeld;
        m_bHeld = true;
        m_nTotal = m_memory.GetLength();
        return true;
    }
    // Takes over the lock when the memory's instance already holds it.
    bool Adopt()
    {
        if (!m_bHeld && m_memory.HoldsWriteLock()) {
            m_bHeld = true;
            m_nTotal = m_memory.GetLength();
        }
        return m_bHeld;
    }
    // Releases now, publishing the total.
    void Release()
    {
        if (m_bHeld) m_memory.UnlockWrite(m_nTotal);
        m_bHeld = false;
    }

    // Before the first byte of the block moves: a holder that dies from here
    // on leaves the block to be loaded again, not trusted half changed.
    void          Changing() { if (m_bHeld) m_memory.MarkChanging(); }
    bool          Held() const { return m_bHeld; }
    DWORD         Total() const { return m_nTotal; }
    void          SetTotal(DWORD total) { m_nTotal = total; }
    SharedMemory& Memory() const { return m_memory; }

private:
    SharedMemory& m_memory;
    bool          m_bHeld = false;
    DWORD         m_nTotal = 0;
};

class CKeyReadHold {
public:
    explicit CKeyReadHold(SharedMemory& memory) : m_memory(memory) {}
    ~CKeyReadHold() { Release(); }
    CKeyReadHold(const CKeyReadHold&) = delete;
    CKeyReadHold& operator=(const CKeyReadHold&) = delete;

    bool Take(int timeout) { return m_bHeld = m_bHeld || m_memory.LockRead(timeout); }
    void Release()
    {
        if (m_bHeld) m_memory.UnlockRead();
        m_bHeld = false;
    }

private:
    SharedMemory& m_memory;
    bool          m_bHeld = false;
};
