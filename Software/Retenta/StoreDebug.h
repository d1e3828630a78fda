// The store's voice: detail codes in the thread's last-error value, their
// texts and every failed file operation on the debug output.
#pragma once

#include <windows.h>

struct StoreOutcome {
    long  result;   // PERS_FAILED, PERS_SUCCESS_INFO or PERS_SUCCESS
    DWORD detail;   // 0 when there is none
};

// printf-style text to OutputDebugStringA, formatted into a bounded buffer.
void StoreDebugText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The debug text of a named detail code ("PERS_FAILED_BAD_KEYNAME"), or
// nullptr for the codes that are set silently.
const char* DetailText(DWORD code);

// Sets the last-error value and writes the code's text with a line feed.
void ReportDetail(DWORD code);

// The assertion text, for states the store cannot continue from. It never
// ends the calling program.
void StoreAssertFailed(int line);
