// The watchdog client against a server block made by the test: the exit
// notification goes out only for a block the server has set up, a wrong
// signature is FATAL, and a writer holding the channel makes it give up.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Retenta.h"
#include "SharedMemory.h"
#include "TestFiles.h"
#include "WatchdogSharedBuffer.h"

namespace {

const UINT kMessage = RegisterWindowMessageA("WATCHDOG COMM MESSAGE");

// The server's side: the block, set up as a server would (valid flag, signature).
class ServerBlock {
public:
    ServerBlock(BYTE valid, const char* signature)
    {
        EXPECT_EQ(S_OK, m_memory.Create("WATCHDOG CHANNEL", sizeof(WatchdogBlock), 1));
        EXPECT_TRUE(m_memory.LockWrite(1000));
        Block()->wb_registration = 0x1234;
        Block()->wb_valid = valid;
        std::snprintf(Block()->wb_signature, sizeof Block()->wb_signature, "%s", signature);
        m_memory.UnlockWrite(sizeof(WatchdogBlock));
    }
    WatchdogBlock* Block() { return static_cast<WatchdogBlock*>(m_memory.Data()); }
    SharedMemory m_memory;
};

// A top-level window of the test, where the broadcast arrives; none without a display.
class Receiver {
public:
    Receiver()
    {
        WNDCLASSA wc = {0, DefWindowProcA, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr,
                        "WatchdogTestReceiver"};
        RegisterClassA(&wc);
        m_hWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~Receiver() { DestroyWindow(m_hWnd); }
    // The exit notifications that reached this window: "wParam,lParam;" each.
    std::string Arrived()
    {
        std::string got;
        MSG msg;
        while (m_hWnd && PeekMessageA(&msg, m_hWnd, kMessage, kMessage, PM_REMOVE))
            got += std::to_string(msg.wParam) + "," + std::to_string(msg.lParam) + ";";
        return got;
    }
    HWND m_hWnd;
};

}  // namespace

TEST(WatchdogClient, ServerBlockWithItsSignatureGetsOneExitNotification)
{
    ServerBlock server(1, "WATCHDOG CHANNEL");
    Receiver receiver;
    {
        WatchdogClient client;
        EXPECT_EQ(kMessage, client.MessageId());
        EXPECT_TRUE(client.NotifyExit());
    }
    // A client that never registered leaves the server's block alone.
    EXPECT_EQ(0x1234u, server.Block()->wb_registration);
    EXPECT_EQ(1, server.Block()->wb_valid);
    if (!receiver.m_hWnd) GTEST_SKIP() << "no window without a display: the message's arrival is not checked";
    EXPECT_EQ(std::to_string(GetCurrentProcessId()) + ",3;", receiver.Arrived());
}

TEST(WatchdogClient, NoServerNoNotification)
{
    Receiver receiver;
    WatchdogClient client;   // makes the channel itself, empty
    EXPECT_FALSE(client.NotifyExit());
    EXPECT_EQ("", receiver.Arrived());
}

TEST(WatchdogClient, WrongSignatureIsFatalAndLetsTheChannelGo)
{
    ServerBlock server(1, "WATCHDOG CHANNEL?");
    Receiver receiver;
    WatchdogClient client;
    EXPECT_THROW(client.NotifyExit(), unsigned long);
    EXPECT_TRUE(server.m_memory.LockWrite(100)) << "the client kept its read hold";
    server.m_memory.UnlockWrite(sizeof(WatchdogBlock));
    EXPECT_EQ("", receiver.Arrived());
}

TEST(WatchdogClient, WriterHoldingTheChannelMakesItGiveUpAfter3000ms)
{
    ServerBlock server(1, "WATCHDOG CHANNEL");
    Receiver receiver;
    WatchdogClient client;
    ASSERT_TRUE(server.m_memory.LockWrite(1000));
    DWORD begin = GetTickCount();
    EXPECT_FALSE(client.NotifyExit());
    DWORD waited = GetTickCount() - begin;
    server.m_memory.UnlockWrite(sizeof(WatchdogBlock));
    EXPECT_GE(waited, 2900u);
    EXPECT_LT(waited, 6000u);
    EXPECT_EQ("", receiver.Arrived());
}

int main(int argc, char** argv)
{
    // The logger of a FATAL check reads its settings from a store of the run's own.
    std::string store = MakeTempFolder("watchdog");
    SetPersistBasePath(store.c_str());
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    RemoveTree(store);
    return result;
}
