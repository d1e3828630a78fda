#include "FrameworkString.h"

#include <cstring>

CString::CString(const char* text, int length)
{
    if (!text || length <= 0) return;
    const void* nul = std::memchr(text, '\0', static_cast<size_t>(length));
    size_t count = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : static_cast<size_t>(length);
    m_str.assign(text, count);
}

int CString::Find(char ch) const
{
    size_t at = m_str.find(ch);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const
{
    if (count <= 0) return CString();
    CString result;
    result.m_str = m_str.substr(0, static_cast<size_t>(count));
    return result;
}

CString CString::Mid(int first) const
{
    if (first < 0) first = 0;
    if (static_cast<size_t>(first) >= m_str.size()) return CString();
    CString result;
    result.m_str = m_str.substr(static_cast<size_t>(first));
    return result;
}
