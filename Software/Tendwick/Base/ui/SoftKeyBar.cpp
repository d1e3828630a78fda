#include "SoftKeyBar.h"

#include <cstring>

#include "CsrLog.h"
#include "LayoutRules.h"
#include "ScreenConfig.h"
#include "ScreenRules.h"
#include "TextFields.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);

// Both key pictures must share one size; a pair that does not is refused with
// this code.
const DWORD kBitmapsDiffer = 13;

ScreenRect ToScreenRect(const RECT& rect)
{
    ScreenRect result = {rect.left, rect.top, rect.right, rect.bottom};
    return result;
}

SIZE TextSize(HDC dc, const char* text)
{
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    return size;
}

void PutText(HDC dc, int x, int y, const char* text)
{
    ::TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    ::GetObjectA(bitmap, sizeof(info), &info);
    SIZE size = {info.bmWidth, info.bmHeight};
    return size;
}

} // namespace

// CSoftKey

CSoftKey::CSoftKey(CSoftKeyBar* bar, int index, int centreY)
    : m_szLine1(), m_szLine2(), m_nIndex(index), m_nCentreY(centreY), m_nState(SOFTKEY_RELEASED), m_pBar(bar)
{
}

void CSoftKey::SetCaption(const char* text)
{
    char caption[SOFTKEY_CAPTION_CHARS];
    CopyText(caption, sizeof(caption), text);
    char* second = std::strchr(caption, '\n');
    if (second) *second++ = '\0';
    CopyText(m_szLine1, sizeof(m_szLine1), caption);
    CopyText(m_szLine2, sizeof(m_szLine2), second ? second : "");
}

void CSoftKey::SetState(int state, bool)
{
    m_nState = state;
}

void CSoftKey::Draw(HDC dc)
{
    if (!m_szLine1[0] || !m_pBar) return;
    // The column normally draws its keys with its objects selected; a key
    // drawn alone (pressed, on a key-down) needs them as well.
    m_pBar->CreateDrawingObjects();
    SavedDcState saved(dc);

    HBITMAP face = m_nState == SOFTKEY_PRESSED ? m_pBar->GetPressedBitmap() : m_pBar->GetReleasedBitmap();
    if (face) {
        OwnedMemoryDc memory(::CreateCompatibleDC(dc));
        if (memory) {
            SelectScope select(memory.get(), face);
            ::BitBlt(dc, m_pBar->GetLeftX(), m_nCentreY - m_pBar->GetBitmapHeight() / 2, m_pBar->GetBitmapWidth(),
                     m_pBar->GetBitmapHeight(), memory.get(), 0, 0, SRCCOPY);
        }
    }

    if (m_pBar->GetKeyFont()) ::SelectObject(dc, m_pBar->GetKeyFont());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kWhite);
    const int centreX = m_pBar->GetCentreX();
    SIZE first = TextSize(dc, m_szLine1);
    if (!m_szLine2[0]) {
        PutText(dc, centreX - first.cx / 2, m_nCentreY - first.cy / 2, m_szLine1);
    } else {
        SIZE second = TextSize(dc, m_szLine2);
        PutText(dc, centreX - first.cx / 2, m_nCentreY - first.cy, m_szLine1);
        PutText(dc, centreX - second.cx / 2, m_nCentreY, m_szLine2);
    }
}

// CSoftKeyBar

CSoftKeyBar::CSoftKeyBar(CScreenConfig* config, int side, int surfaceWidth)
    : m_nSide(side), m_nSurfaceWidth(surfaceWidth), m_nFirstCentre(0), m_nPitch(0)
{
    if (config) {
        RECT screen = {};
        config->GetScreenRect(screen);
        m_nFirstCentre = config->GetSoftKeyTop();
        m_nPitch = SoftKeyPitch(ToScreenRect(screen), config->GetSoftKeyBottomMargin(), m_nFirstCentre,
                                config->GetSoftKeyCount());
    }
    m_keys.reserve(SOFTKEY_MAX_KEYS);
}

CSoftKeyBar::~CSoftKeyBar()
{
    for (CSoftKey* key : m_keys) delete key;
}

void CSoftKeyBar::SetParentRect(int left, int top, int right, int bottom)
{
    CsrLog(CSRLOG_TRACE, "SetParentRect: %d,%d,%d,%d\n", left, top, right, bottom);
    m_rcParent.left = left;
    m_rcParent.top = top;
    m_rcParent.right = right;
    m_rcParent.bottom = bottom;
}

DWORD CSoftKeyBar::LoadKeyBitmaps(UINT releasedId, UINT pressedId)
{
    m_bmReleased.reset();
    m_bmPressed.reset();

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    m_bmReleased.reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(releasedId)));
    m_bmPressed.reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(pressedId)));
    if (!m_bmReleased || !m_bmPressed) {
        DWORD error = ::GetLastError();
        m_bmReleased.reset();
        m_bmPressed.reset();
        // A failure must never read as success.
        return error ? error : static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND);
    }

    SIZE released = BitmapSize(m_bmReleased.get());
    SIZE pressed = BitmapSize(m_bmPressed.get());
    if (released.cx != pressed.cx || released.cy != pressed.cy) {
        CsrLog(CSRLOG_ERROR, " Bitmaps not same size\n");
        ::MessageBoxA(nullptr, "Bitmaps not same size", nullptr, MB_OK | MB_ICONERROR);
        m_bmReleased.reset();
        m_bmPressed.reset();
        return kBitmapsDiffer;
    }

    m_nBitmapWidth = released.cx;
    m_nBitmapHeight = released.cy;
    SoftKeyColumn column = ComputeSoftKeyColumn(m_nSide, m_nSurfaceWidth, m_nBitmapWidth);
    m_nCentreX = column.centreX;
    m_nLeftX = column.leftX;
    return 0;
}

void CSoftKeyBar::AddSoftKey(const char* caption, uint32_t keyCode)
{
    int index = GetKeyCount();
    if (index >= SOFTKEY_MAX_KEYS) return;
    CSoftKey* key = new CSoftKey(this, index, SoftKeyCentreY(m_nFirstCentre, m_nPitch, index));
    key->SetCaption(caption);
    m_keys.push_back(key);
    m_dwKeyCodes[index] = keyCode;
}

void CSoftKeyBar::SetCornerCaptions(const char* left, const char* right)
{
    if (left) CopyText(m_szLeftCorner, sizeof(m_szLeftCorner), left);
    if (right) CopyText(m_szRightCorner, sizeof(m_szRightCorner), right);
}

void CSoftKeyBar::ClearCornerCaptions()
{
    m_szLeftCorner[0] = '\0';
    m_szRightCorner[0] = '\0';
}

void CSoftKeyBar::ReleaseAll()
{
    for (CSoftKey* key : m_keys) key->SetState(SOFTKEY_RELEASED, false);
}

void CSoftKeyBar::CreateDrawingObjects()
{
    if (!m_fontKey) {
        m_fontKey.reset(::CreateFontA(-15, 0, 0, 0, 600, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, "Verdana"));
    }
    if (!m_fontSecondLine) {
        m_fontSecondLine.reset(::CreateFontA(-12, 0, 0, 0, 500, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                             DEFAULT_PITCH | FF_SWISS, "Verdana"));
    }
    if (!m_fontCorner) {
        m_fontCorner.reset(::CreateFontA(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                         nullptr));
    }
    if (!m_penGreen) m_penGreen.reset(::CreatePen(PS_SOLID, 1, kGreen));
    if (!m_brBlack) m_brBlack.reset(::CreateSolidBrush(kBlack));
}

void CSoftKeyBar::Draw(HDC dc)
{
    if (!m_bVisible) return;
    CreateDrawingObjects();
    SavedDcState saved(dc);
    if (m_fontKey) ::SelectObject(dc, m_fontKey.get());
    ::SetBkMode(dc, TRANSPARENT);
    if (m_penGreen) ::SelectObject(dc, m_penGreen.get());
    if (m_brBlack) ::SelectObject(dc, m_brBlack.get());
    for (CSoftKey* key : m_keys) key->Draw(dc);
    DrawCornerCaptions(dc);
}

void CSoftKeyBar::DrawCornerCaptions(HDC dc)
{
    if (!m_szLeftCorner[0] && !m_szRightCorner[0]) return;
    SavedDcState saved(dc);
    ::SelectObject(dc, ::GetStockObject(WHITE_PEN));
    ::SelectObject(dc, ::GetStockObject(BLACK_BRUSH));
    if (m_fontCorner) ::SelectObject(dc, m_fontCorner.get());
    ::SetTextColor(dc, kWhite);
    ::SetBkColor(dc, kBlack);
    ::SetBkMode(dc, OPAQUE);

    const ScreenRect parent = ToScreenRect(m_rcParent);
    const ScreenRect boxes[2] = {LeftCornerBox(parent), RightCornerBox(parent)};
    const char* texts[2] = {m_szLeftCorner, m_szRightCorner};
    for (int i = 0; i < 2; ++i) {
        const ScreenRect& box = boxes[i];
        ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
        SIZE size = TextSize(dc, texts[i]);
        // A caption too wide for its box is cut at the box's edge.
        RECT clip = {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
        ::ExtTextOutA(dc, CornerTextX(box, size.cx), parent.bottom - 19, ETO_CLIPPED, &clip, texts[i],
                      static_cast<UINT>(std::strlen(texts[i])), nullptr);
    }
}
