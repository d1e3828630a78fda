#include "WinApp.h"

#include "Wnd.h"

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp()
{
    s_pApp = this;
    m_hInstance = ::GetModuleHandleA(nullptr);
}

CWinApp::~CWinApp()
{
    if (s_pApp == this) s_pApp = nullptr;
}

BOOL CWinApp::PreTranslateMessage(MSG* msg)
{
    bool keyboard = msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_SYSKEYDOWN ||
                    msg->message == WM_SYSKEYUP || msg->message == WM_CHAR;
    HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    if (keyboard && main && msg->hwnd != main && ::IsChild(main, msg->hwnd)) msg->hwnd = main;
    return FALSE;
}

void CWinApp::OnMainWindowDestroyed()
{
    ::PostQuitMessage(0);
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int RunApplication(HINSTANCE instance, int cmdShow)
{
    CWinApp* app = CWinApp::GetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    app->m_nCmdShow = cmdShow;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
