// The column of soft keys drawn beside the bezel keys: key faces from the
// program's bitmaps with white captions, and two corner captions below.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "GdiOwners.h"

class CSoftKeyBar;
class CScreenConfig;

enum {
    SOFTKEY_RELEASED = 1,
    SOFTKEY_PRESSED = 2,
};

const int SOFTKEY_CAPTION_CHARS = 32;
const int SOFTKEY_MAX_KEYS = 10;

class CSoftKey {
public:
    CSoftKey(CSoftKeyBar* bar, int index, int centreY);

    // Splits the text (at most 31 characters) at its first "\n" into two lines.
    void SetCaption(const char* text);
    // notify is always false here: nobody listens.
    void SetState(int state, bool notify);
    int GetState() const { return m_nState; }
    const char* GetLine1() const { return m_szLine1; }
    const char* GetLine2() const { return m_szLine2; }
    int GetCentreY() const { return m_nCentreY; }
    // A key with an empty first line is not drawn.
    void Draw(HDC dc);

private:
    char m_szLine1[SOFTKEY_CAPTION_CHARS];
    char m_szLine2[SOFTKEY_CAPTION_CHARS];
    int m_nIndex;
    int m_nCentreY;
    int m_nState;
    CSoftKeyBar* m_pBar;
};

class CSoftKeyBar {
public:
    // side 1: flush with the right edge of a surface surfaceWidth wide.
    CSoftKeyBar(CScreenConfig* config, int side, int surfaceWidth);
    ~CSoftKeyBar();
    CSoftKeyBar(const CSoftKeyBar&) = delete;
    CSoftKeyBar& operator=(const CSoftKeyBar&) = delete;

    void SetParentRect(int left, int top, int right, int bottom);
    // 0, or the system's error code; 13 when the two pictures differ in size.
    DWORD LoadKeyBitmaps(UINT releasedId, UINT pressedId);
    void AddSoftKey(const char* caption, uint32_t keyCode);
    // A null pointer leaves that side as it is.
    void SetCornerCaptions(const char* left, const char* right);
    void ClearCornerCaptions();
    void ReleaseAll();
    void Draw(HDC dc);

    int GetKeyCount() const { return static_cast<int>(m_keys.size()); }
    CSoftKey* GetKey(int index) { return index >= 0 && index < GetKeyCount() ? m_keys[index] : nullptr; }
    uint32_t GetKeyCode(int index) const { return m_dwKeyCodes[index]; }
    bool IsVisible() const { return m_bVisible; }
    void SetVisible(bool visible) { m_bVisible = visible; }
    const char* GetLeftCorner() const { return m_szLeftCorner; }
    const char* GetRightCorner() const { return m_szRightCorner; }

    // What the keys draw with.
    HBITMAP GetReleasedBitmap() const { return m_bmReleased.get(); }
    HBITMAP GetPressedBitmap() const { return m_bmPressed.get(); }
    int GetBitmapWidth() const { return m_nBitmapWidth; }
    int GetBitmapHeight() const { return m_nBitmapHeight; }
    int GetCentreX() const { return m_nCentreX; }
    int GetLeftX() const { return m_nLeftX; }
    HFONT GetKeyFont() const { return m_fontKey.get(); }
    HFONT GetSecondLineFont() const { return m_fontSecondLine.get(); }
    // Fonts, pen and brush, made on first drawing (a key drawn alone needs them too).
    void CreateDrawingObjects();

private:
    void DrawCornerCaptions(HDC dc);

    int m_nSide;
    int m_nSurfaceWidth;
    std::vector<CSoftKey*> m_keys;
    uint32_t m_dwKeyCodes[SOFTKEY_MAX_KEYS] = {};
    UniqueBitmap m_bmReleased;
    UniqueBitmap m_bmPressed;
    int m_nBitmapWidth = 0;
    int m_nBitmapHeight = 0;
    int m_nCentreX = 0;
    int m_nLeftX = 0;
    UniqueFont m_fontKey;
    UniqueFont m_fontSecondLine;
    UniqueFont m_fontCorner;
    UniquePen m_penGreen;
    UniqueBrush m_brBlack;
    int m_nFirstCentre;
    int m_nPitch;
    char m_szLeftCorner[SOFTKEY_CAPTION_CHARS] = {};
    char m_szRightCorner[SOFTKEY_CAPTION_CHARS] = {};
    RECT m_rcParent = {0, 0, 616, 350};
    bool m_bVisible = false;
};
