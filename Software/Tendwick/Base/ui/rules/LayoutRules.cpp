#include "LayoutRules.h"

namespace {

ScreenRect Rect(int left, int top, int right, int bottom)
{
    ScreenRect rect = {left, top, right, bottom};
    return rect;
}

// Wider screens (beyond the 640-pixel class) get wider text lines and a much
// wider progress bar.
const int WIDE_SCREEN_RIGHT = 650;

}  // namespace

MaintLayout ComputeMaintLayout(const ScreenRect& client)
{
    const int cx = (client.right - client.left) / 2;
    const int nProgressTop = client.bottom - 55;
    const bool bWide = client.right > WIDE_SCREEN_RIGHT;
    const int nTextHalf = bWide ? 200 : 175;
    const int nProgressHalf = bWide ? 300 : 100;
    const int nInset = bWide ? 100 : 75;

    MaintLayout layout;
    layout.animation = Rect(cx - 70, 25, cx + 70, 320);
    layout.progress = Rect(cx - nProgressHalf, nProgressTop, cx + nProgressHalf, nProgressTop + 20);
    layout.labels[0] = Rect(cx - nTextHalf, 150, cx + nTextHalf, 200);
    layout.labels[1] = Rect(cx - nTextHalf, 210, cx + nTextHalf, 260);
    layout.labels[2] = Rect(cx - nTextHalf, 270, cx + nTextHalf, 320);
    layout.labels[3] = Rect(cx - nTextHalf + nInset / 2, 330, cx + nTextHalf - nInset / 2, 430);
    layout.titleY = 100;
    layout.versionY = nProgressTop + 25;
    return layout;
}

void AdjustStatusLabels(MaintLayout& layout)
{
    ScreenRect& status = layout.labels[0];
    int nStatusHeight = status.bottom - status.top;
    status.top -= nStatusHeight / 2;
    status.bottom -= nStatusHeight / 2;

    // The detail text gets room for its several lines.
    ScreenRect& detail = layout.labels[1];
    int nDetailHeight = detail.bottom - detail.top;
    detail.top -= nDetailHeight / 2;
    detail.bottom = detail.top + 2 * nDetailHeight;

    // Line 3 starts below it: lying under the detail text, its first line would be hidden.
    ScreenRect& note = layout.labels[2];
    if (note.top < detail.bottom && detail.bottom < note.bottom) note.top = detail.bottom;
}

SerialEntryLayout ComputeSerialEntryLayout(const ScreenRect& client, int editWidth)
{
    int nRowTop, nRowBottom;
    if (client.right > WIDE_SCREEN_RIGHT) {
        nRowTop = client.bottom - 320;
        nRowBottom = client.bottom - 300;
    } else if (client.bottom > 650) {
        nRowTop = client.bottom - 420;
        nRowBottom = client.bottom - 400;
    } else if (client.bottom > 400) {
        nRowTop = client.bottom - 250;
        nRowBottom = client.bottom - 230;
    } else {
        nRowTop = client.bottom - 150;
        nRowBottom = client.bottom - 130;
    }
    const int nRowHeight = nRowBottom - nRowTop;
    const int x0 = (client.right - client.left) / 2 - (editWidth + 80) / 2;

    SerialEntryLayout layout;
    layout.caption = Rect(x0, nRowTop, x0 + 70, nRowBottom);
    layout.edit = Rect(x0 + 80, nRowTop, x0 + 80 + editWidth, nRowBottom);
    layout.status = Rect(x0, nRowBottom + nRowHeight / 2, x0 + 80 + editWidth, nRowBottom + nRowHeight + nRowHeight / 2);
    return layout;
}

SoftKeyColumn ComputeSoftKeyColumn(int side, int surfaceWidth, int bitmapWidth)
{
    SoftKeyColumn column;
    if (side == 1) {
        column.centreX = surfaceWidth - bitmapWidth / 2;
        column.leftX = surfaceWidth - bitmapWidth;
    } else {
        column.centreX = bitmapWidth / 2;
        column.leftX = 0;
    }
    return column;
}

bool UsesSmallKeyFaces(const ScreenRect& client)
{
    return client.bottom == 350;
}

ScreenRect LeftCornerBox(const ScreenRect& parent)
{
    return Rect(parent.left + 1, parent.bottom - 21, parent.left + 71, parent.bottom - 1);
}

ScreenRect RightCornerBox(const ScreenRect& parent)
{
    return Rect(parent.right - 71, parent.bottom - 21, parent.right - 1, parent.bottom - 1);
}

int CornerTextX(const ScreenRect& box, int textWidth)
{
    // A caption too wide for the box starts just inside it and is clipped.
    return textWidth < 70 ? box.left + (70 - textWidth) / 2 : box.left + 2;
}
