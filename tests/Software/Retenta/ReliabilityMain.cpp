// Reliability figures of the store, each from its own test:
//   ReliabilityKill     --kills=N     a changing process killed at random moments
//   ReliabilityWriters  --writes=N    4 processes x 4 threads of one-shot writes into one key
//   ReliabilityDamage   --damage=all  single-byte changes (some, bits, all) and every truncation of a primary
// The defaults keep a CTest run short; the figures quoted for the store use
// --kills=200 --writes=1000 --damage=all.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ChildProcess.h"
#include "Reliability.h"

ReliabilityOptions g_reliability;

void Figure(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::printf("[  FIGURE  ] %s\n", line);
    std::fflush(stdout);
}

RunStore::RunStore(const char* sub, const char* key)
    : pri(dir.Path() + "\\" + sub + "\\" + key + ".pri"), sec(dir.Path() + "\\" + sub + "\\" + key + ".sec")
{
    backupDrive.Remove();
    basePathSet = SetPersistBasePath(dir.Path().c_str());
}

void* JoinRun(int argc, char** argv, size_t size)
{
    SetPersistBasePath(ChildArgument(argc, argv, "base").c_str());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, ChildArgument(argc, argv, "map").c_str());
    if (!mapping) return nullptr;
    return MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--kills=", 8) == 0) g_reliability.kills = std::atoi(arg + 8);
        else if (std::strncmp(arg, "--writes=", 9) == 0) g_reliability.writes = std::atoi(arg + 9);
        else if (std::strncmp(arg, "--names=", 8) == 0) g_reliability.names = std::atoi(arg + 8);
        else if (std::strcmp(arg, "--damage=all") == 0) g_reliability.damage = ReliabilityOptions::EveryValue;
        else if (std::strcmp(arg, "--damage=bits") == 0) g_reliability.damage = ReliabilityOptions::EveryBit;
        else if (std::strcmp(arg, "--damage=some") == 0) g_reliability.damage = ReliabilityOptions::SomeBits;
        else if (std::strncmp(arg, "--seed=", 7) == 0) g_reliability.seed = static_cast<unsigned>(std::strtoul(arg + 7, nullptr, 10));
    }
    // Ten values of six-character names per thread keep the shared key within
    // the 4096 bytes it has before it may grow.
    if (g_reliability.names < 1) g_reliability.names = 1;
    if (g_reliability.names > 10) g_reliability.names = 10;
    return RunTestsOrChildMode(argc, argv, {{"change-loop", ChangeLoopChild}, {"writers", WritersChild}});
}
