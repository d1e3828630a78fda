#include "MainWnd.h"

#include "DisplayRules.h"
#include "Retenta.h"
#include "ShellLogger.h"
#include "resource.h"

namespace {

const char kSourceFile[] = "Utilities\\FerroxShellExecutable\\MainWnd.cpp";
const char kClassName[] = "DormantisDisplay";
const char kTitle[] = "Map";
const char kDisplayUpEvent[] = "Dormantis";
const int kFirstWidth = 200;
const int kFirstHeight = 400;
const UINT_PTR kFastTimerId = 1;
const UINT kFastTimerMs = 100;
const UINT_PTR kSlowTimerId = 2;
const UINT kSlowTimerMs = 1000;

const char kScreenSubdir[] = "ShellPersist";
const char kScreenKey[] = "ShellConfig";
const char kScreenValue[] = "ScreenSize";
const int kScreenTimeoutMs = 1000;
const unsigned long kScreenBufferBytes = 100;

} // namespace

BOOL CMainWnd::PreCreateWindow(CREATESTRUCTA& cs)
{
    if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
    cs.x = 0;
    cs.y = 0;
    cs.cx = kFirstWidth;
    cs.cy = kFirstHeight;
    cs.style &= ~WS_BORDER;
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    if (!RegisterClass(kClassName, 0, nullptr, nullptr, nullptr)) return FALSE;
    cs.lpszClass = kClassName;
    return TRUE;
}

int CMainWnd::OnCreate(CREATESTRUCTA* create)
{
    if (CFrameWnd::OnCreate(create) == -1) SHELL_ASSERT_FAILED(kSourceFile, "FALSE");

    SetWindowText(kTitle);
    PlaceOnScreen();

    // No caption, border or frame of any kind.
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, 0);
    ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, 0);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_FRAMECHANGED);

    LoadPictures();

    m_nFastTimer = ::SetTimer(m_hWnd, kFastTimerId, kFastTimerMs, nullptr);
    m_nSlowTimer = ::SetTimer(m_hWnd, kSlowTimerId, kSlowTimerMs, nullptr);
    Invalidate();
    UpdateWindow();

    // Tells a waiting process that the disabled display is up.
    m_hDisplayUpEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, kDisplayUpEvent));
    if (m_hDisplayUpEvent)
        ::SetEvent(m_hDisplayUpEvent.get());
    else
        SHELL_LOG(kSourceFile, SHELL_WARNG, "event \"%s\" not created", kDisplayUpEvent);

    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    return 0;
}

void CMainWnd::PlaceOnScreen()
{
    ShellRect screen = kDefaultShellRect;
    char text[kScreenBufferBytes] = "";
    if (GetOnePersistedString(kScreenSubdir, kScreenKey, kScreenTimeoutMs, kScreenValue, sizeof text, text,
                              nullptr) == PERS_SUCCESS &&
        !ParseShellScreenSize(text, &screen)) {
        screen = kDefaultShellRect;
        SHELL_LOG(kSourceFile, SHELL_WARNG, "ScreenSize \"%s\" is not left|top|width|height: 0,0 800x600 used",
                  text);
    }

    RECT window = {};
    RECT client = {};
    POINT origin = {0, 0};
    GetWindowRect(&window);
    GetClientRect(&client);
    ::ClientToScreen(m_hWnd, &origin);
    ShellRect placed = WindowRectForClient(screen, origin.x - window.left, origin.y - window.top,
                                           (window.right - window.left) - client.right,
                                           (window.bottom - window.top) - client.bottom);
    BOOL result = ::SetWindowPos(m_hWnd, nullptr, placed.left, placed.top, placed.width, placed.height,
                                 SWP_NOACTIVATE | SWP_NOZORDER);
    SHELL_VERIFY(kSourceFile, result != FALSE, "result != NULL");
}

void CMainWnd::LoadPictures()
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    m_hbmNoDisplay.reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_UNITDISABLED)));
    SHELL_VERIFY(kSourceFile, m_hbmNoDisplay,
                 "m_hbmNoDisplay = ::LoadBitmap(AfxGetResourceHandle(), MAKEINTRESOURCE(IDB_UNITDISABLED))");
    BITMAP bmNoDisplay = {};
    SHELL_VERIFY(kSourceFile, ::GetObjectA(m_hbmNoDisplay.get(), sizeof(BITMAP), &bmNoDisplay),
                 "::GetObject ( m_hbmNoDisplay, sizeof(BITMAP), &bmNoDisplay )");
    m_nNoDisplayWidth = bmNoDisplay.bmWidth;
    m_nNoDisplayHeight = bmNoDisplay.bmHeight;

    m_hbmBlankDisplay.reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BLANK)));
    SHELL_VERIFY(kSourceFile, m_hbmBlankDisplay,
                 "m_hbmBlankDisplay = ::LoadBitmap(AfxGetResourceHandle(), MAKEINTRESOURCE(IDB_BLANK))");
    BITMAP bmBlankDisplay = {};
    SHELL_VERIFY(kSourceFile, ::GetObjectA(m_hbmBlankDisplay.get(), sizeof(BITMAP), &bmBlankDisplay),
                 "::GetObject ( m_hbmBlankDisplay, sizeof(BITMAP), &bmBlankDisplay )");
    m_nBlankDisplayWidth = bmBlankDisplay.bmWidth;
    m_nBlankDisplayHeight = bmBlankDisplay.bmHeight;
}

void CMainWnd::OnDestroy()
{
    if (m_nFastTimer) ::KillTimer(m_hWnd, kFastTimerId);
    if (m_nSlowTimer) ::KillTimer(m_hWnd, kSlowTimerId);
    m_nFastTimer = m_nSlowTimer = 0;
    m_hbmNoDisplay.reset();
    m_hbmBlankDisplay.reset();
    CFrameWnd::OnDestroy();
}

// Draws the picture over the whole client area, then validates it. A region
// left invalid would bring paint requests without end, and with them no timer
// message ever (they come only when nothing else waits): the window would
// never come back on top. The fast timer redraws the picture instead, over
// anything another program draws on the screen.
void CMainWnd::OnPaint()
{
    ::OutputDebugStringA("MainWindow: No Display\n");
    RECT client = {};
    GetClientRect(&client);
    OwnedMemoryDc localDC(::CreateCompatibleDC(nullptr));
    m_hbmOld = static_cast<HBITMAP>(::SelectObject(localDC.get(), m_hbmNoDisplay.get()));
    SHELL_VERIFY(kSourceFile, m_hbmOld != nullptr, "m_hbmOld = (HBITMAP) ::SelectObject(localDC, displayBitmap)");
    {
        WindowDc currentDC(m_hWnd);
        BOOL drawn = ::StretchBlt(currentDC.get(), 0, 0, client.right, client.bottom, localDC.get(), 0, 0,
                                  m_nNoDisplayWidth, m_nNoDisplayHeight, SRCCOPY);
        SHELL_VERIFY(kSourceFile, drawn,
                     "::StretchBlt( currentDC->GetSafeHdc(), 0, 0, screenWidth, screenHeight, localDC, 0, 0, xDisplay, yDisplay, SRCCOPY )");
    }
    ::GdiFlush();
    // The picture goes back out of the context before the context goes.
    ::SelectObject(localDC.get(), m_hbmOld);
    ::ValidateRect(m_hWnd, nullptr);
}

void CMainWnd::OnActivate(UINT state, HWND other, BOOL minimized)
{
    CFrameWnd::OnActivate(state, other, minimized);
    ::OutputDebugStringA("MainWindow: On ActivateApp\n");
    ::SetForegroundWindow(m_hWnd);
    ::SetFocus(m_hWnd);
    ::BringWindowToTop(m_hWnd);
}

void CMainWnd::OnTimer(UINT_PTR id)
{
    ::BringWindowToTop(m_hWnd);
    if (id == kFastTimerId) Invalidate(false);
}
