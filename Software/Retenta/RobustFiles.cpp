#include "RobustFiles.h"

#include <cstdio>
#include <cstring>

#include "KeyFiles.h"
#include "StoreDebug.h"
#include "StoreFileCalls.h"

namespace {

constexpr int kCopyAttempts = 4;
constexpr size_t kTimeSuffixChars = 14;   // YYYYMMDDhhmmss

// The preparation before each copy attempt but the first: each goes further
// in clearing the destination out of the way.
void PrepareAttempt(int attempt, const char* destination)
{
    if (attempt == 1) {
        if (!StoreSetFileAttributes(destination, FILE_ATTRIBUTE_NORMAL)) {
            DWORD error = GetLastError();
            StoreDebugText("Retenta SetFileAttributes failed, GetLastError = %d, Attributes = 0x%x\n",
                           static_cast<int>(error), static_cast<unsigned>(StoreGetFileAttributes(destination)));
        }
    } else if (attempt == 2) {
        if (!StoreDeleteFile(destination))
            StoreDebugText("Retenta DeleteFile failed, GetLastError = %d\n", static_cast<int>(GetLastError()));
        if (!StoreRemoveDirectory(destination))
            StoreDebugText("Retenta RemoveDirectory failed, GetLastError = %d\n", static_cast<int>(GetLastError()));
    } else if (attempt == 3) {
        // Moves a destination that cannot be replaced out of the way. A name
        // that would not fit stays empty, so the rename fails rather than
        // moving the file under a cut name.
        char aside[kPathChars + 1] = "";
        if (std::strlen(destination) + kTimeSuffixChars < kPathChars) {
            SYSTEMTIME now;
            GetSystemTime(&now);
            std::snprintf(aside, sizeof aside, "%s%04d%02d%02d%02d%02d%02d", destination, now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond);
        }
        // MoveFile is this call with these flags.
        if (!StoreMoveFile(destination, aside, MOVEFILE_COPY_ALLOWED))
            StoreDebugText("Retenta MoveFile (rename from %s to %s) failed, GetLastError = %d\n", destination, aside,
                           static_cast<int>(GetLastError()));
    }
}

// CopyFile leaves the copy in the cache. Until it is on the disk, a power
// cut during the next save, which rewrites the copy's source at once, could
// leave neither file valid. A flush that fails is reported like any failed
// call; the copy itself stands.
void FlushCopy(const char* destination)
{
    CStoreFile copy;
    if (copy.Open(destination, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)) copy.Flush();
}

} // namespace

bool FileCopy(const char* destination, const char* source)
{
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        PrepareAttempt(attempt, destination);
        if (StoreCopyFile(source, destination, FALSE)) {
            FlushCopy(destination);
            return true;
        }
        StoreDebugText("Retenta CopyFile failed, GetLastError = %d\n", static_cast<int>(GetLastError()));
    }
    return false;
}

bool IsDirectory(const char* path)
{
    DWORD attributes = StoreGetFileAttributes(path);
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

            lastCreated = StoreCreateDirectory(step) != 0;
            if (!lastCreated) {
                DWORD attributes = StoreGetFileAttributes(step);
                if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    StoreSetFileAttributes(step, FILE_ATTRIBUTE_NORMAL);
                    StoreDeleteFile(step);
                    lastCreated = StoreCreateDirectory(step) != 0;
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
