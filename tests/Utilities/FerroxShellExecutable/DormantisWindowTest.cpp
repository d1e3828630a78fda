// Dormantis.exe itself: its resources, and under a display (DISPLAY set, or
// the window tests are skipped) its window: the persisted screen rectangle
// with no frame, the picture (black, yellow in the middle), back on top when
// another window is raised, nothing changed by keys or clicks, "Dormantis"
// signalled once it is up, exit code 0 when the system closes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "RegistryKey.h"
#include "Retenta.h"
#include "TestFiles.h"

namespace {

std::string Beside(const char* name)
{
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    return std::string(exe).substr(0, std::string(exe).rfind('\\') + 1) + name;
}

// One run of Dormantis.exe on a store of its own: HKCU\Software\Corvane
// "PersistPath" names it for the run and is removed again after it.
class DormantisRun {
public:
    explicit DormantisRun(const char* screenSize) : m_store(MakeTempFolder("dormantis"))
    {
        if (screenSize) {
            std::thread([&] {
                SetPersistBasePath(m_store.c_str());
                PersistOneString("ShellPersist", "ShellConfig", 1000, "ScreenSize", screenSize);
            }).join();
        }
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        m_corvane.put(), nullptr);
        RegSetValueExA(m_corvane.get(), "PersistPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_store.c_str()),
                       static_cast<DWORD>(m_store.size() + 1));
        m_up = CreateEventA(nullptr, FALSE, FALSE, "Dormantis");
        std::string program = Beside("Dormantis.exe"), line = "\"" + program + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, m_store.c_str(),
                                   &startup, &m_process));
    }
    ~DormantisRun()
    {
        if (m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 5000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
        CloseHandle(m_up);
        RegDeleteValueA(m_corvane.get(), "PersistPath");
        RemoveTree(m_store);
    }

    // After "Dormantis" is signalled: the program's visible window "Map".
    HWND WaitUp()
    {
        if (!m_process.hProcess || WaitForSingleObject(m_up, 15000) != WAIT_OBJECT_0) return nullptr;
        for (DWORD begin = GetTickCount(); GetTickCount() - begin < 5000; Sleep(20)) {
            HWND wnd = FindWindowA(nullptr, "Map");
            DWORD pid = 0;
            GetWindowThreadProcessId(wnd, &pid);
            if (wnd && pid == m_process.dwProcessId && IsWindowVisible(wnd)) return wnd;
        }
        return nullptr;
    }
    HANDLE Process() const { return m_process.hProcess; }

private:
    std::string m_store;
    UniqueRegKey m_corvane;
    HANDLE m_up = nullptr;
    PROCESS_INFORMATION m_process = {};
};

// Pixels of the screen in r: black, yellow, anything else, and whether the
// middle row holds yellow.
struct Colours {
    size_t black = 0, yellow = 0, other = 0;
    bool middleYellow = false;
};
Colours CountScreen(const RECT& r)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    Colours c;
    for (int i = 0; i < w * h; ++i) {
        DWORD p = static_cast<const DWORD*>(bits)[i] & 0xFFFFFF;
        p == 0 ? ++c.black : p == 0xFFFF00 ? ++c.yellow : ++c.other;
        c.middleYellow = c.middleYellow || (p == 0xFFFF00 && i / w == h / 2);
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return c;
}

std::string ClientOnScreen(HWND wnd)
{
    RECT r = {};
    GetClientRect(wnd, &r);
    MapWindowPoints(wnd, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

bool Above(HWND upper, HWND lower)
{
    for (HWND w = GetWindow(lower, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
        if (w == upper) return true;
    return false;
}

void Pump(DWORD ms)
{
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < ms; Sleep(10)) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

class DormantisWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        char display[64] = "";
        if (!GetEnvironmentVariableA("DISPLAY", display, sizeof display))
            GTEST_SKIP() << "DISPLAY is not set: the window tests need an X server";
        // The prefix's desktop keeps the display it started with.
        HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, probe) << "no window on DISPLAY " << display << ": Wine prefix started before the X server?";
        DestroyWindow(probe);
    }
};

}  // namespace

TEST(DormantisResources, TitleMenuPicturesAndMessageTable)
{
    HMODULE module = LoadLibraryExA(Beside("Dormantis.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    char text[64] = "";
    EXPECT_EQ(3, LoadStringA(module, 128, text, sizeof text));
    EXPECT_STREQ("Map", text);
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(128));
    EXPECT_EQ(1, GetMenuItemCount(menu));
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("Dummy", text);
    DestroyMenu(menu);
    for (int id : {154, 155}) {
        auto* bitmap = static_cast<const BITMAPINFOHEADER*>(
            LockResource(LoadResource(module, FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP))));
        ASSERT_NE(nullptr, bitmap) << id;
        EXPECT_EQ("320x234x4", std::to_string(bitmap->biWidth) + "x" + std::to_string(bitmap->biHeight) + "x" +
                                   std::to_string(bitmap->biBitCount));
    }
    const struct { DWORD id; const char* text; } messages[] = {
        {0x40000001, "KTXStarted\r\n"}, {0x40000002, "KTXExited\r\n"}, {0x40000003, "KTXFailure\r\n"},
        {0xC0000004, "%1\r\n"}, {0xC0000001, "%1\r\n"}, {0xC0000002, "%1\r\n"}, {0x80000003, "%1\r\n"},
        {0x40000004, "%1\r\n"}};
    for (const auto& m : messages) {
        text[0] = '\0';
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, m.id, 0, text,
                       sizeof text, nullptr);
        EXPECT_STREQ(m.text, text) << std::hex << m.id;
    }
    FreeLibrary(module);
}

TEST_F(DormantisWindow, ClientAreaCoversTheScreenSizeOrTheDefaultWithNoFrame)
{
    const struct { const char* screenSize; const char* client; } rows[] = {
        {"0|0|640|480", "0,0 640x480"}, {nullptr, "0,0 800x600"}, {"0|0|640", "0,0 800x600"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.screenSize ? row.screenSize : "(none)");
        DormantisRun run(row.screenSize);
        HWND wnd = run.WaitUp();
        ASSERT_NE(nullptr, wnd);
        EXPECT_EQ(row.client, ClientOnScreen(wnd));
        EXPECT_EQ(0, GetWindowLongA(wnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_DLGFRAME | WS_SYSMENU));
        EXPECT_EQ(0, GetWindowLongA(wnd, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME));
    }
}

TEST_F(DormantisWindow, PictureStaysOnTopAndInputChangesNothing)
{
    DormantisRun run("0|0|640|480");
    HWND wnd = run.WaitUp();
    ASSERT_NE(nullptr, wnd);
    Pump(300);
    const RECT screen = {0, 0, 640, 480};
    Colours shown = CountScreen(screen);
    EXPECT_GT(shown.black, 640u * 480u * 8 / 10);
    EXPECT_GT(shown.yellow, 640u * 480u / 50);
    EXPECT_EQ(0u, shown.other);
    EXPECT_TRUE(shown.middleYellow);

    // A red window raised over the middle of the picture, activated or not.
    WNDCLASSA wc = {0, DefWindowProcA, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr,
                    CreateSolidBrush(RGB(255, 0, 0)), nullptr, "DormantisTestCover"};
    RegisterClassA(&wc);
    for (bool activate : {true, false}) {
        SCOPED_TRACE(activate ? "activated" : "not activated");
        HWND cover = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 220, 190, 200, 100, nullptr, nullptr,
                                     wc.hInstance, nullptr);
        SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | (activate ? 0 : SWP_NOACTIVATE));
        if (activate) SetForegroundWindow(cover);
        DWORD begin = GetTickCount();
        while (!Above(wnd, cover) && GetTickCount() - begin < 1000) Pump(20);
        EXPECT_TRUE(Above(wnd, cover)) << "after " << GetTickCount() - begin << " ms";
        Pump(200);
        EXPECT_EQ(0u, CountScreen({220, 190, 420, 290}).other) << "the cover still shows";
        DestroyWindow(cover);
    }
    DeleteObject(wc.hbrBackground);

    RECT before = {}, after = {};
    GetWindowRect(wnd, &before);
    for (UINT key : {UINT(VK_F1), UINT(VK_F3), UINT(VK_F5), UINT(VK_ESCAPE), UINT(VK_RETURN), UINT('Q')}) {
        PostMessageA(wnd, WM_KEYDOWN, key, 1);
        PostMessageA(wnd, WM_KEYUP, key, 0xC0000001);
    }
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
    PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(320, 240));
    PostMessageA(wnd, WM_COMMAND, 1, 0);
    Pump(500);
    ASSERT_TRUE(IsWindowVisible(wnd));
    GetWindowRect(wnd, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(0u, CountScreen(screen).other);

    // The system closing the window ends the program normally.
    PostMessageA(wnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.Process(), 10000));
    DWORD code = 1;
    GetExitCodeProcess(run.Process(), &code);
    EXPECT_EQ(0u, code);
}
