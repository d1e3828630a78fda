#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "KeyFileFormat.h"

#include <cstring>
#include <utility>

namespace {

const EngineFileCalls* volatile g_pCalls = nullptr;   // nullptr: the default table

// The run log reads the media root through this table: a failure met while
// its line is being written is not logged again.
thread_local bool t_bReporting = false;

void LogFailure(const char* call, const char* path, DWORD error)
{
    if (t_bReporting) return;
    t_bReporting = true;
    CsrLog(CSRLOG_ERROR, "File call %s failed on \"%s\"; GetLastError = %lu\n", call, path ? path : "",
           static_cast<unsigned long>(error));
    t_bReporting = false;
}

void Report(const char* call, const char* path)
{
    const DWORD error = GetLastError();
    if (EngineCalls().osFailed) EngineCalls().osFailed(call, path, error);
    SetLastError(error);
}

void ReportTwo(const char* call, const char* from, const char* to)
{
    const DWORD error = GetLastError();
    const std::string both = std::string(from ? from : "") + " -> " + (to ? to : "");
    SetLastError(error);
    Report(call, both.c_str());
}

// Registry calls give their error as the result, not as the last error.
LONG ReportRegistry(const char* call, const char* name, LONG error)
{
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        Report(call, name);
    }
    return error;
}

// A ".pri" or ".sec" file: a key file of the store.
bool IsStoreKeyFile(const std::string& path)
{
    if (path.size() < 4) return false;
    const std::string tail = path.substr(path.size() - 4);
    return _stricmp(tail.c_str(), ".pri") == 0 || _stricmp(tail.c_str(), ".sec") == 0;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

EngineFileCalls RealCalls()
{
    EngineFileCalls calls = {};
    calls.osCreateFileA = CreateFileA;
    calls.osReadFile = ReadFile;
    calls.osWriteFile = WriteFile;
    calls.osFlushFileBuffers = FlushFileBuffers;
    calls.osGetFileInformationByHandle = GetFileInformationByHandle;
    calls.osCloseHandle = CloseHandle;
    calls.osCopyFileA = CopyFileA;
    calls.osMoveFileExA = MoveFileExA;
    calls.osDeleteFileA = DeleteFileA;
    calls.osCreateDirectoryA = CreateDirectoryA;
    calls.osRemoveDirectoryA = RemoveDirectoryA;
    calls.osGetFileAttributesA = GetFileAttributesA;
    calls.osSetFileAttributesA = SetFileAttributesA;
    calls.osFindFirstFileA = FindFirstFileA;
    calls.osFindNextFileA = FindNextFileA;
    calls.osFindClose = FindClose;
    calls.osGetDiskFreeSpaceA = GetDiskFreeSpaceA;
    calls.osRegOpenKeyExA = RegOpenKeyExA;
    calls.osRegCreateKeyExA = RegCreateKeyExA;
    calls.osRegQueryValueExA = RegQueryValueExA;
    calls.osRegSetValueExA = RegSetValueExA;
    calls.osRegSaveKeyA = RegSaveKeyA;
    calls.osRegFlushKey = RegFlushKey;
    calls.osFailed = LogFailure;
    return calls;
}

} // namespace

const EngineFileCalls& DefaultEngineFileCalls()
{
    static const EngineFileCalls calls = RealCalls();
    return calls;
}

const EngineFileCalls& EngineCalls()
{
    const EngineFileCalls* calls = g_pCalls;
    return calls ? *calls : DefaultEngineFileCalls();
}

const EngineFileCalls* SetEngineFileCalls(const EngineFileCalls* calls)
{
    const EngineFileCalls* previous = &EngineCalls();
    g_pCalls = calls;
    return previous;
}

// ---- path calls ----------------------------------------------------------------

BOOL FcCopyFile(const char* source, const char* destination, BOOL failIfExists)
{
    const BOOL ok = EngineCalls().osCopyFileA(source, destination, failIfExists);
    if (!ok) ReportTwo("CopyFileA", source, destination);
    return ok;
}

BOOL FcMoveFile(const char* from, const char* to, DWORD flags)
{
    const BOOL ok = EngineCalls().osMoveFileExA(from, to, flags);
    if (!ok) ReportTwo("MoveFileExA", from, to);
    return ok;
}

BOOL FcDeleteFile(const char* path)
{
    const BOOL ok = EngineCalls().osDeleteFileA(path);
    if (!ok && !IsMissing(GetLastError())) Report("DeleteFileA", path);
    return ok;
}

BOOL FcCreateDirectory(const char* path)
{
    const BOOL ok = EngineCalls().osCreateDirectoryA(path, nullptr);
    if (!ok && GetLastError() != ERROR_ALREADY_EXISTS) Report("CreateDirectoryA", path);
    return ok;
}

BOOL FcRemoveDirectory(const char* path)
{
    const BOOL ok = EngineCalls().osRemoveDirectoryA(path);
    if (!ok && !IsMissing(GetLastError())) Report("RemoveDirectoryA", path);
    return ok;
}

BOOL FcSetFileAttributes(const char* path, DWORD attributes)
{
    const BOOL ok = EngineCalls().osSetFileAttributesA(path, attributes);
    if (!ok && !IsMissing(GetLastError())) Report("SetFileAttributesA", path);
    return ok;
}

DWORD FcGetFileAttributes(const char* path)
{
    const DWORD attributes = EngineCalls().osGetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES && !IsMissing(GetLastError())) Report("GetFileAttributesA", path);
    return attributes;
}

bool FcPathExists(const std::string& path)
{
    return FcGetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL FcGetDiskFreeSpace(const char* root, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                        DWORD* clusters)
{
    const BOOL ok = EngineCalls().osGetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, clusters);
    if (!ok) Report("GetDiskFreeSpaceA", root);
    return ok;
}

bool FcReadStart(const std::string& path, size_t limit, std::string* bytes)
{
    bytes->clear();
    CEngineFile file;
    if (!file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    bytes->resize(limit);
    size_t got = 0;
    while (got < limit) {
        DWORD read = 0;
        const DWORD ask = static_cast<DWORD>(limit - got < 65536 ? limit - got : 65536);
        if (!file.Read(&(*bytes)[got], ask, &read)) {
            bytes->clear();
            return false;
        }
        if (read == 0) break;
        got += read;
    }
    bytes->resize(got);
    return true;
}

// ---- registry ------------------------------------------------------------------

LONG FcRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key)
{
    const LONG error = EngineCalls().osRegOpenKeyExA(root, path, 0, access, key);
    // A key that is not there is an answer.
    if (error == ERROR_FILE_NOT_FOUND) return error;
    return ReportRegistry("RegOpenKeyExA", path, error);
}

LONG FcRegCreateKey(HKEY root, const char* path, REGSAM access, HKEY* key)
{
    return ReportRegistry("RegCreateKeyExA", path,
                          EngineCalls().osRegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                                          nullptr, key, nullptr));
}

LONG FcRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    const LONG error = EngineCalls().osRegQueryValueExA(key, name, nullptr, type, data, size);
    // A missing value is an answer; a value larger than the buffer is the caller's to judge.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_MORE_DATA) return error;
    return ReportRegistry("RegQueryValueExA", name, error);
}

LONG FcRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    return ReportRegistry("RegSetValueExA", name, EngineCalls().osRegSetValueExA(key, name, 0, type, data, size));
}

LONG FcRegSaveKey(HKEY key, const char* file)
{
    return ReportRegistry("RegSaveKeyA", file, EngineCalls().osRegSaveKeyA(key, file, nullptr));
}

LONG FcRegFlushKey(HKEY key, const char* name)
{
    return ReportRegistry("RegFlushKey", name, EngineCalls().osRegFlushKey(key));
}

// ---- open files ----------------------------------------------------------------

CEngineFile::CEngineFile(CEngineFile&& other) noexcept
    : m_hFile(std::exchange(other.m_hFile, INVALID_HANDLE_VALUE)), m_path(std::move(other.m_path))
{
}

CEngineFile& CEngineFile::operator=(CEngineFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_hFile = std::exchange(other.m_hFile, INVALID_HANDLE_VALUE);
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool CEngineFile::Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    Close();
    m_path = path ? path : "";
    // A store key file held without sharing is a program saving that key: it
    // is waited for as long as the store itself waits, before the open fails.
    const bool keyFile = IsStoreKeyFile(m_path);
    for (int attempt = 0;; ++attempt) {
        m_hFile = EngineCalls().osCreateFileA(m_path.c_str(), access, share, nullptr, disposition,
                                              flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile != INVALID_HANDLE_VALUE || !keyFile || attempt + 1 >= keyfile::kBusyFileAttempts ||
            GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(keyfile::kBusyFilePauseMs);
    }
    if (m_hFile != INVALID_HANDLE_VALUE) return true;
    if (!(disposition == OPEN_EXISTING && IsMissing(GetLastError()))) Failed("CreateFileA");
    return false;
}

bool CEngineFile::Read(void* buffer, DWORD size, DWORD* got)
{
    DWORD read = 0;
    const bool ok = EngineCalls().osReadFile(m_hFile, buffer, size, &read, nullptr) != FALSE;
    if (got) *got = ok ? read : 0;
    if (!ok) Failed("ReadFile");
    return ok;
}

bool CEngineFile::WriteAll(const void* data, DWORD size)
{
    if (size == 0) return true;
    DWORD written = 0;
    if (!EngineCalls().osWriteFile(m_hFile, data, size, &written, nullptr)) {
        Failed("WriteFile");
        return false;
    }
    if (written == size) return true;
    // A short write on a file leaves no other reason than a full volume.
    SetLastError(ERROR_HANDLE_DISK_FULL);
    Failed("WriteFile");
    return false;
}

bool CEngineFile::Flush()
{
    if (EngineCalls().osFlushFileBuffers(m_hFile)) return true;
    Failed("FlushFileBuffers");
    return false;
}

bool CEngineFile::Information(BY_HANDLE_FILE_INFORMATION* info)
{
    if (EngineCalls().osGetFileInformationByHandle(m_hFile, info)) return true;
    Failed("GetFileInformationByHandle");
    return false;
}

bool CEngineFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE) return true;
    const HANDLE file = std::exchange(m_hFile, INVALID_HANDLE_VALUE);
    if (EngineCalls().osCloseHandle(file)) return true;
    Failed("CloseHandle");
    return false;
}

void CEngineFile::Failed(const char* call) const
{
    Report(call, m_path.c_str());
}

// ---- directory searches --------------------------------------------------------

bool CEngineFind::First(const char* pattern, WIN32_FIND_DATAA* found)
{
    Close();
    m_pattern = pattern ? pattern : "";
    m_hFind = EngineCalls().osFindFirstFileA(m_pattern.c_str(), found);
    if (m_hFind != INVALID_HANDLE_VALUE) return true;
    const DWORD error = GetLastError();
    if (!IsMissing(error) && error != ERROR_NO_MORE_FILES) Report("FindFirstFileA", m_pattern.c_str());
    return false;
}

bool CEngineFind::Next(WIN32_FIND_DATAA* found)
{
    if (m_hFind == INVALID_HANDLE_VALUE) return false;
    if (EngineCalls().osFindNextFileA(m_hFind, found)) return true;
    if (GetLastError() != ERROR_NO_MORE_FILES) Report("FindNextFileA", m_pattern.c_str());
    return false;
}

void CEngineFind::Close()
{
    if (m_hFind == INVALID_HANDLE_VALUE) return;
    const HANDLE find = std::exchange(m_hFind, INVALID_HANDLE_VALUE);
    // Ending a search frees memory only: a failure leaves nothing to mend.
    if (!EngineCalls().osFindClose(find)) Report("FindClose", m_pattern.c_str());
}
