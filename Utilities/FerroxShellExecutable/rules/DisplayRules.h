// The disabled display's geometry: the persisted "ScreenSize" text and the
// window rectangle whose client area covers a given rectangle. No windows.h.
#pragma once

struct ShellRect {
    int left;
    int top;
    int width;
    int height;
};

// The rectangle used when "ScreenSize" is missing or unusable.
const ShellRect kDefaultShellRect = {0, 0, 800, 600};

// "left|top|width|height": exactly four fields of at most 11 characters, each
// an optional sign and decimal digits that fit an int, width and height above
// 0. False for anything else (the caller then uses kDefaultShellRect).
bool ParseShellScreenSize(const char* text, ShellRect* rect);

// The window rectangle whose client area is `client`, for a window whose
// client area starts at (offsetX, offsetY) inside it and whose non-client
// parts add extraWidth and extraHeight to its size.
ShellRect WindowRectForClient(const ShellRect& client, int offsetX, int offsetY, int extraWidth, int extraHeight);
