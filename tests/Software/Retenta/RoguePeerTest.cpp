// Another user of a key that misbehaves: a process that dies holding one of
// the key's locks (or in the middle of a change), and one that writes garbage
// into the key's shared block.
// The store carries on in the first case and, in the second, refuses until
// the key is loaded again from its files.
#include <cstring>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "EndsWithin.h"
#include "KeyDataBlock.h"
#include "KeyFileCheck.h"
#include "SharedMemory.h"
#include "StoreTestSupport.h"

using keyfile::KeyDataBlock;

namespace {

const char kLines[] = "\"A\"=dword:1\r\n\"B\"=string:\"two\"\r\n\"C\"=bool:1\r\n";

// How long a call took, in milliseconds.
template <class Call>
DWORD Timed(Call call, Outcome* outcome)
{
    DWORD start = GetTickCount();
    *outcome = Got(call());
    return GetTickCount() - start;
}

class RoguePeer : public StoreTest {};

TEST_F(RoguePeer, APeerThatDiesHoldingALockLeavesTheKeyUsable)
{
    for (const char* hold : {"spin", "write", "read", "change"}) {
        SCOPED_TRACE(std::string("the peer dies holding the ") + hold);
        const std::string key = std::string("Held_") + hold;
        PlaceKey("Sub", key, kLines);
        bool ended = EndsWithin(30000, [&] {
            ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", key.c_str(), 1000)));
            std::string ready = UniqueName("rp-ready");
            NamedEvent readyEvent(ready);
            ChildProcess child;
            ASSERT_TRUE(child.Start("hold", "--name=" + KeyName("Sub", key) + " --hold=" + hold + " --ready=" + ready));
            ASSERT_TRUE(readyEvent.Wait(20000)) << "child ended with " << child.ExitCode();
            ASSERT_TRUE(child.Terminate(9));
            ASSERT_TRUE(child.Wait(5000));

            // Each call within the key's timeout of 1000 ms.
            Outcome got{};
            unsigned long a = 0;
            EXPECT_LT(Timed([&] { return GetPersistedDW("A", &a, 0, 1000); }, &got), 1000u);
            EXPECT_EQ(Success(), got);
            EXPECT_EQ(1u, a);
            EXPECT_LT(Timed([&] { return PersistDW("D", 4, 1000); }, &got), 1000u);
            EXPECT_EQ(Info(PERS_VALUE_CREATED), got);
            EXPECT_LT(Timed([&] { return ClosePersistKey(1000); }, &got), 1000u);
            EXPECT_EQ(Success(), got);
            // The forms without a limit, which the import uses, end as well.
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistOneDW("Sub", key.c_str(), -1, "E", 5)));
            // The peer's share was taken back: the key is this thread's alone.
            EXPECT_EQ(1, SharedKeyUsers(KeyName("Sub", key)));
        });
        EXPECT_TRUE(ended) << "a store call hung";
        if (!ended) continue;
        EXPECT_KEY_FILES(Pri("Sub", key), Sec("Sub", key),
                         KeyFile(std::string(kLines) + "\"D\"=dword:4\r\n\"E\"=dword:5\r\n"));
    }
}

// A thread whose close timed out keeps its change for a later close, also
// when it opens the key again while another process is in the middle of a
// change: the block looks unsound only until that change is done.
TEST_F(RoguePeer, ChangesKeptAfterATimedOutCloseSurviveAReopenDuringAnothersChange)
{
    const std::string key = "Reopened";
    PlaceKey("Sub", key, kLines);
    PlaceKey("Sub", "Other", kLines);
    bool ended = EndsWithin(30000, [&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", key.c_str(), 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Kept", 7, 1000)));
        std::string ready = UniqueName("rp-ready"), release = UniqueName("rp-release");
        NamedEvent readyEvent(ready), releaseEvent(release);
        ChildProcess child;
        ASSERT_TRUE(child.Start("mid-change", "--name=" + KeyName("Sub", key) + " --ready=" + ready +
                                                  " --release=" + release));
        ASSERT_TRUE(readyEvent.Wait(20000)) << "child ended with " << child.ExitCode();
        // Its close times out inside the open of another key, which then
        // becomes current: the change stays with the key, unsaved.
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Other", 100)));

        std::thread finish([&] {
            Sleep(300);
            releaseEvent.Set();
        });
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", key.c_str(), 5000)));
        finish.join();
        EXPECT_TRUE(child.Wait(5000));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    ASSERT_TRUE(ended) << "a store call hung";
    EXPECT_KEY_FILES(Pri("Sub", key), Sec("Sub", key), KeyFile(std::string(kLines) + "\"Kept\"=dword:7\r\n"));
}

// What a second instance writes over the key's shared state; `view` is what
// the store mapped (4096 bytes for this small key).
struct Scribble {
    const char* what;
    void (*apply)(SharedControlBlock* scb, KeyDataBlock* block);
};

const Scribble kScribbles[] = {
    {"length past the view", [](SharedControlBlock* scb, KeyDataBlock*) {
         scb->scb_length = 4096 + 600;
         scb->scb_capacity = 65536;
     }},
    {"length far past any key", [](SharedControlBlock* scb, KeyDataBlock*) { scb->scb_length = 0x7FFFFFF0; }},
    {"capacity and length of a larger block", [](SharedControlBlock* scb, KeyDataBlock*) {
         scb->scb_capacity = 65536;
         scb->scb_length = 40000;
     }},
    {"line count past 255", [](SharedControlBlock*, KeyDataBlock* block) { block->count = 1000; }},
    {"line offset past the view", [](SharedControlBlock*, KeyDataBlock* block) { block->offsets[1] = 0xFFF0; }},
    {"line offset into the index", [](SharedControlBlock*, KeyDataBlock* block) { block->offsets[1] = 100; }},
    {"line offsets falling", [](SharedControlBlock*, KeyDataBlock* block) { block->offsets[2] = block->offsets[1]; }},
    {"end entry past the text", [](SharedControlBlock*, KeyDataBlock* block) { block->offsets[3] = 4000; }},
    {"text's NUL overwritten", [](SharedControlBlock* scb, KeyDataBlock* block) {
         *block->at(static_cast<uint32_t>(scb->scb_length)) = 'x';
     }},
};

TEST_F(RoguePeer, ABlockDamagedByAnotherInstanceIsRefusedAndLoadedAgain)
{
    for (const Scribble& scribble : kScribbles) {
        SCOPED_TRACE(scribble.what);
        const std::string key = "Scribbled";
        PlaceKey("Sub", key, kLines);
        const std::string saved = KeyFile(kLines);
        bool ended = EndsWithin(30000, [&] {
            ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", key.c_str(), 1000)));
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Unsaved", 9, 1000)));

            SharedMemory rogue;
            bool existed = false;
            ASSERT_EQ(S_OK, rogue.Create(KeyName("Sub", key).c_str(), 1, 4096, &existed));
            ASSERT_TRUE(existed);
            scribble.apply(rogue.Control(), static_cast<KeyDataBlock*>(rogue.Data()));

            // A read finds the damage on its way (or, missing the line, in
            // the write that would create it); the key then stays refused.
            int flag = 0;
            unsigned long value = 0;
            EXPECT_EQ(Failed(PERS_FAILED_SHARED_MEMORY_CREATION), Got(GetPersistedBool("C", &flag, 0, 1000)));
            EXPECT_EQ(Failed(PERS_FAILED_SHARED_MEMORY_CREATION), Got(PersistDW("New", 1, 1000)));
            EXPECT_EQ(Failed(PERS_FAILED_SHARED_MEMORY_CREATION), Got(GetPersistedDW("A", &value, 0, 1000)));
            // Nothing of the damaged block reaches the files.
            EXPECT_EQ(Failed(PERS_KEY_CLOSED_SAVE_FAILED), Got(ClosePersistKey(1000)));
            EXPECT_EQ(Visible(saved), Visible(ReadFileBytes(Pri("Sub", key))));

            // The next open loads the key from its files again.
            EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", key.c_str(), 1000)));
            EXPECT_EQ(Success(), Got(GetPersistedDW("A", &value, 0, 1000)));
            EXPECT_EQ(1u, value);
            char text[8] = "";
            EXPECT_EQ(Success(), Got(GetPersistedString("B", sizeof text, text, nullptr, 1000)));
            EXPECT_STREQ("two", text);
            EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedDW("Unsaved", &value)));
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("New", 1, 1000)));
            EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        });
        ASSERT_TRUE(ended) << "a store call hung";
        EXPECT_KEY_FILES(Pri("Sub", key), Sec("Sub", key), KeyFile(std::string(kLines) + "\"New\"=dword:1\r\n"));
    }
}

} // namespace

// The peer of APeerThatDiesHoldingALockLeavesTheKeyUsable: another program
// on the unit that maps the key and takes one of its locks, then is ended
// from outside while it holds it.
int HoldChild(int argc, char** argv)
{
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    std::string hold = ChildArgument(argc, argv, "hold");
    SharedMemory memory;
    bool existed = false;
    if (memory.Create(ChildArgument(argc, argv, "name").c_str(), 1, 4096, &existed) != S_OK || !existed) return 10;
    if (hold == "spin") {
        // The spin word is held while a brief read looks at the block.
        memory.ReadBriefly([&](const void*, DWORD, DWORD) {
            ready.Set();
            Sleep(INFINITE);
            return false;
        });
        return 11;
    }
    if (hold == "write" || hold == "change" ? !memory.LockWrite(1000) : !memory.LockRead(1000)) return 12;
    if (hold == "change") {
        // Half of the deletion of the first line, as a writer killed inside
        // it leaves it: the text has moved, the index not yet. The block
        // still looks sound, and every line is found at the wrong place.
        memory.MarkChanging();
        auto* block = static_cast<KeyDataBlock*>(memory.Data());
        DWORD total = memory.GetLength();
        uint32_t start = block->offsets[0] - 1u;
        uint32_t end = block->offsets[1] - 1u;
        std::memmove(block->at(start), block->at(end), total - end + 1);
    }
    ready.Set();
    Sleep(INFINITE);
    return 13;
}

// The peer of ChangesKeptAfterATimedOutCloseSurviveAReopenDuringAnothersChange:
// holds the write lock with the block unsound (its text's NUL overwritten)
// until told to finish, then puts it right and releases.
int MidChangeChild(int argc, char** argv)
{
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    NamedEvent release(ChildArgument(argc, argv, "release"));
    SharedMemory memory;
    bool existed = false;
    if (memory.Create(ChildArgument(argc, argv, "name").c_str(), 1, 4096, &existed) != S_OK || !existed) return 10;
    if (!memory.LockWrite(1000)) return 12;
    DWORD total = memory.GetLength();
    char* end = static_cast<KeyDataBlock*>(memory.Data())->at(total);
    *end = 'x';
    ready.Set();
    if (!release.Wait(20000)) return 13;
    *end = '\0';
    memory.UnlockWrite(total);
    return 0;
}
