// The framework's application: one object per program, constructed before
// the entry point. RunApplication drives it: InitInstance, the message loop
// while the main window lives, then ExitInstance.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    // Data
    CWnd* m_pMainWnd = nullptr;      // the window whose end ends the loop
    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

    // Construction: the one application of the program.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    static CWinApp* GetApp() { return s_pApp; }

    // Overridables
    // Builds the main window; FALSE ends the program at once (ExitInstance still runs).
    virtual BOOL InitInstance() { return TRUE; }
    // The program's exit code; the default gives the code of the loop's end.
    virtual int ExitInstance() { return m_nExitCode; }
    // Pumps messages until WM_QUIT; then ExitInstance.
    virtual int Run();
    // Keyboard messages meant for a control of the main window go to the main
    // window itself: the bezel keys belong to it, never to a child.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // The main window has gone: the loop ends.
    void OnMainWindowDestroyed();

protected:
    int m_nExitCode = 0;

private:
    static CWinApp* s_pApp;
};

// The program's WinMain calls this with its own arguments.
int RunApplication(HINSTANCE instance, int cmdShow);
