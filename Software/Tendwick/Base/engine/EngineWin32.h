// Owners and small registry helpers shared by the engine's Win32 code.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY h) : m_h(h) {}
    ~UniqueRegKey() { reset(); }
    UniqueRegKey(UniqueRegKey&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueRegKey& operator=(UniqueRegKey&& o) noexcept
    {
        if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); }
        return *this;
    }
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;

    // Opens parent\subKey with full access; returns the system's error code.
    LONG Open(HKEY parent, const char* subKey)
    {
        reset();
        HKEY h = nullptr;
        LONG error = RegOpenKeyExA(parent, subKey, 0, KEY_ALL_ACCESS, &h);
        if (error == ERROR_SUCCESS) m_h = h;
        return error;
    }
    HKEY get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    HKEY release() { return std::exchange(m_h, nullptr); }
    void reset()
    {
        if (m_h) RegCloseKey(m_h);
        m_h = nullptr;
    }

private:
    HKEY m_h = nullptr;
};

class UniqueFind {
public:
    explicit UniqueFind(HANDLE h) : m_h(h) {}
    ~UniqueFind() { if (m_h != INVALID_HANDLE_VALUE) FindClose(m_h); }
    UniqueFind(const UniqueFind&) = delete;
    UniqueFind& operator=(const UniqueFind&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// Reads a string value of at most maxBytes bytes into text. A value that is
// longer, missing or not a string fails with the system's error code; the
// text ends at the data's first NUL or at its end.
LONG QueryTextValue(HKEY key, const char* name, DWORD maxBytes, std::string& text);

// Whether a file or folder of that name exists (its attributes can be read).
bool PathExists(const std::string& path);
