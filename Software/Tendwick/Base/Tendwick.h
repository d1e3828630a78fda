// The maintenance program: its one application object, which decides at
// start-up whether it runs on a real unit, sets up the store and builds the
// screen configuration, then registers the event source and opens the main
// window.
#pragma once

#include <windows.h>

#include "ScreenConfig.h"
#include "WinApp.h"

class CTendwickApp : public CWinApp {
public:
    // Construction: runs before the program's entry point.
    CTendwickApp();
    ~CTendwickApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Attributes
    CScreenConfig* GetScreenConfig() const { return m_pScreenConfig; }
    bool IsUnitShell() const { return m_bUnitShell; }
    HANDLE GetEventSource() const { return m_hEventSource; }

private:
    // Reads the logon shell and the saved "shell" value; true on a real unit.
    static bool DetectUnitShell();
    void RegisterEventSource();

    CScreenConfig* m_pScreenConfig = nullptr;
    bool m_bUnitShell = true;
    HANDLE m_hEventSource = nullptr;
};

// The program's one application object.
CTendwickApp* GetTendwickApp();

// Writes the assertion text for this header's line to the debug output and
// raises the assertion exception.
[[noreturn]] void TendwickAssertFailed(int line);
