// The changing value operations: PersistString, PersistDW, PersistBool and
// DeleteValue. Each runs under the key's write lock and leaves the block's
// text, index and NUL consistent whatever it returns.
#include <cstring>

#include "KeyGrowth.h"
#include "KeyIndex.h"
#include "StoreCalls.h"

using keyfile::KeyDataBlock;
using keyfile::ValueRef;
using keyfile::ValueType;

namespace {

// Holds the current key's write lock for one operation, on a loaded block.
// The lock is released with the total that the operation leaves.
class CValueWriteLock {
public:
    explicit CValueWriteLock(SharedKey& key) : m_key(key), m_lock(key.sk_memory) {}

    bool Take(int timeout)
    {
        if (!m_lock.Take(timeout)) return false;
        DWORD total = 0;
        if (SoundTotal(m_key, &total)) return true;
        // Dropped after a writer died mid-change: loaded again here, under
        // the lock already held.
        if (m_key.sk_memory.ContentLost() &&
            OpenKeyWithRecovery(m_key.sk_paths, m_lock).result != PERS_FAILED && SoundTotal(m_key, &total))
            return true;
        // Not loaded, or damaged by another process: released as "never
        // loaded", so that the next open reads the files.
        m_lock.SetTotal(0);
        ReportDetail(PERS_FAILED_SHARED_MEMORY_CREATION);
        return false;
    }
    // Before the first byte of the block moves.
    void changing() { m_lock.Changing(); }
    DWORD total() const { return m_lock.Total(); }
    void  set_total(DWORD total) { m_lock.SetTotal(total); }
    KeyDataBlock* block() const { return m_key.Block(); }

    // Grows the block so that `required` bytes fit; 0 or the growth's detail code.
    DWORD Grow(DWORD required) { return GrowKeyBlock(m_key.sk_memory, required); }

private:
    SharedKey&    m_key;
    CKeyWriteLock m_lock;
};

// Writes a value of any type: replaces the text of an existing line of that
// type, or inserts a new line. newText is the value as a new line carries it,
// rewriteText as an existing line gets it (they differ for dwords only).
long WriteValue(const char* name, ValueType type, const char* newText, const char* rewriteText,
                int timeout, const char* wrongTypeText)
{
    size_t nameLen = 0;
    ThreadStoreState* state = CheckValueCall(name, &nameLen);
    if (!state) return PERS_FAILED;
    SharedKey& key = *state->ts_current;

    CValueWriteLock lock(key);
    if (!lock.Take(timeout)) return PERS_FAILED;
    KeyDataBlock* block = lock.block();
    keyfile::Lookup found = keyfile::FindValue(block, lock.total(), name, nameLen);
    block->position = found.index;

    if (found.found) {
        ValueRef old = keyfile::ReadValue(block, lock.total(), found.index, nameLen);
        if (old.type != type) {
            if (wrongTypeText) {
                StoreDebugText("%s", wrongTypeText);
                SetLastError(PERS_FAILED_VALUE_WRONG_TYPE);
                return PERS_FAILED;
            }
            return Refuse(PERS_FAILED_VALUE_WRONG_TYPE);
        }
        size_t newLen = std::strlen(rewriteText);
        if (type == ValueType::Bool && old.length > 0) {
            // A bool keeps its line: only its first value character changes.
            lock.changing();
            block->at(old.offset)[0] = rewriteText[0];
        } else {
            if (newLen > old.length) {
                DWORD detail = lock.Grow(lock.total() + static_cast<DWORD>(newLen - old.length));
                if (detail) return PERS_FAILED;
                block = lock.block();
            }
            lock.changing();
            lock.set_total(keyfile::ReplaceValue(block, lock.total(), found.index, old, rewriteText, newLen));
        }
        state->ts_dirty = true;
        return Finish(PERS_SUCCESS, 0);
    }

    if (block->count >= keyfile::kMaxIndexedLines) return Refuse(PERS_FAILED_VALUE_MISSING_KEY_FULL);
    size_t valueLen = std::strlen(newText);
    // Room for the new line and the text's NUL, as each type has always asked.
    DWORD request = lock.total() + static_cast<DWORD>(nameLen) +
                    (type == ValueType::String ? static_cast<DWORD>(valueLen) + 16
                     : type == ValueType::Dword ? static_cast<DWORD>(valueLen) + 12
                                                : 12);
    DWORD detail = lock.Grow(request);
    if (detail) return PERS_FAILED;
    block = lock.block();
    lock.changing();
    lock.set_total(keyfile::InsertLine(block, lock.total(), block->position, name, nameLen, type,
                                       newText, valueLen));
    state->ts_dirty = true;
    return Finish(PERS_SUCCESS_INFO, PERS_VALUE_CREATED);
}

} // namespace

long PersistString(const char* name, const char* value, int timeout)
{
    size_t nameLen = 0;
    if (!CheckValueCall(name, &nameLen)) return PERS_FAILED;
    size_t len = value ? std::strlen(value) : 0;
    if (!value || len > keyfile::kMaxStringValue || !keyfile::StringIsWritable(value, len))
        return Refuse(PERS_FAILED_VALUE_STRING_TOO_LONG);
    return WriteValue(name, ValueType::String, value, value, timeout, nullptr);
}

long PersistDW(const char* name, unsigned long value, int timeout)
{
    char created[12];
    char rewritten[12];
    keyfile::FormatDwordUnsigned(value, created);
    keyfile::FormatDwordSigned(value, rewritten);
    // This one operation has always written its wrong-type text without a line feed.
    return WriteValue(name, ValueType::Dword, created, rewritten, timeout, "PERS_FAILED_VALUE_WRONG_TYPE");
}

long PersistBool(const char* name, int value, int timeout)
{
    const char* digit = value ? "1" : "0";
    return WriteValue(name, ValueType::Bool, digit, digit, timeout, nullptr);
}

long DeleteValue(const char* name, int timeout)
{
    size_t nameLen = 0;
    ThreadStoreState* state = CheckValueCall(name, &nameLen);
    if (!state) return PERS_FAILED;
    CValueWriteLock lock(*state->ts_current);
    if (!lock.Take(timeout)) return PERS_FAILED;
    KeyDataBlock* block = lock.block();
    keyfile::Lookup found = keyfile::FindValue(block, lock.total(), name, nameLen);
    block->position = found.index;
    if (!found.found) return Finish(PERS_SUCCESS, 0);
    lock.changing();
    lock.set_total(keyfile::DeleteLine(block, lock.total(), found.index));
    state->ts_dirty = true;
    return Finish(PERS_SUCCESS, 0);
}
