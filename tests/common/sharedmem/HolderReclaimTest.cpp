// What a waiter takes back from a holder of a region's lock that died, and
// what it leaves: the holds of programs without a slot, and of the living.
#include "SharedMemory.h"

#include "ChildProcess.h"
#include "EndsWithin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// One of a region's named mappings, mapped as another program would.
template <class T>
struct RawView {
    UniqueHandle mapping;
    UniqueView   view;
    explicit RawView(const std::string& name)
    {
        mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(T), name.c_str()));
        if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(T)));
    }
    T* operator->() const { return static_cast<T*>(view.get()); }
};

// A program that keeps to the plain protocol of the control block, with no
// slot in the holder table (the watchdog server is one).
void PlainReadHold(SharedControlBlock* scb, LONG change)
{
    while (InterlockedExchange(&scb->scb_spin, 1) != 0) Sleep(0);
    scb->scb_readers = scb->scb_readers + change;
    InterlockedExchange(&scb->scb_spin, 0);
}

// A process that has ended: its id and start time, as its slot would hold them.
struct DeadProcess {
    uint32_t pid = 0;
    uint64_t started = 0;
    DeadProcess()
    {
        ChildProcess child;
        if (!child.Start("exit") || !child.Wait(20000)) return;
        FILETIME created, exited, kernel, user;
        if (!GetProcessTimes(child.Handle(), &created, &exited, &kernel, &user)) return;
        pid = child.Pid();
        started = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    }
};

HolderHolds Holds(uint32_t reads, uint32_t writer, bool counted, uint32_t step)
{
    HolderHolds h;
    h.reads = reads;
    h.writer = writer;
    h.counted = counted;
    h.step = step;
    return h;
}

// ---- the plan --------------------------------------------------------------

struct PlanRow {
    const char* what;
    HolderHolds holds;
    uint32_t    before, readersNow, writerNow;
    uint32_t    readers;
    bool        clearWriter, lowerCount, discard;
};

const PlanRow kPlans[] = {
    {"two read holds", Holds(2, kWriterNone, true, kStepNone), 0, 5, 0, 2, false, true, false},
    {"read counted in, slot not yet", Holds(0, kWriterNone, true, kStepReadUp), 4, 5, 0, 1, false, true, false},
    {"read not yet counted in", Holds(0, kWriterNone, true, kStepReadUp), 4, 4, 0, 0, false, true, false},
    {"read counted out, slot not yet", Holds(1, kWriterNone, true, kStepReadDown), 5, 4, 0, 0, false, true, false},
    {"read not yet counted out", Holds(1, kWriterNone, true, kStepReadDown), 5, 5, 0, 1, false, true, false},
    {"writer flag set, slot not yet", Holds(0, kWriterNone, true, kStepWriterUp), 0, 0, 1, 0, true, true, false},
    {"writer flag not yet set", Holds(0, kWriterNone, true, kStepWriterUp), 0, 0, 0, 0, false, true, false},
    {"write lock held, nothing changed", Holds(0, kWriterHeld, true, kStepNone), 0, 0, 1, 0, true, true, false},
    {"write lock held mid-change", Holds(0, kWriterChanging, true, kStepNone), 0, 0, 1, 0, true, true, true},
    {"writer flag cleared, slot not yet", Holds(0, kWriterChanging, true, kStepWriterDown), 1, 0, 0, 0, false, true,
     true},
    {"writer flag not yet cleared", Holds(0, kWriterHeld, true, kStepWriterDown), 1, 0, 1, 0, true, true, false},
    {"count being raised", Holds(0, kWriterNone, false, kStepCount), 0, 0, 0, 0, false, false, false},
    {"count being lowered", Holds(0, kWriterNone, true, kStepCount), 0, 0, 0, 0, false, false, false},
    {"slot taken, nothing held", Holds(0, kWriterNone, false, kStepNone), 0, 3, 1, 0, false, false, false},
};

TEST(HolderReclaimPlan, TakesBackTheDeadHoldersOwnHoldsAsFarAsItsStepWent)
{
    for (const PlanRow& row : kPlans) {
        SCOPED_TRACE(row.what);
        uint32_t word = PackHolds(row.holds);
        HolderHolds back = UnpackHolds(word);
        EXPECT_EQ(row.holds.reads, back.reads);
        EXPECT_EQ(row.holds.writer, back.writer);
        EXPECT_EQ(row.holds.counted, back.counted);
        EXPECT_EQ(row.holds.step, back.step);
        ReclaimPlan plan = PlanReclaim(word, row.before, row.readersNow, row.writerNow);
        EXPECT_EQ(row.readers, plan.readers);
        EXPECT_EQ(row.clearWriter, plan.clearWriter);
        EXPECT_EQ(row.lowerCount, plan.lowerCount);
        EXPECT_EQ(row.discard, plan.discard);
    }
}

// ---- in the region -----------------------------------------------------------

TEST(HolderReclaim, ADeadHoldersReclaimLeavesTheHoldsOfProgramsWithoutASlot)
{
    std::string name = UniqueName("c:/data/holdertest/key");
    SharedMemory m;
    ASSERT_EQ(S_OK, m.Create(name.c_str(), 1, 4096));
    RawView<SharedControlBlock> scb(name + "_Data");
    ASSERT_TRUE(scb.view.get());
    PlainReadHold(scb.operator->(), +1);

    std::string ready = UniqueName("hr-ready");
    NamedEvent readyEvent(ready);
    ChildProcess child;
    ASSERT_TRUE(child.Start("hold-read", "--name=" + name + " --ready=" + ready));
    ASSERT_TRUE(readyEvent.Wait(20000)) << "child ended with " << child.ExitCode();
    ASSERT_TRUE(child.Terminate(9));
    ASSERT_TRUE(child.Wait(5000));

    EXPECT_FALSE(m.LockWrite(300)) << "the plain program still reads";
    EXPECT_EQ(1, scb->scb_readers);
    PlainReadHold(scb.operator->(), -1);
    ASSERT_TRUE(m.LockWrite(1000));
    m.UnlockWrite(0);

    // A count that some program lowered too far stays at 0.
    ASSERT_TRUE(m.LockRead(1000));
    scb->scb_readers = 0;
    m.UnlockRead();
    EXPECT_EQ(0, scb->scb_readers);
    EXPECT_TRUE(m.LockWrite(100));
    m.UnlockWrite(0);
}

// A dead holder that had the spin word, caught at one point of a step.
struct DeathRow {
    const char* what;
    HolderHolds holds;
    LONG        before, readers, writer;   // noted in the slot, and found in the control block
    LONG        readersAfter, writerAfter;
    bool        dropped;                   // the content is dropped
};

const DeathRow kDeaths[] = {
    {"counting a read in, done", Holds(0, kWriterNone, true, kStepReadUp), 1, 2, 0, 1, 0, false},
    {"counting a read in, not yet", Holds(0, kWriterNone, true, kStepReadUp), 1, 1, 0, 1, 0, false},
    {"counting a read out, done", Holds(1, kWriterNone, true, kStepReadDown), 2, 1, 0, 1, 0, false},
    {"holding a read", Holds(1, kWriterNone, true, kStepNone), 0, 2, 0, 1, 0, false},
    {"in the middle of a change", Holds(0, kWriterChanging, true, kStepNone), 0, 0, 1, 0, 0, true},
    {"holding the lock, nothing changed", Holds(0, kWriterHeld, true, kStepNone), 0, 0, 1, 0, 0, false},
};

TEST(HolderReclaim, ASpinWordHeldByADeadHolderIsTakenOverWithItsHoldsAsFarAsTheyWent)
{
    DeadProcess dead;
    ASSERT_NE(0u, dead.pid);
    for (const DeathRow& row : kDeaths) {
        SCOPED_TRACE(row.what);
        std::string name = UniqueName("c:/data/holdertest/key");
        SharedMemory m;
        ASSERT_EQ(S_OK, m.Create(name.c_str(), 1, 4096));
        ASSERT_TRUE(m.LockWrite(1000));
        m.UnlockWrite(600);
        RawView<SharedControlBlock> scb(name + "_Data");
        RawView<SharedHolderTable> table(name + "_Holders");
        ASSERT_TRUE(scb.view.get() && table.view.get());

        // Slot 5 is the dead one's; a plain program holds one read (the
        // "readers" found include it); the dead one holds the spin word.
        SharedHolder& slot = table->sht_slots[5];
        slot.sh_started = dead.started;
        slot.sh_before = static_cast<uint32_t>(row.before);
        slot.sh_holds = PackHolds(row.holds);
        slot.sh_pid = dead.pid;
        scb->scb_readers = row.readers;
        scb->scb_writer = row.writer;
        scb->scb_refCount = scb->scb_refCount + 1;
        table->sht_spinMark = NextMark(table->sht_spinMark, 6);
        scb->scb_spin = 1;

        DWORD length = 0;
        ASSERT_TRUE(EndsWithin(15000, [&] { length = m.GetLength(); })) << "the spin word was never taken over";
        EXPECT_EQ(row.dropped ? 0u : 600u, length);
        EXPECT_EQ(row.dropped, m.ContentLost());
        EXPECT_EQ(row.readersAfter, scb->scb_readers);
        EXPECT_EQ(row.writerAfter, scb->scb_writer);
        EXPECT_EQ(1, scb->scb_refCount) << "the dead one's share of the count";
        EXPECT_EQ(0u, slot.sh_pid) << "the slot is free again";
        EXPECT_EQ(0, scb->scb_spin);
    }
}

// Garbage in the spin word costs a caller less than the shortest timeout in
// use, once, when the mark names nobody who can be checked; one naming a
// living holder is left to it for far longer (a slow holder is no dead one).
TEST(HolderReclaim, ASpinWordNobodyReleasesIsTakenOverWellWithinATimeout)
{
    struct Row {
        const char* what;
        uint32_t    owner;
        DWORD       atLeast, below;   // ms
    } const rows[] = {{"no owner named", 0, 200, 1000},
                      {"a living instance named", 1, 4000, 9000},
                      {"an instance without a slot", 0xFF, 200, 1000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string name = UniqueName("c:/data/holdertest/key");
        SharedMemory named, m;   // `named` has slot 0, owner 1
        ASSERT_EQ(S_OK, named.Create(name.c_str(), 1, 4096));
        ASSERT_EQ(S_OK, m.Create(name.c_str(), 1, 4096));
        ASSERT_TRUE(named.Tracked());
        RawView<SharedHolderTable> table(name + "_Holders");
        table->sht_spinMark = NextMark(table->sht_spinMark, row.owner);
        m.Control()->scb_spin = 1;

        DWORD took = 0;
        bool locked = false;
        ASSERT_TRUE(EndsWithin(15000, [&] {
            DWORD start = GetTickCount();
            locked = m.LockRead(1000);
            took = GetTickCount() - start;
        })) << "the spin word was never taken over";
        EXPECT_TRUE(locked);
        EXPECT_LT(took, row.below);
        EXPECT_GE(took, row.atLeast) << "a holder that may be alive keeps the word for a while";
        m.UnlockRead();
        EXPECT_TRUE(named.LockWrite(1000));
        named.UnlockWrite(0);
    }
}

TEST(HolderReclaim, SlotsOfProcessesThatDiedTakingThemAreFreedWhenTheTableIsFull)
{
    DeadProcess dead;
    ASSERT_NE(0u, dead.pid);
    std::string name = UniqueName("c:/data/holdertest/key");
    SharedMemory m;
    ASSERT_EQ(S_OK, m.Create(name.c_str(), 1, 4096));
    RawView<SharedHolderTable> table(name + "_Holders");
    // Every other slot claimed by a process that died before its start time was in.
    for (uint32_t i = 1; i < kHolderSlots; ++i) table->sht_slots[i].sh_pid = dead.pid;

    SharedMemory late;
    ASSERT_EQ(S_OK, late.Create(name.c_str(), 1, 4096));
    EXPECT_TRUE(late.Tracked());
}

} // namespace

// Takes a read hold of a region and keeps it until it is ended from outside.
int ChildHoldReadForever(int argc, char** argv)
{
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    SharedMemory m;
    bool existed = false;
    if (m.Create(ChildArgument(argc, argv, "name").c_str(), 1, 4096, &existed) != S_OK || !existed) return 10;
    if (!m.LockRead(1000)) return 12;
    ready.Set();
    Sleep(INFINITE);
    return 13;
}

int ChildExitAtOnce(int, char**)
{
    return 0;
}
