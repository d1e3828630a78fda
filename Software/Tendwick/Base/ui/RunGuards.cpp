// What keeps a run of the window sound when the stick or the engine changes
// under it: eligibility decided again at the press that starts work, and the
// window's own engine calls kept from throwing out of a window procedure.
#include "FerroxTendwickWnd.h"

#include <cstring>

#include "CsrLog.h"
#include "FLSRebootWnd.h"
#include "KeyRules.h"
#include "RunMaint.h"
#include "resource.h"

namespace {

const size_t kExceptionTextChars = 160;

// The text of whatever was caught, for the log.
void LogCaught(const char* caller, const char* what)
{
    CsrLog(CSRLOG_ERROR, "%s: %s\n", caller, what);
}

} // namespace

bool CFerroxTendwickWnd::PressStillAllowed(uint32_t key)
{
    // The stick may have been changed since the screen was drawn: what lies
    // on it now decides, and the copies of its identity are taken anew.
    bool allowed = false;
    try {
        const UnitSurvey& survey = m_pEngine->Survey();
        allowed = key == KEY_F1 ? survey.bSaveAllowed : survey.bSavedFiles && survey.bRestoreAllowed;
    } catch (CException& e) {
        // Not known what the stick holds now: the work waits for a press
        // that can read it, rather than run on the earlier stick's verdict.
        char text[kExceptionTextChars] = {};
        e.GetErrorMessage(text, sizeof(text));
        CsrLog(CSRLOG_ERROR, "RunStep: The media could not be judged again (%s); the press is refused\n", text);
        SetDetailText("Removable media could not be read. Nothing was done.", COLOUR_RED);
        RedrawAll();
        return false;
    }
    if (allowed) return true;
    CsrLog(CSRLOG_WARNING, "RunStep: The media changed; %s no longer allowed\n", key == KEY_F1 ? "save" : "restore");
    // Back to the opening screen for what the media holds now, with no
    // question or entry of the earlier media left standing.
    m_pEngine->ResetPrompts();
    if (m_bEntryActive) {
        m_bEntryActive = false;
        HideSerialControls();
    }
    m_bEntryAccepted = false;
    m_nState = MAINT_STATE_READY;
    ShowOpeningScreen();
    m_animation.Seek(PROGRESS_AVI_LAST_FRAME);
    RedrawAll();
    return false;
}

bool CFerroxTendwickWnd::LaunchUtilityLogged(bool block10)
{
    try {
        return CFLSRebootWnd::LaunchUtility(block10);
    } catch (CFileException& e) {
        char text[kExceptionTextChars] = {};
        e.GetErrorMessage(text, sizeof(text));
        CsrLog(CSRLOG_ERROR, "Restart: No media root for the utility (dwResult: %d) %s\n", e.m_cause, text);
    } catch (...) {
        LogCaught("Restart", "No media root for the utility");
    }
    return false;
}
