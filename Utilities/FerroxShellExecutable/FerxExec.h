// Dormantis, the disabled-unit shell: the program that a save installs as the
// unit's only startup application. It covers the display with the UNIT
// DISABLED picture until the unit's configuration is restored onto it.
#pragma once

#include <memory>

#include "MainWnd.h"
#include "WatchdogSharedBuffer.h"
#include "WinApp.h"

class CDormantisApp : public CWinApp {
public:
    CDormantisApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // Installs the crash report while the object is built, before the
    // watchdog client, whose failure is FATAL.
    struct CReportFirst {
        CReportFirst();
    };

    CReportFirst m_reportFirst;
    WatchdogClient m_watchdog;
    std::unique_ptr<CMainWnd> m_pMainFrame;
    bool m_bOleInitialized = false;
    bool m_bComInitialized = false;
};
