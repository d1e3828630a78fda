// Settings of the reliability runs, taken from the command line, and the
// child modes they start.
#pragma once

#include <string>

struct ReliabilityOptions {
    int      kills = 200;         // --kills=N: child processes killed mid-change
    int      writes = 50;         // --writes=N: one-shot writes per writer thread
    int      names = 10;          // --names=N: values of each writer thread (1 to 10)
    // Changes tried at each byte of the primary: --damage=some (default: its
    // lowest and highest bit flipped), --damage=bits (each bit), --damage=all
    // (every other byte value).
    enum Damage { SomeBits, EveryBit, EveryValue } damage = SomeBits;
    unsigned seed = 0;            // --seed=N: 0 picks one from the clock
};

extern ReliabilityOptions g_reliability;

int ChangeLoopChild(int argc, char** argv);
int WritersChild(int argc, char** argv);

// A figure line for the report, also visible in the CTest log.
void Figure(const char* format, ...) __attribute__((format(printf, 1, 2)));
