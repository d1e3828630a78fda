#include "JsonWriter.h"

#include "TextEscape.h"

void CJsonWriter::Item(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back()) m_text += ',';
        m_first.back() = false;
        m_text += '\n';
        m_text.append(m_first.size() * 2, ' ');
    }
    if (key) {
        m_text += JsonString(key);
        m_text += ": ";
    }
}

void CJsonWriter::Open(const char* key, char bracket)
{
    Item(key);
    m_text += bracket;
    m_first.push_back(true);
}

void CJsonWriter::Close(char bracket)
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        m_text += '\n';
        m_text.append(m_first.size() * 2, ' ');
    }
    m_text += bracket;
    if (m_first.empty()) m_text += '\n';
}

void CJsonWriter::String(const char* key, const std::string& value)
{
    Item(key);
    m_text += JsonString(value);
}

void CJsonWriter::Number(const char* key, int64_t value)
{
    Item(key);
    m_text += std::to_string(value);
}

void CJsonWriter::Bool(const char* key, bool value)
{
    Item(key);
    m_text += value ? "true" : "false";
}

void CJsonWriter::Null(const char* key)
{
    Item(key);
    m_text += "null";
}
