// Entry point of Retenta.dll: a thread's keys are released when it ends.
// Nothing here touches the registry or the files (the loader lock is held):
// the base path is read from the registry at the store's first use.
#include <windows.h>

#include "Retenta.h"
#include "ThreadStore.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        StoreProcessAttach();
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
