// A flow as the technician runs it: the window opens (its checks of the
// unit and the media), then the flow's key is pressed as the window passes
// it on, twice at most (the question, then the work).
#pragma once

#include <string>
#include <vector>

enum class Flow { Save, Restore, Undo };
const char* FlowName(Flow flow);

enum class Ending {
    Finished,      // "Configuration Saved" or "Configuration Restored"
    NotWritten,    // the save could not be written or proven (result 2)
    NotFinished,   // the engine said in red what did not finish (result 3)
    Exception,     // a file exception, shown by the window in red
    Refused,       // the window judged the press not allowed (the opening screen)
    Silent,        // nothing finished, and nothing said why
};
const char* EndingName(Ending ending);

struct FlowRun {
    Ending ending = Ending::Silent;
    std::vector<std::string> lines;   // each message line as set, "1:text" / "2r:text" (r: red)
    std::string why;                  // the red text, when there is one
};

FlowRun RunFlow(Flow flow);

// What the end of the program's process does to what the store and the run
// log keep in memory.
void EndProcess();
