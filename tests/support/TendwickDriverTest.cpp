// The driver against a stand-in window of the maintenance program's shape
// (this program again, in child mode): same title, control ids and
// inspection messages, slow to create, and it writes the key messages it
// receives on label 4.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "ChildProcess.h"
#include "Inspection.h"
#include "TendwickDriver.h"
#include "resource.h"

namespace {

const int STAND_IN_EXIT_CODE = 42;
const UINT_PTR SAVE_TIMER = 1;
UINT g_msgSoftKey, g_msgMask, g_msgColour, g_msgCorners;
// Soft key 1's caption, given by the test: global atoms outlive the processes
// that leak them, so a leak shows only on a text no earlier run used.
std::string g_caption = "Save";

void AppendKey(HWND window, char kind, WPARAM vk, LPARAM bits)
{
    char text[512] = {};
    GetDlgItemTextA(window, IDC_LABEL4, text, sizeof text - 32);
    char entry[32];
    wsprintfA(entry, "%s%c%02X:%08lX", text[0] ? " " : "", kind, static_cast<unsigned>(vk),
              static_cast<unsigned long>(bits));
    lstrcatA(text, entry);
    SetDlgItemTextA(window, IDC_LABEL4, text);
}

LRESULT CALLBACK StandInProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const std::string captions[] = {"", g_caption, "", "", "", "Cancel"};
    if (msg == g_msgSoftKey)
        return wParam >= 1 && wParam <= 5 && !captions[wParam].empty() ? GlobalAddAtomA(captions[wParam].c_str()) : 0;
    if (msg == g_msgMask) return 0x11;
    if (msg == g_msgColour) return wParam == 2 ? RGB(255, 0, 0) : RGB(255, 255, 255);
    if (msg == g_msgCorners) return GlobalAddAtomA(("Position|" + g_caption).c_str());
    switch (msg) {
    case WM_CREATE:
        for (int id : {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_LABEL4})
            CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 10, 40 * (id - IDC_LABEL1), 600, 30, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD, 10, 300, 300, 20, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)), nullptr, nullptr);
        // A slow start: the driver must wait for the window, not find it half made.
        Sleep(300);
        SetDlgItemTextA(window, IDC_LABEL1, "Ready");
        return 0;
    case WM_KEYDOWN:
        AppendKey(window, 'D', wParam, lParam);
        return 0;
    case WM_KEYUP:
        AppendKey(window, 'U', wParam, lParam);
        if (wParam == VK_F1) SetTimer(window, SAVE_TIMER, 200, nullptr);
        if (wParam == VK_F5) DestroyWindow(window);
        return 0;
    case WM_TIMER:
        KillTimer(window, SAVE_TIMER);
        SetDlgItemTextA(window, IDC_LABEL1, "Configuration Saved");
        return 0;
    case WM_DESTROY:
        PostQuitMessage(STAND_IN_EXIT_CODE);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

int StandInWindow(int argc, char** argv)
{
    if (!ChildArgument(argc, argv, "caption").empty()) g_caption = ChildArgument(argc, argv, "caption");
    InitCommonControls();
    g_msgSoftKey = RegisterWindowMessageA(INSPECT_SOFTKEY_MSG);
    g_msgMask = RegisterWindowMessageA(INSPECT_KEYMASK_MSG);
    g_msgColour = RegisterWindowMessageA(INSPECT_LABEL_COLOUR_MSG);
    g_msgCorners = RegisterWindowMessageA(INSPECT_CORNERS_MSG);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TendwickStandIn";
    if (!RegisterClassA(&wc)) return 2;
    if (!CreateWindowA(wc.lpszClassName, "Tendwick", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                       wc.hInstance, nullptr))
        return 3;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return static_cast<int>(msg.wParam);
}

int EndAtOnce(int, char**)
{
    return 3;
}

std::string ThisProgram()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path - 1);
    return path;
}

TEST(TendwickDriver, StartWaitsForThePaintedWindowAndReadsWhatItShows)
{
    const std::string caption = UniqueName("Save");
    TendwickDriver d(ThisProgram());
    ASSERT_TRUE(d.Start(30000, "--child=window --caption=" + caption));
    EXPECT_TRUE(d.IsPainted());
    EXPECT_EQ("Ready", d.Label(1));
    EXPECT_EQ("white", d.LabelColourName(1));
    EXPECT_EQ("red", d.LabelColourName(2));
    EXPECT_EQ(caption, d.SoftKey(1));
    EXPECT_EQ("", d.SoftKey(2));
    EXPECT_EQ("Cancel", d.SoftKey(5));
    EXPECT_EQ("Position|" + caption, d.Corners());
    EXPECT_EQ(0x11u, d.KeyMask());
    EXPECT_FALSE(d.IsControlVisible(IDC_PROGRESS));
    EXPECT_TRUE(d.IsControlVisible(IDC_LABEL1));
    // Every atom the window made for an answer was given back.
    EXPECT_EQ(0, GlobalFindAtomA(caption.c_str()));
    EXPECT_EQ(0, GlobalFindAtomA(("Position|" + caption).c_str()));
}

TEST(TendwickDriver, KeysArriveAsTheKeyboardDeliversThem)
{
    TendwickDriver d(ThisProgram());
    ASSERT_TRUE(d.Start(30000, "--child=window"));
    ASSERT_TRUE(d.Press(VK_F1));
    EXPECT_TRUE(d.WaitLabel(4, "D70:00000001 U70:C0000001", 5000));
    EXPECT_TRUE(d.WaitLabel(1, "Configuration Saved", 5000));
    EXPECT_TRUE(d.WaitSoftKey(5, "Cancel", 5000));
    ASSERT_TRUE(d.Down(VK_UP));
    EXPECT_TRUE(d.WaitLabelContains(4, "D26:00000001", 5000));
}

TEST(TendwickDriver, AFailedWaitNamesWhatTheScreenShowed)
{
    TendwickDriver d(ThisProgram());
    ASSERT_TRUE(d.Start(30000, "--child=window"));
    testing::AssertionResult waited = d.WaitLabel(1, "Configuration Restored", 100);
    ASSERT_FALSE(waited);
    std::string message = waited.message();
    EXPECT_NE(std::string::npos, message.find("label 1 reads \"Ready\"")) << message;
    EXPECT_NE(std::string::npos, message.find("soft key 5: Cancel")) << message;
    EXPECT_NE(std::string::npos, message.find("label 2 [red]")) << message;
}

TEST(TendwickDriver, TheExitCodeAndTheEndOfAProgramLeftRunning)
{
    DWORD pid = 0;
    {
        TendwickDriver d(ThisProgram());
        ASSERT_TRUE(d.Start(30000, "--child=window"));
        d.Press(VK_F5);
        ASSERT_TRUE(d.WaitExit(10000));
        EXPECT_EQ(static_cast<DWORD>(STAND_IN_EXIT_CODE), d.ExitCode());

        TendwickDriver left(ThisProgram());
        ASSERT_TRUE(left.Start(30000, "--child=window"));
        pid = left.Pid();
    }
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    EXPECT_TRUE(!process || WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0)
        << "the driver left its program running";
}

TEST(TendwickDriver, StartReportsAProgramThatEndsBeforeItsWindow)
{
    TendwickDriver d(ThisProgram());
    testing::AssertionResult started = d.Start(30000, "--child=end");
    ASSERT_FALSE(started);
    EXPECT_NE(std::string::npos, std::string(started.message()).find("exit code 3")) << started.message();
}

TEST(TendwickDriver, KeyNames)
{
    const struct { const char* name; UINT code; } rows[] = {
        {"F1", 0x70}, {"f6", 0x75}, {"F7", 0}, {"UP", VK_UP}, {"down", VK_DOWN}, {"Left", VK_LEFT},
        {"RIGHT", VK_RIGHT}, {"esc", VK_ESCAPE}, {"7", '7'}, {"x", 'X'}, {"0x5b", 0x5B}, {"0x100", 0},
        {"0x", 0}, {"", 0}, {"Enter", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.code, KeyCodeFromName(row.name));
    }
}

TEST(TendwickDriver, LastRunStartsAtTheLastBanner)
{
    const std::string first = "\n\n2026/01/02 10:00:00 : ======Start New Log 'E:\\a.exe'======\nold line\n";
    const std::string second = "2026/01/02 11:00:00 : ======Start New Log 'E:\\a.exe'======\nnew line\n";
    EXPECT_EQ(second, TendwickDriver::LastRun(first + "\n\n" + second));
    EXPECT_EQ("no banner\n", TendwickDriver::LastRun("no banner\n"));
}

}  // namespace

int main(int argc, char** argv)
{
    return RunTestsOrChildMode(argc, argv, {{"window", StandInWindow}, {"end", EndAtOnce}});
}
