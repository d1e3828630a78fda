// One-shot accessors: open a key, do one operation, close it, and merge the
// three results so the caller learns whether the key or the value was new and
// whether the save had to go through the secondary file.
#include "StoreCalls.h"

namespace {

struct Step {
    long  result;
    DWORD detail;
};

Step Run(long result) { return {result, GetLastError()}; }

// A new key (or a new directory) outranks any success of the operation.
Step Merge(const Step& open, const Step& operation)
{
    if (operation.result != PERS_FAILED && open.result == PERS_SUCCESS_INFO) return open;
    return operation;
}

template <typename Operation>
long WriteOne(const char* subdir, const char* key, int timeout, Operation operation)
{
    Step open = Run(OpenPersistKey(subdir, key, timeout));
    if (open.result == PERS_FAILED) return open.result;
    Step combined = Merge(open, Run(operation()));
    Step close = Run(ClosePersistKey(timeout));
    if (close.result == PERS_FAILED) return Finish(close.result, close.detail);
    if (close.result == PERS_SUCCESS_INFO && combined.result == PERS_SUCCESS)
        return Finish(close.result, close.detail);
    return Finish(combined.result, combined.detail);
}

template <typename Operation>
long ReadOne(const char* subdir, const char* key, int timeout, Operation operation)
{
    Step open = Run(OpenPersistKey(subdir, key, timeout));
    if (open.result == PERS_FAILED) return open.result;
    Step combined = Merge(open, Run(operation()));
    ClosePersistKey(timeout);
    return Finish(combined.result, combined.detail);
}

} // namespace

long PersistOneString(const char* subdir, const char* key, int timeout, const char* name, const char* value)
{
    return WriteOne(subdir, key, timeout, [&] { return PersistString(name, value, timeout); });
}

long PersistOneDW(const char* subdir, const char* key, int timeout, const char* name, unsigned long value)
{
    return WriteOne(subdir, key, timeout, [&] { return PersistDW(name, value, timeout); });
}

long PersistOneBool(const char* subdir, const char* key, int timeout, const char* name, int value)
{
    return WriteOne(subdir, key, timeout, [&] { return PersistBool(name, value, timeout); });
}

long GetOnePersistedString(const char* subdir, const char* key, int timeout, const char* name,
                           unsigned long size, char* buffer, const char* defaultValue)
{
    return ReadOne(subdir, key, timeout,
                   [&] { return GetPersistedString(name, size, buffer, defaultValue, timeout); });
}

long GetOnePersistedDW(const char* subdir, const char* key, int timeout, const char* name,
                       unsigned long* value, unsigned long defaultValue)
{
    return ReadOne(subdir, key, timeout, [&] { return GetPersistedDW(name, value, defaultValue, timeout); });
}

long GetOnePersistedDW(const char* subdir, const char* key, int timeout, const char* name, unsigned long* value)
{
    return ReadOne(subdir, key, timeout, [&] { return ReadDword(name, value, 0, timeout, WhenMissing::Fail); });
}

long GetOnePersistedBool(const char* subdir, const char* key, int timeout, const char* name, int* value,
                         int defaultValue)
{
    return ReadOne(subdir, key, timeout, [&] { return GetPersistedBool(name, value, defaultValue, timeout); });
}

long GetOnePersistedBool(const char* subdir, const char* key, int timeout, const char* name, int* value)
{
    return ReadOne(subdir, key, timeout, [&] { return ReadBool(name, value, 0, timeout, WhenMissing::Fail); });
}
