// Entry point of Retenta.dll: every process starts with the registry's base
// path, and a thread's keys are released when it ends.
#include <windows.h>

#include "Retenta.h"
#include "ThreadStore.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        StoreProcessAttach();
        SetPersistBasePath(nullptr);
        break;
    case DLL_THREAD_DETACH:
        DiscardThreadState();
        break;
    case DLL_PROCESS_DETACH:
        StoreProcessDetach();
        break;
    default:
        break;
    }
    return TRUE;
}
