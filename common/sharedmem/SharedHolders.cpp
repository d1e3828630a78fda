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

ReclaimPlan PlanReclaim(uint32_t holds, uint32_t before, uint32_t readersNow, uint32_t writerNow)
{
    const HolderHolds h = UnpackHolds(holds);
    ReclaimPlan plan;
    plan.readers = h.reads;
    plan.clearWriter = h.writer != kWriterNone;
    plan.lowerCount = h.counted;
    plan.discard = h.writer == kWriterChanging;
    const bool applied = (h.step == kStepWriterUp || h.step == kStepWriterDown ? writerNow : readersNow) != before;
    switch (h.step) {
    case kStepReadUp:   // counted in the block, not yet in the slot
        if (applied) ++plan.readers;
        break;
    case kStepReadDown:   // gone from the block, still in the slot
        if (applied && plan.readers > 0) --plan.readers;
        break;
    case kStepWriterUp:
        plan.clearWriter = applied;
        break;
    case kStepWriterDown:
        plan.clearWriter = !applied;
        break;
    case kStepCount:
        plan.lowerCount = false;
        break;
    default:
        break;
    }
    return plan;
}

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
    // The limited right exists from Vista on; an older system refuses it, and
    // may still grant the full one, or at least the right to wait.
    const DWORD kRights[] = {SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, SYNCHRONIZE | PROCESS_QUERY_INFORMATION,
                             SYNCHRONIZE};
    UniqueHandle process;
    for (DWORD rights : kRights) {
        process.reset(OpenProcess(rights, FALSE, pid));
        if (process) break;
        if (GetLastError() == ERROR_INVALID_PARAMETER) return true;   // no process with that id
    }
    if (!process) return false;
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
    uint64_t now = StartedOf(process.get());
    return started != 0 && now != 0 && now != started;
}
