#include "FerroxTendwickWnd.h"

#include <cstdio>
#include <cstring>

#include "CsrLog.h"
#include "FLSRebootWnd.h"
#include "IdentityRules.h"
#include "Inspection.h"
#include "KeyRules.h"
#include "ReleasePairs.h"
#include "RunMaint.h"
#include "SoftKeyBar.h"
#include "Tendwick.h"
#include "TextFields.h"
#include "resource.h"

namespace {

const char kBlock10Prefix[] = "612-00288";
const size_t kFileExceptionChars = 256;
const size_t kExceptionMessageChars = 118;
const unsigned long kNoFilesToRestore = 2;

// Plays the animation over all frames, for ever.
void LoopAnimation(CAnimateCtrl& animation)
{
    animation.Play(0, static_cast<UINT>(-1), static_cast<UINT>(-1));
}

void ShowAnimationStill(CAnimateCtrl& animation)
{
    animation.Seek(PROGRESS_AVI_LAST_FRAME);
}

} // namespace

CFerroxTendwickWnd::CFerroxTendwickWnd(CScreenConfig* config)
    : CMaintWnd(config),
      m_pEngine(nullptr),
      m_bKeyDown(false),
      m_nState(MAINT_STATE_READY),
      m_bFinished(false),
      m_bRestarting(false),
      m_bRunning(false),
      m_bCloseAfterRun(false),
      m_bEntryActive(false),
      m_bEntryAccepted(false),
      m_pSnCtrl(nullptr),
      m_pSNStatus(nullptr)
{
    m_pEngine = new CRunMaint(this);
    CsrLog(CSRLOG_TRACE, "Save And Restore sw part number %s\n", MAINT_VERSION);
    m_uInspectSoftKey = RegisterWindowMessageA(INSPECT_SOFTKEY_MSG);
    m_uInspectKeyMask = RegisterWindowMessageA(INSPECT_KEYMASK_MSG);
    m_uInspectLabelColour = RegisterWindowMessageA(INSPECT_LABEL_COLOUR_MSG);
    m_uInspectCorners = RegisterWindowMessageA(INSPECT_CORNERS_MSG);
}

CFerroxTendwickWnd::~CFerroxTendwickWnd()
{
    ReleaseSurface();
    DeleteSoftKeyBar();
    delete m_pEngine;
    m_pEngine = nullptr;
    delete m_pSnCtrl;
    m_pSnCtrl = nullptr;
    delete m_pSNStatus;
    m_pSNStatus = nullptr;
}

// --- opening screen ------------------------------------------------------------

int CFerroxTendwickWnd::OnCreate(CREATESTRUCTA* create)
{
    CsrLog(CSRLOG_TRACE, "CFerroxTendwickWnd::OnCreate\n");
    if (CMaintWnd::OnCreate(create) == -1) return -1;

    // The status line and the detail text sit higher than the base layout;
    // the detail text gets room for its six lines.
    RECT rect1 = m_label1.GetRectInParent();
    int half1 = (rect1.bottom - rect1.top) / 2;
    OffsetRect(&rect1, 0, -half1);
    m_label1.MoveWindow(rect1);
    RECT rect2 = m_label2.GetRectInParent();
    int height2 = rect2.bottom - rect2.top;
    rect2.top -= height2 / 2;
    rect2.bottom = rect2.top + 2 * height2;
    m_label2.MoveWindow(rect2);
    // The grown detail text reaches into line 3 and, lying above it, would hide
    // its first line: line 3 starts where the detail text ends.
    RECT rect3 = m_label3.GetRectInParent();
    if (rect3.top < rect2.bottom && rect2.bottom < rect3.bottom) {
        rect3.top = rect2.bottom;
        m_label3.MoveWindow(rect3);
    }

    const UnitSurvey& survey = m_pEngine->Survey();
    CsrLog(CSRLOG_TRACE, "OnCreate: GetSwPartNum retrieved %s, s/n %s\n", survey.unit.partText.c_str(),
           survey.unit.serial.c_str());
    ShowOpeningScreen();
    return 0;
}

bool CFerroxTendwickWnd::IsBlock10() const
{
    const std::string& part = m_pEngine->LastSurvey().unit.part;
    return part.compare(0, sizeof(kBlock10Prefix) - 1, kBlock10Prefix) == 0;
}

void CFerroxTendwickWnd::ShowOpeningScreen()
{
    const UnitSurvey& survey = m_pEngine->LastSurvey();
    const bool savedFiles = survey.bSavedFiles;
    const bool saveAllowed = survey.bSaveAllowed;
    const bool restoreAllowed = survey.bRestoreAllowed;
    const char* unitPart = survey.unit.part.c_str();
    const int unitRevision = survey.unit.revision;
    const char* saveText = EligibilityStatusText(survey.saveStatus);
    const char* restoreText = EligibilityStatusText(survey.restoreStatus);

    for (int key = 1; key <= 5; ++key) SetSoftKeyCaption(key, "");
    if (saveAllowed) {
        SetSoftKeyCaption(1, "Save");
        SetStatusText("Ready to Save Configuration", COLOUR_WHITE);
    }
    SetSoftKeyCaption(3, "");
    if (savedFiles && restoreAllowed) {
        SetSoftKeyCaption(3, "Restore");
        SetStatusText("Ready to Restore Configuration", COLOUR_WHITE);
    } else {
        SetStatusText("Ready to Save Configuration", COLOUR_WHITE);
    }

    if (!saveAllowed && !restoreAllowed) {
        SetStatusText("No save or restore allowed.\nUnit is not a valid Save or Restore candidate", COLOUR_WHITE);
        char note[256];
        std::snprintf(note, sizeof(note), "%s, %s", saveText, restoreText);
        SetNoteText(note, COLOUR_WHITE);
    }

    // Every key offered works: save and restore are seldom both allowed, but
    // when they are (a unit that finds its own save) both keys are shown.
    if (saveAllowed && savedFiles && restoreAllowed)
        SetKeyMask(MASK_SAVE | MASK_RESTORE);
    else if (saveAllowed)
        SetKeyMask(MASK_SAVE);
    else if (restoreAllowed)
        SetKeyMask(MASK_RESTORE);
    else
        SetKeyMask(MASK_F5);

    SetSoftKeyCaption(4, "");
    SetSoftKeyCaption(5, "Cancel");
    ShowSoftKeys(true);

    if (!IsSupportedRelease(unitPart, unitRevision)) {
        char text[256];
        std::snprintf(text, sizeof(text), "MFD SW Part Number %s Rev %d Not Supported", unitPart, unitRevision);
        SetStatusText(text, COLOUR_RED);
    }

    char detail[512];
    const char* unitSerial = survey.unit.serial.c_str();
    if (savedFiles) {
        // clang-format off
        std::snprintf(detail, sizeof(detail), "MFD contains %s Rev %02d software,\ns/n %s\nRemovable media contains data from\n%s Rev %02d,\nretrieved from MFD s/n %s",
                      unitPart, unitRevision, unitSerial, survey.saved.part.c_str(), survey.saved.revision,
                      survey.saved.serial.c_str());
        // clang-format on
    } else {
        std::snprintf(detail, sizeof(detail),
                      "MFD contains %s Rev %02d software,\ns/n %s\nRemovable media contains no saved files.",
                      unitPart, unitRevision, unitSerial);
    }
    SetDetailText(detail, COLOUR_WHITE);
}

// --- keys ----------------------------------------------------------------------

uint32_t CFerroxTendwickWnd::TranslateKeyDown(UINT raw)
{
    if (IsBlock10()) {
        CsrLog(CSRLOG_TRACE, "OnKeyDown: block10 input %x\n", raw);
        return TranslateBlock10Key(raw);
    }
    return m_pScreenConfig->TranslateKey(raw);
}

uint32_t CFerroxTendwickWnd::TranslateKeyUp(UINT raw)
{
    if (IsBlock10()) {
        CsrLog(CSRLOG_TRACE, "OnKeyUp: block10 input %x\n", raw);
        return TranslateBlock10Key(raw);
    }
    CsrLog(CSRLOG_TRACE, "OnKeyUp: non block10 input %x\n", raw);
    return m_pScreenConfig->TranslateKey(raw);
}

void CFerroxTendwickWnd::OnKeyDown(UINT raw, UINT, UINT flags)
{
    if (m_bRunning) {
        CsrLog(CSRLOG_TRACE, "OnKeyDown: Run in progress, key %x ignored\n", raw);
        return;
    }
    // A key already down before this message (held through a run's end, or
    // repeating) is no fresh press: only a press made after the run counts.
    if (flags & kKeyWasDown) {
        CsrLog(CSRLOG_TRACE, "OnKeyDown: Key %x held or repeating, ignored\n", raw);
        return;
    }
    uint32_t key = TranslateKeyDown(raw);
    if (!IsKeyAllowed(m_dwKeyMask, key) || m_bKeyDown) return;   // repeats and a second key
    int number = SoftKeyNumber(key);
    if (number && m_pSoftKeyBar && m_pSoftKeyBar->GetKeyCount() >= number) {
        m_pSoftKeyBar->GetKey(number - 1)->SetState(SOFTKEY_PRESSED, false);
        Invalidate(false);
    }
    m_bKeyDown = true;
    CsrLog(CSRLOG_TRACE, "OnKeyDown: %x\n", key);
}

void CFerroxTendwickWnd::OnKeyUp(UINT raw, UINT, UINT)
{
    if (m_bRunning) {
        CsrLog(CSRLOG_TRACE, "OnKeyUp: Run in progress, key %x ignored\n", raw);
        return;
    }
    uint32_t key = TranslateKeyUp(raw);
    CsrLog(CSRLOG_TRACE, "OnKeyUp: %x\n", key);
    if (m_pSoftKeyBar) {
        m_pSoftKeyBar->ReleaseAll();
        Invalidate(false);
    }
    if (!m_bKeyDown) {
        CsrLog(CSRLOG_WARNING, "OnKeyUp: Not expecting key up\n");
        return;
    }
    m_bKeyDown = false;
    if (!IsKeyAllowed(m_dwKeyMask, key)) {
        CsrLog(CSRLOG_WARNING, "OnKeyUp: Key mask failed\n");
        return;
    }

    switch (key) {
    case KEY_F5:
        Restart(IsBlock10());
        PostMessage(WM_CLOSE);
        break;
    case KEY_F1:
    case KEY_F3:
        RunStep(key);
        break;
    case KEY_LEFT:
    case KEY_RIGHT:
    case KEY_UP:
    case KEY_DOWN:
        EditSerial(key);
        break;
    default:
        CsrLog(CSRLOG_TRACE, "OnKeyUp: Sending to CWnd\n");
        Default();
        break;
    }
}

void CFerroxTendwickWnd::RunStep(uint32_t key)
{
    LoopAnimation(m_animation);
    // After a restore (the engine cleared the media) or any other finished
    // run, the key ends the program.
    if (m_bFinished || m_nState == MAINT_STATE_RESTORED) {
        Restart(IsBlock10());
        PostMessage(WM_CLOSE);
        return;
    }
    if (!PressStillAllowed(key)) return;

    ShowSoftKeys(false);
    RedrawAll();
    m_progress.ShowWindow(SW_SHOW);

    if (key == KEY_F1) {
        m_nState = MAINT_STATE_RUN_F1;
        if (m_bEntryActive) CheckEnteredSerial();
    } else {
        m_nState = MAINT_STATE_RUN_F3;
    }

    // The engine blocks the keys while it works; a failed run must leave the
    // keys of the screen it started from, or not even Cancel would work.
    uint32_t maskBeforeRun = m_dwKeyMask;
    MaintResult result = MaintResult::Pending;
    {
        CRunInProgress running(*this);
        result = CallMaintRun(key);
        ShowRunEnd(result);
    }
    const bool retry = result == MaintResult::NotFinished || result == MaintResult::Raised;
    if (retry && m_dwKeyMask != maskBeforeRun) SetKeyMask(maskBeforeRun);

    m_progress.ShowWindow(SW_HIDE);
    ShowSoftKeys(true);
    RedrawAll();
}

CFerroxTendwickWnd::CRunInProgress::CRunInProgress(CFerroxTendwickWnd& window) : m_window(window)
{
    m_window.m_bRunning = true;
}

CFerroxTendwickWnd::CRunInProgress::~CRunInProgress()
{
    // However the run ended, even by an exception: the keys come back, and
    // a close asked for meanwhile is carried out.
    m_window.m_bRunning = false;
    if (!m_window.m_bCloseAfterRun) return;
    m_window.m_bCloseAfterRun = false;
    CsrLog(CSRLOG_TRACE, "RunStep: Closing as requested during the run\n");
    m_window.PostMessage(WM_CLOSE);
}

MaintResult CFerroxTendwickWnd::CallMaintRun(uint32_t key)
{
    char text[kFileExceptionChars];
    try {
        return m_pEngine->MaintRun(this, key);
    } catch (CFileException& e) {
        int length = std::snprintf(text, sizeof(text), "File Exception (dwResult: %d) ", e.m_cause);
        if (length < 0) length = 0;
        if (static_cast<size_t>(length) < sizeof(text))
            e.GetErrorMessage(text + length, static_cast<unsigned>(sizeof(text) - length));
    } catch (CException& e) {
        char message[kExceptionMessageChars + 1] = {};
        e.GetErrorMessage(message, sizeof(message));
        std::snprintf(text, sizeof(text), "Exception %s", message);
    } catch (unsigned long code) {
        std::snprintf(text, sizeof(text), "%s",
                      code == kNoFilesToRestore ? "Removable media contains no files to restore"
                                                : "Unrecognized error");
    } catch (unsigned int code) {
        std::snprintf(text, sizeof(text), "%s",
                      code == kNoFilesToRestore ? "Removable media contains no files to restore"
                                                : "Unrecognized error");
    } catch (...) {
        std::snprintf(text, sizeof(text), "Exception: %d", static_cast<int>(GetLastError()));
    }
    SetDetailText(text, COLOUR_RED);
    return MaintResult::Raised;
}

void CFerroxTendwickWnd::ShowRunEnd(MaintResult result)
{
    if (result == MaintResult::Done && m_nState == MAINT_STATE_RUN_F3) {
        ShowAnimationStill(m_animation);
        SetSoftKeyCaption(1, "Done");
        for (int key = 2; key <= 5; ++key) SetSoftKeyCaption(key, "");
        SetKeyMask(MASK_F1);
        RedrawAll();
        m_nState = MAINT_STATE_RESTORED;
    } else if (result == MaintResult::Done) {
        ShowAnimationStill(m_animation);
        SetSoftKeyCaption(1, "Done");
        for (int key = 2; key <= 5; ++key) SetSoftKeyCaption(key, "");
        SetKeyMask(MASK_F1);
        m_nState = MAINT_STATE_ENDED;
        m_bFinished = true;
    } else if (result == MaintResult::NotWritten) {
        ShowAnimationStill(m_animation);
        for (int key = 1; key <= 4; ++key) SetSoftKeyCaption(key, "");
        SetSoftKeyCaption(5, "Cancel");
        SetKeyMask(MASK_F5);
        m_nState = MAINT_STATE_ENDED;
        m_bFinished = true;
    } else if (result != MaintResult::Pending) {
        // The mask and the soft keys stay: the same key tries again.
        ShowAnimationStill(m_animation);
        const char* title = MAINT_TITLE;
        CsrLog(CSRLOG_ERROR, "%s failed with 0x%X\n", title, static_cast<unsigned>(static_cast<int>(result)));
        char text[256];
        std::snprintf(text, sizeof(text), "%s failed", title);
        SetStatusText(text, COLOUR_RED);
        m_nState = MAINT_STATE_ENDED;
    }
}

bool CFerroxTendwickWnd::ShowConfirm(const char* question, bool onF1)
{
    m_pEngine->SetConfirmShown(true);
    SetStatusText(question, COLOUR_WHITE);
    if (onF1) {
        SetSoftKeyCaption(1, "Confirm");
        SetSoftKeyCaption(3, "");
        SetKeyMask(MASK_SAVE);
    } else {
        SetSoftKeyCaption(3, "Confirm");
        SetSoftKeyCaption(1, "");
        SetKeyMask(MASK_RESTORE);
    }
    ShowSoftKeys(true);
    RedrawAll();
    return true;
}

void CFerroxTendwickWnd::OnClose()
{
    if (m_bRunning) {
        // The run's steps still use the window: it closes when the run ends.
        CsrLog(CSRLOG_TRACE, "OnClose: Run in progress, closing after it\n");
        m_bCloseAfterRun = true;
        return;
    }
    ReleaseSurface();
    DeleteSoftKeyBar();
    if (m_nState == MAINT_STATE_RESTORED) Restart(IsBlock10());
    Default();
}

// --- the end -------------------------------------------------------------------

void CFerroxTendwickWnd::Restart(bool block10)
{
    if (m_bRestarting) return;
    m_bRestarting = true;
    if (LaunchUtilityLogged(block10)) return;
    ShowRestartScreen();
    CFLSRebootWnd::Shutdown();
}

void CFerroxTendwickWnd::ShowRestartScreen()
{
    ShowSoftKeys(false);
    SetStatusText("System Restarting", COLOUR_YELLOW);
    SetDetailText("Remove USB dataloader after shutdown, before restart", COLOUR_WHITE);
    SetNoteText("", COLOUR_WHITE);
    RedrawAll();
    // The technician reads it before the unit goes down; nothing else runs meanwhile.
    Sleep(5000);
}

// --- inspection ----------------------------------------------------------------

LRESULT CFerroxTendwickWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (AnswerInspection(msg, wParam, &result)) return result;
    // No exception may cross the system's dispatch frames: it would end the
    // program with no restart and no shutdown.
    try {
        return CMaintWnd::WindowProc(msg, wParam, lParam);
    } catch (CException& e) {
        char text[kExceptionMessageChars + 1] = {};
        e.GetErrorMessage(text, sizeof(text));
        CsrLog(CSRLOG_ERROR, "WindowProc: Exception on message 0x%X: %s\n", msg, text);
    } catch (...) {
        CsrLog(CSRLOG_ERROR, "WindowProc: Exception on message 0x%X\n", msg);
    }
    // A window whose creation failed part way must not stand: -1 ends it.
    return msg == WM_CREATE ? -1 : 0;
}

bool CFerroxTendwickWnd::AnswerInspection(UINT msg, WPARAM wParam, LRESULT* result)
{
    if (msg == 0) return false;
    if (msg == m_uInspectKeyMask) {
        *result = static_cast<LRESULT>(m_dwKeyMask);
        return true;
    }
    if (msg == m_uInspectLabelColour) {
        CColorLabel* labels[] = {&m_label1, &m_label2, &m_label3, &m_label4};
        *result = wParam >= 1 && wParam <= 4 ? static_cast<LRESULT>(labels[wParam - 1]->GetTextColor()) : 0;
        return true;
    }
    if (msg == m_uInspectSoftKey) {
        *result = 0;
        CSoftKey* key = m_pSoftKeyBar && m_pSoftKeyBar->IsVisible() && wParam >= 1
                            ? m_pSoftKeyBar->GetKey(static_cast<int>(wParam) - 1)
                            : nullptr;
        if (key && key->GetLine1()[0]) {
            char caption[2 * SOFTKEY_CAPTION_CHARS + 2];
            std::snprintf(caption, sizeof(caption), key->GetLine2()[0] ? "%s\n%s" : "%s%s", key->GetLine1(),
                          key->GetLine2());
            *result = GlobalAddAtomA(caption);
        }
        return true;
    }
    if (msg == m_uInspectCorners) {
        *result = 0;
        if (m_pSoftKeyBar && (m_pSoftKeyBar->GetLeftCorner()[0] || m_pSoftKeyBar->GetRightCorner()[0])) {
            char corners[2 * SOFTKEY_CAPTION_CHARS + 2];
            std::snprintf(corners, sizeof(corners), "%s|%s", m_pSoftKeyBar->GetLeftCorner(),
                          m_pSoftKeyBar->GetRightCorner());
            *result = GlobalAddAtomA(corners);
        }
        return true;
    }
    return false;
}
