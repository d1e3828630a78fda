// CRunMaint, the save-and-restore engine: one object per maintenance window.
// It knows who the unit is, whether it may be saved or restored, where the
// media and the unit's persist root are, and runs the flows that the window's
// keys start, reporting through the window's RunWindow services.
//
// The files that make up a unit's configuration, walked by the save and
// restore flows, are the saved-file catalogue: SavedFileCatalogue.h
// (SavedFileEntry, SavedFileCatalogue, IsFactoryConfigured).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FileException.h"
#include "FrameworkString.h"
#include "RegistryKey.h"
#include "RestoreOutcome.h"
#include "RunWindow.h"

// Size of the media-root and persist-root buffers of GetUpdatePath: a
// registry value of up to 512 bytes, the backslash added to it, the terminator.
const size_t MAINT_ROOT_SIZE = 514;

// Where the engine's settings live in the current user's registry.
const char CORVANE_REG_KEY[] = "Software\\Corvane";

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

// MaintRun's results beside 0 (nothing finished), 1 (done) and 2 (the save
// could not be written): the work did not finish and the detail line says
// why, in red; the media keeps the save and the same key tries again.
const int MAINT_RUN_NOT_FINISHED = 3;

class CRunMaint {
public:
    // Construction
    explicit CRunMaint(RunWindow* owner);
    CRunMaint(const CRunMaint&) = delete;
    CRunMaint& operator=(const CRunMaint&) = delete;

    // Attributes
    const char* GetTitle() const { return m_pszTitle; }
    const char* GetVersion() const { return m_pszVersion; }
    const char* GetPartNumber() const { return m_szPartNum; }
    int32_t GetRevision() const { return m_nRevision; }
    RunWindow* GetOwner() const { return m_pOwner; }
    bool IsConfirmShown() const { return m_bConfirmShown; }
    bool IsSaveAllowed() const { return m_bSaveAllowed; }
    bool IsRestoreAllowed() const { return m_bRestoreAllowed; }
    int32_t GetRestoreStage() const { return m_nRestoreStage; }
    bool IsSerialPromptShown() const { return m_bSerialPromptShown; }

    // The window's ShowConfirm sets this for every prompt it shows.
    void SetConfirmShown(bool shown) { m_bConfirmShown = shown; }
    // Forgets every question and entry shown: the next press starts afresh
    // (the window goes back to its opening screen).
    void ResetPrompts()
    {
        m_bConfirmShown = false;
        m_nRestoreStage = 0;
        m_bSerialPromptShown = false;
    }

    // Unit identity
    // The serial number from the first source that has one; returns the
    // source: 2 user registry, 1 store, 3 computer name, 0 the fixed text.
    static int GetSerialNum(char* buffer, size_t size);
    // The part-number text ("Unknown" when the store has none) and the serial
    // number, each in size characters; false when only the fixed text was found.
    bool GetSwPartNum(char* partText, char* serial, size_t size);
    bool HasValidSerialNum();
    // Stores the part number (at most 63 characters) and the revision.
    void SetSwPartNum(const char* partNumber, int revision);
    // Whether the stored part number belongs to the legacy family.
    bool IsLegacyShellPart() const;
    bool SaveNewSn(const char* serial);
    // The identity saved on the media; each output holds at least 29
    // characters. Outputs keep the caller's presets when there is no record.
    void ReadSavedPartNum(char* partOut, int* revisionOut, char* serialOut);

    // Eligibility
    bool AreThereSavedFiles();
    bool IsUnitDisabled();
    bool ChkSave(const char* part, int revision, int* status);
    bool ChkRestoreAllow(const char* savedPart, int savedRevision, const char* part, int revision, int* status);
    bool IsSameUnitRestore();

    // File checksum: 0 and the CRC in *crc, or an operating-system error code.
    static DWORD GetFileCrc(const char* path, uint32_t* crc);

    // Registry (below a predefined root; keys are never created)
    bool ReadRegistryString(HKEY root, const CString& keyPath, const CString& valueName, CString& result);
    bool WriteRegistryString(HKEY root, const CString& keyPath, const CString& valueName, const CString& text);

    // Media paths and run services
    // The media root and the persist root (each cut to its buffer's size - 1,
    // MAINT_ROOT_SIZE takes them whole), and, for a caller that asks, the
    // open key "Software\Corvane" in its owner. Raises CFileException on failure.
    bool GetUpdatePath(char* mediaRoot, size_t mediaSize, char* persistRoot, size_t persistSize,
                       UniqueRegKey* key = nullptr);
    // The media root, when it fits into size - 1 characters.
    bool GetMediaRoot(char* buffer, size_t size);
    bool FileOnMedia(const char* subPath, const char* name);
    void ClearRemovableMedia();
    void DeleteFolderContents(const char* folder, bool descend);
    void EnableBackupPrivileges();
    void PumpMessages(int milliseconds);

    // Save, restore, text import and knob layout
    // Writes the unit's configuration to the media in stages across presses;
    // returns a SaveStage.
    int SaveConfig(const char* mediaRoot, const char* persistRoot, HKEY userKey, char* partNumberText,
                   char* serialNumber);
    // Imports the save on the media into this unit's store: 1 when every
    // step finished, else 0 with what failed in GetRestoreOutcome().
    int RestoreConfig(const char* mediaRoot, const char* persistRoot, HKEY userKey);
    const RestoreOutcome& GetRestoreOutcome() const { return m_restoreOutcome; }
    // False when the row's saved file is on the media but was not taken whole;
    // the listing read at the restore's start says which files are there.
    bool RestorePersistFile(const struct SavedFileEntry& entry, const char* mediaPersistFolder,
                            const char* localPersistRoot, bool stepProgress, const class CMediaListing& listing);
    // Whether the save's registry file and identity record on the media still
    // read whole: a restore is marked done only then.
    bool IsSaveStillReadable(const char* mediaRoot);
    // 1 when the file was read whole and passes its CRC check, every value
    // taken written and the key saved; 0 otherwise (each failure is logged).
    int UpdatePersistFile(const char* path, const char* subdir, const char* key,
                          const struct ValueFilterItem* filter, uint32_t filterCount, uint8_t openTolerant);
    // 1 when the line yields a name (104 bytes), a type word (12) and a value (512).
    static int ParseLine(const char* line, char* name, char* type, char* value);
    // A string value of a saved key file on the media, copied whole into
    // output (size bytes); false when absent or when it does not fit.
    bool RetrieveSavedPersistSetting(const char* mediaFile, const char* valueName, char* output,
                                     size_t size = 512);
    // False when a knob setting or a page could not be written.
    bool SetKnobConfig(const char* persistRoot);
    bool RestoreButtonSettings(const char* persistRoot, bool dualConcentric);
    // Test seam: called after a save has written the media and before it is
    // read back, with the media configuration folder.
    typedef void (*SaveReadBackHook)(const char* mediaConfigFolder);
    static void SetSaveReadBackHook(SaveReadBackHook hook) { s_pfnSaveReadBackHook = hook; }

    // Maintenance run, source disabling and undo
    // One press of the Save key (0x70) or the Restore key (0x72): 0 nothing
    // finished, 1 done, 2 the save could not be written. File exceptions of
    // the flows pass through.
    int MaintRun(RunWindow* window, uint32_t keyCode);
    // Records the Ferrox state "RESTORED", then clears the media; false (the
    // media kept) when the state could not be recorded.
    bool MarkRestored();
    // Reverses the disabling of this unit and clears the media; false (the
    // media kept, what failed in GetRestoreOutcome()) when the undo's proof
    // could not be written, the unit's settings did not all come back, or the
    // media could not be cleared.
    bool UndoSave();
    // Whether the undo's settings read back as the undo writes them.
    bool IsUndoComplete();
    // Whether "oemlogo" or the program of "Map" names a file the menu
    // variant's disabling installed.
    bool MenuNamesInstalledFiles();
    // Whether the media's configuration folder, or its Persist folder, is a
    // link (a reparse point): nothing may be written or read through it.
    bool MediaFoldersAreLinks(const char* mediaRoot);
    // Disables the unit after a save, unless "dontDisable.dat" is on the media.
    void FinishSave();
    void FinishSaveShell();
    void FinishSaveMenu();
    void UndoSaveShell();
    void UndoSaveMenu();
    // Before a disabling cut off part way is saved anew: the settings the
    // disabling changed take the values its record kept, so that the save
    // holds the unit's own.
    void PutRecordedSettingsBack(const char* persistRoot);
    // Appends one line to the unit's trace file; dropped when it cannot be opened.
    static void FerroxTrace(const char* text);
    // Whether the disabling got to its end: the unit's startup entry names
    // the installed shell, and the installed files are the media's (size and
    // CRC; the picture only when the media has one).
    bool IsDisablingComplete();
    // Whether the save on the media is the one whose disabling was cut off:
    // its checksum file gives the CRC of the hive copy the save left on the unit.
    bool IsSaveOfInterruptedRun();
    // The undo's proof (UndoProof.h), on the unit in persistRoot; false
    // (logged) when it cannot be made durable.
    bool WriteUndoProof(const std::string& mediaRoot, const std::string& persistRoot);
    // Logs a proof that cannot be removed.
    static void RemoveUndoProof(const std::string& persistRoot);
    // The undo's last step: clears the media and removes the proof with the
    // save's identity record. False, the proof kept, while the media still
    // holds the save or cannot be read (removed, write-protected).
    bool ClearMediaEndingUndo(const std::string& mediaRoot, const std::string& persistRoot);
    // The same for this run's roots.
    bool ClearMediaEndingUndo();
    // Whether an undo of exactly the save on the media was cut off.
    bool IsUndoOfMediaSaveCutOff();

private:
    // Eligibility
    // The save with this saved identity is this unit's own and the unit is
    // disabled (or its undo was cut off before the media was cleared): a
    // restore of it undoes the disabling.
    bool IsSameUnit(const char* savedSerial, const char* savedPart, int savedRevision, const char* serial,
                    const char* part, int revision);
    // The save on the media names this unit, told apart by its valid serial
    // number, and its release.
    bool IsOwnSave(const char* serial, const char* part, int revision);
    // A disabled unit whose disabling was cut off, beside a save of its own
    // that may be saved over (the window offered Save for it).
    bool IsCutOffDisablingBesideOwnSave(const char* partNumberText, const char* serial);

    // Data
    const char* m_pszTitle;
    const char* m_pszVersion;
    char        m_szPartNum[64];
    int32_t     m_nRevision;
    RunWindow*  m_pOwner;
    bool        m_bConfirmShown;
    bool        m_bSaveAllowed;
    bool        m_bRestoreAllowed;
    int32_t     m_nRestoreStage;
    bool        m_bSerialPromptShown;
    RestoreOutcome m_restoreOutcome;

    // Save, restore, text import and knob layout
    static SaveReadBackHook s_pfnSaveReadBackHook;
};
