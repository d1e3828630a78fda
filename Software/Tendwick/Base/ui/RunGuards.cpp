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
    bool savedFiles = false;
    char part[sizeof(m_szMediaPart)] = {};
    int revision = -1;
    char serial[sizeof(m_szMediaSerial)] = {};
    bool saveAllowed = false;
    bool restoreAllowed = false;
    try {
        savedFiles = m_pEngine->AreThereSavedFiles();
        if (savedFiles) m_pEngine->ReadSavedPartNum(part, &revision, serial);
        int code = 0;
        restoreAllowed = savedFiles && m_pEngine->ChkRestoreAllow(part, revision, m_szUnitPart, m_nUnitRevision, &code);
        saveAllowed = m_pEngine->ChkSave(m_szUnitPart, m_nUnitRevision, &code);
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
    m_bSavedFiles = savedFiles;
    std::memcpy(m_szMediaPart, part, sizeof(m_szMediaPart));
    m_nMediaRevision = revision;
    std::memcpy(m_szMediaSerial, serial, sizeof(m_szMediaSerial));

    bool allowed = key == KEY_F1 ? saveAllowed : restoreAllowed;
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

void CFerroxTendwickWnd::ClearMediaLogged(const char* caller)
{
    try {
        m_pEngine->ClearRemovableMedia();
    } catch (CFileException& e) {
        char text[kExceptionTextChars] = {};
        e.GetErrorMessage(text, sizeof(text));
        CsrLog(CSRLOG_ERROR, "%s: Clearing the removable media failed (dwResult: %d) %s\n", caller, e.m_cause, text);
    } catch (...) {
        LogCaught(caller, "Clearing the removable media failed");
    }
}

bool CFerroxTendwickWnd::LaunchUtilityLogged(bool block10)
{
    try {
        return CFLSRebootWnd::LaunchUtility(*m_pEngine, block10);
    } catch (CFileException& e) {
        char text[kExceptionTextChars] = {};
        e.GetErrorMessage(text, sizeof(text));
        CsrLog(CSRLOG_ERROR, "Restart: No media root for the utility (dwResult: %d) %s\n", e.m_cause, text);
    } catch (...) {
        LogCaught("Restart", "No media root for the utility");
    }
    return false;
}
