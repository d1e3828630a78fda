#include "EngineWin32.h"

#include "EngineFileCalls.h"

#include <vector>

LONG QueryTextValue(HKEY key, const char* name, DWORD maxBytes, std::string& text)
{
    // One byte beyond the limit, so that data without its NUL still ends.
    std::vector<char> buffer(static_cast<size_t>(maxBytes) + 1, '\0');
    DWORD type = 0;
    DWORD size = maxBytes;
    LONG error = FcRegQueryValue(key, name, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (error != ERROR_SUCCESS) return error;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    if (size > maxBytes) size = maxBytes;
    buffer[size] = '\0';
    text.assign(buffer.data());
    return ERROR_SUCCESS;
}

bool PathExists(const std::string& path)
{
    return FcPathExists(path);
}

LONG OpenRegKey(HKEY root, const char* path, UniqueRegKey& key, REGSAM access)
{
    return FcRegOpenKey(root, path, access, key.put());
}
