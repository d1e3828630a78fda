#include "CampaignCut.h"

namespace {

powercut::Image FilesOnly(const powercut::Image& unit, const powercut::Image& media)
{
    powercut::Image files;
    for (const powercut::Image* image : {&unit, &media})
        for (const auto& entry : *image)
            if (!entry.first.empty() && entry.first.back() != '\\') files.insert(entry);
    return files;
}

CJournalCalls& J() { return CCutRecorder::Active().Calls(); }
const EngineFileCalls& Next() { return CCutRecorder::Active().Next(); }

HANDLE WINAPI OnCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                       DWORD flags, HANDLE model)
{
    HANDLE file = Next().osCreateFileA(path, access, share, sa, disposition, flags, model);
    if (file == INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();
    J().Opened(file, path, access, disposition);
    SetLastError(error);
    return file;
}

BOOL WINAPI OnWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    LONGLONG at = CJournalCalls::Position(file);
    BOOL ok = Next().osWriteFile(file, data, size, written, overlapped);
    if (ok && written) J().Wrote(file, at, data, *written);
    return ok;
}

BOOL WINAPI OnFlush(HANDLE file)
{
    BOOL ok = Next().osFlushFileBuffers(file);
    if (ok) J().Flushed(file);
    return ok;
}

BOOL WINAPI OnClose(HANDLE file)
{
    J().Closed(file);
    return Next().osCloseHandle(file);
}

BOOL WINAPI OnCopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    BOOL ok = Next().osCopyFileA(from, to, failIfExists);
    if (ok) J().Copied(to);
    return ok;
}

BOOL WINAPI OnMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    BOOL ok = Next().osMoveFileExA(from, to, flags);
    if (ok) J().Moved(from, to, flags);
    return ok;
}

BOOL WINAPI OnDelete(LPCSTR path)
{
    BOOL ok = Next().osDeleteFileA(path);
    if (ok) J().Deleted(path);
    return ok;
}

// The hive save writes a file the model cannot see into: taken as a copy of
// what it wrote.
LONG WINAPI OnSaveKey(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES sa)
{
    LONG error = Next().osRegSaveKeyA(key, file, sa);
    if (error == ERROR_SUCCESS) J().Copied(file);
    return error;
}

EngineFileCalls Recording(const EngineFileCalls& next)
{
    EngineFileCalls t = next;
    t.osCreateFileA = OnCreate;
    t.osWriteFile = OnWrite;
    t.osFlushFileBuffers = OnFlush;
    t.osCloseHandle = OnClose;
    t.osCopyFileA = OnCopy;
    t.osMoveFileExA = OnMove;
    t.osDeleteFileA = OnDelete;
    t.osRegSaveKeyA = OnSaveKey;
    return t;
}

} // namespace

CCutJournal::CCutJournal(const powercut::Image& unit, const powercut::Image& media)
    : m_journal(FilesOnly(unit, media))
{
}

std::string CCutJournal::Describe(size_t cut) const
{
    return cut < Ops() ? "before the " + powercut::Describe(m_journal.Ops()[cut]) : "after the last change";
}

bool CCutJournal::PutAfterCut(size_t cut, uint32_t seed, std::string* why) const
{
    powercut::CRandomFates fates(seed);
    return PutImage(m_journal.AfterCut(cut, std::ref(fates)), m_journal.Names(), why);
}

CCutRecorder* CCutRecorder::s_pActive = nullptr;

CCutRecorder::CCutRecorder(CCutJournal& journal)
    : m_calls(journal.Journal()), m_store(journal.Journal()), m_table(Recording(EngineCalls())), m_scope(m_table)
{
    s_pActive = this;
}

CCutRecorder::~CCutRecorder()
{
    s_pActive = nullptr;
}
