#include "EndsWithin.h"

bool EndsWithin(DWORD ms, const std::function<void()>& body)
{
    struct Call {
        static DWORD WINAPI Run(LPVOID p)
        {
            (*static_cast<const std::function<void()>*>(p))();
            return 0;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, Call::Run, const_cast<std::function<void()>*>(&body), 0, nullptr);
    if (!thread) return false;
    bool ended = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    if (!ended) TerminateThread(thread, 1);
    CloseHandle(thread);
    return ended;
}
