// Settings of the reliability runs, taken from the command line, the child
// modes they start, and the store and shared block each run sets up.
#pragma once

#include <windows.h>

#include <string>

#include "ChildProcess.h"
#include "StoreTestSupport.h"

struct ReliabilityOptions {
    int      kills = 200;         // --kills=N: child processes killed mid-change
    int      writes = 50;         // --writes=N: one-shot writes per writer thread
    int      names = 10;          // --names=N: values of each writer thread (1 to 10)
    // Changes tried at each byte of the primary: --damage=some (default: its
    // lowest and highest bit flipped), --damage=bits (each bit), --damage=all
    // (every other byte value).
    enum Damage { SomeBits, EveryBit, EveryValue } damage = SomeBits;
    unsigned seed = 0;            // --seed=N: 0 picks one from the clock
};

extern ReliabilityOptions g_reliability;

int ChangeLoopChild(int argc, char** argv);
int WritersChild(int argc, char** argv);

// A figure line for the report, also visible in the CTest log.
void Figure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The store of one run: a directory of its own as the base path and
// "PersistBkupDrive" absent, so that the key's secondary lies beside its
// primary.
struct RunStore {
    RunStore(const char* sub, const char* key);

    TempStoreDir      dir;
    CorvaneValue      backupDrive{"PersistBkupDrive"};
    const std::string pri;
    const std::string sec;
    bool              basePathSet = false;
};

// A block of T that the test shares with its child processes, zero-filled,
// under a name of its own.
template <class T>
class SharedBlock {
public:
    explicit SharedBlock(const char* prefix) : m_name(UniqueName(prefix))
    {
        m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(T), m_name.c_str());
        if (m_mapping) m_view = static_cast<T*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(T)));
    }
    ~SharedBlock()
    {
        if (m_view) UnmapViewOfFile(m_view);
        if (m_mapping) CloseHandle(m_mapping);
    }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    T*                 get() const { return m_view; }   // null when it could not be made
    T*                 operator->() const { return m_view; }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    HANDLE      m_mapping = nullptr;
    T*          m_view = nullptr;
};

// A child's start: the base path from "--base=", then the test's block named
// by "--map=", mapped until the child ends; null when it cannot be mapped.
void* JoinRun(int argc, char** argv, size_t size);
template <class T>
T* JoinRun(int argc, char** argv)
{
    return static_cast<T*>(JoinRun(argc, argv, sizeof(T)));
}
