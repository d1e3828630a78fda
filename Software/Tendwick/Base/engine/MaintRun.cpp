// The maintenance run: one press of the Save or the Restore key, from the
// privileges and the paths to the finished save with its disabling, the
// restore onto another unit, or the undo on the source unit.
#include "RunMaint.h"

#include "CsrLog.h"
#include "DisablingFiles.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "IdentityRules.h"
#include "MediaGone.h"
#include "Retenta.h"
#include "TextFields.h"
#include "WholeRoot.h"

#include <cstring>
#include <string>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;
const size_t kIdentityChars = 128;
const char kDisablingNotFinished[] = "Disabling not finished: the disabled-unit program or picture is not in "
                                     "place.\nThe save stays on the removable media; press Confirm to try again.";
const char kMediaUnreadable[] = "Removable media could not be read. Nothing was done.";
const char kLinkRefusal[] = "A save folder on the removable media is a link.\n"
                            "Nothing was written or read. Use another removable media.";

} // namespace

bool CRunMaint::MarkRestored()
{
    // The state first: a run cut off between the two then leaves the save on
    // the media, and the restore can simply be run again; the other way round
    // it would leave a restored unit that never records it.
    if (PersistOneString("ShellPersist", IsLegacyShellPart() ? "SystemData" : "ShellConfig", kStoreTimeout, "Ferrox",
                         "RESTORED") == PERS_FAILED) {
        CsrLog(CSRLOG_ERROR, "MarkRestored: Unable to record the state RESTORED; the media keeps the save\n");
        return false;
    }
    ClearRemovableMedia();
    return true;
}

bool CRunMaint::UndoSave()
{
    m_restoreOutcome = RestoreOutcome();
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist));
    // Nothing changes with a media root that the clearing at the end would
    // refuse, nor before the proof that names this very save is on the unit.
    RequireWholeRoot("UndoSave", "Media root", media, kMediaRootChars);
    if (!WriteUndoProof(media, persist)) {
        m_restoreOutcome.bProofFailed = true;
        return false;
    }
    if (IsLegacyShellPart())
        UndoSaveMenu();
    else
        UndoSaveShell();
    // The media is the only copy of the save: it goes only once the unit is
    // its own again.
    if (!IsUndoComplete()) {
        CsrLog(CSRLOG_ERROR, "UndoSave: The unit's settings did not all come back; the media keeps the save\n");
        m_restoreOutcome.bUndoFailed = true;
        return false;
    }
    m_restoreOutcome.bMediaNotCleared = !ClearMediaEndingUndo(media, persist);
    return m_restoreOutcome.Finished();
}

namespace {

// Shows why the work did not finish, in red, and gives the run's result.
int ShowNotFinished(RunWindow* window, const std::string& text)
{
    window->SetStatusText("", RUN_COLOUR_WHITE);
    window->SetDetailText(text.c_str(), RUN_COLOUR_RED);
    window->SetNoteText("", RUN_COLOUR_WHITE);
    return MAINT_RUN_NOT_FINISHED;
}

} // namespace

int CRunMaint::MaintRun(RunWindow* window, uint32_t keyCode)
{
    if (window) m_pOwner = window;
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    UniqueRegKey key;

    EnableBackupPrivileges();
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist), &key);

    char partText[kIdentityChars] = {};
    char serial[kIdentityChars] = {};
    // Without a real serial-number source the keys do nothing at all.
    if (!GetSwPartNum(partText, serial, sizeof(serial))) return 0;

    m_pOwner->SetProgressRange(0, kSaveProgressSteps);
    int result = 0;
    // Folders of the media that lead elsewhere (onto this unit's own data)
    // are neither written nor read, nor cleared.
    if ((keyCode == kSaveKey || keyCode == kRestoreKey) && MediaFoldersAreLinks(media))
        return ShowNotFinished(m_pOwner, kLinkRefusal);
    if (keyCode == kSaveKey) {
        if (m_bSaveAllowed) {
            m_pOwner->SetDetailText("", 0);
            m_pOwner->SetNoteText("", 0);
            char part[kIdentityChars] = {};
            int revision = -1;
            ScanPartNumText(partText, part, sizeof(part), &revision);
            int saved = 0;
            if (IsUnitDisabled() && AreThereSavedFiles() && IsOwnSave(serial, part, revision) &&
                IsSaveOfInterruptedRun()) {
                // The disabling after this unit's own save was cut off: the save
                // on the media stands (it read back whole before the disabling
                // began, and it is that run's), and the disabling is made again
                // to its end, after the question every save asks. An older save
                // of this unit is saved over instead.
                if (!m_bConfirmShown) {
                    m_pOwner->ShowConfirm("Save will disable this unit. Continue save?", true);
                    m_bConfirmShown = true;
                    saved = SAVE_CONFIRM_SHOWN;
                } else {
                    CsrLog(CSRLOG_EVENT, "MaintRun: Finishing the disabling after this unit's save\n");
                    m_pOwner->SetKeyMask(0);
                    m_pOwner->SetDetailText("", 0);
                    m_pOwner->SetNoteText("", 0);
                    FinishSave();
                    // Nothing was saved by this press: it reports what the
                    // disabling got done, and one that is not complete is
                    // run again by the same key.
                    if (!IsDisablingComplete()) {
                        CsrLog(CSRLOG_ERROR, "MaintRun: The disabling after this unit's save is not complete\n");
                        result = ShowNotFinished(m_pOwner, kDisablingNotFinished);
                    } else {
                        m_bConfirmShown = false;
                        m_pOwner->SetStatusText("Configuration Saved", 0);
                        PumpMessages(500);
                        result = 1;
                    }
                }
            } else {
                saved = SaveConfig(media, persist, key.get(), partText, serial);
            }
            if (saved == SAVE_DONE) {
                m_pOwner->SetStatusText("Configuration Saved", 0);
                m_pOwner->SetDetailText("", 0);
                m_pOwner->SetNoteText("", 0);
                FinishSave();
                PumpMessages(500);
                result = 1;
                // A stick that answers without the disabled-unit program
                // leaves the disabling to a later press, as it always did.
                // Any other disabling not made whole (a full disk, a setting
                // the store could not save, a stick pulled) is said: the save
                // on the media stands and the same key finishes the disabling.
                if (!FileOnMedia("", kDontDisableFile) && !GoneFromMedia(JoinPath(media, kShellSource), media) &&
                    !IsDisablingComplete()) {
                    CsrLog(CSRLOG_ERROR, "MaintRun: The disabling after the save is not complete\n");
                    result = ShowNotFinished(m_pOwner, kDisablingNotFinished);
                }
            } else if (saved == SAVE_LINK_LEFT) {
                result = ShowNotFinished(m_pOwner, kLinkRefusal);
            } else if (saved == SAVE_NOT_WRITTEN) {
                m_pOwner->SetStatusText("Save of configuration files to removable media could not be verified", 0);
                m_pOwner->SetDetailText("Save and Restore cannot continue", 0);
                m_pOwner->SetNoteText("Press Cancel to Exit", 0);
                PumpMessages(500);
                result = 2;
            }
        }
    } else if (keyCode == kRestoreKey) {
        const bool savedFiles = m_bRestoreAllowed && AreThereSavedFiles();
        // The question was answered, and the save has gone from sight since
        // (a stick pulled or unreadable): the press is not met with silence.
        if (!savedFiles && m_bRestoreAllowed && m_nRestoreStage == 1)
            result = ShowNotFinished(m_pOwner, kMediaUnreadable);
        if (savedFiles) {
            if (m_nRestoreStage == 0) {
                if (m_pOwner->ShowConfirm("Restore will copy saved data to this unit and clear it from the "
                                          "removable media. Continue restore?",
                                          false))
                    m_nRestoreStage = 1;
            } else if (m_nRestoreStage == 1) {
                char part[kIdentityChars] = {};
                int revision = -1;
                ScanPartNumText(partText, part, sizeof(part), &revision);

                char savedPart[SAVED_FIELD_OUT_SIZE] = {};
                int savedRevision = -1;
                char savedSerial[SAVED_FIELD_OUT_SIZE] = {};
                ReadSavedPartNum(savedPart, &savedRevision, savedSerial);
                // The same test as IsSameUnitRestore, on the identity read here.
                const bool sameUnit = IsSameUnit(savedSerial, savedPart, savedRevision, serial, part, revision);

                if (savedPart[0] == '\0') {
                    // The record was there a moment ago (the save counted as
                    // one): it could not be read now, which says nothing of
                    // whose save it is.
                    CsrLog(CSRLOG_ERROR, "MaintRun: The saved identity record could not be read\n");
                    result = ShowNotFinished(m_pOwner, kMediaUnreadable);
                } else if (!sameUnit && IsUnitDisabled()) {
                    // Allowed as the undo of this unit's own save, but the save on
                    // the media now is another unit's (the stick was changed):
                    // that save stays, and so does the disabling. The keys stay
                    // as they are, so that the window can still be left.
                    CsrLog(CSRLOG_ERROR, "MaintRun: Unit is disabled and the save of %s is not its own\n",
                           savedSerial);
                    m_pOwner->SetStatusText("Saved data is another unit's. A disabled unit takes back only its own.", 0);
                } else {
                    m_pOwner->SetKeyMask(0);
                    m_pOwner->SetDetailText("", 0);
                    m_pOwner->SetNoteText("", 0);
                    RestoreOutcome outcome;
                    if (sameUnit) {
                        UndoSave();
                        outcome = m_restoreOutcome;
                    } else {
                        RestoreConfig(media, persist, key.get());
                        outcome = m_restoreOutcome;
                        // The stick may have gone and come back during the import:
                        // only a save still whole on it is cleared.
                        if (outcome.Finished()) outcome.bMediaUnreadable = !IsSaveStillReadable(media);
                        if (outcome.Finished()) outcome.bStateFailed = !MarkRestored();
                        // Restored, and the save still on a stick that was pulled or
                        // write-protected: it could go onto another unit. The same
                        // key runs the restore again and clears it.
                        if (outcome.Finished()) outcome.bMediaNotCleared = !SaveGoneFromMedia(media);
                    }
                    if (outcome.Finished()) {
                        m_pOwner->SetStatusText("Configuration Restored", 0);
                        m_pOwner->SetDetailText("", 0);
                        m_pOwner->SetNoteText("", 0);
                        PumpMessages(500);
                        result = 1;
                    } else {
                        std::string text = RestoreFailureText(outcome);
                        CsrLog(CSRLOG_ERROR, "MaintRun: %s\n", text.c_str());
                        result = ShowNotFinished(m_pOwner, text);
                    }
                }
            }
        }
    }

    // The normal end reports a failure to close the key; a run that raises
    // leaves the closing to the owner.
    LONG closed = key.Close();
    if (closed != ERROR_SUCCESS) CFileException::ThrowOsError(closed);
    m_pOwner->RequestRepaint();
    return result;
}
