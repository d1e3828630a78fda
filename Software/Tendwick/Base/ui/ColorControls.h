// Text controls on the black screen: a label and an edit control that answer
// their parent's colour question with a black background and their own text
// colour.
#pragma once

#include <windows.h>

#include "Controls.h"
#include "GdiOwners.h"

// Colour indices of the message lines.
enum {
    COLOUR_WHITE = 0,
    COLOUR_GREEN = 1,
    COLOUR_YELLOW = 2,
    COLOUR_RED = 3,
};
// The RGB value of a colour index; white for any index not listed.
COLORREF ColourOfIndex(int index);

// What a text control answers its parent's colour question with: its own
// text colour on the black screen.
class CTextColours {
public:
    CTextColours();
    void SetText(COLORREF colour) { m_crText = colour; }
    COLORREF GetText() const { return m_crText; }
    // Sets the colours on the control's device context; the background brush.
    HBRUSH Apply(HDC dc) const;

private:
    COLORREF m_crText;
    COLORREF m_crBack;
    UniqueBrush m_brBack;
};

class CColorLabel : public CStatic {
public:
    CColorLabel();

    // Subclassed, so that it can restore the frames of edit boxes that it
    // paints over.
    BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // Stores the colour and repaints the label at once.
    void SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return m_colours.GetText(); }

protected:
    HBRUSH CtlColor(HDC dc, UINT message) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CTextColours m_colours;
};

// The serial-number box. It never keeps the keyboard focus: the bezel keys
// belong to the main window.
class CColorEdit : public CEdit {
public:
    CColorEdit();

    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return m_colours.GetText(); }
    // The etched frame 2 pixels outside the client area, on the parent.
    void DrawFrame();

protected:
    // Colours, and an etched frame 2 pixels outside the box each time.
    HBRUSH CtlColor(HDC dc, UINT message) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CTextColours m_colours;
};
