// The store's failure paths made to happen: its file calls go through a table
// that these tests replace, so a read-only primary, a failing flush or a copy
// that fails at a chosen attempt is the same on every machine, root or not.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DbwinCapture.h"
#include "KeyFiles.h"
#include "Retenta.h"
#include "StoreFileCalls.h"
#include "TestFiles.h"

namespace {

const char kLines[] = "\"Brightness\"=dword:7\r\n\"Mode\"=string:\"night\"\r\n";
const char kFile[] = "\"Brightness\"=dword:7\r\n\"Mode\"=string:\"night\"\r\nCRC:2874841435\r\n";
const char kOldFile[] = "CRC:0\r\n";
const char kCopyFailed[] = "Retenta CopyFile failed, GetLastError = 5\n";
const char kRemoveFailed[] = "Retenta RemoveDirectory failed, GetLastError = ";
const DWORD kDenied = ERROR_ACCESS_DENIED;
const DWORD kDeviceError = ERROR_IO_DEVICE;
const DWORD kDiskFull = ERROR_DISK_FULL;

using Texts = std::vector<std::string>;

// ---- a stand-in for the store's file calls -------------------------------------

// The calls named `call` whose path holds `pathPart` fail with `error`, from
// their `first` occurrence (counting from 1) for `count` occurrences. A copy's
// or a move's path is "from -> to", as the store reports it.
struct Fault {
    std::string call, pathPart;
    int         first, count;
    DWORD       error;
};

struct FileCall {
    std::string call, path;
    DWORD       error;   // 0: the call succeeded
};

// Every call goes on to the table this one replaces, recorded with its path,
// unless a rule makes it fail; what the store reports as failed is recorded
// too. One stand-in at a time: its entries find it through s_pActive.
class CFaultyFiles {
public:
    explicit CFaultyFiles(std::vector<Fault> faults);
    ~CFaultyFiles() { s_pActive = nullptr; }

    // The calls among `names`, in order.
    std::vector<std::string> Named(const std::vector<std::string>& names) const
    {
        std::vector<std::string> out;
        for (const FileCall& c : m_calls)
            for (const std::string& name : names)
                if (c.call == name) out.push_back(c.call);
        return out;
    }
    const std::vector<FileCall>& Calls() const { return m_calls; }
    const std::vector<FileCall>& Reported() const { return m_reported; }
    const StoreFileCalls& Next() const { return m_scope.Previous(); }

    // Records the call and fails it when a rule says so; else makes it with
    // the next table and notes its error.
    template <class T, class Make>
    static T Run(const char* call, const std::string& path, T failure, Make make)
    {
        CFaultyFiles& self = *s_pActive;
        self.m_calls.push_back({call, path, 0});
        for (size_t i = 0; i < self.m_faults.size(); ++i) {
            const Fault& fault = self.m_faults[i];
            if (fault.call != call || path.find(fault.pathPart) == std::string::npos) continue;
            int occurrence = ++self.m_seen[i];
            if (occurrence >= fault.first && occurrence < fault.first + fault.count) {
                self.m_calls.back().error = fault.error;
                SetLastError(fault.error);
                return failure;
            }
        }
        T result = make(self.Next());
        if (result == failure) self.m_calls.back().error = GetLastError();
        return result;
    }
    static std::string PathOf(HANDLE file) { return s_pActive->m_paths[file]; }
    static void Opened(HANDLE file, const char* path) { s_pActive->m_paths[file] = path; }
    static void Reports(const char* call, const char* path, DWORD error)
    {
        s_pActive->m_reported.push_back({call, path, error});
    }

private:
    static CFaultyFiles* s_pActive;

    std::vector<Fault>            m_faults;
    std::vector<int>              m_seen;   // per rule: the matching calls so far
    std::vector<FileCall>         m_calls, m_reported;
    std::map<HANDLE, std::string> m_paths;
    StoreFileCalls                m_table;
    CScopedFileCalls              m_scope;
};

CFaultyFiles* CFaultyFiles::s_pActive = nullptr;
using F = CFaultyFiles;
using Next = const StoreFileCalls&;

HANDLE WINAPI OnCreateFile(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE m)
{
    HANDLE file = F::Run("CreateFileA", p, INVALID_HANDLE_VALUE,
                         [&](Next n) { return n.osCreateFileA(p, a, s, sa, d, f, m); });
    if (file != INVALID_HANDLE_VALUE) F::Opened(file, p);
    return file;
}
BOOL WINAPI OnReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD got, LPOVERLAPPED o)
{
    return F::Run("ReadFile", F::PathOf(h), FALSE, [&](Next c) { return c.osReadFile(h, b, n, got, o); });
}
BOOL WINAPI OnWriteFile(HANDLE h, LPCVOID b, DWORD n, LPDWORD done, LPOVERLAPPED o)
{
    return F::Run("WriteFile", F::PathOf(h), FALSE, [&](Next c) { return c.osWriteFile(h, b, n, done, o); });
}
BOOL WINAPI OnFlush(HANDLE h)
{
    return F::Run("FlushFileBuffers", F::PathOf(h), FALSE, [&](Next c) { return c.osFlushFileBuffers(h); });
}
BOOL WINAPI OnSeek(HANDLE h, LARGE_INTEGER move, PLARGE_INTEGER now, DWORD method)
{
    return F::Run("SetFilePointerEx", F::PathOf(h), FALSE,
                  [&](Next c) { return c.osSetFilePointerEx(h, move, now, method); });
}
BOOL WINAPI OnSize(HANDLE h, PLARGE_INTEGER size)
{
    return F::Run("GetFileSizeEx", F::PathOf(h), FALSE, [&](Next c) { return c.osGetFileSizeEx(h, size); });
}
BOOL WINAPI OnClose(HANDLE h)
{
    return F::Run("CloseHandle", F::PathOf(h), FALSE, [&](Next c) { return c.osCloseHandle(h); });
}
BOOL WINAPI OnCopy(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    return F::Run("CopyFileA", std::string(from) + " -> " + to, FALSE,
                  [&](Next c) { return c.osCopyFileA(from, to, failIfExists); });
}
BOOL WINAPI OnMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    return F::Run("MoveFileExA", std::string(from) + " -> " + to, FALSE,
                  [&](Next c) { return c.osMoveFileExA(from, to, flags); });
}
BOOL WINAPI OnDelete(LPCSTR p)
{
    return F::Run("DeleteFileA", p, FALSE, [&](Next c) { return c.osDeleteFileA(p); });
}
BOOL WINAPI OnMakeDirectory(LPCSTR p, LPSECURITY_ATTRIBUTES sa)
{
    return F::Run("CreateDirectoryA", p, FALSE, [&](Next c) { return c.osCreateDirectoryA(p, sa); });
}
BOOL WINAPI OnRemoveDirectory(LPCSTR p)
{
    return F::Run("RemoveDirectoryA", p, FALSE, [&](Next c) { return c.osRemoveDirectoryA(p); });
}
DWORD WINAPI OnGetAttributes(LPCSTR p)
{
    return F::Run("GetFileAttributesA", p, INVALID_FILE_ATTRIBUTES, [&](Next c) { return c.osGetFileAttributesA(p); });
}
BOOL WINAPI OnSetAttributes(LPCSTR p, DWORD attributes)
{
    return F::Run("SetFileAttributesA", p, FALSE, [&](Next c) { return c.osSetFileAttributesA(p, attributes); });
}

CFaultyFiles::CFaultyFiles(std::vector<Fault> faults)
    : m_faults(std::move(faults)), m_seen(m_faults.size(), 0), m_table(FileCalls()), m_scope(m_table)
{
    EXPECT_EQ(nullptr, s_pActive) << "one stand-in at a time";
    s_pActive = this;
    // The searches (FindFirstFileA, FindClose) and SetEndOfFile are not on
    // these paths; they stay as they were.
    m_table.osCreateFileA = OnCreateFile;
    m_table.osReadFile = OnReadFile;
    m_table.osWriteFile = OnWriteFile;
    m_table.osFlushFileBuffers = OnFlush;
    m_table.osSetFilePointerEx = OnSeek;
    m_table.osGetFileSizeEx = OnSize;
    m_table.osCloseHandle = OnClose;
    m_table.osCopyFileA = OnCopy;
    m_table.osMoveFileExA = OnMove;
    m_table.osDeleteFileA = OnDelete;
    m_table.osCreateDirectoryA = OnMakeDirectory;
    m_table.osRemoveDirectoryA = OnRemoveDirectory;
    m_table.osGetFileAttributesA = OnGetAttributes;
    m_table.osSetFileAttributesA = OnSetAttributes;
    m_table.osFailed = Reports;
}

class FileFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = MakeTempFolder("ff");
        m_dir = m_root + "\\ShellPersist";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_pri = m_dir + "\\ShellConfig.pri";
        m_sec = m_dir + "\\ShellConfig.sec";
        SetPaths(m_dir);
        ASSERT_TRUE(m_debug.Active()) << "another debug-output reader is running";
    }
    void TearDown() override { RemoveTree(m_root); }

    void SetPaths(const std::string& keyDirectory)
    {
        std::snprintf(m_paths.keyDirectory, sizeof m_paths.keyDirectory, "%s", keyDirectory.c_str());
        std::snprintf(m_paths.primary, sizeof m_paths.primary, "%s", m_pri.c_str());
        std::snprintf(m_paths.secondary, sizeof m_paths.secondary, "%s", m_sec.c_str());
    }

    // The debug texts so far, each cut to the length of the expected one at
    // its place, so that texts with the system's own error codes compare.
    Texts TextsLike(const Texts& expected)
    {
        EXPECT_TRUE(m_debug.Flush());
        Texts got = m_debug.Texts();
        for (size_t i = 0; i < got.size() && i < expected.size(); ++i)
            if (expected[i].back() != '\n') got[i] = got[i].substr(0, expected[i].size());
        return got;
    }

    // Each failed call reported once, with its name, path and error, and
    // nothing else; a missing path asked about is an answer, not a failure.
    void ExpectEachFailureReportedOnce(const CFaultyFiles& files)
    {
        std::vector<FileCall> failed;
        for (const FileCall& c : files.Calls()) {
            bool missing = c.error == ERROR_FILE_NOT_FOUND || c.error == ERROR_PATH_NOT_FOUND;
            if (c.error && !(c.call == "GetFileAttributesA" && missing)) failed.push_back(c);
        }
        ASSERT_EQ(failed.size(), files.Reported().size());
        for (size_t i = 0; i < failed.size(); ++i) {
            EXPECT_EQ(failed[i].call, files.Reported()[i].call) << i;
            EXPECT_EQ(failed[i].path, files.Reported()[i].path) << i;
            EXPECT_EQ(failed[i].error, files.Reported()[i].error) << i;
        }
    }

    std::string m_root, m_dir, m_pri, m_sec;
    KeyPaths m_paths = {};
    DbwinCapture m_debug;
};

// A flush that always fails, as on a failing disk.
BOOL WINAPI FlushFails(HANDLE)
{
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

// ---- the save -------------------------------------------------------------------

TEST_F(FileFaults, Save_PrimaryNotWritten_GoesThroughTheSecondaryOrFails)
{
    const std::string pri = "ShellConfig.pri", sec = "ShellConfig.sec";
    struct Row {
        const char*        what;
        std::vector<Fault> faults;
        long               result;
        DWORD              detail;
        const char*        primaryAfter;   // a failed flush leaves what was written
        size_t             copies;
        Texts              texts;
    };
    const Row rows[] = {
        {"read-only primary: its copy works once the second attempt clears the attribute",
         {{"CreateFileA", pri, 1, 100, kDenied}, {"CopyFileA", "-> " + m_pri, 1, 1, kDenied}},
         PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP, kFile, 2,
         {kCopyFailed, "PERS_PRIMARY_INVALID_USING_BACKUP\n"}},
        {"the primary's flush fails", {{"FlushFileBuffers", pri, 1, 1, kDeviceError}},
         PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP, kFile, 1, {"PERS_PRIMARY_INVALID_USING_BACKUP\n"}},
        {"the primary's disk is full", {{"WriteFile", pri, 1, 1, kDiskFull}},
         PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP, kFile, 1, {"PERS_PRIMARY_INVALID_USING_BACKUP\n"}},
        {"both flushes fail: nothing is copied",
         {{"FlushFileBuffers", pri, 1, 1, kDeviceError}, {"FlushFileBuffers", sec, 1, 1, kDeviceError}},
         PERS_FAILED, PERS_KEY_CLOSED_SAVE_FAILED, kFile, 0, {"PERS_KEY_CLOSED_SAVE_FAILED\n"}},
        {"a primary nothing may change",
         {{"CreateFileA", pri, 1, 100, kDenied}, {"CopyFileA", "-> " + m_pri, 1, 100, kDenied},
          {"SetFileAttributesA", pri, 1, 100, kDenied}, {"DeleteFileA", pri, 1, 100, kDenied},
          {"MoveFileExA", m_pri + " -> ", 1, 100, kDenied}},
         PERS_FAILED, PERS_KEY_CLOSED_SAVE_FAILED, kOldFile, 4,
         {kCopyFailed, "Retenta SetFileAttributes failed, GetLastError = 5, Attributes = 0x", kCopyFailed,
          "Retenta DeleteFile failed, GetLastError = 5\n", kRemoveFailed, kCopyFailed,
          "Retenta MoveFile (rename from " + m_pri + " to " + m_pri, kCopyFailed, "PERS_KEY_CLOSED_SAVE_FAILED\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(WriteFileBytes(m_pri, kOldFile));
        ASSERT_TRUE(WriteFileBytes(m_sec, kOldFile));
        m_debug.Clear();
        CFaultyFiles files(row.faults);
        StoreOutcome outcome = SaveKeyFiles(m_paths, kLines, sizeof kLines - 1);
        EXPECT_EQ(row.result, outcome.result);
        EXPECT_EQ(row.detail, outcome.detail);
        EXPECT_EQ(row.primaryAfter, ReadFileBytes(m_pri));
        EXPECT_EQ(kFile, ReadFileBytes(m_sec)) << "the secondary holds the changes either way";
        EXPECT_EQ(row.copies, files.Named({"CopyFileA"}).size());
        EXPECT_EQ(row.texts, TextsLike(row.texts));
        ExpectEachFailureReportedOnce(files);
    }
}

// ---- the robust copy -------------------------------------------------------------

TEST_F(FileFaults, FileCopy_FailsAtEachOfItsFourAttempts)
{
    const std::string source = m_root + "\\source.txt", dest = m_root + "\\dest.txt";
    const std::vector<std::string> steps = {"CopyFileA", "SetFileAttributesA", "DeleteFileA", "RemoveDirectoryA",
                                            "MoveFileExA"};
    struct Row {
        int   failures;   // copies that fail, from the first; each next attempt prepares first
        bool  copied;
        Texts texts;
        std::vector<std::string> calls;
    };
    const std::string rename = "Retenta MoveFile (rename from " + dest + " to " + dest;
    const Row rows[] = {
        {1, true, {kCopyFailed}, {"CopyFileA", "SetFileAttributesA", "CopyFileA"}},
        {2, true, {kCopyFailed, kCopyFailed, kRemoveFailed},
         {"CopyFileA", "SetFileAttributesA", "CopyFileA", "DeleteFileA", "RemoveDirectoryA", "CopyFileA"}},
        {3, true, {kCopyFailed, kCopyFailed, kRemoveFailed, kCopyFailed, rename},
         {"CopyFileA", "SetFileAttributesA", "CopyFileA", "DeleteFileA", "RemoveDirectoryA", "CopyFileA",
          "MoveFileExA", "CopyFileA"}},
        {4, false, {kCopyFailed, kCopyFailed, kRemoveFailed, kCopyFailed, rename, kCopyFailed},
         {"CopyFileA", "SetFileAttributesA", "CopyFileA", "DeleteFileA", "RemoveDirectoryA", "CopyFileA",
          "MoveFileExA", "CopyFileA"}},
    };
    ASSERT_TRUE(WriteFileBytes(source, kFile));
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.failures) + " failed copies");
        ASSERT_TRUE(WriteFileBytes(dest, "old"));
        m_debug.Clear();
        CFaultyFiles files({{"CopyFileA", "-> " + dest, 1, row.failures, kDenied}});
        EXPECT_EQ(row.copied, FileCopy(dest.c_str(), source.c_str()));
        EXPECT_EQ(row.copied ? std::string(kFile) : std::string(), ReadFileBytes(dest));
        EXPECT_EQ(row.calls, files.Named(steps));
        EXPECT_EQ(row.texts, TextsLike(row.texts));
        ExpectEachFailureReportedOnce(files);
    }
}

// ---- the open ---------------------------------------------------------------------

TEST_F(FileFaults, Open_FailingFileCallsGiveTheirCodes)
{
    struct Row {
        const char*        what;
        bool               placeFiles;
        std::vector<Fault> faults;
        long               result;
        DWORD              detail;
        Texts              texts;
    };
    const Row rows[] = {
        {"new key files cannot be created", false, {{"CreateFileA", "ShellConfig.pri", 1, 100, kDenied}},
         PERS_FAILED, PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW,
         {"PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW\n"}},
        {"the primary cannot be read", true, {{"ReadFile", "ShellConfig.pri", 1, 1, kDeviceError}},
         PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED, {"PERS_PRIMARY_INVALID_RECOVERED\n"}},
        {"the key directory cannot be made", false, {{"CreateDirectoryA", "New", 1, 100, kDenied}},
         PERS_FAILED, PERS_PATH_MISSING_COULD_NOT_CREATE_NEW, {"PERS_PATH_MISSING_COULD_NOT_CREATE_NEW\n"}},
    };
    int serial = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeleteFileA(m_pri.c_str());
        DeleteFileA(m_sec.c_str());
        if (row.placeFiles) {
            ASSERT_TRUE(WriteFileBytes(m_pri, kFile));
            ASSERT_TRUE(WriteFileBytes(m_sec, kFile));
        }
        SetPaths(row.detail == PERS_PATH_MISSING_COULD_NOT_CREATE_NEW ? m_root + "\\New\\Deeper" : m_dir);
        SharedMemory shm;
        ASSERT_EQ(S_OK, shm.Create(UniqueName("c:/fftest/key" + std::to_string(serial++)).c_str(), 1, 4096));
        m_debug.Clear();
        CFaultyFiles files(row.faults);
        StoreOutcome outcome = OpenKeyWithRecovery(m_paths, shm);
        EXPECT_EQ(row.result, outcome.result);
        EXPECT_EQ(row.detail, outcome.detail);
        EXPECT_EQ(row.texts, TextsLike(row.texts));
        EXPECT_FALSE(shm.HoldsWriteLock());
        ExpectEachFailureReportedOnce(files);
    }
}

// ---- the failure report ---------------------------------------------------------

TEST_F(FileFaults, DefaultReportKeepsTheLatestFailuresAndTheLastError)
{
    // Only the flush is made to fail; the report goes to the default keeper.
    StoreFileCalls calls = DefaultFileCalls();
    calls.osFlushFileBuffers = FlushFails;
    {
        CScopedFileCalls scope(calls);
        EXPECT_EQ(&DefaultFileCalls(), &scope.Previous());
        EXPECT_EQ(&calls, &FileCalls());
        EXPECT_EQ(PERS_FAILED, SaveKeyFiles(m_paths, kLines, sizeof kLines - 1).result);
    }
    EXPECT_EQ(&DefaultFileCalls(), &FileCalls()) << "the scope puts the table back";
    FileFailure latest[kRecentFileFailures + 4];
    size_t count = RecentFileFailures(latest, kRecentFileFailures + 4);
    ASSERT_GE(count, 2u);
    ASSERT_LE(count, kRecentFileFailures);
    EXPECT_STREQ("FlushFileBuffers", latest[count - 2].ff_call);
    EXPECT_EQ(m_pri, latest[count - 2].ff_path);
    EXPECT_STREQ("FlushFileBuffers", latest[count - 1].ff_call);
    EXPECT_EQ(m_sec, latest[count - 1].ff_path);
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), latest[count - 1].ff_error);
    EXPECT_EQ(1u, RecentFileFailures(latest, 1));
    EXPECT_EQ(m_sec, latest[0].ff_path) << "the one asked for is the latest";

    // The report keeps the last-error value it was told about.
    CFaultyFiles files({{"DeleteFileA", "gone", 1, 1, kDenied}});
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StoreDeleteFile((m_root + "\\gone").c_str()));
    EXPECT_EQ(kDenied, GetLastError());
    ASSERT_EQ(1u, files.Reported().size());
    EXPECT_EQ("DeleteFileA", files.Reported()[0].call);
}

} // namespace
