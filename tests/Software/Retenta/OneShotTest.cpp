// The one-shot accessors: open, one operation, close, and the merged result.
#include <cstring>
#include <string>

#include "StoreTestSupport.h"

namespace {

class OneShot : public StoreTest {};

TEST_F(OneShot, AWriteToANewKeyReportsTheNewKey)
{
    OnThread([&] {
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneDW("Sub", "NewDW", 1000, "V", 5)));
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneString("Sub", "NewString", -1, "S", "text")));
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneBool("Sub", "NewBool", 1000, "B", 1)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "NewDW"), Sec("Sub", "NewDW"), KeyFile("\"V\"=dword:5\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "NewString"), Sec("Sub", "NewString"), KeyFile("\"S\"=string:\"text\"\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "NewBool"), Sec("Sub", "NewBool"), KeyFile("\"B\"=bool:1\r\n"));
}

TEST_F(OneShot, WritesToAnExistingKey)
{
    PlaceKey("Sub", "Key", "\"Old\"=dword:1\r\n");
    OnThread([&] {
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistOneString("Sub", "Key", 1000, "Name", "first")));
        EXPECT_EQ(Success(), Got(PersistOneString("Sub", "Key", 1000, "Name", "second")));
        EXPECT_EQ(Success(), Got(PersistOneDW("Sub", "Key", 1000, "Old", 2)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(PersistOneBool("Sub", "Key", 1000, "Old", 1)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Key"), Sec("Sub", "Key"),
                     KeyFile("\"Name\"=string:\"second\"\r\n"
                             "\"Old\"=dword:2\r\n"));
}

TEST_F(OneShot, ANewKeyOutranksAnyRemarkOfTheOperation)
{
    OnThread([&] {
        char buffer[4];
        unsigned long dw = 0;
        int b = 0;
        // Reads with a default on new keys: created value, cut string, both
        // give way to the new key.
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW),
                  Got(GetOnePersistedString("Sub", "S1", 1000, "Label", sizeof buffer, buffer, "abcdef")));
        EXPECT_STREQ("abc", buffer);
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(GetOnePersistedDW("Sub", "D1", 1000, "Count", &dw, 7)));
        EXPECT_EQ(7UL, dw);
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(GetOnePersistedBool("Sub", "B1", 1000, "On", &b, 1)));
        EXPECT_EQ(1, b);
        // A failed operation is reported as such, though the key was made.
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG),
                  Got(PersistOneString("Sub", "S2", 1000, "Big", std::string(1025, 'x').c_str())));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetOnePersistedDW("Sub", "D2", 1000, "N", &dw)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "S1"), Sec("Sub", "S1"), KeyFile("\"Label\"=string:\"abcdef\"\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "D1"), Sec("Sub", "D1"), KeyFile("\"Count\"=dword:7\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "B1"), Sec("Sub", "B1"), KeyFile("\"On\"=bool:1\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "S2"), Sec("Sub", "S2"), std::string("CRC:0\r\n"));
    EXPECT_KEY_FILES(Pri("Sub", "D2"), Sec("Sub", "D2"), std::string("CRC:0\r\n"));
}

TEST_F(OneShot, ANewDirectoryOnASeparateBackupDrive)
{
    if (!DriveExists('e')) GTEST_SKIP() << "drive E: is not mapped";
    m_backupDrive->Set("E");
    OnThread([&] {
        EXPECT_EQ(Info(PERS_PATH_CREATED), Got(PersistOneDW("NewSub", "Key", 1000, "V", 1)));
        unsigned long v = 0;
        EXPECT_EQ(Info(PERS_PATH_CREATED), Got(GetOnePersistedDW("OtherSub", "Key", 1000, "V", &v, 3)));
    });
    EXPECT_EQ(KeyFile("\"V\"=dword:1\r\n"), ReadFileBytes(Pri("NewSub", "Key")));
    EXPECT_EQ(KeyFile("\"V\"=dword:1\r\n"), ReadFileBytes(m_dir->OnDrive('e') + "\\NewSub\\Key.sec"));
    EXPECT_EQ(KeyFile("\"V\"=dword:3\r\n"), ReadFileBytes(m_dir->OnDrive('e') + "\\OtherSub\\Key.sec"));
}

TEST_F(OneShot, ANewDirectoryBesideItsBackupIsANewKey)
{
    // The secondary's directory is the key directory itself and is made first.
    OnThread([&] { EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneDW("NewSub", "Key", 1000, "V", 1))); });
    EXPECT_KEY_FILES(Pri("NewSub", "Key"), Sec("NewSub", "Key"), KeyFile("\"V\"=dword:1\r\n"));
}

TEST_F(OneShot, ReadsWithoutDefaultTouchNothing)
{
    PlaceKey("Sub", "Key", "\"Kept\"=dword:1\r\n");
    const std::string marker = KeyFile("\"Marker\"=bool:1\r\n");
    OnThread([&] {
        unsigned long dw = 0;
        int b = 0;
        // The first call loads the key; it stays with the thread, so files
        // replaced now show whether a later call writes.
        EXPECT_EQ(Success(), Got(GetOnePersistedDW("Sub", "Key", 1000, "Kept", &dw)));
        EXPECT_EQ(1UL, dw);
        ASSERT_TRUE(WriteFileBytes(Pri("Sub", "Key"), marker));
        ASSERT_TRUE(WriteFileBytes(Sec("Sub", "Key"), marker));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetOnePersistedDW("Sub", "Key", 1000, "No", &dw)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED),
                  Got(GetOnePersistedBool("Sub", "Key", 1000, "No", &b)));
        char buffer[8];
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED),
                  Got(GetOnePersistedString("Sub", "Key", 1000, "No", sizeof buffer, buffer, nullptr)));
        EXPECT_KEY_FILES(Pri("Sub", "Key"), Sec("Sub", "Key"), marker);
        // The no-default flag is gone after each call.
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetOnePersistedDW("Sub", "Key", 1000, "Made", &dw, 3)));
        EXPECT_EQ(3UL, dw);
    });
    EXPECT_KEY_FILES(Pri("Sub", "Key"), Sec("Sub", "Key"),
                     KeyFile("\"Kept\"=dword:1\r\n"
                             "\"Made\"=dword:3\r\n"));
}

TEST_F(OneShot, AFailedOpenClearsTheNoDefaultFlag)
{
    OnThread([&] {
        unsigned long dw = 0;
        int b = 0;
        EXPECT_EQ(Failed(PERS_FAILED_BAD_KEYNAME), Got(GetOnePersistedDW("Sub", "", 1000, "N", &dw)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_SUBDIR), Got(GetOnePersistedBool("", "Key", 1000, "N", &b)));
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Key", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedDW("N", &dw, 4, 1000)));
        EXPECT_EQ(4UL, dw);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedBool("B", &b, 1, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Key"), Sec("Sub", "Key"),
                     KeyFile("\"B\"=bool:1\r\n"
                             "\"N\"=dword:4\r\n"));
}

TEST_F(OneShot, AStringLongerThanTheBufferIsCut)
{
    PlaceKey("Sub", "Key", "\"Ten\"=string:\"0123456789\"\r\n");
    OnThread([&] {
        char buffer[5];
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED),
                  Got(GetOnePersistedString("Sub", "Key", 1000, "Ten", sizeof buffer, buffer, "x")));
        EXPECT_STREQ("0123", buffer);
        char whole[16];
        EXPECT_EQ(Success(), Got(GetOnePersistedString("Sub", "Key", 1000, "Ten", sizeof whole, whole, nullptr)));
        EXPECT_STREQ("0123456789", whole);
    });
}

TEST_F(OneShot, AOneShotCallEndsTheCurrentKey)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "First", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("X", 1, 1000)));
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneDW("Sub", "Second", 1000, "Y", 2)));
        // The first key's change was saved on the way.
        EXPECT_EQ(KeyFile("\"X\"=dword:1\r\n"), ReadFileBytes(Pri("Sub", "First")));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("Z", 3, 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetOnePersistedDW("Sub", "First", 1000, "X", &v)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(GetPersistedDW("X", &v)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Second"), Sec("Sub", "Second"), KeyFile("\"Y\"=dword:2\r\n"));
}

TEST_F(OneShot, AFailedSaveIsReportedAndKeptForLater)
{
    PlaceKey("Sub", "Busy", "\"A\"=dword:1\r\n");
    OnThread([&] {
        unsigned long a = 0;
        ASSERT_EQ(Success(), Got(GetOnePersistedDW("Sub", "Busy", 1000, "A", &a)));   // loaded before the files are held
        HANDLE primary = CreateFileA(Pri("Sub", "Busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE secondary = CreateFileA(Sec("Sub", "Busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, primary);
        ASSERT_NE(INVALID_HANDLE_VALUE, secondary);
        EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(PersistOneDW("Sub", "Busy", 1000, "A", 2)));
        EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(PersistOneBool("Sub", "Busy", 1000, "B", 1)));
        CloseHandle(primary);
        CloseHandle(secondary);
        EXPECT_EQ(KeyFile("\"A\"=dword:1\r\n"), ReadFileBytes(Pri("Sub", "Busy")));
        // Both changes are still with the key; the next close saves them.
        EXPECT_EQ(Success(), Got(ClosePersistKey()));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"),
                     KeyFile("\"A\"=dword:2\r\n"
                             "\"B\"=bool:1\r\n"));
}

} // namespace
