// Owner for an open registry key, closed with its owner.
#pragma once

#include <windows.h>

#include <utility>

class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY key) : m_hKey(key) {}
    ~UniqueRegKey() { reset(); }
    UniqueRegKey(UniqueRegKey&& o) noexcept : m_hKey(std::exchange(o.m_hKey, nullptr)) {}
    UniqueRegKey& operator=(UniqueRegKey&& o) noexcept
    {
        if (this != &o) { reset(); m_hKey = std::exchange(o.m_hKey, nullptr); }
        return *this;
    }
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;

    // Opens parent\subKey; whatever was held is closed first. Returns the
    // system's error code.
    LONG Open(HKEY parent, const char* subKey, REGSAM access = KEY_ALL_ACCESS)
    {
        reset();
        HKEY key = nullptr;
        LONG error = RegOpenKeyExA(parent, subKey, 0, access, &key);
        if (error == ERROR_SUCCESS) m_hKey = key;
        return error;
    }

    HKEY get() const { return m_hKey; }
    // For the calls that open a key into an HKEY*; whatever was held is closed.
    HKEY* put() { reset(); return &m_hKey; }
    explicit operator bool() const { return m_hKey != nullptr; }
    void reset(HKEY key = nullptr)
    {
        if (m_hKey) RegCloseKey(m_hKey);
        m_hKey = key;
    }
    // Closes the key now and gives the system's answer, for the callers that
    // report a failed close.
    LONG Close()
    {
        HKEY key = std::exchange(m_hKey, nullptr);
        return key ? RegCloseKey(key) : ERROR_SUCCESS;
    }

private:
    HKEY m_hKey = nullptr;
};
