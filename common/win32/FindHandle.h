// Owner for a directory search, ended with FindClose.
#pragma once

#include <windows.h>

#include <utility>

class UniqueFind {
public:
    UniqueFind() = default;
    explicit UniqueFind(HANDLE search) : m_hFind(search) {}
    ~UniqueFind() { reset(); }
    UniqueFind(UniqueFind&& o) noexcept : m_hFind(std::exchange(o.m_hFind, INVALID_HANDLE_VALUE)) {}
    UniqueFind& operator=(UniqueFind&& o) noexcept
    {
        if (this != &o) { reset(); m_hFind = std::exchange(o.m_hFind, INVALID_HANDLE_VALUE); }
        return *this;
    }
    UniqueFind(const UniqueFind&) = delete;
    UniqueFind& operator=(const UniqueFind&) = delete;

    // Starts a search for pattern; the first match lands in found.
    bool First(const char* pattern, WIN32_FIND_DATAA* found)
    {
        reset(FindFirstFileA(pattern, found));
        return valid();
    }
    bool Next(WIN32_FIND_DATAA* found) { return valid() && FindNextFileA(m_hFind, found); }

    HANDLE get() const { return m_hFind; }
    bool valid() const { return m_hFind != INVALID_HANDLE_VALUE; }
    void reset(HANDLE search = INVALID_HANDLE_VALUE)
    {
        if (valid()) FindClose(m_hFind);
        m_hFind = search;
    }

private:
    HANDLE m_hFind = INVALID_HANDLE_VALUE;
};
