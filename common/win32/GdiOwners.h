// Owners for device contexts and GDI objects, and scope guards for the calls
// that come in pairs (BeginPaint/EndPaint, SelectObject and its undo).
#pragma once

#include <windows.h>

#include <utility>

// A GDI object (font, pen, brush, bitmap) deleted with its owner.
template <class T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T h) : m_h(h) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept
    {
        if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset(T h = nullptr)
    {
        if (m_h) DeleteObject(m_h);
        m_h = h;
    }

private:
    T m_h = nullptr;
};

typedef GdiObject<HFONT> UniqueFont;
typedef GdiObject<HPEN> UniquePen;
typedef GdiObject<HBRUSH> UniqueBrush;
typedef GdiObject<HBITMAP> UniqueBitmap;

// A memory device context: owned (DeleteDC) or borrowed (the caller keeps it).
template <bool t_bOwned>
class MemoryDcT {
public:
    MemoryDcT() = default;
    explicit MemoryDcT(HDC dc) : m_hDC(dc) {}
    ~MemoryDcT() { if (t_bOwned && m_hDC) DeleteDC(m_hDC); }
    MemoryDcT(const MemoryDcT&) = delete;
    MemoryDcT& operator=(const MemoryDcT&) = delete;

    HDC get() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }

private:
    HDC m_hDC = nullptr;
};
typedef MemoryDcT<true> OwnedMemoryDc;
typedef MemoryDcT<false> BorrowedDc;

// A window's device context from GetDC, handed back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND wnd) : m_hWnd(wnd), m_hDC(GetDC(wnd)) {}
    ~WindowDc() { if (m_hDC) ReleaseDC(m_hWnd, m_hDC); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// BeginPaint in the constructor, EndPaint in the destructor.
class PaintScope {
public:
    explicit PaintScope(HWND wnd) : m_hWnd(wnd) { m_hDC = BeginPaint(wnd, &m_ps); }
    ~PaintScope() { EndPaint(m_hWnd, &m_ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC get() const { return m_hDC; }
    const PAINTSTRUCT& info() const { return m_ps; }

private:
    HWND m_hWnd;
    HDC m_hDC;
    PAINTSTRUCT m_ps = {};
};

// Selects an object into a device context and puts the previous one back.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hPrevious(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectScope() { if (m_hPrevious) SelectObject(m_hDC, m_hPrevious); }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hPrevious;
};

// Keeps a device context's state (text colour, background mode, selections)
// across a drawing function.
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : m_hDC(dc), m_nSaved(SaveDC(dc)) {}
    ~SavedDcState() { if (m_nSaved) RestoreDC(m_hDC, m_nSaved); }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC m_hDC;
    int m_nSaved;
};
