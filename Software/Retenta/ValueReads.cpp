// The reading value operations. Reads take a read hold and never write the
// shared block; a missing value with a default is created through the
// matching write.
#include <cstring>

#include "KeyIndex.h"
#include "StoreCalls.h"

using keyfile::KeyDataBlock;
using keyfile::ValueRef;
using keyfile::ValueType;

namespace {

class ReadHold {
public:
    explicit ReadHold(SharedKey& key) : m_key(key) {}
    ~ReadHold() { Release(); }
    bool Take(int timeout) { return m_held = m_key.sk_memory.LockRead(timeout); }
    void Release()
    {
        if (m_held) m_key.sk_memory.UnlockRead();
        m_held = false;
    }

private:
    SharedKey& m_key;
    bool       m_held = false;
};

enum class Found { Value, Missing, WrongType, Unusable };

// Looks the name up under a read hold that the caller has taken.
Found LookUp(SharedKey& key, const char* name, size_t nameLen, ValueType type, ValueRef* value)
{
    DWORD total = 0;
    if (!CurrentTotal(key, &total)) return Found::Unusable;
    const KeyDataBlock* block = key.Block();
    keyfile::Lookup found = keyfile::FindValue(block, name, nameLen);
    if (!found.found) return Found::Missing;
    *value = keyfile::ReadValue(block, total, found.index);
    return value->type == type ? Found::Value : Found::WrongType;
}

// Copies at most size - 1 bytes and terminates; true when it was cut.
bool CopyCut(char* buffer, unsigned long size, const char* text, size_t len)
{
    bool cut = len > size - 1;
    if (cut) len = size - 1;
    std::memcpy(buffer, text, len);
    buffer[len] = '\0';
    return cut;
}

// The dword and bool reads differ only in the write that creates a missing value.
template <typename Out, typename Write>
long ReadNumber(const char* name, Out* output, Out defaultValue, int timeout, ValueType type, Write write)
{
    size_t nameLen = 0;
    ThreadStoreState* state = CheckValueCall(name, &nameLen);
    if (!state) {
        if (ThreadStoreState* any = CurrentThreadState()) any->ts_noDefault = false;
        return PERS_FAILED;
    }
    bool noDefault = state->ts_noDefault;
    state->ts_noDefault = false;
    if (!output) return Refuse(PERS_FAILED_VALUE_STRING_TOO_LONG);

    SharedKey& key = *state->ts_current;
    ReadHold hold(key);
    if (!hold.Take(timeout)) return PERS_FAILED;
    ValueRef value{};
    switch (LookUp(key, name, nameLen, type, &value)) {
    case Found::Value:
        *output = static_cast<Out>(keyfile::ParseDword(key.Block()->at(value.offset)));
        return Finish(PERS_SUCCESS, 0);
    case Found::WrongType:
        return Refuse(PERS_FAILED_VALUE_WRONG_TYPE);
    case Found::Unusable:
        return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    case Found::Missing:
        break;
    }
    hold.Release();
    if (noDefault) return Finish(PERS_FAILED, PERS_FAILED_VALUE_MISSING_NOT_CREATED);
    long written = write(name, defaultValue, timeout);
    if (written == PERS_FAILED) return written;
    *output = defaultValue;
    return Finish(PERS_SUCCESS_INFO, PERS_VALUE_CREATED);
}

} // namespace

long GetPersistedString(const char* name, unsigned long size, char* buffer, const char* defaultValue,
                        int timeout)
{
    size_t nameLen = 0;
    ThreadStoreState* state = CheckValueCall(name, &nameLen);
    if (!state) return PERS_FAILED;
    // A buffer of size 0 has no room even for the terminator.
    if (!buffer || size == 0) return Refuse(PERS_FAILED_VALUE_STRING_TOO_LONG);

    SharedKey& key = *state->ts_current;
    ReadHold hold(key);
    if (!hold.Take(timeout)) return PERS_FAILED;
    ValueRef value{};
    switch (LookUp(key, name, nameLen, ValueType::String, &value)) {
    case Found::Value:
        if (CopyCut(buffer, size, key.Block()->at(value.offset), value.length))
            return Finish(PERS_SUCCESS_INFO, PERS_VALUE_STRING_TRUNCATED);
        return Finish(PERS_SUCCESS, 0);
    case Found::WrongType:
        return Refuse(PERS_FAILED_VALUE_WRONG_TYPE);
    case Found::Unusable:
        return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    case Found::Missing:
        break;
    }
    hold.Release();
    if (!defaultValue) return Finish(PERS_FAILED, PERS_FAILED_VALUE_MISSING_NOT_CREATED);
    long written = PersistString(name, defaultValue, timeout);
    if (written == PERS_FAILED) return written;
    if (CopyCut(buffer, size, defaultValue, std::strlen(defaultValue)))
        return Finish(PERS_SUCCESS_INFO, PERS_VALUE_STRING_TRUNCATED);
    return Finish(PERS_SUCCESS_INFO, PERS_VALUE_CREATED);
}

long GetPersistedDW(const char* name, unsigned long* value, unsigned long defaultValue, int timeout)
{
    return ReadNumber<unsigned long>(name, value, defaultValue, timeout, ValueType::Dword,
                                     [](const char* n, unsigned long v, int t) { return PersistDW(n, v, t); });
}

long GetPersistedBool(const char* name, int* value, int defaultValue, int timeout)
{
    return ReadNumber<int>(name, value, defaultValue, timeout, ValueType::Bool,
                           [](const char* n, int v, int t) { return PersistBool(n, v, t); });
}
