// The framework's frame window: a top-level window made from the resources
// that share one id (its menu, its title string and its class icon).
#pragma once

#include "Wnd.h"

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;

    // Creates the frame from the resources `resourceId` with the given style.
    // PreCreateWindow may change the creation parameters first.
    BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr);

    // WM_SETICON: the large (big) or small icon of the window.
    void SetIcon(HICON icon, BOOL big)
    {
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }

    // The title loaded from the string resource.
    const CString& GetTitle() const { return m_strTitle; }

protected:
    // Before creation. The default registers the frame class of the resource
    // id (arrow cursor, window-colour background, the resource icon) and adds
    // the sunken client edge. False stops the creation.
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);

    UINT m_nIDResource = 0;
    CString m_strTitle;

private:
    char m_szClassName[32] = {};
};
