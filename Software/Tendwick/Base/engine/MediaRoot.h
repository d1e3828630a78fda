// The media root as the "CDROM" setting of "Software\Corvane" gives it, read
// in one place: by the run context of the engine's press (RunContext.h) and
// by the run log, which takes only the drive.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The root when the setting cannot be read.
const char kDefaultMediaRoot[] = "E:\\";

struct MediaRootRule {
    DWORD  dwValueBytes;       // a longer setting counts as missing
    bool   bEndWithBackslash;  // one is added when the setting has none
    size_t nKeepChars;         // the root is cut to this many characters; 0 keeps it whole
    size_t nMaxChars;          // a longer root (counted with its last backslash) is refused; 0 takes any
};

// The engine's roots: read whole, with the backslash; the run context checks
// the length once per press (kMediaRootChars).
const MediaRootRule kUpdatePathRootRule = {512, true, 0, 0};
// The run log: the drive's root only ("E:\").
const MediaRootRule kRunLogDriveRootRule = {512, true, 3, 0};

enum class MediaRootSource {
    Setting,   // the "CDROM" setting
    NoKey,     // "Software\Corvane" cannot be opened: the default
    NoValue,   // no usable setting: the default
    TooLong,   // the setting is longer than the rule takes: no root
};

// From the open "Software\Corvane" key.
MediaRootSource ReadMediaRoot(HKEY corvane, const MediaRootRule& rule, std::string& root);
// Opens the key itself.
MediaRootSource ReadMediaRoot(const MediaRootRule& rule, std::string& root);
