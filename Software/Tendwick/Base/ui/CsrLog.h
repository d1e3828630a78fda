// The maintenance run log: time-stamped lines (UTC) in ZelData\VURLog\CsrLog.txt
// on the media drive, and the same lines on the debug output.
#pragma once

enum {
    CSRLOG_ERROR   = 0,
    CSRLOG_WARNING = 1,
    CSRLOG_EVENT   = 2,
    CSRLOG_TRACE   = 3,
};

// One line; the format carries its own "\n".
void CsrLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void CsrLogEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
