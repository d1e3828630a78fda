// Opening and closing keys: names and paths, the per-thread key table, what a
// close saves and what a thread that ends without closing leaves behind.
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "KeyFileCheck.h"
#include "FindHandle.h"
#include "SharedMemory.h"
#include "StoreTestSupport.h"

namespace {

class KeyAccess : public StoreTest {
protected:
    bool BaseIsEmpty() const
    {
        WIN32_FIND_DATAA found;
        UniqueFind search;
        if (!search.First((m_dir->Path() + "\\*").c_str(), &found)) return true;
        bool empty = true;
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") empty = false;
        } while (empty && search.Next(&found));
        return empty;
    }
};

// Holds a file open without sharing, as another program writing it would.
class FileHold {
public:
    explicit FileHold(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~FileHold() { Release(); }
    bool Held() const { return m_file != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_file;
};

TEST_F(KeyAccess, BadSubdirectoriesAndKeyNamesAreRefusedBeforeAnyFile)
{
    const std::string sub261(261, 's');
    const std::string key101(101, 'k');
    OnThread([&] {
        EXPECT_EQ(Failed(PERS_FAILED_BAD_SUBDIR), Got(OpenPersistKey("", "Key", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_SUBDIR), Got(OpenPersistKey(nullptr, "Key", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_SUBDIR), Got(OpenPersistKey(sub261.c_str(), "Key", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_SUBDIR), Got(OpenPersistKey("", "", 1000)));   // subdirectory first
        EXPECT_EQ(Failed(PERS_FAILED_BAD_KEYNAME), Got(OpenPersistKey("Sub", "", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_KEYNAME), Got(OpenPersistKey("Sub", nullptr, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_BAD_KEYNAME), Got(OpenPersistKey("Sub", key101.c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 1, 1000)));
    });
    EXPECT_TRUE(BaseIsEmpty());

    const std::string key100(100, 'k');
    OnThread([&] {
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", key100.c_str(), 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_TRUE(FileExists(Pri("Sub", key100)));
}

TEST_F(KeyAccess, PathsLongerThanTheBuffersAreRefused)
{
    // base + subdirectory + "\" + key + ".pri" one character over 260.
    const size_t fixed = Base().size() + 1 + 4;
    const std::string key(60, 'k');
    const std::string subOver(261 - fixed - key.size(), 's');
    ASSERT_EQ(261u, Base().size() + subOver.size() + 1 + key.size() + 4);
    const std::string sub260(260, 's');
    OnThread([&] {
        EXPECT_EQ(Failed(PERS_FAILED_PATH_TOO_LONG), Got(OpenPersistKey(subOver.c_str(), key.c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_PATH_TOO_LONG), Got(OpenPersistKey(sub260.c_str(), "K", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_PATH_TOO_LONG),
                  Got(OpenPersistKey((std::string(150, 'a') + "\\" + std::string(100, 'b')).c_str(),
                                     std::string(100, 'c').c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 1, 1000)));
    });
    EXPECT_TRUE(BaseIsEmpty()) << "a refused open created something";
}

TEST_F(KeyAccess, SameKeyTwiceOnOneThread)
{
    OnThread([&] {
        ASSERT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", "Twice", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("A", 1, 1000)));
        // The second open closes the first, which saves its change.
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Twice", 1000)));
        EXPECT_EQ(KeyFile("\"A\"=dword:1\r\n"), ReadFileBytes(Pri("Sub", "Twice")));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("A", &v)));
        EXPECT_EQ(1UL, v);
        // Another spelling of the same key is the same key.
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("SUB", "twice", 1000)));
        EXPECT_EQ(Success(), Got(GetPersistedDW("a", &v)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
}

TEST_F(KeyAccess, A257thKeyOnOneThreadIsRefused)
{
    OnThread([&] {
        for (int i = 0; i < 256; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "K%03d", i);
            ASSERT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Many", key, 1000))) << key;
        }
        EXPECT_EQ(Failed(PERS_FAILED_SHARED_MEMORY_CREATION), Got(OpenPersistKey("Many", "K256", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 1, 1000)));
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Many", "K000", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("A", 1, 1000)));
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Many", "K255", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_FALSE(FileExists(Pri("Many", "K256")));
    EXPECT_EQ(KeyFile("\"A\"=dword:1\r\n"), ReadFileBytes(Pri("Many", "K000")));
    // A new thread has a table of its own.
    OnThread([&] { EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Many", "K256", 1000))); });
}

TEST_F(KeyAccess, AThreadThatEndsWithoutClosingLeavesTheFiles)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Unclosed", 1000));
        ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("A", 1, 1000)));
        ASSERT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    const std::string saved = KeyFile("\"A\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Unclosed", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("B", "lost", 1000)));
        EXPECT_EQ(Success(), Got(DeleteValue("A", 1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Unclosed"), Sec("Sub", "Unclosed"), saved);
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Unclosed", 1000)));
        unsigned long a = 0;
        char b[8];
        EXPECT_EQ(Success(), Got(GetPersistedDW("A", &a)));
        EXPECT_EQ(1UL, a);
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED),
                  Got(GetPersistedString("B", sizeof b, b, nullptr)));
    });
}

TEST_F(KeyAccess, CloseWithoutChangesWritesNothing)
{
    PlaceKey("Sub", "Read", "\"A\"=dword:1\r\n");
    const std::string marker = KeyFile("\"Marker\"=bool:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Read", 1000)));
        ASSERT_TRUE(WriteFileBytes(Pri("Sub", "Read"), marker));
        ASSERT_TRUE(WriteFileBytes(Sec("Sub", "Read"), marker));
        unsigned long a = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("A", &a, 5, 1000)));
        EXPECT_EQ(1UL, a);   // the store's own copy, not the files
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        EXPECT_KEY_FILES(Pri("Sub", "Read"), Sec("Sub", "Read"), marker);
        // A change is saved over whatever the files hold by then.
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Read", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Read"), Sec("Sub", "Read"), KeyFile("\"A\"=dword:2\r\n"));
}

TEST_F(KeyAccess, AFailedSaveKeepsTheChangesForALaterClose)
{
    PlaceKey("Sub", "Busy", "\"A\"=dword:1\r\n");
    const std::string before = KeyFile("\"A\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Busy", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));
        {
            FileHold primary(Pri("Sub", "Busy"));
            FileHold secondary(Sec("Sub", "Busy"));
            ASSERT_TRUE(primary.Held() && secondary.Held());
            EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
            // Still the current key, still changed.
            unsigned long a = 0;
            EXPECT_EQ(Success(), Got(GetPersistedDW("A", &a)));
            EXPECT_EQ(2UL, a);
            EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
        }
        EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"), before);
        EXPECT_EQ(Success(), Got(ClosePersistKey()));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 3, 1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"), KeyFile("\"A\"=dword:2\r\n"));
}

TEST_F(KeyAccess, AFailedSaveSurvivesOpeningAnotherKey)
{
    PlaceKey("Sub", "Busy", "\"A\"=dword:1\r\n");
    const std::string before = KeyFile("\"A\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Busy", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));
        {
            FileHold primary(Pri("Sub", "Busy"));
            FileHold secondary(Sec("Sub", "Busy"));
            ASSERT_TRUE(primary.Held() && secondary.Held());
            EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
            // Opening another key closes this one again, which fails again.
            EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", "Other", 1000)));
        }
        EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"), before);
        // The other key's close must not save or forget the first key's changes.
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"), before);
        EXPECT_EQ(std::string("CRC:0\r\n"), ReadFileBytes(Pri("Sub", "Other")));
        // Re-opened, the key is changed again, and its close saves it.
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Busy", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Busy"), Sec("Sub", "Busy"), KeyFile("\"A\"=dword:2\r\n"));
}

TEST_F(KeyAccess, APrimaryThatCannotBeReplacedIsAFailedSave)
{
    // The secondary can be written but not copied over the primary: a stale
    // valid primary would win the next open, so this is no success.
    PlaceKey("Sub", "Stale", "\"A\"=dword:1\r\n");
    const std::string before = KeyFile("\"A\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Stale", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));
        {
            FileHold primary(Pri("Sub", "Stale"));
            ASSERT_TRUE(primary.Held());
            EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
        }
        EXPECT_EQ(before, ReadFileBytes(Pri("Sub", "Stale")));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Stale"), Sec("Sub", "Stale"), KeyFile("\"A\"=dword:2\r\n"));
}

TEST_F(KeyAccess, ALockTimeoutAtCloseKeepsTheChanges)
{
    PlaceKey("Sub", "Locked", "\"A\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Locked", 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("A", 2, 1000)));

        // Another user in the middle of a write.
        SharedMemory other;
        bool existed = false;
        ASSERT_EQ(S_OK, other.Create(KeyName("Sub", "Locked").c_str(), 1, 4096, &existed));
        ASSERT_TRUE(existed);
        DWORD length = other.GetLength();
        ASSERT_TRUE(other.LockWrite(0));

        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Failed(PERS_KEY_CLOSED_FAILED_TIMEOUT), Got(ClosePersistKey(100)));
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_GE(waited.count(), 80) << "the close gave up before its timeout";
        EXPECT_LT(waited.count(), 3000);

        // A value operation that times out fails and leaves the last error alone.
        unsigned long a = 0;
        SetLastError(0x1234);
        EXPECT_EQ(PERS_FAILED, PersistDW("B", 1, 50));
        EXPECT_EQ(0x1234u, GetLastError());
        SetLastError(0x1234);
        EXPECT_EQ(PERS_FAILED, GetPersistedDW("A", &a, 0, 50));
        EXPECT_EQ(0x1234u, GetLastError());

        other.UnlockWrite(length);
        EXPECT_EQ(Success(), Got(GetPersistedDW("A", &a, 0, 1000)));
        EXPECT_EQ(2UL, a);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        other.Destroy();
    });
    EXPECT_KEY_FILES(Pri("Sub", "Locked"), Sec("Sub", "Locked"), KeyFile("\"A\"=dword:2\r\n"));
}

// Value lines of sorted names N000, N001, ... with string values of up to
// 1024 bytes, textBytes long in all.
std::vector<std::pair<std::string, std::string>> LinesOfSize(size_t textBytes)
{
    std::vector<std::pair<std::string, std::string>> values;
    const size_t overhead = 4 + 14;   // name and the line's own bytes
    size_t left = textBytes;
    while (left > 0) {
        size_t valueLen = left - overhead > 1024 ? 1024 : left - overhead;
        if (left - (overhead + valueLen) != 0 && left - (overhead + valueLen) < overhead) valueLen -= overhead;
        char name[8];
        std::snprintf(name, sizeof name, "N%03u", static_cast<unsigned>(values.size()));
        std::string value(valueLen, static_cast<char>('a' + values.size() % 26));
        if (valueLen >= 4) value.replace(0, 4, name);
        values.emplace_back(name, value);
        left -= overhead + valueLen;
    }
    return values;
}

std::string TextOf(const std::vector<std::pair<std::string, std::string>>& values)
{
    std::string text;
    for (const auto& v : values) text += "\"" + v.first + "\"=string:\"" + v.second + "\"\r\n";
    return text;
}

// Every value reads back, on a thread that finds the key on disk only.
void ExpectKeyHolds(const char* sub, const char* key, const std::vector<std::pair<std::string, std::string>>& values)
{
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey(sub, key, 1000))) << "the key did not load again";
        static char buffer[1100];
        for (const auto& v : values) {
            ASSERT_EQ(Success(), Got(GetPersistedString(v.first.c_str(), sizeof buffer, buffer, nullptr, 1000)))
                << v.first;
            ASSERT_EQ(v.second, std::string(buffer)) << v.first;
        }
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
}

TEST_F(KeyAccess, LargeKeysWrittenByTheStoreLoadAgain)
{
    // File sizes the store writes and an older load refused: inside 60403 to
    // 60914, and above 62963.
    for (size_t textBytes : {60500u, 60890u, 62990u}) {
        SCOPED_TRACE(textBytes);
        auto values = LinesOfSize(textBytes);
        ASSERT_EQ(textBytes, TextOf(values).size());
        std::string key = "Size" + std::to_string(textBytes);
        OnThread([&] {
            ASSERT_NE(PERS_FAILED, OpenPersistKey("Large", key.c_str(), 1000));
            for (const auto& v : values)
                ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString(v.first.c_str(), v.second.c_str(), 1000)));
            ASSERT_EQ(Success(), Got(ClosePersistKey(1000)));
        });
        EXPECT_KEY_FILES(Pri("Large", key), Sec("Large", key), KeyFile(TextOf(values)));
        ExpectKeyHolds("Large", key.c_str(), values);
    }
}

TEST_F(KeyAccess, AKeyFilledToTheLimitLoadsAgain)
{
    std::vector<std::pair<std::string, std::string>> values;
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Large", "Full", 1000));
        size_t valueLen = 1024;
        for (;;) {
            char name[8];
            std::snprintf(name, sizeof name, "N%03u", static_cast<unsigned>(values.size()));
            std::string value(valueLen, static_cast<char>('a' + values.size() % 26));
            Outcome got = Got(PersistString(name, value.c_str(), 1000));
            if (got.result != PERS_FAILED) {
                ASSERT_EQ(Info(PERS_VALUE_CREATED), got);
                values.emplace_back(name, value);
                continue;
            }
            ASSERT_EQ(Failed(PERS_FAILED_MAX_KEY_SIZE_REACHED), got) << "value of " << valueLen;
            if (valueLen == 0) break;
            valueLen /= 2;
        }
        ASSERT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    std::string file = ReadFileBytes(Pri("Large", "Full"));
    std::printf("[          ] key filled to the limit: %u values, primary of %u bytes\n",
                static_cast<unsigned>(values.size()), static_cast<unsigned>(file.size()));
    EXPECT_GT(file.size(), 64400u);
    keycheck::ParsedKey parsed = keycheck::Parse(file);
    EXPECT_TRUE(parsed.valid) << parsed.why;
    EXPECT_EQ(values.size(), parsed.values.size());
    EXPECT_EQ(file, ReadFileBytes(Sec("Large", "Full")));
    ExpectKeyHolds("Large", "Full", values);
}

} // namespace
