// The maintenance program's base window: a borderless, screen-sized black
// window with the title and version drawn on its background, four message
// lines, an animation, a progress bar and the soft-key column beside the
// bezel keys.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ColorControls.h"
#include "Controls.h"
#include "GdiOwners.h"
#include "Wnd.h"

class CDrawSurface;
class CScreenConfig;
class CSoftKeyBar;

const char MAINT_TITLE[] = "Configuration Save & Restore Utility";
const char MAINT_VERSION[] = "618-00150-000 Rev 01 (Build 2)";

class CMaintWnd : public CWnd {
public:
    // config: the screen the window covers and its soft keys; the creator
    // keeps it alive as long as the window.
    explicit CMaintWnd(CScreenConfig* config);
    ~CMaintWnd() override;

    // The message lines: colour, then text; a non-empty text goes to the run log.
    void SetStatusText(const char* text, int colour);   // label 1, framed
    void SetDetailText(const char* text, int colour);   // label 2
    void SetNoteText(const char* text, int colour);     // label 3
    void SetProgressRange(int low, int high);
    void StepProgress();
    void SetKeyMask(uint32_t mask);
    uint32_t GetKeyMask() const { return m_dwKeyMask; }

    // Draws the soft-key column (and whatever else the screen shows) on a
    // device context: the screen's paint and a test's picture alike.
    void DrawContent(HDC dc);

protected:
    // Labels, animation and progress bar for the client rectangle.
    virtual void CreateControls(const RECT& client);
    // Clean-up hook the destructors call.
    virtual void CleanUp() {}

    int OnCreate(CREATESTRUCTA* create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC dc) override;

    // Sets the caption of soft key number (1..5); nothing when there is none.
    void SetSoftKeyCaption(int number, const char* caption);
    void ShowSoftKeys(bool visible);
    // Drops the window's reference to the drawing surface.
    void ReleaseSurface();
    // Puts overlapping controls in a fixed stacking order (after CreateControls).
    void StackControls();
    // Stops the animation on its last frame, the still picture shown while no
    // run works.
    void ShowAnimationLastFrame();
    // Controls without colours of their own (the animation) get the background.
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
    // Deletes the soft-key column.
    void DeleteSoftKeyBar();

    // Data
    CScreenConfig* m_pScreenConfig;
    CColorLabel m_label1;
    CColorLabel m_label2;
    CColorLabel m_label3;
    CColorLabel m_label4;
    CAnimateCtrl m_animation;
    CProgressCtrl m_progress;
    CSoftKeyBar* m_pSoftKeyBar = nullptr;
    CDrawSurface* m_pSurface = nullptr;
    uint32_t m_dwKeyMask = 0;
    UniqueFont m_fontTitle;
    UniqueFont m_fontVersion;
    COLORREF m_crBackground = RGB(0, 0, 0);
    UniqueBrush m_brBackground;
    int m_nTitleY = -1;
    int m_nVersionY = -1;
    HICON m_hIcon = nullptr;
};
