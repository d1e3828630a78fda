#include "MaintWnd.h"

#include <commctrl.h>

#include <cstring>

#include "CsrLog.h"
#include "DrawSurface.h"
#include "LayoutRules.h"
#include "ScreenConfig.h"
#include "SoftKeyBar.h"
#include "resource.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const int kSurfaceBits = 16;
const uint16_t kSurfaceBlack = 0;

// The soft keys hang on the right edge, beside the bezel keys.
const int kRightSide = 1;

RECT ToRect(const ScreenRect& rect)
{
    RECT result = {rect.left, rect.top, rect.right, rect.bottom};
    return result;
}

ScreenRect ToScreenRect(const RECT& rect)
{
    ScreenRect result = {rect.left, rect.top, rect.right, rect.bottom};
    return result;
}

UniqueFont CreateArial(int height, int weight)
{
    return UniqueFont(::CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial"));
}

// One line of white text centred across the client at y.
void DrawCentredLine(HDC dc, const RECT& client, HFONT font, int y, const char* text)
{
    SavedDcState saved(dc);
    if (font) ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kWhite);
    int length = static_cast<int>(std::strlen(text));
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, text, length, &size);
    ::TextOutA(dc, (client.right - client.left) / 2 - size.cx / 2, y, text, length);
}

void SetLabel(CColorLabel& label, const char* text, int colour)
{
    label.SetTextColor(ColourOfIndex(colour));
    label.SetWindowText(text ? text : "");
    if (text && text[0]) CsrLog(CSRLOG_EVENT, "%s\n", text);
}

} // namespace

CMaintWnd::CMaintWnd(CScreenConfig* config)
    : m_pScreenConfig(config),
      m_brBackground(::CreateSolidBrush(RGB(0, 0, 0))),
      m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

CMaintWnd::~CMaintWnd()
{
    CleanUp();
    DeleteSoftKeyBar();
    ReleaseSurface();
}

int CMaintWnd::OnCreate(CREATESTRUCTA* create)
{
    CsrLog(CSRLOG_EVENT, "Creating Maint Window\n");
    if (CWnd::OnCreate(create) == -1) return -1;

    // Borderless, and exactly over the screen: the client area is the screen.
    RECT screen = {};
    if (m_pScreenConfig) m_pScreenConfig->GetScreenRect(screen);
    ModifyStyle(~static_cast<DWORD>(0), 0);
    ModifyStyleEx(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME, 0);
    RECT frame = screen;
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)));
    ::SetWindowPos(m_hWnd, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    RECT client = {};
    GetClientRect(&client);
    const int width = client.right - client.left;
    m_pSurface = CDrawSurface::Create(width, client.bottom - client.top, kSurfaceBits, false);

    CreateControls(client);
    StackControls();

    if (m_pSurface) m_pSurface->Fill(kSurfaceBlack);

    // Without a surface the keys still belong at the client's right edge.
    const int surfaceWidth = m_pSurface ? m_pSurface->GetWidth() : width;
    m_pSoftKeyBar = new CSoftKeyBar(m_pScreenConfig, kRightSide, surfaceWidth);
    // The column draws in client coordinates, so its corner boxes are placed
    // on the client rectangle (the window's own rectangle, seen from inside).
    m_pSoftKeyBar->SetParentRect(client.left, client.top, client.right, client.bottom);

    if (UsesSmallKeyFaces(ToScreenRect(client)))
        m_pSoftKeyBar->LoadKeyBitmaps(IDB_KEY_RELEASED_SMALL, IDB_KEY_PRESSED_SMALL);
    else
        m_pSoftKeyBar->LoadKeyBitmaps(IDB_KEY_RELEASED_LARGE, IDB_KEY_PRESSED_LARGE);

    m_pSoftKeyBar->AddSoftKey("Proceed", VK_F1);
    m_pSoftKeyBar->AddSoftKey("", VK_F2);
    m_pSoftKeyBar->AddSoftKey("", VK_F3);
    m_pSoftKeyBar->AddSoftKey("Cancel", VK_F4);
    m_pSoftKeyBar->AddSoftKey("", VK_F5);
    SetKeyMask(0x09);
    m_pSoftKeyBar->SetVisible(true);

    m_crBackground = RGB(0, 0, 0);
    m_brBackground.reset(::CreateSolidBrush(m_crBackground));
    m_fontTitle = CreateArial(-18, 700);
    m_fontVersion = CreateArial(-10, 400);

    RedrawAll();
    return 0;
}

void CMaintWnd::CreateControls(const RECT& client)
{
    const MaintLayout layout = ComputeMaintLayout(ToScreenRect(client));

    // Drawn at its top-left corner.
    m_animation.Create(WS_VISIBLE | WS_CLIPSIBLINGS, ToRect(layout.animation), this, IDC_ANIMATION);
    m_animation.Open(IDR_PROGRESS_AVI);

    m_progress.Create(0, ToRect(layout.progress), this, IDC_PROGRESS);

    // Texts are shown as they are: an "&" in the title is no mnemonic.
    const DWORD labelStyle = WS_VISIBLE | SS_CENTER | SS_NOPREFIX | WS_CLIPSIBLINGS;
    m_label1.Create("", labelStyle | WS_BORDER, ToRect(layout.labels[0]), this, IDC_LABEL1);
    m_label2.Create("", labelStyle, ToRect(layout.labels[1]), this, IDC_LABEL2);
    m_label3.Create("", labelStyle, ToRect(layout.labels[2]), this, IDC_LABEL3);
    m_label4.Create("", labelStyle, ToRect(layout.labels[3]), this, IDC_LABEL4);

    m_nVersionY = layout.versionY;
    m_nTitleY = layout.titleY;

    ShowAnimationLastFrame();
}

void CMaintWnd::StackControls()
{
    // The layout lets windows overlap: the animation's window reaches down
    // through the text lines, a short screen puts the progress bar inside
    // line 3, and a derived window's controls sit on the lines. Each control
    // pushed to the bottom goes below the ones before it, so the order ends
    // as: progress bar, the derived window's controls, lines 1 to 4, the
    // animation. Lines and animation clip out whatever lies above them.
    CWnd* bottomUp[] = {&m_label1, &m_label2, &m_label3, &m_label4, &m_animation};
    for (CWnd* control : bottomUp) {
        if (control->m_hWnd) {
            ::SetWindowPos(control->m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void CMaintWnd::ShowAnimationLastFrame()
{
    m_animation.Seek(PROGRESS_AVI_LAST_FRAME);
}

void CMaintWnd::SetStatusText(const char* text, int colour)
{
    SetLabel(m_label1, text, colour);
}

void CMaintWnd::SetDetailText(const char* text, int colour)
{
    SetLabel(m_label2, text, colour);
}

void CMaintWnd::SetNoteText(const char* text, int colour)
{
    SetLabel(m_label3, text, colour);
}

void CMaintWnd::SetProgressRange(int low, int high)
{
    m_progress.SetRange32(low, high);
    m_progress.SetStep(1);
    m_progress.SetPos(0);
}

void CMaintWnd::StepProgress()
{
    m_progress.StepIt();
}

void CMaintWnd::SetKeyMask(uint32_t mask)
{
    m_dwKeyMask = mask;
    CsrLog(CSRLOG_TRACE, "SetKeyMask: %x\n", mask);
}

void CMaintWnd::DrawContent(HDC dc)
{
    if (m_pSoftKeyBar) m_pSoftKeyBar->Draw(dc);
}

void CMaintWnd::OnPaint()
{
    PaintScope paint(m_hWnd);
    if (IsIconic()) {
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.get()));
        RECT client = {};
        GetClientRect(&client);
        int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        if (m_hIcon) ::DrawIcon(paint.get(), x, y, m_hIcon);
        return;
    }
    DrawContent(paint.get());
}

BOOL CMaintWnd::OnEraseBkgnd(HDC dc)
{
    RECT client = {};
    GetClientRect(&client);
    if (m_brBackground) {
        ::FillRect(dc, &client, m_brBackground.get());
    } else {
        SavedDcState saved(dc);
        ::SetBkColor(dc, m_crBackground);
        ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    }
    if (m_nTitleY >= 0) {
        DrawCentredLine(dc, client, m_fontTitle.get(), m_nTitleY, MAINT_TITLE);
        if (m_nVersionY >= 0) DrawCentredLine(dc, client, m_fontVersion.get(), m_nVersionY, MAINT_VERSION);
    }
    return FALSE;
}

HBRUSH CMaintWnd::OnCtlColor(HDC dc, HWND control, UINT message)
{
    if (control && control == m_animation.m_hWnd && m_brBackground) {
        ::SetBkColor(dc, m_crBackground);
        return m_brBackground.get();
    }
    return CWnd::OnCtlColor(dc, control, message);
}

void CMaintWnd::SetSoftKeyCaption(int number, const char* caption)
{
    if (!m_pSoftKeyBar) return;
    if (CSoftKey* key = m_pSoftKeyBar->GetKey(number - 1)) key->SetCaption(caption);
}

void CMaintWnd::ShowSoftKeys(bool visible)
{
    if (m_pSoftKeyBar) m_pSoftKeyBar->SetVisible(visible);
}

void CMaintWnd::ReleaseSurface()
{
    if (m_pSurface) {
        m_pSurface->Release();
        m_pSurface = nullptr;
    }
}

void CMaintWnd::DeleteSoftKeyBar()
{
    delete m_pSoftKeyBar;
    m_pSoftKeyBar = nullptr;
}
