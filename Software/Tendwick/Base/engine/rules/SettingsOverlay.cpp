#include "SettingsOverlay.h"

#include "KeyDataBlock.h"

#include <cstring>

namespace {

std::string ValueId(const char* subdir, const char* key, const char* name)
{
    std::string id = std::string(subdir) + "\\" + key + "\\" + name;
    for (char& c : id)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return id;
}

} // namespace

bool CSettingsOverlay::Read(const char* subdir, const char* key, const char* name, KeyValue* value)
{
    auto found = m_written.find(ValueId(subdir, key, name));
    if (found != m_written.end()) {
        *value = found->second;
        return true;
    }
    return StoredKeyOpens(subdir, key) && ReadStored(subdir, key, name, value);
}

KeyWrite CSettingsOverlay::Write(const char* subdir, const char* key, keyfile::ValueType type, const char* name,
                                 const char* text, uint32_t number)
{
    if (!StoredKeyOpens(subdir, key)) return KEY_WRITE_NOT_OPEN;
    const size_t nameLength = name ? std::strlen(name) : 0;
    if (nameLength == 0 || nameLength > keyfile::kMaxValueName || !keyfile::NameIsWritable(name, nameLength))
        return KEY_WRITE_BAD_NAME;
    KeyValue now;
    auto written = m_written.find(ValueId(subdir, key, name));
    const bool existed = written != m_written.end() ? (now = written->second, true)
                                                    : LooksUpBeforeWrite() && Read(subdir, key, name, &now);
    KeyValue value{existed ? now.name : std::string(name), type, std::string()};
    char digits[12] = {};
    switch (type) {
    case keyfile::ValueType::String: {
        const size_t length = text ? std::strlen(text) : 0;
        if (!text || length > keyfile::kMaxStringValue || !keyfile::StringIsWritable(text, length))
            return KEY_WRITE_BAD_VALUE;
        value.text = text;
        break;
    }
    case keyfile::ValueType::Dword:
        // A rewritten number is signed, a new one not: the store's two forms.
        if (existed)
            keyfile::FormatDwordSigned(number, digits);
        else
            keyfile::FormatDwordUnsigned(number, digits);
        value.text = digits;
        break;
    case keyfile::ValueType::Bool:
        value.text = number ? "1" : "0";
        break;
    case keyfile::ValueType::None:
        return KEY_WRITE_NOT_OPEN;
    }
    if (existed && now.type != type) return KEY_WRITE_WRONG_TYPE;
    m_written[ValueId(subdir, key, name)] = value;
    return KEY_WRITE_DONE;
}
