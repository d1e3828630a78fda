// Serial-number entry on the main window: the controls below the message
// lines, the knob edits, the check when the technician accepts, and the
// source unit's number stored after a restore.
#include "FerroxTendwickWnd.h"

#include <cstring>

#include "CsrLog.h"
#include "EngineLimits.h"
#include "GdiOwners.h"
#include "IdentityRules.h"
#include "KeyRules.h"
#include "LayoutRules.h"
#include "Retenta.h"
#include "RunMaint.h"
#include "SoftKeyBar.h"
#include "TextFields.h"
#include "resource.h"

namespace {

RECT ToRect(const ScreenRect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

} // namespace

void CFerroxTendwickWnd::CreateControls(const RECT& client)
{
    CMaintWnd::CreateControls(client);
    CreateSerialControls(client);
}

void CFerroxTendwickWnd::CreateSerialControls(const RECT& client)
{
    // The box is twelve of the widest letters of the window's own font wide.
    SIZE letter = {8, 16};
    {
        WindowDc dc(m_hWnd);
        if (dc) GetTextExtentPoint32A(dc.get(), "W", 1, &letter);
    }
    ScreenRect area = {client.left, client.top, client.right, client.bottom};
    SerialEntryLayout layout = ComputeSerialEntryLayout(area, 12 * letter.cx);

    m_snCaption.Create("MFD S/N:", SS_LEFT | SS_NOPREFIX, ToRect(layout.caption), this, IDC_SN_CAPTION);
    m_snCaption.SetTextColor(ColourOfIndex(COLOUR_GREEN));

    CsrLog(CSRLOG_TRACE, "Creating m_pSnCtrl\n");
    m_pSnCtrl = new CColorEdit;
    m_pSnCtrl->Create(WS_BORDER | ES_UPPERCASE | ES_LEFT, ToRect(layout.edit), this, IDC_SN_EDIT);
    m_pSnCtrl->SetTextColor(ColourOfIndex(COLOUR_GREEN));

    CsrLog(CSRLOG_TRACE, "Creating m_pSNStatus\n");
    m_pSNStatus = new CColorLabel;
    m_pSNStatus->Create("Invalid serial number", SS_CENTER | SS_NOPREFIX, ToRect(layout.status), this, IDC_SN_STATUS);
    m_pSNStatus->SetTextColor(ColourOfIndex(COLOUR_YELLOW));

    m_animation.Play(0, static_cast<UINT>(-1), 1);
}

void CFerroxTendwickWnd::BeginSerialEntry(const char* text)
{
    m_bEntryActive = true;
    m_bEntryAccepted = false;
    m_entry.Start(text ? text : "");
    SetSoftKeyCaption(1, "Accept");
    SetSoftKeyCaption(3, "");
    SetKeyMask(MASK_SERIAL_ENTRY);
}

bool CFerroxTendwickWnd::ShowSerialEntry()
{
    if (!m_bEntryActive) return false;
    if (m_pSoftKeyBar) m_pSoftKeyBar->SetCornerCaptions("Position", "Change");
    m_progress.ShowWindow(SW_HIDE);
    m_entry.Start(m_pEngine->LastSurvey().unit.serial.c_str());
    if (m_pSnCtrl) {
        m_pSnCtrl->SetWindowText(m_entry.Text());
        m_pSnCtrl->ShowWindow(SW_SHOW);
    }
    m_snCaption.ShowWindow(SW_SHOW);
    SetStatusText("Enter MFD Serial Number", COLOUR_WHITE);
    return true;
}

bool CFerroxTendwickWnd::GetEnteredSerial(char* text, size_t size)
{
    if (m_bEntryActive || !m_bEntryAccepted) return false;
    CopyText(text, size, m_entry.Text());
    if (m_pSoftKeyBar) m_pSoftKeyBar->ClearCornerCaptions();
    return true;
}

void CFerroxTendwickWnd::EditSerial(uint32_t key)
{
    if (!m_bEntryActive) return;
    bool changed = false;
    switch (key) {
    case KEY_UP: changed = m_entry.Up(); break;
    case KEY_DOWN: changed = m_entry.Down(); break;
    case KEY_RIGHT: changed = m_entry.Right(); break;
    case KEY_LEFT: changed = m_entry.Left(); break;
    default: break;
    }
    if (changed && m_pSnCtrl) m_pSnCtrl->SetWindowText(m_entry.Text());
}

void CFerroxTendwickWnd::CheckEnteredSerial()
{
    if (IsValidSerialNum(m_entry.Text())) {
        m_bEntryActive = false;
        m_bEntryAccepted = true;
        HideSerialControls();
        CsrLog(CSRLOG_EVENT, "valid serial number \"%s\"\n", m_entry.Text());
    } else {
        if (m_pSNStatus) m_pSNStatus->ShowWindow(SW_SHOW);
        CsrLog(CSRLOG_EVENT, "Invalid serial number \"%s\"\n", m_entry.Text());
    }
    RedrawAll();
}

void CFerroxTendwickWnd::HideSerialControls()
{
    m_snCaption.ShowWindow(SW_HIDE);
    if (m_pSnCtrl) m_pSnCtrl->ShowWindow(SW_HIDE);
    if (m_pSNStatus) m_pSNStatus->ShowWindow(SW_HIDE);
}
