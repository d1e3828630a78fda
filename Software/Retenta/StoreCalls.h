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
// save. A damaged block is marked so that the key is loaded again from its
// files at its next open (0x201C set, written to the debug output).
bool SoundTotal(SharedKey& key, DWORD* total);

// The dword and bool reads, with or without creating a missing value: the
// forms without a default argument fail on a missing value instead.
enum class WhenMissing { Create, Fail };
long ReadDword(const char* name, unsigned long* value, unsigned long defaultValue, int timeout, WhenMissing missing);
long ReadBool(const char* name, int* value, int defaultValue, int timeout, WhenMissing missing);
