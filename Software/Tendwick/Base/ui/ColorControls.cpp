#include "ColorControls.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);

// The etched frame lies this far outside the edit box's client area.
const int kFrameGap = 2;

// A system control made here and subclassed by its object, so that the
// object sees the control's own messages.
BOOL CreateSubclassed(CWnd& control, const char* className, const char* text, DWORD style, const RECT& rect,
                      CWnd* parent, UINT id)
{
    HWND wnd = ::CreateWindowExA(0, className, text, style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleA(nullptr),
                                 nullptr);
    if (!wnd) return FALSE;
    if (!control.SubclassWindow(wnd)) {
        ::DestroyWindow(wnd);
        control.m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

// The frames of the visible edit boxes among a window's siblings: a label
// that overlaps one paints over the part of its frame outside the box.
void RedrawSiblingFrames(HWND wnd)
{
    HWND parent = ::GetParent(wnd);
    if (!parent) return;
    for (HWND sibling = ::GetWindow(parent, GW_CHILD); sibling; sibling = ::GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == wnd || !::IsWindowVisible(sibling)) continue;
        if (auto* edit = dynamic_cast<CColorEdit*>(CWnd::FromHandle(sibling))) edit->DrawFrame();
    }
}

// A new text colour shows at once.
void RepaintNow(CWnd& control)
{
    if (!control.m_hWnd) return;
    control.Invalidate();
    control.UpdateWindow();
}

} // namespace

COLORREF ColourOfIndex(int index)
{
    switch (index) {
    case COLOUR_GREEN:
        return RGB(0, 255, 0);
    case COLOUR_YELLOW:
        return RGB(255, 255, 0);
    case COLOUR_RED:
        return RGB(255, 0, 0);
    default:
        return kWhite;
    }
}

// CTextColours

CTextColours::CTextColours() : m_crText(kWhite), m_crBack(kBlack), m_brBack(::CreateSolidBrush(kBlack)) {}

HBRUSH CTextColours::Apply(HDC dc) const
{
    ::SetTextColor(dc, m_crText);
    ::SetBkColor(dc, m_crBack);
    return m_brBack.get();
}

// CColorLabel

CColorLabel::CColorLabel() = default;

BOOL CColorLabel::Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateSubclassed(*this, "STATIC", text, style, rect, parent, id);
}

void CColorLabel::SetTextColor(COLORREF colour)
{
    m_colours.SetText(colour);
    RepaintNow(*this);
}

HBRUSH CColorLabel::CtlColor(HDC dc, UINT)
{
    return m_colours.Apply(dc);
}

LRESULT CColorLabel::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CWnd::WindowProc(msg, wParam, lParam);
    if (msg == WM_PAINT) RedrawSiblingFrames(m_hWnd);
    return result;
}

// CColorEdit

CColorEdit::CColorEdit() = default;

BOOL CColorEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    // Subclassed: the box must see its own WM_SETFOCUS.
    return CreateSubclassed(*this, "EDIT", "", style, rect, parent, id);
}

void CColorEdit::SetTextColor(COLORREF colour)
{
    m_colours.SetText(colour);
    RepaintNow(*this);
}

HBRUSH CColorEdit::CtlColor(HDC dc, UINT)
{
    DrawFrame();
    return m_colours.Apply(dc);
}

void CColorEdit::DrawFrame()
{
    HWND parent = m_hWnd ? ::GetParent(m_hWnd) : nullptr;
    if (!parent) return;
    RECT frame;
    ::GetClientRect(m_hWnd, &frame);
    ::MapWindowPoints(m_hWnd, parent, reinterpret_cast<POINT*>(&frame), 2);
    ::InflateRect(&frame, kFrameGap, kFrameGap);
    WindowDc parentDc(parent);
    if (parentDc) ::DrawEdge(parentDc.get(), &frame, EDGE_ETCHED, BF_RECT);
}

LRESULT CColorEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETFOCUS) {
        // The bezel keys reach the main window only while it has the focus.
        HWND parent = ::GetParent(m_hWnd);
        if (parent) {
            ::SetFocus(parent);
            return 0;
        }
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}
