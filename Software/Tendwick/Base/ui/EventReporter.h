// The program's event reporter: error entries in the operating system's event
// log under the event source "Maint". The application registers the source at
// start-up and hands its handle here; the disabling step reports through it.
#pragma once

#include <windows.h>

// The handle of the registered event source; nullptr when none is registered.
void SetMaintEventSource(HANDLE source);
HANDLE GetMaintEventSource();

// Writes text as the single insertion string of one error entry (category 0,
// event 0, no user, no data). Returns the system call's success flag; a
// missing source makes it fail, and callers ignore the result.
BOOL ReportMaintError(const char* text);

// The reporting call itself, replaceable so that a test can see each entry.
// Returns the function that was in use.
typedef BOOL(WINAPI* MaintReportEventFn)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR*, LPVOID);
MaintReportEventFn SetMaintReportEventFunction(MaintReportEventFn fn);
