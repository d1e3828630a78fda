#include "Controls.h"

#include <commctrl.h>

namespace {

BOOL CreateControl(CWnd& control, const char* className, const char* text, DWORD style, const RECT& rect,
                   CWnd* parent, UINT id)
{
    return control.CreateEx(0, className, text, style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

} // namespace

BOOL CStatic::Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, "STATIC", text, style, rect, parent, id);
}

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, "EDIT", "", style, rect, parent, id);
}

BOOL CAnimateCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, ANIMATE_CLASSA, "", style, rect, parent, id);
}

BOOL CAnimateCtrl::Open(UINT resourceId)
{
    return static_cast<BOOL>(SendMessage(ACM_OPENA, reinterpret_cast<WPARAM>(::GetModuleHandleA(nullptr)),
                                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(resourceId))));
}

BOOL CAnimateCtrl::Play(UINT from, UINT to, UINT repeat)
{
    return static_cast<BOOL>(SendMessage(ACM_PLAY, static_cast<WPARAM>(repeat), MAKELONG(from, to)));
}

BOOL CAnimateCtrl::Seek(UINT frame)
{
    return Play(frame, frame, 1);
}

BOOL CAnimateCtrl::Stop()
{
    return static_cast<BOOL>(SendMessage(ACM_STOP));
}

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, PROGRESS_CLASSA, "", style, rect, parent, id);
}

void CProgressCtrl::SetRange32(int low, int high)
{
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

int CProgressCtrl::SetStep(int step)
{
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::SetPos(int position)
{
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::GetPos() const
{
    return static_cast<int>(SendMessage(PBM_GETPOS));
}

int CProgressCtrl::StepIt()
{
    return static_cast<int>(SendMessage(PBM_STEPIT));
}
