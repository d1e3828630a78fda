// Move-only owners for kernel handles and mapped views.
#pragma once

#include <windows.h>
#include <utility>

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept { if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); } return *this; }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset(HANDLE h = nullptr) {
        if (m_h) CloseHandle(m_h);
        m_h = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
    }
    HANDLE release() { return std::exchange(m_h, nullptr); }

private:
    HANDLE m_h = nullptr;
};

class UniqueView {
public:
    UniqueView() = default;
    explicit UniqueView(void* p) : m_p(p) {}
    ~UniqueView() { reset(); }
    UniqueView(UniqueView&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    UniqueView& operator=(UniqueView&& o) noexcept { if (this != &o) { reset(); m_p = std::exchange(o.m_p, nullptr); } return *this; }
    UniqueView(const UniqueView&) = delete;
    UniqueView& operator=(const UniqueView&) = delete;

    void* get() const { return m_p; }
    void reset(void* p = nullptr) {
        if (m_p) UnmapViewOfFile(m_p);
        m_p = p;
    }

private:
    void* m_p = nullptr;
};
