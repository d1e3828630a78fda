// Loading, recovery and saving of a key's two files, the robust copy and the
// creation of missing directories.
#pragma once

#include <windows.h>

#include "SharedMemory.h"
#include "StoreDebug.h"

constexpr size_t kPathChars = 260;   // path buffers hold 260 characters plus NUL

struct KeyPaths {
    char primary[kPathChars + 1];
    char secondary[kPathChars + 1];
    char keyDirectory[kPathChars + 1];
};

// Fills the freshly created data block from whichever file is valid, repairs
// the other, or creates an empty key. The caller holds the write lock; it is
// released here, once, storing the loaded total length.
StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, SharedMemory& shm);

// Writes text (the block's value lines) to both files. The caller holds a
// read hold.
StoreOutcome SaveKeyFiles(const KeyPaths& paths, const char* text, DWORD length);

// Copies source over destination in up to four attempts.
bool FileCopy(const char* destination, const char* source);

// Creates every missing directory of path; a plain file in the way is
// replaced. True when the whole path is then a directory.
bool CreateDirectoryPath(const char* path);

bool IsDirectory(const char* path);
