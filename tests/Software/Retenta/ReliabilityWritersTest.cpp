// Four processes of four threads each write their own values into one key
// through one-shot calls at the same time. Afterwards both files are valid
// and hold the last value every thread wrote to each of its names.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "KeyFileCheck.h"
#include "Reliability.h"
#include "StoreTestSupport.h"

namespace {

const char kSub[] = "Writers";
const char kKey[] = "Shared";
const int  kProcesses = 4;
const int  kThreads = 4;

// Tallies of all writers, shared with the children.
struct Tally {
    volatile LONG calls;          // one-shot calls made
    volatile LONG savedFailed;    // PERS_FAILED at the close: kept and saved later
    volatile LONG retried;        // open or lock not had in time: the call was repeated
    volatile LONG unexpected;     // any other failure
    volatile LONG finalCloses;    // closes a thread needed at its end to save a kept change
    volatile LONG unsaved;        // threads that ended with a change still unsaved
    volatile LONG lastDetail;
};

std::string ValueName(int process, int thread, int k)
{
    char name[16];
    std::snprintf(name, sizeof name, "P%dT%dV%d", process, thread, k);
    return name;
}

// The value a thread writes last to name k: write i goes to name i % names
// with the value i + 1.
unsigned long LastValue(int writes, int names, int k)
{
    if (k >= writes) return 0;
    int last = writes - 1 - ((writes - 1 - k) % names);
    return static_cast<unsigned long>(last + 1);
}

void Writer(Tally* tally, int process, int thread, int writes, int names)
{
    for (int i = 0; i < writes; ++i) {
        std::string name = ValueName(process, thread, i % names);
        for (int attempt = 0;; ++attempt) {
            InterlockedIncrement(&tally->calls);
            long result = PersistOneDW(kSub, kKey, 1000, name.c_str(), static_cast<unsigned long>(i + 1));
            DWORD detail = GetLastError();
            if (result != PERS_FAILED) break;
            InterlockedExchange(&tally->lastDetail, static_cast<LONG>(detail));
            if (detail == PERS_KEY_CLOSED_SAVE_FAILED || detail == PERS_KEY_CLOSED_FAILED_TIMEOUT) {
                // The change is made and stays with the key; a later close saves it.
                InterlockedIncrement(&tally->savedFailed);
                break;
            }
            if (detail == PERS_FAILED_SHARED_MEMORY_CREATION || detail == 0) {
                InterlockedIncrement(&tally->retried);
                if (attempt < 100) continue;
            }
            InterlockedIncrement(&tally->unexpected);
            break;
        }
    }
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (ClosePersistKey(1000) != PERS_FAILED) return;
        InterlockedIncrement(&tally->finalCloses);
        Sleep(2);
    }
    InterlockedIncrement(&tally->unsaved);
}

TEST(ReliabilityWriters, EveryValueOfSixteenConcurrentWritersIsSaved)
{
    RunStore store(kSub, kKey);
    ASSERT_TRUE(store.basePathSet) << store.dir.Path();
    const int writes = g_reliability.writes, names = g_reliability.names;

    SharedBlock<Tally> tally("rt-writers-tally");
    ASSERT_NE(nullptr, tally.get()) << "error " << GetLastError();

    std::string go = UniqueName("rt-writers-go");
    NamedEvent goEvent(go);
    DWORD start = 0;
    {
        ChildProcess children[kProcesses];
        for (int p = 0; p < kProcesses; ++p) {
            char args[256];
            std::snprintf(args, sizeof args, "--base=%s --map=%s --go=%s --process=%d --writes=%d --names=%d",
                          store.dir.Path().c_str(), tally.Name().c_str(), go.c_str(), p, writes, names);
            ASSERT_TRUE(children[p].Start("writers", args));
        }
        Sleep(200);   // let them all reach the start line
        start = GetTickCount();
        goEvent.Set();
        for (int p = 0; p < kProcesses; ++p) {
            ASSERT_TRUE(children[p].Wait(600000)) << "writer process " << p << " did not finish";
            EXPECT_EQ(0u, children[p].ExitCode()) << "writer process " << p;
        }
    }
    DWORD elapsed = GetTickCount() - start;

    std::string primary = ReadFileBytes(store.pri), secondary = ReadFileBytes(store.sec);
    keycheck::ParsedKey parsedPri = keycheck::Parse(primary), parsedSec = keycheck::Parse(secondary);
    EXPECT_TRUE(parsedPri.valid) << "primary: " << parsedPri.why;
    EXPECT_TRUE(parsedSec.valid) << "secondary: " << parsedSec.why;
    auto priValues = keycheck::ByName(parsedPri), secValues = keycheck::ByName(parsedSec);

    int checked = 0, missing = 0, wrong = 0, secondaryMissing = 0;
    for (int p = 0; p < kProcesses; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int k = 0; k < names && k < writes; ++k) {
                std::string name = ValueName(p, t, k), lower = name;
                for (char& c : lower)
                    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
                std::string expected = std::to_string(LastValue(writes, names, k));
                ++checked;
                auto found = priValues.find(lower);
                if (found == priValues.end()) {
                    ++missing;
                    ADD_FAILURE() << name << " missing from the primary";
                } else if (found->second.type != "dword" || found->second.text != expected) {
                    ++wrong;
                    ADD_FAILURE() << name << " = " << found->second.text << ", expected " << expected;
                }
                auto inSec = secValues.find(lower);
                if (inSec == secValues.end() || inSec->second.text != expected) ++secondaryMissing;
            }
    EXPECT_EQ(static_cast<size_t>(checked), parsedPri.values.size()) << "values nobody wrote";
    EXPECT_EQ(0, secondaryMissing) << "the secondary lacks values of the primary";
    EXPECT_EQ(primary, secondary);

    // Opened again by a fresh user: nothing to repair.
    OnThread([&] {
        EXPECT_EQ(SuccessWith(0), Got(OpenPersistKey(kSub, kKey, 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW(ValueName(3, 3, 0).c_str(), &v)));
        EXPECT_EQ(LastValue(writes, names, 0), v);
    });

    Figure("writers: %d processes x %d threads x %d one-shot writes = %d writes into %d values in %lu ms",
           kProcesses, kThreads, writes, kProcesses * kThreads * writes, checked, static_cast<unsigned long>(elapsed));
    Figure("writers: values checked in both files: %d, missing: %d, wrong: %d, missing from the secondary: %d; "
           "primary == secondary: %s",
           checked, missing, wrong, secondaryMissing, primary == secondary ? "yes" : "no");
    Figure("writers: calls %ld; failed saves kept and saved later: %ld; timeouts retried: %ld; extra closes at "
           "thread end: %ld; unexpected failures: %ld (last detail 0x%04lX); threads left unsaved: %ld",
           tally->calls, tally->savedFailed, tally->retried, tally->finalCloses, tally->unexpected,
           tally->lastDetail, tally->unsaved);
    EXPECT_EQ(0, tally->unexpected);
    EXPECT_EQ(0, tally->unsaved);
}

} // namespace

// One writer process: four threads, each writing its own names.
int WritersChild(int argc, char** argv)
{
    auto* tally = JoinRun<Tally>(argc, argv);
    if (!tally) return 2;
    NamedEvent go(ChildArgument(argc, argv, "go"));
    int process = std::atoi(ChildArgument(argc, argv, "process").c_str());
    int writes = std::atoi(ChildArgument(argc, argv, "writes").c_str());
    int names = std::atoi(ChildArgument(argc, argv, "names").c_str());
    if (!go.Wait(60000)) return 3;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(Writer, tally, process, t, writes, names);
    for (std::thread& thread : threads) thread.join();
    return 0;
}
