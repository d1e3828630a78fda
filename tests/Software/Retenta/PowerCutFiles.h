// The store's file calls recorded into a power-cut journal, and the files a
// cut leaves put back on the disk for the store to open.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "PowerCutModel.h"
#include "StoreFileCalls.h"

// While alive, every change the store makes to a file goes to the real disk
// as before and into `journal`: a file opened with truncation, each write at
// the position it went to, a new end, a flush, a copy (its destination's new
// content), a move and a delete. One recorder at a time, one thread.
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

    // The position of the next write or new end of an open file.
    LONGLONG Position(HANDLE file) const;

    powercut::CDiskJournal& m_journal;
    std::map<HANDLE, int>   m_files;   // open handle -> the journal's file (-1: not recorded)
    StoreFileCalls          m_table;
    CScopedFileCalls        m_scope;
};

// Makes the disk hold `image` for every name in `names`: its files written
// with exactly their bytes, every other name deleted. False with the reason
// in *why when a file cannot be written.
bool PutImage(const powercut::Image& image, const std::set<std::string>& names, std::string* why);
