// The restore onto a target unit, one press's worth: the saved key files are
// imported into the unit's own store (option configurations first), the
// address book comes back, the knob layout is re-applied on ZR455 units, the
// unit's system program becomes its startup application again, and at the
// end the state "RESTORED" is recorded and the media cleared.
#pragma once

#include <cstddef>
#include <cstdint>

class CMediaListing;
class CRunContext;
class RunWindow;
struct RestoreOutcome;
struct SavedFileEntry;
struct ValueFilterItem;

class CRestoreFlow {
public:
    CRestoreFlow(CRunContext& run, RunWindow* window) : m_run(run), m_pWindow(window) {}

    // Imports the save on the media into this unit's store: true when every
    // step finished, else false with what failed in *outcome.
    bool RestoreConfig(RestoreOutcome* outcome);
    // After an import that finished: the save must still read whole, then
    // the state is recorded and the media cleared, and the save must be gone
    // from a media that answers. False, what failed in *outcome, when the
    // save stays.
    bool FinishRestore(RestoreOutcome* outcome);
    // Records the state "RESTORED", then clears the media; false (the media
    // kept) when the state could not be recorded.
    bool MarkRestored();
    // Whether the save's registry file and identity record on the media still
    // read whole: a restore is marked done only then.
    bool IsSaveStillReadable();
    // After a finished restore or undo: a unit without a valid serial number
    // of its own takes the save's, when that one is valid.
    void StoreSourceSerialIfNeeded(const char* savedSerial);

    // False when the row's saved file is on the media but was not taken whole;
    // the listing read at the restore's start says which files are there.
    bool RestorePersistFile(const SavedFileEntry& entry, const char* mediaPersistFolder, const char* localPersistRoot,
                            bool stepProgress, const CMediaListing& listing);
    // 1 when the file was read whole and passes its CRC check, every value
    // taken written and the key saved; 0 otherwise (each failure is logged).
    int UpdatePersistFile(const char* path, const char* subdir, const char* key, const ValueFilterItem* filter,
                          uint32_t filterCount, uint8_t openTolerant);
    // 1 when the line yields a name (104 bytes), a type word (12) and a value (512).
    static int ParseLine(const char* line, char* name, char* type, char* value);

private:
    // The address book, the knob layout and the startup application.
    void RestoreAddressBook(const class CMediaListing& listing, const char* persistFolder, RestoreOutcome* outcome);
    void RestoreKnobLayout(RestoreOutcome* outcome);

    CRunContext& m_run;
    RunWindow*   m_pWindow;
};

// A string value of a saved key file on the media, copied whole into output
// (size bytes); false when absent or when it does not fit.
bool RetrieveSavedPersistSetting(const CRunContext& run, const char* mediaFile, const char* valueName, char* output,
                                 size_t size = 512);

// The knob layout that "KnobLevels" names, with its page files below
// persistRoot; false when a knob setting or a page could not be written.
bool SetKnobConfig(const char* persistRoot);
bool RestoreButtonSettings(const char* persistRoot, bool dualConcentric);
