// Loading, recovery and saving of a key's two files.
#pragma once

#include <windows.h>

#include "KeyLocks.h"
#include "RobustFiles.h"
#include "SharedMemory.h"
#include "StoreDebug.h"

constexpr size_t kPathChars = 260;   // path buffers hold 260 characters plus NUL

struct KeyPaths {
    char primary[kPathChars + 1];
    char secondary[kPathChars + 1];
    char keyDirectory[kPathChars + 1];
};

// Fills the freshly created data block from whichever file is valid, repairs
// the other, or creates an empty key. The caller holds the write lock through
// `lock` from before the first file to after the last, so that no other
// opener sees a half-loaded key; the loaded total is set in it for the
// release (0, "never loaded", after a failure).
StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, CKeyWriteLock& lock);

// The same for a block whose write lock this instance already holds, or
// takes at once; the lock is released here.
StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, SharedMemory& shm);

// Writes text (the block's value lines) to both files. The caller holds a
// read hold.
StoreOutcome SaveKeyFiles(const KeyPaths& paths, const char* text, DWORD length);
