// Where the unit stands after a save, a restore or an undo: the store value
// "Ferrox", its texts, the key that holds it, and which step records which
// state. No windows.h: the inspector and the native tests read the same.
#pragma once

enum class FerroxState {
    Saved,              // "SAVED": the save disabled this unit
    Restored,           // "RESTORED": another unit's save was restored onto it
    RestoredOriginal,   // "RESTORED-ORIGINAL": its own save undid the disabling
};

// The steps of a run that change the state.
enum class FerroxStep {
    Disable,   // the disabling after a save
    Restore,   // a restore of another unit's save
    Undo,      // the undo of this unit's own disabling
};

// The value's name, and the store folder it lies in.
const char kFerroxValue[] = "Ferrox";

// The stored text of a state.
const char* FerroxStateText(FerroxState state);

// The key of kShellPersist that holds the state: "SystemData" for the legacy
// part family, "ShellConfig" for every other unit.
const char* FerroxStateKey(bool legacyFamily);

// The state a step records.
FerroxState FerroxStateAfter(FerroxStep step);

// Whether a stored text reads as this state (without regard to case).
bool FerroxTextIs(const char* text, FerroxState state);
