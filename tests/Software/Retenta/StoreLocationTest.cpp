// Where the key files live: the base path from an argument or the registry,
// and the backup directory on the drive "PersistBkupDrive" names.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DbwinCapture.h"
#include "KeyFiles.h"
#include "Retenta.h"
#include "StoreLocation.h"
#include "TestFiles.h"

namespace {

const char kNoPersistPathText[] = "Retenta: couldn't read PersistPath - will use cwd\n";

// One value under HKCU\SOFTWARE\Corvane, put back as it was when the guard ends.
class CorvaneSetting {
public:
    explicit CorvaneSetting(const char* name) : m_name(name)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Corvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr);
        DWORD size = 0;
        if (RegQueryValueExA(m_key, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            m_had = RegQueryValueExA(m_key, name, nullptr, &m_type, m_old.data(), &size) == ERROR_SUCCESS;
        }
    }
    ~CorvaneSetting()
    {
        if (m_had)
            RegSetValueExA(m_key, m_name.c_str(), 0, m_type, m_old.data(), static_cast<DWORD>(m_old.size()));
        else
            RegDeleteValueA(m_key, m_name.c_str());
        RegCloseKey(m_key);
    }
    void Set(const std::string& value)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, m_name.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(value.c_str()),
                                                static_cast<DWORD>(value.size() + 1)));
    }
    void Remove() { RegDeleteValueA(m_key, m_name.c_str()); }

private:
    std::string       m_name;
    HKEY              m_key = nullptr;
    bool              m_had = false;
    DWORD             m_type = REG_SZ;
    std::vector<BYTE> m_old;
};

std::string BasePath()
{
    char base[kPathChars + 1];
    CopyBasePath(base, sizeof base);
    return base;
}

bool DriveMapped(char letter)
{
    return (GetLogicalDrives() >> (letter - 'a')) & 1;
}

class StoreLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = MakeTempFolder("sl");
        ASSERT_TRUE(m_debug.Active()) << "another debug-output reader is running";
    }
    void TearDown() override
    {
        RemoveTree(m_dir);
        for (const std::string& extra : m_cleanup) RemoveTree(extra);
    }

    // How many times `text` was written; waits first for what is still on its way.
    size_t Said(const std::string& text)
    {
        EXPECT_TRUE(m_debug.Flush()) << "the debug output did not arrive";
        return m_debug.Count(text);
    }

    std::string AllTexts()
    {
        m_debug.Flush();
        std::string all;
        for (const std::string& t : m_debug.Texts()) all += "[" + t + "] ";
        return all;
    }

    // Destroyed last, after the settings below are put back: the process
    // returns to the base path it started with.
    struct BasePathReset {
        ~BasePathReset() { SetPersistBasePath(nullptr); }
    } m_basePathReset;
    std::string m_dir;
    std::vector<std::string> m_cleanup;
    DbwinCapture m_debug;
    CorvaneSetting m_persistPath{"PersistPath"};
    CorvaneSetting m_dataPath{"DataPath"};
    CorvaneSetting m_backupDrive{"PersistBkupDrive"};
};

// ---- the base path ---------------------------------------------------------------

TEST_F(StoreLocationTest, ExistingDirectoryArgument_WinsOverTheRegistry)
{
    m_persistPath.Set("C:\\Data");
    EXPECT_TRUE(SetPersistBasePath(m_dir.c_str()));
    EXPECT_EQ(m_dir + "\\", BasePath());

    // Written with its backslash, as D:\Test\ is: taken as written.
    std::string withSlash = m_dir + "\\";
    EXPECT_TRUE(SetPersistBasePath(withSlash.c_str()));
    EXPECT_EQ(withSlash, BasePath());
    EXPECT_EQ(0u, Said(kNoPersistPathText)) << AllTexts();
}

TEST_F(StoreLocationTest, ArgumentThatIsNoDirectory_FallsBackToPersistPath)
{
    m_persistPath.Set("C:\\Data");
    std::string file = m_dir + "\\plain.txt";
    ASSERT_TRUE(WriteFileBytes(file, ""));
    std::string pattern = m_dir + "\\*";
    std::string missing = m_dir + "\\missing\\";
    for (const char* path : {missing.c_str(), file.c_str(), pattern.c_str(), "", static_cast<const char*>(nullptr)}) {
        SetPersistBasePath(m_dir.c_str());
        EXPECT_TRUE(SetPersistBasePath(path)) << (path ? path : "(null)");
        EXPECT_EQ("C:\\Data\\", BasePath()) << (path ? path : "(null)");
    }
    EXPECT_EQ(0u, Said(kNoPersistPathText)) << AllTexts();
}

TEST_F(StoreLocationTest, WithoutPersistPath_DataPathIsUsedAndTheFallbackIsSaid)
{
    m_persistPath.Remove();
    m_dataPath.Set("D:\\UnitData\\");
    EXPECT_TRUE(SetPersistBasePath(nullptr));
    EXPECT_EQ("D:\\UnitData\\", BasePath());
    EXPECT_EQ(1u, Said(kNoPersistPathText)) << AllTexts();

    // A value longer than the 260-byte buffer cannot be read either.
    m_persistPath.Set("C:\\" + std::string(300, 'p'));
    EXPECT_TRUE(SetPersistBasePath(nullptr));
    EXPECT_EQ("D:\\UnitData\\", BasePath());
    EXPECT_EQ(2u, Said(kNoPersistPathText)) << AllTexts();
}

TEST_F(StoreLocationTest, NeitherValue_LeavesTheCurrentDirectory)
{
    m_persistPath.Remove();
    m_dataPath.Remove();
    EXPECT_FALSE(SetPersistBasePath(nullptr));
    EXPECT_EQ("", BasePath());
    EXPECT_EQ(1u, Said(kNoPersistPathText)) << AllTexts();
}

TEST_F(StoreLocationTest, PathLengthsAtTheBufferEdge)
{
    // 259 characters and the NUL fill the 260-byte buffer; the backslash
    // then makes 260 characters.
    std::string longest = "C:\\" + std::string(256, 'q');
    m_persistPath.Set(longest);
    EXPECT_TRUE(SetPersistBasePath(nullptr));
    EXPECT_EQ(longest + "\\", BasePath());

    m_persistPath.Set(longest + "r");   // 260 characters: no room for the NUL
    m_dataPath.Set("C:\\Fallback");
    EXPECT_TRUE(SetPersistBasePath(nullptr));
    EXPECT_EQ("C:\\Fallback\\", BasePath());
}

TEST_F(StoreLocationTest, ConcurrentSetAndCopy_NeverSeeAHalfWrittenPath)
{
    const std::string a = m_dir + "\\";
    CreateDirectoryA((m_dir + "\\other-directory-of-another-length").c_str(), nullptr);
    const std::string b = m_dir + "\\other-directory-of-another-length\\";
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread setter([&] {
        for (int i = 0; i < 300; ++i) SetPersistBasePath((i % 2 ? a : b).c_str());
        stop = true;
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                std::string seen = BasePath();
                if (seen != a && seen != b && !seen.empty()) ++torn;
            }
        });
    }
    setter.join();
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(0, torn.load());
}

// ---- the backup directory ----------------------------------------------------------

TEST_F(StoreLocationTest, NoBackupDrive_KeepsTheKeyDirectoryAndCreatesIt)
{
    m_backupDrive.Remove();
    std::string keyDir = m_dir + "\\ShellPersist\\MFD Configuration";
    char letter = 0;
    char out[kPathChars + 1];
    ASSERT_TRUE(BackupDirectory(keyDir.c_str(), &letter, out, sizeof out));
    EXPECT_EQ(keyDir, out);
    EXPECT_EQ(keyDir[0], letter);
    EXPECT_TRUE(IsDirectory(keyDir.c_str()));
}

TEST_F(StoreLocationTest, BackupDriveOfAMappedDrive_MovesTheSecondaryThere)
{
    if (!DriveMapped('e')) GTEST_SKIP() << "drive E: is not mapped in this prefix";
    std::string top = UniqueName("bk");
    std::string keyDir = "C:\\" + top + "\\ShellPersist";
    m_cleanup.push_back("e:\\" + top);
    m_backupDrive.Set("E");
    char letter = 0;
    char out[kPathChars + 1];
    ASSERT_TRUE(BackupDirectory(keyDir.c_str(), &letter, out, sizeof out));
    EXPECT_EQ("e:\\" + top + "\\ShellPersist", std::string(out));
    EXPECT_EQ('e', letter);
    EXPECT_TRUE(IsDirectory(out));

    // The letter is the thread's from then on, whatever the registry says.
    m_backupDrive.Remove();
    ASSERT_TRUE(BackupDirectory(keyDir.c_str(), &letter, out, sizeof out));
    EXPECT_EQ('e', out[0]);
}

TEST_F(StoreLocationTest, BackupDriveThatDoesNotExist_IsIgnored)
{
    if (DriveMapped('q')) GTEST_SKIP() << "drive Q: exists in this prefix";
    m_backupDrive.Set("Q:\\");
    std::string keyDir = m_dir + "\\ShellPersist";
    char letter = 0;
    char out[kPathChars + 1];
    ASSERT_TRUE(BackupDirectory(keyDir.c_str(), &letter, out, sizeof out));
    EXPECT_EQ(keyDir, out);
    EXPECT_EQ(keyDir[0], letter);
}

TEST_F(StoreLocationTest, KeyDirectoryWithoutDriveLetter_KeepsTheSecondaryBeside)
{
    if (!DriveMapped('e')) GTEST_SKIP() << "drive E: is not mapped in this prefix";
    m_backupDrive.Set("E");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(m_dir.c_str()));
    char letter = 0;
    char out[kPathChars + 1];
    bool made = BackupDirectory("ShellPersist\\Sub", &letter, out, sizeof out);
    bool created = IsDirectory((m_dir + "\\ShellPersist\\Sub").c_str());
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(made);
    EXPECT_STREQ("ShellPersist\\Sub", out);
    EXPECT_EQ(0, letter) << "the thread's drive waits for a key directory that has one";
    EXPECT_TRUE(created);
}

TEST_F(StoreLocationTest, BackupDirectoryThatDoesNotFit_IsRefused)
{
    std::string keyDir = m_dir + "\\ShellPersist";
    char letter = 0;
    char out[16];
    EXPECT_FALSE(BackupDirectory(keyDir.c_str(), &letter, out, sizeof out));
    EXPECT_STREQ("", out);
}

} // namespace
