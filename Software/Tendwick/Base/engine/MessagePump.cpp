#include "MessagePump.h"

#include <windows.h>

namespace {

// Dispatches one pending message of the thread; false when none was waiting,
// or when it was the quit request: that goes back on the queue for the
// program's own loop, which ends the program after the step in progress.
bool DispatchOnePending(bool translate)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (translate) TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

} // namespace

void PumpMessagesFor(int milliseconds)
{
    for (int round = 0; round < milliseconds / 10; ++round) {
        // Once the program is to quit nothing more is dispatched: the quit
        // would only be met again.
        if (QuitPending()) return;
        DispatchOnePending(false);
        Sleep(1);
    }
}

bool QuitPending()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

void DrainMessages()
{
    while (!QuitPending() && DispatchOnePending(true)) {
    }
    Sleep(0);
}
