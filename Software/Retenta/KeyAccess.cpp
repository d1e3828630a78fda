// OpenPersistKey and ClosePersistKey: making a key current, sharing it with
// its other users, and saving it when it changed.
#include <cstring>
#include <new>

#include "KeyFileFormat.h"
#include "KeyIndex.h"
#include "KeyNames.h"
#include "StoreCalls.h"
#include "StoreLocation.h"

namespace {

constexpr DWORD kInitialKeyBytes = 4096;

void EmptySlot(ThreadStoreState* state, int slot)
{
    SharedKey* key = state->ts_keys[slot];
    state->ts_keys[slot] = nullptr;
    if (key) {
        key->sk_memory.Destroy();
        delete key;
    }
}

// Whether the block holds a loaded key. The length in the control block is
// not enough: the control block can outlive the data block (an opener holds it
// between the last user's leaving and mapping the data block itself), and a
// data block made anew is all zero whatever length the control block still
// records. A loaded block always ends its indexed text at or past the index.
// A block that another process damaged counts as not loaded: it is loaded
// again from the files.
bool HoldsLoadedKey(SharedMemory& memory)
{
    const auto* block = static_cast<const keyfile::KeyDataBlock*>(memory.Data());
    return block && keyfile::BlockSound(block, memory.GetLength(), memory.ViewBytes());
}

// Loads a key whose block holds no loaded key, under its write lock. Whoever
// gets the lock first and still finds it unloaded loads it, so a key is read
// from its files once and never reloaded over a user's changes.
StoreOutcome LoadIfNeeded(SharedKey& key, int timeout, bool* reloaded = nullptr)
{
    StoreOutcome loaded{PERS_SUCCESS, 0};
    if (HoldsLoadedKey(key.sk_memory)) return loaded;
    CKeyWriteLock lock(key.sk_memory);
    if (!lock.Take(timeout)) {
        ReportDetail(PERS_FAILED_SHARED_MEMORY_CREATION);
        return StoreOutcome{PERS_FAILED, PERS_FAILED_SHARED_MEMORY_CREATION};
    }
    // Judged again under the lock: unlocked, a block that another user is
    // changing can look unsound for a moment, and reloading it would throw
    // away this thread's unsaved changes.
    if (HoldsLoadedKey(key.sk_memory)) return loaded;
    if (reloaded) *reloaded = true;
    return OpenKeyWithRecovery(key.sk_paths, lock);
}

// Forms the primary, secondary and key directory of a key and its shared
// name. Fails (0x2010) when any of them would not fit its buffer.
bool FormKeyNames(ThreadStoreState* state, const char* subdir, const char* keyName, SharedKey& key)
{
    char base[kPathChars + 1];
    CopyBasePath(base, sizeof base);
    KeyPaths& paths = key.sk_paths;
    char secondaryProbe[kPathChars + 1];
    if (!JoinPath(paths.keyDirectory, sizeof paths.keyDirectory, base, subdir) ||
        !JoinPath(paths.primary, sizeof paths.primary, paths.keyDirectory, "\\", keyName, ".pri") ||
        !JoinPath(secondaryProbe, sizeof secondaryProbe, paths.keyDirectory, "\\", keyName, ".sec") ||
        !FormSharedName(paths.keyDirectory, keyName, key.sk_name, sizeof key.sk_name))
        return false;
    char backupDir[kPathChars + 1];
    if (!BackupDirectory(paths.keyDirectory, &state->ts_backupDrive, backupDir, sizeof backupDir) ||
        !JoinPath(paths.secondary, sizeof paths.secondary, backupDir, "\\", keyName, ".sec"))
        return false;
    return true;
}

} // namespace

long OpenPersistKey(const char* subdirectory, const char* keyName, int timeout)
{
    ClosePersistKey(timeout);
    ThreadStoreState* state = CurrentThreadState();
    if (!state) return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    if (state->ts_current) {
        // The close failed: its changes stay with the key for a later open.
        state->ts_current->sk_unsaved = state->ts_current->sk_unsaved || state->ts_dirty;
        state->ts_current = nullptr;
    }
    state->ts_dirty = false;

    size_t subdirLen = subdirectory ? std::strlen(subdirectory) : 0;
    if (subdirLen == 0 || subdirLen > kPathChars) return Refuse(PERS_FAILED_BAD_SUBDIR);
    size_t keyLen = keyName ? std::strlen(keyName) : 0;
    if (keyLen == 0 || keyLen > 100) return Refuse(PERS_FAILED_BAD_KEYNAME);
    SetLastError(0);

    SharedKey* key = new (std::nothrow) SharedKey();
    if (!key) return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    if (!FormKeyNames(state, subdirectory, keyName, *key)) {
        delete key;
        return Refuse(PERS_FAILED_PATH_TOO_LONG);
    }

    int freeSlot = -1;
    for (int slot = 0; slot < kKeySlots; ++slot) {
        SharedKey* existing = state->ts_keys[slot];
        if (!existing) {
            if (freeSlot < 0) freeSlot = slot;
            continue;
        }
        if (std::strcmp(existing->sk_name, key->sk_name) == 0) {
            delete key;
            // Found damaged since this thread last used it: read from the files again.
            // Changes it kept unsaved went with the damaged block.
            bool reloaded = false;
            StoreOutcome outcome = LoadIfNeeded(*existing, timeout, &reloaded);
            if (outcome.result == PERS_FAILED) {
                EmptySlot(state, slot);
                return Finish(PERS_FAILED, outcome.detail);
            }
            if (reloaded) existing->sk_unsaved = false;
            state->ts_current = existing;
            state->ts_dirty = existing->sk_unsaved;
            return Finish(outcome.result, outcome.detail);
        }
    }
    if (freeSlot < 0) {
        delete key;
        return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    }
    state->ts_keys[freeSlot] = key;

    if (FAILED(key->sk_memory.Create(key->sk_name, 1, kInitialKeyBytes))) {
        EmptySlot(state, freeSlot);
        return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    }
    // A block that another user has loaded is current: no files are read.
    StoreOutcome outcome = LoadIfNeeded(*key, timeout);
    if (outcome.result == PERS_FAILED) {
        EmptySlot(state, freeSlot);
        return Finish(PERS_FAILED, outcome.detail);
    }
    state->ts_current = key;
    return Finish(outcome.result, outcome.detail);
}

long ClosePersistKey(int timeout)
{
    ThreadStoreState* state = CurrentThreadState();
    if (!state || !state->ts_current) return PERS_SUCCESS;
    SharedKey& key = *state->ts_current;
    if (!state->ts_dirty) {
        state->ts_current = nullptr;
        return PERS_SUCCESS;
    }
    CKeyReadHold hold(key.sk_memory);
    if (!key.sk_memory.IsOpen() || !hold.Take(timeout)) {
        // Not saved: the key stays current and dirty, so a later close saves it.
        key.sk_unsaved = true;
        return Refuse(PERS_KEY_CLOSED_FAILED_TIMEOUT);
    }
    DWORD total = 0;
    StoreOutcome outcome{PERS_FAILED, PERS_KEY_CLOSED_SAVE_FAILED};
    // A damaged block is never saved over the files that still hold the key.
    if (SoundTotal(key, &total)) {
        outcome = SaveKeyFiles(key.sk_paths, key.Block()->text(), total - keyfile::kIndexBytes);
    } else {
        ReportDetail(PERS_KEY_CLOSED_SAVE_FAILED);
    }
    hold.Release();
    if (outcome.result == PERS_FAILED) {
        key.sk_unsaved = true;
        return Finish(PERS_FAILED, outcome.detail);
    }
    key.sk_unsaved = false;
    state->ts_dirty = false;
    state->ts_current = nullptr;
    return Finish(outcome.result, outcome.detail);
}

long ClosePersistKey()
{
    return ClosePersistKey(-1);
}

ThreadStoreState* CheckValueCall(const char* name, size_t* nameLen)
{
    ThreadStoreState* state = CurrentThreadState();
    if (!state || !state->ts_current) {
        ReportDetail(PERS_FAILED_KEY_NOT_OPEN);
        return nullptr;
    }
    size_t len = name ? keyfile::WritableNameLength(name) : 0;
    if (len == 0) {
        ReportDetail(PERS_FAILED_VALUE_NAME_TOO_LONG);
        return nullptr;
    }
    *nameLen = len;
    return state;
}

bool ReloadLostContent(SharedKey& key, int timeout)
{
    if (!key.sk_memory.ContentLost()) return false;
    return LoadIfNeeded(key, timeout).result != PERS_FAILED;
}

bool CurrentTotal(SharedKey& key, DWORD* total)
{
    return UsableTotal(key.sk_memory.GetLength(), key.sk_memory.ViewBytes(), total);
}

bool UsableTotal(DWORD length, DWORD viewBytes, DWORD* total)
{
    if (length < keyfile::kIndexBytes || length >= viewBytes) return false;
    *total = length;
    return true;
}

bool SoundTotal(SharedKey& key, DWORD* total)
{
    DWORD length = key.sk_memory.GetLength();
    const keyfile::KeyDataBlock* block = key.Block();
    if (block && keyfile::BlockSound(block, length, key.sk_memory.ViewBytes())) {
        *total = length;
        return true;
    }
    if (length != 0) key.sk_memory.DiscardContent();
    return false;
}
