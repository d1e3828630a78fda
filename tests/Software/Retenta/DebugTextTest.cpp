// The texts the store writes to the debug output: the named detail codes with
// a line feed (one without), and nothing for the silent codes.
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SharedMemory.h"
#include "StoreTestSupport.h"

namespace {

using Texts = std::vector<std::string>;

class DebugText : public StoreTest {};

TEST_F(DebugText, RefusedOpensNameTheirReason)
{
    EXPECT_EQ(Texts{"PERS_FAILED_BAD_SUBDIR\n"}, TextsDuring([] { OpenPersistKey("", "Key", 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_BAD_KEYNAME\n"}, TextsDuring([] { OpenPersistKey("Sub", "", 1000); }));
    const std::string sub(250, 's');
    EXPECT_EQ(Texts{"PERS_FAILED_PATH_TOO_LONG\n"}, TextsDuring([&] {
                  EXPECT_EQ(Failed(PERS_FAILED_PATH_TOO_LONG), Got(OpenPersistKey(sub.c_str(), "Key", 1000)));
              }));
    Texts tableFull = TextsDuring([] {
        for (int i = 0; i < 256; ++i) OpenPersistKey("Many", ("K" + std::to_string(i)).c_str(), 1000);
        EXPECT_EQ(Failed(PERS_FAILED_SHARED_MEMORY_CREATION), Got(OpenPersistKey("Many", "K256", 1000)));
    });
    EXPECT_EQ(Texts{"PERS_FAILED_SHARED_MEMORY_CREATION\n"}, tableFull);
}

TEST_F(DebugText, SilentCodesWriteNothing)
{
    Texts texts = TextsDuring([] {
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", "Quiet", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("S", "0123456789", 1000)));
        char buffer[4];
        unsigned long v = 0;
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED), Got(GetPersistedString("S", sizeof buffer, buffer, nullptr)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedDW("Missing", &v)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedDW("D", &v, 1)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(PersistOneDW("NewSub", "Key", 1000, "V", 1)));
    });
    EXPECT_EQ(Texts{}, texts);
}

TEST_F(DebugText, RefusedValueOperationsNameTheirReason)
{
    EXPECT_EQ(Texts{"PERS_FAILED_KEY_NOT_OPEN\n"}, TextsDuring([] { PersistDW("A", 1, 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_KEY_NOT_OPEN\n"}, TextsDuring([] {
                  unsigned long v = 0;
                  GetPersistedDW("A", &v);
              }));
    auto onKey = [](const std::function<void()>& body) {
        return TextsDuring([&] {
            OpenPersistKey("Sub", "Values", 1000);
            PersistString("Text", "t", 1000);
            PersistDW("Number", 1, 1000);
            DebugOutput().Flush();
            DebugOutput().Clear();
            body();
        });
    };
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_NAME_TOO_LONG\n"}, onKey([] { PersistDW("", 1, 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_NAME_TOO_LONG\n"}, onKey([] { PersistBool("a\"b", 1, 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_STRING_TOO_LONG\n"},
              onKey([] { PersistString("S", std::string(1025, 'x').c_str(), 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_STRING_TOO_LONG\n"}, onKey([] { PersistString("S", "a\"\r\nb", 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_STRING_TOO_LONG\n"}, onKey([] {
                  char buffer[4];
                  GetPersistedString("Text", 0, buffer, nullptr, 1000);
              }));
    // PersistDW alone writes this text without its line feed.
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_WRONG_TYPE"}, onKey([] { PersistDW("Text", 1, 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_WRONG_TYPE\n"}, onKey([] { PersistString("Number", "x", 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_WRONG_TYPE\n"}, onKey([] { PersistBool("Text", 1, 1000); }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_WRONG_TYPE\n"}, onKey([] {
                  unsigned long v = 0;
                  GetPersistedDW("Text", &v, 0, 1000);
              }));
    EXPECT_EQ(Texts{"PERS_FAILED_VALUE_MISSING_KEY_FULL\n"}, onKey([] {
                  for (int i = 0; i < 253; ++i) PersistBool(("B" + std::to_string(i)).c_str(), 1, 1000);
                  DebugOutput().Flush();
                  DebugOutput().Clear();
                  PersistBool("OneTooMany", 1, 1000);
              }));
}

TEST_F(DebugText, GrowthLimitsNameTheirReason)
{
    Texts tooBig = TextsDuring([] {
        OpenPersistKey("Sub", "Big", 1000);
        const std::string value(1024, 'v');
        Outcome last = Success();
        for (int i = 0; i < 100 && last.result != PERS_FAILED; ++i)
            last = Got(PersistString(("N" + std::to_string(100 + i)).c_str(), value.c_str(), 1000));
        EXPECT_EQ(Failed(PERS_FAILED_MAX_KEY_SIZE_REACHED), last);
    });
    EXPECT_EQ(Texts{"PERS_FAILED_MAX_KEY_SIZE_REACHED\n"}, tooBig);

    Texts shared = TextsDuring([] {
        OpenPersistKey("Sub", "Shared", 1000);
        // A second user holds the key while this one grows it.
        HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE leave = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread other([&] {
            OpenPersistKey("Sub", "Shared", 1000);
            SetEvent(opened);
            WaitForSingleObject(leave, 20000);
        });
        WaitForSingleObject(opened, 20000);
        DebugOutput().Flush();
        DebugOutput().Clear();
        for (int i = 0; i < 5; ++i) PersistString(("N" + std::to_string(i)).c_str(), std::string(1000, 'v').c_str(), 1000);
        SetEvent(leave);
        other.join();
        CloseHandle(opened);
        CloseHandle(leave);
    });
    ASSERT_FALSE(shared.empty());
    EXPECT_EQ("PERS_FAILED_VALUE_MISSING_NOT_CREATED\n", shared.back());
    for (const std::string& text : shared) EXPECT_EQ("PERS_FAILED_VALUE_MISSING_NOT_CREATED\n", text);
}

TEST_F(DebugText, FailedClosesNameTheirReason)
{
    PlaceKey("Sub", "Busy", "\"A\"=dword:1\r\n");
    Texts saveFailed = TextsDuring([&] {
        OpenPersistKey("Sub", "Busy", 1000);
        PersistDW("A", 2, 1000);
        HANDLE primary = CreateFileA(Pri("Sub", "Busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE secondary = CreateFileA(Sec("Sub", "Busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
        CloseHandle(primary);
        CloseHandle(secondary);
    });
    size_t named = 0;
    for (const std::string& text : saveFailed) {
        if (text == "PERS_KEY_CLOSED_SAVE_FAILED\n") ++named;
        else EXPECT_EQ(0u, text.compare(0, 8, "Retenta ")) << "unexpected text: " << Visible(text);
    }
    EXPECT_EQ(1u, named);

    Texts timeout = TextsDuring([&] {
        OpenPersistKey("Sub", "Busy", 1000);
        PersistDW("A", 3, 1000);
        SharedMemory other;
        bool existed = false;
        other.Create(KeyName("Sub", "Busy").c_str(), 1, 4096, &existed);
        DWORD length = other.GetLength();
        other.LockWrite(0);
        EXPECT_EQ(Failed(PERS_KEY_CLOSED_FAILED_TIMEOUT), Got(ClosePersistKey(50)));
        other.UnlockWrite(length);
    });
    EXPECT_EQ(Texts{"PERS_KEY_CLOSED_FAILED_TIMEOUT\n"}, timeout);
}

} // namespace
