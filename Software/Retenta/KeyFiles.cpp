// Loading, recovery and saving of a key's two files. Every decision of the
// open and the save is made here; the byte-level format lives in keyfile::.
#include "KeyFiles.h"

#include <cstring>
#include <memory>
#include <new>

#include "Crc32.h"
#include "KeyDataBlock.h"
#include "KeyFileFormat.h"
#include "KeyGrowth.h"
#include "KeyIndex.h"
#include "Retenta.h"
#include "StoreFileCalls.h"

using keyfile::KeyDataBlock;

namespace {

// No key the store can hold comes near this; a larger file is not read at all.
constexpr DWORD kMaxReadBytes = 16u * 1024 * 1024;

// The assertion text names its site by these numbers; they stay fixed so
// that the text does not change whenever the code around it moves.
constexpr int kAssertPrimaryHeld = 113;
constexpr int kAssertPrimaryTooLarge = 201;
constexpr int kAssertSecondaryTooLarge = 214;
constexpr int kAssertSecondaryTooLargeNewDirectory = 237;

const char kEmptyKeyFile[] = "CRC:0\r\n";

enum class LoadResult { Valid, Invalid, TooLarge };

struct LoadOutcome {
    LoadResult result;
    DWORD      total;    // Valid: 524 + text length
    DWORD      detail;   // TooLarge: the growth's detail code
};

// An invalid file leaves an empty key: no lines, sorted, the text a lone NUL.
DWORD EmptyBlock(SharedMemory& shm)
{
    auto* block = static_cast<KeyDataBlock*>(shm.Data());
    std::memset(block, 0, keyfile::kIndexBytes);
    block->sorted = 1;
    block->count = 0;
    block->offsets[0] = static_cast<uint16_t>(keyfile::kIndexBytes);
    block->text()[0] = '\0';
    return keyfile::kIndexBytes;
}

// One load attempt of one file into the block, whose write lock the caller
// holds. The file is read and validated in private memory first, so that the
// shared block only ever holds a valid key or an empty one.
LoadOutcome LoadKeyFile(const char* path, SharedMemory& shm)
{
    LoadOutcome invalid{LoadResult::Invalid, 0, 0};
    EmptyBlock(shm);

    CStoreFile file;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return invalid;
    LONGLONG size = 0;
    if (!file.Size(&size) || size <= 0 || size > kMaxReadBytes) return invalid;
    DWORD fileSize = static_cast<DWORD>(size);
    std::unique_ptr<char[]> data(new (std::nothrow) char[fileSize]);
    if (!data || !file.ReadAll(data.get(), fileSize)) return invalid;
    file.Close();

    size_t textLength = 0;
    if (!keyfile::ValidateKeyFile(data.get(), fileSize, &textLength)) return invalid;

    // Room for every file the store itself can write: index, text and NUL.
    // A valid key that does not fit is kept on disk untouched by the caller.
    DWORD growth = ReserveKeyBlock(shm, static_cast<DWORD>(keyfile::kIndexBytes + textLength + 1));
    if (growth != 0) return LoadOutcome{LoadResult::TooLarge, 0, growth};

    auto* block = static_cast<KeyDataBlock*>(shm.Data());   // Reserve may have moved it
    std::memset(block, 0, keyfile::kIndexBytes);
    std::memcpy(block->text(), data.get(), textLength);
    block->text()[textLength] = '\0';
    DWORD total = keyfile::IndexKeyText(block, static_cast<uint32_t>(textLength));
    return LoadOutcome{LoadResult::Valid, total, 0};
}

// A whole file, read without sharing; false when it cannot be read whole.
bool ReadWhole(const char* path, std::unique_ptr<char[]>* data, DWORD* size)
{
    CStoreFile file;
    LONGLONG length = 0;
    if (!file.Open(path, GENERIC_READ, 0, OPEN_EXISTING) || !file.Size(&length) || length < 0 ||
        length > kMaxReadBytes)
        return false;
    *size = static_cast<DWORD>(length);
    data->reset(new (std::nothrow) char[*size + 1]);
    return *data && file.ReadAll(data->get(), *size);
}

// Whether the secondary holds what the valid primary holds. Its size and
// last bytes are not enough: a copy or a rewrite that a power cut tore in the
// middle keeps both. So the secondary must pass its own checksum, and match
// the primary byte for byte (a valid but older secondary does not).
bool SecondaryCurrent(const char* primary, const char* secondary)
{
    std::unique_ptr<char[]> bytes[2];
    DWORD sizes[2] = {};
    if (!ReadWhole(primary, &bytes[0], &sizes[0])) {
        // The primary loaded a moment ago; it is held elsewhere. Counting the
        // secondary as stale makes it a fresh copy of the primary.
        StoreAssertFailed(kAssertPrimaryHeld);
        return false;
    }
    size_t textLength = 0;
    return ReadWhole(secondary, &bytes[1], &sizes[1]) && sizes[0] == sizes[1] &&
           keyfile::ValidateKeyFile(bytes[1].get(), sizes[1], &textLength) &&
           std::memcmp(bytes[0].get(), bytes[1].get(), sizes[0]) == 0;
}

// An empty key: the primary written new, the secondary copied from it. Only
// the primary counts; the secondary is repaired at the next open.
bool CreateNewKeyFiles(const KeyPaths& paths)
{
    CStoreFile file;
    if (!file.Open(paths.primary, GENERIC_WRITE, 0, CREATE_ALWAYS)) return false;
    bool written = file.WriteAll(kEmptyKeyFile, sizeof kEmptyKeyFile - 1);
    file.Close();
    if (!written) return false;
    FileCopy(paths.secondary, paths.primary);
    return true;
}

// Writes one key file in full, over its old content, and cuts it to its new
// length: rewriting a file in place costs the disk less than making it anew.
// Only a flushed file counts as written: a save that reports success must be
// on the disk. A cut before the flush leaves the file torn, which its
// checksum shows; the other file still holds the last save.
bool WriteKeyFile(const char* path, const char* text, DWORD length)
{
    // Saves of one key by several users run side by side under their read
    // holds, and each opens the file without sharing: a sharing violation is
    // usually another save a millisecond from its end, so it is waited out
    // briefly instead of failing the close.
    CStoreFile file;
    for (int attempt = 0; attempt < keyfile::kBusyFileAttempts; ++attempt) {
        if (file.Open(path, GENERIC_WRITE, 0, OPEN_ALWAYS) || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(keyfile::kBusyFilePauseMs);
    }
    if (!file.IsOpen() || !file.WriteAll(text, length)) return false;
    char crcLine[24];
    size_t crcLength = keyfile::FormatCrcLine(keyfile::Crc32(text, length), crcLine);
    return file.WriteAll(crcLine, static_cast<DWORD>(crcLength)) && file.SetEnd() && file.Flush();
}

StoreOutcome Failed(DWORD detail)
{
    ReportDetail(detail);
    return StoreOutcome{PERS_FAILED, detail};
}

// Neither file usable: an empty key is created and loaded from the primary.
bool CreateAndLoad(const KeyPaths& paths, SharedMemory& shm, DWORD* total)
{
    if (!CreateNewKeyFiles(paths)) return false;
    LoadOutcome loaded = LoadKeyFile(paths.primary, shm);
    if (loaded.result != LoadResult::Valid) return false;
    *total = loaded.total;
    return true;
}

// Loads the secondary and, when it is valid, copies it over the primary and
// writes the recovery's text. A file too large to load asserts at `site`.
LoadOutcome RecoverFromSecondary(const KeyPaths& paths, SharedMemory& shm, int site)
{
    LoadOutcome secondary = LoadKeyFile(paths.secondary, shm);
    if (secondary.result == LoadResult::TooLarge) StoreAssertFailed(site);
    if (secondary.result == LoadResult::Valid) {
        FileCopy(paths.primary, paths.secondary);
        StoreDebugText("%s\n", DetailText(PERS_PRIMARY_INVALID_RECOVERED));
    }
    return secondary;
}

StoreOutcome RecoverInExistingDirectory(const KeyPaths& paths, SharedMemory& shm, DWORD* total)
{
    LoadOutcome primary = LoadKeyFile(paths.primary, shm);
    if (primary.result == LoadResult::TooLarge) {
        StoreAssertFailed(kAssertPrimaryTooLarge);
        return StoreOutcome{PERS_FAILED, primary.detail};
    }
    if (primary.result == LoadResult::Valid) {
        *total = primary.total;
        if (SecondaryCurrent(paths.primary, paths.secondary)) return StoreOutcome{PERS_SUCCESS, 0};
        FileCopy(paths.secondary, paths.primary);
        ReportDetail(PERS_SECONDARY_MISSING_RECOVERED);
        return StoreOutcome{PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED};
    }

    LoadOutcome secondary = RecoverFromSecondary(paths, shm, kAssertSecondaryTooLarge);
    if (secondary.result == LoadResult::TooLarge) return StoreOutcome{PERS_FAILED, secondary.detail};
    if (secondary.result == LoadResult::Valid) {
        *total = secondary.total;
        SetLastError(PERS_PRIMARY_INVALID_RECOVERED);
        return StoreOutcome{PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED};
    }

    if (!CreateNewKeyFiles(paths)) return Failed(PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW);
    LoadOutcome created = LoadKeyFile(paths.primary, shm);
    if (created.result != LoadResult::Valid) return Failed(PERS_FAILED_FILE_LOAD);
    *total = created.total;
    return StoreOutcome{PERS_SUCCESS_INFO, PERS_KEY_CREATED_NEW};
}

StoreOutcome RecoverInNewDirectory(const KeyPaths& paths, SharedMemory& shm, DWORD* total)
{
    if (!CreateDirectoryPath(paths.keyDirectory)) return Failed(PERS_PATH_MISSING_COULD_NOT_CREATE_NEW);

    LoadOutcome secondary = RecoverFromSecondary(paths, shm, kAssertSecondaryTooLargeNewDirectory);
    if (secondary.result == LoadResult::TooLarge) return StoreOutcome{PERS_FAILED, secondary.detail};
    if (secondary.result == LoadResult::Valid) {
        *total = secondary.total;
        return StoreOutcome{PERS_SUCCESS_INFO, PERS_PATH_CREATED};
    }

    if (!CreateAndLoad(paths, shm, total)) return Failed(PERS_FAILED_FILE_LOAD);
    return StoreOutcome{PERS_SUCCESS_INFO, PERS_PATH_CREATED};
}

} // namespace

StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, CKeyWriteLock& lock)
{
    SharedMemory& shm = lock.Memory();
    if (!lock.Held() || !shm.Data()) {
        lock.SetTotal(0);
        return Failed(PERS_FAILED_SHARED_MEMORY_CREATION);
    }
    lock.Changing();
    DWORD total = 0;
    StoreOutcome outcome = IsDirectory(paths.keyDirectory) ? RecoverInExistingDirectory(paths, shm, &total)
                                                           : RecoverInNewDirectory(paths, shm, &total);
    // A failed open publishes length 0, "never loaded": the next opener then
    // reads the files again instead of taking an empty key for the real one
    // and saving it over a file that was only too large or held elsewhere.
    lock.SetTotal(outcome.result == PERS_FAILED ? 0 : total);
    return outcome;
}

StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, SharedMemory& shm)
{
    CKeyWriteLock lock(shm);
    if (!lock.Adopt()) lock.Take(0);
    return OpenKeyWithRecovery(paths, lock);
}

StoreOutcome SaveKeyFiles(const KeyPaths& paths, const char* text, DWORD length)
{
    if (WriteKeyFile(paths.primary, text, length)) {
        // The secondary gets the same bytes, written the same way; one that
        // cannot be written so is replaced by a copy of the primary, with
        // every step of the robust copy.
        if (!WriteKeyFile(paths.secondary, text, length)) FileCopy(paths.secondary, paths.primary);
        return StoreOutcome{PERS_SUCCESS, 0};
    }
    if (!WriteKeyFile(paths.secondary, text, length)) return Failed(PERS_KEY_CLOSED_SAVE_FAILED);
    // A primary that keeps its old content would be trusted over the newer
    // secondary at the next open: only a replaced primary makes this a save.
    if (!FileCopy(paths.primary, paths.secondary)) return Failed(PERS_KEY_CLOSED_SAVE_FAILED);
    ReportDetail(PERS_PRIMARY_INVALID_USING_BACKUP);
    return StoreOutcome{PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP};
}
