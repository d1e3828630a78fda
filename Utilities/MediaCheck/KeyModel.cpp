#include "KeyModel.h"

#include "KeyDataBlock.h"
#include "KeyIndex.h"

#include <cstring>

using keyfile::KeyDataBlock;
using keyfile::ValueRef;
using keyfile::ValueType;

namespace {

// The last byte a key's block may use; its NUL stands at the total.
const uint32_t kLastByte = keyfile::kMaxKeyBytes - 1;
// More than one write can add: a line with the longest name and string.
const size_t kWriteRoom = 2048;

KeyDataBlock* BlockOf(std::vector<uint64_t>& storage)
{
    return reinterpret_cast<KeyDataBlock*>(storage.data());
}

const KeyDataBlock* BlockOf(const std::vector<uint64_t>& storage)
{
    return reinterpret_cast<const KeyDataBlock*>(storage.data());
}

// The name of indexed line i: from its first byte to its closing quote, within the line.
std::string LineName(const KeyDataBlock* block, uint32_t total, int i)
{
    uint32_t from = block->offsets[i];
    uint32_t end = i + 1 < block->count ? block->offsets[i + 1] - 1u : block->offsets[block->count];
    if (end > total) end = total;
    uint32_t at = from;
    while (at < end && *block->at(at) != '"' && *block->at(at) != '\0') ++at;
    return std::string(block->at(from), at - from);
}

} // namespace

CKeyModel::CKeyModel() : m_nTotal(0), m_bOpen(false)
{
    Clear();
}

void CKeyModel::Reserve(size_t bytes)
{
    if (bytes > keyfile::kMaxKeyBytes) bytes = keyfile::kMaxKeyBytes;
    size_t words = (bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    if (m_storage.size() < words) m_storage.resize(words);
}

void CKeyModel::Clear()
{
    Reserve(keyfile::kIndexBytes + kWriteRoom);
    KeyDataBlock* block = BlockOf(m_storage);
    std::memset(block, 0, keyfile::kIndexBytes);
    block->sorted = 1;
    block->offsets[0] = static_cast<uint16_t>(keyfile::kIndexBytes);
    block->text()[0] = '\0';
    m_nTotal = keyfile::kIndexBytes;
}

bool CKeyModel::LoadText(const char* text, size_t length)
{
    Clear();
    m_bOpen = false;
    // Index, text and its NUL must fit the store's largest block.
    if (length > keyfile::kMaxKeyBytes - keyfile::kIndexBytes - 1) return false;
    Reserve(keyfile::kIndexBytes + length + 1 + kWriteRoom);
    KeyDataBlock* block = BlockOf(m_storage);
    std::memcpy(block->text(), text, length);
    block->text()[length] = '\0';
    m_nTotal = keyfile::IndexKeyText(block, static_cast<uint32_t>(length));
    m_bOpen = true;
    return true;
}

KeySource CKeyModel::Load(const fs::path& primary, const fs::path& secondary)
{
    const fs::path* files[2] = {&primary, &secondary};
    for (int i = 0; i < 2; ++i) {
        std::string bytes;
        size_t textLength = 0;
        if (ReadWholeFile(*files[i], MEDIA_READ_LIMIT, &bytes) != FILE_READ_OK) continue;
        if (bytes.empty() || !keyfile::ValidateKeyFile(bytes.data(), bytes.size(), &textLength)) continue;
        if (!LoadText(bytes.data(), textLength)) {
            Clear();
            return KEY_TOO_LARGE;
        }
        return i == 0 ? KEY_FROM_PRIMARY : KEY_FROM_SECONDARY;
    }
    Clear();
    m_bOpen = true;
    return KEY_CREATED;
}

KeyWrite CKeyModel::Write(const char* name, ValueType type, const char* newText, const char* rewriteText)
{
    if (!m_bOpen) return KEY_WRITE_NOT_OPEN;
    size_t nameLen = name ? std::strlen(name) : 0;
    if (nameLen == 0 || nameLen > keyfile::kMaxValueName || !keyfile::NameIsWritable(name, nameLen))
        return KEY_WRITE_BAD_NAME;

    Reserve(m_nTotal + 1 + kWriteRoom);
    KeyDataBlock* block = BlockOf(m_storage);
    keyfile::Lookup found = keyfile::FindValue(block, name, nameLen);
    if (found.found) {
        ValueRef old = keyfile::ReadValue(block, m_nTotal, found.index);
        if (old.type != type) return KEY_WRITE_WRONG_TYPE;
        size_t newLen = std::strlen(rewriteText);
        if (type == ValueType::Bool && old.length > 0) {
            // A bool keeps its line: only its first value character changes.
            block->at(old.offset)[0] = rewriteText[0];
            return KEY_WRITE_DONE;
        }
        if (newLen > old.length && newLen - old.length > kLastByte - m_nTotal) return KEY_WRITE_FULL;
        m_nTotal = keyfile::ReplaceValue(block, m_nTotal, found.index, old, rewriteText, newLen);
        return KEY_WRITE_DONE;
    }

    if (block->count >= keyfile::kMaxIndexedLines) return KEY_WRITE_FULL;
    uint32_t total = keyfile::InsertLine(block, m_nTotal, found.index, name, nameLen, type, newText,
                                         std::strlen(newText));
    if (total == m_nTotal) return KEY_WRITE_FULL;
    m_nTotal = total;
    return KEY_WRITE_DONE;
}

KeyWrite CKeyModel::WriteString(const char* name, const char* text)
{
    size_t length = text ? std::strlen(text) : 0;
    if (!text || length > keyfile::kMaxStringValue || !keyfile::StringIsWritable(text, length))
        return m_bOpen ? KEY_WRITE_BAD_VALUE : KEY_WRITE_NOT_OPEN;
    return Write(name, ValueType::String, text, text);
}

KeyWrite CKeyModel::WriteDword(const char* name, uint32_t number)
{
    char created[12];
    char rewritten[12];
    keyfile::FormatDwordUnsigned(number, created);
    keyfile::FormatDwordSigned(number, rewritten);
    return Write(name, ValueType::Dword, created, rewritten);
}

KeyWrite CKeyModel::WriteBool(const char* name, int number)
{
    const char* digit = number ? "1" : "0";
    return Write(name, ValueType::Bool, digit, digit);
}

bool CKeyModel::Find(const char* name, KeyValue* value) const
{
    size_t nameLen = name ? std::strlen(name) : 0;
    if (!m_bOpen || nameLen == 0 || nameLen > keyfile::kMaxValueName) return false;
    const KeyDataBlock* block = BlockOf(m_storage);
    keyfile::Lookup found = keyfile::FindValue(block, name, nameLen);
    if (!found.found) return false;
    ValueRef ref = keyfile::ReadValue(block, m_nTotal, found.index);
    value->name = LineName(block, m_nTotal, found.index);
    value->type = ref.type;
    value->text = ref.type == ValueType::None ? std::string() : std::string(block->at(ref.offset), ref.length);
    return true;
}

std::vector<KeyValue> CKeyModel::Values() const
{
    std::vector<KeyValue> values;
    const KeyDataBlock* block = BlockOf(m_storage);
    for (int i = 0; i < block->count; ++i) {
        ValueRef ref = keyfile::ReadValue(block, m_nTotal, i);
        KeyValue value{LineName(block, m_nTotal, i), ref.type, std::string()};
        if (ref.type != ValueType::None) value.text.assign(block->at(ref.offset), ref.length);
        values.push_back(value);
    }
    return values;
}

std::string CKeyModel::Text() const
{
    const KeyDataBlock* block = BlockOf(m_storage);
    return std::string(block->text(), m_nTotal - keyfile::kIndexBytes);
}

const char* KeySourceText(KeySource source)
{
    switch (source) {
    case KEY_FROM_PRIMARY:   return "primary";
    case KEY_FROM_SECONDARY: return "secondary (the primary fails its check)";
    case KEY_CREATED:        return "new (no valid file)";
    case KEY_TOO_LARGE:      return "too large for the store: the key does not open";
    }
    return "";
}
