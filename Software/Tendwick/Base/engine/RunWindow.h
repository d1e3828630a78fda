// The window services through which the engine reports to the technician.
// The maintenance window provides them; the engine holds the window as its
// owner and never owns it.
#pragma once

#include <cstddef>
#include <cstdint>

// Colour indices of the message lines: 0 white, 3 red (a failure).
const int RUN_COLOUR_WHITE = 0;
const int RUN_COLOUR_RED = 3;

class RunWindow {
public:
    // Message lines: a text and a colour index (the engine passes 0); an
    // empty text clears the line.
    virtual void SetStatusText(const char* text, int colour) = 0;   // line 1
    virtual void SetDetailText(const char* text, int colour) = 0;   // line 2
    virtual void SetNoteText(const char* text, int colour) = 0;     // line 3

    // Progress bar: range with step 1 and position 0; one step.
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void StepProgress() = 0;

    // The confirmation prompt: question on line 1, Confirm on soft key 1
    // (onF1) or on soft key 3. Returns true.
    virtual bool ShowConfirm(const char* question, bool onF1) = 0;

    // Which keys the window accepts; 0 blocks all.
    virtual void SetKeyMask(uint32_t mask) = 0;

    // Serial-number entry: start it with a text, show it, and take the
    // accepted text (false while entry runs or nothing was accepted).
    virtual void BeginSerialEntry(const char* text) = 0;
    virtual bool ShowSerialEntry() = 0;
    virtual bool GetEnteredSerial(char* text, size_t size) = 0;

    // Repaints the whole window at the end of a run.
    virtual void RequestRepaint() {}

protected:
    ~RunWindow() = default;
};
