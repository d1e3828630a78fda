#include "KeyNames.h"

#include <cstring>

bool JoinPath(char* out, size_t outSize, const char* a, const char* b, const char* c, const char* d)
{
    if (outSize == 0) return false;
    const char* parts[] = {a, b, c, d};
    size_t used = 0;
    for (const char* part : parts) {
        size_t len = std::strlen(part);
        if (len >= outSize - used) {
            out[0] = '\0';
            return false;
        }
        std::memcpy(out + used, part, len);
        used += len;
    }
    out[used] = '\0';
    return true;
}

bool FormSharedName(const char* keyDirectory, const char* keyName, char* out, size_t outSize)
{
    size_t used = 0;
    auto put = [&](char ch) {
        if (used + 1 >= outSize) return false;
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        out[used++] = ch;
        return true;
    };
    for (const char* p = keyDirectory; *p; ++p) {
        if (p[0] == '\\' && p[1] == '\\') ++p;   // a doubled backslash counts once
        if (!put(*p == '\\' ? '/' : *p)) { out[0] = '\0'; return false; }
    }
    if (!put('/')) { out[0] = '\0'; return false; }
    for (const char* p = keyName; *p; ++p)
        if (!put(*p)) { out[0] = '\0'; return false; }
    out[used] = '\0';
    return true;
}
