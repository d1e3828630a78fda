// Loading, recovery and saving of a key's two files. Every decision of the
// open and the save is made here; the byte-level format lives in keyfile::.
#include "KeyFiles.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "Crc32.h"
#include "KeyDataBlock.h"
#include "KeyFileFormat.h"
#include "KeyIndex.h"
#include "Retenta.h"

using keyfile::KeyDataBlock;

namespace {

// No key the store can hold comes near this; a larger file is not read at all.
constexpr DWORD kMaxReadBytes = 16u * 1024 * 1024;

constexpr int kCopyAttempts = 4;
constexpr int kSharedWriteAttempts = 20;
constexpr DWORD kSharedWritePauseMs = 5;
constexpr size_t kTimeSuffixChars = 14;   // YYYYMMDDhhmmss

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

// Reads exactly size bytes from the current position; false on a short read.
bool ReadAll(HANDLE file, char* buffer, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + done, size - done, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    if (size == 0) return true;
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// One load attempt of one file into the block, whose write lock the caller
// holds. The file is read and validated in private memory first, so that the
// shared block only ever holds a valid key or an empty one.
LoadOutcome LoadKeyFile(const char* path, SharedMemory& shm)
{
    LoadOutcome invalid{LoadResult::Invalid, 0, 0};
    EmptyBlock(shm);

    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return invalid;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxReadBytes)
        return invalid;
    DWORD fileSize = static_cast<DWORD>(size.QuadPart);
    std::unique_ptr<char[]> data(new (std::nothrow) char[fileSize]);
    if (!data || !ReadAll(file.get(), data.get(), fileSize)) return invalid;
    file.reset();

    size_t textLength = 0;
    if (!keyfile::ValidateKeyFile(data.get(), fileSize, &textLength)) return invalid;

    // Room for every file the store itself can write: index, text and NUL.
    // A valid key that does not fit is kept on disk untouched by the caller.
    DWORD growth = shm.Reserve(static_cast<DWORD>(keyfile::kIndexBytes + textLength + 1));
    if (growth != 0) return LoadOutcome{LoadResult::TooLarge, 0, growth};

    auto* block = static_cast<KeyDataBlock*>(shm.Data());   // Reserve may have moved it
    std::memset(block, 0, keyfile::kIndexBytes);
    std::memcpy(block->text(), data.get(), textLength);
    block->text()[textLength] = '\0';
    DWORD total = keyfile::IndexKeyText(block, static_cast<uint32_t>(textLength));
    return LoadOutcome{LoadResult::Valid, total, 0};
}

// The last 15 bytes before each file's final byte hold its CRC line, and
// equal end positions mean equal sizes: together they stand for the content.
bool SameTail(const char* primary, const char* secondary)
{
    UniqueHandle first(CreateFileA(primary, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!first) {
        // The primary loaded a moment ago; it is held elsewhere. Counting the
        // tails as different makes the secondary a fresh copy of it.
        StoreAssertFailed(__LINE__);
        return false;
    }
    UniqueHandle second(CreateFileA(secondary, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!second) return false;

    struct Tail {
        LONGLONG position;
        DWORD    got;
        char     bytes[15];
    } tails[2] = {};
    HANDLE files[2] = {first.get(), second.get()};
    for (int i = 0; i < 2; ++i) {
        LARGE_INTEGER back, now;
        back.QuadPart = -16;
        if (SetFilePointerEx(files[i], back, &now, FILE_END)) {
            tails[i].position = now.QuadPart;
        } else {
            // Shorter than 16 bytes: compare the whole file from its start.
            tails[i].position = -1;
            LARGE_INTEGER zero;
            zero.QuadPart = 0;
            SetFilePointerEx(files[i], zero, nullptr, FILE_BEGIN);
        }
        if (!ReadFile(files[i], tails[i].bytes, sizeof tails[i].bytes, &tails[i].got, nullptr))
            tails[i].got = 0;
    }
    return tails[0].position == tails[1].position && tails[0].got == tails[1].got &&
           std::memcmp(tails[0].bytes, tails[1].bytes, tails[0].got) == 0;
}

// An empty key: the primary written new, the secondary copied from it. Only
// the primary counts; the secondary is repaired at the next open.
bool CreateNewKeyFiles(const KeyPaths& paths)
{
    UniqueHandle file(CreateFileA(paths.primary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool written = WriteAll(file.get(), kEmptyKeyFile, sizeof kEmptyKeyFile - 1);
    file.reset();
    if (!written) return false;
    FileCopy(paths.secondary, paths.primary);
    return true;
}

// Writes one key file in full. Only a flushed file counts as written: a save
// that reports success must be on the disk.
bool WriteKeyFile(const char* path, const char* text, DWORD length)
{
    // Saves of one key by several users run side by side under their read
    // holds, and each opens the file without sharing: a sharing violation is
    // usually another save a millisecond from its end, so it is waited out
    // briefly instead of failing the close.
    UniqueHandle file;
    for (int attempt = 0; attempt < kSharedWriteAttempts; ++attempt) {
        file.reset(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(kSharedWritePauseMs);
    }
    if (!file) return false;
    if (!WriteAll(file.get(), text, length)) return false;
    char crcLine[24];
    size_t crcLength = keyfile::FormatCrcLine(keyfile::Crc32(text, length), crcLine);
    if (!WriteAll(file.get(), crcLine, static_cast<DWORD>(crcLength))) return false;
    return FlushFileBuffers(file.get()) != 0;
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

StoreOutcome RecoverInExistingDirectory(const KeyPaths& paths, SharedMemory& shm, DWORD* total)
{
    LoadOutcome primary = LoadKeyFile(paths.primary, shm);
    if (primary.result == LoadResult::TooLarge) {
        StoreAssertFailed(__LINE__);
        return StoreOutcome{PERS_FAILED, primary.detail};
    }
    if (primary.result == LoadResult::Valid) {
        *total = primary.total;
        if (SameTail(paths.primary, paths.secondary)) return StoreOutcome{PERS_SUCCESS, 0};
        FileCopy(paths.secondary, paths.primary);
        ReportDetail(PERS_SECONDARY_MISSING_RECOVERED);
        return StoreOutcome{PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED};
    }

    LoadOutcome secondary = LoadKeyFile(paths.secondary, shm);
    if (secondary.result == LoadResult::TooLarge) {
        StoreAssertFailed(__LINE__);
        return StoreOutcome{PERS_FAILED, secondary.detail};
    }
    if (secondary.result == LoadResult::Valid) {
        *total = secondary.total;
        FileCopy(paths.primary, paths.secondary);
        ReportDetail(PERS_PRIMARY_INVALID_RECOVERED);
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

    LoadOutcome secondary = LoadKeyFile(paths.secondary, shm);
    if (secondary.result == LoadResult::TooLarge) {
        StoreAssertFailed(__LINE__);
        return StoreOutcome{PERS_FAILED, secondary.detail};
    }
    if (secondary.result == LoadResult::Valid) {
        *total = secondary.total;
        FileCopy(paths.primary, paths.secondary);
        StoreDebugText("%s\n", DetailText(PERS_PRIMARY_INVALID_RECOVERED));
        return StoreOutcome{PERS_SUCCESS_INFO, PERS_PATH_CREATED};
    }

    if (!CreateAndLoad(paths, shm, total)) return Failed(PERS_FAILED_FILE_LOAD);
    return StoreOutcome{PERS_SUCCESS_INFO, PERS_PATH_CREATED};
}

} // namespace

StoreOutcome OpenKeyWithRecovery(const KeyPaths& paths, SharedMemory& shm)
{
    if (!shm.Data() || (!shm.HoldsWriteLock() && !shm.LockWrite(0))) {
        shm.UnlockWrite(0);
        return Failed(PERS_FAILED_SHARED_MEMORY_CREATION);
    }

    // The lock stays held from the first file to the last, so that no other
    // opener ever sees a half-loaded key.
    DWORD total = 0;
    StoreOutcome outcome = IsDirectory(paths.keyDirectory)
                               ? RecoverInExistingDirectory(paths, shm, &total)
                               : RecoverInNewDirectory(paths, shm, &total);
    // A failed open stores length 0, "never loaded": the next opener then
    // reads the files again instead of taking an empty key for the real one
    // and saving it over a file that was only too large or held elsewhere.
    shm.UnlockWrite(outcome.result == PERS_FAILED ? 0 : total);
    return outcome;
}

StoreOutcome SaveKeyFiles(const KeyPaths& paths, const char* text, DWORD length)
{
    if (WriteKeyFile(paths.primary, text, length)) {
        FileCopy(paths.secondary, paths.primary);
        return StoreOutcome{PERS_SUCCESS, 0};
    }
    if (!WriteKeyFile(paths.secondary, text, length)) return Failed(PERS_KEY_CLOSED_SAVE_FAILED);
    // A primary that keeps its old content would be trusted over the newer
    // secondary at the next open: only a replaced primary makes this a save.
    if (!FileCopy(paths.primary, paths.secondary)) return Failed(PERS_KEY_CLOSED_SAVE_FAILED);
    ReportDetail(PERS_PRIMARY_INVALID_USING_BACKUP);
    return StoreOutcome{PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP};
}

bool FileCopy(const char* destination, const char* source)
{
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (attempt == 1) {
            if (!SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL)) {
                DWORD error = GetLastError();
                StoreDebugText("Retenta SetFileAttributes failed, GetLastError = %d, Attributes = 0x%x\n",
                               static_cast<int>(error), static_cast<unsigned>(GetFileAttributesA(destination)));
            }
        } else if (attempt == 2) {
            if (!DeleteFileA(destination))
                StoreDebugText("Retenta DeleteFile failed, GetLastError = %d\n", static_cast<int>(GetLastError()));
            if (!RemoveDirectoryA(destination))
                StoreDebugText("Retenta RemoveDirectory failed, GetLastError = %d\n",
                               static_cast<int>(GetLastError()));
        } else if (attempt == 3) {
            // Moves a destination that cannot be replaced out of the way. A
            // name that would not fit stays empty, so the rename fails rather
            // than moving the file under a cut name.
            char aside[kPathChars + 1] = "";
            if (std::strlen(destination) + kTimeSuffixChars < kPathChars) {
                SYSTEMTIME now;
                GetSystemTime(&now);
                std::snprintf(aside, sizeof aside, "%s%04d%02d%02d%02d%02d%02d", destination, now.wYear,
                              now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
            }
            if (!MoveFileA(destination, aside))
                StoreDebugText("Retenta MoveFile (rename from %s to %s) failed, GetLastError = %d\n", destination,
                               aside, static_cast<int>(GetLastError()));
        }
        if (CopyFileA(source, destination, FALSE)) return true;
        StoreDebugText("Retenta CopyFile failed, GetLastError = %d\n", static_cast<int>(GetLastError()));
    }
    return false;
}

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryPath(const char* path)
{
    size_t length = std::strlen(path);
    if (length == 0 || length > kPathChars) return false;
    char step[kPathChars + 1];
    size_t used = 0;
    // Leading backslashes (a path from the root of the current drive) stay.
    while (path[used] == '\\') {
        step[used] = '\\';
        ++used;
    }
    const char* p = path + used;
    bool lastCreated = false;
    bool first = true;
    while (*p) {
        const char* end = std::strchr(p, '\\');
        size_t componentLength = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (componentLength > 0) {
            if (!first) step[used++] = '\\';
            std::memcpy(step + used, p, componentLength);
            used += componentLength;
            step[used] = '\0';
            first = false;

            lastCreated = CreateDirectoryA(step, nullptr) != 0;
            if (!lastCreated) {
                DWORD attributes = GetFileAttributesA(step);
                if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    SetFileAttributesA(step, FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(step);
                    lastCreated = CreateDirectoryA(step, nullptr) != 0;
                } else if (attributes != INVALID_FILE_ATTRIBUTES) {
                    // Already there as a directory: made by an earlier run or by
                    // another opener at the same moment; either is as good.
                    lastCreated = true;
                }
            }
        }
        if (!end) break;
        p = end + 1;
    }
    return lastCreated && IsDirectory(path);
}
