#include "SharedHolders.h"

#include "Win32Handle.h"

#ifndef PROCESS_QUERY_LIMITED_INFORMATION
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#endif

namespace {

uint64_t StartedOf(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

uint32_t HolderPid()
{
    return static_cast<uint32_t>(GetCurrentProcessId());
}

uint64_t HolderStarted()
{
    static const uint64_t started = StartedOf(GetCurrentProcess());
    return started;
}

bool HolderGone(uint32_t pid, uint64_t started)
{
    if (pid == 0) return true;
    if (pid == HolderPid()) return started != 0 && started != HolderStarted();
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;   // no process with that id
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
    uint64_t now = StartedOf(process.get());
    return started != 0 && now != 0 && now != started;
}
