#include "FrameWnd.h"

#include <cstdio>

namespace {

const int kTitleChars = 256;

} // namespace

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, HWND parent)
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    m_nIDResource = resourceId;
    char title[kTitleChars] = "";
    if (::LoadStringA(instance, resourceId, title, kTitleChars) > 0) m_strTitle = title;

    CREATESTRUCTA cs = {};
    cs.hInstance = instance;
    cs.hMenu = ::LoadMenuA(instance, MAKEINTRESOURCEA(resourceId));
    cs.hwndParent = parent;
    cs.style = style;
    cs.x = CW_USEDEFAULT;
    cs.y = CW_USEDEFAULT;
    cs.cx = CW_USEDEFAULT;
    cs.cy = CW_USEDEFAULT;
    cs.lpszName = m_strTitle.GetString();
    if (!PreCreateWindow(cs) || !cs.lpszClass) {
        if (cs.hMenu) ::DestroyMenu(cs.hMenu);
        return FALSE;
    }
    if (!CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent,
                  cs.hMenu)) {
        // Only a window that exists owns its menu.
        if (cs.hMenu) ::DestroyMenu(cs.hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs)
{
    std::snprintf(m_szClassName, sizeof m_szClassName, "FrameworkFrame%u", m_nIDResource);
    HICON icon = ::LoadIconA(cs.hInstance, MAKEINTRESOURCEA(m_nIDResource));
    if (!RegisterClass(m_szClassName, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ::LoadCursorA(nullptr, IDC_ARROW),
                       reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), icon))
        return FALSE;
    cs.lpszClass = m_szClassName;
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return TRUE;
}
