// The framework's window: a C++ object bound to one HWND. The object is found
// from its window through a window property set at WM_NCCREATE (windows of our
// own classes) or when a control is attached; messages go to virtual OnXxx
// handlers, and the binding is cleared at WM_NCDESTROY.
#pragma once

#include <windows.h>

#include "FrameworkString.h"

class CWnd {
public:
    // Data
    HWND m_hWnd = nullptr;

    // Construction
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Registers a window class whose procedure is the framework's; true when
    // registered now or already. The class name is the caller's.
    static bool RegisterClass(const char* className, UINT style, HCURSOR cursor, HBRUSH background, HICON icon);
    // Creates a window of a framework class (see RegisterClass) or of a system
    // control class; a control is attached so that its colours reach it.
    BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menuOrId);
    BOOL DestroyWindow();
    // Takes over an existing window: its messages pass through WindowProc
    // first and on to its own procedure by Default.
    bool SubclassWindow(HWND wnd);

    // The object bound to a window, or nullptr.
    static CWnd* FromHandle(HWND wnd);

    // Attributes
    HWND GetSafeHwnd() const { return m_hWnd; }
    CString GetWindowText() const;
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    // The rectangle in the parent's client coordinates.
    RECT GetRectInParent() const;

    // Operations
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    void MoveWindow(const RECT& rect, bool repaint = true);
    void Invalidate(bool erase = true) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    // Invalidates everything (children too) and paints it at once.
    void RedrawAll() { ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW); }
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, msg, w, l); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, msg, w, l); }
    void ModifyStyle(DWORD remove, DWORD add);
    void ModifyStyleEx(DWORD remove, DWORD add);

protected:
    // Every message of the window; the default dispatches to the handlers
    // below and passes the rest to Default.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The message being handled, to the window's default procedure.
    LRESULT Default();

    // Handlers. Each default does what the system would.
    virtual int OnCreate(CREATESTRUCTA* create);              // WM_CREATE: 0 to go on, -1 to fail
    virtual void OnDestroy();                                 // WM_DESTROY
    virtual void OnPaint();                                   // WM_PAINT
    virtual BOOL OnEraseBkgnd(HDC dc);                        // WM_ERASEBKGND: nonzero when erased
    virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);  // WM_KEYDOWN
    virtual void OnKeyUp(UINT key, UINT repeat, UINT flags);    // WM_KEYUP
    virtual void OnClose();                                   // WM_CLOSE
    virtual void OnTimer(UINT_PTR id);                        // WM_TIMER
    virtual void OnActivate(UINT state, HWND other, BOOL minimized);  // WM_ACTIVATE
    virtual void OnSetFocus(HWND previous);                   // WM_SETFOCUS
    // WM_CTLCOLOR*: asks the control itself first (CtlColor), then Default.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
    // A control's own colours when its parent is asked; nullptr for the system's.
    virtual HBRUSH CtlColor(HDC dc, UINT message) { return nullptr; }
    // After the window is gone and the binding cleared.
    virtual void PostNcDestroy() {}

private:
    static LRESULT CALLBACK FrameworkWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void Attach(HWND wnd);
    void Detach();

    // The message being handled, for Default.
    struct CurrentMessage {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage m_current = {};
    WNDPROC m_pfnSuper = nullptr;   // a subclassed window's own procedure
    bool m_bOwnClass = false;       // created from a framework class
};
