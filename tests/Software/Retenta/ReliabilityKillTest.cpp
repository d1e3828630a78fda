// A process that changes and closes one key over and over is killed at random
// moments. Each time, with no other user holding the key, the key must open
// valid (never recreated empty) holding either the last content whose close
// had returned or the one being saved when the process died.
#include <cstdio>
#include <string>

#include "ChildProcess.h"
#include "KeyFileCheck.h"
#include "Reliability.h"
#include "StoreTestSupport.h"

namespace {

const char kSub[] = "Kill";
const char kKey[] = "Loop";

// Shared with the child: the round whose close returned, and the one under way.
struct Progress {
    volatile LONG confirmed;
    volatile LONG inFlight;
};

std::string TextOf(unsigned long n)
{
    std::string text = "n=" + std::to_string(n) + ";";
    text.append(1 + (n * 37) % 300, static_cast<char>('a' + n % 26));
    return text;
}

// Writes the whole content of round n into the current key.
bool WriteRound(unsigned long n)
{
    for (int k = 0; k < 10; ++k) {
        std::string name = "Pad" + std::to_string(k);
        if (PersistDW(name.c_str(), n * (k + 1), -1) == PERS_FAILED) return false;
    }
    if (PersistBool("Flag", static_cast<int>(n & 1), -1) == PERS_FAILED) return false;
    if (PersistString("Text", TextOf(n).c_str(), -1) == PERS_FAILED) return false;
    return PersistDW("Seq", n, -1) != PERS_FAILED;
}

// Reads the current key; true when every value belongs to one round (*n).
bool ReadRound(unsigned long* n, std::string* why)
{
    if (GetPersistedDW("Seq", n) != PERS_SUCCESS) {
        *why = "no Seq";
        return false;
    }
    for (int k = 0; k < 10; ++k) {
        std::string name = "Pad" + std::to_string(k);
        unsigned long v = 0;
        if (GetPersistedDW(name.c_str(), &v) != PERS_SUCCESS || v != *n * (k + 1)) {
            *why = name + " = " + std::to_string(v) + " in round " + std::to_string(*n);
            return false;
        }
    }
    int flag = -1;
    if (GetPersistedBool("Flag", &flag) != PERS_SUCCESS || flag != static_cast<int>(*n & 1)) {
        *why = "Flag of another round";
        return false;
    }
    static char buffer[1100];
    if (GetPersistedString("Text", sizeof buffer, buffer, nullptr) != PERS_SUCCESS || TextOf(*n) != buffer) {
        *why = "Text of another round: " + std::string(buffer).substr(0, 12);
        return false;
    }
    return true;
}

class Lcg {
public:
    explicit Lcg(unsigned seed) : m_state(seed) {}
    unsigned Next(unsigned below)
    {
        m_state = m_state * 1103515245u + 12345u;
        return (m_state >> 16) % below;
    }

private:
    unsigned m_state;
};

TEST(ReliabilityKill, KilledWhileChangingTheKeyLosesNothing)
{
    RunStore store(kSub, kKey);
    ASSERT_TRUE(store.basePathSet) << store.dir.Path();

    SharedBlock<Progress> progress("rt-kill-progress");
    ASSERT_NE(nullptr, progress.get()) << "error " << GetLastError();

    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey(kSub, kKey, -1));
        ASSERT_TRUE(WriteRound(0));
        ASSERT_EQ(Success(), Got(ClosePersistKey(-1)));
    });

    unsigned seed = g_reliability.seed ? g_reliability.seed : GetTickCount();
    std::printf("reliability kills: seed %u\n", seed);   // before the first round: a hang still names it
    Lcg random(seed);
    int old = 0, fresh = 0, lost = 0, recreated = 0, repairedSecondary = 0, repairedPrimary = 0, notStarted = 0;
    int badFiles = 0;
    unsigned long last = 0;
    for (int kill = 0; kill < g_reliability.kills; ++kill) {
        progress->confirmed = static_cast<LONG>(last);
        progress->inFlight = static_cast<LONG>(last);
        std::string ready = UniqueName("rt-kill-ready");
        NamedEvent readyEvent(ready);
        {
            ChildProcess child;
            ASSERT_TRUE(child.Start("change-loop",
                                    "--base=" + store.dir.Path() + " --map=" + progress.Name() + " --ready=" + ready))
                << "kill " << kill << ": the child did not start, error " << GetLastError();
            if (!readyEvent.Wait(20000)) {
                ++notStarted;
                ADD_FAILURE() << "child " << kill << " never got its key open; exit code " << child.ExitCode();
            }
            Sleep(random.Next(30));
            ASSERT_TRUE(child.Terminate(1));
        }

        unsigned long confirmed = static_cast<unsigned long>(progress->confirmed);
        OnThread([&] {
            Outcome open = Got(OpenPersistKey(kSub, kKey, -1));
            if (open.result == PERS_SUCCESS_INFO || open.result == PERS_FAILED) {
                ++recreated;
                ADD_FAILURE() << "kill " << kill << ": open gave " << open;
                return;
            }
            if (open.detail == PERS_SECONDARY_MISSING_RECOVERED) ++repairedSecondary;
            else if (open.detail == PERS_PRIMARY_INVALID_RECOVERED) ++repairedPrimary;
            else EXPECT_EQ(0u, open.detail) << "kill " << kill;
            unsigned long n = 0;
            std::string why;
            if (!ReadRound(&n, &why)) {
                ++lost;
                ADD_FAILURE() << "kill " << kill << ": mixed content: " << why;
            } else if (n == confirmed) {
                ++old;
            } else if (n == confirmed + 1) {
                ++fresh;
            } else {
                ++lost;
                ADD_FAILURE() << "kill " << kill << ": round " << n << " after round " << confirmed << " was saved";
            }
            last = n;
            ClosePersistKey(-1);
        });
        // The open repaired whatever the kill broke: both files valid and equal.
        std::string primary = ReadFileBytes(store.pri), secondary = ReadFileBytes(store.sec);
        keycheck::ParsedKey parsed = keycheck::Parse(primary);
        if (!parsed.valid || primary != secondary) {
            ++badFiles;
            ADD_FAILURE() << "kill " << kill << ": files not repaired (" << parsed.why << ")";
        }
    }
    Figure("kills: %d, recovered old: %d, new: %d, lost: %d, recreated empty: %d (seed %u)", g_reliability.kills,
           old, fresh, lost, recreated, seed);
    Figure("kills: opens that repaired the secondary: %d, the primary: %d; rounds saved in all: %lu; "
           "children that never started: %d; unrepaired files: %d",
           repairedSecondary, repairedPrimary, last, notStarted, badFiles);
    EXPECT_EQ(0, lost);
    EXPECT_EQ(0, recreated);
    EXPECT_EQ(g_reliability.kills, old + fresh);
}

} // namespace

// Changes and closes the key until it is killed (or a minute has passed).
int ChangeLoopChild(int argc, char** argv)
{
    auto* progress = JoinRun<Progress>(argc, argv);
    if (!progress) return 2;
    NamedEvent ready(ChildArgument(argc, argv, "ready"));

    if (OpenPersistKey(kSub, kKey, -1) == PERS_FAILED) return 3;
    unsigned long n = 0;
    std::string why;
    if (!ReadRound(&n, &why)) return 4;
    ready.Set();
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        ++n;
        if (!WriteRound(n)) return 5;
        InterlockedExchange(&progress->inFlight, static_cast<LONG>(n));
        if (ClosePersistKey(-1) != PERS_SUCCESS) return 6;
        InterlockedExchange(&progress->confirmed, static_cast<LONG>(n));
        if (OpenPersistKey(kSub, kKey, -1) == PERS_FAILED) return 7;
    }
    return 0;
}
