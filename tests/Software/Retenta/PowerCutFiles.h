// File calls recorded into a power-cut journal, and the files a cut leaves
// put back on the disk for the programs to open. The store's table is
// recorded here; any other table of file calls (the maintenance program's)
// records through CJournalCalls into the same journal.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "PowerCutModel.h"
#include "StoreFileCalls.h"

// What a table's calls changed, told to the journal after each real call
// succeeded: a file opened with truncation (or made), each write at the
// position it went to, a new end, a flush, a copy (its destination's new
// content), a move and a delete. A path is spelt in the journal as the
// journal first met it, whatever its case.
class CJournalCalls {
public:
    explicit CJournalCalls(powercut::CDiskJournal& journal) : m_journal(journal) {}

    void Opened(HANDLE file, const char* path, DWORD access, DWORD disposition);
    void Wrote(HANDLE file, LONGLONG at, const void* data, DWORD written);
    void Flushed(HANDLE file);
    void EndSet(HANDLE file, LONGLONG at);
    void Closed(HANDLE file) { m_files.erase(file); }
    void Copied(const char* to);
    // A move that writes through is on the disk when the call returns.
    void Moved(const char* from, const char* to, DWORD flags);
    void Deleted(const char* path);

    // The position of the next write or new end of an open file.
    static LONGLONG Position(HANDLE file);

private:
    std::string Name(const char* path) const;

    powercut::CDiskJournal& m_journal;
    std::map<HANDLE, int>   m_files;   // open handle -> the journal's file (-1: not recorded)
};

// While alive, every change the store makes to a file goes to the real disk
// as before and into `journal`. One recorder at a time, one thread.
class CPowerCutRecorder {
public:
    explicit CPowerCutRecorder(powercut::CDiskJournal& journal);
    ~CPowerCutRecorder();
    CPowerCutRecorder(const CPowerCutRecorder&) = delete;
    CPowerCutRecorder& operator=(const CPowerCutRecorder&) = delete;

private:
    static HANDLE WINAPI OnCreateFile(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    static BOOL WINAPI   OnWriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI   OnFlush(HANDLE);
    static BOOL WINAPI   OnSetEndOfFile(HANDLE);
    static BOOL WINAPI   OnClose(HANDLE);
    static BOOL WINAPI   OnCopy(LPCSTR, LPCSTR, BOOL);
    static BOOL WINAPI   OnMove(LPCSTR, LPCSTR, DWORD);
    static BOOL WINAPI   OnDelete(LPCSTR);
    static CPowerCutRecorder* s_pActive;

    CJournalCalls    m_calls;
    StoreFileCalls   m_table;
    CScopedFileCalls m_scope;
};

// Makes the disk hold `image` for every name in `names`: its files written
// with exactly their bytes (their folders made), every other name deleted.
// False with the reason in *why when a file cannot be written.
bool PutImage(const powercut::Image& image, const std::set<std::string>& names, std::string* why);
