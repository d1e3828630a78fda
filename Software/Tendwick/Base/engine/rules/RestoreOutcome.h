// What a restore or an undo got done. It counts as finished only when every
// saved file on the media was imported and its key saved, and everything
// after the import was written; otherwise the save stays on the media and the
// same key tries again. No windows.h.
#pragma once

#include <string>

struct RestoreOutcome {
    unsigned nFilesNotTaken = 0;       // saved files present on the media, not imported whole
    bool     bAddressBookFailed = false;
    bool     bKnobLayoutFailed = false;
    bool     bStartupFailed = false;   // the unit's startup application
    bool     bUndoFailed = false;      // the undo's settings of this unit
    bool     bStateFailed = false;     // the unit's record of where it stands
    bool     bProofFailed = false;     // the undo's proof could not be left on the unit: nothing undone
    bool     bMediaNotCleared = false; // the end of an undo or a restore: the media still holds the save, or cannot be read
    bool     bMediaUnreadable = false; // the saved files could not be listed, or the
                                       // save no longer read back before it was cleared

    bool Finished() const
    {
        return nFilesNotTaken == 0 && !bAddressBookFailed && !bKnobLayoutFailed && !bStartupFailed && !bUndoFailed &&
               !bStateFailed && !bProofFailed && !bMediaNotCleared && !bMediaUnreadable;
    }
};

// The technician's text for a restore or undo that did not finish: what
// failed, the count of files not taken among it, and that the save stays.
std::string RestoreFailureText(const RestoreOutcome& outcome);
