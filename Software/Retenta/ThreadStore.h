// Per-thread state of the store: the key table, the current key and whether
// it changed. Each thread sees only its own.
#pragma once

#include <windows.h>

#include "KeyDataBlock.h"
#include "KeyFiles.h"
#include "SharedMemory.h"

// One thread's handle on one key: its names and its own instance of the
// key's shared memory.
struct SharedKey {
    char         sk_name[kPathChars + 1];   // shared name, e.g. c:/data/shellpersist/shellconfig
    KeyPaths     sk_paths;
    SharedMemory sk_memory;
    bool         sk_unsaved = false;        // a save failed; the block still holds changes

    keyfile::KeyDataBlock* Block() const { return static_cast<keyfile::KeyDataBlock*>(sk_memory.Data()); }
};

constexpr int kKeySlots = 256;

struct ThreadStoreState {
    SharedKey* ts_keys[kKeySlots];
    SharedKey* ts_current;
    bool       ts_dirty;       // the current key's text changed since it was saved
    char       ts_backupDrive; // 0 until this thread's first open
};

// The calling thread's state, created zero-filled on first use; nullptr only
// when memory runs out.
ThreadStoreState* CurrentThreadState();

// Destroys the calling thread's keys and state (thread end, library unload).
// Nothing is saved.
void DiscardThreadState();

void StoreProcessAttach();
void StoreProcessDetach();
