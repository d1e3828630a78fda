#include "PowerCutFiles.h"

#include "TestFiles.h"

CPowerCutRecorder* CPowerCutRecorder::s_pActive = nullptr;

CPowerCutRecorder::CPowerCutRecorder(powercut::CDiskJournal& journal)
    : m_journal(journal), m_table(FileCalls()), m_scope(m_table)
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

LONGLONG CPowerCutRecorder::Position(HANDLE file) const
{
    // Asked of the real table: the question is not a call of the store's.
    LARGE_INTEGER none = {}, now = {};
    if (!m_scope.Previous().osSetFilePointerEx(file, none, &now, FILE_CURRENT)) return -1;
    return now.QuadPart;
}

HANDLE WINAPI CPowerCutRecorder::OnCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                              DWORD disposition, DWORD flags, HANDLE model)
{
    CPowerCutRecorder& self = *s_pActive;
    HANDLE file = self.m_scope.Previous().osCreateFileA(path, access, share, sa, disposition, flags, model);
    if (file == INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();   // ERROR_ALREADY_EXISTS tells the caller something
    int number = self.m_journal.FileAt(path);
    if (access & GENERIC_WRITE) {
        bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if (truncate || number < 0) number = self.m_journal.Create(path, truncate);
    }
    self.m_files[file] = number;
    SetLastError(error);
    return file;
}

BOOL WINAPI CPowerCutRecorder::OnWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                           LPOVERLAPPED overlapped)
{
    CPowerCutRecorder& self = *s_pActive;
    LONGLONG at = self.Position(file);
    BOOL ok = self.m_scope.Previous().osWriteFile(file, data, size, written, overlapped);
    auto found = self.m_files.find(file);
    if (ok && at >= 0 && written && *written && found != self.m_files.end())
        self.m_journal.Write(found->second, static_cast<uint64_t>(at),
                             std::string(static_cast<const char*>(data), *written));
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnFlush(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osFlushFileBuffers(file);
    auto found = self.m_files.find(file);
    if (ok && found != self.m_files.end()) self.m_journal.Flush(found->second);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnSetEndOfFile(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    LONGLONG at = self.Position(file);
    BOOL ok = self.m_scope.Previous().osSetEndOfFile(file);
    auto found = self.m_files.find(file);
    if (ok && at >= 0 && found != self.m_files.end()) self.m_journal.SetSize(found->second, static_cast<uint64_t>(at));
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnClose(HANDLE file)
{
    CPowerCutRecorder& self = *s_pActive;
    self.m_files.erase(file);
    return self.m_scope.Previous().osCloseHandle(file);
}

BOOL WINAPI CPowerCutRecorder::OnCopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osCopyFileA(from, to, failIfExists);
    if (ok) {
        DWORD error = GetLastError();
        self.m_journal.Copy(to, ReadFileBytes(to));
        SetLastError(error);
    }
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osMoveFileExA(from, to, flags);
    if (ok) self.m_journal.Move(from, to);
    return ok;
}

BOOL WINAPI CPowerCutRecorder::OnDelete(LPCSTR path)
{
    CPowerCutRecorder& self = *s_pActive;
    BOOL ok = self.m_scope.Previous().osDeleteFileA(path);
    if (ok) self.m_journal.Delete(path);
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
        testing::AssertionResult written = WriteFileBytes(name, file->second);
        if (!written) {
            *why = written.message();
            return false;
        }
    }
    return true;
}
