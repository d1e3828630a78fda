#include "FLSRebootWnd.h"
#include "EngineFileCalls.h"

#include <windows.h>

#include <cstdio>

#include "CsrLog.h"
#include "RunContext.h"
#include "Win32Handle.h"

namespace {

const size_t kMediaRootBytes = 260;
const char kUtilityOnMedia[] = "ZelUtil.DAT";
const char kUtilityName[] = "ZelUtil.exe";
const char kUtilityFolder[] = "C:\\ZelSys\\";
const DWORD kShutdownTimeoutSeconds = 5;

} // namespace

bool CFLSRebootWnd::LaunchUtility(bool block10)
{
    if (block10) return false;
    // The roots as a run reads them (raising without them); a media root the
    // buffers cannot take whole starts nothing.
    CRunContext run(nullptr);
    run.RequireUpdatePaths("Restart");
    if (run.MediaRoot().size() >= kMediaRootBytes) return false;
    const char* mediaRoot = run.MediaRoot().c_str();

    char source[2 * kMediaRootBytes];
    char target[kMediaRootBytes];
    std::snprintf(source, sizeof(source), "%s%s", mediaRoot, kUtilityOnMedia);
    std::snprintf(target, sizeof(target), "%s%s", kUtilityFolder, kUtilityName);
    // An older installed utility still starts when the media has none.
    FcCopyFile(source, target, FALSE);

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    PROCESS_INFORMATION process = {};
    char commandLine[kMediaRootBytes];
    std::snprintf(commandLine, sizeof(commandLine), "%s", target);
    if (!CreateProcessA(target, commandLine, nullptr, nullptr, FALSE, 0, nullptr, kUtilityFolder, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void CFLSRebootWnd::Shutdown()
{
    RegFlushKey(HKEY_CURRENT_USER);
    Sleep(1000);

    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    UniqueHandle tokenOwner(token);
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    if (GetLastError() != ERROR_SUCCESS) return;

    char message[] = "Remove Data Loader after Shutdown";
    if (!InitiateSystemShutdownA(nullptr, message, kShutdownTimeoutSeconds, TRUE, FALSE))
        CsrLog(CSRLOG_EVENT, "CFLSRebootWnd::Shutdown Failed - Error %i.\n", static_cast<int>(GetLastError()));
}
