#include "Wnd.h"

#include "WinApp.h"

namespace {

// The property that binds a window to its object.
const char kBindingProperty[] = "FrameworkWnd";

} // namespace

CWnd::~CWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        // The object goes first: the window must not call into it any more.
        HWND wnd = m_hWnd;
        Detach();
        ::DestroyWindow(wnd);
    }
}

bool CWnd::RegisterClass(const char* className, UINT style, HCURSOR cursor, HBRUSH background, HICON icon)
{
    WNDCLASSA wc = {};
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (::GetClassInfoA(instance, className, &wc)) return true;
    wc.style = style;
    wc.lpfnWndProc = FrameworkWndProc;
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = className;
    return ::RegisterClassA(&wc) != 0;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menuOrId)
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    m_bOwnClass = ::GetClassInfoA(instance, className, &wc) && wc.lpfnWndProc == FrameworkWndProc;
    HWND wnd = ::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, parent, menuOrId,
                                 instance, this);
    if (!wnd) {
        // A failed WM_CREATE has already unbound the object at WM_NCDESTROY.
        m_hWnd = nullptr;
        return FALSE;
    }
    if (!m_bOwnClass) Attach(wnd);
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

bool CWnd::SubclassWindow(HWND wnd)
{
    if (!wnd || m_hWnd) return false;
    Attach(wnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassWndProc)));
    return m_pfnSuper != nullptr;
}

CWnd* CWnd::FromHandle(HWND wnd)
{
    return wnd ? static_cast<CWnd*>(::GetPropA(wnd, kBindingProperty)) : nullptr;
}

void CWnd::Attach(HWND wnd)
{
    m_hWnd = wnd;
    ::SetPropA(wnd, kBindingProperty, this);
}

void CWnd::Detach()
{
    if (!m_hWnd) return;
    if (m_pfnSuper) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        m_pfnSuper = nullptr;
    }
    ::RemovePropA(m_hWnd, kBindingProperty);
    m_hWnd = nullptr;
}

CString CWnd::GetWindowText() const
{
    int length = ::GetWindowTextLengthA(m_hWnd);
    if (length <= 0) return CString();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(m_hWnd, &text[0], length + 1);
    return CString(text.c_str(), got);
}

RECT CWnd::GetRectInParent() const
{
    RECT rect = {};
    ::GetWindowRect(m_hWnd, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void CWnd::MoveWindow(const RECT& rect, bool repaint)
{
    ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

void CWnd::ModifyStyle(DWORD remove, DWORD add)
{
    LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(remove)) | add);
}

void CWnd::ModifyStyleEx(DWORD remove, DWORD add)
{
    LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, (style & ~static_cast<LONG_PTR>(remove)) | add);
}

LRESULT CALLBACK CWnd::FrameworkWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* self = FromHandle(wnd);
    if (!self && msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        self = static_cast<CWnd*>(create->lpCreateParams);
        if (self) self->Attach(wnd);
    }
    if (!self) return ::DefWindowProcA(wnd, msg, wParam, lParam);
    return self->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* self = FromHandle(wnd);
    if (!self) return ::DefWindowProcA(wnd, msg, wParam, lParam);
    return self->Dispatch(msg, wParam, lParam);
}

LRESULT CWnd::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Messages nest (a handler may send another): keep the outer one for its Default.
    CurrentMessage outer = m_current;
    m_current = {msg, wParam, lParam};
    LRESULT result;
    if (msg == WM_NCDESTROY) {
        result = Default();
        Detach();
        CWinApp* app = CWinApp::GetApp();
        if (app && app->m_pMainWnd == this) app->OnMainWindowDestroyed();
        PostNcDestroy();
        return result;
    }
    result = WindowProc(msg, wParam, lParam);
    m_current = outer;
    return result;
}

LRESULT CWnd::Default()
{
    if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
    return ::DefWindowProcA(m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_KEYUP:
        OnKeyUp(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        return reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), msg));
    default:
        return Default();
    }
}

int CWnd::OnCreate(CREATESTRUCTA*)
{
    return static_cast<int>(Default());
}

void CWnd::OnDestroy()
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

BOOL CWnd::OnEraseBkgnd(HDC)
{
    return static_cast<BOOL>(Default());
}

void CWnd::OnKeyDown(UINT, UINT, UINT)
{
    Default();
}

void CWnd::OnKeyUp(UINT, UINT, UINT)
{
    Default();
}

void CWnd::OnClose()
{
    Default();
}

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

void CWnd::OnActivate(UINT, HWND, BOOL)
{
    Default();
}

void CWnd::OnSetFocus(HWND)
{
    Default();
}

HBRUSH CWnd::OnCtlColor(HDC dc, HWND control, UINT message)
{
    CWnd* child = FromHandle(control);
    if (child && child != this) {
        HBRUSH brush = child->CtlColor(dc, message);
        if (brush) return brush;
    }
    return reinterpret_cast<HBRUSH>(Default());
}
