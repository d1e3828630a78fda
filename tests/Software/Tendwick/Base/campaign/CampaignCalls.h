// The campaign's seam on both tables of file calls, the engine's and the
// store's: every call of a run is named (call, path, media or unit) and
// numbered in one sequence, and one fault is put on the calls it concerns.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EngineFileCalls.h"
#include "StoreFileCalls.h"

enum class Fault { None, Pulled, StickFull, WriteProtect, ReadError, KeyBusy, UnitFull, PowerCut };
const char* FaultName(Fault fault);

struct CallInfo {
    std::string name;     // "CreateFileA"
    std::string path;     // the file, "from -> to", or the registry value
    bool store = false;   // a call of the store
    bool media = false;   // on the media (for a copy: either end)
    bool writes = false;  // changes a file, a folder or a value
    bool reads = false;   // ReadFile
    bool keyFile = false; // on a key file (.pri or .sec) of the unit
    bool writesMedia = false, writesUnit = false;   // where a change lands
};

// Whether the fault can strike this call: the first call of a run that it
// concerns is the only place where injecting it from N on makes a run of
// its own.
bool Concerns(Fault fault, const CallInfo& call);

// While alive: both tables in use, every call counted into Calls(), and the
// fault put on the calls from number `at` (0-based) on, as the fault says.
// One at a time, one thread.
class CFaultTables {
public:
    CFaultTables(const std::string& mediaRoot, Fault fault, size_t at, DWORD busyMs);
    ~CFaultTables();
    CFaultTables(const CFaultTables&) = delete;
    CFaultTables& operator=(const CFaultTables&) = delete;

    const std::vector<CallInfo>& Calls() const { return m_calls; }
    // Whether the fault failed a call or held a key file.
    bool Struck() const { return m_bStruck; }
    // Ends a key-file hold still running.
    void Release();

    // ---- used by the table's entries
    static CFaultTables& Active() { return *s_pActive; }
    // Counts the call; the error to fail it with, or 0 to let it through.
    DWORD Gate(CallInfo call);
    CallInfo Named(const char* name, const std::string& path, bool store, bool writes) const;
    CallInfo OnHandle(const char* name, HANDLE handle, bool store, bool writes) const;
    void Opened(HANDLE handle, const std::string& path, bool store) { m_handles[handle] = path; }
    void Closed(HANDLE handle) { m_handles.erase(handle); }
    const EngineFileCalls& EngineNext() const { return m_engineScope.Previous(); }
    const StoreFileCalls& StoreNext() const { return m_storeScope.Previous(); }

private:
    bool OnMedia(const std::string& path) const;
    static CFaultTables* s_pActive;

    std::string m_mediaRoot;
    Fault m_fault;
    size_t m_at;
    DWORD m_busyMs;
    bool m_bStruck = false;
    bool m_bPulledOnce = false;
    std::vector<CallInfo> m_calls;
    std::map<HANDLE, std::string> m_handles;
    HANDLE m_hHeld = INVALID_HANDLE_VALUE;
    std::thread m_releaser;
    EngineFileCalls m_engine;
    StoreFileCalls m_store;
    CScopedEngineFileCalls m_engineScope;
    CScopedFileCalls m_storeScope;
};
