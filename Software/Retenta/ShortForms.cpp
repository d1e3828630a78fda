// The short export forms: the same operations with no timeout limit, and the
// reads without a default, which create nothing.
#include "StoreCalls.h"

long PersistString(const char* name, const char* value) { return PersistString(name, value, -1); }
long PersistDW(const char* name, unsigned long value) { return PersistDW(name, value, -1); }
long PersistBool(const char* name, int value) { return PersistBool(name, value, -1); }
long DeleteValue(const char* name) { return DeleteValue(name, -1); }

long GetPersistedString(const char* name, unsigned long size, char* buffer, const char* defaultValue)
{
    return GetPersistedString(name, size, buffer, defaultValue, -1);
}

long GetPersistedDW(const char* name, unsigned long* value, unsigned long defaultValue)
{
    return GetPersistedDW(name, value, defaultValue, -1);
}

long GetPersistedBool(const char* name, int* value, int defaultValue)
{
    return GetPersistedBool(name, value, defaultValue, -1);
}

long GetPersistedDW(const char* name, unsigned long* value)
{
    return ReadDword(name, value, 0, -1, WhenMissing::Fail);
}

long GetPersistedBool(const char* name, int* value)
{
    return ReadBool(name, value, 0, -1, WhenMissing::Fail);
}
