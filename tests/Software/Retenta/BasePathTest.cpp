// Where the store puts its files: the base path from the argument, the
// registry or the current directory, and the secondary on the backup drive.
#include <string>
#include <vector>

#include "StoreTestSupport.h"

namespace {

const char kNoPersistPathText[] = "Retenta: couldn't read PersistPath - will use cwd\n";

class BasePath : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        m_persistPath = new CorvaneValue("PersistPath");
        m_dataPath = new CorvaneValue("DataPath");
        m_persistPath->Remove();
        m_dataPath->Remove();
    }
    void TearDown() override
    {
        delete m_dataPath;
        delete m_persistPath;
        StoreTest::TearDown();
    }

    // A directory of the test, "D:\rt-1-2\<name>" (no trailing backslash).
    std::string MakeDir(const std::string& name) const
    {
        std::string dir = m_dir->Path() + "\\" + name;
        CreateDirectoryA(dir.c_str(), nullptr);
        return dir;
    }
    // Opens and closes Sub\Key on a fresh thread.
    static void OpenKey()
    {
        OnThread([] {
            long result = OpenPersistKey("Sub", "Key", 1000);
            EXPECT_NE(PERS_FAILED, result) << GetLastError();
            EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        });
    }

    CorvaneValue* m_persistPath = nullptr;
    CorvaneValue* m_dataPath = nullptr;
};

TEST_F(BasePath, AnExistingDirectoryArgumentIsTheBase)
{
    std::string plain = MakeDir("Plain");
    std::string slashed = MakeDir("Slashed");
    m_persistPath->Set(MakeDir("Registry"));

    EXPECT_TRUE(SetPersistBasePath(plain.c_str()));
    OpenKey();
    EXPECT_EQ("CRC:0\r\n", ReadFileBytes(plain + "\\Sub\\Key.pri"));
    EXPECT_EQ("CRC:0\r\n", ReadFileBytes(plain + "\\Sub\\Key.sec"));

    EXPECT_TRUE(SetPersistBasePath((slashed + "\\").c_str()));
    OpenKey();
    EXPECT_TRUE(FileExists(slashed + "\\Sub\\Key.pri"));
    EXPECT_FALSE(FileExists(m_dir->Path() + "\\Registry\\Sub\\Key.pri"));
}

TEST_F(BasePath, ArgumentThatIsNoDirectoryFallsBackToPersistPath)
{
    std::string registry = MakeDir("Registry");
    m_persistPath->Set(registry);   // without a trailing backslash
    ASSERT_TRUE(WriteFileBytes(m_dir->Path() + "\\AFile", "x"));

    EXPECT_TRUE(SetPersistBasePath((m_dir->Path() + "\\Missing").c_str()));
    OpenKey();
    EXPECT_TRUE(FileExists(registry + "\\Sub\\Key.pri"));
    RemoveTree(registry + "\\Sub");

    EXPECT_TRUE(SetPersistBasePath((m_dir->Path() + "\\AFile").c_str()));
    OpenKey();
    EXPECT_TRUE(FileExists(registry + "\\Sub\\Key.pri"));
    RemoveTree(registry + "\\Sub");

    EXPECT_TRUE(SetPersistBasePath(nullptr));
    OpenKey();
    EXPECT_TRUE(FileExists(registry + "\\Sub\\Key.pri"));
    EXPECT_FALSE(FolderExists(m_dir->Path() + "\\Missing"));
}

TEST_F(BasePath, DataPathWhenPersistPathCannotBeRead)
{
    std::string data = MakeDir("Data");
    m_dataPath->Set(data + "\\");
    std::vector<std::string> texts = TextsDuring([] { EXPECT_TRUE(SetPersistBasePath(nullptr)); });
    EXPECT_EQ(std::vector<std::string>{kNoPersistPathText}, texts);
    OpenKey();
    EXPECT_TRUE(FileExists(data + "\\Sub\\Key.pri"));
    RemoveTree(data + "\\Sub");

    // A value too long for its 260-byte buffer counts as unreadable.
    m_persistPath->Set(MakeDir("Long") + "\\" + std::string(280, 'p'));
    EXPECT_TRUE(SetPersistBasePath(nullptr));
    OpenKey();
    EXPECT_TRUE(FileExists(data + "\\Sub\\Key.pri"));
}

TEST_F(BasePath, CurrentDirectoryWhenNeitherValueCanBeRead)
{
    std::string cwd = MakeDir("Cwd");
    struct CwdGuard {
        char previous[MAX_PATH];
        CwdGuard() { GetCurrentDirectoryA(sizeof previous, previous); }
        ~CwdGuard() { SetCurrentDirectoryA(previous); }
    } guard;
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));

    std::vector<std::string> texts = TextsDuring([] { EXPECT_FALSE(SetPersistBasePath(nullptr)); });
    EXPECT_EQ(std::vector<std::string>{kNoPersistPathText}, texts);
    OpenKey();
    EXPECT_TRUE(FileExists(cwd + "\\Sub\\Key.pri"));
    EXPECT_EQ("CRC:0\r\n", ReadFileBytes(cwd + "\\Sub\\Key.pri"));
}

TEST_F(BasePath, TheSecondaryGoesToTheBackupDrive)
{
    if (!DriveExists('e')) GTEST_SKIP() << "drive E: is not mapped";
    m_backupDrive->Set("E");
    OnThread([&] {
        EXPECT_EQ(Info(PERS_PATH_CREATED), Got(OpenPersistKey("Shell\\Deep", "Key", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("V", 1, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    const std::string expected = KeyFile("\"V\"=dword:1\r\n");
    EXPECT_EQ(expected, ReadFileBytes(m_dir->Path() + "\\Shell\\Deep\\Key.pri"));
    EXPECT_EQ(expected, ReadFileBytes(m_dir->OnDrive('e') + "\\Shell\\Deep\\Key.sec"));
    EXPECT_FALSE(FileExists(m_dir->Path() + "\\Shell\\Deep\\Key.sec"));

    // Only the first character counts.
    m_backupDrive->Set("e:\\");
    OnThread([&] { EXPECT_NE(PERS_FAILED, OpenPersistKey("Sub", "Key", 1000)); });
    EXPECT_TRUE(FileExists(m_dir->OnDrive('e') + "\\Sub\\Key.sec"));
}

TEST_F(BasePath, AMissingBackupDriveIsIgnored)
{
    char missing = 0;
    for (char letter = 'q'; letter <= 'y' && !missing; ++letter)
        if (!DriveExists(letter)) missing = letter;
    ASSERT_NE(0, missing);
    m_backupDrive->Set(std::string(1, static_cast<char>(missing - 'a' + 'A')) + ":\\");
    OnThread([&] { EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", "Key", 1000))); });
    EXPECT_TRUE(FileExists(Pri("Sub", "Key")));
    EXPECT_TRUE(FileExists(Sec("Sub", "Key")));
}

TEST_F(BasePath, TheBackupDriveIsFixedAtTheThreadsFirstOpen)
{
    if (!DriveExists('e')) GTEST_SKIP() << "drive E: is not mapped";
    OnThread([&] {
        EXPECT_NE(PERS_FAILED, OpenPersistKey("Sub", "First", 1000));
        m_backupDrive->Set("E");
        EXPECT_NE(PERS_FAILED, OpenPersistKey("Sub", "Second", 1000));
    });
    EXPECT_TRUE(FileExists(Sec("Sub", "Second")));
    EXPECT_FALSE(FileExists(m_dir->OnDrive('e') + "\\Sub\\Second.sec"));
}

} // namespace
