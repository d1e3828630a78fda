// The knob assignments each knob layout writes, and the page files it puts in
// place: what a restore on a ZR455 unit leaves. No windows.h.
#pragma once

#include <cstddef>

const char KNOB_SUBDIR[] = "ShellPersist";
const char KNOB_LEVELS_KEY[] = "ShellConfig";
const char KNOB_LEVELS_VALUE[] = "KnobLevels";
// "KnobLevels" of this value selects the dual-concentric layout, any other the single knob.
const unsigned long KNOB_LEVELS_DUAL = 2;
const unsigned long KNOB_LEVELS_SINGLE = 1;

struct KnobWrite {
    const char* pszKey;
    const char* pszName;
    const char* pszDual;
    const char* pszSingle;
};

// In the order they are made, after "KnobLevels".
extern const KnobWrite KnobWrites[];
extern const size_t KnobWriteCount;

// Below the persist root: each page's key, with a template beside it per layout.
extern const char* const KnobPages[];
extern const size_t KnobPageCount;
const char KNOB_DUAL_TEMPLATE[] = "4Knobs.pri";
const char KNOB_SINGLE_TEMPLATE[] = "2Knobs.pri";
