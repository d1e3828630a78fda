// What the main window tells a tool that inspects it from another process
// (the test suite, the demo's transcript): registered window messages, sent
// to the window "Tendwick". Label texts need none: they are static controls
// with the ids of resource.h, read with WM_GETTEXT.
#pragma once

// wParam: soft key number 1..5. Returns a global atom holding the key's
// caption (its two lines joined by "\n"), which the caller deletes with
// GlobalDeleteAtom; 0 when the key is blank or the column is hidden.
const char INSPECT_SOFTKEY_MSG[] = "Tendwick.SoftKeyCaption";
// Returns the key mask.
const char INSPECT_KEYMASK_MSG[] = "Tendwick.KeyMask";
// wParam: label 1..4. Returns the label's text colour (a COLORREF).
const char INSPECT_LABEL_COLOUR_MSG[] = "Tendwick.LabelColour";
// wParam 0: returns a global atom with the corner captions "left|right"
// (0 when both are empty).
const char INSPECT_CORNERS_MSG[] = "Tendwick.CornerCaptions";
