// The engine works on the window's one thread; these let the window handle
// its messages (paint its lines and progress bar) in the middle of a step.
#pragma once

// A quit request met on the way is posted again and ends the pumping: the
// program's own loop takes it once the step in progress returns.

// milliseconds / 10 rounds of dispatching at most one pending message (no
// key translation), each followed by a 1 ms sleep; nothing below 10 ms.
void PumpMessagesFor(int milliseconds);

// Every pending message, translated and dispatched, then the rest of the
// time slice given up: between the blocks of a long computation.
void DrainMessages();

// Whether a quit request waits in the thread's queue.
bool QuitPending();
