// One key, several users: threads and processes share the open key's content
// before anything is saved, and a shared key grows only once it is alone.
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "KeyFileCheck.h"
#include "StoreTestSupport.h"

namespace {

class ProcessSharing : public StoreTest {};

TEST_F(ProcessSharing, TwoProcessesSeeEachOthersChangesBeforeAnySave)
{
    PlaceKey("Sub", "Shared", "\"A\"=dword:1\r\n");
    const std::string original = KeyFile("\"A\"=dword:1\r\n");
    const std::string name = KeyName("Sub", "Shared");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Shared", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("FromParent", 7, 1000)));
        EXPECT_EQ(1, SharedKeyUsers(name));

        std::string ready = UniqueName("rt-ready"), go = UniqueName("rt-go");
        NamedEvent readyEvent(ready), goEvent(go);
        ChildProcess child;
        ASSERT_TRUE(child.Start("peer", "--base=" + m_dir->Path() + " --sub=Sub --key=Shared --ready=" + ready +
                                            " --go=" + go));
        ASSERT_TRUE(readyEvent.Wait(20000)) << "child ended with " << child.ExitCode();
        EXPECT_EQ(2, SharedKeyUsers(name));

        char buffer[16] = "";
        EXPECT_EQ(Success(), Got(GetPersistedString("FromChild", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_STREQ("hello", buffer);
        EXPECT_EQ(original, ReadFileBytes(Pri("Sub", "Shared"))) << "something was saved already";
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("FromParentLater", "later", 1000)));
        goEvent.Set();
        ASSERT_TRUE(child.Wait(20000));
        EXPECT_EQ(0u, child.ExitCode()) << "see PeerChild for the step that failed";

        // The child has gone: the key is this thread's alone and may grow.
        EXPECT_EQ(1, SharedKeyUsers(name));
        const std::string big(1000, 'g');
        for (int i = 0; i < 6; ++i) {
            std::string valueName = "Grow" + std::to_string(i);
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString(valueName.c_str(), big.c_str(), 1000)));
        }
        EXPECT_GT(SharedKeyCapacity(name), 4096);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    std::string expected = "\"A\"=dword:1\r\n\"FromChild\"=string:\"hello\"\r\n\"FromParent\"=dword:7\r\n"
                           "\"FromParentLater\"=string:\"later\"\r\n";
    for (int i = 0; i < 6; ++i) expected += "\"Grow" + std::to_string(i) + "\"=string:\"" + std::string(1000, 'g') + "\"\r\n";
    EXPECT_KEY_FILES(Pri("Sub", "Shared"), Sec("Sub", "Shared"), KeyFile(expected));
    EXPECT_EQ(-1, SharedKeyUsers(name)) << "the key outlived its last user";
}

TEST_F(ProcessSharing, AChangeClosedInAnotherProcessIsSaved)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Closed", 1000));
        ChildProcess child;
        ASSERT_TRUE(child.Start("write-close", "--base=" + m_dir->Path() + " --sub=Sub --key=Closed"));
        ASSERT_TRUE(child.Wait(20000));
        EXPECT_EQ(0u, child.ExitCode());
        // Saved by the child's close, seen here without reading files.
        EXPECT_EQ(KeyFile("\"Child\"=dword:42\r\n"), ReadFileBytes(Pri("Sub", "Closed")));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("Child", &v)));
        EXPECT_EQ(42UL, v);
    });
}

TEST_F(ProcessSharing, ThreadsShareTheOpenKey)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Threads", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("First", 1, 1000)));
        std::thread second([&] {
            EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Threads", 1000)));
            unsigned long v = 0;
            EXPECT_EQ(Success(), Got(GetPersistedDW("First", &v)));
            EXPECT_EQ(1UL, v);
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Second", 2, 1000)));
            // Ends without closing: its change stays with the key's other user.
        });
        second.join();
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("Second", &v)));
        EXPECT_EQ(2UL, v);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Threads"), Sec("Sub", "Threads"),
                     KeyFile("\"First\"=dword:1\r\n"
                             "\"Second\"=dword:2\r\n"));
}

// An opener that has mapped the control block when the last user leaves
// makes the data block anew, all zero, while the control block still records
// the old length: the key must come from its files again, not be taken for
// loaded (its values would be missing and the close would save the empty
// block over both files).
TEST_F(ProcessSharing, AKeyReopenedWhileItsControlBlockLingersIsReadFromItsFiles)
{
    const std::string name = KeyName("Sub", "Linger");
    HANDLE control = nullptr;
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Linger", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Kept", 42, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        control = OpenFileMappingA(FILE_MAP_READ, FALSE, (name + "_Data").c_str());
    });
    ASSERT_NE(nullptr, control);
    ASSERT_EQ(1, SharedKeyUsers(name)) << "the control block should outlive the key's last user";
    OnThread([&] {
        EXPECT_NE(PERS_FAILED, OpenPersistKey("Sub", "Linger", 1000));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("Kept", &v)));
        EXPECT_EQ(42UL, v);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Added", 1, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    CloseHandle(control);
    EXPECT_KEY_FILES(Pri("Sub", "Linger"), Sec("Sub", "Linger"), KeyFile("\"Added\"=dword:1\r\n\"Kept\"=dword:42\r\n"));
}

TEST_F(ProcessSharing, ASharedKeyGrowsOnlyOnceItsOtherUserHasGone)
{
    const std::string name = KeyName("Sub", "Grow");
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Grow", 1000));
        for (int i = 0; i < 28; ++i) {
            std::string valueName = "F" + std::to_string(10 + i);
            ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString(valueName.c_str(), std::string(100, 'f').c_str(), 1000)));
        }
        ASSERT_EQ(4096, SharedKeyCapacity(name));

        HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE leave = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread other([&] {
            EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Grow", 1000)));
            SetEvent(opened);
            WaitForSingleObject(leave, 20000);
        });
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(opened, 20000));
        EXPECT_EQ(2, SharedKeyUsers(name));

        const std::string big(1000, 'b');
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(PersistString("Big", big.c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(PersistString("F10", big.c_str(), 1000)));
        // Within the capacity everything still works.
        EXPECT_EQ(Success(), Got(PersistString("F10", std::string(100, 'x').c_str(), 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Small", 1, 1000)));
        EXPECT_EQ(Success(), Got(DeleteValue("F11", 1000)));

        SetEvent(leave);
        other.join();
        CloseHandle(opened);
        CloseHandle(leave);
        EXPECT_EQ(1, SharedKeyUsers(name));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("Big", big.c_str(), 1000)));
        EXPECT_EQ(8192, SharedKeyCapacity(name));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    keycheck::ParsedKey parsed = keycheck::Parse(ReadFileBytes(Pri("Sub", "Grow")));
    ASSERT_TRUE(parsed.valid) << parsed.why;
    auto values = keycheck::ByName(parsed);
    EXPECT_EQ(29u, values.size());   // 28 - F11 + Small + Big
    EXPECT_EQ(std::string(1000, 'b'), values["big"].text);
    EXPECT_EQ(std::string(100, 'x'), values["f10"].text);
    EXPECT_EQ(0u, values.count("f11"));
}

} // namespace

// The second process of TwoProcessesSeeEachOthersChangesBeforeAnySave. The
// exit code names the step that failed.
int PeerChild(int argc, char** argv)
{
    SetPersistBasePath(ChildArgument(argc, argv, "base").c_str());
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    NamedEvent go(ChildArgument(argc, argv, "go"));
    std::string sub = ChildArgument(argc, argv, "sub"), key = ChildArgument(argc, argv, "key");
    if (OpenPersistKey(sub.c_str(), key.c_str(), 1000) != PERS_SUCCESS) return 10;
    unsigned long v = 0;
    if (GetPersistedDW("FromParent", &v) != PERS_SUCCESS || v != 7) return 11;
    if (PersistString("FromChild", "hello", 1000) != PERS_SUCCESS_INFO) return 12;
    ready.Set();
    if (!go.Wait(20000)) return 13;
    char buffer[16] = "";
    if (GetPersistedString("FromParentLater", sizeof buffer, buffer, nullptr) != PERS_SUCCESS) return 14;
    if (std::string(buffer) != "later") return 15;
    return 0;   // ends without closing: the parent saves
}

// Writes one new value (--name, "Child" by default) into a key that the
// parent holds open, and closes it.
int WriteCloseChild(int argc, char** argv)
{
    SetPersistBasePath(ChildArgument(argc, argv, "base").c_str());
    std::string sub = ChildArgument(argc, argv, "sub"), key = ChildArgument(argc, argv, "key");
    if (OpenPersistKey(sub.c_str(), key.c_str(), 1000) != PERS_SUCCESS) return 10;
    std::string name = ChildArgument(argc, argv, "name");
    if (name.empty()) name = "Child";
    if (PersistDW(name.c_str(), 42, 1000) != PERS_SUCCESS_INFO) return 11;
    if (ClosePersistKey(1000) != PERS_SUCCESS) return 12;
    return 0;
}
