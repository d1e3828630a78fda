// The application object: start-up before the entry point, the event source
// and the main window.
#include "Tendwick.h"
#include "EngineFileCalls.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "CsrLog.h"
#include "EngineKeys.h"
#include "EngineWin32.h"
#include "EventReporter.h"
#include "FerroxTendwickWnd.h"
#include "RegistryAccess.h"
#include "Retenta.h"

namespace {

const char kWinlogonKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const DWORD kShellBytes = 260;
const DWORD kProgramPathBytes = 512;
const char kEventSourcePath[] = "HKEY_CURRENT_USER\\Tendwick\\CurrentControlSet\\Services\\EventLog\\Application\\Maint";
const char kEventSourceName[] = "Maint";
const DWORD kEventTypesSupported = 7;
const char kMainWindowClass[] = "TendwickMaintWnd";
const char kMainWindowText[] = "Tendwick";
const DWORD kMainWindowStyle = WS_VISIBLE | WS_MAXIMIZE;   // 0x12000000
const DWORD kAssertExceptionCode = 0xE0DB0002;
const char kAssertHeader[] = "Software\\Tendwick\\Base\\Tendwick";

UniqueRegKey CreateFullAccessKey(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (FcRegCreateKey(root, path, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(key);
}

// The one application object.
CTendwickApp theApp;

} // namespace

CTendwickApp* GetTendwickApp()
{
    return &theApp;
}

void TendwickAssertFailed(int line)
{
    char text[160];
    std::snprintf(text, sizeof(text), "ZEL_ASSERT Failed in file %.80s, line %d\n", kAssertHeader, line);
    OutputDebugStringA(text);
    RaiseException(kAssertExceptionCode, 0, 0, nullptr);
    for (;;) {}   // not reached: the exception does not continue
}

CTendwickApp::CTendwickApp()
{
    m_bUnitShell = DetectUnitShell();

    // The store takes its base path from its own registry settings.
    SetPersistBasePath(nullptr);

    if (m_bUnitShell) {
        auto* config = new CShellScreenConfig;
        config->BuildKeyTable();
        m_pScreenConfig = config;
    } else {
        m_pScreenConfig = new CPlatformScreenConfig;
    }
}

CTendwickApp::~CTendwickApp()
{
    delete m_pScreenConfig;
    m_pScreenConfig = nullptr;
}

bool CTendwickApp::DetectUnitShell()
{
    std::string logonShell;
    if (UniqueRegKey winlogon = CreateFullAccessKey(HKEY_LOCAL_MACHINE, kWinlogonKey)) {
        if (QueryTextValue(winlogon.get(), "Shell", kShellBytes, logonShell) != ERROR_SUCCESS) logonShell.clear();
    }

    // The trailing backslash is how the shell's own settings have always named it.
    UniqueRegKey corvane = CreateFullAccessKey(HKEY_CURRENT_USER, (std::string(kCorvaneKey) + "\\").c_str());
    std::string savedShell;
    bool haveSaved = corvane && QueryTextValue(corvane.get(), "shell", kShellBytes, savedShell) == ERROR_SUCCESS;

    bool saveShell = false;
    bool unitShell = ::IsUnitShell(logonShell.c_str(), haveSaved ? savedShell.c_str() : nullptr, &saveShell);
    if (saveShell && corvane) {
        // Kept in its own letter case, stored without a terminating zero. A
        // value that cannot be stored is only found again at the next start
        // (the failure is in the run log).
        FcRegSetValue(corvane.get(), "shell", REG_SZ, reinterpret_cast<const BYTE*>(logonShell.data()),
                      static_cast<DWORD>(logonShell.size()));
    }
    return unitShell;
}

void CTendwickApp::RegisterEventSource()
{
    char path[kProgramPathBytes] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, kProgramPathBytes);
    if (length == 0 || length >= kProgramPathBytes) return;
    WriteRegistryPathString(kEventSourcePath, "EventMessageFile", path);
    WriteRegistryPathDword(kEventSourcePath, "TypesSupported", kEventTypesSupported);
    m_hEventSource = ::RegisterEventSourceA(nullptr, kEventSourceName);
    SetMaintEventSource(m_hEventSource);
}

BOOL CTendwickApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    RegisterEventSource();
    CsrLog(CSRLOG_TRACE, "CTendwickApp: This is Save And Restore\n");

    CWnd::RegisterClass(kMainWindowClass, 0, LoadCursor(nullptr, IDC_ARROW), nullptr, nullptr);
    auto* window = new CFerroxTendwickWnd(m_pScreenConfig);
    // A failed creation leaves a window object without a window: the loop then
    // has nothing to wait for, and the program ends.
    window->CreateEx(0, kMainWindowClass, kMainWindowText, kMainWindowStyle, 0, 0, 800, 600, nullptr, nullptr);
    m_pMainWnd = window;
    if (!window->m_hWnd) PostQuitMessage(0);
    return TRUE;
}

int CTendwickApp::ExitInstance()
{
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    if (m_hEventSource) {
        DeregisterEventSource(m_hEventSource);
        m_hEventSource = nullptr;
        SetMaintEventSource(nullptr);
    }
    return CWinApp::ExitInstance();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int cmdShow)
{
    return RunApplication(instance, cmdShow);
}
