// The flows pause between files so that the window can paint (a quarter of
// a second, about 27 ms of sleeping each); the campaign has no window, and
// runs every flow thousands of times. This file takes the place of the
// engine's message pump at link time: pending messages are still handled,
// without the sleeps.
#include "MessagePump.h"

#include <windows.h>

bool QuitPending()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

void DrainMessages()
{
    MSG msg;
    while (!QuitPending() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

void PumpMessagesFor(int)
{
    DrainMessages();
}
