// Child controls of the framework: thin wrappers over the system's static,
// edit, animation and progress controls. Each is attached to its object, so
// that it can answer its parent's colour question (CWnd::CtlColor).
#pragma once

#include <windows.h>

#include "Wnd.h"

class CStatic : public CWnd {
public:
    BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
};

class CEdit : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
};

class CAnimateCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // Opens an "AVI" resource of the program.
    BOOL Open(UINT resourceId);
    // Plays frames from..to (to -1: the last) repeat times (-1: for ever).
    BOOL Play(UINT from, UINT to, UINT repeat);
    BOOL Seek(UINT frame);
    BOOL Stop();
};

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange32(int low, int high);
    int SetStep(int step);
    int SetPos(int position);
    int GetPos() const;
    int StepIt();
};
