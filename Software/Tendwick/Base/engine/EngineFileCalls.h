// Every file and registry call the maintenance program makes on the media
// and on the unit goes through one table that a test can replace: to fail a
// chosen call with a chosen error, to count and name the calls of a run, or
// to record each change for a power-cut model. The entries have the
// signatures of the Win32 calls they stand for; the default table holds
// those calls themselves. Each failed call is told to the table's osFailed
// once, with the call, the path and the error (the default writes it to the
// run log).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct EngineFileCalls {
    // Files
    HANDLE (WINAPI* osCreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL (WINAPI* osReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* osWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* osFlushFileBuffers)(HANDLE);
    BOOL (WINAPI* osGetFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
    BOOL (WINAPI* osCloseHandle)(HANDLE);   // of files only
    BOOL (WINAPI* osCopyFileA)(LPCSTR, LPCSTR, BOOL);
    BOOL (WINAPI* osMoveFileExA)(LPCSTR, LPCSTR, DWORD);
    BOOL (WINAPI* osDeleteFileA)(LPCSTR);
    BOOL (WINAPI* osCreateDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL (WINAPI* osRemoveDirectoryA)(LPCSTR);
    DWORD (WINAPI* osGetFileAttributesA)(LPCSTR);
    BOOL (WINAPI* osSetFileAttributesA)(LPCSTR, DWORD);
    HANDLE (WINAPI* osFindFirstFileA)(LPCSTR, LPWIN32_FIND_DATAA);
    BOOL (WINAPI* osFindNextFileA)(HANDLE, LPWIN32_FIND_DATAA);
    BOOL (WINAPI* osFindClose)(HANDLE);
    BOOL (WINAPI* osGetDiskFreeSpaceA)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
    // Registry
    LONG (WINAPI* osRegOpenKeyExA)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    LONG (WINAPI* osRegCreateKeyExA)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                                     LPDWORD);
    LONG (WINAPI* osRegQueryValueExA)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG (WINAPI* osRegSetValueExA)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    LONG (WINAPI* osRegSaveKeyA)(HKEY, LPCSTR, LPSECURITY_ATTRIBUTES);
    LONG (WINAPI* osRegFlushKey)(HKEY);
    // Called once per failed call with the Win32 name ("WriteFile"), the path
    // ("from -> to" for a copy or a move, the value name for the registry)
    // and the error. The last-error value is kept around it.
    void (*osFailed)(const char* call, const char* path, DWORD error);
};

// The table of the real calls.
const EngineFileCalls& DefaultEngineFileCalls();

// The table in use.
const EngineFileCalls& EngineCalls();

// Puts `calls` in use (nullptr: the default) and returns the table it
// replaces, to which a wrapper can forward. The table must stay alive while
// it is in use; swap it only while no run is going on.
const EngineFileCalls* SetEngineFileCalls(const EngineFileCalls* calls);

// A table in use for one scope.
class CScopedEngineFileCalls {
public:
    explicit CScopedEngineFileCalls(const EngineFileCalls& calls) : m_pPrevious(SetEngineFileCalls(&calls)) {}
    ~CScopedEngineFileCalls() { SetEngineFileCalls(m_pPrevious); }
    CScopedEngineFileCalls(const CScopedEngineFileCalls&) = delete;
    CScopedEngineFileCalls& operator=(const CScopedEngineFileCalls&) = delete;

    const EngineFileCalls& Previous() const { return *m_pPrevious; }

private:
    const EngineFileCalls* m_pPrevious;
};

// ---- the calls, through the table in use --------------------------------------
// Each returns what its Win32 call returns, with the last-error value set.
// Asking whether something is there is an answer, not a failure: a missing
// file or folder is not reported by the calls that look for one, remove one
// or open one that must exist.

BOOL  FcCopyFile(const char* source, const char* destination, BOOL failIfExists);
BOOL  FcMoveFile(const char* from, const char* to, DWORD flags);
BOOL  FcDeleteFile(const char* path);
// An existing folder is not reported.
BOOL  FcCreateDirectory(const char* path);
BOOL  FcRemoveDirectory(const char* path);
BOOL  FcSetFileAttributes(const char* path, DWORD attributes);
DWORD FcGetFileAttributes(const char* path);
bool  FcPathExists(const std::string& path);
BOOL  FcGetDiskFreeSpace(const char* root, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                         DWORD* clusters);

// Up to `limit` first bytes of a file, opened for reading with read
// sharing; false (reported) when it cannot be opened or read.
bool  FcReadStart(const std::string& path, size_t limit, std::string* bytes);

// Registry (the value name is the reported path).
LONG FcRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG FcRegCreateKey(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG FcRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
LONG FcRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
LONG FcRegSaveKey(HKEY key, const char* file);
// Writes the key's changes to disk; name is the key's, for the report.
LONG FcRegFlushKey(HKEY key, const char* name);

// An open file of the program, closed through the table with its owner. It
// keeps its path for the failure report.
class CEngineFile {
public:
    CEngineFile() = default;
    ~CEngineFile() { Close(); }
    CEngineFile(CEngineFile&& other) noexcept;
    CEngineFile& operator=(CEngineFile&& other) noexcept;
    CEngineFile(const CEngineFile&) = delete;
    CEngineFile& operator=(const CEngineFile&) = delete;

    // CreateFileA; whatever was open is closed first. `flags` are the
    // attributes and flags argument (FILE_ATTRIBUTE_NORMAL when 0).
    bool Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsOpen(); }
    // For the few calls the table does not stand for (marking for deletion).
    HANDLE Handle() const { return m_hFile; }

    bool Read(void* buffer, DWORD size, DWORD* got);
    bool WriteAll(const void* data, DWORD size);   // false unless every byte went
    bool Flush();
    bool Information(BY_HANDLE_FILE_INFORMATION* info);
    // Closes the file now; false (reported) when the close failed.
    bool Close();

private:
    void Failed(const char* call) const;

    HANDLE      m_hFile = INVALID_HANDLE_VALUE;
    std::string m_path;
};

// A directory search through the table, ended with its owner.
class CEngineFind {
public:
    CEngineFind() = default;
    ~CEngineFind() { Close(); }
    CEngineFind(const CEngineFind&) = delete;
    CEngineFind& operator=(const CEngineFind&) = delete;

    // Starts a search for pattern; the first match lands in found. A search
    // that finds nothing is not reported.
    bool First(const char* pattern, WIN32_FIND_DATAA* found);
    // The next match; false with ERROR_NO_MORE_FILES at the end (not reported).
    bool Next(WIN32_FIND_DATAA* found);
    void Close();

private:
    HANDLE      m_hFind = INVALID_HANDLE_VALUE;
    std::string m_pattern;
};
