// Every file-system call of the store goes through one table that a test can
// replace: to make a chosen call fail, or to record each change with its data
// and replay it as a power cut would have left it. The entries have the
// signatures of the Win32 calls they stand for; the default table holds those
// calls themselves. Each failed call is told to the table's osFailed once,
// with the call, the path and the error.
#pragma once

#include <windows.h>

#include <cstddef>

struct StoreFileCalls {
    HANDLE (WINAPI* osCreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL (WINAPI* osReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* osWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* osFlushFileBuffers)(HANDLE);
    BOOL (WINAPI* osSetEndOfFile)(HANDLE);
    BOOL (WINAPI* osSetFilePointerEx)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
    BOOL (WINAPI* osGetFileSizeEx)(HANDLE, PLARGE_INTEGER);
    BOOL (WINAPI* osCloseHandle)(HANDLE);   // of files only
    BOOL (WINAPI* osCopyFileA)(LPCSTR, LPCSTR, BOOL);
    BOOL (WINAPI* osMoveFileExA)(LPCSTR, LPCSTR, DWORD);
    BOOL (WINAPI* osDeleteFileA)(LPCSTR);
    BOOL (WINAPI* osCreateDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL (WINAPI* osRemoveDirectoryA)(LPCSTR);
    DWORD (WINAPI* osGetFileAttributesA)(LPCSTR);
    BOOL (WINAPI* osSetFileAttributesA)(LPCSTR, DWORD);
    HANDLE (WINAPI* osFindFirstFileA)(LPCSTR, LPWIN32_FIND_DATAA);
    BOOL (WINAPI* osFindClose)(HANDLE);
    // Called once per failed call with the Win32 name ("WriteFile"), the path
    // ("from -> to" for a copy or a move) and the error. The last-error value
    // is kept around it. The default keeps the latest in memory (below); the
    // debug output is the store's own and does not change.
    void (*osFailed)(const char* call, const char* path, DWORD error);
};

// The table of the real calls.
const StoreFileCalls& DefaultFileCalls();

// The table in use.
const StoreFileCalls& FileCalls();

// Puts `calls` in use (nullptr: the default) and returns the table it
// replaces, to which a wrapper can forward. The table must stay alive while
// it is in use; swap it only while no store call is running.
const StoreFileCalls* SetFileCalls(const StoreFileCalls* calls);

// A table in use for one scope.
class CScopedFileCalls {
public:
    explicit CScopedFileCalls(const StoreFileCalls& calls) : m_pPrevious(SetFileCalls(&calls)) {}
    ~CScopedFileCalls() { SetFileCalls(m_pPrevious); }
    CScopedFileCalls(const CScopedFileCalls&) = delete;
    CScopedFileCalls& operator=(const CScopedFileCalls&) = delete;

    const StoreFileCalls& Previous() const { return *m_pPrevious; }

private:
    const StoreFileCalls* m_pPrevious;
};

// What the default osFailed keeps: the latest failed calls of the process,
// for a debugger or a diagnostic to look at.
struct FileFailure {
    const char* ff_call;
    char        ff_path[2 * MAX_PATH + 8];
    DWORD       ff_error;
};
constexpr size_t kRecentFileFailures = 16;

// Copies up to `max` of the latest failures, oldest first; returns how many.
size_t RecentFileFailures(FileFailure* out, size_t max);

// ---- the calls, through the table in use -------------------------------------

BOOL  StoreCopyFile(const char* source, const char* destination, BOOL failIfExists);
BOOL  StoreMoveFile(const char* from, const char* to, DWORD flags);
BOOL  StoreDeleteFile(const char* path);
BOOL  StoreCreateDirectory(const char* path);
BOOL  StoreRemoveDirectory(const char* path);
BOOL  StoreSetFileAttributes(const char* path, DWORD attributes);
// Asking whether something is there: a missing path is an answer, not a
// failure, and is not reported.
DWORD StoreGetFileAttributes(const char* path);
bool  StoreFindFile(const char* path, WIN32_FIND_DATAA* found);

// An open file of the store, closed through the table with its owner. It
// keeps its path for the failure report.
class CStoreFile {
public:
    CStoreFile() = default;
    ~CStoreFile() { Close(); }
    CStoreFile(const CStoreFile&) = delete;
    CStoreFile& operator=(const CStoreFile&) = delete;

    // CreateFileA with normal attributes; whatever was open is closed first.
    bool Open(const char* path, DWORD access, DWORD share, DWORD disposition);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

    bool Read(void* buffer, DWORD size, DWORD* got);
    bool ReadAll(void* buffer, DWORD size);           // false on a short read
    bool WriteAll(const void* data, DWORD size);      // false unless every byte went
    bool Flush();
    bool SetEnd();                                    // the end of the file at the position
    bool Size(LONGLONG* size);
    bool Seek(LONGLONG distance, DWORD method, LONGLONG* position);
    void Close();

private:
    void Failed(const char* call) const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    char   m_szPath[MAX_PATH + 1] = "";
};
