#include "StoreDebug.h"

#include <cstdarg>
#include <cstdio>

#include "Retenta.h"

namespace {

// Long enough for the longest text: two full paths in the rename failure.
constexpr size_t kDebugTextChars = 1024;

struct DetailEntry {
    DWORD       code;
    const char* text;   // nullptr: the code is set silently
};

const DetailEntry kDetails[] = {
    {PERS_SECONDARY_MISSING_RECOVERED, "PERS_SECONDARY_MISSING_RECOVERED"},
    {PERS_PRIMARY_INVALID_RECOVERED, "PERS_PRIMARY_INVALID_RECOVERED"},
    {PERS_KEY_CREATED_NEW, nullptr},
    {PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW, "PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW"},
    {PERS_VALUE_CREATED, nullptr},
    {PERS_PATH_CREATED, nullptr},
    {PERS_PATH_MISSING_COULD_NOT_CREATE_NEW, "PERS_PATH_MISSING_COULD_NOT_CREATE_NEW"},
    {PERS_FAILED_BAD_KEYNAME, "PERS_FAILED_BAD_KEYNAME"},
    {PERS_FAILED_BAD_SUBDIR, "PERS_FAILED_BAD_SUBDIR"},
    {PERS_FAILED_PATH_TOO_LONG, "PERS_FAILED_PATH_TOO_LONG"},
    {PERS_FAILED_KEY_NOT_OPEN, "PERS_FAILED_KEY_NOT_OPEN"},
    {PERS_FAILED_VALUE_MISSING_NOT_CREATED, "PERS_FAILED_VALUE_MISSING_NOT_CREATED"},
    {PERS_FAILED_VALUE_MISSING_KEY_FULL, "PERS_FAILED_VALUE_MISSING_KEY_FULL"},
    {PERS_FAILED_VALUE_WRONG_TYPE, "PERS_FAILED_VALUE_WRONG_TYPE"},
    {PERS_FAILED_VALUE_NAME_TOO_LONG, "PERS_FAILED_VALUE_NAME_TOO_LONG"},
    {PERS_FAILED_VALUE_STRING_TOO_LONG, "PERS_FAILED_VALUE_STRING_TOO_LONG"},
    {PERS_VALUE_STRING_TRUNCATED, nullptr},
    {PERS_KEY_CLOSED_SAVE_FAILED, "PERS_KEY_CLOSED_SAVE_FAILED"},
    {PERS_FAILED_FILE_LOAD, "PERS_FAILED_FILE_LOAD"},
    {PERS_FAILED_SHARED_MEMORY_CREATION, "PERS_FAILED_SHARED_MEMORY_CREATION"},
    {PERS_KEY_CLOSED_FAILED_TIMEOUT, "PERS_KEY_CLOSED_FAILED_TIMEOUT"},
    {PERS_FAILED_MAX_KEY_SIZE_REACHED, "PERS_FAILED_MAX_KEY_SIZE_REACHED"},
    {PERS_PRIMARY_INVALID_USING_BACKUP, "PERS_PRIMARY_INVALID_USING_BACKUP"},
};

// The assertion names the store as one source file, whichever part asserts.
const char kAssertFile[] = "Software\\Retenta\\Retenta";

} // namespace

void StoreDebugText(const char* format, ...)
{
    // Callers often write a failure's text before they set or read the
    // last-error value; the debug output must not disturb it.
    DWORD lastError = GetLastError();
    char text[kDebugTextChars];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n >= 0) {
        text[sizeof text - 1] = '\0';
        OutputDebugStringA(text);
    }
    SetLastError(lastError);
}

const char* DetailText(DWORD code)
{
    for (const DetailEntry& entry : kDetails)
        if (entry.code == code) return entry.text;
    return nullptr;
}

void ReportDetail(DWORD code)
{
    const char* text = DetailText(code);
    if (text) StoreDebugText("%s\n", text);
    SetLastError(code);
}

void StoreAssertFailed(int line)
{
    StoreDebugText("ZEL_ASSERT Failed in file %.80s, line %d\n", kAssertFile, line);
}
