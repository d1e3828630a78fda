// The client side of the watchdog channel: the shared block "WATCHDOG
// CHANNEL" that the unit's watchdog server sets up, and the registered
// message "WATCHDOG COMM MESSAGE" by which a program tells the server that it
// exits. This program sends no heartbeat and never registers with the server.
#pragma once

#include <windows.h>

#include <cstddef>

#include "SharedMemory.h"

// The block as the server writes it; the rest of its 3096 bytes is the server's.
#pragma pack(push, 1)
struct WatchdogBlock {
    DWORD wb_registration;      // cleared by a client that unregisters
    BYTE  wb_valid;             // non-zero once the server has set the block up
    char  wb_signature[3091];   // "WATCHDOG CHANNEL", NUL-terminated
};
#pragma pack(pop)
static_assert(sizeof(WatchdogBlock) == 3096, "the block's layout is the server's");
static_assert(offsetof(WatchdogBlock, wb_valid) == 4, "the block's layout is the server's");
static_assert(offsetof(WatchdogBlock, wb_signature) == 5, "the block's layout is the server's");

class WatchdogClient {
public:
    // Opens (or creates) the channel; a channel that cannot be had is FATAL.
    WatchdogClient();
    // Unregisters if registered, then closes the channel.
    ~WatchdogClient();
    WatchdogClient(const WatchdogClient&) = delete;
    WatchdogClient& operator=(const WatchdogClient&) = delete;

    // Tells the server that this process exits: "WATCHDOG COMM MESSAGE" with
    // (process id, 3), broadcast to the top-level windows, where the server's
    // window receives it. Only when the server has set the block up; a block
    // set up with another signature is FATAL. True when the message was posted.
    bool NotifyExit();

    UINT MessageId() const { return m_uMsgWatchdog; }

private:
    // True when the server has set the block up with the right signature.
    bool SignatureCheck(const WatchdogBlock* pBlock) const;

    SharedMemory m_wdSharedMemory;
    UINT m_uMsgWatchdog = 0;
    DWORD m_dwProcessId = 0;
    HWND m_hWndNotify = HWND_BROADCAST;
    bool m_bRegistered = false;
};
