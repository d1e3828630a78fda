// A small JSON writer: objects, arrays and scalars in order, commas and
// indentation handled here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CJsonWriter {
public:
    void BeginObject(const char* key = nullptr) { Open(key, '{'); }
    void EndObject() { Close('}'); }
    void BeginArray(const char* key = nullptr) { Open(key, '['); }
    void EndArray() { Close(']'); }

    void String(const char* key, const std::string& value);
    void Number(const char* key, int64_t value);
    void Bool(const char* key, bool value);
    void Null(const char* key);

    const std::string& Text() const { return m_text; }

private:
    void Open(const char* key, char bracket);
    void Close(char bracket);
    void Item(const char* key);

    std::string       m_text;
    std::vector<bool> m_first;   // per open level: no item written yet
};
