// What the engine reports to the window, and what a press leaves standing
// for the next one: results as enums, never as bare numbers.
#pragma once

// What one press of Save or Restore came to.
enum class MaintResult {
    Pending = 0,       // nothing finished: a question or an entry is shown, or the key did nothing
    Done = 1,          // saved, or restored
    NotWritten = 2,    // the save could not be written: the run ends
    NotFinished = 3,   // the detail line says why, in red; the same key tries again
    Raised = -1,       // the window's own: the run raised, and the window showed why
};

// Where one press of Save left the save (SaveConfig's result).
enum SaveStage {
    SAVE_DONE = 1,             // saved, and every copy read back as written
    SAVE_CONFIRM_SHOWN = 2,    // the question is on the screen
    SAVE_SERIAL_ENTRY = 3,     // the serial-number entry is under way
    SAVE_UNIT_DISABLED = 5,    // the unit is disabled already
    SAVE_NOT_WRITTEN = 6,      // the media is not writable, or a copy on it not
                               // proven (nothing of this save stays on it)
    SAVE_LINK_LEFT = 7,        // a link on the media outlived the clearing:
                               // nothing was written
};

// How far the restore's question got.
enum class RestoreStage {
    Start,       // the next press asks
    Confirmed,   // the question was shown: the next press restores
};

// The questions and entries a press left on the screen.
struct RunPrompts {
    bool         bConfirmShown = false;
    RestoreStage restoreStage = RestoreStage::Start;
    bool         bSerialPromptShown = false;
};
