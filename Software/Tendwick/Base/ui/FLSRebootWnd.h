// The end of every maintenance run: the unit's utility started from the
// media, or the unit shut down with a request to remove the data loader.
#pragma once

class CFLSRebootWnd {
public:
    // Copies "ZelUtil.DAT" from the media root over the installed utility and
    // starts it maximised; false on a block-10 unit, when the media root is
    // not known, or when the program cannot be started.
    static bool LaunchUtility(bool block10);
    // Flushes the user registry and shuts the unit down (no restart).
    static void Shutdown();
};
