// The screen configuration's byte-level rules: platform names and their
// built-in tables, the bottom margin computed from a soft-key pitch, and the
// text formats that the display's shell keeps in "ShellPersist"/"ShellConfig".
// No windows.h: these build natively and are tested there.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScreenRect {
    int left, top, right, bottom;
};

// Platform ids of the development computer's "Platform" value.
enum {
    PLATFORM_4KT = 0,
    PLATFORM_OXBREL = 1,
    PLATFORM_VGA = 2,
    PLATFORM_VGA_PORTRAIT = 3,
    PLATFORM_SVGA = 4,
    PLATFORM_SVGA_PORTRAIT = 5,
    PLATFORM_QMV = 6,
    PLATFORM_TVPRO_LANDSCAPE = 7,
    PLATFORM_TVPRO_PORTRAIT = 8,
    PLATFORM_ZR455 = 9,
    PLATFORM_DESKTOP = 10,
    PLATFORM_UNKNOWN = 11,
};

// The id for a "Platform" text: a leading "DEMO-" (any case) dropped, then the
// first whole-string, case-insensitive match; PLATFORM_UNKNOWN for none or null.
int PlatformIdFromName(const char* name);

// The built-in tables. Ids outside 0..8 get the default rectangle 17,0,625,350.
ScreenRect PlatformScreenRect(int id);
int PlatformSoftKeyCount(int id);
int PlatformSoftKeyTop(int id);
// The fixed margin of ids 0, 4..9; for every other id the computed margin.
// False (margin untouched) when no pitch gives one: a programming error.
bool PlatformSoftKeyBottomMargin(int id, int* margin);

// Screen height minus count times the first pitch of 64, 62, ... 34 that
// leaves 28 pixels or more; false when none does.
bool ComputeBottomMargin(const ScreenRect& screen, int count, int* margin);

// Distance between soft-key centres: (height - margin - first) / (count - 1),
// toward zero; 0 for fewer than two keys. Computed without overflow (the
// values may come from any text), the result clamped to the int range.
int SoftKeyPitch(const ScreenRect& screen, int bottomMargin, int firstCentre, int count);

// The shell's bottom margin: screen height minus the last key centre y5,
// clamped to the int range.
int ShellSoftKeyBottomMargin(const ScreenRect& screen, int lastCentre);

// "ControlGroup_R"/"ControlGroup_L": g|n|x1,y1,0xK1|...|x5,y5,0xK5.
// The five key codes; false (codes untouched) unless all five were read.
bool ParseControlGroupCodes(const char* text, uint32_t codes[5]);
// Count n, first centre y1 and last centre y5; each that cannot be read stays 0.
struct ControlGroupLayout {
    int count;
    int firstCentre;
    int lastCentre;
};
ControlGroupLayout ParseControlGroupLayout(const char* text);

// "Knob_L"/"Knob_R": %*d|%*d,%*d|0xK1,0xK2,0xK3,0xK4; K1 and K2, false unless
// all four codes were read.
bool ParseKnobCodes(const char* text, uint32_t* turnOne, uint32_t* turnOther);

// "ScreenSize": left|top|right|bottom; fields that cannot be read are 0.
ScreenRect ParseScreenSize(const char* text);
// "BtnSize_Fixed": WxH; fields that cannot be read are 0.
void ParseButtonSize(const char* text, int* width, int* height);

const size_t KEY_TABLE_SIZE = 256;

// The unit's key table from the shell's four texts (null: the value could not
// be read): ControlGroup_L to "1".."5", ControlGroup_R to F1..F5, Knob_L K1/K2
// to VK_RIGHT/VK_LEFT, Knob_R K1/K2 to VK_UP/VK_DOWN, in that order (a code
// listed twice keeps the later meaning), then 0xDB and 0xDD to themselves.
// Codes of 256 or more map nothing.
void BuildShellKeyTable(uint32_t table[KEY_TABLE_SIZE], const char* groupL, const char* groupR, const char* knobL,
                        const char* knobR);
// A development keyboard: F1..F5 map to themselves, nothing else.
void BuildPlatformKeyTable(uint32_t table[KEY_TABLE_SIZE]);

// The logon-shell rule. logonShell is the Winlogon "Shell" text (empty when
// unreadable). When it names "shell" or "system" (any case), *saveShell is
// true (the caller stores it as the "shell" value) and the unit runs the
// display's shell exactly when it contains "shell". Otherwise the saved
// "shell" value decides (null: none could be read, so not a unit).
bool IsUnitShell(const char* logonShell, const char* savedShell, bool* saveShell);
