#include "MessagePump.h"

#include <windows.h>

namespace {

// Dispatches one pending message of the thread; false when none was waiting.
bool DispatchOnePending(bool translate)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (translate) TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

} // namespace

void PumpMessagesFor(int milliseconds)
{
    for (int round = 0; round < milliseconds / 10; ++round) {
        DispatchOnePending(false);
        Sleep(1);
    }
}

void DrainMessages()
{
    while (DispatchOnePending(true)) {
    }
    Sleep(0);
}
