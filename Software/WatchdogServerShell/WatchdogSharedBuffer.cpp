#include "WatchdogSharedBuffer.h"

#include <process.h>

#include <cstring>

#include "ShellLogger.h"

namespace {

const char kSourceFile[] = "Software\\WatchdogServerShell\\WatchdogSharedBuffer.cpp";
const char kChannelName[] = "WATCHDOG CHANNEL";
const char kSignature[] = "WATCHDOG CHANNEL";
const char kMessageName[] = "WATCHDOG COMM MESSAGE";
const DWORD kBlockBytes = sizeof(WatchdogBlock);
const DWORD kBlockCount = 1;
const int kLockTimeoutMs = 3000;
const LPARAM kExitNotification = 3;

// A read hold for the length of a scope, so that a FATAL check still lets go.
class ReadHold {
public:
    ReadHold(SharedMemory& memory, int timeoutMs) : m_memory(memory), m_bHeld(memory.LockRead(timeoutMs)) {}
    ~ReadHold() { if (m_bHeld) m_memory.UnlockRead(); }
    ReadHold(const ReadHold&) = delete;
    ReadHold& operator=(const ReadHold&) = delete;
    bool Held() const { return m_bHeld; }

private:
    SharedMemory& m_memory;
    bool m_bHeld;
};

} // namespace

WatchdogClient::WatchdogClient()
{
    HRESULT created = m_wdSharedMemory.Create(kChannelName, kBlockBytes, kBlockCount);
    SHELL_VERIFY(kSourceFile, created == S_OK, "m_wdSharedMemory.Create() == S_OK");
    m_uMsgWatchdog = RegisterWindowMessageA(kMessageName);
    m_dwProcessId = static_cast<DWORD>(_getpid());
}

WatchdogClient::~WatchdogClient()
{
    if (m_bRegistered && m_wdSharedMemory.LockWrite(kLockTimeoutMs)) {
        auto* pBlock = static_cast<WatchdogBlock*>(m_wdSharedMemory.Data());
        pBlock->wb_registration = 0;
        pBlock->wb_valid = 0;
        pBlock->wb_signature[0] = '\0';
        m_wdSharedMemory.UnlockWrite(m_wdSharedMemory.GetLength());
        m_bRegistered = false;
    }
    m_wdSharedMemory.Destroy();
}

bool WatchdogClient::SignatureCheck(const WatchdogBlock* pBlock) const
{
    if (pBlock->wb_valid == 0) return false;
    // The server's text need not end within the block: compare within it.
    bool matches = std::strncmp(pBlock->wb_signature, kSignature, sizeof pBlock->wb_signature) == 0;
    SHELL_VERIFY(kSourceFile, matches, "SignatureCheck(pBlock)");
    return true;
}

bool WatchdogClient::NotifyExit()
{
    bool passed = false;
    {
        ReadHold hold(m_wdSharedMemory, kLockTimeoutMs);
        if (!hold.Held()) return false;
        passed = SignatureCheck(static_cast<const WatchdogBlock*>(m_wdSharedMemory.Data()));
    }
    if (!passed) return false;
    return PostMessageA(m_hWndNotify, m_uMsgWatchdog, m_dwProcessId, kExitNotification) != FALSE;
}
