// The maintenance program's window: the opening screen from the unit's
// identity and eligibility, the bezel keys, the maintenance run that F1 and
// F3 start, the services the engine reports through, serial-number entry and
// the restart at the end.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ColorControls.h"
#include "MaintWnd.h"
#include "RunResults.h"
#include "RunWindow.h"
#include "SerialEntryRules.h"

class CRunMaint;

// Where the window stands.
enum {
    MAINT_STATE_READY = 0,
    MAINT_STATE_RUN_F1 = 1,
    MAINT_STATE_RUN_F3 = 3,
    MAINT_STATE_RESTORED = 4,
    MAINT_STATE_ENDED = 5,
};

class CFerroxTendwickWnd : public CMaintWnd, public RunWindow {
public:
    explicit CFerroxTendwickWnd(CScreenConfig* config);
    ~CFerroxTendwickWnd() override;

    // RunWindow: what the engine calls.
    void SetStatusText(const char* text, int colour) override { CMaintWnd::SetStatusText(text, colour); }
    void SetDetailText(const char* text, int colour) override { CMaintWnd::SetDetailText(text, colour); }
    void SetNoteText(const char* text, int colour) override { CMaintWnd::SetNoteText(text, colour); }
    void SetProgressRange(int low, int high) override { CMaintWnd::SetProgressRange(low, high); }
    void StepProgress() override { CMaintWnd::StepProgress(); }
    void SetKeyMask(uint32_t mask) override { CMaintWnd::SetKeyMask(mask); }
    bool ShowConfirm(const char* question, bool onF1) override;
    void BeginSerialEntry(const char* text) override;
    bool ShowSerialEntry() override;
    bool GetEnteredSerial(char* text, size_t size) override;
    void RequestRepaint() override { RedrawAll(); }

    int GetState() const { return m_nState; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTA* create) override;
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
    void OnKeyUp(UINT key, UINT repeat, UINT flags) override;
    void OnClose() override;
    void CreateControls(const RECT& client) override;

private:
    // Opening screen: what the engine's survey found.
    void ShowOpeningScreen();
    // The unit's keys come through the block-10 table (its part number says so).
    bool IsBlock10() const;

    // Keys
    uint32_t TranslateKeyDown(UINT raw);
    uint32_t TranslateKeyUp(UINT raw);
    void RunStep(uint32_t key);
    // Holds m_bRunning for one run; its end gives the keys back and posts a
    // close that came during the run.
    class CRunInProgress {
    public:
        explicit CRunInProgress(CFerroxTendwickWnd& window);
        ~CRunInProgress();
        CRunInProgress(const CRunInProgress&) = delete;
        CRunInProgress& operator=(const CRunInProgress&) = delete;

    private:
        CFerroxTendwickWnd& m_window;
    };
    // The previous-key-state bit of a key message's flags (bit 30 of lParam).
    static const UINT kKeyWasDown = 0x4000;
    MaintResult CallMaintRun(uint32_t key);
    void ShowRunEnd(MaintResult result);
    // The media is read again and eligibility decided anew at every press
    // that starts work: false (the opening screen shown again, with its
    // refusal) when the key's work is no longer allowed.
    bool PressStillAllowed(uint32_t key);
    // The window's own call into the engine outside a run: an exception is
    // logged here and goes no further (none may leave a window procedure).
    bool LaunchUtilityLogged(bool block10);

    // Serial-number entry
    void CreateSerialControls(const RECT& client);
    void EditSerial(uint32_t key);
    void CheckEnteredSerial();
    void HideSerialControls();

    // The end: the utility from the media, or the restart screen and shutdown.
    void Restart(bool block10);
    void ShowRestartScreen();

    // Answers an inspecting tool (see Inspection.h); false when msg is not one.
    bool AnswerInspection(UINT msg, WPARAM wParam, LRESULT* result);

    // Data
    CRunMaint* m_pEngine;
    bool m_bKeyDown;
    int m_nState;
    bool m_bFinished;
    bool m_bRestarting;
    // A run is in progress: no key is taken, and a close request waits for
    // its end (the engine dispatches messages in the middle of its steps).
    // Set and cleared only by CRunInProgress.
    bool m_bRunning;
    bool m_bCloseAfterRun;

    // Serial-number entry
    SerialEntryText m_entry;
    bool m_bEntryActive;
    bool m_bEntryAccepted;
    CColorLabel m_snCaption;
    CColorEdit* m_pSnCtrl;
    CColorLabel* m_pSNStatus;

    // Inspection messages, registered once.
    UINT m_uInspectSoftKey;
    UINT m_uInspectKeyMask;
    UINT m_uInspectLabelColour;
    UINT m_uInspectCorners;
};
