#include "PowerCutFiles.h"

#include "TestFiles.h"

#include <algorithm>
#include <cctype>

// ---- the journal side ---------------------------------------------------------------------

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string CJournalCalls::Name(const char* path) const
{
    // The store names a secondary by its drive letter in lower case; Windows
    // does not tell names apart by case, the journal does.
    for (const std::string& known : m_journal.Names())
        if (SameName(known, path)) return known;
    return path;
}

LONGLONG CJournalCalls::Position(HANDLE file)
{
    // A question, not a change: asked of the system itself.
    LARGE_INTEGER none = {}, now = {};
    if (!SetFilePointerEx(file, none, &now, FILE_CURRENT)) return -1;
    return now.QuadPart;
}

void CJournalCalls::Opened(HANDLE file, const char* path, DWORD access, DWORD disposition)
{
    const std::string name = Name(path);
    int number = m_journal.FileAt(name);
    if (access & GENERIC_WRITE) {
        bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if (truncate || number < 0) number = m_journal.Create(name, truncate);
    }
    m_files[file] = number;
}

void CJournalCalls::Wrote(HANDLE file, LONGLONG at, const void* data, DWORD written)
{
    auto found = m_files.find(file);
    if (at >= 0 && written && found != m_files.end() && found->second >= 0)
        m_journal.Write(found->second, static_cast<uint64_t>(at), std::string(static_cast<const char*>(data), written));
}

void CJournalCalls::Flushed(HANDLE file)
{
    auto found = m_files.find(file);
    if (found != m_files.end() && found->second >= 0) m_journal.Flush(found->second);
}

void CJournalCalls::EndSet(HANDLE file, LONGLONG at)
{
    auto found = m_files.find(file);
    if (at >= 0 && found != m_files.end() && found->second >= 0) m_journal.SetSize(found->second, static_cast<uint64_t>(at));
}

void CJournalCalls::Copied(const char* to)
{
    DWORD error = GetLastError();
    m_journal.Copy(Name(to), ReadFileBytes(to));
    SetLastError(error);
}

void CJournalCalls::Moved(const char* from, const char* to, DWORD flags)
{
    const std::string target = Name(to);
    m_journal.Move(Name(from), target);
    if (flags & MOVEFILE_WRITE_THROUGH) m_journal.Flush(m_journal.FileAt(target));
}

void CJournalCalls::Deleted(const char* path)
{
    m_journal.Delete(Name(path));
}

// ---- the store's table ------------------------------------------------------------------

CPowerCutRecorder* CPowerCutRecorder::s_pActive = nullptr;

CPowerCutRecorder::CPowerCutRecorder(powercut::CDiskJournal& journal)
    : m_calls(journal), m_table(FileCalls()), m_scope(m_table)
{
    s_pActive = this;
    m_table.osCreateFileA = OnCreateFile;
    m_table.osWriteFile = OnWriteFile;
    m_table.osFlushFileBuffers = OnFlush;
    m_table.osSetEndOfFile = OnSetEndOfFile;
    m_table.osCloseHandle = OnClose;
    m_table.osCopyFileA = OnCopy;
    m_table.osMoveFileExA = OnMove;
    m_table.osDeleteFileA = OnDelete;
}

CPowerCutRecorder::~CPowerCutRecorder()
{
    s_pActive = nullptr;
}

HANDLE WINAPI CPowerCutRecorder::OnCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                              DWORD disposition, DWORD flags, HANDLE model)
{
    CPowerCutRecorder& self = *s_pActive;
    HANDLE file = self.m_scope.Previous().osCreateFileA(path, access, share, sa, disposition, flags, model);
    if (file == INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();   // ERROR_ALREADY_EXISTS tells the caller something
    self.m_calls.Opened(file, path, access, disposition);
    SetLastError(error);
    return file;
}

BOOL WINAPI CPowerCutRecorder::OnWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                           LPOVERLAPPED overlapped)
{
    CPowerCutRecorder& self = *s_pActive;
    LONGLONG at = CJournalCalls::Position(file);
    BOOL ok = self.m_scope.Previous().osWriteFile(file, data, size, written, overlapped);
    if (ok && written) self.m_calls.Wrote(file, at, data, *written);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnFlush(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osFlushFileBuffers(file);
    if (ok) self.m_calls.Flushed(file);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnSetEndOfFile(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    LONGLONG at = CJournalCalls::Position(file);
    BOOL ok = self.m_scope.Previous().osSetEndOfFile(file);
    if (ok) self.m_calls.EndSet(file, at);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnClose(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    self.m_calls.Closed(file);
    return self.m_scope.Previous().osCloseHandle(file);
}

BOOL WINAPI CPowerCutRecorder::OnCopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osCopyFileA(from, to, failIfExists);
    if (ok) self.m_calls.Copied(to);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osMoveFileExA(from, to, flags);
    if (ok) self.m_calls.Moved(from, to, flags);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnDelete(LPCSTR path)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osDeleteFileA(path);
    if (ok) self.m_calls.Deleted(path);
    return ok;
}

bool PutImage(const powercut::Image& image, const std::set<std::string>& names, std::string* why)
{
    std::set<std::string> all = names;
    for (const auto& file : image) all.insert(file.first);
    for (const std::string& name : all) {
        auto file = image.find(name);
        if (file == image.end()) {
            SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(name.c_str());
            continue;
        }
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        testing::AssertionResult written = WriteFileMakingFolders(name, file->second);
        if (!written) {
            *why = written.message();
            return false;
        }
    }
    return true;
}
