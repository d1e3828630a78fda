// Helpers shared by the store's exported calls.
#pragma once

#include "Retenta.h"
#include "StoreDebug.h"
#include "ThreadStore.h"

// Returns result after setting the thread's last-error value to detail.
inline long Finish(long result, DWORD detail)
{
    SetLastError(detail);
    return result;
}

// Refuses with the named detail code (written to the debug output).
inline long Refuse(DWORD detail)
{
    ReportDetail(detail);
    return PERS_FAILED;
}

// The checks every value operation makes first: a current key and a name of
// 1 to 100 characters that the file format can carry. Null when refused (the
// detail code is then set).
ThreadStoreState* CheckValueCall(const char* name, size_t* nameLen);

// The current key's total length, checked against the block as this process
// mapped it. A block shorter than its index was never loaded (or was found
// damaged) and counts as unusable.
bool CurrentTotal(SharedKey& key, DWORD* total);
bool UsableTotal(DWORD length, DWORD viewBytes, DWORD* total);

// The current key's block with every index offset checked, for a change or a
// save; the caller holds the write lock or a read hold. A damaged block is
// marked (length 0) so that the key is loaded again from its files at its
// next open; reporting the refusal is the caller's.
bool SoundTotal(SharedKey& key, DWORD* total);

// Loads the key again from its files, under its write lock, when its content
// was dropped because a writer died in the middle of a change (SharedMemory::
// ContentLost). The caller holds none of the key's locks. True when it did
// and the key is usable again.
bool ReloadLostContent(SharedKey& key, int timeout);

// The dword and bool reads, with or without creating a missing value: the
// forms without a default argument fail on a missing value instead.
enum class WhenMissing { Create, Fail };
long ReadDword(const char* name, unsigned long* value, unsigned long defaultValue, int timeout, WhenMissing missing);
long ReadBool(const char* name, int* value, int defaultValue, int timeout, WhenMissing missing);
