// Where the maintenance window puts its controls, as plain arithmetic on the
// client rectangle. No windows.h.
#pragma once

#include "ScreenRules.h"

#include <climits>

struct MaintLayout {
    ScreenRect animation;     // cx-70..cx+70, 25..320
    ScreenRect progress;      // progress top = bottom - 55, 20 high
    ScreenRect labels[4];     // label 1..4 as the base window makes them
    int titleY;               // 100
    int versionY;             // progress top + 25
};
MaintLayout ComputeMaintLayout(const ScreenRect& client);

// The main window's later move: label 1 up by half its height; label 2 up by
// half its height and twice as high; label 3 then starts below label 2.
void AdjustStatusLabels(MaintLayout& layout);

struct SerialEntryLayout {
    ScreenRect caption;   // "MFD S/N:"
    ScreenRect edit;      // the entry text
    ScreenRect status;    // "Invalid serial number"
};
// editWidth: 12 times the width of "W" in the window's default font.
SerialEntryLayout ComputeSerialEntryLayout(const ScreenRect& client, int editWidth);

// The soft-key column: horizontal placement from the bitmap width (side 1:
// flush right on a surface surfaceWidth wide), vertical centre of key i.
struct SoftKeyColumn {
    int centreX;
    int leftX;
};
SoftKeyColumn ComputeSoftKeyColumn(int side, int surfaceWidth, int bitmapWidth);
// In 64 bits and clamped: first centre and pitch may come from any text.
inline int SoftKeyCentreY(int firstCentre, int pitch, int index)
{
    long long y = static_cast<long long>(firstCentre) + static_cast<long long>(index) * pitch;
    return y > INT_MAX ? INT_MAX : y < INT_MIN ? INT_MIN : static_cast<int>(y);
}

// Key faces: 84x44 (ids 134/133) on a 350-high client, else 91x53 (130/132).
bool UsesSmallKeyFaces(const ScreenRect& client);

// Corner caption boxes below the column, and a text's x inside one.
ScreenRect LeftCornerBox(const ScreenRect& parent);
ScreenRect RightCornerBox(const ScreenRect& parent);
int CornerTextX(const ScreenRect& box, int textWidth);
