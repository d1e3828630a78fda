// Disabling the source unit after a save, and undoing it when the save is
// restored onto the same unit. Two variants: the startup-application one
// works through the store, the menu one (legacy part family) through the
// registry. The checks of how far an interrupted disabling or undo got, and
// the undo's proof, belong here too.
#pragma once

#include <string>

class CRunContext;
struct RestoreOutcome;

class CDisabling {
public:
    explicit CDisabling(CRunContext& run) : m_run(run) {}

    // Disables the unit after a save, unless "dontDisable.dat" is on the media.
    void FinishSave();
    void FinishSaveShell();
    void FinishSaveMenu();
    // Whether the disabling got to its end: the unit's startup entry names
    // the installed shell, and the installed files are the media's (size and
    // CRC; the picture only when the media has one).
    bool IsDisablingComplete();
    // Whether a store setting of the latest disabling or undo of this
    // process could not be saved: the store keeps it in memory, where it
    // reads back as written, so the checks above cannot see it.
    static bool SettingUnsaved();
    // Whether the save on the media is the one whose disabling was cut off:
    // its checksum file gives the CRC of the hive copy the save left on the unit.
    bool IsSaveOfInterruptedRun() { return MatchSaveOfInterruptedRun() == SaveMatch::Same; }
    // The same, telling apart a checksum file or hive copy that is there but
    // cannot be read (a stick pulled, a bad sector): that says nothing of
    // whose save it is.
    enum class SaveMatch { Same, Other, Unreadable };
    SaveMatch MatchSaveOfInterruptedRun();
    // Before a disabling cut off part way is saved anew: the settings the
    // disabling changed take the values its record kept, so that the save
    // holds the unit's own.
    void PutRecordedSettingsBack();

    // Reverses the disabling of this unit and clears the media; false (the
    // media kept, what failed in *outcome) when the undo's proof could not be
    // written, the unit's settings did not all come back, or the media could
    // not be cleared.
    bool UndoSave(RestoreOutcome* outcome);
    void UndoSaveShell();
    void UndoSaveMenu();
    // Whether the undo's settings read back as the undo writes them.
    bool IsUndoComplete();
    // Whether "oemlogo" or the program of "Map" names a file the menu
    // variant's disabling installed.
    bool MenuNamesInstalledFiles();
    // The undo's proof (UndoProof.h), on the unit; false (logged) when it
    // cannot be made durable.
    bool WriteUndoProof();
    // Logs a proof that cannot be removed.
    static void RemoveUndoProof(const std::string& persistRoot);
    // The undo's last step: clears the media and removes the proof with the
    // save's identity record. False, the proof kept, while the media still
    // holds the save or cannot be read (removed, write-protected).
    bool ClearMediaEndingUndo();
    // Whether an undo of exactly the save on the media was cut off.
    bool IsUndoOfMediaSaveCutOff();

    // Appends one line to the unit's trace file; dropped when it cannot be opened.
    static void FerroxTrace(const char* text);

private:
    CRunContext& m_run;
};
