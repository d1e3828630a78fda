#include "StoreFileCalls.h"

#include <cstdio>
#include <cstring>

namespace {

// Copies at most outSize - 1 bytes and terminates.
void CopyBounded(char* out, size_t outSize, const char* text)
{
    size_t length = text ? std::strlen(text) : 0;
    if (length >= outSize) length = outSize - 1;
    if (length) std::memcpy(out, text, length);
    out[length] = '\0';
}

// The latest failures of the process, kept for a debugger or a diagnostic.
// Created on first use and never destroyed: a failure may come at any time
// up to the process's end.
struct FailureRing {
    CRITICAL_SECTION lock;
    FileFailure      entries[kRecentFileFailures];
    size_t           written;   // entries ever written
    FailureRing() : entries(), written(0) { InitializeCriticalSection(&lock); }
};

FailureRing& Ring()
{
    static FailureRing* ring = new FailureRing();
    return *ring;
}

void KeepFailure(const char* call, const char* path, DWORD error)
{
    FailureRing& ring = Ring();
    EnterCriticalSection(&ring.lock);
    FileFailure& entry = ring.entries[ring.written % kRecentFileFailures];
    entry.ff_call = call;
    CopyBounded(entry.ff_path, sizeof entry.ff_path, path);
    entry.ff_error = error;
    ++ring.written;
    LeaveCriticalSection(&ring.lock);
}

const StoreFileCalls* volatile g_pCalls = nullptr;   // nullptr: the default table

void Report(const char* call, const char* path)
{
    DWORD error = GetLastError();
    if (FileCalls().osFailed) FileCalls().osFailed(call, path, error);
    SetLastError(error);
}

void ReportTwo(const char* call, const char* from, const char* to)
{
    char both[sizeof(FileFailure::ff_path)];
    DWORD error = GetLastError();
    std::snprintf(both, sizeof both, "%s -> %s", from ? from : "", to ? to : "");
    SetLastError(error);
    Report(call, both);
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

StoreFileCalls RealCalls()
{
    StoreFileCalls calls = {};
    calls.osCreateFileA = CreateFileA;
    calls.osReadFile = ReadFile;
    calls.osWriteFile = WriteFile;
    calls.osFlushFileBuffers = FlushFileBuffers;
    calls.osSetEndOfFile = SetEndOfFile;
    calls.osSetFilePointerEx = SetFilePointerEx;
    calls.osGetFileSizeEx = GetFileSizeEx;
    calls.osCloseHandle = CloseHandle;
    calls.osCopyFileA = CopyFileA;
    calls.osMoveFileExA = MoveFileExA;
    calls.osDeleteFileA = DeleteFileA;
    calls.osCreateDirectoryA = CreateDirectoryA;
    calls.osRemoveDirectoryA = RemoveDirectoryA;
    calls.osGetFileAttributesA = GetFileAttributesA;
    calls.osSetFileAttributesA = SetFileAttributesA;
    calls.osFindFirstFileA = FindFirstFileA;
    calls.osFindClose = FindClose;
    calls.osFailed = KeepFailure;
    return calls;
}

} // namespace

const StoreFileCalls& DefaultFileCalls()
{
    static const StoreFileCalls calls = RealCalls();
    return calls;
}

const StoreFileCalls& FileCalls()
{
    const StoreFileCalls* calls = g_pCalls;
    return calls ? *calls : DefaultFileCalls();
}

const StoreFileCalls* SetFileCalls(const StoreFileCalls* calls)
{
    const StoreFileCalls* previous = &FileCalls();
    g_pCalls = calls;
    return previous;
}

size_t RecentFileFailures(FileFailure* out, size_t max)
{
    FailureRing& ring = Ring();
    EnterCriticalSection(&ring.lock);
    size_t kept = ring.written < kRecentFileFailures ? ring.written : kRecentFileFailures;
    size_t count = kept < max ? kept : max;
    for (size_t i = 0; i < count; ++i) out[i] = ring.entries[(ring.written - count + i) % kRecentFileFailures];
    LeaveCriticalSection(&ring.lock);
    return count;
}

// ---- path calls ------------------------------------------------------------------

BOOL StoreCopyFile(const char* source, const char* destination, BOOL failIfExists)
{
    BOOL ok = FileCalls().osCopyFileA(source, destination, failIfExists);
    if (!ok) ReportTwo("CopyFileA", source, destination);
    return ok;
}

BOOL StoreMoveFile(const char* from, const char* to, DWORD flags)
{
    BOOL ok = FileCalls().osMoveFileExA(from, to, flags);
    if (!ok) ReportTwo("MoveFileExA", from, to);
    return ok;
}

BOOL StoreDeleteFile(const char* path)
{
    BOOL ok = FileCalls().osDeleteFileA(path);
    if (!ok) Report("DeleteFileA", path);
    return ok;
}

BOOL StoreCreateDirectory(const char* path)
{
    BOOL ok = FileCalls().osCreateDirectoryA(path, nullptr);
    if (!ok) Report("CreateDirectoryA", path);
    return ok;
}

BOOL StoreRemoveDirectory(const char* path)
{
    BOOL ok = FileCalls().osRemoveDirectoryA(path);
    if (!ok) Report("RemoveDirectoryA", path);
    return ok;
}

BOOL StoreSetFileAttributes(const char* path, DWORD attributes)
{
    BOOL ok = FileCalls().osSetFileAttributesA(path, attributes);
    if (!ok) Report("SetFileAttributesA", path);
    return ok;
}

DWORD StoreGetFileAttributes(const char* path)
{
    DWORD attributes = FileCalls().osGetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES && !IsMissing(GetLastError())) Report("GetFileAttributesA", path);
    return attributes;
}

bool StoreFindFile(const char* path, WIN32_FIND_DATAA* found)
{
    const StoreFileCalls& calls = FileCalls();
    HANDLE find = calls.osFindFirstFileA(path, found);
    if (find == INVALID_HANDLE_VALUE) {
        if (!IsMissing(GetLastError()) && GetLastError() != ERROR_NO_MORE_FILES) Report("FindFirstFileA", path);
        return false;
    }
    if (!calls.osFindClose(find)) Report("FindClose", path);
    return true;
}

// ---- open files ------------------------------------------------------------------

bool CStoreFile::Open(const char* path, DWORD access, DWORD share, DWORD disposition)
{
    Close();
    CopyBounded(m_szPath, sizeof m_szPath, path);
    m_hFile = FileCalls().osCreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        Failed("CreateFileA");
        return false;
    }
    return true;
}

bool CStoreFile::Read(void* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    if (FileCalls().osReadFile(m_hFile, buffer, size, got, nullptr)) return true;
    Failed("ReadFile");
    *got = 0;
    return false;
}

bool CStoreFile::ReadAll(void* buffer, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!Read(static_cast<char*>(buffer) + done, size - done, &got) || got == 0) return false;
        done += got;
    }
    return true;
}

bool CStoreFile::WriteAll(const void* data, DWORD size)
{
    if (size == 0) return true;
    DWORD written = 0;
    if (!FileCalls().osWriteFile(m_hFile, data, size, &written, nullptr)) {
        Failed("WriteFile");
        return false;
    }
    return written == size;
}

bool CStoreFile::Flush()
{
    if (FileCalls().osFlushFileBuffers(m_hFile)) return true;
    Failed("FlushFileBuffers");
    return false;
}

bool CStoreFile::SetEnd()
{
    if (FileCalls().osSetEndOfFile(m_hFile)) return true;
    Failed("SetEndOfFile");
    return false;
}

bool CStoreFile::Size(LONGLONG* size)
{
    LARGE_INTEGER value;
    if (!FileCalls().osGetFileSizeEx(m_hFile, &value)) {
        Failed("GetFileSizeEx");
        return false;
    }
    *size = value.QuadPart;
    return true;
}

bool CStoreFile::Seek(LONGLONG distance, DWORD method, LONGLONG* position)
{
    LARGE_INTEGER move, now;
    move.QuadPart = distance;
    if (!FileCalls().osSetFilePointerEx(m_hFile, move, &now, method)) {
        Failed("SetFilePointerEx");
        return false;
    }
    if (position) *position = now.QuadPart;
    return true;
}

void CStoreFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    // The last-error value often still holds the reason a caller is about to
    // report; the close must not replace it.
    DWORD error = GetLastError();
    if (!FileCalls().osCloseHandle(m_hFile)) Failed("CloseHandle");
    m_hFile = INVALID_HANDLE_VALUE;
    SetLastError(error);
}

void CStoreFile::Failed(const char* call) const
{
    Report(call, m_szPath);
}
