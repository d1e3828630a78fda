#include "SharedMemory.h"

#include "ChildProcess.h"
#include "DbwinCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

const HRESULT kTimeoutResult = static_cast<HRESULT>(0x800705B4);

// Page-sized steps up to 64 KiB, with 512 elements to spare after a Grow.
const GrowthLimits kLimits = {4096, 512, 65536};

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Region names the way the store forms them, unique per test and process.
std::string RegionName()
{
    return UniqueName("c:/data/sharedmemtest/key");
}

char* Bytes(SharedMemory& m)
{
    return static_cast<char*>(m.Data());
}

// The data-block layout a persist key uses: 1-byte elements, 4096 of them.
HRESULT CreateKey(SharedMemory& m, const std::string& name, bool* existed = nullptr)
{
    return m.Create(name.c_str(), 1, 4096, existed);
}

void WriteText(SharedMemory& m, const char* text)
{
    ASSERT_TRUE(m.LockWrite(1000));
    std::strcpy(Bytes(m), text);
    m.UnlockWrite(static_cast<DWORD>(std::strlen(text)));
}

// A control block made by hand, as a creator that never finished leaves it.
struct FakeControlBlock {
    UniqueHandle mapping;
    UniqueView   view;
    explicit FakeControlBlock(const std::string& name)
    {
        mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(SharedControlBlock), (name + "_Data").c_str()));
        if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedControlBlock)));
    }
    SharedControlBlock* scb() const { return static_cast<SharedControlBlock*>(view.get()); }
};

// ---- child modes -------------------------------------------------------------

// Opens a region the parent made, checks what a second opener must see, tries
// to grow it (refused: it is shared), then stays open until told to go.
int ChildOpenCheck(int argc, char** argv)
{
    std::string name = ChildArgument(argc, argv, "name");
    std::string expect = ChildArgument(argc, argv, "expect");
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    NamedEvent done(ChildArgument(argc, argv, "done"));
    if (!ready.Valid() || !done.Valid()) return 16;

    SharedMemory m;
    bool existed = false;
    if (CreateKey(m, name, &existed) != S_OK) return 10;
    if (!existed) return 11;
    if (m.Control()->scb_refCount != 2) return 12;
    if (!m.LockRead(1000)) return 17;
    bool same = m.GetLength() == expect.size() && std::memcmp(m.Data(), expect.data(), expect.size()) == 0;
    m.UnlockRead();
    if (!same) return 13;
    if (!m.LockWrite(1000)) return 17;
    GrowResult grown = m.Grow(5000, kLimits);
    m.UnlockWrite(static_cast<DWORD>(expect.size()));
    if (grown != GrowResult::Shared) return 15;

    ready.Set();
    if (!done.Wait(20000)) return 18;
    m.Destroy();
    return 0;
}

// Holds the write lock of a region until told to release it.
int ChildHoldWrite(int argc, char** argv)
{
    std::string name = ChildArgument(argc, argv, "name");
    NamedEvent ready(ChildArgument(argc, argv, "ready"));
    NamedEvent release(ChildArgument(argc, argv, "release"));
    if (!ready.Valid() || !release.Valid()) return 16;

    SharedMemory m;
    if (CreateKey(m, name) != S_OK) return 10;
    if (!m.LockWrite(1000)) return 20;
    std::strcpy(Bytes(m), "child wrote");
    ready.Set();
    if (!release.Wait(20000)) return 21;
    m.UnlockWrite(11);
    m.Destroy();
    return 0;
}

}  // namespace

// ---- Create ------------------------------------------------------------------

TEST(SharedMemoryCreate, FirstOpenerInitialisesSecondJoins)
{
    std::string name = RegionName();
    SharedMemory first;
    bool existed = true;
    ASSERT_EQ(S_OK, CreateKey(first, name, &existed));
    EXPECT_FALSE(existed);
    SharedControlBlock* kcb = first.Control();
    EXPECT_EQ(1, kcb->scb_refCount);
    EXPECT_EQ(0, kcb->scb_writer);
    EXPECT_EQ(0, kcb->scb_spin);
    EXPECT_EQ(0, kcb->scb_readers);
    EXPECT_EQ(0, kcb->scb_waiters);
    EXPECT_EQ(4096, kcb->scb_capacity);
    EXPECT_EQ(0, kcb->scb_length);
    WriteText(first, "shared text");

    SharedMemory second;
    ASSERT_EQ(S_OK, CreateKey(second, name, &existed));
    EXPECT_TRUE(existed);
    EXPECT_EQ(2, kcb->scb_refCount);
    EXPECT_EQ(11u, second.GetLength());
    EXPECT_STREQ("shared text", Bytes(second));
    EXPECT_NE(first.Data(), second.Data());
}

TEST(SharedMemoryCreate, WatchdogGeometryMapsOneWholeElement)
{
    SharedMemory m;
    std::string name = UniqueName("WATCHDOG CHANNEL test");
    ASSERT_EQ(S_OK, m.Create(name.c_str(), 3096, 1));
    EXPECT_EQ(1u, m.GetCapacity());
    MEMORY_BASIC_INFORMATION info;
    ASSERT_NE(0u, VirtualQuery(m.Data(), &info, sizeof(info)));
    EXPECT_GE(info.RegionSize, 3096u);
    Bytes(m)[3095] = 'x';
    EXPECT_EQ('x', Bytes(m)[3095]);
}

TEST(SharedMemoryCreate, FailuresComeBackAsHResultAndLeaveNothingOpen)
{
    std::string name = RegionName();
    // An event holding the control block's name: the mapping cannot be created.
    UniqueHandle squatter(CreateEventA(nullptr, TRUE, FALSE, (name + "_Data").c_str()));
    ASSERT_TRUE(squatter);
    SharedMemory m;
    EXPECT_EQ(static_cast<HRESULT>(0x80070006), CreateKey(m, name));
    EXPECT_FALSE(m.IsOpen());
    EXPECT_EQ(nullptr, m.Data());

    std::string longName(300, 'k');
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), CreateKey(m, longName));
    EXPECT_FALSE(m.IsOpen());
}

TEST(SharedMemoryCreate, OpenerOfUnfinishedBlockGivesUpAfterFiveSeconds)
{
    std::string name = RegionName();
    FakeControlBlock fake(name);
    ASSERT_NE(nullptr, fake.scb());
    ASSERT_EQ(0, fake.scb()->scb_refCount);

    SharedMemory m;
    double start = NowMs();
    HRESULT hr = CreateKey(m, name);
    double elapsed = NowMs() - start;
    EXPECT_EQ(kTimeoutResult, hr);
    EXPECT_GE(elapsed, 4900.0);
    EXPECT_LE(elapsed, 8000.0);
    EXPECT_FALSE(m.IsOpen());
    EXPECT_EQ(0, fake.scb()->scb_refCount);
    // Nothing of the attempt is left behind.
    UniqueHandle data(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_FALSE(data);
    UniqueHandle event(OpenEventA(SYNCHRONIZE, FALSE, (name + "_Event").c_str()));
    EXPECT_FALSE(event);
}

TEST(SharedMemoryCreate, OpenerWaitsForLateCreatorAndTakesItsCapacity)
{
    std::string name = RegionName();
    FakeControlBlock fake(name);
    ASSERT_NE(nullptr, fake.scb());
    fake.scb()->scb_capacity = 8192;
    std::thread creator([&] {
        Sleep(200);
        InterlockedExchange(&fake.scb()->scb_refCount, 1);
    });

    SharedMemory m;
    double start = NowMs();
    HRESULT hr = CreateKey(m, name);
    double elapsed = NowMs() - start;
    creator.join();
    ASSERT_EQ(S_OK, hr);
    EXPECT_GE(elapsed, 150.0);
    EXPECT_LE(elapsed, 2000.0);
    EXPECT_EQ(2, fake.scb()->scb_refCount);
    EXPECT_EQ(8192u, m.GetCapacity());
    Bytes(m)[8191] = 'z';
    EXPECT_EQ('z', Bytes(m)[8191]);
}

// ---- two processes -----------------------------------------------------------

TEST(SharedMemoryProcesses, SecondProcessSeesFirstProcessData)
{
    std::string name = RegionName();
    SharedMemory m;
    ASSERT_EQ(S_OK, CreateKey(m, name));
    WriteText(m, "from-the-parent");

    DbwinCapture capture(DbwinCapture::AllProcesses);
    ASSERT_TRUE(capture.Active());
    std::string ready = UniqueName("sm-ready"), done = UniqueName("sm-done");
    NamedEvent readyEvent(ready), doneEvent(done);
    ChildProcess child;
    ASSERT_TRUE(child.Start("open-check", "--name=" + name + " --expect=from-the-parent --ready=" + ready +
                                              " --done=" + done));
    bool childReady = readyEvent.Wait(20000);
    ASSERT_TRUE(childReady) << "child exit code " << child.ExitCode();
    EXPECT_EQ(2, m.Control()->scb_refCount);
    EXPECT_EQ(4096u, m.GetCapacity());

    doneEvent.Set();
    ASSERT_TRUE(child.Wait(20000));
    EXPECT_EQ(0u, child.ExitCode());
    // The child's destroy gave its share back: the parent is the sole user.
    EXPECT_EQ(1, m.Control()->scb_refCount);

    // The refused growth is the owner's to report: the region writes nothing.
    ASSERT_TRUE(capture.Flush());
    size_t fromChild = 0;
    for (const DbwinMessage& message : capture.Messages()) {
        if (message.pid == child.Pid()) ++fromChild;
    }
    EXPECT_EQ(0u, fromChild);

    ASSERT_TRUE(m.LockWrite(1000));
    EXPECT_EQ(GrowResult::Fits, m.Grow(5000, kLimits));
    m.UnlockWrite(15);
    EXPECT_EQ(8192u, m.GetCapacity());
    EXPECT_STREQ("from-the-parent", Bytes(m));
}

TEST(SharedMemoryProcesses, ReaderWaitsForWriterInOtherProcess)
{
    std::string name = RegionName();
    SharedMemory m;
    ASSERT_EQ(S_OK, CreateKey(m, name));
    std::string ready = UniqueName("sm-ready"), release = UniqueName("sm-release");
    NamedEvent readyEvent(ready), releaseEvent(release);
    ChildProcess child;
    ASSERT_TRUE(child.Start("hold-write", "--name=" + name + " --ready=" + ready + " --release=" + release));
    ASSERT_TRUE(readyEvent.Wait(20000)) << "child exit code " << child.ExitCode();

    double start = NowMs();
    EXPECT_FALSE(m.LockRead(100));
    double waited = NowMs() - start;
    EXPECT_GE(waited, 90.0);
    EXPECT_LE(waited, 600.0);   // generous: other tests run beside this one
    EXPECT_EQ(0, m.ReadHolds());

    std::atomic<double> released{0.0};
    std::thread releaser([&] {
        Sleep(200);
        released = NowMs();
        releaseEvent.Set();
    });
    bool locked = m.LockRead(-1);
    double got = NowMs();
    releaser.join();
    ASSERT_TRUE(locked);
    EXPECT_GE(got, released.load());
    EXPECT_LE(got - released.load(), 600.0);
    EXPECT_EQ(11u, m.GetLength());
    EXPECT_EQ(0, std::memcmp(m.Data(), "child wrote", 11));
    m.UnlockRead();

    ASSERT_TRUE(child.Wait(20000));
    EXPECT_EQ(0u, child.ExitCode());
}

// ---- the lock ----------------------------------------------------------------

TEST(SharedMemoryLock, ReadersShareWriterWaitsForThemAndGivesUpCleanly)
{
    std::string name = RegionName();
    SharedMemory a, b, c;
    ASSERT_EQ(S_OK, CreateKey(a, name));
    ASSERT_EQ(S_OK, CreateKey(b, name));
    ASSERT_EQ(S_OK, CreateKey(c, name));

    ASSERT_TRUE(a.LockRead(0));
    ASSERT_TRUE(b.LockRead(0));
    EXPECT_EQ(2, a.Control()->scb_readers);

    double start = NowMs();
    EXPECT_FALSE(c.LockWrite(100));
    double waited = NowMs() - start;
    EXPECT_GE(waited, 90.0);
    EXPECT_LE(waited, 600.0);   // generous: other tests run beside this one
    // A writer that gave up while readers stayed must not block anyone.
    EXPECT_EQ(0, a.Control()->scb_writer);
    EXPECT_FALSE(c.HoldsWriteLock());
    EXPECT_TRUE(c.LockRead(0));
    c.UnlockRead();

    a.UnlockRead();
    b.UnlockRead();
    EXPECT_EQ(0, a.Control()->scb_readers);
    EXPECT_TRUE(c.LockWrite(100));
    EXPECT_TRUE(c.HoldsWriteLock());
    c.UnlockWrite(5);
    EXPECT_EQ(5u, a.GetLength());
}

TEST(SharedMemoryLock, ClaimedWriterFlagHoldsOffNewReaders)
{
    std::string name = RegionName();
    SharedMemory reader, writer, late;
    ASSERT_EQ(S_OK, CreateKey(reader, name));
    ASSERT_EQ(S_OK, CreateKey(writer, name));
    ASSERT_EQ(S_OK, CreateKey(late, name));
    ASSERT_TRUE(reader.LockRead(0));

    std::future<bool> written = std::async(std::launch::async, [&] { return writer.LockWrite(-1); });
    for (int i = 0; i < 500 && reader.Control()->scb_writer == 0; ++i) Sleep(1);
    ASSERT_EQ(1, reader.Control()->scb_writer);

    EXPECT_FALSE(late.LockRead(100));
    EXPECT_EQ(std::future_status::timeout, written.wait_for(std::chrono::milliseconds(0)));

    reader.UnlockRead();
    ASSERT_EQ(std::future_status::ready, written.wait_for(std::chrono::milliseconds(2000)));
    EXPECT_TRUE(written.get());
    writer.UnlockWrite(0);
    EXPECT_TRUE(late.LockRead(100));
}

TEST(SharedMemoryLock, WriterExcludesReadersAndWritersAcrossThreads)
{
    std::string name = RegionName();
    const int kBytes = 256;
    std::atomic<int> readersInside{0}, writersInside{0}, violations{0}, torn{0}, retries{0};

    auto writerLoop = [&](int id, int rounds) {
        SharedMemory m;
        if (CreateKey(m, name) != S_OK) { ++violations; return; }
        for (int i = 0; i < rounds; ++i) {
            // Finite waits: a woken thread re-checks anyway, so a retry is only slower.
            while (!m.LockWrite(200)) ++retries;
            if (++writersInside != 1 || readersInside != 0) ++violations;
            std::memset(m.Data(), static_cast<unsigned char>(id * 64 + i % 64), kBytes);
            Sleep(0);
            for (int k = 1; k < kBytes; ++k) if (Bytes(m)[k] != Bytes(m)[0]) { ++torn; break; }
            --writersInside;
            m.UnlockWrite(kBytes);
        }
    };
    auto readerLoop = [&](int rounds) {
        SharedMemory m;
        if (CreateKey(m, name) != S_OK) { ++violations; return; }
        for (int i = 0; i < rounds; ++i) {
            while (!m.LockRead(200)) ++retries;
            ++readersInside;
            if (writersInside != 0) ++violations;
            for (int k = 1; k < kBytes; ++k) if (Bytes(m)[k] != Bytes(m)[0]) { ++torn; break; }
            --readersInside;
            m.UnlockRead();
        }
    };

    SharedMemory keeper;
    ASSERT_EQ(S_OK, CreateKey(keeper, name));
    std::vector<std::thread> threads;
    threads.emplace_back(writerLoop, 1, 150);
    threads.emplace_back(writerLoop, 2, 150);
    threads.emplace_back(readerLoop, 300);
    threads.emplace_back(readerLoop, 300);
    threads.emplace_back(readerLoop, 300);
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(0, violations.load());
    EXPECT_EQ(0, torn.load());
    EXPECT_EQ(0, keeper.Control()->scb_writer);
    EXPECT_EQ(0, keeper.Control()->scb_readers);
    EXPECT_EQ(0, keeper.Control()->scb_spin);
    EXPECT_EQ(static_cast<DWORD>(kBytes), keeper.GetLength());
    RecordProperty("lock_retries", retries.load());
}

TEST(SharedMemoryLock, UnopenedInstanceRefusesLocksAndIgnoresReleases)
{
    SharedMemory m;
    EXPECT_FALSE(m.LockWrite(0));
    EXPECT_FALSE(m.LockRead(0));
    m.UnlockWrite(7);
    m.UnlockRead();
    EXPECT_EQ(0u, m.GetLength());
    EXPECT_EQ(0u, m.GetCapacity());
    m.Destroy();
    EXPECT_FALSE(m.IsOpen());
}

// ---- destroy -----------------------------------------------------------------

TEST(SharedMemoryDestroy, WithWriteLockWakesWaiterAndKeepsPreviousLength)
{
    std::string name = RegionName();
    SharedMemory holder, waiter;
    ASSERT_EQ(S_OK, CreateKey(holder, name));
    ASSERT_EQ(S_OK, CreateKey(waiter, name));
    WriteText(holder, "kept content");
    ASSERT_TRUE(holder.LockWrite(1000));
    std::memcpy(Bytes(holder), "HALF", 4);

    std::future<bool> read = std::async(std::launch::async, [&] { return waiter.LockRead(-1); });
    for (int i = 0; i < 2000 && waiter.Control()->scb_waiters == 0; ++i) Sleep(1);
    ASSERT_EQ(1, waiter.Control()->scb_waiters);
    Sleep(50);
    ASSERT_EQ(std::future_status::timeout, read.wait_for(std::chrono::milliseconds(0)));

    holder.Destroy();
    ASSERT_EQ(std::future_status::ready, read.wait_for(std::chrono::milliseconds(2000)));
    EXPECT_TRUE(read.get());
    EXPECT_EQ(12u, waiter.GetLength());
    EXPECT_EQ(0, waiter.Control()->scb_writer);
    EXPECT_EQ(0, waiter.Control()->scb_waiters);
    EXPECT_EQ(1, waiter.Control()->scb_readers);
    EXPECT_EQ(1, waiter.Control()->scb_refCount);
    waiter.UnlockRead();
}

TEST(SharedMemoryDestroy, ReleasesReadHoldsAndLowersCountNeverBelowOne)
{
    std::string name = RegionName();
    SharedMemory reader;
    ASSERT_EQ(S_OK, CreateKey(reader, name));
    UniqueHandle controlMapping(OpenFileMappingA(FILE_MAP_READ, FALSE, (name + "_Data").c_str()));
    ASSERT_TRUE(controlMapping);
    UniqueView control(MapViewOfFile(controlMapping.get(), FILE_MAP_READ, 0, 0, sizeof(SharedControlBlock)));
    ASSERT_NE(nullptr, control.get());
    const SharedControlBlock* kcb = static_cast<const SharedControlBlock*>(control.get());

    SharedMemory other;
    ASSERT_EQ(S_OK, CreateKey(other, name));
    EXPECT_EQ(2, kcb->scb_refCount);
    ASSERT_TRUE(reader.LockRead(0));
    ASSERT_TRUE(reader.LockRead(0));
    EXPECT_EQ(2, kcb->scb_readers);

    reader.Destroy();
    EXPECT_EQ(0, kcb->scb_readers);
    EXPECT_EQ(1, kcb->scb_refCount);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(0, reader.ReadHolds());
    reader.Destroy();
    EXPECT_EQ(1, kcb->scb_refCount);

    other.Destroy();
    EXPECT_EQ(1, kcb->scb_refCount);
}

// ---- brief reads ---------------------------------------------------------------

TEST(SharedMemoryBriefRead, LooksUnderTheSpinWordWhileNoWriterIsThere)
{
    std::string name = RegionName();
    SharedMemory reader, writer, other;
    ASSERT_EQ(S_OK, CreateKey(reader, name));
    ASSERT_EQ(S_OK, CreateKey(writer, name));
    ASSERT_EQ(S_OK, CreateKey(other, name));
    WriteText(writer, "brief text");
    SharedControlBlock* scb = reader.Control();
    std::string seen;
    LONG spin = 0, readers = -1;
    auto look = [&](const void* data, DWORD length, DWORD) {
        seen.assign(static_cast<const char*>(data), length);
        spin = scb->scb_spin;
        readers = scb->scb_readers;
        return false;
    };

    EXPECT_TRUE(reader.ReadBriefly(look));
    EXPECT_EQ("brief text", seen);
    EXPECT_EQ(1, spin) << "the look runs with the spin word held";
    EXPECT_EQ(0, readers) << "and takes no read hold";
    EXPECT_EQ(0, scb->scb_spin);

    // A writer that holds the lock, or has claimed it and waits for a reader
    // to leave: no look; the caller waits for a read hold instead.
    seen.clear();
    ASSERT_TRUE(writer.LockWrite(1000));
    EXPECT_FALSE(reader.ReadBriefly(look));
    writer.UnlockWrite(10);
    ASSERT_TRUE(other.LockRead(1000));
    std::thread claim([&] { EXPECT_TRUE(writer.LockWrite(5000)); });
    for (int i = 0; i < 2000 && scb->scb_writer == 0; ++i) Sleep(1);
    EXPECT_FALSE(reader.ReadBriefly(look));
    other.UnlockRead();
    claim.join();
    writer.UnlockWrite(10);
    EXPECT_EQ("", seen);
    EXPECT_FALSE(SharedMemory().ReadBriefly(look)) << "nothing to look at";

    // A look that finds the content damaged has it dropped in the same hold.
    EXPECT_TRUE(reader.ReadBriefly([](const void*, DWORD, DWORD) { return true; }));
    EXPECT_EQ(0u, reader.GetLength());
}

// ---- growth ------------------------------------------------------------------

TEST(SharedMemoryGrow, CapacityFollowsRequiredSize)
{
    struct Row {
        DWORD      required;
        GrowResult result;
        DWORD      capacity;
    };
    const GrowResult fits = GrowResult::Fits, tooLarge = GrowResult::TooLarge;
    const Row rows[] = {
        {4095, fits, 4096},   {4096, fits, 8192},          {7679, fits, 8192},          {7680, fits, 12288},
        {65023, fits, 65536}, {65024, tooLarge, 4096},     {200000, tooLarge, 4096},
    };
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    for (const Row& row : rows) {
        SCOPED_TRACE("required " + std::to_string(row.required));
        SharedMemory m;
        ASSERT_EQ(S_OK, CreateKey(m, RegionName()));
        ASSERT_TRUE(m.LockWrite(1000));
        capture.Clear();
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.result, m.Grow(row.required, kLimits));
        if (row.result != fits) {
            EXPECT_EQ(0xdeadbeefu, GetLastError()) << "a refusal is the owner's to report";
        }
        EXPECT_EQ(row.capacity, m.GetCapacity());
        Bytes(m)[row.capacity - 1] = 'e';
        m.UnlockWrite(0);
        ASSERT_TRUE(capture.Flush());
        EXPECT_EQ(0u, capture.Texts().size());
    }
}

TEST(SharedMemoryGrow, StepwiseToLimitKeepsData)
{
    std::string name = RegionName();
    SharedMemory m;
    ASSERT_EQ(S_OK, CreateKey(m, name));
    ASSERT_TRUE(m.LockWrite(1000));
    DWORD length = 0;
    for (DWORD expected = 8192; expected <= 65536; expected += 4096) {
        for (DWORD i = length; i < m.GetCapacity() - 100; ++i) Bytes(m)[i] = static_cast<char>(i * 7 + 3);
        length = m.GetCapacity() - 100;
        m.UnlockWrite(length);
        ASSERT_TRUE(m.LockWrite(1000));

        ASSERT_EQ(GrowResult::Fits, m.Grow(m.GetCapacity(), kLimits));
        ASSERT_EQ(expected, m.GetCapacity());
        int wrong = 0;
        for (DWORD i = 0; i < length; ++i) wrong += Bytes(m)[i] != static_cast<char>(i * 7 + 3);
        ASSERT_EQ(0, wrong) << "after growing to " << expected;
        EXPECT_EQ(1, m.Control()->scb_refCount);
    }
    EXPECT_EQ(GrowResult::TooLarge, m.Grow(65536, kLimits));
    EXPECT_EQ(65536u, m.GetCapacity());
    m.UnlockWrite(length);

    // The grown block is the named one: a new opener maps all of it.
    SharedMemory opener;
    bool existed = false;
    ASSERT_EQ(S_OK, CreateKey(opener, name, &existed));
    EXPECT_TRUE(existed);
    EXPECT_EQ(65536u, opener.GetCapacity());
    EXPECT_EQ(length, opener.GetLength());
    EXPECT_EQ(0, std::memcmp(opener.Data(), m.Data(), length));
}

TEST(SharedMemoryGrow, SharedBlockCannotGrowUntilOtherUserLeaves)
{
    std::string name = RegionName();
    SharedMemory a, b;
    ASSERT_EQ(S_OK, CreateKey(a, name));
    ASSERT_EQ(S_OK, CreateKey(b, name));
    WriteText(a, "survives");

    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    ASSERT_TRUE(a.LockWrite(1000));
    SetLastError(0);
    EXPECT_EQ(GrowResult::Shared, a.Grow(5000, kLimits));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(GrowResult::Shared, a.Reserve(5000, kLimits));
    EXPECT_EQ(4096u, a.GetCapacity());
    EXPECT_EQ(2, a.Control()->scb_refCount);
    // Within the capacity the shared block stays fully usable.
    Bytes(a)[4000] = 'w';
    a.UnlockWrite(8);
    EXPECT_EQ('w', Bytes(b)[4000]);
    ASSERT_TRUE(capture.Flush());
    EXPECT_EQ(0u, capture.Texts().size());

    b.Destroy();
    EXPECT_EQ(1, a.Control()->scb_refCount);
    ASSERT_TRUE(a.LockWrite(1000));
    EXPECT_EQ(GrowResult::Fits, a.Grow(5000, kLimits));
    EXPECT_EQ(8192u, a.GetCapacity());
    Bytes(a)[8000] = 'g';
    a.UnlockWrite(8);
    EXPECT_STREQ("survives", Bytes(a));

    SharedMemory c;
    bool existed = false;
    ASSERT_EQ(S_OK, CreateKey(c, name, &existed));
    EXPECT_TRUE(existed);
    EXPECT_EQ(8192u, c.GetCapacity());
    EXPECT_EQ('g', Bytes(c)[8000]);
    EXPECT_STREQ("survives", Bytes(c));
}

TEST(SharedMemoryGrow, RefusedWhenLengthExceedsNewCapacity)
{
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    SharedMemory m;
    ASSERT_EQ(S_OK, CreateKey(m, RegionName()));
    ASSERT_TRUE(m.LockWrite(1000));
    m.UnlockWrite(30000);
    ASSERT_TRUE(m.LockWrite(1000));
    EXPECT_EQ(GrowResult::Failed, m.Grow(5000, kLimits));
    EXPECT_EQ(4096u, m.GetCapacity());
    m.UnlockWrite(0);
    ASSERT_TRUE(capture.Flush());
    EXPECT_EQ(0u, capture.Texts().size());
}

TEST(SharedMemoryReserve, RoundsUpToWholeStepsWithinLimit)
{
    struct Row {
        DWORD      bytes;
        GrowResult result;
        DWORD      capacity;
    };
    const GrowResult fits = GrowResult::Fits;
    const Row rows[] = {
        {1, fits, 4096},      {4096, fits, 4096},  {4097, fits, 8192},
        {65535, fits, 65536}, {65536, fits, 65536}, {65537, GrowResult::TooLarge, 4096},
    };
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    for (const Row& row : rows) {
        SCOPED_TRACE("bytes " + std::to_string(row.bytes));
        SharedMemory m;
        ASSERT_EQ(S_OK, CreateKey(m, RegionName()));
        WriteText(m, "reserved");
        ASSERT_TRUE(m.LockWrite(1000));
        capture.Clear();
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.result, m.Reserve(row.bytes, kLimits));
        if (row.result != fits) {
            EXPECT_EQ(0xdeadbeefu, GetLastError());
        }
        EXPECT_EQ(row.capacity, m.GetCapacity());
        EXPECT_STREQ("reserved", Bytes(m));
        Bytes(m)[row.capacity - 1] = 'e';
        m.UnlockWrite(8);
        ASSERT_TRUE(capture.Flush());
        EXPECT_EQ(0u, capture.Texts().size());
    }
}

// Child modes of HolderReclaimTest.cpp.
int ChildHoldReadForever(int argc, char** argv);
int ChildExitAtOnce(int argc, char** argv);

int main(int argc, char** argv)
{
    return RunTestsOrChildMode(argc, argv,
                               {{"open-check", ChildOpenCheck},
                                {"hold-write", ChildHoldWrite},
                                {"hold-read", ChildHoldReadForever},
                                {"exit", ChildExitAtOnce}});
}
