#include "KeyRules.h"

namespace {

// A block-10 unit's bezel sends fixed codes; searched in order, first match wins.
const struct {
    uint32_t nRaw;
    uint32_t nKey;
} BLOCK10_KEYS[] = {
    {KEY_F3, 0x31},         {KEY_F4, 0x32},     {KEY_ESCAPE, 0x33}, {KEY_F5, 0x34},   {KEY_F6, 0x35},
    {KEY_F2, KEY_F1},       {KEY_F1, KEY_F2},   {0x31, KEY_F3},     {0x32, KEY_F4},   {0x33, KEY_F5},
    {0x58, KEY_LEFT},       {0x44, KEY_RIGHT},  {KEY_DOWN, KEY_DOWN}, {KEY_UP, KEY_UP},
};

const struct {
    uint32_t nKey;
    uint32_t nBits;
} KEY_MASK_BITS[] = {
    {KEY_F1, 0x001},   {KEY_F2, 0x002},    {KEY_F3, 0x004}, {KEY_F4, 0x008},   {KEY_F5, 0x010},
    {KEY_LEFT, 0x100}, {KEY_RIGHT, 0x200}, {KEY_UP, 0x400}, {KEY_DOWN, 0x800},
};

}  // namespace

uint32_t TranslateBlock10Key(uint32_t raw)
{
    for (const auto& entry : BLOCK10_KEYS) {
        if (entry.nRaw == raw)
            return entry.nKey;
    }
    return 0;
}

uint32_t KeyMaskBits(uint32_t key)
{
    for (const auto& entry : KEY_MASK_BITS) {
        if (entry.nKey == key)
            return entry.nBits;
    }
    // Every bit: such a key passes only a mask that allows everything.
    return 0xFFFFFFFF;
}

int SoftKeyNumber(uint32_t key)
{
    return (key >= KEY_F1 && key <= KEY_F5) ? static_cast<int>(key - KEY_F1) + 1 : 0;
}
