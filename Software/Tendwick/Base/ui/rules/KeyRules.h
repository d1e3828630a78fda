// Bezel keys: the block-10 unit's fixed translation and the key mask.
// No windows.h.
#pragma once

#include <cstdint>

// Virtual-key codes the window knows.
enum : uint32_t {
    KEY_ESCAPE = 0x1B,
    KEY_LEFT = 0x25,
    KEY_UP = 0x26,
    KEY_RIGHT = 0x27,
    KEY_DOWN = 0x28,
    KEY_F1 = 0x70,
    KEY_F2 = 0x71,
    KEY_F3 = 0x72,
    KEY_F4 = 0x73,
    KEY_F5 = 0x74,
    KEY_F6 = 0x75,
};

// Key masks the window sets.
enum : uint32_t {
    MASK_F5 = 0x10,
    MASK_SAVE = 0x11,          // F1 and F5
    MASK_RESTORE = 0x14,       // F3 and F5
    MASK_F1 = 0x01,
    MASK_BASE = 0x09,          // F1 and F4, while the base window is made
    MASK_SERIAL_ENTRY = 0xF11, // F1, F5 and the four arrows
};

// A block-10 unit's raw code translated; 0 when the table has none.
uint32_t TranslateBlock10Key(uint32_t raw);

// The mask bits of a translated code; 0xFFFFFFFF for a code with none.
uint32_t KeyMaskBits(uint32_t key);

// A key is allowed when every one of its bits is set in the mask.
inline bool IsKeyAllowed(uint32_t mask, uint32_t key)
{
    uint32_t bits = KeyMaskBits(key);
    return (mask & bits) == bits;
}

// 1..5 for F1..F5, 0 for any other code.
int SoftKeyNumber(uint32_t key);
