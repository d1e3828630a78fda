#include "FerxExec.h"

#include <objbase.h>
#include <ole2.h>

#include <cstdio>
#include <stdexcept>

#include "ExceptionReport.h"
#include "ShellLogger.h"
#include "resource.h"

namespace {

const char kOleFailed[] = "OLE Initialization Failed!";
const char kProgramName[] = "Dormantis";

// The one application object.
CDormantisApp theApp;

} // namespace

CDormantisApp::CReportFirst::CReportFirst()
{
    InstallExceptionReport();
}

CDormantisApp::CDormantisApp()
{
    // The logger exists from the start: its event source is registered now.
    TheShellLogger();
}

BOOL CDormantisApp::InitInstance()
{
    InstallExceptionReport();

    // The window hosts no controls: control containment needs nothing beyond OLE.
    if (FAILED(::OleInitialize(nullptr))) {
        ::MessageBoxA(nullptr, kOleFailed, kProgramName, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    m_bOleInitialized = true;
    m_bComInitialized = SUCCEEDED(::CoInitialize(nullptr));

    auto frame = std::make_unique<CMainWnd>();
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_POPUP, nullptr))
        throw std::runtime_error("the main window could not be created");
    m_pMainWnd = frame.get();
    frame->SetIcon(::LoadIconA(m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME)), TRUE);
    frame->ShowWindow(SW_SHOWNA);
    frame->UpdateWindow();
    m_pMainFrame = std::move(frame);
    return TRUE;
}

int CDormantisApp::ExitInstance()
{
    int exitCode = 0;
    try {
        m_watchdog.NotifyExit();
        exitCode = CWinApp::ExitInstance();
    } catch (...) {
        char text[96];
        std::snprintf(text, sizeof text, "FerxExec: ExitInstance fatal exception GetLastError %x \n",
                      static_cast<unsigned>(::GetLastError()));
        ::OutputDebugStringA(text);
        exitCode = 0;
    }
    if (m_bComInitialized) ::CoUninitialize();
    if (m_bOleInitialized) ::OleUninitialize();
    m_bComInitialized = m_bOleInitialized = false;
    return exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int cmdShow)
{
    return RunApplication(instance, cmdShow);
}
