// The disabled display: a frame with no caption, border or frame that covers
// the persisted screen rectangle with the UNIT DISABLED picture and keeps
// itself in front of every other window. It has no handler for keys, mouse
// or commands: input reaches it and changes nothing.
#pragma once

#include "FrameWnd.h"
#include "GdiOwners.h"
#include "WatchdogSharedBuffer.h"
#include "Win32Handle.h"

class CMainWnd : public CFrameWnd {
public:
    CMainWnd() = default;

protected:
    // Class and first size: 0,0 200x400, no border or client edge; the class
    // has no style, cursor, background brush or icon.
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    int OnCreate(CREATESTRUCTA* create) override;        // WM_CREATE
    void OnDestroy() override;                           // WM_DESTROY
    void OnPaint() override;                             // WM_PAINT
    void OnActivate(UINT state, HWND other, BOOL minimized) override;   // WM_ACTIVATE
    void OnTimer(UINT_PTR id) override;                  // WM_TIMER: on top; the fast one redraws
    // WM_ERASEBKGND: the framework's default.

private:
    // Moves the window so that its client area covers the "ScreenSize"
    // rectangle (0,0 800x600 when it cannot be read or used).
    void PlaceOnScreen();
    void LoadPictures();

    UniqueBitmap m_hbmNoDisplay;
    int m_nNoDisplayWidth = 0;
    int m_nNoDisplayHeight = 0;
    UniqueBitmap m_hbmBlankDisplay;
    int m_nBlankDisplayWidth = 0;
    int m_nBlankDisplayHeight = 0;
    HBITMAP m_hbmOld = nullptr;      // the bitmap replaced while drawing
    UINT_PTR m_nFastTimer = 0;
    UINT_PTR m_nSlowTimer = 0;
    UniqueHandle m_hDisplayUpEvent;  // "Dormantis", open for the program's life
    WatchdogClient m_watchdog;
};
