// The maintenance run: one press of the Save or the Restore key, from the
// privileges and the run context to the finished save with its disabling,
// the restore onto another unit, or the undo on the source unit.
#include "RunMaint.h"

#include "CsrLog.h"
#include "Disabling.h"
#include "DisablingFiles.h"
#include "Eligibility.h"
#include "EngineLimits.h"
#include "IdentityRules.h"
#include "MediaLinks.h"
#include "MediaServices.h"
#include "MessagePump.h"
#include "RestoreFlow.h"
#include "RestoreOutcome.h"
#include "SaveFlow.h"
#include "TextFields.h"
#include "UnitState.h"

#include <string>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;
const char kLinkRefusal[] = "A save folder on the removable media is a link.\n"
                            "Nothing was written or read. Use another removable media.";
const char kDisablingNotFinished[] = "Disabling not finished: the disabled-unit program or picture is not in "
                                     "place.\nThe save stays on the removable media; press Confirm to try again.";
const char kMediaUnreadable[] = "Removable media could not be read. Nothing was done.";

// Shows why the work did not finish, in red, and gives the run's result.
MaintResult ShowNotFinished(RunWindow& window, const std::string& text)
{
    window.SetStatusText("", RUN_COLOUR_WHITE);
    window.SetDetailText(text.c_str(), RUN_COLOUR_RED);
    window.SetNoteText("", RUN_COLOUR_WHITE);
    return MaintResult::NotFinished;
}

void ShowFinished(RunWindow& window, const char* text)
{
    window.SetStatusText(text, RUN_COLOUR_WHITE);
    window.SetDetailText("", RUN_COLOUR_WHITE);
    window.SetNoteText("", RUN_COLOUR_WHITE);
}

// One press that starts work, on its run context.
class CPress {
public:
    CPress(CRunContext& run, RunWindow& window, RunPrompts& prompts)
        : m_run(run), m_window(window), m_prompts(prompts) {}

    MaintResult Save();
    MaintResult Restore();

private:
    MaintResult FinishInterruptedDisabling();
    MaintResult SaveEnd(SaveStage stage);
    MaintResult SaveDone();
    MaintResult RestoreSave(bool sameUnit);

    CRunContext& m_run;
    RunWindow&   m_window;
    RunPrompts&  m_prompts;
};

MaintResult CPress::Save()
{
    m_window.SetDetailText("", RUN_COLOUR_WHITE);
    m_window.SetNoteText("", RUN_COLOUR_WHITE);
    const UnitIdentity& unit = m_run.Unit();
    if (CUnitState(m_run.IsLegacy()).IsDisabled() && m_run.SavedFilesOnMedia("AreThereSavedFiles") &&
        IsOwnSave(m_run, unit.serial.c_str(), unit.part.c_str(), unit.revision) &&
        CDisabling(m_run).IsSaveOfInterruptedRun())
        return FinishInterruptedDisabling();
    return SaveEnd(CSaveFlow(m_run, m_window, m_prompts).SaveConfig());
}

MaintResult CPress::FinishInterruptedDisabling()
{
    // The disabling after this unit's own save was cut off: the save on the
    // media stands (it read back whole before the disabling began, and it is
    // that run's), and the disabling is made again to its end, after the
    // question every save asks. An older save of this unit is saved over instead.
    if (!m_prompts.bConfirmShown) {
        m_window.ShowConfirm("Save will disable this unit. Continue save?", true);
        m_prompts.bConfirmShown = true;
        return MaintResult::Pending;
    }
    CsrLog(CSRLOG_EVENT, "MaintRun: Finishing the disabling after this unit's save\n");
    m_window.SetKeyMask(0);
    m_window.SetDetailText("", RUN_COLOUR_WHITE);
    m_window.SetNoteText("", RUN_COLOUR_WHITE);
    CDisabling disabling(m_run);
    disabling.FinishSave();
    // Nothing was saved by this press: it reports what the disabling got
    // done, and one that is not complete is run again by the same key.
    if (!disabling.IsDisablingComplete()) {
        CsrLog(CSRLOG_ERROR, "MaintRun: The disabling after this unit's save is not complete\n");
        return ShowNotFinished(m_window, kDisablingNotFinished);
    }
    m_prompts.bConfirmShown = false;
    m_window.SetStatusText("Configuration Saved", RUN_COLOUR_WHITE);
    PumpMessagesFor(500);
    return MaintResult::Done;
}

MaintResult CPress::SaveEnd(SaveStage stage)
{
    switch (stage) {
    case SAVE_DONE:
        return SaveDone();
    case SAVE_LINK_LEFT:
        return ShowNotFinished(m_window, kLinkRefusal);
    case SAVE_NOT_WRITTEN:
        m_window.SetStatusText("Save of configuration files to removable media could not be verified", RUN_COLOUR_WHITE);
        m_window.SetDetailText("Save and Restore cannot continue", RUN_COLOUR_WHITE);
        m_window.SetNoteText("Press Cancel to Exit", RUN_COLOUR_WHITE);
        PumpMessagesFor(500);
        return MaintResult::NotWritten;
    default:
        return MaintResult::Pending;
    }
}

MaintResult CPress::SaveDone()
{
    ShowFinished(m_window, "Configuration Saved");
    CDisabling disabling(m_run);
    disabling.FinishSave();
    PumpMessagesFor(500);
    // A stick that answers without the disabled-unit program leaves the
    // disabling to a later press, as it always did. Any other disabling not
    // made whole (a full disk, a setting the store could not save, a stick
    // pulled) is said: the save on the media stands and the same key
    // finishes the disabling.
    const std::string& media = m_run.MediaRoot();
    if (!FileOnMedia(m_run, "", kDontDisableFile) && !GoneFromMedia(JoinPath(media.c_str(), kShellSource), media) &&
        !disabling.IsDisablingComplete()) {
        CsrLog(CSRLOG_ERROR, "MaintRun: The disabling after the save is not complete\n");
        return ShowNotFinished(m_window, kDisablingNotFinished);
    }
    return MaintResult::Done;
}

MaintResult CPress::Restore()
{
    if (m_prompts.restoreStage == RestoreStage::Start) {
        if (m_window.ShowConfirm("Restore will copy saved data to this unit and clear it from the "
                                 "removable media. Continue restore?",
                                 false))
            m_prompts.restoreStage = RestoreStage::Confirmed;
        return MaintResult::Pending;
    }
    if (m_run.Saved().part.empty()) {
        // The record was there a moment ago (the save counted as one): it
        // could not be read now, which says nothing of whose save it is.
        CsrLog(CSRLOG_ERROR, "MaintRun: The saved identity record could not be read\n");
        return ShowNotFinished(m_window, kMediaUnreadable);
    }
    const UnitIdentity& unit = m_run.Unit();
    bool sameUnit = IsSameUnit(m_run, unit.serial.c_str(), unit.part.c_str(), unit.revision);
    const SavedIdentity& saved = m_run.Saved();
    if (!sameUnit && CUnitState(m_run.IsLegacy()).IsDisabled() &&
        IsSameUnitIdentity(saved.serial.c_str(), saved.part.c_str(), saved.revision, unit.serial.c_str(),
                           unit.part.c_str(), unit.revision)) {
        // This unit's own save: whether it is the one that disabled the unit
        // is read once more, and a read that fails again says nothing of
        // whose save it is (not finished, the same key asks again).
        const CDisabling::SaveMatch match = CDisabling(m_run).MatchSaveOfInterruptedRun();
        if (match == CDisabling::SaveMatch::Unreadable) {
            CsrLog(CSRLOG_ERROR, "MaintRun: The save's checksum or the unit's hive copy could not be read\n");
            return ShowNotFinished(m_window, kMediaUnreadable);
        }
        sameUnit = match == CDisabling::SaveMatch::Same;
    }
    if (!sameUnit && CUnitState(m_run.IsLegacy()).IsDisabled()) {
        // Allowed as the undo of this unit's own save, but the save on the
        // media now is another unit's (the stick was changed): that save
        // stays, and so does the disabling. The keys stay as they are, so
        // that the window can still be left.
        CsrLog(CSRLOG_ERROR, "MaintRun: Unit is disabled and the save of %s is not its own\n",
               m_run.Saved().serial.c_str());
        m_window.SetStatusText("Saved data is another unit's. A disabled unit takes back only its own.", RUN_COLOUR_WHITE);
        return MaintResult::Pending;
    }
    m_window.SetKeyMask(0);
    m_window.SetDetailText("", RUN_COLOUR_WHITE);
    m_window.SetNoteText("", RUN_COLOUR_WHITE);
    return RestoreSave(sameUnit);
}

MaintResult CPress::RestoreSave(bool sameUnit)
{
    // Taken before the media is cleared: a unit without a number of its own
    // takes the save's once the restore is done.
    const std::string savedSerial = m_run.Saved().serial;
    CRestoreFlow restore(m_run, &m_window);
    RestoreOutcome outcome;
    const bool finished = sameUnit ? CDisabling(m_run).UndoSave(&outcome)
                                   : restore.RestoreConfig(&outcome) && restore.FinishRestore(&outcome);
    if (!finished) {
        std::string text = RestoreFailureText(outcome);
        CsrLog(CSRLOG_ERROR, "MaintRun: %s\n", text.c_str());
        return ShowNotFinished(m_window, text);
    }
    restore.StoreSourceSerialIfNeeded(savedSerial.c_str());
    ShowFinished(m_window, "Configuration Restored");
    PumpMessagesFor(500);
    return MaintResult::Done;
}

} // namespace

MaintResult CRunMaint::MaintRun(RunWindow* window, uint32_t keyCode)
{
    if (window) m_pOwner = window;
    EnableBackupPrivileges();
    // The context the window's survey of this press read, else one of its own.
    std::unique_ptr<CRunContext> context = std::move(m_pPressRun);
    if (!context) context.reset(new CRunContext(m_survey.unit.part.c_str()));
    CRunContext& run = *context;
    run.RequireUpdatePaths("MaintRun");

    // Without a real serial-number source the keys do nothing at all.
    if (!run.Unit().bSerialFound) return MaintResult::Pending;

    m_pOwner->SetProgressRange(0, kSaveProgressSteps);
    // Folders of the media that lead elsewhere (onto this unit's own data)
    // are neither written nor read, nor cleared.
    if ((keyCode == kSaveKey || keyCode == kRestoreKey) && MediaFoldersAreLinks(run.MediaRoot().c_str()))
        return ShowNotFinished(*m_pOwner, kLinkRefusal);

    CPress press(run, *m_pOwner, m_prompts);
    MaintResult result = MaintResult::Pending;
    if (keyCode == kSaveKey && m_survey.bSaveAllowed)
        result = press.Save();
    else if (keyCode == kRestoreKey && m_survey.bRestoreAllowed && run.SavedFilesOnMedia("AreThereSavedFiles"))
        result = press.Restore();
    else if (keyCode == kRestoreKey && m_survey.bRestoreAllowed && m_prompts.restoreStage == RestoreStage::Confirmed)
        // The question was answered, and the save has gone from sight since
        // (a stick pulled or unreadable): the press is not met with silence.
        result = ShowNotFinished(*m_pOwner, kMediaUnreadable);

    // The normal end reports a failure to close the key; a run that raises
    // leaves the closing to the context.
    LONG closed = run.CloseKey();
    if (closed != ERROR_SUCCESS) CFileException::ThrowOsError(closed);
    m_pOwner->RequestRepaint();
    return result;
}
