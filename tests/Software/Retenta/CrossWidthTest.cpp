// A 64-bit unit may run 32-bit and 64-bit programs against one store: both
// map the same control block, data block and index. The other width's build
// of this program (its folder in UNIT_OTHER_WIDTH_BIN) is the peer here.
#include <cstdlib>
#include <string>

#include "ChildProcess.h"
#include "KeyFileCheck.h"
#include "StoreTestSupport.h"

namespace {

// The other width's retenta_tests.exe, or an empty string when the run has
// none. A Linux path (as the test script passes it) is read through Z:.
std::string OtherWidthProgram()
{
    const char* folder = std::getenv("UNIT_OTHER_WIDTH_BIN");
    if (!folder || !*folder) return std::string();
    std::string path = folder;
    if (path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path + "\\retenta_tests.exe";
}

class CrossWidth : public StoreTest {};

TEST_F(CrossWidth, ThirtyTwoAndSixtyFourBitProgramsShareOneKeyInTurn)
{
    const std::string peer = OtherWidthProgram();
    if (peer.empty())
        GTEST_SKIP() << "no other-width build runnable here (UNIT_OTHER_WIDTH_BIN unset): the test script sets it "
                        "where the host can start both 32-bit and 64-bit programs";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(peer.c_str())) << peer << " is missing";
    // The peer must be the other width, or the test proves nothing.
    DWORD kind = 0;
    ASSERT_TRUE(GetBinaryTypeA(peer.c_str(), &kind)) << peer << ": error " << GetLastError();
    const DWORD otherWidth = sizeof(void*) == 8 ? SCS_32BIT_BINARY : SCS_64BIT_BINARY;
    ASSERT_EQ(otherWidth, kind) << peer << " is not a program of the other width";
    std::printf("peer: %s (this program is %u-bit)\n", peer.c_str(), static_cast<unsigned>(8 * sizeof(void*)));

    PlaceKey("Sub", "Cross", "\"A\"=dword:1\r\n");
    const std::string args = "--base=" + m_dir->Path() + " --sub=Sub --key=Cross";
    OnThread([&] {
        // Both hold the key at once: each reads what the other wrote through
        // the shared index before anything is saved.
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Cross", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("FromParent", 7, 1000)));
        std::string ready = UniqueName("xw-ready"), go = UniqueName("xw-go");
        NamedEvent readyEvent(ready), goEvent(go);
        ChildProcess holder;
        ASSERT_TRUE(holder.StartProgram(peer, "peer", args + " --ready=" + ready + " --go=" + go));
        ASSERT_TRUE(readyEvent.Wait(20000)) << "peer ended with " << holder.ExitCode();
        EXPECT_EQ(2, SharedKeyUsers(KeyName("Sub", "Cross")));
        char buffer[16] = "";
        EXPECT_EQ(Success(), Got(GetPersistedString("FromChild", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_STREQ("hello", buffer);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("FromParentLater", "later", 1000)));
        goEvent.Set();
        ASSERT_TRUE(holder.Wait(20000));
        EXPECT_EQ(0u, holder.ExitCode()) << "see PeerChild for the step that failed";

        // The peer changes and closes (so saves) the key this program holds.
        ChildProcess closer;
        ASSERT_TRUE(closer.StartProgram(peer, "write-close", args));
        ASSERT_TRUE(closer.Wait(20000));
        EXPECT_EQ(0u, closer.ExitCode());
        unsigned long child = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("Child", &child)));
        EXPECT_EQ(42UL, child);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Cross"), Sec("Sub", "Cross"),
                     KeyFile("\"A\"=dword:1\r\n\"Child\"=dword:42\r\n\"FromChild\"=string:\"hello\"\r\n"
                             "\"FromParent\"=dword:7\r\n\"FromParentLater\"=string:\"later\"\r\n"));
    EXPECT_EQ(-1, SharedKeyUsers(KeyName("Sub", "Cross"))) << "the key outlived its last user";

    // Alone now: the peer loads the key from the files this width saved.
    ChildProcess reloader;
    ASSERT_TRUE(reloader.StartProgram(peer, "write-close", args + " --name=Reloaded"));
    ASSERT_TRUE(reloader.Wait(20000));
    EXPECT_EQ(0u, reloader.ExitCode());
    EXPECT_KEY_FILES(Pri("Sub", "Cross"), Sec("Sub", "Cross"),
                     KeyFile("\"A\"=dword:1\r\n\"Child\"=dword:42\r\n\"FromChild\"=string:\"hello\"\r\n"
                             "\"FromParent\"=dword:7\r\n\"FromParentLater\"=string:\"later\"\r\n"
                             "\"Reloaded\"=dword:42\r\n"));
}

} // namespace
