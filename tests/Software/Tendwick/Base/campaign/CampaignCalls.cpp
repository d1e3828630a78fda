#include "CampaignCalls.h"

#include <algorithm>
#include <cctype>

CFaultTables* CFaultTables::s_pActive = nullptr;

const char* FaultName(Fault fault)
{
    switch (fault) {
    case Fault::None: return "none";
    case Fault::Pulled: return "stick pulled";
    case Fault::StickFull: return "stick full";
    case Fault::WriteProtect: return "write-protected";
    case Fault::ReadError: return "read error";
    case Fault::KeyBusy: return "key busy";
    case Fault::UnitFull: return "unit disk full";
    case Fault::PowerCut: return "power cut";
    }
    return "?";
}

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool EndsWith(const std::string& text, const char* tail)
{
    const size_t n = std::char_traits<char>::length(tail);
    return text.size() >= n && Lower(text.substr(text.size() - n)) == tail;
}

bool IsKeyFile(const std::string& path)
{
    return EndsWith(path, ".pri") || EndsWith(path, ".sec");
}

bool Is(const CallInfo& call, const char* name)
{
    return call.name == name;
}

// The calls a full disk refuses: those that need room.
bool NeedsRoom(const CallInfo& call)
{
    return Is(call, "WriteFile") || Is(call, "CopyFileA") || Is(call, "CreateDirectoryA") || Is(call, "RegSaveKeyA");
}

bool Ends(const CallInfo& call)
{
    return Is(call, "CloseHandle") || Is(call, "FindClose");
}

// The key file a call touches, for a hold: its path, or the unit's end of a copy.
std::string KeyPathOf(const CallInfo& call)
{
    size_t arrow = call.path.find(" -> ");
    if (arrow == std::string::npos) return call.path;
    std::string from = call.path.substr(0, arrow), to = call.path.substr(arrow + 4);
    return IsKeyFile(to) && !call.writesMedia ? to : from;
}

bool Writing(DWORD access, DWORD disposition)
{
    return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0 || disposition != OPEN_EXISTING;
}

// ---- the engine's table -------------------------------------------------------------
CFaultTables& T() { return CFaultTables::Active(); }

template <class R> R Fail(DWORD error, R result)
{
    SetLastError(error);
    return result;
}

HANDLE WINAPI ECreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                      DWORD flags, HANDLE model)
{
    if (DWORD e = T().Gate(T().Named("CreateFileA", path, false, Writing(access, disposition))))
        return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE h = T().EngineNext().osCreateFileA(path, access, share, sa, disposition, flags, model);
    if (h != INVALID_HANDLE_VALUE) T().Opened(h, path, false);
    return h;
}
BOOL WINAPI ERead(HANDLE h, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED o)
{
    CallInfo call = T().OnHandle("ReadFile", h, false, false);
    call.reads = true;
    if (DWORD e = T().Gate(call)) return Fail(e, FALSE);
    return T().EngineNext().osReadFile(h, data, size, got, o);
}
BOOL WINAPI EWrite(HANDLE h, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o)
{
    if (DWORD e = T().Gate(T().OnHandle("WriteFile", h, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osWriteFile(h, data, size, written, o);
}
BOOL WINAPI EFlush(HANDLE h)
{
    if (DWORD e = T().Gate(T().OnHandle("FlushFileBuffers", h, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osFlushFileBuffers(h);
}
BOOL WINAPI EInfo(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info)
{
    if (DWORD e = T().Gate(T().OnHandle("GetFileInformationByHandle", h, false, false))) return Fail(e, FALSE);
    return T().EngineNext().osGetFileInformationByHandle(h, info);
}
BOOL WINAPI EClose(HANDLE h)
{
    T().Gate(T().OnHandle("CloseHandle", h, false, false));
    T().Closed(h);
    return T().EngineNext().osCloseHandle(h);
}
BOOL WINAPI ECopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    if (DWORD e = T().Gate(T().Named("CopyFileA", std::string(from) + " -> " + to, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osCopyFileA(from, to, failIfExists);
}
BOOL WINAPI EMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (DWORD e = T().Gate(T().Named("MoveFileExA", std::string(from) + " -> " + to, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osMoveFileExA(from, to, flags);
}
BOOL WINAPI EDelete(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("DeleteFileA", path, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osDeleteFileA(path);
}
BOOL WINAPI EMakeDir(LPCSTR path, LPSECURITY_ATTRIBUTES sa)
{
    if (DWORD e = T().Gate(T().Named("CreateDirectoryA", path, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osCreateDirectoryA(path, sa);
}
BOOL WINAPI ERemoveDir(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("RemoveDirectoryA", path, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osRemoveDirectoryA(path);
}
DWORD WINAPI EGetAttributes(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("GetFileAttributesA", path, false, false))) return Fail(e, INVALID_FILE_ATTRIBUTES);
    return T().EngineNext().osGetFileAttributesA(path);
}
BOOL WINAPI ESetAttributes(LPCSTR path, DWORD attributes)
{
    if (DWORD e = T().Gate(T().Named("SetFileAttributesA", path, false, true))) return Fail(e, FALSE);
    return T().EngineNext().osSetFileAttributesA(path, attributes);
}
HANDLE WINAPI EFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    if (DWORD e = T().Gate(T().Named("FindFirstFileA", pattern, false, false))) return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE h = T().EngineNext().osFindFirstFileA(pattern, found);
    if (h != INVALID_HANDLE_VALUE) T().Opened(h, pattern, false);
    return h;
}
BOOL WINAPI EFindNext(HANDLE h, LPWIN32_FIND_DATAA found)
{
    if (DWORD e = T().Gate(T().OnHandle("FindNextFileA", h, false, false))) return Fail(e, FALSE);
    return T().EngineNext().osFindNextFileA(h, found);
}
BOOL WINAPI EFindClose(HANDLE h)
{
    T().Gate(T().OnHandle("FindClose", h, false, false));
    T().Closed(h);
    return T().EngineNext().osFindClose(h);
}
BOOL WINAPI EFreeSpace(LPCSTR root, LPDWORD a, LPDWORD b, LPDWORD c, LPDWORD d)
{
    if (DWORD e = T().Gate(T().Named("GetDiskFreeSpaceA", root ? root : "", false, false))) return Fail(e, FALSE);
    return T().EngineNext().osGetDiskFreeSpaceA(root, a, b, c, d);
}
LONG WINAPI ERegOpen(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    T().Gate(T().Named("RegOpenKeyExA", path ? path : "", false, false));
    return T().EngineNext().osRegOpenKeyExA(root, path, options, access, key);
}
LONG WINAPI ERegCreate(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES sa, PHKEY key, LPDWORD disposition)
{
    T().Gate(T().Named("RegCreateKeyExA", path ? path : "", false, true));
    return T().EngineNext().osRegCreateKeyExA(root, path, reserved, cls, options, access, sa, key, disposition);
}
LONG WINAPI ERegQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    T().Gate(T().Named("RegQueryValueExA", name ? name : "", false, false));
    return T().EngineNext().osRegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI ERegSet(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    T().Gate(T().Named("RegSetValueExA", name ? name : "", false, true));
    return T().EngineNext().osRegSetValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI ERegSave(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES sa)
{
    if (DWORD e = T().Gate(T().Named("RegSaveKeyA", file, false, true))) return static_cast<LONG>(e);
    return T().EngineNext().osRegSaveKeyA(key, file, sa);
}

EngineFileCalls EngineTable(const EngineFileCalls& next)
{
    EngineFileCalls t = next;
    t.osCreateFileA = ECreate;
    t.osReadFile = ERead;
    t.osWriteFile = EWrite;
    t.osFlushFileBuffers = EFlush;
    t.osGetFileInformationByHandle = EInfo;
    t.osCloseHandle = EClose;
    t.osCopyFileA = ECopy;
    t.osMoveFileExA = EMove;
    t.osDeleteFileA = EDelete;
    t.osCreateDirectoryA = EMakeDir;
    t.osRemoveDirectoryA = ERemoveDir;
    t.osGetFileAttributesA = EGetAttributes;
    t.osSetFileAttributesA = ESetAttributes;
    t.osFindFirstFileA = EFindFirst;
    t.osFindNextFileA = EFindNext;
    t.osFindClose = EFindClose;
    t.osGetDiskFreeSpaceA = EFreeSpace;
    t.osRegOpenKeyExA = ERegOpen;
    t.osRegCreateKeyExA = ERegCreate;
    t.osRegQueryValueExA = ERegQuery;
    t.osRegSetValueExA = ERegSet;
    t.osRegSaveKeyA = ERegSave;
    return t;
}

// ---- the store's table --------------------------------------------------------------
HANDLE WINAPI SCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                      DWORD flags, HANDLE model)
{
    if (DWORD e = T().Gate(T().Named("CreateFileA", path, true, Writing(access, disposition))))
        return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE h = T().StoreNext().osCreateFileA(path, access, share, sa, disposition, flags, model);
    if (h != INVALID_HANDLE_VALUE) T().Opened(h, path, true);
    return h;
}
BOOL WINAPI SRead(HANDLE h, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED o)
{
    CallInfo call = T().OnHandle("ReadFile", h, true, false);
    call.reads = true;
    if (DWORD e = T().Gate(call)) return Fail(e, FALSE);
    return T().StoreNext().osReadFile(h, data, size, got, o);
}
BOOL WINAPI SWrite(HANDLE h, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o)
{
    if (DWORD e = T().Gate(T().OnHandle("WriteFile", h, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osWriteFile(h, data, size, written, o);
}
BOOL WINAPI SFlush(HANDLE h)
{
    if (DWORD e = T().Gate(T().OnHandle("FlushFileBuffers", h, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osFlushFileBuffers(h);
}
BOOL WINAPI SSetEnd(HANDLE h)
{
    if (DWORD e = T().Gate(T().OnHandle("SetEndOfFile", h, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osSetEndOfFile(h);
}
BOOL WINAPI SSeek(HANDLE h, LARGE_INTEGER distance, PLARGE_INTEGER at, DWORD method)
{
    if (DWORD e = T().Gate(T().OnHandle("SetFilePointerEx", h, true, false))) return Fail(e, FALSE);
    return T().StoreNext().osSetFilePointerEx(h, distance, at, method);
}
BOOL WINAPI SSize(HANDLE h, PLARGE_INTEGER size)
{
    if (DWORD e = T().Gate(T().OnHandle("GetFileSizeEx", h, true, false))) return Fail(e, FALSE);
    return T().StoreNext().osGetFileSizeEx(h, size);
}
BOOL WINAPI SClose(HANDLE h)
{
    T().Gate(T().OnHandle("CloseHandle", h, true, false));
    T().Closed(h);
    return T().StoreNext().osCloseHandle(h);
}
BOOL WINAPI SCopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    if (DWORD e = T().Gate(T().Named("CopyFileA", std::string(from) + " -> " + to, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osCopyFileA(from, to, failIfExists);
}
BOOL WINAPI SMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (DWORD e = T().Gate(T().Named("MoveFileExA", std::string(from) + " -> " + to, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osMoveFileExA(from, to, flags);
}
BOOL WINAPI SDelete(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("DeleteFileA", path, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osDeleteFileA(path);
}
BOOL WINAPI SMakeDir(LPCSTR path, LPSECURITY_ATTRIBUTES sa)
{
    if (DWORD e = T().Gate(T().Named("CreateDirectoryA", path, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osCreateDirectoryA(path, sa);
}
BOOL WINAPI SRemoveDir(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("RemoveDirectoryA", path, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osRemoveDirectoryA(path);
}
DWORD WINAPI SGetAttributes(LPCSTR path)
{
    if (DWORD e = T().Gate(T().Named("GetFileAttributesA", path, true, false))) return Fail(e, INVALID_FILE_ATTRIBUTES);
    return T().StoreNext().osGetFileAttributesA(path);
}
BOOL WINAPI SSetAttributes(LPCSTR path, DWORD attributes)
{
    if (DWORD e = T().Gate(T().Named("SetFileAttributesA", path, true, true))) return Fail(e, FALSE);
    return T().StoreNext().osSetFileAttributesA(path, attributes);
}
HANDLE WINAPI SFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    if (DWORD e = T().Gate(T().Named("FindFirstFileA", pattern, true, false))) return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE h = T().StoreNext().osFindFirstFileA(pattern, found);
    if (h != INVALID_HANDLE_VALUE) T().Opened(h, pattern, true);
    return h;
}
BOOL WINAPI SFindClose(HANDLE h)
{
    T().Gate(T().OnHandle("FindClose", h, true, false));
    T().Closed(h);
    return T().StoreNext().osFindClose(h);
}

StoreFileCalls StoreTable(const StoreFileCalls& next)
{
    StoreFileCalls t = next;
    t.osCreateFileA = SCreate;
    t.osReadFile = SRead;
    t.osWriteFile = SWrite;
    t.osFlushFileBuffers = SFlush;
    t.osSetEndOfFile = SSetEnd;
    t.osSetFilePointerEx = SSeek;
    t.osGetFileSizeEx = SSize;
    t.osCloseHandle = SClose;
    t.osCopyFileA = SCopy;
    t.osMoveFileExA = SMove;
    t.osDeleteFileA = SDelete;
    t.osCreateDirectoryA = SMakeDir;
    t.osRemoveDirectoryA = SRemoveDir;
    t.osGetFileAttributesA = SGetAttributes;
    t.osSetFileAttributesA = SSetAttributes;
    t.osFindFirstFileA = SFindFirst;
    t.osFindClose = SFindClose;
    return t;
}

} // namespace

bool Concerns(Fault fault, const CallInfo& call)
{
    switch (fault) {
    case Fault::Pulled: return call.media && !Ends(call);
    case Fault::StickFull: return call.writesMedia && NeedsRoom(call);
    case Fault::WriteProtect: return call.writesMedia;
    case Fault::ReadError: return call.reads;
    // Held just before a call that opens the file by its name.
    case Fault::KeyBusy: return call.keyFile && (Is(call, "CreateFileA") || Is(call, "CopyFileA") ||
                                                 Is(call, "MoveFileExA") || Is(call, "DeleteFileA"));
    case Fault::UnitFull: return call.writesUnit && NeedsRoom(call);
    case Fault::None:
    case Fault::PowerCut: return false;
    }
    return false;
}

CFaultTables::CFaultTables(const std::string& mediaRoot, Fault fault, size_t at, DWORD busyMs)
    : m_mediaRoot(Lower(mediaRoot)), m_fault(fault), m_at(at), m_busyMs(busyMs),
      m_engine(EngineTable(EngineCalls())), m_store(StoreTable(FileCalls())), m_engineScope(m_engine),
      m_storeScope(m_store)
{
    s_pActive = this;
}

CFaultTables::~CFaultTables()
{
    Release();
    s_pActive = nullptr;
}

void CFaultTables::Release()
{
    if (m_releaser.joinable()) m_releaser.join();
}

bool CFaultTables::OnMedia(const std::string& path) const
{
    return Lower(path).compare(0, m_mediaRoot.size(), m_mediaRoot) == 0;
}

CallInfo CFaultTables::Named(const char* name, const std::string& path, bool store, bool writes) const
{
    CallInfo call;
    call.name = name;
    call.path = path;
    call.store = store;
    call.writes = writes;
    size_t arrow = path.find(" -> ");
    if (arrow == std::string::npos) {
        call.media = OnMedia(path);
        call.writesMedia = writes && call.media;
        call.writesUnit = writes && !call.media;
        call.keyFile = !call.media && IsKeyFile(path);
    } else {
        const std::string from = path.substr(0, arrow), to = path.substr(arrow + 4);
        call.media = OnMedia(from) || OnMedia(to);
        call.writesMedia = OnMedia(to);
        call.writesUnit = !OnMedia(to);
        call.keyFile = (!OnMedia(from) && IsKeyFile(from)) || (!OnMedia(to) && IsKeyFile(to));
    }
    return call;
}

CallInfo CFaultTables::OnHandle(const char* name, HANDLE handle, bool store, bool writes) const
{
    auto found = m_handles.find(handle);
    return Named(name, found == m_handles.end() ? std::string("?") : found->second, store, writes);
}

DWORD CFaultTables::Gate(CallInfo call)
{
    const size_t number = m_calls.size();
    m_calls.push_back(call);
    if (m_fault == Fault::None || number < m_at || !Concerns(m_fault, call)) return 0;
    switch (m_fault) {
    case Fault::Pulled:
        m_bStruck = true;
        if (m_bPulledOnce) return ERROR_NOT_READY;
        m_bPulledOnce = true;
        return ERROR_DEVICE_NOT_CONNECTED;
    case Fault::StickFull:
    case Fault::UnitFull: m_bStruck = true; return ERROR_DISK_FULL;
    case Fault::WriteProtect: m_bStruck = true; return ERROR_WRITE_PROTECT;
    case Fault::ReadError:
        if (number != m_at) return 0;
        m_bStruck = true;
        return ERROR_CRC;
    case Fault::KeyBusy: {
        if (number != m_at) return 0;
        // Another program opens the key file without sharing, just before
        // this call, and keeps it for longer than the store waits.
        HANDLE held = CreateFileA(KeyPathOf(call).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 0;
        m_bStruck = true;
        const DWORD ms = m_busyMs;
        m_releaser = std::thread([held, ms] {
            Sleep(ms);
            CloseHandle(held);
        });
        return 0;
    }
    default: return 0;
    }
}
