// The store beside what a programmer on the unit would use instead: the
// registry, INI files, a bare in-process lock, plain file flushes and named
// events. Prints one Markdown table of median rates and the goals they meet.
//
//   store_bench.exe [--cpu TEXT] [--cores N] [--wine TEXT]
//   store_bench.exe --child ITERATIONS     (the second process of the hand-over rows)

// The slim reader/writer lock of the floor row needs the Vista API level.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Crc32.h"
#include "Retenta.h"
#include "SharedMemory.h"

namespace {

constexpr int    kRepetitions = 7;
constexpr double kSliceSeconds = 0.05;        // one repetition of a fast row
constexpr double kSlowSliceSeconds = 0.25;    // one repetition of a row that touches the disk
constexpr int    kHandOverIterations = 300;   // per repetition of a hand-over row

const char kBenchDir[]   = "C:\\storebench";
const char kSubdir[]     = "Bench";
const char kRegRoot[]    = "Software\\StoreBench";
const char kHandOverName[] = "storebench/handover";
const char kReadyEvent[] = "storebench/ready";
const char kPingEvent[]  = "storebench/ping";
const char kPongEvent[]  = "storebench/pong";
const char kAckEvent[]   = "storebench/ack";
const char kTimesName[]  = "storebench/times";

// ---------------------------------------------------------------- timing

LARGE_INTEGER g_frequency;

long long Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Seconds(long long ticks) { return static_cast<double>(ticks) / static_cast<double>(g_frequency.QuadPart); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

volatile unsigned long g_sink;   // keeps results alive

// Median over the repetitions of ops/s, each repetition running op(i) with a
// rising i for about `slice` seconds. One repetition first warms up.
template <typename Op>
double Rate(Op op, double slice = kSliceSeconds)
{
    std::vector<double> rates;
    long long i = 0;
    for (int rep = -1; rep < kRepetitions; ++rep) {
        long long ops = 0;
        long long start = Ticks();
        double elapsed = 0;
        do {
            for (int k = 0; k < 16; ++k) op(i++);
            ops += 16;
            elapsed = Seconds(Ticks() - start);
        } while (elapsed < slice);
        if (rep >= 0) rates.push_back(ops / elapsed);
    }
    return Median(rates);
}

// Rate for two operations whose repetitions alternate, so that both see the
// same load of the machine: their ratio is what the goals are held against.
template <typename OpA, typename OpB>
void RatePair(OpA a, OpB b, double* rateA, double* rateB, double slice = kSliceSeconds)
{
    std::vector<double> ratesA, ratesB;
    long long i = 0;
    auto repetition = [&](auto& op) {
        long long ops = 0;
        long long start = Ticks();
        double elapsed = 0;
        do {
            for (int k = 0; k < 16; ++k) op(i++);
            ops += 16;
            elapsed = Seconds(Ticks() - start);
        } while (elapsed < slice);
        return ops / elapsed;
    };
    for (int rep = -1; rep < kRepetitions; ++rep) {
        double ra = repetition(a);
        double rb = repetition(b);
        if (rep >= 0) {
            ratesA.push_back(ra);
            ratesB.push_back(rb);
        }
    }
    *rateA = Median(ratesA);
    *rateB = Median(ratesB);
}

// As Rate for an op that times its own cost (it returns its seconds): used
// where each operation needs set-up and tear-down that must not be counted.
template <typename Op>
double TimedRate(Op op, double slice)
{
    std::vector<double> rates;
    long long i = 0;
    for (int rep = -1; rep < kRepetitions; ++rep) {
        long long ops = 0;
        double spent = 0;
        long long start = Ticks();
        do {
            spent += op(i++);
            ++ops;
        } while (Seconds(Ticks() - start) < slice || ops < 5);
        if (rep >= 0) rates.push_back(ops / spent);
    }
    return Median(rates);
}

// ---------------------------------------------------------------- the table

struct Row {
    std::string group;
    std::string operation;
    double      rate;
    std::string counterpart;
    double      counterRate;
};

std::vector<Row> g_rows;

void AddRow(const std::string& group, const std::string& op, double rate, const std::string& counterpart,
            double counterRate)
{
    g_rows.push_back({group, op, rate, counterpart, counterRate});
    std::fprintf(stderr, "  %-4s %-44s %12.0f  vs %-40s %12.0f\n", group.c_str(), op.c_str(), rate,
                 counterpart.c_str(), counterRate);
}

std::string Figure(double rate)
{
    char text[32];
    if (rate >= 100) std::snprintf(text, sizeof text, "%.0f", rate);
    else std::snprintf(text, sizeof text, "%.1f", rate);
    return text;
}

// ---------------------------------------------------------------- fixtures

std::string ValueName(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "Value%03d", i);
    return name;
}

bool IsDwordIndex(int i) { return i % 2 == 0; }   // even names hold dwords, odd ones strings

unsigned long DwordValue(int i, int round) { return 100000ul + static_cast<unsigned long>(i) * 10 + (round & 1); }

std::string StringValue(int i, int round)
{
    char text[40];
    std::snprintf(text, sizeof text, "configuration-text-%03d-%c", i, round & 1 ? 'b' : 'a');
    return text;
}

std::string KeyName(const char* stem, int values)
{
    return std::string(stem) + std::to_string(values);
}

std::string IniPath(int values)
{
    return std::string(kBenchDir) + "\\Values" + std::to_string(values) + ".ini";
}

std::string RegPath(int values)
{
    return std::string(kRegRoot) + "\\Values" + std::to_string(values);
}

bool Check(bool ok, const char* what)
{
    if (!ok) std::fprintf(stderr, "store_bench: %s failed (last error %lu)\n", what, GetLastError());
    return ok;
}

// Fills a store key with `values` values, closed so that its files hold them.
bool FillStoreKey(const std::string& key, int values)
{
    if (!Check(OpenPersistKey(kSubdir, key.c_str(), -1) != PERS_FAILED, "OpenPersistKey")) return false;
    for (int i = 0; i < values; ++i) {
        std::string name = ValueName(i);
        long r = IsDwordIndex(i) ? PersistDW(name.c_str(), DwordValue(i, 0), -1)
                                 : PersistString(name.c_str(), StringValue(i, 0).c_str(), -1);
        if (!Check(r != PERS_FAILED, "filling the key")) return false;
    }
    return Check(ClosePersistKey(-1) != PERS_FAILED, "ClosePersistKey");
}

bool FillRegistry(int values)
{
    HKEY key = nullptr;
    if (!Check(RegCreateKeyExA(HKEY_CURRENT_USER, RegPath(values).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key, nullptr) == ERROR_SUCCESS, "RegCreateKeyExA"))
        return false;
    for (int i = 0; i < values; ++i) {
        std::string name = ValueName(i);
        if (IsDwordIndex(i)) {
            DWORD v = DwordValue(i, 0);
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
        } else {
            std::string s = StringValue(i, 0);
            RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(s.c_str()),
                           static_cast<DWORD>(s.size() + 1));
        }
    }
    RegCloseKey(key);
    return true;
}

bool FillIni(int values)
{
    std::string path = IniPath(values);
    DeleteFileA(path.c_str());
    for (int i = 0; i < values; ++i) {
        std::string name = ValueName(i);
        std::string text = IsDwordIndex(i) ? std::to_string(DwordValue(i, 0)) : StringValue(i, 0);
        if (!Check(WritePrivateProfileStringA("Values", name.c_str(), text.c_str(), path.c_str()) != 0,
                   "WritePrivateProfileStringA"))
            return false;
    }
    return true;
}

// Names of one type, as the rows cycle through them.
std::vector<std::string> NamesOfType(int values, bool dword)
{
    std::vector<std::string> names;
    for (int i = 0; i < values; ++i)
        if (IsDwordIndex(i) == dword) names.push_back(ValueName(i));
    return names;
}

// ---------------------------------------------------------------- the floor

struct FloorEntry {
    char          name[16];
    unsigned long dword;
    char          text[40];
};

int CompareNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : static_cast<unsigned char>(*a);
        int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : static_cast<unsigned char>(*b);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

// The bare cost of a cross-thread lookup: a shared SRW hold and a binary
// search over a plain sorted array, the value copied out as the store does.
__attribute__((noinline)) const FloorEntry* FloorFind(const std::vector<FloorEntry>& entries, const char* name)
{
    int low = 0;
    int high = static_cast<int>(entries.size()) - 1;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        int order = CompareNoCase(name, entries[middle].name);
        if (order == 0) return &entries[middle];
        if (order < 0) high = middle - 1;
        else low = middle + 1;
    }
    return nullptr;
}

// ---------------------------------------------------------------- rows 1: open key

void OpenKeyRows(int values)
{
    std::string key = KeyName("Values", values);
    std::string suffix = ", " + std::to_string(values) + " values";
    std::vector<std::string> dwords = NamesOfType(values, true);
    std::vector<std::string> strings = NamesOfType(values, false);
    std::vector<std::string> dwordText, stringText[2];
    for (int i = 0; i < values; ++i) {
        if (!IsDwordIndex(i)) {
            stringText[0].push_back(StringValue(i, 0));
            stringText[1].push_back(StringValue(i, 1));
        }
    }
    char buffer[256];

    // The floor.
    std::vector<FloorEntry> floor(values);
    for (int i = 0; i < values; ++i) {
        std::snprintf(floor[i].name, sizeof floor[i].name, "%s", ValueName(i).c_str());
        floor[i].dword = DwordValue(i, 0);
        std::snprintf(floor[i].text, sizeof floor[i].text, "%s", StringValue(i, 0).c_str());
    }
    SRWLOCK srw;
    InitializeSRWLock(&srw);
    auto floorDwordRead = [&](long long i) {
        AcquireSRWLockShared(&srw);
        const FloorEntry* e = FloorFind(floor, dwords[i % dwords.size()].c_str());
        g_sink = e ? e->dword : 0;
        ReleaseSRWLockShared(&srw);
    };
    auto floorStringRead = [&](long long i) {
        AcquireSRWLockShared(&srw);
        const FloorEntry* e = FloorFind(floor, strings[i % strings.size()].c_str());
        if (e) std::memcpy(buffer, e->text, std::strlen(e->text) + 1);
        g_sink = static_cast<unsigned char>(buffer[0]);
        ReleaseSRWLockShared(&srw);
    };

    // The store, on its open key.
    OpenPersistKey(kSubdir, key.c_str(), -1);
    auto storeDwordRead = [&](long long i) {
        unsigned long v = 0;
        GetPersistedDW(dwords[i % dwords.size()].c_str(), &v, 0, -1);
        g_sink = v;
    };
    auto storeStringRead = [&](long long i) {
        GetPersistedString(strings[i % strings.size()].c_str(), sizeof buffer, buffer, nullptr, -1);
        g_sink = static_cast<unsigned char>(buffer[0]);
    };
    double storeReadDw = 0, floorDword = 0, storeReadSz = 0, floorString = 0;
    RatePair(storeDwordRead, floorDwordRead, &storeReadDw, &floorDword);
    RatePair(storeStringRead, floorStringRead, &storeReadSz, &floorString);
    double storeWriteDw = Rate([&](long long i) {
        size_t n = i % dwords.size();
        PersistDW(dwords[n].c_str(), DwordValue(static_cast<int>(n) * 2, static_cast<int>(i / dwords.size())), -1);
    });
    double storeWriteSz = Rate([&](long long i) {
        size_t n = i % strings.size();
        PersistString(strings[n].c_str(), stringText[(i / strings.size()) & 1][n].c_str(), -1);
    });
    ClosePersistKey(-1);

    // The registry, on an open key.
    HKEY reg = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, RegPath(values).c_str(), 0, KEY_ALL_ACCESS, &reg);
    double regReadDw = Rate([&](long long i) {
        DWORD v = 0, size = sizeof v, type = 0;
        RegQueryValueExA(reg, dwords[i % dwords.size()].c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
        g_sink = v;
    });
    double regReadSz = Rate([&](long long i) {
        DWORD size = sizeof buffer, type = 0;
        RegQueryValueExA(reg, strings[i % strings.size()].c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size);
        g_sink = static_cast<unsigned char>(buffer[0]);
    });
    double regWriteDw = Rate([&](long long i) {
        size_t n = i % dwords.size();
        DWORD v = DwordValue(static_cast<int>(n) * 2, static_cast<int>(i / dwords.size()));
        RegSetValueExA(reg, dwords[n].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    });
    double regWriteSz = Rate([&](long long i) {
        size_t n = i % strings.size();
        const std::string& s = stringText[(i / strings.size()) & 1][n];
        RegSetValueExA(reg, strings[n].c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(s.c_str()),
                       static_cast<DWORD>(s.size() + 1));
    });
    RegCloseKey(reg);

    // The INI file.
    std::string ini = IniPath(values);
    double iniReadDw = Rate([&](long long i) {
        GetPrivateProfileStringA("Values", dwords[i % dwords.size()].c_str(), "", buffer, sizeof buffer, ini.c_str());
        g_sink = std::strtoul(buffer, nullptr, 10);
    }, kSlowSliceSeconds);
    double iniReadSz = Rate([&](long long i) {
        GetPrivateProfileStringA("Values", strings[i % strings.size()].c_str(), "", buffer, sizeof buffer,
                                 ini.c_str());
        g_sink = static_cast<unsigned char>(buffer[0]);
    }, kSlowSliceSeconds);
    double iniWriteDw = Rate([&](long long i) {
        size_t n = i % dwords.size();
        char text[16];
        std::snprintf(text, sizeof text, "%lu", DwordValue(static_cast<int>(n) * 2, static_cast<int>(i / dwords.size())));
        WritePrivateProfileStringA("Values", dwords[n].c_str(), text, ini.c_str());
    }, kSlowSliceSeconds);
    double iniWriteSz = Rate([&](long long i) {
        size_t n = i % strings.size();
        WritePrivateProfileStringA("Values", strings[n].c_str(), stringText[(i / strings.size()) & 1][n].c_str(),
                                   ini.c_str());
    }, kSlowSliceSeconds);

    AddRow("1", "read dword" + suffix, storeReadDw, "SRW shared + binary search (floor)", floorDword);
    AddRow("1", "read dword" + suffix, storeReadDw, "RegQueryValueExA, open key", regReadDw);
    AddRow("1", "read dword" + suffix, storeReadDw, "GetPrivateProfileStringA", iniReadDw);
    AddRow("1", "read string" + suffix, storeReadSz, "SRW shared + binary search (floor)", floorString);
    AddRow("1", "read string" + suffix, storeReadSz, "RegQueryValueExA, open key", regReadSz);
    AddRow("1", "read string" + suffix, storeReadSz, "GetPrivateProfileStringA", iniReadSz);
    AddRow("1", "write dword" + suffix, storeWriteDw, "RegSetValueExA, open key", regWriteDw);
    AddRow("1", "write dword" + suffix, storeWriteDw, "WritePrivateProfileStringA", iniWriteDw);
    AddRow("1", "write string" + suffix, storeWriteSz, "RegSetValueExA, open key", regWriteSz);
    AddRow("1", "write string" + suffix, storeWriteSz, "WritePrivateProfileStringA", iniWriteSz);
}

// ---------------------------------------------------------------- rows 2: one-shot reads

const char kShotKey[] = "Shot20";
const char kShotValue[] = "Value011";

struct ShotCall {
    double seconds;
    long   result;
};

DWORD WINAPI TimedShot(void* parameter)
{
    auto* call = static_cast<ShotCall*>(parameter);
    char buffer[64];
    long long start = Ticks();
    call->result = GetOnePersistedString(kSubdir, kShotKey, -1, kShotValue, sizeof buffer, buffer, nullptr);
    call->seconds = Seconds(Ticks() - start);
    return 0;
}

// One one-shot read on a thread of its own, which has no key object yet and
// whose end destroys the one the call made.
double ShotOnFreshThread()
{
    ShotCall call{0, 0};
    HANDLE thread = CreateThread(nullptr, 0, TimedShot, &call, 0, nullptr);
    if (!thread) return 0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (call.result == PERS_FAILED) std::fprintf(stderr, "store_bench: one-shot read failed\n");
    return call.seconds;
}

struct Holder {
    HANDLE stop;
    HANDLE ready;
};

// Keeps the one-shot key open through a key object of its own until stopped.
DWORD WINAPI HoldKey(void* parameter)
{
    auto* holder = static_cast<Holder*>(parameter);
    OpenPersistKey(kSubdir, kShotKey, -1);
    ClosePersistKey(-1);   // the key object stays in this thread's table
    SetEvent(holder->ready);
    WaitForSingleObject(holder->stop, INFINITE);
    return 0;
}

DWORD WINAPI FillShotKey(void*)
{
    return FillStoreKey(kShotKey, 20) ? 0 : 1;
}

struct RepeatedShots {
    double rate;
};

DWORD WINAPI RepeatShots(void* parameter)
{
    char buffer[64];
    static_cast<RepeatedShots*>(parameter)->rate = Rate([&](long long) {
        GetOnePersistedString(kSubdir, kShotKey, -1, kShotValue, sizeof buffer, buffer, nullptr);
    });
    return 0;
}

void RunOnThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void OneShotRows()
{
    RunOnThread(FillShotKey, nullptr);   // its end releases the key: only the files hold it

    HKEY root = HKEY_CURRENT_USER;
    std::string regPath = RegPath(20);
    char buffer[64];
    double regShot = Rate([&](long long) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, regPath.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD size = sizeof buffer, type = 0;
            RegQueryValueExA(key, kShotValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
            RegCloseKey(key);
        }
    });

    double fromFiles = TimedRate([](long long) { return ShotOnFreshThread(); }, kSlowSliceSeconds);

    Holder holder{CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE holding = CreateThread(nullptr, 0, HoldKey, &holder, 0, nullptr);
    WaitForSingleObject(holder.ready, INFINITE);
    double heldElsewhere = TimedRate([](long long) { return ShotOnFreshThread(); }, kSlowSliceSeconds);
    RepeatedShots repeated{0};
    RunOnThread(RepeatShots, &repeated);
    SetEvent(holder.stop);
    WaitForSingleObject(holding, INFINITE);
    CloseHandle(holding);
    CloseHandle(holder.stop);
    CloseHandle(holder.ready);

    std::string backupDir = std::string(kBenchDir) + "\\" + kSubdir;
    double attributes = Rate([&](long long) { g_sink = GetFileAttributesA(backupDir.c_str()); });

    const char* counterpart = "RegOpenKeyExA + RegQueryValueExA + RegCloseKey";
    AddRow("2", "GetOnePersistedString, key in own table", repeated.rate, counterpart, regShot);
    AddRow("2", "GetOnePersistedString, held by other thread", heldElsewhere, counterpart, regShot);
    AddRow("2", "GetOnePersistedString, loaded from files", fromFiles, counterpart, regShot);
    AddRow("2", "(part) GetFileAttributesA of the key directory", attributes, counterpart, regShot);
}

// ---------------------------------------------------------------- row 3: durable writes

struct DurableFigures {
    double persistOne;
    double flushUnit;
    double persistOnePaired;   // measured beside twoInPlace
    double twoInPlace;         // both key files rewritten in place and flushed
};

// Rewrites a file in place as a save does at best: open the existing file,
// write, cut to the new end, flush, close.
void RewriteInPlace(const std::string& path, const char* data, DWORD size)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, data, size, &written, nullptr);
    SetEndOfFile(f);
    FlushFileBuffers(f);
    CloseHandle(f);
}

DurableFigures DurableRows()
{
    const char key[] = "Durable20";
    FillStoreKey(key, 20);
    HKEY reg = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, RegPath(20).c_str(), 0, KEY_ALL_ACCESS, &reg);
    double regFlush = Rate([&](long long i) {
        DWORD v = DwordValue(0, static_cast<int>(i));
        RegSetValueExA(reg, "Value000", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
        RegFlushKey(reg);
    }, kSlowSliceSeconds);
    RegCloseKey(reg);

    // The unit the goal is measured in: rewriting a small file and flushing it.
    std::string path = std::string(kBenchDir) + "\\flush.dat";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    char block[600];
    std::memset(block, 'x', sizeof block);
    // The goal's two sides alternate: the disk's speed wanders from second to second.
    double persistOne = 0, flush = 0;
    RatePair([&](long long i) { PersistOneDW(kSubdir, key, -1, "Value000", DwordValue(0, static_cast<int>(i))); },
             [&](long long i) {
                 block[0] = static_cast<char>('a' + i % 26);
                 SetFilePointer(file, 0, nullptr, FILE_BEGIN);
                 DWORD written = 0;
                 WriteFile(file, block, sizeof block, &written, nullptr);
                 FlushFileBuffers(file);
             },
             &persistOne, &flush, kSlowSliceSeconds);
    CloseHandle(file);

    // The parts of the save, to see where its time goes.
    std::string copy = std::string(kBenchDir) + "\\flush-copy.dat";
    double copyRate = Rate([&](long long) { CopyFileA(path.c_str(), copy.c_str(), FALSE); }, kSlowSliceSeconds);
    double createWriteFlush = Rate([&](long long i) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        block[0] = static_cast<char>('a' + i % 26);
        DWORD written = 0;
        WriteFile(f, block, sizeof block, &written, nullptr);
        FlushFileBuffers(f);
        CloseHandle(f);
    }, kSlowSliceSeconds);

    double inPlace = Rate([&](long long i) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        block[0] = static_cast<char>('a' + i % 26);
        DWORD written = 0;
        WriteFile(f, block, sizeof block, &written, nullptr);
        SetEndOfFile(f);
        FlushFileBuffers(f);
        CloseHandle(f);
    }, kSlowSliceSeconds);

    // The goal of the durable write: both key files, each rewritten in place
    // and flushed, of the key's own size. The two sides alternate.
    std::string priPath = std::string(kBenchDir) + "\\" + kSubdir + "\\" + key + ".pri";
    std::string keyFile;
    {
        HANDLE f = CreateFileA(priPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char bytes[4096];
        DWORD got = 0;
        if (f != INVALID_HANDLE_VALUE && ReadFile(f, bytes, sizeof bytes, &got, nullptr)) keyFile.assign(bytes, got);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    if (keyFile.empty()) keyFile.assign(600, 'x');
    std::string twoA = std::string(kBenchDir) + "\\inplace-a.dat", twoB = std::string(kBenchDir) + "\\inplace-b.dat";
    double persistOnePaired = 0, twoInPlace = 0;
    RatePair([&](long long i) { PersistOneDW(kSubdir, key, -1, "Value000", DwordValue(0, static_cast<int>(i))); },
             [&](long long i) {
                 keyFile[0] = static_cast<char>('a' + i % 26);
                 RewriteInPlace(twoA, keyFile.data(), static_cast<DWORD>(keyFile.size()));
                 RewriteInPlace(twoB, keyFile.data(), static_cast<DWORD>(keyFile.size()));
             },
             &persistOnePaired, &twoInPlace, kSlowSliceSeconds);

    AddRow("3", "PersistOneDW (saved, flushed, copied)", persistOne, "RegSetValueExA + RegFlushKey", regFlush);
    AddRow("3", "PersistOneDW (saved, flushed, copied)", persistOne, "WriteFile + FlushFileBuffers, 600 B (unit)",
           flush);
    AddRow("3", "(part) create + write + flush + close, 600 B", createWriteFlush, "WriteFile + FlushFileBuffers (unit)",
           flush);
    AddRow("3", "(part) CopyFileA, 600 B", copyRate, "WriteFile + FlushFileBuffers (unit)", flush);
    AddRow("3", "(option) open existing + write + truncate + flush, 600 B", inPlace,
           "WriteFile + FlushFileBuffers (unit)", flush);
    std::string both = "two in-place rewrites + flush, " + std::to_string(keyFile.size()) + " B each";
    AddRow("3", "PersistOneDW (saved, flushed, copied)", persistOnePaired, both.c_str(), twoInPlace);
    return {persistOne, flush, persistOnePaired, twoInPlace};
}

// ---------------------------------------------------------------- row 4: CRC

struct CrcFigures {
    double crc;
    double plain;
};

CrcFigures CrcRows()
{
    const size_t size = 1u << 20;
    std::vector<unsigned char> source(size), target(size);
    for (size_t i = 0; i < size; ++i) source[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    if (keyfile::Crc32(source.data(), size) != keyfile::Crc32Bytewise(source.data(), size))
        std::fprintf(stderr, "store_bench: the two CRCs disagree\n");
    const double mib = 1.0;   // one operation is one pass over 1 MiB
    double crc = 0, plain = 0;
    RatePair([&](long long) { g_sink = keyfile::Crc32(source.data(), size); },
             [&](long long) { g_sink = keyfile::Crc32Bytewise(source.data(), size); }, &crc, &plain);
    crc *= mib;
    plain *= mib;
    double copy = mib * Rate([&](long long i) {
        source[0] = static_cast<unsigned char>(i);
        std::memcpy(target.data(), source.data(), size);
        g_sink = target[size - 1];
    });
    AddRow("4", "keyfile::Crc32, 1 MiB (MiB/s)", crc, "byte-at-a-time loop, Crc32Bytewise (MiB/s)", plain);
    AddRow("4", "keyfile::Crc32, 1 MiB (MiB/s)", crc, "memcpy, 1 MiB (MiB/s)", copy);
    return {crc, plain};
}

// ---------------------------------------------------------------- row 5: hand-over

struct HandOverTimes {
    volatile LONGLONG released;   // the writer's clock just before it let go
    volatile LONG     progress;   // the child's iterations so far, for a failure report
};

// The second process: for every iteration, takes the write lock, tells the
// parent, waits until the parent waits for a read hold, stamps and releases.
// Then the same count of bare event signals for the counterpart.
int RunChild(int iterations)
{
    QueryPerformanceFrequency(&g_frequency);
    SharedMemory region;
    if (FAILED(region.Create(kHandOverName, 1, 4096))) return 2;
    HANDLE ready = OpenEventA(EVENT_ALL_ACCESS, FALSE, kReadyEvent);
    HANDLE ping = OpenEventA(EVENT_ALL_ACCESS, FALSE, kPingEvent);
    HANDLE pong = OpenEventA(EVENT_ALL_ACCESS, FALSE, kPongEvent);
    HANDLE ack = OpenEventA(EVENT_ALL_ACCESS, FALSE, kAckEvent);
    HANDLE timesMapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kTimesName);
    if (!ready || !ping || !pong || !ack || !timesMapping) return 3;
    auto* times = static_cast<HandOverTimes*>(MapViewOfFile(timesMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    times->progress = -1;
    SharedControlBlock* scb = region.Control();

    for (int i = 0; i < iterations; ++i) {
        if (!region.LockWrite(-1)) return 4;
        LONG before = scb->scb_waiters;
        SetEvent(ready);
        long long giveUp = Ticks() + g_frequency.QuadPart * 2;
        for (unsigned spins = 0; scb->scb_waiters <= before; ++spins) {
            if (spins % 64 == 63) Sleep(0);
            if (Ticks() > giveUp) break;
        }
        times->released = Ticks();
        region.UnlockWrite(4);
        times->progress = i + 1;
        // The lock favours no one: re-taken at once, it would be ours again
        // before the woken reader looked. Wait for the reader's turn.
        if (WaitForSingleObject(ack, 5000) != WAIT_OBJECT_0) return 5;
    }
    for (int i = 0; i < iterations; ++i) {
        WaitForSingleObject(pong, INFINITE);
        times->released = Ticks();
        SetEvent(ping);
    }
    UnmapViewOfFile(times);
    CloseHandle(timesMapping);
    return 0;
}

void HandOverRows()
{
    SharedMemory region;
    if (FAILED(region.Create(kHandOverName, 1, 4096))) {
        std::fprintf(stderr, "store_bench: hand-over region not created\n");
        return;
    }
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, kReadyEvent);
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, kPingEvent);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, kPongEvent);
    HANDLE ack = CreateEventA(nullptr, FALSE, FALSE, kAckEvent);
    HANDLE timesMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kTimesName);
    auto* times = static_cast<HandOverTimes*>(MapViewOfFile(timesMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));

    const int total = (kRepetitions + 1) * kHandOverIterations;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    char commandLine[MAX_PATH + 32];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" --child %d", self, total);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        std::fprintf(stderr, "store_bench: child not started (%lu)\n", GetLastError());
        return;
    }

    // Writer to reader: from the writer's release to the reader's hold.
    std::vector<double> lockRates, cycleRates;
    bool failed = false;
    for (int rep = -1; rep < kRepetitions && !failed; ++rep) {
        double handOver = 0;
        long long start = Ticks();
        for (int i = 0; i < kHandOverIterations; ++i) {
            if (WaitForSingleObject(ready, 5000) != WAIT_OBJECT_0 || !region.LockRead(5000)) {
                std::fprintf(stderr, "store_bench: lock hand-over %d of repetition %d timed out\n", i, rep);
                failed = true;
                break;
            }
            long long held = Ticks();
            handOver += Seconds(held - times->released);
            region.UnlockRead();
            SetEvent(ack);
        }
        double cycle = Seconds(Ticks() - start);
        if (rep >= 0) {
            lockRates.push_back(kHandOverIterations / handOver);
            cycleRates.push_back(kHandOverIterations / cycle);
        }
    }

    std::vector<double> eventRates;
    for (int rep = -1; rep < kRepetitions && !failed; ++rep) {
        double handOver = 0;
        for (int i = 0; i < kHandOverIterations; ++i) {
            SetEvent(pong);
            if (WaitForSingleObject(ping, 5000) != WAIT_OBJECT_0) {
                std::fprintf(stderr, "store_bench: event hand-over %d of repetition %d timed out\n", i, rep);
                failed = true;
                break;
            }
            handOver += Seconds(Ticks() - times->released);
        }
        if (rep >= 0) eventRates.push_back(kHandOverIterations / handOver);
    }

    if (WaitForSingleObject(child.hProcess, failed ? 0 : 10000) != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
    DWORD childExit = 0;
    GetExitCodeProcess(child.hProcess, &childExit);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(ready);
    CloseHandle(ping);
    CloseHandle(pong);
    CloseHandle(ack);
    if (failed) {
        std::fprintf(stderr, "store_bench: hand-over rows abandoned (a wait timed out, child exit %lu,"
                     " child at %ld, writer %ld readers %ld waiters %ld)\n", childExit, times->progress,
                     region.Control()->scb_writer, region.Control()->scb_readers, region.Control()->scb_waiters);
    }
    UnmapViewOfFile(times);
    CloseHandle(timesMapping);
    if (failed) return;
    double eventRate = Median(eventRates);
    AddRow("5", "write lock -> read hold hand-over, 2 processes", Median(lockRates),
           "SetEvent -> WaitForSingleObject wake, 2 processes", eventRate);
    AddRow("5", "full cycle (lock, hand-over, hold, release, ack)", Median(cycleRates),
           "SetEvent -> WaitForSingleObject wake, 2 processes", eventRate);
}

// ---------------------------------------------------------------- report

struct Machine {
    std::string cpu = "unknown";
    std::string cores;
    std::string wine = "unknown";
};

void PrintTable(const Machine& machine)
{
    std::printf("Machine: %s, %s cores, %s; Retenta.dll bound by ordinal; median of %d repetitions.\n\n",
                machine.cpu.c_str(), machine.cores.c_str(), machine.wine.c_str(), kRepetitions);
    std::printf("| # | Retenta operation | ops/s | Counterpart | ops/s | Ratio |\n");
    std::printf("|---|---|---:|---|---:|---:|\n");
    for (const Row& row : g_rows) {
        std::printf("| %s | %s | %s | %s | %s | %.2f |\n", row.group.c_str(), row.operation.c_str(),
                    Figure(row.rate).c_str(), row.counterpart.c_str(), Figure(row.counterRate).c_str(),
                    row.rate / row.counterRate);
    }
    std::printf("\nRatio = Retenta ops/s / counterpart ops/s. Hand-over rows: ops/s = 1 / mean latency.\n");
}

const Row* FindRow(const std::string& op, const std::string& counterpartStart)
{
    for (const Row& row : g_rows)
        if (row.operation == op && row.counterpart.compare(0, counterpartStart.size(), counterpartStart) == 0)
            return &row;
    return nullptr;
}

void PrintGoals(const CrcFigures& crc, const DurableFigures& durable)
{
    std::printf("\nGoals:\n");
    for (int values : {20, 250}) {
        std::string suffix = ", " + std::to_string(values) + " values";
        for (const char* kind : {"dword", "string"}) {
            const Row* floor = FindRow(std::string("read ") + kind + suffix, "SRW");
            const Row* readReg = FindRow(std::string("read ") + kind + suffix, "RegQuery");
            const Row* writeReg = FindRow(std::string("write ") + kind + suffix, "RegSet");
            if (floor) {
                double times = floor->counterRate / floor->rate;
                std::printf("- read %s%s: %.2fx the floor's cost (goal <= 1.2): %s\n", kind, suffix.c_str(), times,
                            times <= 1.2 ? "met" : "missed");
            }
            if (readReg) {
                double ratio = readReg->rate / readReg->counterRate;
                std::printf("- read %s%s: %.1fx the registry (goal >= 20): %s\n", kind, suffix.c_str(), ratio,
                            ratio >= 20 ? "met" : "missed");
            }
            if (writeReg) {
                double ratio = writeReg->rate / writeReg->counterRate;
                std::printf("- write %s%s: %.1fx the registry (goal >= 10): %s\n", kind, suffix.c_str(), ratio,
                            ratio >= 10 ? "met" : "missed");
            }
        }
    }
    if (durable.persistOnePaired > 0) {
        double times = durable.twoInPlace / durable.persistOnePaired;
        std::printf("- PersistOneDW: %.2fx two flushed in-place rewrites (goal <= 1.2): %s\n", times,
                    times <= 1.2 ? "met" : "missed");
    }
    if (crc.plain <= 0 || durable.persistOne <= 0) return;
    double crcTimes = crc.crc / crc.plain;
    std::printf("- CRC: %.1fx the byte loop (goal >= 3): %s\n", crcTimes, crcTimes >= 3 ? "met" : "missed");
    double flushes = durable.flushUnit / durable.persistOne;
    std::printf("- PersistOneDW: %.2f flushes' worth (goal <= 2): %s\n", flushes, flushes <= 2 ? "met" : "missed");
}

std::string Argument(int argc, char** argv, const char* name, const std::string& fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return fallback;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return RunChild(std::atoi(argv[2]));

    QueryPerformanceFrequency(&g_frequency);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    Machine machine;
    machine.cpu = Argument(argc, argv, "--cpu", machine.cpu);
    machine.cores = Argument(argc, argv, "--cores", std::to_string(info.dwNumberOfProcessors));
    machine.wine = Argument(argc, argv, "--wine", machine.wine);

    CreateDirectoryA(kBenchDir, nullptr);
    if (!Check(SetPersistBasePath(kBenchDir), "SetPersistBasePath")) return 1;
    for (int values : {20, 250}) {
        if (!FillStoreKey(KeyName("Values", values), values) || !FillRegistry(values) || !FillIni(values)) return 1;
    }

    // --only GROUP runs one group of rows (1 to 5), for a quick look.
    int only = std::atoi(Argument(argc, argv, "--only", "0").c_str());
    std::fprintf(stderr, "store_bench: measuring (%d repetitions per row)\n", kRepetitions);
    DurableFigures durable{0, 0, 0, 0};
    CrcFigures crc{0, 0};
    if (!only || only == 1) {
        OpenKeyRows(20);
        OpenKeyRows(250);
    }
    if (!only || only == 2) OneShotRows();
    if (!only || only == 3) durable = DurableRows();
    if (!only || only == 4) crc = CrcRows();
    if (!only || only == 5) HandOverRows();

    PrintTable(machine);
    PrintGoals(crc, durable);
    return 0;
}
