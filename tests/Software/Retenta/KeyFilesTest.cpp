// The key files on a real directory: which file an open trusts, how it
// repairs the other, what a save writes, and the robust copy and directory
// creation beneath them. Debug texts are read back through DBWIN_BUFFER.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FindHandle.h"
#include "DbwinCapture.h"
#include "KeyDataBlock.h"
#include "KeyFiles.h"
#include "Retenta.h"
#include "TestFiles.h"

using keyfile::KeyDataBlock;

namespace {

// ---- files ---------------------------------------------------------------------

// CR and LF shown, so that compared key files read as text.
std::string Visible(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// A file held open by the test with the given share mode, as another program
// of the unit might hold it.
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD share, DWORD access = GENERIC_READ)
        : m_h(CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() { if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h); }
    bool Held() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// True when a read-only file refuses to be opened for writing: not so for
// root under Wine, which keeps the attribute as Unix write bits.
bool ReadOnlyIsEnforced(const std::string& dir)
{
    std::string probe = dir + "\\readonly-probe";
    EXPECT_TRUE(WriteFileBytes(probe, "x"));
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool enforced = (h == INVALID_HANDLE_VALUE);
    if (!enforced) CloseHandle(h);
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(probe.c_str());
    return enforced;
}

// ---- key text --------------------------------------------------------------------

// The shell logger's settings: 128 bytes of lines, CRC 2422179875.
const char kLoggerLines[] =
    "\"ExcludeThisFile   \"=string:\"none\"\r\n"
    "\"InhibitLogOutput  \"=bool:1\r\n"
    "\"MaxMessageLength  \"=dword:1024\r\n"
    "\"SuppressBelowLevel\"=dword:4\r\n";
const char kLoggerFile[] =
    "\"ExcludeThisFile   \"=string:\"none\"\r\n"
    "\"InhibitLogOutput  \"=bool:1\r\n"
    "\"MaxMessageLength  \"=dword:1024\r\n"
    "\"SuppressBelowLevel\"=dword:4\r\n"
    "CRC:2422179875\r\n";
const char kEmptyFile[] = "CRC:0\r\n";

uint32_t ReferenceCrc(const std::string& bytes)
{
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int b = 0; b < 8; ++b) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
        table[i] = r;
    }
    uint32_t crc = 0;
    for (unsigned char c : bytes) crc = (crc << 8) ^ table[(crc >> 24) ^ c];
    return crc;
}

std::string WithCrc(const std::string& lines)
{
    return lines + "CRC:" + std::to_string(ReferenceCrc(lines)) + "\r\n";
}

// Value lines of exactly `length` bytes (0 or at least 20), sorted, each a
// string value: a line is its 6-character name + value + 14 bytes.
std::string LinesOfLength(size_t length)
{
    std::string lines;
    int serial = 0;
    while (lines.size() < length) {
        size_t left = length - lines.size();
        size_t value = left >= 1040 ? 1000 : left - 20;
        char name[16];
        std::snprintf(name, sizeof name, "V%05d", serial++);
        lines += "\"" + std::string(name) + "\"=string:\"" + std::string(value, 'x') + "\"\r\n";
    }
    return lines;
}

// ---- the open --------------------------------------------------------------------

class KeyFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = MakeTempFolder("kf");
        m_priDir = m_root + "\\Pri\\ShellPersist";
        m_secDir = m_root + "\\Sec\\ShellPersist";
        for (const std::string& d : {m_root + "\\Pri", m_priDir, m_root + "\\Sec", m_secDir})
            CreateDirectoryA(d.c_str(), nullptr);
        SetPaths(m_priDir, m_secDir + "\\ShellConfig.sec");
        ASSERT_TRUE(m_debug.Active()) << "another debug-output reader is running";
    }
    void TearDown() override { RemoveTree(m_root); }

    void SetPaths(const std::string& keyDirectory, const std::string& secondary)
    {
        m_keyDir = keyDirectory;
        m_pri = keyDirectory + "\\ShellConfig.pri";
        m_sec = secondary;
        std::snprintf(m_paths.keyDirectory, sizeof m_paths.keyDirectory, "%s", m_keyDir.c_str());
        std::snprintf(m_paths.primary, sizeof m_paths.primary, "%s", m_pri.c_str());
        std::snprintf(m_paths.secondary, sizeof m_paths.secondary, "%s", m_sec.c_str());
    }

    // Opens the key the way the store does: a fresh block, the write lock held.
    StoreOutcome Open()
    {
        m_shm.reset(new SharedMemory());
        EXPECT_EQ(S_OK, m_shm->Create(UniqueName("c:/kftest/key").c_str(), 1, 4096));
        EXPECT_TRUE(m_shm->LockWrite(1000));
        StoreOutcome outcome = OpenKeyWithRecovery(m_paths, *m_shm);
        EXPECT_FALSE(m_shm->HoldsWriteLock()) << "the open must release the write lock";
        m_debug.Flush();
        return outcome;
    }

    KeyDataBlock* Block() const { return static_cast<KeyDataBlock*>(m_shm->Data()); }
    std::string   BlockText() const
    {
        DWORD length = m_shm->GetLength();
        if (length < keyfile::kIndexBytes) return "<not loaded>";
        return std::string(Block()->text(), length - keyfile::kIndexBytes);
    }
    void ExpectEmptyKeyLoaded()
    {
        EXPECT_EQ(keyfile::kIndexBytes, m_shm->GetLength());
        EXPECT_EQ(0, Block()->count);
        EXPECT_EQ(1, Block()->sorted);
        EXPECT_EQ(keyfile::kIndexBytes, Block()->offsets[0]);
        EXPECT_EQ('\0', Block()->text()[0]);
    }
    void ExpectLoggerLoaded()
    {
        EXPECT_EQ(keyfile::kIndexBytes + 128, m_shm->GetLength());
        EXPECT_EQ(Visible(kLoggerLines), Visible(BlockText()));
        EXPECT_EQ(4, Block()->count);
        EXPECT_EQ(1, Block()->sorted);
        EXPECT_EQ(keyfile::kIndexBytes + 1, Block()->offsets[0]);
        EXPECT_EQ(keyfile::kIndexBytes + 128, Block()->offsets[4]);
        EXPECT_EQ('\0', Block()->text()[128]);
    }
    // Waits first for what is still on its way to the reader.
    size_t CountText(const std::string& text)
    {
        EXPECT_TRUE(m_debug.Flush()) << "the debug output did not arrive";
        return m_debug.Count(text);
    }
    std::string AllTexts() const
    {
        std::string all;
        for (const std::string& t : m_debug.Texts()) all += "[" + Visible(t) + "] ";
        return all;
    }

    std::string m_root, m_priDir, m_secDir, m_keyDir, m_pri, m_sec;
    KeyPaths m_paths = {};
    std::unique_ptr<SharedMemory> m_shm;
    DbwinCapture m_debug;
};

#define EXPECT_OUTCOME(result_, detail_, outcome_)                                          \
    do {                                                                                    \
        StoreOutcome o_ = (outcome_);                                                       \
        EXPECT_EQ(static_cast<long>(result_), o_.result) << std::hex << "detail 0x" << o_.detail; \
        EXPECT_EQ(static_cast<DWORD>(detail_), o_.detail) << std::hex << "detail 0x" << o_.detail; \
    } while (0)

// -- key directory present ---------------------------------------------------------

TEST_F(KeyFilesTest, BothFilesTheSame_ReadsPrimaryAndTouchesNothing)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kLoggerFile));
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    EXPECT_OUTCOME(PERS_SUCCESS, 0, Open());
    ExpectLoggerLoaded();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    EXPECT_TRUE(m_debug.Texts().empty()) << AllTexts();
}

TEST_F(KeyFilesTest, SecondaryMissing_IsCopiedFromThePrimary)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kLoggerFile));
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED, Open());
    ExpectLoggerLoaded();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    EXPECT_EQ(1u, CountText("PERS_SECONDARY_MISSING_RECOVERED\n")) << AllTexts();
}

TEST_F(KeyFilesTest, SecondaryOlderOfTheSameSize_IsReplacedByThePrimary)
{
    std::string older = kLoggerLines;
    older.replace(older.find("dword:4"), 7, "dword:5");
    ASSERT_TRUE(WriteFileBytes(m_pri, kLoggerFile));
    ASSERT_TRUE(WriteFileBytes(m_sec, WithCrc(older)));
    ASSERT_EQ(ReadFileBytes(m_pri).size(), ReadFileBytes(m_sec).size());
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED, Open());
    ExpectLoggerLoaded();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
}

TEST_F(KeyFilesTest, ShortFiles_CompareWhole)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kEmptyFile));
    ASSERT_TRUE(WriteFileBytes(m_sec, kEmptyFile));
    EXPECT_OUTCOME(PERS_SUCCESS, 0, Open());
    ExpectEmptyKeyLoaded();

    ASSERT_TRUE(WriteFileBytes(m_pri, kLoggerFile));   // a 7-byte secondary against a 144-byte primary
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED, Open());
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
}

TEST_F(KeyFilesTest, PrimaryHeldForTheTailTest_AssertsAndCountsAsDiffering)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kLoggerFile));
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    HeldFile reader(m_pri, FILE_SHARE_READ);   // loading shares reading; the tail test does not
    ASSERT_TRUE(reader.Held());
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_SECONDARY_MISSING_RECOVERED, Open());
    ExpectLoggerLoaded();
    bool asserted = false;
    for (const std::string& t : m_debug.Texts())
        asserted = asserted || t.rfind("ZEL_ASSERT Failed in file Software\\Retenta\\Retenta, line ", 0) == 0;
    EXPECT_TRUE(asserted) << AllTexts();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
}

TEST_F(KeyFilesTest, PrimaryCorrupted_IsReplacedByTheSecondary)
{
    std::string corrupt = kLoggerFile;
    corrupt[30] = 'X';   // inside the first value
    ASSERT_TRUE(WriteFileBytes(m_pri, corrupt));
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED, Open());
    ExpectLoggerLoaded();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
    EXPECT_EQ(1u, CountText("PERS_PRIMARY_INVALID_RECOVERED\n")) << AllTexts();
}

TEST_F(KeyFilesTest, PrimaryMissingOrCut_IsReplacedByTheSecondary)
{
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED, Open());
    ExpectLoggerLoaded();
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));

    std::string cut = kLoggerFile;
    ASSERT_TRUE(WriteFileBytes(m_pri, cut.substr(0, cut.size() - 1)));   // line feed of the CRC line lost
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED, Open());
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));

    ASSERT_TRUE(WriteFileBytes(m_pri, ""));
    EXPECT_OUTCOME(PERS_SUCCESS, PERS_PRIMARY_INVALID_RECOVERED, Open());
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
}

TEST_F(KeyFilesTest, NeitherFilePresent_CreatesAnEmptyKeySilently)
{
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_KEY_CREATED_NEW, Open());
    ExpectEmptyKeyLoaded();
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_sec));
    EXPECT_TRUE(m_debug.Texts().empty()) << AllTexts();
}

TEST_F(KeyFilesTest, BothFilesInvalid_AreReplacedByAnEmptyKey)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, "garbage"));
    ASSERT_TRUE(WriteFileBytes(m_sec, std::string(kLoggerFile) + "\r\n"));   // anything after the CRC line
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_KEY_CREATED_NEW, Open());
    ExpectEmptyKeyLoaded();
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_sec));
}

TEST_F(KeyFilesTest, NewKeyFilesCannotBeCreated_FailsAndLeavesTheKeyUnloaded)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, "held by another program"));
    {
        HeldFile other(m_pri, 0);
        ASSERT_TRUE(other.Held());
        EXPECT_OUTCOME(PERS_FAILED, PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW, Open());
    }
    EXPECT_EQ(0u, m_shm->GetLength()) << "a failed open must leave the block marked as never loaded";
    EXPECT_EQ("held by another program", ReadFileBytes(m_pri));
    EXPECT_FALSE(FileOrFolderExists(m_sec));
    EXPECT_EQ(1u, CountText("PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW\n")) << AllTexts();

    // A directory standing under the primary's name cannot be written either.
    DeleteFileA(m_pri.c_str());
    CreateDirectoryA(m_pri.c_str(), nullptr);
    EXPECT_OUTCOME(PERS_FAILED, PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW, Open());
}

TEST_F(KeyFilesTest, NewKeyFilesCreatedButUnloadable_FailsWithFileLoad)
{
    // Secondary and primary under one name: copying the new primary over
    // itself ends with it deleted by the copy's third attempt.
    SetPaths(m_priDir, m_pri);
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_FILE_LOAD, Open());
    EXPECT_EQ(0u, m_shm->GetLength());
    EXPECT_EQ(1u, CountText("PERS_FAILED_FILE_LOAD\n")) << AllTexts();
}

// -- key directory missing ----------------------------------------------------------

TEST_F(KeyFilesTest, NewDirectoryWithValidSecondary_RecoversPrimaryAndReportsPathCreated)
{
    SetPaths(m_root + "\\Pri\\New\\Deeper", m_secDir + "\\ShellConfig.sec");
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_PATH_CREATED, Open());
    ExpectLoggerLoaded();
    EXPECT_TRUE(FolderExists(m_keyDir));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
    EXPECT_EQ(1u, CountText("PERS_PRIMARY_INVALID_RECOVERED\n")) << AllTexts();
}

TEST_F(KeyFilesTest, NewDirectoryWithoutSecondary_CreatesAnEmptyKey)
{
    SetPaths(m_root + "\\Pri\\New", m_secDir + "\\ShellConfig.sec");
    ASSERT_TRUE(WriteFileBytes(m_sec, "not a key file"));
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_PATH_CREATED, Open());
    ExpectEmptyKeyLoaded();
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_sec));
    EXPECT_TRUE(m_debug.Texts().empty()) << AllTexts();
}

TEST_F(KeyFilesTest, NewDirectoryButKeyUnloadable_FailsWithFileLoad)
{
    std::string dir = m_root + "\\Pri\\New";
    SetPaths(dir, dir + "\\ShellConfig.pri");
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_FILE_LOAD, Open());
    EXPECT_EQ(0u, m_shm->GetLength());
}

TEST_F(KeyFilesTest, DirectoryCannotBeCreated_FailsWithoutLookingAtTheSecondary)
{
    std::string blocker = m_root + "\\Pri\\Blocked";
    ASSERT_TRUE(WriteFileBytes(blocker, "a file that cannot be deleted while held"));
    HeldFile other(blocker, 0);
    ASSERT_TRUE(other.Held());
    SetPaths(blocker + "\\Sub", m_secDir + "\\ShellConfig.sec");
    ASSERT_TRUE(WriteFileBytes(m_sec, kLoggerFile));
    EXPECT_OUTCOME(PERS_FAILED, PERS_PATH_MISSING_COULD_NOT_CREATE_NEW, Open());
    EXPECT_EQ(0u, m_shm->GetLength());
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    EXPECT_EQ(1u, CountText("PERS_PATH_MISSING_COULD_NOT_CREATE_NEW\n")) << AllTexts();
}

TEST_F(KeyFilesTest, PlainFileWhereTheKeyDirectoryShouldBe_IsReplacedByTheDirectory)
{
    RemoveTree(m_priDir);
    ASSERT_TRUE(WriteFileBytes(m_priDir, "in the way"));
    SetFileAttributesA(m_priDir.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_PATH_CREATED, Open());
    EXPECT_TRUE(FolderExists(m_priDir));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
}

// -- files the block cannot hold ------------------------------------------------------

// The largest text the 65536-byte block holds: index, text and its NUL.
const size_t kLargestText = keyfile::kMaxKeyBytes - keyfile::kIndexBytes - 1;

TEST_F(KeyFilesTest, EveryFileTheBlockCanHoldLoads)
{
    // 60500 and 62964 lie where a capacity rule with slack would refuse them.
    for (size_t textLength : {size_t(60500), size_t(62964), kLargestText}) {
        std::string file = WithCrc(LinesOfLength(textLength));
        ASSERT_EQ(textLength, file.rfind("CRC:"));
        ASSERT_TRUE(WriteFileBytes(m_pri, file));
        ASSERT_TRUE(WriteFileBytes(m_sec, file));
        EXPECT_OUTCOME(PERS_SUCCESS, 0, Open());
        EXPECT_EQ(keyfile::kIndexBytes + textLength, m_shm->GetLength()) << "text of " << textLength;
        EXPECT_EQ(file.substr(0, textLength), BlockText());
        EXPECT_EQ('\0', Block()->text()[textLength]);
    }
}

TEST_F(KeyFilesTest, ValidPrimaryTooLarge_FailsAndLeavesBothFilesAlone)
{
    std::string huge = WithCrc(LinesOfLength(kLargestText + 1));
    ASSERT_TRUE(WriteFileBytes(m_pri, huge));
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_MAX_KEY_SIZE_REACHED, Open());
    EXPECT_EQ(0u, m_shm->GetLength());
    EXPECT_EQ(huge, ReadFileBytes(m_pri));
    EXPECT_FALSE(FileOrFolderExists(m_sec)) << "no secondary may be made from a key that was not loaded";
    EXPECT_EQ(1u, CountText("PERS_FAILED_MAX_KEY_SIZE_REACHED\n")) << AllTexts();
    bool asserted = false;
    for (const std::string& t : m_debug.Texts())
        asserted = asserted || t.rfind("ZEL_ASSERT Failed in file Software\\Retenta\\Retenta, line ", 0) == 0;
    EXPECT_TRUE(asserted) << AllTexts();
}

TEST_F(KeyFilesTest, ValidSecondaryTooLarge_FailsAndLeavesBothFilesAlone)
{
    std::string huge = WithCrc(LinesOfLength(kLargestText + 1));
    ASSERT_TRUE(WriteFileBytes(m_pri, "damaged"));
    ASSERT_TRUE(WriteFileBytes(m_sec, huge));
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_MAX_KEY_SIZE_REACHED, Open());
    EXPECT_EQ("damaged", ReadFileBytes(m_pri));
    EXPECT_EQ(huge, ReadFileBytes(m_sec));

    SetPaths(m_root + "\\Pri\\New", m_sec);
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_MAX_KEY_SIZE_REACHED, Open());
    EXPECT_FALSE(FileOrFolderExists(m_pri));
    EXPECT_EQ(huge, ReadFileBytes(m_sec));
}

TEST_F(KeyFilesTest, FailedOpen_ReleasesTheLockForTheNextOpener)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, WithCrc(LinesOfLength(kLargestText + 1))));
    std::string name = UniqueName("c:/kftest/shared");
    SharedMemory first, second;
    ASSERT_EQ(S_OK, first.Create(name.c_str(), 1, 4096));
    ASSERT_TRUE(first.LockWrite(1000));
    EXPECT_OUTCOME(PERS_FAILED, PERS_FAILED_MAX_KEY_SIZE_REACHED, OpenKeyWithRecovery(m_paths, first));
    ASSERT_EQ(S_OK, second.Create(name.c_str(), 1, 4096));
    EXPECT_TRUE(second.LockWrite(0));
    EXPECT_EQ(0u, second.GetLength());
    second.UnlockWrite(0);
}

// ---- the save ----------------------------------------------------------------------

TEST_F(KeyFilesTest, Save_WritesBothFilesByteForByte)
{
    EXPECT_OUTCOME(PERS_SUCCESS, 0, SaveKeyFiles(m_paths, kLoggerLines, 128));
    EXPECT_EQ(Visible(kLoggerFile), Visible(ReadFileBytes(m_pri)));
    EXPECT_EQ(Visible(kLoggerFile), Visible(ReadFileBytes(m_sec)));

    EXPECT_OUTCOME(PERS_SUCCESS, 0, SaveKeyFiles(m_paths, "", 0));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_sec));
    m_debug.Flush();
    EXPECT_TRUE(m_debug.Texts().empty()) << AllTexts();
}

TEST_F(KeyFilesTest, Save_PrimaryUnwritableButReplaceable_UsesTheBackup)
{
    // A directory under the primary's name: it cannot be written, and the
    // copy's third attempt removes it.
    CreateDirectoryA(m_pri.c_str(), nullptr);
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP, SaveKeyFiles(m_paths, kLoggerLines, 128));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
    m_debug.Flush();
    EXPECT_EQ(1u, CountText("PERS_PRIMARY_INVALID_USING_BACKUP\n")) << AllTexts();
}

TEST_F(KeyFilesTest, Save_ReadOnlyPrimary_UsesTheBackupAndClearsTheAttribute)
{
    if (!ReadOnlyIsEnforced(m_root))
        GTEST_SKIP() << "read-only files stay writable here (root under Wine): run without cap_dac_override";
    ASSERT_TRUE(WriteFileBytes(m_pri, kEmptyFile));
    SetFileAttributesA(m_pri.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_OUTCOME(PERS_SUCCESS_INFO, PERS_PRIMARY_INVALID_USING_BACKUP, SaveKeyFiles(m_paths, kLoggerLines, 128));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    EXPECT_FALSE(GetFileAttributesA(m_pri.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(KeyFilesTest, Save_PrimaryHeldOpen_IsAFailedSaveNotABackupSuccess)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kEmptyFile));
    {
        HeldFile other(m_pri, 0);
        ASSERT_TRUE(other.Held());
        EXPECT_OUTCOME(PERS_FAILED, PERS_KEY_CLOSED_SAVE_FAILED, SaveKeyFiles(m_paths, kLoggerLines, 128));
    }
    EXPECT_EQ(kEmptyFile, ReadFileBytes(m_pri));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(m_sec));
    m_debug.Flush();
    EXPECT_EQ(1u, CountText("PERS_KEY_CLOSED_SAVE_FAILED\n")) << AllTexts();
    EXPECT_EQ(0u, CountText("PERS_PRIMARY_INVALID_USING_BACKUP\n")) << AllTexts();
}

TEST_F(KeyFilesTest, Save_NeitherFileWritable_Fails)
{
    ASSERT_TRUE(WriteFileBytes(m_pri, kEmptyFile));
    ASSERT_TRUE(WriteFileBytes(m_sec, kEmptyFile));
    HeldFile a(m_pri, 0), b(m_sec, 0);
    ASSERT_TRUE(a.Held() && b.Held());
    EXPECT_OUTCOME(PERS_FAILED, PERS_KEY_CLOSED_SAVE_FAILED, SaveKeyFiles(m_paths, kLoggerLines, 128));
    m_debug.Flush();
    EXPECT_EQ(0u, CountText("Retenta CopyFile failed, GetLastError = 32\n")) << "nothing to copy: " << AllTexts();
}

// ---- the robust copy ---------------------------------------------------------------

class FileCopyTest : public KeyFilesTest {
protected:
    std::string Source()
    {
        std::string source = m_root + "\\source.txt";
        EXPECT_TRUE(WriteFileBytes(source, kLoggerFile));
        return source;
    }
};

TEST_F(FileCopyTest, PlainCopy_SucceedsFirstTimeSilently)
{
    std::string dest = m_root + "\\dest.txt";
    ASSERT_TRUE(WriteFileBytes(dest, "old"));
    EXPECT_TRUE(FileCopy(dest.c_str(), Source().c_str()));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(dest));
    m_debug.Flush();
    EXPECT_TRUE(m_debug.Texts().empty()) << AllTexts();
}

TEST_F(FileCopyTest, HeldDestination_FailsAllFourAttemptsWithTheirTexts)
{
    std::string dest = m_root + "\\held.txt";
    ASSERT_TRUE(WriteFileBytes(dest, "old"));
    std::string source = Source();
    {
        HeldFile other(dest, 0);
        ASSERT_TRUE(other.Held());
        EXPECT_FALSE(FileCopy(dest.c_str(), source.c_str()));
    }
    m_debug.Flush();
    std::vector<std::string> texts = m_debug.Texts();
    EXPECT_EQ(4u, CountText("Retenta CopyFile failed, GetLastError = 32\n")) << AllTexts();
    EXPECT_EQ(1u, CountText("Retenta DeleteFile failed, GetLastError = 32\n")) << AllTexts();
    size_t removes = 0, moves = 0;
    std::string movePrefix = "Retenta MoveFile (rename from " + dest + " to " + dest;
    for (const std::string& t : texts) {
        if (t.rfind("Retenta RemoveDirectory failed, GetLastError = ", 0) == 0) ++removes;
        if (t.rfind(movePrefix, 0) == 0) {
            ++moves;
            std::string rest = t.substr(movePrefix.size());
            ASSERT_GE(rest.size(), 14u);
            EXPECT_EQ(std::string::npos, rest.substr(0, 14).find_first_not_of("0123456789")) << t;
            EXPECT_EQ(") failed, GetLastError = 32\n", rest.substr(14)) << t;
        }
    }
    EXPECT_EQ(1u, removes) << AllTexts();
    EXPECT_EQ(1u, moves) << AllTexts();
    EXPECT_EQ("old", ReadFileBytes(dest));
}

TEST_F(FileCopyTest, NonEmptyDirectoryInTheWay_IsMovedAsideByTheLastAttempt)
{
    std::string dest = m_root + "\\dest";
    CreateDirectoryA(dest.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(dest + "\\inside.txt", "keep me"));
    EXPECT_TRUE(FileCopy(dest.c_str(), Source().c_str()));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(dest));
    // The directory lives on under its own name plus the UTC time.
    WIN32_FIND_DATAA found;
    ASSERT_TRUE(UniqueFind().First((dest + "2*").c_str(), &found));
    EXPECT_EQ(std::strlen("dest") + 14, std::strlen(found.cFileName)) << found.cFileName;
    EXPECT_EQ("keep me", ReadFileBytes(m_root + "\\" + found.cFileName + "\\inside.txt"));
    m_debug.Flush();
    EXPECT_EQ(3u, CountText("Retenta CopyFile failed, GetLastError = 5\n")) << AllTexts();
}

TEST_F(FileCopyTest, NameWithNoRoomForTheTimeSuffix_RenamesToAnEmptyName)
{
    // Names of 245 characters take the suffix (259 in all); 246 do not.
    std::string dir = m_root;
    while (dir.size() < 200) {
        dir += "\\" + std::string(40, 'd');
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    ASSERT_TRUE(FolderExists(dir)) << dir;
    std::string source = Source();
    for (size_t length : {size_t(245), size_t(246)}) {
        std::string dest = dir + "\\" + std::string(length - dir.size() - 1, 'f');
        ASSERT_EQ(length, dest.size());
        ASSERT_TRUE(WriteFileBytes(dest, "old"));
        m_debug.Clear();
        {
            HeldFile other(dest, 0);
            ASSERT_TRUE(other.Held());
            EXPECT_FALSE(FileCopy(dest.c_str(), source.c_str()));
        }
        m_debug.Flush();
        std::string prefix = "Retenta MoveFile (rename from " + dest + " to ";
        bool seen = false;
        for (const std::string& t : m_debug.Texts()) {
            if (t.rfind(prefix, 0) != 0) continue;
            seen = true;
            std::string target = t.substr(prefix.size(), t.find(") failed") - prefix.size());
            if (length == 245)
                EXPECT_EQ(259u, target.size()) << t;
            else
                EXPECT_EQ("", target) << t;
        }
        EXPECT_TRUE(seen) << AllTexts();
        DeleteFileA(dest.c_str());
    }
}

TEST_F(FileCopyTest, ReadOnlyDestination_IsClearedBySecondAttempt)
{
    if (!ReadOnlyIsEnforced(m_root))
        GTEST_SKIP() << "read-only files stay writable here (root under Wine): run without cap_dac_override";
    std::string dest = m_root + "\\readonly.txt";
    ASSERT_TRUE(WriteFileBytes(dest, "old"));
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(FileCopy(dest.c_str(), Source().c_str()));
    EXPECT_EQ(kLoggerFile, ReadFileBytes(dest));
    m_debug.Flush();
    EXPECT_EQ(1u, CountText("Retenta CopyFile failed, GetLastError = 5\n")) << AllTexts();
}

// ---- directories ------------------------------------------------------------------

TEST_F(KeyFilesTest, CreateDirectoryPath_MakesEveryMissingLevel)
{
    std::string path = m_root + "\\A\\B\\C";
    EXPECT_TRUE(CreateDirectoryPath(path.c_str()));
    EXPECT_TRUE(FolderExists(path));
    EXPECT_TRUE(IsDirectory(path.c_str()));
    EXPECT_TRUE(CreateDirectoryPath(path.c_str())) << "an existing directory is fine";

    std::string doubled = m_root + "\\\\D\\\\E\\";
    EXPECT_TRUE(CreateDirectoryPath(doubled.c_str()));
    EXPECT_TRUE(FolderExists(m_root + "\\D\\E"));
}

TEST_F(KeyFilesTest, CreateDirectoryPath_ReplacesAPlainFileInTheWay)
{
    std::string file = m_root + "\\A";
    ASSERT_TRUE(WriteFileBytes(file, "in the way"));
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(CreateDirectoryPath((file + "\\B").c_str()));
    EXPECT_TRUE(FolderExists(m_root + "\\A\\B"));
    EXPECT_FALSE(IsDirectory((m_root + "\\missing").c_str()));
}

// ---- the store's debug voice -------------------------------------------------------

TEST_F(KeyFilesTest, DetailTexts_NamedCodesSpeakAndSilentOnesDoNot)
{
    EXPECT_STREQ("PERS_FAILED_BAD_KEYNAME", DetailText(PERS_FAILED_BAD_KEYNAME));
    EXPECT_STREQ("PERS_FAILED_PATH_TOO_LONG", DetailText(PERS_FAILED_PATH_TOO_LONG));
    EXPECT_STREQ("PERS_PRIMARY_INVALID_USING_BACKUP", DetailText(PERS_PRIMARY_INVALID_USING_BACKUP));
    for (DWORD silent : {PERS_KEY_CREATED_NEW, PERS_VALUE_CREATED, PERS_PATH_CREATED, PERS_VALUE_STRING_TRUNCATED})
        EXPECT_EQ(nullptr, DetailText(silent)) << std::hex << silent;
    EXPECT_EQ(nullptr, DetailText(0x2014));

    ReportDetail(PERS_VALUE_CREATED);
    DWORD silentSet = GetLastError();
    ReportDetail(PERS_FAILED_BAD_SUBDIR);
    DWORD namedSet = GetLastError();
    SetLastError(0xdeadbeef);
    StoreAssertFailed(1234);
    DWORD afterAssert = GetLastError();
    EXPECT_EQ(static_cast<DWORD>(PERS_VALUE_CREATED), silentSet);
    EXPECT_EQ(static_cast<DWORD>(PERS_FAILED_BAD_SUBDIR), namedSet);
    EXPECT_EQ(0xdeadbeefu, afterAssert) << "the debug output must not disturb the last-error value";
    m_debug.Flush();
    std::vector<std::string> expected = {"PERS_FAILED_BAD_SUBDIR\n",
                                         "ZEL_ASSERT Failed in file Software\\Retenta\\Retenta, line 1234\n"};
    EXPECT_EQ(expected, m_debug.Texts()) << AllTexts();
}

} // namespace
