// The reading value operations. Reads never write the shared block; a
// missing value with a default is created through the matching write.
#include <cstdint>
#include <cstring>

#include "KeyIndex.h"
#include "KeyLocks.h"
#include "StoreCalls.h"

using keyfile::KeyDataBlock;
using keyfile::ValueRef;
using keyfile::ValueType;

namespace {

enum class Found { Value, Missing, WrongType, Unusable, Damaged, TimedOut };

// Copies a value's bytes forward, four at a step (out may be in itself).
// Values are a few dozen bytes: this costs less than a call into the C
// library.
void CopyText(char* out, const char* in, size_t length)
{
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        uint32_t word;
        std::memcpy(&word, in + i, sizeof word);
        std::memcpy(out + i, &word, sizeof word);
    }
    for (; i < length; ++i) out[i] = in[i];
}

// What a look at the block found. A string value is copied to the look's
// text, at most `room` bytes of it.
struct Look {
    Found         found = Found::Unusable;
    unsigned long number = 0;        // a dword or bool
    size_t        textLength = 0;    // bytes copied to the text
    size_t        valueLength = 0;   // the whole string value
};

// Looks the name up in a block of `length` bytes in use out of the
// `viewBytes` this process mapped; nothing outside them is read, whatever
// another process stored in the block.
void LookIn(const void* data, DWORD length, DWORD viewBytes, const char* name, size_t nameLen, ValueType type,
            char* text, size_t room, Look* look)
{
    DWORD total = 0;
    if (!UsableTotal(length, viewBytes, &total)) {
        look->found = length == 0 ? Found::Unusable : Found::Damaged;
        return;
    }
    const auto* block = static_cast<const KeyDataBlock*>(data);
    if (!keyfile::BlockFrameSound(block, total, viewBytes)) {
        look->found = Found::Damaged;
        return;
    }
    keyfile::Lookup found = keyfile::FindValue(block, total, name, nameLen);
    if (found.damaged) {
        look->found = Found::Damaged;
        return;
    }
    if (!found.found) {
        look->found = Found::Missing;
        return;
    }
    ValueRef value = keyfile::ReadValue(block, total, found.index, nameLen);
    if (value.type != type) {
        look->found = Found::WrongType;
        return;
    }
    look->found = Found::Value;
    if (type == ValueType::String) {
        look->valueLength = value.length;
        look->textLength = value.length < room ? value.length : room;
        CopyText(text, block->at(value.offset), look->textLength);
    } else {
        look->number = keyfile::ParseDword(block->at(value.offset));
    }
}

enum class Hold { Brief, ReadHold };

// The value of `name`. A brief look takes the key's spin word once, the
// common case; it copies only into the caller's own stack, because a fault
// with the spin word held would stop every user of the key. While a writer
// holds the key, or for a read-hold look, the look waits for a read hold as
// long as `timeout` allows. A block found damaged by another process is
// marked within the same hold (so that no newer content is marked instead):
// every user then fails until the key is loaded again from its files, at its
// next open.
Look LookOnce(SharedKey& key, int timeout, const char* name, size_t nameLen, ValueType type, char* text, size_t room,
              Hold hold)
{
    Look look;
    SharedMemory& memory = key.sk_memory;
    auto lookIn = [&](const void* data, DWORD length, DWORD viewBytes) {
        LookIn(data, length, viewBytes, name, nameLen, type, text, room, &look);
        return look.found == Found::Damaged;
    };
    if (hold != Hold::Brief || !memory.ReadBriefly(lookIn)) {
        CKeyReadHold readHold(memory);
        if (!readHold.Take(timeout)) {
            look.found = Found::TimedOut;
            return look;
        }
        if (lookIn(memory.Data(), memory.GetLength(), memory.ViewBytes())) memory.DiscardContent();
    }
    return look;
}

// The same, after loading the key again when its content was dropped because
// a writer died in the middle of a change.
Look LookUp(SharedKey& key, int timeout, const char* name, size_t nameLen, ValueType type, char* text, size_t room,
            Hold hold)
{
    Look look = LookOnce(key, timeout, name, nameLen, type, text, room, hold);
    if (look.found == Found::Unusable && ReloadLostContent(key, timeout))
        look = LookOnce(key, timeout, name, nameLen, type, text, room, hold);
    return look;
}

// The result of a look that found no value of the wanted type; PERS_SUCCESS
// when the value is missing and may be created.
long Refusal(Found found)
{
    switch (found) {
    case Found::WrongType:
        return Refuse(PERS_FAILED_VALUE_WRONG_TYPE);
    case Found::Unusable:
    case Found::Damaged:
        return Refuse(PERS_FAILED_SHARED_MEMORY_CREATION);
    case Found::TimedOut:
        return PERS_FAILED;
    case Found::Value:
    case Found::Missing:
        break;
    }
    return PERS_SUCCESS;
}

// Copies at most size - 1 bytes and terminates; true when it was cut.
bool CopyCut(char* buffer, unsigned long size, const char* text, size_t len)
{
    bool cut = len > size - 1;
    if (cut) len = size - 1;
    CopyText(buffer, text, len);
    buffer[len] = '\0';
    return cut;
}

// The dword and bool reads differ only in the write that creates a missing value.
template <typename Out, typename Write>
long ReadNumber(const char* name, Out* output, Out defaultValue, int timeout, ValueType type, WhenMissing missing,
                Write write)
{
    size_t nameLen = 0;
    ThreadStoreState* state = CheckValueCall(name, &nameLen);
    if (!state) return PERS_FAILED;
    if (!output) return Refuse(PERS_FAILED_VALUE_STRING_TOO_LONG);

    Look look = LookUp(*state->ts_current, timeout, name, nameLen, type, nullptr, 0, Hold::Brief);
    if (look.found == Found::Value) {
        *output = static_cast<Out>(look.number);
        return Finish(PERS_SUCCESS, 0);
    }
    if (look.found != Found::Missing) return Refusal(look.found);
    if (missing == WhenMissing::Fail) return Finish(PERS_FAILED, PERS_FAILED_VALUE_MISSING_NOT_CREATED);
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
    char local[keyfile::kMaxStringValue];
    size_t room = size - 1 < sizeof local ? size - 1 : sizeof local;
    const char* text = local;
    Look look = LookUp(key, timeout, name, nameLen, ValueType::String, local, room, Hold::Brief);
    if (look.found == Found::Value && look.textLength < look.valueLength && look.textLength < size - 1) {
        // More than the stack copy holds, which only a file written by other
        // means has: read again under a read hold, into the buffer itself.
        look = LookUp(key, timeout, name, nameLen, ValueType::String, buffer, size - 1, Hold::ReadHold);
        text = buffer;
    }
    if (look.found == Found::Value) {
        CopyCut(buffer, size, text, look.textLength);
        if (look.valueLength > size - 1) return Finish(PERS_SUCCESS_INFO, PERS_VALUE_STRING_TRUNCATED);
        return Finish(PERS_SUCCESS, 0);
    }
    if (look.found != Found::Missing) return Refusal(look.found);
    if (!defaultValue) return Finish(PERS_FAILED, PERS_FAILED_VALUE_MISSING_NOT_CREATED);
    long written = PersistString(name, defaultValue, timeout);
    if (written == PERS_FAILED) return written;
    if (CopyCut(buffer, size, defaultValue, std::strlen(defaultValue)))
        return Finish(PERS_SUCCESS_INFO, PERS_VALUE_STRING_TRUNCATED);
    return Finish(PERS_SUCCESS_INFO, PERS_VALUE_CREATED);
}

long ReadDword(const char* name, unsigned long* value, unsigned long defaultValue, int timeout, WhenMissing missing)
{
    return ReadNumber<unsigned long>(name, value, defaultValue, timeout, ValueType::Dword, missing,
                                     [](const char* n, unsigned long v, int t) { return PersistDW(n, v, t); });
}

long ReadBool(const char* name, int* value, int defaultValue, int timeout, WhenMissing missing)
{
    return ReadNumber<int>(name, value, defaultValue, timeout, ValueType::Bool, missing,
                           [](const char* n, int v, int t) { return PersistBool(n, v, t); });
}

long GetPersistedDW(const char* name, unsigned long* value, unsigned long defaultValue, int timeout)
{
    return ReadDword(name, value, defaultValue, timeout, WhenMissing::Create);
}

long GetPersistedBool(const char* name, int* value, int defaultValue, int timeout)
{
    return ReadBool(name, value, defaultValue, timeout, WhenMissing::Create);
}
