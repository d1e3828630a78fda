#include "SavedFileReader.h"

#include "EngineFileCalls.h"

#include <cstring>
#include <new>

SavedFileRead ReadSavedFile(const char* path, SavedFileText* text, long* sizeOut)
{
    long ignored = 0;
    long& size = sizeOut ? *sizeOut : ignored;
    size = -1;
    CEngineFile file;
    if (!path || !file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return SAVED_READ_NO_FILE;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file.Information(&info)) return SAVED_READ_SHORT;
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > SAVED_FILE_MAX_BYTES) {
        size = info.nFileSizeHigh != 0 ? -1 : static_cast<long>(info.nFileSizeLow);
        return SAVED_READ_TOO_LARGE;
    }
    size = static_cast<long>(info.nFileSizeLow);
    // One byte more than the size found: a file grown since reads short
    // of nothing, and the text always ends.
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[SAVED_FILE_MAX_BYTES + 2]);
    if (!bytes) return SAVED_READ_NO_MEMORY;
    size_t got = 0;
    for (;;) {
        DWORD read = 0;
        const DWORD room = static_cast<DWORD>(SAVED_FILE_MAX_BYTES + 1 - got);
        if (room == 0) break;
        if (!file.Read(bytes.get() + got, room, &read)) return SAVED_READ_SHORT;
        if (read == 0) break;
        got += read;
    }
    // The text must be the file the size was found for.
    if (got != static_cast<size_t>(size)) return SAVED_READ_SHORT;
    bytes[got] = '\0';
    text->pBytes = std::move(bytes);
    text->nLength = got;
    return SAVED_READ_OK;
}
